// Stand-ins for the statement reader, the lowering and IR generation. Each reports a
// build error until its real definition arrives; remove the stand-in then.
#include "expr/pending.h"

#include "driver/build.h"
#include "driver/errors.h"

namespace tesk {

void read_statements(Parser* p, Scope*, u64) { build_error(p->build, "read_statements not available yet"); }
Value* read_match(Parser* p, Scope*) { build_error(p->build, "read_match not available yet"); }
Value* read_error_handler(Parser* p, Scope*, Value*, ErrorMap*) {
  build_error(p->build, "read_error_handler not available yet");
}
void parse_function_ast(Func* func) { build_error(func->build, "parse_function_ast not available yet"); }
void build_func_ir(Func* func) { build_error(func->build, "build_func_ir not available yet"); }
Value* coro_start_template(Parser* p, Scope*, Value*) {
  build_error(p->build, "coro_start_template not available yet");
}
Value* coro_await_template(Parser* p, Scope*, Value*) {
  build_error(p->build, "coro_await_template not available yet");
}
Value* read_assert(Parser* p, Scope*) { build_error(p->build, "read_assert not available yet"); }
Value* value_closure(ParseContext* ctx, Value*, const std::vector<Value*>&, Scope*) {
  build_error(ctx->build, "value_closure not available yet");
}
Decl* capture_outer_variable(Decl*, Type*, Scope* scope) {
  build_error(scope->build, "capture_outer_variable not available yet");
}

}  // namespace tesk
