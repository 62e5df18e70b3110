#include "util/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace tesk {

bool FileLock::open_file(const std::string& path) {
  unlock();
  // Close-on-exec: the linker and a program started with --run must not inherit it.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool FileLock::try_lock(const std::string& path) {
  if (!open_file(path)) return false;
  int r;
  do {
    r = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r == 0) return true;
  unlock();
  return false;
}

bool FileLock::lock(const std::string& path, bool* waited) {
  *waited = false;
  if (try_lock(path)) return true;
  if (!open_file(path)) return false;
  *waited = true;
  int r;
  do {
    r = ::flock(fd_, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  if (r == 0) return true;
  unlock();
  return false;
}

void FileLock::unlock() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

}  // namespace tesk
