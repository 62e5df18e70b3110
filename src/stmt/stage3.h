#pragma once
// Stage 3.1: one function body to its AST, then its GC frame laid out and inserted as
// ordinary statements.
#include "model/records.h"

namespace tesk {

// Stage 3.1 of one function: scopes, statements, GC frame.
void parse_function_ast(Func* func);
// Slots for GC-tracked locals and offsets for stable locals (run after the body is read).
void layout_gc_slots(Func* func);
// The statements that build the frame in the prologue and pop it in the exit scope.
void insert_gc_frame(Func* func);

// Pool size class of a byte size and the item size of that class.
struct SizeClass {
  u64 index = 0;
  u64 item_size = 0;
};
SizeClass size_class(Build* b, u64 bytes);

}  // namespace tesk
