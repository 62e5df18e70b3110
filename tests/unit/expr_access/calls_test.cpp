// Calls: argument reading, defaults, counts, generic inference, results of functions
// that can fail, closures, `$exit` callees and argument buffers.
#include <gtest/gtest.h>

#include "fixture.h"

namespace tesk::accesstest {
namespace {

const char* kDecls =
    "class Vec {\n"
    "    x: int\n"
    "    fn scale(f: int) int {\n"
    "    }\n"
    "}\n"
    "fn two(a: int, b: u8) int {\n}\n"
    "fn defs(a: int, b: int (5), c: bool (true)) {\n}\n"
    "fn gap(a: int (1), b: int, c: int (3)) {\n}\n"
    "fn fails(a: int) int !bad {\n}\n"
    "fn fails0() !bad !worse {\n}\n"
    "fn multi() (int, bool) {\n}\n"
    "fn same(a: $T, b: $U) {\n}\n"
    "fn vars(a: int, @infinite) {\n}\n"
    "fn make() Vec {\n}\n"
    "fn keep(v: Vec, w: Vec) {\n}\n"
    "exit fn stop() {\n}\n"
    "global base : int\n"
    "fn with_base(a: int (base)) {\n}\n";

TEST(Calls, ArgumentsCountsAndDefaults) {
  World w({kDecls});
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"two(1, 200)", "5 int"},
      {"two(1,\n 2\n)", "5 int"},
      {"multi()", "5 (int, bool)"},
      {"defs(1)", "5 void"},
      {"defs(1, _, false)", "5 void"},
      {"vars(1, 2, 3)", "5 void"},
      {"two(1, 2, 3)", "error: Too many arguments. Function type: fnptr(int, u8)(int)"},
      {"two(1)", "error: Not enough values to call this function. Function type: fnptr(int, u8)(int)"},
      {"gap()", "error: Not enough values to call this function. Function type: fnptr(int, int, int)()"},
      {"two(_, 1)", "error: Func argument has no default value. So you cannot use '_' here."},
      {"two(1; 2)", "error: Expected token: ',' or ')', instead of: ';'"},
      {"two(true, 1)", "error: Incompatible types. Passing a 'bool' value to a 'int' type"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_access(w, c.text).text(), c.want) << c.text;
}

TEST(Calls, DefaultsAreReadAtTheCallSite) {
  World w({kDecls});
  Got g = read_access(w, "defs(7)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->values.size(), 3u);
  EXPECT_EQ(g.v->values[0]->number, 7u);
  EXPECT_EQ(g.v->values[1]->kind, VAL_INT);
  EXPECT_EQ(g.v->values[1]->number, 5u);
  EXPECT_EQ(g.v->values[2]->kind, VAL_BOOL);
  EXPECT_EQ(g.v->values[2]->flag, 1);
  // The hint of a u8 argument types the literal.
  g = read_access(w, "two(1, 200)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->values[1]->type->to_text(), "u8");
  // Every call site reads the default anew.
  Got g2 = read_access(w, "defs(8)");
  ASSERT_FALSE(g2.o.failed);
  EXPECT_NE(g2.v->values[1], read_access(w, "defs(8)").v->values[1]);
  // The callee is listed once among the calls of the body.
  size_t n = 0;
  for (Func* f : w.body->called) n += f == w.fn("defs");
  EXPECT_EQ(n, 1u);
}

TEST(Calls, ResultsOfFunctionsThatCanFail) {
  World w({kDecls});
  // After `co` no handler is read; the call node carries the error results.
  Parser* p = w.at("fails(1)");
  Value* call = nullptr;
  Outcome o = run([&] {
    Value* f = value_of_identifier(p, w.scope, resolve_identifier(p, w.scope, true, true));
    next_token(p, false, false);
    call = read_call_on_value(p, w.scope, f, 1);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(call->type->to_text(), "(int, u32, String)");
  ASSERT_EQ(call->items.size(), 1u);
  EXPECT_EQ(call->items[0]->kind, VAL_RETURN_VALUE);
  EXPECT_EQ(call->items[0]->number, 0u);
  EXPECT_EQ(call->items[0]->pre_value, call);
  ASSERT_NE(call->err_code, nullptr);
  EXPECT_EQ(call->err_code->number, 1u);
  EXPECT_EQ(call->err_code->type->to_text(), "u32");
  EXPECT_EQ(call->err_msg->number, 2u);
  EXPECT_EQ(call->err_msg->type->to_text(), "String");

  Value* none = nullptr;
  o = run([&] { none = value_function_call(w.b, w.scope, value_func(w.fn("fails0")), {}); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(none->type->to_text(), "(u32, String)");
  EXPECT_TRUE(none->items.empty());
  EXPECT_EQ(none->err_code->number, 0u);
  EXPECT_EQ(none->err_msg->number, 1u);

  Value* plain = nullptr;
  o = run([&] { plain = value_function_call(w.b, w.scope, value_func(w.fn("two")), {}); });
  EXPECT_EQ(plain->type->to_text(), "int");
  EXPECT_TRUE(plain->items.empty());
  EXPECT_EQ(plain->err_code, nullptr);
  // Two results without errors: one item per result.
  o = run([&] { plain = value_function_call(w.b, w.scope, value_func(w.fn("multi")), {}); });
  EXPECT_EQ(plain->items.size(), 2u);
  EXPECT_EQ(plain->items[1]->type->to_text(), "bool");
}

TEST(Calls, GenericInference) {
  World w({kDecls});
  Got g = read_access(w, "same(1, 2)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->op1->kind, VAL_FUNC);
  Func* inst = g.v->op1->func;
  EXPECT_NE(inst, w.fn("same"));
  EXPECT_EQ(inst->generic_types.size(), 2u);
  bool listed = false;
  for (Func* f : w.body->called) listed |= f == inst;
  EXPECT_TRUE(listed);
  // One instance per Type list.
  EXPECT_EQ(read_access(w, "same(3, 4)").v->op1->func, inst);
}

TEST(Calls, ClosureCallsGoThroughTheFunctionPointer) {
  World w({kDecls});
  Decl* cb = w.local("cb", w.type("fn(int, bool)(u8)"));
  Got g = read_access(w, "cb(1, true)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->values.size(), 3u);
  EXPECT_EQ(g.v->values[0]->decl, cb);
  EXPECT_EQ(g.v->op1->kind, VAL_PROP);
  EXPECT_EQ(g.v->op1->property->name, "outer_func");
  EXPECT_EQ(g.v->op1->type->func_info->args.size(), 3u);
  EXPECT_EQ(g.v->type->to_text(), "u8");
  // Calling through a value leaves the caller with calls it cannot see.
  EXPECT_EQ(w.body->opaque_calls, 1);
}

TEST(Calls, MethodsExitAndBuffers) {
  World w({kDecls});
  w.local("v", w.type("Vec"));
  Got g = read_access(w, "v.scale(2)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->values.size(), 2u);
  EXPECT_EQ(g.v->values[0]->kind, VAL_DECL);
  EXPECT_EQ(g.v->type->to_text(), "int");
  EXPECT_EQ(read_access(w, "v.scale()").text(),
            "error: Not enough values to call this function. Function type: fnptr(Vec, int)(int)");

  // A new object from a call is held in a temporary; a local is passed as it is.
  Value* made = nullptr;
  Outcome o = run([&] {
    std::vector<Value*> args = {value_function_call(w.b, w.scope, value_func(w.fn("make")), {}),
                                value_decl(w.scope->decls.back())};
    made = value_function_call(w.b, w.scope, value_func(w.fn("keep")), args);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(made->values[0]->kind, VAL_BUFFER_VALUE);
  ASSERT_NE(made->values[0]->decl, nullptr);
  EXPECT_EQ(made->values[0]->op1->kind, VAL_CALL);
  EXPECT_EQ(made->values[1]->kind, VAL_DECL);
  w.body->nobuffers = 1;
  o = run([&] {
    made = value_function_call(w.b, w.scope, value_func(w.fn("keep")),
                               {value_function_call(w.b, w.scope, value_func(w.fn("make")), {}),
                                value_null(w.type("Vec"))});
  });
  EXPECT_EQ(made->values[0]->kind, VAL_CALL);
  EXPECT_EQ(made->values[1]->kind, VAL_NULL);

  ASSERT_FALSE(read_access(w, "stop()").o.failed);
  EXPECT_EQ(w.scope->did_exit, 1);
  EXPECT_EQ(w.scope->ends_unreachable, 1);
}

TEST(Calls, NonFunctionValues) {
  World w({kDecls});
  w.local("n", w.type("int"));
  EXPECT_EQ(read_access(w, "n(1)").text(), "error: Function call on a non-function value. Value type: int");
}

}  // namespace
}  // namespace tesk::accesstest

namespace tesk::accesstest {
namespace {

// Whole expressions through the value reader, which hands names, calls, members and
// indexes to the readers here.
TEST(Calls, DefaultsResolveWhereTheFunctionIsDeclared) {
  World w({kDecls});
  w.local("base", w.type("u8"));
  Got g = read_access(w, "with_base()");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  ASSERT_EQ(g.v->values.size(), 1u);
  EXPECT_EQ(g.v->values[0]->kind, VAL_GLOBAL);
}

TEST(Calls, ThroughTheValueReader) {
  World w({kDecls});
  w.local("n", w.type("int"));
  w.local("v", w.type("Vec"));
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"two(n, 1)", "5 int"},
      {"v.scale(two(n, 2))", "5 int"},
      {"keep(make(), v)", "5 void"},
      {"v.x", "3 int"},
  };
  for (const Case& c : cases) {
    Got g;
    Parser* p = w.at(c.text);
    g.o = run([&] { g.v = read_value(p, w.scope, PRIO_ALL, 0); });
    EXPECT_EQ(g.text(), c.want) << c.text;
  }
}

}  // namespace
}  // namespace tesk::accesstest
