#pragma once
// Compile-time directives: "#if", "#elif", "#else", "#end", "#print", "#print_type",
// "#error" and "#loop", read wherever "#" is the first token of its line.
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// Reads and performs one directive. The parser stands on the "#"; names in the
// directive are looked up from `scope`.
void parse_compile_macro(Parser* p, Scope* scope);

// "#loop": the parser stands after the word "loop". Reads the header and starts the
// loop, or skips its body when the list is empty.
void parse_compile_loop(Parser* p, Scope* scope);
// "#end" of a loop whose frame has just been popped: the next repetition, or the end.
void next_compile_loop(Parser* p, CompileMacroFrame* frame);

}  // namespace tesk
