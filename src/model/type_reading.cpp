// The type reader: every written type (signatures, properties, globals, aliases, enum
// item types, generic arguments, directives) goes through read_type.
#include "model/type_reading.h"

#include <string>
#include <string_view>
#include <vector>

#include "driver/build.h"
#include "expr/read_value.h"
#include "model/runtime.h"
#include "model/class_reading.h"
#include "model/classes.h"
#include "model/error_names.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

namespace {

[[noreturn]] void expected(Parser* p, std::string_view what) {
  parse_error(p, cat({"Expected token: '", what, "', instead of: '", p->token(), "'"}));
}

bool symbol_in(Parser* p, std::initializer_list<std::string_view> texts) {
  if (p->kind != TOK_SYMBOL) return false;
  for (std::string_view t : texts)
    if (p->is(t)) return true;
  return false;
}

// The element count of a fixed array or a pointer: an unsigned integer constant above
// 0, read as a value with the hint `uint`.
u64 read_array_size(Parser* p, Scope* scope) {
  // A written minus would turn into a huge unsigned count.
  next_token(p, true, true, false);
  const bool negative = symbol_in(p, {"-"});
  push_type_hint(p, runtime_class_type(p->build, "type", "uint"));
  Value* v = read_value(p, scope, PRIO_ALL, 0);
  pop_type_hint(p);
  if (negative || v->kind != VAL_INT || !v->type || !v->type->is_int() || v->type->signed_) {
    parse_error(p, "Invalid integer size");
  }
  if (v->number == 0) parse_error(p, "Array size must be larger than 0");
  return v->number;
}

// The argument and result lists and the errors after "fn" or "fnptr".
FuncInfo* read_signature(Parser* p, Scope* scope) {
  Build* b = p->build;
  FuncInfo* info = new_func_info(b);
  next_token(p, false, false);
  if (!p->is("(")) expected(p, "(");
  info->args = read_type_list(p, scope, ")", false);
  next_token(p, false, false);
  if (!p->is("(")) expected(p, "(");
  // One `void` result stands for none: "()" and "(void)" are the same.
  info->rets = read_type_list(p, scope, ")", true);
  info->errors = new_error_map(b);
  read_error_names(p, info->errors);
  info->infinite = 0;
  info->can_error = info->errors->empty() ? 0 : 1;
  return info;
}

Type* read_co_type(Parser* p, Scope* scope) {
  Build* b = p->build;
  std::vector<Type*>* items = nullptr;
  next_token(p, false, false, false);
  if (symbol_in(p, {"("})) {
    next_token(p, false, false);
    items = b->make<std::vector<Type*>>(read_type_list(p, scope, ")", true));
  }
  ErrorMap* errors = new_error_map(b);
  read_error_names(p, errors);
  return co_type(b, items, errors);
}

// "(" T, T, ... ")": two or more types are a multi, one is itself, none is void.
Type* read_multi_type(Parser* p, Scope* scope) {
  std::vector<Type*> items;
  for (;;) {
    u64 kind = next_token(p, true, false, false);
    // A line that ends inside the list ends it; the ")" check below then fails.
    if (kind == TOK_BLANK || symbol_in(p, {")"})) break;
    if (!items.empty()) {
      next_token(p, true, false);
      if (!symbol_in(p, {","})) parse_error(p, cat({"Expected token: ',' or ')', instead of: '", p->token(), "'"}));
    }
    Type* t = read_type(p, scope, true, false);
    if (t->kind == TYPE_VOID) parse_error(p, "You cannot use 'void' in a multi-type");
    items.push_back(t);
  }
  next_token(p, true, false);
  if (!p->is(")")) expected(p, ")");
  return multi_type(p->build, items, false);
}

Type* read_named_type(Parser* p, Scope* scope) {
  // The word is read again by the identifier reader, which also takes "ns:name".
  p->index -= p->tok_len;
  p->col -= p->tok_len;
  IdentifierResult r = read_identifier(p, scope, true, false);
  if (!r.ok()) parse_error(p, r.error);
  return type_of_identifier(p, scope, r.id);
}

}  // namespace

