// Skipping scopes and types, directives inside skipped scopes, and the expect operations.
#include <gtest/gtest.h>

#include <functional>

#include "helpers.h"
#include "model/records.h"
#include "source/compile_macro.h"
#include "source/parse_error.h"
#include "source/parser.h"

namespace tesk {
namespace {

using testutil::catch_error;
using testutil::error_line;
using testutil::text_parser;
using testutil::watch_build;

struct SkipCase {
  const char* text;
  const char* expect;  // the next token after the skip, or the error message
};

// Runs the skip over the text; returns the token that follows it, or the error message.
std::string run_skip(const char* text, const std::function<void(Parser*)>& skip) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), text);
  std::string result;
  auto caught = catch_error([&] {
    skip(p);
    next_token(p, true, true);
    result = p->kind == TOK_EOF ? "<eof>" : token_text(p);
  });
  if (caught.parse_failure) return error_line(caught.out);
  return result;
}

TEST(SkipScope, Table) {
  SkipCase cases[] = {
      {"a, (b, [c]), {d}) tail", "tail"},
      {"a ] ) x", "Incorrect scope ending. Expected ')', Found: ']'"},
      {"a (b", "Missing scope closing character, expected to find: ')'"},
      {"a (b ]", "Incorrect scope ending. Expected ')', Found: ']'"},
      {"\")\" ')' ) x", "x"},
      {"// )\n ) x", "x"},
      {"<{ a } ) x", "x"},
      {"f(\"unterminated ) x", "Missing scope closing character, expected to find: ')'"},
  };
  for (const SkipCase& c : cases) EXPECT_EQ(run_skip(c.text, [](Parser* p) { skip_scope(p, ")"); }), c.expect) << c.text;
  EXPECT_EQ(run_skip("{ [ ] } } x", [](Parser* p) { skip_scope(p, "}"); }), "x");
  EXPECT_EQ(run_skip("a } x", [](Parser* p) { skip_scope(p, "]"); }), "Incorrect scope ending. Expected ']', Found: '}'");
}

TEST(SkipScope, DirectivesKeepTheBracketsOfTheElseBranch) {
  SkipCase cases[] = {
      // The first branch is passed over, the #else branch is counted.
      {"\n#if A\n{\n#else\n{ }\n#end\n} x", "x"},
      {"\n#if A\n{\n#elif B\n(\n#else\n#end\n} x", "x"},
      {"\n#if A\n#if B\n{\n#end\n{\n#end\n} x", "x"},
      {"\n#loop items\n{\n#end\n} x", "x"},
      // A "#" that does not start its line is only a symbol.
      {"a # if\n} x", "x"},
      {"\n#else\n}", "Unexpected '#else' token. There's no previous #if to match with"},
      {"\n#elif X\n}", "Unexpected '#elif' token. There's no previous #if to match with"},
      {"\n#end\n}", "Unexpected '#end' token. There's no previous #if to match with"},
      {"\n#if A\n}", "Missing compile macro '#end' token"},
      {"\n#print x\n} x", "x"},
  };
  for (const SkipCase& c : cases) EXPECT_EQ(run_skip(c.text, [](Parser* p) { skip_scope(p, "}"); }), c.expect) << c.text;
}

TEST(SkipScope, OpenDirectiveIsReportedAtTheEnd) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "\n#if A\n}\n#else\n}");
  skip_scope(p, "}");
  EXPECT_NE(top_compile_macro(p, CM_IF), nullptr);
  auto caught = catch_error([&] { check_open_compile_macro(p); });
  EXPECT_EQ(error_line(caught.out), "Missing compile macro '#end' token");
}

TEST(SkipType, Table) {
  SkipCase cases[] = {
      {"int NEXT", "NEXT"},
      {"?*&int NEXT", "NEXT"},
      {"core:String NEXT", "NEXT"},
      {"Map[int, Array[String]] NEXT", "NEXT"},
      {"fn(int, bool)(String) NEXT", "NEXT"},
      {"fnptr()() NEXT", "NEXT"},
      {"co(int) NEXT", "NEXT"},
      {"co NEXT", "NEXT"},
      {"(int, bool) NEXT", "NEXT"},
      {"[int, 3] NEXT", "NEXT"},
      {"<?Array[int]> NEXT", "NEXT"},
      {"int\n[NEXT]", "["},  // brackets on the next line are not generic arguments
      {"core :String", ":"},
      {"fn(int)x", "Expected token: '(', instead of: 'x'"},
      {"fn x", "Expected token: '(', instead of: ''"},
      {"<int]", "Expected token: '>', instead of: ']'"},
      {"123", "Invalid type syntax"},
      {"core:5", "Invalid type syntax"},
      {"Map[int", "Missing scope closing character, expected to find: ']'"},
  };
  for (const SkipCase& c : cases) EXPECT_EQ(run_skip(c.text, skip_type), c.expect) << c.text;
}

