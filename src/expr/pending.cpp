// Stand-ins for the statement reader, the lowering and IR generation. Each reports a
// build error until its real definition arrives; remove the stand-in then.
#include "expr/pending.h"

#include "driver/build.h"
#include "driver/errors.h"

namespace tesk {


}  // namespace tesk
