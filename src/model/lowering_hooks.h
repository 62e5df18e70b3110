#pragma once
// Services of the generated-source lowering that the model calls: the function context
// of code read outside any function, and the GC property-visit function of a class.
#include "model/records.h"

namespace tesk {

// A new fake function "fake" in the generated-code unit, listed nowhere; it gives a
// function context to values read outside any function (enum values, doc defaults).
Func* generated_code_func(Build* b);
// The build's one source file for generated code, "<tesk-generated-code>", made on first
// use in main:main with access checks off (pending_e4.cpp).
SourceFile* generated_code_file(Build* b);
// The class's GC property-visit function (made on first use), or null when it has none.
Func* class_props_function(Class* cls);

}  // namespace tesk
