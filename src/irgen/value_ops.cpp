// Values computed from other values: calls and their results, operators, casts,
// memory copies, atomics, assignments as values, buffered values and aggregates.
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

std::string ir_call_value(IrUnit* u, Value* v) {
  // Callee first, then the arguments left to right: nested calls come out inner first.
  std::string callee = ir_value_cached(u, v->op1);
  std::vector<std::string> args;
  args.reserve(v->values.size());
  for (Value* arg : v->values) args.push_back(ir_value_cached(u, arg));
  FuncInfo* info = v->op1->type ? v->op1->type->get_func_info() : nullptr;
  if (!info) ir_error(u, "Missing function info of callee (bug)");
  return ir_call(u, callee, info, args);
}

std::string ir_return_value(IrUnit* u, Value* v) {
  if (!v->op1) ir_error(u, "Missing return-value on value (bug)");
  std::string aggregate = ir_value_cached(u, v->op1);
  Type* t = v->op1->type;
  if (!t || t->kind != TYPE_MULTI) ir_error(u, "Extract value on non-multi type");
  return ir_extract_value(u, aggregate, ir_type(t), static_cast<i64>(v->number));
}

std::string ir_step(IrUnit* u, Value* v, u64 op) {
  std::string ptr = ir_assignable_cached(u, v->op1);
  std::string type = ir_type(v->op1->type);
  std::string old = ir_load(u, ptr, type);
  std::string now = ir_op(u, old, "1", op, v->op1->type, 0);
  ir_store(u, ptr, now, type);
  return v->flag ? now : old;
}

std::string ir_not(IrUnit* u, Value* v) {
  std::string x = ir_value_cached(u, v->op1);
  std::string t = new_ir_temp(u);
  active_ir_text(u) << "  " << t << " = xor i1 " << x << ", true\n";
  return t;
}

std::string ir_class_init(IrUnit* u, Value* v) {
  if (!v->op1) ir_error(u, "Missing class init base value (bug)");
  if (!v->scope) ir_error(u, "Missing class init scope (bug)");
  ir_statements(u, v->scope->ast);
  return ir_value_cached(u, v->op1);
}

std::string ir_buffer_value(IrUnit* u, Value* v) {
  ir_comment(u, "VAL.buffer_value");
  std::string value = ir_value_cached(u, v->op1);
  if (!v->decl) ir_error(u, "Missing buffer variable (bug)");
  ir_store(u, v->decl->ir_name, value, ir_type(v->decl->type));
  return value;
}

std::string ir_assign_value(IrUnit* u, Value* v) {
  // The value before the target's address; a plain store, no write barrier.
  std::string value = ir_value_cached(u, v->op2);
  std::string ptr = ir_assignable_cached(u, v->op1);
  ir_store(u, ptr, value, ir_type(v->op1->type));
  return value;
}

std::string ir_group(IrUnit* u, Value* v) {
  if (v->values.empty()) return "";
  // A multi type of one item has that item's own IR type, which insertvalue cannot
  // take: the group is then its item.
  if (v->values.size() == 1) return ir_value_cached(u, v->values[0]);
  std::string agg_type = ir_type(v->type);
  std::string current = "undef";
  for (size_t i = 0; i < v->values.size(); i++) {
    Value* item = v->values[i];
    std::string operand = ir_value_cached(u, item);
    std::string t = new_ir_temp(u);
    TextWriter& w = active_ir_text(u);
    w << "  " << t << " = insertvalue " << agg_type << " " << current << ", " << ir_type(item->type) << " "
      << operand << ", ";
    w.append_u64(i);
    w << "\n";
    current = t;
  }
  return current;
}

std::string ir_array_init(IrUnit* u, Value* v) {
  if (!v->op1) ir_error(u, "Missing IR initializer value in VAL.array_init (bug)");
  if (!v->op2) ir_error(u, "Missing IR set-values in VAL.array_init (bug)");
  std::string storage = ir_value_cached(u, v->op1);
  ir_value_cached(u, v->op2);
  return storage;
}

std::string ir_select(IrUnit* u, std::string_view cond, std::string_view ty, std::string_view a, std::string_view b) {
  std::string t = new_ir_temp(u);
  active_ir_text(u) << "  " << t << " = select i1 " << cond << ", " << ty << " " << a << ", " << ty << " " << b
                    << "\n";
  return t;
}

