#include "util/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace tesk {

namespace {

std::vector<char*> c_argv(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  out.reserve(argv.size() + 1);
  for (auto& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

int wait_code(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

const char* kExecFailed = "Exec failed to open process";

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, bool echo) {
  ProcessResult r;
  if (argv.empty()) {
    r.output = kExecFailed;
    return r;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    r.output = kExecFailed;
    return r;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
  auto args = c_argv(argv);
  pid_t pid = 0;
  int rc = ::posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    r.output = kExecFailed;
    return r;
  }
  char buf[1023];
  for (;;) {
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    r.output.append(buf, static_cast<size_t>(n));
    if (echo) {
      std::fwrite(buf, 1, static_cast<size_t>(n), stdout);
      std::fflush(stdout);
    }
  }
  ::close(fds[0]);
  r.exit_code = wait_code(pid);
  return r;
}

int run_process_inherit(const std::vector<std::string>& argv) {
  if (argv.empty()) return 1;
  std::fflush(stdout);
  std::fflush(stderr);
  auto args = c_argv(argv);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
    std::fprintf(stderr, "%s\n", kExecFailed);
    return 1;
  }
  return wait_code(pid);
}

}  // namespace tesk
