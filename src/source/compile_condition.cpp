#include "source/compile_condition.h"

#include <string>
#include <string_view>
#include <vector>

#include "driver/build.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

namespace {

[[noreturn]] void invalid_name(Parser* p) {
  parse_error(p, cat({"Invalid identifier name: '", p->token(), "' | Expected syntax: [a-zA-Z_]"}));
}

// A word on the current line (or on any line), else the invalid-name error.
std::string_view read_name(Parser* p, bool any_line) {
  if (next_token(p, true, any_line) != TOK_WORD) invalid_name(p);
  return p->token();
}

Identifier* identifier_or_error(Parser* p, Scope* scope) {
  IdentifierResult r = read_identifier(p, scope, true, false);
  if (!r.ok()) parse_error(p, r.error);
  return r.id;
}

bool cond_is_defined(Parser* p, Scope* scope) {
  std::string_view name = read_name(p, true);
  return p->build->defines.contains(name);
}

bool cond_is_identifier(Parser* p, Scope* scope) {
  if (read_identifier(p, scope, true, false).ok()) return true;
  // An unknown namespace stops the reader after "ns:"; the name still belongs to it.
  if (p->kind == TOK_SYMBOL && p->is(":") && next_token(p, false, false) != TOK_WORD) invalid_name(p);
  return false;
}

bool cond_global_is_shared(Parser* p, Scope* scope) {
  Identifier* id = identifier_or_error(p, scope);
  if (id->kind != IDENT_GLOBAL) parse_error(p, "Invalid global identifier");
  if (!id->global) parse_error(p, "Missing global identifier value (bug)");
  return id->global->shared != 0;
}

bool cond_property_name_is(Parser* p, Scope* scope) {
  Identifier* id = identifier_or_error(p, scope);
  if (id->kind != IDENT_VALUE_PROPERTY) parse_error(p, "Invalid property identifier");
  if (!id->prop) parse_error(p, "Identifier does not represent a property");
  expect_token(p, ",", true, false);
  std::string_view name = read_name(p, false);
  return id->prop->name == name;
}

using CondFn = bool (*)(Parser*, Scope*);

// The condition functions that need no type reader.
CondFn condition_function(std::string_view name) {
  if (name == "is_defined") return cond_is_defined;
  if (name == "is_identifier") return cond_is_identifier;
  if (name == "global_is_shared") return cond_global_is_shared;
  if (name == "property_name_is") return cond_property_name_is;
  return type_condition_function(name);
}

bool variable_condition(Parser* p) {
  std::string_view name = p->token();
  const std::string* value = p->build->defines.find(name);
  if (!value) parse_error(p, cat({"Unknown compile macro definition: '", name, "'"}));
  next_token(p, true, false, false);
  bool eq = symbol_is(p, "==");
  if (!eq && !symbol_is(p, "!=")) return *value != "0";
  next_token(p, true, false);
  u64 kind = next_token(p, true, false);
  if (kind != TOK_WORD && kind != TOK_INT) parse_error(p, cat({"Invalid right side value: '", p->token(), "'"}));
  bool same = *value == p->token();
  return eq ? same : !same;
}

}  // namespace

bool eval_compile_condition(Parser* p, Scope* scope) {
  // "!" negates, and "&&" / "||" combine with, the whole rest of the line, so the line
  // groups to the right. The terms are read left to right and folded from the right
  // afterwards: a long line costs no native stack.
  struct Term {
    bool negated = false;  // an odd number of "!" before the term
    bool value = false;
    bool is_and = false;   // the operator after the term, when one follows
  };
  std::vector<Term> terms;
  for (;;) {
    Term term;
    u64 kind = next_token(p, true, false);
    while (kind == TOK_SYMBOL && p->is("!")) {
      term.negated = !term.negated;
      kind = next_token(p, true, false);
    }
    // Without a value on the left, an operator would combine with nothing.
    if (kind != TOK_WORD) error_unexpected_token(p);

    if (CondFn fn = condition_function(p->token())) {
      if (next_token(p, false, false) != TOK_SYMBOL || !p->is("(")) {
        parse_error(p, cat({"Expected token: '(', instead of: '", p->token(), "'"}));
      }
      term.value = fn(p, scope);
      expect_token(p, ")", true, false);
    } else {
      term.value = variable_condition(p);
    }

    next_token(p, true, false, false);
    const bool more = p->kind == TOK_SYMBOL && (p->is("&&") || p->is("||"));
    if (more) {
      term.is_and = p->is("&&");
      next_token(p, true, false);
    }
    terms.push_back(term);
    // Both sides are always read and evaluated.
    if (!more) break;
  }

  bool rest = terms.back().value != terms.back().negated;
  for (size_t i = terms.size() - 1; i-- > 0;) {
    const Term& t = terms[i];
    bool combined = t.is_and ? (t.value && rest) : (t.value || rest);
    rest = combined != t.negated;
  }
  return rest;
}

}  // namespace tesk
