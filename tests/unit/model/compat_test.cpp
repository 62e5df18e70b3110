// Type compatibility: the directional matrix.
#include "world.h"

namespace tesk::test {
namespace {

FuncInfo* sig(Build* b, std::vector<Type*> args, std::vector<Type*> rets, bool can_error = false) {
  FuncInfo* f = new_func_info(b);
  f->args = std::move(args);
  f->rets = std::move(rets);
  f->errors = new_error_map(b);
  if (can_error) f->errors->set("e", 7);
  f->can_error = can_error;
  return f;
}

ErrorMap* errs(Build* b, std::initializer_list<const char*> names) {
  ErrorMap* m = new_error_map(b);
  u32 code = 1;
  for (const char* n : names) m->set(n, code++);
  return m;
}

struct CompatWorld : World {
  Class* animal = cls("Animal");
  Class* dog = cls("Dog");
  Class* other = cls("Other");
  Class* pt = cls("Pt", CLASS_STRUCT);
  Enum* color = b->make<Enum>();
  CompatWorld() {
    dog->mode_base = animal;
    dog->is_mode = 1;
    color->build = b;
    color->file = main_file;
    color->display_name = "Color";
  }
  Type* error_type(std::initializer_list<const char*> names) { return error_code_type(b, errs(b, names)); }
  Type* co(std::vector<Type*> items, std::initializer_list<const char*> names, bool with_errors = true) {
    auto* list = items.empty() ? nullptr : b->make<std::vector<Type*>>(std::move(items));
    return co_type(b, list, with_errors ? errs(b, names) : nullptr);
  }
};

TEST(Compat, Matrix) {
  CompatWorld w;
  Type* vec = w.animal->get_type();
  Type* vec_n = vec->get_nullable();
  Type* dog = w.dog->get_type();
  Type* i = w.t("int");
  Type* u8 = w.t("u8");
  Type* i32 = w.t("i32");
  Type* u32 = w.t("u32");
  Type* i64 = w.t("i64");
  Type* rawp = w.t("ptr");
  Type* null = null_type(w.b);
  Type* imut_fn = fn_type(w.b, sig(w.b, {i}, {}));
  imut_fn->imut = 1;
  Type* fn_int = fn_type(w.b, sig(w.b, {i}, {}));
  Type* gen = generic_type(w.b);
  Type* color = w.color->get_type();

  struct Case {
    const char* what;
    Type* want;
    Type* have;
    u64 flags;
    bool ok;
  } cases[] = {
      {"nullable wants null", vec_n, null, 0, true},
      {"plain refuses null", vec, null, 0, false},
      {"plain refuses nullable", vec, vec_n, 0, false},
      {"nullable takes plain", vec_n, vec, 0, true},
      {"ptr takes class ref", rawp, vec, 0, true},
      {"ptr takes null", rawp, null, 0, true},
      {"ptr takes fn", rawp, fn_int, 0, true},
      {"ptr takes co", rawp, w.co({}, {}), 0, true},
      {"ptr refuses int", rawp, i, 0, false},
      {"error covers value a", w.error_type({"a", "b"}), error_value_type(w.b, "a", 1), 0, true},
      {"error misses value c", w.error_type({"a", "b"}), error_value_type(w.b, "c", 3), 0, false},
      {"error covers error", w.error_type({"a", "b"}), w.error_type({"b"}), 0, true},
      {"value refuses wider error", error_value_type(w.b, "a", 1), w.error_type({"a", "b"}), 0, false},
      {"mode reduces to base", w.animal->get_type(), dog, 0, true},
      {"base reduces for mode", dog, w.animal->get_type(), 0, true},
      {"other class", vec, w.other->get_type(), 0, false},
      {"value vs reference", vec->sub, vec, 0, false},
      {"struct vs class value", w.pt->get_type()->sub, vec->sub, 0, false},
      {"reference takes pointer", i->get_reference(), i->get_ref(), 0, true},
      {"pointer refuses reference", i->get_ref(), i->get_reference(), 0, false},
      {"reference of a class ref", vec->get_reference(), vec->get_ref(), 0, true},
      {"i64 refuses i32", i64, i32, 0, false},
      {"i32 refuses u32", i32, u32, 0, false},
      {"u8 takes other u8 record", u8, u8->copy(), 0, true},
      {"int takes i64 (same size and sign)", i, i64, 0, true},
      {"enum refuses its item type", color, i, 0, false},
      {"item type takes enum", i, color, 0, true},
      {"enum takes itself", color, w.color->get_type(), 0, true},
      {"array 4 takes 8", array_type(w.b, u8, 4), array_type(w.b, u8, 8), 0, true},
      {"array 8 refuses 4", array_type(w.b, u8, 8), array_type(w.b, u8, 4), 0, false},
      {"array count 0 not compared", array_type(w.b, u8, 8), array_type(w.b, u8, 0), 0, true},
      {"array element kinds", array_type(w.b, u8, 4), array_type(w.b, i32, 4), 0, false},
      {"fn arg is contravariant (mode)", fn_type(w.b, sig(w.b, {vec}, {})), fn_type(w.b, sig(w.b, {dog}, {})), 0,
       true},
      {"fn arg nullable reversed", fn_type(w.b, sig(w.b, {vec_n}, {})), fn_type(w.b, sig(w.b, {vec}, {})), 0,
       false},
      {"fn arg nullable accepted", fn_type(w.b, sig(w.b, {vec}, {})), fn_type(w.b, sig(w.b, {vec_n}, {})), 0,
       true},
      {"failing want takes safe", fn_type(w.b, sig(w.b, {}, {i}, true)), fn_type(w.b, sig(w.b, {}, {i})), 0, true},
      {"safe want refuses failing", fn_type(w.b, sig(w.b, {}, {i})), fn_type(w.b, sig(w.b, {}, {i}, true)), 0,
       false},
      {"fn arg count", fn_type(w.b, sig(w.b, {i}, {})), fn_type(w.b, sig(w.b, {}, {})), 0, false},
      {"fn result count", fn_type(w.b, sig(w.b, {}, {i})), fn_type(w.b, sig(w.b, {}, {})), 0, false},
      {"fn vs fnptr", fnptr_type(w.b, sig(w.b, {i}, {})), fn_int, 0, false},
      {"fn without signature", fn_type(w.b, nullptr), fn_int, 0, false},
      {"fn imut differs", fn_int, imut_fn, 0, false},
      {"fn imut ignored", fn_int, imut_fn, 1, true},
      {"co errors covered", w.co({i}, {"a", "b"}), w.co({i}, {"a"}), 0, true},
      {"co errors not covered", w.co({i}, {"a"}), w.co({i}, {"a", "b"}), 0, false},
      {"co items differ", w.co({i}, {}), w.co({u8}, {}), 0, false},
      {"co without items takes any", w.co({i}, {}), w.co({}, {}), 0, true},
      {"co wants errors map", w.co({}, {}, false), w.co({}, {"a"}), 0, false},
      {"generic want", gen, i, 0, true},
      {"generic have", vec, gen, 0, true},
      {"multi items", multi_type(w.b, {i, vec_n}, false), multi_type(w.b, {i, vec}, false), 0, true},
      {"multi items reversed", multi_type(w.b, {i, vec}, false), multi_type(w.b, {i, vec_n}, false), 0, false},
      {"multi length", multi_type(w.b, {i, i}, false), multi_type(w.b, {i, i, i}, false), 0, false},
      {"bool", w.t("bool"), w.t("bool"), 0, true},
      {"void and void", void_type(w.b), void_type(w.b), 0, true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.want->compat(c.have, c.flags), c.ok) << c.what;
}

TEST(Compat, ReferencesCompareOnlyPointedValues) {
  CompatWorld w;
  Type* a = w.animal->get_type();
  Type* marked = a->copy();
  marked->imut = 1;  // the reference's own flag is not compared
  EXPECT_TRUE(a->compat(marked, 0));
  Type* imut_value = a->sub->copy();
  imut_value->imut = 1;
  Type* ref_to_imut = new_type(w.b, TYPE_POINTER);
  ref_to_imut->sub = imut_value;
  EXPECT_FALSE(a->compat(ref_to_imut, 0));
  EXPECT_TRUE(a->compat(ref_to_imut, 1));
  EXPECT_TRUE(a->compat_ref(a->sub));
  EXPECT_FALSE(a->sub->compat_ref(a->sub));
}

TEST(Compat, CheckReportsAtChunk) {
  CompatWorld w;
  ParseContext ctx{w.b, w.unit, nullptr, nullptr};
  check_type_compat(w.t("int"), w.t("i64"), &ctx, nullptr);  // compatible: returns
  EXPECT_EQ(build_error_message([&] { check_type_compat(w.t("int"), w.t("u8"), &ctx, nullptr); }),
            "Incompatible types. Passing a 'u8' value to a 'int' type");
  Parser* p = w.parser("let a = 1\nlet b = 2\n");
  ctx.parser = p;
  Chunk* at = chunk_clone(w.b, p->chunk);
  at->index = 14;
  at->line = 2;
  at->col = 5;
  std::string report = parse_error_report_of([&] { check_type_compat(w.t("int"), w.t("u8"), &ctx, at); });
  EXPECT_NE(report.find("Incompatible types. Passing a 'u8' value to a 'int' type"), std::string::npos) << report;
  EXPECT_EQ(p->line, 2u);
  EXPECT_EQ(p->col, 5u);
}

}  // namespace
}  // namespace tesk::test
