// String literals, interpolation and the "#" value directives.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fixture.h"
#include "ir/records.h"
#include "lower/generated.h"

namespace tesk::literaltest {
namespace {

TEST(Strings, Unescape) {
  struct {
    const char* in;
    std::string want;
  } cases[] = {
      {"plain", "plain"},
      {"\\a\\b\\t\\n\\v\\f\\r\\e", std::string("\a\b\t\n\v\f\r\x1b")},
      {"\\\\ \\\" \\% \\0 \\q", "\\ \" % 0 q"},
      {"end\\", "end\\"},
  };
  for (auto& c : cases) EXPECT_EQ(unescape_string(c.in), c.want) << c.in;
}

TEST(Strings, PlainLiteralsShareTheUnitConstant) {
  World w({"fn helper() {\n}\n"});
  Got a = read(w, "\"a\\tb\"");
  Got b = read(w, "\"a\\tb\"");
  Got empty = read(w, "\"\"");
  Got lines = read(w, "\"x\ny\"");
  ASSERT_FALSE(a.o.failed || b.o.failed || empty.o.failed || lines.o.failed) << a.o.out << b.o.out;
  EXPECT_EQ(a.text(), "1 String");
  EXPECT_EQ(a.v->string_const, b.v->string_const);
  EXPECT_EQ(a.v->string_const->text, "a\tb");
  EXPECT_EQ(empty.v->string_const->text, "");
  EXPECT_EQ(lines.v->string_const->text, "x\ny");
  size_t uses = 0;
  for (StringConst* sc : w.body->used_strings) uses += sc == a.v->string_const;
  EXPECT_EQ(uses, 2u);
}

TEST(Strings, Directives) {
  World w({"fn helper() {\n}\n"});
  w.b->defines.set("FLAVOUR", "sweet");
  struct {
    const char* text;
    const char* want;
  } cases[] = {
      {"#string(OS)", "linux"},
      {"#string( FLAVOUR )", "sweet"},
      {"#string(NOPE)", "error: Unknown compile macro definition: 'NOPE'"},
      {"#strung(OS)", "error: Unknown compile macro statement '#strung'"},
      {"# string(OS)", "error: Unknown compile macro statement '#'"},
      {"#string (OS)", "error: Expected token: '(', instead of: ''"},
      {"#string(OS", "error: Expected token: ')', instead of: ''"},
      {"#embed(file)", "error: Expected a string between doubles quotes, found: 'file'"},
  };
  for (auto& c : cases) {
    Got g = read(w, c.text);
    std::string got = g.o.failed ? g.text() : g.v->string_const->text;
    EXPECT_EQ(got, c.want) << c.text;
  }
}

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char tmpl[] = "/tmp/tesk-embed-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  void write(const std::string& rel, const std::string& content) {
    std::filesystem::create_directories((path / rel).parent_path());
    std::ofstream(path / rel, std::ios::binary) << content;
  }
};

TEST(Strings, EmbedFilesRelativeToThePackage) {
  TempDir dir;
  dir.write("data/raw.txt", std::string("a\\nb\0c", 6));
  World w({"fn helper() {\n}\n"});
  w.main_pkg->dir = dir.path.string();
  Got g = read(w, "#embed(\"data/raw.txt\")");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.v->string_const->text, std::string("a\\nb\0c", 6));
  Got abs = read(w, "#embed(\"" + (dir.path / "data/raw.txt").string() + "\")");
  ASSERT_FALSE(abs.o.failed) << abs.o.out;
  EXPECT_EQ(abs.v->string_const, g.v->string_const);
  Got missing = read(w, "#embed(\"data/none.txt\")");
  EXPECT_EQ(missing.text(), "error: Embed file not found: " + (dir.path / "data/none.txt").string());
  Got not_dir = read(w, "#embed_dir(\"data/raw.txt\")");
  EXPECT_EQ(not_dir.text(), "error: Embed directory not found: " + (dir.path / "data/raw.txt").string());
}

