#pragma once
// The value-expression reader: one typed, checked Value from the parser position.
#include "expr/value.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// Priority of a whole expression; 0 and 1 read one operand with its postfix operators.
constexpr u64 PRIO_ALL = 99999;

// Reads one value expression. `priority` bounds the infix operators consumed; `ref_flag`
// goes to the member reader (1: a lazy property is accessed without initialisation).
Value* read_value(Parser* p, Scope* scope, u64 priority, u8 ref_flag);

// The operand of a word token (the current token): a keyword value or an identifier.
Value* read_word_value(Parser* p, Scope* scope);
// The operand of a symbol token (the current token). `prefix` is the location the value
// is about to be stored into, or null. Null when the symbol starts no value.
Value* read_sign_value(Parser* p, Scope* scope, Value* prefix);
// An inline function value; the current token is the "(" after `fn`.
Value* read_inline_function(Parser* p, Scope* scope);

// A VAL.string of `text` in the unit of the parser's context, listed in the context
// function's strings.
Value* keyword_string_value(Parser* p, std::string_view text);

}  // namespace tesk
