// Generic classes and functions: name lists, instance keys and names, one instance per
// key, the binding of generic names, and the errors of the argument readers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../types/fixture.h"
#include "driver/name_hash.h"
#include "expr/value.h"
#include "model/classes.h"
#include "model/funcs.h"
#include "model/generics.h"
#include "model/signatures.h"
#include "driver/stage_aliases.h"

namespace tesk::typetest {
namespace {

const char* kGenericDecls =
    "class Vec {\n}\n"
    "class List[T] {\n}\n"
    "class Map[K, V:PROP_TYPE] {\n}\n"
    "fn pick[T](a: T) T {\n}\n"
    "fn pair[A, B](a: A, b: B) {\n}\n"
    "fn plain(x: int) {\n}\n"
    "trait Sized[S] {\n}\n"
    "type Num (int)\n";

Type* type_of(World& w, const std::string& text) {
  Read r = read_text(w, text, true);
  EXPECT_FALSE(r.outcome.failed) << text << ": " << r.outcome.out;
  return r.type;
}

std::vector<Type*> types_of(World& w, std::initializer_list<const char*> texts) {
  std::vector<Type*> out;
  for (const char* t : texts) out.push_back(type_of(w, t));
  return out;
}

Func* func_named(World& w, Namespace* ns, std::string_view name) {
  Identifier** id = ns->scope->identifiers.find(name);
  return id && (*id)->kind == IDENT_FUNC ? (*id)->func : nullptr;
}

// The names of a list as "A,B:P" (":P" for PROP_TYPE).
std::string names_text(const GenericNames* names) {
  std::string out;
  for (auto& [name, g] : *names) {
    if (!out.empty()) out += ",";
    out += name;
    if (g->prop_type) out += ":P";
    EXPECT_EQ(g->is_set, 1);
  }
  return out;
}

Type* bound_type(Scope* scope, std::string_view name) {
  Identifier** id = scope->identifiers.find(name);
  if (!id) return nullptr;
  EXPECT_EQ((*id)->kind, IDENT_TYPE) << name;
  return (*id)->type;
}

// ---------------------------------------------------------------------------------
// Name lists

TEST(GenericNames, ReadAfterTheBracket) {
  World w({kGenericDecls});
  struct Case {
    const char* text;
    const char* expected;  // names, or "error: " + message
  } cases[] = {
      {"T]", "T"},
      {"K, V]", "K,V"},
      {"T: PROP_TYPE, U]", "T:P,U"},
      {"T:PROP_TYPE PROP_TYPE]", "T:P"},
      {"T:]", "T"},
      {"T, T]", "error: Duplicate name for generic type"},
      {"A, B, A]", "error: Duplicate name for generic type"},
      {"T U]", "error: Unexpected token: U"},
      {"T:Foo]", "error: Unexpected token: Foo"},
      {"T\n]", "error: Unexpected token: "},
      {"T,\nU]", "error: Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      {"1]", "error: Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]"},
      {"]", "error: Invalid identifier name: ']' | Expected syntax: [a-zA-Z_]"},
  };
  for (const Case& c : cases) {
    Parser* p = w.parser(c.text);
    GenericNames* names = nullptr;
    Outcome o = run([&] { names = read_generic_names(p); });
    std::string got = o.failed ? "error: " + o.error : names_text(names);
    EXPECT_EQ(got, c.expected) << c.text;
  }
}

TEST(GenericNames, Stage1KeepsTheListsOfClassesFunctionsAndTraits) {
  World w({kGenericDecls});
  EXPECT_EQ(names_text(w.cls("Map")->generic_names), "K,V:P");
  EXPECT_TRUE(w.cls("Map")->is_generic);
  EXPECT_EQ(names_text(func_named(w, w.main_ns, "pair")->generic_names), "A,B");
  Identifier* trait = w.name("Sized");
  ASSERT_NE(trait, nullptr);
  EXPECT_EQ(names_text(trait->trait->generic_names), "S");
  EXPECT_EQ(w.cls("Vec")->generic_names, nullptr);
}

// ---------------------------------------------------------------------------------
// Keys and argument texts

TEST(GenericKeys, DisplayAndExportTexts) {
  World w({kGenericDecls});
  struct Case {
    std::vector<const char*> types;
    const char* display;
    const char* exported;
  } cases[] = {
      {{"int"}, "[int]", "[tesk__type__int]"},
      {{"int", "?Vec"}, "[int, ?Vec]", "[tesk__type__int, ?Vec]"},
      {{"geo:Shape", "[u8 x 4]"}, "[geo:Shape, [u8 x 4]]", "[geo__Shape, [tesk__type__u8 x 4]]"},
      {{"fn(String)(bool)"}, "[fn(String)(bool)]", "[fn(tesk__type__String)(tesk__type__bool)]"},
      {{}, "[]", "[]"},
  };
  for (const Case& c : cases) {
    std::vector<Type*> types;
    for (const char* t : c.types) types.push_back(type_of(w, t));
    std::string buf = "left over";
    EXPECT_EQ(generic_display_name(types, buf, false), c.display);
    EXPECT_EQ(buf, c.display);
    EXPECT_EQ(generic_display_name(types, buf, true), c.exported);
    EXPECT_EQ(generic_instance_key(types), name_hash_text(c.exported)) << c.display;
  }
}

TEST(GenericKeys, SameTextSameKeyOtherTextOtherKey) {
  World w({kGenericDecls});
  std::string k_int = generic_instance_key(types_of(w, {"int"}));
  EXPECT_EQ(k_int.size(), 32u);
  // An alias or a type declaration names the same Type text.
  EXPECT_EQ(generic_instance_key(types_of(w, {"Num"})), k_int);
  // Nullability and order are part of the text.
  EXPECT_NE(generic_instance_key(types_of(w, {"String"})), generic_instance_key(types_of(w, {"?String"})));
  EXPECT_NE(generic_instance_key(types_of(w, {"int", "u8"})), generic_instance_key(types_of(w, {"u8", "int"})));
  // Display texts may agree where export texts do not: a runtime class and a user class
  // of the same plain name.
  World w2({"class String {\n}\n"});
  Type* user = w2.cls("String")->get_type();
  Type* runtime = string_type(w2.b);
  std::string buf;
  EXPECT_EQ(generic_display_name({user}, buf, false), generic_display_name({runtime}, buf, false));
  EXPECT_NE(generic_instance_key({user}), generic_instance_key({runtime}));
}

// ---------------------------------------------------------------------------------
// Class instances

TEST(GenericClass, BindGenericTypes) {
  World w({kGenericDecls});
  Build* b = w.b;
  Class* map = w.cls("Map");
  auto make = [&](std::initializer_list<const char*> types, GenericNames* names) {
    Class* c = new_class(w.unit, map->file, map->access, "Probe", CLASS_CLASS, nullptr, nullptr);
    c->generic_names = names;
    c->generic_types = b->make<std::vector<Type*>>(types_of(w, types));
    return c;
  };

  Class* full = make({"int", "?Vec"}, map->generic_names);
  EXPECT_FALSE(run([&] { full->bind_generic_types(); }).failed);
  EXPECT_EQ(bound_type(full->scope, "K")->to_text(), "int");
  EXPECT_EQ(bound_type(full->scope, "V")->to_text(), "?Vec");
  // Names are looked up through the class scope like any other.
  EXPECT_EQ(find_identifier(full->scope, nullptr, "V")->type->to_text(), "?Vec");

  // Binding stops when the Types run out.
  Class* short_list = make({"u8"}, map->generic_names);
  EXPECT_FALSE(run([&] { short_list->bind_generic_types(); }).failed);
  EXPECT_EQ(bound_type(short_list->scope, "K")->to_text(), "u8");
  EXPECT_EQ(short_list->scope->identifiers.find("V"), nullptr);

  // No Types: nothing to bind, names or not.
  Class* none = make({}, nullptr);
  EXPECT_FALSE(run([&] { none->bind_generic_types(); }).failed);
  EXPECT_TRUE(none->scope->identifiers.empty());

  Class* nameless = make({"int"}, nullptr);
  EXPECT_EQ(run([&] { nameless->bind_generic_types(); }).error, "Missing class generic names (bug), class: Probe");

  Class* taken = make({"int", "int"}, map->generic_names);
  taken->scope->identifiers.set("V", new_identifier_type(b, int_type(b)));
  EXPECT_EQ(run([&] { taken->bind_generic_types(); }).error, "Name already used: V");
}

// The instance of a generic class for the Types, made without an error.
Class* instance(World& w, Class* generic, std::vector<Type*> types) {
  Class* inst = nullptr;
  Outcome o = run([&] { inst = get_generic_class(w.b, generic, types); });
  EXPECT_FALSE(o.failed) << o.out;
  return inst;
}

// Registers the `extend` blocks that Stage 1 found, as Stage 2.1 does.
void register_extends(World& w) {
  for (Chunk* c : w.b->extends) {
    Outcome o = run([&] { read_extend(w.b, c); });
    EXPECT_FALSE(o.failed) << o.out;
  }
}

TEST(GenericClass, InstanceNamesAndFields) {
  World w({kGenericDecls});
  Class* list = w.cls("List");
  size_t classes_before = w.b->classes.size();
  std::vector<Type*> args = types_of(w, {"int"});
  Class* inst = instance(w, list, args);
  ASSERT_NE(inst, nullptr);
  std::string key = name_hash_text("[tesk__type__int]");

  EXPECT_EQ(inst->name, "List__" + key);
  EXPECT_EQ(inst->export_name, "List__" + key);
  EXPECT_EQ(inst->display_name, "List[int]");
  EXPECT_EQ(inst->get_type()->to_text(), "List[int]");
  EXPECT_EQ(inst->get_type()->to_text_ex(1), "List__" + key);
  EXPECT_EQ(inst->generic_base, list);
  EXPECT_EQ(inst->generic_names, list->generic_names);
  ASSERT_NE(inst->generic_types, nullptr);
  EXPECT_EQ(*inst->generic_types, args);
  EXPECT_FALSE(inst->is_generic);
  EXPECT_EQ(inst->generic_instances, nullptr);
  EXPECT_EQ(inst->documented, 0);
  EXPECT_EQ(inst->body, list->body);
  EXPECT_EQ(inst->name_position, list->name_position);
  EXPECT_EQ(inst->unit, list->unit);
  EXPECT_EQ(inst->file, list->file);
  // In the class lists, registered under its key, and its names bound in its scope.
  ASSERT_EQ(w.b->classes.size(), classes_before + 1);
  EXPECT_EQ(w.b->classes.back(), inst);
  EXPECT_EQ(list->unit->classes.back(), inst);
  ASSERT_EQ(list->generic_instances->size(), 1u);
  EXPECT_EQ(*list->generic_instances->find(key), inst);
  EXPECT_EQ(bound_type(inst->scope, "T"), args[0]);

  // A class of another namespace keeps its prefixes; a map shows all its Types.
  Class* shape = (*w.geo_ns->scope->identifiers.find("Shape"))->class_;
  Class* map = instance(w, w.cls("Map"), {shape->get_type(), type_of(w, "?String")});
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->display_name, "Map[geo:Shape, ?String]");
  EXPECT_EQ(map->name, "Map__" + name_hash_text("[geo__Shape, ?tesk__type__String]"));
}

