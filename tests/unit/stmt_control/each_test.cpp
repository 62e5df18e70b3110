// each loops over slices and over classes with `_next`: the set-up statements, one
// iteration's nodes, the names and the index, and the errors.
#include "fixture.h"

namespace tesk::ctltest {
namespace {

const char* kIter =
    "class Box {\n}\n"
    "slice Items[T] {\n}\n"
    "class Range {\n n: int\n fn _next(i: uint) (int, bool) !end {\n  return (1, true)\n }\n}\n"
    "class Base {\n fn _next(i: uint) int !end {\n  return 1\n }\n}\n"
    "mode Derived for Base {\n}\n"
    "class Plain {\n}\n"
    "fn mkr() Range {\n return Range{ n: 1 }\n}\n";

std::string each_body(const char* f) { return body_of(std::string(kIter) + f); }

TEST(Each, SliceLoop) {
  EXPECT_EQ(each_body("fn f(s: Items[int]) {\n each s as v, i {\n  let k = v\n }\n}\n"),
            "// Each statement; // Init each on-values; value s:Items[int]; // Set index to 0; assign i:uint = 0:uint; "
            "// Get slice max index; value s:Items[int].length:uint; // Get slice data properties; "
            "value buf(s:Items[int].data:GcPtr):GcPtr; "
            "each {// Each loop scope; // Load index; value i:uint; // Compare index to slice length; "
            "if cmp10(i:uint, s:Items[int].length:uint):bool {break} else -; "
            "// Get slice values; // Set each variable value for: v; "
            "declare v = ptrv(buf(s:Items[int].data:GcPtr):GcPtr, i:uint):int; // Each loop code; declare k = v:int; "
            "assign i:uint = math1(i:uint, 1:uint):uint; continue}");
  // A slice of references: the low two bits of each stored word are cleared.
  std::string got = each_body("fn f(s: Items[Box]) {\n each s as b {\n }\n}\n");
  EXPECT_NE(got.find("declare b = cast(math16(cast(ptrv(buf(s:Items[Box].data:GcPtr):GcPtr, _:uint):Box):uint, -4:uint):uint):Box"),
            std::string::npos)
      << got;
}

TEST(Each, NextLoop) {
  // Two results and the index; the call's failure leaves the loop.
  EXPECT_EQ(each_body("fn f(r: Range) {\n each r as a, b, i {\n }\n}\n"),
            "// Each statement; // Init each on-values; value r:Range; // Set index to 0; assign i:uint = 0:uint; "
            "each {// Each loop scope; // Load index; value i:uint; // Call each-get; "
            "value copy(cond(cmp7(item2(call _next(r:Range, i:uint):(int, bool, u32, String)):u32, 0:u32):bool, "
            "inline{break}:none):none then (item0(call _next(r:Range, i:uint):(int, bool, u32, String)):int, "
            "item1(call _next(r:Range, i:uint):(int, bool, u32, String)):bool):(int, bool)):(int, bool); "
            "// Set each variable value for: a; declare a = item0(copy(cond(cmp7(item2(call _next(r:Range, "
            "i:uint):(int, bool, u32, String)):u32, 0:u32):bool, inline{break}:none):none then (item0(call _next("
            "r:Range, i:uint):(int, bool, u32, String)):int, item1(call _next(r:Range, i:uint):(int, bool, u32, "
            "String)):bool):(int, bool)):(int, bool)):int; "
            "// Set each variable value for: b; declare b = item1(copy(cond(cmp7(item2(call _next(r:Range, "
            "i:uint):(int, bool, u32, String)):u32, 0:u32):bool, inline{break}:none):none then (item0(call _next("
            "r:Range, i:uint):(int, bool, u32, String)):int, item1(call _next(r:Range, i:uint):(int, bool, u32, "
            "String)):bool):(int, bool)):(int, bool)):bool; // Each loop code; "
            "assign i:uint = math1(i:uint, 1:uint):uint; continue}");
  // _next found on the mode base; a call result is held in a temporary for the loop.
  std::string got = each_body("fn f(d: Derived) {\n each d as v {\n }\n}\n");
  EXPECT_NE(got.find("declare v = copy("), std::string::npos) << got;
  got = each_body("fn f() {\n each mkr() as v {\n }\n}\n");
  EXPECT_NE(got.find("value buf(call mkr():Range):Range"), std::string::npos) << got;
  EXPECT_NE(got.find("call _next(buf(call mkr():Range):Range, _:uint)"), std::string::npos) << got;
}

TEST(Each, NamesAndErrors) {
  const Case cases[] = {
      // One name takes the values; with as many names as values plus one, the last is the index.
      {"fn f(s: Items[int]) {\n each s as v {\n  let k: int = v\n }\n}\n", "ok"},
      {"fn f(s: Items[int]) {\n each s as v, i {\n  let k: uint = i\n }\n}\n", "ok"},
      {"fn f(s: Items[int]) {\n each s as v, i, j {\n }\n}\n", "error: Too many variables for this each statement"},
      {"fn f(r: Range) {\n each r as a, b, i, j {\n }\n}\n", "error: Too many variables for this each statement"},
      {"fn f(r: Range) {\n each r as a {\n  let k: int = a\n }\n}\n", "ok"},
      {"fn f(s: Items[int]) {\n each s as v: let k = v\n}\n", "ok"},
      {"fn f(s: Items[int]) {\n each s as v, v {\n }\n}\n", "error: Duplicate variable name: v"},
      {"fn f(s: Items[int]) {\n each s v {\n }\n}\n", "error: Expected token: 'as', instead of: 'v'"},
      {"fn f(s: Items[int]) {\n each s as 5 {\n }\n}\n",
       "error: Invalid identifier name: '5' | Expected syntax: [a-zA-Z_]"},
      {"fn f(s: Items[int]) {\n each s as v; {\n }\n}\n", "error: Expected token: ',', '{' or ':', instead of: ';'"},
      {"fn f(s: ?Items[int]) {\n each s as v {\n }\n}\n", "error: Cannot use 'each' on type: ?Items[int]"},
      {"fn f(a: int) {\n each a as v {\n }\n}\n",
       "error: Cannot use 'each' on type: 'int'. This type does not have an '_next' function"},
      {"fn f(p: Plain) {\n each p as v {\n }\n}\n",
       "error: Cannot use 'each' on type: 'Plain'. This type does not have an '_next' function"},
      // The loop names are locals of the loop.
      {"fn f(s: Items[int]) {\n each s as v {\n }\n let k = v\n}\n", "error: Unknown identifier: 'v'"},
  };
  for (const Case& c : cases) {
    std::string got = each_body(c.decls);
    if (got.rfind("error: ", 0) != 0) got = "ok";
    EXPECT_EQ(got, c.want) << c.decls;
  }
}

TEST(Each, ContinueAndBreak) {
  std::string got = each_body("fn f(s: Items[int], a: int) {\n each s as v {\n  if a > 1: continue\n  if a > 2: break\n }\n}\n");
  EXPECT_NE(got.find("if cmp11(a:int, 1:int):bool {assign _:uint = math1(_:uint, 1:uint):uint; continue}"),
            std::string::npos)
      << got;
  EXPECT_NE(got.find("if cmp11(a:int, 2:int):bool {break}"), std::string::npos) << got;
}

TEST(Each, NameLocalsAreUsedAndListedOnce) {
  World w({std::string(kIter) + "fn f(s: Items[int], a: int) {\n while a < 2 {\n  each s as v {\n  }\n }\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  std::string names;
  for (Decl* d : r.scope()->decls) {
    names += (names.empty() ? "" : " ") + (d->name.empty() ? "_" : d->name);
    if (d->name == "v") {
      EXPECT_EQ(d->used, 1);
    }
  }
  // The index and the temporary that keeps the data block, each once.
  EXPECT_EQ(names, "s a _ _ v");
}

TEST(Each, NullFactsAfterTheLoop) {
  const char* kNeedsValue = "error: Incompatible types. Passing a '?Box' value to a 'Box' type";
  const Case cases[] = {
      // After a slice loop whose body leaves a local unset, it is nullable (the end
      // test's break at the start of the next iteration records it).
      {"fn f(s: Items[int], x: ?Box) {\n if !isset(x): return\n each s as v {\n  x = null\n }\n"
       " let b: Box = x\n}\n",
       kNeedsValue},
      // Inside the body it is nullable from the start in the kept reading.
      {"fn f(s: Items[int], x: ?Box) {\n if !isset(x): return\n each s as v {\n  let b: Box = x\n  x = null\n }\n}\n",
       kNeedsValue},
      // A body that ends with the local set again keeps the fact after the loop.
      {"fn f(s: Items[int], x: ?Box) {\n if !isset(x): return\n each s as v {\n  x = null\n  x = Box{}\n }\n"
       " let b: Box = x\n}\n",
       "ok"},
      {"fn f(r: Range, x: ?Box) {\n if !isset(x): return\n each r as v {\n  x = null\n  x = Box{}\n }\n"
       " let b: Box = x\n}\n",
       "ok"},
      // A _next loop ends when _next fails at the start of an iteration: what the body
      // left unset is nullable after the loop, as after a slice loop.
      {"fn f(r: Range, x: ?Box) {\n if !isset(x): return\n each r as v {\n  x = null\n }\n let b: Box = x\n}\n",
       kNeedsValue},
      {"fn f(r: Range, x: ?Box, a: int) {\n if !isset(x): return\n each r as v {\n  x = null\n  if a > 1: break\n"
       "  x = Box{}\n }\n let b: Box = x\n}\n",
       kNeedsValue},
  };
  for (const Case& c : cases) {
    std::string got = each_body(c.decls);
    if (got.rfind("error: ", 0) != 0) got = "ok";
    EXPECT_EQ(got, c.want) << c.decls;
  }
}

}  // namespace
}  // namespace tesk::ctltest
