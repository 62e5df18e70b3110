// Dispatch and memo of value operands, and the cases that need no control flow:
// functions, strings, locals, properties, constants, elements, globals and addresses.
#include "irgen/value_ir.h"

#include <cstdio>
#include <cstring>

#include "driver/errors.h"
#include "ir/context.h"
#include "ir/data.h"
#include "ir/types.h"
#include "ir/writers.h"
#include "irgen/irgen.h"
#include "model/records.h"
#include "model/runtime.h"

namespace tesk {

namespace {

// A compiler fault found while writing IR: one plain line, then exit 1 at once.
[[noreturn]] void fatal_line(std::string_view message) {
  std::string line(message);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  exit_process(1);
}

std::string kind_text(u64 kind) { return std::to_string(static_cast<i64>(kind)); }

// Statements and pre-value that a value (or its address) needs first.
void write_head(IrUnit* u, Value* v) {
  if (!v->pre_ast.empty()) ir_statements(u, v->pre_ast);
  if (v->pre_value) ir_value_cached(u, v->pre_value);
}

std::string float_bits_text(f64 f) {
  u64 bits = 0;
  std::memcpy(&bits, &f, sizeof bits);
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(bits));
  return buf;
}

// GC references in properties carry tag bits in their two low bits.
bool prop_holds_tagged_ref(Property* prop) {
  Type* t = prop->type;
  if (!t) return false;
  if (t->kind == TYPE_FN) return true;
  if (t->kind != TYPE_POINTER || !t->sub || t->sub->kind != TYPE_CLASS) return false;
  if (!t->sub->class_) fatal_line("Type has no class: " + t->to_text() + " (bug)");
  return true;
}

std::string clear_tag_bits(IrUnit* u, const std::string& loaded) {
  Type* uint_type = runtime_class_type(u->build, "type", "uint");
  Type* ptr_type = runtime_class_type(u->build, "type", "ptr");
  std::string as_int = ir_cast(u, loaded, ptr_type, uint_type);
  std::string cleared = ir_op(u, as_int, "-4", OP_BIT_AND, uint_type, 0);
  return ir_cast(u, cleared, uint_type, ptr_type);
}

// The address cases of ir_assignable, without the head.
std::string assignable_case(IrUnit* u, Value* v) {
  switch (v->kind) {
    case VAL_DECL:
      if (!v->decl) ir_error(u, "Missing decl (bug)");
      return v->decl->ir_name;
    case VAL_PROP: {
      if (!v->property) ir_error(u, "Missing property (bug)");
      std::string object = ir_value_cached(u, v->op1);
      return ir_gep_bytes(u, object, static_cast<i64>(v->property->offset));
    }
    case VAL_PTRV: {
      std::string ptr = ir_value_cached(u, v->op1);
      std::string index = ir_value_cached(u, v->op2);
      return ir_gep(u, ptr, ir_type(v->type), index, ir_type(v->op2->type));
    }
    case VAL_GLOBAL:
      if (!v->global) ir_error(u, "Missing global (bug)");
      ir_declare_global(u, v->global);
      return v->global->ir_name;
    case VAL_CLASS_INIT:
    case VAL_ARRAY_INIT:
      return ir_value_cached(u, v);
    case VAL_BUFFER_VALUE:
      ir_value_cached(u, v);
      if (!v->decl) ir_error(u, "Missing buffer variable (bug)");
      return v->decl->ir_name;
    case VAL_COPY:
      if (!v->op1) ir_error(u, "Missing wrap value (bug)");
      return ir_assignable_cached(u, v->op1);
    default:
      ir_error(u, "IR: Unknown assignable value: " + kind_text(v->kind));
  }
}

// The value's own address, memoised like ir_assignable_cached; the head is ir_value's.
std::string own_address(IrUnit* u, Value* v) {
  if (!v->ir_ptr_done) {
    v->ir_ptr = assignable_case(u, v);
    v->ir_ptr_done = 1;
  }
  return v->ir_ptr;
}

std::string value_case(IrUnit* u, Value* v) {
  switch (v->kind) {
    case VAL_FUNC:
      if (!v->func) ir_error(u, "Missing func (bug)");
      return ir_func_ref(u, v->func);
    case VAL_STRING:
      if (!v->string_const) ir_error(u, "Missing str object");
      return ir_gep_bytes(u, "@string." + std::to_string(v->string_const->index), 8);
    case VAL_DECL: {
      Decl* d = v->decl;
      if (!d) ir_error(u, "Missing decl (bug)");
      if (d->in_memory) return ir_load(u, d->ir_name, ir_type(d->type));
      if (d->is_arg) return d->ir_name;
      return d->ir_value;
    }
    case VAL_PROP: {
      if (!v->property) ir_error(u, "Missing property (bug)");
      ir_comment(u, "Read prop: " + v->property->name);
      std::string ptr = own_address(u, v);
      std::string loaded = ir_load(u, ptr, ir_type(v->type));
      if (prop_holds_tagged_ref(v->property)) return clear_tag_bits(u, loaded);
      return loaded;
    }
    case VAL_INT:
      return std::to_string(static_cast<i64>(v->number));
    case VAL_PTRV: {
      std::string ptr = own_address(u, v);
      return ir_load(u, ptr, ir_type(v->type));
    }
    case VAL_BOOL:
      return v->flag ? "1" : "0";
    case VAL_GLOBAL: {
      if (!v->global) ir_error(u, "Missing global in ir_value() (bug)");
      if (!v->global->type) ir_error(u, "Missing global type in ir_value() (bug)");
      std::string ptr = own_address(u, v);
      return ir_load(u, ptr, ir_type(v->global->type));
    }
    case VAL_NULL:
      return "null";
    case VAL_UNDEFINED:
      return "undef";
    case VAL_COPY:
      if (!v->op1) ir_error(u, "Missing wrap value (bug)");
      return ir_value_cached(u, v->op1);
    case VAL_PTR_OFFSET: {
      std::string ptr = ir_value_cached(u, v->op1);
      std::string offset = ir_value_cached(u, v->op2);
      if (!v->element) fatal_line("Missing type for IR value ptr_offset");
      return ir_gep(u, ptr, ir_type(v->element), offset, "i64");
    }
    case VAL_STACK_ALLOC:
      return ir_alloca_bytes(active_ir_func(u), v->number);
    case VAL_REFERENCE:
      return ir_assignable_cached(u, v->op1);
    case VAL_SYMBOL:
      if (Class** cls = u->build->vtables.find(v->symbol)) ir_vtable_global(u, *cls);
      return "@" + v->symbol;
    case VAL_FLOAT: {
      // LLVM takes a float constant as the double of the same value, which must be
      // exact in single precision: round 4-byte floats to it first.
      f64 f = v->float_value;
      if (v->type && v->type->kind == TYPE_FLOAT && v->type->class_ && v->type->size() == 4) {
        f = static_cast<f64>(static_cast<float>(f));
      }
      return float_bits_text(f);
    }
    case VAL_LOAD_INLINE: {
      std::string ptr = ir_value_cached(u, v->op1);
      ir_comment(u, "Load inline value");
      return ir_load(u, ptr, ir_type(v->type));
    }
    case VAL_AND_OR:
    case VAL_THIS_OR_THAT:
    case VAL_ALT_VALUE:
    case VAL_ALT_BLOCK:
    case VAL_VALUE_SCOPE:
    case VAL_SETJMP:
    case VAL_LONGJMP:
    case VAL_INLINE_SCOPE:
    case VAL_COND:
    case VAL_PHI:
      return ir_value_flow(u, v);
    case VAL_DECL_STORE:
      // Never built by the front end; reaching it here is a compiler fault.
      ir_error(u, "Unhandled IR value (bug), type: " + kind_text(v->kind));
    default:
      return ir_value_op(u, v);
  }
}

}  // namespace

