#pragma once
// Child processes, always started with an argument vector (never through a shell),
// so arguments with blanks or shell characters reach the program unchanged.
#include <string>
#include <vector>

namespace tesk {

struct ProcessResult {
  int exit_code = 1;   // the program's code; 128 + signal when it was killed
  std::string output;  // standard output and error together, when captured
};

// Runs argv (argv[0] searched in PATH when it has no "/"), capturing output; with echo
// the output is also copied to standard output as it arrives. A program that cannot
// be started gives exit code 1 and the output "Exec failed to open process".
ProcessResult run_process(const std::vector<std::string>& argv, bool echo);
// Runs argv with the standard streams inherited; returns its exit code.
int run_process_inherit(const std::vector<std::string>& argv);

}  // namespace tesk
