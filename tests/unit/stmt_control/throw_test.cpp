// throw and cothrow: the returned error, the message, the runtime call and the errors.
#include "driver/name_hash.h"
#include "fixture.h"

namespace tesk::ctltest {
namespace {

TEST(Throw, Statements) {
  const std::string bad = std::to_string(name_hash_u32("bad"));
  const std::string other = std::to_string(name_hash_u32("other"));
  const Case cases[] = {
      // The function's zero results, then code and message; the default message is the name.
      {"fn f() int !bad {\n throw bad\n let x = = 1\n}\n", nullptr},
      {"fn f() !bad {\n throw bad, \"went \" + \"wrong\"\n}\n", nullptr},
      {"fn f() !bad {\n throw other\n}\n",
       "error: Unknown error 'other'. Please add the error to your function declaration."},
      {"fn f() !bad {\n throw bad, 5\n}\n", "error: Invalid throw message value. Expected a 'String' instead of: int"},
      {"fn f() !bad {\n throw 5\n}\n", "error: Invalid identifier name: '5' | Expected syntax: [a-zA-Z_]"},
      {"fn f() !bad {\n throw\n}\n", "error: Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      {"fn f() {\n cothrow other, 5\n}\n", "error: Expected a string between doubles quotes, found: '5'"},
      {"fn f() {\n cothrow \"x\"\n}\n", "error: Invalid identifier name: '\"x\"' | Expected syntax: [a-zA-Z_]"},
  };
  std::string wants[] = {
      "value (0:int, " + bad + ":u32, \"bad\":String):(int, u32, String); scope{}; return (0:int, " + bad +
          ":u32, \"bad\":String):(int, u32, String)",
      "value (" + bad + ":u32, call concat(\"went \":String, \"wrong\":String):String):(u32, String); scope{}; "
          "return (" + bad + ":u32, call concat(\"went \":String, \"wrong\":String):String):(u32, String)",
  };
  for (size_t i = 0; i < std::size(cases); i++) {
    std::string want = cases[i].want ? cases[i].want : wants[i];
    EXPECT_EQ(body_of(cases[i].decls), want) << cases[i].decls;
  }
}

TEST(Throw, Cothrow) {
  const std::string other = std::to_string(name_hash_u32("other"));
  // Any name; the code is its hash as uint; the block ends unreachable, the rest unread.
  EXPECT_EQ(body_of("fn f() {\n cothrow other\n let = =\n}\n"),
            "value call throw(" + other + ":uint, \"other\":String):void; unreachable");
  EXPECT_EQ(body_of("fn f() {\n cothrow other, \"a\\nb\"\n}\n"),
            "value call throw(" + other + ":uint, \"a\nb\":String):void; unreachable");
  // A message on the next line is not part of the statement.
  EXPECT_EQ(body_of("fn f() !bad {\n throw bad\n , \"x\"\n}\n"),
            "value (" + std::to_string(name_hash_u32("bad")) + ":u32, \"bad\":String):(u32, String); scope{}; return (" +
                std::to_string(name_hash_u32("bad")) + ":u32, \"bad\":String):(u32, String)");
}

TEST(Throw, NameConstantIsUsedAlsoWithAMessage) {
  World w({"fn f() !bad {\n throw bad, \"msg\"\n}\n"});
  Body r = w.read_body("f");
  ASSERT_FALSE(r.out.failed) << r.out.out;
  std::string texts;
  for (StringConst* sc : r.func->used_strings) texts += sc->text + ";";
  EXPECT_EQ(texts, "bad;msg;");
}

}  // namespace
}  // namespace tesk::ctltest
