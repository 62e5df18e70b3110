// Scopes: lookup order, bindings, IR names of locals, null facts.
#include "world.h"

namespace tesk::test {
namespace {

struct LookupWorld : World {
  Func* fn = func("f");
  FuncAst* ast = nullptr;
  Scope* body = nullptr;
  Scope* inner = nullptr;
  Identifier* local_x = nullptr;
  Identifier* top_x = nullptr;
  Identifier* file_y = nullptr;
  Identifier* user_println = nullptr;

  LookupWorld() {
    ast = fn->init_scope();
    body = ast->scope;
    inner = new_scope(body, SCOPE_BLOCK);
    top_x = new_identifier_type(b, t("u8"));
    main_ns->scope->identifiers.set("x", top_x);
    local_x = new_identifier_type(b, t("i8"));
    inner->identifiers.set("x", local_x);
    file_y = new_identifier_type(b, t("u16"));
    main_file->scope->identifiers.set("y", file_y);
  }
};

TEST(Lookup, OrderTable) {
  LookupWorld w;
  // Names only a frame binds, and a frame name that a scope binds as well.
  CompileMacroFrame outer_frame, inner_frame;
  inner_frame.parent = &outer_frame;
  Identifier* frame_z = new_identifier_type(w.b, w.t("u32"));
  Identifier* frame_x = new_identifier_type(w.b, w.t("u64"));
  Identifier* outer_frame_q = new_identifier_type(w.b, w.t("i64"));
  inner_frame.vars.set("z", frame_z);
  inner_frame.vars.set("x", frame_x);
  outer_frame.vars.set("q", outer_frame_q);
  Parser* p = w.parser("");
  p->macros = &inner_frame;

  Identifier* rt_int = w.tesk->namespaces["type"]->scope->identifiers["int"];
  Identifier* rt_panic = w.tesk->namespaces["core"]->scope->identifiers["panic"];
  Identifier* rt_println = w.tesk->namespaces["io"]->scope->identifiers["println"];

  struct Case {
    const char* name;
    Scope* from;
    Identifier* want;
  } cases[] = {
      {"x", w.inner, w.local_x},    // local shadows top-level and frame
      {"x", w.body, w.top_x},       // namespace scope through the function's chain
      {"y", w.inner, w.file_y},     // file scope (use names)
      {"z", w.inner, frame_z},      // compile-time frame
      {"q", w.inner, outer_frame_q},// enclosing frame
      {"int", w.inner, rt_int},     // runtime default in "type"
      {"panic", w.inner, rt_panic}, // runtime default in "core"
      {"println", w.inner, rt_println},
      {"nothing", w.inner, nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(find_identifier(c.from, p, c.name), c.want) << c.name;
}

TEST(Lookup, TopLevelNameShadowsRuntimeDefault) {
  LookupWorld w;
  Identifier* mine = new_identifier_func(w.b, w.func("println"));
  w.main_ns->scope->identifiers.set("println", mine);
  EXPECT_EQ(find_identifier(w.inner, nullptr, "println"), mine);
}

TEST(Lookup, OuterScopeReplacesParent) {
  LookupWorld w;
  // A macro body expanded inside the function sees the macro's scope, not the function.
  Scope* macro_scope = make_scope(SCOPE_BLOCK, w.b, w.net_file->scope);
  Identifier* m = new_identifier_type(w.b, w.t("bool"));
  macro_scope->identifiers.set("m", m);
  Scope* expanded = new_scope(w.inner, SCOPE_BLOCK);
  expanded->outer = macro_scope;
  EXPECT_EQ(find_identifier(expanded, nullptr, "m"), m);
  EXPECT_EQ(find_identifier(expanded, nullptr, "x"), nullptr);  // parent's x not reached
  EXPECT_EQ(expanded->get_file(), w.net_file);
  EXPECT_EQ(expanded->find(SCOPE_FILE), w.net_file->scope);
  // Other kinds are searched by parents.
  EXPECT_EQ(expanded->find(SCOPE_FUNCTION), w.body);
}

TEST(Lookup, RuntimeDefaultFailures) {
  struct Case {
    std::function<void(World&)> prepare;
    const char* name;
    const char* message;
  } cases[] = {
      {[](World& w) { w.b->tesk_package = nullptr; }, "int", "Cannot find tesk package (bug)"},
      {[](World& w) { w.tesk->namespaces.erase("io"); }, "print", "Compiler bug | Missing tesk namespace: io"},
      {[](World& w) {}, "FD", "Compiler bug | Missing tesk identifier: FD"},
  };
  for (const Case& c : cases) {
    World w;
    c.prepare(w);
    Scope* s = new_scope(w.main_file->scope, SCOPE_BLOCK);
    EXPECT_EQ(build_error_message([&] { find_identifier(s, nullptr, c.name); }), c.message);
  }
}

TEST(Lookup, BreakInsideClosureDoesNotSeeOuterLoop) {
  LookupWorld w;
  Scope* loop = new_scope(w.body, SCOPE_LOOP);
  Scope* in_loop = new_scope(loop, SCOPE_BINDING);
  EXPECT_EQ(in_loop->find(SCOPE_LOOP), loop);
  Func* closure = w.func("");
  closure->decl_scope->parent = in_loop;
  FuncAst* cast = closure->init_scope();
  Scope* in_closure = new_scope(cast->scope, SCOPE_BLOCK);
  EXPECT_EQ(in_closure->find(SCOPE_LOOP), nullptr);
  EXPECT_EQ(in_closure->find_either(SCOPE_LOOP, SCOPE_VALUE), loop);  // no function stop
  EXPECT_EQ(in_closure->get_func(), closure);
  EXPECT_EQ(w.inner->get_func(), w.fn);
  EXPECT_EQ(w.main_file->scope->get_func(), nullptr);
}

TEST(Bindings, NameAlreadyUsed) {
  World w;
  Scope* s = make_scope(SCOPE_BLOCK, w.b, w.main_file->scope);
  ParseContext ctx{w.b, w.unit, nullptr, nullptr};
  s->set_identifier(&ctx, "a", new_identifier_type(w.b, w.t("int")));
  // A parent binding of the same name is no clash.
  Scope* child = new_scope(s, SCOPE_BLOCK);
  child->set_identifier(&ctx, "a", new_identifier_type(w.b, w.t("int")));
  EXPECT_EQ(build_error_message([&] { s->set_identifier(&ctx, "a", nullptr); }), "Name already used: a");
  EXPECT_EQ(build_error_message([&] { s->set_identifier_in_build(w.b, "a", nullptr); }), "Name already used: a");
  // With a parser the clash is a parse error at its position.
  Parser* p = w.parser("abc");
  ctx.parser = p;
  std::string report = parse_error_report_of([&] { s->set_identifier(&ctx, "a", nullptr); });
  EXPECT_NE(report.find("Name already used: a"), std::string::npos) << report;
  // Namespace declarations and directive variables refuse a second binding too.
  ctx.parser = nullptr;
  declare_in_namespace(w.util_file, &ctx, "u", new_identifier_type(w.b, w.t("int")));
  EXPECT_EQ(build_error_message([&] { declare_in_namespace(w.util_file, &ctx, "u", nullptr); }),
            "Name already used: u");
  CompileMacroFrame frame;
  frame_set_var(&frame, &ctx, "v", nullptr);
  EXPECT_EQ(build_error_message([&] { frame_set_var(&frame, &ctx, "v", nullptr); }), "Name already used: v");
}

TEST(Bindings, TwoArgumentsOfOneName) {
  World w;
  Func* f = w.func("f");
  f->add_arg("a", w.t("int"));
  f->add_arg("a", w.t("int"));
  EXPECT_EQ(build_error_message([&] { f->init_scope(); }), "Name already used: a");
}

TEST(Decls, IrNames) {
  World w;
  Func* f = w.func("f");
  f->add_arg("self", w.t("int"));
  FuncAst* ast = f->init_scope();
  EXPECT_EQ(f->args[0]->decl->ir_name, "%arg.self.0");
  struct Case {
    const char* name;
    bool arg, bind, buffer;
    const char* want;
  } cases[] = {
      {"x", false, false, false, "%var.x.1"},  {"", false, false, true, "%buf._.2"},
      {"c", false, true, false, "%bind.c.3"},  {"c", true, true, false, "%bind.c.4"},
      {"a", true, false, true, "%arg.a.5"},    {"", false, false, false, "%var._.6"},
  };
  for (const Case& c : cases) {
    Decl* d = new_decl(w.t("int"), c.arg, c.name);
    EXPECT_EQ(d->ir_name, "-nameless-");
    d->is_bind = c.bind;
    d->is_buffer = c.buffer;
    ast->scope->add_decl(d);
    EXPECT_EQ(d->ir_name, c.want);
  }
  EXPECT_EQ(ast->decl_counter, 7u);
  EXPECT_EQ(ast->scope->decls.size(), 7u);
}

TEST(Decls, LoopAndFunctionLists) {
  World w;
  Func* f = w.func("f");
  FuncAst* ast = f->init_scope();
  Scope* loop = new_scope(ast->scope, SCOPE_LOOP);
  Scope* branch = new_scope(loop, SCOPE_BINDING);
  Decl* d = new_decl(w.t("int"), false, "i");
  branch->add_decl(d);
  branch->add_decl(d);  // added again: new name, listed once
  EXPECT_EQ(loop->decls, std::vector<Decl*>{d});
  EXPECT_EQ(ast->scope->decls, std::vector<Decl*>{d});
  EXPECT_EQ(d->ir_name, "%var.i.1");

  // A reused temporary moving between loops joins each loop's list once.
  Scope* other = new_scope(ast->scope, SCOPE_LOOP);
  other->add_decl(d);
  branch->add_decl(d);
  other->add_decl(d);
  EXPECT_EQ(loop->decls, std::vector<Decl*>{d});
  EXPECT_EQ(other->decls, std::vector<Decl*>{d});
  EXPECT_EQ(ast->scope->decls, std::vector<Decl*>{d});

  // A second parse lists the arguments in its own body scope again.
  Func* g = w.func("g");
  g->add_arg("a", w.t("int"));
  FuncAst* first = g->init_scope();
  FuncAst* second = g->init_scope();
  EXPECT_EQ(first->scope->decls, std::vector<Decl*>{g->args[0]->decl});
  EXPECT_EQ(second->scope->decls, std::vector<Decl*>{g->args[0]->decl});
}

TEST(Decls, WithoutFunctionIsFatal) {
  World w;
  ExitThrows guard;
  Scope* s = make_scope(SCOPE_BLOCK, w.b, w.main_file->scope);
  EXPECT_EQ(build_error_message([&] { s->add_decl(new_decl(w.t("int"), false, "x")); }),
            "Adding a declaration to a scope without a function (bug)");
}

TEST(Decls, DerivedFlags) {
  World w;
  Class* vec = w.cls("Vec");
  Class* pt = w.cls("Pt", CLASS_STRUCT);
  FuncInfo* info = new_func_info(w.b);
  struct Case {
    Type* type;
    bool gc, in_memory;
  } cases[] = {
      {vec->get_type(), true, false},
      {vec->get_type()->sub, false, true},
      {pt->get_type(), false, false},
      {pt->get_type()->sub, false, true},
      {array_type(w.b, w.t("u8"), 4), false, true},
      {fn_type(w.b, info), true, false},
      {fnptr_type(w.b, info), false, false},
      {w.t("int"), false, false},
  };
  for (const Case& c : cases) {
    Decl* d = new_decl(c.type, false, "d");
    EXPECT_EQ(d->is_gc, c.gc) << c.type->to_text();
    EXPECT_EQ(d->in_memory, c.in_memory) << c.type->to_text();
    d->make_stable();
    EXPECT_EQ(d->stable, !c.gc) << c.type->to_text();
  }
  // A reference to a class value without its class is a fatal inconsistency.
  ExitThrows guard;
  Type* broken = new_type(w.b, TYPE_POINTER);
  broken->sub = new_type(w.b, TYPE_CLASS);
  EXPECT_EQ(build_error_message([&] { new_decl(broken, false, "b"); }),
            "Type has no class: <missing-class-name> (bug)");
}

TEST(NullFacts, NarrowingAndMerge) {
  World w;
  Func* f = w.func("f");
  FuncAst* ast = f->init_scope();
  Decl* x = new_decl(w.cls("Vec")->get_type()->get_nullable(), false, "x");
  Scope* outer = ast->scope;
  Scope* branch = new_scope(outer, SCOPE_BINDING);
  EXPECT_FALSE(branch->is_not_null(x));
  outer->set_not_null(x);
  EXPECT_TRUE(branch->is_not_null(x));
  branch->set_maybe_null(x);
  EXPECT_FALSE(branch->is_not_null(x));
  EXPECT_TRUE(outer->is_not_null(x));
  // A branch that left passes nothing on.
  branch->did_exit = 1;
  outer->merge_maybe_null(branch);
  EXPECT_TRUE(outer->is_not_null(x));
  branch->did_exit = 0;
  outer->merge_maybe_null(branch);
  EXPECT_FALSE(outer->is_not_null(x));
  EXPECT_EQ(outer->maybe_null, std::vector<Decl*>{x});
  EXPECT_TRUE(outer->not_null.empty());
  outer->set_not_null(x);
  outer->set_not_null(x);
  EXPECT_EQ(outer->not_null, std::vector<Decl*>{x});
  EXPECT_TRUE(outer->maybe_null.empty());
}

TEST(Context, Accessors) {
  World w;
  Func* f = w.func("f");
  ParseContext ctx{w.b, nullptr, nullptr, nullptr};
  EXPECT_EQ(build_error_message([&] { context_get_func(&ctx); }), "Missing function context");
  EXPECT_EQ(build_error_message([&] { context_get_unit(&ctx); }), "Missing unit context");
  ParseContext* fc = context_for_func(f);
  EXPECT_EQ(fc->func, f);
  EXPECT_EQ(fc->unit, w.unit);
  EXPECT_EQ(fc->parser, nullptr);
  ParseContext* copy = context_clone(fc);
  EXPECT_NE(copy, fc);
  EXPECT_EQ(copy->func, f);
  Func* g = w.func("g");
  context_note_func(fc, g);
  context_note_func(fc, g);
  EXPECT_EQ(f->called, std::vector<Func*>{g});
  Scope* s = make_scope(SCOPE_BLOCK, w.b, w.main_file->scope);
  EXPECT_EQ(build_error_message([&] { s->note_call(g); }), "Function call outside a function (bug)");
}

TEST(Identifiers, RefTextAndConstructors) {
  World w;
  EXPECT_EQ(identifier_ref_text(IdentifierRef{"Vec", "geo"}), "geo:Vec");
  EXPECT_EQ(identifier_ref_text(IdentifierRef{"Vec", ""}), "Vec");
  Property prop;
  Identifier* vp = new_identifier_value_property(w.b, &prop, nullptr);
  EXPECT_EQ(vp->kind, IDENT_VALUE_PROPERTY);
  EXPECT_EQ(vp->prop, &prop);
  Identifier* ns = new_identifier_namespace(w.b, w.util_ns);
  EXPECT_EQ(ns->kind, IDENT_NAMESPACE);
  EXPECT_EQ(ns->ns, w.util_ns);
  EXPECT_EQ(ns->func, nullptr);
  EXPECT_EQ(ns->class_, nullptr);
}

}  // namespace
}  // namespace tesk::test
