#pragma once
// Function bodies over the class tests' build (runtime fixture read by the real loaders
// and Stage 1) with the runtime items the GC frame, the visit functions and the tests
// name: coro:gc_stack_sp, gc:Pool.get, gc:pools, gc:Lifo, core:TestEntry and
// core:TestResults. Stage 2.2 to 2.4 run over everything.
#include <gtest/gtest.h>

#include <string>

#include "../classes/fixture.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "lower/generated.h"
#include "model/runtime.h"
#include "model/signatures.h"
#include "model/types.h"
#include "source/parser.h"
#include "stmt/ast.h"
#include "stmt/stage3.h"

namespace tesk::s3test {

using typetest::Outcome;
using typetest::run;

inline const char* kGcRuntime =
    "global pools: [ptr x 64]\n"
    "class Pool {\n"
    "    fn get() ptr {\n"
    "        return null\n"
    "    }\n"
    "}\n"
    "class Lifo {\n"
    "}\n";

inline const char* kTestRuntime =
    "class TestEntry {\n"
    "    static fn init(name: String, path: String, line: uint) ?TestEntry {\n"
    "        return null\n"
    "    }\n"
    "    fn assert_test(ok: bool, text: String, path: String, line: uint) {\n"
    "    }\n"
    "    static fn assert_panic(ok: bool, text: String, path: String, line: uint) {\n"
    "    }\n"
    "}\n"
    "class TestResults {\n"
    "    fn submit_entry(entry: TestEntry) {\n"
    "    }\n"
    "}\n";

struct World : classtest::World {
  Outcome setup;

  // with_sp: whether coro:gc_stack_sp exists.
  explicit World(std::initializer_list<std::string> main_decls, bool with_sp = true)
      : classtest::World(main_decls) {
    Namespace* coro = new_namespace(b->tesk_package, "coro", typetest::kRuntimeDir + "/coro", unit);
    b->tesk_package->namespaces.set("coro", coro);
    file(with_sp ? "global gc_stack_sp: ptr\n" : "global other_sp: ptr\n", coro);
    file(kGcRuntime, gc_ns);
    file(kTestRuntime, b->tesk_package->namespaces["core"]);
    // `use tesk:gc` reaches the real runtime, whose C bindings name f32.
    file("float f32 4 {}\n", b->tesk_package->namespaces["type"]);
    scan_queue();
    b->generated_unit = unit;
    setup = run([this] {
      for (size_t i = 0; i < b->extends.size(); i++) read_extend(b, b->extends[i]);
      read_all_class_bodies(b);
      determine_class_sizes(b);
      for (Unit* u : b->units)
        for (size_t i = 0; i < u->funcs.size(); i++) read_function_types(u->funcs[i]);
      for (Global* g : b->globals) read_global_type(g);
    });
    EXPECT_FALSE(setup.failed) << setup.out;
  }

  Func* fn(std::string_view n) {
    Identifier* id = name(n);
    EXPECT_TRUE(id && id->func) << n;
    return id ? id->func : nullptr;
  }
  Type* core(std::string_view n) { return core_type(b, n); }
  // A local of the function's body scope, listed as Stage 3.1 lists them.
  Decl* local(Func* f, std::string_view n, Type* t) {
    Decl* d = new_decl(t, false, n);
    f->get_ast()->scope->add_decl(d);
    return d;
  }
};

inline std::string kinds(const std::vector<AstNode*>& list) {
  std::string r;
  for (AstNode* n : list) {
    if (!r.empty()) r += ' ';
    r += n->kind == AST_COMMENT ? "#" + n->text : std::to_string(n->kind);
  }
  return r;
}

}  // namespace tesk::s3test
