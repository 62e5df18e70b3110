// Stage 2.3: sizes and offsets of declared classes of every kind, the passes over the
// unit lists, and the stop when a pass makes no progress.
#include <gtest/gtest.h>

#include "fixture.h"

namespace tesk::classtest {
namespace {

// "name@offset" of every property, joined by blanks.
std::string offsets(Class* c) {
  std::string r;
  for (auto& [name, p] : c->props) {
    if (!r.empty()) r += ' ';
    r += name + "@" + std::to_string(p->offset);
  }
  return r;
}

TEST(ClassSizes, DeclaredLayouts) {
  World w({"struct Bytes14 {\n a: u8\n b: i32\n}\n"
           "struct Packed packed {\n a: u8\n b: i32\n}\n"
           "class Ref {\n a: u8\n b: String\n}\n"
           "struct Mixed {\n a: u8\n b: u16\n c: u8\n}\n"
           "struct Arr {\n a: u8\n b: [u8 x 5]\n}\n"
           "struct Small {\n a: i32\n}\n"
           "struct Twelve {\n a: i32\n b: i32\n c: i32\n}\n"
           "struct HoldsSmall {\n a: u8\n s: <Small>\n}\n"
           "struct HoldsTwelve {\n a: u8\n t: <Twelve>\n}\n"
           "struct Wrap {\n t: <Twelve>\n}\n"
           "struct HoldsWrap {\n a: u8\n w: <Wrap>\n}\n"
           "slice View {\n}\n"
           "class Empty {\n}\n"
           "class Big {\n a: [int x 17]\n}\n"
           "class Huge {\n a: [u8 x 300]\n}\n"});
  ASSERT_EQ(w.read_bodies().error, "");
  Outcome o = w.sizes();
  ASSERT_EQ(o.error, "") << o.out;
  struct Want {
    const char* name;
    const char* offsets;
    u64 size, pool, alloc;
  } wants[] = {
      {"Bytes14", "a@0 b@4", 8, 0, 16},
      {"Packed", "a@0 b@1", 8, 0, 16},
      {"Ref", "a@0 b@8", 16, 1, 24},
      {"Mixed", "a@0 b@2 c@4", 8, 0, 16},
      {"Arr", "a@0 b@1", 8, 0, 16},
      {"Small", "a@0", 8, 0, 16},
      {"HoldsSmall", "a@0 s@4", 16, 1, 24},
      // Aligned to the largest property of the inner struct (4), not to its size.
      {"HoldsTwelve", "a@0 t@4", 24, 2, 32},
      // An inner struct value counts with its whole size (16), capped at 8.
      {"HoldsWrap", "a@0 w@8", 24, 2, 32},
      {"View", "length@0 data@8", 16, 1, 24},
      {"Empty", "", 0, 0, 8},
      {"Big", "a@0", 136, 16, 264},
      {"Huge", "a@0", 304, 17, 520},
  };
  for (const Want& want : wants) {
    Class* c = w.must_cls(want.name);
    EXPECT_EQ(c->sized, 1) << want.name;
    EXPECT_EQ(offsets(c), want.offsets) << want.name;
    EXPECT_EQ(c->size, want.size) << want.name;
    EXPECT_EQ(c->pool_index, want.pool) << want.name;
    EXPECT_EQ(c->alloc_size, want.alloc) << want.name;
  }
  Class* view = w.must_cls("View");
  EXPECT_EQ(view->props["length"]->type->to_text(), "uint");
  EXPECT_EQ(view->props["data"]->type->get_class()->name, "GcPtr");
  // Number classes keep the size their declaration gave.
  EXPECT_EQ(runtime_class(w.b, "type", "u16")->size, 2u);
  EXPECT_EQ(runtime_class(w.b, "type", "u16")->sized, 1);
}

TEST(ClassSizes, LaterDeclaredInlineValuesTakeAnotherPass) {
  World w({"struct Outer {\n a: u8\n inner: <Middle>\n}\n"
           "struct Middle {\n m: <Inner>\n}\n"
           "struct Inner {\n x: int\n}\n"});
  ASSERT_EQ(w.read_bodies().error, "");
  w.b->verbose = 3;
  Outcome o = w.sizes();
  ASSERT_EQ(o.error, "") << o.out;
  EXPECT_EQ(w.must_cls("Outer")->size, 16u);
  EXPECT_EQ(offsets(w.must_cls("Outer")), "a@0 inner@8");
  // Inner in the first pass, Middle in the second, Outer in the third.
  size_t inner = o.out.find("> Determine class size: Inner | size: 8\n");
  size_t middle = o.out.find("> Determine class size: Middle | size: 8\n");
  size_t outer = o.out.find("> Determine class size: Outer | size: 16\n");
  ASSERT_NE(inner, std::string::npos) << o.out;
  ASSERT_NE(middle, std::string::npos) << o.out;
  ASSERT_NE(outer, std::string::npos) << o.out;
  EXPECT_LT(inner, middle);
  EXPECT_LT(middle, outer);
  EXPECT_EQ(o.out.find("> Stage 2.3: Determine class sizes\n"), 0u) << o.out;
  // Classes sized by their declaration print nothing.
  EXPECT_EQ(o.out.find("size: 2\n"), std::string::npos) << o.out;
}

TEST(ClassSizes, InlineCyclesStopTheBuild) {
  World w({"struct A {\n b: <B>\n}\nstruct B {\n a: <A>\n}\nstruct Self {\n me: <Self>\n}\n"
           "struct Fine {\n x: int\n}\n"});
  ASSERT_EQ(w.read_bodies().error, "");
  Outcome o = w.sizes();
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.error, "Cannot determine the size of all classes. Reason: recursive property inline type dependencies.");
  EXPECT_NE(o.out.find("Classes: A B Self \n# Build error"), std::string::npos) << o.out;
  EXPECT_EQ(w.must_cls("A")->sized, 0);
  EXPECT_EQ(w.must_cls("Fine")->sized, 1);
}

TEST(ClassSizes, InlineCyclesUnderTheLanguageServerPrintNothing) {
  World w({"struct A {\n b: <B>\n}\nstruct B {\n a: <A>\n}\n"});
  ASSERT_EQ(w.read_bodies().error, "");
  // Standard output carries the protocol: the error becomes a message only. The
  // context is never looked into on this path.
  alignas(8) static char dummy[8];
  w.b->lsp = reinterpret_cast<LspContext*>(dummy);
  Outcome o = w.sizes();
  w.b->lsp = nullptr;
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.out, "");
  ASSERT_EQ(w.b->messages.size(), 1u);
  EXPECT_EQ(w.b->messages[0].message,
            "Cannot determine the size of all classes. Reason: recursive property inline type dependencies.");
}

