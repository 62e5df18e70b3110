#include "driver/stage_aliases.h"

#include <string>

#include "driver/build_driver.h"
#include "driver/errors.h"
#include "driver/stages.h"
#include "model/records.h"
#include "model/scope.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1.h"
#include "source/stage1_scan.h"
#include "util/strings.h"

namespace tesk {

namespace {

void read_use_list(Build* b, SourceFile* file, UseEntry* entry) {
  Parser* p = new_parser(entry->block, nullptr);
  next_token(p, true, true, false);
  if (p->kind == TOK_SYMBOL && p->is("}")) {
    next_token(p, true, true);
    return;
  }
  Scope* ns_scope = entry->ns->scope;
  for (;;) {
    std::string_view word = stage_1_word(p, true, true);
    Identifier** found = ns_scope->identifiers.find(word);
    if (!found) {
      parse_error(p, cat({"Namespace '", identifier_ref_text(entry->ref), "' has no identifier named '", word, "'"}));
    }
    if (p->at_cursor && file->from_editor) lsp_define_identifier(lsp_context(b), *found, word);
    // The file scope is searched before the namespace: an import would silently hide the
    // file's own declaration of the name.
    Scope* own = file->ns ? file->ns->scope : nullptr;
    if (own && own != ns_scope) {
      if (Identifier** mine = own->identifiers.find(word); mine && *mine != *found)
        error_at(p->context, cat({"Name already used: ", word}));
    }
    file->scope->set_identifier(p->context, word, *found);

    next_token(p, true, true);
    if (p->kind == TOK_SYMBOL && p->is(",")) continue;
    if (p->kind == TOK_SYMBOL && p->is("}")) return;
    parse_error(p, cat({"Expected token: ',' or '}', instead of: '", p->token(), "'"}));
  }
}

}  // namespace

void read_use_lists(Build* b) {
  for (size_t i = 0; i < b->loaded_files.size(); i++) {
    SourceFile* file = b->loaded_files.entries()[i].second;
    for (size_t u = 0; u < file->uses.size(); u++) {
      UseEntry* entry = file->uses[u];
      if (entry->block) read_use_list(b, file, entry);
    }
  }
}

void read_extend(Build* b, Chunk* chunk) {
  Parser* p = new_parser(chunk, nullptr);
  IdentifierResult r = read_identifier(p, chunk->file->scope, true, true);
  if (!r.ok()) parse_error(p, r.error);
  if (r.id->kind != IDENT_CLASS || !r.id->class_) parse_error(p, "Identifier does not represent a class");
  Class* cls = r.id->class_;

  GenericNames* generics = nullptr;
  if (cls->generic_names) {
    expect_token(p, "[", false, false);
    generics = read_generic_names(p);
  }
  expect_token(p, "{", true, true);

  ClassExtend* ext = b->make<ClassExtend>();
  ext->class_ = cls;
  ext->generic_names = generics;
  ext->body = chunk_here(p);
  ext->scope = new_scope(chunk->file->scope, SCOPE_BLOCK);
  cls->extends.push_back(ext);
  log_detail(b, "Register extend for: " + cls->display_name);
}

void stage_read_aliases(Build* b) {
  read_aliases_and_extends(b);
  stage_read_classes(b);
}

void read_aliases_and_extends(Build* b) {
  log_detail(b, "> Stage 2.1: Read aliasses");
  read_use_lists(b);
  // Every `alias` before any `type`: a type may be written with an alias declared later.
  for (size_t i = 0; i < b->aliases.size(); i++) {
    Alias* alias = b->aliases[i];
    if (alias->kind == ALIAS_ALIAS) run_stage_task([alias] { resolve_alias(alias); });
  }
  // Extend blocks before `type` declarations: a type that names a generic instance reads
  // the instance's body, extend blocks included, right away.
  for (size_t i = 0; i < b->extends.size(); i++) {
    Chunk* chunk = b->extends[i];
    run_stage_task([b, chunk] { read_extend(b, chunk); });
  }
  for (size_t i = 0; i < b->aliases.size(); i++) {
    Alias* alias = b->aliases[i];
    if (alias->kind == ALIAS_TYPE) run_stage_task([alias] { resolve_type_alias(alias); });
  }
}

}  // namespace tesk
