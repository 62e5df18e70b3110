#include "fixture.h"

namespace tesk::test {

namespace {
// Ends a function that computed a bool: widened so a C caller reads a whole int.
void ret_bool(IrUnit* u, const std::string& v) {
  active_ir_text(u) << "  %ret = zext i1 " << v << " to i32\n";
  ir_ret(u, "%ret", "i32");
}
}  // namespace

TEST_F(ValueIrTest, ShortCircuitNesting) {
  Func* f = make_func(unit, "and_or", int_t(4), {bool_t(), bool_t(), bool_t()});
  begin(f);
  // a && (b || c)
  Value* inner = bin(VAL_AND_OR, bool_t(), arg_v(f, 1), arg_v(f, 2), OP_OR);
  Value* outer = bin(VAL_AND_OR, bool_t(), arg_v(f, 0), inner, OP_AND);
  std::string r = ir_value_cached(ir(), outer);
  EXPECT_EQ(r, "%.1");
  EXPECT_EQ(ir()->block->name, "and_or_after_3");
  EXPECT_EQ(outer->ir_block, "and_or_after_3");
  ret_bool(ir(), r);
  std::string a = arg(f, 0), b1 = arg(f, 1), c = arg(f, 2);
  std::string text = end(f);
  EXPECT_NE(text.find("code:\n"
                      "  br i1 " + a + ", label %and_or_next_0, label %and_or_after_3\n"
                      "and_or_next_0:\n"
                      "  br i1 " + b1 + ", label %and_or_after_2, label %and_or_next_1\n"
                      "and_or_next_1:\n"
                      "  br label %and_or_after_2\n"
                      "and_or_after_2:\n"
                      "  %.0 = phi i1 [ true, %and_or_next_0 ], [ " + c + ", %and_or_next_1 ]\n"
                      "  br label %and_or_after_3\n"
                      "and_or_after_3:\n"
                      "  %.1 = phi i1 [ false, %code ], [ %.0, %and_or_after_2 ]\n"),
            std::string::npos)
      << text;
  JitUnit jit(assemble());
  ASSERT_EQ(jit.error(), "");
  auto* fn = jit.function<int(bool, bool, bool)>("and_or");
  for (int bits = 0; bits < 8; bits++) {
    bool x = bits & 1, y = bits & 2, z = bits & 4;
    EXPECT_EQ(fn(x, y, z), (x && (y || z)) ? 1 : 0) << bits;
  }
}

TEST_F(ValueIrTest, ConditionalValueInFalseBranch) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "pick", i64, {bool_t(), bool_t(), i64});
  begin(f);
  // c ? x + 1 : (d ? x : 7)
  Value* inner = val(VAL_THIS_OR_THAT, i64);
  inner->op1 = arg_v(f, 1);
  inner->op2 = arg_v(f, 2);
  inner->op3 = int_v(7);
  Value* outer = val(VAL_THIS_OR_THAT, i64);
  outer->op1 = arg_v(f, 0);
  outer->op2 = math(arg_v(f, 2), int_v(1));
  outer->op3 = inner;
  std::string r = ir_value_cached(ir(), outer);
  EXPECT_EQ(r, "%.2");
  ir_ret(ir(), r, "i64");
  std::string c = arg(f, 0), d = arg(f, 1), x = arg(f, 2);
  std::string text = end(f);
  EXPECT_NE(text.find("code:\n"
                      "  br i1 " + c + ", label %this_or_that_v1_0, label %this_or_that_v2_1\n"
                      "this_or_that_v1_0:\n"
                      "  %.0 = add i64 " + x + ", 1\n"
                      "  br label %this_or_that_after_2\n"
                      "this_or_that_v2_1:\n"
                      "  br i1 " + d + ", label %this_or_that_v1_3, label %this_or_that_v2_4\n"
                      "this_or_that_after_2:\n"
                      "  %.2 = phi i64 [ %.0, %this_or_that_v1_0 ], [ %.1, %this_or_that_after_5 ]\n"
                      "; this/that result: %.2\n"
                      "  ret i64 %.2\n"
                      "this_or_that_v1_3:\n"
                      "  br label %this_or_that_after_5\n"
                      "this_or_that_v2_4:\n"
                      "  br label %this_or_that_after_5\n"
                      "this_or_that_after_5:\n"
                      "  %.1 = phi i64 [ " + x + ", %this_or_that_v1_3 ], [ 7, %this_or_that_v2_4 ]\n"
                      "; this/that result: %.1\n"
                      "  br label %this_or_that_after_2\n"),
            std::string::npos)
      << text;
  JitUnit jit(assemble());
  ASSERT_EQ(jit.error(), "");
  auto* fn = jit.function<int64_t(bool, bool, int64_t)>("pick");
  EXPECT_EQ(fn(true, false, 10), 11);
  EXPECT_EQ(fn(false, true, 10), 10);
  EXPECT_EQ(fn(false, false, 10), 7);
}

