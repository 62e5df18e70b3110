#include "fixture.h"

namespace tesk::s3test {
namespace {

const char* kDecls =
    "class Obj {\n    n: int\n}\n"
    "struct Pair {\n    a: int\n    b: i32\n}\n"
    "fn one(o: Obj, n: int) {\n}\n"
    "fn empty() {\n}\n";

TEST(SizeClass, Table) {
  World w({kDecls});
  struct Case {
    u64 bytes, index, item;
  } cases[] = {{0, 0, 8}, {1, 0, 8},   {8, 0, 8},     {9, 1, 16},     {12, 1, 16},    {16, 1, 16},
               {121, 15, 128}, {128, 15, 128}, {129, 16, 256}, {256, 16, 256}, {257, 17, 512},
               {512, 17, 512}, {513, 18, 1024}};
  for (const Case& c : cases) {
    SizeClass sc = size_class(w.b, c.bytes);
    EXPECT_EQ(sc.index, c.index) << c.bytes;
    EXPECT_EQ(sc.item_size, c.item) << c.bytes;
    EXPECT_GE(sc.item_size, c.bytes) << c.bytes;
  }
}

TEST(LayoutGcSlots, SlotsForGcLocalsAndAssignedArgs) {
  World w({kDecls});
  Func* f = w.fn("one");
  Type* obj = w.must_cls("Obj")->get_type();
  Outcome o = run([&] {
    f->init_scope();
    Decl* x = w.local(f, "x", obj);
    Decl* n = w.local(f, "n2", w.core("int"));
    Decl* y = w.local(f, "y", obj);
    layout_gc_slots(f);
    FuncAst* a = f->get_ast();
    // The argument `o` is never assigned: no slot.
    EXPECT_EQ(a->gc_slot_count, 2u);
    EXPECT_EQ(a->slot_bytes, 16u);
    EXPECT_EQ(x->offset, 0u);
    EXPECT_EQ(y->offset, 8u);
    ASSERT_EQ(a->gc_decls.size(), 2u);
    EXPECT_EQ(a->gc_decls[0], x);
    EXPECT_EQ(a->gc_decls[1], y);
    EXPECT_EQ(n->offset, 0u);
    EXPECT_TRUE(f->has_gc_slots);
    EXPECT_EQ(a->stable_stack_decl, nullptr);

    // Assigned anywhere in the body, the argument lives in memory and takes a slot.
    f->args[0]->decl->in_memory = 1;
    layout_gc_slots(f);
    EXPECT_EQ(a->gc_slot_count, 3u);
    EXPECT_EQ(f->args[0]->decl->offset, 0u);
    EXPECT_EQ(x->offset, 8u);
    EXPECT_EQ(a->gc_decls.size(), 3u);
  });
  EXPECT_FALSE(o.failed) << o.out;
}

TEST(LayoutGcSlots, StableLocalsAndNoGcSlots) {
  World w({kDecls});
  Func* f = w.fn("empty");
  Outcome o = run([&] {
    f->init_scope();
    Decl* pair = w.local(f, "p", w.must_cls("Pair")->get_type()->sub);  // 12 bytes inline
    pair->make_stable();
    Decl* g = w.local(f, "g", w.must_cls("Obj")->get_type());
    layout_gc_slots(f);
    FuncAst* a = f->get_ast();
    EXPECT_EQ(a->stable_bytes, 16u);
    EXPECT_EQ(pair->offset, 0u);
    ASSERT_NE(a->stable_stack_decl, nullptr);
    EXPECT_EQ(a->stable_stack_decl->name, "tesk_stable_stack");
    EXPECT_EQ(a->stable_stack_decl->ir_name, "%tesk_stable_stack");
    EXPECT_TRUE(a->stable_stack_decl->is_gc);
    EXPECT_EQ(a->stable_stack_decl->offset, 8u);  // after g's slot
    EXPECT_EQ(g->offset, 0u);
    EXPECT_EQ(a->gc_slot_count, 2u);
    ASSERT_EQ(a->gc_decls.size(), 3u);
    EXPECT_EQ(a->gc_decls[0], pair);
    EXPECT_EQ(a->gc_decls[2], a->stable_stack_decl);

    // Without GC slots: the GC local is a plain local (a stack slot only when it lives
    // in memory); the stable area still takes its hidden slot.
    f->reduced = 1;
    g->in_memory = 1;
    layout_gc_slots(f);
    EXPECT_EQ(a->gc_slot_count, 1u);
    EXPECT_EQ(a->stable_stack_decl->offset, 0u);
    ASSERT_EQ(a->gc_decls.size(), 3u);
    EXPECT_EQ(a->gc_decls[1], g);
    EXPECT_TRUE(f->has_gc_slots);
  });
  EXPECT_FALSE(o.failed) << o.out;
}

TEST(InsertGcFrame, FrameOfTwoSlots) {
  World w({kDecls});
  Func* f = w.fn("empty");
  Outcome o = run([&] {
    f->init_scope();
    Type* obj = w.must_cls("Obj")->get_type();
    w.local(f, "x", obj);
    w.local(f, "y", obj);
    layout_gc_slots(f);
    insert_gc_frame(f);
  });
  ASSERT_FALSE(o.failed) << o.out;
  FuncAst* a = f->get_ast();
  ASSERT_FALSE(a->scope->ast.empty());
  EXPECT_EQ(a->scope->ast[0]->kind, AST_SCOPE);
  EXPECT_EQ(a->scope->ast[0]->scope, a->prologue);
  EXPECT_EQ(kinds(a->prologue->ast),
            "#INCREASE GC STACK 0 5 5 5 15 0 #INIT LOCAL VARIABLES 13 13 #END LOCAL VARIABLES");
  std::vector<AstNode*>& p = a->prologue->ast;
  Value* old = p[1]->value;
  EXPECT_EQ(old->kind, VAL_GLOBAL);
  EXPECT_EQ(old->global->name, "gc_stack_sp");
  Value* frame = p[2]->value2;
  EXPECT_EQ(frame->kind, VAL_STACK_ALLOC);
  EXPECT_EQ(frame->number, 32u);
  EXPECT_EQ(p[2]->value, old);  // gc_stack_sp = frame
  EXPECT_EQ(p[3]->value->kind, VAL_PTRV);  // word 0 = previous
  EXPECT_EQ(p[3]->value->op2->number, 0u);
  EXPECT_EQ(p[3]->value2, old);
  EXPECT_EQ(p[4]->value->op2->number, 1u);  // word 1 = N
  EXPECT_EQ(p[4]->value2->number, 2u);
  EXPECT_EQ(p[5]->number, 16u);  // zeroed slots
  EXPECT_EQ(p[5]->value, a->slot_base);
  EXPECT_EQ(a->slot_base->kind, VAL_PTR_OFFSET);
  EXPECT_EQ(a->slot_base->op2->number, 16u);
  // The pop stores back what was read on entry: the same value object.
  ASSERT_EQ(kinds(a->epilogue->ast), "#REDUCE GC STACK 5");
  EXPECT_EQ(a->epilogue->ast[1]->value, old);
  EXPECT_EQ(a->epilogue->ast[1]->value2, old);
  // The function records the global it uses.
  EXPECT_EQ(f->used_globals.size(), 1u);
}

TEST(InsertGcFrame, NoSlotsNoFrame) {
  World w({kDecls});
  Func* f = w.fn("empty");
  Outcome o = run([&] {
    f->init_scope();
    w.local(f, "n", w.core("int"));
    Decl* pair = w.local(f, "p", w.must_cls("Pair")->get_type()->sub);
    (void)pair;
    layout_gc_slots(f);
    insert_gc_frame(f);
  });
  ASSERT_FALSE(o.failed) << o.out;
  FuncAst* a = f->get_ast();
  EXPECT_FALSE(f->has_gc_slots);
  EXPECT_EQ(kinds(a->prologue->ast), "#INIT LOCAL VARIABLES 13 #END LOCAL VARIABLES");
  EXPECT_TRUE(a->epilogue->ast.empty());
  EXPECT_EQ(a->slot_base, nullptr);
}

TEST(InsertGcFrame, StableStackFromItsPool) {
  World w({kDecls});
  Func* f = w.fn("empty");
  Outcome o = run([&] {
    f->init_scope();
    w.local(f, "p", w.must_cls("Pair")->get_type()->sub)->make_stable();
    layout_gc_slots(f);
    insert_gc_frame(f);
  });
  ASSERT_FALSE(o.failed) << o.out;
  FuncAst* a = f->get_ast();
  EXPECT_EQ(kinds(a->prologue->ast),
            "#STABLE STACK 0 #INCREASE GC STACK 0 5 5 5 15 0 #INIT LOCAL VARIABLES 13 13 "
            "#END LOCAL VARIABLES 5");
  Value* call = a->prologue->ast[1]->value;
  ASSERT_EQ(call->kind, VAL_CALL);
  EXPECT_EQ(a->stable_alloc, call);
  EXPECT_EQ(call->op1->func->name, "get");
  ASSERT_EQ(call->values.size(), 1u);
  Value* pool = call->values[0];
  EXPECT_EQ(pool->kind, VAL_PTRV);
  EXPECT_EQ(pool->op2->number, 1u);  // size class of 16 bytes
  EXPECT_EQ(pool->op1->kind, VAL_REFERENCE);
  EXPECT_EQ(pool->op1->op1->global->name, "pools");
  AstNode* last = a->prologue->ast.back();
  EXPECT_EQ(last->value->decl, a->stable_stack_decl);
  EXPECT_TRUE(a->stable_stack_decl->used);
  EXPECT_EQ(last->value2, call);
}

TEST(InsertGcFrame, EntranceFunctionKeepsItsPrologueForAllocas) {
  World w({kDecls});
  Func* f = w.fn("empty");
  f->entrance = 1;
  Outcome o = run([&] {
    f->init_scope();
    w.local(f, "x", w.must_cls("Obj")->get_type());
    layout_gc_slots(f);
    insert_gc_frame(f);
  });
  ASSERT_FALSE(o.failed) << o.out;
  FuncAst* a = f->get_ast();
  EXPECT_TRUE(a->scope->ast.empty());
  EXPECT_FALSE(a->prologue->ast.empty());
  EXPECT_TRUE(a->epilogue->ast.empty());
}

TEST(InsertGcFrame, RuntimeWithoutGcStackSpFails) {
  World w({kDecls}, false);
  Func* f = w.fn("empty");
  Outcome o = run([&] {
    f->init_scope();
    layout_gc_slots(f);
    insert_gc_frame(f);
  });
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.error, "Compiler bug | Missing tesk identifier: gc_stack_sp");
}

TEST(ParseFunctionAst, BodylessFunctionWarns) {
  World w({kDecls});
  Func* f = w.fn("empty");
  f->body_chunk = nullptr;
  Outcome o = run([&] { parse_function_ast(f); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(f->ast, nullptr);
  EXPECT_FALSE(f->parsed);
  ASSERT_FALSE(w.b->messages.empty());
  EXPECT_EQ(w.b->messages.back().type, MSG_WARNING);
  EXPECT_EQ(w.b->messages.back().message, "Missing function body");
}

TEST(ParseFunctionAst, ReadsBodyAndLaysOutFrame) {
  World w({kDecls, "fn holder(o: Obj) {\n    let a = o\n    let b = o\n}\n"});
  Func* f = w.fn("holder");
  Outcome o = run([&] { parse_function_ast(f); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_TRUE(f->parsed);
  FuncAst* a = f->get_ast();
  EXPECT_EQ(a->gc_slot_count, 2u);
  EXPECT_TRUE(f->has_gc_slots);
  EXPECT_EQ(a->scope->ast.front()->kind, AST_SCOPE);
  // A second run starts from scratch: same layout, nothing doubled.
  Outcome again = run([&] { parse_function_ast(f); });
  ASSERT_FALSE(again.failed) << again.out;
  EXPECT_NE(f->get_ast(), a);
  EXPECT_EQ(f->get_ast()->gc_slot_count, 2u);
  EXPECT_EQ(f->get_ast()->scope->decls.size(), 3u);
}

}  // namespace
}  // namespace tesk::s3test
