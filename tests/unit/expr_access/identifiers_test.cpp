// Identifier values: locals with null narrowing, functions, globals, aliases, enums,
// class names, compile-time identifiers, and the access checks.
#include <gtest/gtest.h>

#include "fixture.h"
#include "ir/data.h"

namespace tesk::accesstest {
namespace {

const char* kDecls =
    "class Vec {\n"
    "    x: int\n"
    "    static fn make() Vec {\n"
    "    }\n"
    "}\n"
    "fn helper(a: int) int {\n"
    "}\n"
    "fn pick[T](a: T) T {\n"
    "}\n"
    "global counter : int\n"
    "enum Color {\n  red\n  green\n}\n"
    "type VecT (Vec)\n"
    "type FnT (fnptr(int)(int))\n"
    "alias help2 for helper\n"
    "value ten (helper(10))\n"
    "trait Tr {\n}\n";
const char* kOther =
    "-[ns-pkg-] fn hidden() {\n}\n"
    "-[ns-pkg-] global secret : int\n"
    "-[ns-pkg-] class Closed {\n    static fn make() int {\n    }\n}\n"
    "-[ns-pkg-] enum Shut {\n  a\n}\n"
    "-[ns-pkg-] value priv (1)\n";

TEST(IdentifierValues, KindsAndTypes) {
  World w({kDecls});
  w.local("n", w.type("int"));
  struct Case {
    const char* text;
    const char* want;  // "<VAL kind> <Type text>" or "error: " + message
  } cases[] = {
      {"n", "2 int"},
      {"helper", "0 fnptr(int)(int)"},
      {"help2", "0 fnptr(int)(int)"},
      {"pick[u8]", "0 fnptr(u8)(u8)"},
      {"counter", "14 int"},
      {"Vec.make", "0 fnptr()(Vec)"},
      {"VecT.make", "0 fnptr()(Vec)"},
      {"Color.green", "4 int"},
      {"FnT.x", "error: Unhandled identifier type (type: 0) (compiler bug)"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_access(w, c.text).text(), c.want) << c.text;
}

TEST(IdentifierValues, NullNarrowing) {
  World w({kDecls});
  Decl* d = w.local("maybe", w.type("?Vec"));
  EXPECT_EQ(read_access(w, "maybe").text(), "2 ?Vec");
  w.scope->set_not_null(d);
  EXPECT_EQ(read_access(w, "maybe").text(), "2 Vec");
  // A nearer scope that lost the fact sees the nullable Type again.
  Scope* inner = new_scope(w.scope, SCOPE_BLOCK);
  inner->maybe_null.push_back(d);
  Parser* p = w.at("maybe");
  Value* v = nullptr;
  Outcome o = run([&] { v = value_of_identifier(p, inner, resolve_identifier(p, inner, true, true)); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->type->to_text(), "?Vec");
  EXPECT_EQ(d->used, 1);
}

TEST(IdentifierValues, LocalsOfAnotherFunction) {
  World w({kDecls});
  // A local that no function scope lists.
  Decl* stray = new_decl(w.type("int"), false, "stray");
  w.scope->identifiers.set("stray", new_identifier_decl(w.b, stray));
  EXPECT_EQ(read_access(w, "stray").text(), "error: Cannot find variable function (bug)");
}

TEST(IdentifierValues, UseLists) {
  World w({kDecls});
  for (int i = 0; i < 2; i++) {
    ASSERT_FALSE(read_access(w, "helper").o.failed);
    ASSERT_FALSE(read_access(w, "counter").o.failed);
  }
  size_t calls = 0;
  for (Func* f : w.body->called) calls += f == w.fn("helper");
  EXPECT_EQ(calls, 1u);
  EXPECT_EQ(w.body->used_globals.size(), 2u);
}

TEST(IdentifierValues, ValueAliasesAreReadAtEveryUse) {
  World w({kDecls});
  Got a = read_access(w, "ten");
  Got b = read_access(w, "ten");
  ASSERT_FALSE(a.o.failed) << a.o.out;
  EXPECT_EQ(a.text(), "5 int");
  EXPECT_NE(a.v, b.v);
  EXPECT_EQ(a.v->values[0]->number, 10u);
}

TEST(IdentifierValues, AccessChecksAndUnhandledKinds) {
  World w({kDecls, kOther});
  w.scope->identifiers.set("geo", new_identifier_namespace(w.b, w.geo_ns));
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"hidden", "error: Cannot access this function because it's defined as private"},
      {"secret", "error: Cannot access this global because it's defined as private"},
      {"Closed.make", "error: Cannot access this class because it's defined as private"},
      {"Shut.a", "error: Cannot access this enum because it's defined as private"},
      {"priv", "error: Cannot access this alias because it's defined as private"},
      {"geo", "error: Unhandled identifier type (type: 5) (compiler bug)"},
      {"Tr", "error: Unhandled identifier type (type: 8) (compiler bug)"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_access(w, c.text).text(), c.want) << c.text;
}

// Compile-time identifiers, as macros and #loop bind them.
Got compile_time(World& w, Identifier* id, const std::string& rest) {
  Got g;
  Parser* p = w.at(rest);
  g.o = run([&] { g.v = value_of_identifier(p, w.scope, id); });
  return g;
}

TEST(IdentifierValues, CompileTimeIdentifiers) {
  World w({kDecls});
  auto* reps = w.b->make<std::vector<IdentifierMap*>>();
  reps->push_back(w.b->make<IdentifierMap>());
  reps->push_back(w.b->make<IdentifierMap>());
  Identifier* repeat = new_identifier_repeat(w.b, reps);
  EXPECT_EQ(compile_time(w, repeat, ".$length").text(), "4 uint");
  EXPECT_EQ(compile_time(w, repeat, ".$length").v->number, 2u);
  EXPECT_EQ(compile_time(w, repeat, ". $length").text(), "error: Unexpected property: ''");
  EXPECT_EQ(compile_time(w, repeat, ".length").text(), "error: Unexpected property: 'length'");
  EXPECT_EQ(compile_time(w, repeat, "$length").text(), "error: Expected token: '.', instead of: '$length'");

  IdentifierMap* items = w.b->make<IdentifierMap>();
  Decl* n = w.local("n", w.type("int"));
  items->set("item", new_identifier_decl(w.b, n));
  Identifier* group = new_identifier_group(w.b, items);
  EXPECT_EQ(compile_time(w, group, ".item").text(), "2 int");
  EXPECT_EQ(compile_time(w, group, ".other").text(), "error: Unknown sub-identifier 'other'");
  EXPECT_EQ(compile_time(w, group, ".1").text(), "error: Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]");

  Property* x = w.cls("Vec")->props["x"];
  Identifier* prop = new_identifier_property(w.b, x);
  Got name = compile_time(w, prop, ".name");
  ASSERT_FALSE(name.o.failed) << name.o.out;
  EXPECT_EQ(name.v->kind, VAL_STRING);
  ASSERT_NE(name.v->string_const, nullptr);
  EXPECT_EQ(name.v->string_const->text, "x");
  EXPECT_EQ(compile_time(w, prop, ".value").text(),
            "error: Expected token: 'name' or 'type', instead of: 'value'");
  Value* object = value_decl(n);
  Identifier* vprop = new_identifier_value_property(w.b, x, object);
  EXPECT_EQ(compile_time(w, vprop, ".value").v, object);
  EXPECT_EQ(compile_time(w, vprop, ".size").text(),
            "error: Expected token: 'name', 'type' or 'value', instead of: 'size'");
  Identifier* empty = new_identifier_property(w.b, nullptr);
  EXPECT_EQ(compile_time(w, empty, ".name").text(), "error: Missing property info for property identifier");
}

}  // namespace
}  // namespace tesk::accesstest
