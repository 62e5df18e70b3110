#pragma once
// Files, directories and paths of the host (Linux).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesk {

// Whole-file read; nullopt when the file cannot be read.
std::optional<std::string> read_file(const std::string& path);
bool write_file(const std::string& path, std::string_view content);
bool copy_file(const std::string& from, const std::string& to);
bool path_exists(const std::string& path);
bool is_dir(const std::string& path);
bool is_file(const std::string& path);
// Creates one directory level with mode 0755; true when it exists afterwards.
bool make_dir(const std::string& path);
// Entry names of a directory (no "." or ".."), sorted by bytes so builds are reproducible.
std::vector<std::string> list_dir(const std::string& path);
std::string current_dir();
// "a" + "/" + "b", without doubling the separator.
std::string path_join(std::string_view a, std::string_view b);
// Absolute, with "." and ".." removed; does not touch the file system.
std::string path_resolve(std::string_view path);
// Canonical real path (symlinks resolved); falls back to path_resolve when it does not exist.
std::string path_real(std::string_view path);
// Everything before the last "/" ("" when there is none).
std::string path_dir(std::string_view path);
std::string path_base(std::string_view path);
// The user's home directory ($HOME, then the password database); "" when unknown.
std::string home_dir();
// Directory of the running executable (through /proc/self/exe, symlinks resolved).
std::string executable_dir();
// The runtime library directory: executable directory + "/lib", resolved.
std::string compiler_lib_dir();
// Nanoseconds since 1970 of the last write; false when the path cannot be read.
bool file_mtime_ns(const std::string& path, uint64_t* out);
// True when the file's bytes equal the text.
bool file_equals(const std::string& path, std::string_view text);
// Size in bytes of a regular file; nullopt when it is missing or not a file.
std::optional<uint64_t> file_size(const std::string& path);
// Removes a file; true when it is gone afterwards (also when it never existed).
bool remove_file(const std::string& path);
// Replaces `to` by `from` in one step (same file system).
bool rename_file(const std::string& from, const std::string& to);
// Writes a copy of `from` to `to` through a temporary name, so `to` is either the
// old file, absent, or the complete copy.
bool copy_file_atomic(const std::string& from, const std::string& to);
// The same for a text: `path` is either the old file, absent, or the whole text.
bool write_file_atomic(const std::string& path, std::string_view content);
// Identity of a file as the file system keeps it (device, inode, size, times): any
// rewrite, copy or replacement changes it; "-" when it cannot be read.
std::string file_identity(const std::string& path);
// Wall clock in microseconds.
uint64_t now_us();

}  // namespace tesk
