// Class-name access (static members, groups, getters, object literals, class macros),
// enum items and anonymous objects.
#include <gtest/gtest.h>

#include "fixture.h"

namespace tesk::accesstest {
namespace {

const char* kDecls =
    "class Acc {\n"
    "    total: int\n"
    "    static fn make() Acc {\n"
    "    }\n"
    "    static fn shared() int {\n"
    "    }\n"
    "    static get zero: int {\n"
    "    }\n"
    "    group stats {\n"
    "        static fn count() u8 {\n"
    "        }\n"
    "    }\n"
    "}\n"
    "mode Loud for Acc {\n"
    "}\n"
    "mode Louder for Loud {\n"
    "}\n"
    "enum Color {\n  red\n  green (7)\n}\n"
    "enum Small : u8 {\n  a\n  b\n}\n";

struct Case {
  const char* text;
  const char* want;
};

TEST(ClassAccess, StaticMembers) {
  World w({kDecls});
  Case cases[] = {
      {"Acc.make", "0 fnptr()(Acc)"},
      {"Acc.zero", "5 int"},
      {"Acc.stats.count", "0 fnptr()(u8)"},
      {"Acc.stats.shared", "0 fnptr()(int)"},
      {"Loud.make", "0 fnptr()(Acc)"},
      {"Louder.make", "error: There's no function named 'make' in the class 'Louder'"},
      {"Acc.nope", "error: There's no function named 'nope' in the class 'Acc'"},
      {"Acc .make", "error: Expected '.' or '{' after a class name"},
      {"Acc. make", "error: Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      {"Acc.stats", "error: Expected token: '.', instead of: ''"},
      {"Acc.make()", "5 Acc"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_access(w, c.text).text(), c.want) << c.text;
  // A getter is called at once with no arguments; a function is listed once.
  Got g = read_access(w, "Acc.zero");
  ASSERT_FALSE(g.o.failed);
  EXPECT_TRUE(g.v->values.empty());
  EXPECT_EQ(g.v->op1->op1, nullptr);
}

TEST(ClassAccess, ObjectLiteralAfterClassName) {
  World w({kDecls});
  Got g = read_access(w, "Acc { total: 3 }");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->type->to_text(), "Acc");
  g = read_access(w, "Acc\n{ total: 3 }");
  EXPECT_FALSE(g.o.failed) << g.o.out;
}

TEST(ClassAccess, EnumItems) {
  World w({kDecls});
  Case cases[] = {
      {"Color.red", "4 int"},
      {"Color.green", "4 Color(int)"},
      {"Small.b", "4 int"},
      {"Color.blue", "error: Enum Color does not have a value named: 'blue'"},
      {"Color blue", "error: Expected token: '.', instead of: ''"},
      {"Color.7", "error: Invalid identifier name: '7' | Expected syntax: [a-zA-Z_]"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_access(w, c.text).text(), c.want) << c.text;
  // An item without a value takes an integer hint; one with a value is read anew.
  EXPECT_EQ(read_access(w, "Color.red", w.type("u16")).text(), "4 u16");
  Got a = read_access(w, "Color.green");
  Got b = read_access(w, "Color.green");
  ASSERT_FALSE(a.o.failed);
  EXPECT_NE(a.v, b.v);
  EXPECT_EQ(a.v->number, 7u);
  EXPECT_EQ(read_access(w, "Small.b").v->number, 1u);
}

Got anon(World& w, const std::string& text) {
  Got g;
  Parser* p = w.at(text);
  g.o = run([&] {
    next_token(p, true, true);  // "object"
    g.v = read_anonymous_object(p, w.scope);
  });
  return g;
}

TEST(ClassAccess, AnonymousObjects) {
  World w({kDecls});
  w.local("t", w.type("bool"));
  Got first = anon(w, "object { a: 1, b: t }");
  ASSERT_FALSE(first.o.failed) << first.o.out;
  Class* c0 = first.v->type->get_class();
  ASSERT_NE(c0, nullptr);
  EXPECT_EQ(c0->name, "custom_object_0");
  EXPECT_EQ(classtest::keys(c0->props), "a b");
  EXPECT_EQ(c0->props["b"]->type->to_text(), "bool");
  EXPECT_EQ(c0->access, 292u);
  EXPECT_EQ(c0->size, 16u);
  // Same names and Types in the same order: the same class. Commas are optional.
  EXPECT_EQ(anon(w, "object {\n ,a: 2\n b: t,, }").v->type->get_class(), c0);
  Class* swapped = anon(w, "object { b: t, a: 2 }").v->type->get_class();
  EXPECT_NE(swapped, c0);
  EXPECT_EQ(swapped->name, "custom_object_1");
  EXPECT_EQ(anon(w, "object { }").v->type->get_class()->name, "custom_object_2");

  Case errors[] = {
      {"object ( a: 1 )", "error: Expected token: '{', instead of: '('"},
      {"object { 1: 1 }", "error: Invalid property name: 1"},
      {"object { a: 1, a: 2 }", "error: Duplicate property name: a"},
      {"object { a 1 }", "error: Expected token: ':', instead of: '1'"},
  };
  for (const Case& c : errors) EXPECT_EQ(anon(w, c.text).text(), c.want) << c.text;
}

}  // namespace
}  // namespace tesk::accesstest
