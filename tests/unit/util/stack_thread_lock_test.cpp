// Threads with a large reserved stack, and the cache-directory lock.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "util/file_lock.h"
#include "util/fs.h"
#include "util/stack_thread.h"

namespace tesk {
namespace {

// Each level keeps 4 KiB live on the stack, so the depth sets the stack used.
size_t deep(size_t levels) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(levels);
  frame[4095] = 1;
  if (levels == 0) return frame[4095];
  return deep(levels - 1) + static_cast<size_t>(frame[4095]);
}

TEST(StackThread, BodyRunsOnAStackFarBeyondTheDefault) {
  // 64 MiB of frames: eight times the usual 8 MiB thread stack.
  size_t result = 0;
  StackThread t;
  ASSERT_TRUE(t.start(size_t{128} << 20, [&] { result = deep(16 * 1024); }));
  EXPECT_TRUE(t.joinable());
  t.join();
  EXPECT_FALSE(t.joinable());
  EXPECT_EQ(result, 16u * 1024 + 1);
}

TEST(StackThread, MovedThreadsAreJoinedOnceAndManyLargeStacksFit) {
  // Sixteen 512 MiB stacks (8 GiB of address space) cost only what they touch.
  std::atomic<int> ran{0};
  std::vector<StackThread> threads;
  for (int i = 0; i < 16; i++) {
    StackThread t;
    ASSERT_TRUE(t.start(size_t{512} << 20, [&ran] { ran++; }));
    threads.push_back(std::move(t));
    EXPECT_FALSE(t.joinable());
  }
  for (StackThread& t : threads) t.join();
  EXPECT_EQ(ran.load(), 16);
  // A thread left running is joined when its handle goes away.
  std::atomic<bool> done{false};
  {
    StackThread t;
    ASSERT_TRUE(t.start(size_t{1} << 20, [&done] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      done = true;
    }));
  }
  EXPECT_TRUE(done.load());
}

std::string temp_lock_path() {
  char tmpl[] = "/tmp/tesk-lock-XXXXXX";
  EXPECT_NE(::mkdtemp(tmpl), nullptr);
  return path_join(tmpl, "build.lock");
}

TEST(FileLock, SecondHolderWaitsUntilTheFirstLetsGo) {
  std::string path = temp_lock_path();
  FileLock first;
  bool waited = true;
  ASSERT_TRUE(first.lock(path, &waited));
  EXPECT_FALSE(waited);
  EXPECT_TRUE(is_file(path));

  FileLock probe;
  EXPECT_FALSE(probe.try_lock(path));
  EXPECT_FALSE(probe.held());

  std::atomic<bool> second_has_it{false};
  bool second_waited = false;
  std::thread other([&] {
    FileLock second;
    EXPECT_TRUE(second.lock(path, &second_waited));
    second_has_it = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(second_has_it.load());
  first.unlock();
  other.join();
  EXPECT_TRUE(second_has_it.load());
  EXPECT_TRUE(second_waited);
  // The second holder's handle is gone, so the lock is free again.
  EXPECT_TRUE(probe.try_lock(path));
}

TEST(FileLock, ChildProcessesDoNotKeepTheLock) {
  // The linker and a program started with --run outlive the moment a build lets go
  // of the lock; a descriptor they inherited would keep it held.
  std::string path = temp_lock_path();
  FileLock lock;
  bool waited = false;
  ASSERT_TRUE(lock.lock(path, &waited));
  pid_t child = 0;
  char sleep_name[] = "sleep";
  char seconds[] = "5";
  char* argv[] = {sleep_name, seconds, nullptr};
  ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
  lock.unlock();
  FileLock next;
  EXPECT_TRUE(next.try_lock(path));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST(FileLock, MissingDirectoryFailsWithoutHoldingAnything) {
  FileLock lock;
  bool waited = false;
  EXPECT_FALSE(lock.lock("/nonexistent-dir-for-tesk/build.lock", &waited));
  EXPECT_FALSE(lock.held());
  EXPECT_FALSE(waited);
}

}  // namespace
}  // namespace tesk
