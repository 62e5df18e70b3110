// Inline function values: an anonymous function read, parsed and compiled where written.
#include "driver/build.h"
#include "driver/errors.h"
#include "driver/stages.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "irgen/irgen.h"
#include "lower/lowering.h"
#include "model/funcs.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1_scan.h"
#include "stmt/stage3.h"

namespace tesk {

Value* read_inline_function(Parser* p, Scope* scope) {
  Func* outer = p->context ? p->context->func : nullptr;
  if (!outer) parse_error(p, "Missing function object in parser (bug)");

  Chunk* header = chunk_here(p);
  Func* f = new_func(outer->unit, outer->file, outer->code_file, outer->access, "", nullptr, header, false);
  set_decl_scope_parent(f, scope);
  func_scan_header(f, p);
  read_function_types(f);

  // The first reading of a loop body is dropped: no function is compiled for it.
  if (p->in_loop) {
    p->build->loop_mode_effects++;
    f->no_body = 1;
    if (!f->body_chunk) parse_error(p, "Missing inline function body (bug)");
    return value_null_plain(func_pointer_type(f));
  }

  parse_function_ast(f);
  build_func_ir(f);
  if (!f->ast) build_error(p->build, "Missing function AST object (bug)");
  f->kept_decls = f->ast->scope->decls;

  outer->called.push_back(f);
  outer->opaque_calls = 1;

  Value* fv = value_func(f);
  if (f->ast->captured.empty()) return fv;
  std::vector<Value*> captured;
  captured.reserve(f->ast->captured.size());
  for (Decl* d : f->ast->captured) {
    d->captured = 1;
    captured.push_back(value_decl(d));
  }
  return value_closure(p->context, fv, captured, scope);
}

}  // namespace tesk
