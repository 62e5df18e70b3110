// The tokenizer: kinds, texts, positions, the starts-line flag, and the scanners.
#include <gtest/gtest.h>

#include <vector>

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

struct Tok {
  u64 kind;
  std::string text;
  u64 line = 0;
  u64 col = 0;
  int starts_line = -1;  // -1: not checked
};

bool operator==(const Tok& a, const Tok& b) {
  return a.kind == b.kind && a.text == b.text && (a.line == 0 || b.line == 0 || a.line == b.line) &&
         (a.col == 0 || b.col == 0 || a.col == b.col) &&
         (a.starts_line < 0 || b.starts_line < 0 || a.starts_line == b.starts_line);
}

std::ostream& operator<<(std::ostream& os, const Tok& t) {
  return os << "{kind " << t.kind << ", '" << t.text << "', " << t.line << ":" << t.col << ", sl " << t.starts_line
            << "}";
}

// Every token up to the end, blanks and newlines skipped; the end itself is left out.
std::vector<Tok> tokens(const std::string& text) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), text);
  std::vector<Tok> out;
  while (next_token(p, true, true) != TOK_EOF) {
    Chunk* at = chunk_at_token(p);
    out.push_back({p->kind, token_text(p), at->line, at->col, p->starts_line});
  }
  return out;
}

std::vector<Tok> kinds(const std::string& text) {
  std::vector<Tok> out;
  for (Tok t : tokens(text)) out.push_back({t.kind, t.text});
  return out;
}

TEST(Tokenizer, KindsTextsLinesColumnsAndStartsLine) {
  std::string text =
      "fn main() {\n"
      "  x = @size $len 'a' \"s\\\"t\" 1_0 2.5 0xFF 0c17\n"
      "}";
  std::vector<Tok> want = {
      {TOK_WORD, "fn", 1, 1, 1},         {TOK_WORD, "main", 1, 4, 0},        {TOK_SYMBOL, "(", 1, 8, 0},
      {TOK_SYMBOL, ")", 1, 9, 0},        {TOK_SYMBOL, "{", 1, 11, 0},        {TOK_WORD, "x", 2, 3, 1},
      {TOK_SYMBOL, "=", 2, 5, 0},        {TOK_AT_WORD, "@size", 2, 7, 0},    {TOK_DOLLAR_WORD, "$len", 2, 13, 0},
      {TOK_CHAR, "'a'", 2, 18, 0},       {TOK_STRING, "\"s\\\"t\"", 2, 22, 0}, {TOK_INT, "1_0", 2, 29, 0},
      {TOK_FLOAT, "2.5", 2, 33, 0},      {TOK_HEX, "0xFF", 2, 37, 0},        {TOK_OCTAL, "0c17", 2, 42, 0},
      {TOK_SYMBOL, "}", 3, 1, 1},
  };
  EXPECT_EQ(tokens(text), want);
}

TEST(Tokenizer, EveryTwoByteSymbolAndTheThreePoints) {
  for (const char* s : {"==", "=>", ">=", ">>", "!!", "!=", "!>", "!?", "++", "+=", "--", "-=", "->", "<<",
                        "<=", "<{", "%=", "*=", "/=", "^=", "&&", "&=", "|=", "||", "?!", "??", "..."}) {
    EXPECT_EQ(kinds(s), (std::vector<Tok>{{TOK_SYMBOL, s}})) << s;
    // Followed by a word, the symbol stays whole.
    EXPECT_EQ(kinds(std::string(s) + "a"), (std::vector<Tok>{{TOK_SYMBOL, s}, {TOK_WORD, "a"}})) << s;
  }
}

