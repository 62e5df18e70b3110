#pragma once
// Token macros: a pattern of tokens, values and types, and a body parsed where the
// macro's name is used. Declarations are read in macro.cpp, uses in macro_expand.cpp.
#include <string>
#include <vector>

#include "model/records.h"
#include "source/records.h"

namespace tesk {

enum MacroPatternKind : u64 {
  MACRO_SEQUENCE = 0,
  MACRO_OPTIONAL = 1,
  MACRO_REPEAT = 2,
  MACRO_TOKEN = 3,
  MACRO_VALUE = 4,
  MACRO_TYPE = 5,
  MACRO_SUGGEST = 6,
};

struct MacroPatternItem {
  u64 kind = MACRO_SEQUENCE;
  std::string token;  // a token item's decoded text; a repeat's end token
  std::string var;    // the variable of a value or type item; a repeat's name
  Type* type = nullptr;                               // of a suggest item
  std::vector<MacroPatternItem*>* items = nullptr;    // sequence, optional, repeat, suggest
  u8 skip_blanks = 0;
  u8 skip_newlines = 0;
};

struct Macro {
  std::string name;
  std::string display_name;
  MacroPatternItem* pattern = nullptr;
  Scope* scope = nullptr;
  Chunk* body = nullptr;  // before the "<{" of a value macro, after the "{" of a statement macro
  u8 is_value = 0;
  u8 first_token_required = 0;
};

// A new pattern item of the kind with an empty item list where the kind has one.
MacroPatternItem* new_macro_pattern_item(Build* b, u64 kind);
// Reads the pattern and the body of a declaration; the parser stands after the name.
void read_macro(Parser* p, Macro* macro);
void read_macro_pattern(Parser* p, Scope* scope, MacroPatternItem* container, std::vector<std::string>& names,
                        bool first_token_required);
// The text of a string literal token without its quotes, escapes decoded.
std::string decode_macro_token(std::string_view literal);
// A use of a macro: matches the pattern at the parser (standing right after the name)
// and parses the body in place: a value macro gives the body's value, a statement macro
// a void inline scope holding the body's statements.
Value* expand_macro(Parser* p, Scope* scope, Macro* macro);
// Matches one pattern item at the use site and binds its variables into the map.
void match_macro_pattern(Parser* p, Scope* scope, MacroPatternItem* item, OrderedMap<Identifier*>* map);

}  // namespace tesk
