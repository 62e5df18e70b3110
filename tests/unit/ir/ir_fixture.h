#pragma once
// Small model builders for the IR writer tests: types of a kind and size, functions
// with arguments, globals, a unit, and a minimal runtime package.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/value.h"
#include "ir/context.h"
#include "ir/data.h"
#include "ir/records.h"
#include "ir/types.h"
#include "ir/unit_ir.h"
#include "ir/writers.h"
#include "irgen/irgen.h"
#include "llvm_check.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk::test {

class IrTest : public ::testing::Test {
 protected:
  std::unique_ptr<Build> build = std::make_unique<Build>();
  Build* b = build.get();
  Unit* unit = nullptr;
  SourceFile* file = nullptr;
  std::vector<std::unique_ptr<IrFunc>> ir_funcs;

  void SetUp() override {
    b->watch_mode = 1;  // errors raise instead of ending the process
    b->target.os = "linux";
    b->target.arch = "x64";
    unit = new_unit("main");
    file = new_file(unit, "/proj/src/main.tesk");
    setup_runtime();
    Package* main_pkg = b->make<Package>();
    main_pkg->build = b;
    main_pkg->name = "main";
    Namespace* main_ns = b->make<Namespace>();
    main_ns->package = main_pkg;
    main_ns->build = b;
    main_ns->name = "main";
    main_ns->unit = unit;
    main_pkg->namespaces.set("main", main_ns);
    b->main_namespace = main_ns;
    file->ns = main_ns;
  }

  Unit* new_unit(const std::string& name) {
    Unit* u = b->make<Unit>();
    u->build = b;
    u->name = name;
    b->units.push_back(u);
    return u;
  }

  SourceFile* new_file(Unit* u, const std::string& path) {
    SourceFile* f = b->make<SourceFile>();
    f->build = b;
    f->unit = u;
    f->path = path;
    return f;
  }

  // ---- types
  Class* new_class(u64 kind, u64 size, bool is_signed, const std::string& name = "C") {
    Class* c = b->make<Class>();
    c->build = b;
    c->kind = kind;
    c->size = size;
    c->signed_ = is_signed;
    c->name = name;
    c->display_name = name;
    return c;
  }
  Type* type_of(u64 kind, Class* c) {
    Type* t = b->make<Type>();
    t->kind = kind;
    t->build = b;
    t->class_ = c;
    if (c) t->signed_ = c->signed_;
    return t;
  }
  Type* int_t(u64 size, bool is_signed = true) {
    std::string name = std::string(is_signed ? "i" : "u") + std::to_string(size * 8);
    return type_of(TYPE_INT, new_class(CLASS_INTEGER, size, is_signed, name));
  }
  Type* uint_t(u64 size) { return int_t(size, false); }
  Type* float_t(u64 size) { return type_of(TYPE_FLOAT, new_class(CLASS_FLOAT, size, true, "f" + std::to_string(size * 8))); }
  Type* bool_t(bool is_signed = false) { return type_of(TYPE_BOOL, new_class(CLASS_BOOLEAN, 1, is_signed, "bool")); }
  Type* struct_t(u64 size) { return type_of(TYPE_STRUCT, new_class(CLASS_STRUCT, size, false, "S")); }
  Type* kind_t(u64 kind, bool nullable = false) {
    Type* t = type_of(kind, nullptr);
    t->nullable = nullable;
    return t;
  }
  Type* ptr_t(bool nullable = false) {
    Type* t = kind_t(TYPE_POINTER, nullable);
    t->sub = struct_t(8);
    return t;
  }
  Type* array_t(Type* sub, u64 count) {
    Type* t = type_of(TYPE_ARRAY, nullptr);
    t->sub = sub;
    t->count = count;
    return t;
  }
  Type* multi_t(std::vector<Type*> items) {
    Type* t = type_of(TYPE_MULTI, nullptr);
    t->items = b->make<std::vector<Type*>>(std::move(items));
    return t;
  }
  Type* void_t() { return kind_t(TYPE_VOID); }

  // ---- runtime package: type:u8, type:u32, type:String, gc:property_update
  Unit* gc_unit = nullptr;
  Func* property_update = nullptr;

