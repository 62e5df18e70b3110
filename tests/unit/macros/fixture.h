#pragma once
// Macro uses and compile-time loops inside the body of the value tests' probe function:
// the program is read by the real loaders, Stage 1 and Stage 2; texts are read by the
// value reader or the statement reader in the probe's body scope.
#include <gtest/gtest.h>

#include <string>

#include "../expr_values/fixture.h"
#include "model/scope.h"
#include "source/macro.h"
#include "source/compile_macro_parse.h"
#include "stmt/statements.h"

namespace tesk::macrotest {

using typetest::Outcome;
using typetest::run;

struct World : valtest::World {
  using valtest::World::World;

  Macro* macro(std::string_view n) {
    Identifier* id = name(n);
    return id ? id->macro : nullptr;
  }

  // The block scope the last `statements` call read into.
  Scope* block = nullptr;

  // Statements read into a new block scope of the probe's body, as in a "{ }" block of
  // a function body (the body scope itself ends with the function's return).
  Outcome statements(const std::string& text) {
    Parser* p = parser(text + "\n}\n");
    block = new_scope(body, SCOPE_BLOCK);
    return run([&] { read_statements(p, block, 0); });
  }
};

// The lines of printed output that start with the prefix, without it and without the
// "(File: ...)" tail that #print_type adds.
inline std::string printed(const std::string& out, const std::string& prefix = "# Print type: ") {
  std::string r;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(at, end - at);
    at = end + 1;
    if (line.rfind(prefix, 0) != 0) continue;
    line = line.substr(prefix.size());
    size_t tail = line.find(" (File: ");
    if (tail != std::string::npos) line = line.substr(0, tail);
    if (!r.empty()) r += " | ";
    r += line;
  }
  return r;
}

}  // namespace tesk::macrotest