TEST_F(ValueIrTest, NullAlternativeValue) {
  Type* maybe = ptr_t(true);
  Func* f = make_func(unit, "alt", ptr_t(), {maybe, ptr_t()});
  begin(f);
  Value* alt = bin(VAL_ALT_VALUE, ptr_t(), arg_v(f, 0), prop_v(arg_v(f, 1), prop("next", ptr_t(), 0)));
  std::string r = ir_value_cached(ir(), alt);
  EXPECT_EQ(ir()->block->name, "altv_after_1");
  ir_ret(ir(), r, "ptr");
  std::string p = arg(f, 0), q = arg(f, 1);
  std::string text = end(f);
  EXPECT_NE(text.find("code:\n"
                      "  %.0 = icmp eq ptr " + p + ", null\n"
                      "  br i1 %.0, label %altv_0, label %altv_after_1\n"
                      "altv_0:\n"
                      "; Read prop: next\n"
                      "  %.1 = getelementptr i8, ptr " + q + ", i32 0\n"
                      "  %.2 = load ptr, ptr %.1\n"
                      "  br label %altv_after_1\n"
                      "altv_after_1:\n"
                      "  %.3 = phi ptr [ " + p + ", %code ], [ %.2, %altv_0 ]\n"
                      "  ret ptr %.3\n"),
            std::string::npos)
      << text;
  JitUnit jit(assemble());
  ASSERT_EQ(jit.error(), "");
  auto* fn = jit.function<void*(void*, void*)>("alt");
  void* target = &jit;
  void* holder[1] = {target};
  EXPECT_EQ(fn(nullptr, holder), target);
  EXPECT_EQ(fn(holder, nullptr), static_cast<void*>(holder));
}

TEST_F(ValueIrTest, NullAlternativeBlockLeavesByItsOwnReturn) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", i64, {ptr_t(true)});
  begin(f);
  AstNode* ret = node(AST_RETURN, int_v(0));
  Value* alt = un(VAL_ALT_BLOCK, ptr_t(), arg_v(f, 0));
  alt->scope = scope_of({ret});
  EXPECT_EQ(ir_value_cached(ir(), alt), arg(f, 0));
  EXPECT_EQ(ir()->block->name, "altv_after_1");
  Value* load = val(VAL_LOAD_INLINE, i64);
  load->op1 = alt;
  ir_ret(ir(), ir_value_cached(ir(), load), "i64");
  std::string text = end(f);
  EXPECT_NE(text.find("  br i1 %.0, label %altv_break_0, label %altv_after_1\n"
                      "altv_break_0:\n"
                      "  ret i64 0\n"
                      "altv_after_1:\n"),
            std::string::npos)
      << text;
  JitUnit jit(assemble());
  ASSERT_EQ(jit.error(), "");
  int64_t cell = 41;
  EXPECT_EQ(jit.function<int64_t(int64_t*)>("f")(&cell), 41);
  EXPECT_EQ(jit.function<int64_t(int64_t*)>("f")(nullptr), 0);
}

