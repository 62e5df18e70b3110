#pragma once
// The file watcher: builds, then rebuilds whenever a source file changes, disappears,
// or a new .tesk file shows up in a watched directory.
//
// The decisions (what to watch, whether a poll found something) are free functions
// over a WatchState and a WatchHost, so tests can drive them with a fake file system
// and a fake clock; only the host sleeps, prints and builds.
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "driver/build.h"

namespace tesk {

// What the watcher keeps for the whole process; the builds come and go.
struct WatchState {
  std::vector<std::string> files;                // watch list, in order, no duplicates
  std::unordered_set<std::string> file_set;      // index of `files`
  std::vector<std::string> dirs;                 // directory list, in order, no duplicates
  std::unordered_set<std::string> dir_set;       // index of `dirs`
  std::unordered_map<std::string, u64> times;    // path -> modification time in ns (0: unreadable)
  // Files reported as removed, in order: one that is there again is watched again,
  // whether or not a watched directory holds it.
  std::vector<std::string> removed;
  bool verbose = false;                          // "-v", "-vv" or "-vvv" on the command line
};

// Everything the watcher does to the outside world. The defaults are the real ones.
struct WatchHost {
  virtual ~WatchHost() = default;
  // Modification time in ns since 1970; false when it cannot be read.
  virtual bool mtime(const std::string& path, u64* out);
  // Entry names of a directory (not recursive).
  virtual std::vector<std::string> list(const std::string& dir);
  virtual void print(std::string_view text);
  // Flushes the output first, so a watcher that is killed loses nothing.
  virtual void sleep_ms(u64 ms);
  // One build from the argument list; records what it loaded into the state.
  virtual void build(WatchState& st, const std::vector<std::string>& args);
};

// The lists at start: the .tesk files of the command line and its project directory.
WatchState watch_start(const std::vector<std::string>& args, const std::vector<std::string>& files,
                       const std::optional<std::string>& project_dir);
// Appends when not yet listed; true when it was added.
bool watch_add_file(WatchState& st, const std::string& path);
bool watch_add_dir(WatchState& st, const std::string& dir);

// After a build: its namespace directories and loaded files join the lists, and the
// current time of every loaded file is recorded.
void watch_record_build(WatchState& st, const Build& b, WatchHost& host);

// Lists every watched directory and looks for removed files that are back; new .tesk
// files and those that came back join the watch list with their time and are
// announced. True when the watch list grew.
bool watch_scan_dirs(WatchState& st, WatchHost& host);

enum class WatchEvent { none, new_file, removed, changed };
// Poll number t (from 0): a directory scan on every third poll, then the first
// watched file that is gone or has a new time. Anything but `none` means rebuild.
WatchEvent watch_poll(WatchState& st, u64 t, WatchHost& host);

// Builds, polls every 500 ms and rebuilds on any change. Ends the process only when
// nothing is left to watch (exit 1) or a build with --run ran its program.
[[noreturn]] void watch_run(WatchHost& host, const std::vector<std::string>& args,
                            const std::vector<std::string>& files, const std::optional<std::string>& project_dir);
// The watcher of the command line: `args` has the watch options removed already.
[[noreturn]] void watch_loop(const std::vector<std::string>& args, const std::vector<std::string>& files,
                             const std::optional<std::string>& project_dir);

// Bytes the allocator currently hands out (for the verbose memory line).
u64 allocated_bytes();

}  // namespace tesk
