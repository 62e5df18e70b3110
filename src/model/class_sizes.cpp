// Stage 2.3: class sizes. A class holding other classes' values inline can only be
// sized after them, so the stage passes over all classes until none is left.
#include "model/class_sizes.h"

#include <cstdio>
#include <string>

#include "driver/build.h"
#include "driver/build_driver.h"
#include "driver/errors.h"
#include "driver/stages.h"
#include "model/classes.h"
#include "source/records.h"

namespace tesk {

namespace {

// Classes of all units that have no size yet.
size_t count_unsized(Build* b) {
  size_t n = 0;
  for (Unit* unit : b->units)
    for (Class* c : unit->classes)
      if (!c->sized) n++;
  return n;
}

}  // namespace

void determine_class_sizes(Build* b) {
  log_detail(b, "> Stage 2.3: Determine class sizes");
  // Progress is measured by what is left rather than by what a pass sized: sizing a
  // mode sizes its base on the way, which the pass would not count.
  size_t left = count_unsized(b);
  while (left > 0) {
    for (size_t u = 0; u < b->units.size(); u++) {
      Unit* unit = b->units[u];
      for (size_t i = 0; i < unit->classes.size(); i++) {
        Class* c = unit->classes[i];
        if (!c->sized) c->determine_size();
      }
    }
    size_t now = count_unsized(b);
    if (now >= left) {
      // The list would corrupt the protocol stream of the language server.
      if (!b->lsp) {
        std::string line = "Classes: ";
        for (Unit* unit : b->units)
          for (Class* c : unit->classes)
            if (!c->sized) {
              line += c->display_name;
              line += ' ';
            }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
      }
      build_error(b, "Cannot determine the size of all classes. Reason: recursive property inline type dependencies.");
    }
    left = now;
  }
}

void stage_class_sizes(Build* b) {
  determine_class_sizes(b);
  b->sizes_done = 1;
  check_pending_inline_types(b);
  stage_read_types(b);
}

}  // namespace tesk
