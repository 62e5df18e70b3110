// Units assembled by the IR writer (unit_ir_text) go through LLVM for every target and
// through the driver's entry of Stage 3.4 and 4.
#include <gtest/gtest.h>

#include "backend/llvm_object.h"
#include "backend/stage_objects.h"
#include "backend_fixture.h"
#include "ir/context.h"
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
  EXPECT_TRUE(file_equals(u->prev_ir_path, *out));
  EXPECT_FALSE(path_exists(u->o_path));
}

}  // namespace
}  // namespace tesk