std::string ir_value(IrUnit* u, Value* value) {
  write_head(u, value);
  if (value->kind > VAL_LOAD_INLINE) ir_error(u, "Unhandled IR value (bug), type: " + kind_text(value->kind));
  return value_case(u, value);
}

std::string ir_value_cached(IrUnit* u, Value* value) {
  if (!value) ir_error(u, "Missing IR value (bug)");
  if (!value->ir_done) {
    value->ir = ir_value(u, value);
    value->ir_done = 1;
    if (value->ir_block.empty()) value->ir_block = active_ir_block(u)->name;
  }
  return value->ir;
}

std::string ir_assignable(IrUnit* u, Value* value) {
  // These evaluate the value itself, whose own head then runs; running it here too
  // would write the pre-statements twice.
  bool self = value->kind == VAL_CLASS_INIT || value->kind == VAL_ARRAY_INIT || value->kind == VAL_BUFFER_VALUE;
  if (!self) write_head(u, value);
  return assignable_case(u, value);
}

std::string ir_assignable_cached(IrUnit* u, Value* value) {
  if (!value) ir_error(u, "Missing IR value (bug)");
  if (!value->ir_ptr_done) {
    value->ir_ptr = ir_assignable(u, value);
    value->ir_ptr_done = 1;
  }
  return value->ir_ptr;
}

}  // namespace tesk
