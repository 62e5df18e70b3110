// Fixed-array literals, object literals and property defaults.
#include "fixture.h"

namespace tesk::literaltest {
namespace {

const char* kDecls =
    "struct Pt {\n    x: int\n    y: int\n}\n"
    "class Box {\n    n: int (5)\n    label: ?ptr\n    other: ?Pt\n}\n"
    "class Need {\n    n: int\n}\n"
    "class Lazy {\n    n: int\n    cache: Pt (Pt{ x: 1, y: 2 }) $lazy\n}\n"
    "fn pair() (int, int) {\n}\n";

// The element values of a fixed-array literal, as the numbers of their constants.
std::string element_numbers(Value* v) {
  std::string r;
  Scope* s = v->pre_value->op2->scope;
  for (AstNode* n : s->ast) {
    if (n->kind != AST_ASSIGN) continue;
    Value* e = n->value2;
    if (!r.empty()) r += ' ';
    r += e->kind == VAL_INT ? std::to_string(e->number) : std::to_string(e->kind) + ":" + e->type->to_text();
  }
  return r;
}

TEST(FixedArrays, ElementsRepeatsAndCounts) {
  World w({kDecls});
  w.local("a", w.type("int"));
  struct {
    const char* text;
    const char* want;
  } cases[] = {
      {"[u8 x 3]{ 1, 2, 3 }", "1 2 3"},
      {"[u8 x 3]{ 1 2 3, }", "1 2 3"},
      {"[u8 x 3]{\n 1,,\n 2\n 3\n}", "1 2 3"},
      {"[u8 x 4]{ 7, ... }", "7 7 7 7"},
      {"[u8 x 5]{ 1, 2, ... }", "1 2 2 2 2"},
      {"[u8 x 2]{ 1, 2, ... }", "1 2"},
      {"[u8 x 3]{ 1, 2 }", "error: Missing array values. Expected amount '3', but found '2'"},
      {"[u8 x 3]{ 1, 2, 3, 4 }", "error: Too many values"},
      {"[u8 x 4]{ ... }", "error: No value to repeat"},
      {"[u8 x 4]{ 1, ..., 2 }", "error: Too many values"},
      {"[u8 x 2]{ 1, \"s\" }", "error: Incompatible types. Passing a 'String' value to a 'u8' type"},
      {"[int x 5]{ (a, 1), ... }", "2:int 1 2:int 1 2:int"},
  };
  for (auto& c : cases) {
    Got g = read(w, c.text);
    EXPECT_EQ(g.o.failed ? g.text() : element_numbers(g.v), c.want) << c.text;
  }
}

TEST(FixedArrays, ValueShapeAndStores) {
  World w({kDecls});
  Got g = read(w, "[u8 x 3]{ 4, 5, 6 }");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  // The literal is the reference to its own local array, filled first.
  EXPECT_EQ(g.v->kind, VAL_COPY);
  ASSERT_EQ(g.v->op1->kind, VAL_REFERENCE);
  EXPECT_EQ(g.v->op1->op1->decl->name, "fixed_array");
  Value* init = g.v->pre_value;
  ASSERT_EQ(init->kind, VAL_ARRAY_INIT);
  EXPECT_EQ(init->type->to_text(), "[u8 x 3]");
  Scope* s = init->op2->scope;
  ASSERT_EQ(s->ast.size(), 4u);
  EXPECT_EQ(s->ast[0]->kind, AST_VALUE);
  EXPECT_EQ(s->ast[0]->value, g.v->op1);
  for (u64 i = 1; i < 4; i++) {
    Value* target = s->ast[i]->value;
    ASSERT_EQ(target->kind, VAL_PTRV);
    EXPECT_EQ(target->op2->number, i - 1);
    EXPECT_EQ(target->op2->type->to_text(), "uint");
    EXPECT_EQ(s->ast[i]->value2->type->to_text(), "u8");  // literals typed by the element hint
  }
  // Each literal has a local of its own.
  Got h = read(w, "[u8 x 3]{ 4, 5, 6 }");
  ASSERT_FALSE(h.o.failed);
  EXPECT_NE(h.v->op1->op1->decl, g.v->op1->op1->decl);
}

TEST(FixedArrays, MultiValuesFillSeveralElements) {
  World w({kDecls});
  w.local("a", w.type("int"));
  Got g = read(w, "[int x 4]{ pair(), (a, 3) }");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(element_numbers(g.v), "6:int 6:int 2:int 3");
}

TEST(FixedArrays, InlineElementsInitialisedInPlace) {
  World w({kDecls});
  Got g = read(w, "[<Pt> x 2]{ { x: 1, y: 2 }, { x: 3, y: 4 } }");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  Scope* s = g.v->pre_value->op2->scope;
  ASSERT_EQ(s->ast.size(), 3u);
  for (u64 i = 1; i < 3; i++) {
    // Already stored through its element: only evaluated.
    EXPECT_EQ(s->ast[i]->kind, AST_VALUE);
    EXPECT_TRUE(s->ast[i]->value->in_place);
  }
  Got nested = read(w, "[[u8 x 2] x 2]{ { 1, 2 }, { 3, 4 } }");
  EXPECT_FALSE(nested.o.failed) << nested.o.out;
}

TEST(ObjectLiterals, PropertiesDefaultsAndMessages) {
  World w({kDecls});
  struct {
    const char* text;
    const char* want;  // property names in store order, or the error
  } cases[] = {
      {"Box{ n: 1, label: null }", "n label other"},
      {"Box{ label: null\n n: 1 }", "label n other"},
      {"Box{}", "n label other"},
      {"Box{\n#if OS == linux\n  other: null\n#else\n  label: null\n#end\n}", "other n label"},
      {"Box{ size: 1 }", "error: There's no property named: 'size'"},
      {"Box{ n: 1, n: 2 }", "error: Duplicate property name: n"},
      {"Box{ n\n: 1 }", "error: Expected token: ':', instead of: ''"},
      {"Box{ n: \"x\" }", "error: Incompatible types. Passing a 'String' value to a 'int' type"},
      {"Need{}", "error: Missing value for property: n"},
      {"Lazy{ n: 1 }", "n cache"},
  };
  for (auto& c : cases) {
    Got g = read(w, c.text);
    std::string got;
    if (g.o.failed) {
      got = g.text();
    } else {
      EXPECT_EQ(g.text(), std::to_string(VAL_CLASS_INIT) + " " + w.cls(c.text[0] == 'B' ? "Box" : c.text[0] == 'N' ? "Need" : "Lazy")->get_type()->to_text());
      for (auto& [name, v] : *g.v->prop_values) got += (got.empty() ? "" : " ") + name;
    }
    EXPECT_EQ(got, c.want) << c.text;
  }
}

TEST(ObjectLiterals, DefaultsAndLazyValues) {
  World w({kDecls});
  Got g = read(w, "Box{ label: null }");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  OrderedMap<Value*>& m = *g.v->prop_values;
  EXPECT_EQ(m["n"]->kind, VAL_INT);  // default (5), read in the class's scope
  EXPECT_EQ(m["n"]->number, 5u);
  EXPECT_EQ(m["other"]->kind, VAL_NULL);  // nullable without default
  Got l = read(w, "Lazy{ n: 1 }");
  ASSERT_FALSE(l.o.failed) << l.o.out;
  Value* cache = (*l.v->prop_values)["cache"];
  EXPECT_EQ(cache->kind, VAL_NULL);  // the default is not read
  EXPECT_FALSE(cache->type->nullable);
}

TEST(ObjectLiterals, AccessLevelsOfOtherPackages) {
  World w({kDecls});
  // Guard belongs to the runtime package: "-" is private and "~" read-only here.
  struct {
    const char* text;
    const char* want;
  } cases[] = {
      {"type:Guard{ secret: 1 }", "error: Cannot access this property because it's defined as private"},
      {"type:Guard{ fixed: 1 }", "error: Cannot modify this property because it's defined as read-only"},
      {"type:Guard{ open: 1 }", "18 Guard"},
  };
  Namespace* type_ns = w.b->tesk_package->namespaces["type"];
  w.scope->find(SCOPE_FILE)->identifiers.set("type", new_identifier_namespace(w.b, type_ns));
  auto read_guard = [&](const std::string& text, bool ignore_access) {
    Parser* p = w.at(text);
    p->chunk->file->ignore_access = ignore_access;
    Got g;
    g.o = run([&] { g.v = read_value(p, w.scope, PRIO_ALL, 0); });
    return g;
  };
  for (auto& c : cases) EXPECT_EQ(read_guard(c.text, false).text(), c.want) << c.text;
  Got g = read_guard("type:Guard{ secret: 1, fixed: 2 }", true);
  EXPECT_FALSE(g.o.failed) << g.o.out;
}

TEST(ObjectLiterals, InPlaceStructTarget) {
  World w({kDecls});
  Decl* d = w.local("p", w.type("<Pt>"));
  Got g = read(w, "{ x: 1, y: 2 }", nullptr, value_decl(d));
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_TRUE(g.v->in_place);
  EXPECT_EQ(g.v->kind, VAL_CLASS_INIT);
  EXPECT_EQ(g.v->op1->kind, VAL_REFERENCE);  // stores into p, no allocation
  EXPECT_EQ(kinds_of(g.v->scope),
            "#------- CLASS INIT: Pt ------- #Pre-define GC values #Create base: Pt 0 #Set prop: x 5 #Set prop: y 5");
  Got arr = read(w, "{ 1, 2 }", nullptr, value_decl(w.local("q", w.type("[int x 2]"))));
  ASSERT_FALSE(arr.o.failed) << arr.o.out;
  EXPECT_TRUE(arr.v->in_place);
  EXPECT_EQ(element_numbers(arr.v), "1 2");
}

TEST(NarrowingLists, CollectDecls) {
  World w({kDecls});
  Decl* a = w.local("a", w.type("?Box"));
  Decl* b = w.local("b", w.type("?Box"));
  Value* into = value_bool(w.b, 1);
  collect_value_decl(value_decl(a), into);
  collect_value_decl(value_decl(a), into);
  collect_value_decl(value_int(1, w.type("int")), into);
  EXPECT_EQ(into->true_decls, (std::vector<Decl*>{a, a}));
  Scope* s = make_scope(SCOPE_BLOCK, w.b, w.scope);
  collect_value_decls({a, b, a}, s);
  collect_value_decls({b}, s);
  EXPECT_EQ(s->not_null, (std::vector<Decl*>{a, b}));
}

}  // namespace
}  // namespace tesk::literaltest
