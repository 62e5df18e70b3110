// The condition functions of "#if" that read types.
#include <gtest/gtest.h>

#include "fixture.h"
#include "model/classes.h"
#include "model/funcs.h"
#include "source/compile_condition.h"

namespace tesk::typetest {
namespace {

struct Case {
  const char* condition;
  const char* expected;  // "1", "0" or the parse error's message
};

std::string eval(World& w, const std::string& text) {
  Parser* p = w.parser(text + "\nrest");
  bool value = false;
  Outcome o = run([&] { value = eval_compile_condition(p, w.scope_of(p)); });
  if (o.failed) return o.error;
  // The condition ends with its line.
  next_token(p, true, true);
  if (!p->is("rest")) return "stopped before: " + std::string(p->token());
  return value ? "1" : "0";
}

TEST(ConditionTypes, TruthTable) {
  World w;
  Class* vec = w.cls("Vec");
  Func* length = new_func(w.unit, vec->file, vec->file, ACCESS_DEFAULT, "length", nullptr, nullptr, false);
  vec->funcs.set("length", length);
  Class* shape = w.geo_ns->scope->identifiers["Shape"]->class_;
  shape->add_prop("_VTABLE", ptr_type(w.b));
  // A mode of Vec: its functions come from its base too.
  Class* fast = new_class(w.unit, vec->file, ACCESS_DEFAULT, "FastVec", CLASS_CLASS, nullptr, nullptr);
  fast->mode_base = vec;
  w.main_ns->scope->identifiers.set("FastVec", new_identifier_class(w.b, fast));

  const Case cases[] = {
      {"is_pointer_type(int)", "0"},
      {"is_pointer_type(String)", "1"},
      {"is_pointer_type(?Vec)", "1"},
      {"is_pointer_type(*[u8 x 2])", "1"},
      {"is_pointer_type(&int)", "1"},
      {"is_pointer_type(ptr)", "1"},
      {"is_pointer_type(fn()())", "1"},
      {"is_pointer_type(fnptr()())", "1"},
      {"is_pointer_type(co)", "1"},
      {"is_pointer_type(<Vec>)", "0"},
      {"is_pointer_type([u8 x 2])", "0"},
      {"is_pointer_type(void)", "0"},
      {"is_raw_pointer_type(ptr)", "1"},
      {"is_raw_pointer_type(ptr[u8])", "1"},
      {"is_raw_pointer_type(*[u8])", "0"},
      {"is_integer_type(u8)", "1"},
      {"is_integer_type(Color)", "1"},
      {"is_integer_type(f64)", "0"},
      {"is_integer_type(bool)", "0"},
      {"is_float_type(f64)", "1"},
      {"is_float_type(int)", "0"},
      {"is_bool_type(bool)", "1"},
      {"is_bool_type(u8)", "0"},
      {"is_gc_type(Vec)", "1"},
      {"is_gc_type(?Vec)", "1"},
      {"is_gc_type(String)", "1"},
      {"is_gc_type(Point)", "0"},
      {"is_gc_type(fn()())", "1"},
      {"is_gc_type(fnptr()())", "0"},
      {"is_gc_type(ptr)", "0"},
      {"is_nullable_type(?Vec)", "1"},
      {"is_nullable_type(Vec)", "0"},
      {"is_nullable_type(?int)", "0"},
      {"is_void_type(void)", "1"},
      {"is_void_type(int)", "0"},
      {"is_signed_type(int)", "1"},
      {"is_signed_type(u8)", "0"},
      {"is_signed_type(f64)", "1"},
      {"is_structural_type(Vec)", "1"},
      {"is_structural_type(Point)", "1"},
      {"is_structural_type(<Vec>)", "1"},
      {"is_structural_type(int)", "0"},
      {"is_structural_type(*[int])", "0"},
      {"is_type_of_class(Vec, <Vec>)", "1"},
      {"is_type_of_class(Vec,?Vec)", "1"},
      {"is_type_of_class(Vec, Point)", "0"},
      {"is_type_of_class(void, void)", "1"},
      {"is_type_of_class(*[int], void)", "1"},
      {"is_type_of_class(int, i32)", "0"},
      {"is_type_of_class(int, Num)", "1"},
      {"type_has_method(Vec, length)", "1"},
      {"type_has_method(Vec, size)", "0"},
      {"type_has_method(FastVec, length)", "1"},
      {"type_has_method(int, length)", "0"},
      {"type_has_vtable(geo:Shape)", "1"},
      {"type_has_vtable(Vec)", "0"},
      {"type_has_vtable(int)", "0"},
      // Combined with the rest of the condition language.
      {"is_pointer_type(int) || is_integer_type(u8)", "1"},
      {"!is_gc_type(Point) && is_gc_type(Vec)", "1"},
      {"is_gc_type(Vec) && OS == linux", "1"},
      {"is_gc_type(Point) && OS == linux", "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(eval(w, c.condition), c.expected) << c.condition;
}

TEST(ConditionTypes, Errors) {
  World w;
  const Case cases[] = {
      {"is_pointer_type (int)", "Expected token: '(', instead of: ''"},
      {"is_pointer_type(int", "Expected token: ')', instead of: ''"},
      {"is_pointer_type(int u8)", "Expected token: ')', instead of: 'u8'"},
      {"is_type_of_class(int int)", "Expected token: ',', instead of: 'int'"},
      {"is_type_of_class(int\n, int)", "Expected token: ',', instead of: ''"},
      {"type_has_method(Vec, 1)", "Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]"},
      {"type_has_method(Vec,\nlength)", "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      // Types stand on the directive's line.
      {"is_pointer_type(\nint)", "Unknown type: "},
      {"is_integer_type(nope)", "Unknown identifier: 'nope'"},
      {"is_integer_type(helper)", "Not a type"},
      {"is_integer_type([u8 x 0])", "Array size must be larger than 0"},
  };
  for (const Case& c : cases) EXPECT_EQ(eval(w, c.condition), c.expected) << c.condition;
}

}  // namespace
}  // namespace tesk::typetest
