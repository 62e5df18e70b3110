#include "driver/cli.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "driver/errors.h"
#include "tools/doc.h"

namespace tesk {
namespace {

using Strings = std::vector<std::string>;
using Values = std::vector<std::pair<std::string, Strings>>;

struct Outcome {
  int code = -1;
  bool exited = false;  // ended through exit_process
  std::string out;
};

template <typename F>
Outcome capture(F&& f) {
  set_exit_throws(true);
  Outcome o;
  testing::internal::CaptureStdout();
  try {
    o.code = f();
  } catch (const ExitRequest& e) {
    o.code = e.code;
    o.exited = true;
  }
  std::fflush(stdout);
  o.out = testing::internal::GetCapturedStdout();
  return o;
}

Outcome run_cli(Strings args) {
  return capture([&] { return cli_main(args); });
}

struct ParseCase {
  Strings input;
  Strings args, flags;
  Values values;
  Strings unrecognised, rest;
  std::string missing;
};

TEST(ParseCliArgs, Table) {
  const std::vector<std::string_view> known = {"-o", "-v", "--def", "-L", "-h"};
  const std::vector<std::string_view> with_value = {"-o", "--def", "-L"};
  const ParseCase cases[] = {
      // A pending option takes the next item whatever it looks like, "--" included.
      {{"-o", "--", "x"}, {"x"}, {}, {{"-o", {"--"}}}, {}, {}, ""},
      {{"-o", "-v"}, {}, {}, {{"-o", {"-v"}}}, {}, {}, ""},
      // A value option at the end is reported as missing its value.
      {{"a", "-o"}, {"a"}, {}, {}, {}, {}, "-o"},
      {{"-v", "-v", "-q"}, {}, {"-v", "-v"}, {}, {"-q"}, {}, ""},
      {{"-", "x"}, {"x"}, {}, {}, {"-"}, {}, ""},
      // Everything after the first "--" is the program's, a second "--" included.
      {{"a", "--", "-o", "b", "--"}, {"a"}, {}, {}, {}, {"-o", "b", "--"}, ""},
      {{"--def", "A=1", "-L", "p", "--def", "B"}, {}, {}, {{"--def", {"A=1", "B"}}, {"-L", {"p"}}}, {}, {}, ""},
      // No "=" form and no joined single letters.
      {{"-o=x", "-vh"}, {}, {}, {}, {"-o=x", "-vh"}, {}, ""},
      {{}, {}, {}, {}, {}, {}, ""},
  };
  for (const ParseCase& c : cases) {
    std::string trace;
    for (auto& s : c.input) trace += "[" + s + "]";
    SCOPED_TRACE(trace);
    CliArgs r = parse_cli_args(c.input, known, with_value);
    EXPECT_EQ(r.args, c.args);
    EXPECT_EQ(r.flags, c.flags);
    Values got;
    for (auto& [k, v] : r.values) got.emplace_back(k, v);
    EXPECT_EQ(got, c.values);
    EXPECT_EQ(r.unrecognised, c.unrecognised);
    EXPECT_EQ(r.rest, c.rest);
    EXPECT_EQ(r.missing_value, c.missing);
  }
}

TEST(ParseCliArgs, ValueGetters) {
  CliArgs r = parse_cli_args({"-o", "x", "-o", "y", "a"}, {"-o", "-L"}, {"-o", "-L"});
  EXPECT_EQ(cli_arg_value(r, "-o", false), std::optional<std::string>("x"));
  EXPECT_EQ(cli_arg_value(r, "-L", false), std::nullopt);
  EXPECT_EQ(cli_arg_value(r, "-L", true), std::nullopt);
  EXPECT_EQ(cli_arg_values(r, "-o"), (Strings{"x", "y"}));
  EXPECT_TRUE(cli_arg_values(r, "-L").empty());

  Outcome o = capture([&] {
    cli_arg_value(r, "-o", true);
    return 0;
  });
  EXPECT_TRUE(o.exited);
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.out, "The '-o' argument was passed multiple times\n");
}

TEST(CliMain, UsageAndVersion) {
  struct Case {
    Strings args;
    int code;
    std::string out;
  };
  const std::string usage = usage_text();
  const std::string lsp_usage_text = run_cli({"tesk", "lsp"}).out;
  ASSERT_NE(lsp_usage_text.find("tesk lsp run"), std::string::npos);
  const Case cases[] = {
      {{"tesk"}, 1, usage},
      {{"tesk", "--leak-check"}, 1, usage},
      {{"tesk", "-h"}, 0, usage},
      {{"tesk", "--help"}, 0, usage},
      {{"tesk", "help"}, 1, usage},
      {{"tesk", "Build"}, 1, usage},
      {{"tesk", "version"}, 0, "tesk-0.1.8\n"},
      {{"tesk", "--leak-check", "version", "x"}, 0, "tesk-0.1.8\n"},
      {{"tesk", "lsp", "--help"}, 0, lsp_usage_text},
      {{"tesk", "lsp", "nope"}, 1, lsp_usage_text},
      {{"tesk", "doc", "-h"}, 0, doc_usage_text()},
      {{"tesk", "doc", "dir", "--help"}, 0, doc_usage_text()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : "(none)");
    Outcome o = run_cli(c.args);
    EXPECT_EQ(o.code, c.code);
    EXPECT_EQ(o.out, c.out);
  }
}

TEST(CliMain, UsageTextLayout) {
  std::string u = usage_text();
  EXPECT_EQ(u.substr(0, 26), std::string(25, '-') + "\n");
  EXPECT_NE(u.find("\n Tesk v0.1.8\n"), std::string::npos);
  // Build usage: every option line pads its option column to 22 characters.
  std::string b = build_usage_text();
  EXPECT_EQ(b.substr(0, 1), "\n");
  EXPECT_NE(b.find("\n  -o                  Set outpath\n"), std::string::npos);
  EXPECT_NE(b.find("\n  --help -h           Build command usage info\n\n"), std::string::npos);
  size_t lines = 0;
  for (char c : b) lines += c == '\n';
  EXPECT_EQ(lines, 29u);
  for (size_t c = 0; c < u.size(); c++) lines += u[c] == '\n';
  EXPECT_EQ(lines, 29u + 15u);
}

TEST(CliMain, LeakCheckOnlyFirstRemoved) {
  // The second "--leak-check" reaches the build option parser as an unknown option.
  Outcome o = run_cli({"tesk", "build", "a.tesk", "--leak-check", "--leak-check"});
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.out.find("Unknown build argument: --leak-check"), std::string::npos);
  EXPECT_TRUE(leak_check_enabled());
}

