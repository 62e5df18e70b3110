#include "driver/build_driver.h"

namespace tesk {

// Stages arrive with the source and later subsystems.
void run_build(Build* b) {}

}  // namespace tesk
