// Number balancing and math operators: balanced Types, constant adoption and folding,
// raw pointer offsets, `$add` calls with String conversions, and the errors.
#include <cstdint>

#include "fixture.h"

namespace tesk::valtest {
namespace {

const char* kDecls =
    "integer myint signed 8 {}\n"
    "enum Color : u8 {\n  red\n}\n"
    "class Money {\n"
    "    v: int\n"
    "    fn str() String $to {\n"
    "    }\n"
    "}\n";

const char* kArgs =
    "u8v: u8, i8v: i8, u16v: u16, i16v: i16, u32v: u32, i32v: i32, u64v: u64, i64v: i64, intv: int, "
    "f32v: f32, f64v: f64, p: ptr, flag: bool, s: String, ns: ?String, m: Money, c: Color";

// The Type text, with "cast " in front of a cast node.
std::string desc(Value* v) { return (v->kind == VAL_CAST ? "cast " : "") + text(v->type); }

TEST(BalanceNumberTypes, Table) {
  World w({kDecls}, kArgs);
  struct Case {
    const char* left;   // a local's name, or a number for an int constant
    const char* right;
    const char* expected;
  } cases[] = {
      {"u8v", "i8v", "cast i16 | cast i16"},  // u8 counts double among signed values
      {"u32v", "i32v", "cast i64 | cast i64"},
      {"u64v", "i32v", "cast i64 | cast i64"},  // 8 bytes: no doubling
      {"u8v", "u16v", "cast u16 | u16"},
      {"i8v", "i16v", "cast i16 | i16"},
      {"f32v", "i64v", "cast f64 | cast f64"},
      {"f32v", "u16v", "f32 | cast f32"},
      {"5", "u8v", "u8 | u8"},          // the constant adopts the variable's Type
      {"u8v", "5", "u8 | u8"},          // also on the right
      {"300", "u8v", "int | cast i64"},  // 300 > 127: no adoption
      {"5", "f32v", "cast f64 | cast f64"},
      {"5", "7", "int | int"},
      {"-1", "i8v", "i8 | i8"},
      {"-128", "i8v", "i8 | i8"},
      {"-129", "i8v", "int | cast i64"},
      {"-1", "u8v", "int | cast i64"},
      {"-1", "i64v", "i64 | i64"},  // a negative constant fits the signed 64-bit Type
      {"flag", "intv", "bool | int"},  // not numbers: unchanged
  };
  auto operand = [&](const char* s) -> Value* {
    if ((s[0] >= '0' && s[0] <= '9') || s[0] == '-') return value_int(u64(std::stoll(s)), w.core("int"));
    return w.decl_value(s);
  };
  for (const Case& c : cases) {
    Value* l = operand(c.left);
    Value* r = operand(c.right);
    Value* l0 = l;
    Value* r0 = r;
    balance_number_types(w.b, l, r);
    EXPECT_EQ(desc(l) + " | " + desc(r), c.expected) << c.left << " " << c.right;
    // An adopting constant is the same Value, changed in place.
    if (l0->kind == VAL_INT && l->kind == VAL_INT) {
      EXPECT_EQ(l, l0);
    }
    if (r0->kind == VAL_INT && r->kind == VAL_INT) {
      EXPECT_EQ(r, r0);
    }
  }

  // A raw pointer is first seen as uint, and that cast is balanced again.
  Value* l = w.decl_value("p");
  Value* r = w.decl_value("intv");
  Value* r0 = r;
  balance_number_types(w.b, l, r);
  EXPECT_EQ(desc(l), "cast i64");
  ASSERT_EQ(l->op1->kind, VAL_CAST);
  EXPECT_EQ(text(l->op1->type), "uint");
  EXPECT_EQ(r, r0);
}

struct MathResult {
  Value* v = nullptr;
  std::string error;  // "" when it worked
};

MathResult math(World& w, u64 op, Value* l, Value* r) {
  MathResult m;
  Parser* p = w.parser("x\n");
  Outcome o = run([&] { m.v = math_op_value(p, w.body, op, l, r); });
  if (o.failed) m.error = o.error;
  return m;
}

TEST(MathOpValue, ConstantFolding) {
  World w({kDecls}, kArgs);
  Type* i = w.core("int");
  Type* u = w.core("u64");
  Type* u8 = w.core("u8");
  struct Case {
    u64 op;
    i64 a, b;
    Type* type;
    u64 expected;
  } cases[] = {
      {OP_ADD, 7, 3, i, 10},
      {OP_SUB, 3, 7, i, u64(-4)},
      {OP_MUL, 7, 3, i, 21},
      {OP_DIV, -7, 2, i, u64(-3)},  // truncated toward zero
      {OP_MOD, -7, 2, i, u64(-1)},  // sign of the left number
      {OP_DIV, -8, 2, u, 0x7FFFFFFFFFFFFFFCull},  // unsigned division
      {OP_SHL, 1, 65, i, 2},                       // shift count mod 64
      {OP_SHR, -8, 1, i, 0x7FFFFFFFFFFFFFFCull},  // logical, also for signed Types
      {OP_BIT_AND, 6, 3, i, 2},
      {OP_BIT_OR, 6, 3, i, 7},
      {OP_BIT_XOR, 6, 3, i, 5},
      {OP_ADD, 200, 100, u8, 300},  // kept beyond the Type's range
      {OP_DIV, INT64_MIN, -1, i, u64(INT64_MIN)},  // wraps as the machine would
  };
  for (const Case& c : cases) {
    MathResult m = math(w, c.op, value_int(u64(c.a), c.type), value_int(u64(c.b), c.type));
    ASSERT_EQ(m.error, "") << c.op;
    EXPECT_EQ(m.v->kind, VAL_INT) << c.op << " " << c.a << " " << c.b;
    EXPECT_EQ(m.v->number, c.expected) << c.op << " " << c.a << " " << c.b;
    EXPECT_EQ(m.v->type, c.type);
  }
}

TEST(MathOpValue, NodesThatAreNotFolded) {
  World w({kDecls}, kArgs);
  Type* i = w.core("int");
  struct Case {
    const char* name;
    Value* l;
    Value* r;
    u64 op;
    const char* type_text;
  } cases[] = {
      {"constant and variable", value_int(1, i), w.decl_value("intv"), OP_ADD, "int"},
      {"variables", w.decl_value("u8v"), w.decl_value("i8v"), OP_MUL, "i16"},
      {"float constants", value_cast(value_int(1, i), w.core("f64")), value_cast(value_int(2, i), w.core("f64")),
       OP_ADD, "f64"},
  };
  for (const Case& c : cases) {
    MathResult m = math(w, c.op, c.l, c.r);
    ASSERT_EQ(m.error, "") << c.name;
    EXPECT_EQ(m.v->kind, VAL_MATH) << c.name;
    EXPECT_EQ(m.v->number, c.op) << c.name;
    EXPECT_EQ(text(m.v->type), c.type_text) << c.name;
  }
}

TEST(MathOpValue, IntegerDivisionByZero) {
  World w({kDecls}, kArgs);
  Type* i = w.core("int");
  // A constant zero divisor is refused, whether the dividend is constant or not.
  for (u64 op : {OP_DIV, OP_MOD}) {
    EXPECT_EQ(math(w, op, value_int(1, i), value_int(0, i)).error, "Division by zero") << op;
    EXPECT_EQ(math(w, op, w.decl_value("intv"), value_int(0, i)).error, "Division by zero") << op;
  }
  // A divisor known at run time carries the panic call its IR makes on zero.
  MathResult m = math(w, OP_DIV, value_int(7, i), w.decl_value("intv"));
  ASSERT_EQ(m.error, "");
  ASSERT_NE(m.v->op3, nullptr);
  EXPECT_EQ(m.v->op3->kind, VAL_CALL);
  // A non-zero constant divisor needs no test.
  MathResult c = math(w, OP_MOD, w.decl_value("intv"), value_int(3, i));
  ASSERT_EQ(c.error, "");
  EXPECT_EQ(c.v->op3, nullptr);
}

TEST(MathOpValue, RawPointers) {
  World w({kDecls}, kArgs);
  // Minus a constant: an offset of the negated constant.
  MathResult sub = math(w, OP_SUB, w.decl_value("p"), value_int(4, w.core("int")));
  ASSERT_EQ(sub.error, "");
  EXPECT_EQ(sub.v->kind, VAL_PTR_OFFSET);
  EXPECT_EQ(text(sub.v->type), "ptr");
  EXPECT_EQ(sub.v->element, w.core("u8"));
  EXPECT_EQ(sub.v->op2->kind, VAL_INT);
  EXPECT_EQ(i64(sub.v->op2->number), -4);

  // Plus a number that converts to int.
  MathResult add = math(w, OP_ADD, w.decl_value("p"), w.decl_value("u8v"));
  ASSERT_EQ(add.error, "");
  EXPECT_EQ(add.v->kind, VAL_PTR_OFFSET);
  EXPECT_EQ(desc(add.v->op2), "cast int");

  // Minus a variable: a difference of two unsigned numbers.
  MathResult diff = math(w, OP_SUB, w.decl_value("p"), w.decl_value("u64v"));
  ASSERT_EQ(diff.error, "");
  EXPECT_EQ(diff.v->kind, VAL_MATH);
  EXPECT_EQ(text(diff.v->type), "uint");
}

TEST(MathOpValue, StringsAndAddFunctions) {
  World w({kDecls}, kArgs);
  Func* concat = w.method("String", "concat");
  ASSERT_NE(concat, nullptr);
  Func* str = w.method("Money", "str");

  // String + Money: the Money goes through its $to function, then String's $add.
  MathResult a = math(w, OP_ADD, w.decl_value("s"), w.decl_value("m"));
  ASSERT_EQ(a.error, "");
  ASSERT_EQ(a.v->kind, VAL_CALL);
  EXPECT_EQ(a.v->op1->func, concat);
  ASSERT_EQ(a.v->values.size(), 2u);
  EXPECT_EQ(a.v->values[0]->decl, w.local("s"));
  // The converted argument is a GC reference made by a call: the call buffers it.
  Value* converted = a.v->values[1];
  if (converted->kind == VAL_BUFFER_VALUE) converted = converted->op1;
  ASSERT_EQ(converted->kind, VAL_CALL);
  EXPECT_EQ(converted->op1->func, str);
  EXPECT_EQ(text(a.v->type), "String");

  // Swapped: the left side is converted.
  MathResult b = math(w, OP_ADD, w.decl_value("m"), w.decl_value("s"));
  ASSERT_EQ(b.error, "");
  ASSERT_EQ(b.v->kind, VAL_CALL);
  EXPECT_EQ(b.v->op1->func, concat);
  Value* left = b.v->values[0];
  if (left->kind == VAL_BUFFER_VALUE) left = left->op1;
  ASSERT_EQ(left->kind, VAL_CALL);
  EXPECT_EQ(left->op1->func, str);

  // Through the value reader.
  Value* read = w.read("s + s");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->kind, VAL_CALL);
  EXPECT_EQ(read->op1->func, concat);
}

TEST(MathOpValue, Errors) {
  World w({kDecls}, kArgs);
  struct Case {
    const char* left;
    const char* right;
    u64 op;
    const char* error;
  } cases[] = {
      // A nullable String gets neither conversion nor $add.
      {"ns", "s", OP_ADD, "Cannot do math operations on types: '?String' <> 'String'"},
      {"s", "intv", OP_ADD, "Cannot do math operations on types: 'String' <> 'int'"},
      {"flag", "intv", OP_SUB, "Cannot do math operations on types: 'bool' <> 'int'"},
      {"s", "m", OP_SUB, "Cannot do math operations on types: 'String' <> 'Money'"},
      {"f32v", "intv", OP_SHL, "Left value must be an integer for this operator"},
      {"intv", "f64v", OP_SHR, "Left value must be an integer for this operator"},
      {"c", "u8v", OP_BIT_OR, "Incompatible types. Passing a 'u8' value to a 'Color(u8)' type"},
  };
  for (const Case& c : cases) {
    MathResult m = math(w, c.op, w.decl_value(c.left), w.decl_value(c.right));
    EXPECT_EQ(m.error, c.error) << c.left << " " << c.right;
  }
}

}  // namespace
}  // namespace tesk::valtest
