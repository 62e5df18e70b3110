#pragma once
// Stage 3.4: one unit's IR to its object file, on a thread of its own when it changed.
#include <string>
#include <string_view>
#include <vector>

#include "driver/build.h"
#include "util/stack_thread.h"

namespace tesk {

// Stack of an object-file thread: LLVM's optimiser recurses deeply on large units.
// Reserved address space; only the pages a thread touches cost memory.
constexpr size_t kObjectThreadStackBytes = size_t{512} << 20;

// The process-wide re-entrant lock that guards Build.messages while object-file
// threads run.
void global_lock();
void global_unlock();

// What one object-file thread reads; made before the thread starts, never changed.
struct ObjectTask {
  std::string ir_text;  // the unit's IR, also written to ir_path
  std::string ir_path;
  std::string prev_ir_path;
  std::string object_path;
  Target target;
  bool optimise = true;
  std::string store_dir;    // TESK_OBJECT_STORE, or ""
  bool store_read = true;   // off for --clean: every object is made again
  std::vector<BuildMessage>* messages = nullptr;  // shared: append only under global_lock
};

// Body of one object-file thread: compiles, and records a failure in task->messages.
void object_file_thread(const ObjectTask& task);

// Stage 3.4 for one used unit, given its assembled IR text. Returns a joinable thread
// when the unit is being compiled, or an empty one when its object file is reused or
// the build writes IR only (--ir). A unit is reused only when its text equals its
// -prev.ir file, its .o file still exists and is not empty, and --clean is off.
StackThread generate_object_file(Unit* unit, std::string ir_text);

}  // namespace tesk
