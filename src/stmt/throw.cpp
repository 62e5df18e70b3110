// throw (an error the function declares, returned through its error results) and
// cothrow (any error, raised in the current coroutine by the runtime).
#include "driver/build.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"
#include "stmt/statements.h"

namespace tesk {

void read_throw(Parser* p, Scope* scope) {
  Func* func = p->context ? p->context->func : nullptr;
  if (!func) parse_error(p, "Missing function object in parser (bug)");
  Build* b = p->build;

  next_token(p, true, false);
  if (p->kind != TOK_WORD) error_invalid_identifier(p);
  std::string name = token_text(p);
  ErrorCode* code = func->errors ? func->errors->find(name) : nullptr;
  if (!code) parse_error(p, "Unknown error '" + name + "'. Please add the error to your function declaration.");
  ErrorCode code_number = *code;

  Value* msg = value_string_literal(name, p->context);
  next_token(p, true, false, false);
  if (symbol_is(p, ",")) {
    next_token(p, true, false);
    Value* given = read_value(p, scope, PRIO_ALL, 0);
    Class* string_class = runtime_class(b, "type", "String");
    Class* cls = given->type ? given->type->get_class() : nullptr;
    if (cls != string_class)
      parse_error(p, "Invalid throw message value. Expected a 'String' instead of: " +
                         (given->type ? given->type->to_text() : std::string("none")));
    msg = given;
  }

  Value* code_value = value_int(code_number, runtime_class_type(b, "type", "u32"));
  append_throw(p->context, scope, code_value, msg);
}

void read_cothrow(Parser* p, Scope* scope) {
  Build* b = p->build;
  next_token(p, true, false);
  if (p->kind != TOK_WORD) error_invalid_identifier(p);
  std::string name = token_text(p);
  ErrorCode code = name_hash_u32(name);
  std::string text = name;

  next_token(p, true, false, false);
  if (symbol_is(p, ",")) {
    next_token(p, true, false);
    next_token(p, true, false);
    if (p->kind != TOK_STRING)
      parse_error(p, "Expected a string between doubles quotes, found: '" + token_text(p) + "'");
    std::string_view tok = p->token();
    text = unescape_string(tok.size() >= 2 ? tok.substr(1, tok.size() - 2) : std::string_view());
  }

  Func* thrower = runtime_func(b, "coro", "throw");
  std::vector<Value*> args;
  args.push_back(value_int(code, runtime_class_type(b, "type", "uint")));
  args.push_back(value_string_literal(text, p->context));
  Value* call = value_function_call(b, scope, value_func(thrower), std::move(args));
  append_value_statement(scope, call);
  scope->did_exit = 1;
  scope->ends_unreachable = 1;
}

}  // namespace tesk
