#pragma once
// The order in which start-up assigns the globals' defaults: a default runs after the
// defaults of the globals it uses, directly or through the functions it calls or names.
// Code the runtime calls through a pointer (finalisers, visit functions) cannot be
// followed that way: its uses of such globals check at run time that the default ran.
#include <vector>

#include "model/records.h"

namespace tesk {

// Puts `list` (used globals in declaration order) in the start-up order last worked
// out, when it covers all of them; otherwise leaves it as it is.
void order_global_defaults(std::vector<Global*>& list);

// After a pass in which no more globals came into use, with `list` the order the pass
// read the defaults in: works out the start-up order from what the defaults used (a
// cycle is a parse error at the first default of the cycle, naming its globals) and
// which globals checking code uses. Returns the functions to read again because these
// differ from what they were read with: the `#loop globals` functions, new checking
// functions, and all checking functions when the checks are numbered otherwise.
std::vector<Func*> settle_global_defaults(Build* b, const std::vector<Global*>& list);

}  // namespace tesk
