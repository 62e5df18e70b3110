// `ir_comment("...")` and `@INIT_ALLOCATORS`.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/values.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/statements.h"

namespace tesk {

void read_ir_comment(Parser* p, Scope* scope) {
  next_token(p, false, false);
  if (!(p->kind == TOK_SYMBOL && p->is("(")))
    parse_error(p, "Expected token: '(', instead of: '" + token_text(p) + "'");
  next_token(p, true, true);
  if (p->kind != TOK_STRING)
    parse_error(p, "Expected a string between doubles quotes, found: '" + token_text(p) + "'");
  // Escapes stay as written: the text goes into the IR as it stands.
  std::string_view text = p->token();
  while (!text.empty() && text.front() == '"') text.remove_prefix(1);
  while (!text.empty() && text.back() == '"') text.remove_suffix(1);
  std::string comment(text);
  next_token(p, true, true);
  if (!(p->kind == TOK_SYMBOL && p->is(")")))
    parse_error(p, "Expected token: ')', instead of: '" + token_text(p) + "'");
  append_comment(scope, comment);
}

void read_init_allocators(Parser* p, Scope* scope) {
  ParseContext* ctx = p->context;
  Build* b = scope->build;
  Func* func = context_get_func(ctx);
  bool listed = false;
  for (Func* f : b->init_allocators_funcs) listed = listed || f == func;
  if (!listed) b->init_allocators_funcs.push_back(func);

  for (auto& entry : b->alloc_pools) {
    AllocatorPool* pool = entry.second;
    Func* init = runtime_class_func(b, "gc", "Pool", "init");
    // The IR names every function and global it uses in the unit; note them here so
    // they are declared and marked used with this function.
    context_note_func(ctx, init);
    std::vector<Value*> args;
    args.push_back(value_int(pool->item_size, runtime_class_type(b, "type", "uint")));
    for (Func* f : {pool->props_func, pool->free_func}) {
      if (f) {
        context_note_func(ctx, f);
        args.push_back(value_func(f));
      } else {
        args.push_back(value_null(ptr_type(b)));
      }
    }
    Value* call = value_function_call(b, scope, value_func(init), args);
    Value* target = value_global(pool->global);
    context_note_global(ctx, pool->global);
    store_value(ctx, scope, target, call, 0, p->chunk);
  }
}

}  // namespace tesk
