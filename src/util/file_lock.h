#pragma once
// An exclusive advisory lock on a file (flock). The kernel drops it when the holder's
// descriptor closes, so a process that dies, however it dies, never leaves it held.
#include <string>

namespace tesk {

class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { unlock(); }

  // Creates the file when missing and takes the lock, waiting while another holder
  // has it; *waited tells whether it had to wait. False when the file cannot be opened
  // or locked.
  bool lock(const std::string& path, bool* waited);
  // Takes the lock only when it is free at once; false when it is held elsewhere.
  bool try_lock(const std::string& path);
  void unlock();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  bool open_file(const std::string& path);
};

}  // namespace tesk
