#pragma once
// Closures and coroutines over the Stage 3 tests' build, with the runtime items that
// `co`, `await` and closures name: coro:Coro (with a GC list for gc_args),
// coro:await_last, coro:await_coro, coro:current_coro and core:Closure. `probe` is a
// function whose body scope the values are read in.
#include <gtest/gtest.h>

#include <string>

#include "../stage3/fixture.h"
#include "expr/read_value.h"
#include "lower/lowering.h"
#include "model/funcs.h"
#include "model/scope.h"

namespace tesk::lowertest {

using typetest::Outcome;
using typetest::run;

inline const char* kCoroRuntime =
    "global current_coro: ptr\n"
    "class GcList {\n"
    "    n: uint\n"
    "    fn append(item: gc:GcPtr) {\n"
    "    }\n"
    "    fn pop_first() gc:GcPtr !empty {\n"
    "        throw empty\n"
    "    }\n"
    "    fn get(index: uint) gc:GcPtr !not_found {\n"
    "        throw not_found\n"
    "    }\n"
    "}\n"
    "class Coro {\n"
    "    handler: ptr\n"
    "    args: ptr\n"
    "    gc_args: GcList\n"
    "    error_code: u32\n"
    "    error_msg: String\n"
    "    static fn new(handler: ptr, start_func: ptr, args_size: uint) Coro {\n"
    "        return Coro { handler: handler, args: handler, gc_args: GcList { n: 0 }, error_code: 0, error_msg: \"\" }\n"
    "    }\n"
    "    fn complete() {\n"
    "    }\n"
    "}\n"
    "fn await_last() {\n"
    "}\n"
    "fn await_coro(coro: Coro) {\n"
    "}\n";

inline const char* kGcExtra =
    "fn property_update(object: ptr, slot: ptr, value: ptr) {\n"
    "}\n";

inline const char* kClosureRuntime =
    "class Closure {\n"
    "    outer_func: ptr\n"
    "    data: ?gc:GcPtr\n"
    "}\n";

struct World : classtest::World {
  Func* probe = nullptr;
  Scope* body = nullptr;
  Outcome setup;

  // The main declarations must declare `fn probe`.
  explicit World(std::initializer_list<std::string> main_decls) : classtest::World(main_decls) {
    Namespace* coro = new_namespace(b->tesk_package, "coro", typetest::kRuntimeDir + "/coro", unit);
    b->tesk_package->namespaces.set("coro", coro);
    file("global gc_stack_sp: ptr\n", coro);
    // "gc" names the fixture's own namespace (a `use` would load it from disk).
    file(kCoroRuntime, coro)->scope->identifiers.set("gc", new_identifier_namespace(b, gc_ns));
    file(s3test::kGcRuntime, gc_ns);
    file(kGcExtra, gc_ns);
    file(s3test::kTestRuntime, b->tesk_package->namespaces["core"]);
    file(kClosureRuntime, b->tesk_package->namespaces["core"])
        ->scope->identifiers.set("gc", new_identifier_namespace(b, gc_ns));
    scan_queue();
    b->generated_unit = unit;
    setup = run([this] {
      for (size_t i = 0; i < b->extends.size(); i++) read_extend(b, b->extends[i]);
      read_all_class_bodies(b);
      determine_class_sizes(b);
      for (Unit* u : b->units)
        for (size_t i = 0; i < u->funcs.size(); i++) read_function_types(u->funcs[i]);
      for (Global* g : b->globals) read_global_type(g);
      probe = (*main_ns->scope->identifiers.find("probe"))->func;
      body = probe->init_scope()->scope;
    });
    EXPECT_FALSE(setup.failed) << setup.out;
  }

  Func* fn(std::string_view n) {
    Identifier* id = name(n);
    EXPECT_TRUE(id && id->func) << n;
    return id ? id->func : nullptr;
  }
  Type* core(std::string_view n) { return core_type(b, n); }

  // A parser over the text in the probe's context.
  Parser* parser(const std::string& text) {
    Parser* p = new_parser(new_chunk(b, probe->file, b->arena.save(text)), nullptr);
    p->context->unit = probe->unit;
    p->context->func = probe;
    return p;
  }
  // One value read in the probe's body scope.
  Value* read(const std::string& text, Outcome* out) {
    Value* v = nullptr;
    Parser* p = parser(text + "\n");
    *out = run([&] { v = read_value(p, body, PRIO_ALL, 0); });
    return v;
  }
};

}  // namespace tesk::lowertest
