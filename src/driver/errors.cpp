#include "driver/errors.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "driver/name_hash.h"

namespace tesk {

namespace {
constexpr std::string_view kBoxLine = "-----------------------------";
bool g_exit_throws = false;

void write_out(std::string_view s) { std::fwrite(s.data(), 1, s.size(), stdout); }

void print_box(std::string_view message) {
  std::string text;
  text.reserve(message.size() + 80);
  text += "# Build error\n";
  text += kBoxLine;
  text += '\n';
  text += message;
  text += '\n';
  text += kBoxLine;
  text += '\n';
  write_out(text);
}
}  // namespace

void set_exit_throws(bool on) { g_exit_throws = on; }

void exit_process(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  if (g_exit_throws) throw ExitRequest{code};
  // Object-file threads may still run; skip static destructors they could be using.
  std::_Exit(code);
}

void fatal_build_error(std::string_view message) {
  print_box(message);
  exit_process(1);
}

void build_error(Build* b, std::string_view message) {
  b->errors_reported++;
  if (!b->lsp) {
    std::string_view m = message;
    while (!m.empty() && m.front() == '\n') m.remove_prefix(1);
    while (!m.empty() && m.back() == '\n') m.remove_suffix(1);
    print_box(m);
    if (!b->watch_mode) exit_process(1);
  } else {
    b->messages.push_back(BuildMessage{MSG_ERROR, std::string(message)});
  }
  throw BuildFailure{{err::build_error, "build_error", "Build error"}};
}

void stop_if_errors(Build* b) {
  if (b->errors_reported) throw BuildFailure{{err::build_error, "build_error", "Build error"}};
}

void build_error_icon(Build* b, std::string_view icon, std::string_view message) {
  std::string m = terminal_shows_icons() ? std::string(icon) + " " : std::string("> ");
  m += message;
  build_error(b, m);
}

LspContext* lsp_context(Build* b) {
  if (!b->lsp) build_error(b, "Missing LSP object");
  return b->lsp;
}

void add_warning(Build* b, std::string message) {
  b->messages.push_back(BuildMessage{MSG_WARNING, std::move(message)});
}

void add_warning_diagnostic(Build* b, std::string message, Chunk* start, Chunk* end) {
  b->diagnostics.push_back(Diagnostic{MSG_WARNING, start, end, std::move(message)});
}

void print_warnings(Build* b) {
  if (b->no_warn) return;
  for (const BuildMessage& m : b->messages) {
    if (m.type != MSG_WARNING) continue;
    std::string line = "Warn: " + m.message + "\n";
    write_out(line);
  }
}

bool term_shows_icons(const char* term) {
  if (!term) return false;
  for (const char* name : {"xterm", "vt", "ansi", "linux", "screen", "tmux"})
    if (std::strstr(term, name)) return true;
  return false;
}

bool terminal_shows_icons() {
  thread_local int cached = -1;
  const char* term = std::getenv("TERM");
  if (!term) return false;
  if (cached < 0) cached = term_shows_icons(term) ? 1 : 0;
  return cached == 1;
}

void log_line(std::string_view icon, std::string_view message) {
  std::string line;
  line.reserve(icon.size() + message.size() + 3);
  if (terminal_shows_icons()) {
    line += icon;
    line += ' ';
  } else {
    line += "> ";
  }
  line += message;
  line += '\n';
  write_out(line);
}

void log_detail(const Build* b, std::string_view line) {
  if (b->verbose < 3) return;
  std::string text;
  text.reserve(line.size() + 1);
  text += line;
  text += '\n';
  write_out(text);
}

bool parse_f64(std::string_view text, double* out) {
  size_t i = 0;
  bool neg = false;
  if (i < text.size() && text[i] == '-') {
    neg = true;
    i++;
  }
  size_t int_start = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') i++;
  std::string_view int_digits = text.substr(int_start, i - int_start);
  std::string_view frac_digits;
  if (i < text.size() && text[i] == '.') {
    size_t frac_start = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') i++;
    frac_digits = text.substr(frac_start, i - frac_start);
  }
  if (i != text.size()) return false;  // any other character, or a second "."
  if (int_digits.empty() && frac_digits.empty()) return false;  // "", "-", ".", "-."
  // Converting the whole digit run at once keeps long fractions exact to the nearest
  // double instead of overflowing a power of ten.
  std::string norm;
  norm.reserve(int_digits.size() + frac_digits.size() + 3);
  norm += int_digits.empty() ? std::string_view("0") : int_digits;
  norm += '.';
  norm += frac_digits.empty() ? std::string_view("0") : frac_digits;
  double x = 0;
  auto [ptr, ec] = std::from_chars(norm.data(), norm.data() + norm.size(), x);
  if (ec == std::errc::result_out_of_range) {
    bool big = int_digits.find_first_not_of('0') != std::string_view::npos;
    x = big ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (ec != std::errc() || ptr != norm.data() + norm.size()) {
    return false;
  }
  *out = neg ? -x : x;
  return true;
}

}  // namespace tesk