TEST(Strings, EmbedDirBuildsAMapLiteral) {
  TempDir dir;
  dir.write("assets/c.txt", "C");
  dir.write("assets/a/b.txt", "B");
  std::filesystem::create_directories(dir.path / "empty");
  World w({"fn helper() {\n}\n"});
  w.main_pkg->dir = dir.path.string();
  Got g = read(w, "#embed_dir(\"assets\")");
  ASSERT_FALSE(g.o.failed) << g.o.out;
  EXPECT_EQ(g.text(), "22 HashMap[String, String]");
  Scope* s = g.v->pre_value->scope;
  ASSERT_EQ(s->ast.size(), 2u);
  std::string pairs;
  for (AstNode* n : s->ast) {
    Value* call = n->value;
    ASSERT_EQ(call->kind, VAL_CALL);
    std::vector<Value*>& args = call->values;
    ASSERT_GE(args.size(), 3u);
    pairs += args[args.size() - 2]->string_const->text + "=" + args.back()->string_const->text + " ";
  }
  EXPECT_EQ(pairs, "a/b.txt=B c.txt=C ");
  Got none = read(w, "#embed_dir(\"empty\")");
  ASSERT_FALSE(none.o.failed) << none.o.out;
  EXPECT_TRUE(none.v->pre_value->scope->ast.empty());
  EXPECT_EQ(none.v->op1->kind, VAL_CALL);
}

TEST(Strings, InterpolationSource) {
  EXPECT_EQ(interpolation_code(2),
            "<{\n"
            "let len : uint = 0\n"
            "len += STR0.bytes\n"
            "len += STR1.bytes\n"
            "let str = CREATE_EMPTY(len)\n"
            "let data = str.data\n"
            "MEM_COPY(STR0.data, data, STR0.bytes)\n"
            "data += STR0.bytes\n"
            "MEM_COPY(STR1.data, data, STR1.bytes)\n"
            "data += STR1.bytes\n"
            "return str\n"
            "}\n");
}

TEST(Strings, InterpolationErrors) {
  World w({"class Num {\n    n: int\n}\n"});
  w.local("name", w.type("String"));
  w.local("box", w.type("Num"));
  struct {
    const char* text;
    const char* want;
  } cases[] = {
      {"\"%nobody\"", "error: Unknown identifier: 'nobody'"},
      {"\"%{box}\"", "error: Incompatible types. Passing a 'Num' value to a 'String' type"},
      {"\"%{name\"", "error: Expected token: '}', instead of: '\"'"},
      {"\"open %{name}", "error: Unexpected end of file"},
  };
  for (auto& c : cases) EXPECT_EQ(read(w, c.text).text(), c.want) << c.text;
}

TEST(Strings, InterpolationValues) {
  World w({"fn helper() {\n}\n"});
  w.local("name", w.type("String"));
  // Interpolated parts are read inside a value scope, so the statement reader must work.
  Got probe = read(w, "<{ return 1 }");
  ASSERT_FALSE(probe.o.failed) << probe.o.out;
  const char* cases[] = {"\"hi %name!\"", "\"%{name}%{name}\"", "\"100%\"", "\"%%name\"",
                         "\"%{ \"in}side\" }\""};
  for (const char* c : cases) EXPECT_EQ(read(w, c).text(), "31 String") << c;
}

TEST(Strings, GeneratedCodeFile) {
  World w({"fn helper() {\n}\n"});
  SourceFile* f = generated_code_file(w.b);
  EXPECT_EQ(generated_code_file(w.b), f);
  EXPECT_EQ(f->path, "<tesk-generated-code>");
  EXPECT_TRUE(f->generated && f->ignore_access);
  EXPECT_EQ(f->ns, w.main_ns);
  EXPECT_EQ(f->unit, w.main_ns->unit);
  EXPECT_EQ(f->scope->kind, SCOPE_FILE);
  EXPECT_EQ(f->scope->parent, w.main_ns->scope);
  EXPECT_EQ(f->scope->file, f);
  w.b->generated_file = nullptr;
  w.b->main_namespace = nullptr;
  EXPECT_EQ(run([&] { generated_code_file(w.b); }).error, "Cannot find main:main namespace (bug)");
}

TEST(Strings, InterpolationErrorsPointAtTheSource) {
  World w({"fn helper() {\n}\n"});
  w.local("box", w.type("int"));
  Got g = read(w, "\"line one\n  %{ nobody }\"");
  ASSERT_TRUE(g.o.failed);
  EXPECT_NE(g.o.out.find("# Line: 2 |"), std::string::npos) << g.o.out;
}

}  // namespace
}  // namespace tesk::literaltest
