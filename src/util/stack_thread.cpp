#include "util/stack_thread.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

namespace tesk {

namespace {

void* thread_main(void* arg) {
  (*static_cast<std::function<void()>*>(arg))();
  return nullptr;
}

}  // namespace

StackThread::StackThread(StackThread&& other) noexcept { *this = std::move(other); }

StackThread& StackThread::operator=(StackThread&& other) noexcept {
  if (this == &other) return *this;
  join();
  thread_ = other.thread_;
  running_ = std::exchange(other.running_, false);
  stack_ = std::exchange(other.stack_, nullptr);
  mapped_ = std::exchange(other.mapped_, 0);
  body_ = std::exchange(other.body_, nullptr);
  return *this;
}

StackThread::~StackThread() { join(); }

bool StackThread::start(size_t stack_bytes, std::function<void()> body) {
  join();
  size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  size_t usable = (stack_bytes + page - 1) / page * page;
  mapped_ = usable + page;
  // MAP_NORESERVE: no commit charge for the whole size, only for touched pages.
  stack_ = ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK,
                  -1, 0);
  if (stack_ == MAP_FAILED) {
    stack_ = nullptr;
    mapped_ = 0;
    return false;
  }
  // The lowest page stays inaccessible, so an overflow faults instead of writing
  // into a neighbouring mapping.
  if (::mprotect(stack_, page, PROT_NONE) != 0) {
    release();
    return false;
  }
  body_ = new std::function<void()>(std::move(body));
  pthread_attr_t attr;
  if (::pthread_attr_init(&attr) != 0) {
    release();
    return false;
  }
  bool ok = ::pthread_attr_setstack(&attr, static_cast<char*>(stack_) + page, usable) == 0 &&
            ::pthread_create(&thread_, &attr, thread_main, body_) == 0;
  ::pthread_attr_destroy(&attr);
  if (!ok) {
    release();
    return false;
  }
  running_ = true;
  return true;
}

void StackThread::join() {
  if (running_) {
    ::pthread_join(thread_, nullptr);
    running_ = false;
  }
  release();
}

void StackThread::release() {
  delete body_;
  body_ = nullptr;
  if (stack_) ::munmap(stack_, mapped_);
  stack_ = nullptr;
  mapped_ = 0;
}

}  // namespace tesk
