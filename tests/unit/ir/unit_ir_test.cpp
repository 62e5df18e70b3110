#include "ir_fixture.h"

namespace tesk::test {

namespace {

const char* const kIntrinsics =
    "declare ptr @llvm.frameaddress(i32) nocallback nofree nosync nounwind readnone willreturn\n"
    "declare ptr @llvm.stacksave() nounwind\n"
    "declare i32 @llvm.eh.sjlj.setjmp(ptr) nounwind returns_twice\n"
    "declare void @llvm.eh.sjlj.longjmp(ptr) nounwind\n"
    "declare i32 @_setjmp(ptr) nounwind returns_twice\n"
    "declare void @longjmp(ptr, i32) nounwind\n"
    "declare void @llvm.memset.inline.p0.i64(ptr, i8, i64, i1)\n"
    "declare void @llvm.memcpy.p0.p0.i64(ptr, ptr, i64, i1)\n";

const char* const kAttributes = "attributes #0 = { \"frame-pointer\"=\"all\" }\n";

}  // namespace

TEST_F(IrTest, EmptyUnitText) {
  std::string text = assemble();
  EXPECT_EQ(text, std::string(kIntrinsics) + "\n\n\n\n\n" + kAttributes + "\n");
  EXPECT_EQ(text.find("target triple"), std::string::npos);
  EXPECT_EQ(text.find("target datalayout"), std::string::npos);
}

TEST_F(IrTest, FunctionEntryAndOrderOfPieces) {
  Unit* other = new_unit("other");
  Func* callee = make_func(other, "callee", int_t(8), {int_t(8)});
  Global* g = make_global(unit, "counter", int_t(8));
  Func* f = make_func(unit, "main__run", int_t(8), {int_t(8)});
  f->display_name = "main:run";
  Chunk* body = b->make<Chunk>();
  body->line = 12;
  f->body_chunk = body;
  StringConst* sc = unit_string_const(unit, "ok");
  sc->used = 1;
  f->used_strings.push_back(sc);
  f->called.push_back(callee);
  begin(f);
  IrUnit* u = ir();
  ir_declare_global(u, g);
  std::string v = ir_load(u, g->ir_name, "i64");
  std::string r = ir_call(u, ir_func_ref(u, callee), info_of(callee), {v});
  ir_ret(u, r, "i64");
  std::string fn_text = end(f);
  EXPECT_EQ(fn_text,
            "(i64 noundef " + arg(f, 0) +
                ") {\nstart:\n  br label %code\ncode:\n"
                "  %.0 = load i64, ptr @counter\n"
                "  %.1 = call i64 @callee(i64 %.0)\n"
                "  ret i64 %.1\n}\n\n");
  std::string text = assemble();
  EXPECT_EQ(text, std::string(kIntrinsics) + "\n" +
                      "@counter = dso_local thread_local(initialexec) global i64 0, align 8\n\n"
                      "declare i64 @callee(i64 noundef)\n\n"
                      "@string.0 = private global <{ i64, i64, [3 x i8] }> <{ i64 0, i64 2, [3 x i8] c\"ok\\00\" }>\n\n"
                      "; Function: main:run\n"
                      "; Location: /proj/src/main.tesk @ Line: 12\n"
                      "define dso_local i64 @main__run" +
                      fn_text + "\n\n" + kAttributes + "\n");
}

TEST_F(IrTest, IdenticalBodiesGiveOneDefineAndOneAlias) {
  Func* f = make_func(unit, "first", int_t(8), {ptr_t(), int_t(8)});
  Func* g = make_func(unit, "second", int_t(8), {ptr_t(), int_t(8)});
  for (Func* fn : {f, g}) {
    begin(fn);
    ir_ret(ir(), "7", "i64");
    end(fn);
  }
  g->ir_text = f->ir_text;  // same parameter names too
  std::string text = assemble();
  size_t def = text.find("define dso_local i64 @first(");
  ASSERT_NE(def, std::string::npos);
  EXPECT_EQ(text.find("define dso_local", def + 1), std::string::npos);
  EXPECT_NE(text.find("; Function: main:second\n; Location: /proj/src/main.tesk\n"
                      "@second = alias i64 (ptr, i64), ptr @first\n\n\n"),
            std::string::npos);
  EXPECT_EQ(ir()->bodies.size(), 1u);
  EXPECT_EQ(ir()->bodies.begin()->second, f);
}

// Once the unit's text is assembled the functions' texts are given back; the other
// unit's function keeps its own.
TEST_F(IrTest, ReleasedFunctionTextsLeaveTheAssembledTextWhole) {
  Unit* other = new_unit("other");
  Func* f = make_func(unit, "first", int_t(8), {});
  Func* g = make_func(unit, "second", int_t(8), {});
  Func* elsewhere = make_func(other, "kept", int_t(8), {});
  for (Func* fn : {f, g}) {
    begin(fn);
    ir_ret(ir(), fn == g ? "8" : "7", "i64");
    end(fn);
  }
  elsewhere->ir_text = "() {\nstart:\n  ret i64 7\n}\n\n";
  std::string text = assemble();
  release_function_texts(ir());
  EXPECT_TRUE(f->ir_text.empty());
  EXPECT_TRUE(g->ir_text.empty());
  EXPECT_EQ(ir()->func_texts.chunk_count(), 0u);
  EXPECT_EQ(ir()->func_texts.kept_bytes(), 0u);
  EXPECT_TRUE(ir()->bodies.empty());
  EXPECT_NE(elsewhere->ir_text.find("ret i64 7"), std::string::npos);
  EXPECT_NE(text.find("define dso_local i64 @first("), std::string::npos) << text;
  EXPECT_NE(text.find("ret i64 8"), std::string::npos) << text;
}

TEST_F(IrTest, AliasLines) {
  Func* f = make_func(unit, "f", void_t(), {});
  Func* g = make_func(unit, "g", int_t(8), {ptr_t(), int_t(8)});
  Func* h = make_func(unit, "h", void_t(), {});
  h->varargs = 1;
  Func* k = make_func(unit, "k", void_t(), {int_t(4)});
  k->varargs = 1;
  Func* e = make_func(unit, "e", bool_t(), {});
  make_can_error(e);
  std::string w;
  ir_alias(w, g, f);
  ir_alias(w, h, f);
  ir_alias(w, k, f);
  ir_alias(w, e, f);
  EXPECT_EQ(w,
            "@g = alias i64 (ptr, i64), ptr @f\n\n"
            "@h = alias void (...), ptr @f\n\n"
            "@k = alias void (i32, ...), ptr @f\n\n"
            "@e = alias {i1, i32, ptr} (), ptr @f\n\n");
}

TEST_F(IrTest, FunctionCalledFromThreeFunctionsIsDeclaredOnce) {
  Unit* other = new_unit("other");
  Func* shared = make_func(other, "shared_callee", void_t(), {ptr_t(true)});
  Func* local = make_func(unit, "local_helper", void_t(), {});
  Func* ext = make_func(unit, "ext_c", void_t(), {int_t(4)});
  ext->no_body = 1;
  begin(local);
  ir_ret_void(ir());
  end(local);
  for (int i = 0; i < 3; i++) {
    Func* f = make_func(unit, "user" + std::to_string(i), void_t(), {});
    f->called = {shared, local, ext};
    begin(f);
    // Only the first writes its calls during Stage 3.3; the others rely on assembly.
    if (i == 0) ir_call(ir(), ir_func_ref(ir(), shared), info_of(shared), {"null"});
    else ir_call(ir(), "@shared_callee", info_of(shared), {"null"});
    ir_call(ir(), "@local_helper", info_of(local), {});
    ir_call(ir(), "@ext_c", info_of(ext), {std::to_string(i)});
    ir_ret_void(ir());
    end(f);
  }
  std::string text = assemble();
  auto count = [&](const std::string& s) {
    size_t n = 0;
    for (size_t p = text.find(s); p != std::string::npos; p = text.find(s, p + 1)) n++;
    return n;
  };
  EXPECT_EQ(count("declare void @shared_callee(ptr noundef)\n"), 1u);
  EXPECT_EQ(count("declare void @ext_c(i32 noundef)\n"), 1u);
  EXPECT_EQ(count("declare void @local_helper"), 0u);
  EXPECT_EQ(count("define dso_local void @local_helper"), 1u);
  EXPECT_EQ(count("declare void @ext_c"), 1u);
  EXPECT_EQ(count("define dso_local void @ext_c"), 0u);  // no body: never defined
}

TEST_F(IrTest, OnlyUsedNonGenericFunctionsAreWritten) {
  Unit* other = new_unit("other");
  Func* used = make_func(unit, "used_fn", void_t(), {});
  Func* unused = make_func(unit, "unused_fn", void_t(), {}, false);
  Func* generic = make_func(unit, "generic_fn", void_t(), {});
  generic->is_generic = 1;
  Func* templ = make_func(unit, "template_fn", void_t(), {});
  templ->template_ = 1;
  Func* remote_generic = make_func(other, "remote_generic", void_t(), {});
  remote_generic->is_generic = 1;
  Func* remote_unused = make_func(other, "remote_unused", void_t(), {}, false);

  StringConst* only_unused = unit_string_const(unit, "only unused");
  StringConst* both = unit_string_const(unit, "both");
  unused->used_strings = {only_unused, both};
  unused->called = {remote_unused};
  used->used_strings = {both};
  used->called = {remote_generic, remote_unused, generic, templ};
  both->used = 1;  // set by marking the used function
  for (Func* f : {used, unused, generic, templ}) {
    begin(f);
    ir_comment(ir(), f->name);
    ir_ret_void(ir());
    end(f);
  }
  std::string text = assemble();
  EXPECT_NE(text.find("define dso_local void @used_fn"), std::string::npos);
  for (const char* absent : {"@unused_fn", "@generic_fn", "@template_fn", "@remote_generic", "@remote_unused",
                             "@string.0"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
  EXPECT_NE(text.find("@string.1 = private global"), std::string::npos);
  EXPECT_EQ(only_unused->emitted, 0);
}

TEST_F(IrTest, GlobalsWrittenAtAssembly) {
  Unit* other = new_unit("other");
  Global* lonely = make_global(unit, "lonely", int_t(8));  // used, referred to by no function
  lonely->used = 1;
  Global* idle = make_global(unit, "idle", int_t(8));  // not used, not referred to
  Global* seen = make_global(unit, "seen", ptr_t());   // referred to by an unused function only
  Global* ext = make_global(unit, "ext_g", int_t(4), true, true);
  ext->used = 1;  // extern globals are not in the unit's list
  (void)idle;
  Func* unused = make_func(unit, "unused_fn", void_t(), {}, false);
  begin(unused);
  ir_declare_global(ir(), seen);
  ir_ret_void(ir());
  end(unused);
  Global* remote = make_global(other, "remote_g", int_t(8));
  remote->used = 1;
  std::string text = assemble();
  EXPECT_NE(text.find("@seen = dso_local thread_local(initialexec) global ptr null, align 8\n"
                      "@lonely = dso_local thread_local(initialexec) global i64 0, align 8\n\n"),
            std::string::npos);
  EXPECT_EQ(text.find("@idle"), std::string::npos);
  EXPECT_EQ(text.find("@ext_g"), std::string::npos);
  EXPECT_EQ(text.find("@remote_g"), std::string::npos);
}

TEST_F(IrTest, SetjmpIsDeclaredReturnsTwice) {
  // Code after a setjmp call runs a second time after longjmp; the optimiser must know.
  Func* f = make_func(unit, "jumps", int_t(4), {ptr_t()});
  begin(f);
  IrUnit* u = ir();
  std::string t = new_ir_temp(u);
  active_ir_text(u) << "  " << t << " = call i32 @_setjmp(ptr " << arg(f, 0) << ")\n";
  ir_ret(u, t, "i32");
  end(f);
  std::string text = assemble();
  EXPECT_NE(text.find("declare i32 @_setjmp(ptr) nounwind returns_twice\n"), std::string::npos);
  EXPECT_TRUE(llvm_function_has_attribute(text, "_setjmp", "returns_twice"));
  EXPECT_FALSE(llvm_function_has_attribute(text, "longjmp", "returns_twice"));
}

TEST(Target, SystemAndArchitectureTests) {
  Target t;
  t.os = "win";
  t.arch = "arm64";
  EXPECT_TRUE(t.is_win());
  EXPECT_FALSE(t.is_linux());
  EXPECT_FALSE(t.is_macos());
  EXPECT_TRUE(t.is_arm64());
  EXPECT_FALSE(t.is_x64());
  t.os = "linux";
  t.arch = "x64";
  EXPECT_TRUE(t.is_linux());
  EXPECT_FALSE(t.is_win());
  EXPECT_TRUE(t.is_x64());
  t.os = "macos";
  EXPECT_TRUE(t.is_macos());
  t.os = "windows";  // compared byte for byte
  EXPECT_FALSE(t.is_win());
}

TEST(LlvmCheck, RejectsInvalidInstructions) {
  const std::string head = std::string(kIntrinsics) + "\ndefine dso_local void @f(ptr %p, i64 %x, double %d) {\ncode:\n";
  EXPECT_EQ(llvm_check(head + "  ret void\n}\n"), "");
  for (const char* bad : {
           "  %.0 = shl double %d, %d\n",                       // bit operation on a float
           "  %.0 = atomicrmw mul ptr %p, i64 %x seq_cst\n",    // no such atomic operation
           "  %.0 = add i64 %x, -unknown-int-size-3\n",         // unknown type text
           "  %.0 = load atomic i64, ptr %p acquire\n",         // atomic load without alignment
           "  %.0 = load i1, ptr %p\n  %.0 = load i1, ptr %p\n",  // temporary defined twice
       }) {
    EXPECT_NE(llvm_check(head + bad + "  ret void\n}\n"), "") << bad;
  }
}

}  // namespace tesk::test
