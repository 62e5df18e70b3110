// Cursor hooks: definition and completion answered from inside a build, and the
// answers built from the model (class members, groups, enums, signatures).
#include "fixture.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk::lsptest {
namespace {

const std::string kUtil =
    "class Point {\n"                      // 0
    "    x: int\n"                         // 1
    "    -[pkg-] hidden: int\n"            // 2
    "    fn length() int {\n"              // 3
    "        return this.x }\n"            // 4
    "    -[pkg-] fn secret_len() int {\n"  // 5
    "        return this.hidden }\n"       // 6
    "    group ops {\n"                    // 7
    "        fn twice() int {\n"           // 8
    "            return 2 }\n"             // 9
    "        -[pkg-] fn hidden_op() {\n"   // 10
    "        }\n"                          // 11
    "    }\n"                              // 12
    "}\n"                                  // 13
    "fn make() Point {\n"                  // 14
    "    return Point { x: 1, hidden: 2 } }\n" // 15
    "-[pkg-] fn secret() {\n"              // 16
    "}\n"                                  // 17
    "global counter: int\n"                // 18
    "-[pkg-] global hidden_counter: int\n" // 19
    "-[pkg-] class Private {\n"            // 20
    "}\n"                                  // 21
    "enum Color {\n"                       // 22
    "    red\n"                            // 23
    "    green\n"                          // 24
    "}\n"                                  // 25
    "fn pair(a: int, b: String) int {\n"   // 26
    "    return a + b.bytes\n"
    "}\n"
    "fn two(a: int) (int, String) {\n"
    "    return (a, \"two\")\n"
    "}\n"
    "fn fails() int !bad !worse {\n"
    "    throw bad\n"
    "}\n";

const std::string kApp =
    "use util { make, counter, Point }\n"
    "use util\n"
    "fn here(p: Point, q: util:Point) util:Point {\n"
    "    return p.x > 0 ? p : q\n"
    "}\n";

// A package with the namespace util beside the main file.
struct Project {
  TempDir t;
  std::string app, util;
  Project() {
    t.file("tesk.json", R"({"namespaces": {"util": "util"}})");
    util = t.file("util/util.tesk", kUtil);
    app = t.file("app.tesk", kApp);
  }
};

std::string location(const std::string& path, int line, int character) {
  std::string pos = R"({"line":)" + std::to_string(line) + R"(,"character":)" + std::to_string(character) + "}";
  return R"({"uri":"file://)" + path + R"(","range":{"start":)" + pos + R"(,"end":)" + pos + "}}";
}

std::string answer(int id, const std::string& result) {
  return R"({"id":)" + std::to_string(id) + R"(,"result":)" + result + "}";
}

TEST(LspDefinition, NamesInUseListsAndSignatures) {
  Project pr;
  struct Case {
    int line, character;
    int want_line, want_character;
    const char* what;
  };
  const Case cases[] = {
      {0, 11, 14, 3, "function in a use list (first letter)"},
      {0, 15, 14, 3, "function in a use list (just after the name)"},
      {0, 19, 18, 15, "global in a use list: the position after its colon"},
      {0, 28, 0, 6, "class in a use list"},
      {2, 12, 0, 6, "class in a signature"},
      {2, 27, 0, 6, "member name of util:Point"},
      {2, 39, 0, 6, "class in the return type"},
  };
  Server s;
  for (const Case& c : cases) {
    s.at(1, "definition", pr.app, c.line, c.character);
    EXPECT_EQ(s.take(), (std::vector<std::string>{answer(1, location(pr.util, c.want_line, c.want_character))}))
        << c.what;
  }
  // A blank, a keyword, a namespace name: no hook answers.
  for (int character : {3, 6}) {
    s.at(2, "definition", pr.app, 1, character);
    EXPECT_EQ(s.take(), (std::vector<std::string>{answer(2, "{}")})) << character;
  }
}

TEST(LspDefinition, InsideANamespaceAndOfTraits) {
  Project pr;
  Server s;
  // util.tesk is built as its namespace; the cursor is on the return type of make.
  s.at(1, "definition", pr.util, 14, 12);
  EXPECT_EQ(s.take(), (std::vector<std::string>{answer(1, location(pr.util, 0, 6))}));
  // A trait answers the start of its body.
  std::string shapes = pr.t.file("shapes.tesk", "trait Shape {\n    fn area() int {\n        return this.w }\n}\n"
                                                 "class Box {\n    use Shape\n    w: int\n}\n");
  s.at(2, "definition", shapes, 5, 9);
  EXPECT_EQ(s.take(), (std::vector<std::string>{answer(2, location(shapes, 0, 13))}));
}

TEST(LspDefinition, EditorTextIsWhatTheCursorPointsInto) {
  Project pr;
  Server s;
  // Unsaved: the editor moved the signature down two lines.
  s.open(pr.app, "\n\n" + kApp);
  s.at(3, "definition", pr.app, 4, 12);
  EXPECT_EQ(s.take(), (std::vector<std::string>{answer(3, location(pr.util, 0, 6))}));
  // Other requests ignore the definition hooks.
  s.at(4, "completion", pr.app, 4, 12);
  EXPECT_EQ(s.take(), (std::vector<std::string>{answer(4, R"({"isIncomplete":false,"items":[]})")}));
}

TEST(LspCompletion, NamespaceMembersAfterTheColon) {
  Project pr;
  Server s;
  // The editor holds an unfinished line; the build fails after the answer.
  s.open(pr.app, "use util\nfn f(a: util:");
  s.at(5, "completion", pr.app, 1, 13);
  // Classes are listed even when private; functions and globals only when readable.
  EXPECT_EQ(s.take(), (std::vector<std::string>{answer(
                          5, R"({"isIncomplete":false,"items":[{"kind":7,"label":"Point"},)"
                             R"({"kind":3,"label":"make","insertTextFormat":2},{"kind":1,"label":"counter"},)"
                             R"({"kind":7,"label":"Private"},{"kind":1,"label":"Color"},)"
                             R"({"kind":3,"label":"pair","insertTextFormat":2},)"
                             R"({"kind":3,"label":"two","insertTextFormat":2},)"
                             R"({"kind":3,"label":"fails","insertTextFormat":2}]})")}));
  // Before the colon the cursor is on the name, which is no completion point.
  s.at(6, "completion", pr.app, 1, 10);
  EXPECT_EQ(s.take(), (std::vector<std::string>{answer(6, R"({"isIncomplete":false,"items":[]})")}));
}

TEST(LspCompletion, NamespacesOfThePackageNamedInAUse) {
  Project pr;
  Server s;
  s.open(pr.app, "use tesk:\n");
  s.at(7, "completion", pr.app, 0, 9);
  // The runtime package's namespaces, as its configuration lists them.
  std::optional<std::string> config = read_file(compiler_lib_dir() + "/tesk.json");
  ASSERT_TRUE(config);
  JsonParseResult parsed = json_parse(*config);
  ASSERT_TRUE(parsed.ok());
  std::string items;
  for (auto& [name, dir] : *json_member(*parsed.value, "namespaces").members) {
    if (!items.empty()) items += ",";
    items += R"({"kind":9,"label":")" + name + R"("})";
  }
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(s.take(), (std::vector<std::string>{answer(7, R"({"isIncomplete":false,"items":[)" + items + "]}")}));
}

// The model of the project after a build that answers nothing, for the hooks that the
// value parser calls.
struct Model {
  Project pr;
  Server s;
  std::unique_ptr<Build> b;
  SourceFile* app_file = nullptr;
  SourceFile* util_file = nullptr;
  Namespace* util = nullptr;