Type* read_type(Parser* p, Scope* scope, bool skip_newlines, bool allow_multi) {
  NestingGuard level(p, NEST_TYPE);
  Build* b = p->build;
  u64 kind = next_token(p, true, skip_newlines);
  if (kind == TOK_WORD) {
    if (p->is("void")) return void_type(b);
    if (p->is("fn")) return fn_type(b, read_signature(p, scope));
    if (p->is("fnptr")) return fnptr_type(b, read_signature(p, scope));
    if (p->is("co")) return read_co_type(p, scope);
    if (p->is("typeof")) {
      next_token(p, false, false);
      if (!p->is("(")) expected(p, "(");
      Value* v = read_value(p, scope, PRIO_ALL, 0);
      next_token(p, true, true);
      if (!p->is(")")) expected(p, ")");
      return v->type;
    }
    return read_named_type(p, scope);
  }
  if (kind == TOK_SYMBOL) {
    // "??" is a single token; a nullable type made nullable again is the same type.
    if (p->is("?") || p->is("??")) return read_type(p, scope, false, false)->get_nullable();
    if (p->is("*") || p->is("&")) {
      bool is_ref = p->is("&");
      next_token(p, false, false, false);
      if (symbol_in(p, {"["})) {
        next_token(p, false, false);
        Type* t = new_type(b, is_ref ? TYPE_REFERENCE : TYPE_POINTER);
        read_pointer_tail(p, scope, t);
        return t;
      }
      Type* t = read_type(p, scope, false, false);
      if (is_ref) return t->get_reference();
      // A class name already stands for the pointer to its object: "*Vec" is "Vec".
      if (t->kind == TYPE_POINTER && !t->nullable && t->count == 0 && t->sub && t->sub->is_inline_class()) return t;
      return t->get_ref();
    }
    if (p->is(".")) {
      if (!p->type_hint) parse_error(p, "Using '.' but the compiler could not find a typehint for it");
      return p->type_hint;
    }
    if (p->is("<")) {
      Chunk* at = chunk_at_token(p);
      Type* t = read_type(p, scope, false, false);
      next_token(p, true, false);
      if (!p->is(">")) expected(p, ">");
      Type* value = t->get_pointed();
      check_inline_value_type(p, value, at);
      return value;
    }
    if (p->is("[")) return read_fixed_array_type(p, scope);
    if (p->is("(") && allow_multi) return read_multi_type(p, scope);
  }
  parse_error(p, cat({"Unknown type: ", p->token()}));
}

Type* read_fixed_array_type(Parser* p, Scope* scope) {
  Type* t = read_type(p, scope, false, false);
  if (t->is_gc()) parse_error(p, "You cannot use class types in fixed arrays");
  if (next_token(p, true, false) != TOK_WORD || !p->is("x")) expected(p, "x");
  u64 size = read_array_size(p, scope);
  Type* array = array_type(p->build, t, size);
  if (array->size() > kMaxTypeSize) parse_error(p, kTypeTooLarge);
  next_token(p, true, false);
  if (!p->is("]")) expected(p, "]");
  return array;
}

void read_pointer_tail(Parser* p, Scope* scope, Type* type) {
  Type* t = read_type(p, scope, true, false);
  u64 count = 0;
  if (next_token(p, true, false, false) == TOK_WORD && p->is("x")) {
    next_token(p, true, false);
    count = read_array_size(p, scope);
  }
  next_token(p, true, false);
  if (!p->is("]")) expected(p, "]");
  type->sub = t;
  type->count = count;
}

Type* type_of_identifier(Parser* p, Scope* scope, Identifier* id) {
  // Alias chains end at a target that is no alias. A chain that comes back to itself
  // (two aliases naming each other) names no type.
  std::vector<Alias*> seen;
  while (id->kind == IDENT_ALIAS) {
    Alias* alias = id->alias;
    if (!alias) parse_error(p, "Not a type");
    for (Alias* a : seen)
      if (a == alias) parse_error(p, "Not a type");
    seen.push_back(alias);
    if (alias->target) {
      id = alias->target;
      continue;
    }
    if (alias->type) return alias->type;
    parse_error(p, "Not a type");
  }
  switch (id->kind) {
    case IDENT_TYPE:
      if (!id->type) parse_error(p, "Not a type");
      return id->type;
    case IDENT_CLASS: {
      Class* cls = id->class_;
      if (!cls) parse_error(p, "Not a type");
      if (cls->is_generic) cls = read_class_generic_args(p, scope, cls);
      Type* t = cls->get_type();
      // "ptr[T]": the class Type with an element type.
      next_token(p, false, false, false);
      if (symbol_in(p, {"["})) {
        next_token(p, false, false);
        t = t->copy();
        read_pointer_tail(p, scope, t);
      }
      return t;
    }
    case IDENT_ENUM:
      if (!id->enum_) parse_bug(p, "Missing enum info for identifier");
      return id->enum_->get_type();
    case IDENT_PROPERTY:
    case IDENT_VALUE_PROPERTY:
      if (!id->prop) parse_bug(p, "Missing property info for identifier");
      return id->prop->type;
    default:
      parse_error(p, "Not a type");
  }
}

Class* read_class_generic_args(Parser* p, Scope* scope, Class* generic) {
  if (!generic->generic_names) parse_error(p, "Missing class generic names. (bug)");
  if (!generic->generic_instances) parse_error(p, "Missing class generic list (bug)");
  next_token(p, false, false, false);
  if (!symbol_in(p, {"["}) && p->type_hint) {
    // The name alone where an instance of it is expected means that instance.
    Class* hinted = p->type_hint->get_class();
    if (hinted && hinted->generic_base == generic) return hinted;
  }
  next_token(p, false, false);
  if (!p->is("[")) expected(p, "[");
  std::vector<Type*> types;
  types.reserve(generic->generic_names->size());
  size_t left = generic->generic_names->size();
  for (auto& [name, gname] : *generic->generic_names) {
    Type* t = read_type(p, scope, false, false);
    if (gname->prop_type && (generic->imut || generic->async)) {
      Class* tc = t->get_class();
      if (!tc || !tc->async) t = t->get_imut();
    }
    types.push_back(t);
    left--;
    next_token(p, true, true);
    if (!p->is(left == 0 ? "]" : ",")) expected(p, left == 0 ? "]" : ",");
  }
  return get_generic_class(p->build, generic, types);
}

}  // namespace tesk
