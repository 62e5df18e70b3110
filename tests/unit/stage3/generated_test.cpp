#include "fixture.h"

namespace tesk::s3test {
namespace {

const char* kDecls =
    "class Leaf {\n    n: int\n}\n"
    "struct Spot {\n    x: int\n}\n"
    "class Node {\n    n: int\n    next: Node\n    cb: fn()()\n    spot: Spot\n    raw: ptr\n}\n"
    "class Head {\n    first: Leaf\n    fn _props(list: gc:Lifo, func: fnptr(ptr, gc:Lifo)()) {\n    }\n}\n"
    "class Own {\n    n: int\n    fn _props(list: gc:Lifo, func: fnptr(ptr, gc:Lifo)()) {\n    }\n}\n"
    "use tesk:gc\n";

TEST(GeneratedCode, OneFilePerBuild) {
  World w({kDecls});
  SourceFile* f = nullptr;
  Outcome o = run([&] { f = generated_code_file(w.b); });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(f, generated_code_file(w.b));
  EXPECT_EQ(f->path, "<tesk-generated-code>");
  EXPECT_EQ(f->ns, w.main_ns);
  EXPECT_EQ(f->unit, w.main_ns->unit);
  EXPECT_EQ(f->chunk, nullptr);
  EXPECT_TRUE(f->generated);
  EXPECT_TRUE(f->ignore_access);
  EXPECT_FALSE(f->ignore_imut);
  EXPECT_EQ(f->scope->kind, SCOPE_FILE);
  EXPECT_EQ(f->scope->parent, w.main_ns->scope);
  EXPECT_EQ(f->scope->file, f);
}

TEST(GeneratedCode, FakeFunctionsAreListedNowhere) {
  World w({kDecls});
  size_t funcs = w.b->functions.size(), queue = w.b->function_queue.size();
  Func *a = nullptr, *b = nullptr;
  Outcome o = run([&] {
    a = generated_code_func(w.b);
    b = generated_code_func(w.b);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_NE(a, b);
  EXPECT_EQ(a->name, "fake");
  EXPECT_EQ(a->display_name, "fake");
  EXPECT_EQ(a->file, generated_code_file(w.b));
  EXPECT_EQ(a->unit, w.b->generated_unit);
  EXPECT_EQ(a->return_type->kind, TYPE_VOID);
  EXPECT_EQ(a->decl_scope->kind, SCOPE_FUNCTION);
  EXPECT_EQ(a->decl_scope->parent, nullptr);
  EXPECT_EQ(a->access, 0u);
  EXPECT_EQ(w.b->functions.size(), funcs);
  EXPECT_EQ(w.b->function_queue.size(), queue);
}

TEST(GeneratedCode, MissingNamespaceOrUnit) {
  World w({kDecls});
  w.b->generated_unit = nullptr;
  Outcome o = run([&] { generated_code_func(w.b); });
  EXPECT_EQ(o.error, "Cannot find unit for generated functions (bug)");
  World w2({kDecls});
  w2.b->main_namespace = nullptr;
  o = run([&] { generated_code_file(w2.b); });
  EXPECT_EQ(o.error, "Cannot find main:main namespace (bug)");
}

TEST(GeneratedCode, PlaceholderBoundTwice) {
  World w({kDecls});
  Scope* s = template_detached_scope(w.b);
  ParseContext* ctx = w.b->make<ParseContext>();
  ctx->build = w.b;
  Outcome o = run([&] {
    template_bind(ctx, s, "CLASS_TYPE", new_identifier_type(w.b, w.core("int")));
    template_bind(ctx, s, "CLASS_TYPE", new_identifier_type(w.b, w.core("int")));
  });
  EXPECT_EQ(o.error, "Name already used: CLASS_TYPE");
}

TEST(PropsFunction, VisitsGcPropertiesInOrder) {
  World w({kDecls});
  Class* node = w.must_cls("Node");
  size_t queued = w.b->function_queue.size();
  Func* f = nullptr;
  Outcome o = run([&] { f = class_props_function(node); });
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->name, "Node.LIST_PROPS");
  EXPECT_TRUE(f->reduced);
  EXPECT_EQ(f->file, node->file);
  EXPECT_EQ(f->unit, node->unit);
  EXPECT_EQ(node->props_func, f);
  EXPECT_EQ(w.b->function_queue.size(), queued + 1);
  EXPECT_EQ(w.b->function_queue.back(), f);
  u64 next = (*node->props.find("next"))->offset;
  u64 cb = (*node->props.find("cb"))->offset;
  EXPECT_EQ(std::string(f->header->content),
            "item: ptr, list: LIFO_TYPE, func: fnptr(ptr, LIFO_TYPE)()) {\n"
            "func(item.@offset(" + std::to_string(next) + "), list)\n"
            "func(item.@offset(" + std::to_string(cb) + "), list)\n"
            "}\n");
  ASSERT_EQ(f->args.size(), 3u);
  EXPECT_EQ(f->args[0]->name, "item");
  EXPECT_EQ(f->args[1]->type->get_class(), runtime_class(w.b, "gc", "Lifo"));
  EXPECT_EQ(f->args[2]->type->kind, TYPE_FNPTR);
  ASSERT_NE(f->body_chunk, nullptr);
  // Made once.
  EXPECT_EQ(class_props_function(node), f);
  EXPECT_EQ(w.b->function_queue.size(), queued + 1);
}

TEST(PropsFunction, OwnHookOnlyOrNothing) {
  World w({kDecls});
  Class* leaf = w.must_cls("Leaf");
  Class* own = w.must_cls("Own");
  size_t queued = w.b->function_queue.size();
  Outcome o = run([&] {
    EXPECT_EQ(class_props_function(leaf), nullptr);
    Func* hook = *own->funcs.find("_props");
    EXPECT_EQ(class_props_function(own), hook);
    EXPECT_EQ(own->props_func, nullptr);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(w.b->function_queue.size(), queued);
}

TEST(PropsFunction, GcPropertyAtZeroThenOwnHook) {
  World w({kDecls});
  Class* head = w.must_cls("Head");
  Func* f = nullptr;
  Outcome o = run([&] { f = class_props_function(head); });
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::string(f->header->content),
            "item: ptr, list: LIFO_TYPE, func: fnptr(ptr, LIFO_TYPE)()) {\n"
            "func(item.@offset(0), list)\n"
            "_PROPS(item.@cast(CLASS_TYPE), list, func)\n"
            "}\n");
  EXPECT_EQ(f->decl_scope->parent->parent, nullptr);
  EXPECT_EQ((*f->decl_scope->parent->identifiers.find("_PROPS"))->func, *head->funcs.find("_props"));
}

}  // namespace
}  // namespace tesk::s3test
