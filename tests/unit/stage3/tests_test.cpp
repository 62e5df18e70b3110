#include "fixture.h"
#include "ir/records.h"
#include "model/funcs.h"

namespace tesk::s3test {
namespace {

const char* kDecls = "fn plain(ok: bool) {\n}\n";

struct TestWorld : World {
  Func* test = nullptr;
  TestWorld() : World({kDecls}) {
    Outcome o = run([this] {
      Unit* u = unit;
      SourceFile* f = name("plain")->func->file;
      test = new_func(u, f, f, ACCESS_DEFAULT, "t_check", nullptr, nullptr, false);
      test->is_test = 1;
      test->test_name = "my test";
      test->add_arg("test_results", runtime_class(b, "core", "TestResults")->get_type());
      test->add_arg("ok", core("bool"));
    });
    EXPECT_FALSE(o.failed) << o.out;
  }

  Value* assert_in(Func* f, const std::string& text, Outcome* out) {
    Value* v = nullptr;
    *out = run([&] {
      if (!f->ast) f->init_scope();
      Parser* p = new_parser(new_chunk(b, f->file, b->arena.save(text)), nullptr);
      p->context->unit = f->unit;
      p->context->func = f;
      next_token(p, true, true);  // the word `assert`
      v = read_assert(p, f->get_ast()->scope);
    });
    return v;
  }
};

std::string str(Value* v) { return v->kind == VAL_STRING ? v->string_const->text : "?"; }

TEST(TestEntry, DeclaredFirstWithNamePathAndLine) {
  TestWorld w;
  Outcome o = run([&] { w.test->init_scope(); });
  ASSERT_FALSE(o.failed) << o.out;
  FuncAst* a = w.test->get_ast();
  ASSERT_NE(a->test_entry_decl, nullptr);
  EXPECT_TRUE(a->test_entry_decl->name.empty());
  EXPECT_TRUE(a->test_entry_decl->is_gc);
  EXPECT_FALSE(a->test_entry_decl->is_arg);
  ASSERT_EQ(a->scope->ast.size(), 1u);
  AstNode* n = a->scope->ast[0];
  EXPECT_EQ(n->kind, AST_DECLARE);
  EXPECT_EQ(n->decl, a->test_entry_decl);
  ASSERT_EQ(n->value->kind, VAL_CALL);
  EXPECT_EQ(n->value->op1->func->name, "init");
  ASSERT_EQ(n->value->values.size(), 3u);
  EXPECT_EQ(str(n->value->values[0]), "my test");
  // No body chunk: path "?" and line 0.
  EXPECT_EQ(str(n->value->values[1]), "?");
  EXPECT_EQ(n->value->values[2]->number, 0u);
}

TEST(TestEntry, SubmittedWithResultsAndEntry) {
  TestWorld w;
  Outcome o = run([&] {
    w.test->init_scope();
    submit_test_entry(w.test, w.test->get_ast()->scope);
  });
  ASSERT_FALSE(o.failed) << o.out;
  AstNode* n = w.test->get_ast()->scope->ast.back();
  EXPECT_EQ(n->kind, AST_VALUE);
  EXPECT_EQ(n->value->op1->func->name, "submit_entry");
  ASSERT_EQ(n->value->values.size(), 2u);
  EXPECT_EQ(n->value->values[0]->decl, w.test->args[0]->decl);
  EXPECT_EQ(n->value->values[1]->decl, w.test->get_ast()->test_entry_decl);
}

TEST(Assert, InTestAndOutside) {
  TestWorld w;
  Outcome o;
  Value* v = w.assert_in(w.test, "assert( ok\n  )\n", &o);
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_EQ(v->kind, VAL_CALL);
  EXPECT_EQ(v->op1->func->name, "assert_test");
  ASSERT_EQ(v->values.size(), 5u);
  EXPECT_EQ(v->values[0]->decl, w.test->get_ast()->test_entry_decl);
  EXPECT_EQ(str(v->values[2]), " ok");
  EXPECT_EQ(str(v->values[3]), w.test->file->path);
  EXPECT_EQ(v->values[4]->number, 2u);  // the line of ")"

  Func* plain = w.name("plain")->func;
  v = w.assert_in(plain, "assert(ok)\n", &o);
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(v->op1->func->name, "assert_panic");
  ASSERT_EQ(v->values.size(), 4u);
  EXPECT_EQ(str(v->values[1]), "ok");
  EXPECT_EQ(v->values[3]->number, 1u);
}

TEST(Assert, Errors) {
  TestWorld w;
  Func* plain = w.name("plain")->func;
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"assert (ok)\n", "Expected token: '(', instead of: ''"},
      {"assert(1)\n", "The assert value must be of type 'bool' instead of 'int'"},
      {"assert(ok ok\n", "Expected token: ')', instead of: 'ok'"},
  };
  for (const Case& c : cases) {
    Outcome o;
    w.assert_in(plain, c.text, &o);
    EXPECT_TRUE(o.failed) << c.text;
    EXPECT_EQ(o.error, c.error) << c.text;
  }
}

}  // namespace
}  // namespace tesk::s3test
