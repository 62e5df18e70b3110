// The Tesk texts that `co` and `await` are lowered to, byte for byte.
#include "fixture.h"

namespace tesk::lowertest {
namespace {

const char* kDecls = "fn probe() {\n}\n";

FuncInfo* sig(World& w, std::vector<Type*> args, std::vector<Type*> rets, bool can_error) {
  FuncInfo* i = new_func_info(w.b);
  i->args = std::move(args);
  i->rets = std::move(rets);
  i->errors = new_error_map(w.b);
  if (can_error) i->errors->set("bad", 1);
  i->can_error = can_error;
  return i;
}

TEST(CoroTexts, NoArgumentsNoResults) {
  World w({kDecls});
  FuncInfo* s = sig(w, {}, {}, false);
  EXPECT_EQ(coro_entry_code(s),
            ") {\n"
            "let coro = CURRENT_CORO.@cast(CORO_CLASS)\n"
            "(coro.handler.@cast(HANDLER_TYPE))()\n"
            "coro.complete()\n"
            "}\n");
  EXPECT_EQ(coro_start_code(s, 0),
            "<{\n"
            "let coro = CORO_CLASS.new(HANDLER, START_FUNC, 0)\n"
            "AWAIT_LAST_FUNC()\n"
            "return coro\n"
            "}\n");
}

// int, String, bool in; String, int, bool out; can fail: the int and bool share the
// byte buffer (the bool at the int's size), the String goes through gc_args.
TEST(CoroTexts, MixedArgumentsAndResults) {
  World w({kDecls});
  Type* i = w.core("int");
  Type* str = w.core("String");
  Type* bl = w.core("bool");
  FuncInfo* s = sig(w, {i, str, bl}, {str, i, bl}, true);
  EXPECT_EQ(coro_entry_code(s),
            ") {\n"
            "let coro = CURRENT_CORO.@cast(CORO_CLASS)\n"
            "let args = coro.args.@cast(ptr)\n"
            "let gc_args = coro.gc_args\n"
            "let arg0 = @ptrv(args, T0)\n"
            "args += size_of(T0)\n"
            "let arg1 = (gc_args.pop_first() !? null.@cast(GCPTR)).@cast(T1)\n"
            "let arg2 = @ptrv(args, T2)\n"
            "args += size_of(T2)\n"
            "let retv0, retv1, retv2 = (coro.handler.@cast(HANDLER_TYPE))(arg0, arg1, arg2) ! {\n"
            "  coro.error_code = E.@cast(u32)\n"
            "  coro.error_msg = EMSG\n"
            "  coro.complete()\n"
            "  return\n"
            "}\n"
            "\n"
            "gc_args.append(retv0.@cast(GCPTR))\n"
            "@ptrv(coro.args + 0, RT1) = retv1\n"
            "@ptrv(coro.args + 8, RT2) = retv2\n"
            "coro.complete()\n"
            "}\n");
  // Every argument is computed into a local, in order, before new allocates.
  EXPECT_EQ(coro_start_code(s, 3),
            "<{\n"
            "let co_arg0 : ARG_T_0 = ARG_V_0\n"
            "let co_arg1 : ARG_T_1 = ARG_V_1\n"
            "let co_arg2 : ARG_T_2 = ARG_V_2\n"
            "let coro = CORO_CLASS.new(HANDLER, START_FUNC, 9)\n"
            "let args = coro.args.@cast(ptr)\n"
            "let gc_args = coro.gc_args\n"
            "@ptrv(args, ARG_T_0) = co_arg0\n"
            "args += size_of(ARG_T_0)\n"
            "gc_args.append(co_arg1.@cast(GCPTR))\n"
            "@ptrv(args, ARG_T_2) = co_arg2\n"
            "args += size_of(ARG_T_2)\n"
            "AWAIT_LAST_FUNC()\n"
            "return coro\n"
            "}\n");
}

// No GC argument but a String result: the entry still takes gc_args for the result,
// the start code does not.
TEST(CoroTexts, GcResultOnly) {
  World w({kDecls});
  FuncInfo* s = sig(w, {w.core("int")}, {w.core("String")}, false);
  std::string entry = coro_entry_code(s);
  EXPECT_NE(entry.find("let gc_args = coro.gc_args\n"), std::string::npos);
  EXPECT_NE(entry.find("let retv0 = (coro.handler.@cast(HANDLER_TYPE))(arg0)\ngc_args.append(retv0.@cast(GCPTR))\n"),
            std::string::npos);
  EXPECT_EQ(entry.find(" ! {"), std::string::npos);
  EXPECT_EQ(coro_start_code(s, 1).find("gc_args"), std::string::npos);
}

// The byte buffer is sized by the call: its plain arguments or its plain results,
// whichever take more bytes, with no upper limit.
TEST(CoroTexts, BufferSize) {
  World w({kDecls});
  Type* i = w.core("int");
  Type* str = w.core("String");
  Type* bl = w.core("bool");
  Type* u8 = w.core("u8");
  struct Case {
    std::vector<Type*> args;
    std::vector<Type*> rets;
    const char* line;
  } cases[] = {
      {{str}, {str}, "let coro = CORO_CLASS.new(HANDLER, START_FUNC, 0)\n"},
      {{u8, bl}, {}, "let coro = CORO_CLASS.new(HANDLER, START_FUNC, 2)\n"},
      {{}, {i, i, i, i, i}, "let coro = CORO_CLASS.new(HANDLER, START_FUNC, 40)\n"},
      {{i, str}, {bl, i}, "let coro = CORO_CLASS.new(HANDLER, START_FUNC, 9)\n"},
      {std::vector<Type*>(21, i), {i}, "let coro = CORO_CLASS.new(HANDLER, START_FUNC, 168)\n"},
      {std::vector<Type*>(1000, i), {}, "let coro = CORO_CLASS.new(HANDLER, START_FUNC, 8000)\n"},
  };
  for (const Case& c : cases) {
    FuncInfo* s = sig(w, c.args, c.rets, false);
    EXPECT_NE(coro_start_code(s, c.args.size()).find(c.line), std::string::npos) << c.line;
  }
}

TEST(AwaitTexts, Layouts) {
  World w({kDecls});
  Type* i = w.core("int");
  Type* str = w.core("String");
  Type* bl = w.core("bool");
  struct Case {
    std::vector<Type*> items;
    std::string text;
  } cases[] = {
      {{},
       "<{\nlet coro = AWAIT_ON_VALUE.@cast(CORO_CLASS)\nAWAIT_CORO_FUNC(coro)\nif coro.error_code != 0 {\n"
       "  return 0\n}\nreturn 0\n}\n"},
      {{str, i},
       "<{\nlet coro = AWAIT_ON_VALUE.@cast(CORO_CLASS)\nAWAIT_CORO_FUNC(coro)\nif coro.error_code != 0 {\n"
       "return null.@cast(RETT0), 0.@cast(RETT1)\n}\n"
       "let retv0 = (coro.gc_args.get(0) !? null.@cast(GCPTR)).@cast(RETT0)\n"
       "let retv1 = @ptrv(coro.args + 0, RETT1)\n"
       "return retv0, retv1\n}\n"},
      {{i, str, bl, str},
       "<{\nlet coro = AWAIT_ON_VALUE.@cast(CORO_CLASS)\nAWAIT_CORO_FUNC(coro)\nif coro.error_code != 0 {\n"
       "return 0.@cast(RETT0), null.@cast(RETT1), 0.@cast(RETT2), null.@cast(RETT3)\n}\n"
       "let retv0 = @ptrv(coro.args + 0, RETT0)\n"
       "let retv1 = (coro.gc_args.get(0) !? null.@cast(GCPTR)).@cast(RETT1)\n"
       "let retv2 = @ptrv(coro.args + 8, RETT2)\n"
       "let retv3 = (coro.gc_args.get(1) !? null.@cast(GCPTR)).@cast(RETT3)\n"
       "return retv0, retv1, retv2, retv3\n}\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(coro_await_code(c.items), c.text);
}

}  // namespace
}  // namespace tesk::lowertest
