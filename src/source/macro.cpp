#include "source/macro.h"

#include <algorithm>

#include "driver/build.h"
#include "model/type_reading.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1.h"
#include "util/strings.h"

namespace tesk {

namespace {

u8 escape_value(u8 e) {
  switch (e) {
    case 'a': return 7;
    case 'b': return 8;
    case 'e': return 27;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'v': return 11;
    default: return e;
  }
}

struct PendingFlags {
  u8 blanks = 0;
  u8 newlines = 0;
};

MacroPatternItem* append_item(Parser* p, MacroPatternItem* container, u64 kind, PendingFlags& flags) {
  MacroPatternItem* item = new_macro_pattern_item(p->build, kind);
  item->skip_blanks = flags.blanks;
  item->skip_newlines = flags.newlines;
  flags = PendingFlags{};
  container->items->push_back(item);
  return item;
}

}  // namespace

MacroPatternItem* new_macro_pattern_item(Build* b, u64 kind) {
  MacroPatternItem* item = b->make<MacroPatternItem>();
  item->kind = kind;
  if (kind == MACRO_SEQUENCE || kind == MACRO_OPTIONAL || kind == MACRO_REPEAT || kind == MACRO_SUGGEST) {
    item->items = b->make<std::vector<MacroPatternItem*>>();
  }
  return item;
}

std::string decode_macro_token(std::string_view literal) {
  std::string_view s = literal;
  if (!s.empty() && s.front() == '"') s.remove_prefix(1);
  if (!s.empty() && s.back() == '"') s.remove_suffix(1);
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += static_cast<char>(escape_value(static_cast<u8>(s[++i])));
    } else {
      out += s[i];
    }
  }
  return out;
}

void read_macro_pattern(Parser* p, Scope* scope, MacroPatternItem* container, std::vector<std::string>& names,
                        bool first_token_required) {
  PendingFlags flags;
  for (;;) {
    if (first_token_required && container->items->size() == 1 && container->items->front()->kind != MACRO_TOKEN) {
      parse_error(p, "The first macro item must be a token");
    }
    u64 kind = next_token(p, true, true, false);
    if (kind == TOK_STRING) {
      next_token(p, true, true);
      MacroPatternItem* item = append_item(p, container, MACRO_TOKEN, flags);
      item->token = decode_macro_token(p->token());
      continue;
    }
    if (kind == TOK_WORD && (p->is("s") || p->is("ws"))) {
      next_token(p, true, true);
      flags.blanks = 1;
      if (p->is("ws")) flags.newlines = 1;
      continue;
    }
    if (container->kind == MACRO_OPTIONAL && container->items->empty()) {
      parse_error(p, "The first part of an 'optional' macro item must be valid token between double-quotes");
    }
    if (kind != TOK_WORD) return;
    if (p->is("V") || p->is("T")) {
      next_token(p, true, true);
      bool is_value = p->is("V");
      expect_token(p, ":", false, false);
      std::string name(stage_1_word(p, false, false));
      if (std::find(names.begin(), names.end(), name) != names.end()) {
        parse_error(p, "Duplicate macro variable name: " + name);
      }
      names.push_back(name);
      MacroPatternItem* item = append_item(p, container, is_value ? MACRO_VALUE : MACRO_TYPE, flags);
      item->var = std::move(name);
      continue;
    }
    if (p->is("optional")) {
      next_token(p, true, true);
      expect_token(p, "(", false, false);
      MacroPatternItem* item = append_item(p, container, MACRO_OPTIONAL, flags);
      read_macro_pattern(p, scope, item, names, false);
      expect_token(p, ")", true, true);
      continue;
    }
    if (p->is("repeat")) {
      next_token(p, true, true);
      expect_token(p, "(", false, false);
      std::string name(stage_1_word(p, true, false));
      expect_token(p, ",", true, true);
      MacroPatternItem* item = append_item(p, container, MACRO_REPEAT, flags);
      item->var = std::move(name);
      std::vector<std::string> inner_names;
      read_macro_pattern(p, scope, item, inner_names, false);
      expect_token(p, ",", true, true);
      if (next_token(p, true, true) != TOK_STRING) {
        parse_error(p, cat({"The last argument for repeat() must a be token between double-quotes. This token "
                            "represent the end of the repeated pattern. Invalid token: '",
                            p->token(), "'"}));
      }
      item->token = decode_macro_token(p->token());
      expect_token(p, ")", true, true);
      continue;
    }
    if (p->is("suggest")) {
      next_token(p, true, true);
      expect_token(p, "(", false, false);
      flags = PendingFlags{};
      MacroPatternItem* item = append_item(p, container, MACRO_SUGGEST, flags);
      item->type = read_type(p, scope, true, false);
      expect_token(p, ")", true, true);
      continue;
    }
    return;
  }
}

void read_macro(Parser* p, Macro* macro) {
  std::vector<std::string> names;
  read_macro_pattern(p, macro->scope, macro->pattern, names, macro->first_token_required);
  next_token(p, true, true, false);
  if (p->kind == TOK_SYMBOL && p->is("<{")) {
    macro->body = chunk_here(p);
    macro->is_value = 1;
    next_token(p, true, true);
  } else {
    expect_token2(p, "<{", "{", true, true);
    macro->body = chunk_here(p);
  }
  skip_scope(p, "}");
}

}  // namespace tesk
