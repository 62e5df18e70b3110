#pragma once
// A thread with a stack of a chosen size. The stack is address space reserved
// without commit charge: pages become memory only when the thread touches them.
#include <pthread.h>

#include <cstddef>
#include <functional>

namespace tesk {

class StackThread {
 public:
  StackThread() = default;
  StackThread(StackThread&& other) noexcept;
  StackThread& operator=(StackThread&& other) noexcept;
  StackThread(const StackThread&) = delete;
  StackThread& operator=(const StackThread&) = delete;
  // A thread still running here is joined: it reads state owned by its starter.
  ~StackThread();

  // Starts body on a new thread with stack_bytes of stack (rounded up to pages).
  // False when the stack cannot be reserved or the thread cannot be created.
  bool start(size_t stack_bytes, std::function<void()> body);
  bool joinable() const { return running_; }
  // Waits for the thread to end and releases its stack.
  void join();

 private:
  pthread_t thread_{};
  bool running_ = false;
  void* stack_ = nullptr;  // mapping, guard page included
  size_t mapped_ = 0;
  std::function<void()>* body_ = nullptr;
  void release();
};

}  // namespace tesk
