#include <cmath>
#include <cstdint>

#include "ir_fixture.h"

namespace tesk::test {

TEST_F(IrTest, BasicWritersGoldenText) {
  Func* f = make_func(unit, "f", void_t(), {});
  IrFunc* irf = begin(f);
  IrUnit* u = ir();
  IrBlock* t = new_ir_block(irf, "if_code");
  IrBlock* e = new_ir_block(irf, "if_after");
  ir_comment(u, "a \"raw\" comment; not escaped");
  ir_br(u, t);
  ir_br_cond(u, "%.9", t, e);
  ir_store(u, "%p", "5", "i32");
  EXPECT_EQ(ir_load(u, "%p", "i32"), "%.0");
  EXPECT_EQ(ir_load(u, "%p", "ptr"), "%.1");
  ir_ret(u, "%.0", "i32");
  ir_ret_void(u);
  EXPECT_EQ(ir_gep_bytes(u, "%o", 0), "%.2");
  EXPECT_EQ(ir_gep_bytes(u, "%o", -4), "%.3");
  EXPECT_EQ(ir_gep(u, "%o", "i64", "%.3", "i32"), "%.4");
  EXPECT_EQ(active_text(),
            "; a \"raw\" comment; not escaped\n"
            "  br label %if_code_0\n"
            "  br i1 %.9, label %if_code_0, label %if_after_1\n"
            "  store i32 5, ptr %p\n"
            "  %.0 = load i32, ptr %p\n"
            "  %.1 = load ptr, ptr %p\n"
            "  ret i32 %.0\n"
            "  ret void\n"
            "  %.2 = getelementptr i8, ptr %o, i32 0\n"
            "  %.3 = getelementptr i8, ptr %o, i32 -4\n"
            "  %.4 = getelementptr i64, ptr %o, i32 %.3\n");
  end(f);
}

TEST_F(IrTest, CallLinesFollowTheSignature) {
  struct Case {
    Type* ret;
    std::vector<Type*> params;
    bool can_error;
    bool varargs;
    std::vector<std::string> args;
    const char* line;
  };
  Type* i64 = int_t(8);
  std::vector<Case> cases = {
      {i64, {ptr_t(), i64}, true, false, {"a", "b"}, "  %.0 = call {i64, i32, ptr} @callee(ptr a, i64 b)\n"},
      {void_t(), {ptr_t()}, false, true, {"a", "b", "c"}, "  call void (ptr, ...) @callee(ptr a, ptr b, ptr c)\n"},
      {void_t(), {}, false, true, {}, "  call void (...) @callee()\n"},
      {void_t(), {}, true, false, {}, "  %.0 = call {i32, ptr} @callee()\n"},
      {multi_t({i64, float_t(8)}), {}, false, false, {}, "  %.0 = call {i64, double} @callee()\n"},
      {i64, {bool_t()}, false, false, {"1"}, "  %.0 = call i64 @callee(i1 1)\n"},
      // Further arguments take the last fixed parameter's type, whatever their own.
      {void_t(), {int_t(4)}, false, true, {"1", "2", "3"}, "  call void (i32, ...) @callee(i32 1, i32 2, i32 3)\n"},
  };
  for (const Case& c : cases) {
    Func* caller = make_func(unit, "caller", void_t(), {});
    begin(caller);
    FuncInfo* info = b->make<FuncInfo>();
    info->args = c.params;
    if (c.ret->kind == TYPE_MULTI) info->rets = *c.ret->items;
    else if (c.ret->kind != TYPE_VOID) info->rets.push_back(c.ret);
    info->can_error = c.can_error;
    info->infinite = c.varargs;
    std::string r = ir_call(ir(), "@callee", info, c.args);
    EXPECT_EQ(active_text(), c.line);
    bool has_result = std::string(c.line).find(" = ") != std::string::npos;
    EXPECT_EQ(r, has_result ? "%.0" : "void");
    EXPECT_EQ(ir()->func->temp_counter, has_result ? 1u : 0u);
    end(caller);
  }
  // More arguments than a fixed signature has never index past its parameters.
  Func* caller = make_func(unit, "caller", void_t(), {});
  begin(caller);
  FuncInfo* none = b->make<FuncInfo>();
  EXPECT_EQ(error_of([&] { ir_call(ir(), "@callee", none, {"1"}); }),
            "# IR Error: Call with more arguments than parameters (bug)");
  end(caller);
}

TEST_F(IrTest, ExtractValueAndMemcpy) {
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  EXPECT_EQ(ir_extract_value(ir(), "%.7", "{i64, i32, ptr}", 1), "%.0");
  EXPECT_EQ(ir_extract_value(ir(), "%.7", "{i64, i32, ptr}", 2), "%.1");
  // @memcpy(a, b, 16) copies from a to b: LLVM's intrinsic names the destination first.
  ir_memcpy(ir(), "%a", "%b", "16");
  EXPECT_EQ(active_text(),
            "  %.0 = extractvalue {i64, i32, ptr} %.7, 1\n"
            "  %.1 = extractvalue {i64, i32, ptr} %.7, 2\n"
            "  call void @llvm.memcpy.p0.p0.i64(ptr %b, ptr %a, i64 16, i1 0)\n");
  end(f);
}

TEST_F(IrTest, AtomicLoadsAndStoresUseNaturalAlignment) {
  struct Case {
    Type* type;
    const char* ty;
    int align;
  };
  std::vector<Case> cases = {
      {uint_t(1), "i8", 1}, {int_t(2), "i16", 2},   {int_t(4), "i32", 4}, {float_t(4), "float", 4},
      {int_t(8), "i64", 8}, {float_t(8), "double", 8}, {ptr_t(), "ptr", 8},
  };
  for (const Case& c : cases) {
    Func* f = make_func(unit, "f", void_t(), {});
    begin(f);
    EXPECT_EQ(ir_store_atomic(ir(), "%.2", "5", c.type), "5");
    EXPECT_EQ(ir()->func->temp_counter, 0u);
    EXPECT_EQ(ir_load_atomic(ir(), "%.4", c.type), "%.0");
    EXPECT_EQ(ir()->func->temp_counter, 1u);
    std::string a = std::to_string(c.align);
    EXPECT_EQ(active_text(), std::string("  store atomic ") + c.ty + " 5, ptr %.2 release, align " + a +
                                 "\n  %.0 = load atomic " + c.ty + ", ptr %.4 acquire, align " + a + "\n");
    end(f);
  }
}

TEST_F(IrTest, AtomicAccessOfTypesLlvmCannotAccessAtomicallyIsRefused) {
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  for (Type* t : {bool_t(), struct_t(16), int_t(16), array_t(int_t(4), 2)}) {
    EXPECT_EQ(error_of([&] { ir_load_atomic(ir(), "%p", t); }),
              "Atomic access is not supported for values of type: " + t->to_text());
    EXPECT_EQ(error_of([&] { ir_store_atomic(ir(), "%p", "0", t); }),
              "Atomic access is not supported for values of type: " + t->to_text());
  }
  end(f);
  IrUnit* u = ir();
  EXPECT_EQ(error_of([&] { ir_load_atomic(u, "%p", int_t(4)); }), "# IR Error: Missing IR function");
  EXPECT_EQ(error_of([&] { ir_store_atomic(u, "%p", "1", int_t(4)); }), "# IR Error: Missing active block (bug)");
  EXPECT_EQ(error_of([&] { ir_memcpy(u, "%a", "%b", "1"); }), "# IR Error: Missing active block (bug)");
}

TEST_F(IrTest, ArithmeticOperationTable) {
  Type* fl = float_t(8);
  Type* si = int_t(8);
  Type* un = uint_t(8);
  struct Case {
    u64 op;
    const char *f, *s, *u;
  };
  std::vector<Case> cases = {
      {OP_ADD, "fadd", "add", "add"},      {OP_SUB, "fsub", "sub", "sub"},    {OP_MUL, "fmul", "mul", "mul"},
      {OP_DIV, "fdiv", "sdiv", "udiv"},    {OP_MOD, "frem", "srem", "urem"},  {OP_SHL, "shl", "shl", "shl"},
      {OP_SHR, "lshr", "lshr", "lshr"},    {OP_BIT_AND, "and", "and", "and"}, {OP_BIT_OR, "or", "or", "or"},
      {OP_BIT_XOR, "xor", "xor", "xor"},
  };
  for (const Case& c : cases) {
    Func* f = make_func(unit, "f", void_t(), {});
    begin(f);
    ir_op(ir(), "%.a", "%.b", c.op, fl, 0);
    ir_op(ir(), "%.a", "%.b", c.op, si, 0);
    ir_op(ir(), "%.a", "%.b", c.op, un, 0);
    EXPECT_EQ(active_text(), std::string("  %.0 = ") + c.f + " double %.a, %.b\n  %.1 = " + c.s +
                                 " i64 %.a, %.b\n  %.2 = " + c.u + " i64 %.a, %.b\n")
        << c.op;
    end(f);
  }
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  for (u64 op : std::vector<u64>{0, 6, 7, 11, 12, 13, 19}) {
    EXPECT_EQ(error_of([&] { ir_op(ir(), "1", "2", op, si, 0); }),
              "# IR Error: Unknown IR math operation: " + std::to_string(op) + " (bug)");
  }
  end(f);
}

TEST_F(IrTest, AtomicReadModifyWriteOnlyForOperationsLlvmHas) {
  struct Case {
    u64 op;
    Type* type;
    const char* line;
  };
  std::vector<Case> ok = {
      {OP_ADD, int_t(4), "  %.0 = atomicrmw add ptr %.2, i32 1 seq_cst\n"},
      {OP_SUB, uint_t(4), "  %.0 = atomicrmw sub ptr %.2, i32 1 seq_cst\n"},
      {OP_BIT_AND, int_t(8), "  %.0 = atomicrmw and ptr %.2, i64 1 seq_cst\n"},
      {OP_BIT_OR, uint_t(1), "  %.0 = atomicrmw or ptr %.2, i8 1 seq_cst\n"},
      {OP_BIT_XOR, int_t(2), "  %.0 = atomicrmw xor ptr %.2, i16 1 seq_cst\n"},
      {OP_ADD, float_t(8), "  %.0 = atomicrmw fadd ptr %.2, double 1 seq_cst\n"},
      {OP_SUB, float_t(4), "  %.0 = atomicrmw fsub ptr %.2, float 1 seq_cst\n"},
  };
  for (const Case& c : ok) {
    Func* f = make_func(unit, "f", void_t(), {});
    begin(f);
    EXPECT_EQ(ir_op(ir(), "%.2", "1", c.op, c.type, 1), "%.0");
    EXPECT_EQ(active_text(), c.line);
    end(f);
  }
  std::vector<Case> refused = {
      {OP_MUL, int_t(4), "*"},     {OP_DIV, int_t(4), "/"},       {OP_MOD, uint_t(8), "%"},
      {OP_SHL, int_t(8), "<<"},    {OP_SHR, int_t(8), ">>"},      {OP_MUL, float_t(8), "*"},
      {OP_BIT_AND, float_t(8), "&"}, {OP_BIT_XOR, float_t(4), "^"}, {OP_ADD, bool_t(), "+"},
      {OP_ADD, ptr_t(), "+"},      {OP_EQ, int_t(4), "=="},
  };
  for (const Case& c : refused) {
    Func* f = make_func(unit, "f", void_t(), {});
    begin(f);
    EXPECT_EQ(atomic_rmw_op(c.op, c.type), nullptr);
    EXPECT_EQ(error_of([&] { ir_op(ir(), "%.2", "1", c.op, c.type, 1); }),
              std::string("Atomic operation '") + c.line + "' is not supported on values of type: " +
                  c.type->to_text() + ". Supported: + - & | ^ on integers, + - on floats");
    EXPECT_EQ(active_text(), "");  // nothing half-written
    end(f);
  }
}

TEST_F(IrTest, ComparisonPredicateTable) {
  Type* fl = float_t(8);
  Type* si = int_t(4);
  Type* un = uint_t(4);
  struct Case {
    u64 op;
    const char *f, *s, *u;
  };
  std::vector<Case> cases = {
      {OP_EQ, "oeq", "eq", "eq"},    {OP_NE, "une", "ne", "ne"},    {OP_LTE, "ole", "sle", "ule"},
      {OP_LT, "olt", "slt", "ult"},  {OP_GTE, "oge", "sge", "uge"}, {OP_GT, "ogt", "sgt", "ugt"},
      {OP_AND, "oeq", "eq", "eq"},   {OP_ADD, "oeq", "eq", "eq"},
  };
  for (const Case& c : cases) {
    Func* f = make_func(unit, "f", void_t(), {});
    begin(f);
    ir_cmp(ir(), c.op, "%.a", "%.b", fl);
    ir_cmp(ir(), c.op, "%.a", "%.b", si);
    ir_cmp(ir(), c.op, "%.a", "%.b", un);
    EXPECT_EQ(active_text(), std::string("  %.0 = fcmp ") + c.f + " double %.a, %.b\n  %.1 = icmp " + c.s +
                                 " i32 %.a, %.b\n  %.2 = icmp " + c.u + " i32 %.a, %.b\n")
        << c.op;
    end(f);
  }
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  ir_cmp(ir(), OP_LT, "%.3", "null", ptr_t());
  ir_cmp(ir(), OP_LT, "%.3", "%.4", bool_t());
  EXPECT_EQ(active_text(), "  %.0 = icmp ult ptr %.3, null\n  %.1 = icmp ult i1 %.3, %.4\n");
  end(f);
}

TEST_F(IrTest, ShortCircuitBlockShape) {
  for (u64 op : {OP_AND, OP_OR}) {
    Func* f = make_func(unit, "f", void_t(), {});
    IrFunc* irf = begin(f);
    IrUnit* u = ir();
    irf->block_counter = 4;
    irf->temp_counter = 3;
    IrBlock* next = new_ir_block(irf, "and_or_next");
    std::string r = ir_and_or(u, op, irf->code, "%.1", next, "%.2", next);
    EXPECT_EQ(r, "%.3");
    ASSERT_EQ(irf->blocks.size(), 4u);
    EXPECT_EQ(irf->block_counter, 6u);
    EXPECT_EQ(u->block, irf->blocks[3]);
    EXPECT_EQ(u->block->name, "and_or_after_5");
    if (op == OP_AND) {
      EXPECT_EQ(block_text(irf->code), "  br i1 %.1, label %and_or_next_4, label %and_or_after_5\n");
      EXPECT_EQ(block_text(u->block), "  %.3 = phi i1 [ false, %code ], [ %.2, %and_or_next_4 ]\n");
    } else {
      EXPECT_EQ(block_text(irf->code), "  br i1 %.1, label %and_or_after_5, label %and_or_next_4\n");
      EXPECT_EQ(block_text(u->block), "  %.3 = phi i1 [ true, %code ], [ %.2, %and_or_next_4 ]\n");
    }
    EXPECT_EQ(block_text(next), "  br label %and_or_after_5\n");
    end(f);
  }
  IrUnit* u = ir();
  EXPECT_EQ(error_of([&] { ir_and_or(u, OP_AND, nullptr, "1", nullptr, "1", nullptr); }),
            "# IR Error: Missing active func (bug)");
}

// a && (b && c), written as the value IR does it, and checked by LLVM.
TEST_F(IrTest, NestedShortCircuitNamesTheInnerAfterBlock) {
  Func* f = make_func(unit, "nested", bool_t(), {bool_t(), bool_t(), bool_t()});
  IrFunc* irf = begin(f);
  IrUnit* u = ir();
  IrBlock* left = u->block;
  IrBlock* n1 = new_ir_block(irf, "and_or_next");
  set_active_ir_block(u, n1);
  IrBlock* n2 = new_ir_block(irf, "and_or_next");
  std::string inner = ir_and_or(u, OP_AND, n1, arg(f, 1), n2, arg(f, 2), n2);
  IrBlock* inner_after = u->block;
  set_active_ir_block(u, left);
  std::string outer = ir_and_or(u, OP_AND, left, arg(f, 0), n1, inner, inner_after);
  EXPECT_EQ(inner_after->name, "and_or_after_2");
  EXPECT_EQ(u->block->name, "and_or_after_3");
  EXPECT_EQ(block_text(u->block), "  %.1 = phi i1 [ false, %code ], [ %.0, %and_or_after_2 ]\n");
  ir_ret(u, outer, "i1");
  end(f);
  assemble();
}

TEST_F(IrTest, PhiNodes) {
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  EXPECT_EQ(ir_phi(ir(), "%.2", "this_or_that_v1_3", "%.3", "this_or_that_v2_4", "i64"), "%.0");
  ir_phi_list(ir(), {"1", "2", "3"}, {"a", "b", "c"}, "i32");
  ir_phi_list(ir(), {"1", "2", "3"}, {"a", "b"}, "i32");
  ir_phi_list(ir(), {}, {}, "i32");
  EXPECT_EQ(active_text(),
            "  %.0 = phi i64 [ %.2, %this_or_that_v1_3 ], [ %.3, %this_or_that_v2_4 ]\n"
            "  %.1 = phi i32 [ 1, %a ], [ 2, %b ], [ 3, %c ]\n"
            "  %.2 = phi i32 [ 1, %a ], [ 2, %b ]\n"
            "  %.3 = phi i32 \n");
  end(f);
}

// A three-way join through ir_phi_list, through LLVM.
TEST_F(IrTest, PhiJoinsAreValidIr) {
  Func* f = make_func(unit, "pick", int_t(8), {int_t(8)});
  IrFunc* irf = begin(f);
  IrUnit* u = ir();
  IrBlock* one = new_ir_block(irf, "one");
  IrBlock* two = new_ir_block(irf, "two");
  IrBlock* join = new_ir_block(irf, "join");
  IrBlock* last = new_ir_block(irf, "last");
  std::string c = ir_cmp(u, OP_LT, arg(f, 0), "10", int_t(8));
  ir_br_cond(u, c, one, two);
  set_active_ir_block(u, one);
  ir_br(u, join);
  set_active_ir_block(u, two);
  std::string c2 = ir_cmp(u, OP_GT, arg(f, 0), "20", int_t(8));
  ir_br_cond(u, c2, join, last);
  set_active_ir_block(u, last);
  ir_br(u, join);
  set_active_ir_block(u, join);
  std::string p = ir_phi_list(u, {"1", "2", "3"}, {one->name, two->name, last->name}, "i64");
  EXPECT_EQ(block_text(join), "  %.2 = phi i64 [ 1, %one_0 ], [ 2, %two_1 ], [ 3, %last_3 ]\n");
  ir_ret(u, p, "i64");
  end(f);
  std::string text = assemble();
  // A phi that names only two of three predecessors is rejected: LLVM checks the joins.
  size_t at = text.find("[ 3, %last_3 ]");
  ASSERT_NE(at, std::string::npos);
  std::string broken = text;
  broken.replace(at - 2, 16, "");
  EXPECT_NE(llvm_check(broken), "");
}

TEST_F(IrTest, CastMatrix) {
  Type* sbool = bool_t(true);
  struct Case {
    Type* from;
    Type* to;
    const char* text;  // lines written, with "v" as the operand; "" when none
  };
  std::vector<Case> cases = {
      {uint_t(1), int_t(8), "  %.0 = zext i8 v to i64\n"},
      {int_t(8), float_t(4), "  %.0 = sitofp i64 v to float\n"},
      {uint_t(8), float_t(8), "  %.0 = uitofp i64 v to double\n"},
      {float_t(8), uint_t(1), "  %.0 = fptosi double v to i64\n  %.1 = trunc i64 %.0 to i8\n"},
      // A u64 holds values from 2^63 up, for which fptosi has no result.
      {float_t(8), uint_t(8),
       "  %.0 = fcmp olt double v, 0.0\n  %.1 = fptosi double v to i64\n  %.2 = fptoui double v to i64\n"
       "  %.3 = select i1 %.0, i64 %.1, i64 %.2\n"},
      {float_t(4), uint_t(8),
       "  %.0 = fcmp olt float v, 0.0\n  %.1 = fptosi float v to i64\n  %.2 = fptoui float v to i64\n"
       "  %.3 = select i1 %.0, i64 %.1, i64 %.2\n"},
      {float_t(8), int_t(8), "  %.0 = fptosi double v to i64\n"},
      {float_t(8), uint_t(4), "  %.0 = fptosi double v to i64\n  %.1 = trunc i64 %.0 to i32\n"},
      {kind_t(TYPE_REFERENCE), int_t(4), "  %.0 = ptrtoint ptr v to i64\n  %.1 = trunc i64 %.0 to i32\n"},
      {uint_t(4), ptr_t(), "  %.0 = zext i32 v to i64\n  %.1 = inttoptr i64 %.0 to ptr\n"},
      {int_t(8), ptr_t(), "  %.0 = inttoptr i64 v to ptr\n"},
      {int_t(4), int_t(8), "  %.0 = sext i32 v to i64\n"},
      {uint_t(4), int_t(8), "  %.0 = zext i32 v to i64\n"},
      {int_t(8), int_t(2), "  %.0 = trunc i64 v to i16\n"},
      {bool_t(), int_t(8), "  %.0 = zext i1 v to i64\n"},
      {bool_t(), float_t(8), "  %.0 = uitofp i1 v to double\n"},
      {sbool, float_t(8), "  %.0 = sitofp i1 v to double\n"},
      {bool_t(), ptr_t(), "  %.0 = zext i1 v to i64\n  %.1 = inttoptr i64 %.0 to ptr\n"},
      {ptr_t(), int_t(8), "  %.0 = ptrtoint ptr v to i64\n"},
      {ptr_t(), float_t(8), "  %.0 = ptrtoint ptr v to i64\n  %.1 = uitofp i64 %.0 to double\n"},
      {float_t(8), ptr_t(), "  %.0 = fptosi double v to i64\n  %.1 = inttoptr i64 %.0 to ptr\n"},
      {float_t(4), float_t(8), "  %.0 = fpext float v to double\n"},
      {float_t(8), float_t(4), "  %.0 = fptrunc double v to float\n"},
      {float_t(4), int_t(4), "  %.0 = fptosi float v to i64\n  %.1 = trunc i64 %.0 to i32\n"},
      {int_t(8), int_t(16), "  %.0 = sext i64 v to -unknown-int-size-16\n"},
      // A bool is true for every value other than zero.
      {int_t(8), bool_t(), "  %.0 = icmp ne i64 v, 0\n"},
      {uint_t(1), bool_t(), "  %.0 = icmp ne i8 v, 0\n"},
      {ptr_t(), bool_t(), "  %.0 = icmp ne ptr v, null\n"},
      {kind_t(TYPE_FNPTR), bool_t(), "  %.0 = icmp ne ptr v, null\n"},
      {float_t(8), bool_t(), "  %.0 = fcmp une double v, 0.0\n"},
      {float_t(4), bool_t(), "  %.0 = fcmp une float v, 0.0\n"},
      // Nothing to do.
      {int_t(4), uint_t(4), ""},
      {float_t(8), float_t(8), ""},
      {bool_t(), bool_t(), ""},
      {int_t(8), int_t(8), ""},
  };
  for (const Case& c : cases) {
    Func* f = make_func(unit, "f", void_t(), {});
    begin(f);
    std::string r = ir_cast(ir(), "v", c.from, c.to);
    std::string text = active_text();
    EXPECT_EQ(text, c.text) << c.from->to_text() << " -> " << c.to->to_text();
    u64 n = ir()->func->temp_counter;
    EXPECT_EQ(r, n ? "%." + std::to_string(n - 1) : "v");
    end(f);
  }
  // Between pointer kinds nothing is written and no block is needed.
  IrUnit* u = ir();
  EXPECT_EQ(ir_cast(u, "%r", kind_t(TYPE_REFERENCE), kind_t(TYPE_FNPTR)), "%r");
  EXPECT_EQ(ir_cast(u, "%r", ptr_t(), kind_t(TYPE_RAW_POINTER, true)), "%r");
  EXPECT_EQ(error_of([&] { ir_cast(u, "%r", int_t(8), ptr_t()); }), "# IR Error: Missing active block (bug)");
}

// Every pair of source and target types, each in a function of its own, through LLVM.
TEST_F(IrTest, EveryCastIsValidIr) {
  std::vector<Type*> types = {ptr_t(),     kind_t(TYPE_REFERENCE), kind_t(TYPE_FNPTR), uint_t(1), int_t(2),
                              int_t(4),    uint_t(4),              int_t(8),           uint_t(8), float_t(4),
                              float_t(8),  bool_t(),               bool_t(true)};
  int n = 0;
  for (Type* from : types) {
    for (Type* to : types) {
      Func* f = make_func(unit, "cast_" + std::to_string(n++), to, {from});
      begin(f);
      std::string r = ir_cast(ir(), arg(f, 0), from, to);
      ir_ret(ir(), r, ir_type(to));
      end(f);
    }
  }
  assemble();
}

// What the written instructions compute, run on this machine.
TEST_F(IrTest, ComparisonsAndCastsComputeTheSoundResult) {
  auto binary = [&](const std::string& name, Type* t, Type* ret, const std::function<std::string(Func*)>& body) {
    Func* f = make_func(unit, name, ret, {t, t});
    begin(f);
    ir_ret(ir(), body(f), ir_type(ret));
    end(f);
  };
  auto cast = [&](const std::string& name, Type* from, Type* to) {
    Func* f = make_func(unit, name, to, {from});
    begin(f);
    ir_ret(ir(), ir_cast(ir(), arg(f, 0), from, to), ir_type(to));
    end(f);
  };
  Type* f64 = float_t(8);
  for (u64 op : {OP_EQ, OP_NE, OP_LT, OP_GTE}) {
    binary("cmp_" + std::to_string(op), f64, bool_t(),
           [&](Func* f) { return ir_cmp(ir(), op, arg(f, 0), arg(f, 1), f64); });
  }
  binary("shr_i64", int_t(8), int_t(8),
         [&](Func* f) { return ir_op(ir(), arg(f, 0), arg(f, 1), OP_SHR, int_t(8), 0); });
  cast("f64_to_u64", f64, uint_t(8));
  cast("f32_to_u64", float_t(4), uint_t(8));
  cast("f64_to_i64", f64, int_t(8));
  cast("f64_to_u8", f64, uint_t(1));
  cast("f64_to_bool", f64, bool_t());
  cast("i64_to_bool", int_t(8), bool_t());
  cast("ptr_to_bool", ptr_t(true), bool_t());
  std::string text = assemble();
  JitUnit jit(text);
  ASSERT_EQ(jit.error(), "");

  const double nan = std::nan("");
  struct CmpCase {
    double a, b;
    bool eq, ne, lt, gte;
  };
  const CmpCase cmps[] = {
      {1, 2, false, true, true, false},
      {2, 2, true, false, false, true},
      // NaN equals nothing, so it differs from everything, itself included.
      {nan, nan, false, true, false, false},
      {nan, 1, false, true, false, false},
  };
  auto eq = jit.function<bool(double, double)>("cmp_" + std::to_string(OP_EQ));
  auto ne = jit.function<bool(double, double)>("cmp_" + std::to_string(OP_NE));
  auto lt = jit.function<bool(double, double)>("cmp_" + std::to_string(OP_LT));
  auto gte = jit.function<bool(double, double)>("cmp_" + std::to_string(OP_GTE));
  ASSERT_TRUE(eq && ne && lt && gte);
  for (const CmpCase& c : cmps) {
    SCOPED_TRACE(std::to_string(c.a) + " vs " + std::to_string(c.b));
    EXPECT_EQ(eq(c.a, c.b), c.eq);
    EXPECT_EQ(ne(c.a, c.b), c.ne);
    EXPECT_EQ(ne(c.a, c.b), !eq(c.a, c.b));
    EXPECT_EQ(lt(c.a, c.b), c.lt);
    EXPECT_EQ(gte(c.a, c.b), c.gte);
  }

  // >> shifts zeros in, also on a signed value.
  auto shr = jit.function<int64_t(int64_t, int64_t)>("shr_i64");
  ASSERT_TRUE(shr);
  EXPECT_EQ(shr(16, 2), 4);
  EXPECT_EQ(shr(-8, 1), static_cast<int64_t>(0x7FFFFFFFFFFFFFFCull));

  auto f64_u64 = jit.function<uint64_t(double)>("f64_to_u64");
  auto f32_u64 = jit.function<uint64_t(float)>("f32_to_u64");
  auto f64_i64 = jit.function<int64_t(double)>("f64_to_i64");
  auto f64_u8 = jit.function<uint8_t(double)>("f64_to_u8");
  ASSERT_TRUE(f64_u64 && f32_u64 && f64_i64 && f64_u8);
  EXPECT_EQ(f64_u64(3.9), 3u);
  EXPECT_EQ(f64_u64(1e19), 10000000000000000000ull);
  EXPECT_EQ(f64_u64(9223372036854775808.0), 9223372036854775808ull);
  EXPECT_EQ(f64_u64(18446744073709549568.0), 18446744073709549568ull);
  EXPECT_EQ(f64_u64(-1.0), UINT64_MAX);  // negative values wrap as with narrower targets
  EXPECT_EQ(f32_u64(1e19f), static_cast<uint64_t>(1e19f));
  EXPECT_EQ(f64_i64(-2.5), -2);
  EXPECT_EQ(f64_u8(200.0), 200);
  EXPECT_EQ(f64_u8(-1.0), 255);

  auto f64_bool = jit.function<bool(double)>("f64_to_bool");
  auto i64_bool = jit.function<bool(int64_t)>("i64_to_bool");
  auto ptr_bool = jit.function<bool(const void*)>("ptr_to_bool");
  ASSERT_TRUE(f64_bool && i64_bool && ptr_bool);
  EXPECT_TRUE(f64_bool(2.0));
  EXPECT_TRUE(f64_bool(0.5));
  EXPECT_FALSE(f64_bool(0.0));
  EXPECT_FALSE(f64_bool(-0.0));
  EXPECT_TRUE(i64_bool(2));
  EXPECT_TRUE(i64_bool(-1));
  EXPECT_FALSE(i64_bool(0));
  int x = 0;
  EXPECT_TRUE(ptr_bool(&x));
  EXPECT_FALSE(ptr_bool(nullptr));
}

TEST_F(IrTest, OperatorsComparisonsAndAtomicsAreValidIr) {
  std::vector<Type*> ints = {uint_t(1), int_t(2), int_t(4), uint_t(4), int_t(8), uint_t(8)};
  std::vector<Type*> floats = {float_t(4), float_t(8)};
  int n = 0;
  auto binary = [&](Type* t, const std::function<std::string(Func*)>& body, Type* ret) {
    Func* f = make_func(unit, "op_" + std::to_string(n++), ret, {t, t});
    begin(f);
    ir_ret(ir(), body(f), ir_type(ret));
    end(f);
  };
  for (Type* t : ints) {
    for (u64 op : {OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_MOD, OP_SHL, OP_SHR, OP_BIT_AND, OP_BIT_OR, OP_BIT_XOR})
      binary(t, [&](Func* f) { return ir_op(ir(), arg(f, 0), arg(f, 1), op, t, 0); }, t);
    for (u64 op : {OP_EQ, OP_NE, OP_LTE, OP_LT, OP_GTE, OP_GT})
      binary(t, [&](Func* f) { return ir_cmp(ir(), op, arg(f, 0), arg(f, 1), t); }, bool_t());
  }
  for (Type* t : floats) {
    for (u64 op : {OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_MOD})
      binary(t, [&](Func* f) { return ir_op(ir(), arg(f, 0), arg(f, 1), op, t, 0); }, t);
    for (u64 op : {OP_EQ, OP_NE, OP_LTE, OP_LT, OP_GTE, OP_GT})
      binary(t, [&](Func* f) { return ir_cmp(ir(), op, arg(f, 0), arg(f, 1), t); }, bool_t());
  }
  for (Type* t : {ptr_t(), bool_t()})
    for (u64 op : {OP_EQ, OP_NE, OP_LT, OP_GTE})
      binary(t, [&](Func* f) { return ir_cmp(ir(), op, arg(f, 0), arg(f, 1), t); }, bool_t());

  // Atomics: (ptr p, T v) -> T
  std::vector<Type*> atomic_types = ints;
  atomic_types.insert(atomic_types.end(), floats.begin(), floats.end());
  atomic_types.push_back(ptr_t());
  for (Type* t : atomic_types) {
    std::vector<u64> ops;
    if (t->kind == TYPE_INT) ops = {OP_ADD, OP_SUB, OP_BIT_AND, OP_BIT_OR, OP_BIT_XOR};
    if (t->kind == TYPE_FLOAT) ops = {OP_ADD, OP_SUB};
    for (u64 op : ops) {
      Func* f = make_func(unit, "rmw_" + std::to_string(n++), t, {ptr_t(), t});
      begin(f);
      ir_ret(ir(), ir_op(ir(), arg(f, 0), arg(f, 1), op, t, 1), ir_type(t));
      end(f);
    }
    Func* f = make_func(unit, "atomic_" + std::to_string(n++), t, {ptr_t(), t});
    begin(f);
    ir_store_atomic(ir(), arg(f, 0), arg(f, 1), t);
    ir_ret(ir(), ir_load_atomic(ir(), arg(f, 0), t), ir_type(t));
    end(f);
  }
  assemble();
}

TEST_F(IrTest, WriteBarrierGoldenText) {
  Func* f = make_func(unit, "f", void_t(), {});
  IrFunc* irf = begin(f);
  IrUnit* u = ir();
  irf->temp_counter = 7;
  irf->block_counter = 6;
  EXPECT_EQ(ir_write_barrier(u, "OBJ", "ADDR", "VAL"), "VAL");
  EXPECT_EQ(block_text(irf->code),
            "  %.7 = getelementptr i8, ptr OBJ, i8 -4\n"
            "  %.8 = load i8, ptr %.7\n"
            "  %.9 = and i8 %.8, 3\n"
            "  %.10 = icmp ne i8 %.9, 0\n"
            "  br i1 %.10, label %if_not_new_6, label %if_new_7\n");
  ASSERT_EQ(irf->blocks.size(), 5u);
  EXPECT_EQ(irf->blocks[2]->name, "if_not_new_6");
  EXPECT_EQ(block_text(irf->blocks[2]),
            "  call void @tesk__gc__property_update(ptr OBJ, ptr ADDR, ptr VAL)\n"
            "  br label %after_new_check_8\n");
  EXPECT_EQ(irf->blocks[3]->name, "if_new_7");
  EXPECT_EQ(block_text(irf->blocks[3]), "  store ptr VAL, ptr ADDR\n  br label %after_new_check_8\n");
  EXPECT_EQ(irf->blocks[4]->name, "after_new_check_8");
  EXPECT_EQ(u->block, irf->blocks[4]);
  EXPECT_EQ(block_text(irf->blocks[4]), "");
  EXPECT_EQ(irf->temp_counter, 11u);
  // The runtime function lives in another unit: declared here once.
  EXPECT_EQ(u->decls.to_string(), "declare void @tesk__gc__property_update(ptr noundef nonnull, ptr noundef nonnull, ptr noundef)\n");
  end(f);
}

TEST_F(IrTest, TwoWriteBarriersInOneFunctionAreValidIr) {
  Func* f = make_func(unit, "store_twice", void_t(), {ptr_t(), ptr_t(), ptr_t(true)});
  f->called.push_back(property_update);
  IrFunc* irf = begin(f);
  IrUnit* u = ir();
  std::string a1 = ir_gep_bytes(u, arg(f, 0), 8);
  ir_write_barrier(u, arg(f, 0), a1, arg(f, 2));
  std::string a2 = ir_gep_bytes(u, arg(f, 1), 16);
  ir_write_barrier(u, arg(f, 1), a2, arg(f, 2));
  ir_ret_void(u);
  std::vector<std::string> names;
  for (IrBlock* blk : irf->blocks) names.push_back(blk->name);
  EXPECT_EQ(names, (std::vector<std::string>{"start", "code", "if_not_new_0", "if_new_1", "after_new_check_2",
                                             "if_not_new_3", "if_new_4", "after_new_check_5"}));
  // The second barrier starts in the first one's "after_new_check" block.
  std::string head = "  %.5 = getelementptr i8, ptr " + arg(f, 1) + ", i32 16\n  %.6 = getelementptr i8";
  EXPECT_EQ(block_text(irf->blocks[4]).substr(0, head.size()), head);
  end(f);
  std::string text = assemble();
  EXPECT_EQ(text.find("declare void @tesk__gc__property_update"), text.rfind("declare void @tesk__gc__property_update"));
}

TEST_F(IrTest, WriteBarrierRuntimeLookupErrors) {
  Func* f = make_func(unit, "f", void_t(), {});
  IrFunc* irf = begin(f);
  IrUnit* u = ir();
  Namespace* gc = *b->tesk_package->namespaces.find("gc");

  (*gc->scope->identifiers.find("property_update"))->func = nullptr;
  EXPECT_EQ(error_of([&] { ir_write_barrier(u, "o", "a", "v"); }), "Compiler bug | Identifier is not a function");
  // The header test was written before the lookup.
  EXPECT_NE(block_text(irf->code).find("icmp ne i8"), std::string::npos);

  gc->scope->identifiers.erase("property_update");
  set_active_ir_block(u, irf->code);
  EXPECT_EQ(error_of([&] { ir_write_barrier(u, "o", "a", "v"); }),
            "Compiler bug | Missing tesk identifier: property_update");

  b->tesk_package->namespaces.erase("gc");
  set_active_ir_block(u, irf->code);
  EXPECT_EQ(error_of([&] { ir_write_barrier(u, "o", "a", "v"); }), "Compiler bug | Missing tesk namespace: gc");

  b->tesk_package = nullptr;
  set_active_ir_block(u, irf->code);
  EXPECT_EQ(error_of([&] { ir_write_barrier(u, "o", "a", "v"); }), "Cannot find tesk package (bug)");
  end(f);
}

// Calls of functions of another unit, with errors, several results and variadic
// arguments, and the extraction of their results, through LLVM.
TEST_F(IrTest, CallsAndResultsAreValidIr) {
  Unit* other = new_unit("other");
  Type* i64 = int_t(8);
  Func* fails = make_func(other, "fails", i64, {ptr_t(), i64});
  make_can_error(fails);
  Func* pair = make_func(other, "pair", multi_t({i64, float_t(8)}), {});
  Func* vararg = make_func(other, "vararg", void_t(), {ptr_t()});
  vararg->varargs = 1;
  Func* only_varargs = make_func(other, "only_varargs", void_t(), {});
  only_varargs->varargs = 1;
  Func* void_fails = make_func(other, "void_fails", void_t(), {});
  make_can_error(void_fails);

  Func* f = make_func(unit, "caller", i64, {ptr_t(), i64});
  begin(f);
  IrUnit* u = ir();
  std::string r = ir_call(u, ir_func_ref(u, fails), info_of(fails), {arg(f, 0), arg(f, 1)});
  std::string value = ir_extract_value(u, r, ir_type(fails->ir_return_type), 0);
  std::string code = ir_extract_value(u, r, ir_type(fails->ir_return_type), 1);
  ir_extract_value(u, r, ir_type(fails->ir_return_type), 2);
  std::string p = ir_call(u, ir_func_ref(u, pair), info_of(pair), {});
  ir_extract_value(u, p, ir_type(pair->return_type), 1);
  EXPECT_EQ(ir_call(u, ir_func_ref(u, vararg), info_of(vararg), {arg(f, 0), arg(f, 0), "null"}), "void");
  ir_call(u, ir_func_ref(u, only_varargs), info_of(only_varargs), {});
  ir_call(u, ir_func_ref(u, void_fails), info_of(void_fails), {});
  std::string buf = ir_alloca_bytes(u->func, 32);
  ir_memcpy(u, arg(f, 0), buf, "32");
  std::string wide = ir_cast(u, code, uint_t(4), i64);
  ir_ret(u, ir_op(u, value, wide, OP_ADD, i64, 0), "i64");
  end(f);
  assemble();
}

}  // namespace tesk::test
