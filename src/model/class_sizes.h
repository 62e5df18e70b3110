#pragma once
// Stage 2.3: the sizes and property offsets of every class.
#include "model/records.h"

namespace tesk {

// Passes over the classes of every unit until all are sized. A pass that sizes none
// lists the classes left and ends the build (inline values that depend on each other).
void determine_class_sizes(Build* b);

}  // namespace tesk
