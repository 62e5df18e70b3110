// Language-server requests: the dispatch on the method, the documents the editor has
// open, one build per request and the diagnostics published per file.
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>

#include "driver/build_driver.h"
#include "driver/errors.h"
#include "driver/options.h"
#include "source/records.h"
#include "tools/lsp.h"
#include "util/fs.h"

namespace tesk {

namespace {

std::string path_of_uri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  while (uri.substr(0, kScheme.size()) == kScheme) uri.remove_prefix(kScheme.size());
  return std::string(uri);
}

const JsonValue& params_of(LspContext* ctx) { return json_member(*ctx->message, "params"); }

// The request's uri; "" when missing or not a string.
std::string request_uri(LspContext* ctx) {
  return json_string_value(json_member(json_member(params_of(ctx), "textDocument"), "uri"));
}

// Sets file, line and character of a cursor request.
void take_position(LspContext* ctx, const std::string& uri) {
  const JsonValue& pos = json_member(params_of(ctx), "position");
  ctx->file = path_of_uri(uri);
  ctx->line = static_cast<u64>(json_int_value(json_member(pos, "line")) + 1);
  ctx->character = static_cast<u64>(json_int_value(json_member(pos, "character")) + 1);
}

JsonPtr position_json(const Chunk* c) {
  JsonPtr p = json_object();
  json_set(*p, "line", json_int(static_cast<i64>(c->line) - 1));
  json_set(*p, "character", json_int(static_cast<i64>(c->col) - 1));
  return p;
}

std::string diagnostic_path(const Diagnostic& d) {
  return d.start && d.start->file ? d.start->file->path : std::string();
}

// Paths the option parser would take for something other than a source file to build
// (an option, the separator, a project directory) make it print usage and end the
// process; such a request runs no build.
bool buildable_path(const std::string& path) {
  return !path.empty() && path[0] != '-' && !is_dir(path_resolve(path));
}

}  // namespace

void lsp_command(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "-h" || a == "--help") lsp_usage(0);
  if (!args.empty() && args.front() == "run") lsp_main();
  lsp_usage(1);
}

JsonPtr lsp_capabilities() {
  JsonPtr sync = json_object();
  json_set(*sync, "openClose", json_bool(true));
  json_set(*sync, "change", json_int(1));
  json_set(*sync, "save", json_int(1));
  JsonPtr completion = json_object();
  json_set(*completion, "triggerCharacters", json_array(JsonItems{json_string("."), json_string(":")}));
  JsonPtr signature = json_object();
  json_set(*signature, "triggerCharacters", json_array(JsonItems{json_string("("), json_string(",")}));
  json_set(*signature, "retriggerCharacters", json_array(JsonItems{json_string(" ")}));
  JsonPtr caps = json_object();
  json_set(*caps, "textDocumentSync", sync);
  json_set(*caps, "documentFormattingProvider", json_bool(false));
  json_set(*caps, "definitionProvider", json_bool(true));
  json_set(*caps, "completionProvider", completion);
  json_set(*caps, "signatureHelpProvider", signature);
  JsonPtr result = json_object();
  json_set(*result, "capabilities", caps);
  return result;
}

void lsp_method_not_found(LspContext* ctx, const JsonValue& id) {
  // A notification (no id) gets no answer; a request must get one or the client waits
  // for it forever. Its id goes back as it came, a string too.
  if (id.kind != JSON_INT && id.kind != JSON_STRING) return;
  JsonPtr error = json_object();
  json_set(*error, "code", json_int(-32601));
  json_set(*error, "message", json_string("method not found"));
  JsonPtr msg = json_object();
  json_set(*msg, "id", id.kind == JSON_INT ? json_int(id.int_) : json_string(id.string));
  json_set(*msg, "error", error);
  lsp_send_once(ctx, *msg);
}

void lsp_initialize_result(LspContext* ctx) { lsp_respond(ctx, lsp_capabilities()); }

