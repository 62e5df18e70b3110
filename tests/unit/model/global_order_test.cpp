// Start-up order of the globals' defaults and the globals that pointer-called code
// checks: the graph of what defaults name, through functions, recursion and the
// functions that are not followed.
#include "model/global_order.h"

#include <map>
#include <sstream>

#include "world.h"

namespace tesk::test {
namespace {

// A program told in short: globals in declaration order, each "name" (no default) or
// "name=what its default names", functions "name:what its body names"; names are
// separated by commas, a name that is a function is called, any other is a global.
struct Program {
  std::vector<std::string> globals;
  std::vector<std::string> funcs;
  std::vector<std::string> loop_funcs;  // `#loop globals` functions
};

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, sep))
    if (!item.empty()) out.push_back(item);
  return out;
}

struct Built {
  std::vector<Global*> list;
  std::map<std::string, Global*> globals;
  std::map<std::string, Func*> funcs;
};

Built build(World& w, const Program& prog) {
  Built r;
  std::map<std::string, std::string> uses;
  for (const std::string& f : prog.funcs) {
    size_t colon = f.find(':');
    std::string name = f.substr(0, colon);
    r.funcs[name] = w.func(name);
    uses[name] = colon == std::string::npos ? "" : f.substr(colon + 1);
  }
  std::map<std::string, std::string> defaults;
  for (const std::string& g : prog.globals) {
    size_t eq = g.find('=');
    std::string name = g.substr(0, eq);
    Chunk* chunk = eq == std::string::npos ? nullptr : new_chunk(w.b, w.main_file, "0)");
    Global* glob = new_global(w.unit, w.main_file, 292, name, name, name, nullptr, chunk, false);
    glob->used = 1;
    r.globals[name] = glob;
    r.list.push_back(glob);
    if (chunk) defaults[name] = g.substr(eq + 1);
  }
  auto fill = [&](const std::string& what, std::vector<Func*>& calls, std::vector<Global*>& reads) {
    for (const std::string& n : split(what, ',')) {
      if (r.funcs.contains(n)) {
        calls.push_back(r.funcs[n]);
      } else {
        reads.push_back(r.globals.at(n));
      }
    }
  };
  for (auto& [name, what] : uses) fill(what, r.funcs[name]->called, r.funcs[name]->used_globals);
  for (auto& [name, what] : defaults) fill(what, r.globals[name]->default_calls, r.globals[name]->default_reads);
  for (const std::string& n : prog.loop_funcs) w.b->loop_globals_funcs.push_back(r.funcs.at(n));
  return r;
}

std::string order_text(Built& r) {
  std::vector<Global*> list = r.list;
  order_global_defaults(list);
  std::string out;
  for (Global* g : list) out += (out.empty() ? "" : " ") + g->name;
  return out;
}

TEST(GlobalOrder, DefaultsRunAfterWhatTheyUse) {
  struct Case {
    const char* what;
    Program prog;
    const char* order;
  } cases[] = {
      {"nothing depends: declaration order", {{"a=", "b=", "c"}, {}, {}}, "a b c"},
      {"a direct read of a later global", {{"a=c", "b=", "c="}, {}, {}}, "b c a"},
      {"through calls", {{"a=f", "b=", "c="}, {"f:g", "g:c"}, {}}, "b c a"},
      {"through recursion", {{"a=f", "b=", "c="}, {"f:g", "g:f,c"}, {}}, "b c a"},
      {"a function reference counts like a call", {{"x=run,get", "s="}, {"run:", "get:s"}, {}}, "s x"},
      {"a global without default sets no order", {{"a=n", "n", "b="}, {}, {}}, "a n b"},
      {"the earliest ready first", {{"a=b,c", "b=d", "c=d", "d="}, {}, {}}, "d b c a"},
      {"one function shared by two defaults", {{"a=f", "b=f", "c="}, {"f:c"}, {}}, "c a b"},
      {"a chain declared backwards", {{"a=b", "b=c", "c=d", "d="}, {}, {}}, "d c b a"},
      {"a #loop globals function is not followed", {{"a=init", "b=", "c="}, {"init:c,a"}, {"init"}}, "a b c"},
      {"past a #loop globals function, nothing", {{"a=f", "c="}, {"f:init", "init:g", "g:c"}, {"init"}}, "a c"},
  };
  for (const Case& c : cases) {
    World w;
    Built r = build(w, c.prog);
    // Worked out after a pass, then applied at the start of the next one.
    settle_global_defaults(w.b, r.list);
    EXPECT_EQ(order_text(r), c.order) << c.what;
  }
}

