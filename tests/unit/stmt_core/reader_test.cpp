// The statement reader: dispatch, blocks, value statements, assignments, end rules.
#include "fixture.h"

namespace tesk::stmttest {
namespace {

struct Case {
  const char* decl;  // the function "f" and whatever it needs
  const char* want;  // dump of f's body statements, or "error: " + message
};

std::string body_text(const std::string& decl) {
  World w({decl});
  Body r = w.read_body("f");
  if (r.out.failed) return "error: " + r.out.error;
  return dump(r.scope()->ast);
}

const char* kVoidEnd = "value ():void; scope{}; return ():void";

TEST(StatementReader, BlocksAndEndRules) {
  const Case cases[] = {
      // A void function reaching its end returns an empty group after its exit scope.
      {"fn f() {\n}\n", kVoidEnd},
      // An empty body of a function with a result.
      {"fn f() int {\n}\n", "error: Missing 'return' statement"},
      // ";" is an empty statement; a nested block is its own scope.
      {"fn f() {\n ;\n {\n let a = 1\n }\n}\n", "scope{declare a = 1:int}; value ():void; scope{}; return ():void"},
      // The rest of a block after a return is skipped unread, syntax errors included.
      {"fn f() int {\n return 1\n let = = ;\n}\n", "value 1:int; scope{}; return 1:int"},
      // A return inside a nested block is not the enclosing block's return.
      {"fn f() int {\n {\n return 1\n }\n}\n", "error: Missing 'return' statement"},
      // @return_empty ends the block: no missing-return error, no implicit return.
      {"fn f() int {\n @return_empty\n let = ;\n}\n", "unreachable"},
      {"fn f() {\n @allocas\n}\n", "error: @allocas can only be used inside a function thats flagged with $entrance"},
      // The prologue scope (filled later) is placed where @allocas stands.
      {"fn f() $entrance {\n let a = 1\n @allocas\n}\n", "declare a = 1:int; scope{}; value ():void; scope{}; return ():void"},
      // A function that can fail and reaches its end returns code 0 and a null message.
      {"fn f() !bad {\n}\n", "value (0:u32, null:String):(u32, String); scope{}; return (0:u32, null:String):(u32, String)"},
      // "#" starting a line is a directive.
      {"fn f() {\n#if OS == linux\n let a = 1\n#end\n}\n", "declare a = 1:int; value ():void; scope{}; return ():void"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_text(c.decl), c.want) << c.decl;
}

TEST(StatementReader, Assignments) {
  const Case cases[] = {
      {"fn f(a: int) {\n a = 2\n}\n", "assign a:int = 2:int"},
      // A compound assignment stores the result of the operator.
      {"fn f(a: int) {\n a += 3\n a ^= 1\n}\n", "assign a:int = math1(a:int, 3:int):int; assign a:int = math18(a:int, 1:int):int"},
      // A single target of a right side with two values takes the first.
      {"fn two() (int, bool) {\n return (1, true)\n}\nfn f(a: int) {\n a = two()\n}\n", "assign a:int = item0(call():(int, bool)):int"},
      {"fn f(a: int) {\n a = \"s\"\n}\n", "error: Incompatible types. Passing a 'String' value to a 'int' type"},
      {"fn f() {\n 5 = 3\n}\n", "error: Cannot assign to left side value"},
      // Several targets in parentheses take the values in order.
      {"fn two() (int, bool) {\n return (1, true)\n}\nfn f(a: int, b: bool) {\n (a, b) = two()\n}\n",
       "assign a:int = item0(call():(int, bool)):int; assign b:bool = item1(call():(int, bool)):bool"},
      {"fn f(a: int, b: int) {\n (a, b) = 1\n}\n", "error: Right side does not return enough values"},
      // A group on the right is read whole before the first store.
      {"fn f(a: int, b: int) {\n (a, b) = (b, a)\n}\n",
       "declare _ = b:int; declare _ = a:int; assign a:int = _:int; assign b:int = _:int"},
  };
  for (const Case& c : cases) {
    std::string got = body_text(c.decl);
    if (std::string(c.want).rfind("error: ", 0) != 0) {
      // Strip the implicit return for brevity.
      std::string tail = std::string("; ") + kVoidEnd;
      if (got.size() > tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0)
        got.resize(got.size() - tail.size());
    }
    EXPECT_EQ(got, c.want) << c.decl;
  }
}

TEST(StatementReader, AssignmentPutsLocalInMemory) {
  World w({"fn f(a: int, b: int) {\n a = 1\n let c = b\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  auto local = [&](std::string_view n) { return (*r.scope()->identifiers.find(n))->decl; };
  EXPECT_EQ(local("a")->in_memory, 1);
  EXPECT_EQ(local("b")->in_memory, 0);
  EXPECT_EQ(local("c")->in_memory, 0);
}

}  // namespace
}  // namespace tesk::stmttest

namespace tesk::stmttest {
namespace {

TEST(StatementReader, ImmutablePropertyIsNotAssignable) {
  World w({"class Node {\n n: int\n}\n", "fn f(a: Node) {\n a.n = 1\n}\n"});
  FuncArg* a = w.fn("f")->args[0];
  a->type = a->type->get_imut();
  a->decl->type = a->type;
  ASSERT_TRUE(a->type->sub->imut);
  Body r = w.read_body("f");
  EXPECT_EQ(r.out.error, "Cannot assign a value to a immutable property");
}

}  // namespace
}  // namespace tesk::stmttest

namespace tesk::stmttest {
namespace {

// A block whose closing brace never comes ends with an error, not a hang.
TEST(StatementReader, EndOfTextInsideBlock) {
  World w({"fn f() {\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed);
  Outcome o = run([&] {
    Parser* p = new_parser(new_chunk(w.b, r.func->file, w.b->arena.save(std::string("let a = 1\n"))), nullptr);
    p->context->func = r.func;
    p->context->unit = r.func->unit;
    read_statements(p, new_scope(r.scope(), SCOPE_BLOCK), 0);
  });
  EXPECT_TRUE(o.failed);
  EXPECT_FALSE(o.error.empty()) << o.out;
}

}  // namespace
}  // namespace tesk::stmttest

namespace tesk::stmttest {
namespace {

// A loop body ends with the implicit continue unless it left by itself.
TEST(StatementReader, LoopBodyEndsWithContinue) {
  World w({"fn f(n: int) {\n while n > 0 {\n n -= 1\n }\n}\n"
           "fn g(n: int) {\n while n > 0 {\n n -= 1\n break\n }\n}\n"});
  for (auto [name, last] : {std::pair{"f", AST_CONTINUE}, std::pair{"g", AST_BREAK}}) {
    Body r = w.read_body(name);
    ASSERT_FALSE(r.out.failed) << r.out.out;
    AstNode* loop = nullptr;
    for (AstNode* n : r.scope()->ast)
      if (n->kind == AST_WHILE) loop = n;
    ASSERT_NE(loop, nullptr);
    ASSERT_FALSE(loop->scope->ast.empty());
    EXPECT_EQ(loop->scope->ast.back()->kind, u64(last)) << name << ": " << dump(loop->scope->ast);
    u64 continues = 0;
    for (AstNode* n : loop->scope->ast) continues += n->kind == AST_CONTINUE;
    EXPECT_EQ(continues, name == std::string("f") ? 1u : 0u) << name;
  }
}

}  // namespace
}  // namespace tesk::stmttest

namespace tesk::stmttest {
namespace {

TEST(StatementReader, SubScopeIsVoidInlineScope) {
  World w({"fn f() {\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed);
  Value* v = nullptr;
  Outcome o = run([&] {
    Parser* p = new_parser(new_chunk(w.b, r.func->file, w.b->arena.save(std::string("let a = 1\n return\n}\n"))), nullptr);
    p->context->func = r.func;
    p->context->unit = r.func->unit;
    v = read_sub_scope(p, r.scope());
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->kind, VAL_INLINE_SCOPE);
  EXPECT_EQ(v->type->kind, TYPE_VOID);
  ASSERT_NE(v->scope, nullptr);
  EXPECT_EQ(v->scope->kind, SCOPE_BLOCK);
  EXPECT_EQ(v->scope->parent, r.scope());
  EXPECT_EQ(dump(v->scope->ast), "declare a = 1:int; value ():void; scope{}; return ():void");
  EXPECT_EQ(v->scope->did_exit, 1);
  // Nothing is appended to the parent: the caller places the value.
  EXPECT_EQ(dump(r.scope()->ast), "value ():void; scope{}; return ():void");
}

}  // namespace
}  // namespace tesk::stmttest
