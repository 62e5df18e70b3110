#pragma once
// Stage 2.1: the names listed in `use` blocks, then the alias, type-alias and extend
// tasks; then Stage 2.2.
#include "driver/build.h"

namespace tesk {

// The whole of Stage 2.1 (declared with the other stages in driver/stages.h).
void stage_read_aliases(Build* b);
// Stage 2.1 without the later stages: use lists, aliases, extend blocks, type aliases.
void read_aliases_and_extends(Build* b);
// Imports the names of the `use` blocks into the scopes of their files. An error here
// ends the build.
void read_use_lists(Build* b);
// Registers one `extend` block (the chunk right after the keyword) with its class.
void read_extend(Build* b, Chunk* chunk);

}  // namespace tesk
