// Operands that start with a sign: groups, "!", "&", prefix "++"/"--", value scopes, "."
// by type hint, fixed-array literals and in-place initialisers.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/statements.h"
#include "util/strings.h"

namespace tesk {

namespace {

bool assignable(const Value* v) {
  switch (v->kind) {
    case VAL_DECL:
    case VAL_PROP:
    case VAL_PTRV:
    case VAL_GLOBAL:
    case VAL_BUFFER_VALUE:
      return true;
    default:
      return false;
  }
}

std::string type_text(Type* t) { return t ? t->to_text() : std::string(); }

Value* read_group(Parser* p, Scope* scope) {
  Build* b = p->build;
  std::vector<Type*> expected;
  Type* hint = p->type_hint;
  if (hint) {
    if (hint->is_multi() && hint->items) {
      expected = *hint->items;
    } else if (!hint->is_void() && !hint->is_undefined() && !hint->is_none()) {
      expected.push_back(hint);
    }
  }
  std::vector<Value*> values;
  for (u64 i = 0;; i++) {
    p->type_hint = i < expected.size() ? expected[i] : nullptr;
    values.push_back(read_value(p, scope, PRIO_ALL, 0));
    expect_token2(p, ",", ")", true, true);
    if (p->is(")")) break;
  }
  p->type_hint = hint;
  value_buffer_gc_args(scope, values);
  if (values.size() == 1) return values[0];
  return value_group(b, values, 1);
}

Value* read_not(Parser* p, Scope* scope) {
  Value* v = read_value(p, scope, 1, 0);
  if (!v->type || !v->type->is_bool()) {
    parse_error(p, cat({"Expected a value of type 'bool' after '!', the value type we found was: ", type_text(v->type)}));
  }
  Value* r = value_not(v);
  if (v->true_decls.size() + v->false_decls.size() == 1) {
    r->true_decls = v->false_decls;
    r->false_decls = v->true_decls;
  }
  return r;
}

Value* read_ref(Parser* p, Scope* scope) {
  Value* v = read_value(p, scope, 0, 1);
  if (!assignable(v)) {
    parse_error(p,
                "Cannot use '&' on this value. It can only be used on assignable values, like variable names or "
                "object properties.");
  }
  // A reference can be written through, so it needs the same access as a store.
  require_store_access(p, v);
  if (v->kind == VAL_DECL && v->decl) v->decl->in_memory = 1;
  return value_reference(p->context, v, 0);
}

Value* read_prefix_incr(Parser* p, Scope* scope, bool incr) {
  const char* sign = incr ? "++" : "--";
  next_token(p, false, false, false);
  if (p->kind == TOK_BLANK) parse_error(p, cat({"Missing value after '", sign, "'"}));
  Value* v = read_value(p, scope, PRIO_ALL, 0);
  if (!assignable(v) || !v->type || !v->type->is_int()) {
    parse_error(p, cat({"Cannot use '", sign, "' on this value"}));
  }
  require_store_access(p, v);
  if (v->kind == VAL_DECL && v->decl) v->decl->in_memory = 1;
  return incr ? value_incr(v, 1) : value_decr(v, 1);
}

Value* read_value_scope(Parser* p, Scope* scope) {
  Scope* s = new_scope(scope, SCOPE_VALUE);
  s->vscope_values.clear();
  s->vscope_type = nullptr;
  read_statements(p, s, 0);
  if (!s->vscope_type || s->vscope_values.empty()) parse_error(p, "Value scope did not return a value");
  return value_value_scope(s, value_phi(s->vscope_values, s->vscope_type));
}

Value* read_hint_access(Parser* p, Scope* scope) {
  Type* hint = p->type_hint;
  if (!hint) parse_error(p, "Using '.' requires a typehint to be present");
  Class* cls = hint->class_;
  if (!cls && hint->kind == TYPE_POINTER && hint->sub && hint->sub->is_inline_class()) cls = hint->sub->class_;
  if (!cls) parse_error(p, cat({"The '.' token cannot be used for type: ", type_text(hint)}));
  return read_class_static_access(p, cls, scope, 1);
}

void check_array_type(Parser* p, Type* t) {
  if (!t->sub) parse_error(p, "Missing array type sub-type (bug)");
  if (t->count == 0) parse_error(p, "Array size is 0 (bug)");
}

Value* read_array_literal(Parser* p, Scope* scope) {
  // The "[" is read: the type reader goes on after it.
  Type* t = read_fixed_array_type(p, scope);
  Decl* d = new_decl(t, false, "fixed_array");
  d->is_gc = 0;
  d->in_memory = 1;
  scope->add_decl(d);
  next_token(p, false, false);
  if (!symbol_is(p, "{")) parse_error(p, cat({"Expected token: '{', instead of: '", p->token(), "'"}));
  check_array_type(p, t);
  d->used = 1;
  Value* ref = value_reference(p->context, value_decl(d), 0);
  return read_fixed_array_values(p, scope, ref, t->sub, t->count);
}

Value* read_in_place(Parser* p, Scope* scope, Value* target) {
  if (!target) {
    parse_error(p,
                "You cannot use '{' here. It can only be used for defining the starting value for inline types . "
                "E.g. let myvar: [u8 x 2] = { 6, 7 }");
  }
  Type* t = target->type;
  Value* r = nullptr;
  if (t && t->kind == TYPE_STRUCT) {
    if (!t->class_) parse_error(p, "Missing class for inline struct initialization (bug)");
    r = read_object_literal(p, scope, t->class_, value_reference(p->context, target, 0));
  } else if (t && t->kind == TYPE_ARRAY) {
    check_array_type(p, t);
    r = read_fixed_array_values(p, scope, value_reference(p->context, target, 0), t->sub, t->count);
  } else {
    parse_error(p, cat({"The '{' token can only be used to define initialization values for inline struct or fixed "
                        "arrays. Not for: ",
                        type_text(t)}));
  }
  r->in_place = 1;
  return r;
}

}  // namespace

Value* read_sign_value(Parser* p, Scope* scope, Value* prefix) {
  const std::string_view s = p->token();
  if (s == "(") return read_group(p, scope);
  if (s == "!") return read_not(p, scope);
  if (s == "&") return read_ref(p, scope);
  if (s == "++") return read_prefix_incr(p, scope, true);
  if (s == "--") return read_prefix_incr(p, scope, false);
  if (s == "<{") return read_value_scope(p, scope);
  if (s == "#") return read_value_directive(p, scope);
  if (s == ".") return read_hint_access(p, scope);
  if (s == "[") return read_array_literal(p, scope);
  if (s == "{") return read_in_place(p, scope, prefix);
  return nullptr;
}

}  // namespace tesk
