// Keyword values: size_of, true/false, isset, null, object, assert, co, await, error_is,
// __FILE__, __DIR__, clone, fn, atomic*, match, raw strings, and the identifier fall-back.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "expr/access.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "lower/generated.h"
#include "lower/lowering.h"
#include "model/generics.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"
#include "util/strings.h"

namespace tesk {

namespace {

// "(" written directly after the keyword.
void expect_open(Parser* p) {
  next_token(p, false, false);
  if (!symbol_is(p, "(")) parse_error(p, cat({"Expected token: '(', instead of: '", p->token(), "'"}));
}

void expect_close(Parser* p) { expect_token(p, ")", true, true); }

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

Value* read_size_of(Parser* p, Scope* scope) {
  expect_open(p);
  Type* t = read_type(p, scope, true, false);
  expect_close(p);
  Type* hint = p->type_hint;
  return value_int(t->size(), (hint && hint->is_int()) ? hint : int_type(p->build));
}

Value* read_isset(Parser* p, Scope* scope) {
  expect_open(p);
  Value* v = read_value(p, scope, PRIO_ALL, 0);
  if (!v->type->nullable) {
    if (!p->in_loop) parse_error(p, cat({"You can only use isset on nullable types. Type found: ", type_text(v->type)}));
    p->build->loop_mode_effects++;
  }
  expect_close(p);
  Value* r = value_compare(v, value_null(v->type), OP_NE, core_type(p->build, "bool"));
  if (v->kind == VAL_DECL && v->decl) r->true_decls.assign(1, v->decl);
  return r;
}

Value* read_null(Parser* p) {
  Build* b = p->build;
  Type* hint = p->type_hint;
  Type* t = nullptr;
  if (hint && hint->is_pointer_sized()) {
    t = hint->nullable ? hint : hint->get_nullable();
  } else if (char_at(p, 0) == '.') {
    // Look behind the "." and come back: the postfix loop reads it.
    const u64 index = p->index, line = p->line, col = p->col;
    advance_chars(p, 1);
    next_token(p, false, false);
    const bool cast = p->is("to") || p->is("@cast");
    p->index = index;
    p->line = line;
    p->col = col;
    if (cast) t = runtime_class_type(b, "type", "ptr")->get_nullable();
  }
  if (!t) t = null_type(b);
  return value_null(t);
}

Value* read_error_is(Parser* p, Scope* scope) {
  Build* b = p->build;
  expect_open(p);
  IdentifierResult res = read_identifier(p, scope, true, true);
  if (!res.ok()) parse_error(p, res.error);
  Value* e = res.id->value;
  if (!e) parse_error(p, "First value in 'error_is' is not an error value");
  if (!e->type || e->type->kind != TYPE_ERROR) parse_error(p, "First value in 'error_is' is not an error type");
  expect_token(p, ",", true, true);
  Type* bt = core_type(b, "bool");
  Value* test = nullptr;
  for (;;) {
    next_token(p, true, true);
    if (p->kind != TOK_WORD) error_invalid_identifier(p);
    const std::string_view name = p->token();
    const u32 code = name_hash_u32(name);
    Value* c = value_int(code, error_value_type(b, name, code));
    Value* t = value_compare(e, c, OP_EQ, bt);
    test = test ? value_and_or(test, t, OP_OR, test->type) : t;
    next_token(p, true, true, false);
    if (!symbol_is(p, ",")) break;
    next_token(p, true, true);
  }
  expect_close(p);
  return test;
}

std::string dir_of(std::string_view path) {
  if (path.size() < 2) return std::string(path);
  for (u64 i = path.size() - 1; i-- > 0;) {
    if (path[i] == '/' || path[i] == '\\') return std::string(path.substr(0, i == 0 ? 1 : i));
  }
  return std::string(path);
}

Value* read_clone(Parser* p, Scope* scope) {
  Build* b = p->build;
  expect_open(p);
  Value* v = read_value(p, scope, PRIO_ALL, 0);
  // The copy of such an object would release the resource a second time.
  Class* cls = v->type ? v->type->get_class() : nullptr;
  if (cls && cls->get_function("gc_free") && !cls->get_function("clone")) {
    parse_error(p, "Cannot clone a value of class '" + cls->display_name +
                       "': it has gc_free and no clone() function, so both copies would free the resource");
  }
  expect_close(p);
  Func* generic = runtime_func(b, "core", "clone_value");
  Func* inst = get_generic_function(generic, {v->type}, nullptr);
  return value_function_call(b, scope, value_func(inst), {v});
}

Value* read_atomic(Parser* p, Scope* scope) {
  expect_open(p);
  Value* m = read_value(p, scope, PRIO_ALL, 0);
  if (m->kind != VAL_MATH) parse_error(p, "Invalid atomic statement");
  if (!m->op1 || !m->op2) parse_error(p, "Missing operator values (bug)");
  const u64 op = m->number;
  if (op != OP_ADD && op != OP_SUB && op != OP_BIT_AND && op != OP_BIT_OR && op != OP_BIT_XOR) {
    parse_error(p, "Atomic operations only allows: + - & | ^");
  }
  if (!assignable(m->op1)) {
    parse_error(p, "Atomic operation: Left value must be an assignable value. e.g. a variable");
  }
  if (m->op1->kind == VAL_DECL && m->op1->decl) m->op1->decl->in_memory = 1;
  expect_close(p);
  return value_atomic(m->op1, m->op2, op);
}

Value* read_atomic_target(Parser* p, Scope* scope) {
  Value* t = read_value(p, scope, PRIO_ALL, 0);
  if (!assignable(t)) parse_error(p, "Atomic store: Left value must be an assignable value. e.g. a variable");
  return t;
}

Value* read_atomic_store(Parser* p, Scope* scope) {
  expect_open(p);
  Value* target = read_atomic_target(p, scope);
  expect_token(p, ",", true, true);
  Value* v = read_value(p, scope, PRIO_ALL, 0);
  Value* conv = convert_value(v, p->context, scope, target->type);
  check_type_compat(target->type, conv->type, p->context, nullptr);
  expect_close(p);
  return value_atomic_store(target, conv);
}

Value* read_atomic_load(Parser* p, Scope* scope) {
  expect_open(p);
  Value* target = read_atomic_target(p, scope);
  expect_close(p);
  return value_atomic_load(target);
}

// The raw string after `r`: quotes dropped, backslash escapes decoded, no interpolation.
Value* read_raw_string(Parser* p) {
  next_token(p, false, false);
  std::string_view t = p->token();
  if (t.size() >= 2) t = t.substr(1, t.size() - 2);
  std::string out;
  out.reserve(t.size());
  for (u64 i = 0; i < t.size(); i++) {
    char c = t[i];
    if (c != '\\' || i + 1 >= t.size()) {
      out.push_back(c);
      continue;
    }
    char n = t[++i];
    switch (n) {
      case 'a': out.push_back(7); break;
      case 'b': out.push_back(8); break;
      case 'f': out.push_back(12); break;
      case 'n': out.push_back(10); break;
      case 'r': out.push_back(13); break;
      case 't': out.push_back(9); break;
      case 'v': out.push_back(11); break;
      case 'e': out.push_back(27); break;
      default: out.push_back(n); break;
    }
  }
  return keyword_string_value(p, out);
}

}  // namespace

Value* keyword_string_value(Parser* p, std::string_view text) { return value_string_literal(text, p->context); }

Value* read_word_value(Parser* p, Scope* scope) {
  Build* b = p->build;
  const std::string_view w = p->token();
  if (w == "size_of") return read_size_of(p, scope);
  if (w == "true") return value_bool(b, 1);
  if (w == "false") return value_bool(b, 0);
  if (w == "isset") return read_isset(p, scope);
  if (w == "null") return read_null(p);
  if (w == "object") return read_anonymous_object(p, scope);
  if (w == "assert") return read_assert(p, scope);
  if (w == "co") {
    p->in_co = 1;
    Value* call = read_value(p, scope, 1, 0);
    if (call->kind != VAL_CALL) parse_error(p, "Expected a function call statement after 'co' token");
    return coro_start_template(p, scope, call);
  }
  if (w == "await") {
    Value* v = read_value(p, scope, 1, 0);
    if (!v->type || v->type->kind != TYPE_CO) {
      parse_error(p, cat({"Using 'await' on a non-coroutine value type. Value type: '", type_text(v->type),
                          "'. Expected type: 'co({return-types}){errors}'. e.g. 'co(void)' or 'co(i32) !error'"}));
    }
    return coro_await_template(p, scope, v);
  }
  if (w == "error_is") return read_error_is(p, scope);
  if (w == "__FILE__") return keyword_string_value(p, p->chunk->file->path);
  if (w == "__DIR__") return keyword_string_value(p, dir_of(p->chunk->file->path));
  if (w == "clone") return read_clone(p, scope);
  if (w == "fn" && char_at(p, 0) == '(') {
    next_token(p, false, false);
    return read_inline_function(p, scope);
  }
  if (w == "atomic") return read_atomic(p, scope);
  if (w == "atomic_store") return read_atomic_store(p, scope);
  if (w == "atomic_load") return read_atomic_load(p, scope);
  if (w == "match") return read_match(p, scope);
  if (w == "r" && char_at(p, 0) == '"') return read_raw_string(p);

  // Any other word: an identifier, read again from its start.
  p->index -= p->tok_len;
  p->col -= p->tok_len;
  IdentifierResult res = read_identifier(p, scope, true, true);
  if (!res.ok()) parse_error(p, res.error);
  return value_of_identifier(p, scope, res.id);
}

}  // namespace tesk
