// `let` and store_value: declarations, references to inline values, checks, null facts
// and the GC runtime calls of stores.
#include "expr/access.h"
#include "fixture.h"

namespace tesk::stmttest {
namespace {

// Dump of f's statements without the implicit return at the end.
std::string statements(const std::string& decl) {
  World w({decl});
  Body r = w.read_body("f");
  if (r.out.failed) return "error: " + r.out.error;
  std::string got = dump(r.scope()->ast);
  const std::string tail = "; value ():void; scope{}; return ():void";
  if (got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0)
    got.resize(got.size() - tail.size());
  return got;
}

const char* kTwo = "fn two() (int, bool) {\n return (1, true)\n}\nfn three() (int, bool, u8) {\n return (1, true, 2)\n}\n";

TEST(Let, Declarations) {
  struct Case {
    std::string decl, want;
  } cases[] = {
      {"fn f() {\n let a = 5\n let b: u8 = 7\n}\n", "declare a = 5:int; declare b = 7:u8"},
      // "_" evaluates and stores its value but declares no name.
      {"fn f() {\n let _ = 5\n}\n", "declare _ = 5:int"},
      {std::string(kTwo) + "fn f() {\n let a, b = two()\n}\n",
       "declare a = item0(call():(int, bool)):int; declare b = item1(call():(int, bool)):bool"},
      // A third value is dropped.
      {std::string(kTwo) + "fn f() {\n let a, b = three()\n}\n",
       "declare a = item0(call():(int, bool, u8)):int; declare b = item1(call():(int, bool, u8)):bool"},
      {"fn f() {\n let a, b = 1\n}\n", "error: Right side of '=' is not returning enough values to fit all your variables"},
      {"fn g() {\n}\nfn f() {\n let a = g()\n}\n", "error: You cannot declare a variable of type 'void'"},
      {"fn f() {\n let a = 1\n let a = 2\n}\n", "error: Name already used: a"},
      // A nested block may shadow.
      {"fn f() {\n let a = 1\n {\n let a = true\n }\n}\n", "declare a = 1:int; scope{declare a = true:bool}"},
      {"fn f() {\n let 5 = 1\n}\n", "error: Invalid identifier name: '5' | Expected syntax: [a-zA-Z_]"},
      {"fn f() {\n let a 1\n}\n", "error: Expected token: '=', instead of: '1'"},
      {"fn f() {\n let a: int = \"s\"\n}\n", "error: Incompatible types. Passing a 'String' value to a 'int' type"},
  };
  for (const Case& c : cases) EXPECT_EQ(statements(c.decl), c.want) << c.decl;
}

TEST(Let, ErrorPositions) {
  // Not enough values is reported at the "=", a type mismatch at the position behind it.
  World w({"fn f() {\n let a, b =   1\n}\nfn g() {\n let c: int =   \"s\"\n}\n"});
  Body r = w.read_body("f");
  EXPECT_NE(r.out.out.find("# Line: 2 | Col: 11"), std::string::npos) << r.out.out;
  Body g = w.read_body("g");
  EXPECT_NE(g.out.out.find("# Line: 5 | Col: 13"), std::string::npos) << g.out.out;
}

TEST(Let, DeclaringStoreIsNoUse) {
  World w({"fn f() {\n let a = 1\n let b = 2\n let c = b\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  auto local = [&](std::string_view n) { return (*r.scope()->identifiers.find(n))->decl; };
  EXPECT_EQ(local("a")->used, 0);
  EXPECT_EQ(local("b")->used, 1);
  EXPECT_EQ(local("a")->ir_name, "%var.a.0");
  EXPECT_EQ(local("c")->ir_name, "%var.c.2");
  // Every local is listed by the body scope in declaration order.
  ASSERT_EQ(r.scope()->decls.size(), 3u);
  EXPECT_EQ(r.scope()->decls[2], local("c"));
}

TEST(Let, InlineValues) {
  const char* decls =
      "struct Point {\n x: int\n}\n"
      "class Holder {\n pt: <Point>\n}\n";
  World w({decls,
           "fn f(h: Holder) {\n let p = h.pt\n}\n"});
  // A reference into an object's inline property may not be kept in a local.
  Body r = w.read_body("f");
  EXPECT_EQ(r.out.error, "You are not allowed to store this reference, you can only access it directly.");
}

TEST(Let, UntypedLocalOfInlineLocalIsReference) {
  World w({"struct Point {\n x: int\n}\n", "fn f() {\n let p: <Point> = { x: 1 }\n let q = p\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  Decl* q = (*r.scope()->identifiers.find("q"))->decl;
  EXPECT_EQ(q->type->kind, TYPE_REFERENCE);
  // The struct local initialises itself in place: only its evaluation is appended.
  ASSERT_GE(r.scope()->ast.size(), 2u);
  EXPECT_EQ(r.scope()->ast[0]->kind, AST_VALUE);
  EXPECT_EQ(r.scope()->ast[1]->kind, AST_DECLARE);
  EXPECT_EQ(r.scope()->ast[1]->value->kind, VAL_REFERENCE);
}

TEST(Store, NullFacts) {
  World w({"fn f(s: ?String, t: String) {\n s = t\n}\n"
           "fn g(s: ?String, t: String) {\n s = t\n s = null\n}\n"
           "fn h(t: String) {\n let u: ?String = t\n}\n"});
  for (auto [name, want] : {std::pair{"f", true}, std::pair{"g", false}, std::pair{"h", true}}) {
    Body r = w.read_body(name);
    ASSERT_FALSE(r.out.failed) << r.out.out;
    Decl* d = r.scope()->decls[name == std::string("h") ? 1 : 0];
    EXPECT_EQ(r.scope()->is_not_null(d), want) << name;
  }
}

TEST(Store, GcRuntimeCalls) {
  const char* decls =
      "class Node {\n next: ?Node\n n: int\n}\n"
      "shared sg: ?Node\n"
      "global tg: ?Node\n";
  World w({decls,
           "fn f(a: Node) {\n sg = a\n}\n"
           "fn g(a: Node) {\n tg = a\n}\n"
           "fn h(a: Node, b: Node) {\n a.next = b\n a.n = 1\n}\n"});
  auto called = [&](Func* f, std::string_view n) {
    for (Func* c : f->called)
      if (c->name == n) return true;
    return false;
  };
  Body f = w.read_body("f");
  ASSERT_FALSE(f.out.failed) << f.out.out;
  EXPECT_EQ(dump(f.scope()->ast).substr(0, 60), "value call(a:Node):void; assign @sg:?Node = a:Node; value ()");
  EXPECT_TRUE(called(f.func, "share_null_check"));
  Body g = w.read_body("g");
  EXPECT_EQ(dump(g.scope()->ast).substr(0, 26), "assign @tg:?Node = a:Node;");
  EXPECT_FALSE(called(g.func, "share_null_check"));
  Body h = w.read_body("h");
  EXPECT_EQ(dump(h.scope()->ast).substr(0, 60), "assign a:Node.next:?Node = b:Node; assign a:Node.n:int = 1:i");
  EXPECT_TRUE(called(h.func, "property_update"));
  EXPECT_FALSE(called(h.func, "share_null_check"));
}

TEST(Store, UndefinedAndInPlaceValues) {
  World w({"global tg: int\nfn f(a: int) {\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed);
  Scope* s = new_scope(r.scope(), SCOPE_BLOCK);
  ParseContext* ctx = context_for_func(r.func);
  Decl* a = r.scope()->decls[0];
  Outcome o = run([&] {
    store_value(ctx, s, value_decl(a), value_undefined(w.b), 0, nullptr);
    Value* v = value_int(1, a->type);
    v->in_place = 1;
    store_value(ctx, s, value_decl(a), v, 0, nullptr);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(dump(s->ast), "value 1:int");
  // A declaring store needs a local.
  Global* tg = w.b->globals[0];
  Outcome bad = run([&] { store_value(ctx, s, value_global(tg), value_int(1, a->type), 1, nullptr); });
  EXPECT_EQ(bad.error, "Missing declaration variable");
}

}  // namespace
}  // namespace tesk::stmttest
