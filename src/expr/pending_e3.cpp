// Stand-in for the macro expander that identifier values call: a value macro named in
// an expression reports a build error until expansion arrives.
#include "driver/build.h"
#include "source/macro.h"
#include "source/parse_error.h"
#include "source/records.h"

namespace tesk {

Value* expand_macro(Parser* p, Scope*, Macro*) { parse_error(p, "expand_macro not available yet"); }

}  // namespace tesk
