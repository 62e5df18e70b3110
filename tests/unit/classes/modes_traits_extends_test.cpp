// Stage 2.2: modes linked to their base classes, traits copied into classes, extend
// blocks read after the class body, and the documentation placeholders of generics.
#include <gtest/gtest.h>

#include "fixture.h"

namespace tesk::classtest {
namespace {

TEST(ClassModes, LinkToTheirBase) {
  World w({"struct Pos packed {\n x: i32\n}\n"
           "mode Loud for Pos {\n fn shout() {\n }\n}\n"
           "mode Id for u16 {\n fn next() {\n }\n}\n"
           "mode Short for Loud {\n}\n"});
  Outcome o = w.read_bodies();
  ASSERT_EQ(o.error, "") << o.out;
  Class* pos = w.must_cls("Pos");
  Class* loud = w.must_cls("Loud");
  EXPECT_EQ(loud->mode_base, pos);
  EXPECT_EQ(loud->kind, CLASS_STRUCT);
  EXPECT_EQ(loud->packed, 1);
  EXPECT_EQ(loud->is_mode, 1);
  // Its properties are its base's; its functions its own, then its base's.
  EXPECT_EQ(loud->props.size(), 0u);
  EXPECT_EQ(loud->get_prop("x"), pos->props["x"]);
  EXPECT_EQ(keys(loud->funcs), "shout");
  EXPECT_EQ(loud->funcs["shout"]->export_name, "Loud__shout");

  Class* id = w.must_cls("Id");
  Class* u16 = runtime_class(w.b, "type", "u16");
  EXPECT_EQ(id->mode_base, u16);
  EXPECT_EQ(id->kind, CLASS_INTEGER);
  EXPECT_EQ(id->signed_, u16->signed_);
  EXPECT_EQ(id->get_type()->kind, TYPE_INT);

  // A mode of a mode.
  EXPECT_EQ(w.must_cls("Short")->mode_base, loud);
  EXPECT_EQ(w.must_cls("Short")->kind, CLASS_STRUCT);

  // Sized like their base.
  ASSERT_EQ(w.sizes().error, "");
  EXPECT_EQ(loud->size, 8u);
  EXPECT_EQ(id->size, 2u);
}

TEST(ClassModes, Errors) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"mode M for [u8 x 4] {\n}\n", "You cannot create a 'mode' for the type: [u8 x 4]"},
      {"mode M for M {\n}\n", "You cannot create a 'mode' for the type: M"},
      {"mode M for N {\n}\nmode N for M {\n}\n", "You cannot create a 'mode' for the type: M"},
      {"mode M for A {\n x: int\n}\nclass A {\n}\n", "You cannot define new properties on a 'mode'"},
      {"mode M for Nope {\n}\n", "Unknown identifier: 'Nope'"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_error({c.text}), c.error) << c.text;
}

TEST(ClassModes, CycleLeavesNoLoop) {
  World w({"mode M for N {\n}\nmode N for M {\n}\n"});
  w.read_bodies();
  Class* m = w.must_cls("M");
  Class* n = w.must_cls("N");
  EXPECT_EQ(m->mode_base, n);
  EXPECT_EQ(n->mode_base, nullptr);
  EXPECT_EQ(m->get_props().size(), 0u);
}

