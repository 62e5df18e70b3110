// The value reader over small function bodies: literals, operators and precedence,
// keyword values, sign-led operands and inline functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "../expr_values/fixture.h"
#include "model/scope.h"
#include "driver/name_hash.h"
#include "expr/read_value.h"
#include "ir/records.h"
#include "expr/values.h"
#include "model/types.h"
#include "model/type_reading.h"
#include "source/compile_macro_parse.h"
#include "source/parser.h"

namespace tesk::parsertest {

using typetest::Outcome;
using typetest::run;

// What reading an expression gave: the Value, its kind and Type text, or the error.
struct Got {
  Value* v = nullptr;
  Outcome o;
  std::string text() const {
    if (o.failed) return "error: " + o.error;
    return std::to_string(v->kind) + " " + (v->type ? v->type->to_text() : std::string("-"));
  }
};

// The value tests' build with locals of the probe function and parsers in its context.
struct World : valtest::World {
  Scope* scope = nullptr;
  explicit World(std::initializer_list<std::string> decls) : valtest::World(decls) { scope = body; }
  Func* fn(std::string_view n) {
    Identifier* id = name(n);
    return id ? id->func : nullptr;
  }
  Decl* local(const std::string& n, Type* type) {
    Decl* d = new_decl(type, false, n);
    scope->add_decl(d);
    scope->identifiers.set(n, new_identifier_decl(b, d));
    return d;
  }
  Parser* at(const std::string& text) {
    Parser* p = parser(text);
    p->context->func = func;
    p->context->unit = func->unit;
    return p;
  }
};

const char* kDecls =
    "class Vec {\n"
    "  x: int\n"
    "  fn same(other: Vec) bool $eq {\n    return true\n  }\n"
    "  fn lt(other: int) bool $lt {\n    return true\n  }\n"
    "}\n"
    "class Box {\n"
    "  v: int\n"
    "  fn gt(other: Vec) bool $gt {\n    return true\n  }\n"
    "}\n"
    "struct P {\n  x: int\n}\n"
    "fn helper() {\n}\n";

struct Env {
  World w{{kDecls}};
  Env() {
    w.local("x", int_type(w.b));
    w.local("y", int_type(w.b));
    w.local("b", core_type(w.b, "bool"));
    w.local("c", core_type(w.b, "bool"));
    w.local("v", w.cls("Vec")->get_type());
    w.local("n", w.cls("Vec")->get_type()->get_nullable());
    w.local("m", w.cls("Vec")->get_type()->get_nullable());
    w.local("bx", w.cls("Box")->get_type());
  }
  Decl* decl(const std::string& name) { return (*w.scope->identifiers.find(name))->decl; }