TEST(Tokenizer, SymbolsThatStayOneByte) {
  struct Case {
    const char* text;
    std::vector<std::string> symbols;
  } cases[] = {
      {"..", {".", "."}},        {"<<=", {"<<", "="}},  {">>=", {">>", "="}}, {"::", {":", ":"}},
      {"=<", {"=", "<"}},        {"! =", {"!", "="}},   {"#[", {"#", "["}},   {"-->", {"--", ">"}},
      {"....", {"...", "."}},    {"~^", {"~", "^"}},    {"?:", {"?", ":"}},   {"/ /", {"/", "/"}},
      {"}{)(][,;", {"}", "{", ")", "(", "]", "[", ",", ";"}},
  };
  for (const Case& c : cases) {
    std::vector<Tok> want;
    for (const std::string& s : c.symbols) want.push_back({TOK_SYMBOL, s});
    EXPECT_EQ(kinds(c.text), want) << c.text;
  }
}

TEST(Tokenizer, NumberForms) {
  struct Case {
    const char* text;
    std::vector<Tok> want;
  } cases[] = {
      {"0x1F_FF", {{TOK_HEX, "0x1F_FF"}}},
      {"0c17", {{TOK_OCTAL, "0c17"}}},
      {"1_000.5", {{TOK_FLOAT, "1_000.5"}}},
      {"0.5", {{TOK_FLOAT, "0.5"}}},
      {"007", {{TOK_INT, "007"}}},
      {"1_", {{TOK_INT, "1_"}}},
      {"0x", {{TOK_HEX, "0x"}}},
      {"0c", {{TOK_OCTAL, "0c"}}},
      {"0x_FF", {{TOK_HEX, "0x_FF"}}},
      {"1.foo", {{TOK_INT, "1"}, {TOK_SYMBOL, "."}, {TOK_WORD, "foo"}}},
      {"1.5.x", {{TOK_FLOAT, "1.5"}, {TOK_SYMBOL, "."}, {TOK_WORD, "x"}}},
      {"1..2", {{TOK_INT, "1"}, {TOK_SYMBOL, "."}, {TOK_SYMBOL, "."}, {TOK_INT, "2"}}},
      {"0_x1", {{TOK_INT, "0_"}, {TOK_WORD, "x1"}}},
      {"0X1", {{TOK_INT, "0"}, {TOK_WORD, "X1"}}},
      {"0C7", {{TOK_INT, "0"}, {TOK_WORD, "C7"}}},
      {"0c19", {{TOK_OCTAL, "0c1"}, {TOK_INT, "9"}}},
      {"0xfg", {{TOK_HEX, "0xf"}, {TOK_WORD, "g"}}},
      {"12\n3", {{TOK_INT, "12"}, {TOK_INT, "3"}}},
      {"-5", {{TOK_SYMBOL, "-"}, {TOK_INT, "5"}}},
      {"1e5", {{TOK_INT, "1"}, {TOK_WORD, "e5"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(kinds(c.text), c.want) << c.text;
}

TEST(Tokenizer, NumberFollowedByNewlineKeepsPositions) {
  EXPECT_EQ(tokens("0\n12\n0x1\nz"),
            (std::vector<Tok>{{TOK_INT, "0", 1, 1, 1}, {TOK_INT, "12", 2, 1, 1}, {TOK_HEX, "0x1", 3, 1, 1},
                              {TOK_WORD, "z", 4, 1, 1}}));
}

TEST(Tokenizer, AtAndDollarWords) {
  EXPECT_EQ(kinds("@a_1b $x @ $ @1"), (std::vector<Tok>{{TOK_AT_WORD, "@a_1b"},
                                                         {TOK_DOLLAR_WORD, "$x"},
                                                         {TOK_AT_WORD, "@"},
                                                         {TOK_DOLLAR_WORD, "$"},
                                                         {TOK_AT_WORD, "@1"}}));
  EXPECT_EQ(kinds("$x.y"), (std::vector<Tok>{{TOK_DOLLAR_WORD, "$x"}, {TOK_SYMBOL, "."}, {TOK_WORD, "y"}}));
  EXPECT_EQ(kinds("_a9 a_"), (std::vector<Tok>{{TOK_WORD, "_a9"}, {TOK_WORD, "a_"}}));
}

TEST(Tokenizer, BlanksAreTokensWhenNotSkipped) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "a  b");
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
  EXPECT_EQ(next_token(p, false, false), TOK_BLANK);
  EXPECT_EQ(p->col, 2u);
  EXPECT_EQ(p->tok_len, 0u);
  EXPECT_EQ(next_token(p, false, false), TOK_BLANK);  // nothing consumed
  EXPECT_EQ(p->col, 2u);
  EXPECT_EQ(next_token(p, true, false), TOK_WORD);
  EXPECT_EQ(token_text(p), "b");
  EXPECT_EQ(p->col - p->tok_len, 4u);
  // Tab and carriage return are blanks.
  EXPECT_EQ(tokens("a\t\rb"), (std::vector<Tok>{{TOK_WORD, "a", 1, 1}, {TOK_WORD, "b", 1, 4}}));
}

TEST(Tokenizer, NewlinesSkippedOnlyWithBothFlags) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "x\ny");
  next_token(p, true, true);
  EXPECT_EQ(next_token(p, true, false), TOK_BLANK);
  EXPECT_EQ(p->line, 1u);
  EXPECT_EQ(next_token(p, false, true), TOK_BLANK);
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
  EXPECT_EQ(p->line, 2u);
  EXPECT_EQ(p->starts_line, 1);
}

