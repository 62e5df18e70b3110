#pragma once
// Stage 3.4 and Stage 4 as the build driver runs them after "Reduce ASTs".
#include <functional>
#include <string>

#include "driver/build.h"

namespace tesk {

// The IR text of a unit.
using UnitIrSource = std::function<std::string(Unit*)>;

// Stage 3.4 with the unit IR from ir_of: every used unit in order, one thread per
// changed unit, all joined in start order. Returns the number of threads started.
// Raises the build error of the first failure the threads recorded.
size_t make_object_files(Build* b, const UnitIrSource& ir_of);

// Stage 3.4 (then the error pick-up and -v timing) and Stage 4 for the build, with
// ir_of giving each unit's assembled IR.
void objects_and_link(Build* b, const UnitIrSource& ir_of);

// The driver's entry: objects_and_link with the units' IR as the IR writer assembles it.
void stage_objects_and_link(Build* b);

}  // namespace tesk