  // One whole expression read from the text; the parser is kept for position checks.
  Got read(const std::string& text, Type* hint = nullptr, u64 priority = PRIO_ALL) {
    Got g;
    last = w.at(text);
    last->type_hint = hint;
    g.o = run([&] { g.v = read_value(last, w.scope, priority, 0); });
    return g;
  }
  Parser* last = nullptr;
};

struct Case {
  const char* text;
  const char* want;  // "<kind> <type text>" or "error: <message>"
};

void check_table(Env& e, const Case* begin, const Case* end, Type* hint = nullptr) {
  for (const Case* c = begin; c != end; c++) {
    Got g = e.read(c->text, hint);
    EXPECT_EQ(g.text(), c->want) << "text: " << c->text << "\n" << g.o.out;
  }
}

TEST(ReadValue, NumberLiterals) {
  Env e;
  struct N {
    const char* text;
    u64 number;
  } ints[] = {
      {"1_000", 1000},
      {"0xFFFF_FFFF_FFFF_FFFF", UINT64_MAX},
      {"0x1f", 31},
      {"0c17", 15},
      {"-5", static_cast<u64>(-5)},
      {"9223372036854775808", 9223372036854775808ull},
      {"-9223372036854775807", static_cast<u64>(-9223372036854775807ll)},
  };
  for (const N& n : ints) {
    Got g = e.read(n.text);
    ASSERT_FALSE(g.o.failed) << n.text << "\n" << g.o.out;
    EXPECT_EQ(g.text(), "4 int") << n.text;
    EXPECT_EQ(g.v->number, n.number) << n.text;
  }
  Got f = e.read("1_0.5");
  ASSERT_FALSE(f.o.failed) << f.o.out;
  EXPECT_EQ(f.text(), "39 f64");
  EXPECT_DOUBLE_EQ(f.v->float_value, 10.5);
  Got nf = e.read("-2.25");
  ASSERT_FALSE(nf.o.failed) << nf.o.out;
  EXPECT_DOUBLE_EQ(nf.v->float_value, -2.25);
  Got ch = e.read("'a'", int_type(e.w.b));
  ASSERT_FALSE(ch.o.failed) << ch.o.out;
  EXPECT_EQ(ch.text(), "4 u8");
  EXPECT_EQ(ch.v->number, 97u);

  Case errors[] = {
      {"- 5", "error: Expected a valid number after: '-', found: ''"},
      {"-x", "error: Expected a valid number after: '-', found: 'x'"},
      {"-(1)", "error: Expected a valid number after: '-', found: '('"},
      {"-9223372036854775808", "error: Number too large"},
      {")", "error: Unknown value/token: ')'"},
  };
  check_table(e, std::begin(errors), std::end(errors));
}

TEST(ReadValue, NumberLiteralsTakeTheHint) {
  Env e;
  Type* u8 = core_type(e.w.b, "u8");
  Type* f64 = f64_type(e.w.b);
  for (const char* t : {"200", "300", "-1"}) {
    Got g = e.read(t, u8);
    ASSERT_FALSE(g.o.failed) << g.o.out;
    EXPECT_EQ(g.text(), "4 u8") << t;
  }
  EXPECT_EQ(e.read("-1", u8).v->number, UINT64_MAX);
  Got two = e.read("2", f64);
  ASSERT_FALSE(two.o.failed) << two.o.out;
  EXPECT_EQ(two.text(), "39 f64");
  EXPECT_DOUBLE_EQ(two.v->float_value, 2.0);
  EXPECT_DOUBLE_EQ(e.read("-3", f64).v->float_value, -3.0);
  EXPECT_EQ(e.read("0x10", f64).text(), "error: Invalid float syntax: 0x10");
  EXPECT_EQ(e.read("1_000", f64).text(), "error: Invalid float syntax: 1_000");
  // A float token keeps f64 under an integer hint; a bool hint does not apply.
  EXPECT_EQ(e.read("1.5", int_type(e.w.b)).text(), "39 f64");
  EXPECT_EQ(e.read("7", core_type(e.w.b, "bool")).text(), "4 int");
}

TEST(ReadValue, PrecedenceAndAssociativity) {
  Env e;
  struct N {
    const char* text;
    u64 number;
  } cases[] = {
      {"1 + 2 * 3", 7},  {"2 * 3 + 1", 7},   {"8 - 3 - 2", 3},    {"1 << 1 + 2", 8},
      {"6 & 3 | 8", 10}, {"7 % 4 * 2", 6},   {"1\n + 2", 3},      {"(1 + 2) * 3", 9},
      {"100 / 10 / 5", 2}, {"3 ^ 1 << 1", 1},
  };
  for (const N& c : cases) {
    Got g = e.read(c.text);
    ASSERT_FALSE(g.o.failed) << c.text << "\n" << g.o.out;
    ASSERT_EQ(g.v->kind, VAL_INT) << c.text;
    EXPECT_EQ(g.v->number, c.number) << c.text;
  }
  // a & b == c is (a & b) == c; a == b && c is (a == b) && c.
  Got g = e.read("x & y == 1");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->kind, VAL_COMPARE);
  EXPECT_EQ(g.v->op1->kind, VAL_MATH);
  EXPECT_EQ(g.v->op1->number, OP_BIT_AND);
  g = e.read("x == y && c");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->kind, VAL_AND_OR);
  EXPECT_EQ(g.v->op1->kind, VAL_COMPARE);
  // The hint of an operator's right side is the left Type.
  g = e.read("x * 2");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->op2->type, e.decl("x")->type);
  // Priorities: 10 reads no infix operator, 20 stops before "+".
  Got one = e.read("x * 2", nullptr, 10);
  EXPECT_EQ(one.v->kind, VAL_DECL);
  Got mul = e.read("x * 2 + 1", nullptr, 20);
  ASSERT_FALSE(mul.o.failed) << mul.o.out;
  EXPECT_EQ(mul.v->number, OP_MUL);
}

