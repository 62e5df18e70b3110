#pragma once
// The build driver: runs the stages of one build in their fixed order.
#include <string>
#include <string_view>

#include "driver/build.h"
#include "util/errors.h"

namespace tesk {

// One compilation. With --run it ends the process with the program's exit code.
void run_build(Build* b);
// Stage 2.4 driver, called at the end of Stage 2.3.
void stage_read_types(Build* b);
// The number of a name in Build.string_ids, given out in order of first request.
u64 string_id(Build* b, std::string_view name);
// Number of newline bytes.
u64 count_lines(std::string_view text);

// A stage task: one unit of stage work. An error raised inside it (build_error or
// parse_error, already reported) ends only the task. True when it ended normally.
template <typename F>
bool run_stage_task(F&& work) {
  try {
    work();
    return true;
  } catch (const ParseFailure&) {
    return false;
  } catch (const BuildFailure&) {
    return false;
  }
}

// The program's argument vector for --run: the output path (made explicit when it is
// relative, so no program of PATH is found instead), then the arguments after "--".
std::vector<std::string> run_command_argv(const Build* b);

}  // namespace tesk
