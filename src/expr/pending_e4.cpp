// Stand-ins for services of the statement reader and the lowering that the literal
// builders call, until those subsystems bring the real ones.
#include "driver/build.h"
#include "driver/errors.h"
#include "expr/pending.h"
#include "model/lowering_hooks.h"
#include "model/records.h"
#include "model/scope.h"
#include "source/records.h"
#include "stmt/ast.h"

namespace tesk {

}  // namespace tesk
