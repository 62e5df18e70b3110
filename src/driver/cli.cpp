#include "driver/cli.h"

#include <cstdio>

namespace tesk {

int process_main(int argc, char** argv) {
  std::printf("tesk-0.1.8\n");
  return 0;
}

}  // namespace tesk