TEST_F(ValueIrTest, ValueScopeJoinsItsReturns) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "vs", i64, {bool_t(), i64});
  begin(f);
  Value* first = math(arg_v(f, 1), int_v(1));
  Value* second = int_v(5);
  Scope* then_s = scope_of({node(AST_VALUE, first), node(AST_VSCOPE_RETURN)});
  then_s->did_exit = 1;
  Scope* else_s = scope_of({node(AST_VALUE, second), node(AST_VSCOPE_RETURN)});
  else_s->did_exit = 1;
  AstNode* branch = node(AST_IF, arg_v(f, 0));
  branch->scope = then_s;
  branch->else_scope = else_s;
  Value* phi = val(VAL_PHI, i64);
  phi->values = {first, second};
  Value* vs = un(VAL_VALUE_SCOPE, i64, phi);
  vs->scope = scope_of({branch, node(AST_UNREACHABLE)}, SCOPE_VALUE);
  std::string r = ir_value_cached(ir(), vs);
  EXPECT_EQ(r, "%.1");
  EXPECT_EQ(ir()->vscope_block, nullptr);
  ir_ret(ir(), r, "i64");
  std::string text = end(f);
  EXPECT_NE(text.find("code:\n"
                      "  br i1 " + arg(f, 0) + ", label %if_code_1, label %if_else_2\n"
                      "vscope_after_0:\n"
                      "  %.1 = phi i64 [ %.0, %if_code_1 ], [ 5, %if_else_2 ]\n"
                      "  ret i64 %.1\n"
                      "if_code_1:\n"
                      "  %.0 = add i64 " + arg(f, 1) + ", 1\n"
                      "  br label %vscope_after_0\n"
                      "if_else_2:\n"
                      "  br label %vscope_after_0\n"
                      "if_after_3:\n"
                      "  unreachable\n"),
            std::string::npos)
      << text;
  JitUnit jit(assemble());
  ASSERT_EQ(jit.error(), "");
  EXPECT_EQ(jit.function<int64_t(bool, int64_t)>("vs")(true, 8), 9);
  EXPECT_EQ(jit.function<int64_t(bool, int64_t)>("vs")(false, 8), 5);
}

TEST_F(ValueIrTest, NestedValueScopesKeepTheirTargets) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", i64, {i64});
  begin(f);
  Value* x = arg_v(f, 0);
  Value* inner_phi = val(VAL_PHI, i64);
  inner_phi->values = {x};
  Value* inner = un(VAL_VALUE_SCOPE, i64, inner_phi);
  inner->scope = scope_of({node(AST_VALUE, x), node(AST_VSCOPE_RETURN)}, SCOPE_VALUE);
  Value* plus = math(inner, int_v(1));
  Value* outer_phi = val(VAL_PHI, i64);
  outer_phi->values = {plus};
  Value* outer = un(VAL_VALUE_SCOPE, i64, outer_phi);
  outer->scope =
      scope_of({node(AST_VALUE, inner), node(AST_VALUE, plus), node(AST_VSCOPE_RETURN)}, SCOPE_VALUE);
  EXPECT_EQ(ir_value_cached(ir(), outer), "%.2");
  ir_ret(ir(), "%.2", "i64");
  std::string text = end(f);
  EXPECT_NE(text.find("code:\n"
                      "  br label %vscope_after_1\n"
                      "vscope_after_0:\n"
                      "  %.2 = phi i64 [ %.1, %vscope_after_1 ]\n"
                      "  ret i64 %.2\n"
                      "vscope_after_1:\n"
                      "  %.0 = phi i64 [ " + arg(f, 0) + ", %code ]\n"
                      "  %.1 = add i64 %.0, 1\n"
                      "  br label %vscope_after_0\n"),
            std::string::npos)
      << text;
  assemble();
}

