// Where the header of a function ends: a declaration without a body (extern fn) ends at
// its line, so the declaration on the next line is neither its return type nor its
// errors or flags.
#include <gtest/gtest.h>

#include <string>

#include "fixture.h"

namespace tesk::s1test {
namespace {

// The text of a chunk from its first token to the end of that line.
std::string rest_of_line(Chunk* c) {
  if (!c) return "-";
  std::string_view s = c->content.substr(c->index);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\n')) s.remove_prefix(1);
  return std::string(s.substr(0, s.find('\n')));
}

Func* func_named(World& w, std::string_view n) {
  Identifier* id = w.name(n);
  return id && id->kind == IDENT_FUNC ? id->func : nullptr;
}

TEST(Stage1HeaderEnd, DeclarationsWithoutBodyEndAtTheirLine) {
  struct Case {
    const char* text;
    const char* ext_return;  // rest of the line at `ext`'s return type chunk, "-" for none
    const char* next;        // the name declared after it
  };
  const Case cases[] = {
      // The runtime's own sequence: the exit flag stays with `after`.
      {"extern fn ext(code: i32)\nexit fn after(code: i32) {\n}\n", "-", "after"},
      {"extern fn ext(code: i32)\nextern fn after(code: i32)\nexit fn last() {}\n", "-", "after"},
      {"extern fn ext()\nfn after() {}\n", "-", "after"},
      {"extern fn ext()\n\n\n   fn after() {}\n", "-", "after"},
      {"extern fn ext() i32\nfn after() {}\n", "i32", "after"},
      {"extern fn ext() i32 !fail $hot\nfn after() {}\n", "i32 !fail $hot", "after"},
      {"extern fn ext(a: int,\n    b: int) ptr\nfn after() {}\n", "ptr", "after"},
      {"extern fn ext() // the end of the line is the end of the header\nexit fn after() {}\n", "-", "after"},
      {"extern fn ext() ?String // a comment after the type\nfn after() {}\n", "?String // a comment after the type",
       "after"},
      {"extern fn ext()\n+fn after() {}\n", "-", "after"},
      {"extern fn ext()\nglobal after: int\n", "-", "after"},
      {"extern fn ext()\nclass after {}\n", "-", "after"},
      {"extern fn ext()\nextern global after: i32\n", "-", "after"},
      {"extern fn ext()\n@shared after: int\n", "-", "after"},
      {"extern fn ext(); extern fn after()", "-", "after"},
      {"extern fn ext() i32 fn after() {}", "i32 fn after() {}", "after"},
  };
  for (const Case& c : cases) {
    World w;
    Outcome o = w.scan(c.text);
    ASSERT_FALSE(o.failed) << c.text << "\n" << o.out;
    Func* ext = func_named(w, "ext");
    ASSERT_NE(ext, nullptr) << c.text;
    EXPECT_EQ(ext->no_body, 1) << c.text;
    EXPECT_EQ(ext->body_chunk, nullptr) << c.text;
    EXPECT_EQ(ext->is_exit, 0) << c.text;
    EXPECT_EQ(rest_of_line(ext->return_type_chunk), c.ext_return) << c.text;
    EXPECT_NE(w.name(c.next), nullptr) << c.text;
  }
}

TEST(Stage1HeaderEnd, ExitFlagAndFileFlagsAfterExternFunctions) {
  World w;
  Outcome o = w.scan(
      "extern fn _exit(code: i32)\n"
      "exit fn exit(code: i32) {\n    _exit(code)\n}\n"
      "extern fn one()\n"
      "extern fn two()\n"
      "exit fn three() {}\n"
      "extern fn four()\n"
      "@ignore_access\n"
      "extern fn five()\n");
  ASSERT_FALSE(o.failed) << o.out;
  struct Row {
    const char* name;
    u8 no_body, is_exit;
  };
  const Row rows[] = {{"_exit", 1, 0}, {"exit", 0, 1}, {"one", 1, 0}, {"two", 1, 0},
                      {"three", 0, 1}, {"four", 1, 0}, {"five", 1, 0}};
  for (const Row& r : rows) {
    Func* f = func_named(w, r.name);
    ASSERT_NE(f, nullptr) << r.name;
    EXPECT_EQ(f->no_body, r.no_body) << r.name;
    EXPECT_EQ(f->is_exit, r.is_exit) << r.name;
    EXPECT_EQ(f->return_type_chunk, nullptr) << r.name;
    EXPECT_EQ(f->body_chunk == nullptr, r.no_body == 1) << r.name;
  }
  SourceFile* f = w.b->stage1_queue.back();
  EXPECT_EQ(f->ignore_access, 1);
  EXPECT_EQ(rest_of_line(func_named(w, "exit")->body_chunk), "_exit(code)");
}

// A function with a body keeps reading its header across lines up to the "{".
TEST(Stage1HeaderEnd, FunctionsWithBodyReadAcrossLines) {
  World w;
  Outcome o = w.scan("fn a()\ni32\n!fail\n$hot\n{\n}\nfn b()\n{}\n");
  ASSERT_FALSE(o.failed) << o.out;
  Func* a = func_named(w, "a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(rest_of_line(a->return_type_chunk), "i32");
  ASSERT_NE(a->body_chunk, nullptr);
  EXPECT_EQ(a->body_chunk->line, 5u);
  Func* b = func_named(w, "b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->return_type_chunk, nullptr);
  ASSERT_NE(b->body_chunk, nullptr);

  // Without its "{" the header fails where the file ends, not on a type error.
  World e;
  Outcome eo = e.scan("fn a()\n");
  EXPECT_TRUE(eo.failed);
  EXPECT_EQ(eo.error, "Expected token: '{', instead of: ''");
}

}  // namespace
}  // namespace tesk::s1test
