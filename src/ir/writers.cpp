#include "ir/writers.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/value.h"
#include "ir/context.h"
#include "ir/types.h"
#include "model/records.h"
#include "model/runtime.h"
#include "source/records.h"

namespace tesk {

// ---------------------------------------------------------------------------------
// Basic instructions

void ir_comment(IrUnit* u, std::string_view text) { active_ir_text(u) << "; " << text << "\n"; }

void ir_br(IrUnit* u, IrBlock* target) { active_ir_text(u) << "  br label %" << target->name << "\n"; }

void ir_br_cond(IrUnit* u, std::string_view cond, IrBlock* if_true, IrBlock* if_false) {
  active_ir_text(u) << "  br i1 " << cond << ", label %" << if_true->name << ", label %" << if_false->name << "\n";
}

void ir_store(IrUnit* u, std::string_view ptr, std::string_view value, std::string_view type) {
  active_ir_text(u) << "  store " << type << " " << value << ", ptr " << ptr << "\n";
}

std::string ir_load(IrUnit* u, std::string_view ptr, std::string_view type) {
  std::string t = new_ir_temp(u);
  active_ir_text(u) << "  " << t << " = load " << type << ", ptr " << ptr << "\n";
  return t;
}

void ir_ret(IrUnit* u, std::string_view value, std::string_view type) {
  active_ir_text(u) << "  ret " << type << " " << value << "\n";
}

void ir_ret_void(IrUnit* u) { active_ir_text(u) << "  ret void\n"; }

std::string ir_gep_bytes(IrUnit* u, std::string_view base, i64 offset) {
  std::string t = new_ir_temp(u);
  TextWriter& w = active_ir_text(u);
  w << "  " << t << " = getelementptr i8, ptr " << base << ", i32 ";
  w.append_i64(offset);
  w << "\n";
  return t;
}

std::string ir_gep(IrUnit* u, std::string_view base, std::string_view element_type, std::string_view index,
                   std::string_view index_type) {
  std::string t = new_ir_temp(u);
  active_ir_text(u) << "  " << t << " = getelementptr " << element_type << ", ptr " << base << ", " << index_type
                    << " " << index << "\n";
  return t;
}

// ---------------------------------------------------------------------------------
// Calls

std::string ir_call(IrUnit* u, std::string_view callee, FuncInfo* info, const std::vector<std::string>& args) {
  TextWriter& w = active_ir_text(u);
  std::string ret;
  if (info->can_error) {
    std::vector<Type*> rets = info->rets;
    rets.push_back(runtime_class_type(u->build, "type", "u32"));
    rets.push_back(runtime_class_type(u->build, "type", "String"));
    ret = ir_return_type(rets);
  } else {
    ret = ir_return_type(info->rets);
  }
  if (args.size() > info->args.size() && (!info->infinite || info->args.empty()))
    ir_error(u, "Call with more arguments than parameters (bug)");
  std::string t;
  w << "  ";
  if (ret != "void") {
    t = new_ir_temp(u);
    w << t << " = ";
  }
  w << "call " << ret << " ";
  if (info->infinite) {
    w << "(";
    for (size_t i = 0; i < info->args.size(); i++) {
      if (i > 0) w << ", ";
      w << ir_type(info->args[i]);
    }
    w << (info->args.empty() ? "...) " : ", ...) ");
  }
  w << callee << "(";
  for (size_t i = 0; i < args.size(); i++) {
    if (i > 0) w << ", ";
    Type* pt = i < info->args.size() ? info->args[i] : info->args.back();
    w << ir_type(pt) << " " << args[i];
  }
  w << ")\n";
  return ret == "void" ? std::string("void") : t;
}

std::string ir_extract_value(IrUnit* u, std::string_view aggregate, std::string_view type, i64 index) {
  std::string t = new_ir_temp(u);
  TextWriter& w = active_ir_text(u);
  w << "  " << t << " = extractvalue " << type << " " << aggregate << ", ";
  w.append_i64(index);
  w << "\n";
  return t;
}

// ---------------------------------------------------------------------------------
// Memory copy and atomic access

void ir_memcpy(IrUnit* u, std::string_view src, std::string_view dst, std::string_view length) {
  active_ir_text(u) << "  call void @llvm.memcpy.p0.p0.i64(ptr " << dst << ", ptr " << src << ", i64 " << length
                    << ", i1 0)\n";
}

u64 ir_atomic_align(IrUnit* u, Type* type) {
  u64 size = type->size();
  bool ok = false;
  if (type->is_pointer_sized()) ok = true;
  else if (type->kind == TYPE_INT) ok = size == 1 || size == 2 || size == 4 || size == 8;
  else if (type->kind == TYPE_FLOAT) ok = size == 4 || size == 8;
  if (!ok) build_error(u->build, "Atomic access is not supported for values of type: " + type->to_text());
  return size;
}

std::string ir_store_atomic(IrUnit* u, std::string_view ptr, std::string_view value, Type* type) {
  TextWriter& w = active_ir_text(u);
  std::string ty = ir_type(type);
  u64 align = ir_atomic_align(u, type);
  w << "  store atomic " << ty << " " << value << ", ptr " << ptr << " release, align ";
  w.append_u64(align);
  w << "\n";
  return std::string(value);
}

std::string ir_load_atomic(IrUnit* u, std::string_view ptr, Type* type) {
  std::string t = new_ir_temp(u);
  TextWriter& w = active_ir_text(u);
  std::string ty = ir_type(type);
  u64 align = ir_atomic_align(u, type);
  w << "  " << t << " = load atomic " << ty << ", ptr " << ptr << " acquire, align ";
  w.append_u64(align);
  w << "\n";
  return t;
}

// ---------------------------------------------------------------------------------
// Arithmetic, comparison, short circuit

namespace {

bool is_float(Type* t) { return t->kind == TYPE_FLOAT; }

// Operation text of ir_op, each ending in a blank; null for a code without a row.
const char* math_op_text(u64 op, Type* type) {
  bool fl = is_float(type);
  bool sg = !fl && type->signed_;
  switch (op) {
    case OP_ADD: return fl ? "fadd " : "add ";
    case OP_SUB: return fl ? "fsub " : "sub ";
    case OP_MUL: return fl ? "fmul " : "mul ";
    case OP_DIV: return fl ? "fdiv " : sg ? "sdiv " : "udiv ";
    case OP_MOD: return fl ? "frem " : sg ? "srem " : "urem ";
    case OP_SHL: return "shl ";
    case OP_SHR: return "lshr ";
    case OP_BIT_AND: return "and ";
    case OP_BIT_OR: return "or ";
    case OP_BIT_XOR: return "xor ";
  }
  return nullptr;
}

const char* op_symbol(u64 op) {
  static const char* const symbols[] = {"?",  "+",  "-", "*",  "/",  "%",  "==", "!=", "<=", "<",
                                        ">=", ">", "&&", "||", "<<", ">>", "&",  "|",  "^"};
  return op < sizeof symbols / sizeof symbols[0] ? symbols[op] : "?";
}

}  // namespace

const char* atomic_rmw_op(u64 op, Type* type) {
  u64 size = type->size();
  if (type->kind == TYPE_FLOAT) {
    if (size != 4 && size != 8) return nullptr;
    if (op == OP_ADD) return "fadd ";
    if (op == OP_SUB) return "fsub ";
    return nullptr;
  }
  if (type->kind != TYPE_INT || !(size == 1 || size == 2 || size == 4 || size == 8)) return nullptr;
  switch (op) {
    case OP_ADD: return "add ";
    case OP_SUB: return "sub ";
    case OP_BIT_AND: return "and ";
    case OP_BIT_OR: return "or ";
    case OP_BIT_XOR: return "xor ";
  }
  return nullptr;
}

std::string ir_op(IrUnit* u, std::string_view left, std::string_view right, u64 op, Type* type, u8 atomic) {
  std::string ty = ir_type(type);
  const char* rmw = nullptr;
  if (atomic) {
    // Only the operations that atomicrmw has; anything else would be invalid IR.
    rmw = atomic_rmw_op(op, type);
    if (!rmw)
      build_error(u->build, std::string("Atomic operation '") + op_symbol(op) +
                                "' is not supported on values of type: " + type->to_text() +
                                ". Supported: + - & | ^ on integers, + - on floats");
  }
  std::string t = new_ir_temp(u);
  TextWriter& w = active_ir_text(u);
  w << "  " << t << " = ";
  if (atomic) {
    w << "atomicrmw " << rmw << "ptr " << left << ", " << ty << " " << right << " seq_cst\n";
    return t;
  }
  const char* text = math_op_text(op, type);
  if (!text) ir_error(u, "Unknown IR math operation: " + std::to_string(op) + " (bug)");
  w << text << ty << " " << left << ", " << right << "\n";
  return t;
}

std::string ir_cmp(IrUnit* u, u64 op, std::string_view left, std::string_view right, Type* type) {
  std::string t = new_ir_temp(u);
  TextWriter& w = active_ir_text(u);
  bool fl = is_float(type);
  bool sg = !fl && type->signed_;
  const char* pred;
  switch (op) {
    // Unordered: NaN differs from everything, itself included, as `!(a == b)` says.
    case OP_NE: pred = fl ? "une" : "ne"; break;
    case OP_LTE: pred = fl ? "ole" : sg ? "sle" : "ule"; break;
    case OP_LT: pred = fl ? "olt" : sg ? "slt" : "ult"; break;
    case OP_GTE: pred = fl ? "oge" : sg ? "sge" : "uge"; break;
    case OP_GT: pred = fl ? "ogt" : sg ? "sgt" : "ugt"; break;
    default: pred = fl ? "oeq" : "eq"; break;
  }
  w << "  " << t << " = " << (fl ? "fcmp " : "icmp ") << pred << " " << ir_type(type) << " " << left << ", "
    << right << "\n";
  return t;
}

std::string ir_and_or(IrUnit* u, u64 op, IrBlock* left_block, std::string_view left, IrBlock* right_start,
                      std::string_view right, IrBlock* right_end) {
  IrFunc* f = active_ir_func(u);
  IrBlock* after = new_ir_block(f, "and_or_after");
  const char* shortcut;
  if (op == OP_OR) {
    ir_br_cond(u, left, after, right_start);
    shortcut = "true";
  } else {
    ir_br_cond(u, left, right_start, after);
    shortcut = "false";
  }
  set_active_ir_block(u, right_end);
  ir_br(u, after);
  set_active_ir_block(u, after);
  return ir_phi(u, shortcut, left_block->name, right, right_end->name, "i1");
}

// ---------------------------------------------------------------------------------
// Phi nodes and casts

std::string ir_phi(IrUnit* u, std::string_view v1, std::string_view b1, std::string_view v2, std::string_view b2,
                   std::string_view type) {
  std::string t = new_ir_temp(u);
  active_ir_text(u) << "  " << t << " = phi " << type << " [ " << v1 << ", %" << b1 << " ], [ " << v2 << ", %"
                    << b2 << " ]\n";
  return t;
}

std::string ir_phi_list(IrUnit* u, const std::vector<std::string>& values, const std::vector<std::string>& blocks,
                        std::string_view type) {
  std::string t = new_ir_temp(u);
  TextWriter& w = active_ir_text(u);
  w << "  " << t << " = phi " << type << " ";
  for (size_t i = 0; i < values.size() && i < blocks.size(); i++) {
    if (i > 0) w << ", ";
    w << "[ " << values[i] << ", %" << blocks[i] << " ]";
  }
  w << "\n";
  return t;
}

namespace {

u64 type_bits(Type* t) { return t->kind == TYPE_BOOL ? 1 : 8 * t->size(); }

std::string int_text(Type* t) { return t->kind == TYPE_BOOL ? "i1" : ir_int_type(t->size()); }

}  // namespace

std::string ir_cast(IrUnit* u, std::string_view value, Type* from, Type* to) {
  bool from_ptr = from->is_pointer_sized();
  bool to_ptr = to->is_pointer_sized();
  if (from_ptr && to_ptr) return std::string(value);
  TextWriter& w = active_ir_text(u);
  std::string v(value);
  std::string st = ir_type(from);
  std::string tt = ir_type(to);

  // A bool is true for any value other than zero (2, a non-null pointer, 0.5), so the
  // conversion compares instead of keeping the lowest bit.
  if (to->kind == TYPE_BOOL) {
    if (from->kind == TYPE_BOOL) return v;
    std::string t = new_ir_temp(u);
    if (from_ptr)
      w << "  " << t << " = icmp ne ptr " << v << ", null\n";
    else if (is_float(from))
      w << "  " << t << " = fcmp une " << st << " " << v << ", 0.0\n";
    else
      w << "  " << t << " = icmp ne " << st << " " << v << ", 0\n";
    return t;
  }

  std::string sint = int_text(from);
  if (from_ptr) {
    std::string t = new_ir_temp(u);
    w << "  " << t << " = ptrtoint ptr " << v << " to i64\n";
    v = t;
    st = "i64";
    sint = "i64";
  }
  u64 sb = type_bits(from);
  u64 tb = type_bits(to);
  if (is_float(to)) {
    if (is_float(from)) {
      if (sb == tb) return v;
      std::string t = new_ir_temp(u);
      w << "  " << t << " = " << (sb < tb ? "fpext" : "fptrunc") << " " << st << " " << v << " to " << tt << "\n";
      return t;
    }
    std::string t = new_ir_temp(u);
    w << "  " << t << " = " << (from->signed_ ? "sitofp" : "uitofp") << " " << sint << " " << v << " to " << tt
      << "\n";
    return t;
  }
  if (is_float(from)) {
    if (to->kind == TYPE_INT && !to->signed_ && tb == 64) {
      // fptosi has no result for values from 2^63 up, which a u64 holds: those take
      // fptoui, and negative values keep the wrap-around of fptosi.
      std::string neg = new_ir_temp(u);
      w << "  " << neg << " = fcmp olt " << st << " " << v << ", 0.0\n";
      std::string s = new_ir_temp(u);
      w << "  " << s << " = fptosi " << st << " " << v << " to i64\n";
      std::string un = new_ir_temp(u);
      w << "  " << un << " = fptoui " << st << " " << v << " to i64\n";
      std::string t = new_ir_temp(u);
      w << "  " << t << " = select i1 " << neg << ", i64 " << s << ", i64 " << un << "\n";
      return t;
    }
    std::string t = new_ir_temp(u);
    w << "  " << t << " = fptosi " << st << " " << v << " to i64\n";
    v = t;
    st = "i64";
    sb = 64;
  }
  if (sb != tb) {
    std::string t = new_ir_temp(u);
    const char* op = sb > tb ? "trunc" : from->signed_ ? "sext" : "zext";
    std::string tint = int_text(to);
    w << "  " << t << " = " << op << " " << st << " " << v << " to " << tint << "\n";
    v = t;
    st = tint;
  }
  if (to_ptr) {
    std::string t = new_ir_temp(u);
    w << "  " << t << " = inttoptr " << st << " " << v << " to ptr\n";
    return t;
  }
  return v;
}

// ---------------------------------------------------------------------------------
// GC write barrier

namespace {

Func* find_property_update(Build* b) {
  Package* pkg = b->tesk_package;
  if (!pkg) build_error(b, "Cannot find tesk package (bug)");
  Namespace** ns = pkg->namespaces.find("gc");
  if (!ns || !*ns || !(*ns)->scope) build_error(b, "Compiler bug | Missing tesk namespace: gc");
  Identifier** id = (*ns)->scope->identifiers.find("property_update");
  if (!id || !*id) build_error(b, "Compiler bug | Missing tesk identifier: property_update");
  if (!(*id)->func) build_error(b, "Compiler bug | Identifier is not a function");
  return (*id)->func;
}

}  // namespace

std::string ir_write_barrier(IrUnit* u, std::string_view object, std::string_view prop_ptr, std::string_view value) {
  Type* u8t = runtime_class_type(u->build, "type", "u8");
  std::string g = ir_gep(u, object, "i8", "-4", "i8");
  std::string h = ir_load(u, g, "i8");
  std::string m = ir_op(u, h, "3", OP_BIT_AND, u8t, 0);
  IrFunc* f = active_ir_func(u);
  IrBlock* not_new = new_ir_block(f, "if_not_new");
  IrBlock* is_new = new_ir_block(f, "if_new");
  IrBlock* after = new_ir_block(f, "after_new_check");
  std::string c = ir_cmp(u, OP_NE, m, "0", u8t);
  ir_br_cond(u, c, not_new, is_new);

  set_active_ir_block(u, not_new);
  Func* update = find_property_update(u->build);
  std::string callee = ir_func_ref(u, update);
  ir_call(u, callee, update->get_func_info(),
          {std::string(object), std::string(prop_ptr), std::string(value)});
  ir_br(u, after);

  set_active_ir_block(u, is_new);
  ir_store(u, prop_ptr, value, "ptr");
  ir_br(u, after);

  set_active_ir_block(u, after);
  return std::string(value);
}

}  // namespace tesk
