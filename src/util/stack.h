#pragma once
// Threads with a large native stack for the recursive readers of the front end.
#include <functional>

#include "util/fwd.h"

namespace tesk {

// The front end's stack. 999 nested closures, the deepest single kind, take 21 MB in
// the sanitizer build (1 MB without); every kind at its limit at once stays under
// 50 MB. Reserved, not committed: pages cost memory only once touched.
inline constexpr u64 kFrontEndStackBytes = u64{512} << 20;

// Runs fn on a new thread with `bytes` of stack and waits for it. An exception that
// leaves fn is raised again on the calling thread. Falls back to the calling thread when
// no such thread can be made.
void run_with_stack(u64 bytes, const std::function<void()>& fn);

}  // namespace tesk
