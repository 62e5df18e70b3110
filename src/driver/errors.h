#pragma once
// Build errors, warnings and log lines: how every part of the compiler reports.
#include <string>
#include <string_view>

#include "driver/build.h"
#include "util/errors.h"

namespace tesk {

// Flushes the standard streams and ends the process with the code. When exits are
// redirected (unit tests), it throws ExitRequest instead.
[[noreturn]] void exit_process(int code);
void set_exit_throws(bool on);

// "# Build error" box with the message unchanged; exits with code 1.
[[noreturn]] void fatal_build_error(std::string_view message);
// Fatal error of a build: box (or a recorded message for the language server),
// then exit 1 from the command line, or raises BuildFailure in watch/lsp mode.
[[noreturn]] void build_error(Build* b, std::string_view message);
// Ends the build, without a further report, when it has reported an error: in watch
// mode errors end only their own task, and what they left behind must not be compiled,
// linked or run.
void stop_if_errors(Build* b);
[[noreturn]] void build_error_icon(Build* b, std::string_view icon, std::string_view message);
LspContext* lsp_context(Build* b);
void add_warning(Build* b, std::string message);
void add_warning_diagnostic(Build* b, std::string message, Chunk* start, Chunk* end);
void print_warnings(Build* b);
// icon + " " + message when the terminal shows icons, else "> " + message.
void log_line(std::string_view icon, std::string_view message);
// The line as it stands (no icon) when the build runs at verbosity 3: the
// "> Stage ..." and loading lines.
void log_detail(const Build* b, std::string_view line);
// Whether TERM names a terminal that shows icons; cached per thread once TERM is set.
bool terminal_shows_icons();
// The rule itself, for a given TERM value (null when unset).
bool term_shows_icons(const char* term);
// Optional "-", digits, optional "." and digits; false when the text is not such a
// number ("invalid").
bool parse_f64(std::string_view text, double* out);
inline u64 max_u64(u64 a, u64 b) { return a > b ? a : b; }

}  // namespace tesk
