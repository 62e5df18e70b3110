#pragma once
// Statement lists and function ASTs built by hand, for the function and statement IR.
#include <string>
#include <vector>

#include "../ir/ir_fixture.h"
#include "irgen/irgen.h"
#include "irgen/value_ir.h"
#include "stmt/ast.h"

namespace tesk::test {

class StmtIrTest : public IrTest {
 protected:
  // Arguments numbered from 1 in each test, whatever the runtime set-up made.
  void SetUp() override {
    IrTest::SetUp();
    decl_counter = 0;
  }
  AstNode* node(u64 kind, Value* value = nullptr, Scope* scope = nullptr, Scope* else_scope = nullptr) {
    AstNode* n = b->make<AstNode>();
    n->kind = kind;
    n->value = value;
    n->scope = scope;
    n->else_scope = else_scope;
    return n;
  }
  AstNode* decl_node(u64 kind, Decl* d, Value* value = nullptr) {
    AstNode* n = node(kind, value);
    n->decl = d;
    return n;
  }
  AstNode* assign(Value* target, Value* value) {
    AstNode* n = node(AST_ASSIGN, target);
    n->value2 = value;
    return n;
  }
  AstNode* comment(const std::string& text) {
    AstNode* n = node(AST_COMMENT);
    n->text = text;
    return n;
  }
  AstNode* ret(Value* v = nullptr) { return node(AST_RETURN, v); }
  Scope* scope(std::vector<AstNode*> nodes, bool jumped = false) {
    Scope* s = b->make<Scope>();
    s->build = b;
    s->ast = std::move(nodes);
    s->did_exit = jumped;
    return s;
  }

  Value* val(u64 kind, Type* type) {
    Value* v = b->make<Value>();
    v->kind = kind;
    v->type = type;
    return v;
  }
  Value* int_v(i64 n, Type* type) {
    Value* v = val(VAL_INT, type);
    v->number = static_cast<u64>(n);
    return v;
  }
  Value* decl_v(Decl* d) {
    Value* v = val(VAL_DECL, d->type);
    v->decl = d;
    return v;
  }
  Value* arg_v(Func* f, size_t i) { return decl_v(f->args[i]->decl); }

  Decl* local(const std::string& name, Type* type, bool in_memory = false) {
    Decl* d = b->make<Decl>();
    d->name = name;
    d->type = type;
    d->ir_name = "%var." + name + "." + std::to_string(++decl_counter);
    d->in_memory = in_memory;
    d->used = 1;
    return d;
  }

  // Gives the function an AST whose body holds the nodes.
  FuncAst* set_body(Func* f, std::vector<AstNode*> nodes) {
    FuncAst* a = b->make<FuncAst>();
    a->build = b;
    a->func = f;
    a->scope = scope(std::move(nodes));
    f->ast = a;
    return a;
  }

  // Writes the nodes as the body of an active function and returns the joined text.
  std::string write_body(Func* f, std::vector<AstNode*> nodes) {
    set_body(f, std::move(nodes));
    build_func_ir(f);
    return std::string(f->ir_text);
  }

  // Runs fn, which must end the process with code 1; returns what it printed.
  std::string exit_output_of(const std::function<void()>& fn) {
    set_exit_throws(true);
    testing::internal::CaptureStdout();
    int code = -1;
    try {
      fn();
    } catch (const ExitRequest& e) {
      code = e.code;
    } catch (const BuildFailure&) {
      code = -2;
    }
    std::string out = testing::internal::GetCapturedStdout();
    set_exit_throws(false);
    if (code != 1) return "<exit " + std::to_string(code) + "> " + out;
    return out;
  }
};

}  // namespace tesk::test
