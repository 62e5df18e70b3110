// Compile-time loops inside a function body: the body lines are read once per item,
// with the loop variables rebound; empty lists skip the body without reading it.
#include "fixture.h"

#include <algorithm>

#include "model/scope.h"

namespace tesk::macrotest {
namespace {

const char* kDecls =
    "struct Pair {\n"
    "    a: int\n"
    "    b: u8\n"
    "}\n"
    "class Box {\n"
    "    label: Pair\n"
    "    size: int\n"
    "}\n"
    "class Empty {\n"
    "}\n"
    "struct Triple {\n"
    "    x: int\n"
    "    y: int\n"
    "    z: Pair\n"
    "}\n"
    "global g1 : int\n"
    "global g2 : u8\n"
    "fn first() {\n}\n"
    "fn second() {\n}\n"
    "class Bag {\n"
    "    macro \"[\" repeat(items, V:v optional(\",\"), \"]\") <{\n"
    "        let s = 0\n"
    "        #loop macro_values items as it s = s + it.v\n"
    "        #print_value_type(it.v)\n"
    "        #end\n"
    "        return items.$length\n"
    "    }\n"
    "}\n";

const char* kArgs = "p: Pair, box: Box, e: Empty, t: Triple, n: int, m: u8";

TEST(CompileLoops, PropertiesOfATypeInOrder) {
  World w({kDecls}, kArgs);
  Outcome o = w.statements(
      "#loop properties Pair as P\n"
      "#print_type(P)\n"
      "#print_value_type(P.name)\n"
      "#end\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(printed(o.out), "int | String | u8 | String");
  EXPECT_EQ(w.block->ast.size(), 0u);
}

TEST(CompileLoops, ObjectPropertiesReadFromTheVariable) {
  World w({kDecls}, kArgs);
  Decl* p = w.local("p");
  Decl* e = w.local("e");
  Decl* box = w.local("box");
  // An immutable variable: its class is the immutable variant, whose properties are
  // immutable too.
  box->type = box->type->get_imut();
  p->used = 0;
  e->used = 0;
  Outcome o = w.statements(
      "#loop object p as P\n"
      "#print_value_type(P.value)\n"
      "#end\n"
      "#loop object e as Q\n"
      "#error \"never read\"\n"
      "#end\n"
      "#loop object box as B\n"
      "#print_type(B)\n"
      "#print_value_type(B.value)\n"
      "#end\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(printed(o.out), "int | u8 | imut Pair | imut Pair | int | int");
  EXPECT_EQ(p->used, 1);
  EXPECT_EQ(e->used, 0);
  EXPECT_EQ(box->used, 1);
}

TEST(CompileLoops, ObjectValueIsAPropertyReadOfTheVariable) {
  World w({kDecls}, kArgs);
  Parser* parser = w.parser("#loop object p as P\n");
  Outcome o = run([&] {
    next_token(parser, true, true);
    parse_compile_macro(parser, w.body);
  });
  ASSERT_FALSE(o.failed) << o.out;
  CompileMacroFrame* f = parser->macros;
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->kind, CM_OBJECT);
  ASSERT_EQ(f->properties.size(), 2u);
  Identifier* var = *f->vars.find("P");
  EXPECT_EQ(var, f->loop_var);
  EXPECT_EQ(var->kind, IDENT_VALUE_PROPERTY);
  // The bound identifier is the loop's own, holding the first prepared item.
  EXPECT_NE(var, f->properties[0]);
  EXPECT_EQ(var->prop, f->properties[0]->prop);
  Value* v = var->value;
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->kind, VAL_PROP);
  EXPECT_EQ(v->property->name, "a");
  ASSERT_NE(v->op1, nullptr);
  EXPECT_EQ(v->op1->kind, VAL_DECL);
  EXPECT_EQ(v->op1->decl, w.local("p"));
}

TEST(CompileLoops, TestsInDeclarationOrder) {
  World w({kDecls}, kArgs);
  // Test functions need the runtime's test support; plain functions stand in for them.
  w.b->tests = {(*w.main_ns->scope->identifiers.find("first"))->func,
                (*w.main_ns->scope->identifiers.find("second"))->func};
  Parser* parser = w.parser("#loop tests as T\nn\n#end\n");
  std::vector<Func*> seen;
  Outcome o = run([&] {
    next_token(parser, true, true);
    parse_compile_macro(parser, w.body);
    for (;;) {
      seen.push_back(parser->macros->loop_var->func);
      next_token(parser, true, true);  // the body line
      next_token(parser, true, true);  // "#"
      if (!parser->macros) break;
      parse_compile_macro(parser, w.body);
      if (!parser->macros) break;
    }
  });
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], w.b->tests[0]);
  EXPECT_EQ(seen[1], w.b->tests[1]);
  EXPECT_EQ(parser->macros, nullptr);
  // Reading goes on after the "#end".
  next_token(parser, true, true);
  EXPECT_EQ(parser->kind, TOK_EOF);
}

