// Member access: properties, methods, getters, groups, built-in members, error names and
// the receiver rules.
#include <gtest/gtest.h>

#include "fixture.h"
#include "model/error_names.h"
#include "stmt/ast.h"

namespace tesk::accesstest {
namespace {

const char* kDecls =
    "class Vec {\n"
    "    x: int\n"
    "    fn len() int {\n"
    "    }\n"
    "    static fn make() Vec {\n"
    "    }\n"
    "    mut fn reset() {\n"
    "    }\n"
    "    get twice: int {\n"
    "    }\n"
    "    group stats {\n"
    "        fn len() u8 {\n"
    "        }\n"
    "    }\n"
    "}\n"
    "class Lazy {\n"
    "    v: Vec (Vec.make()) $lazy\n"
    "    u: Vec (@undefined) $lazy\n"
    "}\n"
    "struct Point {\n"
    "    x: i32\n"
    "}\n";
const char* kOther =
    "class Box {\n"
    "    -[ns-pkg-] hidden: int\n"
    "    -[ns-pkg-] fn secret() {\n"
    "    }\n"
    "}\n";

struct Case {
  const char* text;
  const char* want;  // "<VAL kind> <Type text>" or "error: " + message
};

void check(World& w, const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(read_access(w, c.text).text(), c.want) << c.text;
}

TEST(MemberAccess, PropertiesMethodsGettersGroups) {
  World w({kDecls, kOther});
  w.local("v", w.type("Vec"));
  w.local("nv", w.type("?Vec"));
  w.local("iv", w.type("Vec")->get_imut());
  w.local("bx", w.type("Box"));
  w.local("pt", w.type("<Point>"));
  check(w, {
               {"v.x", "3 int"},
               {"v.len", "0 fnptr(Vec)(int)"},
               {"v.twice", "5 int"},
               {"v.stats.len", "0 fnptr(Vec)(u8)"},
               {"pt.x", "3 i32"},
               {"v.nope", "error: Unknown property/function: 'nope' on type: 'Vec'"},
               {"v. x", "error: Invalid identifier name: ''"},
               {"nv.x", "error: You cannot access properties/functions on a nullable type: ?Vec"},
               {"iv.reset", "error: You can only access the function 'reset' if your object is mutable"},
               {"bx.hidden", "error: Cannot access this property because it's defined as private"},
               {"bx.secret", "error: Cannot access this function because it's defined as private"},
           });

  Got g = read_access(w, "v.len");
  ASSERT_FALSE(g.o.failed);
  ASSERT_NE(g.v->op1, nullptr);
  EXPECT_EQ(g.v->op1->kind, VAL_DECL);
  // A struct local is read through its reference.
  g = read_access(w, "pt.x");
  ASSERT_FALSE(g.o.failed);
  EXPECT_EQ(g.v->op1->kind, VAL_REFERENCE);
  // The group is attached to the receiver's Type; a getter is called with the receiver.
  g = read_access(w, "v.stats");
  ASSERT_FALSE(g.o.failed);
  ASSERT_NE(g.v->type->group, nullptr);
  EXPECT_EQ(g.v->type->group->name, "stats");
  g = read_access(w, "v.twice");
  ASSERT_EQ(g.v->values.size(), 1u);
  EXPECT_EQ(g.v->values[0]->kind, VAL_DECL);
}

TEST(MemberAccess, BuiltInMembers) {
  World w({kDecls});
  w.local("n", w.type("int"));
  w.local("raw", w.type("ptr"));
  w.local("v", w.type("Vec"));
  w.local("arr", w.type("[int x 4]"));
  check(w, {
               {"arr.$length", "4 uint"},
               {"n.$length", "error: Unknown property/function: '$length' on type: 'int'"},
               {"n.@cast(u8)", "13 u8"},
               {"n.@cast (u8)", "error: Expected token: '(', instead of: ''"},
               {"n.@cast(<Point>)", "error: You cannot cast 'int' to '<Point>'"},
               {"n.to(u8)", "13 u8"},
               {"n.to(int)", "2 int"},
               {"v.to(u8)", "error: Cannot find a function to convert this value to: 'u8'"},
               {"raw.$offset(8)", "23 ptr"},
               {"raw.$offset(8, u16)", "23 ptr"},
               {"v.@offset(8)", "23 ptr"},
               {"n.$offset(8)", "error: The '$offset' token can only be used on void pointer types. Not on: int"},
               {"n.@offset(8)", "error: The '@offset' token can only be used on pointer types. Not on: int"},
               {"raw.$offset(n.to(bool))", "error: Expected a number value, not a value of type: bool"},
               {"v.$is_shared", "16 bool"},
               {"n.$is_shared", "error: The '$is_shared' token can only be used on 'class' types. Not on: int"},
           });
  Got g = read_access(w, "raw.$offset(8, u16)");
  ASSERT_FALSE(g.o.failed);
  EXPECT_EQ(g.v->element->to_text(), "u16");
  EXPECT_EQ(read_access(w, "raw.$offset(8)").v->element->to_text(), "u8");
  // The shared bit: (byte at -4) & 4 == 4.
  g = read_access(w, "v.$is_shared");
  ASSERT_FALSE(g.o.failed);
  EXPECT_EQ(g.v->number, static_cast<u64>(OP_EQ));
  EXPECT_EQ(g.v->op1->kind, VAL_MATH);
  EXPECT_EQ(g.v->op1->op1->kind, VAL_PTRV);
  EXPECT_EQ(g.v->op1->op1->op2->number, static_cast<u64>(-4));
}

TEST(MemberAccess, LazyProperties) {
  World w({kDecls});
  w.local("lz", w.type("Lazy"));
  Got g = read_access(w, "lz.v");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->kind, VAL_COPY);
  EXPECT_EQ(g.v->type->to_text(), "Vec");
  ASSERT_EQ(g.v->op1->kind, VAL_PROP);
  ASSERT_NE(g.v->pre_value, nullptr);
  ASSERT_EQ(g.v->pre_value->kind, VAL_INLINE_SCOPE);
  Scope* s = g.v->pre_value->scope;
  ASSERT_EQ(s->ast.size(), 1u);
  AstNode* test = s->ast[0];
  EXPECT_EQ(test->kind, AST_IF);
  EXPECT_EQ(test->value->number, static_cast<u64>(OP_EQ));
  ASSERT_EQ(test->scope->ast.size(), 1u);
  EXPECT_EQ(test->scope->ast[0]->kind, AST_ASSIGN);
  EXPECT_EQ(test->scope->ast[0]->value2->kind, VAL_CALL);
  EXPECT_TRUE(test->else_scope->ast.empty());
  // Every read checks again; under "&" the slot is taken as it is.
  EXPECT_NE(read_access(w, "lz.v").v->pre_value, g.v->pre_value);
  Parser* p = w.at("lz.v");
  Value* raw = nullptr;
  Outcome o = run([&] {
    Value* lz = value_of_identifier(p, w.scope, resolve_identifier(p, w.scope, true, true));
    next_token(p, false, false);
    raw = read_dot_access(p, w.scope, lz, 1);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(raw->kind, VAL_PROP);
  EXPECT_EQ(read_access(w, "lz.u").text(), "error: The default value of lazy propertiies should not be @undefined");
}

TEST(MemberAccess, ErrorNames) {
  World w({kDecls});
  ErrorMap* errors = new_error_map(w.b);
  errors->set("a", error_code_of("a"));
  errors->set("b", error_code_of("b"));
  w.local("e", error_code_type(w.b, errors));
  Got g = read_access(w, "e.b");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->kind, VAL_INT);
  EXPECT_EQ(g.v->number, error_code_of("b"));
  EXPECT_EQ(read_access(w, "e.c").text(), "error: This value has no error named 'c'. Valid options are: a, b");
}

}  // namespace
}  // namespace tesk::accesstest