TEST(Tokenizer, CommentTakesItsNewlineWhateverTheFlags) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "x // note\ny");
  next_token(p, true, true);
  EXPECT_EQ(p->starts_line, 1);  // first token of the file
  EXPECT_EQ(next_token(p, true, false), TOK_WORD);
  EXPECT_EQ(token_text(p), "y");
  EXPECT_EQ(p->line, 2u);
  EXPECT_EQ(p->starts_line, 1);

  Parser* q = text_parser(b.get(), "x// c\ny");
  next_token(q, true, true);
  EXPECT_EQ(next_token(q, false, false), TOK_WORD);
  EXPECT_EQ(token_text(q), "y");

  EXPECT_EQ(tokens("// a\n// b\nz"), (std::vector<Tok>{{TOK_WORD, "z", 3, 1, 1}}));
  EXPECT_EQ(tokens("a b / c"), (std::vector<Tok>{{TOK_WORD, "a", 1, 1, 1},
                                                 {TOK_WORD, "b", 1, 3, 0},
                                                 {TOK_SYMBOL, "/", 1, 5, 0},
                                                 {TOK_WORD, "c", 1, 7, 0}}));
}

TEST(Tokenizer, CommentAtEndWithoutNewlineCountsNoLine) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "x // c");
  next_token(p, true, true);
  EXPECT_EQ(next_token(p, true, true), TOK_EOF);
  EXPECT_EQ(p->line, 1u);
  EXPECT_EQ(p->col, 7u);
  EXPECT_EQ(p->index, 6u);
}

TEST(Tokenizer, StartsLineOnlyForFirstTokenOfALine) {
  EXPECT_EQ(tokens("a b\n  c d\n\ne"), (std::vector<Tok>{{TOK_WORD, "a", 1, 1, 1},
                                                         {TOK_WORD, "b", 1, 3, 0},
                                                         {TOK_WORD, "c", 2, 3, 1},
                                                         {TOK_WORD, "d", 2, 5, 0},
                                                         {TOK_WORD, "e", 4, 1, 1}}));
}

TEST(Tokenizer, PeekThenReadGivesTheSameToken) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "a\n  b c");
  next_token(p, true, true);
  u64 index = p->index, line = p->line, col = p->col;
  EXPECT_EQ(next_token(p, true, true, false), TOK_WORD);
  EXPECT_EQ(token_text(p), "b");
  EXPECT_EQ(p->starts_line, 1);
  EXPECT_EQ(p->index, index);
  EXPECT_EQ(p->line, line);
  EXPECT_EQ(p->col, col);
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
  EXPECT_EQ(token_text(p), "b");
  EXPECT_EQ(p->starts_line, 1);
  EXPECT_EQ(p->line, 2u);
  EXPECT_EQ(p->col, 4u);
  next_token(p, true, true, false);
  EXPECT_EQ(p->starts_line, 0);
}

