#include "ir_fixture.h"

namespace tesk::test {

TEST_F(IrTest, StringConstantsAreNumberedPerUnit) {
  Unit* other = new_unit("other");
  StringConst* a = unit_string_const(unit, "hello");
  StringConst* b2 = unit_string_const(unit, "world");
  EXPECT_EQ(unit_string_const(unit, "hello"), a);
  EXPECT_EQ(a->index, 0u);
  EXPECT_EQ(b2->index, 1u);
  EXPECT_EQ(a->unit, unit);
  EXPECT_EQ(a->used, 0);
  EXPECT_EQ(a->emitted, 0);
  StringConst* o = unit_string_const(other, "world");
  EXPECT_NE(o, b2);
  EXPECT_EQ(o->index, 0u);
  EXPECT_EQ(unit->string_counter, 2u);
}

TEST_F(IrTest, StringGlobalIsWrittenOnceAndOnlyWhenUsed) {
  IrUnit* u = ir();
  StringConst* hi = unit_string_const(unit, "Hi!");
  StringConst* unused = unit_string_const(unit, "never");
  ir_string_global(u, unused);
  EXPECT_EQ(u->strings_text.to_string(), "");
  hi->used = 1;
  ir_string_global(u, hi);
  ir_string_global(u, hi);
  EXPECT_EQ(hi->emitted, 1);
  EXPECT_EQ(u->strings_text.to_string(),
            "@string.0 = private global <{ i64, i64, [4 x i8] }> <{ i64 0, i64 3, [4 x i8] c\"Hi\\21\\00\" }>\n");
}

TEST_F(IrTest, StringEscaping) {
  struct Case {
    std::string text;
    const char* escaped;
  };
  std::vector<Case> cases = {
      {"", ""},
      {"a b", "a\\20b"},
      {"\t", "\\09"},
      {std::string(1, '\0'), "\\00"},
      {"\xE9", "\\E9"},
      {"\\", "\\5C"},
      {"\"", "\\22"},
      {"AZaz09", "AZaz09"},
      {"\n\x7F\xFF_", "\\0A\\7F\\FF\\5F"},
  };
  for (const Case& c : cases) {
    Unit* u0 = new_unit("strings");
    IrUnit* u = get_unit_ir(u0);
    for (int i = 0; i < 7; i++) unit_string_const(u0, "pad" + std::to_string(i));
    StringConst* sc = unit_string_const(u0, c.text);
    sc->used = 1;
    ir_string_global(u, sc);
    std::string n = std::to_string(c.text.size());
    std::string l = std::to_string(c.text.size() + 1);
    EXPECT_EQ(u->strings_text.to_string(), "@string.7 = private global <{ i64, i64, [" + l + " x i8] }> <{ i64 0, i64 " +
                                                n + ", [" + l + " x i8] c\"" + c.escaped + "\\00\" }>\n");
  }
}

TEST_F(IrTest, GlobalLines) {
  Unit* other = new_unit("other");
  IrUnit* u = ir();
  struct Case {
    Global* g;
    const char* line;
  };
  std::vector<Case> cases = {
      {make_global(unit, "count", int_t(8)), "@count = dso_local thread_local(initialexec) global i64 0, align 8\n"},
      {make_global(unit, "config", ptr_t(), true), "@config = dso_local global ptr null, align 8\n"},
      {make_global(other, "other", ptr_t()), "@other = external thread_local(initialexec) global ptr, align 8\n"},
      {make_global(unit, "errno", int_t(4), true, true), "@errno = external global i32, align 8\n"},
      {make_global(unit, "flag", bool_t(), true), "@flag = dso_local global i1 0, align 8\n"},
      {make_global(unit, "ratio", float_t(8)), "@ratio = dso_local thread_local(initialexec) global double 0x0, align 8\n"},
      {make_global(unit, "blob", struct_t(3), true), "@blob = dso_local global [3 x i8] [i8 0, i8 0, i8 0], align 8\n"},
  };
  std::string all;
  for (const Case& c : cases) {
    ir_declare_global(u, c.g);
    ir_declare_global(u, c.g);  // once per unit
    all += c.line;
  }
  EXPECT_EQ(u->globals_text.to_string(), all);
  EXPECT_EQ(u->globals.size(), cases.size());
  EXPECT_TRUE(u->names.contains("@count"));

  // A symbol already declared as a function is not written again.
  Func* fn = make_func(other, "shadow", void_t(), {});
  declare_used_func(u, fn);
  ir_declare_global(u, make_global(other, "shadow", int_t(8)));
  EXPECT_EQ(u->globals_text.to_string(), all);
}

TEST_F(IrTest, GlobalErrors) {
  IrUnit* u = ir();
  Global* untyped = make_global(unit, "untyped", nullptr);
  EXPECT_EQ(error_of([&] { ir_declare_global(u, untyped); }), "# IR Error: Missing IR global type (bug)");
  // No single IR value could start a global of several values.
  Global* multi = make_global(unit, "pair", multi_t({int_t(8), ptr_t()}));
  EXPECT_EQ(error_of([&] { ir_declare_global(u, multi); }),
            "A global cannot hold multiple values. Global: 'pair', type: '" + multi->type->to_text() + "'");
  EXPECT_EQ(u->globals_text.to_string(), "");
}

TEST_F(IrTest, ZeroInitializers) {
  Type* i64 = int_t(8);
  struct Case {
    Type* type;
    const char* text;
  };
  std::vector<Case> cases = {
      {ptr_t(), "null"},
      {ptr_t(true), "null"},
      {kind_t(TYPE_FN), "null"},
      {kind_t(TYPE_REFERENCE), "null"},
      {i64, "0"},
      {bool_t(), "0"},
      {kind_t(TYPE_ERROR), "0"},
      {float_t(4), "0x0"},
      {float_t(8), "0x0"},
      {struct_t(16), "[i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0, i8 0]"},
      {struct_t(0), "[]"},
      {array_t(ptr_t(), 2), "[ptr null, ptr null]"},
      {array_t(array_t(i64, 2), 2), "[[2 x i64] [i64 0, i64 0], [2 x i64] [i64 0, i64 0]]"},
      {array_t(i64, 0), "[]"},
  };
  for (const Case& c : cases) EXPECT_EQ(ir_zero_init(c.type), c.text) << c.type->to_text();
}

// Every kind of global line and string constant in one unit, through LLVM.
TEST_F(IrTest, GlobalsAndStringsAreValidIr) {
  Unit* other = new_unit("other");
  std::vector<Type*> types = {int_t(8),      uint_t(1),        bool_t(),         float_t(4),
                              float_t(8),    ptr_t(),          kind_t(TYPE_FN),  struct_t(5),
                              struct_t(0),   array_t(ptr_t(), 3), array_t(array_t(float_t(4), 2), 2),
                              kind_t(TYPE_ERROR)};
  Func* f = make_func(unit, "touch", void_t(), {});
  begin(f);
  IrUnit* u = ir();
  for (size_t i = 0; i < types.size(); i++) {
    bool shared = i % 2;
    ir_declare_global(u, make_global(unit, "g" + std::to_string(i), types[i], shared));
    Global* ext = make_global(other, "x" + std::to_string(i), types[i], shared);
    ir_declare_global(u, ext);
    // External globals must be referred to to stay declared; load through them.
    if (i == 0) ir_load(u, ext->ir_name, "i64");
  }
  std::string all_bytes;
  for (int c = 0; c < 256; c++) all_bytes += static_cast<char>(c);
  for (const std::string& s : {std::string(""), std::string("Hi!"), all_bytes}) {
    StringConst* sc = unit_string_const(unit, s);
    f->used_strings.push_back(sc);
    sc->used = 1;
    std::string p = ir_gep_bytes(u, "@string." + std::to_string(sc->index), 8);
    ir_load(u, p, "i64");
  }
  ir_ret_void(u);
  end(f);
  std::string text = assemble();
  EXPECT_NE(text.find("@string.2 = private global <{ i64, i64, [257 x i8] }>"), std::string::npos);
}

}  // namespace tesk::test
