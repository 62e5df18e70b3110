// Stage 2.1: the names of `use` blocks, alias resolution and extend registration.
#include <gtest/gtest.h>

#include <string>

#include "driver/stage_aliases.h"
#include "fixture.h"

namespace tesk::s1test {
namespace {

// Scans every queued file, then runs Stage 2.1 alone (the fixture has no runtime for
// the later stages).
Outcome stage_2_1(World& w) {
  return run([&] {
    for (size_t i = 0; i < w.b->stage1_queue.size(); i++) stage_1_file(w.b->stage1_queue[i]);
    read_aliases_and_extends(w.b);
  });
}

TEST(UseLists, ImportIntoTheFileScope) {
  World w;
  w.file("fn a() {}\nclass B {}\nglobal c: int\n", w.util_ns);
  SourceFile* f = w.file("use util { a, B,\n c }\nuse util {}\nuse util {  \n }\nfn main() {}\n");
  Outcome o = stage_2_1(w);
  ASSERT_FALSE(o.failed) << o.out;
  for (const char* n : {"a", "B", "c"}) {
    Identifier** id = f->scope->identifiers.find(n);
    ASSERT_NE(id, nullptr) << n;
    EXPECT_EQ(*id, w.name_in(w.util_ns, n)) << n;
  }
  EXPECT_EQ(f->scope->identifiers.size(), 3u);
  EXPECT_EQ(w.main_ns->scope->identifiers.size(), 1u);
}

TEST(UseLists, Errors) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"use util { nope }", "Namespace 'util' has no identifier named 'nope'"},
      {"use tesk:io { nope }", "Namespace 'tesk:io' has no identifier named 'nope'"},
      {"use util { a, }", "Invalid identifier name: '}' | Expected syntax: [a-zA-Z_]"},
      {"use util { a b }", "Expected token: ',' or '}', instead of: 'b'"},
      {"use util { a, a }", "Name already used: a"},
      {"fn x() {}\nuse util as a\nuse util { a }", "Name already used: a"},
  };
  for (const Case& c : cases) {
    World w;
    w.file("fn a() {}\n", w.util_ns);
    w.file(c.text);
    Outcome o = stage_2_1(w);
    EXPECT_TRUE(o.failed) << c.text;
    EXPECT_EQ(o.error, c.error) << c.text;
  }
}

TEST(Aliases, ResolvedInTheNamespaceScope) {
  World w;
  w.file("class Point {}\n", w.util_ns);
  SourceFile* f = w.file("use util\nalias P for util:Point\nalias Q for R\nclass R {}\n");
  Outcome o = stage_2_1(w);
  ASSERT_FALSE(o.failed) << o.out;
  Identifier* p = w.name("P");
  ASSERT_EQ(p->kind, IDENT_CLASS);
  EXPECT_EQ(p->class_, w.name_in(w.util_ns, "Point")->class_);
  EXPECT_EQ(w.b->aliases[0]->target, p);
  EXPECT_EQ(w.name("Q"), w.name("R"));
  (void)f;

  // An alias whose target does not exist ends its own task only.
  World e;
  e.file("alias A for nothing\nalias B for C\nclass C {}\n");
  o = stage_2_1(e);
  EXPECT_FALSE(o.failed);
  EXPECT_NE(o.out.find("# Error: Unknown identifier: 'nothing'"), std::string::npos) << o.out;
  EXPECT_EQ(e.name("B"), e.name("C"));
}

// Every alias is resolved before any type declaration, so a type may be written with
// an alias declared after it.
TEST(Aliases, TypeDeclaredBeforeItsAlias) {
  World w;
  w.file("type Count (Num)\ntype Maybe (?Num)\nalias Num for Point\nclass Point {}\n");
  Outcome o = stage_2_1(w);
  ASSERT_FALSE(o.failed) << o.out;
  Class* point = w.name("Point")->class_;
  EXPECT_EQ(w.name("Num"), w.name("Point"));
  Identifier* count = w.name("Count");
  ASSERT_EQ(count->kind, IDENT_TYPE);
  EXPECT_EQ(count->type, point->get_type());
  EXPECT_EQ(w.b->aliases[0]->type, count->type);
  Identifier* maybe = w.name("Maybe");
  ASSERT_EQ(maybe->kind, IDENT_TYPE);
  EXPECT_EQ(maybe->type->get_class(), point);
  EXPECT_EQ(maybe->type->nullable, 1);
}

TEST(Extends, RegisteredWithTheirClass) {
  World w;
  w.b->verbose = 3;
  w.file("class A {}\nclass G[T] {}\nextend A { fn x() {} }\nextend G[U] {}\n");
  Outcome o = stage_2_1(w);
  ASSERT_FALSE(o.failed) << o.out;
  Class* a = w.name("A")->class_;
  Class* g = w.name("G")->class_;
  ASSERT_EQ(a->extends.size(), 1u);
  EXPECT_EQ(a->extends[0]->class_, a);
  EXPECT_EQ(a->extends[0]->generic_names, nullptr);
  EXPECT_EQ(std::string(a->extends[0]->body->content.substr(a->extends[0]->body->index, 6)), " fn x(");
  ASSERT_EQ(g->extends.size(), 1u);
  ASSERT_NE(g->extends[0]->generic_names, nullptr);
  EXPECT_TRUE(g->extends[0]->generic_names->contains("U"));
  EXPECT_NE(o.out.find("> Stage 2.1: Read aliasses\nRegister extend for: A\nRegister extend for: G\n"),
            std::string::npos)
      << o.out;

  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"fn f() {}\nextend f {}", "Identifier does not represent a class"},
      {"class G[T] {}\nextend G {}", "Expected token: '[', instead of: ''"},
      {"extend Nope {}", "Unknown identifier: 'Nope'"},
  };
  for (const Case& c : cases) {
    World e;
    e.file(c.text);
    Outcome eo = stage_2_1(e);
    EXPECT_NE(eo.out.find(std::string("# Error: ") + c.error + "\n"), std::string::npos) << c.text << eo.out;
  }
}

}  // namespace
}  // namespace tesk::s1test
