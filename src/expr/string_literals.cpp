// String literals with escapes and "%" interpolation, and the value directives
// #string, #embed and #embed_dir.
#include <functional>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "lower/generated.h"
#include "model/records.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/fs.h"

namespace tesk {

namespace {

bool starts_name(u8 c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

Value* to_string_part(Parser* p, Scope* scope, Value* v) {
  Type* want = string_type(p->build);
  v = convert_value(v, p->context, scope, want);
  if (!want->compat(v->type, 0)) {
    error_at(p->context,
             "Incompatible types. Passing a '" + v->type->to_text() + "' value to a '" + want->to_text() + "' type");
  }
  return v;
}

// A part is computed while the lengths are summed and copied only after the later
// parts and CREATE_EMPTY have allocated: every part that is not a constant is kept in
// a GC slot from its first use. Locals are kept too, since a later part may assign one.
Value* rooted_part(Scope* scope, Value* v) {
  if (!v->type || !v->type->is_gc()) return v;
  if (v->kind == VAL_STRING || v->kind == VAL_NULL || v->kind == VAL_BUFFER_VALUE) return v;
  return value_buffer_gc_value(scope, v);
}

// The interpolated path: the parser stands after the whole string token.
Value* read_interpolated(Parser* p, Scope* scope) {
  Build* b = p->build;
  const char* data = p->data;
  u64 start = static_cast<u64>(p->tok - data);
  u64 token_newlines = 0;
  for (u64 i = 0; i < p->tok_len; i++) token_newlines += p->tok[i] == '\n';
  u64 line_start = start;
  while (line_start > 0 && data[line_start - 1] != '\n') line_start--;
  // Back on the opening quote, then over it.
  p->index = start;
  p->line -= token_newlines;
  p->col = start - line_start + 1;
  advance_chars(p, 1);

  std::vector<Value*> parts;
  auto text_part = [&](u64 from, u64 to) {
    if (to > from) parts.push_back(value_string_literal(unescape_string(std::string_view(data + from, to - from)), p->context));
  };
  u64 part_start = p->index;
  u64 i = part_start;
  while (true) {
    u8 c = i < p->len ? static_cast<u8>(data[i]) : 0;
    if (c == 0) {
      advance_chars(p, i - part_start);
      parse_error(p, "Unexpected end of file");
    }
    if (c == '\\') {
      i += 2;
      continue;
    }
    if (c == '"') {
      text_part(part_start, i);
      advance_chars(p, i - part_start + 1);
      break;
    }
    u8 next = i + 1 < p->len ? static_cast<u8>(data[i + 1]) : 0;
    if (c == '%' && next == '{') {
      text_part(part_start, i);
      advance_chars(p, i - part_start + 2);
      Value* v = read_value(p, scope, PRIO_ALL, 0);
      parts.push_back(rooted_part(scope, to_string_part(p, scope, v)));
      expect_token(p, "}", true, true);
      part_start = i = p->index;
      continue;
    }
    if (c == '%' && starts_name(next)) {
      text_part(part_start, i);
      advance_chars(p, i - part_start + 1);
      next_token(p, false, false);
      std::string name = token_text(p);
      Identifier* id = find_identifier(scope, p, name);
      if (!id) parse_error(p, "Unknown identifier: '" + name + "'");
      parts.push_back(rooted_part(scope, to_string_part(p, scope, value_of_identifier(p, scope, id))));
      part_start = i = p->index;
      continue;
    }
    i++;
  }

  Scope* s = make_scope(SCOPE_BLOCK, b, scope);
  s->func = scope->func;
  s->identifiers.set("CREATE_EMPTY", new_identifier_func(b, runtime_class_func(b, "type", "String", "make_empty")));
  s->identifiers.set("MEM_COPY", new_identifier_func(b, runtime_func(b, "mem", "copy")));
  for (u64 n = 0; n < parts.size(); n++) s->identifiers.set("STR" + std::to_string(n), new_identifier_value(b, parts[n]));

  std::string code = interpolation_code(parts.size());
  Chunk* chunk = new_chunk(b, generated_code_file(b), b->arena.save(code));
  Parser* sub = new_parser(chunk, p);
  return read_value(sub, s, 0, 0);
}

// The path of #embed / #embed_dir: a string literal, resolved against the package.
std::string read_embed_path(Parser* p) {
  next_token(p, true, true);
  if (p->kind != TOK_STRING) {
    parse_error(p, "Expected a string between doubles quotes, found: '" + token_text(p) + "'");
  }
  std::string_view tok = p->token();
  std::string path = unescape_string(tok.substr(1, tok.size() >= 2 ? tok.size() - 2 : 0));
  if (!path.empty() && path[0] == '/') return path;
  std::string base;
  SourceFile* f = p->chunk ? p->chunk->file : nullptr;
  if (f && f->ns && f->ns->package) base = f->ns->package->dir;
  return path_resolve(path_join(base, path));
}

void list_files(const std::string& dir, const std::string& rel, std::vector<std::string>& out) {
  for (const std::string& name : list_dir(dir)) {
    std::string full = path_join(dir, name);
    std::string key = rel.empty() ? name : rel + "/" + name;
    if (is_dir(full))
      list_files(full, key, out);
    else
      out.push_back(key);
  }
}

}  // namespace

std::string interpolation_code(u64 parts) {
  std::string code = "<{\nlet len : uint = 0\n";
  for (u64 n = 0; n < parts; n++) code += "len += STR" + std::to_string(n) + ".bytes\n";
  code += "let str = CREATE_EMPTY(len)\nlet data = str.data\n";
  for (u64 n = 0; n < parts; n++) {
    std::string str = "STR" + std::to_string(n);
    code += "MEM_COPY(" + str + ".data, data, " + str + ".bytes)\n";
    code += "data += " + str + ".bytes\n";
  }
  code += "return str\n}\n";
  return code;
}

std::string unescape_string(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    if (c != '\\' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    char e = text[++i];
    switch (e) {
      case 'a': out += '\a'; break;
      case 'b': out += '\b'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'v': out += '\v'; break;
      case 'f': out += '\f'; break;
      case 'r': out += '\r'; break;
      case 'e': out += '\x1b'; break;
      default: out += e;
    }
  }
  return out;
}

Value* read_string_literal(Parser* p, Scope* scope) {
  std::string_view tok = p->token();
  if (tok.find('%') != std::string_view::npos) return read_interpolated(p, scope);
  std::string_view inner = tok.size() >= 2 ? tok.substr(1, tok.size() - 2) : std::string_view();
  return value_string_literal(unescape_string(inner), p->context);
}

Value* read_value_directive(Parser* p, Scope* scope) {
  Build* b = p->build;
  next_token(p, false, false);
  std::string word = token_text(p);
  if (word != "string" && word != "embed" && word != "embed_dir") {
    parse_error(p, "Unknown compile macro statement '#" + word + "'");
  }
  expect_token(p, "(", false, false);
  Value* result;
  if (word == "string") {
    next_token(p, true, true);
    std::string name = token_text(p);
    const std::string* text = b->defines.find(name);
    if (!text) parse_error(p, "Unknown compile macro definition: '" + name + "'");
    result = value_string_literal(*text, p->context);
  } else if (word == "embed") {
    std::string path = read_embed_path(p);
    if (!is_file(path)) parse_error(p, "Embed file not found: " + path);
    std::optional<std::string> content = read_file(path);
    if (!content) parse_error(p, "Failed to read embed file: " + path);
    result = value_string_literal(*content, p->context);
  } else {
    std::string dir = read_embed_path(p);
    if (!is_dir(dir)) parse_error(p, "Embed directory not found: " + dir);
    std::vector<std::string> files;
    list_files(dir, "", files);
    ValuePairs pairs;
    for (std::string& rel : files) {
      std::optional<std::string> content = read_file(path_join(dir, rel));
      if (!content) parse_error(p, "Error reading embed file: " + rel);
      for (char& c : rel)
        if (c == '\\') c = '/';
      pairs.emplace_back(value_string_literal(rel, p->context), value_string_literal(*content, p->context));
    }
    Type* str = string_type(b);
    result = value_map_literal(b, p->context, scope, {str, str}, pairs);
  }
  expect_token(p, ")", true, true);
  return result;
}

}  // namespace tesk
