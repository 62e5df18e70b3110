#include "util/fs.h"

#include "util/fs_record.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace tesk {

namespace {

std::optional<std::string> read_whole_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string out;
  out.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  for (;;) {
    if (got == out.size()) out.resize(out.size() * 2 + 4096);
    ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  out.resize(got);
  return out;
}

// "1" or "0" for a recorded test.
std::string yes_no(bool b) { return b ? "1" : "0"; }

}  // namespace

std::optional<std::string> read_file(const std::string& path) {
  std::optional<std::string> out = read_whole_file(path);
  if (FsRecord* r = fs_recording()) r->add(FS_READ, path, out ? content_digest(*out) : "-");
  return out;
}

bool write_file(const std::string& path, std::string_view content) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok;
}

bool copy_file(const std::string& from, const std::string& to) {
  auto data = read_whole_file(from);
  return data && write_file(to, *data);
}

std::optional<uint64_t> file_size(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool rename_file(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool copy_file_atomic(const std::string& from, const std::string& to) {
  std::string tmp = to + ".tmp";
  if (copy_file(from, tmp) && rename_file(tmp, to)) return true;
  remove_file(tmp);
  return false;
}

bool write_file_atomic(const std::string& path, std::string_view content) {
  std::string tmp = path + ".tmp";
  if (write_file(tmp, content) && rename_file(tmp, path)) return true;
  remove_file(tmp);
  return false;
}

bool path_exists(const std::string& path) {
  struct stat st;
  bool yes = ::stat(path.c_str(), &st) == 0;
  if (FsRecord* r = fs_recording()) r->add(FS_EXISTS, path, yes_no(yes));
  return yes;
}

bool is_dir(const std::string& path) {
  struct stat st;
  bool yes = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (FsRecord* r = fs_recording()) r->add(FS_IS_DIR, path, yes_no(yes));
  return yes;
}

bool is_file(const std::string& path) {
  struct stat st;
  bool yes = ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  if (FsRecord* r = fs_recording()) r->add(FS_IS_FILE, path, yes_no(yes));
  return yes;
}

bool make_dir(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  return is_dir(path);
}

std::vector<std::string> list_dir(const std::string& path) {
  std::vector<std::string> names;
  DIR* d = ::opendir(path.c_str());
  if (!d) return names;
  while (struct dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names.emplace_back(e->d_name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  if (FsRecord* r = fs_recording()) {
    std::string all;
    for (const std::string& n : names) {
      all += n;
      all += '\0';
    }
    r->add(FS_LIST, path, content_digest(all));
  }
  return names;
}

std::string current_dir() {
  char buf[PATH_MAX];
  if (!::getcwd(buf, sizeof buf)) return "/";
  return buf;
}

std::string path_join(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string r(a);
  if (r.back() != '/') r.push_back('/');
  while (!b.empty() && b.front() == '/') b.remove_prefix(1);
  r.append(b);
  return r;
}

std::string path_resolve(std::string_view path) {
  std::string full = (!path.empty() && path[0] == '/') ? std::string(path) : path_join(current_dir(), path);
  std::vector<std::string_view> parts;
  std::string_view rest = full;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (auto p : parts) {
    out.push_back('/');
    out.append(p);
  }
  return out.empty() ? "/" : out;
}

std::string path_real(std::string_view path) {
  std::string abs = path_resolve(path);
  char buf[PATH_MAX];
  std::string real = ::realpath(abs.c_str(), buf) ? std::string(buf) : abs;
  if (FsRecord* r = fs_recording()) r->add(FS_REAL, abs, real);
  return real;
}

std::string path_dir(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return "";
  return std::string(path.substr(0, slash));
}

std::string path_base(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string home_dir() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (struct passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "";
}

std::string executable_dir() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return current_dir();
  buf[n] = 0;
  return path_dir(path_real(buf));
}

std::string compiler_lib_dir() { return path_real(path_join(executable_dir(), "lib")); }

bool file_mtime_ns(const std::string& path, uint64_t* out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  *out = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull + static_cast<uint64_t>(st.st_mtim.tv_nsec);
  return true;
}

bool file_equals(const std::string& path, std::string_view text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || static_cast<uint64_t>(st.st_size) != text.size()) {
    ::close(fd);
    return false;
  }
  char buf[10240];
  size_t done = 0;
  bool equal = true;
  while (done < text.size()) {
    ssize_t n = ::read(fd, buf, std::min(sizeof buf, text.size() - done));
    if (n < 0 && errno == EINTR) continue;
    // A file that shrank after its size was read, or a failed read, is not equal.
    if (n <= 0 || std::memcmp(buf, text.data() + done, static_cast<size_t>(n)) != 0) {
      equal = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return equal;
}

uint64_t now_us() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

std::string file_identity(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return "-";
  char buf[160];
  std::snprintf(buf, sizeof buf, "%llu:%llu:%llu:%lld.%09ld:%lld.%09ld", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long long>(st.st_size),
                static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec,
                static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec);
  return buf;
}


}  // namespace tesk
