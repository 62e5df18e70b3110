// Allocator pools of class instances.
#include "model/alloc_pools.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "model/funcs.h"
#include "model/hooks.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "source/records.h"

namespace tesk {

u64 pool_item_size(u64 size, u64 ptr_size) {
  if (16 * ptr_size >= size) {
    // Rounded up: a size that is no multiple of the pointer size must not get a
    // smaller item than the value needs.
    return size + (ptr_size - size % ptr_size) % ptr_size;
  }
  u64 item = 32 * ptr_size;
  while (item < size) item *= 2;
  return item;
}

std::string pool_name(u64 item_size, Func* props_func, Func* free_func) {
  std::string n = "ALC_" + std::to_string(item_size) + "__";
  n += props_func ? props_func->export_name : std::string("null");
  n += "__";
  n += free_func ? free_func->export_name : std::string("null");
  return n;
}

AllocatorPool* allocator_global(ParseContext* ctx, Type* type) {
  Build* b = ctx->build;
  Type* item = type;
  if ((type->kind == TYPE_POINTER || type->kind == TYPE_RAW_POINTER || type->kind == TYPE_REFERENCE) && type->sub) {
    item = type->get_pointed();
  }
  // Every object literal asks: a class remembers its pool.
  if (item->kind == TYPE_CLASS && item->class_ && item->class_->alloc_pool) {
    context_note_class(ctx, item->class_);
    context_note_pool(ctx, item->class_->alloc_pool);
    return item->class_->alloc_pool;
  }
  u64 size = item->size();
  if (size == 0) error_at(ctx, "Unknown type size: " + item->to_text());
  u64 item_size = pool_item_size(size, b->ptr_size);

  Func* props_func = nullptr;
  Func* free_func = nullptr;
  if (item->kind == TYPE_CLASS && item->class_) {
    Class* cls = item->class_;
    props_func = class_props_function(cls);
    free_func = cls->get_function("gc_free");
    context_note_class(ctx, cls);
  }

  std::string name = pool_name(item_size, props_func, free_func);
  AllocatorPool* pool;
  if (AllocatorPool** found = b->alloc_pools.find(name)) {
    pool = *found;
  } else {
    Func* get = runtime_class_func(b, "gc", "Pool", "get");
    Global* g = new_global(get->unit, get->file, ACCESS_DEFAULT, name, name, name, nullptr, nullptr, false);
    g->type = runtime_class_type(b, "gc", "Pool");
    pool = b->make<AllocatorPool>();
    pool->build = b;
    pool->global = g;
    pool->item_size = item_size;
    pool->props_func = props_func;
    pool->free_func = free_func;
    b->alloc_pools.set(name, pool);
  }
  if (item->kind == TYPE_CLASS && item->class_) item->class_->alloc_pool = pool;
  context_note_pool(ctx, pool);
  return pool;
}

}  // namespace tesk
