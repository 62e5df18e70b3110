#include "source/stage1_scan.h"

#include "driver/build.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

GenericNames* read_generic_names(Parser* p) {
  Build* b = p->build;
  GenericNames* names = b->make<GenericNames>();
  for (;;) {
    if (next_token(p, true, false) != TOK_WORD) {
      parse_error(p, cat({"Invalid identifier name: '", p->token(), "' | Expected syntax: [a-zA-Z_]"}));
    }
    if (names->contains(p->token())) parse_error(p, "Duplicate name for generic type");
    GenericName* g = b->make<GenericName>();
    g->name = token_text(p);
    names->set(g->name, g);
    next_token(p, true, false);
    if (p->kind == TOK_SYMBOL && p->is(":")) {
      next_token(p, true, false);
      while (p->is("PROP_TYPE")) {
        g->prop_type = 1;
        next_token(p, true, false);
      }
    }
    if (p->kind == TOK_SYMBOL && p->is(",")) continue;
    if (p->kind == TOK_SYMBOL && p->is("]")) return names;
    parse_error(p, cat({"Unexpected token: ", p->token()}));
  }
}

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
