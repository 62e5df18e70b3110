#include "source/parser.h"

#include <array>
#include <cstring>

#include "driver/build.h"
#include "driver/stages.h"
#include "source/compile_macro.h"
#include "source/parse_error.h"
#include "util/strings.h"

namespace tesk {

namespace {

inline u8 byte_at(const Parser* p, u64 i) { return i < p->len ? static_cast<u8>(p->data[i]) : 0; }

// Consumes one byte, keeping line and column right.
inline u8 take_byte(Parser* p) {
  u8 c = static_cast<u8>(p->data[p->index++]);
  if (c == '\n') {
    p->line++;
    p->col = 1;
  } else {
    p->col++;
  }
  return c;
}

// Gives back a byte that the number scanner took (it never counts lines).
inline void give_back(Parser* p) {
  p->index--;
  p->col--;
}

inline bool is_hex_byte(u8 c) { return is_digit_byte(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Length of the symbol token starting with c (already consumed), followed by d and e.
u64 symbol_length(u8 c, u8 d, u8 e) {
  switch (c) {
    case '=':
      return (d == '=' || d == '>') ? 2 : 1;
    case '>':
      return (d == '=' || d == '>') ? 2 : 1;
    case '!':
      return (d == '!' || d == '=' || d == '>' || d == '?') ? 2 : 1;
    case '+':
      return (d == '+' || d == '=') ? 2 : 1;
    case '-':
      return (d == '-' || d == '=' || d == '>') ? 2 : 1;
    case '<':
      return (d == '<' || d == '=' || d == '{') ? 2 : 1;
    case '%':
    case '*':
    case '/':
    case '^':
      return d == '=' ? 2 : 1;
    case '&':
      return (d == '&' || d == '=') ? 2 : 1;
    case '|':
      return (d == '|' || d == '=') ? 2 : 1;
    case '?':
      return (d == '!' || d == '?') ? 2 : 1;
    case '.':
      return (d == '.' && e == '.') ? 3 : 1;
    default:
      return 1;
  }
}

// Errors found while a token is being scanned mark the bytes of that token read so far.
[[noreturn]] void token_error(Parser* p, u64 tok_start, std::string_view message) {
  p->tok = p->data + tok_start;
  p->tok_len = p->index - tok_start;
  parse_error(p, message);
}

// The opening quote is consumed.
void scan_char_literal(Parser* p, u64 tok_start) {
  if (p->index >= p->len) token_error(p, tok_start, "Unexpected end of file");
  u8 b = take_byte(p);
  u8 value;
  if (b == '\\') {
    if (p->index >= p->len) token_error(p, tok_start, "Unexpected end of file");
    u8 e = take_byte(p);
    switch (e) {
      case 'a': value = 7; break;
      case 'b': value = 8; break;
      case 'e': value = 27; break;
      case 'f': value = 12; break;
      case 'n': value = 10; break;
      case 'r': value = 13; break;
      case 't': value = 9; break;
      case 'v': value = 11; break;
      case 0: token_error(p, tok_start, "Unexpected end of file");
      default: value = e; break;
    }
  } else if (b == '\'') {
    token_error(p, tok_start, "Missing character between single quotes");
  } else if (b == 0) {
    token_error(p, tok_start, "Unexpected end of file");
  } else {
    value = b;
  }
  p->char_value = value;
  if (p->index >= p->len) token_error(p, tok_start, "Unexpected end of file");
  u8 q = take_byte(p);
  if (q != '\'') {
    char found = static_cast<char>(q);
    token_error(p, tok_start, cat({"Missing single quote, found: '", std::string_view(&found, 1), "'"}));
  }
}

[[noreturn]] void error_expected(Parser* p, std::string_view expected) {
  parse_error(p, cat({"Expected token: '", expected, "', instead of: '", p->token(), "'"}));
}

}  // namespace

Parser* new_parser(Chunk* chunk, Parser* parent) {
  Build* b = chunk->build;
  Parser* p = b->make_func_lived<Parser>();
  ParseContext* ctx = b->make_func_lived<ParseContext>();
  if (parent) {
    *ctx = *parent->context;
    p->type_hint = parent->type_hint;
    p->prefix_value = parent->prefix_value;
    p->in_loop = parent->in_loop;
  } else {
    ctx->build = b;
  }
  p->chunk = chunk;
  p->build = b;
  p->context = ctx;
  p->parent = parent;
  p->data = chunk->content.data();
  p->len = chunk->content.size();
  p->index = chunk->index;
  p->line = chunk->line;
  p->col = chunk->col;
  p->hint_stack.reserve(2);
  p->starts_line = 1;
  ctx->parser = p;
  return p;
}

Parser* sub_parser(Parser* p, Chunk* chunk) { return new_parser(chunk, p); }

void set_chunk(Parser* p, Chunk* chunk) {
  if (chunk->content.data() != p->data || chunk->content.size() != p->len) p->tok_cache.flags_ok = 0;
  p->chunk = chunk;
  p->data = chunk->content.data();
  p->len = chunk->content.size();
  p->index = chunk->index;
  p->line = chunk->line;
  p->col = chunk->col;
  p->tok = chunk->token_text;
  p->tok_len = chunk->token_len;
}

namespace {

// Which flag sets give the same scan: blanks skipped before the token make it differ
// without skip_blanks; a newline met, or a stop at a blank, makes every other set differ.
constexpr u8 kFlagsAny = (1 << 0) | (1 << 1) | (1 << 3);
constexpr u8 kFlagsSkipBlanks = (1 << 1) | (1 << 3);

// Bytes that continue a word: letters, digits and '_'.
constexpr auto kWordBytes = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; c++) t[size_t(c)] = is_word_byte(static_cast<u8>(c));
  return t;
}();

// Where the word bytes starting at i end.
inline u64 word_end(const char* data, u64 i, u64 len) {
  while (i < len && kWordBytes[static_cast<u8>(data[i])]) i++;
  return i;
}

// A quote right after a lone word `r` opens a raw string: never interpolated.
bool raw_string_at(const Parser* p, u64 quote) {
  if (quote == 0 || p->data[quote - 1] != 'r') return false;
  if (quote == 1) return true;
  u8 b = static_cast<u8>(p->data[quote - 2]);
  return !kWordBytes[b] && b != '$' && b != '@';
}

void skip_raw_string_rest(Parser* p) {
  while (p->index < p->len) {
    u8 c = take_byte(p);
    if (c == '"') return;
    if (c == '\\' && p->index < p->len) take_byte(p);
  }
}

// Reads one token from the parser's position, leaving the position after it. Returns
// the kind; *flags_ok gets the flag sets that would have read the same. The position is
// kept in locals while blanks and words are skipped: stores through the parser would
// otherwise be reloaded after every byte read.
inline u64 scan_token(Parser* p, bool skip_blanks, bool skip_nl, u8* starts_line_out, u8* flags_ok) {
  u8 starts_line = (p->line == 1 && p->col == 1) ? 1 : 0;
  u8 ok = kFlagsAny;
  u64 kind;
  u64 tok_start;
  const char* const data = p->data;
  const u64 len = p->len;
  u64 i = p->index;
  u64 col = p->col;
  for (;;) {
    if (i >= len) {
      kind = TOK_EOF;
      tok_start = i;
      break;
    }
    u8 c = static_cast<u8>(data[i]);
    if (c == ' ' || c == '\t' || c == '\r') {
      if (skip_blanks) {
        ok &= kFlagsSkipBlanks;
        i++;
        col++;
        continue;
      }
      ok = 0;
      kind = TOK_BLANK;
      tok_start = i;
      break;
    }
    if (c == '\n') {
      ok = 0;
      if (skip_nl) {
        i++;
        p->line++;
        col = 1;
        p->build->loc_parsed++;
        starts_line = 1;
        continue;
      }
      kind = TOK_BLANK;
      tok_start = i;
      break;
    }
    if (c == '/' && i + 1 < len && data[i + 1] == '/') {
      // A comment always takes its newline with it, whatever the flags.
      const void* nl = std::memchr(data + i, '\n', len - i);
      if (nl) {
        i = static_cast<u64>(static_cast<const char*>(nl) - data) + 1;
        p->line++;
        col = 1;
      } else {
        // Last line without a final newline: no line is counted that is not there.
        col += len - i;
        i = len;
      }
      starts_line = 1;
      continue;
    }
    tok_start = i;
    i++;
    col++;
    if (c >= 127 || (c < 32 && c != '\t' && c != '\n' && c != '\r')) {
      p->index = i;
      p->col = col;
      token_error(p, tok_start, cat({"Parse error, unsupported character/byte: ", std::to_string(c)}));
    }
    if (kWordBytes[c] && !is_digit_byte(c)) {
      i = word_end(data, i, len);
      col += i - tok_start - 1;
      kind = TOK_WORD;
      break;
    }
    // The rarer tokens read through the parser.
    p->index = i;
    p->col = col;
    if (c == '$' || c == '@') {
      skip_word_chars(p);
      kind = c == '$' ? TOK_DOLLAR_WORD : TOK_AT_WORD;
    } else if (is_digit_byte(c)) {
      kind = read_number_rest(p);
    } else if (c == '\'') {
      scan_char_literal(p, tok_start);
      kind = TOK_CHAR;
    } else if (c == '"') {
      if (raw_string_at(p, tok_start)) {
        skip_raw_string_rest(p);
      } else {
        skip_string_rest(p);
      }
      kind = TOK_STRING;
    } else {
      u64 n = symbol_length(c, byte_at(p, p->index), byte_at(p, p->index + 1));
      p->index += n - 1;
      p->col += n - 1;
      kind = TOK_SYMBOL;
    }
    i = p->index;
    col = p->col;
    break;
  }
  p->index = i;
  p->col = col;
  p->tok = data + tok_start;
  p->tok_len = (kind == TOK_BLANK || kind == TOK_EOF) ? 0 : i - tok_start;
  *starts_line_out = starts_line;
  *flags_ok = ok;
  return kind;
}

[[gnu::noinline]] u64 next_token_slow(Parser* p, bool skip_blanks, bool skip_newlines, bool advance, u8 flags) {
  const u64 start_index = p->index, start_line = p->line, start_col = p->col;
  const bool skip_nl = skip_blanks && skip_newlines;
  p->at_cursor = 0;
  Parser::TokenCache& tc = p->tok_cache;
  u64 kind;
  u8 starts_line;
  if ((tc.flags_ok >> flags) & 1 && tc.index == start_index && tc.line == start_line && tc.col == start_col) {
    kind = tc.kind;
    p->tok = p->data + tc.tok_start;
    p->tok_len = tc.tok_len;
    if (kind == TOK_CHAR) p->char_value = tc.char_value;
    starts_line = tc.starts_line;
    p->index = tc.end_index;
    p->line = tc.end_line;
    p->col = tc.end_col;
  } else {
    u8 ok;
    kind = scan_token(p, skip_blanks, skip_nl, &starts_line, &ok);
    tc.flags_ok = static_cast<u8>(ok | (1 << flags));
    tc.index = start_index;
    tc.line = start_line;
    tc.col = start_col;
    tc.end_index = p->index;
    tc.end_line = p->line;
    tc.end_col = p->col;
    tc.tok_start = static_cast<u64>(p->tok - p->data);
    tc.tok_len = p->tok_len;
    tc.kind = kind;
    tc.starts_line = starts_line;
    tc.char_value = p->char_value;
  }
  p->kind = kind;
  if (p->build->lsp && p->chunk->file && p->chunk->file->from_editor) {
    u64 cur_line = 0, cur_char = 0;
    if (lsp_cursor_position(p->build->lsp, &cur_line, &cur_char)) {
      bool in_lines = cur_line >= start_line && cur_line <= p->line;
      bool in_cols = cur_char >= start_col && cur_char <= p->col;
      p->at_cursor = (in_lines && in_cols) ? 1 : 0;
    }
  }
  p->starts_line = starts_line;
  if (!advance) {
    p->index = start_index;
    p->line = start_line;
    p->col = start_col;
  }
  return kind;
}

}  // namespace

u64 next_token(Parser* p, bool skip_blanks, bool skip_newlines, bool advance) {
  // Flag sets: 0 none, 1 blanks, 3 blanks and newlines (newlines alone skip nothing).
  const u8 flags = static_cast<u8>(skip_blanks) | static_cast<u8>((skip_blanks && skip_newlines) << 1);
  const Parser::TokenCache& tc = p->tok_cache;
  if ((tc.flags_ok >> flags) & 1 && tc.index == p->index && tc.line == p->line && tc.col == p->col &&
      !p->build->lsp) {
    const u64 kind = tc.kind;
    p->at_cursor = 0;
    p->tok = p->data + tc.tok_start;
    p->tok_len = tc.tok_len;
    p->kind = kind;
    if (kind == TOK_CHAR) p->char_value = tc.char_value;
    p->starts_line = tc.starts_line;
    if (advance) {
      p->index = tc.end_index;
      p->line = tc.end_line;
      p->col = tc.end_col;
    }
    return kind;
  }
  return next_token_slow(p, skip_blanks, skip_newlines, advance, flags);
}

std::string token_text(Parser* p) { return std::string(p->token()); }

bool token_is(Parser* p, std::string_view text) { return p->token() == text; }

bool symbol_is(Parser* p, std::string_view text) { return p->kind == TOK_SYMBOL && p->token() == text; }

u8 char_at(Parser* p, u64 n) { return byte_at(p, p->index + n); }

namespace {
Chunk* fill_chunk(Parser* p, Chunk* c) {
  c->build = p->chunk->build;
  c->file = p->chunk->file;
  c->content = p->chunk->content;
  c->index = p->index;
  c->line = p->line;
  c->col = p->col;
  c->token_text = p->tok;
  c->token_len = p->tok_len;
  return c;
}
}  // namespace

Chunk* chunk_here(Parser* p) { return fill_chunk(p, p->build->make<Chunk>()); }

Chunk* statement_chunk(Parser* p) { return fill_chunk(p, p->build->make_func_lived<Chunk>()); }

Chunk* chunk_at_token(Parser* p) {
  Chunk* c = chunk_here(p);
  c->index = c->index >= p->tok_len ? c->index - p->tok_len : 0;
  c->col = c->col > p->tok_len ? c->col - p->tok_len : 1;
  return c;
}

void save_position(Parser* p) {
  p->save_index = p->index;
  p->save_line = p->line;
  p->save_col = p->col;
}

void restore_position(Parser* p) {
  p->index = p->save_index;
  p->line = p->save_line;
  p->col = p->save_col;
}

void save_position2(Parser* p) {
  p->save2_index = p->index;
  p->save2_line = p->line;
  p->save2_col = p->col;
}

void restore_position2(Parser* p) {
  p->index = p->save2_index;
  p->line = p->save2_line;
  p->col = p->save2_col;
}

void advance_chars(Parser* p, u64 n) {
  while (n-- > 0 && p->index < p->len) take_byte(p);
}

void skip_blanks(Parser* p, bool newlines_too) {
  while (p->index < p->len) {
    u8 c = static_cast<u8>(p->data[p->index]);
    if (c == ' ' || c == '\t') {
      p->index++;
      p->col++;
    } else if (c == '\n' && newlines_too) {
      p->index++;
      p->line++;
      p->col = 1;
    } else {
      break;
    }
  }
}

void skip_word_chars(Parser* p) {
  u64 i = word_end(p->data, p->index, p->len);
  p->col += i - p->index;
  p->index = i;
}

u64 read_number_rest(Parser* p) {
  // Bytes kept in a number are never newlines, so a byte taken and given back only
  // moves the column.
  auto take = [p]() -> u8 {
    p->col++;
    return static_cast<u8>(p->data[p->index++]);
  };
  u64 kind = TOK_INT;
  const bool zero_first = p->index > 0 && p->data[p->index - 1] == '0';
  bool first = true;
  for (;;) {
    u8 b;
    if (first && zero_first) {
      first = false;
      if (p->index >= p->len) return kind;
      b = take();
      if (b == '_') continue;
      if (b == 'c') {
        kind = TOK_OCTAL;
        continue;
      }
      if (b == 'x') {
        kind = TOK_HEX;
        continue;
      }
    } else {
      first = false;
      while (p->index < p->len && p->data[p->index] == '_') {
        p->index++;
        p->col++;
      }
      if (p->index >= p->len) return kind;
      b = take();
    }
    switch (kind) {
      case TOK_INT:
        if (b == '.' && is_digit_byte(byte_at(p, p->index))) {
          kind = TOK_FLOAT;
          continue;
        }
        if (is_digit_byte(b)) continue;
        break;
      case TOK_FLOAT:
        if (is_digit_byte(b)) continue;
        break;
      case TOK_HEX:
        if (is_hex_byte(b)) continue;
        break;
      case TOK_OCTAL:
        if (b >= '0' && b <= '7') continue;
        break;
    }
    give_back(p);
    return kind;
  }
}

namespace {

// Skips the expression of a "%{" as the value reader reads it: quotes, braces and
// comments inside it belong to the expression. Where the expression cannot go on (a quote
// right after a finished operand, or a closer it never opened) the value reader stops
// with its own error at that line, so the literal is not allowed to run on past it.
// Returns true when the literal's closing quote has been consumed.
bool skip_interpolation(Parser* p) {
  u64 depth = 0;
  bool after_operand = false;
  while (p->index < p->len) {
    const u64 at = p->index;
    u8 c = take_byte(p);
    if (c == '"') {
      if (raw_string_at(p, at)) {
        skip_raw_string_rest(p);
      } else {
        if (depth == 0 && after_operand) return true;
        skip_string_rest(p);
      }
      after_operand = true;
    } else if (c == '\'') {
      // A character literal: its byte, or an escape and the byte after it.
      if (p->index < p->len && take_byte(p) == '\\' && p->index < p->len) take_byte(p);
      if (p->index < p->len && byte_at(p, p->index) == '\'') take_byte(p);
      after_operand = true;
    } else if (c == '/' && byte_at(p, p->index) == '/') {
      while (p->index < p->len && byte_at(p, p->index) != '\n') take_byte(p);
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      continue;
    } else if (c == '{' || c == '(' || c == '[') {
      depth++;
      after_operand = false;
    } else if (c == '}' || c == ')' || c == ']') {
      if (depth == 0) return false;
      depth--;
      after_operand = true;
    } else {
      after_operand = kWordBytes[c];
    }
  }
  return false;
}

}  // namespace

void skip_string_rest(Parser* p) {
  while (p->index < p->len) {
    u8 c = take_byte(p);
    if (c == '"') return;
    if (c == '\\') {
      if (p->index >= p->len) return;
      take_byte(p);
    } else if (c == '%' && byte_at(p, p->index) == '{') {
      take_byte(p);
      if (skip_interpolation(p)) return;
    }
  }
}

void skip_scope(Parser* p, std::string_view closer) {
  std::vector<std::string_view> expected;
  expected.reserve(8);
  expected.push_back(closer);
  for (;;) {
    u64 kind = next_token(p, true, true);
    if (kind == TOK_EOF) {
      parse_error(p, cat({"Missing scope closing character, expected to find: '", closer, "'"}));
    }
    if (kind != TOK_SYMBOL) continue;
    std::string_view t = p->token();
    if (p->starts_line && t == "#") {
      check_stray_compile_macro(p);
      continue;
    }
    if (t == "(") {
      expected.push_back(")");
    } else if (t == "{" || t == "<{") {
      expected.push_back("}");
    } else if (t == "[") {
      expected.push_back("]");
    } else if (t == ")" || t == "}" || t == "]") {
      std::string_view want = expected.back();
      expected.pop_back();
      if (t != want) {
        parse_error(p, cat({"Incorrect scope ending. Expected '", want, "', Found: '", t, "'"}));
      }
      if (expected.empty()) return;
    }
  }
}

void skip_type(Parser* p) {
  for (;;) {
    next_token(p, true, true);
    if (symbol_is(p, "?") || symbol_is(p, "*") || symbol_is(p, "&")) continue;
    if (symbol_is(p, "(")) {
      skip_scope(p, ")");
      return;
    }
    if (symbol_is(p, "[")) {
      skip_scope(p, "]");
      return;
    }
    if (symbol_is(p, "<")) {
      NestingGuard level(p, NEST_TYPE);
      skip_type(p);
      next_token(p, true, false);
      if (!token_is(p, ">")) error_expected(p, ">");
      return;
    }
    break;
  }
  if (p->kind == TOK_WORD && (token_is(p, "fn") || token_is(p, "fnptr"))) {
    next_token(p, false, false);
    if (!token_is(p, "(")) error_expected(p, "(");
    skip_scope(p, ")");
    next_token(p, false, false);
    if (!token_is(p, "(")) error_expected(p, "(");
    skip_scope(p, ")");
    return;
  }
  if (p->kind == TOK_WORD && token_is(p, "co")) {
    next_token(p, false, false, false);
    if (token_is(p, "(")) {
      next_token(p, false, false);
      skip_scope(p, ")");
    }
    return;
  }
  if (p->kind != TOK_WORD) parse_error(p, "Invalid type syntax");
  next_token(p, false, false, false);
  if (symbol_is(p, ":")) {
    next_token(p, false, false);
    if (next_token(p, false, false) != TOK_WORD) parse_error(p, "Invalid type syntax");
    next_token(p, false, false, false);
  }
  if (symbol_is(p, "[")) {
    next_token(p, false, false);
    skip_scope(p, "]");
  }
}

void skip_qualified_name(Parser* p, bool skip_newlines) {
  if (next_token(p, true, skip_newlines) != TOK_WORD) error_invalid_identifier(p);
  if (char_at(p, 0) == ':') {
    advance_chars(p, 1);
    if (next_token(p, false, false) != TOK_WORD) error_invalid_identifier(p);
  }
}

void expect_token(Parser* p, std::string_view a, bool skip_blanks, bool skip_newlines) {
  next_token(p, skip_blanks, skip_newlines);
  if (!token_is(p, a)) error_expected(p, a);
}

void expect_token2(Parser* p, std::string_view a, std::string_view b, bool skip_blanks, bool skip_newlines,
                   bool advance) {
  next_token(p, skip_blanks, skip_newlines, advance);
  if (!token_is(p, a) && !token_is(p, b)) {
    parse_error(p, cat({"Expected token: '", a, "' or '", b, "', instead of: '", p->token(), "'"}));
  }
}

void expect_token3(Parser* p, std::string_view a, std::string_view b, std::string_view c, bool skip_blanks,
                   bool skip_newlines) {
  next_token(p, skip_blanks, skip_newlines);
  if (!token_is(p, a) && !token_is(p, b) && !token_is(p, c)) {
    parse_error(p, cat({"Expected token: '", a, "', '", b, "' or '", c, "', instead of: '", p->token(), "'"}));
  }
}

void expect_token_in(Parser* p, std::initializer_list<std::string_view> list, bool skip_blanks, bool skip_newlines) {
  next_token(p, skip_blanks, skip_newlines);
  for (std::string_view t : list)
    if (token_is(p, t)) return;
  std::string msg = cat({"Unexpected token: '", p->token(), "', expected: "});
  bool first = true;
  for (std::string_view t : list) {
    if (!first) msg += ", ";
    first = false;
    msg += "'";
    msg += t;
    msg += "'";
  }
  parse_error(p, msg);
}

void expect_word(Parser* p, bool skip_blanks, bool skip_newlines) {
  if (next_token(p, skip_blanks, skip_newlines) != TOK_WORD) {
    parse_error(p, cat({"Expected a valid identifier name ([a-Z_]{1}[a-Z0-9_]*), found: '", p->token(), "'"}));
  }
}

void expect_string(Parser* p, bool skip_blanks, bool skip_newlines) {
  if (next_token(p, skip_blanks, skip_newlines) != TOK_STRING) {
    parse_error(p, cat({"Expected a string between doubles quotes, found: '", p->token(), "'"}));
  }
}

u64 expect_newline(Parser* p) {
  u64 kind = next_token(p, true, true, false);
  if (!p->starts_line) parse_error(p, "Expected a newline");
  return kind;
}

void error_unexpected_token(Parser* p) { parse_error(p, cat({"Unexpected token: '", p->token(), "'"})); }

void error_unexpected_eof(Parser* p) { parse_error(p, "Unexpected end of file"); }

void parse_bug(Parser* p, std::string_view message) { parse_error(p, cat({message, " (BUG)"})); }

bool peek_marker_token(Parser* p) {
  next_token(p, true, false, false);
  return token_is(p, "!") || token_is(p, "!?") || token_is(p, "_") || token_is(p, "->");
}

Func* get_parser_func(Parser* p) {
  if (!p->context->func) parse_error(p, "Missing function object in parser (bug)");
  return p->context->func;
}

Func* parser_func_or_none(Parser* p) { return p->context->func; }

void push_type_hint(Parser* p, Type* type) {
  p->hint_stack.push_back(p->type_hint);
  p->type_hint = type;
}

void pop_type_hint(Parser* p) {
  if (p->hint_stack.empty()) {
    p->type_hint = nullptr;
    return;
  }
  p->type_hint = p->hint_stack.back();
  p->hint_stack.pop_back();
}

}  // namespace tesk
