#include "stmt_fixture.h"

namespace tesk::test {
namespace {

using FuncIrTest = StmtIrTest;

TEST_F(FuncIrTest, TwoBlockFunctionExactText) {
  Func* f = make_func(unit, "two", int_t(4), {int_t(4)});
  std::string text = write_body(f, {comment("body"), ret(arg_v(f, 0))});
  EXPECT_EQ(text,
            "(i32 noundef %arg.a0.1) {\n"
            "start:\n"
            "  br label %code\n"
            "code:\n"
            "; body\n"
            "  ret i32 %arg.a0.1\n"
            "}\n\n");
  assemble();
}

// Blocks are numbered by one counter in creation order whatever their prefix, and
// the jump that ends "start" follows every stack allocation, even late ones.
TEST_F(FuncIrTest, LoopThenIfBlocksAndLateAllocation) {
  Func* f = make_func(unit, "loop_if", int_t(4), {bool_t(), int_t(4)});
  Decl* a1 = f->args[1]->decl;
  a1->in_memory = 1;
  Value* late = val(VAL_STACK_ALLOC, ptr_t());
  late->number = 16;
  std::string text = write_body(
      f, {decl_node(AST_DECL_OFFSET, a1),
          node(AST_WHILE, arg_v(f, 0), scope({node(AST_BREAK)}, true)),
          node(AST_IF, arg_v(f, 0), scope({node(AST_ZERO_MEMORY, late)})),
          ret(arg_v(f, 1))});
  EXPECT_EQ(text,
            "(i1 noundef %arg.a0.1, i32 noundef %arg.a1.2_init) {\n"
            "start:\n"
            "  %.0 = alloca [16 x i8], align 8\n"
            "  br label %code\n"
            "code:\n"
            "  %arg.a1.2 = alloca i32, align 4\n"
            "  store i32 %arg.a1.2_init, ptr %arg.a1.2, align 4\n"
            "  br label %while_cond_0\n"
            "while_cond_0:\n"
            "  br i1 %arg.a0.1, label %while_code_1, label %while_after_2\n"
            "while_code_1:\n"
            "  br label %while_after_2\n"
            "while_after_2:\n"
            "  br i1 %arg.a0.1, label %if_code_3, label %if_after_4\n"
            "if_code_3:\n"
            "  call void @llvm.memset.inline.p0.i64(ptr %.0, i8 0, i64 0, i1 0)\n"
            "  br label %if_after_4\n"
            "if_after_4:\n"
            "  %.1 = load i32, ptr %arg.a1.2\n"
            "  ret i32 %.1\n"
            "}\n\n");
  assemble();
}

TEST_F(FuncIrTest, InlineAndHotHeader) {
  Func* f = make_func(unit, "ih", void_t(), {});
  f->inline_ = 1;
  f->hot = 1;
  std::string text = write_body(f, {ret()});
  EXPECT_EQ(text.substr(0, text.find('\n')), "() alwaysinline hot {");
  std::string unit_text = assemble();
  EXPECT_TRUE(llvm_function_has_attribute(unit_text, "ih", "alwaysinline"));
  EXPECT_TRUE(llvm_function_has_attribute(unit_text, "ih", "hot"));
}

TEST_F(FuncIrTest, StageLineOnlyAtVerbosityThree) {
  Func* f = make_func(unit, "v", void_t(), {});
  f->display_name = "main:v";
  set_body(f, {ret()});
  for (u64 level : {2u, 3u}) {
    b->verbose = level;
    testing::internal::CaptureStdout();
    build_func_ir(f);
    build_func_ir(f);
    std::string out = testing::internal::GetCapturedStdout();
    if (level == 2) {
      EXPECT_EQ(out, "");
    } else {
      EXPECT_EQ(out,
                "> Stage 3.3: Building IR for: main:v\n"
                "> Stage 3.3: Building IR for: main:v\n");
    }
  }
}

// A second run (as the reduction pass makes) starts numbering afresh and replaces
// the text; nothing stays active in the unit between functions.
TEST_F(FuncIrTest, SecondRunReplacesTextAndLeavesNothingActive) {
  Func* f = make_func(unit, "again", void_t(), {bool_t()});
  set_body(f, {node(AST_IF, arg_v(f, 0), scope({ret()}, true)), ret()});
  build_func_ir(f);
  std::string first(f->ir_text);
  EXPECT_NE(first.find("if_code_0:"), std::string::npos) << first;
  // Fresh values, as a second parse gives.
  set_body(f, {node(AST_IF, arg_v(f, 0), scope({ret()}, true)), ret()});
  build_func_ir(f);
  EXPECT_EQ(f->ir_text, first);
  IrUnit* iu = ir();
  EXPECT_EQ(iu->func, nullptr);
  EXPECT_EQ(iu->break_block, nullptr);
  EXPECT_EQ(error_of([&] { active_ir_block(iu); }), "# IR Error: Missing active block (bug)");
  assemble();
}

TEST_F(FuncIrTest, MissingAstIsABuildError) {
  Func* f = make_func(unit, "noast", void_t(), {});
  EXPECT_EQ(error_of([&] { build_func_ir(f); }), "Missing function AST object (bug)");
  EXPECT_EQ(ir()->func, nullptr);
}

// A failure inside the body leaves no freed function behind in the unit.
TEST_F(FuncIrTest, FailureInBodyClearsActiveFunction) {
  Func* f = make_func(unit, "bad", void_t(), {});
  set_body(f, {node(AST_BREAK)});
  EXPECT_EQ(error_of([&] { build_func_ir(f); }), "# IR Error: Missing ir block for 'break' (bug)");
  EXPECT_EQ(ir()->func, nullptr);
  EXPECT_EQ(ir()->block, nullptr);
}

}  // namespace
}  // namespace tesk::test
