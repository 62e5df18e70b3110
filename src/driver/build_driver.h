#pragma once
// The build driver: runs the stages of one build in their fixed order.
#include "driver/build.h"

namespace tesk {

void run_build(Build* b);

}  // namespace tesk