TEST_F(ValueIrTest, BreakInsideValueScopeLeavesTheLoop) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", void_t(), {bool_t()});
  begin(f);
  Value* phi = val(VAL_PHI, i64);
  Value* one = int_v(1);
  phi->values = {one};
  Scope* leave = scope_of({node(AST_BREAK)});
  leave->did_exit = 1;
  AstNode* test = node(AST_IF, arg_v(f, 0));
  test->scope = leave;
  Value* vs = un(VAL_VALUE_SCOPE, i64, phi);
  vs->scope = scope_of({test, node(AST_VALUE, one), node(AST_VSCOPE_RETURN)}, SCOPE_VALUE);
  AstNode* loop = node(AST_EACH);
  loop->scope = scope_of({node(AST_VALUE, vs)});
  std::vector<AstNode*> body = {loop, node(AST_RETURN)};
  ir_statements(ir(), body);
  std::string text = end(f);
  EXPECT_NE(text.find("if_code_3:\n  br label %each_after_1\n"), std::string::npos) << text;
  assemble();
}

TEST_F(ValueIrTest, SetjmpAndLongjmpByTarget) {
  for (const char* os : {"win", "linux", "macos"}) {
    b->target.os = os;
    Func* f = make_func(unit, "f", void_t(), {kind_t(TYPE_RAW_POINTER)});
    begin(f);
    ir()->func->temp_counter = 4;
    std::string p = arg(f, 0);
    Value* sj = un(VAL_SETJMP, int_t(4), arg_v(f, 0));
    Value* lj = un(VAL_LONGJMP, void_t(), arg_v(f, 0));
    EXPECT_EQ(ir_value_cached(ir(), sj), "%.6");
    EXPECT_EQ(ir_value_cached(ir(), lj), "-long-jump-");
    EXPECT_EQ(ir()->block->name, "code");
    if (std::string(os) == "win") {
      EXPECT_EQ(code_text(),
                "  %.4 = tail call ptr @llvm.frameaddress(i32 0)\n"
                "  %.7 = getelementptr i8, ptr " + p + ", i32 0\n"
                "  store ptr %.4, ptr %.7\n"
                "  %.5 = tail call ptr @llvm.stacksave()\n"
                "  %.8 = getelementptr i8, ptr " + p + ", i32 16\n"
                "  store ptr %.5, ptr %.8\n"
                "  %.6 = tail call i32 @llvm.eh.sjlj.setjmp(ptr " + p + ")\n"
                "  call void @llvm.eh.sjlj.longjmp(ptr " + p + ")\n"
                "unreachable\n");
      end(f);
    } else {
      EXPECT_EQ(code_text(),
                "  %.6 = call i32 @_setjmp(ptr " + p + ")\n"
                "  call void @longjmp(ptr " + p + ", i32 1)\n"
                "unreachable\n");
      end(f);
      unit->funcs.clear();
      unit->funcs.push_back(f);
      assemble();
    }
    unit->funcs.clear();
  }
}