TEST(ClassTraits, MembersAreCopiedIntoTheClass) {
  World w({"use geo\n"
           "trait Counter {\n"
           "    count: uint\n"
           "    fn inc() {\n"
           "    }\n"
           "}\n"
           "trait Box[T] {\n"
           "    item: T\n"
           "    fn get() T {\n"
           "    }\n"
           "}\n"
           "class A {\n"
           "    use Counter\n"
           "    use Box[u8]\n"
           "    use geo:Labelled\n"
           "    own: int\n"
           "}\n"});
  w.file("trait Labelled {\n    shape: Shape\n    fn label() {\n    }\n}\n", w.geo_ns);
  w.scan_queue();
  Outcome o = w.read_bodies();
  ASSERT_EQ(o.error, "") << o.out;
  Class* a = w.must_cls("A");
  EXPECT_EQ(keys(a->props), "count item shape own");
  EXPECT_EQ(keys(a->funcs), "inc get label");
  EXPECT_EQ(a->props["count"]->type->to_text(), "uint");
  EXPECT_EQ(a->props["item"]->type->to_text(), "u8");
  EXPECT_EQ(a->props["item"]->class_, a);
  // Names of the trait's file are visible in its members: Shape of namespace geo.
  Identifier** shape = w.geo_ns->scope->identifiers.find("Shape");
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(a->props["shape"]->type->get_class(), (*shape)->class_);
  // Trait functions belong to the class; their code is the trait's file.
  Func* label = a->funcs["label"];
  EXPECT_EQ(label->class_, a);
  EXPECT_EQ(label->export_name, "A__label");
  EXPECT_EQ(label->file, a->file);
  ASSERT_NE(label->code_file, nullptr);
  EXPECT_EQ(label->code_file->ns, w.geo_ns);
  EXPECT_EQ(a->funcs["get"]->decl_scope->parent->parent, a->funcs["get"]->file->scope);
  Identifier** t = a->funcs["get"]->decl_scope->parent->identifiers.find("T");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ((*t)->kind, IDENT_TYPE);
  EXPECT_EQ((*t)->type->to_text(), "u8");
}

TEST(ClassTraits, Errors) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"class A {\n use Nope\n}\n", "Unknown identifier: 'Nope'"},
      {"class A {\n use B\n}\nclass B {\n}\n", "Invalid trait identifier"},
      {"class A {\n use T\n use T\n}\ntrait T {\n x: int\n}\n",
       "Property name is already used for something else in this class: x"},
      {"class A {\n use Box\n}\ntrait Box[T] {\n}\n", "Expected token: '[', instead of: ''"},
      {"class A {\n use Box[int int]\n}\ntrait Box[T] {\n}\n", "Expected token: ']', instead of: 'int'"},
      {"class A {\n use Pair[int]\n}\ntrait Pair[K, V] {\n}\n", "Expected token: ',', instead of: ']'"},
      // A trait that reaches itself again is stopped instead of read forever.
      {"trait T {\n use T\n}\nclass A {\n use T\n}\n", "A trait cannot use itself: T"},
      {"trait T {\n use U\n}\ntrait U {\n use T\n}\nclass A {\n use T\n}\n", "A trait cannot use itself: T"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_error({c.text}), c.error) << c.text;
}

TEST(ClassTraits, ATraitUsedByTwoClasses) {
  World w({"trait T {\n x: int\n fn f() {\n }\n}\nclass A {\n use T\n}\nclass B {\n use T\n}\n"});
  ASSERT_EQ(w.read_bodies().error, "");
  Func* fa = w.must_cls("A")->funcs["f"];
  Func* fb = w.must_cls("B")->funcs["f"];
  ASSERT_TRUE(fa && fb);
  EXPECT_NE(fa, fb);
  EXPECT_EQ(fa->export_name, "A__f");
  EXPECT_EQ(fb->export_name, "B__f");
}

