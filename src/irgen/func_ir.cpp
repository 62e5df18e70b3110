#include <cstring>
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

namespace {

char* put(char* out, std::string_view s) {
  std::memcpy(out, s.data(), s.size());
  return out + s.size();
}

}  // namespace

std::string_view ir_join_blocks(IrFunc* f) {
  TextWriter head(1024);
  ir_func_header(head, f->func, false, false);
  constexpr std::string_view kEnter = "  br label %";
  constexpr std::string_view kEnd = "}\n\n";
  u64 size = head.length + kEnd.size();
  for (size_t i = 0; i < f->blocks.size(); i++) {
    IrBlock* blk = f->blocks[i];
    if (i == 1) size += kEnter.size() + blk->name.size() + 1;
    size += blk->name.size() + 2 + blk->text.length;
  }
  // Written straight into the store: no string per function.
  IrUnit* u = f->unit;
  char* start = u->func_texts.open(size);
  char* out = head.copy_to(start);
  for (size_t i = 0; i < f->blocks.size(); i++) {
    IrBlock* blk = f->blocks[i];
    // The entry block holds only stack allocations; it ends by entering the body.
    if (i == 1) {
      out = put(out, kEnter);
      out = put(out, blk->name);
      *out++ = '\n';
    }
    out = put(out, blk->name);
    out = put(out, ":\n");
    out = blk->text.copy_to(out);
  }
  out = put(out, kEnd);
  return u->func_texts.keep(size);
}

}  // namespace tesk
