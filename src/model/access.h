#pragma once
// Access levels: reading the sign and its overrides, and checking a use.
#include <string>
#include <string_view>

#include "model/records.h"

namespace tesk {

AccessLevel read_access_level(Parser* p);  // the sign is the current token
u64 read_access_sign(Parser* p);           // "+" 4, "~" 2, "-" 1

// Outcome of check_access: code 0 when allowed, else the error `readonly` or `private`.
struct AccessCheck {
  ErrorCode code = 0;
  std::string message;
  bool ok() const { return code == 0; }
};
AccessCheck check_access(SourceFile* accessing, SourceFile* owning, AccessLevel access, bool write);
// The same check for the file of the parser's chunk; a failure is a parse error naming `what`.
void require_access(Parser* p, AccessLevel access, SourceFile* owning, bool write, std::string_view what);
std::string access_level_sign(AccessLevel access);
bool is_private_access(AccessLevel access);

}  // namespace tesk
