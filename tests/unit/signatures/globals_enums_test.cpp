// Stage 2.4 of globals and enums, and the documentation text of values.
#include <gtest/gtest.h>

#include "expr/value.h"
#include "fixture.h"
#include "ir/records.h"

namespace tesk::sigtest {
namespace {

TEST(GlobalTypes, TypesAndTheSharedRule) {
  SigWorld w({"struct Point {\n}\n"
              "struct Frozen {\n}\n"
              "class Vec {\n}\n"
              "global count: int\n"
              "global maybe: ?Vec (null)\n"
              "global pts: *[Point x 2]\n"
              "global inline_pt: <Point>\n"
              "shared by_ref: Point (Point{})\n"
              "global no_default: Vec\n"
              "shared number: uint\n"
              "shared inline_shared: <Point>\n"
              "shared inline_class: <Vec>\n"
              "shared inline_frozen: <Frozen>\n"
              "@shared unchecked: <Point>\n"
              "extern shared ext_shared: <Point>\n"
              "extern global errno: i32\n"
              "global wrong: nothing_here\n"});
  w.cls("Frozen")->imut = 1;

  const char* shared_rule =
      "Shared global variables must be immutable when having a structural type (struct/class type). Put 'imut' "
      "infront of the type to make it immutable.";
  struct Case {
    const char* name;
    const char* expected;  // type text, or "error: " + message
  };
  const Case cases[] = {
      {"count", "int"},
      {"maybe", "?Vec"},
      {"pts", "*[Point x 2]"},
      {"inline_pt", "<Point>"},  // thread-local: no rule
      {"by_ref", "Point"},       // a reference is no structural value
      // Zeroed, it would be null at its first use.
      {"no_default", "error: A global of a non-nullable class type needs a default value"},
      {"number", "uint"},
      {"inline_shared", nullptr},
      {"inline_class", nullptr},
      {"inline_frozen", "<imut Frozen>"},
      {"unchecked", "<Point>"},
      {"ext_shared", "<Point>"},
      {"errno", "i32"},
  };
  for (const Case& c : cases) {
    Global* g = w.global(c.name);
    ASSERT_NE(g, nullptr) << c.name;
    Outcome o = run([g] { read_global_type(g); });
    std::string got = o.failed ? "error: " + o.error : g->type->to_text();
    EXPECT_EQ(got, c.expected ? std::string(c.expected) : "error: " + std::string(shared_rule)) << c.name;
  }
  // The default value is left for where it is used.
  EXPECT_NE(w.global("maybe")->default_chunk, nullptr);
  Outcome o = run([&] { read_global_type(w.global("wrong")); });
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(w.global("wrong")->type, nullptr);

  // A global made without a written type (an allocator pool's) is left alone.
  Global* made = new_global(w.unit, nullptr, ACCESS_DEFAULT, "made", "made", "made", nullptr, nullptr, false);
  made->type = w.cls("Vec")->get_type();
  read_global_type(made);
  EXPECT_EQ(made->type, w.cls("Vec")->get_type());
}

// ---------------------------------------------------------------------------------
// Enums

std::string values_text(Enum* e) {
  std::string s;
  for (auto& [name, v] : e->item_values) s += name + "=" + std::to_string(v) + " ";
  return s;
}

struct EnumCase {
  const char* decl;
  const char* expected;  // item values, or "error: " + message
};

std::string read_enum(const char* decl) {
  SigWorld w({decl});
  Enum* e = w.b->enums.back();
  Outcome o = run([e] { read_enum_values(e); });
  return o.failed ? "error: " + o.error : values_text(e);
}

TEST(EnumValues, NumbersAndErrors) {
  const EnumCase cases[] = {
      {"enum E { a b c }\n", "a=0 b=1 c=2 "},
      // Items take no separator. Written values are kept and skipped by the numbering.
      {"enum E { a b (0) c }\n", "a=1 c=2 "},
      {"enum E { a (1) b c (2) d }\n", "b=0 d=3 "},
      {"enum E { a (-1) b c (0x2) d (0c1) e }\n", "b=0 e=3 "},
      {"enum E: u8 { a ('b') b (98) }\n", "error: Duplicate integer value: 98"},
      {"enum E: u8 { a b ( 1_0 ) }\n", "a=0 "},
      {"enum E { a (1) b (1) }\n", "error: Duplicate integer value: 1"},
      {"enum E { a (-5) b (-5) }\n", "error: Duplicate integer value: -5"},
      {"enum E { a (- 1) }\n", "error: Expected a valid number after: '-', found: ''"},
      {"enum E { a (-9223372036854775808) }\n", "error: Number too large"},
      {"enum E: String { a }\n", "error: Missing enum value"},
      {"enum E: f64 { a }\n", "error: Missing enum value"},
      {"enum E: String { a (5) }\n", "error: Incompatible types. Passing a 'int' value to a 'String' type"},
      {"enum E: String { a (\"x\") }\n", ""},
      {"enum E { a (true) }\n", "error: Incompatible types. Passing a 'bool' value to a 'int' type"},
      {"enum E { a (other) }\n", "error: Unknown identifier: 'other'"},
      {"enum E: f64 { a (1.5) b (2) }\n", ""},
      {"enum E: f64 { a (0x10) }\n", "error: Invalid float syntax: 0x10"},
      {"enum E { a (1.5) }\n", "error: Incompatible types. Passing a 'f64' value to a 'int' type"},
      {"enum E { }\n", ""},
  };
  for (const EnumCase& c : cases) EXPECT_EQ(read_enum(c.decl), c.expected) << c.decl;
}

TEST(EnumValues, ItemTypeAndValueTypes) {
  SigWorld w({"enum Plain { a }\nenum Small : u8 { x ('x') y }\n"});
  Enum* plain = w.enum_("Plain");
  Enum* small = w.enum_("Small");
  read_enum_values(plain);
  read_enum_values(small);
  EXPECT_EQ(plain->get_item_type()->to_text(), "int");
  EXPECT_EQ(small->get_item_type()->to_text(), "u8");
  EXPECT_EQ(values_text(small), "y=0 ");
  // The written value stays a chunk, read again where the item is used.
  ASSERT_NE(*small->item_value_chunks.find("x"), nullptr);
  EXPECT_EQ((*small->item_value_chunks.find("x"))->content[(*small->item_value_chunks.find("x"))->index], '\'');
}

TEST(EnumValues, ErrorPositions) {
  // "Missing enum value" points at the item; a value's error names the function
  // context of enum values.
  SigWorld w({"enum Name: String {\n  first\n}\nenum Dup {\n  a (1)\n  b (1)\n}\n"});
  Outcome missing = run([&] { read_enum_values(w.enum_("Name")); });
  EXPECT_NE(missing.out.find("# Line: 2 | Col: 7\n# Error: Missing enum value\n"), std::string::npos)
      << missing.out;
  Outcome dup = run([&] { read_enum_values(w.enum_("Dup")); });
  EXPECT_NE(dup.out.find("# Line: 6 | Col: 6\n# Function: fake\n# Error: Duplicate integer value: 1\n"),
            std::string::npos)
      << dup.out;

  // An item that lost its position is reported as a build error.
  Enum* e = w.enum_("Name");
  e->item_positions.set("first", nullptr);
  Outcome no_pos = run([&] { read_enum_values(e); });
  EXPECT_NE(no_pos.out.find("# Build error"), std::string::npos) << no_pos.out;
  EXPECT_EQ(no_pos.error, "Missing enum value");
}

// ---------------------------------------------------------------------------------
// Documentation text

TEST(ValueDocText, ShortTextsAndComplexValues) {
  SigWorld w({"fn f() {\n}\n"});
  Build* b = w.b;
  auto val = [b](u64 kind) {
    Value* v = b->make<Value>();
    v->kind = kind;
    return v;
  };
  Value* str = val(VAL_STRING);
  str->string_const = b->make<StringConst>();
  str->string_const->text = "a \\n b";
  Value* bare_str = val(VAL_STRING);
  Value* decl = val(VAL_DECL);
  decl->decl = new_decl(runtime_class_type(b, "type", "int"), false, "limit");
  Value* temp = val(VAL_DECL);
  temp->decl = new_decl(runtime_class_type(b, "type", "int"), false, "");
  Value* neg = val(VAL_INT);
  neg->number = static_cast<u64>(-42);
  Value* big = val(VAL_INT);
  big->number = 18446744073709551615ull;
  Value* yes = val(VAL_BOOL);
  yes->flag = 1;
  Value* no = val(VAL_BOOL);
  Value* null = val(VAL_NULL);
  Value* call = val(VAL_CALL);
  Value* flt = val(VAL_FLOAT);

  struct Case {
    Value* v;
    const char* expected;  // null: complex
  };
  const Case cases[] = {
      {str, "\"a \\n b\""}, {bare_str, nullptr}, {decl, "limit"}, {temp, nullptr}, {neg, "-42"}, {big, "-1"},
      {yes, "true"},        {no, "false"},       {null, "null"},  {call, nullptr}, {flt, nullptr},
  };
  for (const Case& c : cases) {
    std::optional<std::string> got = value_doc_text(c.v);
    if (c.expected) {
      ASSERT_TRUE(got.has_value()) << c.expected;
      EXPECT_EQ(*got, c.expected);
    } else {
      EXPECT_FALSE(got.has_value()) << *got;
    }
  }
}

}  // namespace
}  // namespace tesk::sigtest
