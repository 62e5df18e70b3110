#pragma once
// Reading type syntax (done by the type-syntax reader).
#include "model/records.h"

namespace tesk {

Type* read_type(Parser* p, Scope* scope, bool skip_newlines, bool allow_multi);

}  // namespace tesk
