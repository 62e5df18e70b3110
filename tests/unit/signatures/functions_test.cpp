// Stage 2.4 of function signatures: arguments, defaults, return types, error names,
// flags, `this`, `main`, tests and generic argument types.
#include <gtest/gtest.h>

#include "driver/name_hash.h"
#include "fixture.h"

namespace tesk::sigtest {
namespace {

struct Case {
  const char* name;
  const char* expected;  // signature_text, or "error: " + message
};

std::string read_sig(Func* f) {
  Outcome o = run([f] { read_function_types(f); });
  if (o.failed) return "error: " + o.error;
  return signature_text(f);
}

void check_table(SigWorld& w, const Case* cases, size_t n) {
  for (size_t i = 0; i < n; i++) {
    Func* f = w.fn(cases[i].name);
    ASSERT_NE(f, nullptr) << cases[i].name;
    EXPECT_EQ(read_sig(f), cases[i].expected) << cases[i].name;
  }
}

const char* kGood =
    "struct Point {\n}\n"
    "class Vec {\n}\n"
    "fn none() {\n}\n"
    "fn two(a: int, b: String (\"x\")) String !not_found !fail $hot {\n}\n"
    "fn by_ref(x: Point, v: ?Vec, p: *[u8 x 4]) {\n}\n"
    "fn multi() (int, bool) {\n}\n"
    "fn one_in_parens() (int) {\n}\n"
    "fn lines(\n  a: int,\n  b: u8,\n) {\n}\n"
    "fn void_arg(a: void, b: int) {\n}\n"
    "fn void_default(a: int, b: void (1)) {\n}\n"
    "fn late_return()\n  int\n{\n}\n"
    "fn err_only() !e {\n}\n"
    "fn err_multi() (int, bool) !e {\n}\n"
    "fn err_newline() int\n  !a\n  !b\n{\n}\n"
    "fn vararg(@infinite) {\n}\n"
    "fn vararg_after(fmt: String, @infinite) {\n}\n"
    "fn fnptr_arg(cb: fnptr(int)(bool)) fn()() {\n}\n"
    "fn defaults(a: int (1 + (2)), b: bool (true)) {\n}\n";

TEST(FunctionTypes, ArgumentsReturnsAndErrors) {
  SigWorld w({kGood});
  const Case cases[] = {
      {"none", "() void"},
      // Two arguments, the second with a default; errors in order; the IR result adds
      // the error code and message.
      {"two", "(a: int, b: String = \"x\") String !not_found !fail => (String, u32, String)"},
      {"by_ref", "(x: Point, v: ?Vec, p: *[u8 x 4]) void"},
      {"multi", "() (int, bool)"},
      {"one_in_parens", "() int"},
      {"lines", "(a: int, b: u8) void"},
      // A void argument is not added.
      {"void_arg", "(b: int) void"},
      // The default of an argument that is not added belongs to no other argument.
      {"void_default", "(a: int) void"},
      {"late_return", "() int"},
      {"err_only", "() void !e => (u32, String)"},
      {"err_multi", "() (int, bool) !e => (int, bool, u32, String)"},
      {"err_newline", "() int !a !b => (int, u32, String)"},
      {"vararg", "(@infinite) void"},
      {"vararg_after", "(fmt: String, @infinite) void"},
      {"fnptr_arg", "(cb: fnptr(int)(bool)) fn()()"},
      // A default is kept as written, up to its matching ")".
      {"defaults", "(a: int = 1 + (2), b: bool = true) void"},
  };
  check_table(w, cases, std::size(cases));

  Func* two = w.fn("two");
  EXPECT_EQ(two->hot, 1);
  EXPECT_EQ(two->can_error, 1);
  EXPECT_EQ(*two->errors->find("not_found"), name_hash_u32("not_found"));
  EXPECT_EQ(*two->errors->find("fail"), name_hash_u32("fail"));
  EXPECT_EQ(two->args[1]->default_->line, 7u);
  EXPECT_EQ(w.fn("vararg")->varargs, 1);
  EXPECT_TRUE(w.fn("none")->types_read);
  // The signature seen by callers: multi results split, errors shared with the function.
  FuncInfo* info = w.fn("err_multi")->get_func_info();
  EXPECT_EQ(info->rets.size(), 2u);
  EXPECT_EQ(info->can_error, 1);
}

TEST(FunctionTypes, ReadOnce) {
  SigWorld w({"fn f(a: int) !e {\n}\n"});
  Func* f = w.fn("f");
  EXPECT_EQ(read_sig(f), "(a: int) void !e => (u32, String)");
  // A second call neither adds arguments nor reports the error name again.
  EXPECT_EQ(read_sig(f), "(a: int) void !e => (u32, String)");
}

TEST(FunctionTypes, Errors) {
  SigWorld w({"struct Point {\n}\n"
              "fn comma_missing(a: int @infinite) {\n}\n"
              "fn dup_error(a: int) !e !e {\n}\n"
              "fn collide() !e33085 !e54959 {\n}\n"
              "fn inline_struct(x: <Point>) {\n}\n"
              "fn inline_array(x: [u8 x 4]) {\n}\n"
              "fn bad_name(1: int) {\n}\n"
              "fn at_name(@foo: int) {\n}\n"
              "fn no_colon(a int) {\n}\n"
              "fn after_infinite(@infinite, a: int) {\n}\n"
              "fn not_a_type(a: none_such) {\n}\n"
              "fn bad_separator(a: int; b: int) {\n}\n"
              "fn unknown_flag() $nope {\n}\n"
              "fn class_flag() int $to {\n}\n"
              "fn dup_generic(a: $T, b: $T) {\n}\n"
              "fn empty_generic(a: $) {\n}\n"});
  const Case cases[] = {
      {"comma_missing", "error: Unexpected token: '@infinite'"},
      {"dup_error", "error: Duplicate error name: e"},
      {"collide",
       "error: It seems that 2 different error names are resolving to the same hash, try picking a different "
       "error name: e54959"},
      {"inline_struct", "error: You cannot use inline types for function arguments: <Point>"},
      {"inline_array", "error: You cannot use inline types for function arguments: [u8 x 4]"},
      {"bad_name", "error: Invalid argument name: 1"},
      {"at_name", "error: Invalid argument name: @foo"},
      {"no_colon", "error: Expected token: ':', instead of: 'int'"},
      {"after_infinite", "error: Expected token: ')', instead of: ','"},
      {"bad_separator", "error: Unexpected token: ';'"},
      {"unknown_flag", "error: Unknown flag: $nope"},
      // Operator flags belong to class functions only.
      {"class_flag", "error: Unknown flag: $to"},
      {"dup_generic", "error: Duplicate generic name: T"},
      {"empty_generic", "error: Empty generic argument name"},
  };
  check_table(w, cases, std::size(cases));
  EXPECT_TRUE(read_sig(w.fn("not_a_type")).rfind("error: ", 0) == 0);

  // Errors are reported at the header, in the function.
  Outcome o = run([&] {
    Func* f = w.fn("dup_error");
    f->types_read = 0;
    f->errors = new_error_map(w.b);
    read_function_types(f);
  });
  EXPECT_NE(o.out.find("# Line: 5 | Col: 26\n# Function: dup_error\n"), std::string::npos) << o.out;
}

TEST(FunctionTypes, Flags) {
  SigWorld w({"fn plain() {\n}\n"
              "fn all() $entrance $exit $hot $inline $undefined @nobuffers {\n}\n"
              "fn after_errors() int !e $hot {\n}\n"
              "extern fn ext(a: int) i32 $hot\n"});
  EXPECT_EQ(read_sig(w.fn("plain")), "() void");
  Func* p = w.fn("plain");
  EXPECT_EQ(p->entrance + p->is_exit + p->hot + p->inline_ + p->opaque_calls + p->nobuffers + p->reduced, 0);

  Func* a = w.fn("all");
  EXPECT_EQ(read_sig(a), "() void");
  EXPECT_EQ(a->entrance, 1);
  EXPECT_EQ(a->is_exit, 1);
  EXPECT_EQ(a->hot, 1);
  EXPECT_EQ(a->inline_, 1);
  EXPECT_EQ(a->opaque_calls, 1);
  EXPECT_EQ(a->nobuffers, 1);
  EXPECT_EQ(a->reduced, 1);

  EXPECT_EQ(read_sig(w.fn("after_errors")), "() int !e => (int, u32, String)");
  EXPECT_EQ(w.fn("after_errors")->hot, 1);
  EXPECT_EQ(read_sig(w.fn("ext")), "(a: int) i32");
  EXPECT_EQ(w.fn("ext")->hot, 1);
}

// A declaration without a body ends with its line: the next line's declaration is not
// read as its return type or flags.
TEST(FunctionTypes, DeclarationWithoutBodyEndsWithItsLine) {
  SigWorld w({"extern fn first(code: i32)\n"
              "@ignore_access\n"
              "extern fn third() int\n"});
  EXPECT_EQ(read_sig(w.fn("first")), "(code: i32) void");
  EXPECT_EQ(read_sig(w.fn("third")), "() int");
  EXPECT_EQ(w.fn("first")->no_body, 1);

  // The header of an external function followed by the next declaration.
  SourceFile* f = w.file("extern fn ext(code: i32)\nexit fn after(code: i32) {\n}\n");
  w.b->stage1_queue.pop_back();
  Chunk* header = chunk_clone(w.b, f->chunk);
  header->index = std::string_view(f->text).find('(') + 1;
  Func* ext = new_func(w.unit, f, f, ACCESS_DEFAULT, "ext", nullptr, header, true);
  EXPECT_EQ(read_sig(ext), "(code: i32) void");
}

TEST(FunctionTypes, GenericArgumentTypes) {
  SigWorld w({"fn take(a: $T, b: int, c: $U) {\n}\n"
              "fn bound(a: $T) {\n}\n"
              "fn unbound(a: $T) {\n}\n"
              "fn generic[T](a: T) {\n}\n"});
  Func* f = w.fn("take");
  EXPECT_EQ(read_sig(f), "(a: T, b: int, c: U) void");
  EXPECT_EQ(f->template_, 1);
  EXPECT_EQ(f->skip, 1);
  ASSERT_EQ(f->generic_arg_names.size(), 2u);
  EXPECT_EQ(f->generic_arg_names[1], "U");
  EXPECT_EQ(f->args[0]->type->kind, TYPE_GENERIC);
  EXPECT_EQ(f->args[0]->generic_name, "T");
  EXPECT_EQ(f->args[0]->is_generic, 1);
  EXPECT_EQ(f->args[1]->is_generic, 0);

  // An instance made with extra names takes the Type bound to the name.
  Func* g = w.fn("bound");
  g->extra_generic_names = 1;
  g->generic_types.set("T", runtime_class_type(w.b, "type", "u16"));
  EXPECT_EQ(read_sig(g), "(a: u16) void");
  EXPECT_EQ(g->template_, 0);
  Func* u = w.fn("unbound");
  u->extra_generic_names = 1;
  EXPECT_EQ(read_sig(u), "error: Missing argument generic type (BUG)");

  // A generic template is never read; its instances are.
  Identifier* id = w.name("generic");
  ASSERT_NE(id, nullptr);
  Func* tmpl = id->func;
  EXPECT_EQ(read_sig(tmpl), "() void");
  EXPECT_EQ(tmpl->types_read, 0);
}

// ---------------------------------------------------------------------------------
// Class functions

TEST(FunctionTypes, ThisOfClassFunctions) {
  SigWorld w({"class Vec {\n}\n"});
  Class* vec = w.cls("Vec");
  Func* len = w.class_func(vec, "fn len(extra: u8) int {\n}\n");
  Func* make = w.class_func(vec, "static fn make() Vec {\n}\n");
  Group* g = w.b->make<Group>();
  g->name = "math";
  g->class_ = vec;
  Func* in_group = w.class_func(vec, "fn norm() int {\n}\n", nullptr, g);

  EXPECT_EQ(read_sig(len), "(this: Vec, extra: u8) int");
  EXPECT_EQ(len->args[0]->type, vec->get_type());
  EXPECT_EQ(read_sig(make), "() Vec");
  EXPECT_EQ(read_sig(in_group), "(this: Vec) int");
  // The `this` of a group function is a copy that carries the group.
  Type* t = in_group->args[0]->type;
  EXPECT_NE(t, vec->get_type());
  EXPECT_EQ(t->group, g);
  EXPECT_EQ(vec->get_type()->group, nullptr);
  EXPECT_EQ(t->get_class(), vec);
}

TEST(FunctionTypes, OperatorFlags) {
  SigWorld w({"class Vec {\n}\n"});
  Class* vec = w.cls("Vec");
  struct FlagCase {
    const char* text;
    const char* expected;  // "" when accepted
  };
  const FlagCase cases[] = {
      {"fn to_str() String $to {\n}\n", ""},
      {"fn to_str2() String !e $to {\n}\n", ""},  // "$to" may declare errors
      {"fn to_bad(a: int) String $to {\n}\n", "Functions marked with $to must have 0 argument(s)"},
      {"fn eq(other: Vec) bool $eq {\n}\n", ""},
      {"fn eq_err(other: Vec) bool !e $eq {\n}\n", "Functions marked with $eq should never throw an error"},
      {"static fn eq_static(a: Vec, b: Vec) bool $eq {\n}\n", "Functions marked with $eq cannot be static"},
      {"fn lt(other: Vec) $lt {\n}\n", "Functions marked with $lt must return a value"},
      {"fn gt(other: Vec) (bool, bool) $gt {\n}\n", "Functions marked with $gt must return only 1 value"},
      {"fn lte() bool $lte {\n}\n", "Functions marked with $lte must have 1 argument(s)"},
      {"fn gte(o: Vec) bool $gte {\n}\n", ""},
      {"fn add(o: Vec) Vec $add {\n}\n", ""},
      {"fn lt_ok(o: Vec) bool $lt {\n}\n", ""},
      {"fn gt_ok(o: Vec) bool $gt {\n}\n", ""},
      {"fn lte_ok(o: Vec) bool $lte {\n}\n", ""},
  };
  for (const FlagCase& c : cases) {
    Func* f = w.class_func(vec, c.text);
    Outcome o = run([f] { read_function_types(f); });
    EXPECT_EQ(o.failed ? o.error : "", c.expected) << c.text;
  }
  auto names = [](const std::vector<Func*>& list) {
    std::string s;
    for (Func* f : list) s += f->name + " ";
    return s;
  };
  EXPECT_EQ(names(vec->to_funcs), "to_str to_str2 ");
  EXPECT_EQ(names(vec->eq_funcs), "eq ");
  EXPECT_EQ(names(vec->lt_funcs), "lt_ok ");
  EXPECT_EQ(names(vec->gt_funcs), "gt_ok ");
  EXPECT_EQ(names(vec->lte_funcs), "lte_ok ");
  EXPECT_EQ(names(vec->gte_funcs), "gte ");
  EXPECT_EQ(names(vec->add_funcs), "add ");
}

TEST(FunctionTypes, OffsetFunctions) {
  SigWorld w({"class Vec {\n}\n"});
  Class* vec = w.cls("Vec");
  Func* get = w.class_func(vec, "fn get(i: uint) int $offset {\n}\n");
  Func* set = w.class_func(vec, "fn set(i: uint, v: int) $offset_assign {\n}\n");
  EXPECT_EQ(read_sig(get), "(this: Vec, i: uint) int");
  EXPECT_EQ(read_sig(set), "(this: Vec, i: uint, v: int) void");
  EXPECT_EQ(vec->offset_func, get);
  EXPECT_EQ(vec->offset_assign_func, set);
  EXPECT_EQ(read_sig(w.class_func(vec, "fn get2(i: uint) int $offset {\n}\n")),
            "error: Multiple functions marked with $offset for the same type");
  EXPECT_EQ(read_sig(w.class_func(vec, "fn set2(i: uint, v: int) $offset_assign {\n}\n")),
            "error: Multiple functions marked with $offset_assign for the same type");
  EXPECT_EQ(vec->offset_func, get);
}

// ---------------------------------------------------------------------------------
// main and tests

TEST(FunctionTypes, MainArguments) {
  struct MainCase {
    const char* decl;
    const char* expected;
  };
  const MainCase cases[] = {
      {"fn main() {\n}\n", "(cli_args: Array[String]) void"},
      {"fn main(args: Array[String]) {\n}\n", "(args: Array[String]) void"},
      {"fn main(a: int) {\n}\n",
       "error: The first argument of 'main' must be of type: Array[String], instead of: int"},
      {"fn main(a: Array[int]) {\n}\n",
       "error: The first argument of 'main' must be of type: Array[String], instead of: Array[int]"},
      {"fn main(a: int, b: int) {\n}\n", "error: The 'main' function has too many arguments (max: 1)"},
  };
  for (const MainCase& c : cases) {
    SigWorld w({c.decl});
    ASSERT_EQ(w.b->main_func, w.fn("main"));
    EXPECT_EQ(read_sig(w.b->main_func), c.expected) << c.decl;
  }
  // `main` outside the main namespace is an ordinary function.
  SigWorld w({"fn helper() {\n}\n"});
  SourceFile* geo = w.file("fn main() {\n}\n", w.geo_ns);
  w.scan_queue();
  Func* other = (*geo->ns->scope->identifiers.find("main"))->func;
  EXPECT_EQ(read_sig(other), "() void");
}

TEST(FunctionTypes, TestsGetTheirResults) {
  SigWorld w({"test \"adds\" {\n}\n"});
  ASSERT_EQ(w.b->tests.size(), 1u);
  Func* t = w.b->tests[0];
  EXPECT_EQ(t->header, nullptr);
  EXPECT_EQ(read_sig(t), "(test_results: TestResults) void");
  EXPECT_EQ(read_sig(t), "(test_results: TestResults) void");
}

}  // namespace
}  // namespace tesk::sigtest
