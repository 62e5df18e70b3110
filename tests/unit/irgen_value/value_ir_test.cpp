#include <cstring>

#include "fixture.h"

namespace tesk::test {

TEST_F(ValueIrTest, ConstantsWriteNothing) {
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  Value* fl0 = val(VAL_FLOAT, float_t(8));
  fl0->float_value = 0.0;
  Value* fl1 = val(VAL_FLOAT, float_t(8));
  fl1->float_value = 1.0;
  Value* flneg = val(VAL_FLOAT, float_t(8));
  flneg->float_value = -2.5;
  Value* sym = val(VAL_SYMBOL, ptr_t());
  sym->symbol = "some.global";
  struct Case {
    Value* v;
    const char* operand;
  } cases[] = {
      {int_v(0), "0"},
      {int_v(18446744073709551615ull), "-1"},
      {int_v(42, int_t(1)), "42"},
      {bool_v(true), "1"},
      {bool_v(false), "0"},
      {val(VAL_NULL, ptr_t(true)), "null"},
      {val(VAL_UNDEFINED, int_t(8)), "undef"},
      {fl0, "0x0"},
      {fl1, "0x3FF0000000000000"},
      {flneg, "0xC004000000000000"},
      {sym, "@some.global"},
  };
  for (const Case& c : cases) EXPECT_EQ(ir_value_cached(ir(), c.v), c.operand);
  EXPECT_EQ(code_text(), "");
  EXPECT_EQ(ir()->func->temp_counter, 0u);
  end(f);
}

TEST_F(ValueIrTest, FourByteFloatsAreRoundedToSinglePrecision) {
  Func* f = make_func(unit, "tenth", float_t(4), {});
  begin(f);
  Value* v = val(VAL_FLOAT, float_t(4));
  v->float_value = 0.1;
  std::string r = ir_value_cached(ir(), v);
  EXPECT_EQ(r, "0x3FB99999A0000000");
  ir_ret(ir(), r, "float");
  end(f);
  JitUnit jit(assemble());
  ASSERT_EQ(jit.error(), "");
  EXPECT_EQ(jit.function<float()>("tenth")(), 0.1f);
}

TEST_F(ValueIrTest, SharedValueIsWrittenOnce) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "twice", i64, {i64});
  begin(f);
  Value* x = math(arg_v(f, 0), int_v(1));
  Value* sum = math(x, x, OP_MUL);
  std::string r = ir_value_cached(ir(), sum);
  EXPECT_EQ(r, "%.1");
  EXPECT_EQ(ir_value_cached(ir(), sum), "%.1");
  EXPECT_EQ(x->ir, "%.0");
  EXPECT_EQ(x->ir_block, "code");
  ir_ret(ir(), r, "i64");
  std::string a = arg(f, 0);
  EXPECT_EQ(code_text(), "  %.0 = add i64 " + a + ", 1\n  %.1 = mul i64 %.0, %.0\n  ret i64 %.1\n");
  end(f);
  std::string text = assemble();
  JitUnit jit(text);
  ASSERT_EQ(jit.error(), "");
  EXPECT_EQ(jit.function<int64_t(int64_t)>("twice")(4), 25);
}

TEST_F(ValueIrTest, FirstEvaluationKeepsItsBlock) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", void_t(), {i64});
  IrFunc* irf = begin(f);
  Value* x = math(arg_v(f, 0), int_v(2));
  IrBlock* loop = new_ir_block(irf, "while_code");
  IrBlock* after = new_ir_block(irf, "while_after");
  ir_br(ir(), loop);
  set_active_ir_block(ir(), loop);
  EXPECT_EQ(ir_value_cached(ir(), x), "%.0");
  ir_br(ir(), after);
  set_active_ir_block(ir(), after);
  EXPECT_EQ(ir_value_cached(ir(), x), "%.0");
  EXPECT_EQ(x->ir_block, "while_code_0");
  EXPECT_EQ(block_text(after), "");
  ir_ret_void(ir());
  end(f);
  assemble();
}

