#pragma once
// Value trees for the value IR tests, on top of the IR writer fixture: values of each
// kind, statement nodes, and a function whose body is written by ir_value.
#include "../ir/ir_fixture.h"
#include "irgen/irgen.h"
#include "irgen/value_ir.h"
#include "model/runtime.h"
#include "stmt/ast.h"
#include "util/errors.h"

namespace tesk::test {

class ValueIrTest : public IrTest {
 protected:
  void SetUp() override {
    IrTest::SetUp();
    // The tag clearing of GC references reads type:uint and type:ptr.
    Namespace* type_ns = *b->tesk_package->namespaces.find("type");
    add_class_id(type_ns, new_class(CLASS_INTEGER, 8, false, "uint"));
    add_class_id(type_ns, new_class(CLASS_POINTER, 8, false, "ptr"));
  }

  Value* val(u64 kind, Type* type = nullptr) {
    Value* v = b->make<Value>();
    v->kind = kind;
    v->type = type;
    return v;
  }
  Value* int_v(u64 n, Type* t = nullptr) {
    Value* v = val(VAL_INT, t ? t : int_t(8));
    v->number = n;
    return v;
  }
  Value* bool_v(bool on) {
    Value* v = val(VAL_BOOL, bool_t());
    v->flag = on;
    return v;
  }
  Value* un(u64 kind, Type* t, Value* a) {
    Value* v = val(kind, t);
    v->op1 = a;
    return v;
  }
  Value* bin(u64 kind, Type* t, Value* a, Value* c, u64 number = 0) {
    Value* v = un(kind, t, a);
    v->op2 = c;
    v->number = number;
    return v;
  }
  Value* math(Value* a, Value* c, u64 op = OP_ADD) { return bin(VAL_MATH, a->type, a, c, op); }
  Value* arg_v(Func* f, size_t i) {
    Value* v = val(VAL_DECL, f->args[i]->type);
    v->decl = f->args[i]->decl;
    return v;
  }
  Value* func_v(Func* f) {
    Value* v = val(VAL_FUNC);
    v->func = f;
    Type* t = kind_t(TYPE_FNPTR);
    t->func_info = f->get_func_info();
    v->type = t;
    return v;
  }
  Value* call_v(Func* f, std::vector<Value*> args) {
    Value* c = val(VAL_CALL, f->ir_return_type);
    c->op1 = func_v(f);
    c->values = std::move(args);
    return c;
  }
  Value* result_v(Value* call, u64 index, Type* t) {
    Value* r = un(VAL_RETURN_VALUE, t, call);
    r->number = index;
    r->pre_value = call;
    return r;
  }
  // A local that lives in memory, with its alloca written in the start block.
  Decl* mem_local(Type* t, const std::string& name) {
    Decl* d = b->make<Decl>();
    d->name = name;
    d->type = t;
    d->in_memory = 1;
    d->ir_name = "%" + name;
    ir()->func->start->text << "  %" << name << " = alloca " << ir_type(t) << ", align 8\n";
    return d;
  }
  Value* decl_v(Decl* d) {
    Value* v = val(VAL_DECL, d->type);
    v->decl = d;
    return v;
  }
  Property* prop(const std::string& name, Type* t, u64 offset) {
    Property* p = b->make<Property>();
    p->name = name;
    p->type = t;
    p->offset = offset;
    return p;
  }
  Value* prop_v(Value* object, Property* p) {
    Value* v = un(VAL_PROP, p->type, object);
    v->property = p;
    return v;
  }
  // A reference to a class: the type of properties whose words carry tag bits.
  Type* class_ref_t() {
    Type* t = kind_t(TYPE_POINTER);
    t->sub = type_of(TYPE_CLASS, new_class(CLASS_CLASS, 16, false, "Obj"));
    return t;
  }

  AstNode* node(u64 kind, Value* v = nullptr) {
    AstNode* n = b->make<AstNode>();
    n->kind = kind;
    n->value = v;
    return n;
  }
  AstNode* comment(const std::string& text) {
    AstNode* n = node(AST_COMMENT);
    n->text = text;
    return n;
  }
  Scope* scope_of(std::vector<AstNode*> nodes, u64 kind = SCOPE_BLOCK) {
    Scope* s = b->make<Scope>();
    s->build = b;
    s->kind = kind;
    s->ast = std::move(nodes);
    return s;
  }

  std::string code_text() { return ir()->func->code->text.to_string(); }
  std::string err(const std::function<void()>& fn) { return error_of(fn); }
  // Runs fn, which must end the process with a plain line; returns that output.
  std::string exit_line_of(const std::function<void()>& fn) {
    set_exit_throws(true);
    testing::internal::CaptureStdout();
    int code = -1;
    try {
      fn();
    } catch (const ExitRequest& e) {
      code = e.code;
    }
    std::string out = testing::internal::GetCapturedStdout();
    set_exit_throws(false);
    return std::to_string(code) + ":" + out;
  }
};

}  // namespace tesk::test
