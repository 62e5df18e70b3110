// The Stage 3 passes over a small program: what is parsed in which pass, the marking
// from the entry, and the warnings about unused locals and imports.
#include "driver/stage3_driver.h"
#include "fixture.h"
#include "tools/lsp.h"

namespace tesk::s3test {
namespace {

const char* kProgram =
    "global counter: int\n"
    "fn helper() {\n"
    "}\n"
    "fn entry() {\n"
    "    helper()\n"
    "    counter = 1\n"
    "    let idle = 2\n"
    "    let busy = 3\n"
    "    counter = busy\n"
    "}\n"
    "fn unused_fn() {\n"
    "}\n";

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

TEST(Stage3Passes, LoopingFunctionParsedAgainWhenAGlobalBecomesUsed) {
  World w({kProgram});
  Func* entry = w.fn("entry");
  Func* helper = w.fn("helper");
  w.b->entry_func = entry;
  w.b->loop_globals_funcs.push_back(helper);
  w.b->verbose = 3;
  Outcome o = run([&] { parse_used_functions(w.b); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(count(o.out, "> Stage 3.1: Parse function AST: entry\n"), 1u) << o.out;
  EXPECT_EQ(count(o.out, "> Stage 3.1: Parse function AST: helper\n"), 2u) << o.out;
  EXPECT_TRUE(entry->used);
  EXPECT_TRUE(helper->used);
  EXPECT_FALSE(w.fn("unused_fn")->used);
  EXPECT_TRUE(w.fn("unused_fn")->parsed);  // parsed, used or not
  // ASTs are dropped after their IR; the locals stay only until the warnings.
  EXPECT_EQ(entry->ast, nullptr);
  EXPECT_TRUE(entry->kept_decls.empty());
  // The global the entry uses, recorded in the pass after it became used.
  bool counter = false;
  for (Global* g : w.b->used_globals) counter |= g->name == "counter";
  EXPECT_TRUE(counter);
}

TEST(Stage3Passes, NothingStaleMeansOnePass) {
  World w({kProgram});
  w.b->entry_func = w.fn("entry");
  w.b->loop_classes_funcs.push_back(w.fn("helper"));  // no class becomes used
  w.b->verbose = 3;
  Outcome o = run([&] { parse_used_functions(w.b); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(count(o.out, "> Stage 3.1: Parse function AST: helper\n"), 1u) << o.out;
}

TEST(Stage3Passes, UnusedLocalWarnedForTheMainPackageOnly) {
  World w({kProgram});
  w.b->entry_func = w.fn("entry");
  Outcome o = run([&] { parse_used_functions(w.b); });
  ASSERT_FALSE(o.failed) << o.out;
  std::vector<std::string> warnings;
  for (const BuildMessage& m : w.b->messages)
    if (m.type == MSG_WARNING) warnings.push_back(m.message);
  std::string path = w.fn("entry")->file->path;
  ASSERT_EQ(warnings.size(), 1u) << classtest::joined(warnings);
  EXPECT_EQ(warnings[0], "Variable 'idle' was declared but not used in function 'entry' @ " + path + ":7");
}

TEST(Stage3Passes, UnusedImports) {
  World w({kProgram, "use tesk:gc\nuse tesk:coro\nfn pool() ptr {\n    return coro:gc_stack_sp\n}\n"});
  SourceFile* f = nullptr;
  for (auto& [path, file] : w.b->loaded_files)
    if (!file->uses.empty() && file->ns == w.main_ns) f = file;
  ASSERT_NE(f, nullptr);
  Outcome o = run([&] {
    parse_used_functions(w.b);
    w.b->messages.clear();
    warn_unused_imports(w.b);
  });
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_EQ(w.b->messages.size(), 1u);
  EXPECT_EQ(w.b->messages[0].message, "Namespace 'tesk:gc' imported but not used @ " + f->path + ":1");
}

}  // namespace
}  // namespace tesk::s3test

namespace tesk::s3test {
namespace {

// For the language server: diagnostics over the name, only in files the editor has open,
// and no IR.
TEST(Stage3Passes, LanguageServerGetsDiagnostics) {
  World w({kProgram});
  LspContext lsp;
  std::string path = w.fn("entry")->file->path;
  lsp.documents.set(path, "");
  w.b->lsp = &lsp;
  w.b->entry_func = w.fn("entry");
  Outcome o = run([&] { parse_used_functions(w.b); });
  w.b->lsp = nullptr;
  ASSERT_FALSE(o.failed) << o.out;
  for (const BuildMessage& m : w.b->messages) EXPECT_NE(m.type, MSG_WARNING) << m.message;
  ASSERT_EQ(w.b->diagnostics.size(), 1u);
  const Diagnostic& d = w.b->diagnostics[0];
  EXPECT_EQ(d.type, MSG_WARNING);
  EXPECT_EQ(d.message, "Variable 'idle' was declared but not used");
  EXPECT_EQ(d.start->line, 7u);
  EXPECT_EQ(d.end->col, d.start->col + 4);
  EXPECT_EQ(d.end->index, d.start->index + 4);
  EXPECT_TRUE(w.fn("entry")->ir_text.empty());
}

}  // namespace
}  // namespace tesk::s3test
