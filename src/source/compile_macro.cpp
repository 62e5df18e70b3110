#include "source/compile_macro.h"

#include "driver/build.h"
#include "source/parse_error.h"
#include "source/parser.h"

namespace tesk {

CompileMacroFrame* push_compile_macro(Parser* p, u64 kind) {
  CompileMacroFrame* f = p->build->make<CompileMacroFrame>();
  f->kind = kind;
  f->parent = p->macros;
  p->macros = f;
  return f;
}

CompileMacroFrame* top_compile_macro(Parser* p, u64 kind) {
  CompileMacroFrame* top = p->macros;
  if (!top) return nullptr;
  if (kind != 0 && top->kind != kind) return nullptr;
  return top;
}

CompileMacroFrame* pop_compile_macro(Parser* p, u64 kind) {
  CompileMacroFrame* top = top_compile_macro(p, kind);
  if (top) p->macros = top->parent;
  return top;
}

void repush_compile_macro(Parser* p, CompileMacroFrame* frame) {
  frame->parent = p->macros;
  p->macros = frame;
}

void skip_compile_macro_body(Parser* p, bool to_end) {
  u64 depth = 1;
  for (;;) {
    u64 index = p->index, line = p->line, col = p->col;
    u64 kind = next_token(p, true, true);
    if (kind == TOK_EOF) parse_error(p, "Missing compile macro '#end' token");
    if (!(kind == TOK_SYMBOL && p->starts_line && token_is(p, "#"))) continue;
    if (next_token(p, false, false) != TOK_WORD) continue;
    if (token_is(p, "if") || token_is(p, "loop")) {
      depth++;
    } else if (token_is(p, "end")) {
      depth--;
    } else if (depth == 1 && !to_end && (token_is(p, "else") || token_is(p, "elif"))) {
      depth = 0;
    }
    if (depth == 0) {
      if (!to_end) {
        p->index = index;
        p->line = line;
        p->col = col;
      }
      return;
    }
  }
}

void check_stray_compile_macro(Parser* p) {
  if (next_token(p, false, false) != TOK_WORD) return;
  if (token_is(p, "if") || token_is(p, "loop")) {
    push_compile_macro(p, CM_IF);
    skip_compile_macro_body(p, false);
  } else if (token_is(p, "elif")) {
    if (!top_compile_macro(p, CM_IF)) parse_error(p, "Unexpected '#elif' token. There's no previous #if to match with");
    skip_compile_macro_body(p, false);
  } else if (token_is(p, "else")) {
    if (!top_compile_macro(p, CM_IF)) parse_error(p, "Unexpected '#else' token. There's no previous #if to match with");
  } else if (token_is(p, "end")) {
    if (!pop_compile_macro(p, 0)) parse_error(p, "Unexpected '#end' token. There's no previous #if to match with");
  }
}

void check_open_compile_macro(Parser* p) {
  if (p->macros) parse_error(p, "Missing compile macro '#end' token");
}

}  // namespace tesk
