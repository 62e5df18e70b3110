#include "util/stack.h"

#include <pthread.h>

#include <exception>

namespace tesk {

namespace {

struct StackTask {
  const std::function<void()>* fn = nullptr;
  std::exception_ptr error;
};

void* run_task(void* arg) {
  auto* task = static_cast<StackTask*>(arg);
  try {
    (*task->fn)();
  } catch (...) {
    task->error = std::current_exception();
  }
  return nullptr;
}

}  // namespace

void run_with_stack(u64 bytes, const std::function<void()>& fn) {
  StackTask task;
  task.fn = &fn;
  pthread_attr_t attr;
  pthread_t thread;
  bool started = false;
  if (pthread_attr_init(&attr) == 0) {
    started = pthread_attr_setstacksize(&attr, bytes) == 0 && pthread_create(&thread, &attr, run_task, &task) == 0;
    pthread_attr_destroy(&attr);
  }
  if (!started) {
    fn();
    return;
  }
  pthread_join(thread, nullptr);
  if (task.error) std::rethrow_exception(task.error);
}

}  // namespace tesk
