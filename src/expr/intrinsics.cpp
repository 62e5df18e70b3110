// @intrinsics of the value reader: direct memory access, addresses, stack storage, long
// jumps, vtables, the GC property protocol and the allocator's size classes.
#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "lower/generated.h"
#include "model/alloc_pools.h"
#include "model/records.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"

namespace tesk {

namespace {

void require_compat(ParseContext* ctx, Type* want, Type* have) {
  if (!want->compat(have, 0)) {
    error_at(ctx, "Incompatible types. Passing a '" + have->to_text() + "' value to a '" + want->to_text() + "' type");
  }
}

bool is_pointer_like(Type* t) {
  switch (t->kind) {
    case TYPE_POINTER:
    case TYPE_NULL:
    case TYPE_RAW_POINTER:
    case TYPE_FNPTR:
    case TYPE_FN:
    case TYPE_CO:
    case TYPE_REFERENCE: return true;
    default: return false;
  }
}

Value* read_arg(Parser* p, Scope* scope) { return read_value(p, scope, PRIO_ALL, 0); }
void expect_sep(Parser* p, std::string_view sep) { expect_token(p, sep, true, true); }

void check_mutable_object(Parser* p, Value* obj) {
  if (obj->type->imut) parse_error(p, "Trying to modify a immutable property. Type: " + obj->type->to_text());
}

Value* call_gc_function(Parser* p, Scope* scope, std::string_view name, std::vector<Value*> args) {
  Build* b = p->build;
  Func* f = runtime_func(b, "gc", name);
  return value_function_call(b, scope, value_func(f), std::move(args));
}

Value* read_property_store(Parser* p, Scope* scope, std::string_view word, bool update) {
  ParseContext* ctx = p->context;
  Value* obj = read_arg(p, scope);
  check_mutable_object(p, obj);
  expect_sep(p, ",");
  Value* target = read_arg(p, scope);
  if (!value_is_assignable_kind(target)) {
    parse_error(p, "Invalid 2nd parameter for " + std::string(word) + ". Must be an assignable value.");
  }
  expect_sep(p, ",");
  Value* value = read_arg(p, scope);
  require_compat(ctx, target->type, value->type);
  expect_sep(p, ")");
  if (obj->type->is_gc() && target->type->is_gc()) {
    Func* f = runtime_func(p->build, "gc", update ? "property_update" : "property_set");
    Func* current = context_get_func(ctx);
    bool listed = false;
    for (Func* c : current->called) listed = listed || c == f;
    if (!listed) current->called.push_back(f);
    return value_function_call(p->build, scope, value_func(f), {obj, value_reference(ctx, target, 0), value});
  }
  return value_assign(target, value);
}

// While a global's default is read, the functions and globals it names collect apart
// from the function's own lists; then they join those lists (as for any value the
// function reads) and are kept on the global, which start-up orders defaults by.
class DefaultNames {
 public:
  explicit DefaultNames(Func* f) : f_(f) {
    calls_.swap(f->called);
    reads_.swap(f->used_globals);
  }
  ~DefaultNames() { give_back(); }
  DefaultNames(const DefaultNames&) = delete;
  DefaultNames& operator=(const DefaultNames&) = delete;

  void keep_for(Global* g) {
    give_back();
    g->default_calls = calls_;
    g->default_reads = reads_;
  }

 private:
  void give_back() {
    if (given_back_) return;
    given_back_ = true;
    calls_.swap(f_->called);
    reads_.swap(f_->used_globals);
    f_->called.insert(f_->called.end(), calls_.begin(), calls_.end());
    f_->used_globals.insert(f_->used_globals.end(), reads_.begin(), reads_.end());
  }

