// String-literal values: the unit's constant, noted as used by the function.
#include "expr/values.h"

#include "driver/build.h"
#include "ir/data.h"
#include "model/scope.h"
#include "source/records.h"

namespace tesk {

Value* value_string_literal(std::string_view text, ParseContext* ctx) {
  Unit* unit = context_get_unit(ctx);
  // Both contexts are checked before the constant is made, so a failing call leaves
  // no stray constant in the unit.
  Func* func = context_get_func(ctx);
  StringConst* sc = unit_string_const(unit, text);
  // Marking the function used marks its constants; duplicates are harmless there.
  func->used_strings.push_back(sc);
  return value_string(ctx->build, sc);
}

}  // namespace tesk
