// Stage 2.1 alias resolution and the queries on a Value's Type.
#include "expr/value.h"
#include "model/value_queries.h"
#include "world.h"

namespace tesk::test {
namespace {

Alias* make_alias(World& w, const std::string& name, const std::string& target_text) {
  Alias* a = w.b->make<Alias>();
  a->kind = ALIAS_ALIAS;
  a->file = w.main_file;
  a->name = name;
  a->chunk = new_chunk(w.b, w.main_file, w.b->arena.save(target_text));
  Identifier* id = new_identifier_alias(w.b, a);
  w.main_ns->scope->identifiers.set(name, id);
  return a;
}

TEST(Aliases, ResolveReplacesTheAliasIdentifier) {
  World w;
  Class* vec = w.cls("Vec");
  Identifier* vec_id = w.main_ns->scope->identifiers["Vec"];
  w.main_file->scope->identifiers.set("u", new_identifier_namespace(w.b, w.util_ns));
  Func* helper = w.func("helper", w.util_file);
  Identifier* helper_id = new_identifier_func(w.b, helper);
  w.util_ns->scope->identifiers.set("helper", helper_id);
  struct Case {
    const char* name;
    const char* text;
    Identifier* want;
  } cases[] = {
      {"V", " Vec", vec_id},
      {"H", " u:helper", helper_id},
      {"P", " println", w.tesk->namespaces["io"]->scope->identifiers["println"]},
  };
  for (const Case& c : cases) {
    Alias* a = make_alias(w, c.name, c.text);
    resolve_alias(a);
    EXPECT_EQ(a->target, c.want) << c.name;
    EXPECT_EQ(w.main_ns->scope->identifiers[c.name], c.want) << c.name;
  }
  EXPECT_EQ(vec->get_type(), w.main_ns->scope->identifiers["V"]->class_->get_type());
  Alias* bad = make_alias(w, "B", " Nope");
  std::string report = parse_error_report_of([&] { resolve_alias(bad); });
  EXPECT_NE(report.find("Unknown identifier: 'Nope'"), std::string::npos) << report;
  EXPECT_EQ(w.main_ns->scope->identifiers["B"]->alias, bad);  // left as it was
}

TEST(ValueQueries, Table) {
  World w;
  Class* vec = w.cls("Vec");
  Class* pt = w.cls("Pt", CLASS_STRUCT);
  auto value = [&](u64 kind, Type* type) {
    Value* v = w.b->make<Value>();
    v->kind = kind;
    v->type = type;
    return v;
  };
  struct Case {
    u64 kind;
    Type* type;
    bool assignable, gc_buffer;
  } cases[] = {
      {VAL_DECL, vec->get_type(), true, false},      {VAL_PROP, vec->get_type(), true, true},
      {VAL_PTRV, w.t("int"), true, false},           {VAL_GLOBAL, vec->get_type(), true, true},
      {VAL_BUFFER_VALUE, vec->get_type(), true, false}, {VAL_FUNC, fn_type(w.b, nullptr), false, true},
      {VAL_CALL, vec->get_type(), false, true},      {VAL_STRING, w.t("String"), false, false},
      {VAL_NULL, vec->get_type(), false, false},     {VAL_CALL, pt->get_type(), false, false},
      {VAL_CALL, w.t("int"), false, false},
  };
  for (const Case& c : cases) {
    Value* v = value(c.kind, c.type);
    EXPECT_EQ(value_is_assignable(v), c.assignable) << c.kind;
    EXPECT_EQ(value_needs_gc_buffer(v), c.gc_buffer) << c.kind;
  }
  EXPECT_EQ(value_get_class(value(VAL_CALL, vec->get_type())), vec);
  // A pointer to a class reference: the class of the sub-type.
  EXPECT_EQ(value_get_class(value(VAL_CALL, vec->get_type()->get_ref())), vec);
  EXPECT_EQ(value_get_class(value(VAL_CALL, w.t("int")->get_ref())), runtime_class(w.b, "type", "int"));
  EXPECT_EQ(value_get_class(value(VAL_CALL, void_type(w.b))), nullptr);

  Decl* d = new_decl(w.t("int"), false, "x");
  Value* dv = value(VAL_DECL, d->type);
  dv->decl = d;
  value_mark_decl(dv);
  EXPECT_EQ(d->in_memory, 1);

  Value* call = value(VAL_CALL, multi_type(w.b, {w.t("int"), w.t("bool")}, false));
  EXPECT_TRUE(value_is_multi(call));
  EXPECT_FALSE(value_can_fail(call));
  call->err_code = value(VAL_INT, w.t("u32"));
  EXPECT_TRUE(value_can_fail(call));
  std::vector<Value*> parts = value_split(w.b, call);
  ASSERT_EQ(parts.size(), 2u);
  for (u64 i = 0; i < 2; i++) {
    EXPECT_EQ(parts[i]->kind, VAL_RETURN_VALUE);
    EXPECT_EQ(parts[i]->type, (*call->type->items)[i]);
    EXPECT_EQ(parts[i]->op1, call);
    EXPECT_EQ(parts[i]->pre_value, call);
    EXPECT_EQ(parts[i]->number, i);
  }
  Value* single = value(VAL_INT, w.t("int"));
  EXPECT_EQ(value_split(w.b, single), std::vector<Value*>{single});
  Value* group = value(VAL_GROUP, call->type);
  group->values = {single, single};
  EXPECT_EQ(value_split(w.b, group), group->values);
}

}  // namespace
}  // namespace tesk::test