TEST_F(ValueIrTest, HeadWritesStatementsThenPreValue) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", i64, {i64});
  begin(f);
  Value* pre = math(arg_v(f, 0), int_v(3));
  Value* v = math(arg_v(f, 0), int_v(4));
  v->pre_ast = {comment("before")};
  v->pre_value = pre;
  std::string r = ir_value_cached(ir(), v);
  // The pre-value is memoised: a later use writes nothing more.
  ir_value_cached(ir(), pre);
  std::string a = arg(f, 0);
  EXPECT_EQ(code_text(), "; before\n  %.0 = add i64 " + a + ", 3\n  %.1 = add i64 " + a + ", 4\n");
  ir_ret(ir(), r, "i64");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, PreStatementsOfPlacesAreWrittenOnce) {
  Type* raw = kind_t(TYPE_RAW_POINTER);
  Func* f = make_func(unit, "f", int_t(8), {ptr_t()});
  begin(f);
  // A property read addresses itself; an initialiser's address is its own operand.
  Value* p = prop_v(arg_v(f, 0), prop("n", int_t(8), 8));
  p->pre_ast = {comment("read")};
  Value* obj = val(VAL_STACK_ALLOC, raw);
  obj->number = 8;
  Value* init = un(VAL_CLASS_INIT, raw, obj);
  init->scope = scope_of({node(AST_VALUE, obj)});
  init->pre_ast = {comment("init")};
  EXPECT_EQ(ir_value_cached(ir(), p), "%.1");
  EXPECT_EQ(ir_assignable_cached(ir(), p), "%.0");
  EXPECT_EQ(ir_assignable_cached(ir(), init), "%.2");
  EXPECT_EQ(code_text(),
            "; read\n"
            "; Read prop: n\n"
            "  %.0 = getelementptr i8, ptr " + arg(f, 0) + ", i32 8\n"
            "  %.1 = load i64, ptr %.0\n"
            "; init\n");
  ir_ret(ir(), "%.1", "i64");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, StringPointsAtLengthWord) {
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  StringConst* sc = nullptr;
  for (int i = 0; i < 4; i++) sc = unit_string_const(unit, "s" + std::to_string(i));
  ASSERT_EQ(sc->index, 3u);
  Value* s = val(VAL_STRING, ptr_t());
  s->string_const = sc;
  EXPECT_EQ(ir_value_cached(ir(), s), "%.0");
  EXPECT_EQ(code_text(), "  %.0 = getelementptr i8, ptr @string.3, i32 8\n");
  EXPECT_EQ(sc->used, 0);
  end(f);
}

TEST_F(ValueIrTest, FunctionsAreDeclaredOncePerUnit) {
  Unit* other = new_unit("other");
  Func* ext = make_func(other, "ext", void_t(), {int_t(8)});
  Func* own = make_func(unit, "own", void_t(), {});
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  EXPECT_EQ(ir_value_cached(ir(), func_v(ext)), "@ext");
  EXPECT_EQ(ir_value_cached(ir(), func_v(ext)), "@ext");
  EXPECT_EQ(ir_value_cached(ir(), func_v(own)), "@own");
  EXPECT_EQ(code_text(), "");
  end(f);
  std::string decls = ir()->decls.to_string();
  EXPECT_EQ(decls, "declare void @ext(i64 noundef)\n");
  Unit* third = new_unit("third");
  Func* g = make_func(third, "g", void_t(), {});
  begin(g);
  EXPECT_EQ(ir_value_cached(ir(third), func_v(ext)), "@ext");
  end(g);
  EXPECT_EQ(ir(third)->decls.to_string(), decls);
}

