#include "fixture.h"

namespace tesk::test {

TEST_F(ValueIrTest, CallResultsShareOneCall) {
  Type* i64 = int_t(8);
  Func* two = make_func(unit, "two", multi_t({i64, i64}), {});
  make_can_error(two);
  two->no_body = 1;
  Func* f = make_func(unit, "f", i64, {});
  begin(f);
  Value* call = call_v(two, {});
  Value* second = result_v(call, 1, i64);
  Value* code = result_v(call, 2, uint_t(4));
  call->items = {result_v(call, 0, i64), second};
  call->err_code = code;
  call->err_msg = result_v(call, 3, ptr_t());
  std::string a = ir_value_cached(ir(), second);
  std::string c = ir_value_cached(ir(), code);
  EXPECT_EQ(a, "%.1");
  EXPECT_EQ(c, "%.2");
  EXPECT_EQ(code_text(),
            "  %.0 = call {i64, i64, i32, ptr} @two()\n"
            "  %.1 = extractvalue {i64, i64, i32, ptr} %.0, 1\n"
            "  %.2 = extractvalue {i64, i64, i32, ptr} %.0, 2\n");
  ir_ret(ir(), a, "i64");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, NestedCallsInnerFirst) {
  Type* i64 = int_t(8);
  Func* g = make_func(unit, "g", i64, {i64});
  Func* h = make_func(unit, "h", i64, {i64, i64});
  Func* v = make_func(unit, "v", void_t(), {});
  for (Func* callee : {g, h, v}) callee->no_body = 1;
  Func* f = make_func(unit, "f", i64, {i64});
  begin(f);
  Value* outer = call_v(h, {call_v(g, {arg_v(f, 0)}), int_v(2)});
  EXPECT_EQ(ir_value_cached(ir(), outer), "%.1");
  EXPECT_EQ(outer->op1->ir, "@h");
  EXPECT_EQ(code_text(), "  %.0 = call i64 @g(i64 " + arg(f, 0) + ")\n  %.1 = call i64 @h(i64 %.0, i64 2)\n");
  // A call without result yields "void".
  EXPECT_EQ(ir_value_cached(ir(), call_v(v, {})), "void");
  ir_ret(ir(), "%.1", "i64");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, IncrementAndDecrement) {
  Type* i64 = int_t(8);
  struct Case {
    u64 kind;
    bool prefix;
    const char* op;
    const char* result;
  } cases[] = {
      {VAL_INCR, false, "add", "%.0"},
      {VAL_INCR, true, "add", "%.1"},
      {VAL_DECR, false, "sub", "%.0"},
      {VAL_DECR, true, "sub", "%.1"},
  };
  for (const Case& c : cases) {
    Func* f = make_func(unit, "f", i64, {});
    begin(f);
    Decl* x = mem_local(i64, "x");
    Value* step = un(c.kind, i64, decl_v(x));
    step->flag = c.prefix;
    EXPECT_EQ(ir_value_cached(ir(), step), c.result);
    EXPECT_EQ(code_text(), std::string("  %.0 = load i64, ptr %x\n  %.1 = ") + c.op +
                               " i64 %.0, 1\n  store i64 %.1, ptr %x\n");
    end(f);
  }
}

TEST_F(ValueIrTest, OperatorsCastsAndNot) {
  Type* i32 = int_t(4);
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "ops", i64, {i32, i32});
  begin(f);
  Value* sum = math(arg_v(f, 0), arg_v(f, 1), OP_SUB);
  Value* less = bin(VAL_COMPARE, bool_t(), arg_v(f, 0), arg_v(f, 1), OP_LT);
  Value* neg = un(VAL_NOT, bool_t(), less);
  Value* wide = un(VAL_CAST, i64, sum);
  Value* not_true = un(VAL_NOT, bool_t(), bool_v(true));
  EXPECT_EQ(ir_value_cached(ir(), wide), "%.1");
  EXPECT_EQ(ir_value_cached(ir(), neg), "%.3");
  EXPECT_EQ(ir_value_cached(ir(), not_true), "%.4");
  std::string a = arg(f, 0), c = arg(f, 1);
  EXPECT_EQ(code_text(),
            "  %.0 = sub i32 " + a + ", " + c + "\n"
            "  %.1 = sext i32 %.0 to i64\n"
            "  %.2 = icmp slt i32 " + a + ", " + c + "\n"
            "  %.3 = xor i1 %.2, true\n"
            "  %.4 = xor i1 1, true\n");
  ir_ret(ir(), "%.1", "i64");
  end(f);
  JitUnit jit(assemble());
  ASSERT_EQ(jit.error(), "");
  EXPECT_EQ(jit.function<int64_t(int32_t, int32_t)>("ops")(3, 10), -7);
}

