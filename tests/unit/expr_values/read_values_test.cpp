// Operator values read by the value reader from source text: the math operators,
// String concatenation through $to and $add, raw pointer offsets and their errors.
#include "fixture.h"

namespace tesk::valtest {
namespace {

const char* kDecls =
    "class Money {\n"
    "    v: int\n"
    "    fn str() String $to {\n"
    "    }\n"
    "}\n";

const char* kArgs = "a: u8, b: i8, f: f32, s: String, ns: ?String, m: Money, p: ptr, flag: bool";

TEST(ReadOperatorValues, KindsAndTypes) {
  World w({kDecls}, kArgs);
  struct Case {
    const char* text;
    const char* expected;  // kind number and Type text, or "error: " + message
  } cases[] = {
      {"1 + 2", "4 int"},  // folded
      {"a + b", "8 i16"},
      {"a * 5", "8 u8"},  // the constant takes the variable's Type
      {"s + m", "5 String"},
      {"m + s", "5 String"},
      {"p - 4", "23 ptr"},
      {"p + a", "23 ptr"},
      {"a << 1", "8 u8"},
      {"ns + s", "error: Cannot do math operations on types: '?String' <> 'String'"},
      {"flag + 1", "error: Cannot do math operations on types: 'bool' <> 'int'"},
      {"f << 1", "error: Left value must be an integer for this operator"},
  };
  for (const Case& c : cases) {
    Outcome o;
    Value* v = w.read(c.text, &o);
    std::string got = o.failed ? "error: " + o.error : std::to_string(v->kind) + " " + text(v->type);
    EXPECT_EQ(got, c.expected) << c.text;
  }
}

}  // namespace
}  // namespace tesk::valtest
