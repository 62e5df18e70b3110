// Types: constructors, variants and caches, text, sizes, integer ranges.
#include "world.h"

namespace tesk::test {
namespace {

Type* ptr_to(Build* b, Type* sub, u64 count, u64 kind = TYPE_POINTER) {
  Type* t = new_type(b, kind);
  t->sub = sub;
  t->count = count;
  return t;
}

FuncInfo* sig(Build* b, std::vector<Type*> args, std::vector<Type*> rets, bool can_error = false) {
  FuncInfo* f = new_func_info(b);
  f->args = std::move(args);
  f->rets = std::move(rets);
  f->errors = new_error_map(b);
  if (can_error) f->errors->set("e", 7);
  f->can_error = can_error;
  return f;
}

TEST(TypeConstructors, MultiAndVoid) {
  World w;
  Type* i = w.t("int");
  EXPECT_EQ(multi_type(w.b, {i}, false), i);
  EXPECT_EQ(multi_type(w.b, {}, false)->kind, TYPE_VOID);
  Type* forced = multi_type(w.b, {i}, true);
  EXPECT_EQ(forced->kind, TYPE_MULTI);
  EXPECT_EQ(forced->items->size(), 1u);
  Type* two = multi_type(w.b, {i, w.t("bool")}, false);
  EXPECT_EQ(two->kind, TYPE_MULTI);
  EXPECT_EQ(two->value_count(), 2u);
  Type* empty_multi = new_type(w.b, TYPE_MULTI);
  EXPECT_EQ(empty_multi->value_count(), 1u);
  EXPECT_EQ(new_type(w.b, TYPE_UNDEFINED)->value_count(), 0u);
  EXPECT_TRUE(new_type(w.b, TYPE_NONE)->value_types().empty());
  EXPECT_EQ(i->value_types(), std::vector<Type*>{i});
}

TEST(TypeConstructors, ErrorsAndCoroutines) {
  World w;
  Class* u32c = runtime_class(w.b, "type", "u32");
  Type* ev = error_value_type(w.b, "a", 11);
  EXPECT_EQ(ev->kind, TYPE_ERROR_VALUE);
  EXPECT_EQ(ev->class_, u32c);
  EXPECT_EQ(*ev->errors->find("a"), 11u);
  ErrorMap* m = new_error_map(w.b);
  EXPECT_EQ(co_type(w.b, nullptr, m)->co_can_error, 0);
  m->set("x", 1);
  Type* co = co_type(w.b, nullptr, m);
  EXPECT_EQ(co->co_can_error, 1);
  EXPECT_EQ(co->errors, m);
  EXPECT_EQ(error_code_type(w.b, m)->class_, u32c);
}

TEST(TypeConstructors, NumberTypes) {
  World w;
  struct Case {
    u64 size;
    bool is_float, is_signed;
    const char* name;
  } cases[] = {{1, false, true, "i8"},  {2, false, true, "i16"}, {4, false, true, "i32"},
               {8, false, true, "i64"}, {1, false, false, "u8"}, {2, false, false, "u16"},
               {4, false, false, "u32"}, {8, false, false, "u64"}, {4, true, false, "f32"},
               {8, true, true, "f64"}};
  for (const Case& c : cases) EXPECT_EQ(number_type(w.b, c.size, c.is_float, c.is_signed), w.t(c.name)) << c.name;
  EXPECT_EQ(build_error_message([&] { number_type(w.b, 3, false, false); }), "Cannot generate numeric type for size: 3");
  EXPECT_EQ(build_error_message([&] { number_type(w.b, 2, true, true); }), "Cannot generate numeric type for size: 2");
  EXPECT_EQ(string_type(w.b), w.t("String"));
  EXPECT_EQ(int_type(w.b), w.t("int"));
  EXPECT_EQ(ptr_type(w.b)->kind, TYPE_RAW_POINTER);
}

TEST(TypeConstructors, FuncPointerType) {
  World w;
  Func* f = w.func("f");
  f->add_arg("a", w.t("int"));
  f->varargs = 1;
  Type* fp = func_pointer_type(f);
  EXPECT_EQ(fp->kind, TYPE_FNPTR);
  EXPECT_TRUE(fp->func_info->rets.empty());
  EXPECT_EQ(fp->func_info->args, std::vector<Type*>{w.t("int")});
  EXPECT_EQ(fp->func_info->errors, f->errors);
  EXPECT_EQ(fp->func_info->infinite, 1);
  f->return_type = multi_type(w.b, {w.t("int"), w.t("bool")}, false);
  EXPECT_EQ(func_pointer_type(f)->func_info->rets.size(), 2u);
  f->return_type = w.t("u8");
  EXPECT_EQ(func_pointer_type(f)->func_info->rets, std::vector<Type*>{w.t("u8")});
}

TEST(TypeConstructors, FuncPointerTypeReusedWhileTheSignatureHolds) {
  World w;
  Func* f = w.func("f");
  f->add_arg("a", w.t("int"));
  f->return_type = w.t("int");
  Type* fp = func_pointer_type(f);
  EXPECT_EQ(func_pointer_type(f), fp);
  // Each change of the signature gives a new Type describing it; the old one is unchanged.
  struct Case {
    const char* what;
    std::function<void()> change;
  } cases[] = {
      {"argument added", [&] { f->add_arg("b", w.t("bool")); }},
      {"argument type", [&] { f->args[1]->type = w.t("u8"); }},
      {"result", [&] { f->return_type = w.t("bool"); }},
      {"results", [&] { f->return_type = multi_type(w.b, {w.t("int"), w.t("bool")}, false); }},
      {"no result", [&] { f->return_type = void_type(w.b); }},
      {"errors", [&] { f->errors = new_error_map(w.b); }},
      {"can_error", [&] { f->can_error = 1; }},
      {"varargs", [&] { f->varargs = 1; }},
  };
  Type* last = fp;
  for (const Case& c : cases) {
    c.change();
    Type* now = func_pointer_type(f);
    EXPECT_NE(now, last) << c.what;
    EXPECT_EQ(func_pointer_type(f), now) << c.what;
    EXPECT_EQ(now->func_info->args.size(), f->args.size()) << c.what;
    EXPECT_EQ(now->func_info->errors, f->errors) << c.what;
    EXPECT_EQ(now->func_info->can_error, f->can_error) << c.what;
    EXPECT_EQ(now->func_info->infinite, f->varargs) << c.what;
    last = now;
  }
  EXPECT_EQ(fp->func_info->args, std::vector<Type*>{w.t("int")});
  EXPECT_EQ(fp->func_info->rets, std::vector<Type*>{w.t("int")});
  EXPECT_EQ(last->func_info->rets, std::vector<Type*>{});
  // The same signature in another function is another Type.
  Func* g = w.func("g");
  EXPECT_NE(func_pointer_type(g), func_pointer_type(f));
}

TEST(TypeVariants, NullableAndNotNullCaches) {
  World w;
  Type* i = w.t("int");
  EXPECT_EQ(i->get_nullable(), i);
  Type* vec = w.cls("Vec")->get_type();
  Type* n = vec->get_nullable();
  EXPECT_NE(n, vec);
  EXPECT_EQ(n->nullable, 1);
  EXPECT_EQ(vec->get_nullable(), n);
  EXPECT_EQ(n->get_nullable(), n);
  Type* back = n->get_non_nullable();
  EXPECT_NE(back, vec);  // a variant does not point back
  EXPECT_EQ(back->nullable, 0);
  EXPECT_EQ(n->get_non_nullable(), back);
  Type* nn = n->get_not_null();
  EXPECT_EQ(nn->nullable, 0);
  EXPECT_EQ(nn->not_null, 1);
  EXPECT_EQ(n->get_not_null(), nn);
  EXPECT_EQ(nn->get_not_null(), nn);
}

TEST(TypeVariants, CopyKeepsCoroutineErrorsAndEnum) {
  World w;
  ErrorMap* m = new_error_map(w.b);
  m->set("fail", 99);
  auto* items = w.b->make<std::vector<Type*>>(std::vector<Type*>{w.t("int")});
  Type* co = co_type(w.b, items, m);
  for (Type* v : {co->copy(), co->get_nullable(), co->get_nullable()->get_not_null()}) {
    EXPECT_EQ(v->errors, m);
    EXPECT_EQ(v->co_can_error, 1);
    EXPECT_NE(v->items, items);
    EXPECT_EQ(*v->items, *items);
  }
  EXPECT_TRUE(co_type(w.b, nullptr, m)->get_nullable()->compat(co_type(w.b, nullptr, m), 0));
  // A nullable copy that lost its errors would be accepted as an error-free coroutine.
  EXPECT_FALSE(co_type(w.b, nullptr, nullptr)->compat(co->get_nullable()->get_not_null(), 0));

  Enum* en = w.b->make<Enum>();
  en->build = w.b;
  en->file = w.main_file;
  en->display_name = "Color";
  Type* et = en->get_type();
  EXPECT_EQ(et->enum_, en);
  EXPECT_EQ(en->get_type(), et);
  EXPECT_EQ(en->get_item_type(), w.t("int"));
  EXPECT_EQ(et->get_not_null()->enum_, en);
  EXPECT_EQ(et->to_text(), "Color(int)");
}

TEST(TypeVariants, RefPointedReference) {
  World w;
  Type* i = w.t("int");
  Type* r = i->get_ref();
  EXPECT_EQ(r->kind, TYPE_POINTER);
  EXPECT_EQ(r->sub, i);
  EXPECT_EQ(r->count, 0u);
  Type* arr = array_type(w.b, w.t("u8"), 4);
  Type* ar = arr->get_ref();
  EXPECT_EQ(ar->sub, w.t("u8"));
  EXPECT_EQ(ar->count, 4u);
  Class* vec = w.cls("Vec");
  EXPECT_EQ(vec->get_type()->sub->get_ref(), vec->get_type());
  Type* ref = i->get_reference();
  EXPECT_EQ(ref->kind, TYPE_REFERENCE);
  EXPECT_EQ(ref->sub, i);
  EXPECT_EQ(i->get_reference(), ref);
  EXPECT_EQ(ptr_to(w.b, i, 1)->get_pointed(), i);
  EXPECT_EQ(ptr_to(w.b, i, 0)->get_pointed(), i);
  Type* four = ptr_to(w.b, i, 4)->get_pointed();
  EXPECT_EQ(four->kind, TYPE_ARRAY);
  EXPECT_EQ(four->count, 4u);
  EXPECT_EQ(i->get_pointed(), i);
  EXPECT_EQ(vec->get_type()->get_class(), vec);
  EXPECT_EQ(ptr_to(w.b, i, 0)->get_class(), nullptr);
  EXPECT_EQ(build_error_message([&] { i->get_func_info(); }), "Missing function information (compiler bug)");
}

TEST(TypeVariants, NullableLikeMulti) {
  World w;
  Type* vec = w.cls("Vec")->get_type();
  Type* i = w.t("int");
  EXPECT_EQ(vec->nullable_like(vec->get_nullable()), vec->get_nullable());
  EXPECT_EQ(vec->nullable_like(vec), vec);
  Type* want = multi_type(w.b, {vec, i, vec}, false);
  Type* other = multi_type(w.b, {vec->get_nullable(), i}, false);
  Type* r = want->nullable_like(other);
  ASSERT_EQ(r->kind, TYPE_MULTI);
  EXPECT_EQ((*r->items)[0], vec->get_nullable());
  EXPECT_EQ((*r->items)[1], i);
  EXPECT_EQ((*r->items)[2], vec);  // no item at that position in other
}

TEST(TypeText, DisplayAndExport) {
  World w;
  Class* vec = w.cls("Vec");
  Class* geo_vec = w.cls(w.util_file, "Gv");
  Class* net_vec = w.cls(w.net_file, "Nv");
  Class* pt = w.cls("Pt", CLASS_STRUCT);
  Type* i = w.t("int");
  Type* vt = vec->get_type();
  ErrorMap* errs = new_error_map(w.b);
  errs->set("a", 123);
  auto* co_items = w.b->make<std::vector<Type*>>(std::vector<Type*>{i});
  Type* imut_nullable = vt->copy();
  imut_nullable->nullable = 1;
  imut_nullable->imut = 1;
  Type* raw = w.t("ptr")->copy();
  raw->sub = w.t("u8");
  Type* gen = generic_type(w.b);
  gen->name = "T";

  struct Case {
    Type* type;
    const char* display;
    const char* exported;
  } cases[] = {
      {w.t("String"), "String", "tesk__type__String"},
      {w.t("String")->get_nullable(), "?String", "?tesk__type__String"},
      {vt->sub, "<Vec>", "<Vec>"},
      {pt->get_type(), "Pt", "Pt"},
      {ptr_to(w.b, i, 0), "*[int]", "*[int]"},
      {ptr_to(w.b, i, 1), "*int", "*int"},
      {ptr_to(w.b, w.t("u8"), 4), "*[u8 x 4]", "*[u8 x 4]"},
      {ptr_to(w.b, geo_vec->get_type(), 1), "*util:Gv", "*util:Gv"},  // element always displayed
      {ptr_to(w.b, i, 0, TYPE_REFERENCE), "&[int]", "&[int]"},
      {new_type(w.b, TYPE_REFERENCE), "&", "&"},
      {array_type(w.b, w.t("u8"), 16), "[u8 x 16]", "[tesk__type__u8 x 16]"},
      {array_type(w.b, geo_vec->get_type(), 2), "[util:Gv x 2]", "[util__Gv x 2]"},
      {array_type(w.b, nullptr, 2), "[? x 2]", "[? x 2]"},
      {fn_type(w.b, sig(w.b, {i, w.t("String")}, {w.t("bool")}, true)), "fn(int, String)(bool)!",
       "fn(tesk__type__int, tesk__type__String)(tesk__type__bool)!"},
      {fnptr_type(w.b, sig(w.b, {}, {})), "fnptr()()", "fnptr()()"},
      {fnptr_type(w.b, nullptr), "fnptr()()", "fnptr()()"},
      {fn_type(w.b, sig(w.b, {net_vec->get_type()}, {})), "fn(web:net:Nv)()", "fn(web__net__Nv)()"},
      {multi_type(w.b, {i, w.t("bool")}, false), "(int, bool)", "(tesk__type__int, tesk__type__bool)"},
      {new_type(w.b, TYPE_MULTI), "<multi-type> (missing type information)",
       "<multi-type> (missing type information)"},
      {co_type(w.b, co_items, errs), "co(int) !123", "co(int) !123"},
      {co_type(w.b, nullptr, nullptr), "co", "co"},
      {co_type(w.b, w.b->make<std::vector<Type*>>(), nullptr), "co", "co"},
      {void_type(w.b), "void", "void"},
      {null_type(w.b), "<null>", "<null>"},
      {new_type(w.b, TYPE_UNDEFINED), "@undefined", "@undefined"},
      {error_code_type(w.b, errs), "<error>", "<error>"},
      {error_value_type(w.b, "a", 1), "<error-value>", "<error-value>"},
      {none_type(w.b), "none", "none"},
      {gen, "T", "T"},
      {generic_type(w.b), "<cannot-convert-type-to-string> (compiler-type: 18)",
       "<cannot-convert-type-to-string> (compiler-type: 18)"},
      {geo_vec->get_type(), "util:Gv", "util__Gv"},
      {net_vec->get_type(), "web:net:Nv", "web__net__Nv"},
      {imut_nullable, "imut ?Vec", "imut ?Vec"},
      {new_type(w.b, TYPE_POINTER), "<missing-pointer-sub-type>", "<missing-pointer-sub-type>"},
      {ptr_to(w.b, new_type(w.b, TYPE_CLASS), 0), "<missing-class-name>", "<missing-class-name>"},
      {new_type(w.b, TYPE_INT), "<missing-class-name>", "<missing-class-name>"},
      {raw, "ptr[u8]", "tesk__type__ptr[u8]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.type->to_text(), c.display);
    EXPECT_EQ(c.type->to_text_ex(1), c.exported);
  }
}

TEST(TypeText, ImmutableVariantNames) {
  World w;
  Class* vec = w.cls("Vec");
  vec->generic_names = w.b->make<GenericNames>();
  vec->is_generic = 1;  // the variant is not read (no class-body reader here)
  Class* v = vec->get_imut();
  EXPECT_EQ(v->get_type()->to_text(), "imut Vec");
  EXPECT_EQ(v->get_type()->sub->to_text(), "<imut imut Vec>");
  EXPECT_EQ(v->get_type()->to_text_ex(1), "imut_Vec");
}

TEST(TypeText, MissingPackagesInDisplayForm) {
  World w;
  Type* t = w.cls(w.util_file, "Gv")->get_type();
  Type* m = w.cls("M")->get_type();
  w.b->tesk_package = nullptr;
  EXPECT_EQ(m->to_text(), "M");  // main namespace: the runtime package is not needed
  EXPECT_EQ(build_error_message([&] { t->to_text(); }), "Cannot find tesk package (bug)");
  EXPECT_EQ(t->to_text_ex(1), "util__Gv");
  w.b->main_namespace = nullptr;
  EXPECT_EQ(build_error_message([&] { m->to_text(); }), "Cannot find main:main namespace (bug)");
}

TEST(TypeSizes, SizesAndAlignment) {
  World w;
  Class* s1 = w.cls("S1", CLASS_STRUCT);
  s1->add_prop("a", w.t("u8"));
  s1->add_prop("b", w.t("u16"));
  s1->size = 4;
  Class* big = w.cls("Big", CLASS_STRUCT);
  big->size = 24;
  Class* holder = w.cls("Holder", CLASS_STRUCT);
  holder->add_prop("inner", big->get_type()->sub);
  holder->size = 24;
  Class* empty = w.cls("Empty", CLASS_STRUCT);
  FuncInfo* info = sig(w.b, {}, {});
  struct Case {
    Type* type;
    u64 size, bits, ir_align, align_unit;
  } cases[] = {
      {w.t("u8"), 1, 8, 4, 1},
      {w.t("u16"), 2, 16, 4, 2},
      {w.t("i32"), 4, 32, 4, 4},
      {w.t("i64"), 8, 64, 8, 8},
      {w.t("bool"), 1, 1, 4, 1},
      {w.t("f64"), 8, 64, 8, 8},
      {w.t("String"), 8, 64, 8, 8},
      {w.t("ptr"), 8, 64, 8, 8},
      {w.t("int")->get_reference(), 8, 64, 8, 8},
      {null_type(w.b), 8, 64, 8, 8},
      {fn_type(w.b, info), 8, 64, 8, 8},
      {fnptr_type(w.b, info), 8, 64, 8, 8},
      {co_type(w.b, nullptr, nullptr), 8, 64, 8, 8},
      {generic_type(w.b), 8, 64, 8, 8},
      {array_type(w.b, w.t("i32"), 4), 16, 128, 8, 4},
      {array_type(w.b, w.t("u8"), 3), 3, 24, 4, 1},
      {array_type(w.b, nullptr, 3), 0, 0, 4, 0},
      {s1->get_type()->sub, 4, 32, 4, 2},
      {holder->get_type()->sub, 24, 192, 8, 8},
      {empty->get_type()->sub, 0, 0, 4, 0},
      {multi_type(w.b, {w.t("int"), w.t("int")}, false), 0, 0, 4, 0},
      {void_type(w.b), 0, 0, 4, 0},
      {none_type(w.b), 0, 0, 4, 0},
      {new_type(w.b, TYPE_UNDEFINED), 0, 0, 4, 0},
      {error_code_type(w.b, new_error_map(w.b)), 4, 32, 4, 4},
      {error_value_type(w.b, "a", 1), 4, 32, 4, 4},
      {w.cls("Vec")->get_type()->sub, 0, 0, 4, 0},
  };
  for (const Case& c : cases) {
    std::string name = c.type->to_text();
    EXPECT_EQ(c.type->size(), c.size) << name;
    EXPECT_EQ(c.type->size_in_bits(), c.bits) << name;
    EXPECT_EQ(c.type->ir_align(), c.ir_align) << name;
    EXPECT_EQ(c.type->align_unit(), c.align_unit) << name;
  }
}

TEST(TypeSizes, IntFits) {
  World w;
  struct Case {
    const char* type;
    i64 value;
    bool is_signed, fits;
  } cases[] = {
      {"i8", 127, true, true},    {"i8", 128, true, false},   {"u8", 255, false, true},
      {"u8", 256, false, false},  {"i8", -128, true, true},   {"i8", -129, true, false},
      {"i64", -1, true, true},    {"u8", -1, false, false},   {"u8", -1, true, false},
      {"u64", -1, false, true},   {"i64", INT64_MIN, true, true}, {"i32", -2147483648LL, true, true},
      {"i32", -2147483649LL, true, false}, {"u32", 4294967295LL, false, true},
      {"i64", -1, false, true},  {"i16", 32767, true, true}, {"i16", 32768, true, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(w.t(c.type)->int_fits(static_cast<u64>(c.value), c.is_signed), c.fits)
        << c.type << " " << c.value << " " << c.is_signed;
  EXPECT_FALSE(w.t("f64")->int_fits(1, true));
  EXPECT_FALSE(w.t("bool")->int_fits(1, false));
}

TEST(TypePredicates, KindSets) {
  World w;
  u64 pointer_sized = 0, inline_kinds = 0, scalar = 0, number = 0;
  for (u64 k = 0; k <= 19; k++) {
    Type* t = new_type(w.b, k);
    if (t->is_pointer_sized()) pointer_sized |= kind_bit(k);
    if (t->is_inline()) inline_kinds |= kind_bit(k);
    if (t->is_scalar()) scalar |= kind_bit(k);
    if (t->is_number()) number |= kind_bit(k);
  }
  EXPECT_EQ(pointer_sized, 0xA9026u);
  EXPECT_EQ(inline_kinds, kind_bit(3) | kind_bit(4) | kind_bit(9));
  EXPECT_EQ(scalar, kind_bit(5) | kind_bit(6) | kind_bit(7));
  EXPECT_EQ(number, kind_bit(6) | kind_bit(7));
  EXPECT_TRUE(w.cls("Vec")->get_type()->is_gc());
  EXPECT_FALSE(w.cls("Pt", CLASS_STRUCT)->get_type()->is_gc());
  EXPECT_TRUE(fn_type(w.b, nullptr)->is_gc());
  EXPECT_FALSE(fnptr_type(w.b, nullptr)->is_gc());
}

TEST(FuncInfoOps, CloneAndReturns) {
  World w;
  FuncInfo* f = sig(w.b, {w.t("int"), w.t("bool")}, {w.t("u8")}, true);
  FuncInfo* c = f->clone(w.b);
  EXPECT_NE(c->errors, f->errors);
  EXPECT_EQ(c->errors->size(), 1u);
  EXPECT_EQ(c->can_error, 1);
  Type* bound = f->without_first_arg(w.b);
  EXPECT_EQ(bound->kind, TYPE_FN);
  EXPECT_EQ(bound->func_info->args, std::vector<Type*>{w.t("bool")});
  EXPECT_EQ(f->args.size(), 2u);
  EXPECT_EQ(f->return_type(w.b), w.t("u8"));
  EXPECT_EQ(sig(w.b, {}, {})->return_type(w.b)->kind, TYPE_VOID);
  Type* ir = f->ir_return_type(w.b);
  ASSERT_EQ(ir->kind, TYPE_MULTI);
  EXPECT_EQ(*ir->items, (std::vector<Type*>{w.t("u8"), w.t("u32"), w.t("String")}));
  FuncInfo* plain = sig(w.b, {}, {w.t("u8")});
  EXPECT_EQ(plain->ir_return_type(w.b), w.t("u8"));
}

}  // namespace
}  // namespace tesk::test
