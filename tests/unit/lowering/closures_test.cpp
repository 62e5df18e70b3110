// Captured outer variables, the closure data class and closure values.
#include <algorithm>

#include "expr/values.h"
#include "fixture.h"
#include "lower/generated.h"
#include "model/types.h"

namespace tesk::lowertest {
namespace {

const char* kDecls =
    "fn probe() {\n}\n"
    "fn twice(v: int) int {\n    return v * 2\n}\n"
    "fn fails(v: int) int !bad {\n    throw bad\n}\n";

// A closure function written inside `parent`, with its body scope made.
Func* closure_in(World& w, Scope* parent) {
  Func* f = new_func(w.unit, w.probe->file, w.probe->file, ACCESS_DEFAULT, "", nullptr, nullptr, false);
  f->decl_scope->parent = parent;
  f->init_scope();
  return f;
}

TEST(Capture, NestedClosuresPassTheVariableOn) {
  World w({kDecls});
  Func *mid = nullptr, *inner = nullptr;
  Decl *x = nullptr, *got = nullptr;
  Outcome o = run([&] {
    x = new_decl(w.core("int"), false, "x");
    w.body->add_decl(x);
    mid = closure_in(w, new_scope(w.body, SCOPE_BLOCK));
    inner = closure_in(w, new_scope(mid->ast->scope, SCOPE_BLOCK));
    Scope* use = new_scope(inner->ast->scope, SCOPE_BLOCK);
    EXPECT_EQ(find_declaring_function(x, use), w.probe);
    got = capture_outer_variable(x, x->type, use);
  });
  ASSERT_FALSE(o.failed) << o.out;
  // The middle closure never names x, yet carries it for the inner one.
  ASSERT_EQ(mid->args.size(), 1u);
  ASSERT_EQ(inner->args.size(), 1u);
  Decl* m = mid->args[0]->decl;
  EXPECT_EQ(mid->args[0]->name, "x");
  EXPECT_EQ(mid->ast->captured, std::vector<Decl*>{x});
  EXPECT_EQ(inner->ast->captured, std::vector<Decl*>{m});
  EXPECT_EQ(got, inner->args[0]->decl);
  EXPECT_TRUE(got->is_arg && got->is_bind);
  EXPECT_FALSE(got->is_gc);
  EXPECT_EQ(got->ir_name.rfind("%bind.x.", 0), 0u);
  EXPECT_EQ((*inner->ast->scope->identifiers.find("x"))->decl, got);
  EXPECT_EQ(find_declaring_function(got, inner->ast->scope), inner);
  EXPECT_EQ(find_declaring_function(x, w.probe->decl_scope), nullptr);
}

TEST(Capture, OwnVariableAndMissingName) {
  World w({kDecls});
  Decl* x = nullptr;
  Decl* got = nullptr;
  Outcome o = run([&] {
    x = new_decl(w.core("String"), false, "s");
    w.body->add_decl(x);
    got = capture_outer_variable(x, x->type, new_scope(w.body, SCOPE_BLOCK));
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(got, x);
  EXPECT_TRUE(w.probe->args.empty());

  Decl* nameless = nullptr;
  Func* f = nullptr;
  testing::internal::CaptureStdout();
  set_exit_throws(true);
  bool exited = false;
  try {
    nameless = new_decl(w.core("int"), false, "");
    w.body->add_decl(nameless);
    f = closure_in(w, w.body);
    capture_outer_variable(nameless, nameless->type, f->ast->scope);
  } catch (const ExitRequest&) {
    exited = true;
  }
  set_exit_throws(false);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(exited);
  EXPECT_NE(out.find("Missing extern variable name (bug)"), std::string::npos) << out;
}

TEST(Closure, DataClassNumbersItsValues) {
  World w({kDecls});
  Class* cls = nullptr;
  Value *a = nullptr, *s = nullptr;
  u64 counter = w.b->anon_counter;
  Outcome o = run([&] {
    a = value_int(3, w.core("int"));
    s = value_null(w.core("String"));
    cls = closure_data_class(w.b, w.unit, {a, s});
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(cls->name, "anon_class_" + std::to_string(counter));
  EXPECT_EQ(cls->file, generated_code_file(w.b));
  EXPECT_EQ(cls->kind, CLASS_CLASS);
  ASSERT_EQ(cls->props.size(), 2u);
  EXPECT_EQ(a->closure_prop, *cls->props.find("data_0"));
  EXPECT_EQ(s->closure_prop, *cls->props.find("data_1"));
  EXPECT_EQ(s->closure_prop->type, s->type);
  EXPECT_EQ(s->closure_prop->access, ACCESS_PUBLIC);
  EXPECT_GE(cls->size, 16u);
}

TEST(Closure, ValueOfAFunctionWithoutCaptures) {
  World w({kDecls});
  Value* v = nullptr;
  size_t called = 0;
  Outcome o = run([&] {
    ParseContext* ctx = w.parser("x\n")->context;
    called = w.probe->called.size();
    v = value_closure_stub(ctx, value_func(w.fn("twice")), w.body);
  });
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_EQ(v->kind, VAL_CAST);
  EXPECT_EQ(v->type->kind, TYPE_FN);
  EXPECT_EQ(v->type->func_info->args.size(), 1u);  // closure_obj is not visible
  EXPECT_EQ(v->type->to_text(), "fn(int)(int)");
  ASSERT_EQ(v->op1->kind, VAL_CLASS_INIT);
  EXPECT_EQ(v->op1->type->get_class(), runtime_class(w.b, "core", "Closure"));
  Value* data = *v->op1->prop_values->find("data");
  EXPECT_EQ(data->kind, VAL_NULL);
  Value* outer = *v->op1->prop_values->find("outer_func");
  ASSERT_EQ(outer->kind, VAL_FUNC);
  Func* wrapper = outer->func;
  ASSERT_GT(w.probe->called.size(), called);
  EXPECT_NE(std::find(w.probe->called.begin() + called, w.probe->called.end(), wrapper), w.probe->called.end());
  ASSERT_EQ(wrapper->args.size(), 2u);
  EXPECT_EQ(wrapper->args[0]->name, "closure_obj");
  EXPECT_EQ(wrapper->args[1]->name, "arg0");
  // Finished at once: IR written, AST dropped, never read by Stage 3.1.
  EXPECT_TRUE(wrapper->parsed);
  EXPECT_EQ(wrapper->ast, nullptr);
  EXPECT_FALSE(wrapper->ir_text.empty());
  EXPECT_NE(wrapper->ir_text.find("@twice("), std::string::npos) << wrapper->ir_text;
}

TEST(Closure, ForwardsErrorsOfAFailingFunction) {
  World w({kDecls});
  Value* v = nullptr;
  Outcome o = run([&] {
    ParseContext* ctx = w.parser("x\n")->context;
    v = value_closure(ctx, value_func(w.fn("fails")), {}, w.body);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_TRUE(v->type->func_info->can_error);
  ASSERT_NE(v->type->func_info->errors, nullptr);
  EXPECT_TRUE(v->type->func_info->errors->contains("bad"));
  Func* wrapper = (*v->op1->prop_values->find("outer_func"))->func;
  EXPECT_TRUE(wrapper->can_error);
  EXPECT_EQ(wrapper->ir_return_type->kind, TYPE_MULTI);
  EXPECT_EQ(wrapper->ir_return_type->items->size(), 3u);
}

// A function pointer held in a local reaches the wrapper through the data object: the
// wrapper is another function and cannot name the caller's local.
TEST(Closure, FunctionPointerLocalTravelsInTheData) {
  World w({kDecls});
  Value* v = nullptr;
  Outcome o = run([&] {
    ParseContext* ctx = w.parser("x\n")->context;
    Decl* p = new_decl(func_pointer_type(w.fn("twice")), false, "p");
    w.body->add_decl(p);
    v = value_closure(ctx, value_decl(p), {}, w.body);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->type->func_info->args.size(), 1u);
  Value* data = *v->op1->prop_values->find("data");
  if (data->kind == VAL_BUFFER_VALUE) data = data->op1;  // GC values are held until stored
  ASSERT_EQ(data->kind, VAL_CLASS_INIT);
  ASSERT_EQ(data->prop_values->size(), 1u);
  Value* stored = *data->prop_values->find("data_0");
  ASSERT_NE(stored->closure_prop, nullptr);
  EXPECT_EQ(stored->closure_prop->name, "data_0");
  EXPECT_EQ(stored->closure_prop->type->kind, TYPE_FNPTR);
  Func* wrapper = (*v->op1->prop_values->find("outer_func"))->func;
  ASSERT_EQ(wrapper->args.size(), 2u);
  EXPECT_EQ(wrapper->args[1]->name, "arg0");
  EXPECT_NE(wrapper->ir_text.find("call i64 %"), std::string::npos) << wrapper->ir_text;
  EXPECT_EQ(wrapper->ir_text.find("call i64 ("), std::string::npos) << wrapper->ir_text;
}

TEST(Closure, Errors) {
  World w({kDecls});
  Outcome o = run([&] {
    ParseContext* ctx = w.parser("x\n")->context;
    value_closure(ctx, value_int(1, w.core("int")), {}, w.body);
  });
  EXPECT_EQ(o.error, "Trying to initalize closure for a non-function value");
  o = run([&] {
    ParseContext* ctx = w.parser("x\n")->context;
    value_closure(ctx, value_func(w.fn("twice")), {}, make_scope(SCOPE_BLOCK, w.b, nullptr));
  });
  EXPECT_EQ(o.error, "Missing closure parent function (bug)");
}

}  // namespace
}  // namespace tesk::lowertest