TEST(ClassSizes, ModesSizedThroughTheirBaseEndTheStage) {
  // The mode comes first in the unit: sizing it sizes its base, which that pass does
  // not reach again; the stage must still end.
  World w({"mode Loud for Later {\n}\nstruct Later {\n x: i32\n y: i32\n}\n"});
  ASSERT_EQ(w.read_bodies().error, "");
  Outcome o = w.sizes();
  ASSERT_EQ(o.error, "") << o.out;
  EXPECT_EQ(w.must_cls("Loud")->size, 8u);
  EXPECT_EQ(w.must_cls("Later")->size, 8u);
}

TEST(ClassSizes, StageSetsSizesDoneAndLaterVariantsAreSizedAtOnce) {
  World w({"class A {\n x: u8\n y: int\n}\n"});
  ASSERT_EQ(w.read_bodies().error, "");
  // A documentation build: Stage 2.4 runs after the sizes, Stage 3 does not.
  w.b->mode = BUILD_DOCS;
  Outcome o = run([&] { stage_class_sizes(w.b); });
  ASSERT_EQ(o.error, "") << o.out;
  EXPECT_EQ(w.b->sizes_done, 1);
  Class* v = nullptr;
  ASSERT_EQ(run([&] { v = w.must_cls("A")->get_imut(); }).error, "");
  EXPECT_EQ(v->sized, 1);
  EXPECT_EQ(v->size, 16u);
  EXPECT_EQ(offsets(v), "x@0 y@8");
}

}  // namespace
}  // namespace tesk::classtest
