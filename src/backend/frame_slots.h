#pragma once
// Rewrites of a parsed module around GC frames, done before optimising. The frame of a
// function is the alloca it publishes as the collector's stack top; its slots are the
// words after the two header words. A function whose frame address goes anywhere else
// than loads, stores, address arithmetic and the zeroing memset is left alone.
#include <llvm-c/Types.h>

namespace tesk {

// Tells the optimiser that a function's own accesses through other pointers (object
// fields, element blocks) never touch its frame, so slot values stay in registers
// across field stores. Calls stay unannotated: the collector reads slots inside them.
void mark_frame_aliasing(LLVMModuleRef module);

// Reads of a slot take the value the function stored last, through a private copy
// of the frame that the optimiser keeps in registers: objects never move and nothing
// else writes a frame, so the slot itself only needs the stores, for the collector.
// Functions that call setjmp keep their reads.
void forward_slot_values(LLVMModuleRef module);

// Clears each frame slot right after the last use of what it holds (the value stored
// into it, a value loaded from it, or anything computed from those), so a dead local
// stops keeping its objects alive. A slot used again by a later loop iteration stays
// set around the whole loop.
void clear_dead_slots(LLVMModuleRef module);

}  // namespace tesk
