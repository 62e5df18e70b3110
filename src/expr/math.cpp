// Number balancing and the arithmetic, shift and bit operators.
#include <cstdint>
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/values.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/records.h"

namespace tesk {

namespace {

// Whether the constant can take over the other side's integer Type. The mask comes
// from the constant's own signedness.
bool constant_fits(Value* c, Type* other) {
  u64 bits = other->size() * 8;
  u64 n = c->number;
  bool is_signed = c->type->signed_ != 0;
  if (!is_signed || static_cast<i64>(n) >= 0) {
    u64 mask;
    if (bits >= 64) {
      mask = is_signed ? (~u64(0) >> 1) : ~u64(0);
    } else {
      mask = is_signed ? ((u64(1) << (bits - 1)) - 1) : ((u64(1) << bits) - 1);
    }
    return (n & ~mask) == 0;
  }
  // A negative constant fits a signed Type whose range reaches down to it.
  if (!other->signed_) return false;
  if (bits >= 64) return true;
  i64 lowest = -(i64(1) << (bits - 1));
  return static_cast<i64>(n) >= lowest;
}

bool try_adopt(Value* c, Value* other) {
  if (other->kind == VAL_INT || other->type->kind != TYPE_INT) return false;
  if (!constant_fits(c, other->type)) return false;
  c->type = other->type;
  return true;
}

bool same_number_type(Type* a, Type* b) {
  return a->kind == b->kind && a->signed_ == b->signed_ && a->size() == b->size();
}

// Folds two constants; false when the result is left to run time (a zero divisor).
bool fold(u64 op, u64 a, u64 b, bool is_signed, u64* out) {
  i64 sa = static_cast<i64>(a);
  i64 sb = static_cast<i64>(b);
  switch (op) {
    case OP_ADD: *out = a + b; return true;
    case OP_SUB: *out = a - b; return true;
    case OP_MUL: *out = a * b; return true;
    case OP_DIV:
    case OP_MOD:
      if (b == 0) return false;
      if (is_signed) {
        // The one quotient that does not fit wraps, as the machine would.
        if (sa == INT64_MIN && sb == -1) {
          *out = op == OP_DIV ? a : 0;
          return true;
        }
        *out = static_cast<u64>(op == OP_DIV ? sa / sb : sa % sb);
      } else {
        *out = op == OP_DIV ? a / b : a % b;
      }
      return true;
    case OP_SHL: *out = a << (b % 64); return true;
    case OP_SHR: *out = a >> (b % 64); return true;
    case OP_BIT_AND: *out = a & b; return true;
    case OP_BIT_OR: *out = a | b; return true;
    case OP_BIT_XOR: *out = a ^ b; return true;
    default: return false;
  }
}

std::string incompatible(Type* given, Type* wanted) {
  return "Incompatible types. Passing a '" + given->to_text() + "' value to a '" + wanted->to_text() + "' type";
}

bool is_math_kind(Type* t) { return t->kind == TYPE_RAW_POINTER || t->kind == TYPE_INT || t->kind == TYPE_FLOAT; }

}  // namespace

void balance_number_types(Build* b, Value*& left, Value*& right) {
  if (left->type->kind == TYPE_RAW_POINTER) left = value_cast(left, core_type(b, "uint"));
  if (right->type->kind == TYPE_RAW_POINTER) right = value_cast(right, core_type(b, "uint"));
  Type* lt = left->type;
  Type* rt = right->type;
  if (!lt->is_number() || !rt->is_number()) return;

  if (left->kind == VAL_INT) {
    if (try_adopt(left, right)) return;
  } else if (right->kind == VAL_INT) {
    if (try_adopt(right, left)) return;
  }

  bool is_signed = lt->signed_ || rt->signed_;
  bool is_float = lt->kind == TYPE_FLOAT || rt->kind == TYPE_FLOAT;
  u64 ptr = b->ptr_size;
  u64 l = lt->size();
  u64 r = rt->size();
  if (!is_float && is_signed) {
    // An unsigned side needs the next size up to keep its range among signed values.
    if (!lt->signed_ && l < ptr) l *= 2;
    if (!rt->signed_ && r < ptr) r *= 2;
  }
  u64 m = l > r ? l : r;
  if (m > ptr) return;
  Type* common = number_type(b, m, is_float, is_signed);
  if (!same_number_type(lt, common)) left = value_cast(left, common);
  if (!same_number_type(rt, common)) right = value_cast(right, common);
}

Value* math_op_value(Parser* p, Scope* scope, u64 op, Value* left, Value* right) {
  ParseContext* ctx = p->context;
  Build* b = ctx->build;
  Class* string_class = runtime_class(b, "type", "String");
  Class* lc = left->type->get_class();
  Class* rc = right->type->get_class();

  if (op == OP_ADD) {
    if ((lc == string_class || rc == string_class) && !left->type->nullable && !right->type->nullable) {
      if (rc == string_class) {
        left = convert_value(left, ctx, scope, right->type);
        lc = left->type->get_class();
      } else {
        right = convert_value(right, ctx, scope, left->type);
        rc = right->type->get_class();
      }
    }
    if (!left->type->nullable && lc) {
      Func* add = lc->find_add_function(right->type);
      if (!add && lc->mode_base) add = lc->mode_base->find_add_function(right->type);
      if (add && !add->is_generic) {
        Value* arg = convert_value(right, ctx, scope, left->type);
        Type* param = add->args.empty() ? left->type : add->args[0]->type;
        if (!param->compat(arg->type, 0)) error_at(ctx, incompatible(arg->type, param));
        return value_function_call(b, scope, value_func(add), {left, arg});
      }
    }
  }

  if (left->type->kind == TYPE_RAW_POINTER && (op == OP_ADD || (op == OP_SUB && right->kind == VAL_INT))) {
    Value* offset = convert_value(right, ctx, scope, core_type(b, "int"));
    if (offset->type->kind == TYPE_INT) {
      if (op == OP_SUB) offset = value_int(u64(0) - right->number, offset->type);
      return value_ptr_offset(left, offset, nullptr);
    }
  }

  if (!is_math_kind(left->type) || !is_math_kind(right->type)) {
    parse_error(p, "Cannot do math operations on types: '" + left->type->to_text() + "' <> '" +
                       right->type->to_text() + "'");
  }
  balance_number_types(b, left, right);
  if (op == OP_SHL || op == OP_SHR) {
    if (left->type->kind != TYPE_INT) parse_error(p, "Left value must be an integer for this operator");
    if (right->type->kind != TYPE_INT) parse_error(p, "Right value must be an integer for this operator");
  }
  bool compatible = left->type->compat(right->type, 0);
  bool int_division = (op == OP_DIV || op == OP_MOD) && left->type->kind == TYPE_INT;
  if (int_division && right->kind == VAL_INT && right->number == 0) parse_error(p, "Division by zero");
  if (left->kind == VAL_INT && right->kind == VAL_INT && compatible) {
    u64 folded;
    if (fold(op, left->number, right->number, left->type->signed_ != 0, &folded)) return value_int(folded, left->type);
  }
  if (!compatible) error_at(ctx, incompatible(right->type, left->type));
  Value* math = value_math(left, right, op, left->type);
  if (int_division && right->kind != VAL_INT) {
    // A divisor known only at run time: its IR tests for zero and calls this panic.
    Func* panic = runtime_func(b, "core", "panic");
    context_note_func(ctx, panic);
    math->op3 = value_function_call(b, scope, value_func(panic), {value_string_literal("division by zero", ctx)});
  }
  return math;
}

}  // namespace tesk
