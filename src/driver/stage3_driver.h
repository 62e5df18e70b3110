#pragma once
// Stage 3: passes over the function list (Stage 3.1 and 3.3), the warnings about unused
// variables and imports, "Reduce ASTs", then Stage 3.4 and 4.
#include "driver/build.h"

namespace tesk {

void stage_parse_asts(Build* b);
void parse_used_functions(Build* b);
void reduce_asts(Build* b);
// The warnings about imports that are never used (main package files only).
void warn_unused_imports(Build* b);

}  // namespace tesk
