// Macro uses: pattern matching at the use site, bindings, and the body read in place.
#include "fixture.h"

#include "model/scope.h"
#include "util/stack.h"

namespace tesk::macrotest {
namespace {

const char* kMacros =
    "macro twice \"(\" s V:a ws \")\" <{ return a + a }\n"
    "macro pick V:a optional(\",\" V:b) s \";\" <{ return a }\n"
    "macro count repeat(items, V:v \";\", \"end\") <{ return items.$length }\n"
    "macro typed T:t V:a <{ return a }\n"
    "macro small suggest(u8) V:a <{ return a }\n"
    "macro stuck repeat(r, optional(\"x\"), \"end\") { }\n"
    "macro peek \"!\" <{ return n }\n"
    "macro limit_of \"!\" <{ return limit }\n"
    "macro broken \"!\" <{\n"
    "    return nope\n"
    "}\n"
    "macro assign \"(\" V:target \",\" s V:value \")\" { target = value }\n"
    "global limit : int\n"
    "macro again \"!\" <{ return again! }\n";

// The bindings of a map: name=number:type for int constants, name=kind:type for other
// values, name:type for types, name=[...] for repeats (one [...] per repetition, none
// for no repetition).
std::string bindings(IdentifierMap* map) {
  std::string r;
  for (auto& [name, id] : *map) {
    if (!r.empty()) r += ' ';
    r += name;
    if (id->kind == IDENT_VALUE) {
      Value* v = id->value;
      r += "=" + (v->kind == VAL_INT ? std::to_string(v->number) : "kind" + std::to_string(v->kind)) + ":" +
           valtest::text(v->type);
    } else if (id->kind == IDENT_TYPE) {
      r += ":" + valtest::text(id->type);
    } else if (id->kind == IDENT_REPEAT) {
      r += "=";
      if (id->repeat->empty()) r += "none";
      for (IdentifierMap* each : *id->repeat) r += "[" + bindings(each) + "]";
    } else {
      r += "?kind" + std::to_string(id->kind);
    }
  }
  return r;
}

// Matches the macro's pattern over the text: its bindings and the next token after the
// match, or "error: " and the message.
std::string match(World& w, std::string_view name, const std::string& text) {
  Macro* m = w.macro(name);
  if (!m) return "no macro " + std::string(name);
  Parser* p = w.parser(text + "\n");
  auto* map = w.b->make<IdentifierMap>();
  Outcome o = run([&] { match_macro_pattern(p, w.body, m->pattern, map); });
  if (o.failed) return "error: " + o.error;
  next_token(p, true, true);
  return bindings(map) + " next=" + std::string(p->token());
}

TEST(MacroMatch, PatternsAtTheUseSite) {
  World w({kMacros}, "n: int");
  struct Case {
    const char* macro;
    const char* text;
    const char* want;
  } cases[] = {
      {"twice", "(3) rest", "a=3:int next=rest"},
      // Blanks and newlines before the value belong to the value reader.
      {"twice", "(  3 \n ) rest", "a=3:int next=rest"},
      {"twice", " (3)", "error: Expected token: '(', instead of: ''"},
      {"twice", "(3 ;", "error: Expected token: ')', instead of: ';'"},
      {"pick", "1,2; rest", "a=1:int b=2:int next=rest"},
      {"pick", "1 ; rest", "a=1:int next=rest"},
      // A blank before the comma: the optional matches nothing.
      {"pick", "1 ,2;", "error: Expected token: ';', instead of: ','"},
      {"count", "1; n; end rest", "items=[v=1:int][v=kind2:int] next=rest"},
      {"count", "end rest", "items=none next=rest"},
      {"count", "1; 2;", "error: Unexpected end of code"},
      {"count", "1 ; end", "error: Expected token: ';', instead of: ''"},
      {"typed", "u8 5 rest", "t:u8 a=5:int next=rest"},
      {"small", "7 rest", "a=7:u8 next=rest"},
      // A repetition that reads nothing would repeat forever.
      {"stuck", "x end rest", "r=[] next=rest"},
      {"stuck", "1 end", "error: Expected token: 'end', instead of: '1'"},
      // The optional's token must follow directly, also in later repetitions.
      {"stuck", "x x end", "error: Expected token: 'end', instead of: 'x'"},
  };
  for (const Case& c : cases) EXPECT_EQ(match(w, c.macro, c.text), c.want) << c.macro << " " << c.text;
}

TEST(MacroMatch, SuggestLeavesTheHintSet) {
  World w({kMacros});
  Parser* p = w.parser("7\n");
  auto* map = w.b->make<IdentifierMap>();
  Outcome o = run([&] { match_macro_pattern(p, w.body, w.macro("small")->pattern, map); });
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_NE(p->type_hint, nullptr);
  EXPECT_EQ(p->type_hint->to_text(), "u8");
}

TEST(MacroMatch, BrokenPatternsAreBugs) {
  World w({kMacros});
  struct Case {
    u64 kind;
    bool with_items;
    const char* want;
  } cases[] = {
      {MACRO_SEQUENCE, false, "Missing macro pattern parts (bug)"},
      {MACRO_OPTIONAL, false, "Missing macro pattern parts for 'optional' (bug)"},
      {MACRO_OPTIONAL, true, "First macro pattern for 'optional' not found (bug)"},
      {MACRO_REPEAT, false, "Missing macro pattern parts for 'repeat' (bug)"},
      {77, false, "Unhandled macro pattern type (bug)"},
  };
  for (const Case& c : cases) {
    MacroPatternItem* item = w.b->make<MacroPatternItem>();
    item->kind = c.kind;
    if (c.with_items) item->items = w.b->make<std::vector<MacroPatternItem*>>();
    Parser* p = w.parser("x\n");
    auto* map = w.b->make<IdentifierMap>();
    Outcome o = run([&] { match_macro_pattern(p, w.body, item, map); });
    EXPECT_EQ(o.error, c.want) << c.kind;
  }
}

TEST(MacroExpand, ValueMacros) {
  World w({kMacros}, "n: int");
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"twice(n)", "int"},
      {"count 1; 2; 3; end", "uint"},
      {"small 7", "u8"},
      // The body sees the declaring file, not the use site's locals.
      {"limit_of!", "int"},
  };
  for (const Case& c : cases) {
    Value* v = w.read(c.text);
    ASSERT_NE(v, nullptr) << c.text;
    EXPECT_EQ(v->kind, VAL_VALUE_SCOPE) << c.text;
    EXPECT_EQ(valtest::text(v->type), c.want) << c.text;
  }
}