TEST(CompileLoops, TestsLoopWithoutTestsIsSkipped) {
  World w({kDecls}, kArgs);
  w.b->tests.clear();
  Outcome o = w.statements("#loop tests as T\n#error \"never\" )(\n#end\n#print \"after\"\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(printed(o.out, "# "), "\"after\"");
}

TEST(CompileLoops, GlobalsInUse) {
  World w({kDecls}, kArgs);
  Global* g1 = (*w.main_ns->scope->identifiers.find("g1"))->global;
  Global* g2 = (*w.main_ns->scope->identifiers.find("g2"))->global;
  w.b->used_globals = {g1, g2};
  Outcome o = w.statements(
      "#loop globals G T\n"
      "#print_type(T)\n"
      "#print_value_type(G)\n"
      "#end\n"
      "#loop globals G T\n"
      "#end\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(printed(o.out), "int | int | u8 | u8");
  // The function is listed once, for the later passes of Stage 3.
  EXPECT_EQ(std::count(w.b->loop_globals_funcs.begin(), w.b->loop_globals_funcs.end(), w.func), 1);
}

TEST(CompileLoops, GlobalWithoutTypeEndsTheLoop) {
  World w({kDecls}, kArgs);
  Global* g1 = (*w.main_ns->scope->identifiers.find("g1"))->global;
  Global* g2 = (*w.main_ns->scope->identifiers.find("g2"))->global;
  g2->type = nullptr;
  w.b->used_globals = {g1, g2, g1};
  Outcome o = w.statements("#loop globals G T\n#print_type(T)\n#end\n#print \"after\"\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(printed(o.out, "# "), "Print type: int | \"after\"");

  w.b->used_globals = {g2, g1};
  Outcome first = w.statements("#loop globals G T\n#end\n");
  EXPECT_TRUE(first.failed) << "OUT:" << first.out;
  EXPECT_EQ(first.error, "Missing global type in loop globals (bug)");
}

TEST(CompileLoops, NestedLoopsRepeatFully) {
  World w({kDecls}, kArgs);
  Outcome o = w.statements(
      "#loop properties Pair as P\n"
      "#print_type(P)\n"
      "#loop properties Pair as Q\n"
      "#print_type(Q)\n"
      "#end\n"
      "#end\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(printed(o.out), "int | int | u8 | u8 | int | u8");
}

TEST(CompileLoops, BodyStatementsAreReadPerItem) {
  World w({kDecls}, kArgs);
  Outcome o = w.statements(
      "#loop properties Pair as P\n"
      "n = n + 1\n"
      "#end\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(w.block->ast.size(), 2u);
}

TEST(CompileLoops, ErrorInALaterRepetitionNamesTheBodyLine) {
  World w({kDecls}, kArgs);
  Outcome o = w.statements(
      "#loop object t as P\n"
      "#print_value_type(P.value + 1)\n"
      "#end\n");
  ASSERT_TRUE(o.failed);
  EXPECT_EQ(printed(o.out), "int | int");
  EXPECT_NE(o.out.find("# Line: 2 |"), std::string::npos) << o.out;
}

TEST(CompileLoops, MacroValuesInAClassMacro) {
  World w({kDecls}, kArgs);
  Outcome o;
  Value* v = w.read("Bag[n, m, 3]", &o);
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(valtest::text(v->type), "uint");
  EXPECT_EQ(printed(o.out), "int | u8 | int");
  Outcome empty;
  w.read("Bag[]", &empty);
  ASSERT_FALSE(empty.failed) << empty.out;
  EXPECT_EQ(printed(empty.out), "");
}

TEST(CompileLoops, HeaderErrors) {
  World w({kDecls}, kArgs);
  Global* g1 = (*w.main_ns->scope->identifiers.find("g1"))->global;
  w.b->used_globals = {g1};
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"#loop classes\n#end\n", "loop 'classes' feature under construction"},
      {"#loop things\n#end\n", "Unexpected token: 'things'. Expected tokens after '#loop' are: classes"},
      {"#loop\n#end\n", "Unexpected token: ''. Expected tokens after '#loop' are: classes"},
      {"#loop properties Pair as P extra\n#end\n", "Expected a newline"},
      {"#loop properties Pair P\n#end\n", "Expected token: 'as', instead of: 'P'"},
      {"#loop properties Pair as\n#end\n", "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      {"#loop tests as 1\n#end\n", "Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]"},
      {"#loop tests T\n#end\n", "Expected token: 'as', instead of: 'T'"},
      {"#loop globals G G\n#end\n", "Name already used: G"},
      {"#loop globals G\n#end\n", "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      {"#loop object Pair as P\n#end\n", "Expected a variable as the first argument"},
      {"#loop object nope as P\n#end\n", "Unknown identifier: 'nope'"},
      {"#loop macro_values n as V\n#end\n", "The identifier does not represent a list of macro values"},
      {"#loop properties Empty as P\n", "Missing compile macro '#end' token"},
      {"#loop properties Pair as P\n#print_type(P)\n#end\n#end\n",
       "Unexpected '#end' token. There's no previous #if/#loop to match with"},
  };
  for (const Case& c : cases) EXPECT_EQ(w.statements(c.text).error, c.want) << c.text;
}

TEST(CompileLoops, GlobalsOnlyInsideAFunction) {
  World w({kDecls}, kArgs);
  Parser* p = w.parser("#loop globals G T\n#end\n");
  p->context->func = nullptr;
  Outcome o = run([&] {
    next_token(p, true, true);
    parse_compile_macro(p, w.body);
  });
  EXPECT_EQ(o.error, "You cannot loop globals outside a function");
}

TEST(CompileLoops, EmptyLoopsLeaveNoFrame) {
  World w({kDecls}, kArgs);
  struct Case {
    const char* text;
  } cases[] = {
      {"#loop properties Empty as P\n)(\n#if x\n#loop y\n#end\n#end\n#end\n"},
      {"#loop properties int as P\n)(\n#end\n"},
      {"#loop object e as P\n)(\n#end\n"},
      {"#loop object n as P\n)(\n#end\n"},
  };
  for (const Case& c : cases) {
    Parser* p = w.parser(std::string(c.text) + "after\n");
    Outcome o = run([&] {
      next_token(p, true, true);
      parse_compile_macro(p, w.body);
    });
    ASSERT_FALSE(o.failed) << c.text << o.out;
    EXPECT_EQ(p->macros, nullptr) << c.text;
    next_token(p, true, true);
    EXPECT_EQ(p->token(), "after") << c.text;
  }
}

}  // namespace
}  // namespace tesk::macrotest
