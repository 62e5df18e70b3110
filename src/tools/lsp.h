#pragma once
// The language server: `tesk lsp run` talks JSON-RPC with "Content-Length" framing over
// standard input and output, and answers cursor requests from inside a build of the
// current file.
#include <memory>
#include <string>
#include <unordered_map>
#include <string_view>
#include <vector>

#include "driver/build.h"
#include "tools/json.h"
#include "util/fwd.h"
#include "util/ordered_map.h"

namespace tesk {

enum LspFrameState : u64 { LSP_FRAME_HEADERS = 0, LSP_FRAME_CONTENT = 1 };

// Outcome of one framing step.
enum LspRead : u64 { LSP_READ_OK = 0, LSP_READ_MORE = 1, LSP_READ_INVALID = 2 };

// The server's state; a build made for the server points to it through Build.lsp.
struct LspContext {
  std::string input;                   // received bytes not yet consumed
  u64 offset = 0;                      // where the next header line starts in `input`
  u64 state = LSP_FRAME_HEADERS;
  OrderedMap<std::string> headers;     // lower-case names, trimmed names and values
  JsonPtr message;                     // the current message once parsed
  i64 id = 0;
  std::string method;
  OrderedMap<std::string> documents;   // path -> the editor's text of an open document
  std::vector<std::string> published;  // paths whose diagnostics were last published
  // path -> hash of the text the build read for the file when its diagnostics were
  // published: a file whose text has not changed since keeps them when another is saved.
  std::unordered_map<std::string, u64> published_text;
  // path -> the diagnostics last published for it, as sent: an open file is published
  // again after another's save only when they changed.
  std::unordered_map<std::string, std::string> published_json;
  std::string file;                    // path of the current request's document
  u64 line = 0;                        // 1-based cursor of the current request, 0 if none
  u64 character = 0;
  u8 shutdown = 0;
  u8 responded = 0;
  // After a malformed message: skip bytes up to the next "Content-Length" header.
  u8 resync = 0;
  // Framed messages go here when set (tests), else to standard output.
  std::string* output = nullptr;

  LspContext();
};

enum CompletionItemKind : u64 {
  COMPLETION_TEXT = 1,
  COMPLETION_FUNCTION = 3,
  COMPLETION_CLASS = 7,
  COMPLETION_MODULE = 9,
  COMPLETION_PROPERTY = 10,
};

struct CompletionItem {
  u64 kind = COMPLETION_TEXT;
  std::string label;
  std::string insert_text;  // written only when has_insert_text
  std::string detail;       // written only when has_detail
  u8 has_insert_text = 0;
  u8 has_detail = 0;
};

// ---- Transport ----
// The server loop over standard input; never returns.
[[noreturn]] void lsp_main();
// Reads from the descriptor until end of input or a read error, which end the process
// with code 1; the loop of lsp_main.
[[noreturn]] void lsp_run(LspContext* ctx, int fd);
[[noreturn]] void lsp_usage(int code);
// Adds received bytes and consumes every complete message.
void lsp_receive(LspContext* ctx, std::string_view bytes);
void lsp_consume(LspContext* ctx);
LspRead lsp_read_headers(LspContext* ctx);
LspRead lsp_read_content(LspContext* ctx);
void lsp_reset_message(LspContext* ctx);
// "Content-Length: N\r\n\r\n" + the compact text.
std::string lsp_frame(const JsonValue& value);
void lsp_send(LspContext* ctx, const JsonValue& value);
void lsp_send_once(LspContext* ctx, const JsonValue& value);
void lsp_respond(LspContext* ctx, JsonPtr result);
void lsp_respond_empty(LspContext* ctx);
// The JSON-RPC error "method not found" (-32601) for a request the server does not handle.
void lsp_method_not_found(LspContext* ctx, const JsonValue& id);
void lsp_log(LspContext* ctx, std::string_view message, i64 type);

// ---- Requests, builds and diagnostics ----
// The `lsp` command with the arguments after the word.
[[noreturn]] void lsp_command(const std::vector<std::string>& args);
void lsp_dispatch(LspContext* ctx);
JsonPtr lsp_capabilities();
void lsp_initialize_result(LspContext* ctx);
// One build of `file` for the server, then lsp_after_build. The build is returned so
// its caller decides when it is released (null when no build ran).
std::unique_ptr<Build> lsp_build(LspContext* ctx);
void lsp_build_and_collect(LspContext* ctx);
void lsp_after_build(LspContext* ctx, Build* b);
void lsp_publish_diagnostics(LspContext* ctx, std::string_view path, const std::vector<const Diagnostic*>& list);
void lsp_log_first_message(LspContext* ctx, const std::vector<BuildMessage>& messages);

// ---- Cursor hooks ----
bool lsp_is_completion(LspContext* ctx);
bool lsp_is_definition(LspContext* ctx);
bool lsp_is_signature_help(LspContext* ctx);
bool lsp_is_did_save(LspContext* ctx);
u64 completion_kind_of_identifier(u64 identifier_kind);

// Definition hooks: each answers only a definition request, then raises StopBuild.
void lsp_define_identifier(LspContext* ctx, Identifier* id, std::string_view name);
void lsp_define_func(LspContext* ctx, Func* func);
void lsp_define_property(LspContext* ctx, Property* prop);
void lsp_define_group(LspContext* ctx, Group* group);
// Writes the Location of the chunk and raises StopBuild.
[[noreturn]] void lsp_definition_result(LspContext* ctx, Chunk* chunk);

// Completion hooks: each answers only a completion request.
void lsp_complete_namespace_members(LspContext* ctx, Scope* scope, std::string_view ns_name);
void lsp_complete_namespaces(LspContext* ctx, Package* pkg);
void lsp_complete_class_members(LspContext* ctx, Class* cls, SourceFile* file);
void lsp_complete_group_functions(LspContext* ctx, Group* group, SourceFile* file);
void lsp_complete_enum_values(LspContext* ctx, Enum* en);
void lsp_complete_names(LspContext* ctx, const std::vector<std::string>& names);
void lsp_completion_result(LspContext* ctx, const std::vector<CompletionItem>& items);

// Signature help: `extra` is the type of further arguments (or null), `declared` the
// called function's arguments (or null).
void lsp_signature_help(LspContext* ctx, u64 active, const std::vector<Type*>& types, Type* extra,
                        const std::vector<FuncArg*>* declared, FuncInfo* info);
void lsp_signature_help_result(LspContext* ctx, std::string_view label, const std::vector<std::string>& params,
                               u64 active);

}  // namespace tesk