// Defaults that wait for each other: the error names the globals of one cycle, from
// the one declared first, through the functions between them.
TEST(GlobalOrder, CyclesAreNamed) {
  struct Case {
    Program prog;
    const char* error;
  } cases[] = {
      {{{"a=b", "b=a"}, {}, {}}, "a -> b -> a"},
      {{{"x=x"}, {}, {}}, "x -> x"},
      {{{"first=", "a=f", "b=", "c=g"}, {"f:h", "h:f,c", "g:a"}, {}}, "a -> c -> a"},
      // `w` waits for the cycle without being part of it.
      {{{"w=b", "b=c", "c=d", "d=b"}, {}, {}}, "b -> c -> d -> b"},
  };
  for (const Case& c : cases) {
    World w;
    Built r = build(w, c.prog);
    testing::internal::CaptureStdout();
    bool failed = false;
    try {
      settle_global_defaults(w.b, r.list);
    } catch (const ParseFailure&) {
      failed = true;
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(failed) << c.error;
    EXPECT_NE(out.find(std::string("# Error: Cycle in the default values of globals: ") + c.error + "\n"),
              std::string::npos)
        << out;
  }
}

// The order is applied only once it covers every global in use: a global that came into
// use later keeps the list in declaration order until the order is worked out again.
TEST(GlobalOrder, AppliedOnlyWhenItCoversTheList) {
  World w;
  Built r = build(w, {{"a=c", "b=", "c="}, {}, {}});
  std::vector<Global*> first(r.list.begin(), r.list.end());
  settle_global_defaults(w.b, first);
  Global* d = new_global(w.unit, w.main_file, 292, "d", "d", "d", nullptr, nullptr, false);
  std::vector<Global*> more = r.list;
  more.push_back(d);
  order_global_defaults(more);
  EXPECT_EQ(more, (std::vector<Global*>{r.globals["a"], r.globals["b"], r.globals["c"], d}));
  // While more globals come into use nothing is worked out.
  w.b->new_global_used = 1;
  d->used = 1;
  EXPECT_TRUE(settle_global_defaults(w.b, more).empty());
  EXPECT_EQ(d->start_rank, 0u);
}

// Settling asks for the `#loop globals` functions to be read again only when the order
// they were read in is not the order worked out.
TEST(GlobalOrder, LoopFunctionsReadAgainWhenTheOrderChanges) {
  World w;
  Built r = build(w, {{"a=c", "b=", "c="}, {"init:"}, {"init"}});
  Func* init = r.funcs["init"];
  init->used = 1;
  std::vector<Func*> stale = settle_global_defaults(w.b, r.list);
  EXPECT_EQ(stale, std::vector<Func*>{init});
  std::vector<Global*> next = r.list;
  order_global_defaults(next);
  EXPECT_TRUE(settle_global_defaults(w.b, next).empty());
}

// Finalisers and visit functions are called by the collector whichever default runs:
// the defaulted globals they (or what they call) use are numbered in start-up order,
// and those functions check them; the rest is left alone.
TEST(GlobalOrder, PointerCalledCodeChecksDefaultedGlobals) {
  World w;
  Built r = build(w,
                  {{"late=", "plain", "early=", "other="},
                   {"fin:late,plain,helper", "helper:early", "visit:", "unrelated:other", "init:"},
                   {"init"}});
  AllocatorPool* pool = w.b->make<AllocatorPool>();
  pool->used = 1;
  pool->free_func = r.funcs["fin"];
  pool->props_func = r.funcs["visit"];
  w.b->alloc_pools.set("pool", pool);
  std::vector<Func*> stale = settle_global_defaults(w.b, r.list);
  EXPECT_EQ(r.globals["late"]->ready_step, 1u);
  EXPECT_EQ(r.globals["plain"]->ready_step, 0u);
  EXPECT_EQ(r.globals["early"]->ready_step, 2u);
  EXPECT_EQ(r.globals["other"]->ready_step, 0u);
  EXPECT_TRUE(r.funcs["fin"]->checks_globals);
  EXPECT_TRUE(r.funcs["helper"]->checks_globals);
  EXPECT_FALSE(r.funcs["visit"]->checks_globals);
  EXPECT_FALSE(r.funcs["unrelated"]->checks_globals);
  auto has = [&](Func* f) { return std::find(stale.begin(), stale.end(), f) != stale.end(); };
  EXPECT_TRUE(has(r.funcs["fin"]));
  EXPECT_TRUE(has(r.funcs["helper"]));
  EXPECT_TRUE(has(r.funcs["init"]));
  EXPECT_FALSE(has(r.funcs["unrelated"]));
  // Nothing changed: nothing to read again.
  EXPECT_TRUE(settle_global_defaults(w.b, r.list).empty());
}

}  // namespace
}  // namespace tesk::test
