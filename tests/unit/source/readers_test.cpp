// Readers of words, accepted tokens, number-token values and type lists.
#include <gtest/gtest.h>

#include "helpers.h"
#include "model/records.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"

namespace tesk {
namespace {

using testutil::catch_error;
using testutil::error_line;
using testutil::text_parser;
using testutil::watch_build;

TEST(TokenValues, Integers) {
  struct Case {
    const char* text;
    u64 value;
  } cases[] = {
      {"0x_FF", 255},
      {"0c777", 511},
      {"1_000", 1000},
      {"007", 7},
      {"0x", 0},
      {"0c", 0},
      {"0xdeadBEEF", 0xdeadbeefull},
      {"18446744073709551615", UINT64_MAX},
      {"0xFFFF_FFFF_FFFF_FFFF", UINT64_MAX},
      {"0c1777777777777777777777", UINT64_MAX},
      {"name", 0},
      {"2.5", 0},
  };
  for (const Case& c : cases) {
    auto b = watch_build();
    Parser* p = text_parser(b.get(), c.text);
    next_token(p, true, true);
    EXPECT_EQ(token_int_value(p), c.value) << c.text;
  }
}

TEST(TokenValues, IntegerThatDoesNotFitIsAnError) {
  for (const char* text : {"18446744073709551616", "99999999999999999999999", "0x1_0000_0000_0000_0000",
                           "0c2000000000000000000000"}) {
    auto b = watch_build();
    Parser* p = text_parser(b.get(), text);
    next_token(p, true, true);
    auto caught = catch_error([&] { token_int_value(p); });
    EXPECT_TRUE(caught.parse_failure) << text;
    EXPECT_EQ(error_line(caught.out), std::string("Integer literal does not fit in 64 bits: '") + text + "'");
  }
}

TEST(TokenValues, Floats) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {{"1_000.25", 1000.25}, {"2.5", 2.5}, {"12", 12.0}, {"0.125", 0.125}};
  for (const Case& c : cases) {
    auto b = watch_build();
    Parser* p = text_parser(b.get(), c.text);
    next_token(p, true, true);
    std::optional<f64> v = token_float_value(p);
    ASSERT_TRUE(v.has_value()) << c.text;
    EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
  }
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "0x10");
  next_token(p, true, true);
  EXPECT_FALSE(token_float_value(p).has_value());
}

TEST(Readers, Words) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), "name @at $dollar 5");
  EXPECT_EQ(read_word(p, true, true), "name");
  EXPECT_EQ(read_word_any(p, true, true), "@at");
  EXPECT_EQ(read_word_any(p, true, true), "$dollar");
  auto caught = catch_error([&] { read_word_any(p, true, true); });
  EXPECT_EQ(error_line(caught.out), "Invalid identifier name: '5'");

  Parser* q = text_parser(b.get(), "@at");
  caught = catch_error([&] { read_word(q, true, true); });
  EXPECT_EQ(error_line(caught.out), "Invalid identifier name: '@at' | Expected syntax: [a-zA-Z_]");
}

TEST(Readers, AcceptToken) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), " ( )\n,");
  EXPECT_FALSE(accept_token(p, ")", true, true, true));
  EXPECT_EQ(p->index, 0u);
  EXPECT_TRUE(accept_token(p, "(", true, true, false));
  EXPECT_EQ(p->index, 0u);
  EXPECT_TRUE(accept_token(p, "(", true, true, true));
  EXPECT_EQ(p->index, 2u);
  EXPECT_TRUE(accept_token(p, ")", true, false, true));
  EXPECT_FALSE(accept_token(p, ",", true, false, true));  // newline not skipped
  EXPECT_TRUE(accept_token(p, ",", true, true, true));
  EXPECT_EQ(p->line, 2u);
}

TEST(Readers, EmptyTypeList) {
  auto b = watch_build();
  Parser* p = text_parser(b.get(), " ) x");
  EXPECT_TRUE(read_type_list(p, nullptr, ")", false).empty());
  EXPECT_EQ(next_token(p, true, true), TOK_WORD);
}

TEST(Readers, TypeLists) {
  struct Case {
    const char* text;
    bool void_allowed;
    size_t count;         // types read when there is no error
    const char* error;    // "" when the list reads
    const char* after;    // the token that follows the list
  } cases[] = {
      {"int, void) x", true, 1, "", "x"},
      {"void, int) x", true, 1, "", "x"},
      {"int,\n int) x", false, 2, "", "x"},
      {"int) x", false, 1, "", "x"},
      {"int, void)", false, 0, "Unexpected 'void' type", ""},
      {"void, void)", true, 0, "Unexpected 'void' type", ""},
      {"int int)", false, 0, "Unexpected token: 'int'", ""},
      {"int]", false, 0, "Unexpected token: ']'", ""},
  };
  for (const Case& c : cases) {
    auto b = watch_build();
    Scope* scope = make_scope(SCOPE_NAMESPACE, b.get(), nullptr);
    Type* int_t = new_type(b.get(), TYPE_INT);
    scope->identifiers.set("int", new_identifier_type(b.get(), int_t));
    Parser* p = text_parser(b.get(), c.text);
    std::vector<Type*> types;
    auto caught = catch_error([&] { types = read_type_list(p, scope, ")", c.void_allowed); });
    EXPECT_EQ(error_line(caught.out), c.error) << c.text;
    if (*c.error) continue;
    ASSERT_EQ(types.size(), c.count) << c.text;
    for (Type* t : types) EXPECT_EQ(t, int_t) << c.text;
    next_token(p, true, true);
    EXPECT_EQ(token_text(p), c.after) << c.text;
  }
}

}  // namespace
}  // namespace tesk