TEST_F(ValueIrTest, GroupsInsertInOrder) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", multi_t({i64, i64}), {i64});
  begin(f);
  Value* one = val(VAL_GROUP, multi_t({i64}));
  one->values = {arg_v(f, 0)};
  Value* pair = val(VAL_GROUP, multi_t({i64, i64}));
  pair->values = {arg_v(f, 0), int_v(9)};
  Value* empty = val(VAL_GROUP, multi_t({}));
  EXPECT_EQ(ir_value_cached(ir(), empty), "");
  EXPECT_EQ(code_text(), "");
  // A multi type of one item is that item's IR type: no aggregate to insert into.
  std::string a = arg(f, 0);
  EXPECT_EQ(ir_value_cached(ir(), one), a);
  EXPECT_EQ(code_text(), "");
  // Also when that item is itself a multi value.
  Value* nested = val(VAL_GROUP, multi_t({multi_t({i64, i64})}));
  nested->values = {pair};
  EXPECT_EQ(ir_value_cached(ir(), pair), "%.1");
  EXPECT_EQ(ir_value_cached(ir(), nested), "%.1");
  EXPECT_EQ(code_text(),
            "  %.0 = insertvalue {i64, i64} undef, i64 " + a + ", 0\n"
            "  %.1 = insertvalue {i64, i64} %.0, i64 9, 1\n");
  ir_ret(ir(), "%.1", "{i64, i64}");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, AssignmentAsValueHasNoBarrier) {
  Func* f = make_func(unit, "f", void_t(), {ptr_t(), class_ref_t()});
  begin(f);
  Value* target = prop_v(arg_v(f, 0), prop("child", class_ref_t(), 8));
  Value* assign = bin(VAL_ASSIGN, class_ref_t(), target, arg_v(f, 1));
  EXPECT_EQ(ir_value_cached(ir(), assign), arg(f, 1));
  EXPECT_EQ(code_text(), "  %.0 = getelementptr i8, ptr " + arg(f, 0) + ", i32 8\n  store ptr " + arg(f, 1) +
                             ", ptr %.0\n");
  ir_ret_void(ir());
  end(f);
  assemble();
}

