#include "backend/object_files.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "backend/llvm_object.h"
#include "driver/errors.h"
#include "source/records.h"
#include "util/fs.h"

namespace tesk {

namespace {
std::recursive_mutex g_lock;
}  // namespace

void global_lock() { g_lock.lock(); }
void global_unlock() { g_lock.unlock(); }

void object_file_thread(const ObjectTask& task) {
  mark_object_thread(task.messages, &task.object_path);
  auto err = compile_ir_text(task.ir_text, task.ir_path, task.prev_ir_path, task.object_path, task.target,
                             task.optimise, task.store_dir, task.store_read);
  if (!err) return;
  global_lock();
  task.messages->push_back(BuildMessage{MSG_ERROR, std::move(*err)});
  global_unlock();
}

namespace {

// An object from an earlier build serves again only when it is whole next to the
// stamp of the same IR: a missing or empty .o is made again, also without --clean.
bool object_reusable(const Unit* unit, std::string_view ir_text) {
  std::optional<u64> size = file_size(unit->o_path);
  return size && *size > 0 && file_equals(unit->prev_ir_path, ir_text);
}

}  // namespace

StackThread generate_object_file(Unit* unit, std::string ir_text) {
  Build* b = unit->build;
  // Idempotent; done here on the main thread so it is complete before the thread starts.
  init_llvm_targets();

  bool ir_only = b->mode == BUILD_IR;
  if (!ir_only && !b->clean && object_reusable(unit, ir_text)) return StackThread();
  if (!write_file(unit->ir_path, ir_text)) build_error(b, "Failed to write IR to file: " + unit->ir_path);
  if (ir_only) {
    write_ir_output(b, unit, ir_text);
    return StackThread();
  }
  if (b->verbose >= 3) backend_print("> Stage 3.4: Generating object file: " + unit->o_path);
  // The thread takes the text itself: LLVM parses it in place, and it becomes the stamp.
  const char* store = std::getenv("TESK_OBJECT_STORE");
  ObjectTask task{std::move(ir_text), unit->ir_path, unit->prev_ir_path, unit->o_path,       b->target,
                  b->optimise != 0,   store ? store : "", b->clean == 0,        &b->messages};
  StackThread thread;
  if (!thread.start(kObjectThreadStackBytes, [task = std::move(task)] { object_file_thread(task); })) {
    build_error(b, "Failed to create new thread");
  }
  return thread;
}

}  // namespace tesk
