// Functions, globals and enums: construction, body scopes, temporaries and use marking.
#include "model/funcs.h"

#include <algorithm>
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "model/hooks.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "driver/stages.h"
#include "ir/records.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/records.h"
#include "source/units.h"

namespace tesk {

// ---------------------------------------------------------------------------------
// Construction

Func* new_func(Unit* unit, SourceFile* file, SourceFile* code_file, AccessLevel access, std::string_view name,
               GenericNames* generic_names, Chunk* header, bool no_body) {
  Build* b = unit->build;
  Func* f = b->make<Func>();
  f->unit = unit;
  f->build = b;
  f->file = file;
  f->code_file = code_file;
  f->access = access;
  f->header = header;
  f->decl_scope = make_scope(SCOPE_BLOCK, b, file ? file->scope : nullptr);

  bool anonymous = name.empty();
  if (anonymous) {
    f->name = "anon_func_" + std::to_string(b->anon_counter);
    b->anon_counter++;
  } else {
    f->name = std::string(name);
  }

  if (no_body) {
    f->export_name = f->name;
    f->display_name = anonymous ? "<anonymous-function>" : f->name;
  } else {
    Namespace* ns = file ? file->ns : nullptr;
    f->export_name = ns ? export_name(ns, f->name) : f->name;
    if (anonymous)
      f->display_name = "<anonymous-function>";
    else
      f->display_name = ns ? display_name(ns, f->name) : f->name;
  }

  Type* v = void_type(b);
  f->return_type = v;
  f->ir_return_type = v;
  f->errors = new_error_map(b);
  f->test_name = "-nameless-test-";

  f->no_body = no_body;
  f->opaque_calls = no_body;
  f->generic_names = generic_names;
  f->is_generic = generic_names != nullptr;
  f->in_docs = 1;

  // The server checks the bodies of every file the editor has open, so a save can
  // update what the other open files show; files nobody looks at are left out.
  if (b->lsp) {
    std::string current = lsp_current_file(b->lsp);
    auto open = [b, &current](const SourceFile* sf) {
      return sf && (sf->path == current || lsp_document_text(b->lsp, sf->path));
    };
    if (!open(file) && !open(code_file)) f->skip = 1;
  }

  if (f->is_generic) {
    f->generic_instances = b->make<OrderedMap<Func*>>();
    f->in_docs = 0;
  } else {
    b->functions.push_back(f);
    unit->funcs.push_back(f);
    b->function_queue.push_back(f);
  }
  return f;
}

Global* new_global(Unit* unit, SourceFile* file, AccessLevel access, std::string_view name,
                   std::string_view export_name, std::string_view display_name, Chunk* type_chunk,
                   Chunk* default_chunk, bool is_extern) {
  Build* b = unit->build;
  Global* g = b->make<Global>();
  g->unit = unit;
  g->build = b;
  g->file = file;
  g->access = access;
  g->name = std::string(name);
  g->export_name = std::string(export_name);
  g->display_name = std::string(display_name);
  g->ir_name = "@" + g->export_name;
  g->type_chunk = type_chunk;
  g->default_chunk = default_chunk;
  g->extern_ = is_extern;
  if (!is_extern) unit->globals.push_back(g);
  b->globals.push_back(g);
  return g;
}

// ---------------------------------------------------------------------------------
// Body scope and temporaries

FuncAst* Func::init_scope() {
  Scope* body = make_body_scope(build, decl_scope);
  body->func = this;
  FuncAst* a = build->make<FuncAst>();
  a->build = build;
  a->func = this;
  a->scope = body;
  a->prologue = new_scope(body, SCOPE_BLOCK);
  a->epilogue = new_scope(body, SCOPE_BLOCK);
  ast = a;

  Type* rt = return_type;
  bool returns_nothing = !rt || kind_in(rt->kind, KINDS_NO_VALUE) ||
                         (rt->kind == TYPE_MULTI && (!rt->items || rt->items->empty()));
  body->must_return = !returns_nothing;

  for (FuncArg* arg : args) {
    body->set_identifier_in_build(build, arg->name, new_identifier_decl(build, arg->decl));
    body->add_decl(arg->decl);
  }

  called.clear();
  used_globals.clear();
  used_strings.clear();
  used_classes.clear();
  used_pools.clear();

  if (is_test) declare_test_entry(a);
  return a;
}

FuncAst* Func::get_ast() {
  if (!ast) build_error(build, "Missing function AST object (bug)");
  return ast;
}

void Func::drop_ast() {
  if (!ast) return;
  kept_decls.clear();
  if (ast->scope) {
    if (!build->func_region) {
      kept_decls = ast->scope->decls;
    } else {
      // The locals die with the body; the unused-variable warning reads only the named,
      // placed and unused ones, so copies of those are kept.
      for (Decl* d : ast->scope->decls) {
        if (d->name.empty() || !d->chunk || d->used) continue;
        kept_decls.push_back(build->make<Decl>(*d));
      }
    }
  }
  ast = nullptr;
}

void Func::build_gc_frame() {
  parsed = 1;
  layout_gc_slots(this);
  insert_gc_frame(this);
}

FuncArg* Func::add_arg(std::string_view arg_name, Type* type) {
  FuncArg* a = build->make<FuncArg>();
  a->name = std::string(arg_name);
  a->type = type;
  a->decl = new_decl(type, true, arg_name);
  args.push_back(a);
  return a;
}

Decl* Func::get_temp_var(Type* type, Scope* scope) {
  FuncAst* a = get_ast();
  bool gc = type->is_gc();
  u64 size = type->size();
  for (size_t i = 0; i < a->temps_free.size(); i++) {
    Decl* d = a->temps_free[i];
    // A GC temporary is a root of the frame; a plain one is not. Reusing one for the
    // other would leave a live object unseen by the collector.
    if (d->type->kind != type->kind || d->type->size() != size || (d->is_gc != 0) != gc) continue;
    d->type = type;
    a->temps_free.erase(a->temps_free.begin() + i);
    a->temps_in_use.push_back(d);
    scope->add_decl(d);
    a->log_op(LOCAL_OP_TEMP, scope->find(SCOPE_LOOP), type, 0, d);
    return d;
  }
  Decl* d = make_temp_var(type, scope);
  a->log_op(LOCAL_OP_TEMP, scope->find(SCOPE_LOOP), type, 0, d);
  return d;
}

Decl* Func::new_temp_var(Type* type, Scope* scope) {
  Decl* d = make_temp_var(type, scope);
  get_ast()->log_op(LOCAL_OP_NEW_TEMP, scope->find(SCOPE_LOOP), type, 0, d);
  return d;
}

Decl* Func::make_temp_var(Type* type, Scope* scope) {
  FuncAst* a = get_ast();
  Decl* d = build->make_func_lived<Decl>();
  d->type = type;
  d->is_gc = type->is_gc();
  d->in_memory = 1;
  d->is_buffer = 1;
  d->used = 1;
  a->temps_in_use.push_back(d);
  scope->add_decl(d);
  return d;
}

bool FuncAst::take_free_temp(Decl* decl) {
  auto it = std::find(temps_free.begin(), temps_free.end(), decl);
  if (it == temps_free.end()) return false;
  temps_free.erase(it);
  temps_in_use.push_back(decl);
  log_op(LOCAL_OP_OTHER, nullptr, nullptr, 0);
  return true;
}

void FuncAst::log_op(u8 kind, Scope* loop, Type* type, u64 count, Decl* decl) {
  if (!logging) return;
  // A local or temporary joining the loop around the reading, or one further out, stays
  // listed there: such a reading cannot be replayed.
  if (kind == LOCAL_OP_VAR || kind == LOCAL_OP_TEMP || kind == LOCAL_OP_NEW_TEMP) {
    if (!loop) kind = LOCAL_OP_OTHER;
    for (Scope* s = log_outside; s && kind != LOCAL_OP_OTHER; s = s->parent)
      if (s == loop) kind = LOCAL_OP_OTHER;
  }
  // Runs of locals are counted, not listed, so the log of nested replays stays small.
  if (kind == LOCAL_OP_VAR && local_log.size() > log_from && local_log.back().kind == LOCAL_OP_VAR) {
    local_log.back().count += count;
    return;
  }
  local_log.push_back(LocalOp{kind, type, count, decl});
}

void FuncAst::release_temps(u64 count) {
  if (temps_in_use.size() > count) log_op(LOCAL_OP_RELEASE, nullptr, nullptr, count);
  while (temps_in_use.size() > count) {
    temps_free.push_back(temps_in_use.back());
    temps_in_use.pop_back();
  }
}

// ---------------------------------------------------------------------------------
// Signature

FuncInfo* Func::get_func_info() {
  FuncInfo* info = new_func_info(build);
  info->args = arg_types();
  Type* rt = return_type;
  if (rt) {
    if (rt->kind == TYPE_MULTI && rt->items)
      info->rets = *rt->items;
    else if (!kind_in(rt->kind, KINDS_NO_VALUE))
      info->rets.push_back(rt);
  }
  info->errors = errors;
  info->infinite = varargs;
  info->can_error = can_error;
  return info;
}

std::vector<Type*> Func::arg_types() const {
  std::vector<Type*> out;
  out.reserve(args.size());
  for (FuncArg* a : args) out.push_back(a->type);
  return out;
}

// ---------------------------------------------------------------------------------
// Use marking

void Func::mark_used() {
  if (used) return;
  used = 1;
  if (unit) unit->used = 1;
  // The callee's marks are read after it was marked, so that a chain of any depth
  // passes them up in one walk; cycles are closed by propagate_call_marks.
  for (size_t i = 0; i < called.size(); i++) {
    Func* f = called[i];
    f->mark_used();
    if (f->allocates) allocates = 1;
    if (f->opaque_calls) opaque_calls = 1;
  }
  for (Global* g : used_globals) g->mark_used();
  for (Class* c : used_classes) c->mark_used();
  for (AllocatorPool* p : used_pools) {
    if (p->pending) continue;
    if (!p->used) build->new_pool_used = 1;
    p->used = 1;
    p->pending = 1;
    if (p->global) p->global->mark_used();
    if (p->props_func) p->props_func->mark_used();
    if (p->free_func) p->free_func->mark_used();
  }
  for (StringConst* s : used_strings) s->used = 1;
}

void propagate_call_marks(Build* b) {
  // Callers of each callee as rows of one array (a row per callee, numbered through
  // callers_slot), then a worklist: every function is pushed at most once per mark it
  // gains, so the walk is linear in the calls.
  std::vector<Func*> used_funcs;
  std::vector<Func*> callees;
  std::vector<u32> row_start;
  std::vector<Func*> work;
  size_t edges = 0;
  for (Func* f : b->functions) {
    if (!f->used) continue;
    used_funcs.push_back(f);
    for (Func* c : f->called) {
      if (!c->callers_slot) {
        callees.push_back(c);
        c->callers_slot = u32(callees.size());
      }
    }
    edges += f->called.size();
    if (f->allocates || f->opaque_calls) work.push_back(f);
  }
  row_start.assign(callees.size() + 1, 0);
  for (Func* f : used_funcs) {
    for (Func* c : f->called) row_start[c->callers_slot]++;
  }
  // Row r (callers_slot r + 1) spans [row_start[r], row_start[r + 1]).
  for (size_t i = 1; i < row_start.size(); i++) row_start[i] += row_start[i - 1];
  std::vector<u32> fill(row_start.begin(), row_start.end() - 1);
  std::vector<Func*> callers(edges);
  for (Func* f : used_funcs) {
    for (Func* c : f->called) callers[fill[c->callers_slot - 1]++] = f;
  }
  while (!work.empty()) {
    Func* f = work.back();
    work.pop_back();
    if (!f->callers_slot) continue;
    u32 row = f->callers_slot - 1;
    for (u32 i = row_start[row], end = row_start[row + 1]; i < end; i++) {
      Func* caller = callers[i];
      bool changed = false;
      if (f->allocates && !caller->allocates) caller->allocates = 1, changed = true;
      if (f->opaque_calls && !caller->opaque_calls) caller->opaque_calls = 1, changed = true;
      if (changed) work.push_back(caller);
    }
  }
  for (Func* c : callees) c->callers_slot = 0;
}

Type* Global::get_type() {
  if (!type) build_error(build, "Missing global type (bug). Name: " + export_name);
  return type;
}

void Global::mark_used() {
  if (used) return;
  if (!used_noted) build->new_global_used = 1;
  used_noted = 1;
  used = 1;
  if (unit) unit->used = 1;
}

// ---------------------------------------------------------------------------------
// Enums

Type* Enum::get_type() {
  if (type_cache) return type_cache;
  Type* item = runtime_class_type(build, "type", "int");
  if (item_type_chunk) {
    Parser* p = new_parser(item_type_chunk, nullptr);
    p->context->build = build;
    p->context->unit = file ? file->unit : nullptr;
    p->context->func = nullptr;
    item = read_type(p, file ? file->scope : nullptr, true, false);
    if (item->enum_) parse_error(p, "You cannot use an enum type as the type for another enum");
  }
  item_type = item;
  Type* t = item->copy();
  t->enum_ = this;
  type_cache = t;
  return t;
}

Type* Enum::get_item_type() {
  get_type();
  if (!item_type) build_error(build, "Missing item type for enum");
  return item_type;
}

}  // namespace tesk
