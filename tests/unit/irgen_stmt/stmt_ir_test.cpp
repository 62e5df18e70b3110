#include "stmt_fixture.h"

namespace tesk::test {
namespace {

class StmtTest : public StmtIrTest {
 protected:
  Func* f = nullptr;
  void SetUp() override {
    StmtIrTest::SetUp();
    f = make_func(unit, "s", void_t(), {bool_t(), ptr_t(), int_t(4)});
    set_body(f, {});
    begin(f);
  }
  // The statements written into the active block by one list.
  std::string write(std::vector<AstNode*> nodes) {
    std::string before = active_text();
    ir_statements(ir(), nodes);
    return active_text().substr(before.size());
  }
  Type* class_ptr_t() {
    Type* t = kind_t(TYPE_POINTER);
    t->sub = type_of(TYPE_CLASS, new_class(CLASS_CLASS, 16, false, "Obj"));
    return t;
  }
  Value* prop_v(Value* object, Type* type, u64 offset) {
    Property* p = b->make<Property>();
    p->name = "p";
    p->type = type;
    p->offset = offset;
    Value* v = val(VAL_PROP, type);
    v->op1 = object;
    v->property = p;
    return v;
  }
  Value* load_v(Value* ptr, Type* type) {
    Value* v = val(VAL_LOAD_INLINE, type);
    v->op1 = ptr;
    return v;
  }
};

TEST_F(StmtTest, EmptyListWritesNothingAndKeepsBlock) {
  IrBlock* before = ir()->block;
  EXPECT_EQ(write({}), "");
  EXPECT_EQ(ir()->block, before);
  // A nested scope makes no block of its own.
  EXPECT_EQ(write({node(AST_SCOPE, nullptr, scope({comment("in")}))}), "; in\n");
  EXPECT_EQ(ir()->block, before);
}

struct LineCase {
  const char* name;
  std::function<std::vector<AstNode*>(StmtTest*)> nodes;
  const char* expected;
};

TEST_F(StmtTest, StraightLineKinds) {
  const std::string a1 = arg(f, 1), a2 = arg(f, 2);
  std::vector<LineCase> cases = {
      {"comment", [this](StmtTest*) { return std::vector<AstNode*>{comment("hello")}; }, "; hello\n"},
      {"unreachable", [this](StmtTest*) { return std::vector<AstNode*>{node(AST_UNREACHABLE)}; },
       "  unreachable\n"},
      {"return void", [this](StmtTest*) { return std::vector<AstNode*>{ret()}; }, "  ret void\n"},
      {"zero memory",
       [this](StmtTest*) {
         AstNode* n = node(AST_ZERO_MEMORY, arg_v(f, 1));
         n->number = 24;
         return std::vector<AstNode*>{n};
       },
       "  call void @llvm.memset.inline.p0.i64(ptr %arg.a1.2, i8 0, i64 24, i1 0)\n"},
  };
  for (const LineCase& c : cases) {
    EXPECT_EQ(write(c.nodes(this)), c.expected) << c.name;
  }
}

// The empty result group of a function without results returns plain void.
TEST_F(StmtTest, ReturnOfEmptyGroupIsRetVoid) {
  Value* group = val(VAL_GROUP, multi_t({}));
  EXPECT_EQ(write({node(AST_VALUE, group), ret(group)}), "  ret void\n");
}

// A return after the evaluation of its value writes only the ret line.
TEST_F(StmtTest, ReturnUsesMemoisedOperand) {
  Value* v = load_v(arg_v(f, 1), int_t(4));
  EXPECT_EQ(write({node(AST_VALUE, v), ret(v)}),
            "; Load inline value\n"
            "  %.0 = load i32, ptr %arg.a1.2\n"
            "  ret i32 %.0\n");
}

TEST_F(StmtTest, DeclareVariants) {
  struct Case {
    const char* name;
    bool used, in_memory, gc, reduced;
    const char* text;  // after the value's own load line
    bool binds;        // Decl.ir_value set to the operand
  };
  std::vector<Case> cases = {
      {"unused", false, false, false, false, "", false},
      {"memory", true, true, false, false, "  store i32 %.N, ptr %var.x\n", false},
      {"gc slot", true, false, true, false, "  store i32 %.N, ptr %var.x\n", true},
      {"gc without frame", true, false, true, true, "", true},
      {"plain", true, false, false, false, "", true},
  };
  int n = 0;
  for (const Case& c : cases) {
    Decl* d = local("x", int_t(4));
    d->ir_name = "%var.x";
    d->used = c.used;
    d->in_memory = c.in_memory;
    d->is_gc = c.gc;
    f->reduced = c.reduced;
    std::string temp = "%." + std::to_string(n++);
    std::string expected = "; Load inline value\n  " + temp + " = load i32, ptr " + arg(f, 1) + "\n";
    std::string tail = c.text;
    if (!tail.empty()) tail.replace(tail.find("%.N"), 3, temp);
    EXPECT_EQ(write({decl_node(AST_DECLARE, d, load_v(arg_v(f, 1), int_t(4)))}), expected + tail) << c.name;
    EXPECT_EQ(d->ir_value, c.binds ? temp : "") << c.name;
  }
  f->reduced = 0;
}

TEST_F(StmtTest, DeclOffsetVariants) {
  FuncAst* a = f->get_ast();
  Value* slots = val(VAL_STACK_ALLOC, ptr_t());
  slots->number = 64;
  Value* stable = val(VAL_STACK_ALLOC, ptr_t());
  stable->number = 32;
  a->slot_base = slots;
  a->stable_alloc = stable;

  Decl* small = local("small", int_t(4), true);
  Decl* big = local("big", int_t(8), true);
  Decl* inl = local("st", struct_t(24), true);
  Decl* gc = local("g", class_ptr_t(), true);
  gc->is_gc = 1;
  gc->offset = 16;
  Decl* st = local("k", int_t(8), true);
  st->stable = 1;
  st->offset = 8;
  Decl* in_arg = f->args[2]->decl;
  in_arg->in_memory = 1;
  std::string out = write({decl_node(AST_DECL_OFFSET, small), decl_node(AST_DECL_OFFSET, big),
                           decl_node(AST_DECL_OFFSET, inl), decl_node(AST_DECL_OFFSET, gc),
                           decl_node(AST_DECL_OFFSET, st), decl_node(AST_DECL_OFFSET, in_arg)});
  EXPECT_EQ(out, "  " + small->ir_name + " = alloca i32, align 4\n" +
                     "  " + big->ir_name + " = alloca i64, align 8\n" +
                     "  " + inl->ir_name + " = alloca [24 x i8], align 8\n" +
                     "  " + gc->ir_name + " = getelementptr i8, ptr %.0, i32 16\n" +
                     "  " + st->ir_name + " = getelementptr i8, ptr %.1, i32 8\n" +
                     "  %arg.a2.3 = alloca i32, align 4\n"
                     "  store i32 %arg.a2.3_init, ptr %arg.a2.3, align 4\n");
  // Without a frame the GC local is an ordinary stack local.
  f->reduced = 1;
  Decl* gc2 = local("g2", class_ptr_t(), true);
  gc2->is_gc = 1;
  EXPECT_EQ(write({decl_node(AST_DECL_OFFSET, gc2)}), "  " + gc2->ir_name + " = alloca ptr, align 8\n");
  f->reduced = 0;
  write({ret()});
  end(f);
  assemble();
}

TEST_F(StmtTest, AssignChoosesWriteBarrierOnlyForGcReferenceIntoClassObject) {
  Type* obj_t = class_ptr_t();
  Value* obj = arg_v(f, 1);
  obj->type = obj_t;
  Value* ref = load_v(arg_v(f, 1), class_ptr_t());
  write({assign(prop_v(obj, class_ptr_t(), 8), ref)});
  EXPECT_EQ(ir()->block->name, "after_new_check_2");
  std::string barrier = block_text(ir_funcs.back()->blocks[2]);
  EXPECT_EQ(barrier, "  call void @tesk__gc__property_update(ptr " + arg(f, 1) + ", ptr %.1, ptr " + ref->ir +
                         ")\n  br label %after_new_check_2\n");

  // A struct reached through a pointer: plain store of the value's type.
  Value* sobj = arg_v(f, 1);
  Value* sref = load_v(arg_v(f, 1), class_ptr_t());
  std::string plain = write({assign(prop_v(sobj, class_ptr_t(), 8), sref)});
  EXPECT_EQ(plain.find("property_update"), std::string::npos) << plain;
  EXPECT_NE(plain.find("  store ptr " + sref->ir + ", ptr "), std::string::npos) << plain;

  // An integer into a class object: plain store typed by the assigned value.
  Value* obj2 = arg_v(f, 1);
  obj2->type = class_ptr_t();
  std::string num = write({assign(prop_v(obj2, int_t(8), 0), int_v(7, int_t(2)))});
  EXPECT_EQ(num, "  %.8 = getelementptr i8, ptr " + arg(f, 1) + ", i32 0\n  store i16 7, ptr %.8\n");
  write({ret()});
  end(f);
  assemble();
}

TEST_F(StmtTest, AssignWithClasslessTypeExits) {
  Type* broken = kind_t(TYPE_POINTER);
  broken->sub = type_of(TYPE_CLASS, nullptr);
  broken->sub->name = "Lost";
  Value* obj = arg_v(f, 1);
  obj->type = broken;
  std::string out = exit_output_of([&] { write({assign(prop_v(obj, class_ptr_t(), 0), int_v(0, int_t(8)))}); });
  EXPECT_EQ(out.rfind("Type has no class: ", 0), 0u) << out;
  EXPECT_EQ(out.substr(out.size() - 7), " (bug)\n") << out;
}

TEST_F(StmtTest, WhileBodyEndingInReturnHasNoBackEdge) {
  write({node(AST_WHILE, arg_v(f, 0), scope({ret()}, true)), ret()});
  EXPECT_EQ(block_text(ir_funcs.back()->blocks[3]), "  ret void\n");
  EXPECT_EQ(ir()->block->name, "while_after_2");
  end(f);
  assemble();
}

TEST_F(StmtTest, BreakAndContinueTargets) {
  // while c { if c { continue }; if c { break } } ; each { if c { continue }; break }
  write({node(AST_WHILE, arg_v(f, 0),
              scope({node(AST_IF, arg_v(f, 0), scope({node(AST_CONTINUE)}, true)),
                     node(AST_IF, arg_v(f, 0), scope({node(AST_BREAK)}, true))})),
         node(AST_EACH, nullptr,
              scope({node(AST_IF, arg_v(f, 0), scope({node(AST_CONTINUE)}, true)), node(AST_BREAK)}, true)),
         ret()});
  EXPECT_EQ(ir()->continue_block, nullptr);
  EXPECT_EQ(ir()->break_block, nullptr);
  std::string text = end(f);
  EXPECT_NE(text.find("if_code_3:\n  br label %while_cond_0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("if_code_5:\n  br label %while_after_2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("if_after_6:\n  br label %while_cond_0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("if_code_9:\n  br label %each_code_7\n"), std::string::npos) << text;
  EXPECT_NE(text.find("each_after_8:\n  ret void\n"), std::string::npos) << text;
  EXPECT_NE(text.find("if_after_10:\n  br label %each_after_8\n"), std::string::npos) << text;
  assemble();
}

TEST_F(StmtTest, NestedLoopRestoresOuterTargets) {
  // while c { while c { break }; break }
  write({node(AST_WHILE, arg_v(f, 0),
              scope({node(AST_WHILE, arg_v(f, 0), scope({node(AST_BREAK)}, true)), node(AST_BREAK)}, true)),
         ret()});
  std::string text = end(f);
  EXPECT_NE(text.find("while_code_4:\n  br label %while_after_5\n"), std::string::npos) << text;
  EXPECT_NE(text.find("while_after_5:\n  br label %while_after_2\n"), std::string::npos) << text;
  assemble();
}

TEST_F(StmtTest, IfWithAndWithoutElse) {
  write({node(AST_IF, arg_v(f, 0), scope({comment("then")}), scope({comment("else")})),
         node(AST_IF, arg_v(f, 0), scope({ret()}, true), scope({ret()}, true)), node(AST_UNREACHABLE)});
  std::string text = end(f);
  EXPECT_NE(text.find("code:\n  br i1 %arg.a0.1, label %if_code_0, label %if_else_1\n"
                      "if_code_0:\n; then\n  br label %if_after_2\n"
                      "if_else_1:\n; else\n  br label %if_after_2\n"
                      "if_after_2:\n  br i1 %arg.a0.1, label %if_code_3, label %if_else_4\n"
                      "if_code_3:\n  ret void\nif_else_4:\n  ret void\nif_after_5:\n  unreachable\n}"),
            std::string::npos)
      << text;
  assemble();
}

TEST_F(StmtTest, InternalErrors) {
  struct Case {
    std::function<std::vector<AstNode*>(StmtTest*)> nodes;
    const char* message;
  };
  std::vector<Case> cases = {
      {[this](StmtTest*) { return std::vector<AstNode*>{node(AST_NONE)}; }, "# IR Error: Unknown IR token: 8"},
      {[this](StmtTest*) { return std::vector<AstNode*>{node(16)}; }, "# IR Error: Unknown IR token: 16"},
      {[this](StmtTest*) { return std::vector<AstNode*>{node(AST_BREAK)}; },
       "# IR Error: Missing ir block for 'break' (bug)"},
      {[this](StmtTest*) { return std::vector<AstNode*>{node(AST_CONTINUE)}; },
       "# IR Error: Missing ir block for 'continue' (bug)"},
      {[this](StmtTest*) { return std::vector<AstNode*>{node(AST_VSCOPE_RETURN)}; },
       "# IR Error: Missing IR vscope block (bug)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(error_of([&] { write(c.nodes(this)); }), c.message);
  }
}

TEST_F(StmtTest, MalformedNodesExit) {
  Decl* d = local("m", int_t(4), true);
  d->stable = 1;
  Decl* g = local("g", class_ptr_t(), true);
  g->is_gc = 1;
  const std::string box = "# Build error\n-----------------------------\n";
  struct Case {
    std::function<std::vector<AstNode*>(StmtTest*)> nodes;
    std::string out;
  };
  std::vector<Case> cases = {
      {[this](StmtTest*) { return std::vector<AstNode*>{node(AST_VALUE)}; },
       box + "Missing token value (bug)\n-----------------------------\n"},
      {[this](StmtTest*) { return std::vector<AstNode*>{node(AST_ZERO_MEMORY)}; },
       box + "Missing token value (bug)\n-----------------------------\n"},
      {[&](StmtTest*) { return std::vector<AstNode*>{node(AST_DECLARE, int_v(1, int_t(4)))}; },
       box + "Missing token decl (bug)\n-----------------------------\n"},
      {[this](StmtTest*) { return std::vector<AstNode*>{node(AST_DECL_OFFSET)}; },
       "IR bug: Missing decl while defining decl_offset\n"},
      {[&](StmtTest*) { return std::vector<AstNode*>{decl_node(AST_DECL_OFFSET, d)}; },
       "IR bug: Missing cache_stable_adr in decl_offset\n"},
      {[&](StmtTest*) { return std::vector<AstNode*>{decl_node(AST_DECL_OFFSET, g)}; },
       "IR bug: Missing cache_stack_adr in decl_offset\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(exit_output_of([&] { write(c.nodes(this)); }), c.out);
  }
}

// Compiled and run: the branches and loops compute what the statements say.
TEST_F(StmtIrTest, JitRunsBranchesAndLoops) {
  Func* pick = make_func(unit, "pick", int_t(4), {bool_t()});
  write_body(pick, {node(AST_IF, arg_v(pick, 0), scope({ret(int_v(1, int_t(4)))}, true),
                         scope({ret(int_v(2, int_t(4)))}, true)),
                    node(AST_UNREACHABLE)});

  // x = 5; while c { x = 7; break }; each { x = x... ; break } ; return x
  Func* loop = make_func(unit, "loop", int_t(4), {bool_t()});
  Decl* x = local("x", int_t(4), true);
  auto x_v = [&] { return decl_v(x); };
  write_body(loop, {decl_node(AST_DECL_OFFSET, x), decl_node(AST_DECLARE, x, int_v(5, int_t(4))),
                    node(AST_WHILE, arg_v(loop, 0), scope({assign(x_v(), int_v(7, int_t(4))), node(AST_BREAK)}, true)),
                    node(AST_EACH, nullptr,
                         scope({node(AST_IF, arg_v(loop, 0), scope({node(AST_BREAK)}, true)),
                                assign(x_v(), int_v(9, int_t(4))), node(AST_BREAK)},
                               true)),
                    ret(x_v())});
  std::string text = assemble();
  JitUnit jit(text);
  ASSERT_EQ(jit.error(), "") << text;
  auto* pick_fn = jit.function<int(bool)>("pick");
  auto* loop_fn = jit.function<int(bool)>("loop");
  ASSERT_NE(pick_fn, nullptr);
  ASSERT_NE(loop_fn, nullptr);
  EXPECT_EQ(pick_fn(true), 1);
  EXPECT_EQ(pick_fn(false), 2);
  EXPECT_EQ(loop_fn(true), 7);
  EXPECT_EQ(loop_fn(false), 9);
}

}  // namespace
}  // namespace tesk::test
