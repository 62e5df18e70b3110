#pragma once
// Services of the statement reader, the lowering and IR generation that expressions call.
// Until those subsystems arrive, each definition (pending.cpp) reports a build error.
#include <vector>

#include "expr/value.h"
#include "model/records.h"
#include "source/records.h"
#include "stmt/statements.h"
#include "stmt/stage3.h"
#include "lower/generated.h"
#include "lower/lowering.h"
#include "stmt/control.h"
#include "irgen/irgen.h"

namespace tesk {


}  // namespace tesk
