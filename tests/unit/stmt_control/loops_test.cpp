// if chains, while loops, break and continue: the nodes, the nulling of GC locals, the
// two readings of loop bodies and the null facts carried between scopes.
#include "fixture.h"

namespace tesk::ctltest {
namespace {

const char* kBox = "class Box {\n}\nfn mk() Box {\n return Box{}\n}\n";

std::string with_box(const char* f) { return std::string(kBox) + f; }

TEST(Loops, Shapes) {
  const Case cases[] = {
      // else if lands in the else scope; ":" bodies are one statement.
      {"fn f(a: int) {\n if a > 1 {\n  a = 2\n } else if a < 0 {\n  a = 3\n } else: a = 4\n}\n",
       "if cmp11(a:int, 1:int):bool {assign a:int = 2:int} else {if cmp9(a:int, 0:int):bool {assign a:int = 3:int} "
       "else {assign a:int = 4:int}}"},
      // Without else the else scope is empty; "else" may stand on the next line.
      {"fn f(a: int) {\n if a > 1: a = 2\n}\n", "if cmp11(a:int, 1:int):bool {assign a:int = 2:int} else {}"},
      {"fn f(a: int) {\n if a > 1 {\n  a = 2\n }\n else {\n  a = 3\n }\n}\n",
       "if cmp11(a:int, 1:int):bool {assign a:int = 2:int} else {assign a:int = 3:int}"},
      // A body without continue ends with the implicit one.
      {"fn f(a: int) {\n while a < 3 {\n  a += 1\n }\n}\n",
       "while cmp9(a:int, 3:int):bool {assign a:int = math1(a:int, 1:int):int; continue}"},
      {"fn f(a: int) {\n while a < 3: a += 1\n}\n",
       "while cmp9(a:int, 3:int):bool {assign a:int = math1(a:int, 1:int):int; continue}"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_of(c.decls), c.want) << c.decls;
}

TEST(Loops, BreakAndContinueNullTheLoopsReferences) {
  // break nulls the references declared before it (also those of other branches), not
  // those declared after it nor those of a nested loop; every iteration ends with the
  // nulling of all of them.
  std::string got = body_of(with_box(
      "fn f(a: int) {\n while a < 3 {\n  let x = mk()\n  let n = 1\n  if a == 1 {\n   let w = mk()\n  }\n"
      "  if a == 2: break\n  while a > 5 {\n   let z = mk()\n  }\n  let y = mk()\n  if a == 3 {\n   continue\n  }\n"
      " }\n}\n"));
  const char* want =
      "while cmp9(a:int, 3:int):bool {declare x = call mk():Box; declare n = 1:int; "
      "if cmp6(a:int, 1:int):bool {declare w = call mk():Box} else {}; "
      "if cmp6(a:int, 2:int):bool {assign x:Box = null:?Box; assign w:Box = null:?Box; break} else {}; "
      "while cmp11(a:int, 5:int):bool {declare z = call mk():Box; assign z:Box = null:?Box; continue}; "
      "declare y = call mk():Box; "
      "if cmp6(a:int, 3:int):bool {assign x:Box = null:?Box; assign w:Box = null:?Box; assign y:Box = null:?Box; "
      "continue} else {}; "
      "assign x:Box = null:?Box; assign w:Box = null:?Box; assign y:Box = null:?Box; continue}";
  EXPECT_EQ(got, want);
}

TEST(Loops, Errors) {
  const Case cases[] = {
      {"fn f(a: int) {\n if a {\n }\n}\n", "error: The if condition value must be of type bool, not: int"},
      {"fn f(a: int) {\n while a {\n }\n}\n", "error: The while condition value must be of type bool, not: int"},
      {"fn f(a: int) {\n if a > 1 a = 2\n}\n", "error: Expected token: '{' or ':', instead of: 'a'"},
      {"fn f(a: int) {\n if a > 1 {\n } else a = 2\n}\n", "error: Expected token: '{' or ':', instead of: 'a'"},
      {"fn f(a: int) {\n while a > 1 a = 2\n}\n", "error: Expected token: '{' or ':', instead of: 'a'"},
      {"fn f() {\n break\n}\n", "error: Using 'break' without being inside a loop"},
      {"fn f(a: int) {\n if a > 1 {\n  continue\n }\n}\n", "error: Using 'continue' without being inside a loop"},
      // Both branches return, but the if does not count as leaving the function body.
      {"fn f(a: int) int {\n if a > 1 {\n  return 1\n } else {\n  return 2\n }\n}\n",
       "error: Missing 'return' statement"},
  };
  for (const Case& c : cases) EXPECT_EQ(body_of(c.decls), c.want) << c.decls;
}

// "ok" when the body reads, else the error: `let b: Box = x` needs x known to hold a value.
TEST(Loops, NullFacts) {
  const char* kNeedsValue = "error: Incompatible types. Passing a '?Box' value to a 'Box' type";
  const Case cases[] = {
      // The true facts hold in the then branch only.
      {"fn f(x: ?Box) {\n if isset(x) {\n  let b: Box = x\n }\n}\n", "ok"},
      {"fn f(x: ?Box) {\n if isset(x) {\n }\n let b: Box = x\n}\n", kNeedsValue},
      // A then branch that leaves: the false facts hold after the if.
      {"fn f(x: ?Box) {\n if !isset(x) {\n  return\n }\n let b: Box = x\n}\n", "ok"},
      {"fn f(x: ?Box) {\n if !isset(x) {\n  return\n } else {\n }\n let b: Box = x\n}\n", "ok"},
      // An else that leaves does not carry the true facts.
      {"fn f(x: ?Box) {\n if isset(x) {\n } else {\n  return\n }\n let b: Box = x\n}\n", kNeedsValue},
      // Without else: a false fact the then branch ends with holds after the if.
      {"fn f(x: ?Box) {\n if !isset(x) {\n  x = mk()\n }\n let b: Box = x\n}\n", "ok"},
      // With else: what both branches end with holds.
      {"fn f(x: ?Box, a: int) {\n if a > 1 {\n  x = mk()\n } else {\n  x = mk()\n }\n let b: Box = x\n}\n", "ok"},
      {"fn f(x: ?Box, a: int) {\n if a > 1 {\n  x = mk()\n } else {\n }\n let b: Box = x\n}\n", kNeedsValue},
      // A branch that stores null unsets the fact after the if.
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n if a > 1 {\n  x = null\n }\n let b: Box = x\n}\n",
       kNeedsValue},
      // A loop body that stores null: nullable from its first statement on, and after it.
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  let b: Box = x\n  x = null\n }\n}\n",
       kNeedsValue},
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  x = null\n  x = mk()\n }\n"
       " let b: Box = x\n}\n",
       "ok"},
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  if a > 1: x = null\n }\n"
       " let b: Box = x\n}\n",
       kNeedsValue},
      // Non-null stores keep the fact in the body and after the loop.
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  let b: Box = x\n  x = mk()\n }\n"
       " let c: Box = x\n}\n",
       "ok"},
      // The condition's false facts hold after the loop, also with a break in it.
      {"fn f(x: ?Box, a: int) {\n while !isset(x) {\n  if a > 1: break\n  x = mk()\n }\n let b: Box = x\n}\n",
       "ok"},
      // ... unless a local was unset between the break and the loop.
      {"fn f(x: ?Box, y: ?Box, a: int) {\n if !isset(y): return\n while !isset(x) {\n  y = null\n"
       "  if a > 1: break\n  x = mk()\n  y = mk()\n }\n let b: Box = y\n}\n",
       kNeedsValue},
      // The condition's true facts hold in the body.
      {"fn f(x: ?Box) {\n while isset(x) {\n  let b: Box = x\n  x = null\n }\n}\n", "ok"},
  };
  for (const Case& c : cases) {
    std::string got = body_of(std::string(kBox) + c.decls);
    if (got.rfind("error: ", 0) != 0) got = "ok";
    EXPECT_EQ(got, c.want) << c.decls;
  }
}

