#pragma once
// Reading type syntax. Every failure is a parse error at the parser's position.
#include "model/records.h"

namespace tesk {

// One type from the next token on. skip_newlines allows newlines before it;
// allow_multi allows the parenthesised list "(T, T, ...)".
Type* read_type(Parser* p, Scope* scope, bool skip_newlines, bool allow_multi);

// The Type an identifier stands for ("Not a type" when it names none).
Type* type_of_identifier(Parser* p, Scope* scope, Identifier* id);

// After the "[" of "*[", "&[" or "Class[": the element type and the optional
// "x" count, into type->sub and type->count.
void read_pointer_tail(Parser* p, Scope* scope, Type* type);

// After the "[" of "[T x size]".
Type* read_fixed_array_type(Parser* p, Scope* scope);

// The bracketed type arguments after a generic class name, or the instance that the
// type hint names when there are none; returns the instance.
Class* read_class_generic_args(Parser* p, Scope* scope, Class* generic);

}  // namespace tesk