void lsp_dispatch(LspContext* ctx) {
  const JsonValue& msg = *ctx->message;
  ctx->id = json_int_value(json_member(msg, "id"));
  ctx->method = json_string_value(json_member(msg, "method"));
  const std::string& m = ctx->method;

  if (ctx->shutdown) {
    if (m == "exit") exit_process(0);
    return;
  }
  if (m == "initialize") {
    lsp_initialize_result(ctx);
  } else if (m == "initialized") {
  } else if (m == "shutdown") {
    ctx->shutdown = 1;
    lsp_respond_empty(ctx);
  } else if (m == "exit") {
    exit_process(0);
  } else if (m == "textDocument/didOpen") {
    std::string uri = request_uri(ctx);
    if (!uri.empty()) {
      ctx->documents.set(path_of_uri(uri),
                         json_string_value(json_member(json_member(params_of(ctx), "textDocument"), "text")));
    }
  } else if (m == "textDocument/didChange") {
    std::string uri = request_uri(ctx);
    if (!uri.empty()) {
      const JsonValue& changes = json_member(params_of(ctx), "contentChanges");
      std::string text;
      if (changes.kind == JSON_ARRAY && changes.items && !changes.items->empty() && (*changes.items)[0]) {
        text = json_string_value(json_member(*(*changes.items)[0], "text"));
      }
      ctx->documents.set(path_of_uri(uri), std::move(text));
    }
  } else if (m == "textDocument/didClose") {
    std::string uri = request_uri(ctx);
    if (!uri.empty()) ctx->documents.erase(path_of_uri(uri));
  } else if (m == "textDocument/didSave") {
    std::string uri = request_uri(ctx);
    if (!uri.empty()) {
      ctx->file = path_of_uri(uri);
      lsp_build_and_collect(ctx);
    }
  } else if (m == "textDocument/definition" || m == "textDocument/signatureHelp") {
    std::string uri = request_uri(ctx);
    if (!uri.empty()) {
      take_position(ctx, uri);
      lsp_build_and_collect(ctx);
    }
    lsp_respond_empty(ctx);
  } else if (m == "textDocument/completion") {
    std::string uri = request_uri(ctx);
    if (!uri.empty()) {
      take_position(ctx, uri);
      lsp_build_and_collect(ctx);
      lsp_completion_result(ctx, {});
    }
    lsp_respond_empty(ctx);
  } else {
    lsp_log(ctx, "Unsupported method: " + m, 3);
    lsp_method_not_found(ctx, json_member(msg, "id"));
  }
}

std::unique_ptr<Build> lsp_build(LspContext* ctx) {
  if (!buildable_path(ctx->file)) return nullptr;
  std::vector<std::string> args = {"--lsp", ctx->file};
  BuildArgsResult r = parse_build_args(args);
  if (!r.build) {
    lsp_log(ctx, r.error, 3);
    return nullptr;
  }
  Build* b = r.build.get();
  b->lsp = ctx;
  // The build is a task of its own: whatever error ends it (a fatal build error, a
  // parse error of the driver, an answered definition) ends only the build.
  try {
    run_build(b);
  } catch (const NamedError&) {
  }
  lsp_after_build(ctx, b);
  return std::move(r.build);
}

void lsp_build_and_collect(LspContext* ctx) {
  std::unique_ptr<Build> b = lsp_build(ctx);
  b.reset();
}

namespace {

JsonPtr diagnostics_json(const std::vector<const Diagnostic*>& list) {
  JsonPtr diags = json_array();
  for (const Diagnostic* d : list) {
    JsonPtr range = json_object();
    json_set(*range, "start", position_json(d->start));
    json_set(*range, "end", position_json(d->end ? d->end : d->start));
    JsonPtr item = json_object();
    json_set(*item, "severity", json_int(d->type == MSG_WARNING ? 2 : 1));
    json_set(*item, "message", json_string(d->message));
    json_set(*item, "range", range);
    json_push(*diags, item);
  }
  return diags;
}

}  // namespace

