// Classes: names, Types, members, operator lookups, immutable forms, offset checks.
#include "world.h"

namespace tesk::test {
namespace {

TEST(Classes, Names) {
  World w;
  Namespace* core = w.tesk->namespaces["core"];
  SourceFile* core_file = w.add_file(core, "/pkg/tesk/core/c.tesk");
  struct Case {
    SourceFile* file;
    const char* exported;
    const char* display;
  } cases[] = {
      {w.main_file, "Foo", "Foo"},
      {w.util_file, "util__Foo", "Foo"},
      {w.net_file, "web__net__Foo", "web:net:Foo"},
      {core_file, "tesk__core__Foo", "Foo"},
  };
  for (const Case& c : cases) {
    size_t n = w.b->classes.size();
    Class* k = new_class(w.unit, c.file, 290, "Foo", CLASS_CLASS, nullptr, nullptr);
    EXPECT_EQ(k->export_name, c.exported);
    EXPECT_EQ(k->display_name, c.display);
    EXPECT_EQ(k->vtable_name(), std::string(c.exported) + "_VTABLE");
    EXPECT_EQ(k->access, 290u);
    EXPECT_EQ(k->scope->kind, SCOPE_CLASS);
    EXPECT_EQ(k->scope->parent, c.file->scope);
    EXPECT_EQ(k->documented, 1);
    EXPECT_EQ(w.b->classes.size(), n + 1);
    EXPECT_EQ(w.unit->classes.back(), k);
  }
  w.b->main_namespace = nullptr;
  EXPECT_EQ(build_error_message([&] { new_class(w.unit, w.main_file, 292, "X", CLASS_CLASS, nullptr, nullptr); }),
            "Cannot find main:main namespace (bug)");
}

TEST(Classes, GenericTemplate) {
  World w;
  GenericNames* names = w.b->make<GenericNames>();
  Class* g = new_class(w.unit, w.main_file, 292, "List", CLASS_CLASS, names, nullptr);
  EXPECT_EQ(g->is_generic, 1);
  EXPECT_EQ(g->documented, 0);
  ASSERT_NE(g->generic_instances, nullptr);
  EXPECT_EQ(g->generic_names, names);
}

TEST(Classes, TypesByKind) {
  World w;
  struct Case {
    u64 class_kind;
    u64 type_kind;
    bool structured;
  } cases[] = {
      {CLASS_CLASS, TYPE_CLASS, true},     {CLASS_STRUCT, TYPE_STRUCT, true}, {CLASS_POINTER, TYPE_RAW_POINTER, false},
      {CLASS_INTEGER, TYPE_INT, false},    {CLASS_FLOAT, TYPE_FLOAT, false},  {CLASS_BOOLEAN, TYPE_BOOL, false},
  };
  for (const Case& c : cases) {
    Class* k = w.cls("K", c.class_kind);
    k->signed_ = 1;
    k->imut = 1;
    Type* t = k->get_type();
    EXPECT_EQ(k->get_type(), t);
    Type* value = c.structured ? t->sub : t;
    if (c.structured) {
      EXPECT_EQ(t->kind, TYPE_POINTER);
      EXPECT_EQ(t->count, 0u);
      EXPECT_EQ(t->class_, nullptr);
    }
    EXPECT_EQ(value->kind, c.type_kind);
    EXPECT_EQ(value->class_, k);
    EXPECT_EQ(value->signed_, 1);
    EXPECT_EQ(value->imut, 1);
    EXPECT_EQ(k->is_structured(), c.structured);
    EXPECT_EQ(k->is_pointer_type(), c.structured || c.class_kind == CLASS_POINTER);
  }
  Class* slice = w.cls("S", CLASS_SLICE);
  EXPECT_EQ(build_error_message([&] { slice->get_type(); }), "Unknown type in function Class.get_type() (compiler bug)");
}

TEST(Classes, MembersThroughModes) {
  World w;
  Class* base = w.cls("Base");
  Class* mode = w.cls("Mode");
  mode->mode_base = base;
  Property* x = base->add_prop("x", w.t("int"));
  Property* y = base->add_prop("y", w.t("int"));
  EXPECT_EQ(x->access, 289u);
  EXPECT_EQ(x->class_, base);
  Func* base_f = w.func("f");
  Func* base_g = w.func("g");
  Func* mode_g = w.func("g");
  Func* mode_y = w.func("y");
  base->funcs.set("f", base_f);
  base->funcs.set("g", base_g);
  mode->funcs.set("g", mode_g);
  mode->funcs.set("y", mode_y);
  Group* grp = w.b->make<Group>();
  base->groups.set("io", grp);

  EXPECT_EQ(mode->get_prop("x"), x);
  EXPECT_EQ(mode->get_prop("y"), nullptr);  // the mode's function y hides the property
  EXPECT_EQ(base->get_prop("y"), y);
  EXPECT_EQ(&mode->get_props(), &base->props);
  EXPECT_EQ(mode->get_function("f"), base_f);
  EXPECT_EQ(mode->get_function("g"), mode_g);
  EXPECT_EQ(mode->get_function("h"), nullptr);
  EXPECT_EQ(mode->get_group("io"), grp);
  OrderedMap<Func*> all = mode->get_functions();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all.entries()[0].first, "f");
  EXPECT_EQ(all.entries()[1].second, mode_g);  // own function replaces base's, base's position
  EXPECT_EQ(all.entries()[2].first, "y");
  // Replacing a property keeps one entry.
  Property* x2 = base->add_prop("x", w.t("u8"));
  EXPECT_EQ(base->props.size(), 2u);
  EXPECT_EQ(base->get_prop("x"), x2);
}

TEST(Classes, ToAndAddFunctions) {
  World w;
  Class* money = w.cls("Money");
  Class* cents = w.cls("Cents");
  Class* euro = w.cls("Euro");
  // Both results fit a wanted ptr; only the one of class ptr is taken for it.
  Func* to_any = w.func("to_any");
  to_any->return_type = w.t("ptr");
  Func* to_money = w.func("to_money");
  to_money->return_type = money->get_type();
  cents->to_funcs = {to_any, to_money};
  Type* want_ptr = w.t("ptr");
  EXPECT_EQ(cents->find_to_function(money->get_type()), to_money);
  EXPECT_EQ(cents->find_to_function(want_ptr), to_any);
  EXPECT_EQ(cents->find_to_function(euro->get_type()), nullptr);
  // Money fits ptr too, but its class is not ptr's: the class decides, not the order.
  cents->to_funcs = {to_money, to_any};
  EXPECT_EQ(cents->find_to_function(want_ptr), to_any);

  Func* no_args = w.func("add0");
  Func* add_int = w.func("add_int");
  add_int->add_arg("this", w.t("int"));
  add_int->add_arg("o", w.t("int"));
  Func* add_money = w.func("add_money");
  add_money->add_arg("this", money->get_type());
  add_money->add_arg("o", money->get_type());
  money->add_funcs = {no_args, add_int, add_money};
  EXPECT_EQ(money->find_add_function(w.t("int")), add_int);
  EXPECT_EQ(money->find_add_function(money->get_type()), add_money);
  EXPECT_EQ(money->find_add_function(cents->get_type()), add_money);  // through Cents' $to
  EXPECT_EQ(money->find_add_function(euro->get_type()), nullptr);
  EXPECT_EQ(money->find_add_function(w.t("u8")), nullptr);
}

TEST(Classes, MarkUsed) {
  World w;
  Class* k = w.cls("K");
  Func* act = w.func("gc_action");
  k->funcs.set("gc_action", act);
  w.unit->used = 0;
  k->mark_used();
  EXPECT_EQ(k->used, 1);
  EXPECT_EQ(k->used_noted, 1);
  EXPECT_EQ(w.unit->used, 1);
  EXPECT_EQ(w.b->new_class_used, 1);
  EXPECT_EQ(act->used, 1);
  w.b->new_class_used = 0;
  k->used = 0;
  k->mark_used();
  EXPECT_EQ(w.b->new_class_used, 0);
}

TEST(Classes, ImmutableType) {
  World w;
  Class* foo = w.cls("Foo");
  Class* pt = w.cls("Pt", CLASS_STRUCT);
  // Variants are made without reading bodies here: mark the classes generic templates.
  for (Class* c : {foo, pt}) {
    c->is_generic = 1;
    c->generic_names = w.b->make<GenericNames>();
  }
  Class* imut_foo = foo->get_imut();
  EXPECT_EQ(w.b->classes.back(), imut_foo);
  EXPECT_EQ(w.unit->classes.back(), imut_foo);
  EXPECT_EQ(foo->get_imut(), imut_foo);
  EXPECT_EQ(imut_foo->mutable_class, foo);
  EXPECT_EQ(imut_foo->imut, 1);
  EXPECT_EQ(imut_foo->name, "imut_Foo");
  EXPECT_EQ(imut_foo->export_name, "imut_Foo");
  EXPECT_EQ(imut_foo->display_name, "imut Foo");
  Type* ft = foo->get_type();
  Type* imut_ft = imut_foo->get_type();

  EXPECT_EQ(ft->get_imut(), imut_ft);
  EXPECT_EQ(imut_ft->get_imut(), imut_ft);
  EXPECT_EQ(w.t("int")->get_imut(), w.t("int"));
  // ?Foo stays nullable.
  Type* n = ft->get_nullable()->get_imut();
  EXPECT_EQ(n, imut_ft->get_nullable());
  EXPECT_EQ(n->to_text(), "?imut Foo");
  // A fixed array of inline structs keeps its kind and count.
  Type* arr = array_type(w.b, pt->get_type()->sub, 3);
  Type* imut_arr = arr->get_imut();
  EXPECT_EQ(imut_arr->kind, TYPE_ARRAY);
  EXPECT_EQ(imut_arr->count, 3u);
  EXPECT_EQ(imut_arr->sub->class_, pt->get_imut());
  EXPECT_EQ(imut_arr->size(), arr->size());
  // A raw pointer with an element stays raw.
  Type* raw = w.t("ptr")->copy();
  raw->sub = pt->get_type()->sub;
  Type* imut_raw = raw->get_imut();
  EXPECT_EQ(imut_raw->kind, TYPE_RAW_POINTER);
  EXPECT_EQ(imut_raw->class_, raw->class_);
  EXPECT_EQ(imut_raw->sub->class_, pt->get_imut());
  // A pointer with a count keeps the count.
  Type* counted = new_type(w.b, TYPE_POINTER);
  counted->sub = pt->get_type()->sub;
  counted->count = 4;
  Type* imut_counted = counted->get_imut();
  EXPECT_EQ(imut_counted->kind, TYPE_POINTER);
  EXPECT_EQ(imut_counted->count, 4u);
  EXPECT_EQ(imut_counted->sub->class_, pt->get_imut());
  // An inline struct property becomes the variant's value type.
  EXPECT_EQ(pt->get_type()->sub->get_imut(), pt->get_imut()->get_type()->sub);
  // fn Types are copied.
  Type* f = fn_type(w.b, new_func_info(w.b));
  Type* fc = f->get_imut();
  EXPECT_NE(fc, f);
  EXPECT_EQ(fc->kind, TYPE_FN);
  // The way back.
  Type* back = imut_ft->sub->with_imut(false);
  EXPECT_EQ(back->class_, foo);
  EXPECT_EQ(back->imut, 0);
  EXPECT_EQ(ft->sub->with_imut(false), ft->sub);
  EXPECT_EQ(ft->with_imut(true), imut_ft);
  // Async classes are left alone.
  Class* job = w.cls("Job");
  job->async = 1;
  EXPECT_EQ(job->get_type()->get_imut_unless_async(), job->get_type());
  EXPECT_TRUE(job->get_type()->sub->is_imut_or_async());
  EXPECT_FALSE(ft->sub->is_imut_or_async());
  EXPECT_TRUE(imut_ft->sub->is_imut_class());
  EXPECT_FALSE(ft->sub->is_imut_class());
  EXPECT_TRUE(w.t("int")->is_imut_class());
}

TEST(Classes, ImmutableVariantReadsItsBody) {
  World w;
  Class* foo = w.cls("Foo");
  // The variant's body is read when it is made (Stage 2.2's reader; the class body
  // tests cover bodies with members). This class was made without a body.
  Class* v = foo->get_imut();
  EXPECT_EQ(v->body_read, 1);
  EXPECT_EQ(v->props.size(), 0u);
  EXPECT_EQ(foo->body_read, 0);
}

TEST(Classes, CheckOffsetFunctions) {
  World w;
  Class* k = w.cls("K");
  auto offset_fn = [&](u64 args, Type* ret) {
    Func* f = w.func("get");
    f->display_name = "K.get";
    for (u64 i = 0; i < args; i++) f->add_arg("a" + std::to_string(i), w.t("int"));
    f->return_type = ret;
    return f;
  };
  struct Case {
    u64 args;
    Type* ret;
    bool assign;
    const char* message;
  } cases[] = {
      {2, w.t("int"), false, ""},
      {0, w.t("int"), false, "The $offset function 'K.get' must have atleast 1 argument"},
      {2, void_type(w.b), false, "The $offset function 'K.get' can only have 1 return type"},
      {2, none_type(w.b), false, "The $offset function 'K.get' can only have 1 return type"},
      {2, multi_type(w.b, {w.t("int"), w.t("int")}, false), false,
       "The $offset function 'K.get' can only have 1 return type"},
      {2, multi_type(w.b, {void_type(w.b)}, true), false,
       "The $offset function 'K.get' cannot have a 'void' return type"},
      {1, void_type(w.b), true, "The $offset_assign function 'K.get' must have atleast 2 argument"},
      {2, void_type(w.b), true, ""},
  };
  for (const Case& c : cases) {
    k->offset_func = c.assign ? nullptr : offset_fn(c.args, c.ret);
    k->offset_assign_func = c.assign ? offset_fn(c.args, c.ret) : nullptr;
    if (*c.message == 0) {
      check_offset_functions(k);
    } else {
      EXPECT_EQ(build_error_message([&] { check_offset_functions(k); }), c.message);
    }
  }
}

}  // namespace
}  // namespace tesk::test
