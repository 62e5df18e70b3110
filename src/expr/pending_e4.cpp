// Stand-ins for services of the statement reader and the lowering that the literal
// builders call, until those subsystems bring the real ones.
#include "driver/build.h"
#include "driver/errors.h"
#include "expr/pending.h"
#include "model/lowering_hooks.h"
#include "model/records.h"
#include "model/scope.h"
#include "source/records.h"
#include "stmt/ast.h"

namespace tesk {

// Only the shape of a store: no conversion, no type or write-barrier checks yet. An
// undefined value stores nothing and an in-place value is only evaluated.
void store_value(ParseContext*, Scope* scope, Value* target, Value* value, u8, Chunk*) {
  if (value->kind == VAL_UNDEFINED) return;
  AstNode* n = scope->build->make<AstNode>();
  if (value->in_place) {
    n->kind = AST_VALUE;
    n->value = value;
  } else {
    n->kind = AST_ASSIGN;
    n->value = target;
    n->value2 = value;
  }
  scope->ast.push_back(n);
}

SourceFile* generated_code_file(Build* b) {
  if (b->generated_file) return b->generated_file;
  Namespace* ns = b->main_namespace;
  if (!ns) build_error(b, "Cannot find main:main namespace (bug)");
  SourceFile* f = b->make<SourceFile>();
  f->ns = ns;
  f->build = b;
  f->unit = ns->unit;
  f->path = "<tesk-generated-code>";
  f->generated = 1;
  f->ignore_access = 1;
  f->scope = make_scope(SCOPE_FILE, b, ns->scope);
  f->scope->file = f;
  b->generated_file = f;
  return f;
}

}  // namespace tesk