TEST_F(ValueIrTest, InlineScopesAndConditionalEvaluation) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", i64, {bool_t(), bool_t(), i64});
  begin(f);
  Value* empty = val(VAL_INLINE_SCOPE);
  empty->scope = scope_of({});
  EXPECT_EQ(ir_value_cached(ir(), empty), "-inline-scope-");
  EXPECT_EQ(code_text(), "");
  // The result of an inline scope: a copy of its last value, written after the scope.
  Value* last = math(arg_v(f, 2), int_v(3));
  Value* block = val(VAL_INLINE_SCOPE);
  block->scope = scope_of({comment("handler"), node(AST_VALUE, last)});
  Value* result = un(VAL_COPY, i64, last);
  result->pre_value = block;
  // Runs only when the flag holds; its own value opens blocks.
  Value* pick = val(VAL_THIS_OR_THAT, i64);
  pick->op1 = arg_v(f, 1);
  pick->op2 = result;
  pick->op3 = int_v(0);
  Value* cond = bin(VAL_COND, void_t(), arg_v(f, 0), pick);
  EXPECT_EQ(ir_value_cached(ir(), cond), "%.1");
  EXPECT_EQ(cond->ir_block, "VAL.cond_0");
  EXPECT_EQ(ir()->block->name, "VAL.cond_after_1");
  ir_ret(ir(), "0", "i64");
  std::string text = end(f);
  EXPECT_NE(text.find("code:\n"
                      "  br i1 " + arg(f, 0) + ", label %VAL.cond_0, label %VAL.cond_after_1\n"
                      "VAL.cond_0:\n"
                      "  br i1 " + arg(f, 1) + ", label %this_or_that_v1_2, label %this_or_that_v2_3\n"
                      "VAL.cond_after_1:\n"
                      "  ret i64 0\n"
                      "this_or_that_v1_2:\n"
                      "; handler\n"
                      "  %.0 = add i64 " + arg(f, 2) + ", 3\n"
                      "  br label %this_or_that_after_4\n"
                      "this_or_that_v2_3:\n"
                      "  br label %this_or_that_after_4\n"
                      "this_or_that_after_4:\n"
                      "  %.1 = phi i64 [ %.0, %this_or_that_v1_2 ], [ 0, %this_or_that_v2_3 ]\n"
                      "; this/that result: %.1\n"
                      "  br label %VAL.cond_after_1\n"),
            std::string::npos)
      << text;
  assemble();
}

TEST_F(ValueIrTest, ControlFlowErrors) {
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  Value* alt_no_value = un(VAL_ALT_VALUE, ptr_t(), val(VAL_NULL, ptr_t(true)));
  Value* alt_no_scope = un(VAL_ALT_BLOCK, ptr_t(), val(VAL_NULL, ptr_t(true)));
  struct Case {
    Value* v;
    const char* message;
  } cases[] = {
      {val(VAL_ALT_VALUE), "# IR Error: Missing IR alternative on-value (bug)"},
      {val(VAL_ALT_BLOCK), "# IR Error: Missing IR alternative on-value (bug)"},
      {alt_no_value, "# IR Error: Missing IR alternative value (bug)"},
      {alt_no_scope, "# IR Error: Missing IR alternative scope (bug)"},
      {val(VAL_VALUE_SCOPE), "# IR Error: Missing vscope IR phi value"},
      {val(VAL_PHI, int_t(8)), "# IR Error: Missing phi values"},
      {val(VAL_INLINE_SCOPE), "# IR Error: Missing IR inline scope (bug)"},
      {val(VAL_COND), "# IR Error: Missing IR condition value (bug)"},
      {un(VAL_COND, nullptr, bool_v(true)), "# IR Error: Missing IR condition final value (bug)"},
      {val(VAL_SETJMP), "# IR Error: Missing IR setjmp value (bug)"},
      {val(VAL_LONGJMP), "# IR Error: Missing IR longjmp value (bug)"},
  };
  for (const Case& c : cases) EXPECT_EQ(err([&] { ir_value_cached(ir(), c.v); }), c.message);
  // No active function (the block stays): blocks and temporaries cannot be made.
  IrFunc* irf = ir()->func;
  ir()->func = nullptr;
  Value* pick = val(VAL_THIS_OR_THAT, int_t(8));
  pick->op1 = bool_v(true);
  pick->op2 = int_v(1);
  pick->op3 = int_v(2);
  EXPECT_EQ(err([&] { ir_value(ir(), pick); }), "# IR Error: Missing active func (bug)");
  Value* sj = un(VAL_SETJMP, int_t(4), val(VAL_NULL, ptr_t()));
  EXPECT_EQ(err([&] { ir_value(ir(), sj); }), "# IR Error: Missing IR function");
  ir()->func = irf;
  end(f);
}

}  // namespace tesk::test
