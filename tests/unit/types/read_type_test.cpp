// The type reader: every written form with its display text, and its errors.
#include <gtest/gtest.h>

#include "driver/name_hash.h"
#include "fixture.h"

namespace tesk::typetest {
namespace {

struct Case {
  const char* source;
  const char* expected;  // display text, or "error: " + the message
};

void check_table(World& w, const Case* cases, size_t n, bool allow_multi = false) {
  for (size_t i = 0; i < n; i++) {
    EXPECT_EQ(read_text(w, cases[i].source, allow_multi).text(), cases[i].expected) << cases[i].source;
  }
}

TEST(ReadType, FormsAndTheirText) {
  World w;
  std::string code_e = std::to_string(name_hash_u32("e"));
  std::string co_text = "co(int) !" + code_e;
  const Case cases[] = {
      {"void", "void"},
      {"int", "int"},
      {"  \n  u8", "u8"},
      {"String", "String"},
      {"Vec", "Vec"},
      {"Point", "Point"},
      {"geo:Shape", "geo:Shape"},
      {"ptr", "ptr"},
      // "?" has no effect on numbers; a nullable type stays itself.
      {"?int", "int"},
      {"?Vec", "?Vec"},
      {"??Vec", "?Vec"},
      {"? ?Vec", "?Vec"},
      {"?geo:Shape", "?geo:Shape"},
      // Pointers and references.
      {"*int", "*[int]"},
      {"*[int]", "*[int]"},
      {"*[int x 4]", "*[int x 4]"},
      {"*[int x 1]", "*int"},
      {"*[\n  int x 4]", "*[int x 4]"},
      // A pointer to a class reference; "*" before the inline value gives the reference.
      {"*Vec", "Vec"},
      {"*<Vec>", "Vec"},
      {"*[u8 x 4]", "*[u8 x 4]"},
      {"**int", "*[*[int]]"},
      {"*[u8 x 16][1]", "*[u8 x 16]"},  // what follows the type is not read
      {"&int", "&[int]"},
      {"&[u8 x 2]", "&[u8 x 2]"},
      {"&?Vec", "&[?Vec]"},
      {"&<Point>", "&[<Point>]"},
      // Pointed-at types.
      {"<Vec>", "<Vec>"},
      {"<Point>", "<Point>"},
      {"<int>", "int"},
      {"<*[int x 4]>", "[int x 4]"},
      {"<*int>", "int"},
      {"<ptr[u8]>", "u8"},
      // Fixed arrays.
      {"[u8 x 4]", "[u8 x 4]"},
      {"[u8 x 0x10]", "[u8 x 16]"},
      {"[u8 x 0c17]", "[u8 x 15]"},
      {"[u8 x 1_000]", "[u8 x 1000]"},
      {"[u8 x 'a']", "[u8 x 97]"},
      // Sizes up to 2^47 bytes; beyond, also when only the count times the size is.
      {"[u8 x 140737488355328]", "[u8 x 140737488355328]"},
      {"[u8 x 140737488355329]", "error: Type too large"},
      {"[int x 17592186044417]", "error: Type too large"},
      {"[u8 x 18446744073709551615]", "error: Type too large"},
      {"[[u8 x 1048576] x 268435456]", "error: Type too large"},
      {"[Point x 2]", "[Point x 2]"},
      {"[<Point> x 2]", "[<Point> x 2]"},
      {"[[u8 x 2] x 3]", "[[u8 x 2] x 3]"},
      {"[?Vec x 2]", "error: You cannot use class types in fixed arrays"},
      // Element types of the runtime pointer class.
      {"ptr[u8]", "ptr[u8]"},
      {"ptr[u8 x 8]", "ptr[u8 x 8]"},
      // Signatures.
      {"fn(int, String)(bool)", "fn(int, String)(bool)"},
      {"fn(int, String)(bool) !e", "fn(int, String)(bool)!"},
      {"fnptr()()", "fnptr()()"},
      {"fn()(void)", "fn()()"},
      {"fn()()", "fn()()"},
      {"fn(int, )()", "fn(int)()"},
      {"fn(int,)(u8, )", "fn(int)(u8)"},
      {"fn(\n  int,\n  String\n)(\n  bool\n)", "fn(int, String)(bool)"},
      {"fn(fn(int)(int))(fnptr()())", "fn(fn(int)(int))(fnptr()())"},
      {"fn(?Vec)(*[u8 x 2])", "fn(?Vec)(*[u8 x 2])"},
      // Coroutines.
      {"co", "co"},
      {"co(int) !e", co_text.c_str()},
      {"co()", "co"},
      {"co(void)", "co"},
      // Named types: enums, aliases.
      {"Color", "Color(u8)"},
      {"Plain", "Plain(int)"},
      {"Count", "int"},
      {"Num", "int"},
  };
  check_table(w, cases, std::size(cases));
}

TEST(ReadType, Errors) {
  World w;
  const Case cases[] = {
      // The lists of a signature follow without a blank.
      {"fn (int)()", "error: Expected token: '(', instead of: ''"},
      {"fn(int) (bool)", "error: Expected token: '(', instead of: ''"},
      {"fnptr", "error: Expected token: '(', instead of: ''"},
      {"fn(int)", "error: Expected token: '(', instead of: ''"},
      {"fn()(void, void)", "error: Unexpected 'void' type"},
      {"fn()(int, void, void)", "error: Unexpected 'void' type"},
      {"fn(void)()", "error: Unexpected 'void' type"},
      {"fn(int; u8)()", "error: Unexpected token: ';'"},
      {"fn(int u8)()", "error: Unexpected token: 'u8'"},
      {"co(void, void)", "error: Unexpected 'void' type"},
      // Error names.
      {"fn()() !a !a", "error: Duplicate error name: a"},
      {"fn()() ! a", "error: Invalid error name syntax: "},
      {"fn()() !1", "error: Invalid error name syntax: 1"},
      {"co !e33085 !e54959",
       "error: It seems that 2 different error names are resolving to the same hash, try picking a different "
       "error name: e54959"},
      // Fixed arrays.
      {"[Vec x 4]", "error: You cannot use class types in fixed arrays"},
      {"[fn()() x 4]", "error: You cannot use class types in fixed arrays"},
      {"[u8 x 0]", "error: Array size must be larger than 0"},
      {"[u8 x 0x]", "error: Array size must be larger than 0"},
      {"[u8 x 2.5]", "error: Invalid integer size"},
      {"[u8 x -1]", "error: Invalid integer size"},
      {"[u8 4]", "error: Expected token: 'x', instead of: '4'"},
      {"[u8 x4]", "error: Expected token: 'x', instead of: 'x4'"},
      {"[u8 x 4", "error: Expected token: ']', instead of: ''"},
      {"[u8 x 4\n]", "error: Expected token: ']', instead of: ''"},
      {"[\nu8 x 4]", "error: Unknown type: "},
      {"*[u8 x 0]", "error: Array size must be larger than 0"},
      {"*[u8 x 2", "error: Expected token: ']', instead of: ''"},
      {"*[u8 4]", "error: Expected token: ']', instead of: '4'"},
      // Pointed-at types and hints.
      {"<int", "error: Expected token: '>', instead of: ''"},
      {"<int\n>", "error: Expected token: '>', instead of: ''"},
      {".", "error: Using '.' but the compiler could not find a typehint for it"},
      // Tokens that start no type.
      {"(int, bool)", "error: Unknown type: ("},
      {"123", "error: Unknown type: 123"},
      {"+", "error: Unknown type: +"},
      {"\"int\"", "error: Unknown type: \"int\""},
      {"", "error: Unknown type: "},
      {"? int", "int"},
      {"?\nVec", "error: Unknown type: "},
      {"*\nint", "error: Unknown type: "},
      // Names.
      {"nope", "error: Unknown identifier: 'nope'"},
      {"geo:Nope", "error: Unknown identifier: 'Nope' in namespace/scope 'geo'"},
      {"nope:Vec", "error: Unknown namespace: 'nope'"},
      {"helper", "error: Not a type"},
      {"counter", "error: Not a type"},
      {"panic", "error: Not a type"},
      {"geo", "error: Not a type"},
      // Generic arguments (the instances themselves are made elsewhere).
      {"List", "error: Expected token: '[', instead of: ''"},
      {"List [int]", "error: Expected token: '[', instead of: ''"},
      {"List[int", "error: Expected token: ']', instead of: ''"},
      {"Map[int]", "error: Expected token: ',', instead of: ']'"},
      {"List[\nint]", "error: Unknown type: "},
  };
  check_table(w, cases, std::size(cases));
}

// Sizes and typeof are values read by the value reader.
TEST(ReadType, SizesAndTypeofAreValues) {
  World w;
  const Case cases[] = {
      {"[u8 x 'a']", "[u8 x 97]"},
      {"[u8 x n]", "error: Unknown identifier: 'n'"},
      {"*[u8 x size]", "error: Unknown identifier: 'size'"},
      {"[u8 x -n]", "error: Expected a valid number after: '-', found: 'n'"},
      {"[u8 x true]", "error: Invalid integer size"},
      {"typeof(true)", "bool"},
      {"typeof(1)", "int"},
      {"typeof(x)", "error: Unknown identifier: 'x'"},
      {"typeof(1", "error: Expected token: ')', instead of: ''"},
      {"typeof (x)", "error: Expected token: '(', instead of: ''"},
  };
  check_table(w, cases, std::size(cases));
}

TEST(ReadType, ListForm) {
  World w;
  const Case cases[] = {
      {"(int, bool)", "(int, bool)"},
      {"(int,bool,  Vec)", "(int, bool, Vec)"},
      {"(int, \n  bool)", "(int, bool)"},
      {"(int)", "int"},
      {"()", "void"},
      {"( )", "void"},
      {"int", "int"},
      {"(int\n)", "error: Expected token: ')', instead of: ''"},
      {"(int", "error: Expected token: ',' or ')', instead of: ''"},
      {"(int bool)", "error: Expected token: ',' or ')', instead of: 'bool'"},
      {"(int, void)", "error: You cannot use 'void' in a multi-type"},
      {"(void)", "error: You cannot use 'void' in a multi-type"},
      // Only the outer list may have several types.
      {"((int, u8), bool)", "error: Unknown type: ("},
  };
  check_table(w, cases, std::size(cases), true);
  Read r = read_text(w, "(int, bool)", true);
  ASSERT_FALSE(r.outcome.failed);
  EXPECT_EQ(r.type->kind, TYPE_MULTI);
  ASSERT_NE(r.type->items, nullptr);
  EXPECT_EQ(r.type->items->size(), 2u);
}

TEST(ReadType, RecordsAndSharing) {
  World w;
  Class* vec = w.cls("Vec");
  // A class name gives its class Type itself, and so do "*" before its value type and
  // "*" before the name.
  EXPECT_EQ(read_text(w, "Vec").type, vec->get_type());
  EXPECT_EQ(read_text(w, "*<Vec>").type, vec->get_type());
  EXPECT_EQ(read_text(w, "*Vec").type, vec->get_type());
  EXPECT_EQ(read_text(w, "**Vec").type, vec->get_type());
  // A nullable class reference is still pointed at.
  Type* ref_ref = read_text(w, "*?Vec").type;
  EXPECT_EQ(ref_ref->kind, TYPE_POINTER);
  EXPECT_EQ(ref_ref->sub, vec->get_type()->nullable_cache);
  // "?" gives the cached nullable twin, the same record each time.
  Type* n1 = read_text(w, "?Vec").type;
  EXPECT_EQ(n1, read_text(w, "?Vec").type);
  EXPECT_EQ(n1, vec->get_type()->nullable_cache);
  // "&" gives the cached reference variant.
  Type* r1 = read_text(w, "&Vec").type;
  EXPECT_EQ(r1->kind, TYPE_REFERENCE);
  EXPECT_EQ(r1, read_text(w, "&Vec").type);
  // "<Vec>" is the class's inline value type.
  Type* value = read_text(w, "<Vec>").type;
  EXPECT_EQ(value, vec->get_type()->sub);
  EXPECT_EQ(value->kind, TYPE_CLASS);
  // "ptr[u8]" is a copy: the class Type keeps no element.
  Type* ptr_class = w.cls("ptr") ? w.cls("ptr")->get_type() : ptr_type(w.b);
  Type* with_elem = read_text(w, "ptr[u8 x 3]").type;
  EXPECT_NE(with_elem, ptr_class);
  EXPECT_EQ(with_elem->kind, TYPE_RAW_POINTER);
  EXPECT_EQ(with_elem->count, 3u);
  EXPECT_EQ(ptr_class->sub, nullptr);
  EXPECT_EQ(ptr_class->count, 0u);
  // Pointers: a new record with its element and count.
  Type* p4 = read_text(w, "*[int x 4]").type;
  EXPECT_EQ(p4->kind, TYPE_POINTER);
  EXPECT_EQ(p4->count, 4u);
  EXPECT_EQ(p4->sub, int_type(w.b));
  // Enum types carry their enum; their item type is what was written.
  Type* color = read_text(w, "Color").type;
  ASSERT_NE(color->enum_, nullptr);
  EXPECT_EQ(color->enum_->name, "Color");
  EXPECT_EQ(color->kind, TYPE_INT);
  EXPECT_EQ(color->size(), 1u);
  // Signatures: the errors in the order written, with their codes.
  Type* f = read_text(w, "fn(int)(bool, u8) !b !a").type;
  ASSERT_EQ(f->kind, TYPE_FN);
  FuncInfo* info = f->func_info;
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->args.size(), 1u);
  EXPECT_EQ(info->rets.size(), 2u);
  EXPECT_TRUE(info->can_error);
  ASSERT_EQ(info->errors->size(), 2u);
  EXPECT_EQ(info->errors->entries()[0].first, "b");
  EXPECT_EQ(info->errors->entries()[0].second, name_hash_u32("b"));
  EXPECT_EQ(info->errors->entries()[1].first, "a");
  Type* g = read_text(w, "fnptr()()").type;
  EXPECT_EQ(g->kind, TYPE_FNPTR);
  EXPECT_FALSE(g->func_info->can_error);
  EXPECT_TRUE(g->func_info->errors->empty());
  // Coroutines: no list written is no list; errors make it fail-able.
  Type* co = read_text(w, "co").type;
  EXPECT_EQ(co->kind, TYPE_CO);
  EXPECT_EQ(co->items, nullptr);
  EXPECT_FALSE(co->co_can_error);
  Type* co2 = read_text(w, "co(int, u8) !x").type;
  ASSERT_NE(co2->items, nullptr);
  EXPECT_EQ(co2->items->size(), 2u);
  EXPECT_TRUE(co2->co_can_error);
  EXPECT_EQ(*co2->errors->find("x"), name_hash_u32("x"));
  // "." is the hint itself.
  Type* hint = int_type(w.b);
  EXPECT_EQ(read_text(w, ".", false, hint).type, hint);
  // A void is a new record each time.
  EXPECT_NE(read_text(w, "void").type, read_text(w, "void").type);
}

TEST(ReadType, ErrorNamesStopAtTheLineEnd) {
  World w;
  Parser* p = w.parser("fn()() !a !b\n!c");
  Type* t = nullptr;
  Outcome o = run([&] { t = read_type(p, w.scope_of(p), true, false); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(t->func_info->errors->size(), 2u);
  // "!=" and "!?" are no error names.
  for (const char* text : {"fn()() != x", "co !? x"}) {
    Read r = read_text(w, text);
    ASSERT_FALSE(r.outcome.failed) << text;
    EXPECT_EQ(r.type->to_text().find('!'), std::string::npos) << text;
  }
}

TEST(ReadType, StopsRightAfterTheType) {
  World w;
  // The reader consumes exactly the type; the caller reads on from there.
  struct After {
    const char* text;
    const char* next;
  } cases[] = {
      {"int)", ")"}, {"Vec {", "{"}, {"[u8 x 4] =", "="}, {"fn()() !e {", "{"}, {"co ,", ","}, {"geo:Shape]", "]"},
  };
  for (const After& c : cases) {
    Parser* p = w.parser(c.text);
    Outcome o = run([&] { read_type(p, w.scope_of(p), true, false); });
    ASSERT_FALSE(o.failed) << c.text << o.out;
    next_token(p, true, true);
    EXPECT_EQ(p->token(), c.next) << c.text;
  }
}

TEST(ReadType, ErrorPosition) {
  World w;
  Read r = read_text(w, "fn(int)(\n  bool, void, void)");
  ASSERT_TRUE(r.outcome.failed);
  EXPECT_NE(r.outcome.out.find("# Line: 2 | Col: 18"), std::string::npos) << r.outcome.out;
}

}  // namespace
}  // namespace tesk::typetest