TEST(ReadValue, PostfixIncrementAndDecrement) {
  Env e;
  Got g = e.read("x++");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.text(), "10 int");
  EXPECT_EQ(g.v->flag, 0);
  EXPECT_EQ(g.v->op1->decl, e.decl("x"));
  EXPECT_TRUE(e.decl("x")->in_memory);
  EXPECT_EQ(e.read("y--").text(), "11 int");
  EXPECT_EQ(e.read("b++").text(), "error: Cannot use '++' on this value");
  EXPECT_EQ(e.read("helper()--").text(), "error: Cannot use '--' on this value");
  // With a blank the postfix part ends, and no infix level takes "++".
  g = e.read("y ++");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->kind, VAL_DECL);
  next_token(e.last, true, true);
  EXPECT_EQ(token_text(e.last), "++");
}

TEST(ReadValue, Comparisons) {
  Env e;
  Case cases[] = {
      {"x == 1", "16 bool"},
      {"x <= y", "16 bool"},
      {"x == true", "error: Incompatible types. Passing a 'bool' value to a 'int' type"},
      {"x < y < x", "error: Incompatible types. Passing a 'int' value to a 'bool' type"},
      {"v < 3", "5 bool"},
      {"v == v", "17 bool"},
      {"n != m", "20 bool"},
      {"bx > v", "5 bool"},
  };
  check_table(e, std::begin(cases), std::end(cases));
  Got g = e.read("x > 2");
  EXPECT_EQ(g.v->number, OP_GT);
  EXPECT_EQ(g.v->op2->type, e.decl("x")->type);
}

TEST(ReadValue, EqualityThroughOperatorFunctionGuardsNulls) {
  Env e;
  // n == m: (n == m) || (m != null && (n != null && n.same(m))).
  Got g = e.read("n == m");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->kind, VAL_AND_OR);
  EXPECT_EQ(g.v->number, OP_OR);
  EXPECT_EQ(g.v->op1->kind, VAL_COMPARE);
  EXPECT_EQ(g.v->op1->number, OP_EQ);
  Value* outer = g.v->op2;
  ASSERT_EQ(outer->kind, VAL_AND_OR);
  EXPECT_EQ(outer->number, OP_AND);
  EXPECT_EQ(outer->op1->number, OP_NE);
  EXPECT_EQ(outer->op1->op1->decl, e.decl("m"));
  EXPECT_EQ(outer->op1->op2->kind, VAL_NULL);
  Value* inner = outer->op2;
  ASSERT_EQ(inner->kind, VAL_AND_OR);
  EXPECT_EQ(inner->op1->op1->decl, e.decl("n"));
  EXPECT_EQ(inner->op2->kind, VAL_CALL);
  // The not-null variants of the operands match the function's arguments.
  EXPECT_EQ(inner->op2->op1->func->name, "same");

  // The left class has $lt functions, none for a Vec: the right class's $gt is used
  // with the operands swapped.
  Env e2;
  Got s = e2.read("v < bx");
  ASSERT_FALSE(s.o.failed) << s.o.out;
  ASSERT_EQ(s.v->kind, VAL_CALL);
  EXPECT_EQ(s.v->op1->func->name, "gt");
}

