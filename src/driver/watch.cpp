#include "driver/watch.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "driver/build_driver.h"
#include "driver/errors.h"
#include "driver/options.h"
#include "util/errors.h"
#include "util/fs.h"
#include "util/strings.h"

namespace tesk {

namespace {

constexpr u64 kPollMs = 500;
constexpr u64 kScanEvery = 3;  // polls between directory scans

void remove_file_at(WatchState& st, size_t i) {
  st.file_set.erase(st.files[i]);
  st.removed.push_back(st.files[i]);
  st.files.erase(st.files.begin() + static_cast<std::ptrdiff_t>(i));
}

}  // namespace

u64 allocated_bytes() {
  struct mallinfo2 mi = ::mallinfo2();
  return static_cast<u64>(mi.uordblks) + static_cast<u64>(mi.hblkhd);
}

bool WatchHost::mtime(const std::string& path, u64* out) { return file_mtime_ns(path, out); }

std::vector<std::string> WatchHost::list(const std::string& dir) { return list_dir(dir); }

void WatchHost::print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void WatchHost::sleep_ms(u64 ms) {
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void WatchHost::build(WatchState& st, const std::vector<std::string>& args) {
  BuildArgsResult parsed = parse_build_args(args);
  if (!parsed.build) {
    // A plain line, no box: watching goes on with the lists it has.
    print(parsed.error + "\n");
    return;
  }
  std::unique_ptr<Build> b = std::move(parsed.build);
  b->watch_mode = 1;
  try {
    run_build(b.get());
  } catch (const NamedError&) {
    // Its box or parse report was printed when it was raised.
  }
  watch_record_build(st, *b, *this);
}

bool watch_add_file(WatchState& st, const std::string& path) {
  if (!st.file_set.insert(path).second) return false;
  st.files.push_back(path);
  return true;
}

bool watch_add_dir(WatchState& st, const std::string& dir) {
  if (!st.dir_set.insert(dir).second) return false;
  st.dirs.push_back(dir);
  return true;
}

WatchState watch_start(const std::vector<std::string>& args, const std::vector<std::string>& files,
                       const std::optional<std::string>& project_dir) {
  WatchState st;
  for (const std::string& f : files) watch_add_file(st, f);
  if (project_dir) watch_add_dir(st, *project_dir);
  // Like the other raw options, only those before the program's arguments count.
  st.verbose = raw_has_option(args, "-v") || raw_has_option(args, "-vv") || raw_has_option(args, "-vvv");
  return st;
}

void watch_record_build(WatchState& st, const Build& b, WatchHost& host) {
  for (const auto& entry : b.namespace_dirs) watch_add_dir(st, entry.first);
  for (const auto& entry : b.loaded_files) {
    const std::string& path = entry.first;
    watch_add_file(st, path);
    u64 t = 0;
    if (!host.mtime(path, &t)) t = 0;
    st.times[path] = t;
  }
}

bool watch_scan_dirs(WatchState& st, WatchHost& host) {
  size_t before = st.files.size();
  for (size_t i = 0; i < st.removed.size();) {
    const std::string path = st.removed[i];
    u64 t = 0;
    if (st.file_set.count(path)) {
      st.removed.erase(st.removed.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (!host.mtime(path, &t)) {
      i++;
      continue;
    }
    st.removed.erase(st.removed.begin() + static_cast<std::ptrdiff_t>(i));
    watch_add_file(st, path);
    st.times[path] = t;
    host.print("> New file: " + path + "\n");
  }
  for (size_t d = 0; d < st.dirs.size(); d++) {
    const std::string dir = st.dirs[d];
    for (const std::string& name : host.list(dir)) {
      std::string path = path_join(dir, name);
      if (!ends_with(path, ".tesk") || st.file_set.count(path)) continue;
      watch_add_file(st, path);
      u64 t = 0;
      if (!host.mtime(path, &t)) t = 0;
      st.times[path] = t;
      host.print("> New file: " + path + "\n");
    }
  }
  return st.files.size() > before;
}

WatchEvent watch_poll(WatchState& st, u64 t, WatchHost& host) {
  if (t % kScanEvery == 0 && watch_scan_dirs(st, host)) return WatchEvent::new_file;
  for (size_t i = 0; i < st.files.size(); i++) {
    const std::string& path = st.files[i];
    u64 now = 0;
    if (!host.mtime(path, &now)) {
      host.print("> File removed: " + path + "\n");
      remove_file_at(st, i);
      return WatchEvent::removed;
    }
    auto known = st.times.find(path);
    if (known == st.times.end() || known->second != now) {
      st.times[path] = now;
      return WatchEvent::changed;
    }
  }
  return WatchEvent::none;
}

void watch_run(WatchHost& host, const std::vector<std::string>& args, const std::vector<std::string>& files,
               const std::optional<std::string>& project_dir) {
  WatchState st = watch_start(args, files, project_dir);
  for (;;) {
    host.print("> Files changed - build\n");
    if (st.verbose) host.print(cat({"> Watcher memory usage: ", std::to_string(allocated_bytes() >> 20), "mb\n"}));
    // A copy per build: the build may keep and edit its own list.
    host.build(st, std::vector<std::string>(args));
    if (watch_scan_dirs(st, host)) continue;
    if (st.files.empty()) {
      host.print("# No files to watch\n");
      exit_process(1);
    }
    for (u64 t = 0;; t++) {
      if (watch_poll(st, t, host) != WatchEvent::none) break;
      host.sleep_ms(kPollMs);
    }
  }
}

void watch_loop(const std::vector<std::string>& args, const std::vector<std::string>& files,
                const std::optional<std::string>& project_dir) {
  WatchHost host;
  watch_run(host, args, files, project_dir);
}

}  // namespace tesk
