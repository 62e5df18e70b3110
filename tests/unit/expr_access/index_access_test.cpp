// Index access: fixed arrays and typed pointers directly, classes through their
// "$offset" / "$offset_assign" functions (of a mode's base too), and failing reads.
#include <gtest/gtest.h>

#include "fixture.h"

namespace tesk::accesstest {
namespace {

const char* kDecls =
    "class List {\n"
    "    fn get(i: int) u8 $offset {\n"
    "    }\n"
    "    fn put(i: int, v: u8) $offset_assign {\n"
    "    }\n"
    "}\n"
    "mode Quiet for List {\n"
    "}\n"
    "class ReadOnly {\n"
    "    fn get(i: int) u8 $offset {\n"
    "    }\n"
    "}\n"
    "class Fails {\n"
    "    fn get(i: int) ReadOnly !oops $offset {\n"
    "    }\n"
    "}\n";

TEST(IndexAccess, DirectAndThroughOffsetFunctions) {
  World w({kDecls});
  w.local("arr", w.type("[int x 4]"));
  w.local("tp", w.type("*[u16]"));
  w.local("n", w.type("int"));
  w.local("l", w.type("List"));
  w.local("q", w.type("Quiet"));
  w.local("ro", w.type("ReadOnly"));
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"arr[1]", "9 int"},
      {"tp[n]", "9 u16"},
      {"arr[true]", "error: Invalid offset, expected an integer value instead of: bool"},
      {"arr[1 2]", "error: Expected token: ']', instead of: '2'"},
      {"n[1]", "error: Type: 'int' has no '[]' get offset function"},
      {"l[1]", "5 u8"},
      {"q[1]", "5 u8"},
      {"l[1] == 3", "5 u8"},
      {"l[1] = 3", "5 void"},
      {"l[1]\n  = 3", "5 void"},
      {"l[1, 2]", "error: Too many arguments. Function type: fnptr(List, int)(u8)"},
      {"l[1] = true", "error: Incompatible types. Passing a 'bool' value to a 'u8' type"},
      {"ro[1] = 3", "error: Type: ReadOnly has no '[]' offset assign function"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_access(w, c.text).text(), c.want) << c.text;

  // The store passes the receiver, the index and the value, which took the u8 hint.
  Got g = read_access(w, "l[1] = 3");
  ASSERT_FALSE(g.o.failed);
  ASSERT_EQ(g.v->values.size(), 3u);
  EXPECT_EQ(g.v->values[0]->kind, VAL_DECL);
  EXPECT_EQ(g.v->values[1]->number, 1u);
  EXPECT_EQ(g.v->values[2]->number, 3u);
  EXPECT_EQ(g.v->values[2]->type->to_text(), "u8");
  EXPECT_EQ(g.v->op1->func->name, "put");
  // A fixed array is indexed through its reference, without a bounds test.
  g = read_access(w, "arr[1]");
  EXPECT_EQ(g.v->op1->kind, VAL_REFERENCE);
}

TEST(IndexAccess, FailingReadWithoutHandlerGivesTheDefault) {
  World w({kDecls});
  w.local("f", w.type("Fails"));
  Got g = read_access(w, "f[1]");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->kind, VAL_THIS_OR_THAT);
  EXPECT_EQ(g.v->type->to_text(), "?ReadOnly");
  ASSERT_EQ(g.v->op1->kind, VAL_COMPARE);
  EXPECT_EQ(g.v->op1->number, static_cast<u64>(OP_NE));
  EXPECT_EQ(g.v->op1->op1->kind, VAL_RETURN_VALUE);
  EXPECT_EQ(g.v->op2->kind, VAL_NULL);
}

TEST(IndexAccess, OffsetFunctionLookups) {
  World w({kDecls});
  w.local("q", w.type("Quiet"));
  w.local("n", w.type("int"));
  Class* list = w.cls("List");
  Value* q = read_access(w, "q").v;
  EXPECT_EQ(class_offset_function(q), list->offset_func);
  EXPECT_EQ(class_offset_assign_function(q), list->offset_assign_func);
  Value* n = read_access(w, "n").v;
  EXPECT_EQ(class_offset_function(n), nullptr);
  EXPECT_EQ(class_offset_assign_function(n), nullptr);
}

}  // namespace
}  // namespace tesk::accesstest