  Namespace* add_runtime_ns(Package* pkg, const std::string& name) {
    Namespace* ns = b->make<Namespace>();
    ns->package = pkg;
    ns->build = b;
    ns->name = name;
    ns->scope = b->make<Scope>();
    ns->scope->build = b;
    ns->scope->kind = SCOPE_NAMESPACE;
    pkg->namespaces.set(name, ns);
    return ns;
  }
  void add_class_id(Namespace* ns, Class* c) {
    Identifier* id = b->make<Identifier>();
    id->kind = IDENT_CLASS;
    id->class_ = c;
    ns->scope->identifiers.set(c->name, id);
  }
  void setup_runtime(bool with_gc = true, bool with_update = true) {
    Package* pkg = b->make<Package>();
    pkg->build = b;
    pkg->name = "tesk";
    b->tesk_package = pkg;
    Namespace* type_ns = add_runtime_ns(pkg, "type");
    add_class_id(type_ns, new_class(CLASS_INTEGER, 1, false, "u8"));
    add_class_id(type_ns, new_class(CLASS_INTEGER, 4, false, "u32"));
    add_class_id(type_ns, new_class(CLASS_CLASS, 16, false, "String"));
    if (!with_gc) return;
    Namespace* gc_ns = add_runtime_ns(pkg, "gc");
    if (!with_update) return;
    gc_unit = new_unit("tesk__gc");
    property_update = make_func(gc_unit, "tesk__gc__property_update", void_t(), {ptr_t(), ptr_t(), ptr_t(true)});
    Identifier* id = b->make<Identifier>();
    id->kind = IDENT_FUNC;
    id->func = property_update;
    gc_ns->scope->identifiers.set("property_update", id);
  }

  // ---- functions and globals
  u64 decl_counter = 0;
  Func* make_func(Unit* u, const std::string& name, Type* ret, std::vector<Type*> args, bool used = true) {
    Func* f = b->make<Func>();
    f->unit = u;
    f->build = b;
    f->file = file;
    f->name = name;
    f->export_name = name;
    f->display_name = "main:" + name;
    f->return_type = ret;
    f->ir_return_type = ret;
    f->used = used;
    for (size_t i = 0; i < args.size(); i++) {
      FuncArg* a = b->make<FuncArg>();
      a->name = "a" + std::to_string(i);
      a->type = args[i];
      Decl* d = b->make<Decl>();
      d->name = a->name;
      d->type = args[i];
      d->is_arg = 1;
      d->ir_name = "%arg." + a->name + "." + std::to_string(++decl_counter);
      a->decl = d;
      f->args.push_back(a);
    }
    u->funcs.push_back(f);
    return f;
  }
  // A function that declares errors: its IR result is the results, u32 and String.
  void make_can_error(Func* f) {
    f->can_error = 1;
    std::vector<Type*> items = f->get_func_info()->rets;
    items.push_back(uint_t(4));
    items.push_back(ptr_t());
    f->ir_return_type = multi_t(items);
  }
  FuncInfo* info_of(Func* f) { return f->get_func_info(); }
  std::string arg(Func* f, size_t i) { return f->args[i]->decl->ir_name; }

  Global* make_global(Unit* u, const std::string& name, Type* type, bool shared = false, bool ext = false) {
    Global* g = b->make<Global>();
    g->unit = u;
    g->build = b;
    g->name = name;
    g->display_name = name;
    g->export_name = name;
    g->ir_name = "@" + name;
    g->type = type;
    g->shared = shared;
    g->extern_ = ext;
    if (!ext) u->globals.push_back(g);
    return g;
  }

  // ---- writing a function body with the writers
  IrUnit* ir(Unit* u = nullptr) { return get_unit_ir(u ? u : unit); }
  IrFunc* begin(Func* f) {
    IrUnit* iu = get_unit_ir(f->unit);
    ir_funcs.push_back(std::make_unique<IrFunc>(iu, f));
    set_active_ir_func(iu, ir_funcs.back().get());
    return ir_funcs.back().get();
  }
  // Joins the blocks as the function IR does and keeps the text in the function.
  std::string end(Func* f) {
    IrUnit* iu = get_unit_ir(f->unit);
    f->ir_text = ir_join_blocks(iu->func);
    clear_active_ir_func(iu);
    return std::string(f->ir_text);
  }
  std::string block_text(IrBlock* blk) { return blk->text.to_string(); }
  std::string active_text() { return ir()->block->text.to_string(); }

  // Assembles the unit and requires LLVM to accept it for every target.
  std::string assemble(Unit* u = nullptr) {
    std::string text = unit_ir_text(get_unit_ir(u ? u : unit));
    std::string problem = llvm_check(text);
    EXPECT_EQ(problem, "") << text;
    return text;
  }

  // Runs fn, which must end with a build error; returns the reported message.
  std::string error_of(const std::function<void()>& fn) {
    testing::internal::CaptureStdout();
    bool raised = false;
    try {
      fn();
    } catch (const BuildFailure&) {
      raised = true;
    }
    std::string out = testing::internal::GetCapturedStdout();
    if (!raised) return "<no error>";
    // "# Build error", a dashed line, the message, a dashed line.
    const std::string dash = "-----------------------------\n";
    size_t s = out.find(dash);
    size_t e = out.rfind(dash);
    if (s == std::string::npos || e == s) return "<no box> " + out;
    s += dash.size();
    return out.substr(s, e - s - 1);
  }
};

}  // namespace tesk::test
