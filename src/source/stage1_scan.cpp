#include "source/stage1_scan.h"

#include "driver/build.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1.h"
#include "util/strings.h"

namespace tesk {

bool header_ended(Parser* p, Func* func) {
  if (p->kind == TOK_EOF) return true;
  // starts_line also covers a comment at the end of the header's line: the comment
  // takes its line break with it.
  return func->no_body && p->starts_line;
}

bool ends_return_type(Parser* p) {
  if (p->kind == TOK_AT_WORD || p->kind == TOK_DOLLAR_WORD) return true;
  return p->kind == TOK_SYMBOL && (p->is("{") || p->is("!") || p->is(";"));
}

namespace {
// Peeks the next token; false when it is no longer part of the header.
bool peek_in_header(Func* func, Parser* p) {
  next_token(p, true, true, false);
  return !header_ended(p, func);
}
}  // namespace

void func_scan_header(Func* func, Parser* p) {
  if (!func->no_args) skip_scope(p, ")");
  bool more = peek_in_header(func, p);
  if (more && !ends_return_type(p)) {
    func->return_type_chunk = chunk_here(p);
    skip_type(p);
    more = peek_in_header(func, p);
  }
  while (more && symbol_is(p, "!")) {
    next_token(p, true, true);
    if (next_token(p, false, false) != TOK_WORD) parse_error(p, "Invalid error name: " + token_text(p));
    more = peek_in_header(func, p);
  }
  while (more && (p->kind == TOK_AT_WORD || p->kind == TOK_DOLLAR_WORD)) {
    next_token(p, true, true);
    more = peek_in_header(func, p);
  }
  if (func->no_body) return;
  expect_token(p, "{", true, true);
  func->body_chunk = chunk_here(p);
  skip_scope(p, "}");
}

}  // namespace tesk
