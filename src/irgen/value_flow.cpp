// Values that open blocks inside an expression: short-circuit logic, conditional
// values, null alternatives, value scopes and their phi, inline scopes, conditional
// evaluation, and the non-local jumps.
#include <string>
#include <vector>

#include "driver/errors.h"
#include "ir/context.h"
#include "ir/types.h"
#include "ir/writers.h"
#include "irgen/irgen.h"
#include "irgen/value_ir.h"
#include "model/records.h"

namespace tesk {

namespace {

IrBlock* new_block(IrUnit* u, std::string_view prefix) { return new_ir_block(active_ir_func(u), prefix); }

std::string ir_and_or_value(IrUnit* u, Value* v) {
  std::string left = ir_value_cached(u, v->op1);
  IrBlock* left_end = active_ir_block(u);
  // Made before the right side so it is numbered before the right side's blocks.
  IrBlock* next = new_block(u, "and_or_next");
  set_active_ir_block(u, next);
  std::string right = ir_value_cached(u, v->op2);
  IrBlock* right_end = active_ir_block(u);
  set_active_ir_block(u, left_end);
  return ir_and_or(u, v->number, left_end, left, next, right, right_end);
}

std::string ir_this_or_that(IrUnit* u, Value* v) {
  std::string cond = ir_value_cached(u, v->op1);
  IrBlock* t = new_block(u, "this_or_that_v1");
  IrBlock* f = new_block(u, "this_or_that_v2");
  IrBlock* after = new_block(u, "this_or_that_after");
  ir_br_cond(u, cond, t, f);
  set_active_ir_block(u, t);
  std::string a = ir_value_cached(u, v->op2);
  IrBlock* t_end = active_ir_block(u);
  ir_br(u, after);
  set_active_ir_block(u, f);
  std::string b = ir_value_cached(u, v->op3);
  IrBlock* f_end = active_ir_block(u);
  ir_br(u, after);
  set_active_ir_block(u, after);
  // `f() !? handler` on a call without results: both branches run for their effects;
  // there is no value to join.
  if (!v->type || kind_in(v->type->kind, KINDS_NO_VALUE)) return "";
  std::string r = ir_phi(u, a, t_end->name, b, f_end->name, ir_type(v->type));
  ir_comment(u, "this/that result: " + r);
  return r;
}

std::string ir_alternative(IrUnit* u, Value* v) {
  if (!v->op1) ir_error(u, "Missing IR alternative on-value (bug)");
  std::string value = ir_value_cached(u, v->op1);
  std::string is_null = ir_cmp(u, OP_EQ, value, "null", v->op1->type);
  IrBlock* test_block = active_ir_block(u);
  bool is_block = v->kind == VAL_ALT_BLOCK;
  IrBlock* alt = new_block(u, is_block ? "altv_break" : "altv");
  IrBlock* after = new_block(u, "altv_after");
  ir_br_cond(u, is_null, alt, after);
  set_active_ir_block(u, alt);
  if (is_block) {
    if (!v->scope) ir_error(u, "Missing IR alternative scope (bug)");
    // The block always leaves by its own terminator (checked by the front end).
    ir_statements(u, v->scope->ast);
    set_active_ir_block(u, after);
    return value;
  }
  if (!v->op2) ir_error(u, "Missing IR alternative value (bug)");
  std::string other = ir_value_cached(u, v->op2);
  IrBlock* other_end = active_ir_block(u);
  ir_br(u, after);
  set_active_ir_block(u, after);
  return ir_phi(u, value, test_block->name, other, other_end->name, ir_type(v->type));
}

std::string ir_value_scope(IrUnit* u, Value* v) {
  if (!v->op1) ir_error(u, "Missing vscope IR phi value");
  IrBlock* after = new_block(u, "vscope_after");
  IrBlock* saved = u->vscope_block;
  u->vscope_block = after;
  ir_statements(u, v->scope->ast);
  u->vscope_block = saved;
  set_active_ir_block(u, after);
  return ir_value_cached(u, v->op1);
}

std::string ir_phi_value(IrUnit* u, Value* v) {
  // A phi without incoming values cannot be written; the front end rejects a value
  // scope without a return.
  if (v->values.empty()) ir_error(u, "Missing phi values");
  std::vector<std::string> operands;
  std::vector<std::string> blocks;
  operands.reserve(v->values.size());
  blocks.reserve(v->values.size());
  for (Value* item : v->values) {
    ir_value_cached(u, item);
    operands.push_back(item->ir);
    blocks.push_back(item->ir_block);
  }
  return ir_phi_list(u, operands, blocks, ir_type(v->type));
}

std::string ir_inline_scope(IrUnit* u, Value* v) {
  if (!v->scope) ir_error(u, "Missing IR inline scope (bug)");
  ir_statements(u, v->scope->ast);
  return "-inline-scope-";
}

std::string ir_cond_value(IrUnit* u, Value* v) {
  if (!v->op1) ir_error(u, "Missing IR condition value (bug)");
  if (!v->op2) ir_error(u, "Missing IR condition final value (bug)");
  std::string cond = ir_value_cached(u, v->op1);
  IrBlock* code = new_block(u, "VAL.cond");
  IrBlock* after = new_block(u, "VAL.cond_after");
  ir_br_cond(u, cond, code, after);
  set_active_ir_block(u, code);
  std::string r = ir_value_cached(u, v->op2);
  ir_br(u, after);
  set_active_ir_block(u, after);
  v->ir_block = code->name;
  return r;
}

bool windows_target(IrUnit* u) { return u->build->target.os == "win"; }

std::string ir_setjmp(IrUnit* u, Value* v) {
  if (!v->op1) ir_error(u, "Missing IR setjmp value (bug)");
  std::string buf = ir_value_cached(u, v->op1);
  std::string t1 = new_ir_temp(u);
  std::string t2 = new_ir_temp(u);
  std::string t3 = new_ir_temp(u);
  active_ir_block(u);
  if (windows_target(u)) {
    // LLVM's own setjmp: frame address in word 0, its resume address in word 1,
    // the stack pointer in word 2.
    active_ir_text(u) << "  " << t1 << " = tail call ptr @llvm.frameaddress(i32 0)\n";
    std::string q0 = ir_gep_bytes(u, buf, 0);
    ir_store(u, q0, t1, "ptr");
    active_ir_text(u) << "  " << t2 << " = tail call ptr @llvm.stacksave()\n";
    std::string q2 = ir_gep_bytes(u, buf, static_cast<i64>(2 * u->build->ptr_size));
    ir_store(u, q2, t2, "ptr");
    active_ir_text(u) << "  " << t3 << " = tail call i32 @llvm.eh.sjlj.setjmp(ptr " << buf << ")\n";
  } else {
    active_ir_text(u) << "  " << t3 << " = call i32 @_setjmp(ptr " << buf << ")\n";
  }
  return t3;
}

std::string ir_longjmp(IrUnit* u, Value* v) {
  if (!v->op1) ir_error(u, "Missing IR longjmp value (bug)");
  std::string buf = ir_value_cached(u, v->op1);
  TextWriter& w = active_ir_text(u);
  if (windows_target(u)) {
    w << "  call void @llvm.eh.sjlj.longjmp(ptr " << buf << ")\n";
  } else {
    w << "  call void @longjmp(ptr " << buf << ", i32 1)\n";
  }
  w << "unreachable\n";
  return "-long-jump-";
}

}  // namespace

std::string ir_value_flow(IrUnit* u, Value* v) {
  switch (v->kind) {
    case VAL_AND_OR:
      return ir_and_or_value(u, v);
    case VAL_THIS_OR_THAT:
      return ir_this_or_that(u, v);
    case VAL_ALT_VALUE:
    case VAL_ALT_BLOCK:
      return ir_alternative(u, v);
    case VAL_VALUE_SCOPE:
      return ir_value_scope(u, v);
    case VAL_SETJMP:
      return ir_setjmp(u, v);
    case VAL_LONGJMP:
      return ir_longjmp(u, v);
    case VAL_INLINE_SCOPE:
      return ir_inline_scope(u, v);
    case VAL_COND:
      return ir_cond_value(u, v);
    case VAL_PHI:
      return ir_phi_value(u, v);
    default:
      ir_error(u, "Unhandled IR value (bug), type: " + std::to_string(static_cast<i64>(v->kind)));
  }
}

}  // namespace tesk
