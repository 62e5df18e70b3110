// Language-server cursor hooks: the parsers call them where the token just read lies
// under the editor's cursor. Each answers only its own kind of request, and only the
// first answer to a request is written.
#include "driver/name_hash.h"
#include "driver/stages.h"
#include "model/access.h"
#include "model/records.h"
#include "source/records.h"
#include "tools/lsp.h"
#include "util/errors.h"

namespace tesk {

namespace {

constexpr std::string_view kCompletion = "textDocument/completion";
constexpr std::string_view kDefinition = "textDocument/definition";
constexpr std::string_view kSignatureHelp = "textDocument/signatureHelp";
constexpr std::string_view kDidSave = "textDocument/didSave";

CompletionItem item(u64 kind, std::string label) {
  CompletionItem it;
  it.kind = kind;
  it.label = std::move(label);
  return it;
}

bool readable_from(SourceFile* accessing, SourceFile* owning, AccessLevel access) {
  return check_access(accessing, owning, access, false).ok();
}

// The file scope of a scope chain; an outer scope replaces the parent.
Scope* file_scope_of(Scope* scope) {
  while (scope && scope->kind != SCOPE_FILE) scope = scope->outer ? scope->outer : scope->parent;
  return scope;
}

void define_at(LspContext* ctx, Chunk* chunk) {
  if (!chunk || !chunk->file) return;
  lsp_definition_result(ctx, chunk);
}

}  // namespace

// ---- What the tokenizer and the loaders ask of the server ----

bool lsp_cursor_position(LspContext* ctx, u64* line, u64* character) {
  if (!ctx || ctx->line == 0) return false;
  *line = ctx->line;
  *character = ctx->character;
  return true;
}

std::string lsp_current_file(LspContext* ctx) { return ctx ? ctx->file : std::string(); }

const std::string* lsp_document_text(LspContext* ctx, std::string_view path) {
  return ctx ? ctx->documents.find(path) : nullptr;
}

// ---- Request kinds ----

bool lsp_is_completion(LspContext* ctx) { return ctx->method == kCompletion; }
bool lsp_is_definition(LspContext* ctx) { return ctx->method == kDefinition; }
bool lsp_is_signature_help(LspContext* ctx) { return ctx->method == kSignatureHelp; }
bool lsp_is_did_save(LspContext* ctx) { return ctx->method == kDidSave; }

u64 completion_kind_of_identifier(u64 identifier_kind) {
  if (identifier_kind == IDENT_FUNC) return COMPLETION_FUNCTION;
  if (identifier_kind == IDENT_CLASS) return COMPLETION_CLASS;
  return COMPLETION_TEXT;
}

// ---- Definition ----

void lsp_definition_result(LspContext* ctx, Chunk* chunk) {
  JsonPtr pos = json_object();
  json_set(*pos, "line", json_int(static_cast<i64>(chunk->line) - 1));
  json_set(*pos, "character", json_int(static_cast<i64>(chunk->col) - 1));
  JsonPtr range = json_object();
  json_set(*range, "start", pos);
  json_set(*range, "end", pos);
  JsonPtr result = json_object();
  json_set(*result, "uri", json_string("file://" + chunk->file->path));
  json_set(*result, "range", range);
  JsonPtr msg = json_object();
  json_set(*msg, "id", json_int(ctx->id));
  json_set(*msg, "result", result);
  lsp_send_once(ctx, *msg);
  throw StopBuild{{err::stop_build, "stop_build", "stop_build"}};
}

void lsp_define_identifier(LspContext* ctx, Identifier* id, std::string_view name) {
  if (!lsp_is_definition(ctx) || !id) return;
  switch (id->kind) {
    case IDENT_FUNC:
      if (id->func) define_at(ctx, id->func->name_position);
      return;
    case IDENT_CLASS:
      if (id->class_) define_at(ctx, id->class_->name_position);
      return;
    case IDENT_GLOBAL:
      if (id->global) define_at(ctx, id->global->type_chunk);
      return;
    case IDENT_TRAIT:
      if (id->trait) define_at(ctx, id->trait->body);
      return;
    default:
      return;
  }
}

void lsp_define_func(LspContext* ctx, Func* func) {
  if (lsp_is_definition(ctx) && func) define_at(ctx, func->name_position);
}

void lsp_define_property(LspContext* ctx, Property* prop) {
  if (lsp_is_definition(ctx) && prop) define_at(ctx, prop->position);
}

void lsp_define_group(LspContext* ctx, Group* group) {
  if (lsp_is_definition(ctx) && group) define_at(ctx, group->position);
}

// ---- Completion ----

void lsp_completion_result(LspContext* ctx, const std::vector<CompletionItem>& items) {
  if (ctx->responded) return;
  JsonPtr list = json_array();
  for (const CompletionItem& it : items) {
    JsonPtr obj = json_object();
    json_set(*obj, "kind", json_int(static_cast<i64>(it.kind)));
    json_set(*obj, "label", json_string(it.label));
    if (it.has_detail) {
      JsonPtr details = json_object();
      json_set(*details, "detail", json_string(it.detail));
      json_set(*obj, "labelDetails", details);
    }
    if (it.has_insert_text) json_set(*obj, "insertText", json_string(it.insert_text));
    if (it.kind == 2 || it.kind == 3) json_set(*obj, "insertTextFormat", json_int(2));
    json_push(*list, obj);
  }
  JsonPtr result = json_object();
  json_set(*result, "isIncomplete", json_bool(false));
  json_set(*result, "items", list);
  lsp_respond(ctx, result);
}

void lsp_complete_namespace_members(LspContext* ctx, Scope* scope, std::string_view ns_name) {
  if (!lsp_is_completion(ctx)) return;
  Scope* fscope = file_scope_of(scope);
  if (!fscope) return;
  Identifier** found = fscope->identifiers.find(ns_name);
  if (!found || !*found || (*found)->kind != IDENT_NAMESPACE || !(*found)->ns || !(*found)->ns->scope) return;
  SourceFile* accessing = scope->get_file();
  std::vector<CompletionItem> items;
  for (auto& [name, id] : (*found)->ns->scope->identifiers) {
    if (!id) continue;
    if (id->kind == IDENT_ALIAS || id->kind == IDENT_GLOBAL || id->kind == IDENT_FUNC) {
      SourceFile* owner = nullptr;
      AccessLevel access = ACCESS_DEFAULT;
      if (id->kind == IDENT_ALIAS) {
        if (!id->alias) continue;
        owner = id->alias->file;
        access = id->alias->access;
      } else if (id->kind == IDENT_GLOBAL) {
        if (!id->global) continue;
        owner = id->global->file;
        access = id->global->access;
      } else {
        if (!id->func) continue;
        owner = id->func->file;
        access = id->func->access;
      }
      if (!readable_from(accessing, owner, access)) continue;
    }
    items.push_back(item(completion_kind_of_identifier(id->kind), name));
  }
  lsp_completion_result(ctx, items);
}

void lsp_complete_namespaces(LspContext* ctx, Package* pkg) {
  if (!lsp_is_completion(ctx) || !pkg || !pkg->config || !pkg->config->json) return;
  std::vector<CompletionItem> items;
  const JsonValue& namespaces = json_member(*pkg->config->json, "namespaces");
  if (namespaces.kind == JSON_OBJECT && namespaces.members) {
    for (auto& [key, value] : *namespaces.members) items.push_back(item(COMPLETION_MODULE, key));
  }
  lsp_completion_result(ctx, items);
}

void lsp_complete_class_members(LspContext* ctx, Class* cls, SourceFile* file) {
  if (!lsp_is_completion(ctx) || !cls) return;
  std::vector<CompletionItem> items;
  for (auto& [name, prop] : cls->get_props()) {
    if (prop && readable_from(file, cls->file, prop->access)) items.push_back(item(COMPLETION_PROPERTY, name));
  }
  for (auto& [name, func] : cls->get_functions()) {
    if (func && readable_from(file, func->file, func->access)) items.push_back(item(COMPLETION_FUNCTION, name));
  }
  lsp_completion_result(ctx, items);
}

void lsp_complete_group_functions(LspContext* ctx, Group* group, SourceFile* file) {
  if (!lsp_is_completion(ctx) || !group) return;
  std::vector<CompletionItem> items;
  for (auto& [name, func] : group->funcs) {
    if (func && readable_from(file, func->file, func->access)) items.push_back(item(COMPLETION_FUNCTION, name));
  }
  lsp_completion_result(ctx, items);
}

void lsp_complete_enum_values(LspContext* ctx, Enum* en) {
  if (!lsp_is_completion(ctx) || !en) return;
  std::vector<CompletionItem> items;
  for (auto& [name, position] : en->item_positions) items.push_back(item(COMPLETION_TEXT, name));
  lsp_completion_result(ctx, items);
}

void lsp_complete_names(LspContext* ctx, const std::vector<std::string>& names) {
  if (!lsp_is_completion(ctx)) return;
  std::vector<CompletionItem> items;
  for (const std::string& n : names) items.push_back(item(COMPLETION_TEXT, n));
  lsp_completion_result(ctx, items);
}

// ---- Signature help ----

void lsp_signature_help(LspContext* ctx, u64 active, const std::vector<Type*>& types, Type* extra,
                        const std::vector<FuncArg*>* declared, FuncInfo* info) {
  if (!lsp_is_signature_help(ctx)) return;
  std::vector<std::string> names;
  if (declared)
    for (FuncArg* a : *declared) names.push_back(a ? a->name : std::string());
  std::vector<Type*> param_types = types;
  if (extra && param_types.size() == names.size()) {
    param_types.push_back(extra);
    names.push_back("...");
  }
  std::vector<std::string> params;
  for (size_t i = 0; i < param_types.size(); i++) {
    std::string label = i < names.size() ? names[i] + ": " : std::string();
    label += param_types[i] ? param_types[i]->to_text() : std::string();
    params.push_back(std::move(label));
  }
  std::string label = "fn(";
  for (size_t i = 0; i < params.size(); i++) {
    if (i) label += ", ";
    label += params[i];
  }
  label += ")";
  if (info && !info->rets.empty()) {
    bool several = info->rets.size() >= 2;
    label += several ? " (" : " ";
    for (size_t i = 0; i < info->rets.size(); i++) {
      if (i) label += ", ";
      label += info->rets[i] ? info->rets[i]->to_text() : std::string();
    }
    if (several) label += ")";
  }
  if (info && info->can_error && info->errors) {
    for (auto& [name, code] : *info->errors) label += " !" + name;
  }
  lsp_signature_help_result(ctx, label, params, active);
}

void lsp_signature_help_result(LspContext* ctx, std::string_view label, const std::vector<std::string>& params,
                               u64 active) {
  if (ctx->responded) return;
  JsonPtr plist = json_array();
  for (const std::string& p : params) {
    JsonPtr obj = json_object();
    json_set(*obj, "label", json_string(p));
    json_push(*plist, obj);
  }
  JsonPtr sig = json_object();
  json_set(*sig, "label", json_string(std::string(label)));
  json_set(*sig, "parameters", plist);
  json_set(*sig, "activeParameter", json_int(static_cast<i64>(active)));
  JsonPtr result = json_object();
  json_set(*result, "signatures", json_array(JsonItems{sig}));
  json_set(*result, "activeSignature", json_int(0));
  json_set(*result, "activeParameter", json_int(static_cast<i64>(active)));
  lsp_respond(ctx, result);
}

}  // namespace tesk