TEST(GenericClass, FlagsTakenFromTheGenericClass) {
  World w({"class Box[T] {\n}\nextend Box[U] {\n  fn get() U {\n  }\n}\n"});
  register_extends(w);
  Class* box = w.cls("Box");
  ASSERT_EQ(box->extends.size(), 1u);
  box->imut = 1;
  box->async = 1;
  box->packed = 1;
  box->signed_ = 1;
  box->no_new_props = 1;
  Class* inst = instance(w, box, types_of(w, {"int"}));
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(inst->imut, 1);
  EXPECT_EQ(inst->async, 1);
  // The extend blocks of the generic class are the instance's, read with its Types.
  ASSERT_EQ(inst->extends.size(), 1u);
  EXPECT_EQ(inst->extends[0], box->extends[0]);
  Func* get = inst->get_function("get");
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get->return_type->to_text(), "int");
  EXPECT_EQ(get->display_name, "Box[int].get");
  // Not taken over.
  EXPECT_EQ(inst->packed, 0);
  EXPECT_EQ(inst->signed_, 0);
  EXPECT_EQ(inst->no_new_props, 0);
}

TEST(GenericClass, BodiesReadWithTheNamesBound) {
  World w({"class Vec {\n}\n"
           "class Node[T] {\n"
           "  value: T\n"
           "  next: ?Node[T]\n"
           "  fn first() T {\n  }\n"
           "  fn map[U](f: fn(T)(U)) ?Node[U] {\n  }\n"
           "  group all {\n    fn count(limit: T) uint {\n    }\n  }\n"
           "}\n"});
  Class* node = w.cls("Node");
  Class* inst = instance(w, node, types_of(w, {"?Vec"}));
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(inst->body_read, 1);
  EXPECT_EQ(inst->get_prop("value")->type->to_text(), "?Vec");
  // The instance's own Type inside its body is the instance itself: no second instance.
  EXPECT_EQ(inst->get_prop("next")->type->get_class(), inst);
  EXPECT_EQ(node->generic_instances->size(), 1u);
  // Signatures of the instance's functions and group functions are read at once.
  Func* first = inst->get_function("first");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->types_read, 1);
  EXPECT_EQ(first->return_type->to_text(), "?Vec");
  Func* count = inst->get_group("all")->funcs.find("count")[0];
  EXPECT_EQ(count->types_read, 1);
  ASSERT_EQ(count->args.size(), 2u);
  EXPECT_EQ(count->args[1]->type->to_text(), "?Vec");

  // A generic function of the instance: one instance per Type list, with the class's
  // names through its scope, SELF as the class's Type and its own names bound.
  Func* map = inst->get_function("map");
  ASSERT_NE(map, nullptr);
  EXPECT_TRUE(map->is_generic);
  Func* to_int = nullptr;
  std::vector<Type*> args1 = types_of(w, {"int"});
  Outcome o = run([&] { to_int = get_generic_function(map, args1, nullptr); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(to_int->display_name, "Node[?Vec].map[int]");
  EXPECT_EQ(to_int->class_, inst);
  EXPECT_EQ(bound_type(to_int->decl_scope, "SELF"), inst->get_type());
  ASSERT_EQ(to_int->args.size(), 2u);
  EXPECT_EQ(to_int->args[0]->name, "this");
  EXPECT_EQ(to_int->args[1]->type->to_text(), "fn(?Vec)(int)");
  EXPECT_EQ(to_int->return_type->to_text(), "?Node[int]");
  EXPECT_EQ(node->generic_instances->size(), 2u);
  Func* again = nullptr;
  std::vector<Type*> args2 = types_of(w, {"int"});
  ASSERT_FALSE(run([&] { again = get_generic_function(map, args2, nullptr); }).failed);
  EXPECT_EQ(again, to_int);
  EXPECT_EQ(map->generic_instances->size(), 1u);
}

TEST(GenericClass, ModeInstancesLinkToTheirBase) {
  World w({"class Box[T] {\n  v: T\n}\n"
           "mode Shown[T] for Box[T] {\n  fn show() T {\n  }\n}\n"});
  Class* shown = w.cls("Shown");
  ASSERT_TRUE(shown->is_mode);
  Class* inst = instance(w, shown, types_of(w, {"u16"}));
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(inst->is_mode, 1);
  EXPECT_EQ(inst->mode_chunk, shown->mode_chunk);
  ASSERT_NE(inst->mode_base, nullptr);
  EXPECT_EQ(inst->mode_base->display_name, "Box[u16]");
  EXPECT_EQ(inst->mode_base->generic_base, w.cls("Box"));
  EXPECT_EQ(inst->get_prop("v")->type->to_text(), "u16");
  EXPECT_EQ(inst->get_function("show")->return_type->to_text(), "u16");
}

TEST(GenericClass, WrittenTypesResolveToTheInstance) {
  World w({"class Vec {\n}\n"
           "class List[T] {\n  items: *T\n}\n"
           "class Map[K, V] {\n}\n"
           "type Ints (List[int])\n"
           "type Nested (Map[Ints, ?List[Num]])\n"
           "alias Num for int\n"
           "type Bad (Map[int])\n"
           "type TooMany (List[int, u8])\n"
           "fn f(l: List[int], m: Map[List[int], Vec]) List[Num] {\n}\n"});
  Class* list = w.cls("List");
  for (const char* name : {"Ints", "Nested"}) EXPECT_FALSE(w.alias_outcomes[name].failed) << name;
  EXPECT_EQ(w.alias_outcomes["Bad"].error, "Expected token: ',', instead of: ']'");
  EXPECT_EQ(w.alias_outcomes["TooMany"].error, "Expected token: ']', instead of: ','");

  Type* ints = type_of(w, "Ints");
  Class* inst = ints->get_class();
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(inst->generic_base, list);
  EXPECT_EQ(ints->to_text(), "List[int]");
  EXPECT_EQ(inst->get_prop("items")->type->to_text(), "*[int]");
  EXPECT_EQ(type_of(w, "Nested")->to_text(), "Map[List[int], ?List[int]]");
  EXPECT_EQ(type_of(w, "List[Num]")->get_class(), inst);
  EXPECT_EQ(list->generic_instances->size(), 1u);

  Func* f = func_named(w, w.main_ns, "f");
  Outcome o = run([&] { read_function_types(f); });
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_EQ(f->args.size(), 2u);
  EXPECT_EQ(f->args[0]->type->get_class(), inst);
  EXPECT_EQ(f->args[1]->type->to_text(), "Map[List[int], Vec]");
  EXPECT_EQ(f->return_type->get_class(), inst);
  EXPECT_EQ(list->generic_instances->size(), 1u);
}

TEST(GenericClass, PropTypeOfAnImmutableClass) {
  World w({"class Vec {\n}\n"
           "class Keep[T:PROP_TYPE, U] {\n  t: T\n  u: U\n}\n"});
  Class* keep = w.cls("Keep");
  Class* imut_keep = nullptr;
  ASSERT_FALSE(run([&] { imut_keep = keep->get_imut(); }).failed);
  ASSERT_TRUE(imut_keep->is_generic);
  w.main_ns->scope->identifiers.set("IKeep", new_identifier_class(w.b, imut_keep));
  // The PROP_TYPE name's class Type becomes immutable; the other is read as written
  // (the immutable class makes its property Types immutable itself).
  Type* t = type_of(w, "IKeep[Vec, Vec]");
  Class* inst = t->get_class();
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(inst->display_name, "imut Keep[imut Vec, Vec]");
  EXPECT_EQ(inst->generic_base, imut_keep);
  EXPECT_EQ(inst->imut, 1);
  EXPECT_EQ(bound_type(inst->scope, "T")->to_text(), "imut Vec");
  EXPECT_EQ(bound_type(inst->scope, "U")->to_text(), "Vec");
  EXPECT_EQ(inst->get_prop("u")->type->to_text(), "imut Vec");
  // Types differing only in immutability give different instances.
  Class* mutable_inst = type_of(w, "Keep[Vec, Vec]")->get_class();
  EXPECT_NE(mutable_inst, nullptr);
  EXPECT_EQ(mutable_inst->display_name, "Keep[Vec, Vec]");
  // The immutable variant of an instance binds the instance's Types again.
  Class* variant = nullptr;
  Outcome o = run([&] { variant = mutable_inst->get_imut(); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(variant->display_name, "imut Keep[Vec, Vec]");
  EXPECT_EQ(bound_type(variant->scope, "U")->to_text(), "Vec");
  EXPECT_EQ(variant->get_prop("u")->type->to_text(), "imut Vec");
  Class* other = instance(w, keep, {type_of(w, "Vec")->get_imut(), type_of(w, "Vec")});
  EXPECT_NE(other, mutable_inst);
  EXPECT_EQ(keep->generic_instances->size(), 2u);
}

TEST(GenericClass, SizedAtOnceAfterStage23) {
  World w({"struct Later {\n}\n"
           "class Pair[A, B] {\n  a: A\n  b: B\n}\n"});
  Class* pair = w.cls("Pair");
  Class* before = instance(w, pair, types_of(w, {"u8", "int"}));
  EXPECT_EQ(before->sized, 0);
  w.b->sizes_done = 1;
  Class* after = instance(w, pair, types_of(w, {"u8", "u32"}));
  EXPECT_EQ(after->sized, 1);
  EXPECT_EQ(after->size, 8u);
  EXPECT_EQ(after->get_prop("b")->offset, 4u);
  // An inline value of a class that has no size yet cannot be sized.
  std::vector<Type*> args3 = types_of(w, {"u8", "<Later>"});
  Outcome o = run([&] { get_generic_class(w.b, pair, args3); });
  EXPECT_EQ(o.error, "Cannot determine class size of: Pair[u8, <Later>]");
}

TEST(GenericClass, OneInstancePerKey) {
  World w({kGenericDecls});
  Class* list = w.cls("List");
  Class* a = instance(w, list, types_of(w, {"int"}));
  // The same Types written another way, and again: the registered instance, nothing new.
  size_t classes = w.b->classes.size();
  Class* b = instance(w, list, types_of(w, {"Num"}));
  EXPECT_EQ(a, b);
  EXPECT_EQ(w.b->classes.size(), classes);
  // Other Types, another instance; a second generic class has its own registry.
  Class* c = instance(w, list, types_of(w, {"?String"}));
  Class* d = instance(w, list, types_of(w, {"String"}));
  EXPECT_NE(c, d);
  EXPECT_NE(c, a);
  EXPECT_EQ(list->generic_instances->size(), 3u);
  EXPECT_EQ(c->display_name, "List[?String]");
  Class* m = instance(w, w.cls("Map"), types_of(w, {"int", "int"}));
  EXPECT_EQ(w.cls("Map")->generic_instances->size(), 1u);
  EXPECT_EQ(list->generic_instances->size(), 3u);
  EXPECT_NE(m, a);
}

TEST(GenericClass, Errors) {
  World w({kGenericDecls});
  Class* vec = w.cls("Vec");
  std::vector<Type*> args4 = types_of(w, {"int"});
  EXPECT_EQ(run([&] { get_generic_class(w.b, vec, args4); }).error,
            "Missing class generic list (bug)");
}

// ---------------------------------------------------------------------------------
// Function instances

TEST(GenericFunction, InstanceNamesRegistrationAndBinding) {
  World w({kGenericDecls});
  Build* b = w.b;
  Func* pick = func_named(w, w.main_ns, "pick");
  ASSERT_NE(pick, nullptr);
  ASSERT_TRUE(pick->is_generic);
  for (Func* f : b->functions) EXPECT_NE(f, pick);
  size_t funcs_before = b->functions.size();

  std::vector<Type*> args = types_of(w, {"?Vec"});
  Func* inst = nullptr;
  Outcome o = run([&] { inst = get_generic_function(pick, args, nullptr); });
  ASSERT_FALSE(o.failed) << o.out;
  std::string key = name_hash_text("[?Vec]");
  EXPECT_EQ(inst->name, "pick__" + key);
  EXPECT_EQ(inst->export_name, "pick__" + key);
  EXPECT_EQ(inst->display_name, "pick[?Vec]");
  EXPECT_FALSE(inst->is_generic);
  EXPECT_EQ(inst->generic_names, pick->generic_names);
  EXPECT_EQ(inst->generic_instances, nullptr);
  EXPECT_EQ(inst->in_docs, 0);
  EXPECT_EQ(inst->extra_generic_names, 0);
  EXPECT_EQ(inst->header, pick->header);
  EXPECT_EQ(inst->body_chunk, pick->body_chunk);
  EXPECT_EQ(inst->name_position, pick->name_position);
  EXPECT_EQ(inst->file, pick->file);
  EXPECT_EQ(inst->code_file, pick->code_file);
  EXPECT_EQ(inst->decl_scope->parent, pick->decl_scope->parent);
  EXPECT_NE(inst->decl_scope, pick->decl_scope);
  // Compiled like any function: in the build's lists, the template is not.
  ASSERT_EQ(b->functions.size(), funcs_before + 1);
  EXPECT_EQ(b->functions.back(), inst);
  EXPECT_EQ(inst->unit->funcs.back(), inst);
  EXPECT_EQ(b->function_queue.back(), inst);
  // T bound in the declaration scope and in the instance's map.
  EXPECT_EQ(bound_type(inst->decl_scope, "T"), args[0]);
  ASSERT_EQ(inst->generic_types.size(), 1u);
  EXPECT_EQ(*inst->generic_types.find("T"), args[0]);
  EXPECT_EQ(bound_type(pick->decl_scope, "T"), nullptr);
  EXPECT_EQ(find_identifier(inst->decl_scope, nullptr, "T")->type, args[0]);

  // One instance per key.
  Func* again = nullptr;
  std::vector<Type*> args5 = types_of(w, {"?Vec"});
  EXPECT_FALSE(run([&] { again = get_generic_function(pick, args5, nullptr); }).failed);
  EXPECT_EQ(again, inst);
  Func* other = nullptr;
  std::vector<Type*> args6 = types_of(w, {"Vec"});
  EXPECT_FALSE(run([&] { other = get_generic_function(pick, args6, nullptr); }).failed);
  EXPECT_NE(other, inst);
  EXPECT_EQ(pick->generic_instances->size(), 2u);
  EXPECT_EQ(b->functions.size(), funcs_before + 2);
}

TEST(GenericFunction, NamesOutsideTheMainNamespaceAndFlags) {
  World w({kGenericDecls});
  w.file("fn wrap[T]() {\n}\nexit fn fail[T]() {\n}\n", w.geo_ns);
  w.scan_queue();
  Func* wrap = func_named(w, w.geo_ns, "wrap");
  ASSERT_NE(wrap, nullptr);
  EXPECT_EQ(wrap->export_name, "geo__wrap");
  Func* inst = nullptr;
  std::vector<Type*> args7 = types_of(w, {"int"});
  EXPECT_FALSE(run([&] { inst = get_generic_function(wrap, args7, nullptr); }).failed);
  std::string key = name_hash_text("[tesk__type__int]");
  // The instance's name is the template's export name and the key; its export name
  // gets the namespace part on top, as every function's does.
  EXPECT_EQ(inst->name, "geo__wrap__" + key);
  EXPECT_EQ(inst->export_name, "geo__geo__wrap__" + key);
  EXPECT_EQ(inst->display_name, "geo:wrap[int]");

  Func* fail = func_named(w, w.geo_ns, "fail");
  ASSERT_NE(fail, nullptr);
  fail->static_ = 1;
  Func* fi = nullptr;
  std::vector<Type*> args8 = types_of(w, {"int"});
  EXPECT_FALSE(run([&] { fi = get_generic_function(fail, args8, nullptr); }).failed);
  EXPECT_EQ(fi->is_exit, 1);
  EXPECT_EQ(fi->static_, 1);
}

TEST(GenericFunction, ClassFunctionsGetSelf) {
  World w({kGenericDecls});
  Class* vec = w.cls("Vec");
  GenericNames* names = w.cls("List")->generic_names;
  auto method = [&](GenericNames* generic_names) {
    Func* f = new_func(vec->unit, vec->file, vec->file, vec->access, "Vec__each", generic_names, nullptr, false);
    f->class_ = vec;
    f->display_name = "Vec.each";
    f->decl_scope->parent = vec->scope;
    return f;
  };
  Func* each = method(names);
  Func* inst = nullptr;
  std::vector<Type*> args9 = types_of(w, {"u8"});
  EXPECT_FALSE(run([&] { inst = get_generic_function(each, args9, nullptr); }).failed);
  EXPECT_EQ(inst->class_, vec);
  EXPECT_EQ(inst->display_name, "Vec.each[u8]");
  EXPECT_EQ(inst->decl_scope->parent, vec->scope);
  EXPECT_EQ(bound_type(inst->decl_scope, "SELF"), vec->get_type());
  EXPECT_EQ(bound_type(inst->decl_scope, "T")->to_text(), "u8");

  // A generic name "SELF" on a class function clashes with the bound class Type.
  Parser* p = w.parser("SELF]");
  GenericNames* self_names = nullptr;
  ASSERT_FALSE(run([&] { self_names = read_generic_names(p); }).failed);
  Func* clash = method(self_names);
  std::vector<Type*> args10 = types_of(w, {"u8"});
  EXPECT_EQ(run([&] { get_generic_function(clash, args10, nullptr); }).error, "Name already used: SELF");
}

TEST(GenericFunction, MissingTypesAreBugs) {
  World w({kGenericDecls});
  Func* pair = func_named(w, w.main_ns, "pair");
  std::vector<Type*> args11 = types_of(w, {"int"});
  EXPECT_EQ(run([&] { get_generic_function(pair, args11, nullptr); }).error,
            "Missing generic type (bug#1)");
  std::vector<std::string> extra = {"X", "Y"};
  std::vector<Type*> args12 = types_of(w, {"int", "u8", "u16"});
  EXPECT_EQ(run([&] { get_generic_function(pair, args12, &extra); }).error,
            "Missing generic type (bug#2)");
  // Extra names may not repeat a generic name.
  std::vector<std::string> clash = {"A"};
  std::vector<Type*> args13 = types_of(w, {"int", "u8", "u32"});
  EXPECT_EQ(run([&] { get_generic_function(pair, args13, &clash); }).error,
            "Name already used: A");
}

TEST(GenericFunction, ReadFunctionGenericArgs) {
  World w({kGenericDecls});
  Func* pair = func_named(w, w.main_ns, "pair");
  Func* pick = func_named(w, w.main_ns, "pick");
  struct Case {
    Func* func;
    const char* text;
    const char* expected;  // the instance's display name, or "error: " + message
  } cases[] = {
      {pair, "[int, ?Vec]", "pair[int, ?Vec]"},
      {pair, "[int, geo:Shape\n]", "pair[int, geo:Shape]"},
      {pair, "[int,\n  u8]", "error: Unknown type: "},
      {pick, " [int]", "error: Expected token: '[', instead of: ''"},
      {pick, "(int)", "error: Expected token: '[', instead of: '('"},
      {pick, "[int", "error: Expected token: ']', instead of: ''"},
      {pick, "[int, u8]", "error: Expected token: ']', instead of: ','"},
      {pair, "[int]", "error: Expected token: ',', instead of: ']'"},
      {pair, "[int u8]", "error: Expected token: ',', instead of: 'u8'"},
      {pick, "[Nope]", "error: Unknown identifier: 'Nope'"},
      {func_named(w, w.main_ns, "plain"), "[int]", "error: Missing function generic names (bug)."},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.func, nullptr) << c.text;
    Parser* p = w.parser(c.text);
    Func* inst = nullptr;
    Outcome o = run([&] { inst = read_function_generic_args(p, w.scope_of(p), c.func); });
    std::string got = o.failed ? "error: " + o.error : inst->display_name;
    EXPECT_EQ(got, c.expected) << c.text;
  }
  // A generic function without its registry.
  Func* broken = func_named(w, w.main_ns, "pick");
  OrderedMap<Func*>* saved = broken->generic_instances;
  broken->generic_instances = nullptr;
  Parser* p = w.parser("[int]");
  EXPECT_EQ(run([&] { read_function_generic_args(p, w.scope_of(p), broken); }).error,
            "Missing function generic list (bug).");
  broken->generic_instances = saved;
  // Read arguments give the same instance as the Types given directly.
  Parser* q = w.parser("[Num, ?Vec]");
  Func* read = nullptr;
  ASSERT_FALSE(run([&] { read = read_function_generic_args(q, w.scope_of(q), pair); }).failed);
  Func* direct = nullptr;
  std::vector<Type*> args14 = types_of(w, {"int", "?Vec"});
  ASSERT_FALSE(run([&] { direct = get_generic_function(pair, args14, nullptr); }).failed);
  EXPECT_EQ(read, direct);
}

TEST(GenericFunction, InferFromCallArguments) {
  World w({kGenericDecls,
           "fn show(label: String, item: $T, count: $N) {\n}\n"
           "fn keep[T](a: T, u: $U) {\n}\n"});
  Build* b = w.b;
  Func* show = func_named(w, w.main_ns, "show");
  ASSERT_FALSE(run([&] { read_function_types(show); }).failed);
  ASSERT_EQ(show->template_, 1);
  ASSERT_EQ(show->args.size(), 3u);
  ASSERT_TRUE(show->args[1]->is_generic);

  auto value = [&](Type* t) {
    Value* v = b->make<Value>();
    v->type = t;
    return v;
  };
  std::vector<Value*> call = {value(string_type(b)), value(type_of(w, "?Vec")), value(int_type(b))};
  Parser* p = w.parser("");
  Func* inst = nullptr;
  Outcome o = run([&] { inst = infer_generic_types(p, show, call); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(inst->display_name, "show[?Vec, int]");
  EXPECT_EQ(inst->name, "show__" + name_hash_text("[?Vec, tesk__type__int]"));
  EXPECT_EQ(inst->extra_generic_names, 1);
  EXPECT_EQ(bound_type(inst->decl_scope, "T")->to_text(), "?Vec");
  EXPECT_EQ(bound_type(inst->decl_scope, "N")->to_text(), "int");
  ASSERT_EQ(inst->generic_types.size(), 2u);
  EXPECT_EQ(inst->generic_types.entries()[0].first, "T");
  EXPECT_EQ(inst->generic_types.entries()[1].first, "N");
  // The instance's signature takes the bound Types for its `$` arguments.
  ASSERT_EQ(inst->args.size(), 3u);
  EXPECT_EQ(inst->args[1]->type->to_text(), "?Vec");
  EXPECT_EQ(inst->args[2]->type->to_text(), "int");
  EXPECT_EQ(inst->template_, 0);
  // The same argument Types give the same instance.
  Func* again = nullptr;
  ASSERT_FALSE(run([&] { again = infer_generic_types(p, show, call); }).failed);
  EXPECT_EQ(again, inst);

  // Types already bound on the function come first: an instance of a generic function
  // that also has `$U` arguments.
  Func* keep = func_named(w, w.main_ns, "keep");
  Func* kept = nullptr;
  std::vector<Type*> u8 = types_of(w, {"u8"});
  o = run([&] { kept = get_generic_function(keep, u8, nullptr); });
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_EQ(kept->template_, 1);
  Func* both = nullptr;
  o = run([&] { both = infer_generic_types(p, kept, {value(u8[0]), value(f64_type(b))}); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(bound_type(both->decl_scope, "T")->to_text(), "u8");
  EXPECT_EQ(bound_type(both->decl_scope, "U")->to_text(), "f64");
  EXPECT_EQ(both->display_name, "keep[u8][u8, f64]");
  ASSERT_EQ(both->args.size(), 2u);
  EXPECT_EQ(both->args[1]->type->to_text(), "f64");

  // A `$T` argument without a value at its position.
  Parser* q = w.parser("x");
  next_token(q, true, false);
  EXPECT_EQ(run([&] { infer_generic_types(q, show, {value(string_type(b))}); }).error,
            "Missing function call arguments");
}

}  // namespace
}  // namespace tesk::typetest
