// `co` and `await` read through the value reader: entry functions, placeholders, co
// Types, error handlers and the errors of both.
#include "expr/values.h"
#include "fixture.h"
#include "lower/generated.h"
#include "model/types.h"
#include "stmt/stage3.h"

namespace tesk::lowertest {
namespace {

const char* kDecls =
    "fn probe() {\n}\n"
    "fn other() {\n}\n"
    "fn mix(a: int, s: String, flag: bool) String !bad {\n    return s\n}\n"
    "fn nothing() {\n}\n"
    "fn many(a: int, rest: int, @infinite) {\n}\n";

TEST(CoroStart, EntryFunctionsAndCoType) {
  World w({kDecls});
  Outcome o;
  Value* v = w.read("co mix(1, \"s\", true)", &o);
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_EQ(v->kind, VAL_VALUE_SCOPE);
  ASSERT_EQ(v->type->kind, TYPE_CO);
  ASSERT_NE(v->type->items, nullptr);
  ASSERT_EQ(v->type->items->size(), 1u);
  EXPECT_EQ((*v->type->items)[0]->to_text(), "String");
  EXPECT_TRUE(v->type->co_can_error);
  EXPECT_TRUE(v->type->errors->contains("bad"));

  Func* entry = nullptr;
  for (Func* f : w.probe->called)
    if (f->name == "probe__coro_0") entry = f;
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->unit, w.b->generated_unit);
  EXPECT_EQ(entry->file, generated_code_file(w.b));
  EXPECT_TRUE(entry->args.empty());
  EXPECT_EQ(entry->return_type->kind, TYPE_VOID);
  ASSERT_NE(entry->body_chunk, nullptr);
  EXPECT_EQ(w.b->function_queue.back(), entry);
  // The placeholder scope sits between the entry function and the co expression.
  Scope* ph = entry->decl_scope->parent;
  ASSERT_NE(ph, nullptr);
  EXPECT_EQ(ph->parent, w.body);
  for (const char* n : {"CORO_CLASS", "AWAIT_LAST_FUNC", "GCPTR", "HANDLER_TYPE", "CURRENT_CORO", "T0", "T1", "T2",
                        "RT0", "HANDLER", "START_FUNC", "ARG_T_0", "ARG_V_0", "ARG_V_2"})
    EXPECT_NE(ph->identifiers.find(n), nullptr) << n;
  EXPECT_EQ((*ph->identifiers.find("START_FUNC"))->func, entry);
  // Its body reads through the placeholders like any other body.
  o = run([&] { parse_function_ast(entry); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_TRUE(entry->parsed);

  // The next co of the same function takes the next number; another function starts at 0.
  w.read("co nothing()", &o);
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(w.probe->coro_counter, 2u);
  EXPECT_EQ(w.b->function_queue.back()->name, "probe__coro_1");
  Value* none = w.read("co nothing()", &o);
  EXPECT_EQ(none->type->items->size(), 0u);
  EXPECT_FALSE(none->type->co_can_error);

  Func* other = w.fn("other");
  other->init_scope();
  Parser* p = w.parser("co nothing()\n");
  p->context->func = other;
  o = run([&] { read_value(p, other->ast->scope, PRIO_ALL, 0); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(w.b->function_queue.back()->name, "other__coro_0");
}

// The extra arguments of an @infinite function are dropped from the call.
TEST(CoroStart, InfiniteArgumentsTrimmed) {
  World w({kDecls});
  Outcome o;
  w.read("co many(1, 2, 3, 4)", &o);
  ASSERT_FALSE(o.failed) << o.out;
  Func* entry = w.b->function_queue.back();
  Scope* ph = entry->decl_scope->parent;
  EXPECT_NE(ph->identifiers.find("ARG_V_1"), nullptr);
  EXPECT_EQ(ph->identifiers.find("ARG_V_2"), nullptr);
  Value* call = (*ph->identifiers.find("HANDLER"))->value;
  EXPECT_EQ(call->kind, VAL_FUNC);
}

TEST(CoroStart, Errors) {
  World w({kDecls});
  Outcome o;
  w.read("co 5", &o);
  EXPECT_EQ(o.error, "Expected a function call statement after 'co' token");

  // No function scope above the co expression.
  Value* call = nullptr;
  o = run([&] {
    call = w.b->make<Value>();
    call->kind = VAL_CALL;
    call->op1 = value_func(w.fn("nothing"));
    coro_start_template(w.parser("x\n"), make_scope(SCOPE_BLOCK, w.b, nullptr), call);
  });
  EXPECT_EQ(o.error, "Coroutine initalization outside a function");
  o = run([&] {
    call->op1 = value_int(1, w.core("int"));
    coro_start_template(w.parser("x\n"), w.body, call);
  });
  EXPECT_EQ(o.error, "Missing function info (coro-bug)");
  o = run([&] {
    call->op1 = nullptr;
    coro_start_template(w.parser("x\n"), w.body, call);
  });
  EXPECT_EQ(o.error, "Missing function call on value (coro-bug)");
}

TEST(Await, ResultsErrorsAndHandlers) {
  World w({kDecls});
  Outcome o;
  // A co Type with errors takes the handler after await.
  Value* v = w.read("await co mix(1, \"s\", true) !? \"x\"", &o);
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->type->to_text(), "String");
  w.read("await co mix(1, \"s\", true)", &o);
  EXPECT_TRUE(o.failed);
  EXPECT_NE(o.error.find("Unexpected token"), std::string::npos) << o.out;

  // Without errors and without a handler: the implicit panic handler; await_coro is
  // noted as called.
  v = w.read("await co nothing()", &o);
  ASSERT_FALSE(o.failed) << o.out;
  Func* await_coro = runtime_func(w.b, "coro", "await_coro");
  bool noted = false;
  for (Func* f : w.probe->called) noted = noted || f == await_coro;
  EXPECT_TRUE(noted);
  EXPECT_EQ(v->type->kind, TYPE_INT);

  o = run([&] { coro_await_template(w.parser("x\n"), w.body, value_int(1, w.core("int"))); });
  EXPECT_EQ(o.error, "Cannot use await on this type: int");
  o = run([&] {
    Parser* p = w.parser("x\n");
    p->context->func = nullptr;
    coro_await_template(p, w.body, value_int(1, w.core("int")));
  });
  EXPECT_EQ(o.error, "Missing function object in parser (bug)");
}

}  // namespace
}  // namespace tesk::lowertest
