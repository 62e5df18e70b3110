// Error handlers after calls of functions that can fail.
#include <algorithm>
#include <cstring>

#include "fixture.h"

namespace tesk::ctltest {
namespace {

const char* kFuncs =
    "class Box {\n}\n"
    "fn one() int !a !b {\n return 1\n}\n"
    "fn two() (int, bool) !a {\n return (1, true)\n}\n"
    "fn none() !a {\n}\n"
    "fn obj() Box !a {\n return Box{}\n}\n"
    "fn log(s: String) {\n}\n"
    "exit fn quit() {\n}\n";

std::string handler_body(const char* f) { return body_of(std::string(kFuncs) + f); }

// "ok" for a body that reads, else the error.
std::string outcome(const char* f) {
  std::string got = handler_body(f);
  return got.rfind("error: ", 0) == 0 ? got : "ok";
}

const char* kFail = "cmp7(item1(call one():(int, u32, String)):u32, 0:u32):bool";
const char* kOne = "item0(call one():(int, u32, String)):int";

TEST(Handlers, Shapes) {
  std::string fail = kFail, one = kOne;
  // The message goes into a GC temporary first: it stays rooted for the whole handler.
  std::string e_code =
      "value item1(call one():(int, u32, String)):u32; value buf(item2(call one():(int, u32, String)):String):String";
  // "!?": the handler's value or the results, typed as the handler's value.
  EXPECT_EQ(handler_body("fn f() {\n let x = one() !? 0\n}\n"),
            "declare x = either(" + fail + ", copy(inline{" + e_code + "; value 0:int}:void then 0:int):int, " + one +
                "):int");
  // "!" whose body leaves: the results, after the test and the handler.
  EXPECT_EQ(handler_body("fn f() {\n let x = one() ! return\n}\n"),
            "declare x = copy(cond(" + fail + ", inline{" + e_code +
                "; value ():void; scope{}; return ():void}:none):none then " + one + "):int");
  // "!" whose body goes on: no value.
  EXPECT_EQ(handler_body("fn f() {\n one() ! log(EMSG)\n}\n"),
            "value cond(" + fail + ", copy(inline{" + e_code +
                "; value call log(buf(item2(call one():(int, u32, String)):String):String):void}:void then call "
                "log(buf(item2(call one():(int, u32, String)):String):String):void):void):void");
  // "_": the call, its results and error dropped.
  EXPECT_EQ(handler_body("fn f() {\n one() _\n}\n"), "value copy(call one():(int, u32, String)):void");
  // "!>": the message rooted, the function's zero results, then the callee's code and
  // message; the temporary is cleared after the statement.
  EXPECT_EQ(handler_body("fn f() bool !a {\n let x = one() !>\n return true\n}\n"),
            "declare x = copy(cond(" + fail +
                ", inline{value buf(item2(call one():(int, u32, String)):String):String; value (0:bool, item1(call one():(int, u32, String)):u32, item2(call one():(int, u32, "
                "String)):String):(bool, u32, String); scope{}; return (0:bool, item1(call one():(int, u32, "
                "String)):u32, item2(call one():(int, u32, String)):String):(bool, u32, String)}:void):void then " +
                one +
                "):int; assign _:String = null:?String; value (true:bool, 0:u32, null:?String):(bool, u32, ?String); "
                "scope{}; return (true:bool, "
                "0:u32, null:?String):(bool, u32, ?String)");
  // "->": the bindings and the body run when the call succeeded.
  EXPECT_EQ(handler_body("fn f() {\n two() -> (a, b) {\n  log(\"x\")\n }\n}\n"),
            "value inline{if not(cmp7(item2(call two():(int, bool, u32, String)):u32, 0:u32):bool):bool {declare _ = "
            "item0(call two():(int, bool, u32, String)):int; declare _ = item1(call two():(int, bool, u32, "
            "String)):bool; value call log(\"x\":String):void} else {}}:void");
}

TEST(Handlers, Panic) {
  World w({std::string(kFuncs) + "fn f() {\n let x = one() !!\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  std::string path = r.func->file->path;
  EXPECT_EQ(cdump(r.scope()->ast),
            std::string("declare x = copy(cond(") + kFail + ", inline{value call panic(\"Error at: " + path + ":" +
                std::to_string(std::count(kFuncs, kFuncs + std::strlen(kFuncs), '\n') + 2) + "\":String):void}:void):void then " + kOne + "):int" + kVoidEnd);
}

TEST(Handlers, TypesAndErrors) {
  const Case cases[] = {
      {"fn f() {\n let x: int = one() !? 0\n}\n", "ok"},
      // A null default makes the result nullable.
      {"fn f() {\n let x: Box = obj() !? null\n}\n",
       "error: Incompatible types. Passing a '?Box' value to a 'Box' type"},
      {"fn f() {\n let x: ?Box = obj() !? null\n}\n", "ok"},
      {"fn f() {\n let x = one() !? \"s\"\n}\n", "error: Incompatible types. Passing a 'String' value to a 'int' type"},
      // A body ending in a call of an exit function leaves.
      {"fn f() {\n let x: int = one() ! quit()\n}\n", "ok"},
      {"fn f() {\n let x = one() ! log(EMSG)\n}\n", "error: You cannot declare a variable of type 'void'"},
      {"fn f() {\n let x = one() _\n}\n", "error: You cannot declare a variable of type 'void'"},
      // A call without results gives none, also with "!!", "!>" and a leaving "!".
      {"fn f() {\n let x = none() !!\n}\n", "error: You cannot declare a variable of type 'void'"},
      {"fn f() {\n let x = none() ! return\n}\n", "error: You cannot declare a variable of type 'void'"},
      {"fn f() !a {\n let x = none() !>\n}\n", "error: You cannot declare a variable of type 'void'"},
      {"fn f() {\n none() !!\n}\n", "ok"},
      {"fn f() {\n one()\n ! return\n}\n",
       "error: Unexpected token: '', expected: '!', '!?', '!>', '!!', '_', '->'"},
      {"fn f() {\n one() + 1\n}\n", "error: Unexpected token: '+', expected: '!', '!?', '!>', '!!', '_', '->'"},
      {"fn f() {\n one() !\n}\n", "error: Missing error value / code"},
      {"fn f() {\n one() !?\n}\n", "error: Missing error value / code"},
      // "!>" only where the function itself returns errors.
      {"fn f() {\n one() !>\n}\n",
       "error: You cannot use '!>' in a function that does not return errors. Add the errors to the function "
       "declaration or handle the error here."},
      // E and EMSG exist inside the handler only, hiding outer names.
      {"fn f() {\n let E = 5\n one() ! log(EMSG)\n let k: int = E\n}\n", "ok"},
      {"fn f() {\n let E = 5\n one() ! {\n  let k: int = E\n }\n}\n",
       "error: Incompatible types. Passing a '<error>' value to a 'int' type"},
      {"fn f() {\n one() ! log(EMSG)\n log(EMSG)\n}\n", "error: Unknown identifier: 'EMSG'"},
      // Success handlers.
      {"fn f() {\n one() -> x {\n  let k: int = x\n }\n}\n", "ok"},
      {"fn f() {\n one() -> (x): log(\"a\")\n}\n", "ok"},
      {"fn f() {\n one() -> x {\n }\n let k = x\n}\n", "error: Unknown identifier: 'x'"},
      {"fn f() {\n two() -> a {\n }\n}\n", "error: Expected token: '(', instead of: 'a'"},
      {"fn f() {\n two() -> (a) {\n }\n}\n", "error: Expected token: ',', instead of: ')'"},
      {"fn f() {\n one() -> (a, b) {\n }\n}\n", "error: Expected token: ')', instead of: ','"},
      {"fn f() {\n two() -> (a, a) {\n }\n}\n", "error: Name already used: a"},
      {"fn f() {\n two() -> (a, 5) {\n }\n}\n",
       "error: Expected a valid identifier name ([a-Z_]{1}[a-Z0-9_]*), found: '5'"},
      {"fn f() {\n none() -> x {\n }\n}\n",
       "error: You cannot use the '->' success handler on a function call that does not return a value"},
      {"fn f() {\n one() -> x y\n}\n", "error: Expected token: ':' or '{', instead of: 'y'"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome(c.decls), c.want) << c.decls;
}

TEST(Handlers, BindingsAreNamelessLocals) {
  World w({std::string(kFuncs) + "fn f() {\n two() -> (a, b) {\n }\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  ASSERT_EQ(r.scope()->decls.size(), 2u);
  for (Decl* d : r.scope()->decls) {
    EXPECT_TRUE(d->name.empty());
    EXPECT_EQ(d->chunk, nullptr);
  }
}

}  // namespace
}  // namespace tesk::ctltest
