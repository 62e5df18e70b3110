#pragma once
// The stack of open compile-time directive blocks of a Parser, and the skipping of
// directive blocks while a scope is passed over unparsed.
#include "source/records.h"

namespace tesk {

CompileMacroFrame* push_compile_macro(Parser* p, u64 kind);
// The top frame when the stack is not empty and kind is 0 or the top's kind; else null.
CompileMacroFrame* top_compile_macro(Parser* p, u64 kind);
// Removes and returns the top frame under the same test; null when it fails.
CompileMacroFrame* pop_compile_macro(Parser* p, u64 kind);
void repush_compile_macro(Parser* p, CompileMacroFrame* frame);
// Skips lines of a block. Without to_end it stops before the "#" of the "#elif", "#else"
// or "#end" that ends the block; with to_end it stops after the matching "#end".
void skip_compile_macro_body(Parser* p, bool to_end);
// A "#" that starts its line inside a scope that skip_scope passes over.
void check_stray_compile_macro(Parser* p);
// "Missing compile macro '#end' token" when a block is still open.
void check_open_compile_macro(Parser* p);

}  // namespace tesk