TEST(ReadValue, LogicalOperatorsAndNarrowing) {
  Env e;
  Case cases[] = {
      {"b && c", "17 bool"},
      {"b || c && b", "17 bool"},
      {"x && b", "error: Expected a value of type 'bool', not: int"},
      {"b || x", "error: Expected a value of type 'bool', not: int"},
      {"!x", "error: Expected a value of type 'bool' after '!', the value type we found was: int"},
  };
  check_table(e, std::begin(cases), std::end(cases));
  Decl* n = e.decl("n");
  Decl* m = e.decl("m");
  Got g = e.read("isset(n) && isset(m)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->true_decls, (std::vector<Decl*>{n, m}));
  EXPECT_TRUE(g.v->false_decls.empty());
  g = e.read("!isset(n) || !isset(m)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->false_decls, (std::vector<Decl*>{n, m}));
  EXPECT_TRUE(g.v->true_decls.empty());
  g = e.read("!(isset(n) && isset(m))");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_TRUE(g.v->true_decls.empty());
  EXPECT_TRUE(g.v->false_decls.empty());
  // !a && b negates only a.
  g = e.read("!b && c");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->kind, VAL_AND_OR);
  EXPECT_EQ(g.v->op1->kind, VAL_NOT);
  // The right side of && sees the left side's narrowing: n reads as not-null there.
  g = e.read("isset(n) && n == v");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->op2->kind, VAL_AND_OR);
}

TEST(ReadValue, TernaryAndAlternatives) {
  Env e;
  Case cases[] = {
      {"b ? 1 : 2", "25 int"},
      {"b ? v : null", "25 ?Vec"},
      {"b ? 1 : true", "error: Incompatible types. Passing a 'bool' value to a 'int' type"},
      {"x ? 1 : 2", "error: You can only use '?' after values that return a bool. This value has type: int"},
      {"b ? 1 2", "error: Expected token: ':', instead of: '2'"},
      {"n ?? v", "27 Vec"},
      {"x ?? 1", "error: You can only use '?" "?' and '?!' on nullable values. Value type is: 'int'"},
      {"v ?! return 1", "error: You can only use '?" "?' and '?!' on nullable values. Value type is: 'Vec'"},
  };
  check_table(e, std::begin(cases), std::end(cases));
  // The else value takes the then value's Type as its hint.
  Got g = e.read("b ? x : 5");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->op3->type, e.decl("x")->type);
  // The then value sees n as not null; the result takes the else value's nullability.
  EXPECT_EQ(e.read("isset(n) ? n : v").text(), "25 Vec");
  EXPECT_EQ(e.read("b ? v : n").text(), "25 ?Vec");
  // The else Type must accept the then value's own Type.
  EXPECT_EQ(e.read("b ? n : v").text(), "error: Incompatible types. Passing a '?Vec' value to a 'Vec' type");
  EXPECT_EQ(e.read("isset(n) ? isset(n) : b").text(),
            "error: You can only use isset on nullable types. Type found: Vec");
}

TEST(ReadValue, KeywordValues) {
  Env e;
  Type* u32 = core_type(e.w.b, "u32");
  Case cases[] = {
      {"size_of(u8)", "4 int"},
      {"size_of (u8)", "error: Expected token: '(', instead of: ''"},
      {"size_of(u8", "error: Expected token: ')', instead of: ''"},
      {"true", "12 bool"},
      {"false", "12 bool"},
      {"isset(n)", "16 bool"},
      {"isset(x)", "error: You can only use isset on nullable types. Type found: int"},
      {"null", "15 <null>"},
      {"object", "error: Expected token: '{', instead of: ''"},
      {"co x", "error: Expected a function call statement after 'co' token"},
      {"await x",
       "error: Using 'await' on a non-coroutine value type. Value type: 'int'. Expected type: "
       "'co({return-types}){errors}'. e.g. 'co(void)' or 'co(i32) !error'"},
      {"error_is(x, a)", "error: First value in 'error_is' is not an error value"},
      {"clone(x)", "error: Compiler bug | Missing tesk identifier: clone_value"},
      {"atomic(x + 1)", "36 int"},
      {"atomic(x * 2)", "error: Atomic operations only allows: + - & | ^"},
      {"atomic(1 + x)", "error: Atomic operation: Left value must be an assignable value. e.g. a variable"},
      {"atomic(b)", "error: Invalid atomic statement"},
      {"atomic_store(x, 2)", "37 int"},
      {"atomic_store(x, true)", "error: Incompatible types. Passing a 'bool' value to a 'int' type"},
      {"atomic_store(1, 2)", "error: Atomic store: Left value must be an assignable value. e.g. a variable"},
      {"atomic_load(x)", "38 int"},
      {"atomic_load(helper())", "error: Atomic store: Left value must be an assignable value. e.g. a variable"},
      {"__FILE__", "1 String"},
      {"fn (x)", "error: Unknown identifier: 'fn'"},
  };
  check_table(e, std::begin(cases), std::end(cases));
  EXPECT_EQ(e.read("size_of(u8)").v->number, 1u);
  EXPECT_EQ(e.read("size_of(int)", u32).text(), "4 u32");
  EXPECT_EQ(e.read("true", u32).v->flag, 1);
  EXPECT_EQ(e.read("null", e.w.cls("Vec")->get_type()).text(), "15 ?Vec");
  EXPECT_EQ(e.read("null", int_type(e.w.b)).text(), "15 <null>");
  Got is = e.read("isset(n)");
  EXPECT_EQ(is.v->true_decls, std::vector<Decl*>{e.decl("n")});
  Got at = e.read("atomic(x + 1)");
  EXPECT_EQ(at.v->number, OP_ADD);
  EXPECT_TRUE(e.decl("x")->in_memory);
}