TEST(Tokenizer, NewlinesPassedAreCountedAsParsedLines) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "a\n\nb\nc");
  next_token(p, true, true);
  next_token(p, true, true, false);  // a peek counts too
  EXPECT_EQ(b->loc_parsed, 2u);
  next_token(p, true, true);  // the token peeked at: its lines are not read again
  EXPECT_EQ(b->loc_parsed, 2u);
  next_token(p, true, true);
  EXPECT_EQ(b->loc_parsed, 3u);
  // Read again from an earlier place, the lines count again.
  Parser* q = text_parser(b.get(), "a\n\nb\nc");
  next_token(q, true, true);
  save_position(q);
  next_token(q, true, true);
  next_token(q, true, true);
  restore_position(q);
  next_token(q, true, true);
  EXPECT_EQ(b->loc_parsed, 3u + 3u + 2u);
}

// A token read twice from the same place (a peek, then the read) is the same token with
// the same end, whatever other flags the second call gives, as a parser reading afresh
// would give it.
TEST(Tokenizer, RereadAtTheSamePlaceMatchesAFreshRead) {
  struct Flags {
    bool blanks, newlines, advance;
  };
  const Flags sets[] = {{false, false, false}, {false, false, true}, {true, false, false}, {true, false, true},
                        {true, true, false},   {true, true, true},   {false, true, true}};
  const char* texts[] = {"a  b",  "a\n  b", "a\n\n c", "a b", "a// c\n d", "a'x' 'y'", "a \"s\" 1.5",
                         "a\t\r)", "a",      "a \n",    "a+=b", "a\n// c\n\nd"};
  for (const char* text : texts) {
    for (const Flags& first : sets) {
      for (const Flags& second : sets) {
        auto b = watch_build();
        Parser* p = text_parser(b.get(), text);
        next_token(p, true, true);  // "a"
        next_token(p, first.blanks, first.newlines, first.advance);
        p->char_value = 0;  // a reread character token must give its value again
        u64 kind = next_token(p, second.blanks, second.newlines, second.advance);

        auto fb = watch_build();
        Parser* f = text_parser(fb.get(), text);
        next_token(f, true, true);
        if (first.advance) next_token(f, first.blanks, first.newlines, true);
        f->char_value = 0;
        u64 want = next_token(f, second.blanks, second.newlines, second.advance);
        std::string where = std::string(text) + " first " + std::to_string(first.blanks) +
                            std::to_string(first.newlines) + std::to_string(first.advance) + " second " +
                            std::to_string(second.blanks) + std::to_string(second.newlines) +
                            std::to_string(second.advance);
        EXPECT_EQ(kind, want) << where;
        EXPECT_EQ(p->kind, f->kind) << where;
        EXPECT_EQ(token_text(p), token_text(f)) << where;
        EXPECT_EQ(p->index, f->index) << where;
        EXPECT_EQ(p->line, f->line) << where;
        EXPECT_EQ(p->col, f->col) << where;
        EXPECT_EQ(p->starts_line, f->starts_line) << where;
        if (kind == TOK_CHAR) {
          EXPECT_EQ(p->char_value, f->char_value) << where;
        }
      }
    }
  }
}

