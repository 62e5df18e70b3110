// Member access: what follows a "." written directly after a value.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "tools/lsp.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/access.h"
#include "model/generics.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/value_queries.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/ast.h"
#include "util/strings.h"

namespace tesk {

namespace {

[[noreturn]] void expected(Parser* p, std::string_view want) {
  parse_error(p, cat({"Expected token: '", want, "', instead of: '", p->token(), "'"}));
}

SourceFile* parser_file(Parser* p) { return p->chunk ? p->chunk->file : nullptr; }

bool can_read(Parser* p, SourceFile* owning, AccessLevel access) {
  SourceFile* file = parser_file(p);
  return !file || check_access(file, owning, access, false).ok();
}

// The fixed-array count a receiver Type stands for: an array, a pointer to an array, or
// the pointer that referencing an array gives (its count is the array's).
u64 array_count(Type* t) {
  if (t->kind == TYPE_ARRAY) return t->count;
  if (t->kind == TYPE_POINTER) {
    if (t->sub && t->sub->kind == TYPE_ARRAY) return t->sub->count;
    return t->count;
  }
  return 0;
}

Class* receiver_class(Type* t) {
  if (Class* c = t->get_class()) return c;
  if (t->sub) return t->sub->get_class();
  return nullptr;
}

Value* method_access(Parser* p, Scope* scope, Value* receiver, Class* cls, Func* f, const std::string& name,
                     bool at_name) {
  Build* b = p->build;
  if (at_name) {
    LspContext* lsp = lsp_context(b);
    if (lsp_is_definition(lsp)) lsp_define_func(lsp, f);
  }
  if (f->is_mut && cls->imut)
    parse_error(p, "You can only access the function '" + name + "' if your object is mutable");
  if (f->is_generic) f = read_function_generic_args(p, scope, f);
  if (!can_read(p, f->file, f->access)) parse_error(p, "Cannot access this function because it's defined as private");
  scope->note_call(f);
  Value* fv = value_func(f);
  if (f->no_args) return value_function_call(b, scope, fv, {receiver});
  fv->op1 = receiver;
  return fv;
}

Value* property_access(Parser* p, Scope* scope, Value* receiver, Property* prop, u8 ref_flag, bool at_name) {
  Build* b = p->build;
  if (at_name) {
    LspContext* lsp = lsp_context(b);
    if (lsp_is_definition(lsp)) lsp_define_property(lsp, prop);
  }
  if (!can_read(p, prop->class_ ? prop->class_->file : nullptr, prop->access))
    parse_error(p, "Cannot access this property because it's defined as private");
  Value* v = value_prop(prop, receiver);
  if (!prop->lazy || ref_flag) return v;

  // A lazy property is initialised on first read: if it is null, store its default.
  Scope* s = new_scope(scope, SCOPE_BLOCK);
  Scope* then_scope = new_scope(s, SCOPE_BINDING);
  Scope* else_scope = new_scope(s, SCOPE_BINDING);
  AstNode* test = b->make_func_lived<AstNode>();
  test->kind = AST_IF;
  test->value = value_compare(v, value_null(prop->type), OP_EQ, core_type(b, "bool"));
  test->scope = then_scope;
  test->else_scope = else_scope;
  s->ast.push_back(test);
  Value* init = read_init_values(p, scope, receiver, prop);
  if (init->kind == VAL_UNDEFINED) parse_error(p, "The default value of lazy propertiies should not be @undefined");
  AstNode* store = b->make_func_lived<AstNode>();
  store->kind = AST_ASSIGN;
  store->value = v;
  store->value2 = init;
  then_scope->ast.push_back(store);

  Value* read = value_prop(prop, receiver);
  read->type = v->type;
  return value_copy(value_inline_scope(s, void_type(b)), read);
}

Value* convert_to(Parser* p, Scope* scope, Value* receiver, Class* cls) {
  Build* b = p->build;
  next_token(p, false, false);
  if (!p->is("(")) expected(p, "(");
  Type* target = read_type(p, scope, false, false);
  next_token(p, true, false);
  if (!p->is(")")) expected(p, ")");
  if (target->compat(receiver->type, 0)) return receiver;
  if (cls) {
    if (Func* f = cls->find_to_function(target)) {
      Value* call = value_function_call(b, scope, value_func(f), {receiver});
      call->type = target;
      return call;
    }
  }
  auto plain = [](Type* t) { return t->kind == TYPE_INT || t->kind == TYPE_FLOAT || t->kind == TYPE_BOOL; };
  if (plain(receiver->type) && plain(target)) return value_cast(receiver, target);
  parse_error(p, "Cannot find a function to convert this value to: '" + target->to_text() + "'");
}

Value* pointer_offset(Parser* p, Scope* scope, Value* receiver, const std::string& name) {
  Type* t = receiver->type;
  if (name == "$offset" && t->kind != TYPE_RAW_POINTER)
    parse_error(p, "The '$offset' token can only be used on void pointer types. Not on: " + t->to_text());
  if (name == "@offset" && !t->is_pointer_sized())
    parse_error(p, "The '@offset' token can only be used on pointer types. Not on: " + t->to_text());
  next_token(p, false, false);
  if (!p->is("(")) expected(p, "(");
  Value* offset = read_value(p, scope, PRIO_ALL, 0);
  if (!offset->type || offset->type->kind != TYPE_INT)
    parse_error(p, "Expected a number value, not a value of type: " +
                       (offset->type ? offset->type->to_text() : std::string("none")));
  Type* element = core_type(p->build, "u8");
  next_token(p, true, false, false);
  if (p->is(",")) {
    next_token(p, true, false);
    element = read_type(p, scope, false, false);
  }
  next_token(p, true, false);
  if (!p->is(")")) expected(p, ")");
  return value_ptr_offset(receiver, offset, element);
}

Value* shared_test(Parser* p, Value* receiver) {
  Build* b = p->build;
  Type* t = receiver->type;
  bool ok = t->kind == TYPE_FN;
  if (t->kind == TYPE_POINTER && t->sub && t->sub->kind == TYPE_CLASS) {
    if (!t->sub->class_) fatal_build_error("Type has no class: " + t->to_text() + " (bug)");
    ok = true;
  }
  if (!ok) parse_error(p, "The '$is_shared' token can only be used on 'class' types. Not on: " + t->to_text());
  if (t->nullable)
    parse_error(p, "The '$is_shared' token cannot be used on null-able types. Your type: " + t->to_text());
  // The object header byte 4 bytes before the object has bit 0x04 set when shared.
  Type* u8t = core_type(b, "u8");
  Value* header = value_ptrv(receiver, u8t, value_int(static_cast<u64>(-4), core_type(b, "int")));
  Value* bits = value_math(header, value_int(4, u8t), OP_BIT_AND, u8t);
  return value_compare(bits, value_int(4, u8t), OP_EQ, core_type(b, "bool"));
}

}  // namespace

Value* read_dot_access(Parser* p, Scope* scope, Value* receiver, u8 ref_flag) {
  Build* b = p->build;
  Type* t = receiver->type;
  if (t->kind == TYPE_STRUCT || t->kind == TYPE_CLASS || t->kind == TYPE_ARRAY) {
    if (!value_is_assignable(receiver)) error_at(p->context, "Trying to get reference from non-assignable value");
    Value* ref = b->make_func_lived<Value>();
    ref->kind = VAL_REFERENCE;
    ref->op1 = receiver;
    ref->type = t->get_ref();
    receiver = ref;
    t = ref->type;
  }
  u64 count = array_count(t);

  if (p->at_cursor) {
    LspContext* lsp = lsp_context(b);
    if (lsp_is_completion(lsp)) {
      if (t->kind == TYPE_ERROR && t->errors) {
        std::vector<std::string> names;
        for (auto& [n, code] : *t->errors) names.push_back(n);
        lsp_complete_names(lsp, names);
      }
      if (count >= 1) lsp_complete_names(lsp, {"$length"});
      if (t->enum_) lsp_complete_enum_values(lsp, t->enum_);
      Class* c = receiver_class(t);
      if (!c) parse_error(p, "Cannot access properties/functions on this type: " + t->to_text());
      if (t->group)
        lsp_complete_group_functions(lsp, t->group, parser_file(p));
      else
        lsp_complete_class_members(lsp, c, parser_file(p));
    }
  }

  u64 kind = next_token(p, false, false);
  if (kind != TOK_WORD && kind != TOK_AT_WORD && kind != TOK_DOLLAR_WORD)
    parse_error(p, cat({"Invalid identifier name: '", p->token(), "'"}));
  std::string name(p->token());
  bool at_name = p->at_cursor;

  if (name == "$length" && count >= 1) return value_int(count, runtime_class_type(b, "type", "uint"));
  if (name == "@cast") {
    next_token(p, false, false);
    if (!p->is("(")) expected(p, "(");
    Type* target = read_type(p, scope, false, false);
    if (target->is_inline())
      parse_error(p, "You cannot cast '" + t->to_text() + "' to '" + target->to_text() + "'");
    next_token(p, true, true);
    if (!p->is(")")) expected(p, ")");
    return value_cast(receiver, target);
  }
  if (t->kind == TYPE_ERROR) {
    if (!t->errors)
      parse_error(p,
                  "The compiler seems to have lost essential information about this error value, so you cannot "
                  "access any properties on this error value. (bug)");
    if (ErrorCode* code = t->errors->find(name)) return value_int(*code, error_value_type(b, name, *code));
    std::string names;
    for (auto& [n, code] : *t->errors) {
      if (!names.empty()) names += ", ";
      names += n;
    }
    parse_error(p, "This value has no error named '" + name + "'. Valid options are: " + names);
  }
  if (t->nullable) parse_error(p, "You cannot access properties/functions on a nullable type: " + t->to_text());
  Class* cls = receiver_class(t);
  if (!cls) parse_error(p, "Cannot access properties/functions on this type: " + t->to_text());

  Func* f = nullptr;
  if (t->group) {
    if (Func** gf = t->group->funcs.find(name)) f = *gf;
  }
  if (!f) f = cls->get_function(name);
  if (f) return method_access(p, scope, receiver, cls, f, name, at_name);
  if (Property* prop = cls->get_prop(name)) return property_access(p, scope, receiver, prop, ref_flag, at_name);
  if (Group* g = cls->get_group(name)) {
    Type* seen = t->copy();
    seen->group = g;
    receiver->type = seen;
    return receiver;
  }
  if (name == "to" || name == "$to") return convert_to(p, scope, receiver, cls);
  if (name == "$offset" || name == "@offset") return pointer_offset(p, scope, receiver, name);
  if (name == "$is_shared") return shared_test(p, receiver);
  parse_error(p, "Unknown property/function: '" + name + "' on type: '" + t->to_text() + "'");
}

}  // namespace tesk
