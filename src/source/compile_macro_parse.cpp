#include "source/compile_macro_parse.h"

#include <cstdio>
#include <string>

#include "driver/build.h"
#include "expr/read_value.h"
#include "model/funcs.h"
#include "model/scope.h"
#include "source/compile_condition.h"
#include "source/compile_macro.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

namespace {

// Kept in the build as well: an unchanged rebuild prints it again without parsing.
void write_line(Build* b, std::string_view text) {
  std::string line(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  b->printed += line;
}

CompileMacroFrame* open_if_frame(Parser* p, std::string_view word) {
  CompileMacroFrame* f = top_compile_macro(p, CM_IF);
  if (!f) parse_error(p, cat({"Unexpected '#", word, "' token. There's no previous #if to match with"}));
  // After "#else" no other branch may follow: it could be read as well.
  if (f->had_else) parse_error(p, cat({"Unexpected '#", word, "' token. The #if already has an #else branch"}));
  return f;
}

void directive_if(Parser* p, Scope* scope) {
  bool result = eval_compile_condition(p, scope);
  CompileMacroFrame* f = push_compile_macro(p, CM_IF);
  f->taken = result;
  if (!result) skip_compile_macro_body(p, false);
}

void directive_elif(Parser* p, Scope* scope) {
  CompileMacroFrame* f = open_if_frame(p, "elif");
  if (f->taken) {
    skip_compile_macro_body(p, false);
    return;
  }
  f->taken = eval_compile_condition(p, scope);
  if (!f->taken) skip_compile_macro_body(p, false);
}

void directive_else(Parser* p) {
  CompileMacroFrame* f = open_if_frame(p, "else");
  f->had_else = 1;
  if (f->taken) skip_compile_macro_body(p, false);
}

void directive_end(Parser* p) {
  CompileMacroFrame* f = pop_compile_macro(p, 0);
  if (!f) parse_error(p, "Unexpected '#end' token. There's no previous #if/#loop to match with");
  if (f->kind != CM_IF) next_compile_loop(p, f);
}

// The "(" right after the directive word.
void expect_open_paren(Parser* p) {
  if (next_token(p, false, false) != TOK_SYMBOL || !p->is("(")) {
    parse_error(p, cat({"Expected token: '(', instead of: '", p->token(), "'"}));
  }
}

void directive_print_type(Parser* p, Scope* scope) {
  expect_open_paren(p);
  IdentifierResult r = read_identifier(p, scope, true, false);
  if (!r.ok()) parse_error(p, r.error);
  Identifier* id = r.id;
  Type* type = nullptr;
  if (id->kind == IDENT_DECL) {
    type = id->decl ? id->decl->type : nullptr;
  } else if (id->kind == IDENT_TYPE) {
    type = id->type;
  } else if (id->kind == IDENT_PROPERTY || id->kind == IDENT_VALUE_PROPERTY) {
    if (!id->prop) parse_bug(p, "Missing property info in identifier");
    type = id->prop->type;
  }
  if (!type) {
    IdentifierRef* ref = last_identifier_ref(p);
    parse_error(p, "Cannot determine type for: " + identifier_ref_text(*ref));
  }
  if (!p->build->lsp) {
    std::string path = p->chunk && p->chunk->file ? p->chunk->file->path : std::string();
    write_line(p->build, cat({"# Print type: ", type->to_text_ex(0), " (File: ", path,
                              " | Line: ", std::to_string(p->line), ")"}));
  }
  expect_token(p, ")", true, false);
}

void directive_print_value_type(Parser* p, Scope* scope) {
  expect_open_paren(p);
  Value* v = read_value(p, scope, PRIO_ALL, 0);
  if (!p->build->lsp) {
    std::string path = p->chunk && p->chunk->file ? p->chunk->file->path : std::string();
    write_line(p->build, cat({"# Print type: ", v->type->to_text_ex(0), " (File: ", path,
                              " | Line: ", std::to_string(p->line), ")"}));
  }
  expect_token(p, ")", true, false);
}

}  // namespace

void parse_compile_macro(Parser* p, Scope* scope) {
  if (next_token(p, false, false) != TOK_WORD) error_unexpected_token(p);
  if (p->is("if")) {
    directive_if(p, scope);
  } else if (p->is("elif")) {
    directive_elif(p, scope);
  } else if (p->is("else")) {
    directive_else(p);
  } else if (p->is("end")) {
    directive_end(p);
  } else if (p->is("print_type")) {
    directive_print_type(p, scope);
  } else if (p->is("print_value_type")) {
    directive_print_value_type(p, scope);
  } else if (p->is("print")) {
    expect_string(p, true, false);
    if (!p->build->lsp) write_line(p->build, cat({"# ", p->token()}));
  } else if (p->is("error")) {
    expect_string(p, true, false);
    std::string message = cat({"# Compile error: ", p->token()});
    Func* func = p->context ? p->context->func : nullptr;
    if (func && is_instance_code(func)) {
      // Only a call makes it an error: at the call read first, else at the next one.
      auto site = p->build->first_calls.find(func);
      if (site == p->build->first_calls.end()) {
        func->refusal = message;
        return;
      }
      Parser* at = new_parser(site->second.chunk, nullptr);
      at->context->func = site->second.caller;
      parse_error(at, message);
    }
    parse_error(p, message);
  } else if (p->is("loop")) {
    parse_compile_loop(p, scope);
  } else {
    error_unexpected_token(p);
  }
}

}  // namespace tesk