TEST(ReadValue, KeywordsWinOverVariables) {
  Env e;
  e.w.local("clone", int_type(e.w.b));
  e.w.local("match", int_type(e.w.b));
  EXPECT_EQ(e.read("clone").text(), "error: Expected token: '(', instead of: ''");
  // The keyword reads its match value, which is missing here.
  EXPECT_EQ(e.read("match").text(), "error: Unknown value/token: ''");
}

TEST(ReadValue, StringKeywords) {
  Env e;
  Got f = e.read("__FILE__");
  ASSERT_FALSE(f.o.failed) << f.o.out;
  const std::string path = e.last->chunk->file->path;
  EXPECT_EQ(f.v->string_const->text, path);
  Got d = e.read("__DIR__");
  ASSERT_FALSE(d.o.failed) << d.o.out;
  EXPECT_EQ(d.v->string_const->text, "/proj");
  bool listed = false;
  for (StringConst* sc : e.w.func->used_strings) listed |= sc == d.v->string_const;
  EXPECT_TRUE(listed);
  Got r = e.read("r\"a\\nb\\q\\\"\"");
  ASSERT_FALSE(r.o.failed) << r.o.out;
  EXPECT_EQ(r.v->string_const->text, "a\nbq\"");
  EXPECT_EQ(e.read("r \"x\"").text(), "error: Unknown identifier: 'r'");
}