// Integer division and remainder never reach the machine's trap or LLVM's undefined
// cases: a zero divisor panics (op3 holds the panic call), and the minimum signed value
// divided by -1 is itself with remainder 0.
std::string ir_int_division(IrUnit* u, Value* v, const std::string& left, const std::string& right) {
  Type* t = v->type;
  std::string ty = ir_type(t);
  if (v->op3) {
    std::string is_zero = ir_cmp(u, OP_EQ, right, "0", t);
    IrBlock* fail = new_ir_block(active_ir_func(u), "div_zero");
    IrBlock* ok = new_ir_block(active_ir_func(u), "div_ok");
    ir_br_cond(u, is_zero, fail, ok);
    set_active_ir_block(u, fail);
    ir_value_cached(u, v->op3);
    active_ir_text(u) << "  unreachable\n";
    set_active_ir_block(u, ok);
  }
  if (!t->signed_) return ir_op(u, left, right, v->number, t, 0);
  if (v->op2->kind == VAL_INT) {
    // A constant divisor other than -1 (all ones in the Type's width) needs no select.
    u64 bits = t->size() * 8;
    u64 mask = bits >= 64 ? ~u64(0) : (u64(1) << bits) - 1;
    if ((v->op2->number & mask) != mask) return ir_op(u, left, right, v->number, t, 0);
  }
  std::string minus_one = ir_cmp(u, OP_EQ, right, "-1", t);
  std::string divisor = ir_select(u, minus_one, ty, "1", right);
  std::string plain = ir_op(u, left, divisor, v->number, t, 0);
  std::string by_minus_one = v->number == OP_DIV ? ir_op(u, "0", left, OP_SUB, t, 0) : std::string("0");
  return ir_select(u, minus_one, ty, by_minus_one, plain);
}

// Shift counts wrap at 64 as constant folding does; a count at or beyond the width of a
// narrower Type shifts every bit out. LLVM would make either case poison.
std::string ir_shift(IrUnit* u, Value* v, const std::string& left, const std::string& right) {
  Type* t = v->type;
  u64 bits = t->size() * 8;
  if (v->op2->kind == VAL_INT && v->op2->number < bits) return ir_op(u, left, right, v->number, t, 0);
  std::string ty = ir_type(t);
  std::string count = ir_op(u, right, "63", OP_BIT_AND, t, 0);
  if (bits >= 64) return ir_op(u, left, count, v->number, t, 0);
  std::string too_far = ir_cmp(u, OP_GTE, count, std::to_string(bits), t);
  std::string safe = ir_select(u, too_far, ty, "0", count);
  std::string shifted = ir_op(u, left, safe, v->number, t, 0);
  return ir_select(u, too_far, ty, "0", shifted);
}

}  // namespace

std::string ir_value_op(IrUnit* u, Value* v) {
  switch (v->kind) {
    case VAL_CALL:
      return ir_call_value(u, v);
    case VAL_RETURN_VALUE:
      return ir_return_value(u, v);
    case VAL_MEMCPY: {
      std::string src = ir_value_cached(u, v->op1);
      std::string dst = ir_value_cached(u, v->op2);
      std::string count = ir_value_cached(u, v->op3);
      ir_memcpy(u, src, dst, count);
      return "-mem-copy-";
    }
    case VAL_MATH: {
      std::string left = ir_value_cached(u, v->op1);
      std::string right = ir_value_cached(u, v->op2);
      if (v->type->kind == TYPE_INT) {
        if (v->number == OP_DIV || v->number == OP_MOD) return ir_int_division(u, v, left, right);
        if (v->number == OP_SHL || v->number == OP_SHR) return ir_shift(u, v, left, right);
      }
      return ir_op(u, left, right, v->number, v->type, 0);
    }
    case VAL_INCR:
      return ir_step(u, v, OP_ADD);
    case VAL_DECR:
      return ir_step(u, v, OP_SUB);
    case VAL_CAST: {
      std::string x = ir_value_cached(u, v->op1);
      return ir_cast(u, x, v->op1->type, v->type);
    }
    case VAL_COMPARE: {
      std::string left = ir_value_cached(u, v->op1);
      std::string right = ir_value_cached(u, v->op2);
      return ir_cmp(u, v->number, left, right, v->op1->type);
    }
    case VAL_CLASS_INIT:
      return ir_class_init(u, v);
    case VAL_BUFFER_VALUE:
      return ir_buffer_value(u, v);
    case VAL_NOT:
      return ir_not(u, v);
    case VAL_ASSIGN:
      return ir_assign_value(u, v);
    case VAL_GROUP:
      return ir_group(u, v);
    case VAL_ATOMIC: {
      std::string ptr = ir_assignable_cached(u, v->op1);
      std::string x = ir_value_cached(u, v->op2);
      return ir_op(u, ptr, x, v->number, v->type, 1);
    }
    case VAL_ATOMIC_STORE: {
      std::string ptr = ir_assignable_cached(u, v->op1);
      std::string x = ir_value_cached(u, v->op2);
      ir_store_atomic(u, ptr, x, v->type);
      return x;
    }
    case VAL_ATOMIC_LOAD: {
      std::string ptr = ir_assignable_cached(u, v->op1);
      return ir_load_atomic(u, ptr, v->type);
    }
    case VAL_ARRAY_INIT:
      return ir_array_init(u, v);
    default:
      ir_error(u, "Unhandled IR value (bug), type: " + std::to_string(static_cast<i64>(v->kind)));
  }
}

}  // namespace tesk
