// Language-server transport: framing of incoming and outgoing messages, the
// once-per-message answer flag and the log notifications.
#include <errno.h>
#include <unistd.h>

#include <cstdio>

#include "driver/errors.h"
#include "util/strings.h"
#include "tools/lsp.h"

namespace tesk {

namespace {

constexpr size_t kReadSize = 1024;
constexpr std::string_view kLengthHeader = "content-length";
constexpr u64 kMaxContentLength = u64{256} << 20;

std::string_view trim_chars(std::string_view s, char c) {
  while (!s.empty() && s.front() == c) s.remove_prefix(1);
  while (!s.empty() && s.back() == c) s.remove_suffix(1);
  return s;
}

std::string_view trim_header_part(std::string_view s) { return trim_chars(trim_chars(s, ' '), '\t'); }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Position of "content-length" (any case) at or after `from`, or npos.
size_t find_length_header(std::string_view text, size_t from) {
  for (size_t i = from; i + kLengthHeader.size() <= text.size(); i++) {
    size_t k = 0;
    while (k < kLengthHeader.size() && ascii_lower(text[i + k]) == kLengthHeader[k]) k++;
    if (k == kLengthHeader.size()) return i;
  }
  return std::string_view::npos;
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // the editor went away; the next read ends the server
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

// Skips the buffered bytes of a malformed message: everything before the next
// "Content-Length" header. Without one, all but a possible partial header name go,
// and skipping goes on with the next bytes read.
void resync_input(LspContext* ctx) {
  size_t at = find_length_header(ctx->input, 0);
  if (at != std::string::npos) {
    ctx->input.erase(0, at);
    ctx->resync = 0;
    return;
  }
  size_t keep = kLengthHeader.size() - 1;
  if (ctx->input.size() > keep) ctx->input.erase(0, ctx->input.size() - keep);
  ctx->resync = 1;
}

}  // namespace

LspContext::LspContext() : message(json_null()) { input.reserve(kReadSize); }

void lsp_usage(int code) {
  std::fwrite("\n# Start the LSP server\n> tesk lsp run\n\n", 1, 40, stdout);
  exit_process(code);
}

void lsp_reset_message(LspContext* ctx) {
  ctx->headers.clear();
  ctx->offset = 0;
  ctx->state = LSP_FRAME_HEADERS;
  ctx->message = json_null();
  ctx->id = 0;
  ctx->method.clear();
  ctx->responded = 0;
  ctx->file.clear();
  ctx->line = 0;
  ctx->character = 0;
}

std::string lsp_frame(const JsonValue& value) {
  std::string body = json_encode(value, false);
  std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  out += body;
  return out;
}

void lsp_send(LspContext* ctx, const JsonValue& value) {
  std::string framed = lsp_frame(value);
  if (ctx->output) {
    *ctx->output += framed;
    return;
  }
  // Anything another part left in the stdio buffer goes first, so bytes never interleave.
  std::fflush(stdout);
  write_all(1, framed);
}

void lsp_send_once(LspContext* ctx, const JsonValue& value) {
  if (!ctx->responded) lsp_send(ctx, value);
  ctx->responded = 1;
}

void lsp_respond(LspContext* ctx, JsonPtr result) {
  JsonPtr msg = json_object();
  json_set(*msg, "id", json_int(ctx->id));
  json_set(*msg, "result", std::move(result));
  lsp_send_once(ctx, *msg);
}

void lsp_respond_empty(LspContext* ctx) { lsp_respond(ctx, json_object()); }

void lsp_log(LspContext* ctx, std::string_view message, i64 type) {
  JsonPtr params = json_object();
  json_set(*params, "type", json_int(type));
  json_set(*params, "message", json_string(std::string(message)));
  JsonPtr msg = json_object();
  json_set(*msg, "method", json_string("window/logMessage"));
  json_set(*msg, "params", params);
  lsp_send(ctx, *msg);
}

LspRead lsp_read_headers(LspContext* ctx) {
  std::string& in = ctx->input;
  for (;;) {
    size_t cr = in.find('\r', ctx->offset);
    if (cr == std::string::npos) return LSP_READ_MORE;
    if (cr == ctx->offset) {
      if (cr + 1 >= in.size()) return LSP_READ_MORE;
      if (in[cr + 1] != '\n') return LSP_READ_INVALID;
      in.erase(0, cr + 2);
      ctx->offset = 0;
      ctx->state = LSP_FRAME_CONTENT;
      return LSP_READ_OK;
    }
    std::string_view line(in.data() + ctx->offset, cr - ctx->offset);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return LSP_READ_INVALID;
    if (cr + 1 >= in.size()) return LSP_READ_MORE;
    if (in[cr + 1] != '\n') return LSP_READ_INVALID;
    std::string name(trim_header_part(line.substr(0, colon)));
    for (char& c : name) c = ascii_lower(c);
    ctx->headers.set(name, std::string(trim_header_part(line.substr(colon + 1))));
    ctx->offset = cr + 2;
  }
}

LspRead lsp_read_content(LspContext* ctx) {
  // Either way below the body is still at the front of the input and has to be skipped.
  const std::string* header = ctx->headers.find(kLengthHeader);
  if (!header) {
    // Read as length 0, the body would be taken for the next message's headers.
    lsp_log(ctx, "Missing Content-Length header", 3);
    ctx->resync = 1;
    return LSP_READ_INVALID;
  }
  std::string_view text = *header;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    ctx->resync = 1;
    return LSP_READ_INVALID;
  }
  // A length past the limit would have the server wait, and buffer, without end.
  u64 length = 0;
  for (char c : text) {
    length = length * 10 + static_cast<u64>(c - '0');
    if (length > kMaxContentLength) {
      lsp_log(ctx, cat({"Content-Length ", text, " is above the limit of ", std::to_string(kMaxContentLength),
                        " bytes"}),
              3);
      ctx->resync = 1;
      return LSP_READ_INVALID;
    }
  }
  if (ctx->input.size() < length) return LSP_READ_MORE;
  std::string body = ctx->input.substr(0, length);
  ctx->input.erase(0, length);
  JsonParseResult parsed = json_parse(body);
  if (!parsed.ok()) {
    lsp_log(ctx, "Invalid JSON-RPC input: " + body, 3);
    return LSP_READ_INVALID;
  }
  ctx->message = parsed.value;
  return LSP_READ_OK;
}

void lsp_consume(LspContext* ctx) {
  for (;;) {
    if (ctx->resync) resync_input(ctx);
    if (ctx->input.empty()) return;
    if (ctx->state == LSP_FRAME_HEADERS) {
      LspRead r = lsp_read_headers(ctx);
      if (r == LSP_READ_MORE) return;
      if (r == LSP_READ_INVALID) {
        lsp_log(ctx, "Invalid headers", 3);
        // The bad line goes, and so does the rest of that message's header block.
        ctx->input.erase(0, ctx->offset + 1);
        lsp_reset_message(ctx);
        ctx->resync = 1;
        continue;
      }
    }
    LspRead r = lsp_read_content(ctx);
    if (r == LSP_READ_MORE) return;
    if (r == LSP_READ_INVALID) {
      lsp_log(ctx, "Invalid content", 3);
      lsp_reset_message(ctx);
      continue;
    }
    lsp_dispatch(ctx);
    lsp_reset_message(ctx);
  }
}

void lsp_receive(LspContext* ctx, std::string_view bytes) {
  ctx->input.append(bytes.data(), bytes.size());
  lsp_consume(ctx);
}

void lsp_run(LspContext* ctx, int fd) {
  char buf[kReadSize];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      lsp_log(ctx, "No more input. Stopping LSP server", 3);
      exit_process(1);
    }
    if (n == 0) {
      lsp_log(ctx, "No more input (EOF). Stopping LSP server", 3);
      exit_process(1);
    }
    lsp_receive(ctx, std::string_view(buf, static_cast<size_t>(n)));
  }
}

void lsp_main() {
  // Standard streams pass bytes unchanged on this host: no mode switch needed.
  static LspContext ctx;
  lsp_log(&ctx, "LSP server is running", 3);
  lsp_run(&ctx, 0);
}

}  // namespace tesk