TEST(ClassExtends, ReadAfterTheBody) {
  World w({"class A {\n"
           "    x: int\n"
           "}\n"
           "extend A {\n"
           "    y: u8\n"
           "    fn more() {\n"
           "    }\n"
           "}\n"
           "extend A {\n"
           "    group g {\n"
           "        fn z() {\n"
           "        }\n"
           "    }\n"
           "}\n"
           "slice Bytes {\n"
           "}\n"
           "extend Bytes {\n"
           "    fn first() {\n"
           "    }\n"
           "}\n"});
  w.b->verbose = 3;
  Outcome o = w.read_bodies();
  ASSERT_EQ(o.error, "") << o.out;
  Class* a = w.must_cls("A");
  EXPECT_EQ(keys(a->props), "x y");
  EXPECT_EQ(keys(a->funcs), "more");
  EXPECT_EQ(keys(a->groups), "g");
  ASSERT_EQ(a->extends.size(), 2u);
  // Functions of an extend block see the names of the extend's file through its scope.
  EXPECT_EQ(a->funcs["more"]->decl_scope->parent->parent, a->extends[0]->scope);
  EXPECT_EQ(keys(w.must_cls("Bytes")->funcs), "first");
  EXPECT_NE(o.out.find("> Stage 2.2: Read class properties\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("> Parse extend for: A\n> Parse extend for: A\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("> Parse extend for: Bytes\n"), std::string::npos) << o.out;

  // The immutable variant has the class's own members only.
  Class* v = nullptr;
  ASSERT_EQ(run([&] { v = a->get_imut(); }).error, "");
  EXPECT_EQ(keys(v->props), "x");
  EXPECT_EQ(v->funcs.size(), 0u);
}

TEST(ClassExtends, NoNewProperties) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"class A $noNewProperties {\n}\nextend A {\n x: int\n}\n",
       "This class does not allow new properties by using 'extend'"},
      {"slice Bytes {\n}\nextend Bytes {\n x: int\n}\n", "This class does not allow new properties by using 'extend'"},
      {"class A $noNewProperties {\n x: int\n}\nextend A {\n fn f() {\n }\n}\n", ""},
      // A trait used inside an extend block counts as the extend.
      {"class A $noNewProperties {\n}\nextend A {\n use T\n}\ntrait T {\n x: int\n}\n",
       "This class does not allow new properties by using 'extend'"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_error({c.text}), c.error) << c.text;
}

TEST(ClassExtends, GenericInstancesReadEveryExtendWithTheirTypes) {
  World w({"class Box[T] {\n"
           "    item: T\n"
           "}\n"
           "extend Box[U] {\n"
           "    extra: U\n"
           "    fn get() U {\n"
           "    }\n"
           "}\n"
           "class User {\n"
           "    a: Box[u8]\n"
           "    b: Box[int]\n"
           "}\n"});
  Outcome o = w.read_bodies();
  ASSERT_EQ(o.error, "") << o.out;
  Class* user = w.must_cls("User");
  Class* a = user->props["a"]->type->get_class();
  Class* b = user->props["b"]->type->get_class();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(keys(a->props), "item extra");
  EXPECT_EQ(a->props["extra"]->type->to_text(), "u8");
  EXPECT_EQ(b->props["extra"]->type->to_text(), "int");
  EXPECT_EQ(keys(b->funcs), "get");
  // The generic class itself is never read.
  EXPECT_EQ(w.must_cls("Box")->body_read, 0);
  EXPECT_EQ(w.must_cls("Box")->props.size(), 0u);
}

TEST(ClassExtends, GenericExtendWithoutNamesIsABug) {
  World w({"class Box[T] {\n}\nclass User {\n a: Box[u8]\n}\n"});
  // An extend block registered without generic names for a generic class.
  Class* box = w.must_cls("Box");
  ClassExtend* e = w.b->make<ClassExtend>();
  e->class_ = box;
  e->body = box->body;
  e->scope = make_scope(SCOPE_BLOCK, w.b, box->file->scope);
  box->extends.push_back(e);
  EXPECT_EQ(w.read_bodies().error, "Missing extend generic names (bug)");
}

TEST(ClassDocs, GenericClassesGetOnePlaceholderInstance) {
  World w({"class Pair[K, V] {\n    key: K\n    value: V\n}\n"});
  w.b->mode = BUILD_DOCS;
  Outcome o = w.read_bodies();
  ASSERT_EQ(o.error, "") << o.out;
  Class* pair = w.must_cls("Pair");
  ASSERT_EQ(pair->generic_instances->size(), 1u);
  Class* inst = pair->generic_instances->entries()[0].second;
  EXPECT_EQ(inst->documented, 1);
  EXPECT_EQ(inst->name, "Pair");
  EXPECT_EQ(inst->props["key"]->type->kind, TYPE_GENERIC);
  EXPECT_EQ(inst->props["value"]->type->name, "V");
  EXPECT_EQ(pair->documented, 0);
}

}  // namespace
}  // namespace tesk::classtest
