// Uses of token macros: the pattern is matched at the use site, then the body is read
// by a sub-parser in a scope that sees the macro's declaring file plus the bindings.
#include <string>

#include "driver/build.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/macro.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/statements.h"
#include "util/strings.h"

namespace tesk {

namespace {

void match_items(Parser* p, Scope* scope, std::vector<MacroPatternItem*>& items, OrderedMap<Identifier*>* map) {
  for (MacroPatternItem* item : items) match_macro_pattern(p, scope, item, map);
}

void match_repeat(Parser* p, Scope* scope, MacroPatternItem* item, OrderedMap<Identifier*>* map) {
  if (!item->items) parse_error(p, "Missing macro pattern parts for 'repeat' (bug)");
  Build* b = p->build;
  auto* list = b->make<std::vector<IdentifierMap*>>();
  map->set(item->var, new_identifier_repeat(b, list));
  for (;;) {
    u64 kind = next_token(p, true, true, false);
    if (kind == TOK_EOF) parse_error(p, "Unexpected end of code");
    if (p->token() == item->token) {
      next_token(p, true, true);
      return;
    }
    u64 before = p->index;
    auto* iteration = b->make<IdentifierMap>();
    list->push_back(iteration);
    match_items(p, scope, *item->items, iteration);
    // Parts that can match nothing (optional, suggest) would repeat forever.
    if (p->index == before) {
      next_token(p, true, true);
      parse_error(p, cat({"Expected token: '", item->token, "', instead of: '", p->token(), "'"}));
    }
  }
}

void match_optional(Parser* p, Scope* scope, MacroPatternItem* item, OrderedMap<Identifier*>* map) {
  if (!item->items) parse_error(p, "Missing macro pattern parts for 'optional' (bug)");
  if (item->items->empty()) parse_error(p, "First macro pattern for 'optional' not found (bug)");
  next_token(p, false, false, false);
  if (p->token() != item->items->front()->token) return;
  match_items(p, scope, *item->items, map);
}

}  // namespace

void match_macro_pattern(Parser* p, Scope* scope, MacroPatternItem* item, OrderedMap<Identifier*>* map) {
  Build* b = p->build;
  switch (item->kind) {
    case MACRO_SEQUENCE:
      if (!item->items) parse_error(p, "Missing macro pattern parts (bug)");
      match_items(p, scope, *item->items, map);
      return;
    case MACRO_OPTIONAL:
      match_optional(p, scope, item, map);
      return;
    case MACRO_REPEAT:
      match_repeat(p, scope, item, map);
      return;
    case MACRO_TOKEN:
      next_token(p, item->skip_blanks, item->skip_newlines);
      if (p->token() != item->token) {
        parse_error(p, cat({"Expected token: '", item->token, "', instead of: '", p->token(), "'"}));
      }
      return;
    case MACRO_VALUE: {
      Value* v = read_value(p, scope, PRIO_ALL, 0);
      map->set(item->var, new_identifier_value(b, v));
      return;
    }
    case MACRO_TYPE: {
      Type* t = read_type(p, scope, true, false);
      map->set(item->var, new_identifier_type(b, t));
      return;
    }
    case MACRO_SUGGEST:
      if (item->type) p->type_hint = item->type;
      return;
    default:
      parse_error(p, "Unhandled macro pattern type (bug)");
  }
}

Value* expand_macro(Parser* p, Scope* scope, Macro* macro) {
  if (!macro->body) parse_error(p, "Missing macro content position (bug)");
  // A macro whose body uses itself would otherwise nest until the stack runs out.
  NestingGuard level(p, NEST_MACRO);
  Build* b = p->build;
  Scope* expansion = make_scope(SCOPE_BLOCK, b, scope);
  expansion->func = scope->func;
  expansion->outer = macro->scope;
  match_macro_pattern(p, scope, macro->pattern, &expansion->identifiers);

  Parser* sub = sub_parser(p, macro->body);
  if (macro->is_value) return read_value(sub, expansion, 0, 0);
  Scope* statements = make_scope(SCOPE_BLOCK, b, expansion);
  read_statements(sub, statements, 0);
  return value_inline_scope(statements, void_type(b));
}

}  // namespace tesk
