// Units assembled by the IR writer (unit_ir_text) go through LLVM for every target and
// through the driver's entry of Stage 3.4 and 4.
#include <gtest/gtest.h>

#include "backend/llvm_object.h"
#include "backend/stage_objects.h"
#include "backend_fixture.h"
#include "ir/context.h"
#include "ir/data.h"
#include "ir/unit_ir.h"
#include "model/records.h"

namespace tesk {
namespace {

using namespace testing_backend;

// A unit holding one used function that returns nothing.
Unit* unit_with_function(Build* b, const std::string& dir, const std::string& name) {
  Unit* u = add_unit(b, dir, name);
  Type* void_type = b->make<Type>();
  void_type->build = b;
  Func* f = b->make<Func>();
  f->unit = u;
  f->export_name = name + "__run";
  f->display_name = name + ":run";
  f->ir_return_type = void_type;
  f->ir_text = "() #0 {\nstart:\n  ret void\n}\n";
  f->used = 1;
  u->funcs.push_back(f);
  return u;
}

TEST(WriterUnits, AssembledUnitBecomesAnObjectForEveryTarget) {
  init_llvm_targets();
  const std::pair<const char*, const char*> targets[] = {
      {"linux", "x64"}, {"linux", "arm64"}, {"macos", "x64"}, {"macos", "arm64"}, {"win", "x64"}};
  std::string dir = make_temp_dir();
  for (auto [os, arch] : targets) {
    SCOPED_TRACE(std::string(os) + "-" + arch);
    std::unique_ptr<Build> b = std::make_unique<Build>();
    b->target = target_of("linux", os, arch);
    Unit* u = unit_with_function(b.get(), dir, std::string("u_") + os + "_" + arch);
    std::string text = unit_ir_text(get_unit_ir(u));
    ASSERT_TRUE(write_file(u->ir_path, text));
    auto err = compile_ir_file(u->ir_path, u->prev_ir_path, u->o_path, b->target, true);
    ASSERT_FALSE(err) << *err << "\n" << text;
    std::string syms = run_tool({"llvm-objdump-15", "-t", u->o_path});
    EXPECT_NE(syms.find(u->name + "__run"), std::string::npos) << syms;
  }
}

TEST(WriterUnits, DriverEntryWritesIrOutput) {
  std::string dir = make_temp_dir();
  std::unique_ptr<Build> b = std::make_unique<Build>();
  b->target = target_of("linux", "linux", "x64");
  b->mode = BUILD_IR;
  b->out_path = path_join(dir, "out.ir");
  Unit* u = unit_with_function(b.get(), dir, "single");
  stage_objects_and_link(b.get());
  auto out = read_file(b->out_path);
  ASSERT_TRUE(out);
  EXPECT_NE(out->find("define dso_local void @single__run() #0 {"), std::string::npos) << *out;
  // No object was made, so no stamp may claim one.
  EXPECT_FALSE(path_exists(u->prev_ir_path));
  EXPECT_FALSE(path_exists(u->o_path));
}

// ---- A whole program assembled by the IR writer, through the driver's entry ----

Type* int32_type(Build* b) {
  Class* c = b->make<Class>();
  c->build = b;
  c->kind = CLASS_INTEGER;
  c->size = 4;
  c->signed_ = 1;
  c->name = "i32";
  Type* t = b->make<Type>();
  t->kind = TYPE_INT;
  t->build = b;
  t->class_ = c;
  t->signed_ = 1;
  return t;
}

Func* writer_func(Build* b, Unit* u, const std::string& name, Type* ret) {
  Func* f = b->make<Func>();
  f->build = b;
  f->unit = u;
  f->name = name;
  f->export_name = name;
  f->display_name = u->name + ":" + name;
  f->return_type = ret;
  f->ir_return_type = ret;
  f->used = 1;
  u->funcs.push_back(f);
  return f;
}

// Unit "main" calls greet() of unit "greet", which prints the greeting through libc's
// puts, declared in its own unit without a body. Each call makes new records, as each
// build of the compiler does.
std::unique_ptr<Build> writer_program(const std::string& dir, const std::string& greeting) {
  auto b = std::make_unique<Build>();
  b->target = target_of("linux", "linux", "x64");
  b->cache_dir = dir;
  b->out_path = path_join(dir, "app");
  b->verbose = 3;
  add_runtime_package(b.get(), dir);
  Type* i32 = int32_type(b.get());
  Type* void_type = b->make<Type>();
  void_type->build = b.get();
  Type* ptr = b->make<Type>();
  ptr->kind = TYPE_POINTER;
  ptr->build = b.get();

  Unit* main_unit = add_unit(b.get(), dir, "main");
  Unit* greet_unit = add_unit(b.get(), dir, "greet");

  Func* puts = writer_func(b.get(), greet_unit, "puts", i32);
  puts->no_body = 1;
  FuncArg* text_arg = b->make<FuncArg>();
  text_arg->name = "text";
  text_arg->type = ptr;
  text_arg->decl = b->make<Decl>();
  text_arg->decl->type = ptr;
  puts->args.push_back(text_arg);

  Func* greet = writer_func(b.get(), greet_unit, "greet", void_type);
  StringConst* sc = unit_string_const(greet_unit, greeting);
  sc->used = 1;
  greet->used_strings.push_back(sc);
  greet->called.push_back(puts);
  // The bytes of a string constant start 16 bytes in: header, then length.
  greet->ir_text =
      "() {\nstart:\n  %.0 = getelementptr i8, ptr @string.0, i32 16\n"
      "  %.1 = call i32 @puts(ptr %.0)\n  ret void\n}\n\n";

  Func* main_fn = writer_func(b.get(), main_unit, "main", i32);
  main_fn->called.push_back(greet);
  main_fn->ir_text = "() {\nstart:\n  call void @greet()\n  ret i32 0\n}\n\n";

  auto* libc = b->make<LinkLibrary>(LinkLibrary{LINK_DYNAMIC, "c"});
  greet_unit->links.push_back(libc);
  b->links.push_back(libc);
  return b;
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

TEST(WriterUnits, ProgramBuildsRunsAndRebuildsOnlyWhatChanged) {
  ExitThrows exits;
  ScopedUnsetEnv no_term("TERM");
  std::string dir = make_temp_dir();
  const std::string started = "> Stage 3.4: Generating object file: ";
  auto build = [&](Build* b) {
    int code = 0;
    std::string out = capture_stdout([&] { stage_objects_and_link(b); }, &code);
    EXPECT_EQ(code, -1) << out;
    return out;
  };

  auto first = writer_program(dir, "hello from the writer");
  std::string out = build(first.get());
  EXPECT_EQ(count_of(out, started), 2u) << out;
  EXPECT_NE(out.find("> Stage 4: Link executable\n"), std::string::npos) << out;
  EXPECT_EQ(run_tool({first->out_path}), "hello from the writer\n");
  auto greet_ir = read_file(first->units[1]->ir_path);
  ASSERT_TRUE(greet_ir);
  EXPECT_NE(greet_ir->find("declare i32 @puts(ptr noundef nonnull)\n"), std::string::npos) << *greet_ir;

  // The same program again: the assembled text is unchanged, so no thread starts and
  // the first build's objects are linked.
  ASSERT_EQ(::unlink(first->out_path.c_str()), 0);
  auto second = writer_program(dir, "hello from the writer");
  out = build(second.get());
  EXPECT_EQ(count_of(out, started), 0u) << out;
  EXPECT_EQ(count_of(out, "> Waiting for Thread: "), 0u) << out;
  EXPECT_EQ(run_tool({second->out_path}), "hello from the writer\n");

  // Another greeting changes one unit's IR: exactly that unit is compiled again.
  auto third = writer_program(dir, "changed greeting");
  out = build(third.get());
  EXPECT_EQ(count_of(out, started), 1u) << out;
  EXPECT_NE(out.find(started + third->units[1]->o_path + "\n"), std::string::npos) << out;
  EXPECT_EQ(run_tool({third->out_path}), "changed greeting\n");

  // --clean compiles every used unit although nothing changed.
  auto clean = writer_program(dir, "changed greeting");
  clean->clean = 1;
  out = build(clean.get());
  EXPECT_EQ(count_of(out, started), 2u) << out;
}

}  // namespace
}  // namespace tesk
