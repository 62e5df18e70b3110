// Conditions of #if: variables, comparisons, negation, the right-grouping operators and
// the condition functions that need no type reader.
#include <gtest/gtest.h>

#include "fixture.h"
#include "model/scope.h"
#include "source/compile_condition.h"
#include "source/parser.h"

namespace tesk::s1test {
namespace {

struct Case {
  const char* condition;
  const char* expected;  // "1", "0" or the parse error's message
};

std::string eval(World& w, const std::string& text, Scope* scope = nullptr) {
  SourceFile* f = w.file(text + "\nrest");
  if (!scope) scope = f->scope;
  bool value = false;
  Outcome o = run([&] { value = eval_compile_condition(new_parser(f->chunk, nullptr), scope); });
  if (o.failed) return o.error;
  return value ? "1" : "0";
}

TEST(CompileCondition, TruthTable) {
  World w;
  w.b->defines.set("OS", "win");
  w.b->defines.set("ZERO", "0");
  w.b->defines.set("EMPTY", "");
  w.b->defines.set("T", "1");
  w.b->defines.set("F", "0");
  const Case cases[] = {
      {"OS == win", "1"},
      {"OS != win", "0"},
      {"OS", "1"},
      {"OS == linux", "0"},
      {"ZERO", "0"},
      {"ZERO == 0", "1"},
      {"EMPTY", "1"},
      {"T && T", "1"},
      {"T && F", "0"},
      {"F || T", "1"},
      // "!" negates the whole rest of the line: !(F && T), not (!F) && T.
      {"!F && T", "1"},
      {"!T && F", "1"},
      {"!T", "0"},
      {"! !T", "1"},
      {"! ! F", "0"},
      // A "!" after an operator negates what follows it, operators included.
      {"T && !F || F", "1"},
      {"F || !T && T", "0"},
      {"T && !T && F", "1"},
      // Operators group to the right without precedence.
      {"T || F && F", "1"},
      {"F && F || T", "0"},
      {"F || T && F", "0"},
      {"T&&T", "1"},
      {"is_defined(OS)", "1"},
      {"is_defined(NOPE)", "0"},
      {"!is_defined(NOPE) && OS == win", "1"},
      {"is_defined(\n  OS)", "1"},
  };
  for (const Case& c : cases) EXPECT_EQ(eval(w, c.condition), c.expected) << c.condition;
}

TEST(CompileCondition, Errors) {
  World w;
  w.b->defines.set("A", "1");
  const Case cases[] = {
      {"NOPE", "Unknown compile macro definition: 'NOPE'"},
      // Every function and variable on the line is evaluated, even when the result is known.
      {"A || NOPE", "Unknown compile macro definition: 'NOPE'"},
      {"A == \"x\"", "Invalid right side value: '\"x\"'"},
      {"A == 0x1", "Invalid right side value: '0x1'"},
      {"", "Unexpected token: ''"},
      // A left side without a value is refused before any operator combines it.
      {"1 || A", "Unexpected token: '1'"},
      {"\"a\" && A", "Unexpected token: '\"a\"'"},
      {"1", "Unexpected token: '1'"},
      {"is_defined (A)", "Expected token: '(', instead of: ''"},
      {"is_defined(A", "Expected token: ')', instead of: ''"},
      {"is_defined(1)", "Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]"},
      {"is_identifier(foo bar)", "Expected token: ')', instead of: 'bar'"},
      {"global_is_shared(nothing)", "Unknown identifier: 'nothing'"},
      {"global_is_shared(f)", "Invalid global identifier"},
      {"property_name_is(f, x)", "Invalid property identifier"},
  };
  w.main_ns->scope->identifiers.set("f", new_identifier_func(w.b, nullptr));
  for (const Case& c : cases) EXPECT_EQ(eval(w, c.condition), c.expected) << c.condition;
}

// A long line is read term by term: far more terms than the native stack of this
// thread could hold as nested calls.
TEST(CompileCondition, LongLinesNeedNoStack) {
  World w;
  w.b->defines.set("T", "1");
  w.b->defines.set("F", "0");
  const int n = 200000;
  std::string all_true, last_false, negations;
  for (int i = 0; i < n; i++) {
    all_true += "T && ";
    last_false += "T && ";
    negations += "! ";
  }
  all_true += "T";
  last_false += "F";
  EXPECT_EQ(eval(w, all_true), "1");
  EXPECT_EQ(eval(w, last_false), "0");
  EXPECT_EQ(eval(w, negations + "F"), "0");  // an even number of "!"
  EXPECT_EQ(eval(w, "! " + negations + "F"), "1");
}

TEST(CompileCondition, IdentifierFunctions) {
  World w;
  SourceFile* decl_file = w.file("");
  Global* g = new_global(w.unit, decl_file, 292, "counter", "counter", "counter", nullptr, nullptr, false);
  g->shared = 1;
  w.main_ns->scope->identifiers.set("counter", new_identifier_global(w.b, g));
  Global* h = new_global(w.unit, decl_file, 292, "local", "local", "local", nullptr, nullptr, false);
  w.main_ns->scope->identifiers.set("local", new_identifier_global(w.b, h));
  Property prop;
  prop.name = "size";
  w.main_ns->scope->identifiers.set("p", new_identifier_value_property(w.b, &prop, nullptr));

  EXPECT_EQ(eval(w, "is_identifier(counter)"), "1");
  EXPECT_EQ(eval(w, "is_identifier(missing)"), "0");
  EXPECT_EQ(eval(w, "is_identifier(nons:missing)"), "0");
  EXPECT_EQ(eval(w, "global_is_shared(counter)"), "1");
  EXPECT_EQ(eval(w, "global_is_shared(local)"), "0");
  EXPECT_EQ(eval(w, "property_name_is(p, size)"), "1");
  EXPECT_EQ(eval(w, "property_name_is(p, other)"), "0");
  EXPECT_EQ(eval(w, "property_name_is(p size)"), "Expected token: ',', instead of: 'size'");
}

}  // namespace
}  // namespace tesk::s1test
