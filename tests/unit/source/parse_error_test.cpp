// The "# Parser error" report, byte for byte, and how parse_error ends the work.
#include <gtest/gtest.h>

#include "helpers.h"
#include "model/records.h"
#include "source/parse_error.h"
#include "source/parser.h"

namespace tesk {
namespace {

using testutil::catch_error;
using testutil::error_line;
using testutil::text_parser;
using testutil::watch_build;

const std::string kSep = "------------------------------------\n";

std::string dashes(size_t n) { return std::string(n, '-'); }

// Reads tokens (blanks and newlines skipped) until an error is raised; returns the report.
std::string report_while_reading(Parser* p, void (*then)(Parser*) = nullptr) {
  auto caught = catch_error([&] {
    while (next_token(p, true, true) != TOK_EOF) {
    }
    if (then) then(p);
  });
  EXPECT_TRUE(caught.parse_failure);
  return caught.out;
}

std::string head(const std::string& path, u64 line, u64 col, const std::string& message) {
  return kSep + "# Parser error\n# File: " + path + "\n# Line: " + std::to_string(line) +
         " | Col: " + std::to_string(col) + "\n# Error: " + message + "\n" + kSep;
}

TEST(ParseErrorReport, UnsupportedByteOutsideAString) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "fn main() {\n    let x = \xC3\n}\n");
  std::string want = head("/src/test.tesk", 2, 13, "Parse error, unsupported character/byte: 195") +
                     "    let x = \xC3\n" + dashes(11) + " ^ " + dashes(22) + "\n";
  EXPECT_EQ(report_while_reading(p), want);
}

TEST(ParseErrorReport, StrayClosingCharacter) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "fn main() {\n    foo(1, 2]\n}\n");
  for (int i = 0; i < 5; i++) next_token(p, true, true);
  auto caught = catch_error([&] { skip_scope(p, "}"); });
  std::string want = head("/src/test.tesk", 2, 13, "Incorrect scope ending. Expected ')', Found: ']'") +
                     "    foo(1, 2]\n" + dashes(11) + " ^ " + dashes(22) + "\n";
  EXPECT_EQ(caught.out, want);
}

TEST(ParseErrorReport, UnterminatedStringRunsToTheEnd) {
  // The string swallows the rest of the file; the scope is still open at the end,
  // which is reported on the last line that holds text.
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "fn main() {\n    print(\"hi)\n}\n");
  for (int i = 0; i < 5; i++) next_token(p, true, true);
  auto caught = catch_error([&] { skip_scope(p, "}"); });
  std::string want = head("/src/test.tesk", 3, 2, "Missing scope closing character, expected to find: '}'") +
                     "}\n" + " ^ " + dashes(33) + "\n";
  EXPECT_EQ(caught.out, want);
}

TEST(ParseErrorReport, MissingClosingQuoteOfACharacter) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "c = 'ab'\n");
  std::string want = head("/src/test.tesk", 1, 7, "Missing single quote, found: 'b'") + "c = 'ab'\n" + dashes(3) +
                     " ^^^ " + dashes(28) + "\n";
  EXPECT_EQ(report_while_reading(p), want);
}

TEST(ParseErrorReport, ThreeByteTokenEndingAtColumn40) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), std::string(36, 'a') + " abc def\n");
  next_token(p, true, true);
  next_token(p, true, true);
  auto caught = catch_error([&] { parse_error(p, "boom"); });
  std::string want = head("/src/test.tesk", 1, 40, "boom") + std::string(12, 'a') + " abc def\n" + dashes(12) +
                     " ^^^ " + dashes(19) + "\n";
  EXPECT_EQ(caught.out, want);
}

TEST(ParseErrorReport, OneByteTokenAtTheStartOfALine) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "x\n+ y\n");
  next_token(p, true, true);
  next_token(p, true, true);
  auto caught = catch_error([&] { parse_error(p, "boom"); });
  EXPECT_EQ(caught.out, head("/src/test.tesk", 2, 1, "boom") + "+ y\n^ " + dashes(34) + "\n");
}

TEST(ParseErrorReport, LongTokenGetsSixteenCarets) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "abcdefghijklmnopqrst\n");
  next_token(p, true, true);
  auto caught = catch_error([&] { parse_error(p, "boom"); });
  EXPECT_EQ(caught.out, head("/src/test.tesk", 1, 20, "boom") + "efghijklmnopqrst\n" + std::string(15, '^') + "^ " +
                            dashes(19) + "\n");
}

TEST(ParseErrorReport, TwoByteTokenAtLineStart) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "  ab\n");
  next_token(p, true, true);
  auto caught = catch_error([&] { parse_error(p, "boom"); });
  // m = 3 bytes before the last byte of the token, lead = m - (k - 1) = 2.
  EXPECT_EQ(caught.out, head("/src/test.tesk", 1, 4, "boom") + "  ab\n- ^^ " + dashes(31) + "\n");
}

