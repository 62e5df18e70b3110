// String-literal values: one constant per text and unit, noted in the function's list.
#include "fixture.h"
#include "ir/records.h"

namespace tesk::valtest {
namespace {

TEST(StringLiteral, OneConstantPerTextAndUnit) {
  World w({""});
  ParseContext* ctx = w.parse_context();
  Unit* unit = w.func->unit;
  u64 first = unit->string_counter;
  w.func->used_strings.clear();

  Value* a = value_string_literal("hello", ctx);
  Value* b = value_string_literal("hello", ctx);
  Value* c = value_string_literal("other", ctx);
  EXPECT_EQ(a->kind, VAL_STRING);
  EXPECT_EQ(text(a->type), "String");
  EXPECT_NE(a, b);
  ASSERT_NE(a->string_const, nullptr);
  EXPECT_EQ(a->string_const, b->string_const);
  EXPECT_EQ(a->string_const->text, "hello");
  EXPECT_EQ(a->string_const->index, first);
  EXPECT_EQ(c->string_const->index, first + 1);
  EXPECT_EQ(unit->string_counter, first + 2);
  // The function lists the constant once per use.
  EXPECT_EQ(w.func->used_strings,
            std::vector<StringConst*>({a->string_const, a->string_const, c->string_const}));

  // Another unit counts its own constants.
  Unit* other = w.b->make<Unit>();
  other->build = w.b;
  ParseContext* ctx2 = w.parse_context();
  ctx2->unit = other;
  Value* d = value_string_literal("hello", ctx2);
  EXPECT_NE(d->string_const, a->string_const);
  EXPECT_EQ(d->string_const->index, 0u);
  EXPECT_EQ(d->string_const->unit, other);

  // Constants are marked only when the function is marked used.
  EXPECT_EQ(a->string_const->used, 0);
  w.func->mark_used();
  EXPECT_EQ(a->string_const->used, 1);
  EXPECT_EQ(c->string_const->used, 1);
}

TEST(StringLiteral, MissingContexts) {
  World w({""});
  Unit* unit = w.func->unit;
  size_t before = unit->strings.size();

  ParseContext* no_func = w.parse_context();
  no_func->func = nullptr;
  EXPECT_EQ(error_of([&] { value_string_literal("fresh", no_func); }), "error: Missing function context");
  // Nothing is made by a failing call.
  EXPECT_EQ(unit->strings.size(), before);
  EXPECT_FALSE(unit->strings.contains("fresh"));

  ParseContext* no_unit = w.parse_context();
  no_unit->unit = nullptr;
  EXPECT_EQ(error_of([&] { value_string_literal("fresh", no_unit); }), "error: Missing unit context");
}

}  // namespace
}  // namespace tesk::valtest
