// The generated-code file, unit and fake function, and the shared steps of templates:
// Tesk text read with compiler objects bound beforehand to upper-case names, so nothing
// is ever printed into the text.
#include "lower/generated.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "driver/stages.h"
#include "expr/read_value.h"
#include "model/funcs.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parser.h"
#include "source/stage1_scan.h"

namespace tesk {

SourceFile* generated_code_file(Build* b) {
  if (b->generated_file) return b->generated_file;
  Namespace* ns = b->main_namespace;
  if (!ns) build_error(b, "Cannot find main:main namespace (bug)");
  Scope* scope = make_scope(SCOPE_FILE, ns->scope ? ns->scope->build : b, ns->scope);
  scope->func = ns->scope ? ns->scope->func : nullptr;
  SourceFile* f = b->make<SourceFile>();
  f->ns = ns;
  f->build = b;
  f->unit = ns->unit;
  f->path = "<tesk-generated-code>";
  f->scope = scope;
  f->generated = 1;
  f->ignore_access = 1;
  scope->file = f;
  b->generated_file = f;
  return f;
}

Unit* generated_code_unit(Build* b) {
  if (!b->generated_unit) build_error(b, "Cannot find unit for generated functions (bug)");
  return b->generated_unit;
}

Func* generated_code_func(Build* b) {
  Type* v = void_type(b);
  SourceFile* file = generated_code_file(b);
  Unit* unit = generated_code_unit(b);
  Scope* scope = make_scope(SCOPE_FUNCTION, b, nullptr);
  Func* f = b->make<Func>();
  f->unit = unit;
  f->build = b;
  f->file = file;
  f->code_file = file;
  f->name = f->export_name = f->display_name = "fake";
  f->access = 0;
  f->return_type = f->ir_return_type = v;
  f->errors = new_error_map(b);
  f->decl_scope = scope;
  f->in_docs = 1;
  return f;
}

Chunk* template_chunk(Build* b, SourceFile* file, std::string_view text) {
  // The chunk reads the text in place, so the build keeps it.
  std::string* owned = b->make<std::string>(text);
  Chunk* c = b->make<Chunk>();
  c->build = b;
  c->file = file;
  c->content = *owned;
  c->index = 0;
  c->line = 1;
  c->col = 1;
  return c;
}

Scope* template_child_scope(Scope* scope) {
  Scope* s = make_scope(SCOPE_BLOCK, scope->build, scope);
  s->func = scope->func;
  return s;
}

Scope* template_detached_scope(Build* b) { return make_scope(SCOPE_BLOCK, b, nullptr); }

void template_bind(ParseContext* ctx, Scope* scope, std::string_view name, Identifier* id) {
  if (scope->identifiers.find(name)) error_at(ctx, "Name already used: " + std::string(name));
  scope->identifiers.set(name, id);
}

Value* template_read_value(Parser* caller, Scope* placeholders, std::string_view text) {
  Build* b = caller->build;
  Chunk* chunk = template_chunk(b, generated_code_file(b), text);
  Parser* p = new_parser(chunk, caller);
  return read_value(p, placeholders, 0, 0);
}

TemplateFunc template_new_function(Unit* unit, SourceFile* file, std::string_view name, Scope* placeholders,
                                   std::string_view text) {
  Build* b = unit->build;
  TemplateFunc t;
  Chunk* chunk = template_chunk(b, file, text);
  t.parser = new_parser(chunk, nullptr);
  t.func = new_func(unit, file, file, ACCESS_DEFAULT, name, nullptr, chunk, false);
  set_decl_scope_parent(t.func, placeholders);
  placeholders->func = t.func;
  return t;
}

void template_read_header(const TemplateFunc& t) {
  func_scan_header(t.func, t.parser);
  read_function_types(t.func);
}

}  // namespace tesk