TEST(CliMain, ShortcutRunsWithProgramArguments) {
  // The shortcut puts the rest after "--": a program argument that looks like an
  // unknown option does not reach the option parser.
  Outcome o = run_cli({"tesk", "/nonexistent-dir/app.tesk", "-zz", "--ir"});
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.out.find("File not found: /nonexistent-dir/app.tesk"), std::string::npos);
  EXPECT_EQ(o.out.find("Unknown build argument"), std::string::npos);
}

TEST(CliMain, DocsOptionGoesBeforeSeparator) {
  const std::pair<Strings, Strings> cases[] = {
      {{"dir"}, {"dir", "--docs"}},
      {{"dir", "--", "a"}, {"dir", "--docs", "--", "a"}},
      // "--" as the value of -o is no separator.
      {{"dir", "-o", "--", "x"}, {"dir", "-o", "--", "x", "--docs"}},
      {{}, {"--docs"}},
  };
  for (auto [in, want] : cases) {
    add_docs_option(in);
    EXPECT_EQ(in, want);
  }
}

TEST(CliFail, PrintsAndExits) {
  Outcome o = capture([] {
    cli_fail("Please install the 'lld' linker");
    return 0;
  });
  EXPECT_TRUE(o.exited);
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.out, "#Error: Please install the 'lld' linker\n");
}

}  // namespace
}  // namespace tesk
