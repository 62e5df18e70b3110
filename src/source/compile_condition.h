#pragma once
// Conditions of "#if" and "#elif": read to the end of the directive's line and
// evaluated at once against the compile-time variables and the names in scope.
#include <string_view>

#include "model/records.h"
#include "source/records.h"

namespace tesk {

// Reads the condition that follows on the parser's line and returns its truth value.
// Names are looked up from `scope`. Every failure is a parse error.
bool eval_compile_condition(Parser* p, Scope* scope);

// A condition function reads its arguments after the "(", not the ")".
using CompileConditionFn = bool (*)(Parser*, Scope*);
// The condition functions that test types (null for any other name).
CompileConditionFn type_condition_function(std::string_view name);

}  // namespace tesk