TEST_F(ValueIrTest, LocalsByHowTheyLive) {
  Type* i64 = int_t(8);
  Func* f = make_func(unit, "f", i64, {i64});
  begin(f);
  Decl* bound = b->make<Decl>();
  bound->type = i64;
  bound->ir_value = "%.77";
  Decl* mem = mem_local(i64, "x");
  EXPECT_EQ(ir_value_cached(ir(), arg_v(f, 0)), arg(f, 0));
  EXPECT_EQ(ir_value_cached(ir(), decl_v(bound)), "%.77");
  EXPECT_EQ(code_text(), "");
  // A local in memory is loaded at every read.
  EXPECT_EQ(ir_value_cached(ir(), decl_v(mem)), "%.0");
  EXPECT_EQ(ir_value_cached(ir(), decl_v(mem)), "%.1");
  EXPECT_EQ(ir_assignable_cached(ir(), decl_v(mem)), "%x");
  EXPECT_EQ(code_text(), "  %.0 = load i64, ptr %x\n  %.1 = load i64, ptr %x\n");
  end(f);
}

TEST_F(ValueIrTest, PropertyReadsClearTagBitsOfReferences) {
  Type* obj_t = ptr_t();
  Func* f = make_func(unit, "f", void_t(), {obj_t});
  begin(f);
  Value* obj = arg_v(f, 0);
  std::string o = arg(f, 0);
  Value* ref = prop_v(obj, prop("child", class_ref_t(), 16));
  EXPECT_EQ(ir_value_cached(ir(), ref), "%.4");
  Value* num = prop_v(obj, prop("count", int_t(4), 8));
  EXPECT_EQ(ir_value_cached(ir(), num), "%.6");
  Type* fn = kind_t(TYPE_FN);
  EXPECT_EQ(ir_value_cached(ir(), prop_v(obj, prop("cb", fn, 24))), "%.11");
  EXPECT_EQ(code_text(),
            "; Read prop: child\n"
            "  %.0 = getelementptr i8, ptr " + o + ", i32 16\n"
            "  %.1 = load ptr, ptr %.0\n"
            "  %.2 = ptrtoint ptr %.1 to i64\n"
            "  %.3 = and i64 %.2, -4\n"
            "  %.4 = inttoptr i64 %.3 to ptr\n"
            "; Read prop: count\n"
            "  %.5 = getelementptr i8, ptr " + o + ", i32 8\n"
            "  %.6 = load i32, ptr %.5\n"
            "; Read prop: cb\n"
            "  %.7 = getelementptr i8, ptr " + o + ", i32 24\n"
            "  %.8 = load ptr, ptr %.7\n"
            "  %.9 = ptrtoint ptr %.8 to i64\n"
            "  %.10 = and i64 %.9, -4\n"
            "  %.11 = inttoptr i64 %.10 to ptr\n");
  ir_ret_void(ir());
  end(f);
  assemble();
}

TEST_F(ValueIrTest, PointerElementsGlobalsAndAddresses) {
  Type* i32 = int_t(4);
  Type* u8 = uint_t(1);
  Type* raw = kind_t(TYPE_RAW_POINTER);
  Func* f = make_func(unit, "f", i32, {raw, int_t(8)});
  begin(f);
  Value* elem = bin(VAL_PTRV, i32, arg_v(f, 0), arg_v(f, 1));
  Value* off = bin(VAL_PTR_OFFSET, raw, arg_v(f, 0), int_v(5));
  off->element = u8;
  Value* alloc = val(VAL_STACK_ALLOC, raw);
  alloc->number = 24;
  Global* g = make_global(unit, "counter", i32);
  Value* gv = val(VAL_GLOBAL, i32);
  gv->global = g;
  Value* ref = un(VAL_REFERENCE, raw, gv);
  Value* inl = un(VAL_LOAD_INLINE, int_t(2), off);
  Value* cp = un(VAL_COPY, i32, elem);
  std::string p = arg(f, 0), i = arg(f, 1);
  EXPECT_EQ(ir_value_cached(ir(), elem), "%.1");
  EXPECT_EQ(ir_value_cached(ir(), cp), "%.1");
  EXPECT_EQ(ir_assignable_cached(ir(), cp), "%.0");
  EXPECT_EQ(ir_value_cached(ir(), off), "%.2");
  EXPECT_EQ(ir_value_cached(ir(), alloc), "%.3");
  EXPECT_EQ(ir_value_cached(ir(), gv), "%.4");
  EXPECT_EQ(ir_value_cached(ir(), ref), "@counter");
  EXPECT_EQ(ir_value_cached(ir(), inl), "%.5");
  EXPECT_EQ(code_text(),
            "  %.0 = getelementptr i32, ptr " + p + ", i64 " + i + "\n"
            "  %.1 = load i32, ptr %.0\n"
            "  %.2 = getelementptr i8, ptr " + p + ", i64 5\n"
            "  %.4 = load i32, ptr @counter\n"
            "; Load inline value\n"
            "  %.5 = load i16, ptr %.2\n");
  EXPECT_NE(ir()->func->start->text.to_string().find("%.3 = alloca [24 x i8]"), std::string::npos);
  EXPECT_NE(ir()->globals_text.to_string().find("@counter"), std::string::npos);
  ir_ret(ir(), "%.1", "i32");
  end(f);
  assemble();
}

