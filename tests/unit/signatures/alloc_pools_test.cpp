// Allocator pools: item sizes, names, one pool and global per name, the functions and
// classes they note, and what marking a function used does to them. Values that
// allocate do not exist yet, so allocator_global is called as they will call it.
#include <gtest/gtest.h>

#include <algorithm>

#include "fixture.h"
#include "model/scope.h"

namespace tesk::sigtest {
namespace {

const char* kPoolDecls =
    "struct Pair {\n}\n"
    "class Node {\n}\n"
    "class Big {\n}\n"
    "class Huge {\n}\n"
    "class Empty {\n}\n"
    "fn first() {\n}\n"
    "fn second() {\n}\n";

Type* type_of(SigWorld& w, const std::string& text) {
  typetest::Read r = typetest::read_text(w, text);
  EXPECT_FALSE(r.outcome.failed) << r.outcome.out;
  return r.type;
}

struct PoolWorld : SigWorld {
  PoolWorld() : SigWorld({kPoolDecls}) {
    cls("Pair")->size = 16;
    cls("Node")->size = 16;
    cls("Big")->size = 200;
    cls("Huge")->size = 600;
  }
  ParseContext* ctx(Func* f) {
    ParseContext* c = b->make<ParseContext>();
    c->build = b;
    c->unit = unit;
    c->func = f;
    return c;
  }
  AllocatorPool* pool(Func* f, std::string_view class_name) {
    return allocator_global(ctx(f), cls(class_name)->get_type());
  }
};

TEST(AllocPools, ItemSizes) {
  struct Case {
    u64 size, item;
  };
  const Case cases[] = {{8, 8},     {16, 16},   {128, 128},  {136, 256}, {200, 256},
                        {256, 256}, {264, 512}, {600, 1024}, {1024, 1024}};
  for (const Case& c : cases) EXPECT_EQ(pool_item_size(c.size, 8), c.item) << c.size;
  // A size that is no multiple of the pointer size never gets a smaller item.
  EXPECT_EQ(pool_item_size(4, 8), 8u);
  EXPECT_EQ(pool_item_size(20, 8), 24u);
}

TEST(AllocPools, NamesAndGlobals) {
  PoolWorld w;
  Func* first = w.fn("first");
  Class* node = w.cls("Node");
  Func* props = w.class_func(node, "fn _props() {\n}\n");
  Func* gc_free = w.class_func(node, "fn gc_free() {\n}\n");

  AllocatorPool* pair = w.pool(first, "Pair");
  AllocatorPool* nodes = w.pool(first, "Node");
  AllocatorPool* big = w.pool(first, "Big");
  AllocatorPool* huge = w.pool(first, "Huge");

  EXPECT_EQ(pair->global->name, "ALC_16__null__null");
  EXPECT_EQ(nodes->global->name, "ALC_16__Node___props__Node__gc_free");
  EXPECT_EQ(big->global->name, "ALC_256__null__null");
  EXPECT_EQ(huge->global->name, "ALC_1024__null__null");
  EXPECT_EQ(nodes->props_func, props);
  EXPECT_EQ(nodes->free_func, gc_free);
  EXPECT_EQ(nodes->item_size, 16u);
  EXPECT_EQ(huge->item_size, 1024u);
  EXPECT_EQ(pair->props_func, nullptr);

  // The pool's global: a thread-local gc:Pool in the unit and file of Pool.get.
  Global* g = nodes->global;
  EXPECT_EQ(g->export_name, g->name);
  EXPECT_EQ(g->display_name, g->name);
  EXPECT_EQ(g->ir_name, "@" + g->name);
  EXPECT_EQ(g->access, 289u);
  EXPECT_EQ(g->shared, 0);
  EXPECT_EQ(g->type, w.pool_class->get_type());
  EXPECT_EQ(g->unit, w.pool_get->unit);
  EXPECT_EQ(g->file, w.pool_get->file);
  EXPECT_EQ(*w.b->alloc_pools.find(g->name), nodes);
  EXPECT_EQ(w.b->alloc_pools.size(), 4u);
  EXPECT_EQ(std::count(w.b->globals.begin(), w.b->globals.end(), g), 1);
  EXPECT_EQ(std::count(w.pool_get->unit->globals.begin(), w.pool_get->unit->globals.end(), g), 1);

  // Classes are noted as used by the function; structs are not.
  std::vector<std::string> used;
  for (Class* c : first->used_classes) used.push_back(c->name);
  EXPECT_EQ(used, (std::vector<std::string>{"Node", "Big", "Huge"}));
  EXPECT_EQ(first->used_pools.size(), 4u);
}

TEST(AllocPools, SharedAcrossFunctions) {
  PoolWorld w;
  Func* first = w.fn("first");
  Func* second = w.fn("second");
  size_t globals_before = w.b->globals.size();
  AllocatorPool* a = w.pool(first, "Node");
  AllocatorPool* again = w.pool(first, "Node");
  AllocatorPool* b = w.pool(second, "Node");
  // A struct of the same size and without GC functions shares the Node pool too.
  AllocatorPool* pair = w.pool(second, "Pair");
  EXPECT_EQ(a, again);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, pair);
  EXPECT_EQ(a->global, b->global);
  EXPECT_EQ(w.b->globals.size(), globals_before + 1);
  EXPECT_EQ(first->used_pools.size(), 1u);
  EXPECT_EQ(second->used_pools.size(), 1u);
  EXPECT_EQ(first->used_classes.size(), 1u);
}

TEST(AllocPools, ItemTypes) {
  PoolWorld w;
  Func* first = w.fn("first");
  Type* pair = w.cls("Pair")->get_type();
  // The pointed-at value, an array of it for a count of 2 or more, or the Type itself.
  AllocatorPool* two = allocator_global(w.ctx(first), type_of(w, "*[<Pair> x 3]"));
  EXPECT_EQ(two->global->name, "ALC_48__null__null");
  AllocatorPool* value = allocator_global(w.ctx(first), pair->get_pointed());
  EXPECT_EQ(value->global->name, "ALC_16__null__null");
  AllocatorPool* ref = allocator_global(w.ctx(first), type_of(w, "&[<Pair>]"));
  EXPECT_EQ(ref, value);
}

TEST(AllocPools, Errors) {
  PoolWorld w;
  Func* first = w.fn("first");
  // A Type of unknown size: a class not sized.
  Outcome empty = run([&] { w.pool(first, "Empty"); });
  EXPECT_EQ(empty.error, "Unknown type size: <Empty>");
  // Through a context with a parser the error is a parse error there.
  Parser* p = w.parser("x");
  p->context->func = first;
  Outcome at = run([&] { allocator_global(p->context, w.cls("Empty")->get_type()); });
  EXPECT_NE(at.out.find("# Parser error"), std::string::npos);
  EXPECT_EQ(at.error, "Unknown type size: <Empty>");

  Outcome no_func_class = run([&] { w.pool(nullptr, "Node"); });
  EXPECT_EQ(no_func_class.error, "Missing function context");
  Outcome no_func_struct = run([&] { w.pool(nullptr, "Pair"); });
  EXPECT_EQ(no_func_struct.error, "Missing function context");
  EXPECT_TRUE(first->used_pools.empty());
}

TEST(AllocPools, RuntimePoolClassMissing) {
  struct Case {
    const char* what;
    const char* expected;
  };
  const Case cases[] = {
      {"no gc namespace", "Compiler bug | Missing tesk namespace: gc"},
      {"no Pool", "Compiler bug | Missing tesk identifier: Pool"},
      {"Pool is no class", "Compiler bug | Identifier is not a class"},
      {"no get", "Compiler bug | Missing tesk class function: get"},
  };
  for (const Case& c : cases) {
    PoolWorld w;
    std::string what = c.what;
    if (what == "no gc namespace") w.b->tesk_package->namespaces.erase("gc");
    if (what == "no Pool") w.gc_ns->scope->identifiers.erase("Pool");
    if (what == "Pool is no class") (*w.gc_ns->scope->identifiers.find("Pool"))->class_ = nullptr;
    if (what == "no get") w.pool_class->funcs.erase("get");
    Outcome o = run([&] { w.pool(w.fn("first"), "Node"); });
    EXPECT_TRUE(o.failed) << c.what;
    EXPECT_EQ(o.error, c.expected) << c.what;
    EXPECT_EQ(w.b->alloc_pools.size(), 0u) << c.what;
  }
}

TEST(AllocPools, UseMarking) {
  PoolWorld w;
  Func* first = w.fn("first");
  Func* second = w.fn("second");
  Class* node = w.cls("Node");
  Func* props = w.class_func(node, "fn _props() {\n}\n");
  Func* gc_free = w.class_func(node, "fn gc_free() {\n}\n");
  AllocatorPool* pool = w.pool(first, "Node");
  w.pool(second, "Node");
  EXPECT_EQ(pool->used, 0);
  EXPECT_EQ(pool->pending, 0);
  EXPECT_EQ(w.b->new_pool_used, 0);

  first->mark_used();
  EXPECT_EQ(pool->used, 1);
  EXPECT_EQ(pool->pending, 1);
  EXPECT_EQ(w.b->new_pool_used, 1);
  EXPECT_EQ(pool->global->used, 1);
  EXPECT_EQ(props->used, 1);
  EXPECT_EQ(gc_free->used, 1);
  EXPECT_EQ(node->used, 1);

  // A pool collected by the driver (pending cleared) but already used does not count
  // as new again.
  pool->pending = 0;
  w.b->new_pool_used = 0;
  pool->global->used = 0;
  second->mark_used();
  EXPECT_EQ(pool->pending, 1);
  EXPECT_EQ(w.b->new_pool_used, 0);
  EXPECT_EQ(pool->global->used, 1);
}

}  // namespace
}  // namespace tesk::sigtest
