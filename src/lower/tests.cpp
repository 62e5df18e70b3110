// Tests and assertions: the hidden TestEntry of a test, its submission at every
// return, and `assert(cond)`. Built directly as statements and calls.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "lower/generated.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/records.h"
#include "stmt/ast.h"

namespace tesk {

namespace {

Value* uint_value(Build* b, u64 n) { return value_int(n, runtime_class_type(b, "type", "uint")); }

Func* test_entry_func(Build* b, std::string_view name) { return runtime_class_func(b, "core", "TestEntry", name); }

Value* call(Build* b, Scope* scope, Func* f, std::vector<Value*> args) {
  return value_function_call(b, scope, value_func(f), std::move(args));
}

}  // namespace

void declare_test_entry(FuncAst* ast) {
  Func* f = ast->func;
  Build* b = ast->build;
  Scope* s = ast->scope;
  ParseContext* ctx = context_for_func(f);
  Class* entry_class = runtime_class(b, "core", "TestEntry");
  std::string path = "?";
  u64 line = 0;
  if (f->body_chunk) {
    path = std::string(chunk_path(f->body_chunk));
    line = f->body_chunk->line;
  }
  std::vector<Value*> args{value_string_literal(f->test_name, ctx), value_string_literal(path, ctx),
                           uint_value(b, line)};
  Value* init = call(b, s, test_entry_func(b, "init"), std::move(args));
  Decl* d = new_decl(entry_class->get_type(), false, "");
  s->add_decl(d);
  ast->test_entry_decl = d;
  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = AST_DECLARE;
  n->decl = d;
  n->value = init;
  s->ast.push_back(n);
}

void submit_test_entry(Func* func, Scope* scope) {
  Build* b = func->build;
  FuncAst* ast = func->get_ast();
  if (!ast->test_entry_decl) build_error(b, "Missing test entry decl object (bug)");
  if (func->args.empty() || !func->args[0]->decl) build_error(b, "Missing test first argument (bug)");
  std::vector<Value*> args{value_decl(func->args[0]->decl), value_decl(ast->test_entry_decl)};
  Func* submit = runtime_class_func(b, "core", "TestResults", "submit_entry");
  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = AST_VALUE;
  n->value = call(b, scope, submit, std::move(args));
  scope->ast.push_back(n);
}

Value* read_assert(Parser* p, Scope* scope) {
  Build* b = p->build;
  Func* f = p->context ? p->context->func : nullptr;
  if (!f) parse_error(p, "Missing function object in parser (bug)");
  expect_token(p, "(", false, false);
  u64 start = p->index;
  Value* cond = read_value(p, scope, 99999, 0);
  if (!cond->type || cond->type->kind != TYPE_BOOL) {
    parse_error(p, "The assert value must be of type 'bool' instead of '" +
                       (cond->type ? cond->type->to_text() : std::string("none")) + "'");
  }
  std::string source(p->data + start, p->index - start);
  expect_token(p, ")", true, true);

  std::vector<Value*> args;
  Func* target;
  if (f->is_test) {
    target = test_entry_func(b, "assert_test");
    FuncAst* ast = f->get_ast();
    if (!ast->test_entry_decl) parse_error(p, "Missing test entry decl object (bug)");
    args.push_back(value_decl(ast->test_entry_decl));
  } else {
    target = test_entry_func(b, "assert_panic");
  }
  args.push_back(cond);
  args.push_back(value_string_literal(source, p->context));
  args.push_back(value_string_literal(chunk_path(p->chunk), p->context));
  args.push_back(uint_value(b, p->line));
  return call(b, scope, target, std::move(args));
}

}  // namespace tesk