TEST(ReadValue, ErrorIs) {
  Env e;
  ErrorMap* errs = new_error_map(e.w.b);
  Value* code = value_int(0, error_code_type(e.w.b, errs));
  e.w.scope->identifiers.set("E", new_identifier_value(e.w.b, code));
  Got g = e.read("error_is(E, a, b)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->kind, VAL_AND_OR);
  EXPECT_EQ(g.v->number, OP_OR);
  ASSERT_EQ(g.v->op1->kind, VAL_COMPARE);
  EXPECT_EQ(g.v->op1->op2->number, name_hash_u32("a"));
  EXPECT_EQ(g.v->op2->op2->number, name_hash_u32("b"));
  EXPECT_EQ(g.v->op2->op2->type->kind, TYPE_ERROR_VALUE);
  EXPECT_EQ(e.read("error_is(E, 1)").text(), "error: Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]");
  e.w.scope->identifiers.set("I", new_identifier_value(e.w.b, value_int(0, int_type(e.w.b))));
  EXPECT_EQ(e.read("error_is(I, a)").text(), "error: First value in 'error_is' is not an error type");
}

TEST(ReadValue, SignOperands) {
  Env e;
  Case cases[] = {
      {"(x)", "2 int"},
      {"(x, b)", "34 (int, bool)"},
      {"(x b)", "error: Expected token: ',' or ')', instead of: 'b'"},
      {"!b", "20 bool"},
      {"&x", "30 &[int]"},
      {"&1", "error: Cannot use '&' on this value. It can only be used on assignable values, like variable names or "
             "object properties."},
      {"++ x", "error: Missing value after '++'"},
      {"++x", "10 int"},
      {"--x", "11 int"},
      {"++x + 1", "error: Cannot use '++' on this value"},
      {"++b", "error: Cannot use '++' on this value"},
      {".x", "error: Using '.' requires a typehint to be present"},
      {"{ 1 }", "error: You cannot use '{' here. It can only be used for defining the starting value for inline "
                "types . E.g. let myvar: [u8 x 2] = { 6, 7 }"},
      {"[u8 x 2] { 1, 2 }", "error: Expected token: '{', instead of: ''"},
      {"<{ }", "error: Value scope did not return a value"},
  };
  check_table(e, std::begin(cases), std::end(cases));
  EXPECT_EQ(e.read("++x").v->flag, 1);
  // With a multi-Type hint each value gets its own hint; a plain hint only the first.
  std::vector<Type*> items{core_type(e.w.b, "u8"), core_type(e.w.b, "u32")};
  Got g = e.read("(1, 2)", multi_type(e.w.b, items, true));
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.text(), "34 (u8, u32)");
  g = e.read("(1, 2)", core_type(e.w.b, "u8"));
  EXPECT_EQ(g.text(), "34 (u8, int)");
  EXPECT_EQ(e.last->type_hint, core_type(e.w.b, "u8"));
  // A hint without a class.
  Got fp = e.read(".x", func_pointer_type(e.w.fn("helper")));
  EXPECT_EQ(fp.text(), "error: The '.' token cannot be used for type: fnptr()()");
  // "{" for a target that is neither an inline struct nor an array.
  Parser* p = e.w.at("{ 1 }");
  p->prefix_value = value_decl(e.decl("x"));
  Outcome o = run([&] { read_value(p, e.w.scope, PRIO_ALL, 0); });
  EXPECT_EQ(o.error,
            "The '{' token can only be used to define initialization values for inline struct or fixed arrays. Not "
            "for: int");
  // prefix_value applies to one value only.
  EXPECT_EQ(p->prefix_value, nullptr);
}

