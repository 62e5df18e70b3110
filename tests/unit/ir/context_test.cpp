#include "ir_fixture.h"

namespace tesk::test {

TEST(TextWriter, ChunksDoubleAndKeepOrder) {
  TextWriter w(1024);
  std::string a(3000, 'a');
  for (size_t i = 0; i < a.size(); i++) a[i] = static_cast<char>('a' + i % 26);
  w.append(a);
  ASSERT_NE(w.first->next, nullptr);
  EXPECT_EQ(w.first->capacity, 1024u);
  EXPECT_EQ(w.first->used, 1024u);
  EXPECT_EQ(w.first->next->capacity, 2048u);
  EXPECT_EQ(w.first->next->used, 1976u);
  std::string c(100, 'z');
  w.append(c);
  ASSERT_NE(w.first->next->next, nullptr);
  EXPECT_EQ(w.first->next->used, 2048u);
  EXPECT_EQ(w.first->next->next->capacity, 4096u);
  EXPECT_EQ(w.first->next->next->used, 28u);
  EXPECT_EQ(w.length, 3100u);
  EXPECT_EQ(w.to_string(), a + c);
}

TEST(TextWriter, SmallChunkGrowsToAtLeast128AndEmptyReadsEmpty) {
  TextWriter empty(1024);
  EXPECT_EQ(empty.to_string(), "");
  EXPECT_EQ(empty.length, 0u);

  TextWriter w(50);
  w.append(std::string(60, 'x'));
  ASSERT_NE(w.first->next, nullptr);
  EXPECT_EQ(w.first->next->capacity, 128u);
  EXPECT_EQ(w.first->next->used, 10u);

  TextWriter copy(4);
  copy.append(w);
  copy.append_i64(-42);
  copy.append_u64(18446744073709551615ull);
  EXPECT_EQ(copy.to_string(), std::string(60, 'x') + "-4218446744073709551615");
}

TEST_F(IrTest, UnitIrIsMadeOncePerUnit) {
  Unit* other = new_unit("other");
  IrUnit* a = get_unit_ir(unit);
  EXPECT_EQ(get_unit_ir(unit), a);
  EXPECT_EQ(a->unit, unit);
  EXPECT_EQ(a->build, b);
  EXPECT_NE(get_unit_ir(other), a);
  EXPECT_EQ(a->decls.first->capacity, 4000u);
  EXPECT_EQ(a->globals_text.first->capacity, 4000u);
  EXPECT_EQ(a->strings_text.first->capacity, 16000u);
  EXPECT_EQ(a->func, nullptr);
  EXPECT_EQ(a->block, nullptr);
}

TEST_F(IrTest, TemporariesAndBlocksAreNumberedPerFunction) {
  Func* f = make_func(unit, "f", void_t(), {});
  IrFunc* irf = begin(f);
  IrUnit* u = ir();
  EXPECT_EQ(u->block, irf->code);
  EXPECT_EQ(new_ir_temp(u), "%.0");
  EXPECT_EQ(new_ir_temp(u), "%.1");
  IrBlock* x = new_ir_block(irf, "while_cond");
  IrBlock* y = new_ir_block(irf, "if_code");
  EXPECT_EQ(x->name, "while_cond_0");
  EXPECT_EQ(y->name, "if_code_1");
  EXPECT_EQ(u->block, irf->code);  // a new block is not made active
  ASSERT_EQ(irf->blocks.size(), 4u);
  EXPECT_EQ(irf->blocks[0]->name, "start");
  EXPECT_EQ(irf->blocks[1]->name, "code");
  EXPECT_EQ(irf->blocks[3], y);
  // Stack allocations go to "start" whichever block is active.
  set_active_ir_block(u, y);
  EXPECT_EQ(ir_alloca_bytes(irf, 24), "%.2");
  EXPECT_EQ(block_text(irf->start), "  %.2 = alloca [24 x i8], align 8\n");
  EXPECT_EQ(block_text(y), "");
  end(f);

  Func* g = make_func(unit, "g", void_t(), {});
  begin(g);
  EXPECT_EQ(new_ir_temp(u), "%.0");
  EXPECT_EQ(new_ir_block(u->func, "x")->name, "x_0");
  end(g);
}

TEST_F(IrTest, MissingFunctionOrBlockIsAnIrError) {
  IrUnit* u = ir();
  EXPECT_EQ(error_of([&] { new_ir_temp(u); }), "# IR Error: Missing IR function");
  EXPECT_EQ(error_of([&] { active_ir_func(u); }), "# IR Error: Missing active func (bug)");
  EXPECT_EQ(error_of([&] { active_ir_block(u); }), "# IR Error: Missing active block (bug)");
  Func* f = make_func(unit, "f", void_t(), {});
  begin(f);
  end(f);  // clears the active function and block
  EXPECT_EQ(u->func, nullptr);
  EXPECT_EQ(u->vscope_block, nullptr);
  EXPECT_EQ(error_of([&] { ir_comment(u, "x"); }), "# IR Error: Missing active block (bug)");
  EXPECT_EQ(error_of([&] { ir_ret_void(u); }), "# IR Error: Missing active block (bug)");
  EXPECT_EQ(error_of([&] { ir_load(u, "%p", "i8"); }), "# IR Error: Missing IR function");
}

}  // namespace tesk::test
