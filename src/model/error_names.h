#pragma once
// Named errors of signatures: "!" followed by a name, each name coded by its name hash,
// so the same name is the same code in every package.
#include <string_view>

#include "model/records.h"

namespace tesk {

ErrorCode error_code_of(std::string_view name);

// Reads one "!" name (the "!" is the next token, blanks skipped) into the map. Rejects
// a name given twice and two names whose codes collide.
void read_error_name(Parser* p, ErrorMap* errors);
// Reads "!" names while the next token on the line is "!".
void read_error_names(Parser* p, ErrorMap* errors);

}  // namespace tesk
