// @intrinsics: the Value each one yields, and the reader's messages.
#include "fixture.h"

namespace tesk::literaltest {
namespace {

const char* kDecls =
    "class Box {\n    n: int\n    next: ?Box\n}\n"
    "struct Pt {\n    x: int\n    y: int\n}\n"
    "struct Big {\n    a: int\n    b: int\n    c: int\n}\n"
    "global counter : int\n"
    "global seeded : int (7)\n"
    "fn helper() {\n}\n";

struct Case {
  const char* text;
  const char* want;  // "kind Type" or "error: message"
};

TEST(Intrinsics, ValuesAndMessages) {
  World w({kDecls});
  Decl* x = w.local("x", w.type("int"));
  w.local("flag", w.type("bool"));
  w.local("p", w.type("ptr"));
  w.local("box", w.type("Box"));
  (void)x;
  const Case cases[] = {
      {"@undefined", "21 void"},
      {"@memcpy(p, p, 3)", "7 void"},
      {"@memcpy (p, p, 3)", "error: Expected token: '(', instead of: ''"},
      {"@memcpy(p, p)", "error: Missing values, expected values: 3"},
      {"@memcpy(p, p, 1, 2)", "error: Too many values, expected values: 3"},
      {"@ptrv(p, u8)", "9 u8"},
      {"@ptrv(p, Pt, 3)", "9 Pt"},
      {"@ptrv(p, u8, flag)", "error: Expected a number value, not: bool"},
      {"@ptrv(p, u8 3)", "error: Expected token: ',' or ')', instead of: '3'"},
      {"@ref(x)", "30 *[int]"},
      {"@ref(1)",
       "error: Cannot use '@ref or @stableRef' on this value. It can only be used on assignable values, like "
       "variable names or object properties."},
      {"@stack(<Pt>)", "30 Pt"},
      {"@setjmp(p)", "32 i32"},
      {"@setjmp(x)", "error: Value of @setjmp should be a pointer"},
      {"@longjmp(x)", "error: Value of @longjmp should be a pointer"},
      {"@vtable(Box)", "15 ?Box"},
      {"@vtable(<Box>)", "35 ptr"},
      {"@vtable(<Pt>)", "15 <Pt>"},
      {"@POOL_INDEX(<Big>)", "4 uint"},
      {"@global_default_value(counter)", "21 void"},
      {"@global_default_value(seeded)", "4 int"},
      {"@global_default_value(helper)", "error: Identifier is not a global variable"},
      {"@property_get(box.n)", "3 int"},
      {"@property_get(box.next)", "13 ?Box"},
      {"@property_get(1)", "error: Invalid 1st parameter for @property_get. Must be an assignable value."},
      {"@property_init(box, box.n, 2)", "29 int"},
      {"@property_init(box, box.next, box)", "5 void"},
      {"@property_update(box, 1, 2)",
       "error: Invalid 2nd parameter for @property_update. Must be an assignable value."},
      {"@property_init(box, box.n, flag)", "error: Incompatible types. Passing a 'bool' value to a 'int' type"},
      {"@property_clear(box, box.n)", "15 ?ptr"},
      {"@property_clear(box, box.next)", "5 void"},
      {"@property_clear(box, 3)", "error: Invalid 2nd parameter for @property_clear. Must be an assignable value."},
      {"@nothing(1)", "error: Unknown value/token: '@nothing'"},
  };
  for (const Case& c : cases) EXPECT_EQ(read(w, c.text).text(), c.want) << c.text;
}

TEST(Intrinsics, PoolIndexFollowsTheAllocatorSizeClasses) {
  World w({"struct S24 {\n    a: int\n    b: int\n    c: int\n}\n"
                      "struct S4 {\n    a: i32\n}\n"});
  struct {
    const char* type;
    u64 want;
  } cases[] = {{"<S24>", 24}, {"<S4>", 8}, {"S24", 8},
      // 20 bytes go to the 24-byte items, like the allocator's pools: a 16-byte item would
      // not hold them.
      {"[u8 x 20]", 24}, {"[u8 x 128]", 128}, {"[u8 x 129]", 256}, {"[u8 x 600]", 1024}};
  for (auto& c : cases) {
    Got g = read(w, std::string("@POOL_INDEX(") + c.type + ")");
    ASSERT_FALSE(g.o.failed) << c.type << g.o.out;
    EXPECT_EQ(g.v->number, c.want) << c.type;
  }
}

TEST(Intrinsics, RefStackAndLongjmpEffects) {
  World w({kDecls});
  Decl* x = w.local("x", w.type("int"));
  Decl* y = w.local("y", w.type("int"));
  Decl* box = w.local("box", w.type("Box"));
  EXPECT_FALSE(x->in_memory);
  Got g = read(w, "@ref(x)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_TRUE(x->in_memory);
  EXPECT_EQ(g.v->type->kind, TYPE_POINTER);
  // A later reference of the same Type stays a reference.
  Got amp = read(w, "&x");
  ASSERT_FALSE(amp.o.failed) << amp.o.out;
  EXPECT_EQ(amp.v->type->kind, TYPE_REFERENCE);

  ASSERT_FALSE(read(w, "@stableRef(y)").o.failed);
  EXPECT_TRUE(y->stable);
  ASSERT_FALSE(read(w, "@stableRef(box)").o.failed);
  EXPECT_FALSE(box->stable);

  size_t decls = w.body->ast->scope->decls.size();
  Got st = read(w, "@stack(Pt)");
  ASSERT_FALSE(st.o.failed) << st.o.out;
  ASSERT_EQ(st.v->op1->kind, VAL_DECL);
  EXPECT_EQ(st.v->op1->decl->name, "stack_alloc");
  EXPECT_TRUE(st.v->op1->decl->used);
  EXPECT_EQ(w.body->ast->scope->decls.size(), decls + 1);

  EXPECT_FALSE(w.scope->did_exit);
  ASSERT_FALSE(read(w, "@longjmp(@ref(x))").o.failed);
  EXPECT_TRUE(w.scope->did_exit);
  EXPECT_TRUE(w.body->opaque_calls);
}

// Names in a default resolve in the global's own file. A default may read globals: what
// it names is kept on its global, for the start-up order, and stays the function's too.
TEST(Intrinsics, GlobalDefaultReadInTheGlobalsFile) {
  World w({kDecls},
          "global seed : int (four())\nglobal base : int (4)\nglobal reads : int (base)\n"
          "global nested : int (pick(four(), (base)))\nfn four() int {\n    return 4\n}\n"
          "fn pick(a: int, b: int) int {\n    return a\n}\n");
  w.scope->find(SCOPE_FILE)->identifiers.set("geo", new_identifier_namespace(w.b, w.geo_ns));
  auto global = [&](std::string_view name) {
    for (Global* g : w.b->globals)
      if (g->name == name) return g;
    return static_cast<Global*>(nullptr);
  };
  auto names = [](const auto& list) {
    std::string out;
    for (auto* item : list) out += (out.empty() ? "" : " ") + item->name;
    return out;
  };
  Got g = read(w, "@global_default_value(geo:seed)");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->kind, VAL_CALL);
  EXPECT_EQ(g.v->type->to_text(), "int");
  EXPECT_EQ(names(global("seed")->default_calls), "four");
  EXPECT_EQ(names(global("seed")->default_reads), "");
  EXPECT_EQ(read(w, "four()").text(), "error: Unknown identifier: 'four'");

  Got r = read(w, "@global_default_value(geo:reads)");
  ASSERT_FALSE(r.o.failed) << r.o.out;
  EXPECT_EQ(r.v->kind, VAL_GLOBAL);
  EXPECT_EQ(names(global("reads")->default_reads), "base");
  EXPECT_EQ(names(global("reads")->default_calls), "");

  Got n = read(w, "@global_default_value(geo:nested)");
  ASSERT_FALSE(n.o.failed) << n.o.out;
  EXPECT_EQ(names(global("nested")->default_calls), "pick four");
  EXPECT_EQ(names(global("nested")->default_reads), "base");
  // The function reading the defaults keeps everything they named, in order.
  EXPECT_EQ(names(w.body->called), "four pick four");
  EXPECT_EQ(names(w.body->used_globals), "base base");
  // Outside a default globals read as ever.
  Got plain = read(w, "geo:base");
  ASSERT_FALSE(plain.o.failed) << plain.o.out;
  EXPECT_EQ(plain.v->kind, VAL_GLOBAL);
}

TEST(Intrinsics, OperandsAndCalls) {
  World w({kDecls});
  w.local("p", w.type("ptr"));
  w.local("q", w.type("ptr"));
  w.local("box", w.type("Box"));
  Got m = read(w, "@memcpy(p, q, 3)");
  ASSERT_FALSE(m.o.failed) << m.o.out;
  // Source first, destination second.
  EXPECT_EQ(m.v->op1->decl->name, "p");
  EXPECT_EQ(m.v->op2->decl->name, "q");
  EXPECT_EQ(m.v->op3->type->to_text(), "uint");

  Got pv = read(w, "@ptrv(p, u8, 3)");
  ASSERT_FALSE(pv.o.failed) << pv.o.out;
  EXPECT_EQ(pv.v->op2->type->to_text(), "int");
  EXPECT_EQ(pv.v->op2->number, 3u);

  Got init = read(w, "@property_init(box, box.next, box)");
  ASSERT_FALSE(init.o.failed) << init.o.out;
  ASSERT_EQ(init.v->kind, VAL_CALL);
  bool listed = false;
  for (Func* f : w.body->called) listed = listed || f->name == "property_set";
  EXPECT_TRUE(listed);

  Got sym = read(w, "@vtable(<Box>)");
  ASSERT_FALSE(sym.o.failed) << sym.o.out;
  EXPECT_EQ(sym.v->symbol, w.cls("Box")->export_name + "_VTABLE");
}

}  // namespace
}  // namespace tesk::literaltest
