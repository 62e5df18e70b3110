#pragma once
// Class bodies and sizes over the type tests' build (runtime package read from its
// fixture by the real loaders and Stage 1, main-namespace declarations from literal
// texts, namespace "geo" with a class Shape), plus a runtime namespace "gc" holding
// GcPtr, which slices take their data Type from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../types/fixture.h"
#include "driver/build_driver.h"
#include "driver/stage_aliases.h"
#include "driver/stages.h"
#include "model/class_bodies.h"
#include "model/class_sizes.h"
#include "model/runtime.h"
#include "source/units.h"

namespace tesk::classtest {

using typetest::Outcome;
using typetest::run;

struct World : typetest::World {
  Namespace* gc_ns = nullptr;

  explicit World(std::initializer_list<std::string> main_decls) : typetest::World(main_decls) {
    gc_ns = new_namespace(b->tesk_package, "gc", typetest::kRuntimeDir + "/gc", unit);
    b->tesk_package->namespaces.set("gc", gc_ns);
    file("class GcPtr {\n}\n", gc_ns);
    scan_queue();
  }

  // The extend tasks of Stage 2.1, then Stage 2.2 without the stages after it.
  Outcome read_bodies() {
    return run([this] {
      for (size_t i = 0; i < b->extends.size(); i++) {
        Chunk* c = b->extends[i];
        run_stage_task([this, c] { read_extend(b, c); });
      }
      read_all_class_bodies(b);
    });
  }

  // Stage 2.3 without Stage 2.4.
  Outcome sizes() {
    return run([this] { determine_class_sizes(b); });
  }

  Class* must_cls(std::string_view n) {
    Class* c = cls(n);
    EXPECT_NE(c, nullptr) << n;
    return c;
  }
};

// Keys of an ordered map, joined by blanks.
template <typename M>
std::string keys(const M& map) {
  std::string r;
  for (auto& [k, v] : map) {
    if (!r.empty()) r += ' ';
    r += k;
  }
  return r;
}

inline std::string joined(const std::vector<std::string>& list) {
  std::string r;
  for (const std::string& s : list) {
    if (!r.empty()) r += ' ';
    r += s;
  }
  return r;
}

// The first reported error of reading the bodies of a program; "" when none.
inline std::string body_error(std::initializer_list<std::string> texts) {
  World w(texts);
  return w.read_bodies().error;
}

// The text a chunk stands on, up to the end of its line.
inline std::string rest_of_line(const Chunk* c) {
  std::string_view s = c->content.substr(c->index);
  return std::string(s.substr(0, s.find('\n')));
}

}  // namespace tesk::classtest
