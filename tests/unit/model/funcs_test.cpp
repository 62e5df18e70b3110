// Functions and globals: names, body scopes, temporaries, use marking.
#include "ir/records.h"
#include "world.h"

#include <algorithm>

namespace tesk::test {
namespace {

TEST(Funcs, Names) {
  World w;
  Namespace* core = w.tesk->namespaces["core"];
  SourceFile* core_file = w.add_file(core, "/pkg/tesk/core/c.tesk");
  struct Case {
    SourceFile* file;
    const char* name;
    bool no_body;
    const char* exported;
    const char* display;
  } cases[] = {
      {w.main_file, "f", false, "f", "f"},
      {w.util_file, "f", false, "util__f", "util:f"},
      {core_file, "f", false, "tesk__core__f", "tesk:core:f"},
      {w.net_file, "get", false, "web__net__get", "web:net:get"},
      {w.util_file, "puts", true, "puts", "puts"},
  };
  for (const Case& c : cases) {
    Func* f = new_func(w.unit, c.file, c.file, 292, c.name, nullptr, nullptr, c.no_body);
    EXPECT_EQ(f->export_name, c.exported);
    EXPECT_EQ(f->display_name, c.display);
    EXPECT_EQ(f->no_body, c.no_body);
    EXPECT_EQ(f->opaque_calls, c.no_body);
    EXPECT_EQ(f->test_name, "-nameless-test-");
    EXPECT_EQ(f->return_type, f->ir_return_type);
    EXPECT_EQ(f->return_type->kind, TYPE_VOID);
    EXPECT_EQ(f->decl_scope->parent, c.file->scope);
    EXPECT_EQ(f->decl_scope->kind, SCOPE_BLOCK);
  }
}

TEST(Funcs, AnonymousCounterSharedWithClasses) {
  World w;
  u64 start = w.b->anon_counter;
  Func* a = w.func("");
  Class* c = new_class(w.unit, w.main_file, 292, "", CLASS_STRUCT, nullptr, nullptr);
  Func* d = new_func(w.unit, w.util_file, w.util_file, 292, "", nullptr, nullptr, false);
  Class* e = new_class(w.unit, w.net_file, 292, "", CLASS_CLASS, nullptr, nullptr);
  EXPECT_EQ(a->name, "anon_func_" + std::to_string(start));
  EXPECT_EQ(a->display_name, "<anonymous-function>");
  EXPECT_EQ(c->name, "anon_struct_" + std::to_string(start + 1));
  EXPECT_EQ(c->display_name, "<anonymous-struct>");
  EXPECT_EQ(d->export_name, "util__anon_func_" + std::to_string(start + 2));
  EXPECT_EQ(e->name, "anon_class_" + std::to_string(start + 3));
  EXPECT_EQ(e->display_name, "web:net:anon_class_" + std::to_string(start + 3));
}

TEST(Funcs, GenericFunctionsAreNotListed) {
  World w;
  size_t before = w.b->functions.size();
  GenericNames* names = w.b->make<GenericNames>();
  Func* g = new_func(w.unit, w.main_file, w.main_file, 292, "g", names, nullptr, false);
  EXPECT_EQ(g->is_generic, 1);
  EXPECT_EQ(g->in_docs, 0);
  ASSERT_NE(g->generic_instances, nullptr);
  EXPECT_EQ(w.b->functions.size(), before);
  Func* f = w.func("f");
  EXPECT_EQ(w.b->functions.back(), f);
  EXPECT_EQ(w.unit->funcs.back(), f);
  EXPECT_EQ(w.b->function_queue.back(), f);
  EXPECT_EQ(f->in_docs, 1);
}

TEST(Funcs, Globals) {
  World w;
  Global* g = new_global(w.unit, w.main_file, 292, "g", "util__g", "util:g", nullptr, nullptr, false);
  Global* e = new_global(w.unit, w.main_file, 292, "errno", "errno", "errno", nullptr, nullptr, true);
  EXPECT_EQ(g->ir_name, "@util__g");
  EXPECT_EQ(w.unit->globals, std::vector<Global*>{g});
  EXPECT_EQ(w.b->globals, (std::vector<Global*>{g, e}));
  EXPECT_EQ(build_error_message([&] { g->get_type(); }), "Missing global type (bug). Name: util__g");
}

TEST(Funcs, InitScope) {
  World w;
  struct Case {
    Type* ret;
    bool must_return;
  } cases[] = {
      {void_type(w.b), false},
      {none_type(w.b), false},
      {new_type(w.b, TYPE_UNDEFINED), false},
      {new_type(w.b, TYPE_MULTI), false},
      {multi_type(w.b, {w.t("int"), w.t("int")}, false), true},
      {w.t("int"), true},
  };
  for (const Case& c : cases) {
    Func* f = w.func("f");
    f->return_type = c.ret;
    FuncArg* a = f->add_arg("a", w.t("int"));
    f->called.push_back(f);
    FuncAst* ast = f->init_scope();
    EXPECT_EQ(f->ast, ast);
    EXPECT_EQ(ast->scope->kind, SCOPE_FUNCTION);
    EXPECT_EQ(ast->scope->func, f);
    EXPECT_EQ(ast->scope->parent, f->decl_scope);
    EXPECT_EQ(ast->prologue->parent, ast->scope);
    EXPECT_EQ(ast->epilogue->parent, ast->scope);
    EXPECT_EQ(ast->prologue->func, f);
    EXPECT_EQ(ast->scope->must_return, c.must_return) << c.ret->to_text();
    EXPECT_EQ(ast->scope->identifiers["a"]->decl, a->decl);
    EXPECT_EQ(a->decl->ir_name, "%arg.a.0");
    EXPECT_EQ(a->decl->is_arg, 1);
    EXPECT_TRUE(f->called.empty());
  }
}

TEST(Funcs, AstLifecycle) {
  World w;
  Func* f = w.func("f");
  EXPECT_EQ(build_error_message([&] { f->get_ast(); }), "Missing function AST object (bug)");
  f->drop_ast();  // nothing to drop
  FuncAst* ast = f->init_scope();
  Decl* x = new_decl(w.t("int"), false, "x");
  ast->scope->add_decl(x);
  f->drop_ast();
  EXPECT_EQ(f->ast, nullptr);
  EXPECT_EQ(f->kept_decls, std::vector<Decl*>{x});
  // A second parse starts over with fresh scopes and a fresh counter.
  FuncAst* again = f->init_scope();
  EXPECT_NE(again, ast);
  EXPECT_TRUE(again->scope->decls.empty());
  EXPECT_EQ(again->decl_counter, 0u);
}

TEST(Funcs, ParseInAResetRegionListsArgumentsAgain) {
  // Each parse's body lives in the function arena; after a reset the next body lands at
  // the same address, and its arguments and loop locals must still be listed in it.
  World w;
  Func* f = w.func("f");
  FuncArg* a = f->add_arg("a", w.t("int"));
  Decl* x = new_decl(w.t("int"), false, "x");
  w.b->func_region = 1;
  FuncAst* ast = f->init_scope();
  Scope* body = ast->scope;
  Scope* loop = new_scope(body, SCOPE_LOOP);
  loop->add_decl(x);
  EXPECT_EQ(body->func_lived, 1);
  EXPECT_EQ(loop->func_lived, 1);
  EXPECT_EQ(body->decls, (std::vector<Decl*>{a->decl, x}));
  EXPECT_EQ(loop->decls, std::vector<Decl*>{x});
  f->drop_ast();
  w.b->func_arena.reset();

  FuncAst* again = f->init_scope();
  Scope* loop2 = new_scope(again->scope, SCOPE_LOOP);
  ASSERT_EQ(again->scope, body);  // the trap: same address as the first body
  ASSERT_EQ(loop2, loop);
  loop2->add_decl(x);
  EXPECT_EQ(again->scope->decls, (std::vector<Decl*>{a->decl, x}));
  EXPECT_EQ(loop2->decls, std::vector<Decl*>{x});
  EXPECT_EQ(a->decl->ir_name, "%arg.a.0");
  f->drop_ast();
  w.b->func_arena.reset();
  w.b->func_region = 0;

  // Outside a region bodies stay in the build's arena.
  FuncAst* kept = f->init_scope();
  EXPECT_EQ(kept->scope->func_lived, 0);
  EXPECT_EQ(new_scope(kept->scope, SCOPE_BLOCK)->func_lived, 0);
}

TEST(Funcs, DropInARegionKeepsCopiesOfTheLocalsTheWarningReads) {
  World w;
  Func* f = w.func("f");
  FuncArg* a = f->add_arg("a", w.t("int"));
  Chunk* at = new_chunk(w.b, w.main_file, "let x = 1\n");
  w.b->func_region = 1;
  FuncAst* ast = f->init_scope();
  auto local = [&](const char* name, Chunk* chunk, bool used) {
    Decl* d = new_decl(w.t("int"), false, name);
    d->chunk = chunk;
    d->used = used;
    ast->scope->add_decl(d);
    return d;
  };
  local("used", at, true);
  Decl* unused = local("unused", at, false);
  local("", at, false);            // a temporary
  local("generated", nullptr, false);
  Decl* second = local("second", at, false);
  f->drop_ast();
  w.b->func_arena.reset();
  ASSERT_EQ(f->kept_decls.size(), 2u);
  EXPECT_NE(f->kept_decls[0], unused);  // a copy: the local itself is gone with the body
  EXPECT_NE(f->kept_decls[1], second);
  EXPECT_EQ(f->kept_decls[0]->name, "unused");
  EXPECT_EQ(f->kept_decls[1]->name, "second");
  EXPECT_EQ(f->kept_decls[0]->chunk, at);
  EXPECT_EQ(f->kept_decls[0]->used, 0);
  // Arguments are the function's and outlive every parse.
  EXPECT_EQ(a->decl->name, "a");
  EXPECT_EQ(a->decl->ir_name, "%arg.a.0");
  w.b->func_region = 0;
}

TEST(Funcs, ScopeOutlivingABodyKeepsTheRegion) {
  World w;
  Func* outer = w.func("outer");
  Func* inner = w.func("inner");
  w.b->func_region = 1;
  FuncAst* ast = outer->init_scope();
  // A scope made from a long-lived parent stays long-lived inside the region.
  Scope* detached = make_scope(SCOPE_BLOCK, w.b, inner->decl_scope);
  EXPECT_EQ(detached->func_lived, 0);
  link_scope_parent(detached, inner->decl_scope);
  EXPECT_EQ(w.b->func_region_kept, 0);
  // Pointing a body scope at another body scope keeps nothing.
  link_scope_parent(new_scope(ast->scope, SCOPE_BLOCK), ast->prologue);
  EXPECT_EQ(w.b->func_region_kept, 0);
  set_decl_scope_parent(inner, ast->scope);
  EXPECT_EQ(inner->decl_scope->parent, ast->scope);
  EXPECT_EQ(w.b->func_region_kept, 1);
  w.b->func_region_kept = 0;
  link_scope_parent(detached, ast->scope);
  EXPECT_EQ(w.b->func_region_kept, 1);
  w.b->func_region_kept = 0;
  w.b->func_region = 0;
  set_decl_scope_parent(inner, ast->scope);  // no region: nothing to keep
  EXPECT_EQ(w.b->func_region_kept, 0);
}

TEST(Funcs, TempVarReuse) {
  World w;
  Class* vec = w.cls("Vec");
  Class* pt = w.cls("Pt", CLASS_STRUCT);
  FuncInfo* info = new_func_info(w.b);
  struct Case {
    const char* what;
    Type* first;
    Type* second;
    bool reused;
  } cases[] = {
      {"int for int", w.t("int"), w.t("int"), true},
      {"int for i64 (same kind and size)", w.t("int"), w.t("i64"), true},
      {"int for u8", w.t("int"), w.t("u8"), false},
      {"int for f64", w.t("int"), w.t("f64"), false},
      {"class ref for class ref", vec->get_type(), w.t("String"), true},
      // Same kind and size, but one is a GC root and the other is not.
      {"class ref for struct ref", vec->get_type(), pt->get_type(), false},
      {"struct ref for class ref", pt->get_type(), vec->get_type(), false},
      {"fn for fn", fn_type(w.b, info), fn_type(w.b, info), true},
  };
  for (const Case& c : cases) {
    Func* f = w.func("f");
    FuncAst* ast = f->init_scope();
    u64 mark = ast->temps_in_use.size();
    Decl* a = f->get_temp_var(c.first, ast->scope);
    EXPECT_EQ(a->is_buffer, 1);
    EXPECT_EQ(a->in_memory, 1);
    EXPECT_EQ(a->used, 1);
    EXPECT_EQ(a->ir_name, "%buf._.0");
    ast->release_temps(mark);
    EXPECT_EQ(ast->temps_free, std::vector<Decl*>{a});
    Decl* b2 = f->get_temp_var(c.second, ast->scope);
    EXPECT_EQ(b2 == a, c.reused) << c.what;
    EXPECT_EQ(b2->type, c.second) << c.what;
    EXPECT_EQ(b2->is_gc, c.second->is_gc()) << c.what;
    EXPECT_EQ(b2->ir_name, "%buf._.1") << c.what;  // a fresh IR name either way
    EXPECT_EQ(ast->temps_in_use, std::vector<Decl*>{b2});
  }
}

TEST(Funcs, TakeAndReleaseTemps) {
  World w;
  Func* f = w.func("f");
  FuncAst* ast = f->init_scope();
  Decl* a = f->get_temp_var(w.t("int"), ast->scope);
  Decl* b = f->get_temp_var(w.t("u8"), ast->scope);
  Decl* c = f->get_temp_var(w.t("u16"), ast->scope);
  ast->release_temps(1);
  EXPECT_EQ(ast->temps_in_use, std::vector<Decl*>{a});
  EXPECT_EQ(ast->temps_free, (std::vector<Decl*>{c, b}));
  EXPECT_TRUE(ast->take_free_temp(b));
  EXPECT_FALSE(ast->take_free_temp(b));
  EXPECT_EQ(ast->temps_in_use, (std::vector<Decl*>{a, b}));
  Func* g = w.func("g");
  EXPECT_EQ(build_error_message([&] { g->get_temp_var(w.t("int"), ast->scope); }),
            "Missing function AST object (bug)");
}

TEST(Funcs, SignatureInfo) {
  World w;
  Func* f = w.func("f");
  f->add_arg("a", w.t("int"));
  f->add_arg("b", w.t("bool"));
  f->return_type = new_type(w.b, TYPE_UNDEFINED);
  f->errors->set("x", 5);
  f->can_error = 1;
  FuncInfo* info = f->get_func_info();
  EXPECT_EQ(info->args, (std::vector<Type*>{w.t("int"), w.t("bool")}));
  EXPECT_TRUE(info->rets.empty());
  EXPECT_EQ(info->errors, f->errors);
  EXPECT_EQ(info->can_error, 1);
  EXPECT_EQ(f->arg_types(), info->args);
}

TEST(Funcs, FindOperatorFunc) {
  World w;
  Class* vec = w.cls("Vec");
  Func* one_arg = w.func("one");
  one_arg->add_arg("this", vec->get_type());
  Func* wrong = w.func("wrong");
  wrong->add_arg("this", vec->get_type());
  wrong->add_arg("o", w.t("u8"));
  Func* right = w.func("right");
  right->add_arg("this", vec->get_type());
  right->add_arg("o", w.t("int"));
  std::vector<Func*> list{one_arg, wrong, right};
  EXPECT_EQ(find_operator_func(list, vec->get_type(), w.t("int")), right);
  EXPECT_EQ(find_operator_func(list, vec->get_type(), w.t("u8")), wrong);
  EXPECT_EQ(find_operator_func(list, w.t("int"), w.t("int")), nullptr);
}

struct UseWorld : World {
  Func* entry = func("entry");
  Func* a = func("a");
  Func* b1 = func("b");
  Func* leaf = func("leaf");
  Global* g = new_global(unit, main_file, 292, "g", "g", "g", nullptr, nullptr, false);
  Class* vec = cls("Vec");
  Func* gc_action = func("gc_action");
  Func* gc_free = func("gc_free");
  AllocatorPool* pool = b->make<AllocatorPool>();
  Global* pool_global = new_global(unit, main_file, 292, "ALC", "ALC", "ALC", nullptr, nullptr, false);
  Func* props_fn = func("props");
  StringConst* str = b->make<StringConst>();
  UseWorld() {
    entry->called = {a, b1};
    a->called = {leaf, entry};  // a cycle back to the entry
    leaf->allocates = 1;
    leaf->opaque_calls = 1;
    b1->used_globals = {g};
    b1->used_classes = {vec};
    b1->used_pools = {pool};
    b1->used_strings = {str};
    vec->funcs.set("gc_action", gc_action);
    vec->funcs.set("gc_free", gc_free);
    pool->global = pool_global;
    pool->props_func = props_fn;
    unit->used = 0;
  }
};

TEST(MarkUsed, Propagation) {
  UseWorld w;
  w.entry->mark_used();
  for (Func* f : {w.entry, w.a, w.b1, w.leaf, w.gc_action, w.gc_free, w.props_fn}) EXPECT_EQ(f->used, 1) << f->name;
  // A callee's flags are read after it was marked, so they climb the whole chain.
  EXPECT_EQ(w.a->allocates, 1);
  EXPECT_EQ(w.a->opaque_calls, 1);
  EXPECT_EQ(w.entry->allocates, 1);
  EXPECT_EQ(w.entry->opaque_calls, 1);
  EXPECT_EQ(w.b1->allocates, 0);
  EXPECT_EQ(w.g->used, 1);
  EXPECT_EQ(w.g->used_noted, 1);
  EXPECT_EQ(w.vec->used, 1);
  EXPECT_EQ(w.vec->used_noted, 1);
  EXPECT_EQ(w.pool->used, 1);
  EXPECT_EQ(w.pool->pending, 1);
  EXPECT_EQ(w.pool_global->used, 1);
  EXPECT_EQ(w.str->used, 1);
  EXPECT_EQ(w.unit->used, 1);
  EXPECT_EQ(w.b->new_global_used, 1);
  EXPECT_EQ(w.b->new_class_used, 1);
  EXPECT_EQ(w.b->new_pool_used, 1);
}

// The walk reads a function that is still being marked (a cycle) before it has its
// flags; propagate_call_marks closes every cycle, and leaves unused callers alone.
TEST(MarkUsed, CyclesReachFixpoint) {
  World w;
  Func* top = w.func("top");
  Func* inner = w.func("inner");
  Func* twin = w.func("twin");
  Func* make = w.func("make");
  Func* opaque = w.func("opaque");
  Func* unused = w.func("unused");
  top->called = {inner, make};
  inner->called = {twin, top};
  twin->called = {inner, opaque};
  make->allocates = 1;
  opaque->opaque_calls = 1;
  unused->called = {make};
  top->mark_used();
  EXPECT_EQ(top->allocates, 1);
  EXPECT_EQ(inner->allocates, 0);
  EXPECT_EQ(twin->allocates, 0);
  EXPECT_EQ(twin->opaque_calls, 1);
  propagate_call_marks(w.b);
  for (Func* f : {top, inner, twin}) {
    EXPECT_EQ(f->allocates, 1) << f->name;
    EXPECT_EQ(f->opaque_calls, 1) << f->name;
  }
  EXPECT_EQ(make->opaque_calls, 0);
  EXPECT_EQ(opaque->allocates, 0);
  EXPECT_EQ(unused->allocates, 0);
}

// Random call graphs against a plain fixpoint: a used function allocates (or makes
// opaque calls) when any function it reaches does. Run twice on one build, as every
// build after the first pass does.
TEST(MarkUsed, PropagationMatchesPlainFixpoint) {
  for (unsigned seed : {1u, 7u, 42u}) {
    World w;
    std::vector<Func*> fs;
    for (int i = 0; i < 300; i++) fs.push_back(w.func("f" + std::to_string(i)));
    unsigned r = seed;
    auto next = [&r] { return r = r * 1103515245u + 12345u, (r >> 16) & 0x7fff; };
    for (Func* f : fs) {
      for (unsigned k = next() % 4; k > 0; k--) {
        Func* c = fs[next() % fs.size()];
        if (std::find(f->called.begin(), f->called.end(), c) == f->called.end()) f->called.push_back(c);
      }
      if (next() % 23 == 0) f->allocates = 1;
      if (next() % 29 == 0) f->opaque_calls = 1;
    }
    fs[0]->mark_used();
    // The reference: repeat until nothing changes, reading callees of used functions.
    std::vector<std::pair<u8, u8>> want;
    for (Func* f : fs) want.push_back({f->allocates, f->opaque_calls});
    for (bool changed = true; changed;) {
      changed = false;
      for (size_t i = 0; i < fs.size(); i++) {
        if (!fs[i]->used) continue;
        for (Func* c : fs[i]->called) {
          size_t j = std::find(fs.begin(), fs.end(), c) - fs.begin();
          if (want[j].first && !want[i].first) want[i].first = 1, changed = true;
          if (want[j].second && !want[i].second) want[i].second = 1, changed = true;
        }
      }
    }
    for (int round = 0; round < 2; round++) {
      propagate_call_marks(w.b);
      for (size_t i = 0; i < fs.size(); i++) {
        ASSERT_EQ(fs[i]->allocates, want[i].first) << "seed " << seed << " round " << round << " " << fs[i]->name;
        ASSERT_EQ(fs[i]->opaque_calls, want[i].second) << "seed " << seed << " round " << round << " " << fs[i]->name;
        ASSERT_EQ(fs[i]->callers_slot, 0u);
      }
    }
  }
}

TEST(MarkUsed, NotedItemsDoNotRaiseNewUseFlags) {
  UseWorld w;
  w.entry->mark_used();
  w.b->new_global_used = w.b->new_class_used = w.b->new_pool_used = 0;
  // The driver collected the marks: used and pending cleared, noted kept.
  for (Func* f : w.b->functions) f->used = 0;
  w.g->used = 0;
  w.vec->used = 0;
  w.pool->pending = 0;
  w.entry->mark_used();
  EXPECT_EQ(w.g->used, 1);
  EXPECT_EQ(w.vec->used, 1);
  EXPECT_EQ(w.pool->pending, 1);
  EXPECT_EQ(w.b->new_global_used, 0);
  EXPECT_EQ(w.b->new_class_used, 0);
  EXPECT_EQ(w.b->new_pool_used, 0);
}

}  // namespace
}  // namespace tesk::test
