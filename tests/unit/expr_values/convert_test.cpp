// Implicit conversion (references, inline loads, closures of function pointers, $to
// functions, numbers, raw pointers, multi-values) and the results of calls that fail.
#include "fixture.h"

namespace tesk::valtest {
namespace {

const char* kDecls =
    "integer myint signed 8 {}\n"
    "struct Point {\n"
    "    x: int\n"
    "    y: int\n"
    "}\n"
    "class Box {\n"
    "    p: <Point>\n"
    "}\n"
    "class Money {\n"
    "    v: int\n"
    "    fn other() myint $to {\n"
    "    }\n"
    "    fn first() String $to {\n"
    "    }\n"
    "    fn second() String $to {\n"
    "    }\n"
    "    fn num() int $to {\n"
    "    }\n"
    "}\n"
    "fn target(a: int, b: bool) int {\n}\n";

const char* kArgs =
    "pt: Point, box: Box, m: Money, p: ptr, i32v: i32, intv: int, u64v: u64, f32v: f32, f64v: f64, "
    "flag: bool";

TEST(ConvertValue, ReferencesAndInlineLoads) {
  World w({kDecls}, kArgs);
  Build* b = w.b;
  ParseContext* ctx = w.parse_context();
  Type* point_value = w.class_type("Point")->sub;

  // An inline struct where a pointer-sized Type is wanted: its reference.
  Value* prop = value_prop(w.must_cls("Box")->props["p"], w.decl_value("box"));
  Value* ref = convert_value(prop, ctx, w.body, w.class_type("Point"));
  EXPECT_EQ(ref->kind, VAL_REFERENCE);
  EXPECT_EQ(ref->op1, prop);
  // A struct that is no location cannot be referenced.
  Value* made = value_cast(w.decl_value("intv"), point_value);
  EXPECT_EQ(error_of([&] { convert_value(made, ctx, w.body, w.core("ptr")); }),
            "error: Trying to get reference from non-assignable value");

  // A class reference where the value Type is wanted: a load of the value.
  Value* pt = w.decl_value("pt");
  Value* load = convert_value(pt, ctx, w.body, point_value);
  EXPECT_EQ(load->kind, VAL_LOAD_INLINE);
  EXPECT_EQ(load->type->kind, TYPE_STRUCT);
  EXPECT_TRUE(point_value->compat(load->type, 0));

  // A pointer to three structs loads a fixed array of three.
  Type* three = new_type(b, TYPE_POINTER);
  three->sub = point_value;
  three->count = 3;
  Value* arr = convert_value(value_cast(pt, three), ctx, w.body, array_type(b, point_value, 3));
  EXPECT_EQ(arr->kind, VAL_LOAD_INLINE);
  EXPECT_EQ(arr->type->kind, TYPE_ARRAY);
  EXPECT_EQ(arr->type->count, 3u);

  // A raw ptr has no pointed-to Type: unchanged, for the caller to report.
  Value* raw = w.decl_value("p");
  EXPECT_EQ(convert_value(raw, ctx, w.body, point_value), raw);
}

TEST(ConvertValue, NumbersAndRawPointers) {
  World w({kDecls}, kArgs);
  ParseContext* ctx = w.parse_context();
  struct Case {
    const char* local;
    const char* want;
    const char* result;  // "same", or "cast " + Type text
  } cases[] = {
      {"i32v", "int", "cast int"},    // widening
      {"intv", "f32", "cast f32"},    // int to any float
      {"f32v", "f64", "cast f64"},
      {"f64v", "f32", "same"},        // narrowing: left to the caller's check
      {"intv", "i32", "same"},
      {"u64v", "int", "cast int"},    // same size, other signedness
      {"intv", "u64", "cast u64"},
      {"f64v", "int", "same"},        // floats are signed: same size and signedness
      {"intv", "ptr", "cast ptr"},    // int to raw pointer
      {"flag", "int", "same"},        // no rule applies
  };
  for (const Case& c : cases) {
    Value* v = w.decl_value(c.local);
    Value* r = convert_value(v, ctx, w.body, w.core(c.want));
    std::string got = r == v ? "same" : (r->kind == VAL_CAST && r->op1 == v ? "cast " + text(r->type) : "other");
    EXPECT_EQ(got, c.result) << c.local << " -> " << c.want;
  }
  // A class reference where a raw pointer is wanted: the same Value, retyped.
  Value* box = w.decl_value("box");
  Value* r = convert_value(box, ctx, w.body, w.core("ptr"));
  EXPECT_EQ(r, box);
  EXPECT_EQ(text(box->type), "ptr");
  // Wanting void leaves any value alone.
  Value* g = value_group(w.b, {w.decl_value("intv"), w.decl_value("flag")}, 0);
  EXPECT_EQ(convert_value(g, ctx, w.body, void_type(w.b)), g);
}

TEST(ConvertValue, ToFunctions) {
  World w({kDecls}, kArgs);
  ParseContext* ctx = w.parse_context();
  // The first fitting $to of the list; "other" returns a myint, which fits an int Type
  // but is another class, so it is passed over.
  struct Case {
    const char* want;
    const char* func;
  } cases[] = {{"String", "first"}, {"int", "num"}};
  for (const Case& c : cases) {
    Value* m = w.decl_value("m");
    Type* want = w.core(c.want);
    Value* r = convert_value(m, ctx, w.body, want);
    ASSERT_EQ(r->kind, VAL_CALL) << c.want;
    EXPECT_EQ(r->op1->func, w.method("Money", c.func)) << c.want;
    EXPECT_EQ(r->type, want);
    ASSERT_EQ(r->values.size(), 1u);
    EXPECT_EQ(r->values[0], m);
  }
  // A Type no $to function returns: unchanged.
  Value* m = w.decl_value("m");
  EXPECT_EQ(convert_value(m, ctx, w.body, w.core("bool")), m);
}

TEST(ConvertValue, FunctionPointerInFirstLoopReading) {
  World w({kDecls}, kArgs);
  Func* target = (*w.main_ns->scope->identifiers.find("target"))->func;
  Value* fp = value_func(target);
  FuncInfo* info = new_func_info(w.b);
  info->args = {w.core("int"), w.core("bool")};
  info->rets = {w.core("int")};
  info->errors = new_error_map(w.b);
  Type* want = fn_type(w.b, info);

  // The first reading of a loop makes no closure: a null of a closure Type that the
  // callers' check accepts, as they will accept the closure of the second reading.
  size_t classes = w.b->classes.size();
  size_t funcs = w.b->functions.size();
  Value* r = convert_value(fp, w.parse_context(1), w.body, want);
  EXPECT_EQ(r->kind, VAL_NULL);
  EXPECT_EQ(r->type->kind, TYPE_FN);
  EXPECT_EQ(r->type->func_info->args.size(), 2u);
  EXPECT_TRUE(want->compat(r->type, 0));
  EXPECT_EQ(w.b->classes.size(), classes);  // no data class
  EXPECT_EQ(w.b->functions.size(), funcs);  // no wrapper

  // Without a signature the Type is broken.
  Value* bare = value_cast(fp, new_type(w.b, TYPE_FNPTR));
  EXPECT_EQ(error_of([&] { convert_value(bare, w.parse_context(1), w.body, want); }),
            "error: Missing type function info");
}

TEST(ConvertValue, MultiValues) {
  World w({kDecls}, kArgs);
  Build* b = w.b;
  ParseContext* ctx = w.parse_context();
  Value* i32v = w.decl_value("i32v");
  Value* f32v = w.decl_value("f32v");
  Type* int_f64 = multi_type(b, {w.core("int"), w.core("f64")}, true);

  Value* g = value_group(b, {i32v, f32v}, 0);
  Value* r = convert_value(g, ctx, w.body, int_f64);
  ASSERT_EQ(r->kind, VAL_GROUP);
  EXPECT_EQ(text(r->type), "(int, f64)");
  ASSERT_EQ(r->items.size(), 2u);
  EXPECT_EQ(r->items[0]->op1, i32v);
  EXPECT_EQ(r->values, r->items);

  // Another number of items: unchanged.
  Type* three = multi_type(b, {w.core("int"), w.core("f64"), w.core("bool")}, true);
  EXPECT_EQ(convert_value(g, ctx, w.body, three), g);

  // One item: the converted item itself.
  Value* one = value_group(b, {i32v}, 1);
  Value* single = convert_value(one, ctx, w.body, multi_type(b, {w.core("int")}, true));
  EXPECT_EQ(single->kind, VAL_CAST);
  EXPECT_EQ(single->op1, i32v);

  // A multi-valued value without items: one return value per item Type.
  Value* call = value_cast(i32v, multi_type(b, {w.core("i32"), w.core("f32")}, true));
  Value* split = convert_value(call, ctx, w.body, int_f64);
  ASSERT_EQ(split->kind, VAL_GROUP);
  ASSERT_EQ(split->items.size(), 2u);
  ASSERT_EQ(split->items[1]->kind, VAL_CAST);
  Value* item = split->items[1]->op1;
  EXPECT_EQ(item->kind, VAL_RETURN_VALUE);
  EXPECT_EQ(item->number, 1u);
  EXPECT_EQ(item->pre_value, call);
}

// A call Value as the call reader builds it for a function that can fail.
Value* failing_call(World& w, std::vector<Type*> results) {
  Build* b = w.b;
  Value* call = b->make<Value>();
  call->kind = VAL_CALL;
  std::vector<Type*> all = results;
  all.push_back(w.core("u32"));
  all.push_back(w.core("String"));
  call->type = multi_type(b, results, false);  // the declared results
  for (size_t i = 0; i < all.size(); i++) call->items.push_back(value_return_value(call, i, all[i]));
  call->err_code = call->items[results.size()];
  call->err_msg = call->items[results.size() + 1];
  return call;
}

TEST(CallResultValues, DropsTheErrorResults) {
  World w({kDecls}, kArgs);
  Value* two = failing_call(w, {w.core("int"), w.core("bool")});
  Value* r = call_result_values(two);
  ASSERT_EQ(r->kind, VAL_GROUP);
  EXPECT_EQ(text(r->type), "(int, bool)");
  EXPECT_EQ(r->values, std::vector<Value*>({two->items[0], two->items[1]}));

  Value* one = failing_call(w, {w.core("int")});
  EXPECT_EQ(call_result_values(one), one->items[0]);

  Value* none = failing_call(w, {});
  Value* empty = call_result_values(none);
  EXPECT_EQ(empty->kind, VAL_GROUP);
  EXPECT_EQ(empty->type->kind, TYPE_VOID);
  EXPECT_TRUE(empty->values.empty());

  // Without items the results come from the call's multi Type.
  Value* bare = failing_call(w, {w.core("int"), w.core("bool")});
  bare->items.clear();
  Value* from_type = call_result_values(bare);
  ASSERT_EQ(from_type->kind, VAL_GROUP);
  EXPECT_EQ(text(from_type->type), "(int, bool)");
  ASSERT_EQ(from_type->values.size(), 2u);
  EXPECT_EQ(from_type->values[1]->kind, VAL_RETURN_VALUE);
  EXPECT_EQ(from_type->values[1]->number, 1u);
  EXPECT_EQ(from_type->values[1]->pre_value, bare);

  // Calls that cannot fail and other values: unchanged.
  Value* plain = w.b->make<Value>();
  plain->kind = VAL_CALL;
  plain->type = w.core("int");
  EXPECT_EQ(call_result_values(plain), plain);
  Value* local = w.decl_value("intv");
  EXPECT_EQ(call_result_values(local), local);
}

}  // namespace
}  // namespace tesk::valtest
