#include "util/stack.h"

#include <exception>

#include "util/stack_thread.h"

namespace tesk {

void run_with_stack(u64 bytes, const std::function<void()>& fn) {
  std::exception_ptr error;
  StackThread thread;
  const bool started = thread.start(bytes, [&] {
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
  });
  if (!started) {
    fn();
    return;
  }
  thread.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace tesk
