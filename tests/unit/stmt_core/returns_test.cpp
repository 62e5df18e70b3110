// Returns from functions and value scopes, the error results of functions that can
// fail, throws, IR comments and the allocator initialisation.
#include "expr/values.h"
#include "model/alloc_pools.h"
#include "model/scope.h"
#include "fixture.h"

namespace tesk::stmttest {
namespace {

std::string body_of(const std::string& decls, std::string_view name = "f") {
  World w({decls});
  Body r = w.read_body(name);
  if (r.out.failed) return "error: " + r.out.error;
  return dump(r.scope()->ast);
}

TEST(Return, Values) {
  struct Case {
    std::string decl, want;
  } cases[] = {
      {"fn f() int {\n return 5\n}\n", "value 5:int; scope{}; return 5:int"},
      // A function without results reads no value: "5" is skipped with the rest.
      {"fn f() {\n return 5\n}\n", "value ():void; scope{}; return ():void"},
      {"fn f() int {\n return \"s\"\n}\n", "error: Incompatible types. Passing a 'String' value to a 'int' type"},
      // The value is converted to the return Type (the hint types the literal).
      {"fn f() u8 {\n return 7\n}\n", "value 7:u8; scope{}; return 7:u8"},
      {"fn f() (int, bool) {\n return (1, true)\n}\n",
       "value (1:int, true:bool):(int, bool); scope{}; return (1:int, true:bool):(int, bool)"},
      // Functions that can fail add code 0 and a null message.
      {"fn f() !bad {\n return\n}\n",
       "value (0:u32, null:String):(u32, String); scope{}; return (0:u32, null:String):(u32, String)"},
      {"fn f(x: int) int !bad {\n return x\n}\n",
       "value (x:int, 0:u32, null:?String):(int, u32, ?String); scope{}; "
       "return (x:int, 0:u32, null:?String):(int, u32, ?String)"},
      {"fn two() (int, bool) {\n return (1, true)\n}\nfn f() (int, bool) !bad {\n return two()\n}\n",
       "value (item0(call():(int, bool)):int, item1(call():(int, bool)):bool, 0:u32, null:?String):(int, bool, u32, "
       "?String); scope{}; return (item0(call():(int, bool)):int, item1(call():(int, bool)):bool, 0:u32, "
       "null:?String):(int, bool, u32, ?String)"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_of(c.decl), c.want) << c.decl;
}

TEST(Return, ExitScopeIsSharedByEveryReturn) {
  World w({"fn f(a: int) int {\n {\n return 1\n }\n return 2\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  // Statements added to the exit scope later are run by both returns.
  append_comment(r.ast->epilogue, "late");
  EXPECT_EQ(dump(r.scope()->ast),
            "scope{value 1:int; scope{comment late}; return 1:int}; value 2:int; scope{comment late}; return 2:int");
}

TEST(Return, ValueScopes) {
  struct Case {
    std::string decl, want;
  } cases[] = {
      // The return belongs to the value scope, not to the function.
      {"fn f() {\n let a = <{ return 5 }\n}\n", "declare a = kind31:int; value ():void; scope{}; return ():void"},
      // The first return fixes the value scope's Type.
      {"fn f() {\n let a = <{\n {\n return 5\n }\n return \"s\"\n }\n}\n",
       "error: Incompatible types. Passing a 'String' value to a 'int' type"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_of(c.decl), c.want) << c.decl;

  World w({"fn f() {\n let a = <{ return 5\n let = = ;\n }\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  Value* vs = r.scope()->ast[0]->value;
  ASSERT_EQ(vs->kind, VAL_VALUE_SCOPE);
  EXPECT_EQ(dump(vs->scope->ast), "value 5:int; vscope_return");
  ASSERT_EQ(vs->scope->vscope_values.size(), 1u);
  EXPECT_EQ(vs->scope->did_exit, 1);
}

TEST(Return, OutsideAnyFunctionScope) {
  World w({"fn f() {\n}\n"});
  Body r = w.read_body("f");
  Parser* p = new_parser(r.func->body_chunk, nullptr);
  p->context->func = r.func;
  Scope* loose = make_scope(SCOPE_BLOCK, w.b, nullptr);
  Outcome o = run([&] { read_return(p, loose); });
  EXPECT_EQ(o.error, "Unexpected 'return' statement");
}

TEST(Throw, DefaultResultsThenCodeAndMessage) {
  World w({"class Node {\n}\n",
           "fn f() (int, bool) !bad {\n}\nfn g() Node !bad {\n}\nfn h() !bad {\n}\n"});
  for (auto [name, want] :
       {std::pair{"f", "(0:int, 0:bool, 7:u32, msg:String):(int, bool, u32, String)"},
        std::pair{"g", "(null:Node, 7:u32, msg:String):(Node, u32, String)"},
        std::pair{"h", "(7:u32, msg:String):(u32, String)"}}) {
    Func* fn = w.fn(name);
    Scope* s = nullptr;
    Outcome o = run([&] {
      FuncAst* ast = fn->init_scope();
      s = new_scope(ast->scope, SCOPE_BLOCK);
      ParseContext* ctx = context_for_func(fn);
      Value* msg = value_null(string_type(w.b));
      msg->type = string_type(w.b);
      Decl* d = new_decl(string_type(w.b), false, "msg");
      append_throw(ctx, s, value_int(7, core_type(w.b, "u32")), value_decl(d));
    });
    ASSERT_FALSE(o.failed) << o.out;
    EXPECT_EQ(dump(s->ast), std::string("value ") + want + "; scope{}; return " + want) << name;
    EXPECT_EQ(s->did_exit, 1);
  }
}

TEST(IrComment, Forms) {
  struct Case {
    std::string body, want;
  } cases[] = {
      {" ir_comment(\"hello\")\n", "comment hello"},
      // Escapes stay as written.
      {" ir_comment(\"a\\nb\")\n", "comment a\\nb"},
      {" ir_comment(\n \"x\"\n )\n", "comment x"},
      {" ir_comment (\"x\")\n", "error: Expected token: '(', instead of: ''"},
      {" ir_comment(x)\n", "error: Expected a string between doubles quotes, found: 'x'"},
      {" ir_comment(\"x\" 1)\n", "error: Expected token: ')', instead of: '1'"},
  };
  for (const Case& c : cases) {
    std::string got = body_of("fn f() {\n" + c.body + "}\n");
    if (got.rfind("error: ", 0) != 0) got = got.substr(0, got.find(';'));
    EXPECT_EQ(got, c.want) << c.body;
  }
}

TEST(InitAllocators, OneStorePerPoolInCreationOrder) {
  World w({"class A {\n x: int\n}\nclass B {\n x: int\n y: int\n z: int\n}\nclass C {\n a: int\n b: int\n c: int\n d: int\n e: int\n}\n",
           "fn f() {\n @INIT_ALLOCATORS\n @INIT_ALLOCATORS\n}\n"});
  Body pre = w.read_body("f");
  ASSERT_FALSE(pre.out.failed) << pre.out.out;
  ASSERT_TRUE(w.b->alloc_pools.empty());
  EXPECT_EQ(dump(pre.scope()->ast), "value ():void; scope{}; return ():void");

  Outcome made = run([&] {
    ParseContext* ctx = context_for_func(pre.func);
    for (const char* n : {"B", "A", "C"}) allocator_global(ctx, w.must_cls(n)->get_type());
  });
  ASSERT_FALSE(made.failed) << made.out;
  ASSERT_EQ(w.b->alloc_pools.size(), 3u);

  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  std::vector<std::string> stores;
  for (AstNode* n : r.scope()->ast)
    if (n->kind == AST_ASSIGN) stores.push_back(vdesc(n->value) + " = " + vdesc(n->value2));
  ASSERT_EQ(stores.size(), 6u);
  std::vector<std::string> pools;
  for (auto& [name, pool] : w.b->alloc_pools)
    pools.push_back("@" + pool->global->name + ":Pool = call(" + std::to_string(pool->item_size) +
                    ":uint, null:?ptr, null:?ptr):Pool");
  for (size_t i = 0; i < 3; i++) EXPECT_EQ(stores[i], pools[i]);
  EXPECT_EQ(w.b->init_allocators_funcs.size(), 1u);
  bool calls_init = false;
  for (Func* c : r.func->called) calls_init = calls_init || c->name == "init";
  EXPECT_TRUE(calls_init);
}

}  // namespace
}  // namespace tesk::stmttest