TEST(Tokenizer, RereadAfterMovingIsScannedAgain) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "ab cd\nef gh");
  next_token(p, true, true);
  save_position(p);
  EXPECT_EQ(next_token(p, true, true, false), TOK_WORD);
  EXPECT_EQ(token_text(p), "cd");
  // Moved on by other means than a token read: the next read starts there.
  advance_chars(p, 3);
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
  EXPECT_EQ(token_text(p), "ef");
  EXPECT_EQ(p->line, 2u);
  EXPECT_EQ(p->col, 3u);
  restore_position(p);
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
  EXPECT_EQ(token_text(p), "cd");
  EXPECT_EQ(p->line, 1u);
  EXPECT_EQ(p->col, 6u);

  // The same byte index in another text is read from that text.
  Parser* other = text_parser(b.get(), "xy zw\nuv");
  next_token(other, true, true);
  Chunk* there = chunk_here(other);
  Parser* q = text_parser(b.get(), "ab cd\nef gh");
  next_token(q, true, true);
  EXPECT_EQ(next_token(q, true, true, false), TOK_WORD);
  EXPECT_EQ(token_text(q), "cd");
  set_chunk(q, there);
  EXPECT_EQ(next_token(q, true, true), TOK_WORD);
  EXPECT_EQ(token_text(q), "zw");
  EXPECT_EQ(q->data + q->index, there->content.data() + 5);

  // The same index at another line or column (a chunk placed elsewhere) is read afresh.
  Parser* r = text_parser(b.get(), "ab\ncd");
  next_token(r, true, true, false);
  EXPECT_EQ(r->starts_line, 1);
  r->line = 7;
  r->col = 3;
  next_token(r, true, true);
  EXPECT_EQ(token_text(r), "ab");
  EXPECT_EQ(r->line, 7u);
  EXPECT_EQ(r->col, 5u);
  EXPECT_EQ(r->starts_line, 0);
}

TEST(Tokenizer, LinesAndColumnsAfterRereads) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "x\n\n   y  z\nw");
  next_token(p, true, true);
  for (int i = 0; i < 3; i++) {
    next_token(p, true, true, false);
    EXPECT_EQ(p->line, 1u);
    EXPECT_EQ(p->col, 2u);
  }
  next_token(p, true, false, false);
  EXPECT_EQ(p->kind, TOK_BLANK);
  next_token(p, true, true);
  EXPECT_EQ(token_text(p), "y");
  EXPECT_EQ(chunk_at_token(p)->col, 4u);
  EXPECT_EQ(p->line, 3u);
  EXPECT_EQ(p->col, 5u);
  EXPECT_EQ(next_token(p, false, false, false), TOK_BLANK);
  EXPECT_EQ(next_token(p, true, false, false), TOK_WORD);
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
  EXPECT_EQ(token_text(p), "z");
  EXPECT_EQ(p->line, 3u);
  EXPECT_EQ(p->col, 8u);
  EXPECT_EQ(p->starts_line, 0);
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
  EXPECT_EQ(token_text(p), "w");
  EXPECT_EQ(p->line, 4u);
  EXPECT_EQ(p->col, 2u);
  EXPECT_EQ(p->starts_line, 1);
}

TEST(Tokenizer, StringLiterals) {
  EXPECT_EQ(tokens("\"a\\\"b\" x"), (std::vector<Tok>{{TOK_STRING, "\"a\\\"b\"", 1, 1}, {TOK_WORD, "x", 1, 8}}));
  // A newline inside the literal moves the line; the next token is placed right.
  // (The start of a token that spans lines is not kept: line and column unchecked.)
  EXPECT_EQ(tokens("\"a\nb\" y"), (std::vector<Tok>{{TOK_STRING, "\"a\nb\""}, {TOK_WORD, "y", 2, 4}}));
  EXPECT_EQ(tokens("\"a\\\nb\" y"), (std::vector<Tok>{{TOK_STRING, "\"a\\\nb\""}, {TOK_WORD, "y", 2, 4}}));
  // Unterminated: runs to the end without an error.
  EXPECT_EQ(kinds("x \"abc ) }"), (std::vector<Tok>{{TOK_WORD, "x"}, {TOK_STRING, "\"abc ) }"}}));
  EXPECT_EQ(kinds("\"ab\\"), (std::vector<Tok>{{TOK_STRING, "\"ab\\"}}));
  // Bytes of any value inside strings and comments.
  EXPECT_EQ(kinds("\"\xC3\xA9\" // \xC3\x01\n"), (std::vector<Tok>{{TOK_STRING, "\"\xC3\xA9\""}}));
}

