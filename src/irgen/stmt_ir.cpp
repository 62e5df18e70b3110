#include <string>

#include "driver/errors.h"
#include "expr/value.h"
#include "ir/context.h"
#include "ir/types.h"
#include "ir/writers.h"
#include "irgen/irgen.h"
#include "irgen/value_ir.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

namespace {

// Inconsistencies the statement reader should never produce: one line, exit code 1.
[[noreturn]] void ir_bug_exit(std::string_view line) {
  std::string text(line);
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stdout);
  exit_process(1);
}

Value* node_value(AstNode* node) {
  if (!node->value) fatal_build_error("Missing token value (bug)");
  return node->value;
}

Value* node_value2(AstNode* node) {
  if (!node->value2) fatal_build_error("Missing token value (bug)");
  return node->value2;
}

Decl* node_decl(AstNode* node) {
  if (!node->decl) fatal_build_error("Missing token decl (bug)");
  return node->decl;
}

// A type whose stores into an object must tell the collector: closures and class
// references.
bool is_gc_ref_type(Type* t) {
  if (!t) return false;
  if (t->kind == TYPE_FN) return true;
  if (t->kind != TYPE_POINTER || !t->sub || t->sub->kind != TYPE_CLASS) return false;
  if (!t->sub->class_) ir_bug_exit("Type has no class: " + t->to_text() + " (bug)");
  return true;
}

void ir_declare(IrUnit* u, AstNode* node) {
  Decl* d = node_decl(node);
  Value* value = node_value(node);
  active_ir_func(u);
  std::string v = ir_value_cached(u, value);
  if (!d->used) return;
  if (d->in_memory) {
    ir_store(u, d->ir_name, v, ir_type(d->type));
    return;
  }
  if (d->is_gc && !u->func->func->reduced) {
    // The slot keeps the reference visible to the collector; reads use the operand.
    ir_store(u, d->ir_name, v, ir_type(d->type));
  }
  d->ir_value = v;
}

void ir_return(IrUnit* u, AstNode* node) {
  if (!node->value) {
    ir_ret_void(u);
    return;
  }
  std::string v = ir_value_cached(u, node->value);
  std::string type = ir_type(node->value->type);
  // An empty result group of a function without results has no operand.
  if (type == "void") {
    ir_ret_void(u);
    return;
  }
  ir_ret(u, v, type);
}

void ir_assign(IrUnit* u, AstNode* node) {
  Value* target = node_value(node);
  Value* value = node_value2(node);
  std::string v = ir_value_cached(u, value);
  if (target->kind == VAL_PROP && target->op1 && is_gc_ref_type(target->op1->type) &&
      is_gc_ref_type(target->type)) {
    std::string object = ir_value_cached(u, target->op1);
    std::string ptr = ir_assignable_cached(u, target);
    ir_write_barrier(u, object, ptr, v);
    return;
  }
  std::string ptr = ir_assignable_cached(u, target);
  ir_store(u, ptr, v, ir_type(value->type));
}

void ir_decl_offset(IrUnit* u, AstNode* node) {
  Decl* d = node->decl;
  if (!d) ir_bug_exit("IR bug: Missing decl while defining decl_offset");
  IrFunc* f = active_ir_func(u);
  active_ir_block(u);
  std::string type = ir_type(d->type);
  const std::string& name = d->ir_name;
  Build* b = d->type && d->type->build ? d->type->build : u->build;
  u64 ptr_size = b->ptr_size;
  u64 align = d->type && d->type->size() < ptr_size ? 4 : ptr_size;
  TextWriter& w = active_ir_text(u);
  if (d->stable || (d->is_gc && !f->func->reduced)) {
    FuncAst* ast = f->func->get_ast();
    Value* base = d->stable ? ast->stable_alloc : ast->slot_base;
    if (!base) {
      ir_bug_exit(d->stable ? "IR bug: Missing cache_stable_adr in decl_offset"
                            : "IR bug: Missing cache_stack_adr in decl_offset");
    }
    std::string adr = ir_value_cached(u, base);
    TextWriter& out = active_ir_text(u);
    out << "  " << name << " = getelementptr i8, ptr " << adr << ", i32 ";
    out.append_u64(d->offset);
    out << "\n";
  } else {
    w << "  " << name << " = alloca " << type << ", align ";
    w.append_u64(align);
    w << "\n";
  }
  if (d->is_arg) {
    TextWriter& out = active_ir_text(u);
    out << "  store " << type << " " << name << "_init, ptr " << name << ", align ";
    out.append_u64(align);
    out << "\n";
  }
}

void ir_zero_memory(IrUnit* u, AstNode* node) {
  std::string p = ir_value_cached(u, node_value(node));
  TextWriter& w = active_ir_text(u);
  w << "  call void @llvm.memset.inline.p0.i64(ptr " << p << ", i8 0, i64 ";
  w.append_u64(node->number);
  w << ", i1 0)\n";
}

