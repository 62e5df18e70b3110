// Scopes, identifiers, locals and name lookup.
#include "model/scope.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "model/runtime.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/records.h"

namespace tesk {

namespace {

template <typename T>
bool contains(const std::vector<T*>& list, const T* item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

template <typename T>
void add_once(std::vector<T*>& list, T* item) {
  if (!contains(list, item)) list.push_back(item);
}

template <typename T>
void remove_item(std::vector<T*>& list, const T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

Scope* step_outwards(Scope* s) { return s->outer ? s->outer : s->parent; }

}  // namespace

// ---------------------------------------------------------------------------------
// Scopes

u64 next_scope_serial() {
  static std::atomic<u64> counter{0};
  return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

namespace {
// A scope inside a function body dies with the body.
Scope* alloc_scope(Build* b, bool func_lived) {
  func_lived = func_lived && b->func_region;
  Scope* s = func_lived ? b->func_arena.make<Scope>() : b->make<Scope>();
  s->func_lived = func_lived;
  return s;
}
}  // namespace

Scope* new_scope(Scope* parent, u64 kind) {
  Scope* s = alloc_scope(parent->build, parent->func_lived);
  s->kind = kind;
  s->build = parent->build;
  s->parent = parent;
  s->func = parent->func;
  return s;
}

Scope* make_scope(u64 kind, Build* b, Scope* parent) {
  Scope* s = alloc_scope(b, parent && parent->func_lived);
  s->kind = kind;
  s->build = b;
  s->parent = parent;
  if (parent) s->func = parent->func;
  return s;
}

Scope* make_body_scope(Build* b, Scope* decl_scope) {
  Scope* s = alloc_scope(b, true);
  s->kind = SCOPE_FUNCTION;
  s->build = b;
  s->parent = decl_scope;
  if (decl_scope) s->func = decl_scope->func;
  return s;
}

void link_scope_parent(Scope* scope, Scope* parent) {
  scope->parent = parent;
  // A longer-lived scope (of a function declared inside a body) now reaches into the
  // body: the body's records are kept.
  Build* b = scope->build;
  if (parent && parent->func_lived && !scope->func_lived && b->func_region) b->func_region_kept = 1;
}

void set_decl_scope_parent(Func* func, Scope* parent) { link_scope_parent(func->decl_scope, parent); }

Scope* Scope::find(u64 find_kind) {
  if (find_kind == SCOPE_FILE) {
    for (Scope* s = this; s; s = step_outwards(s))
      if (s->kind == SCOPE_FILE) return s;
    return nullptr;
  }
  for (Scope* s = this; s; s = s->parent) {
    if (s->kind == find_kind) return s;
    // break and continue never see a loop of an enclosing function.
    if (find_kind == SCOPE_LOOP && s->kind == SCOPE_FUNCTION) return nullptr;
  }
  return nullptr;
}

Scope* Scope::find_either(u64 kind_a, u64 kind_b) {
  for (Scope* s = this; s; s = s->parent)
    if (s->kind == kind_a || s->kind == kind_b) return s;
  return nullptr;
}

SourceFile* Scope::get_file() {
  for (Scope* s = this; s; s = step_outwards(s))
    if (s->kind == SCOPE_FILE && s->file) return s->file;
  return nullptr;
}

Func* Scope::get_func() {
  Scope* s = find(SCOPE_FUNCTION);
  return s ? s->func : nullptr;
}

void Scope::set_identifier(ParseContext* ctx, std::string_view name, Identifier* id) {
  if (identifiers.contains(name)) error_at(ctx, "Name already used: " + std::string(name));
  identifiers.set(name, id);
}

void Scope::set_identifier_in_build(Build* b, std::string_view name, Identifier* id) {
  if (identifiers.contains(name)) build_error(b, "Name already used: " + std::string(name));
  identifiers.set(name, id);
}

void declare_in_namespace(SourceFile* file, ParseContext* ctx, std::string_view name, Identifier* id) {
  file->ns->scope->set_identifier(ctx, name, id);
}

void frame_set_var(CompileMacroFrame* frame, ParseContext* ctx, std::string_view name, Identifier* id) {
  if (frame->vars.contains(name)) error_at(ctx, "Name already used: " + std::string(name));
  frame->vars.set(name, id);
}

// ---------------------------------------------------------------------------------
// Lookup

std::string_view runtime_default_namespace(std::string_view name) {
  static const std::string_view io_names[] = {"println", "print", "FD"};
  static const std::string_view type_names[] = {
      "String", "cstring", "ptr",   "uint",    "int",     "u64",   "i64",        "u32",
      "i32",    "u16",     "i16",   "u8",      "i8",      "bool",  "Array",      "Map",
      "FlatMap", "HashMap", "Slice", "float", "f32", "f64", "ByteBuffer", "ByteBufferStrRef"};
  static const std::string_view core_names[] = {"exit", "panic"};
  for (auto n : io_names)
    if (n == name) return "io";
  for (auto n : type_names)
    if (n == name) return "type";
  for (auto n : core_names)
    if (n == name) return "core";
  return {};
}

Identifier* find_identifier(Scope* scope, Parser* parser, std::string_view name) {
  for (Scope* s = scope; s; s = step_outwards(s)) {
    if (Identifier** id = s->identifiers.find(name)) return *id;
  }
  if (parser) {
    for (CompileMacroFrame* f = parser->macros; f; f = f->parent) {
      if (Identifier** id = f->vars.find(name)) return *id;
    }
  }
  std::string_view ns = runtime_default_namespace(name);
  if (ns.empty()) return nullptr;
  Build* b = parser ? parser->build : (scope ? scope->build : nullptr);
  return runtime_identifier(b, ns, name);
}

std::string identifier_ref_text(const IdentifierRef& ref) {
  if (!ref.ns.empty()) return std::string(ref.ns) + ":" + std::string(ref.name);
  return std::string(ref.name);
}

// ---------------------------------------------------------------------------------
// Locals

Decl* new_decl(Type* type, bool is_arg, std::string_view name) {
  // Arguments belong to the function; other locals die with the body being read.
  Decl* d = is_arg ? type->build->make<Decl>() : type->build->make_func_lived<Decl>();
  d->name = std::string(name);
  d->type = type;
  d->is_arg = is_arg;
  d->is_gc = type->is_gc();
  d->in_memory = type->is_inline();
  return d;
}

void Decl::make_stable() {
  if (is_gc) return;
  stable = 1;
  in_memory = 1;
}

void Scope::add_decl(Decl* decl) {
  Scope* loop = find(SCOPE_LOOP);
  Scope* fs = find(SCOPE_FUNCTION);
  if (!fs || !fs->func) fatal_build_error("Adding a declaration to a scope without a function (bug)");
  FuncAst* ast = fs->func->get_ast();
  // Temporaries are logged by get_temp_var; a fresh plain local of a loop only takes a number.
  if (ast->logging && !decl->is_buffer) {
    bool fresh = loop && !decl->is_arg && !decl->is_bind && !decl->listed_body && !decl->listed_loop;
    ast->log_op(fresh ? LOCAL_OP_VAR : LOCAL_OP_OTHER, loop, nullptr, 1);
  }
  // The lists only grow, so the last list a decl joined tells without a scan whether a
  // reused temporary is listed already; long functions stay linear.
  if (loop) {
    if (decl->listed_loop != loop->serial && (!decl->listed_loop || !contains(loop->decls, decl))) {
      loop->decls.push_back(decl);
    }
    decl->listed_loop = loop->serial;
  }

  // A decl is listed by one function body at a time: a new parse makes a new body scope.
  if (decl->listed_body != ast->scope->serial) {
    ast->scope->decls.push_back(decl);
    decl->listed_body = ast->scope->serial;
  }

  std::string n = decl->is_bind ? "%bind." : decl->is_arg ? "%arg." : decl->is_buffer ? "%buf." : "%var.";
  n += decl->name.empty() ? std::string("_") : decl->name;
  n += ".";
  n += std::to_string(ast->decl_counter++);
  decl->ir_name = std::move(n);
}

void Scope::note_call(Func* callee) {
  Func* f = get_func();
  if (!f) build_error(callee->build, "Function call outside a function (bug)");
  add_once(f->called, callee);
}

// ---------------------------------------------------------------------------------
// Facts about null

bool Scope::is_not_null(Decl* decl) {
  for (Scope* s = this; s; s = s->parent) {
    if (contains(s->not_null, decl)) return true;
    if (contains(s->maybe_null, decl)) return false;
  }
  return false;
}

void Scope::set_not_null(Decl* decl) {
  add_once(not_null, decl);
  remove_item(maybe_null, decl);
}

void Scope::set_maybe_null(Decl* decl) {
  remove_item(not_null, decl);
  add_once(maybe_null, decl);
}

void Scope::merge_maybe_null(Scope* sub) {
  if (sub->did_exit) return;
  for (Decl* d : sub->maybe_null) set_maybe_null(d);
}

// ---------------------------------------------------------------------------------
// Identifiers

namespace {
Identifier* new_identifier(Build* b, u64 kind) {
  Identifier* id = b->make<Identifier>();
  id->kind = kind;
  return id;
}
// Locals and values of a body are bound only in the body's scopes.
Identifier* new_body_identifier(Build* b, u64 kind) {
  Identifier* id = b->make_func_lived<Identifier>();
  id->kind = kind;
  return id;
}
}  // namespace

Identifier* new_identifier_type(Build* b, Type* type) {
  Identifier* id = new_identifier(b, IDENT_TYPE);
  id->type = type;
  return id;
}
Identifier* new_identifier_value(Build* b, Value* value) {
  Identifier* id = new_body_identifier(b, IDENT_VALUE);
  id->value = value;
  return id;
}
Identifier* new_identifier_decl(Build* b, Decl* decl) {
  Identifier* id = new_body_identifier(b, IDENT_DECL);
  id->decl = decl;
  return id;
}
Identifier* new_identifier_func(Build* b, Func* func) {
  Identifier* id = new_identifier(b, IDENT_FUNC);
  id->func = func;
  return id;
}
Identifier* new_identifier_class(Build* b, Class* cls) {
  Identifier* id = new_identifier(b, IDENT_CLASS);
  id->class_ = cls;
  return id;
}
Identifier* new_identifier_namespace(Build* b, Namespace* ns) {
  Identifier* id = new_identifier(b, IDENT_NAMESPACE);
  id->ns = ns;
  return id;
}
Identifier* new_identifier_global(Build* b, Global* global) {
  Identifier* id = new_identifier(b, IDENT_GLOBAL);
  id->global = global;
  return id;
}
Identifier* new_identifier_alias(Build* b, Alias* alias) {
  Identifier* id = new_identifier(b, IDENT_ALIAS);
  id->alias = alias;
  return id;
}
Identifier* new_identifier_trait(Build* b, Trait* trait) {
  Identifier* id = new_identifier(b, IDENT_TRAIT);
  id->trait = trait;
  return id;
}
Identifier* new_identifier_enum(Build* b, Enum* en) {
  Identifier* id = new_identifier(b, IDENT_ENUM);
  id->enum_ = en;
  return id;
}
Identifier* new_identifier_macro(Build* b, Macro* macro) {
  Identifier* id = new_identifier(b, IDENT_MACRO);
  id->macro = macro;
  return id;
}
Identifier* new_identifier_repeat(Build* b, std::vector<IdentifierMap*>* repeat) {
  Identifier* id = new_identifier(b, IDENT_REPEAT);
  id->repeat = repeat;
  return id;
}
Identifier* new_identifier_group(Build* b, IdentifierMap* group) {
  Identifier* id = new_identifier(b, IDENT_GROUP);
  id->group = group;
  return id;
}
Identifier* new_identifier_property(Build* b, Property* prop) {
  Identifier* id = new_identifier(b, IDENT_PROPERTY);
  id->prop = prop;
  return id;
}
Identifier* new_identifier_value_property(Build* b, Property* prop, Value* object) {
  Identifier* id = new_identifier(b, IDENT_VALUE_PROPERTY);
  id->prop = prop;
  id->value = object;
  return id;
}

// ---------------------------------------------------------------------------------
// Reporting and context

void error_at(ParseContext* ctx, std::string_view message) {
  if (ctx->parser) parse_error(ctx->parser, message);
  build_error(ctx->build, message);
}

Func* context_get_func(ParseContext* ctx) {
  if (!ctx->func) error_at(ctx, "Missing function context");
  return ctx->func;
}

Unit* context_get_unit(ParseContext* ctx) {
  if (!ctx->unit) error_at(ctx, "Missing unit context");
  return ctx->unit;
}

ParseContext* context_clone(ParseContext* ctx) {
  ParseContext* c = ctx->build->make<ParseContext>();
  *c = *ctx;
  return c;
}

ParseContext* context_for_func(Func* func) {
  ParseContext* c = func->build->make<ParseContext>();
  c->build = func->build;
  c->unit = func->unit;
  c->func = func;
  return c;
}

void context_note_func(ParseContext* ctx, Func* func) { add_once(context_get_func(ctx)->called, func); }
void context_note_global(ParseContext* ctx, Global* global) {
  add_once(context_get_func(ctx)->used_globals, global);
}
void context_note_class(ParseContext* ctx, Class* cls) { add_once(context_get_func(ctx)->used_classes, cls); }
void context_note_pool(ParseContext* ctx, AllocatorPool* pool) {
  add_once(context_get_func(ctx)->used_pools, pool);
}

// ---------------------------------------------------------------------------------
// Stage 2.1: aliases

namespace {
Parser* alias_parser(Alias* alias) {
  Parser* p = new_parser(alias->chunk, nullptr);
  p->context->build = alias->chunk->build;
  return p;
}
}  // namespace

void resolve_alias(Alias* alias) {
  Parser* p = alias_parser(alias);
  IdentifierResult r = read_identifier(p, alias->file->scope, true, true);
  if (!r.ok()) parse_error(p, r.error);
  alias->file->ns->scope->identifiers.set(alias->name, r.id);
  alias->target = r.id;
}

void resolve_type_alias(Alias* alias) {
  Parser* p = alias_parser(alias);
  Type* t = read_type(p, alias->file->scope, true, false);
  alias->file->ns->scope->identifiers.set(alias->name, new_identifier_type(p->build, t));
  alias->type = t;
}

// ---------------------------------------------------------------------------------
// Chunk positions

Chunk* new_chunk(Build* b, SourceFile* file, std::string_view content) {
  Chunk* c = b->make<Chunk>();
  c->build = b;
  c->file = file;
  c->content = content;
  return c;
}

Chunk* chunk_clone(Build* b, const Chunk* chunk) {
  Chunk* c = b->make<Chunk>();
  *c = *chunk;
  return c;
}

void chunk_move_back(Chunk* chunk, u64 n) {
  chunk->index -= n;
  chunk->col -= n;
}

void chunk_move_forward(Chunk* chunk, u64 n) {
  chunk->index += n;
  chunk->col += n;
}

std::string_view chunk_path(const Chunk* chunk) {
  return chunk->file ? std::string_view(chunk->file->path) : std::string_view();
}

std::string chunk_position_text(const Chunk* chunk) {
  return std::string(chunk_path(chunk)) + ":" + std::to_string(chunk->line);
}

}  // namespace tesk