TEST(Tokenizer, StringLiteralsWithInterpolation) {
  // The expression of "%{ }" belongs to the literal: its quotes, braces, character
  // literals and comments do not end it.
  struct Case {
    const char* source;
    const char* literal;
  } cases[] = {
      {"\"<%{ f(\")\") }>\" x", "\"<%{ f(\")\") }>\""},
      {"\"%{ f(\"\\\"\") }\" x", "\"%{ f(\"\\\"\") }\""},
      {"\"%{ {a: \"}\"} }\" x", "\"%{ {a: \"}\"} }\""},
      {"\"%{ c == '\"' }\" x", "\"%{ c == '\"' }\""},
      {"\"%{ c == '\\'' }\" x", "\"%{ c == '\\'' }\""},
      {"\"%{ f( // \"\n) }\" x", "\"%{ f( // \"\n) }\""},
      {"\"%{ f(\"%{ g(\"}\") }\") }\" x", "\"%{ f(\"%{ g(\"}\") }\") }\""},
      // Escaped, "%{" is plain text and a quote after it ends the literal.
      {"\"\\%{ \" x", "\"\\%{ \""},
      {"\"100%\" x", "\"100%\""},
  };
  for (const Case& c : cases) {
    std::vector<Tok> got = kinds(c.source);
    ASSERT_EQ(got.size(), 2u) << c.source;
    EXPECT_EQ(got[0], (Tok{TOK_STRING, c.literal})) << c.source;
    EXPECT_EQ(got[1], (Tok{TOK_WORD, "x"})) << c.source;
  }
}

TEST(Tokenizer, CharacterLiteralValues) {
  struct Case {
    const char* text;
    u8 value;
  } cases[] = {
      {"'a'", 'a'},  {"' '", ' '},   {"'\"'", '"'},  {"'\\a'", 7},   {"'\\b'", 8},   {"'\\e'", 27},
      {"'\\f'", 12}, {"'\\n'", 10},  {"'\\r'", 13},  {"'\\t'", 9},   {"'\\v'", 11},  {"'\\q'", 'q'},
      {"'\\\\'", '\\'}, {"'\\''", '\''}, {"'\\0'", '0'}, {"'\\\"'", '"'},
  };
  for (const Case& c : cases) {
    auto b = watch_build();
    Parser* p = text_parser(b.get(), std::string(c.text) + " x");
    EXPECT_EQ(next_token(p, true, true), TOK_CHAR) << c.text;
    EXPECT_EQ(token_text(p), c.text);
    EXPECT_EQ(p->char_value, c.value) << c.text;
    EXPECT_EQ(next_token(p, true, true), TOK_WORD);
    EXPECT_EQ(p->col - p->tok_len, std::string(c.text).size() + 2) << c.text;
  }
}

TEST(Tokenizer, ScannerErrors) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"''", "Missing character between single quotes"},
      {"'ab'", "Missing single quote, found: 'b'"},
      {"'a", "Unexpected end of file"},
      {"'", "Unexpected end of file"},
      {"'\\", "Unexpected end of file"},
      {"x \xC3", "Parse error, unsupported character/byte: 195"},
      {"\x01", "Parse error, unsupported character/byte: 1"},
      {"a\x7F", "Parse error, unsupported character/byte: 127"},
      {"a\x1b", "Parse error, unsupported character/byte: 27"},
      {"\xff", "Parse error, unsupported character/byte: 255"},
  };
  for (const Case& c : cases) {
    auto b = watch_build();
    Parser* p = text_parser(b.get(), c.text);
    auto caught = catch_error([&] {
      while (next_token(p, true, true) != TOK_EOF) {
      }
    });
    EXPECT_TRUE(caught.parse_failure) << c.text;
    EXPECT_EQ(error_line(caught.out), c.message) << c.text;
  }
}

