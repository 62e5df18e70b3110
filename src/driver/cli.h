#pragma once
// Command dispatch and the command-line parser.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/build.h"

namespace tesk {

inline constexpr std::string_view kTeskVersion = "0.1.8";

// Process entry: runs cli_main on the arguments and returns the exit code.
int process_main(int argc, char** argv);
// Dispatches on the command word; args holds the program path first and is edited
// in place. Returns the exit code of the paths that do not end the process themselves.
int cli_main(std::vector<std::string>& args);

// "#Error: " + message, exit code 1.
[[noreturn]] void cli_fail(std::string_view message);
[[noreturn]] void print_usage(int code);
[[noreturn]] void print_build_usage(int code);
std::string usage_text();
std::string build_usage_text();

// The leak-check switch of the memory manager; the dispatcher only sets it.
bool leak_check_enabled();

// Walks the list once; never fails. An option that takes a value but is the last
// item is reported in CliArgs.missing_value.
CliArgs parse_cli_args(const std::vector<std::string>& list, const std::vector<std::string_view>& known,
                       const std::vector<std::string_view>& with_value);
// First value of the option, nullopt when it has none ("key_not_found"). With strict
// and two or more values the process ends with code 1.
std::optional<std::string> cli_arg_value(const CliArgs& cli, std::string_view name, bool strict);
// Every value of the option in order; empty when it has none.
const std::vector<std::string>& cli_arg_values(const CliArgs& cli, std::string_view name);
bool cli_has_flag(const CliArgs& cli, std::string_view name);

// The argument list of the shortcut `tesk app.tesk args...`: the file, "--run", "--",
// then the program's arguments unchanged.
std::vector<std::string> shortcut_args(std::string file, std::vector<std::string> program_args);

// The argument list of `doc` for the build option parser: "--docs" goes before the
// first "--", so it never lands among the program's arguments.
void add_docs_option(std::vector<std::string>& args);

}  // namespace tesk