TEST(ReadValue, NegationSwapsOneNarrowedLocal) {
  Env e;
  Got g = e.read("!isset(n)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->false_decls, std::vector<Decl*>{e.decl("n")});
  EXPECT_TRUE(g.v->true_decls.empty());
  g = e.read("&x");
  EXPECT_TRUE(e.decl("x")->in_memory);
}

TEST(ReadValue, InlineFunctionDuringLoopPreRead) {
  Env e;
  Parser* p = e.w.at("fn(a: int) bool {\n  return true\n} + 1");
  p->in_loop = 1;
  Value* v = nullptr;
  Outcome o = run([&] { v = read_value(p, e.w.scope, 0, 0); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->kind, VAL_NULL);
  ASSERT_TRUE(v->type->func_info);
  EXPECT_EQ(v->type->func_info->args.size(), 1u);
  EXPECT_EQ(v->type->func_info->rets.size(), 1u);
  // The parser stands after the body's closing brace.
  next_token(p, true, true);
  EXPECT_EQ(token_text(p), "+");
  // Each occurrence makes an anonymous function of its own.
  const u64 before = e.w.func->unit->funcs.size();
  for (int i = 0; i < 2; i++) {
    Parser* r = e.w.at("fn() {\n}");
    r->in_loop = 1;
    ASSERT_FALSE(run([&] { read_value(r, e.w.scope, 0, 0); }).failed);
  }
  ASSERT_EQ(e.w.func->unit->funcs.size(), before + 2);
  Func* f1 = e.w.func->unit->funcs[before];
  Func* f2 = e.w.func->unit->funcs[before + 1];
  EXPECT_NE(f1->name, f2->name);
  EXPECT_EQ(f1->name.rfind("anon_func_", 0), 0u);
  EXPECT_TRUE(f1->no_body);
  // isset is accepted on a non-nullable value during the pre-read of a loop.
  Parser* s = e.w.at("isset(x)");
  s->in_loop = 1;
  Value* is = nullptr;
  ASSERT_FALSE(run([&] { is = read_value(s, e.w.scope, PRIO_ALL, 0); }).failed);
  EXPECT_EQ(is->kind, VAL_COMPARE);
  // Outside a function there is no enclosing function.
  Parser* q = e.w.parser("fn() {\n}");
  q->context->func = nullptr;
  Outcome none = run([&] { read_value(q, e.w.scope, 0, 0); });
  EXPECT_EQ(none.error, "Missing function object in parser (bug)");
}

}  // namespace tesk::parsertest

namespace tesk::parsertest {

// Readers of other subsystems that take values: array sizes, typeof and the
// #print_value_type directive.
TEST(ValueReaders, ArraySizesAndTypeof) {
  Env e;
  struct T {
    const char* text;
    const char* want;
  } cases[] = {
      {"[u8 x 2 + 2]", "[u8 x 4]"},
      {"[u8 x size_of(int) * 2]", "[u8 x 16]"},
      {"[u8 x 1 - 1]", "error: Array size must be larger than 0"},
      {"[u8 x -1]", "error: Invalid integer size"},
      {"[u8 x x]", "error: Invalid integer size"},
      {"typeof(x * 2)", "int"},
      {"typeof(b ? v : n)", "?Vec"},
  };
  for (const T& c : cases) {
    Parser* p = e.w.at(c.text);
    Type* t = nullptr;
    Outcome o = run([&] { t = read_type(p, e.w.scope, true, false); });
    EXPECT_EQ(o.failed ? "error: " + o.error : t->to_text(), c.want) << c.text << "\n" << o.out;
  }
}

TEST(ValueReaders, PrintValueType) {
  Env e;
  Parser* p = e.w.at("print_value_type(x << 1 == 2)\n");
  Outcome o = run([&] { parse_compile_macro(p, e.w.scope); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(o.out, "# Print type: bool (File: " + p->chunk->file->path + " | Line: 1)\n");
  Parser* q = e.w.at("print_value_type(x +)\n");
  EXPECT_EQ(run([&] { parse_compile_macro(q, e.w.scope); }).error, "Unknown value/token: ')'");
}

}  // namespace tesk::parsertest

namespace tesk::parsertest {

// Sign-led operands handed on to the literal and access readers.
TEST(ReadValue, AggregatesAndHintedAccess) {
  Env e;
  // Each fixed-array literal fills a local array of its own.
  const u64 before = e.w.scope->decls.size();
  Got a = e.read("[u8 x 2]{ 1, 2 }");
  ASSERT_FALSE(a.o.failed) << a.o.out;
  EXPECT_EQ(a.text(), "22 &[u8 x 2]");
  EXPECT_EQ(e.read("[u8 x 3]{ 1, 2, 3 }").text(), "22 &[u8 x 3]");
  ASSERT_EQ(e.w.scope->decls.size(), before + 2);
  Decl* arr = e.w.scope->decls[before];
  EXPECT_EQ(arr->name, "fixed_array");
  EXPECT_TRUE(arr->in_memory);
  EXPECT_TRUE(arr->used);
  EXPECT_FALSE(arr->is_gc);
  EXPECT_NE(arr, e.w.scope->decls[before + 1]);

  // "{" fills the target that a statement handed over, in place.
  Decl* pd = e.w.local("pp", e.w.cls("P")->get_type()->get_pointed());
  Parser* p = e.w.at("{ x: 1 }");
  p->prefix_value = value_decl(pd);
  Value* v = nullptr;
  Outcome o = run([&] { v = read_value(p, e.w.scope, PRIO_ALL, 0); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->kind, VAL_CLASS_INIT);
  EXPECT_EQ(v->in_place, 1);

  // ".NAME" means what Vec.NAME means under a Vec hint.
  Got h = e.read(".same", e.w.cls("Vec")->get_type());
  ASSERT_FALSE(h.o.failed) << h.o.out;
  EXPECT_EQ(h.v->kind, VAL_FUNC);
  EXPECT_EQ(h.v->func->name, "same");

  // null before .@cast starts from a nullable ptr.
  Got n = e.read("null.@cast(int)");
  ASSERT_FALSE(n.o.failed) << n.o.out;
  EXPECT_EQ(n.text(), "13 int");
  EXPECT_EQ(n.v->op1->type->to_text(), "?ptr");
}

}  // namespace tesk::parsertest