TEST(Loops, LoopLocalsAreListedOnce) {
  World w({std::string(kBox) +
           "fn f(a: int) {\n let top = 1\n while a < 3 {\n  let x = mk()\n  while a < 2 {\n   let y = mk()\n"
           "   while a < 1 {\n    let z = 1\n   }\n  }\n }\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  std::string names;
  for (Decl* d : r.scope()->decls) names += (names.empty() ? "" : " ") + (d->name.empty() ? "_" : d->name);
  EXPECT_EQ(names, "a top x y z");
  // The locals of the kept reading are the ones the nodes use.
  AstNode* loop = r.scope()->ast[1];
  ASSERT_EQ(loop->kind, AST_WHILE);
  EXPECT_EQ(loop->scope->decls.size(), 1u);
  EXPECT_EQ(loop->scope->decls[0], r.scope()->decls[2]);
}

// `depth` while loops, each inside the one before, each declaring a local.
std::string nested_whiles(int depth) {
  std::string src = "fn f(a: int) {\n";
  for (int k = 0; k < depth; k++) src += " while a < " + std::to_string(k) + " {\n  let x" + std::to_string(k) + " = 1\n";
  for (int k = 0; k < depth; k++) src += " }\n";
  return src + "}\n";
}

TEST(Loops, NestedLoopsAreNotReadTwicePerLevel) {
  // Read twice per level, twenty loops would pass about 2^20 times as many lines as two.
  u64 parsed[2] = {};
  const int depths[2] = {10, 20};
  for (int i = 0; i < 2; i++) {
    World w({nested_whiles(depths[i])});
    u64 before = w.b->loc_parsed;
    Body r = w.read_body("f");
    ASSERT_FALSE(r.out.failed) << r.out.out;
    parsed[i] = w.b->loc_parsed - before;
    EXPECT_EQ(r.scope()->decls.size(), size_t(depths[i]) + 1);
  }
  EXPECT_LT(parsed[1], 8 * parsed[0]) << parsed[0] << " then " << parsed[1];
}

// Locals are numbered in reading order, dropped readings included, and temporaries are
// reused: a nested loop's second reading that is not read again still counts.
TEST(Loops, NestedLoopNamesCountEveryReading) {
  World w({"fn g(s: String) {\n}\n"
           "fn f(a: int) {\n while a < 4 {\n  while a < 3 {\n   let x = 1\n   while a < 2 {\n    let y = 2\n"
           "    g(\"p\" + \"q\")\n   }\n  }\n }\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  std::string names;
  for (Decl* d : r.scope()->decls) names += (names.empty() ? "" : " ") + d->ir_name;
  // a: 0. The outermost loop's first reading reads the middle loop twice, each time
  // with both readings of the inner loop: x, y, the temporary, y, the temporary, then
  // again: 1 to 10. Its second reading: the middle loop's first reading, x and the
  // inner loop twice, 11 to 15; its second reading x 16, y 17, 18, then the kept inner
  // reading: y 19, the temporary 20.
  EXPECT_EQ(names, "%arg.a.0 %buf._.20 %var.x.16 %var.y.19");
}

// The facts a nested loop carries out are the same whether its second reading is read
// or not needed: a local unset in an inner loop is nullable after the outer one.
TEST(Loops, NestedLoopFacts) {
  const char* kNeedsValue = "error: Incompatible types. Passing a '?Box' value to a 'Box' type";
  const Case cases[] = {
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  while a < 2 {\n   while a < 1 {\n"
       "    x = null\n   }\n  }\n }\n let b: Box = x\n}\n",
       kNeedsValue},
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  while a < 2 {\n   let b: Box = x\n"
       "   while a < 1 {\n    x = null\n   }\n  }\n }\n}\n",
       kNeedsValue},
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  while a < 2 {\n   while a < 1 {\n"
       "    x = null\n    x = mk()\n   }\n  }\n }\n let b: Box = x\n}\n",
       "ok"},
      // Unset in the innermost loop between a break and it.
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  while a < 2 {\n   while a < 1 {\n"
       "    x = null\n    if a > 0: break\n    x = mk()\n   }\n   let b: Box = x\n  }\n }\n}\n",
       kNeedsValue},
      {"fn f(x: ?Box, a: int) {\n while a < 3 {\n  while a < 2 {\n   while !isset(x) {\n    x = mk()\n   }\n"
       "   let b: Box = x\n  }\n }\n}\n",
       "ok"},
  };
  for (const Case& c : cases) {
    std::string got = body_of(std::string(kBox) + c.decls);
    if (got.rfind("error: ", 0) != 0) got = "ok";
    EXPECT_EQ(got, c.want) << c.decls;
  }
}

// A function's statements and its locals as the IR names them, after reading it with or
// without replaying nested loops' second readings; and the lines the reading passed.
std::pair<std::string, u64> reading_of(const std::string& decls, bool reread) {
  World w({std::string(kBox) + "slice Items[T] {\n}\nfn show(a: Box, k: int, b: Box) {\n}\nfn g(s: String) {\n}\n" +
           decls});
  w.b->reread_loops = reread;
  u64 before = w.b->loc_parsed;
  Body r = w.read_body("f");
  if (r.out.failed) return {"error: " + r.out.error, 0};
  std::string s = cdump(r.scope()->ast);
  for (Decl* d : r.scope()->decls) s += " " + d->ir_name + ":" + d->type->to_text();
  return {s, w.b->loc_parsed - before};
}

TEST(Loops, ReplayedReadingsLeaveWhatReadingWould) {
  struct ReplayCase {
    const char* decls;
    bool replays;  // some second reading is replayed, so fewer lines are read
  };
  const ReplayCase cases[] = {
      // Temporaries taken in nested loops at several depths.
      {"fn f(a: int) {\n while a < 4 {\n  g(\"a\" + \"b\")\n  while a < 3 {\n   let x = mk()\n   while a < 2 {\n"
       "    g(\"p\" + \"q\")\n    let y = 2\n    g(\"r\" + \"s\")\n    a += 1\n   }\n  }\n }\n}\n",
       true},
      // Fresh temporaries: a local passed before a value scope that may assign it.
      {"fn f(a: int) {\n let x = mk()\n while a < 4 {\n  while a < 3 {\n   while a < 2 {\n"
       "    show(x, <{\n     x = mk()\n     return 1\n    }, x)\n    a += 1\n   }\n  }\n }\n}\n",
       true},
      // each and while mixed, with break and continue.
      {"fn f(s: Items[int], a: int) {\n while a < 4 {\n  each s as v {\n   while a < 2 {\n    if v > 1: break\n"
       "    g(\"p\" + \"q\")\n    continue\n   }\n   each s as w, i {\n    let z = w + v\n   }\n  }\n }\n}\n",
       true},
      // An inner loop that unsets a local is read twice, the ones around it are not.
      {"fn f(x: ?Box, a: int) {\n while a < 4 {\n  while a < 3 {\n   g(\"p\" + \"q\")\n   while a < 2 {\n"
       "    x = null\n    g(\"r\" + \"s\")\n   }\n   a += 1\n  }\n }\n}\n",
       true},
      // A body whose last statement leaves temporaries to clear after the loop is read
      // again.
      {"fn f(a: int) {\n while a < 4 {\n  while a < 3 {\n   g(\"p\" + \"q\")\n  }\n }\n}\n", false},
  };
  for (const ReplayCase& c : cases) {
    auto [replayed, replayed_lines] = reading_of(c.decls, false);
    auto [read, read_lines] = reading_of(c.decls, true);
    ASSERT_EQ(replayed.rfind("error: ", 0), std::string::npos) << replayed;
    EXPECT_EQ(replayed, read) << c.decls;
    if (c.replays) EXPECT_LT(replayed_lines, read_lines) << c.decls;
    else EXPECT_EQ(replayed_lines, read_lines) << c.decls;
  }
}

// A loop outside any dropped reading keeps its first reading when a second one would
// make the same: same statements, same local names and numbers, same list of locals in
// the same order, same errors. Where the first reading depended on being one, or left
// locals to unset at the next iteration, the loop is read again.
TEST(Loops, KeptFirstReadingsLeaveWhatReadingWould) {
  struct KeepCase {
    const char* decls;
    bool kept;  // some first reading is kept: fewer lines are read than with every loop read twice
  };
  const KeepCase cases[] = {
      // Locals, temporaries reused from before the loop and new ones, numbered after them.
      {"fn f(a: int) {\n g(\"a\" + \"b\")\n let s = mk()\n while a < 4 {\n  let x = a * 2\n"
       "  g(\"p\" + \"q\")\n  let y = mk()\n  show(y, x, s)\n  a += 1\n }\n let z = 1\n}\n",
       true},
      // Temporaries first taken in the loop, and a break.
      {"fn f(a: int) {\n while a < 4 {\n  let x = mk()\n  if a > 2: break\n  show(x, a, mk())\n  a += 1\n }\n"
       " let z = mk()\n}\n",
       true},
      // each over a slice, with an index and a continue.
      {"fn f(s: Items[int], a: int) {\n each s as v, i {\n  if v > 1: continue\n  let z = v + a\n  a = z\n }\n"
       " let y = 2\n}\n",
       true},
      // Two loops in a row, the second one reusing what the first left.
      {"fn f(s: Items[int], a: int) {\n while a < 2 {\n  let x = mk()\n  a += 1\n }\n each s as v {\n"
       "  let x = mk()\n  show(x, v, x)\n }\n}\n",
       true},
      // A store that ends with a value keeps the local's fact for the next iteration.
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  let b: Box = x\n  x = null\n"
       "  x = mk()\n }\n}\n",
       true},
      // A local that may be null at the next iteration: read again, where it is nullable
      // from the first statement on (and a use that needs a value is an error).
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  let b: ?Box = x\n  x = null\n }\n}\n",
       false},
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  show(x, a, x)\n  x = null\n }\n}\n",
       false},
      // isset of a local that is known to hold a value is an error, also in a loop.
      {"fn f(x: ?Box, a: int) {\n if !isset(x): return\n while a < 3 {\n  if isset(x): a += 1\n }\n}\n", false},
      // A nested loop reads differently in a first reading: the outer loop is read again,
      // the inner one is kept in that second reading.
      {"fn f(a: int) {\n while a < 4 {\n  let x = mk()\n  while a < 2 {\n   let y = mk()\n   a += 1\n  }\n"
       "  a += 1\n }\n}\n",
       true},
  };
  for (const KeepCase& c : cases) {
    auto [kept, kept_lines] = reading_of(c.decls, false);
    auto [read, read_lines] = reading_of(c.decls, true);
    EXPECT_EQ(kept, read) << c.decls;
    if (c.kept) EXPECT_LT(kept_lines, read_lines) << c.decls;
    else EXPECT_EQ(kept_lines, read_lines) << c.decls;
  }
}

TEST(Loops, ContinueInFirstReadingRecordsUnsetLocals) {
  World w({std::string(kBox) + "fn f(x: ?Box, a: int) {\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  Decl* x = (*r.scope()->identifiers.find("x"))->decl;
  Outcome o = run([&] {
    Scope* loop = new_scope(r.scope(), SCOPE_LOOP);
    Scope* inner = new_scope(loop, SCOPE_BINDING);
    inner->set_maybe_null(x);
    loop->set_maybe_null(x);
    Parser* p = new_parser(r.func->body_chunk, nullptr);
    p->context->func = r.func;
    p->context->unit = r.func->unit;
    // Outside a first reading nothing is recorded.
    read_continue(p, inner);
    EXPECT_TRUE(loop->continue_maybe_null.empty());
    inner->did_exit = 0;
    p->in_loop = 1;
    read_continue(p, inner);
    // Once per walk, although both scopes list it.
    EXPECT_EQ(loop->continue_maybe_null.size(), 1u);
    read_break(p->context, inner);
    EXPECT_EQ(loop->break_maybe_null.size(), 1u);
  });
  EXPECT_FALSE(o.failed) << o.out;
}

}  // namespace
}  // namespace tesk::ctltest
