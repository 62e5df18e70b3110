#include "source/parse_error.h"

#include <cstdio>

#include "driver/build.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "driver/stages.h"
#include "model/records.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

namespace {

constexpr std::string_view kLine = "------------------------------------";  // 36

std::string_view file_path(const Chunk* c) {
  return (c && c->file) ? std::string_view(c->file->path) : std::string_view();
}

// The excerpt of the report line and the marker line under it.
void append_excerpt(std::string& out, const Parser* p, u64 pos, u64 newline_at_pos) {
  const char* d = p->data;
  u64 back = 0;
  while (back < pos && d[pos - 1 - back] != '\n') back++;
  // The excerpt runs to the end of pos's line (the newline itself excluded).
  u64 end = pos;
  if (!newline_at_pos) {
    while (end < p->len && d[end] != '\n') end++;
  }
  u64 m = back < 15 ? back : 15;
  out.append(d + pos - m, end - (pos - m));
  out += '\n';
  u64 k, lead;
  if (p->tok_len < 2) {
    k = 1;
    lead = m;
  } else {
    k = p->tok_len < 16 ? p->tok_len : 16;
    lead = m >= k - 1 ? m - (k - 1) : 0;
  }
  if (lead >= 1) {
    out.append(lead - 1, '-');
    out += ' ';
  }
  out.append(k - 1, '^');
  out += "^ ";
  out.append(34 - m, '-');
  out += '\n';
}

}  // namespace

std::string parse_error_report(Parser* p, std::string_view message) {
  std::string out;
  SourceFile* file = p->chunk ? p->chunk->file : nullptr;
  if (file && file->generated) {
    std::string_view content(p->data, p->len);
    while (!content.empty() && content.front() == '\n') content.remove_prefix(1);
    while (!content.empty() && content.back() == '\n') content.remove_suffix(1);
    out += "\n=====================\n";
    out += content;
    out += "\n=====================\n";
  }
  if (p->parent) {
    out += kLine;
    out += "\n# Trace:\n";
    std::vector<Parser*> chain;
    for (Parser* q = p; q; q = q->parent) chain.push_back(q);
    for (size_t i = chain.size(); i-- > 0;) {
      Chunk* c = chain[i]->chunk;
      out += cat({"# File: ", file_path(c), " | Line: ", std::to_string(c ? c->line : 0), "\n"});
    }
  }
  // The report position is the last byte consumed. Nothing consumed yet: the first byte.
  // A newline as last byte belongs to the line it ends.
  u64 pos = p->index > 0 ? p->index - 1 : 0;
  if (pos > p->len) pos = p->len;
  u64 line = p->line, col = p->col > 1 ? p->col - 1 : 1;
  bool newline_at_pos = p->index > 0 && pos < p->len && p->data[pos] == '\n';
  if (newline_at_pos) {
    u64 back = 0;
    while (back < pos && p->data[pos - 1 - back] != '\n') back++;
    line = line > 1 ? line - 1 : 1;
    col = back + 1;
  }
  out += kLine;
  out += "\n# Parser error\n";
  out += cat({"# File: ", file_path(p->chunk), "\n"});
  out += cat({"# Line: ", std::to_string(line), " | Col: ", std::to_string(col), "\n"});
  if (p->context && p->context->func) out += cat({"# Function: ", p->context->func->display_name, "\n"});
  out += cat({"# Error: ", message, "\n"});
  out += kLine;
  out += '\n';
  if (p->len == 0) {
    out += "\n^ ";
    out.append(34, '-');
    out += '\n';
  } else {
    append_excerpt(out, p, pos < p->len ? pos : p->len - 1, newline_at_pos);
  }
  return out;
}

void parse_error(Parser* p, std::string_view message) {
  Build* b = p->build;
  b->errors_reported++;
  if (b->lsp) {
    Chunk* end = chunk_here(p);
    Chunk* start = chunk_here(p);
    start->index = start->index >= p->tok_len ? start->index - p->tok_len : 0;
    start->col = start->col > p->tok_len ? start->col - p->tok_len : 1;
    b->diagnostics.push_back(Diagnostic{MSG_ERROR, start, end, std::string(message)});
    throw ParseFailure{{err::parse_error, "parse_error", "Parse error"}};
  }
  std::string report = parse_error_report(p, message);
  std::fwrite(report.data(), 1, report.size(), stdout);
  std::fflush(stdout);
  if (b->watch_mode) throw ParseFailure{{err::parse_error, "parse_error", "parse_error"}};
  exit_process(1);
}

namespace {
thread_local u64 nesting_depth[NEST_KINDS] = {};
}  // namespace

NestingGuard::NestingGuard(Parser* p, NestingKind kind) : kind_(kind) {
  if (nesting_depth[kind] >= kMaxNesting) {
    parse_error(p, cat({"Nesting too deep (more than ", std::to_string(kMaxNesting), " levels)"}));
  }
  nesting_depth[kind]++;
}

NestingGuard::~NestingGuard() { nesting_depth[kind_]--; }

void error_invalid_identifier(Parser* p) {
  parse_error(p, cat({"Invalid identifier name: '", p->token(), "' | Expected syntax: [a-zA-Z_]"}));
}

std::string read_word(Parser* p, bool skip_blanks, bool skip_newlines) {
  if (next_token(p, skip_blanks, skip_newlines) != TOK_WORD) error_invalid_identifier(p);
  return token_text(p);
}