void lsp_publish_diagnostics(LspContext* ctx, std::string_view path, const std::vector<const Diagnostic*>& list) {
  JsonPtr params = json_object();
  json_set(*params, "uri", json_string("file://" + std::string(path)));
  json_set(*params, "diagnostics", diagnostics_json(list));
  JsonPtr msg = json_object();
  json_set(*msg, "method", json_string("textDocument/publishDiagnostics"));
  json_set(*msg, "params", params);
  if (!ctx->responded) lsp_send(ctx, *msg);
  ctx->responded = 0;
}

void lsp_log_first_message(LspContext* ctx, const std::vector<BuildMessage>& messages) {
  if (messages.empty()) return;
  if (!ctx->responded) lsp_log(ctx, messages.front().message, 1);
  ctx->responded = 0;
}

void lsp_after_build(LspContext* ctx, Build* b) {
  if (!lsp_is_did_save(ctx)) return;

  // Diagnostics grouped by file, groups in order of their first diagnostic.
  OrderedMap<std::vector<const Diagnostic*>> groups;
  for (const Diagnostic& d : b->diagnostics) {
    if (!d.start) continue;
    groups[diagnostic_path(d)].push_back(&d);
  }

  // The build checks the bodies of the saved file and of every other open file, and
  // only the declarations of the rest. So what it says is the whole truth for a loaded
  // open file, which gets it when it differs from what the editor shows; for a file
  // that is not open it is a part, which replaces what was published only when the
  // file's text (as the build read it) changed since.
  auto built_text = [b](const std::string& path) -> std::optional<u64> {
    SourceFile** file = b->loaded_files.find(path);
    if (!file) return std::nullopt;
    return std::hash<std::string_view>{}((*file)->text);
  };
  auto checked_whole = [&](const std::string& path) {
    return b->loaded_files.contains(path) && (path == ctx->file || ctx->documents.contains(path));
  };
  auto text_unchanged = [&](const std::string& path) {
    auto it = ctx->published_text.find(path);
    std::optional<u64> now = built_text(path);
    return it != ctx->published_text.end() && now && *now == it->second;
  };
  auto forget = [ctx](const std::string& path) {
    ctx->published_text.erase(path);
    ctx->published_json.erase(path);
  };
  for (auto& [path, list] : groups) {
    std::string text = json_encode(*diagnostics_json(list), false);
    if (path != ctx->file) {
      if (checked_whole(path)) {
        auto it = ctx->published_json.find(path);
        if (it != ctx->published_json.end() && it->second == text) continue;
      } else if (text_unchanged(path)) {
        continue;
      }
    }
    lsp_publish_diagnostics(ctx, path, list);
    ctx->published_text[path] = built_text(path).value_or(0);
    ctx->published_json[path] = std::move(text);
  }

  // Files that had diagnostics and have none in this build: cleared when the build
  // checked them whole, read them after their text changed, or they are gone; kept as
  // they are when this build did not look or their text is the one they were made for.
  std::vector<std::string> next;
  OrderedMap<u8> in_next;
  for (const std::string& path : ctx->published) {
    bool clear = false;
    if (!groups.contains(path)) {
      clear = !path_exists(path) || checked_whole(path) || (b->loaded_files.contains(path) && !text_unchanged(path));
    }
    if (clear) {
      lsp_publish_diagnostics(ctx, path, {});
      forget(path);
    } else if (!in_next.contains(path)) {
      next.push_back(path);
      in_next.set(path, 1);
    }
  }
  for (auto& [path, list] : groups) {
    if (in_next.contains(path)) continue;
    next.push_back(path);
    in_next.set(path, 1);
  }
  ctx->published = std::move(next);

  lsp_log_first_message(ctx, b->messages);
}

}  // namespace tesk
