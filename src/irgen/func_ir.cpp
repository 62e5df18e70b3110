#include <memory>

#include "driver/errors.h"
#include "ir/context.h"
#include "ir/types.h"
#include "irgen/irgen.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

namespace {

// Nothing of a function may stay active in the unit once it is written or abandoned:
// the IrFunc is freed here, and a later writer must not reach its blocks.
struct ActiveFuncGuard {
  IrUnit* u;
  ~ActiveFuncGuard() { clear_active_ir_func(u); }
};

}  // namespace

void build_func_ir(Func* func) {
  Build* b = func->build;
  if (b && b->verbose >= 3) log_detail(b, "> Stage 3.3: Building IR for: " + func->display_name);
  IrUnit* u = get_unit_ir(func->unit);
  auto f = std::make_unique<IrFunc>(u, func);
  ActiveFuncGuard guard{u};
  ir_write_func(f.get());
}

void ir_write_func(IrFunc* f) {
  IrUnit* u = f->unit;
  set_active_ir_func(u, f);
  FuncAst* ast = f->func->get_ast();
  if (!ast->scope) build_error(f->func->build, "Missing function AST object (bug)");
  ir_statements(u, ast->scope->ast);
  f->func->ir_text = ir_join_blocks(f);
}

std::string ir_join_blocks(IrFunc* f) {
  TextWriter head(1024);
  ir_func_header(head, f->func, false, false);
  // Sized once, so the blocks are copied a single time.
  u64 size = head.length + 4;
  for (IrBlock* blk : f->blocks) size += blk->name.size() + 16 + blk->text.length;
  std::string w;
  w.reserve(size);
  head.append_to(w);
  for (size_t i = 0; i < f->blocks.size(); i++) {
    IrBlock* blk = f->blocks[i];
    // The entry block holds only stack allocations; it ends by entering the body.
    if (i == 1) {
      w += "  br label %";
      w += blk->name;
      w += '\n';
    }
    w += blk->name;
    w += ":\n";
    blk->text.append_to(w);
  }
  w += "}\n\n";
  return w;
}

}  // namespace tesk