std::string read_word_any(Parser* p, bool skip_blanks, bool skip_newlines) {
  u64 kind = next_token(p, skip_blanks, skip_newlines);
  if (kind != TOK_WORD && kind != TOK_AT_WORD && kind != TOK_DOLLAR_WORD) {
    parse_error(p, cat({"Invalid identifier name: '", p->token(), "'"}));
  }
  return token_text(p);
}

bool accept_token(Parser* p, std::string_view text, bool skip_blanks, bool skip_newlines, bool consume) {
  next_token(p, skip_blanks, skip_newlines, false);
  if (!token_is(p, text)) return false;
  if (consume) next_token(p, skip_blanks, skip_newlines);
  return true;
}

IdentifierResult read_identifier(Parser* p, Scope* scope, bool skip_blanks, bool skip_newlines) {
  IdentifierResult r;
  if (next_token(p, skip_blanks, skip_newlines) != TOK_WORD) error_invalid_identifier(p);
  std::string_view word = p->token();
  p->last_name = word;
  p->last_ns = std::string_view();
  p->last_ns_null = true;
  if (char_at(p, 0) != ':') {
    Identifier* id = find_identifier(scope, p, word);
    if (!id) {
      r.error = cat({"Unknown identifier: '", word, "'"});
      return r;
    }
    if (p->at_cursor) lsp_define_identifier(lsp_context(p->build), id, word);
    r.id = id;
    return r;
  }
  std::string_view ns_name = word;
  next_token(p, true, true);  // the ":" right after the word
  if (p->at_cursor) lsp_complete_namespace_members(lsp_context(p->build), scope, ns_name);
  Scope* file_scope = scope;
  while (file_scope && file_scope->kind != SCOPE_FILE) file_scope = file_scope->outer ? file_scope->outer : file_scope->parent;
  if (!file_scope) {
    r.error = cat({"Unknown namespace: '", ns_name, "' (Cannot find root scope)"});
    return r;
  }
  Identifier* ns_id = find_identifier(file_scope, p, ns_name);
  if (!ns_id) {
    r.error = cat({"Unknown namespace: '", ns_name, "'"});
    return r;
  }
  if (ns_id->kind != IDENT_NAMESPACE || !ns_id->ns || !ns_id->ns->scope) {
    r.error = cat({"Identifier does not represent a namespace/scope: '", ns_name, "'"});
    return r;
  }
  ns_id->used = 1;
  if (next_token(p, false, false) != TOK_WORD) error_invalid_identifier(p);
  std::string_view name = p->token();
  p->last_name = name;
  p->last_ns = ns_name;
  p->last_ns_null = false;
  Identifier* id = find_identifier(ns_id->ns->scope, p, name);
  if (!id) {
    r.error = cat({"Unknown identifier: '", name, "' in namespace/scope '", ns_name, "'"});
    return r;
  }
  if (p->at_cursor) lsp_define_identifier(lsp_context(p->build), id, name);
  r.id = id;
  return r;
}

Identifier* resolve_identifier(Parser* p, Scope* scope, bool skip_blanks, bool skip_newlines) {
  IdentifierResult r = read_identifier(p, scope, skip_blanks, skip_newlines);
  if (!r.ok()) parse_error(p, r.error);
  return r.id;
}

IdentifierRef* last_identifier_ref(Parser* p) {
  IdentifierRef* ref = p->build->make<IdentifierRef>();
  ref->name = p->last_name;
  ref->ns = p->last_ns;
  return ref;
}

u64 token_int_value(Parser* p) {
  u64 base, skip;
  switch (p->kind) {
    case TOK_INT: base = 10, skip = 0; break;
    case TOK_HEX: base = 16, skip = 2; break;
    case TOK_OCTAL: base = 8, skip = 2; break;
    default: return 0;
  }
  std::string_view text = p->token().substr(skip);
  u64 value = 0;
  bool any = false;
  for (char ch : text) {
    if (ch == '_') continue;
    u64 digit;
    if (ch >= '0' && ch <= '9') digit = static_cast<u64>(ch - '0');
    else if (ch >= 'a' && ch <= 'f') digit = static_cast<u64>(ch - 'a' + 10);
    else if (ch >= 'A' && ch <= 'F') digit = static_cast<u64>(ch - 'A' + 10);
    else return 0;
    if (digit >= base) return 0;
    if (value > (UINT64_MAX - digit) / base) {
      parse_error(p, cat({"Integer literal does not fit in 64 bits: '", p->token(), "'"}));
    }
    value = value * base + digit;
    any = true;
  }
  return any ? value : 0;
}

std::optional<f64> token_float_value(Parser* p) {
  std::string text;
  text.reserve(p->tok_len);
  for (char ch : p->token())
    if (ch != '_') text += ch;
  double x = 0;
  if (!parse_f64(text, &x)) return std::nullopt;
  return x;
}

std::vector<Type*> read_type_list(Parser* p, Scope* scope, std::string_view closer, bool void_allowed) {
  std::vector<Type*> types;
  bool had_void = false;
  for (;;) {
    next_token(p, true, false, false);
    if (symbol_is(p, closer)) {
      next_token(p, true, false);
      return types;
    }
    Type* type = read_type(p, scope, true, false);
    if (type->kind == TYPE_VOID) {
      if (!void_allowed || had_void) parse_error(p, "Unexpected 'void' type");
      had_void = true;
    } else {
      types.push_back(type);
    }
    if (next_token(p, true, true) != TOK_SYMBOL) error_unexpected_token(p);
    if (token_is(p, ",")) continue;
    if (token_is(p, closer)) return types;
    error_unexpected_token(p);
  }
}

}  // namespace tesk