  Model() {
    s.ctx.file = pr.app;
    b = lsp_build(&s.ctx);
    EXPECT_TRUE(b);
    EXPECT_TRUE(b->messages.empty());
    EXPECT_TRUE(b->diagnostics.empty());
    app_file = *b->loaded_files.find(pr.app);
    util_file = *b->loaded_files.find(pr.util);
    util = *b->main_namespace->package->namespaces.find("util");
  }
  Identifier* id(std::string_view name) { return *util->scope->identifiers.find(name); }
  // Runs the hook as the answer to a request of the method.
  template <typename F>
  std::vector<std::string> ask(const std::string& method, F&& hook) {
    lsp_reset_message(&s.ctx);
    s.ctx.method = method;
    s.ctx.id = 9;
    hook();
    return s.take();
  }
};

std::string completion(const std::string& items) {
  return answer(9, R"({"isIncomplete":false,"items":[)" + items + "]}");
}

TEST(LspHooks, ClassMembersPropertiesFirstThenReadableFunctions) {
  Model m;
  Class* point = m.id("Point")->class_;
  const std::string c = "textDocument/completion";
  EXPECT_EQ(m.ask(c, [&] { lsp_complete_class_members(&m.s.ctx, point, m.app_file); }),
            (std::vector<std::string>{completion(R"({"kind":10,"label":"x"},)"
                                                 R"({"kind":3,"label":"length","insertTextFormat":2})")}));
  EXPECT_EQ(m.ask(c, [&] { lsp_complete_class_members(&m.s.ctx, point, m.util_file); }),
            (std::vector<std::string>{completion(R"({"kind":10,"label":"x"},{"kind":10,"label":"hidden"},)"
                                                 R"({"kind":3,"label":"length","insertTextFormat":2},)"
                                                 R"({"kind":3,"label":"secret_len","insertTextFormat":2})")}));
  Group* ops = *point->groups.find("ops");
  EXPECT_EQ(m.ask(c, [&] { lsp_complete_group_functions(&m.s.ctx, ops, m.app_file); }),
            (std::vector<std::string>{completion(R"({"kind":3,"label":"twice","insertTextFormat":2})")}));
  EXPECT_EQ(m.ask(c, [&] { lsp_complete_enum_values(&m.s.ctx, m.id("Color")->enum_); }),
            (std::vector<std::string>{completion(R"({"kind":1,"label":"red"},{"kind":1,"label":"green"})")}));
  EXPECT_EQ(m.ask(c, [&] { lsp_complete_names(&m.s.ctx, {"name", "type"}); }),
            (std::vector<std::string>{completion(R"({"kind":1,"label":"name"},{"kind":1,"label":"type"})")}));
  // The first answer wins.
  EXPECT_EQ(m.ask(c,
                  [&] {
                    lsp_complete_names(&m.s.ctx, {"$length"});
                    lsp_complete_names(&m.s.ctx, {"other"});
                    lsp_completion_result(&m.s.ctx, {});
                  }),
            (std::vector<std::string>{completion(R"({"kind":1,"label":"$length"})")}));
  // Outside a completion request the hooks do nothing.
  EXPECT_TRUE(m.ask("textDocument/definition", [&] {
                 lsp_complete_class_members(&m.s.ctx, point, m.app_file);
                 lsp_complete_names(&m.s.ctx, {"x"});
               }).empty());
}

TEST(LspHooks, CompletionItemFields) {
  Server s;
  s.ctx.method = "textDocument/completion";
  CompletionItem full;
  full.kind = 2;
  full.label = "m";
  full.detail = "(x: int)";
  full.has_detail = 1;
  full.insert_text = "m($1)";
  full.has_insert_text = 1;
  lsp_completion_result(&s.ctx, {full});
  EXPECT_EQ(s.take(),
            (std::vector<std::string>{answer(0, R"({"isIncomplete":false,"items":[{"kind":2,"label":"m",)"
                                                R"j("labelDetails":{"detail":"(x: int)"},"insertText":"m($1)",)j"
                                                R"("insertTextFormat":2}]})")}));
}

TEST(LspHooks, DefinitionOfMembersAndGroups) {
  Model m;
  Class* point = m.id("Point")->class_;
  const std::string d = "textDocument/definition";
  auto stops = [&](auto&& hook) {
    return m.ask(d, [&] { EXPECT_THROW(hook(), StopBuild); });
  };
  EXPECT_EQ(stops([&] { lsp_define_func(&m.s.ctx, point->get_function("length")); }),
            (std::vector<std::string>{answer(9, location(m.pr.util, 3, 7))}));
  EXPECT_EQ(stops([&] { lsp_define_property(&m.s.ctx, point->get_prop("hidden")); }),
            (std::vector<std::string>{answer(9, location(m.pr.util, 2, 12))}));
  EXPECT_EQ(stops([&] { lsp_define_group(&m.s.ctx, *point->groups.find("ops")); }),
            (std::vector<std::string>{answer(9, location(m.pr.util, 7, 10))}));
  // Kinds without a declaration to go to, and other requests, answer nothing.
  EXPECT_TRUE(m.ask(d, [&] { lsp_define_identifier(&m.s.ctx, m.id("Color"), "Color"); }).empty());
  EXPECT_TRUE(m.ask("textDocument/completion", [&] {
                 lsp_define_identifier(&m.s.ctx, m.id("make"), "make");
               }).empty());
}

TEST(LspHooks, SignatureHelpLabels) {
  Model m;
  const std::string sh = "textDocument/signatureHelp";
  auto help = [&](const char* name, u64 active, Type* extra = nullptr) {
    Func* f = m.id(name)->func;
    FuncInfo* info = f->get_func_info();
    return m.ask(sh, [&] { lsp_signature_help(&m.s.ctx, active, info->args, extra, &f->args, info); });
  };
  auto sig = [](const std::string& label, const std::string& params, int active) {
    std::string a = std::to_string(active);
    return answer(9, R"({"signatures":[{"label":)" + quoted(label) + R"(,"parameters":[)" + params +
                         R"(],"activeParameter":)" + a + R"(}],"activeSignature":0,"activeParameter":)" + a + "}");
  };
  EXPECT_EQ(help("pair", 1),
            (std::vector<std::string>{sig("fn(a: int, b: String) int", R"({"label":"a: int"},{"label":"b: String"})", 1)}));
  EXPECT_EQ(help("two", 0), (std::vector<std::string>{sig("fn(a: int) (int, String)", R"({"label":"a: int"})", 0)}));
  EXPECT_EQ(help("fails", 0), (std::vector<std::string>{sig("fn() int !bad !worse", "", 0)}));
  // Further arguments of a variable count show as "...".
  Type* str = m.id("pair")->func->args[1]->type;
  EXPECT_EQ(help("two", 1, str),
            (std::vector<std::string>{
                sig("fn(a: int, ...: String) (int, String)", R"({"label":"a: int"},{"label":"...: String"})", 1)}));
  // Without declared arguments only the types show.
  FuncInfo* info = m.id("pair")->func->get_func_info();
  EXPECT_EQ(m.ask(sh, [&] { lsp_signature_help(&m.s.ctx, 0, info->args, nullptr, nullptr, info); }),
            (std::vector<std::string>{sig("fn(int, String) int", R"({"label":"int"},{"label":"String"})", 0)}));
  EXPECT_TRUE(m.ask("textDocument/completion", [&] {
                 lsp_signature_help(&m.s.ctx, 0, info->args, nullptr, nullptr, info);
               }).empty());
}

}  // namespace
}  // namespace tesk::lsptest
