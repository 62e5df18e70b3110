// Class sizes, property offsets and GC size classes.
#include "model/access.h"
#include "source/records.h"
#include "world.h"

namespace tesk::test {
namespace {

TEST(Layout, OffsetsAndSizes) {
  World w;
  Class* inner12 = w.cls("In12", CLASS_STRUCT);
  inner12->add_prop("a", w.t("i32"));
  inner12->add_prop("b", w.t("i32"));
  inner12->add_prop("c", w.t("i32"));
  ASSERT_TRUE(inner12->determine_size());
  EXPECT_EQ(inner12->size, 16u);
  struct Case {
    const char* what;
    std::vector<Type*> props;
    bool packed;
    std::vector<u64> offsets;
    u64 size;
  } cases[] = {
      {"u8 then i32", {w.t("u8"), w.t("i32")}, false, {0, 4}, 8},
      {"packed u8 then i32", {w.t("u8"), w.t("i32")}, true, {0, 1}, 8},
      {"u8 then reference", {w.t("u8"), w.t("String")}, false, {0, 8}, 16},
      {"u8 u16 u8", {w.t("u8"), w.t("u16"), w.t("u8")}, false, {0, 2, 4}, 8},
      {"u8 then [u8 x 5]", {w.t("u8"), array_type(w.b, w.t("u8"), 5)}, false, {0, 1}, 8},
      {"u8 then struct of 12 bytes", {w.t("u8"), inner12->get_type()->sub}, false, {0, 4}, 24},
  };
  for (const Case& c : cases) {
    Class* k = w.cls("K", CLASS_STRUCT);
    k->packed = c.packed;
    for (size_t i = 0; i < c.props.size(); i++) k->add_prop("p" + std::to_string(i), c.props[i]);
    ASSERT_TRUE(k->determine_size()) << c.what;
    EXPECT_EQ(k->size, c.size) << c.what;
    EXPECT_EQ(k->sized, 1) << c.what;
    size_t i = 0;
    for (auto& [name, prop] : k->props) EXPECT_EQ(prop->offset, c.offsets[i++]) << c.what << " " << name;
  }
}

TEST(Layout, SizeClasses) {
  World w;
  struct Case {
    u64 eights;  // number of 8-byte properties
    u64 size, index, alloc;
  } cases[] = {{0, 0, 0, 8},       {1, 8, 0, 16},      {16, 128, 15, 136},
               {17, 136, 16, 264}, {32, 256, 16, 264}, {38, 304, 17, 520}};
  for (const Case& c : cases) {
    Class* k = w.cls("K");
    for (u64 i = 0; i < c.eights; i++) k->add_prop("p" + std::to_string(i), w.t("int"));
    ASSERT_TRUE(k->determine_size());
    EXPECT_EQ(k->size, c.size);
    EXPECT_EQ(k->pool_index, c.index) << c.size;
    EXPECT_EQ(k->alloc_size, c.alloc) << c.size;
  }
}

TEST(Layout, UnknownSizesWait) {
  World w;
  Class* later = w.cls("Later", CLASS_STRUCT);
  Class* k = w.cls("K", CLASS_STRUCT);
  k->add_prop("x", later->get_type()->sub);
  EXPECT_FALSE(k->determine_size());
  EXPECT_EQ(k->sized, 0);
  later->add_prop("v", w.t("i64"));
  ASSERT_TRUE(later->determine_size());
  ASSERT_TRUE(k->determine_size());
  EXPECT_EQ(k->size, 8u);
}

TEST(Layout, ModesTakeTheirBase) {
  World w;
  Class* base = w.cls("Base");
  base->add_prop("a", w.t("int"));
  base->add_prop("b", w.t("int"));
  Class* mode = w.cls("Mode");
  mode->is_mode = 1;
  mode->mode_base = base;
  ASSERT_TRUE(mode->determine_size());  // sizes the base on the way
  EXPECT_EQ(mode->size, 16u);
  EXPECT_EQ(mode->alloc_size, base->alloc_size);
  EXPECT_EQ(mode->pool_index, base->pool_index);
  // A mode of an integer keeps the integer's width.
  Class* id = w.cls("Id");
  id->is_mode = 1;
  id->mode_base = runtime_class(w.b, "type", "u32");
  ASSERT_TRUE(id->determine_size());
  EXPECT_EQ(id->size, 4u);
  Type* value = new_type(w.b, TYPE_INT);
  value->class_ = id;
  EXPECT_EQ(value->size_in_bits(), 32u);
}

// A slice class; its implicit `data` property needs the runtime's gc:GcPtr, which
// `gc_ptr_out` receives when given.
Class* slice_class(World& w, const char* name, Class** gc_ptr_out = nullptr) {
  SourceFile* gc_file = w.add_file(w.tesk->namespaces["gc"], "/pkg/tesk/gc/g.tesk");
  Class* gc_ptr = new_class(w.unit, gc_file, 292, "GcPtr", CLASS_POINTER, nullptr, nullptr);
  gc_ptr->size = 8;
  gc_file->ns->scope->identifiers.set("GcPtr", new_identifier_class(w.b, gc_ptr));
  Class* s = w.cls(name);
  s->slice = 1;
  if (gc_ptr_out) *gc_ptr_out = gc_ptr;
  return s;
}

TEST(Layout, SliceGetsLengthAndData) {
  World w;
  Class* s = slice_class(w, "Bytes");
  ASSERT_TRUE(s->determine_size());
  EXPECT_EQ(s->size, 16u);
  ASSERT_EQ(s->props.size(), 2u);
  EXPECT_EQ(s->props.entries()[0].first, "length");
  EXPECT_EQ(s->props.entries()[0].second->type, w.t("uint"));
  EXPECT_EQ(s->props.entries()[1].first, "data");
  EXPECT_EQ(s->props.entries()[1].second->offset, 8u);
}

// Users read both properties but only the slice's own package writes them; a literal
// that names neither is an empty slice (length 0; data null, given by the literal reader).
TEST(Layout, SlicePropsReadOnlyOutsideWithDefaults) {
  World w;
  Class* gc_ptr = nullptr;
  Class* s = slice_class(w, "Bytes", &gc_ptr);
  ASSERT_TRUE(s->determine_size());
  Property* length = *s->props.find("length");
  Property* data = *s->props.find("data");
  for (Property* prop : {length, data}) {
    EXPECT_EQ(access_level_sign(prop->access), "~") << prop->name;
    EXPECT_FALSE(is_private_access(prop->access)) << prop->name;
    EXPECT_EQ((prop->access >> 3) & 7, u64(ACCESS_PUBLIC)) << prop->name << ": the namespace writes it";
    EXPECT_EQ((prop->access >> 6) & 7, u64(ACCESS_PUBLIC)) << prop->name << ": the package writes it";
  }
  ASSERT_NE(length->default_value, nullptr);
  EXPECT_EQ(length->default_value->content, "0");
  EXPECT_FALSE(data->type->nullable);
  EXPECT_EQ(data->type->get_class(), gc_ptr);
}

TEST(Layout, VerboseLine) {
  World w;
  w.b->verbose = 3;
  Class* k = w.cls("K");
  k->add_prop("a", w.t("u8"));
  testing::internal::CaptureStdout();
  k->determine_size();
  runtime_class(w.b, "type", "u8")->determine_size();  // sized by its declaration: no line
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "> Determine class size: K | size: 8\n");
}

}  // namespace
}  // namespace tesk::test
