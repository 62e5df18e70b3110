// The Type an identifier stands for: aliases, type declarations, enums, properties,
// generic classes, and the error names of signatures.
#include <gtest/gtest.h>

#include "driver/name_hash.h"
#include "fixture.h"
#include "model/classes.h"
#include "model/error_names.h"

namespace tesk::typetest {
namespace {

TEST(IdentifierTypes, TypeDeclarationsAfterAliases) {
  // Every alias is resolved before any type declaration, so a type may name an alias
  // declared after it; a type naming a later type declaration finds no type yet.
  World w({"type Count (Num)\n"
           "alias Num for int\n"
           "type Early (Late)\n"
           "type Late (?Vec)\n"
           "type Bytes (\n  [u8 x 4]\n)\n"
           "type Fn (fn(Count)(Bytes))\n"
           "class Vec {\n}\n"
           "alias V for Vec\n"
           "type Both (?V)\n"});
  EXPECT_EQ(read_text(w, "Count").text(), "int");
  EXPECT_EQ(read_text(w, "Late").text(), "?Vec");
  EXPECT_EQ(read_text(w, "Bytes").text(), "[u8 x 4]");
  EXPECT_EQ(read_text(w, "Fn").text(), "fn(int)([u8 x 4])");
  EXPECT_EQ(read_text(w, "Both").text(), "?Vec");
  EXPECT_EQ(read_text(w, "V").type, w.cls("Vec")->get_type());
  EXPECT_EQ(w.alias_outcomes["Early"].error, "Not a type");
  EXPECT_EQ(read_text(w, "Early").text(), "error: Not a type");
  for (const char* name : {"Count", "Num", "Late", "Bytes", "Fn", "V", "Both"})
    EXPECT_FALSE(w.alias_outcomes[name].failed) << name;
  // The declaration's Type is kept on the alias as well.
  for (Alias* a : w.b->aliases)
    if (a->name == "Count") {
      ASSERT_NE(a->type, nullptr);
      EXPECT_EQ(a->type->to_text(), "int");
    }
}

TEST(IdentifierTypes, AliasChainsAndCycles) {
  // "alias A for B" before B is resolved keeps B's alias identifier as target; the chain
  // is followed. Two aliases naming each other name no type (and do not loop).
  World w({"alias A for B\n"
           "alias B for int\n"
           "alias X for Y\n"
           "alias Y for X\n"
           "type T (X)\n"});
  EXPECT_EQ(read_text(w, "A").text(), "int");
  EXPECT_EQ(read_text(w, "B").text(), "int");
  EXPECT_EQ(read_text(w, "X").text(), "error: Not a type");
  EXPECT_EQ(read_text(w, "Y").text(), "error: Not a type");
  EXPECT_EQ(w.alias_outcomes["T"].error, "Not a type");
}

TEST(IdentifierTypes, TypeDeclarationErrorsAreParseErrorsInTheDeclaration) {
  World w({"type Bad (\n  fn (int)()\n)\n", "type Arr ([Vec x 2])\nclass Vec {\n}\n"});
  const Outcome& o = w.alias_outcomes["Bad"];
  EXPECT_EQ(o.error, "Expected token: '(', instead of: ''");
  EXPECT_NE(o.out.find("# Line: 2 | Col: 4"), std::string::npos) << o.out;
  EXPECT_EQ(w.alias_outcomes["Arr"].error, "You cannot use class types in fixed arrays");
  // The failed declarations stay unresolved.
  EXPECT_EQ(read_text(w, "Bad").text(), "error: Not a type");
}

TEST(IdentifierTypes, EnumItemTypes) {
  World w({"enum Small : u16 {\n  a\n}\n"
           "enum Wide : Num {\n  a\n}\n"
           "alias Num for i32\n"
           "enum Nested : Small {\n  a\n}\n"});
  Enum* small = w.name("Small")->enum_;
  Outcome o = run([&] { small->get_type(); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(small->get_item_type()->to_text(), "u16");
  EXPECT_EQ(read_text(w, "Small").text(), "Small(u16)");
  EXPECT_EQ(read_text(w, "Wide").text(), "Wide(i32)");
  EXPECT_EQ(run([&] { w.name("Nested")->enum_->get_type(); }).error,
            "You cannot use an enum type as the type for another enum");
}

TEST(IdentifierTypes, KindsThatAreNoTypes) {
  World w;
  Build* b = w.b;
  Class* vec = w.cls("Vec");
  Property* prop = vec->add_prop("size", int_type(b));
  struct Bound {
    const char* name;
    Identifier* id;
    const char* expected;
  } cases[] = {
      {"prop", new_identifier_property(b, prop), "int"},
      {"vprop", new_identifier_value_property(b, prop, nullptr), "int"},
      {"noprop", new_identifier_property(b, nullptr), "error: Missing property info for identifier (BUG)"},
      {"novprop", new_identifier_value_property(b, nullptr, nullptr),
       "error: Missing property info for identifier (BUG)"},
      {"noenum", new_identifier_enum(b, nullptr), "error: Missing enum info for identifier (BUG)"},
      {"notype", new_identifier_type(b, nullptr), "error: Not a type"},
      {"noclass", new_identifier_class(b, nullptr), "error: Not a type"},
      {"noalias", new_identifier_alias(b, nullptr), "error: Not a type"},
      {"bound", new_identifier_type(b, read_text(w, "[u8 x 3]").type), "[u8 x 3]"},
  };
  for (const Bound& c : cases) w.main_ns->scope->identifiers.set(c.name, c.id);
  for (const Bound& c : cases) EXPECT_EQ(read_text(w, c.name).text(), c.expected) << c.name;
}

TEST(IdentifierTypes, GenericClassFromTheHint) {
  World w;
  Class* list = w.cls("List");
  ASSERT_TRUE(list->is_generic);
  // An instance of List, as the generics code makes it.
  Class* inst = new_class(w.unit, list->file, list->access, "List__x", CLASS_CLASS, nullptr, nullptr);
  inst->generic_base = list;
  // Without "[", a hint that is an instance of the class gives that instance.
  EXPECT_EQ(read_text(w, "List", false, inst->get_type()).type, inst->get_type());
  EXPECT_EQ(read_text(w, "?List", false, inst->get_type()).text(), "?List__x");
  // A hint of another class does not.
  EXPECT_EQ(read_text(w, "List", false, w.cls("Vec")->get_type()).text(),
            "error: Expected token: '[', instead of: ''");
  EXPECT_EQ(read_text(w, "List", false, int_type(w.b)).text(), "error: Expected token: '[', instead of: ''");
}

TEST(ErrorNames, CodesAndChecks) {
  World w;
  struct Case {
    const char* text;
    const char* names;  // the names read, joined by ","
    const char* error;
  } cases[] = {
      {"!a !b", "a,b", ""},
      {"  !not_found", "not_found", ""},
      {"!a !b\n!c", "a,b", ""},
      {"!a != b", "a", ""},
      {"", "", ""},
      {"x !a", "", ""},
      {"!a !a", "", "Duplicate error name: a"},
      {"! a", "", "Invalid error name syntax: "},
      {"!\"a\"", "", "Invalid error name syntax: \"a\""},
      {"!e33085 !e54959", "",
       "It seems that 2 different error names are resolving to the same hash, try picking a different error name: "
       "e54959"},
  };
  for (const Case& c : cases) {
    Parser* p = w.parser(c.text);
    ErrorMap* map = new_error_map(w.b);
    Outcome o = run([&] { read_error_names(p, map); });
    EXPECT_EQ(o.error, c.error) << c.text;
    if (o.failed) continue;
    std::string names;
    for (const auto& [name, code] : *map) {
      if (!names.empty()) names += ",";
      names += name;
      EXPECT_EQ(code, name_hash_u32(name)) << name;
    }
    EXPECT_EQ(names, c.names) << c.text;
  }
  // The code of a name is its name hash, the same everywhere.
  EXPECT_EQ(error_code_of("not_found"), 0xafb5a413u);
  EXPECT_EQ(error_code_of("e33085"), error_code_of("e54959"));
}

}  // namespace
}  // namespace tesk::typetest
