#pragma once
// Literal values: @intrinsics, string literals and the "#" value directives, aggregate
// literals (fixed arrays, object literals, property defaults), object creation, array
// initialisation, inline-scope results and map literals.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "expr/value.h"
#include "source/records.h"

namespace tesk {

// Key and value pairs of a map literal, in the order they are stored.
using ValuePairs = std::vector<std::pair<Value*, Value*>>;

// --- intrinsics -----------------------------------------------------------------------
// The current token is an @word. Returns the intrinsic's value, or null when the word is
// no intrinsic (the caller reports it). `prefix` is the prefix_value that read_value took
// at its entry (used by @global_default_value).
Value* read_intrinsic(Parser* p, Scope* scope, Value* prefix);
// Kinds that can be stored into: decl, prop, ptrv, global, buffer_value.
bool value_is_assignable_kind(Value* v);
// One value per Type, each read with its Type as hint and converted to it, separated by
// "," up to the symbol closer (consumed).
std::vector<Value*> read_values_for_types(Parser* p, Scope* scope, const std::vector<Type*>& types,
                                          std::string_view closer);

// --- strings ---------------------------------------------------------------------------
// Backslash escapes of a string literal's inner text.
std::string unescape_string(std::string_view text);
// The current token is a string literal (the parser stands after it).
Value* read_string_literal(Parser* p, Scope* scope);
// The source of the value scope that joins the parts STR0 .. STR<parts-1> of an
// interpolated literal into a new String.
std::string interpolation_code(u64 parts);
// The parser stands after the sign "#": #string, #embed or #embed_dir.
Value* read_value_directive(Parser* p, Scope* scope);

// --- aggregate literals ------------------------------------------------------------------
Value* read_fixed_array_values(Parser* p, Scope* scope, Value* target, Type* element, u64 count);
Value* read_object_literal(Parser* p, Scope* scope, Class* cls, Value* target);
Value* read_init_values(Parser* p, Scope* scope, Value* object, Property* prop);
void collect_value_decl(Value* v, Value* into);
void collect_value_decls(const std::vector<Decl*>& decls, Scope* into);

// --- objects ---------------------------------------------------------------------------
Value* value_new_object(ParseContext* ctx, Scope* scope, Class* cls);
Value* value_class_init(ParseContext* ctx, Class* cls, Scope* parent, Value* object, OrderedMap<Value*>* props);

// --- arrays, inline scopes, maps -------------------------------------------------------
Value* value_array_init(ParseContext* ctx, Scope* parent, Value* storage, const std::vector<Value*>& elements,
                        Type* element, Type* array);
Value* value_inline_scope_result(Value* inline_scope);
Value* value_map_literal(Build* b, ParseContext* ctx, Scope* parent, const std::vector<Type*>& generic_types,
                         const ValuePairs& pairs);

}  // namespace tesk
