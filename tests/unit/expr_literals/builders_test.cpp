// Object creation, class initialisation, array initialisation, inline-scope results and
// map literals.
#include "fixture.h"
#include "ir/records.h"

namespace tesk::literaltest {
namespace {

const char* kDecls =
    "class Plain {\n    n: int\n    m: int\n}\n"
    "class Freed {\n    n: int\n    fn gc_free() {\n    }\n}\n"
    "class Nothing {\n}\n"
    "struct Pt {\n    x: int\n    y: int\n}\n"
    "fn pair() (int, int) {\n}\n";

size_t count_of(const std::vector<Func*>& list, std::string_view name) {
  size_t n = 0;
  for (Func* f : list) n += f->name == name;
  return n;
}

TEST(NewObject, AllocationByClassKind) {
  World w({kDecls});
  ParseContext* ctx = context_for_func(w.body);
  struct {
    const char* cls;
    const char* callee;
    const char* type;
  } cases[] = {{"Plain", "get", "ptr"}, {"Freed", "get_vtable", "ptr"}, {"Pt", "alloc_ob", "ptr"}};
  for (auto& c : cases) {
    Value* v = nullptr;
    Outcome o = run([&] { v = value_new_object(ctx, w.scope, w.cls(c.cls)); });
    ASSERT_FALSE(o.failed) << c.cls << o.out;
    EXPECT_EQ(v->kind, VAL_COPY) << c.cls;
    ASSERT_EQ(v->op1->kind, VAL_CALL) << c.cls;
    EXPECT_EQ(count_of(w.body->called, c.callee), 1u) << c.cls;
    EXPECT_EQ(v->type->to_text(), c.type) << c.cls;
  }
  // The struct's byte size goes to alloc_ob as a uint.
  Value* s = value_new_object(ctx, w.scope, w.cls("Pt"));
  Value* size = s->op1->values.back();
  EXPECT_EQ(size->kind, VAL_INT);
  EXPECT_EQ(size->number, w.cls("Pt")->size);
  EXPECT_EQ(size->type->to_text(), "uint");
  // The pool global is the argument of Pool.get.
  Value* obj = value_new_object(ctx, w.scope, w.cls("Plain"));
  EXPECT_EQ(obj->op1->values.back()->type->to_text(), "Pool");
  // Called once each, however often.
  EXPECT_EQ(count_of(w.body->called, "alloc_ob"), 1u);
  EXPECT_EQ(count_of(w.body->called, "get"), 1u);
}

TEST(ClassInit, StatementsInOrder) {
  World w({kDecls});
  ParseContext* ctx = context_for_func(w.body);
  auto* props = w.b->make<OrderedMap<Value*>>();
  props->set("m", value_int(2, w.type("int")));
  props->set("ghost", value_int(3, w.type("int")));
  props->set("n", value_undefined(w.b));
  Value* v = nullptr;
  Outcome o = run([&] { v = value_class_init(ctx, w.cls("Plain"), w.scope, nullptr, props); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->kind, VAL_CLASS_INIT);
  EXPECT_EQ(v->type->to_text(), "Plain");
  EXPECT_EQ(v->prop_values, props);
  EXPECT_EQ(v->scope->parent, w.scope);
  // The object is buffered as a GC reference; "ghost" is no property; an undefined
  // value stores nothing.
  EXPECT_EQ(kinds_of(v->scope),
            "#------- CLASS INIT: Plain ------- #Pre-define GC values #Create base: Plain 0 #Set prop: m 5 "
            "#Set prop: n");
  EXPECT_EQ(v->op1->kind, VAL_COPY);
  EXPECT_TRUE(w.body->allocates);
  ASSERT_FALSE(run([&] { value_class_init(ctx, w.cls("Plain"), w.scope, nullptr, props); }).failed);
  size_t listed = 0;
  for (Class* c : w.body->used_classes) listed += c == w.cls("Plain");
  EXPECT_EQ(listed, 1u);
}

TEST(ClassInit, StructsGivenObjectsAndEmptyClasses) {
  World w({kDecls});
  ParseContext* ctx = context_for_func(w.body);
  auto* props = w.b->make<OrderedMap<Value*>>();
  props->set("x", value_int(1, w.type("int")));
  Value* v = value_class_init(ctx, w.cls("Pt"), w.scope, nullptr, props);
  EXPECT_FALSE(w.body->allocates);  // only classes create objects
  ASSERT_GE(v->scope->ast.size(), 4u);
  EXPECT_EQ(v->scope->ast[3]->value, v->op1);  // the allocation itself, not a copy
  EXPECT_EQ(v->op1->op1->kind, VAL_CALL);

  Decl* d = w.local("p", w.type("<Pt>"));
  Value* target = value_reference(ctx, value_decl(d), 0);
  size_t calls = w.body->called.size();
  Value* in_place = value_class_init(ctx, w.cls("Pt"), w.scope, target, props);
  EXPECT_EQ(in_place->op1, target);
  EXPECT_EQ(w.body->called.size(), calls);  // no allocation

  Value* none = value_class_init(ctx, w.cls("Nothing"), w.scope, nullptr, nullptr);
  EXPECT_EQ(none->kind, VAL_NULL);
  EXPECT_EQ(none->type, w.cls("Nothing")->get_type());

  ParseContext bare;
  bare.build = w.b;
  Outcome o = run([&] { value_class_init(&bare, w.cls("Pt"), w.scope, nullptr, props); });
  EXPECT_EQ(o.error, "Missing function context");
}

TEST(ArrayInit, OneStorePerElement) {
  World w({kDecls});
  ParseContext* ctx = context_for_func(w.body);
  Decl* d = w.local("a", w.type("[int x 3]"));
  Value* storage = value_reference(ctx, value_decl(d), 0);
  Type* int_t = w.type("int");
  std::vector<Value*> elems{value_int(7, int_t), value_undefined(w.b), value_int(9, int_t)};
  Type* array = array_type(w.b, int_t, 3);
  Value* v = value_array_init(ctx, w.scope, storage, elems, int_t, array);
  EXPECT_EQ(v->kind, VAL_ARRAY_INIT);
  EXPECT_EQ(v->type, array);
  EXPECT_EQ(v->op1, storage);
  ASSERT_EQ(v->op2->kind, VAL_INLINE_SCOPE);
  Scope* s = v->op2->scope;
  EXPECT_EQ(kinds_of(s), "0 5 5");  // storage, then the two stored values
  EXPECT_EQ(s->ast[2]->value->op2->number, 2u);
  EXPECT_EQ(s->ast[2]->value->op2->type->to_text(), "uint");
}

TEST(InlineScopeResult, LastValueStatement) {
  World w({kDecls});
  Build* b = w.b;
  Type* int_t = w.type("int");
  auto scope_with = [&](std::vector<AstNode*> nodes) {
    Scope* s = make_scope(SCOPE_BLOCK, b, w.scope);
    s->ast = std::move(nodes);
    return value_inline_scope(s, void_type(b));
  };
  auto node = [&](u64 kind, Value* v) {
    AstNode* n = b->make<AstNode>();
    n->kind = kind;
    n->value = v;
    return n;
  };
  Value* empty = scope_with({});
  EXPECT_EQ(value_inline_scope_result(empty), empty);
  Value* store = scope_with({node(AST_ASSIGN, value_int(1, int_t))});
  EXPECT_EQ(value_inline_scope_result(store), store);

  Value* one = value_int(4, int_t);
  Value* single = scope_with({node(AST_VALUE, one)});
  Value* r = value_inline_scope_result(single);
  EXPECT_EQ(r->kind, VAL_COPY);
  EXPECT_EQ(r->op1, one);
  EXPECT_EQ(r->pre_value, single);

  Value* call = nullptr;
  ParseContext* ctx = context_for_func(w.body);
  ASSERT_FALSE(run([&] { call = value_function_call(b, w.scope, value_func(w.fn("pair")), {}); }).failed);
  (void)ctx;
  Value* multi = scope_with({node(AST_VALUE, call)});
  Value* g = value_inline_scope_result(multi);
  EXPECT_EQ(g->kind, VAL_GROUP);
  EXPECT_EQ(g->type->to_text(), "(int, int)");
  ASSERT_EQ(g->items.size(), 2u);
  for (Value* item : g->items) {
    EXPECT_EQ(item->kind, VAL_COPY);
    EXPECT_EQ(item->pre_value, multi);
    EXPECT_EQ(item->op1->kind, VAL_RETURN_VALUE);
  }

  Value* broken = value_inline_scope(nullptr, void_type(b));
  EXPECT_EQ(run([&] { value_inline_scope_result(broken); }).error,
            "Missing scope value for inline scope token (bug)");
}

TEST(MapLiteral, CreatesAndFillsInOrder) {
  World w({kDecls});
  ParseContext* ctx = context_for_func(w.body);
  Type* str = string_type(w.b);
  ValuePairs pairs{{value_string_literal("k1", ctx), value_string_literal("v1", ctx)},
                   {value_string_literal("k2", ctx), value_string_literal("v2", ctx)}};
  Value* v = nullptr;
  Outcome o = run([&] { v = value_map_literal(w.b, ctx, w.scope, {str, str}, pairs); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->kind, VAL_COPY);
  EXPECT_EQ(v->type->to_text(), "HashMap[String, String]");
  ASSERT_EQ(v->pre_value->kind, VAL_INLINE_SCOPE);
  Scope* s = v->pre_value->scope;
  ASSERT_EQ(s->ast.size(), 2u);
  ASSERT_EQ(s->ast[0]->value->values.size(), 3u);  // the map, the key, the value
  EXPECT_EQ(s->ast[0]->value->values[1]->string_const->text, "k1");
  EXPECT_EQ(s->ast[1]->value->values.back()->string_const->text, "v2");
  EXPECT_EQ(count_of(w.body->called, "new"), 1u);
  EXPECT_EQ(count_of(w.body->called, "set"), 1u);

  ParseContext bare;
  bare.build = w.b;
  EXPECT_EQ(run([&] { value_map_literal(w.b, &bare, w.scope, {str, str}, {}); }).error, "Missing function context");
}

}  // namespace
}  // namespace tesk::literaltest