TEST(ParseErrorReport, LastLineWithoutFinalNewline) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "first\nfoo bar");
  for (int i = 0; i < 3; i++) next_token(p, true, true);
  auto caught = catch_error([&] { parse_error(p, "boom"); });
  EXPECT_EQ(caught.out, head("/src/test.tesk", 2, 7, "boom") + "foo bar\n" + dashes(3) + " ^^^ " + dashes(28) + "\n");
}

TEST(ParseErrorReport, CommentAtTheEndWithoutFinalNewline) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "x // c");
  next_token(p, true, true);
  auto caught = catch_error([&] {
    next_token(p, true, true);
    error_unexpected_eof(p);
  });
  EXPECT_EQ(caught.out, head("/src/test.tesk", 1, 6, "Unexpected end of file") + "x // c\n" + dashes(4) + " ^ " +
                            dashes(29) + "\n");
}

TEST(ParseErrorReport, NothingConsumedYet) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "abc\ndef\n");
  auto caught = catch_error([&] { parse_error(p, "boom"); });
  EXPECT_EQ(caught.out, head("/src/test.tesk", 1, 1, "boom") + "abc\n^ " + dashes(34) + "\n");

  Parser* empty = text_parser(b.get(), "");
  caught = catch_error([&] {
    next_token(empty, true, true);
    error_unexpected_eof(empty);
  });
  EXPECT_EQ(caught.out, head("/src/test.tesk", 1, 1, "Unexpected end of file") + "\n^ " + dashes(34) + "\n");
}

TEST(ParseErrorReport, FirstByteOfAFile) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "\x02 rest\n");
  std::string want = head("/src/test.tesk", 1, 1, "Parse error, unsupported character/byte: 2") + "\x02 rest\n^ " +
                     dashes(34) + "\n";
  EXPECT_EQ(report_while_reading(p), want);
}

TEST(ParseErrorReport, EndOfFileAfterFinalNewline) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "fn x() {\n");
  for (int i = 0; i < 5; i++) next_token(p, true, true);
  auto caught = catch_error([&] { skip_scope(p, "}"); });
  EXPECT_EQ(caught.out, head("/src/test.tesk", 1, 9, "Missing scope closing character, expected to find: '}'") +
                            "fn x() {\n" + dashes(7) + " ^ " + dashes(26) + "\n");
}

TEST(ParseErrorReport, FunctionLine) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "x");
  Func f;
  f.display_name = "util:run";
  p->context->func = &f;
  next_token(p, true, true);
  auto caught = catch_error([&] { parse_error(p, "boom"); });
  EXPECT_EQ(caught.out, kSep + "# Parser error\n# File: /src/test.tesk\n# Line: 1 | Col: 1\n# Function: util:run\n"
                               "# Error: boom\n" +
                            kSep + "x\n^ " + dashes(34) + "\n");
}

TEST(ParseErrorReport, TraceOfParentParsers) {
  auto b = watch_build();
  Parser* outer = text_parser(b.get(), "a\nb\nc {\n  d\n}\n", "/src/outer.tesk");
  for (int i = 0; i < 4; i++) next_token(outer, true, true);  // a b c {
  Chunk* body = chunk_here(outer);
  Parser* inner = sub_parser(outer, body);
  Parser* innermost = sub_parser(inner, chunk_here(inner));
  next_token(innermost, true, true);
  auto caught = catch_error([&] { parse_error(innermost, "boom"); });
  EXPECT_EQ(caught.out, kSep + "# Trace:\n# File: /src/outer.tesk | Line: 1\n# File: /src/outer.tesk | Line: 3\n"
                               "# File: /src/outer.tesk | Line: 3\n" +
                            head("/src/outer.tesk", 4, 3, "boom") + "  d\n- ^ " + dashes(32) + "\n");
}

TEST(ParseErrorReport, GeneratedContentIsShownWhole) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "\n\nfn x() {}\n\n", "<tesk-generated-code>");
  p->chunk->file->generated = 1;
  next_token(p, true, true);
  auto caught = catch_error([&] { parse_error(p, "boom"); });
  EXPECT_EQ(caught.out, "\n=====================\nfn x() {}\n=====================\n" +
                            head("<tesk-generated-code>", 3, 2, "boom") + "fn x() {}\n^^ " + dashes(33) + "\n");
}

TEST(ParseError, CommandLineExitsWithCodeOne) {
  Build b;
  Parser* p = text_parser(&b, "x");
  set_exit_throws(true);
  int code = -1;
  testing::internal::CaptureStdout();
  try {
    parse_error(p, "boom");
  } catch (const ExitRequest& e) {
    code = e.code;
  }
  std::string out = testing::internal::GetCapturedStdout();
  set_exit_throws(false);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(error_line(out), "boom");
}

TEST(ParseError, WatchModeRaisesTheNamedError) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "x");
  testing::internal::CaptureStdout();
  try {
    parse_error(p, "boom");
    FAIL();
  } catch (const ParseFailure& e) {
    EXPECT_STREQ(e.name, "parse_error");
    EXPECT_EQ(e.message, "parse_error");
  }
  EXPECT_NE(testing::internal::GetCapturedStdout().find("# Error: boom\n"), std::string::npos);
}

}  // namespace
}  // namespace tesk
