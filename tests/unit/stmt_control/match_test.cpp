// match: the chain of ifs, results, the default case, and the coverage of errors.
#include "fixture.h"

namespace tesk::ctltest {
namespace {

const char* kDecls =
        "fn one() int !a !b !c {\n return 1\n}\n"
    "fn log(s: String) {\n}\n";

std::string match_body(const char* f) { return body_of(std::string(kDecls) + f); }

std::string outcome(const char* f) {
  std::string got = match_body(f);
  return got.rfind("error: ", 0) == 0 ? got : "ok";
}

TEST(Match, Shapes) {
  // Each case's else scope holds the next comparison; the default body runs in the last.
  EXPECT_EQ(match_body("fn f(a: int) {\n match a {\n  1 => log(\"1\")\n  2 => {\n   log(\"2\")\n  }\n"
                       "  default => log(\"d\")\n }\n}\n"),
            "value inline{if cmp6(a:int, 1:int):bool {value inline{value call log(\"1\":String):void}:void} else "
            "{if cmp6(a:int, 2:int):bool {value inline{value call log(\"2\":String):void}:void} else {value "
            "inline{value call log(\"d\":String):void}:void}}}:void");
  // A single default case: no comparison.
  EXPECT_EQ(match_body("fn f(a: int) {\n match a {\n  default => log(\"d\")\n }\n}\n"),
            "value inline{value inline{value call log(\"d\":String):void}:void}:void");
  // A constant adopts the match value's width.
  EXPECT_EQ(match_body("fn f(a: u16) {\n match a {\n  1 => a = 2\n  default => a = 3\n }\n}\n")
                .substr(0, 40),
            "value inline{if cmp6(a:u16, 1:u16):bool ");
  // Strings compare as references: no $eq function is called.
  EXPECT_EQ(match_body("fn f(s: String) {\n match s {\n  \"x\" => log(s)\n  default => log(s)\n }\n}\n")
                .substr(0, 47),
            "value inline{if cmp6(s:String, \"x\":String):bool");
  // With a result type the cases store into the result local, which is the value.
  EXPECT_EQ(match_body("fn f(a: int) {\n let x = match a : int {\n  1 => 10\n  default => return\n }\n}\n"),
            "declare x = _[inline{if cmp6(a:int, 1:int):bool {declare _ = copy(inline{value 10:int}:void then "
            "10:int):int} else {value inline{value ():void; scope{}; return ():void}:none}}:int]:int");
}

TEST(Match, Errors) {
  const Case cases[] = {
      {"fn f(a: int) {\n match a {\n  1 => log(\"1\")\n }\n}\n",
       "error: The match statement must have a 'default' case because it does not cover all values"},
      // Only a match over an error gets a coverage test.
      {"fn f(b: bool) {\n match b {\n  true => log(\"t\")\n  false => log(\"f\")\n }\n}\n",
       "error: The match statement must have a 'default' case because it does not cover all values"},
      {"fn f(a: int) {\n match a {\n  default => log(\"d\")\n  1 => log(\"1\")\n }\n}\n",
       "error: You cannot define cases after the 'default' case. You should move the 'default' case to the bottom "
       "of the list."},
      {"fn f(a: int) {\n match a {\n }\n}\n", "error: The match statement must have atleast 1 case"},
      {"fn f(a: int) {\n match a\n {\n  default => log(\"d\")\n }\n}\n", "ok"},
      {"fn f(a: int) {\n match a =>\n}\n", "error: Expected token: '{', instead of: '=>'"},
      {"fn f(a: int) {\n match a {\n  1 -> log(\"1\")\n }\n}\n", "error: Expected token: '=>', instead of: '->'"},
      {"fn f(a: int) {\n match a {\n  1 =>\n  log(\"1\")\n }\n}\n", "error: Missing error value / code"},
      {"fn f(a: int) {\n match a {\n  \"s\" => log(\"1\")\n  default => log(\"d\")\n }\n}\n",
       "error: Incompatible types. Passing a 'String' value to a 'int' type"},
      {"fn f(a: int) {\n let x = match a : int {\n  1 => \"s\"\n  default => 2\n }\n}\n",
       "error: Incompatible types. Passing a 'String' value to a 'int' type"},
      {"fn f(a: int) {\n let x: int = match a : int {\n  1 => 5\n  default => 2\n }\n}\n", "ok"},
      // A result type without a value gives a match without result.
      {"fn f(a: int) {\n match a : void {\n  default => log(\"d\")\n }\n}\n", "ok"},
      {"fn f(a: int) {\n let x = match a : void {\n  default => log(\"d\")\n }\n}\n",
       "error: You cannot declare a variable of type 'void'"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome(c.decls), c.want) << c.decls;
}

TEST(Match, ErrorCoverage) {
  const Case cases[] = {
      {"fn f() {\n one() ! match E {\n  E.a => log(\"a\")\n  E.b => log(\"b\")\n  E.c => log(\"c\")\n }\n}\n", "ok"},
      {"fn f() {\n one() ! match E {\n  E.a => log(\"a\")\n  E.a => log(\"a\")\n }\n}\n",
       "error: Not all error cases have been handled. Unhandled errors: b, c"},
      {"fn f() {\n one() ! match E {\n  E.b => log(\"b\")\n  default => log(\"d\")\n }\n}\n", "ok"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome(c.decls), c.want) << c.decls;
}

TEST(Match, EveryCaseLeaving) {
  // The block ends after the match, unread, with an unreachable marker; no return needed.
  EXPECT_EQ(outcome("fn f(a: int) int {\n match a {\n  1 => return 1\n  default => return 2\n }\n let = =\n}\n"),
            "ok");
  std::string got = match_body("fn f(a: int) int {\n match a {\n  1 => return 1\n  default => return 2\n }\n}\n");
  EXPECT_EQ(got.substr(got.size() - 13), "; unreachable");
  EXPECT_EQ(outcome("fn f(a: int) int {\n match a {\n  1 => return 1\n  default => log(\"d\")\n }\n}\n"),
            "error: Missing 'return' statement");
}

}  // namespace
}  // namespace tesk::ctltest
