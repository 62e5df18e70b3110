#include "backend/stage_objects.h"

#include <cstdio>
#include <vector>

#include "backend/linker.h"
#include "backend/llvm_object.h"
#include "backend/object_files.h"
#include "driver/errors.h"
#include "ir/context.h"
#include "ir/unit_ir.h"
#include "source/records.h"
#include "util/fs.h"

namespace tesk {

namespace {

std::string seconds_since(u64 start_us) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(now_us() - start_us) / 1e6);
  return buf;
}

}  // namespace

size_t make_object_files(Build* b, const UnitIrSource& ir_of) {
  init_llvm_targets();
  std::vector<StackThread> threads;
  try {
    for (Unit* unit : b->units) {
      if (!unit->used) continue;
      StackThread t = generate_object_file(unit, ir_of(unit));
      if (t.joinable()) threads.push_back(std::move(t));
    }
  } catch (...) {
    // A build error on the main thread must not leave threads running (or destroy
    // joinable ones): let them finish first.
    for (StackThread& t : threads) t.join();
    throw;
  }
  for (size_t i = 0; i < threads.size(); i++) {
    if (b->verbose >= 3) {
      backend_print("> Waiting for Thread: " + std::to_string(i) + "/" + std::to_string(threads.size()));
      std::fflush(stdout);
    }
    threads[i].join();
  }
  for (const BuildMessage& m : b->messages) {
    if (m.type == MSG_WARNING) continue;
    std::string text = m.message;
    b->messages.clear();
    build_error(b, text);
  }
  return threads.size();
}

void objects_and_link(Build* b, const UnitIrSource& ir_of) {
  u64 t1 = now_us();
  make_object_files(b, ir_of);
  if (b->verbose >= 1) log_line("⌚️", "LLVM: Convert IR -> object files: " + seconds_since(t1) + "s");
  u64 t2 = now_us();
  link_executable(b);
  if (b->verbose >= 1) log_line("⌚️", "Linker: " + seconds_since(t2) + "s");
}

void stage_objects_and_link(Build* b) {
  objects_and_link(b, [](Unit* unit) {
    IrUnit* u = get_unit_ir(unit);
    std::string text = unit_ir_text(u);
    // The unit's text holds them all now; the LLVM work ahead needs the memory.
    release_function_texts(u);
    return text;
  });
}

}  // namespace tesk
