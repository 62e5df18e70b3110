#include "backend/object_files.h"

#include <cstdio>
#include <mutex>
#include <system_error>

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
  mark_object_thread();
  auto err = compile_ir_file(task.ir_path, task.prev_ir_path, task.object_path, task.target, task.optimise);
  if (!err) return;
  global_lock();
  task.messages->push_back(BuildMessage{MSG_ERROR, std::move(*err)});
  global_unlock();
}

std::thread generate_object_file(Unit* unit, std::string_view ir_text) {
  Build* b = unit->build;
  // Idempotent; done here on the main thread so it is complete before the thread starts.
  init_llvm_targets();

  bool ir_only = b->mode == BUILD_IR;
  // The object file serves again only while it still exists: a deleted .o would
  // otherwise stay missing until the IR changed or --clean was given.
  if (!ir_only && !b->clean && file_equals(unit->prev_ir_path, ir_text) && is_file(unit->o_path)) {
    return std::thread();
  }
  if (!write_file(unit->ir_path, ir_text)) build_error(b, "Failed to write IR to file: " + unit->ir_path);
  if (ir_only) {
    write_ir_output(b, unit);
    return std::thread();
  }
  if (b->verbose >= 3) backend_print("> Stage 3.4: Generating object file: " + unit->o_path);
  ObjectTask task{unit->ir_path, unit->prev_ir_path, unit->o_path, b->target, b->optimise != 0, &b->messages};
  try {
    return std::thread([task = std::move(task)] { object_file_thread(task); });
  } catch (const std::system_error&) {
    build_error(b, "Failed to create new thread");
  }
}

}  // namespace tesk
