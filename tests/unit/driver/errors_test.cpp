#include "driver/errors.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <optional>

#include "driver/name_hash.h"
#include "util/fs.h"

namespace tesk {
namespace {

struct Captured {
  std::string out;
  int exit_code = -1;              // set when the process would have ended
  std::optional<BuildFailure> failure;  // set when BuildFailure was raised
};

template <typename F>
Captured capture(F&& f) {
  set_exit_throws(true);
  unsetenv("TERM");
  Captured c;
  testing::internal::CaptureStdout();
  try {
    f();
  } catch (const ExitRequest& e) {
    c.exit_code = e.code;
  } catch (const BuildFailure& e) {
    c.failure = e;
  }
  std::fflush(stdout);
  c.out = testing::internal::GetCapturedStdout();
  return c;
}

const std::string kBox = "-----------------------------";

TEST(BuildErrors, FatalKeepsMessage) {
  Captured c = capture([] { fatal_build_error("\nbad\n"); });
  EXPECT_EQ(c.exit_code, 1);
  EXPECT_EQ(c.out, "# Build error\n" + kBox + "\n\nbad\n\n" + kBox + "\n");
}

TEST(BuildErrors, ThreeModes) {
  // Command line: box with surrounding newlines removed, then exit 1.
  Build cli;
  Captured c = capture([&] { build_error(&cli, "\n\nbad\nthing\n"); });
  EXPECT_EQ(c.exit_code, 1);
  EXPECT_EQ(c.out, "# Build error\n" + kBox + "\nbad\nthing\n" + kBox + "\n");
  EXPECT_TRUE(cli.messages.empty());

  // Watch mode: the same box, then the named error.
  Build watch;
  watch.watch_mode = 1;
  c = capture([&] { build_error(&watch, "\nbad\n"); });
  EXPECT_EQ(c.exit_code, -1);
  ASSERT_TRUE(c.failure.has_value());
  EXPECT_EQ(c.failure->code, err::build_error);
  EXPECT_EQ(c.failure->message, "Build error");
  EXPECT_EQ(c.out, "# Build error\n" + kBox + "\nbad\n" + kBox + "\n");

  // Language server: nothing printed, the message kept unchanged.
  Build lsp;
  int dummy = 0;
  lsp.lsp = reinterpret_cast<LspContext*>(&dummy);
  c = capture([&] { build_error(&lsp, "\nbad\n"); });
  ASSERT_TRUE(c.failure.has_value());
  EXPECT_EQ(c.failure->code, 0x93e6f7a4u);
  EXPECT_EQ(c.out, "");
  ASSERT_EQ(lsp.messages.size(), 1u);
  EXPECT_EQ(lsp.messages[0].type, MSG_ERROR);
  EXPECT_EQ(lsp.messages[0].message, "\nbad\n");
  EXPECT_EQ(lsp_context(&lsp), reinterpret_cast<LspContext*>(&dummy));
}

TEST(BuildErrors, IconAndMissingLsp) {
  Build b;
  b.watch_mode = 1;
  Captured c = capture([&] { build_error_icon(&b, "❌", "Failed to link"); });
  ASSERT_TRUE(c.failure.has_value());
  EXPECT_EQ(c.out, "# Build error\n" + kBox + "\n> Failed to link\n" + kBox + "\n");

  c = capture([&] { lsp_context(&b); });
  ASSERT_TRUE(c.failure.has_value());
  EXPECT_EQ(c.out, "# Build error\n" + kBox + "\nMissing LSP object\n" + kBox + "\n");
}

TEST(Warnings, RecordedAndPrinted) {
  Build b;
  add_warning(&b, "first");
  b.messages.push_back(BuildMessage{MSG_ERROR, "an error"});
  add_warning(&b, "second");
  add_warning_diagnostic(&b, "diag", nullptr, nullptr);
  ASSERT_EQ(b.diagnostics.size(), 1u);
  EXPECT_EQ(b.diagnostics[0].type, MSG_WARNING);
  EXPECT_EQ(b.diagnostics[0].message, "diag");
  Captured c = capture([&] { print_warnings(&b); });
  EXPECT_EQ(c.out, "Warn: first\nWarn: second\n");
  b.no_warn = 1;
  c = capture([&] { print_warnings(&b); });
  EXPECT_EQ(c.out, "");
}

TEST(LogLine, Icons) {
  Captured c = capture([] { log_line("✅", "Compiled in 1.00s"); });
  EXPECT_EQ(c.out, "> Compiled in 1.00s\n");

  const std::pair<const char*, bool> terms[] = {
      {"xterm-256color", true}, {"vt100", true}, {"ansi", true},  {"linux", true}, {"screen.xterm", true},
      {"tmux-256color", true},  {"dumb", false}, {"", false},     {"XTERM", false}, {nullptr, false},
  };
  for (auto [term, want] : terms) EXPECT_EQ(term_shows_icons(term), want) << (term ? term : "(unset)");
}

TEST(ParseF64, Table) {
  const std::pair<const char*, double> ok[] = {
      {"0", 0.0},      {"007", 7.0},       {"1.", 1.0},     {".5", 0.5},
      {"-0.25", -0.25}, {"3.14159", 3.14159}, {"-12", -12.0}, {"1234567.125", 1234567.125},
      {"0.1234567890123456789012345678901234567890", 0.12345678901234568},
      {"123456789012345678901234567890.5", 1.2345678901234568e29},
  };
  for (auto [text, want] : ok) {
    double x = -99;
    EXPECT_TRUE(parse_f64(text, &x)) << text;
    EXPECT_EQ(x, want) << text;
  }
  // Fraction runs far longer than any integer type stay finite and exact to a double.
  std::string long_frac = "2." + std::string(400, '5');
  double x = 0;
  ASSERT_TRUE(parse_f64(long_frac, &x));
  EXPECT_EQ(x, 2.5555555555555554);
  std::string tiny = "0." + std::string(400, '0') + "1";
  ASSERT_TRUE(parse_f64(tiny, &x));
  EXPECT_EQ(x, 0.0);
  std::string huge = std::string(400, '9') + ".5";
  ASSERT_TRUE(parse_f64(huge, &x));
  EXPECT_TRUE(std::isinf(x));

  for (const char* bad : {"", "-", ".", "-.", "1.2.3", "1e5", "+1", " 1", "1 ", "1_0", "0x10", "--1", "1-"}) {
    double y = 42;
    EXPECT_FALSE(parse_f64(bad, &y)) << bad;
    EXPECT_EQ(y, 42) << bad;
  }
}

TEST(MaxU64, Larger) {
  EXPECT_EQ(max_u64(3, 7), 7u);
  EXPECT_EQ(max_u64(~0ull, 1), ~0ull);
}

TEST(FileHelpers, EqualsAndTimes) {
  char tmpl[] = "/tmp/tesk-fs-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  std::string f = dir + "/f.txt";
  std::string big(30000, 'x');
  ASSERT_TRUE(write_file(f, big));
  EXPECT_TRUE(file_equals(f, big));
  std::string other = big;
  other[25000] = 'y';  // differs in the third chunk only
  EXPECT_FALSE(file_equals(f, other));
  EXPECT_FALSE(file_equals(f, big + "x"));
  EXPECT_FALSE(file_equals(dir + "/missing", ""));
  ASSERT_TRUE(write_file(f, ""));
  EXPECT_TRUE(file_equals(f, ""));

  uint64_t t = 0;
  EXPECT_TRUE(file_mtime_ns(f, &t));
  EXPECT_GT(t, 1500000000ull * 1000000000ull);
  EXPECT_TRUE(file_mtime_ns(dir, &t));
  EXPECT_FALSE(file_mtime_ns(dir + "/missing", &t));
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(FileHelpers, LibraryBesideExecutable) {
  EXPECT_EQ(compiler_lib_dir(), path_real(std::string(TESK_BINARY_DIR) + "/lib"));
  EXPECT_EQ(path_base(compiler_lib_dir()), "lib");
}

}  // namespace
}  // namespace tesk
