#pragma once
// Command dispatch and the command-line parser.
#include <string>
#include <vector>

#include "driver/build.h"

namespace tesk {

// Process entry: runs cli_main on the arguments and returns the exit code.
int process_main(int argc, char** argv);

}  // namespace tesk
