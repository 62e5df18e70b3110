// Stage 2.2: properties, functions, getters, groups, class macros, directives and the
// member-loop errors.
#include <gtest/gtest.h>

#include "fixture.h"
#include "source/macro.h"

namespace tesk::classtest {
namespace {

TEST(ClassBodies, Properties) {
  World w({"class Node {\n"
           "    value: int\n"
           "    + next: ?Node\n"
           "    ~ count: u8 (5)\n"
           "    child: Node (null) $lazy\n"
           "    use: int\n"
           "}\n"
           "struct Point {\n"
           "    x: i32\n"
           "    y: <Point2>\n"
           "    r: Point2\n"
           "}\n"
           "struct Point2 {\n"
           "}\n"});
  Outcome o = w.read_bodies();
  ASSERT_EQ(o.error, "") << o.out;
  Class* node = w.must_cls("Node");
  EXPECT_EQ(keys(node->props), "value next count child use");
  EXPECT_EQ(joined(node->member_names), "value next count child use");
  EXPECT_EQ(node->body_read, 1);
  struct Want {
    const char* name;
    const char* type;
    AccessLevel access;
    const char* default_value;  // text at the default's chunk, "" for none
    u8 lazy;
    u64 line;
  } wants[] = {
      {"value", "int", 289, "", 0, 2},        {"next", "?Node", 292, "", 0, 3},
      {"count", "u8", 290, "5)", 0, 4},       {"child", "Node", 289, "null) $lazy", 1, 5},
      {"use", "int", 289, "", 0, 6},
  };
  for (const Want& want : wants) {
    Property* p = node->props[want.name];
    ASSERT_NE(p, nullptr) << want.name;
    EXPECT_EQ(p->name, want.name);
    EXPECT_EQ(p->type->to_text(), want.type) << want.name;
    EXPECT_EQ(p->access, want.access) << want.name;
    EXPECT_EQ(p->class_, node);
    EXPECT_EQ(p->default_value ? rest_of_line(p->default_value) : "", want.default_value) << want.name;
    EXPECT_EQ(p->lazy, want.lazy) << want.name;
    ASSERT_NE(p->position, nullptr);
    EXPECT_EQ(p->position->line, want.line) << want.name;
    EXPECT_EQ(rest_of_line(p->position).substr(0, p->name.size()), p->name);
  }
  // A struct may hold other structs inline or by reference.
  Class* point = w.must_cls("Point");
  EXPECT_EQ(keys(point->props), "x y r");
  EXPECT_EQ(point->props["y"]->type->kind, TYPE_STRUCT);
  EXPECT_EQ(point->props["r"]->type->kind, TYPE_POINTER);
}

TEST(ClassBodies, FunctionsGettersAndGroups) {
  World w({"class Acc {\n"
           "    total: int\n"
           "    fn add(n: int) {\n"
           "    }\n"
           "    + static fn make() Acc {\n"
           "    }\n"
           "    mut fn reset() {\n"
           "    }\n"
           "    static mut fn clear() {\n"
           "    }\n"
           "    get twice: int {\n"
           "    }\n"
           "    static get zero: int {\n"
           "    }\n"
           "    fn map[T](x: T) T {\n"
           "    }\n"
           "    ~ group stats {\n"
           "        fn total() int {\n"
           "        }\n"
           "        fn add() {\n"
           "        }\n"
           "    }\n"
           "    fn after() {\n"
           "    }\n"
           "}\n"});
  Outcome o = w.read_bodies();
  ASSERT_EQ(o.error, "") << o.out;
  Class* acc = w.must_cls("Acc");
  EXPECT_EQ(keys(acc->funcs), "add make reset clear twice zero map after");
  EXPECT_EQ(joined(acc->member_names), "total add make reset clear twice zero map stats after");
  struct Want {
    const char* name;
    u8 is_static, is_mut, no_args;
    AccessLevel access;
    const char* header;  // text after the header chunk
  } wants[] = {
      {"add", 0, 0, 0, 289, "n: int) {"}, {"make", 1, 0, 0, 292, ") Acc {"}, {"reset", 0, 1, 0, 289, ") {"},
      {"clear", 1, 1, 0, 289, ") {"},     {"twice", 0, 0, 1, 289, " int {"}, {"zero", 1, 0, 1, 289, " int {"},
      {"map", 0, 0, 0, 289, "x: T) T {"},
  };
  for (const Want& want : wants) {
    Func* f = acc->funcs[want.name];
    ASSERT_NE(f, nullptr) << want.name;
    EXPECT_EQ(f->name, want.name);
    EXPECT_EQ(f->export_name, std::string("Acc__") + want.name);
    EXPECT_EQ(f->display_name, std::string("Acc.") + want.name);
    EXPECT_EQ(f->class_, acc);
    EXPECT_EQ(f->group, nullptr);
    EXPECT_EQ(f->static_, want.is_static) << want.name;
    EXPECT_EQ(f->is_mut, want.is_mut) << want.name;
    EXPECT_EQ(f->no_args, want.no_args) << want.name;
    EXPECT_EQ(f->access, want.access) << want.name;
    EXPECT_EQ(f->skip, 0) << want.name;
    EXPECT_EQ(rest_of_line(f->header), want.header) << want.name;
    ASSERT_NE(f->body_chunk, nullptr) << want.name;
    EXPECT_EQ(rest_of_line(f->name_position).substr(0, f->name.size()), f->name);
    EXPECT_EQ(f->decl_scope->parent, acc->scope);
    EXPECT_EQ(f->code_file, acc->file);
  }
  EXPECT_EQ(rest_of_line(acc->funcs["twice"]->return_type_chunk), " int {");

  // A generic method is a template: not in the function lists.
  Func* map = acc->funcs["map"];
  EXPECT_EQ(map->is_generic, 1);
  ASSERT_NE(map->generic_names, nullptr);
  EXPECT_EQ(keys(*map->generic_names), "T");
  auto listed = [&](Func* f) {
    for (Func* g : w.b->functions)
      if (g == f) return true;
    return false;
  };
  EXPECT_FALSE(listed(map));
  EXPECT_TRUE(listed(acc->funcs["add"]));

  // A group has its own name space: its "total" and "add" do not clash with the class's.
  ASSERT_EQ(keys(acc->groups), "stats");
  Group* stats = acc->groups["stats"];
  EXPECT_EQ(stats->access, 290u);
  EXPECT_EQ(stats->class_, acc);
  EXPECT_EQ(rest_of_line(stats->position), "stats {");
  EXPECT_EQ(keys(stats->funcs), "total add");
  EXPECT_EQ(joined(stats->names), "total add");
  Func* total = stats->funcs["total"];
  EXPECT_EQ(total->export_name, "Acc__stats__total");
  EXPECT_EQ(total->display_name, "Acc.stats.total");
  EXPECT_EQ(total->name, "total");
  EXPECT_EQ(total->group, stats);
  EXPECT_EQ(total->class_, acc);
}

TEST(ClassBodies, NamesInOtherNamespacesAndScopes) {
  World w({"class Local {\n}\n"});
  w.file("class Area {\n    fn size() {\n    }\n}\n", w.geo_ns);
  w.scan_queue();
  ASSERT_EQ(w.read_bodies().error, "");
  Identifier** id = w.geo_ns->scope->identifiers.find("Area");
  ASSERT_NE(id, nullptr);
  Class* area = (*id)->class_;
  ASSERT_NE(area, nullptr);
  Func* size = area->funcs["size"];
  ASSERT_NE(size, nullptr);
  // The class's export name carries the namespace part once.
  EXPECT_EQ(size->export_name, "geo__Area__size");
  EXPECT_EQ(size->display_name, "Area.size");
  // "SELF" names the class in its own body scope.
  Identifier** self = area->scope->identifiers.find("SELF");
  ASSERT_NE(self, nullptr);
  EXPECT_EQ((*self)->kind, IDENT_CLASS);
  EXPECT_EQ((*self)->class_, area);
}

TEST(ClassBodies, ImmutableVariantSkipsMutatingFunctions) {
  World w({"class Acc {\n"
           "    p: Point\n"
           "    n: int\n"
           "    fn get() int {\n"
           "    }\n"
           "    mut fn set() {\n"
           "    }\n"
           "    static mut fn make() {\n"
           "    }\n"
           "}\n"
           "struct Point {\n"
           "    x: int\n"
           "}\n"});
  ASSERT_EQ(w.read_bodies().error, "");
  Class* acc = w.must_cls("Acc");
  Outcome o = run([&] { acc->get_imut(); });
  ASSERT_EQ(o.error, "") << o.out;
  Class* v = acc->imut_variant;
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->body_read, 1);
  EXPECT_EQ(keys(v->props), "p n");
  EXPECT_EQ(v->props["p"]->type->to_text(), "imut Point");
  EXPECT_EQ(v->funcs["set"]->skip, 1);
  EXPECT_EQ(v->funcs["get"]->skip, 0);
  EXPECT_EQ(v->funcs["make"]->skip, 0);
  EXPECT_EQ(v->funcs["set"]->export_name, "imut_Acc__set");
  EXPECT_EQ(acc->funcs["set"]->skip, 0);
}

TEST(ClassBodies, Directives) {
  struct Case {
    const char* condition;
    const char* props;
  } cases[] = {{"OS == linux", "a c"}, {"OS == win", "b c"}};
  for (const Case& c : cases) {
    World w({std::string("class A {\n    #if ") + c.condition +
             "\n    a: int\n    #else\n    b: int\n    #end\n    c: int\n}\n"});
    ASSERT_EQ(w.read_bodies().error, "") << c.condition;
    EXPECT_EQ(keys(w.must_cls("A")->props), c.props) << c.condition;
  }
}

TEST(ClassBodies, ClassMacros) {
  World w({"class A {\n"
           "    macro \"go\" V:x { }\n"
           "    macro \"stop\" <{ 1 }\n"
           "    x: int\n"
           "}\n"});
  Outcome o = w.read_bodies();
  ASSERT_EQ(o.error, "") << o.out;
  Class* a = w.must_cls("A");
  ASSERT_NE(a->macros, nullptr);
  EXPECT_EQ(keys(*a->macros), "go stop");
  Macro* go = (*a->macros)["go"];
  EXPECT_EQ(go->first_token_required, 1);
  EXPECT_EQ(go->name, "");
  EXPECT_EQ(go->scope->parent, a->scope);
  EXPECT_EQ(go->pattern->items->size(), 2u);
  EXPECT_EQ((*a->macros)["stop"]->is_value, 1);
  // Members after a macro are read on.
  EXPECT_EQ(keys(a->props), "x");
}

TEST(ClassBodies, Errors) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"class A {\n fn x\n}\n", "Expected '[' or '(' after the function name"},
      {"class A {\n fn x: int\n}\n", "Expected '[' or '(' after the function name"},
      {"class A {\n get x int {\n }\n}\n", "Expected ':' after the 'get' name"},
      {"class A {\n mut get x: int {\n }\n}\n", "Unexpected token: 'mut'"},
      {"class A {\n static group g {\n }\n}\n", "Unexpected token: 'group'"},
      {"class A {\n group g {\n group h {\n }\n }\n}\n", "Unexpected token: 'group'"},
      {"class A {\n foo bar\n}\n", "Unexpected token: 'foo'"},
      {"class A {\n + 5\n}\n", "Unexpected token: 5"},
      {"class A {\n fn 5() {\n }\n}\n", "Invalid identifier name: '5' | Expected syntax: [a-zA-Z_]"},
      {"class A {\n x: int\n group x {\n }\n}\n", "Group name is already used for something else in this class: x"},
      {"class A {\n group g {\n x: int\n }\n}\n", "You cannot define properties inside a 'group'"},
      {"class A {\n group g {\n use T\n }\n}\ntrait T {\n}\n", "You cannot use traits inside a 'group'"},
      {"class A {\n x: int\n x: u8\n}\n", "Property name is already used for something else in this class: x"},
      {"class A {\n fn x() {\n }\n x: int\n}\n", "Property name is already used for something else in this class: x"},
      {"class A {\n x: int\n fn x() {\n }\n}\n", "Function name is already used for something else in this class: x"},
      {"class A {\n group x {\n }\n get x: int {\n }\n}\n",
       "Function name is already used for something else in this class: x"},
      {"class A {\n group g {\n fn a() {\n }\n fn a() {\n }\n }\n}\n",
       "Function name is already used for something else in this class group: a"},
      {"class A {\n n: ?A $lazy\n}\n", "$lazy can only be applied to non-nullable type. Property type is: ?A"},
      {"class A {\n n: int $lazy\n}\n", "$lazy can only be applied to class/struct types. Property type is: int"},
      {"class A {\n n: A $weak\n}\n", "Unknown property flag: $weak"},
      {"class A {\n r: &int\n}\n", "You cannot store references inside objects. Type not allowed: &[int]"},
      {"struct S {\n c: A\n}\nclass A {\n}\n", "You cannot use class-type in a struct property"},
      {"struct S {\n f: fn()()\n}\n", "You cannot use class-type in a struct property"},
      {"integer Id unsigned 4 {\n x: int\n}\n", "You cannot define properties on this class: Id"},
      {"slice Bytes {\n x: int\n}\n", "You cannot define properties on this class: Bytes"},
      {"class A @async {\n p: <P>\n}\nstruct P {\n}\n",
       "All property types inside an @async class/struct must have an immutable or async type"},
      {"class A {\n macro \"go\" { }\n macro \"go\" V:x { }\n}\n",
       "You have 2 class macros that start with the same token"},
      {"class A {\n macro V:x \"go\" { }\n}\n", "The first macro item must be a token"},
      {"class A {\n macro { }\n}\n", "You cannot define empty macros"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_error({c.text}), c.error) << c.text;
}

TEST(ClassBodies, AsyncClassAcceptsAsyncValuesAndReferences) {
  World w({"class A @async {\n q: <Q>\n r: P\n}\nstruct P {\n}\nstruct Q @async {\n}\n"});
  Outcome o = w.read_bodies();
  EXPECT_EQ(o.error, "") << o.out;
  EXPECT_EQ(keys(w.must_cls("A")->props), "q r");
}

TEST(ClassBodies, AnErrorEndsOnlyItsClass) {
  World w({"class Bad {\n x: int\n x: int\n}\nclass Good {\n y: int\n}\n"});
  Outcome o = w.read_bodies();
  EXPECT_EQ(o.error, "Property name is already used for something else in this class: x");
  EXPECT_EQ(keys(w.must_cls("Good")->props), "y");
  // A body is read once, also when its reading failed.
  EXPECT_EQ(w.must_cls("Bad")->body_read, 1);
}

}  // namespace
}  // namespace tesk::classtest
