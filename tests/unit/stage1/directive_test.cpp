// Compile-time directives at the top level of a file, and inside scopes that Stage 1
// skips without parsing them.
#include <gtest/gtest.h>

#include <string>

#include "fixture.h"
#include "model/types.h"

namespace tesk::s1test {
namespace {

// The names that a scan declared, in order, joined by blanks.
std::string declared(World& w) {
  std::string r;
  for (auto& [name, id] : w.main_ns->scope->identifiers) {
    if (!r.empty()) r += ' ';
    r += name;
  }
  return r;
}

struct BranchCase {
  const char* text;
  const char* declared;
};

TEST(Directives, BranchSelection) {
  const BranchCase cases[] = {
      {"#if T\nfn a(){}\n#elif T\nfn b(){}\n#else\nfn c(){}\n#end\n", "a"},
      {"#if F\nfn a(){}\n#elif T\nfn b(){}\n#else\nfn c(){}\n#end\n", "b"},
      {"#if F\nfn a(){}\n#elif F\nfn b(){}\n#else\nfn c(){}\n#end\n", "c"},
      {"#if F\nfn a(){}\n#elif F\nfn b(){}\n#elif T\nfn c(){}\n#elif T\nfn d(){}\n#end\n", "c"},
      {"#if T\nfn a(){}\n#end\nfn z(){}\n", "a z"},
      {"#if F\nfn a(){}\n#end\nfn z(){}\n", "z"},
      // A skipped branch passes over nested blocks whole, their #else and #end included.
      {"#if F\n#if T\nfn a(){}\n#else\nfn b(){}\n#end\n#loop tests as x\n#end\n#else\nfn c(){}\n#end\n", "c"},
      {"#if T\n#if F\nfn a(){}\n#else\nfn b(){}\n#end\n#end\n", "b"},
      // A skipped branch may hold anything, even text that is no valid declaration.
      {"#if F\n} ] ) 'x' @@@ $ %\n#end\nfn z(){}\n", "z"},
      // The #elif of a taken #if is never evaluated.
      {"#if T\nfn a(){}\n#elif UNKNOWN\nfn b(){}\n#end\n", "a"},
      {"fn a(){} ; ; fn b(){}\n", "a b"},
  };
  for (const BranchCase& c : cases) {
    World w;
    w.b->defines.set("T", "1");
    w.b->defines.set("F", "0");
    Outcome o = w.scan(c.text);
    EXPECT_FALSE(o.failed) << c.text << o.out;
    EXPECT_EQ(declared(w), c.declared) << c.text;
  }
}

struct ErrorCase {
  const char* text;
  const char* error;
};

TEST(Directives, Errors) {
  const ErrorCase cases[] = {
      {"# if T\n#end\n", "Unexpected token: ''"},
      {"#iff T\n#end\n", "Unexpected token: 'iff'"},
      {"#else\n", "Unexpected '#else' token. There's no previous #if to match with"},
      {"#elif T\n", "Unexpected '#elif' token. There's no previous #if to match with"},
      {"#end\n", "Unexpected '#end' token. There's no previous #if/#loop to match with"},
      {"#if T\nfn a(){}\n", "Missing compile macro '#end' token"},
      {"#if F\nfn a(){}\n", "Missing compile macro '#end' token"},
      {"#if T\n@stop\n#end\n", "Missing compile macro '#end' token"},
      // After #else no other branch may follow: with a false #if both would be read.
      {"#if F\n#else\nfn a(){}\n#else\nfn b(){}\n#end\n", "Unexpected '#else' token. The #if already has an #else branch"},
      {"#if F\n#else\nfn a(){}\n#elif T\nfn b(){}\n#end\n",
       "Unexpected '#elif' token. The #if already has an #else branch"},
      {"#if T\nfn a(){}\n#else\n#else\n#end\n", "Unexpected '#else' token. The #if already has an #else branch"},
      {"#if T\n#error \"unsupported \\\"x\\\"\"\n#end\n", "# Compile error: \"unsupported \\\"x\\\"\""},
      {"#error unsupported\n", "Expected a string between doubles quotes, found: 'unsupported'"},
      {"#print\n\"x\"\n", "Expected a string between doubles quotes, found: ''"},
      {"fn a(){} #if T\n#end\n", "Unexpected token: '#'"},
      {"#loop classes\n#end\n", "loop 'classes' feature under construction"},
      {"#loop things\n#end\n", "Unexpected token: 'things'. Expected tokens after '#loop' are: classes"},
      {"#print_type (x)\n", "Expected token: '(', instead of: ''"},
      {"#print_type(nothing)\n", "Unknown identifier: 'nothing'"},
      {"#print_value_type (x)\n", "Expected token: '(', instead of: ''"},
      {"fn f(){}\n#print_type(f)\n", "Cannot determine type for: f"},
  };
  for (const ErrorCase& c : cases) {
    World w;
    w.b->defines.set("T", "1");
    w.b->defines.set("F", "0");
    Outcome o = w.scan(c.text);
    EXPECT_TRUE(o.failed) << c.text;
    EXPECT_EQ(o.error, c.error) << c.text;
  }
}

TEST(Directives, PrintAndError) {
  World w;
  w.b->defines.set("F", "0");
  Outcome o = w.scan(
      "#print \"a\\tb \\\"q\\\"\"\n"
      "#if F\n#print \"skipped\"\n#error \"skipped\"\n#else\n#print \"taken\"\n#end\n");
  EXPECT_FALSE(o.failed) << o.out;
  // The literal is printed as written, quotes and escapes included.
  EXPECT_EQ(o.out, "# \"a\\tb \\\"q\\\"\"\n# \"taken\"\n");

  // A language-server build prints nothing. (The context is only tested for presence.)
  World quiet;
  quiet.b->lsp = reinterpret_cast<LspContext*>(quiet.b);
  Outcome q = quiet.scan("#print \"x\"\n");
  EXPECT_FALSE(q.failed);
  EXPECT_EQ(q.out, "");
}

TEST(Directives, PrintType) {
  World w;
  w.main_ns->scope->identifiers.set("Nothing", new_identifier_type(w.b, void_type(w.b)));
  Property prop;
  prop.name = "p";
  prop.type = void_type(w.b);
  w.main_ns->scope->identifiers.set("prop", new_identifier_property(w.b, &prop));
  SourceFile* f = w.file("\n#print_type(Nothing)\n#print_type( prop )\n");
  Outcome o = run([f] { stage_1_file(f); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(o.out, "# Print type: void (File: " + f->path + " | Line: 2)\n# Print type: void (File: " + f->path +
                       " | Line: 3)\n");
  World e;
  e.main_ns->scope->identifiers.set("bare", new_identifier_property(e.b, nullptr));
  EXPECT_EQ(e.scan("#print_type(bare)").error, "Missing property info in identifier (BUG)");
  World m;
  m.main_ns->scope->identifiers.set("Nothing", new_identifier_type(m.b, void_type(m.b)));
  EXPECT_EQ(m.scan("#print_type(Nothing\n)").error, "Expected token: ')', instead of: ''");
}

// Function and class bodies are skipped unparsed: only the #else branches count for
// the brackets, and directives inside them are not evaluated.
TEST(Directives, SkippedScopes) {
  World w;
  Outcome o = w.scan(
      "fn a() {\n"
      "#if UNDEFINED_NAME\n"
      "  if x {\n"
      "#else\n"
      "  if y {\n"
      "#end\n"
      "  }\n"
      "}\n"
      "fn b() {\n"
      "#if X\n"
      "  while z {\n"
      "#end\n"
      "}\n"
      "class C {\n"
      "#if A\n#elif B\n  }}}\n#else\n  x: int\n#end\n"
      "}\n");
  EXPECT_FALSE(o.failed) << o.out;
  EXPECT_EQ(declared(w), "a b C");

  World e;
  Outcome bad = e.scan("fn a() {\n#else\n}\n");
  EXPECT_EQ(bad.error, "Unexpected '#else' token. There's no previous #if to match with");
  World e2;
  bad = e2.scan("fn a() {\n#end\n}\n");
  EXPECT_EQ(bad.error, "Unexpected '#end' token. There's no previous #if to match with");
  World e3;
  bad = e3.scan("fn a() {\n#if X\n}\n");
  EXPECT_EQ(bad.error, "Missing compile macro '#end' token");
}

}  // namespace
}  // namespace tesk::s1test
