#include "source/stage1_scan.h"

#include "driver/build.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1.h"
#include "util/strings.h"

namespace tesk {

namespace {
// A token after which no return type is written.
bool ends_return_type(Parser* p) {
  if (p->kind == TOK_AT_WORD || p->kind == TOK_DOLLAR_WORD) return true;
  return p->kind == TOK_SYMBOL && (p->is("{") || p->is("!") || p->is(";"));
}
}  // namespace

void func_scan_header(Func* func, Parser* p) {
  if (!func->no_args) skip_scope(p, ")");
  next_token(p, true, true, false);
  if (!ends_return_type(p)) {
    func->return_type_chunk = chunk_here(p);
    skip_type(p);
    next_token(p, true, true, false);
  }
  while (p->kind == TOK_SYMBOL && p->is("!")) {
    next_token(p, true, true);
    if (next_token(p, false, false) != TOK_WORD) parse_error(p, "Invalid error name: " + token_text(p));
    next_token(p, true, true, false);
  }
  while (p->kind == TOK_AT_WORD || p->kind == TOK_DOLLAR_WORD) {
    next_token(p, true, true);
    next_token(p, true, true, false);
  }
  if (func->no_body) return;
  expect_token(p, "{", true, true);
  func->body_chunk = chunk_here(p);
  skip_scope(p, "}");
}

}  // namespace tesk
