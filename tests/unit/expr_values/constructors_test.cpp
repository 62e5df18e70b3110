// Value constructors: the kinds with rules of their own (defaults, nulls, groups,
// references, inline loads, narrowing lists, error checks, globals, functions).
#include "fixture.h"

namespace tesk::valtest {
namespace {

const char* kDecls =
    "struct Point {\n"
    "    x: int\n"
    "    y: int\n"
    "}\n"
    "class Box {\n"
    "    p: <Point>\n"
    "    n: int\n"
    "}\n"
    "global counter : int\n"
    "fn pair(a: int, b: Point) (int, bool) !bad {\n}\n"
    "fn none() {\n}\n";

const char* kArgs = "pt: Point, q: Point, box: Box, i: int, f: f64, ip: ?Box";

TEST(ValueConstructors, DefaultValues) {
  World w({kDecls}, kArgs);
  Build* b = w.b;
  Type* point_value = w.class_type("Point")->sub;
  Type* nullable_box = w.class_type("Box")->get_nullable();
  struct Case {
    const char* name;
    Type* type;
    u64 kind;
    const char* type_text;
  } cases[] = {
      {"int", w.core("int"), VAL_INT, "int"},
      {"struct value", point_value, VAL_INT, "<Point>"},
      {"fixed array", array_type(b, w.core("u8"), 4), VAL_INT, "[u8 x 4]"},
      {"float", w.core("f64"), VAL_FLOAT, "f64"},
      {"pointer", w.class_type("Box"), VAL_NULL, "Box"},
      // A null of the non-nullable form: the zero value that error paths return.
      {"nullable pointer", nullable_box, VAL_NULL, "Box"},
  };
  for (const Case& c : cases) {
    Value* v = value_default(c.type);
    ASSERT_NE(v, nullptr) << c.name;
    EXPECT_EQ(v->kind, c.kind) << c.name;
    EXPECT_EQ(text(v->type), c.type_text) << c.name;
    EXPECT_EQ(v->number, 0u) << c.name;
    EXPECT_EQ(v->type->nullable, 0) << c.name;
  }
  EXPECT_EQ(value_default(void_type(b)), nullptr);
  // The non-nullable form is made once and kept on the nullable Type.
  EXPECT_EQ(value_default(nullable_box)->type, value_default(nullable_box)->type);
}

TEST(ValueConstructors, NullValues) {
  World w({kDecls}, kArgs);
  Type* box = w.class_type("Box");
  Value* a = value_null(box);
  Value* b = value_null(box);
  EXPECT_EQ(a->kind, VAL_NULL);
  EXPECT_EQ(text(a->type), "?Box");
  EXPECT_NE(a, b);
  EXPECT_EQ(a->type, b->type);  // one nullable variant per Type
  Type* nullable = box->get_nullable();
  EXPECT_EQ(value_null(nullable)->type, nullable);
  Type* i = w.core("int");
  EXPECT_EQ(value_null(i)->type, i);
  EXPECT_EQ(value_null_plain(box)->type, box);
}

TEST(ValueConstructors, Groups) {
  World w({kDecls}, kArgs);
  Build* b = w.b;
  Value* one = value_int(1, w.core("int"));
  Value* flag = value_bool(b, 1);
  EXPECT_EQ(value_group(b, {one}, 0), one);

  Value* forced = value_group(b, {one}, 1);
  EXPECT_EQ(forced->kind, VAL_GROUP);
  EXPECT_EQ(forced->type->kind, TYPE_MULTI);
  ASSERT_NE(forced->type->items, nullptr);
  EXPECT_EQ(forced->type->items->size(), 1u);

  Value* empty = value_group(b, {}, 0);
  EXPECT_EQ(empty->kind, VAL_GROUP);
  EXPECT_EQ(empty->type->kind, TYPE_VOID);

  Value* two = value_group(b, {one, flag}, 0);
  EXPECT_EQ(text(two->type), "(int, bool)");
  EXPECT_EQ(two->values, two->items);
  EXPECT_EQ(two->values.size(), 2u);
}

TEST(ValueConstructors, References) {
  World w({kDecls}, kArgs);
  ParseContext* ctx = w.parse_context();
  // Not assignable.
  EXPECT_EQ(error_of([&] { value_reference(ctx, value_int(1, w.core("int")), 0); }),
            "error: Trying to get reference from non-assignable value");

  // Globals and stable references get a plain pointer Type.
  Global* counter = (*w.main_ns->scope->identifiers.find("counter"))->global;
  Value* g = value_reference(ctx, value_global(counter), 0);
  EXPECT_EQ(g->kind, VAL_REFERENCE);
  EXPECT_EQ(g->type->kind, TYPE_POINTER);
  EXPECT_EQ(value_reference(ctx, w.decl_value("i"), 1)->type->kind, TYPE_POINTER);

  // Two locals of one Type share its cached reference Type; a local is no GC interior.
  Value* pt = w.decl_value("pt");
  w.local("q")->type = w.local("pt")->type;
  Value* r1 = value_reference(ctx, pt, 0);
  Value* r2 = value_reference(ctx, w.decl_value("q"), 0);
  EXPECT_EQ(r1->op1, pt);
  EXPECT_EQ(r1->type->kind, TYPE_REFERENCE);
  EXPECT_EQ(r1->type, r2->type);
  EXPECT_EQ(r1->type->interior_ref, 0);

  // An inline struct inside a GC object: usable, but marked so that it is never stored.
  Property* p = w.must_cls("Box")->props["p"];
  Value* prop = value_prop(p, w.decl_value("box"));
  Value* inner = value_reference(ctx, prop, 0);
  EXPECT_EQ(inner->type->kind, TYPE_REFERENCE);
  EXPECT_EQ(inner->type->interior_ref, 1);
  // An int property is no inline value: no mark.
  Value* n = value_reference(ctx, value_prop(w.must_cls("Box")->props["n"], w.decl_value("box")), 0);
  EXPECT_EQ(n->type->interior_ref, 0);
}

TEST(ValueConstructors, InlineLoads) {
  World w({kDecls}, kArgs);
  Build* b = w.b;
  Value* i = w.decl_value("i");
  Type* int_ptr = new_type(b, TYPE_POINTER);
  int_ptr->sub = w.core("int");
  Value* ip = value_cast(i, int_ptr);
  EXPECT_EQ(value_load_inline(ip), ip);
  EXPECT_EQ(value_load_inline(i), i);  // not pointer-like

  Type* four = new_type(b, TYPE_POINTER);
  four->sub = w.class_type("Point")->sub;
  four->count = 4;
  Value* arr = value_load_inline(value_cast(i, four));
  EXPECT_EQ(arr->kind, VAL_LOAD_INLINE);
  EXPECT_EQ(arr->type->kind, TYPE_ARRAY);
  EXPECT_EQ(arr->type->count, 4u);
  EXPECT_EQ(arr->type->sub, four->sub);

  Value* one = value_load_inline(w.decl_value("pt"));
  EXPECT_EQ(one->kind, VAL_LOAD_INLINE);
  EXPECT_EQ(one->type->kind, TYPE_STRUCT);
}

TEST(ValueConstructors, NarrowingListsOfAndOr) {
  World w({kDecls}, kArgs);
  Type* boolean = w.core("bool");
  Decl* ip = w.local("ip");
  Decl* box = w.local("box");

  // "||": only the right operand knows something when false; the result carries it.
  Value* l = value_bool(w.b, 1);
  Value* r = value_bool(w.b, 0);
  r->false_decls = {ip};
  l->true_decls = {box};
  Value* v = value_and_or(l, r, OP_OR, boolean);
  EXPECT_EQ(v->kind, VAL_AND_OR);
  EXPECT_EQ(v->number, u64(OP_OR));
  EXPECT_EQ(v->false_decls, std::vector<Decl*>({ip}));
  EXPECT_TRUE(v->true_decls.empty());
  EXPECT_TRUE(l->true_decls.empty());

  // "&&": both true lists join, left first; the false lists are dropped.
  Value* a = value_bool(w.b, 1);
  Value* c = value_bool(w.b, 1);
  a->true_decls = {box};
  c->true_decls = {ip};
  c->false_decls = {box};
  Value* both = value_and_or(a, c, OP_AND, boolean);
  EXPECT_EQ(both->true_decls, std::vector<Decl*>({box, ip}));
  EXPECT_TRUE(both->false_decls.empty());
  EXPECT_TRUE(c->false_decls.empty());
}

TEST(ValueConstructors, FunctionsCallsAndGlobals) {
  World w({kDecls}, kArgs);
  Build* b = w.b;
  Func* pair = (*w.main_ns->scope->identifiers.find("pair"))->func;
  Value* f = value_func(pair);
  EXPECT_EQ(f->kind, VAL_FUNC);
  EXPECT_EQ(f->func, pair);
  ASSERT_EQ(f->type->kind, TYPE_FNPTR);
  FuncInfo* info = f->type->func_info;
  EXPECT_EQ(info->args.size(), 2u);
  EXPECT_EQ(info->rets.size(), 2u);
  EXPECT_EQ(info->can_error, 1);
  EXPECT_EQ(info->errors, pair->errors);
  Func* none = (*w.main_ns->scope->identifiers.find("none"))->func;
  EXPECT_TRUE(value_func(none)->type->func_info->rets.empty());

  // The error check of a call compares its error code against 0.
  Value* call = b->make<Value>();
  call->kind = VAL_CALL;
  EXPECT_EQ(error_of([&] { value_error_check(b, call); }), "error: Missing error code value (bug)");
  call->err_code = value_return_value(call, 2, w.core("u32"));
  Value* check = value_error_check(b, call);
  EXPECT_EQ(check->kind, VAL_COMPARE);
  EXPECT_EQ(check->number, u64(OP_NE));
  EXPECT_EQ(check->op1, call->err_code);
  EXPECT_EQ(check->op2->kind, VAL_INT);
  EXPECT_EQ(check->op2->type, call->err_code->type);
  EXPECT_EQ(text(check->type), "bool");

  Global late;
  late.build = b;
  late.name = "late";
  EXPECT_EQ(error_of([&] { value_global(&late); }), "error: Missing global type (bug). Name: late");

  // A local read as a value is marked used.
  Decl* i = w.local("i");
  i->used = 0;
  EXPECT_EQ(value_decl(i)->type, i->type);
  EXPECT_EQ(i->used, 1);
}

TEST(ValueConstructors, PropertiesOfImmutableObjects) {
  World w({kDecls}, kArgs);
  Property* p = w.must_cls("Box")->props["p"];
  Value* box = w.decl_value("box");
  EXPECT_EQ(value_prop(p, box)->type, p->type);
  Value* frozen = value_copy(box);
  frozen->type = box->type->copy();
  frozen->type->imut = 1;
  ASSERT_EQ(frozen->type->imut, 1);
  Value* read = value_prop(p, frozen);
  EXPECT_EQ(read->kind, VAL_PROP);
  EXPECT_EQ(read->op1, frozen);
  EXPECT_EQ(read->type->imut, 1);
}

TEST(ValueConstructors, PlainKinds) {
  World w({kDecls}, kArgs);
  Build* b = w.b;
  Value* i = w.decl_value("i");
  Value* one = value_int(1, w.core("int"));
  struct Case {
    const char* name;
    Value* v;
    u64 kind;
    const char* type_text;
  } cases[] = {
      {"ptr_offset", value_ptr_offset(i, one, nullptr), VAL_PTR_OFFSET, "ptr"},
      {"stack_alloc", value_stack_alloc(b, 16), VAL_STACK_ALLOC, "ptr"},
      {"setjmp", value_setjmp(b, i), VAL_SETJMP, "i32"},
      {"longjmp", value_longjmp(b, i), VAL_LONGJMP, "void"},
      {"memcpy", value_memcpy(b, i, i, one), VAL_MEMCPY, "void"},
      {"undefined", value_undefined(b), VAL_UNDEFINED, "void"},
      {"incr", value_incr(i, 3), VAL_INCR, "int"},
      {"not", value_not(value_bool(b, 1)), VAL_NOT, "bool"},
      {"atomic", value_atomic(i, one, OP_ADD), VAL_ATOMIC, "int"},
      {"cond", value_cond(value_bool(b, 1), one), VAL_COND, "int"},
      {"copy after", value_copy(one, i), VAL_COPY, "int"},
      {"string", value_string(b, nullptr), VAL_STRING, "String"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.v->kind, c.kind) << c.name;
    EXPECT_EQ(text(c.v->type), c.type_text) << c.name;
  }
  EXPECT_EQ(cases[0].v->element, w.core("u8"));
  EXPECT_EQ(cases[1].v->number, 16u);
  EXPECT_EQ(cases[6].v->flag, 1);  // lowest bit of the prefix flag
  EXPECT_EQ(cases[10].v->pre_value, one);
  EXPECT_EQ(cases[10].v->op1, i);
  Value* rv = value_return_value(i, 1, w.core("bool"));
  EXPECT_EQ(rv->pre_value, i);
  EXPECT_EQ(rv->op1, i);
  EXPECT_EQ(rv->number, 1u);
}

}  // namespace
}  // namespace tesk::valtest
