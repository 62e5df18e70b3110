#pragma once
// Unit-level data: string constants and global variables.
#include <string>
#include <string_view>

#include "ir/records.h"

namespace tesk {

// The unit's constant for the text, made with the next number when missing.
StringConst* unit_string_const(Unit* unit, std::string_view text);
// Writes the "@string.<n>" global once, and only for a used constant.
void ir_string_global(IrUnit* u, StringConst* sc);
// Writes the global's line once per unit (external when it lives elsewhere).
void ir_declare_global(IrUnit* u, Global* g);
std::string ir_zero_init(Type* type);
// Writes the class's vtable once per unit: its size and its gc_free (or null), the same
// in every unit that names it.
void ir_vtable_global(IrUnit* u, Class* cls);

}  // namespace tesk
