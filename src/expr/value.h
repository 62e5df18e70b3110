#pragma once
// The expression node. Every expression of a function body is a tree of Values; IR
// generation turns each one into an IR operand once and keeps it in the memo fields.
#include <string>
#include <vector>

#include "util/fwd.h"
#include "util/ordered_map.h"

namespace tesk {

// Value kinds ("VAL.<name>").
enum ValueKind : u64 {
  VAL_FUNC = 0,
  VAL_STRING = 1,
  VAL_DECL = 2,
  VAL_PROP = 3,
  VAL_INT = 4,
  VAL_CALL = 5,
  VAL_RETURN_VALUE = 6,
  VAL_MEMCPY = 7,
  VAL_MATH = 8,
  VAL_PTRV = 9,
  VAL_INCR = 10,
  VAL_DECR = 11,
  VAL_BOOL = 12,
  VAL_CAST = 13,
  VAL_GLOBAL = 14,
  VAL_NULL = 15,
  VAL_COMPARE = 16,
  VAL_AND_OR = 17,
  VAL_CLASS_INIT = 18,
  VAL_BUFFER_VALUE = 19,
  VAL_NOT = 20,
  VAL_UNDEFINED = 21,
  VAL_COPY = 22,
  VAL_PTR_OFFSET = 23,
  VAL_STACK_ALLOC = 24,
  VAL_THIS_OR_THAT = 25,
  VAL_DECL_STORE = 26,  // never built
  VAL_ALT_VALUE = 27,
  VAL_ALT_BLOCK = 28,
  VAL_ASSIGN = 29,
  VAL_REFERENCE = 30,
  VAL_VALUE_SCOPE = 31,
  VAL_SETJMP = 32,
  VAL_LONGJMP = 33,
  VAL_GROUP = 34,
  VAL_SYMBOL = 35,
  VAL_ATOMIC = 36,
  VAL_ATOMIC_STORE = 37,
  VAL_ATOMIC_LOAD = 38,
  VAL_FLOAT = 39,
  VAL_INLINE_SCOPE = 40,
  VAL_COND = 41,
  VAL_PHI = 42,
  VAL_ARRAY_INIT = 43,
  VAL_LOAD_INLINE = 44,
};

// Operator of math, compare, and_or and atomic values ("OpCode.<name>").
enum OpCode : u64 {
  OP_ADD = 1,
  OP_SUB = 2,
  OP_MUL = 3,
  OP_DIV = 4,
  OP_MOD = 5,
  OP_EQ = 6,
  OP_NE = 7,
  OP_LTE = 8,
  OP_LT = 9,
  OP_GTE = 10,
  OP_GT = 11,
  OP_AND = 12,  // &&
  OP_OR = 13,   // ||
  OP_SHL = 14,
  OP_SHR = 15,
  OP_BIT_AND = 16,
  OP_BIT_OR = 17,
  OP_BIT_XOR = 18,
};

struct Value {
  u64 kind = VAL_FUNC;
  Type* type = nullptr;
  Value* pre_value = nullptr;        // evaluated first, result dropped
  std::vector<AstNode*> pre_ast;     // statements written before this value

  // Memo of IR generation: the operand, the pointer operand of an assignable value,
  // and the block that was active when the operand was made.
  std::string ir;
  std::string ir_ptr;
  std::string ir_block;
  u8 ir_done = 0;
  u8 ir_ptr_done = 0;

  Func* func = nullptr;
  std::vector<Value*> values;        // call arguments, group items, phi inputs
  std::vector<Value*> items;         // result items of a call
  Value* err_code = nullptr;         // call of a function that can fail
  Value* err_msg = nullptr;
  std::string symbol;                // global name without "@"
  StringConst* string_const = nullptr;  // ("string")
  Decl* decl = nullptr;
  Value* op1 = nullptr;              // ("operand1")
  Value* op2 = nullptr;              // ("operand2")
  Value* op3 = nullptr;              // ("operand3")
  Property* property = nullptr;
  Property* closure_prop = nullptr;  // property of a closure's data class holding this value
  Global* global = nullptr;
  Scope* scope = nullptr;
  Type* element = nullptr;
  OrderedMap<Value*>* prop_values = nullptr;  // class_init: property name -> value
  u64 number = 0;                    // integer bits, OpCode, result index or byte count
  f64 float_value = 0;               // ("float")
  u8 flag = 0;                       // bool constant, or prefix form of incr/decr
  u8 in_place = 0;                   // initialisation written straight into its target

  // Nullable locals known to hold a value when this bool value is true / false.
  std::vector<Decl*> true_decls;     // ("set_if_true")
  std::vector<Decl*> false_decls;    // ("set_if_false")
};

}  // namespace tesk
