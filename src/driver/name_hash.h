#pragma once
// Short, stable names for arbitrary texts: cache directories, unit files, generic
// instances, test functions and error codes.
#include <string>
#include <string_view>

#include "util/fwd.h"

namespace tesk {

// 32 letters over a 62-letter alphabet. The text must not be empty.
std::string name_hash_text(std::string_view s);
// The 32 letters folded into 4 bytes: the error code of a name.
u32 name_hash_u32(std::string_view s);

// Error codes the compiler itself compares against (name_hash_u32 of the name).
namespace err {
constexpr u32 not_found = 0xafb5a413;
constexpr u32 build_error = 0x93e6f7a4;
constexpr u32 end = 0x9d6aa9c5;
constexpr u32 out_of_range = 0x8237c5c0;
constexpr u32 empty = 0x6609c512;
constexpr u32 invalid = 0xf4fef40d;
constexpr u32 fail = 0x9d6f22ca;
constexpr u32 open = 0x736a8ccb;
constexpr u32 read = 0xa0d07ca4;
constexpr u32 more = 0xb41409e5;
constexpr u32 stop_build = 0x939ee8b8;
constexpr u32 parse_error = 0x8d795765;
constexpr u32 complex = 0x15f5fc14;
constexpr u32 key_not_found = 0x2ea9ac88;
constexpr u32 error = 0xdad49186;
}  // namespace err

}  // namespace tesk