TEST_F(ValueIrTest, InternalErrors) {
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  Value* no_global_type = val(VAL_GLOBAL, int_t(4));
  no_global_type->global = make_global(unit, "g", nullptr);
  struct Case {
    bool assignable;
    Value* v;
    const char* message;
  } cases[] = {
      {false, val(45), "# IR Error: Unhandled IR value (bug), type: 45"},
      {false, val(VAL_DECL_STORE), "# IR Error: Unhandled IR value (bug), type: 26"},
      {true, int_v(7), "# IR Error: IR: Unknown assignable value: 4"},
      {false, val(VAL_DECL), "# IR Error: Missing decl (bug)"},
      {true, val(VAL_DECL), "# IR Error: Missing decl (bug)"},
      {false, val(VAL_STRING), "# IR Error: Missing str object"},
      {false, val(VAL_GLOBAL), "# IR Error: Missing global in ir_value() (bug)"},
      {false, no_global_type, "# IR Error: Missing global type in ir_value() (bug)"},
      {true, val(VAL_GLOBAL), "# IR Error: Missing global (bug)"},
      {true, val(VAL_COPY), "# IR Error: Missing wrap value (bug)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(err([&] { c.assignable ? ir_assignable_cached(ir(), c.v) : ir_value_cached(ir(), c.v); }), c.message);
  }
  // A buffered value whose hidden local is missing.
  Value* buf = un(VAL_BUFFER_VALUE, int_t(8), int_v(1));
  EXPECT_EQ(err([&] { ir_assignable_cached(ir(), buf); }), "# IR Error: Missing buffer variable (bug)");
  // Without an active block, the memo cannot record where the operand is.
  ir()->block = nullptr;
  EXPECT_EQ(err([&] { ir_value_cached(ir(), int_v(1)); }), "# IR Error: Missing active block (bug)");
  end(f);
  Value* alloc = val(VAL_STACK_ALLOC, kind_t(TYPE_RAW_POINTER));
  EXPECT_EQ(err([&] { ir_value_cached(ir(), alloc); }), "# IR Error: Missing active func (bug)");
}

TEST_F(ValueIrTest, FatalLines) {
  Func* f = make_func(unit, "f", void_t(), {kind_t(TYPE_RAW_POINTER)});
  begin(f);
  Value* off = bin(VAL_PTR_OFFSET, kind_t(TYPE_RAW_POINTER), arg_v(f, 0), int_v(1));
  EXPECT_EQ(exit_line_of([&] { ir_value_cached(ir(), off); }), "1:Missing type for IR value ptr_offset\n");
  Type* bad = kind_t(TYPE_POINTER);
  bad->sub = kind_t(TYPE_CLASS);
  Value* p = prop_v(arg_v(f, 0), prop("x", bad, 0));
  std::string out = exit_line_of([&] { ir_value_cached(ir(), p); });
  EXPECT_EQ(out.rfind("1:", 0), 0u) << out;
  EXPECT_NE(out.find("Type has no class: "), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.size() - 7), " (bug)\n");
  end(f);
}

}  // namespace tesk::test
