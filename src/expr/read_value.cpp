// Entry of the value reader: dispatch on the first token, number literals, postfix and
// infix operators by precedence.
#include "expr/read_value.h"

#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/values.h"
#include "model/funcs.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/statements.h"
#include "util/strings.h"

namespace tesk {

namespace {

Value* new_node(Build* b, u64 kind, Type* type) {
  Value* v = b->make_func_lived<Value>();
  v->kind = kind;
  v->type = type;
  return v;
}

bool is_assignable(const Value* v) {
  switch (v->kind) {
    case VAL_DECL:
    case VAL_PROP:
    case VAL_PTRV:
    case VAL_GLOBAL:
    case VAL_BUFFER_VALUE:
      return true;
    default:
      return false;
  }
}

void add_once(std::vector<Decl*>& list, Decl* d) {
  for (Decl* x : list) {
    if (x == d) return;
  }
  list.push_back(d);
}

bool contains(const std::vector<Decl*>& list, Decl* d) {
  for (Decl* x : list) {
    if (x == d) return true;
  }
  return false;
}

// A block scope of the current scope in which the given locals are known non-null.
Scope* narrowing_scope(Scope* scope, const std::vector<Decl*>& not_null) {
  Scope* s = new_scope(scope, SCOPE_BLOCK);
  for (Decl* d : not_null) add_once(s->not_null, d);
  return s;
}

Type* bool_type(Build* b) { return core_type(b, "bool"); }

// Digit value in the base, or -1.
int digit_value(char c, u64 base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return (d >= 0 && static_cast<u64>(d) < base) ? d : -1;
}

Value* read_number(Parser* p, bool negative) {
  Build* b = p->build;
  const std::string_view text = p->token();
  std::string digits;
  digits.reserve(text.size());
  for (char c : text) {
    if (c != '_') digits.push_back(c);
  }
  if (p->kind == TOK_FLOAT) {
    f64 f = 0;
    if (!parse_f64(digits, &f)) parse_bug(p, "Failed to convert float string to a float value");
    Type* t = (p->type_hint && p->type_hint->is_float()) ? p->type_hint : f64_type(b);
    Value* v = new_node(b, VAL_FLOAT, t);
    v->float_value = negative ? -f : f;
    return v;
  }
  u64 base = 10;
  std::string_view body = digits;
  if (p->kind == TOK_HEX) {
    base = 16;
    body.remove_prefix(2);
  } else if (p->kind == TOK_OCTAL) {
    base = 8;
    body.remove_prefix(2);
  }
  u64 n = 0;
  for (char c : body) {
    int d = digit_value(c, base);
    if (d < 0) parse_error(p, "Failed to convert integer string to an integer value (bug)");
    // A literal of 2^64 or more has no Type to hold it.
    if (__builtin_mul_overflow(n, base, &n) || __builtin_add_overflow(n, static_cast<u64>(d), &n))
      parse_error(p, "Number too large");
  }
  if (negative && (n >> 63)) parse_error(p, "Number too large");
  Type* hint = p->type_hint;
  Type* t = (hint && (hint->is_int() || hint->is_float())) ? hint : int_type(b);
  if (t->is_float()) {
    f64 f = 0;
    if (!parse_f64(text, &f)) parse_error(p, cat({"Invalid float syntax: ", text}));
    Value* v = new_node(b, VAL_FLOAT, t);
    v->float_value = negative ? -f : f;
    return v;
  }
  return value_int(negative ? (~n + 1) : n, t);
}

Value* incr_decr(Parser* p, Value* v, bool incr, u8 prefix) {
  if (!is_assignable(v) || !v->type || !v->type->is_int()) {
    parse_error(p, cat({"Cannot use '", incr ? "++" : "--", "' on this value"}));
  }
  require_store_access(p, v);
  if (v->kind == VAL_DECL && v->decl) v->decl->in_memory = 1;
  return incr ? value_incr(v, prefix) : value_decr(v, prefix);
}

// The operand's postfix part: ".", "(", "++", "--", "[" written directly after it.
Value* read_postfix(Parser* p, Scope* scope, Value* v, u8 ref_flag, u8 in_co) {
  for (;;) {
    next_token(p, false, false, false);
    if (p->kind != TOK_SYMBOL) return v;
    const std::string_view t = p->token();
    if (t == ".") {
      next_token(p, false, false);
      v = read_dot_access(p, scope, v, ref_flag);
    } else if (t == "(") {
      next_token(p, false, false);
      v = read_call_on_value(p, scope, v, in_co);
    } else if (t == "++" || t == "--") {
      next_token(p, false, false);
      v = incr_decr(p, v, t == "++", 0);
    } else if (t == "[") {
      next_token(p, false, false);
      v = read_index_access(p, scope, v);
    } else {
      return v;
    }
  }
}

// The symbols whose first byte may start an infix operator of read_value (a superset).
bool may_be_infix(std::string_view t) {
  switch (t[0]) {
    case '*':
    case '/':
    case '%':
    case '+':
    case '-':
    case '<':
    case '>':
    case '|':
    case '&':
    case '^':
    case '!':
    case '=':
    case '?':
      return true;
    default:
      return false;
  }
}

// Peeks at the next token (blanks and newlines skipped); true when it is a symbol.
bool peek_symbol(Parser* p) {
  next_token(p, true, true, false);
  return p->kind == TOK_SYMBOL;
}

u64 math_opcode(std::string_view t, u64 level) {
  switch (level) {
    case 11:
      if (t == "*") return OP_MUL;
      if (t == "/") return OP_DIV;
      if (t == "%") return OP_MOD;
      return 0;
    case 21:
      if (t == "+") return OP_ADD;
      if (t == "-") return OP_SUB;
      return 0;
    case 31:
      if (t == "<<") return OP_SHL;
      if (t == ">>") return OP_SHR;
      return 0;
    case 36:
      if (t == "|") return OP_BIT_OR;
      if (t == "&") return OP_BIT_AND;
      if (t == "^") return OP_BIT_XOR;
      return 0;
    default:
      return 0;
  }
}

u64 compare_opcode(std::string_view t) {
  if (t == "!=") return OP_NE;
  if (t == "==") return OP_EQ;
  if (t == "<=") return OP_LTE;
  if (t == ">=") return OP_GTE;
  if (t == "<") return OP_LT;
  if (t == ">") return OP_GT;
  return 0;
}

Class* operand_class(Type* t) {
  if (!t) return nullptr;
  if (t->class_) return t->class_;
  if (t->kind == TYPE_POINTER && t->sub && t->sub->is_inline_class()) return t->sub->class_;
  return nullptr;
}

// The equality functions, which work either way round.
const std::vector<Func*>* operator_list(Class* c, u64 op) {
  return op == OP_EQ || op == OP_NE ? &c->eq_funcs : nullptr;
}

const std::vector<Func*>& ordering_list(Class* c, u64 op) {
  switch (op) {
    case OP_LT: return c->lt_funcs;
    case OP_LTE: return c->lte_funcs;
    case OP_GT: return c->gt_funcs;
    default: return c->gte_funcs;
  }
}

// An ordering operator through the class's ordering functions: the one asked for, else
// derived from another one with the operands swapped and/or the result negated, so a
// class with only `$lt` answers all four. Null when no class function applies.
Value* ordering_call(Build* b, Scope* scope, Value* l, Value* r, u64 op) {
  struct Form {
    u64 op;
    bool swap;
    bool negate;
  };
  static const Form lt_forms[] = {{OP_LT, false, false}, {OP_GT, true, false}, {OP_GTE, false, true}, {OP_LTE, true, true}};
  static const Form gt_forms[] = {{OP_GT, false, false}, {OP_LT, true, false}, {OP_LTE, false, true}, {OP_GTE, true, true}};
  static const Form lte_forms[] = {{OP_LTE, false, false}, {OP_GTE, true, false}, {OP_GT, false, true}, {OP_LT, true, true}};
  static const Form gte_forms[] = {{OP_GTE, false, false}, {OP_LTE, true, false}, {OP_LT, false, true}, {OP_GT, true, true}};
  const Form* forms = op == OP_LT ? lt_forms : op == OP_GT ? gt_forms : op == OP_LTE ? lte_forms : gte_forms;
  for (size_t i = 0; i < 4; i++) {
    const Form& f = forms[i];
    Value* x = f.swap ? r : l;
    Value* y = f.swap ? l : r;
    Class* c = operand_class(x->type);
    if (!c) continue;
    const std::vector<Func*>& list = ordering_list(c, f.op);
    if (list.empty()) continue;
    Func* chosen = find_operator_func(list, x->type, y->type);
    if (!chosen) continue;
    Value* call = value_function_call(b, scope, value_func(chosen), {x, y});
    if (!f.negate) return call;
    Value* n = value_not(call);
    n->type = call->type;
    return n;
  }
  return nullptr;
}

Value* read_comparison(Parser* p, Scope* scope, Value* left, u64 op) {
  Build* b = p->build;
  push_type_hint(p, left->type);
  Value* right = read_value(p, scope, 40, 0);
  pop_type_hint(p);
  Value* l = left;
  Value* r = right;
  balance_number_types(b, l, r);

  const bool eq_like = op == OP_EQ || op == OP_NE;
  const bool ptr_like = l->type->is_pointer_sized() && r->type->is_pointer_sized();
  Type* lt = (eq_like && ptr_like) ? l->type->get_non_nullable() : l->type;
  Type* rt = (eq_like && ptr_like) ? r->type->get_non_nullable() : r->type;

  if (!eq_like) {
    if (Value* call = ordering_call(b, scope, l, r, op)) return call;
  }

  Func* chosen = nullptr;
  Value* a1 = l;
  Value* a2 = r;
  Class* lc = operand_class(l->type);
  const std::vector<Func*>* list = lc ? operator_list(lc, op) : nullptr;
  if (list && !list->empty()) {
    chosen = find_operator_func(*list, lt, rt);
    if (!chosen) {
      Class* rc = operand_class(r->type);
      const std::vector<Func*>* rlist = rc ? operator_list(rc, op) : nullptr;
      if (rlist) chosen = find_operator_func(*rlist, rt, lt);
      if (chosen) {
        a1 = r;
        a2 = l;
      }
    }
  }

  if (chosen) {
    Value* call = value_function_call(b, scope, value_func(chosen), {a1, a2});
    if (!eq_like) return call;
    Type* bt = bool_type(b);
    if (ptr_like) {
      if (a1->type->nullable) {
        call = value_and_or(value_compare(a1, value_null(a1->type), OP_NE, bt), call, OP_AND, bt);
      }
      if (a2->type->nullable) {
        call = value_and_or(value_compare(a2, value_null(a2->type), OP_NE, bt), call, OP_AND, bt);
      }
      call = value_and_or(value_compare(a1, a2, OP_EQ, bt), call, OP_OR, bt);
    }
    if (op == OP_NE) {
      Value* n = value_not(call);
      n->type = call->type;
      return n;
    }
    return call;
  }

  Value* conv = convert_value(r, p->context, scope, l->type);
  check_type_compat(l->type, conv->type, p->context, nullptr);
  return value_compare(l, conv, op, bool_type(b));
}

Value* read_logical(Parser* p, Scope* scope, Value* left, u64 op) {
  if (!left->type || !left->type->is_bool()) {
    parse_error(p, cat({"Expected a value of type 'bool', not: ", left->type ? left->type->to_text() : ""}));
  }
  Scope* rs = op == OP_AND ? narrowing_scope(scope, left->true_decls) : scope;
  Value* right = read_value(p, rs, 50, 0);
  if (!right->type || !right->type->is_bool()) {
    parse_error(p, cat({"Expected a value of type 'bool', not: ", right->type ? right->type->to_text() : ""}));
  }
  return value_and_or(left, right, op, left->type);
}

Value* read_ternary(Parser* p, Scope* scope, Value* cond) {
  Build* b = p->build;
  if (!cond->type || !cond->type->is_bool()) {
    parse_error(p, cat({"You can only use '?' after values that return a bool. This value has type: ",
                        cond->type ? cond->type->to_text() : ""}));
  }
  Scope* then_scope = narrowing_scope(scope, cond->true_decls);
  Value* a = read_value(p, then_scope, PRIO_ALL, 0);
  next_token(p, true, true);
  if (!symbol_is(p, ":")) parse_error(p, cat({"Expected token: ':', instead of: '", p->token(), "'"}));
  if (then_scope->did_exit) {
    for (Decl* d : cond->false_decls) add_once(scope->not_null, d);
  }
  Scope* else_scope = narrowing_scope(scope, cond->false_decls);
  push_type_hint(p, a->type);
  Value* c = read_value(p, else_scope, PRIO_ALL, 0);
  pop_type_hint(p);
  balance_number_types(b, a, c);
  Type* own = a->type;
  Type* rt = own;
  if (c->type->nullable && !own->nullable) rt = own->get_nullable();
  check_type_compat(rt, c->type, p->context, nullptr);
  check_type_compat(c->type, own, p->context, nullptr);
  Value* v = value_this_or_that(cond, a, c, rt);
  for (Scope* br : {then_scope, else_scope}) {
    if (br->did_exit) continue;
    for (Decl* d : br->maybe_null) scope->set_maybe_null(d);
  }
  for (Decl* d : then_scope->not_null) {
    if (contains(else_scope->not_null, d)) add_once(scope->not_null, d);
  }
  return v;
}

Value* read_alternative(Parser* p, Scope* scope, Value* left, bool block) {
  Build* b = p->build;
  if (!block) {
    Value* alt = read_value(p, scope, PRIO_ALL, 0);
    Value* conv = convert_value(alt, p->context, scope, left->type);
    check_type_compat(left->type, conv->type, p->context, nullptr);
    Value* v = new_node(b, VAL_ALT_VALUE, conv->type);
    v->op1 = left;
    v->op2 = conv;
    return v;
  }
  Scope* s = new_scope(scope, SCOPE_BLOCK);
  next_token(p, true, true, false);
  if (symbol_is(p, "{")) {
    next_token(p, true, true);
    read_statements(p, s, 0);
  } else {
    read_statements(p, s, 1);
  }
  if (!s->did_exit) parse_error(p, "Expected the code after '?!' to end with: return, exit, continue, break or throw");
  Value* v = new_node(b, VAL_ALT_BLOCK, left->type->get_non_nullable());
  v->op1 = left;
  v->scope = s;
  return v;
}

}  // namespace

Value* read_value(Parser* p, Scope* scope, u64 priority, u8 ref_flag) {
  NestingGuard level(p, NEST_VALUE);
  Build* b = p->build;
  save_position2(p);
  next_token(p, true, true);
  const u8 in_co = p->in_co;
  p->in_co = 0;
  Value* prefix = p->prefix_value;
  p->prefix_value = nullptr;

  bool negative = false;
  if (p->kind == TOK_SYMBOL && p->is("-")) {
    next_token(p, false, false);
    if (p->kind < TOK_INT || p->kind > TOK_OCTAL) {
      parse_error(p, cat({"Expected a valid number after: '-', found: '", p->token(), "'"}));
    }
    negative = true;
  }

  Value* v = nullptr;
  switch (p->kind) {
    case TOK_WORD:
      v = read_word_value(p, scope);
      break;
    case TOK_AT_WORD:
      v = read_intrinsic(p, scope, prefix);
      break;
    case TOK_CHAR:
      v = value_int(p->char_value, runtime_class_type(b, "type", "u8"));
      break;
    case TOK_STRING:
      v = read_string_literal(p, scope);
      break;
    case TOK_SYMBOL:
      v = read_sign_value(p, scope, prefix);
      break;
    case TOK_INT:
    case TOK_FLOAT:
    case TOK_HEX:
    case TOK_OCTAL:
      v = read_number(p, negative);
      break;
    default:
      break;
  }
  if (!v) parse_error(p, cat({"Unknown value/token: '", p->token(), "'"}));

  v = read_postfix(p, scope, v, ref_flag, in_co);
  if (priority >= 11) {
    // Most values end at a token that no infix level below takes; each level would peek
    // at it and stop.
    next_token(p, true, true, false);
    if (p->kind != TOK_SYMBOL || !may_be_infix(p->token())) return v;
  }

  // Infix levels, each tried once in order; a level repeats while its operators follow.
  for (u64 level : {11, 21, 31, 36}) {
    if (priority < level) return v;
    while (peek_symbol(p)) {
      const u64 op = math_opcode(p->token(), level);
      if (!op) break;
      next_token(p, true, true);
      push_type_hint(p, v->type);
      Value* right = read_value(p, scope, level - 1, 0);
      pop_type_hint(p);
      v = math_op_value(p, scope, op, v, right);
    }
  }
  if (priority < 41) return v;
  while (peek_symbol(p)) {
    const u64 op = compare_opcode(p->token());
    if (!op) break;
    next_token(p, true, true);
    v = read_comparison(p, scope, v, op);
  }
  if (priority < 51) return v;
  while (peek_symbol(p)) {
    const std::string_view t = p->token();
    const u64 op = t == "&&" ? OP_AND : t == "||" ? OP_OR : 0;
    if (!op) break;
    next_token(p, true, true);
    v = read_logical(p, scope, v, op);
  }
  if (priority < 61) return v;
  for (;;) {
    next_token(p, true, true, false);
    if (p->token() != "?") break;
    next_token(p, true, true);
    v = read_ternary(p, scope, v);
  }
  if (priority < 71) return v;
  for (;;) {
    next_token(p, true, true, false);
    const std::string_view t = p->token();
    if (t != "??" && t != "?!") break;
    if (!v->type || !v->type->nullable) {
      parse_error(p, cat({"You can only use '?" "?' and '?!' on nullable values. Value type is: '",
                          v->type ? v->type->to_text() : "", "'"}));
    }
    const bool block = t == "?!";
    next_token(p, true, true);
    v = read_alternative(p, scope, v, block);
  }
  return v;
}

}  // namespace tesk
