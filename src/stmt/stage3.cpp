// Stage 3.1: the body of one function read into its AST.
#include "stmt/stage3.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "source/parser.h"
#include "source/records.h"
#include "stmt/statements.h"

namespace tesk {

void parse_function_ast(Func* func) {
  Build* b = func->build;
  log_detail(b, "> Stage 3.1: Parse function AST: " + func->display_name);
  if (!func->body_chunk) {
    add_warning(b, "Missing function body");
    return;
  }
  Parser* p = new_parser(func->body_chunk, nullptr);
  p->context->build = func->body_chunk->build;
  // The function's own unit: its IR and the string constants it names go there (a
  // generated function's file may belong to another unit).
  p->context->unit = func->unit ? func->unit : (func->file ? func->file->unit : nullptr);
  p->context->func = func;
  FuncAst* ast = func->init_scope();
  try {
    read_statements(p, ast->scope, 0);
  } catch (const NamedError&) {
    // Reported where it was raised; reading the body again would report it again (an
    // inline function is also queued on its own, and every pass would retry it).
    func->failed = 1;
    throw;
  }
  func->build_gc_frame();
}

}  // namespace tesk
