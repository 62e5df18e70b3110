#pragma once
// The stage chain that run_build starts, and the hooks into the language server that
// the tokenizer and the readers call. Each stage calls the next one when it is done.
#include <string>
#include <string_view>

#include "driver/build.h"

namespace tesk {

// Stage 1: the scan of one file's top-level declarations (a stage task per file).
void stage_1_file(SourceFile* file);
// Stage 2.1: use lists, aliases and extend blocks; then Stage 2.2.
void stage_read_aliases(Build* b);
// Stage 2.2: class bodies; then Stage 2.3.
void stage_read_classes(Build* b);
// Stage 2.3: class sizes; then Stage 2.4 (stage_read_types, in build_driver.cpp).
void stage_class_sizes(Build* b);
// Stage 2.4: the driver and its tasks.
void stage_read_types(Build* b);
void read_function_types(Func* func);
void read_global_type(Global* global);
void read_enum_values(Enum* en);
void check_offset_functions(Class* cls);
// Stage 3, 3.4 and 4.
void stage_parse_asts(Build* b);
// The documentation output of a docs build.
void doc_command(Build* b);

// Language server. The cursor of the request being answered (1-based); false when the
// context has none.
bool lsp_cursor_position(LspContext* ctx, u64* line, u64* character);
// The path of the document the request is about.
std::string lsp_current_file(LspContext* ctx);
// The editor's text of an open document; null when the editor does not have it open.
const std::string* lsp_document_text(LspContext* ctx, std::string_view path);
void lsp_define_identifier(LspContext* ctx, Identifier* id, std::string_view name);
void lsp_complete_namespace_members(LspContext* ctx, Scope* scope, std::string_view ns_name);

}  // namespace tesk