  Func* f_;
  std::vector<Func*> calls_;
  std::vector<Global*> reads_;
  bool given_back_ = false;
};

// After the default of a global that checking code uses: start-up counts it as ready
// (`core:globals_ready`) once the value is computed, right before it is stored.
Value* count_ready_default(Parser* p, Scope* scope, Global* g, Value* value) {
  Build* b = p->build;
  Scope* ph = template_child_scope(scope);
  ParseContext* ctx = p->context;
  template_bind(ctx, ph, "DEFAULT_TYPE", new_identifier_type(b, g->get_type()));
  template_bind(ctx, ph, "DEFAULT_VALUE", new_identifier_value(b, value));
  template_bind(ctx, ph, "GLOBALS_READY", new_identifier_global(b, runtime_global(b, "core", "globals_ready")));
  TemplateText text;
  text.add("<{\nlet value : DEFAULT_TYPE = DEFAULT_VALUE\nGLOBALS_READY = ").add_number(g->ready_step);
  text.add("\nreturn value\n}\n");
  return template_read_value(p, ph, text.text);
}

Value* read_global_default_value(Parser* p, Scope* scope, Value* prefix) {
  Build* b = p->build;
  IdentifierResult r = read_identifier(p, scope, true, true);
  if (!r.ok()) parse_error(p, r.error);
  if (r.id->kind != IDENT_GLOBAL) parse_error(p, "Identifier is not a global variable");
  Global* g = r.id->global;
  Value* result;
  if (g->default_chunk) {
    Parser* sub = new_parser(g->default_chunk, p);
    // A default counted as ready is computed into a value of its own first.
    sub->prefix_value = g->ready_step ? nullptr : prefix;
    Scope* s = make_scope(SCOPE_BLOCK, b, scope);
    s->func = scope->func;
    s->outer = g->file ? g->file->scope : nullptr;
    DefaultNames names(context_get_func(p->context));
    result = read_value(sub, s, PRIO_ALL, 0);
    names.keep_for(g);
    if (g->ready_step) result = count_ready_default(p, scope, g, result);
  } else {
    result = value_undefined(b);
  }
  expect_sep(p, ")");
  return result;
}

Value* read_stack(Parser* p, Scope* scope) {
  Type* t = read_type(p, scope, true, false);
  Decl* d = new_decl(t, false, "stack_alloc");
  scope->add_decl(d);
  d->used = 1;
  // Its address is taken: it needs storage whatever its Type.
  d->in_memory = 1;
  Value* ref = p->build->make_func_lived<Value>();
  ref->kind = VAL_REFERENCE;
  ref->op1 = value_decl(d);
  ref->type = t->get_ref();
  expect_sep(p, ")");
  return ref;
}

Value* read_jump(Parser* p, Scope* scope, bool is_long) {
  Value* buf = read_arg(p, scope);
  if (!is_pointer_like(buf->type)) {
    parse_error(p, is_long ? "Value of @longjmp should be a pointer" : "Value of @setjmp should be a pointer");
  }
  expect_sep(p, ")");
  if (!is_long) return value_setjmp(p->build, buf);
  scope->did_exit = 1;
  Func* func = nullptr;
  for (Scope* s = scope; s; s = s->parent) {
    if (s->kind == SCOPE_FUNCTION) {
      func = s->func;
      break;
    }
  }
  if (!func) parse_error(p, "Missing function in scope for longjmp (bug)");
  func->opaque_calls = 1;
  return value_longjmp(p->build, buf);
}

Value* read_vtable(Parser* p, Scope* scope) {
  Type* t = read_type(p, scope, true, false);
  Class* cls = t->class_;
  if (!cls && t->kind == TYPE_POINTER && t->sub && t->sub->is_inline_class()) cls = t->sub->class_;
  expect_sep(p, ")");
  if (!cls || t->kind != TYPE_CLASS) return value_null(t);
  // The IR writes the vtable in every unit that names it, pointing at gc_free: the unit
  // declares it through this function's notes.
  std::string name = cls->vtable_name();
  if (!p->build->vtables.contains(name)) p->build->vtables.set(name, cls);
  context_note_class(p->context, cls);
  if (Func* free_func = cls->get_function("gc_free")) context_note_func(p->context, free_func);
  return value_symbol(name, ptr_type(p->build));
}

Value* read_ptrv(Parser* p, Scope* scope) {
  ParseContext* ctx = p->context;
  Build* b = p->build;
  Type* ptr = ptr_type(b);
  Value* pointer = convert_value(read_arg(p, scope), ctx, scope, ptr);
  require_compat(ctx, ptr, pointer->type);
  expect_sep(p, ",");
  Type* element = read_type(p, scope, true, false);
  expect_token2(p, ",", ")", true, true);
  Value* index;
  if (p->is(",")) {
    push_type_hint(p, int_type(b));
    index = read_arg(p, scope);
    pop_type_hint(p);
    if (index->type->kind != TYPE_INT) parse_error(p, "Expected a number value, not: " + index->type->to_text());
    expect_sep(p, ")");
  } else {
    index = value_int(0, int_type(b));
  }
  return value_ptrv(pointer, element, index);
}

}  // namespace

bool value_is_assignable_kind(Value* v) {
  switch (v->kind) {
    case VAL_DECL:
    case VAL_PROP:
    case VAL_PTRV:
    case VAL_GLOBAL:
    case VAL_BUFFER_VALUE: return true;
    default: return false;
  }
}

std::vector<Value*> read_values_for_types(Parser* p, Scope* scope, const std::vector<Type*>& types,
                                          std::string_view closer) {
  std::vector<Value*> values;
  std::string count = std::to_string(types.size());
  while (true) {
    next_token(p, true, true, false);
    if (p->kind == TOK_SYMBOL && p->is(closer)) {
      next_token(p, true, true);
      break;
    }
    if (values.size() >= types.size()) parse_error(p, "Too many values, expected values: " + count);
    Type* want = types[values.size()];
    push_type_hint(p, want);
    Value* v = read_value(p, scope, PRIO_ALL, 0);
    pop_type_hint(p);
    v = convert_value(v, p->context, scope, want);
    require_compat(p->context, want, v->type);
    values.push_back(v);
    next_token(p, true, true);
    if (p->kind != TOK_SYMBOL) error_unexpected_token(p);
    if (p->is(closer)) break;
    if (!p->is(",")) error_unexpected_token(p);
  }
  if (values.size() < types.size()) parse_error(p, "Missing values, expected values: " + count);
  return values;
}

Value* read_intrinsic(Parser* p, Scope* scope, Value* prefix) {
  std::string_view word = p->token();
  if (!word.empty() && word[0] == '@') word.remove_prefix(1);
  Build* b = p->build;
  ParseContext* ctx = p->context;
  static const std::string_view known[] = {"memcpy",       "ptrv",      "ref",          "stableRef",
                                           "global_default_value",    "stack",        "setjmp",
                                           "longjmp",      "vtable",    "property_init", "property_update",
                                           "property_get", "property_clear", "POOL_INDEX"};
  if (word == "undefined") return value_undefined(b);
  bool is_known = false;
  for (std::string_view k : known) is_known = is_known || k == word;
  if (!is_known) return nullptr;
  std::string at_word = "@" + std::string(word);
  expect_token(p, "(", false, false);

  if (word == "memcpy") {
    Type* ptr = ptr_type(b);
    std::vector<Value*> args = read_values_for_types(p, scope, {ptr, ptr, core_type(b, "uint")}, ")");
    return value_memcpy(b, args[0], args[1], args[2]);  // source first, then destination
  }
  if (word == "ptrv") return read_ptrv(p, scope);
  if (word == "ref" || word == "stableRef") {
    Value* v = read_value(p, scope, PRIO_ALL, 1);
    if (v->kind == VAL_DECL) {
      v->decl->in_memory = 1;
      if (word == "stableRef") v->decl->make_stable();
    } else if (!value_is_assignable_kind(v)) {
      parse_error(p,
                  "Cannot use '@ref or @stableRef' on this value. It can only be used on assignable values, like "
                  "variable names or object properties.");
    }
    // The pointer can be written through.
    require_store_access(p, v);
    Value* ref = value_reference(ctx, v, 0);
    // The cached reference Type of v stays a reference; this value is a plain pointer.
    ref->type = ref->type->copy();
    ref->type->kind = TYPE_POINTER;
    expect_sep(p, ")");
    return ref;
  }
  if (word == "global_default_value") return read_global_default_value(p, scope, prefix);
  if (word == "stack") return read_stack(p, scope);
  if (word == "setjmp") return read_jump(p, scope, false);
  if (word == "longjmp") return read_jump(p, scope, true);
  if (word == "vtable") return read_vtable(p, scope);
  if (word == "property_init") return read_property_store(p, scope, at_word, false);
  if (word == "property_update") return read_property_store(p, scope, at_word, true);
  if (word == "property_get") {
    Value* target = read_arg(p, scope);
    if (!value_is_assignable_kind(target)) {
      parse_error(p, "Invalid 1st parameter for @property_get. Must be an assignable value.");
    }
    expect_sep(p, ")");
    if (!target->type->is_gc()) return target;
    return value_cast(call_gc_function(p, scope, "property_get", {value_reference(ctx, target, 0)}), target->type);
  }
  if (word == "property_clear") {
    Value* obj = read_arg(p, scope);
    check_mutable_object(p, obj);
    expect_sep(p, ",");
    Value* target = read_arg(p, scope);
    if (!value_is_assignable_kind(target)) {
      parse_error(p, "Invalid 2nd parameter for @property_clear. Must be an assignable value.");
    }
    expect_sep(p, ")");
    if (obj->type->is_gc() && target->type->is_gc()) {
      return call_gc_function(p, scope, "property_remove", {obj, value_reference(ctx, target, 0)});
    }
    return value_null(ptr_type(b));
  }
  // POOL_INDEX
  Type* t = read_type(p, scope, true, false);
  expect_sep(p, ")");
  return value_int(pool_item_size(t->size(), b->ptr_size), core_type(b, "uint"));
}

}  // namespace tesk
