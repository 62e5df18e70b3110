#pragma once
// Function-body work done by the statement and lowering code: GC frame layout and
// insertion, and the hidden local of a test entry.
#include "model/records.h"
#include "stmt/stage3.h"
#include "lower/generated.h"