TEST(MacroExpand, HygieneErrorNamesTheMacroBody) {
  World w({kMacros}, "n: int");
  Outcome o;
  w.read("peek!", &o);
  ASSERT_TRUE(o.failed);
  EXPECT_EQ(o.error, "Unknown identifier: 'n'") << o.out;
  // The error is reported inside the macro body, on its own line.
  Outcome bad;
  w.read("broken!", &bad);
  ASSERT_TRUE(bad.failed);
  EXPECT_NE(bad.out.find("# Line: 10 |"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("return nope"), std::string::npos) << bad.out;
}

TEST(MacroExpand, StatementMacroIsAVoidInlineScope) {
  World w({kMacros}, "n: int");
  Outcome o;
  Value* v = w.read("assign(n, 4)", &o);
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->kind, VAL_INLINE_SCOPE);
  EXPECT_EQ(valtest::text(v->type), "void");
  ASSERT_NE(v->scope, nullptr);
  EXPECT_EQ(v->scope->ast.size(), 1u);
  // The statement scope sits in the expansion scope, whose outer scope is the macro's.
  ASSERT_NE(v->scope->parent, nullptr);
  EXPECT_EQ(v->scope->parent->outer, w.macro("assign")->scope);
  EXPECT_EQ(v->scope->parent->parent, w.body);
  EXPECT_TRUE(v->scope->parent->identifiers.contains("target"));
}

TEST(MacroExpand, SelfUseStopsWithAnError) {
  World w({kMacros});
  Outcome o;
  // The depth of a real compile: the front end's thread, not the test's own stack.
  run_with_stack(kFrontEndStackBytes, [&] { w.read("again!", &o); });
  ASSERT_TRUE(o.failed);
  EXPECT_EQ(o.error, "Nesting too deep (more than 1000 levels)");
  // The depth is given back on the way out: a later use expands normally.
  EXPECT_EQ(valtest::text(w.read("twice(2)")->type), "int");
}

TEST(MacroExpand, MissingBodyIsABug) {
  World w({kMacros});
  Macro m = *w.macro("twice");
  m.body = nullptr;
  Parser* p = w.parser("(1)\n");
  Outcome o = run([&] { expand_macro(p, w.body, &m); });
  EXPECT_EQ(o.error, "Missing macro content position (bug)");
}

}  // namespace
}  // namespace tesk::macrotest
