#pragma once
// What a build reads from the file system: every probe (a file read, a directory
// listing, an existence test, a path resolution) with the answer it got, so a later
// build can tell whether any input changed without doing the work again.
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tesk {

enum FsProbeKind : char {
  FS_READ = 'r',     // read_file: digest of the content, "-" when unreadable
  FS_LIST = 'l',     // list_dir: digest of the entry names
  FS_IS_DIR = 'd',   // is_dir: "1" or "0"
  FS_IS_FILE = 'f',  // is_file
  FS_EXISTS = 'e',   // path_exists
  FS_REAL = 'p',     // path_real: the resolved path
};

struct FsProbe {
  char kind = 0;
  std::string path;
  std::string answer;
};

// Probes in the order first made; each kind and path once (the first answer counts,
// so a file that changes while the build reads it never matches again).
class FsRecord {
 public:
  void add(char kind, std::string_view path, std::string answer);
  const std::vector<FsProbe>& probes() const { return probes_; }

 private:
  std::mutex mutex_;
  std::vector<FsProbe> probes_;
  std::unordered_set<std::string> seen_;
};

// Starts sending every probe of util/fs to the record; null stops it.
void fs_record_to(FsRecord* record);
// The record probes go to now, or null.
FsRecord* fs_recording();
// The answer the probe gives now, as FsRecord holds it (nothing is recorded).
std::string fs_probe_answer(char kind, const std::string& path);
// Size and a 128-bit digest of the bytes, as text.
std::string content_digest(std::string_view bytes);

}  // namespace tesk
