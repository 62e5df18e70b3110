// run_with_stack: the body runs on the large stack and its exceptions reach the caller.
#include <gtest/gtest.h>

#include <stdexcept>

#include "util/stack.h"

namespace tesk {
namespace {

// 4 KiB of frame per level, live across the call: the depth sets the stack used.
size_t deep_frames(size_t n) {
  volatile char pad[4096];
  pad[0] = static_cast<char>(n);
  pad[4095] = 1;
  if (n == 0) return 0;
  size_t below = deep_frames(n - 1);
  return below + pad[4095];
}

TEST(RunWithStack, FrontEndStackHoldsFarMoreThanTheDefault) {
  // 128 MiB of frames, sixteen times the usual 8 MiB main-thread stack.
  size_t levels = 0;
  run_with_stack(kFrontEndStackBytes, [&] { levels = deep_frames(32 * 1024); });
  EXPECT_EQ(levels, 32u * 1024);
}

TEST(RunWithStack, ExceptionsReachTheCaller) {
  struct Marker {
    int code;
  };
  try {
    run_with_stack(kFrontEndStackBytes, [] { throw Marker{7}; });
    FAIL() << "no exception";
  } catch (const Marker& m) {
    EXPECT_EQ(m.code, 7);
  }
  EXPECT_THROW(run_with_stack(kFrontEndStackBytes, [] { throw std::runtime_error("x"); }), std::runtime_error);
}

}  // namespace
}  // namespace tesk
