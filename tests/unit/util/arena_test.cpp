#include "util/arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tesk {

namespace {

// VmFlags of the mapping holding `p`, from /proc/self/smaps; empty when not found.
std::string vm_flags_of(const void* p) {
  std::ifstream in("/proc/self/smaps");
  std::string line;
  bool inside = false;
  auto at = reinterpret_cast<uintptr_t>(p);
  while (std::getline(in, line)) {
    uintptr_t lo = 0, hi = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> lo >> dash >> hi && dash == '-') {
      inside = at >= lo && at < hi;
      continue;
    }
    if (inside && line.rfind("VmFlags:", 0) == 0) return line;
  }
  return "";
}

bool huge_pages_on_request() {
  std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string modes;
  std::getline(in, modes);
  return modes.find("[never]") == std::string::npos && !modes.empty();
}

}  // namespace

// The heap a thread's arena blocks come from is marked for huge pages, on a thread as the
// front end runs.
TEST(Arena, AsksForHugePagesOnTheHeapOfItsBlocks) {
  if (!huge_pages_on_request()) GTEST_SKIP() << "no transparent huge pages on this kernel";
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the sanitizer's allocator is left as it is";
#endif
#endif
  std::string flags;
  std::thread t([&] {
    Arena a;
    void* p = a.alloc(64);
    flags = vm_flags_of(p);
  });
  t.join();
  ASSERT_FALSE(flags.empty());
  EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;
}

}  // namespace tesk
