#include "ir_fixture.h"

namespace tesk::test {

TEST_F(IrTest, IrTypeOfEveryKind) {
  struct Case {
    Type* type;
    const char* text;
  };
  Type* i64 = int_t(8);
  std::vector<Case> cases = {
      {void_t(), "void"},
      {ptr_t(), "ptr"},
      {kind_t(TYPE_NULL), "ptr"},
      {kind_t(TYPE_RAW_POINTER), "ptr"},
      {kind_t(TYPE_FNPTR), "ptr"},
      {kind_t(TYPE_FN), "ptr"},
      {kind_t(TYPE_CO), "ptr"},
      {kind_t(TYPE_REFERENCE), "ptr"},
      {struct_t(24), "[24 x i8]"},
      {type_of(TYPE_CLASS, new_class(CLASS_CLASS, 16, false)), "[16 x i8]"},
      {int_t(1), "i8"},
      {uint_t(2), "i16"},
      {int_t(4), "i32"},
      {i64, "i64"},
      {int_t(3), "-unknown-int-size-3"},
      {float_t(4), "float"},
      {float_t(8), "double"},
      {float_t(2), "-unknown-float-size-2"},
      {array_t(array_t(i64, 3), 2), "[2 x [3 x i64]]"},
      {kind_t(TYPE_ERROR), "i32"},
      {multi_t({}), "void"},
      {multi_t({i64}), "i64"},
      {multi_t({i64, ptr_t(), bool_t()}), "{i64, ptr, i1}"},
      {multi_t({i64, multi_t({int_t(4), float_t(8)})}), "{i64, {i32, double}}"},
      {bool_t(), "i1"},
  };
  for (const Case& c : cases) EXPECT_EQ(ir_type(c.type), c.text) << "kind " << c.type->kind;
  EXPECT_EQ(ir_return_type({}), "void");
  EXPECT_EQ(ir_return_type({i64}), "i64");
  EXPECT_EQ(ir_return_type({i64, uint_t(4), ptr_t()}), "{i64, i32, ptr}");
}

TEST_F(IrTest, IrTypeErrors) {
  for (u64 kind : std::vector<u64>{TYPE_UNDEFINED, TYPE_ERROR_VALUE, TYPE_NONE, TYPE_GENERIC, 20}) {
    Type* t = kind_t(kind);
    EXPECT_EQ(error_of([&] { ir_type(t); }), "Cannot convert type to IR-type: " + t->to_text()) << kind;
  }
  Type* arr = array_t(nullptr, 2);
  EXPECT_EQ(error_of([&] { ir_type(arr); }), "Missing array-type in IR conversion (bug)");
  Type* multi = kind_t(TYPE_MULTI);
  EXPECT_EQ(error_of([&] { ir_type(multi); }), "Missing types for grouped types object (bug)");
}

TEST_F(IrTest, ParametersCarryNoundefAndNonnull) {
  struct Case {
    Type* type;
    const char* name;
    const char* text;
  };
  std::vector<Case> cases = {
      {ptr_t(false), "", "ptr noundef nonnull"},
      {ptr_t(true), "", "ptr noundef"},
      {kind_t(TYPE_FN), "%arg.f.1", "ptr noundef nonnull %arg.f.1"},
      {kind_t(TYPE_REFERENCE, true), "%r", "ptr noundef %r"},
      {bool_t(), "", "i1 noundef"},
      {int_t(8), "%x", "i64 noundef %x"},
      {struct_t(16), "", "[16 x i8] noundef"},
  };
  for (const Case& c : cases) {
    TextWriter w(64);
    ir_param(w, c.type, c.name);
    EXPECT_EQ(w.to_string(), c.text);
  }
}

TEST_F(IrTest, FunctionHeads) {
  Func* f = make_func(unit, "f", int_t(8), {ptr_t(), int_t(8)});
  f->varargs = 1;
  TextWriter decl(64);
  ir_func_header(decl, f, true, true);
  EXPECT_EQ(decl.to_string(), "declare i64 @f(ptr noundef nonnull, i64 noundef, ...)\n");

  Func* g = make_func(unit, "g", void_t(), {ptr_t(), bool_t()});
  g->inline_ = 1;
  g->args[0]->decl->ir_name = "%arg.a.1";
  g->args[1]->decl->ir_name = "%arg.b.2";
  TextWriter def(64);
  ir_func_header(def, g, false, false);
  EXPECT_EQ(def.to_string(), "(ptr noundef nonnull %arg.a.1, i1 noundef %arg.b.2) alwaysinline {\n");

  // Both attributes; an argument that lives in memory arrives as "<name>_init".
  Func* h = make_func(unit, "h", void_t(), {int_t(4)});
  h->inline_ = 1;
  h->hot = 1;
  h->args[0]->decl->in_memory = 1;
  h->args[0]->decl->ir_name = "%arg.x.3";
  TextWriter def2(64);
  ir_func_header(def2, h, false, false);
  EXPECT_EQ(def2.to_string(), "(i32 noundef %arg.x.3_init) alwaysinline hot {\n");
  // A declaration never carries attributes.
  TextWriter decl2(64);
  ir_func_header(decl2, h, true, true);
  EXPECT_EQ(decl2.to_string(), "declare void @h(i32 noundef)\n");

  Func* v = make_func(unit, "v", void_t(), {});
  v->varargs = 1;
  TextWriter decl3(64), def3(64);
  ir_func_header(decl3, v, true, true);
  ir_func_header(def3, v, false, false);
  EXPECT_EQ(decl3.to_string(), "declare void @v(...)\n");
  EXPECT_EQ(def3.to_string(), "(...) {\n");

  // A function that can fail declares its aggregate result.
  Func* e = make_func(unit, "e", void_t(), {});
  make_can_error(e);
  TextWriter decl4(64);
  ir_func_header(decl4, e, true, true);
  EXPECT_EQ(decl4.to_string(), "declare {i32, ptr} @e()\n");
}

TEST_F(IrTest, DeclareUsedFuncOnlyWhenTheUnitNeedsIt) {
  Unit* other = new_unit("other");
  IrUnit* u = ir();
  Func* remote = make_func(other, "remote", int_t(8), {ptr_t()});
  Func* local = make_func(unit, "local", void_t(), {});
  Func* ext = make_func(unit, "ext", void_t(), {});
  ext->no_body = 1;
  Func* unused = make_func(other, "unused", void_t(), {}, false);
  Func* generic = make_func(other, "generic", void_t(), {});
  generic->is_generic = 1;
  Func* templ = make_func(other, "templ", void_t(), {});
  templ->template_ = 1;

  EXPECT_EQ(ir_func_ref(u, remote), "@remote");
  EXPECT_EQ(ir_func_ref(u, remote), "@remote");
  EXPECT_EQ(ir_func_ref(u, local), "@local");
  EXPECT_EQ(ir_func_ref(u, ext), "@ext");
  for (Func* f : {unused, generic, templ}) declare_used_func(u, f);
  EXPECT_EQ(u->decls.to_string(), "declare i64 @remote(ptr noundef nonnull)\ndeclare void @ext()\n");
  EXPECT_EQ(u->funcs, (std::vector<Func*>{remote, ext}));
  EXPECT_TRUE(u->names.contains("@remote"));
  EXPECT_FALSE(u->names.contains("@local"));

  // A symbol already written as a global is not declared again.
  Global* g = make_global(other, "clash", int_t(8));
  ir_declare_global(u, g);
  Func* clash = make_func(other, "clash", void_t(), {});
  declare_used_func(u, clash);
  declare_used_func(u, clash);
  EXPECT_EQ(u->decls.to_string(), "declare i64 @remote(ptr noundef nonnull)\ndeclare void @ext()\n");
  EXPECT_EQ(u->funcs.size(), 2u);
}

}  // namespace tesk::test