TEST(SkipQualifiedName, Table) {
  auto skip = [](Parser* p) { skip_qualified_name(p, false); };
  EXPECT_EQ(run_skip("a:b c", skip), "c");
  EXPECT_EQ(run_skip(" name(", skip), "(");
  EXPECT_EQ(run_skip("a: b", skip), "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]");
  EXPECT_EQ(run_skip("1", skip), "Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]");
  EXPECT_EQ(run_skip("\nx", skip), "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]");
  EXPECT_EQ(run_skip("\nx", [](Parser* p) { skip_qualified_name(p, true); }), "<eof>");
}

TEST(Expect, MessagesOnMismatch) {
  struct Case {
    const char* text;
    std::function<void(Parser*)> op;
    const char* message;  // "" when the operation succeeds
  } cases[] = {
      {"x", [](Parser* p) { expect_token(p, "(", true, true); }, "Expected token: '(', instead of: 'x'"},
      {" (", [](Parser* p) { expect_token(p, "(", true, false); }, ""},
      {"\n(", [](Parser* p) { expect_token(p, "(", true, false); }, "Expected token: '(', instead of: ''"},
      {"c", [](Parser* p) { expect_token2(p, "a", "b", true, true); }, "Expected token: 'a' or 'b', instead of: 'c'"},
      {"b", [](Parser* p) { expect_token2(p, "a", "b", true, true); }, ""},
      {"d", [](Parser* p) { expect_token3(p, "a", "b", "c", true, true); },
       "Expected token: 'a', 'b' or 'c', instead of: 'd'"},
      {"c", [](Parser* p) { expect_token3(p, "a", "b", "c", true, true); }, ""},
      {"d", [](Parser* p) { expect_token_in(p, {"a", "b", "c"}, true, true); },
       "Unexpected token: 'd', expected: 'a', 'b', 'c'"},
      {"b", [](Parser* p) { expect_token_in(p, {"a", "b"}, true, true); }, ""},
      {"1", [](Parser* p) { expect_word(p, true, true); },
       "Expected a valid identifier name ([a-Z_]{1}[a-Z0-9_]*), found: '1'"},
      {"@x", [](Parser* p) { expect_word(p, true, true); },
       "Expected a valid identifier name ([a-Z_]{1}[a-Z0-9_]*), found: '@x'"},
      {"x", [](Parser* p) { expect_string(p, true, true); }, "Expected a string between doubles quotes, found: 'x'"},
      {"\"x\"", [](Parser* p) { expect_string(p, true, true); }, ""},
      {"x", [](Parser* p) { error_unexpected_token((next_token(p, true, true), p)); }, "Unexpected token: 'x'"},
      {"", [](Parser* p) { error_unexpected_eof(p); }, "Unexpected end of file"},
      {"", [](Parser* p) { parse_bug(p, "Lost track"); }, "Lost track (BUG)"},
      {"", [](Parser* p) { get_parser_func(p); }, "Missing function object in parser (bug)"},
  };
  for (const Case& c : cases) {
    auto b = watch_build();
    Parser* p = text_parser(b.get(), c.text);
    auto caught = catch_error([&] { c.op(p); });
    EXPECT_EQ(caught.parse_failure, c.message[0] != 0) << c.text << " / " << c.message;
    EXPECT_EQ(error_line(caught.out), c.message) << c.text;
  }
}

TEST(Expect, Token2PeekDoesNotMove) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), " b");
  expect_token2(p, "a", "b", true, true, false);
  EXPECT_EQ(p->index, 0u);
  EXPECT_EQ(token_text(p), "b");
}

TEST(Expect, Newline) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "a\n  b c");
  next_token(p, true, true);
  EXPECT_EQ(expect_newline(p), TOK_WORD);
  EXPECT_EQ(p->index, 1u);  // a peek
  next_token(p, true, true);
  auto caught = catch_error([&] { expect_newline(p); });
  EXPECT_EQ(error_line(caught.out), "Expected a newline");
}

TEST(Expect, ParserFunctionFromContext) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "");
  EXPECT_EQ(parser_func_or_none(p), nullptr);
  Func f;
  p->context->func = &f;
  EXPECT_EQ(get_parser_func(p), &f);
  EXPECT_EQ(parser_func_or_none(p), &f);
}

}  // namespace
}  // namespace tesk