TEST_F(ValueIrTest, BufferedValueStoresOnce) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", i64, {i64});
  begin(f);
  Decl* hidden = mem_local(i64, "buf");
  Value* buf = un(VAL_BUFFER_VALUE, i64, math(arg_v(f, 0), int_v(1)));
  buf->decl = hidden;
  Value* sum = math(math(buf, buf), buf);
  EXPECT_EQ(ir_value_cached(ir(), sum), "%.2");
  EXPECT_EQ(ir_assignable_cached(ir(), buf), "%buf");
  EXPECT_EQ(code_text(),
            "; VAL.buffer_value\n"
            "  %.0 = add i64 " + arg(f, 0) + ", 1\n"
            "  store i64 %.0, ptr %buf\n"
            "  %.1 = add i64 %.0, %.0\n"
            "  %.2 = add i64 %.1, %.0\n");
  ir_ret(ir(), "%.2", "i64");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, AtomicsAndMemoryCopy) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", i64, {ptr_t(), ptr_t()});
  begin(f);
  Value* count = prop_v(arg_v(f, 0), prop("count", i64, 8));
  Value* add = bin(VAL_ATOMIC, i64, count, int_v(2), OP_ADD);
  Value* store = bin(VAL_ATOMIC_STORE, i64, count, int_v(5));
  Value* load = un(VAL_ATOMIC_LOAD, i64, count);
  Value* copy = val(VAL_MEMCPY);
  copy->op1 = arg_v(f, 0);
  copy->op2 = arg_v(f, 1);
  copy->op3 = int_v(16);
  EXPECT_EQ(ir_value_cached(ir(), add), "%.1");
  EXPECT_EQ(ir_value_cached(ir(), store), "5");
  EXPECT_EQ(ir_value_cached(ir(), load), "%.2");
  EXPECT_EQ(ir_value_cached(ir(), copy), "-mem-copy-");
  std::string text = code_text();
  EXPECT_EQ(text.find("  %.0 = getelementptr i8, ptr " + arg(f, 0) + ", i32 8\n"
                      "  %.1 = atomicrmw add ptr %.0, i64 2 seq_cst"),
            0u)
      << text;
  // One address for all three accesses.
  EXPECT_EQ(text.find("getelementptr", 10), std::string::npos) << text;
  EXPECT_NE(text.find("store atomic i64 5, ptr %.0 release, align 8\n"), std::string::npos) << text;
  EXPECT_NE(text.find("%.2 = load atomic i64, ptr %.0 acquire, align 8\n"), std::string::npos) << text;
  // The destination comes first in the intrinsic's call.
  size_t m = text.find("llvm.memcpy");
  ASSERT_NE(m, std::string::npos) << text;
  EXPECT_LT(text.find(arg(f, 1), m), text.find(arg(f, 0), m)) << text;
  ir_ret(ir(), "%.1", "i64");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, ClassAndArrayInitialisers) {
  Type* raw = kind_t(TYPE_RAW_POINTER);
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", kind_t(TYPE_RAW_POINTER), {});
  begin(f);
  Value* storage = val(VAL_STACK_ALLOC, raw);
  storage->number = 16;
  Value* elem = bin(VAL_PTRV, i64, storage, int_v(1, uint_t(8)));
  Value* set = bin(VAL_ASSIGN, i64, elem, int_v(7));
  Value* fill = val(VAL_INLINE_SCOPE);
  fill->scope = scope_of({node(AST_VALUE, set)});
  Value* arr = bin(VAL_ARRAY_INIT, array_t(i64, 2), storage, fill);
  EXPECT_EQ(ir_assignable_cached(ir(), arr), "%.0");
  EXPECT_EQ(arr->ir, "%.0");
  Value* obj = val(VAL_STACK_ALLOC, raw);
  obj->number = 8;
  Value* init = un(VAL_CLASS_INIT, raw, obj);
  init->scope = scope_of({comment("------- CLASS INIT: C -------"), node(AST_VALUE, obj)});
  EXPECT_EQ(ir_value_cached(ir(), init), "%.2");
  EXPECT_EQ(code_text(),
            "  %.1 = getelementptr i64, ptr %.0, i64 1\n"
            "  store i64 7, ptr %.1\n"
            "; ------- CLASS INIT: C -------\n");
  ir_ret(ir(), "%.2", "ptr");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, OperationErrors) {
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  Value* not_multi = result_v(int_v(1), 0, int_t(8));
  not_multi->pre_value = nullptr;
  struct Case {
    Value* v;
    const char* message;
  } cases[] = {
      {val(VAL_RETURN_VALUE), "# IR Error: Missing return-value on value (bug)"},
      {not_multi, "# IR Error: Extract value on non-multi type"},
      {val(VAL_CLASS_INIT), "# IR Error: Missing class init base value (bug)"},
      {un(VAL_CLASS_INIT, nullptr, int_v(1)), "# IR Error: Missing class init scope (bug)"},
      {val(VAL_ARRAY_INIT), "# IR Error: Missing IR initializer value in VAL.array_init (bug)"},
      {un(VAL_ARRAY_INIT, nullptr, int_v(1)), "# IR Error: Missing IR set-values in VAL.array_init (bug)"},
  };
  for (const Case& c : cases) EXPECT_EQ(err([&] { ir_value_cached(ir(), c.v); }), c.message);
  end(f);
}

}  // namespace tesk::test