// Loop bodies see their own break and continue targets; the enclosing ones come back
// before anything after the body is written.
struct LoopTargets {
  IrUnit* u;
  IrBlock* saved_continue;
  IrBlock* saved_break;
  LoopTargets(IrUnit* unit, IrBlock* cont, IrBlock* brk)
      : u(unit), saved_continue(unit->continue_block), saved_break(unit->break_block) {
    u->continue_block = cont;
    u->break_block = brk;
  }
  ~LoopTargets() {
    u->continue_block = saved_continue;
    u->break_block = saved_break;
  }
};

}  // namespace

void ir_statements(IrUnit* u, std::vector<AstNode*>& nodes) {
  // Indexed: a writer may append to a list that is being written.
  for (size_t i = 0; i < nodes.size(); i++) {
    AstNode* node = nodes[i];
    switch (node->kind) {
      case AST_VALUE:
        ir_value_cached(u, node_value(node));
        break;
      case AST_DECLARE:
        ir_declare(u, node);
        break;
      case AST_RETURN:
        ir_return(u, node);
        break;
      case AST_WHILE:
        ir_while(u, node_value(node), node->scope);
        break;
      case AST_IF:
        ir_if(u, node_value(node), node->scope, node->else_scope);
        break;
      case AST_ASSIGN:
        ir_assign(u, node);
        break;
      case AST_BREAK:
        if (!u->break_block) ir_error(u, "Missing ir block for 'break' (bug)");
        ir_br(u, u->break_block);
        break;
      case AST_CONTINUE:
        if (!u->continue_block) ir_error(u, "Missing ir block for 'continue' (bug)");
        ir_br(u, u->continue_block);
        break;
      case AST_COMMENT:
        ir_comment(u, node->text);
        break;
      case AST_SCOPE:
        if (node->scope) ir_statements(u, node->scope->ast);
        break;
      case AST_EACH:
        ir_each(u, node->scope);
        break;
      case AST_VSCOPE_RETURN:
        if (!u->vscope_block) ir_error(u, "Missing IR vscope block (bug)");
        ir_br(u, u->vscope_block);
        break;
      case AST_DECL_OFFSET:
        ir_decl_offset(u, node);
        break;
      case AST_UNREACHABLE:
        active_ir_text(u) << "  unreachable\n";
        break;
      case AST_ZERO_MEMORY:
        ir_zero_memory(u, node);
        break;
      default:
        ir_error(u, "Unknown IR token: " + std::to_string(node->kind));
    }
  }
}

void ir_while(IrUnit* u, Value* cond, Scope* body) {
  IrFunc* f = active_ir_func(u);
  IrBlock* cond_block = new_ir_block(f, "while_cond");
  IrBlock* code_block = new_ir_block(f, "while_code");
  IrBlock* after_block = new_ir_block(f, "while_after");
  ir_br(u, cond_block);
  set_active_ir_block(u, cond_block);
  std::string x = ir_value_cached(u, cond);
  ir_br_cond(u, x, code_block, after_block);
  set_active_ir_block(u, code_block);
  {
    LoopTargets targets(u, cond_block, after_block);
    if (body) ir_statements(u, body->ast);
  }
  if (!body || !body->did_exit) ir_br(u, cond_block);
  set_active_ir_block(u, after_block);
}

void ir_each(IrUnit* u, Scope* body) {
  IrFunc* f = active_ir_func(u);
  IrBlock* code_block = new_ir_block(f, "each_code");
  IrBlock* after_block = new_ir_block(f, "each_after");
  ir_br(u, code_block);
  set_active_ir_block(u, code_block);
  {
    LoopTargets targets(u, code_block, after_block);
    if (body) ir_statements(u, body->ast);
  }
  if (!body || !body->did_exit) ir_br(u, code_block);
  set_active_ir_block(u, after_block);
}

void ir_if(IrUnit* u, Value* cond, Scope* then_scope, Scope* else_scope) {
  IrFunc* f = active_ir_func(u);
  IrBlock* then_block = new_ir_block(f, "if_code");
  IrBlock* else_block = else_scope ? new_ir_block(f, "if_else") : nullptr;
  IrBlock* after_block = new_ir_block(f, "if_after");
  std::string x = ir_value_cached(u, cond);
  ir_br_cond(u, x, then_block, else_block ? else_block : after_block);
  set_active_ir_block(u, then_block);
  if (then_scope) ir_statements(u, then_scope->ast);
  if (!then_scope || !then_scope->did_exit) ir_br(u, after_block);
  if (else_scope) {
    set_active_ir_block(u, else_block);
    ir_statements(u, else_scope->ast);
    if (!else_scope->did_exit) ir_br(u, after_block);
  }
  set_active_ir_block(u, after_block);
}

}  // namespace tesk
