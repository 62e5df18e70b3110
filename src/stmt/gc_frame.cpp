// The GC frame of a function: slots for its GC-tracked locals, the stable-stack block
// of its @stableRef locals, and the statements that build and pop the frame. The frame
// is made of ordinary statements so IR generation needs no special case for it.
#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/values.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "stmt/ast.h"
#include "stmt/stage3.h"
#include "stmt/statements.h"

namespace tesk {

namespace {

AstNode* node(Build* b, u64 kind) {
  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = kind;
  return n;
}

void add_comment(Scope* s, std::string_view text) {
  AstNode* n = node(s->build, AST_COMMENT);
  n->text = std::string(text);
  s->ast.push_back(n);
}

void add_value(Scope* s, Value* v) {
  AstNode* n = node(s->build, AST_VALUE);
  n->value = v;
  s->ast.push_back(n);
}

u64 round_up(u64 n, u64 p) { return (n + p - 1) / p * p; }

}  // namespace

SizeClass size_class(Build* b, u64 bytes) {
  const u64 p = b->ptr_size;
  SizeClass r;
  if (bytes == 0) {
    r.item_size = p;  // nothing to hold: the smallest class
    return r;
  }
  if (bytes <= 16 * p) {
    u64 q = bytes / p;
    r.index = bytes % p == 0 ? q - 1 : q;
    // A size that is not a multiple of P belongs to the class above; its items must
    // hold the whole size.
    r.item_size = (r.index + 1) * p;
    return r;
  }
  r.index = 16;
  r.item_size = 32 * p;
  while (r.item_size < bytes) {
    r.item_size *= 2;
    r.index++;
  }
  return r;
}

void layout_gc_slots(Func* func) {
  Build* b = func->build;
  FuncAst* ast = func->get_ast();
  const u64 p = b->ptr_size;
  u64 slot_bytes = 0, slot_count = 0, stable_bytes = 0;
  ast->gc_decls.clear();
  ast->stable_stack_decl = nullptr;
  for (Decl* d : ast->scope->decls) {
    if (d->is_gc && !func->reduced) {
      if (!d->is_arg || d->in_memory) {
        d->offset = slot_bytes;
        slot_bytes += p;
        slot_count++;
        ast->gc_decls.push_back(d);
      }
      continue;
    }
    if (d->stable) {
      d->offset = stable_bytes;
      stable_bytes += round_up(d->type->size(), p);
    }
    if (d->in_memory) ast->gc_decls.push_back(d);
  }
  if (stable_bytes != 0) {
    Decl* d = new_decl(runtime_class_type(b, "gc", "GcPtr"), false, "tesk_stable_stack");
    d->ir_name = "%tesk_stable_stack";
    d->offset = slot_bytes;
    slot_bytes += p;
    slot_count++;
    ast->gc_decls.push_back(d);
    ast->stable_stack_decl = d;
  }
  ast->gc_slot_count = slot_count;
  ast->slot_bytes = slot_bytes;
  ast->stable_bytes = stable_bytes;
  func->has_gc_slots = slot_count != 0;
}

void insert_gc_frame(Func* func) {
  Build* b = func->build;
  FuncAst* ast = func->get_ast();
  Scope* pro = ast->prologue;
  ParseContext* ctx = context_for_func(func);

  if (!func->entrance) {
    AstNode* n = node(b, AST_SCOPE);
    n->scope = pro;
    ast->scope->ast.insert(ast->scope->ast.begin(), n);
  }

  Global* sp = runtime_global(b, "coro", "gc_stack_sp");
  context_note_global(ctx, sp);
  Value* old = value_global(sp);
  Type* uint_t = core_type(b, "uint");
  Type* ptr_t = core_type(b, "ptr");

  ast->stable_alloc = nullptr;
  if (ast->stable_bytes != 0) {
    add_comment(pro, "STABLE STACK");
    Func* get = runtime_class_func(b, "gc", "Pool", "get");
    context_note_func(ctx, get);
    Global* pools = runtime_global(b, "gc", "pools");
    context_note_global(ctx, pools);
    SizeClass sc = size_class(b, ast->stable_bytes);
    Value* pool = value_ptrv(value_reference(ctx, value_global(pools), 0), ptr_t, value_int(sc.index, uint_t));
    Value* call = value_function_call(b, pro, value_func(get), {pool});
    add_value(pro, call);
    ast->stable_alloc = call;
  }

  ast->slot_base = nullptr;
  if (ast->gc_slot_count != 0) {
    add_comment(pro, "INCREASE GC STACK");
    add_value(pro, old);
    Value* frame = value_stack_alloc(b, ast->slot_bytes + 16);
    store_value(ctx, pro, old, frame, 0, nullptr);
    store_value(ctx, pro, value_ptrv(frame, ptr_t, value_int(0, uint_t)), old, 0, nullptr);
    store_value(ctx, pro, value_ptrv(frame, uint_t, value_int(1, uint_t)), value_int(ast->gc_slot_count, uint_t), 0,
                nullptr);
    Value* slots = value_ptr_offset(frame, value_int(16, uint_t), core_type(b, "u8"));
    AstNode* zero = node(b, AST_ZERO_MEMORY);
    zero->value = slots;
    zero->number = ast->slot_bytes;
    pro->ast.push_back(zero);
    add_value(pro, slots);
    ast->slot_base = slots;
  }

  if (!ast->gc_decls.empty()) {
    add_comment(pro, "INIT LOCAL VARIABLES");
    for (Decl* d : ast->gc_decls) {
      AstNode* n = node(b, AST_DECL_OFFSET);
      n->decl = d;
      pro->ast.push_back(n);
    }
    add_comment(pro, "END LOCAL VARIABLES");
  }

  if (ast->stable_stack_decl && ast->stable_alloc) {
    AstNode* n = node(b, AST_ASSIGN);
    n->value = value_decl(ast->stable_stack_decl);  // marks it used
    n->value2 = ast->stable_alloc;
    pro->ast.push_back(n);
  }

  if (!func->entrance && ast->gc_slot_count != 0) {
    add_comment(ast->epilogue, "REDUCE GC STACK");
    AstNode* n = node(b, AST_ASSIGN);
    n->value = old;
    n->value2 = old;
    ast->epilogue->ast.push_back(n);
  }
}

}  // namespace tesk