TEST(Tokenizer, PositionsAndSavedPositions) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "ab cd\nef");
  next_token(p, true, true);
  next_token(p, true, true);
  Chunk* here = chunk_here(p);
  Chunk* at = chunk_at_token(p);
  EXPECT_EQ(here->index, 5u);
  EXPECT_EQ(here->col, 6u);
  EXPECT_EQ(at->index, 3u);
  EXPECT_EQ(at->col, 4u);
  EXPECT_EQ(at->token(), "cd");
  EXPECT_EQ(at->file, p->chunk->file);
  save_position(p);
  advance_chars(p, 2);  // newline and "e"
  EXPECT_EQ(p->line, 2u);
  EXPECT_EQ(p->col, 2u);
  EXPECT_EQ(char_at(p, 0), 'f');
  EXPECT_EQ(char_at(p, 1), 0);  // past the end
  save_position2(p);
  restore_position(p);
  EXPECT_EQ(p->index, 5u);
  EXPECT_EQ(p->line, 1u);
  restore_position2(p);
  EXPECT_EQ(p->index, 7u);
  advance_chars(p, 10);  // stops at the end
  EXPECT_EQ(p->index, 8u);

  // A sub-parser over a stored chunk continues from there.
  Parser* sub = sub_parser(p, here);
  EXPECT_EQ(next_token(sub, true, true), TOK_WORD);
  EXPECT_EQ(token_text(sub), "ef");
  EXPECT_EQ(sub->line, 2u);
}

TEST(Tokenizer, SkipBlanksAndWordChars) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), " \t\n x_1+");
  skip_blanks(p, false);
  EXPECT_EQ(p->index, 2u);
  skip_blanks(p, true);
  EXPECT_EQ(p->index, 4u);
  EXPECT_EQ(p->line, 2u);
  EXPECT_EQ(p->col, 2u);
  skip_word_chars(p);
  EXPECT_EQ(p->index, 7u);
  EXPECT_EQ(p->col, 5u);
}

TEST(Tokenizer, NewParserAndSubParserContexts) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "a");
  EXPECT_EQ(p->context->build, b.get());
  EXPECT_EQ(p->context->parser, p);
  EXPECT_EQ(p->context->unit, nullptr);
  EXPECT_EQ(p->starts_line, 1);
  Unit unit;
  Type hint;
  p->context->unit = &unit;
  p->type_hint = &hint;
  p->in_loop = 1;
  Parser* sub = sub_parser(p, p->chunk);
  EXPECT_EQ(sub->parent, p);
  EXPECT_EQ(sub->context->unit, &unit);
  EXPECT_NE(sub->context, p->context);
  EXPECT_EQ(sub->context->parser, sub);
  EXPECT_EQ(sub->type_hint, &hint);
  EXPECT_EQ(sub->in_loop, 1);
  EXPECT_EQ(sub->macros, nullptr);

  Type other;
  push_type_hint(sub, &other);
  EXPECT_EQ(sub->type_hint, &other);
  pop_type_hint(sub);
  EXPECT_EQ(sub->type_hint, &hint);
  pop_type_hint(sub);
  EXPECT_EQ(sub->type_hint, nullptr);
}

TEST(Tokenizer, SetChunkMovesTheParser) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "one two\nthree");
  next_token(p, true, true);
  Chunk* after_one = chunk_here(p);
  next_token(p, true, true);
  next_token(p, true, true);
  EXPECT_EQ(token_text(p), "three");
  set_chunk(p, after_one);
  EXPECT_EQ(token_text(p), "one");
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
  EXPECT_EQ(token_text(p), "two");
}

TEST(Tokenizer, MarkerTokens) {
  struct Case {
    const char* text;
    bool marker;
  } cases[] = {{" !", true}, {"!?", true}, {" _", true}, {"->", true}, {"!!", false},
               {"!=", false}, {"\n!", false}, {"_a", false}, {"", false}};
  for (const Case& c : cases) {
    auto b = watch_build();
    Parser* p = text_parser(b.get(), c.text);
    EXPECT_EQ(peek_marker_token(p), c.marker) << c.text;
    EXPECT_EQ(p->index, 0u);
  }
}

}  // namespace
}  // namespace tesk
