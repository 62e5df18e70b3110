#pragma once
// Build options: the Build record from the command line, the target, the
// compile-time variables, the cache key and directory, and the output path.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/build.h"

namespace tesk {

// The system and architecture this compiler runs on.
std::string_view host_os();
std::string_view host_arch();

struct BuildArgsResult {
  std::unique_ptr<Build> build;  // null on error
  std::string error;             // the "error" message when there is no build
};

// Makes the Build of `build`, `doc`, the shortcut, the watcher and the language server.
// Usage, option-count and target errors end the process themselves.
BuildArgsResult parse_build_args(const std::vector<std::string>& args);
BuildArgsResult parse_build_args(const std::vector<std::string>& args, std::string_view host_os,
                                 std::string_view host_arch);

// Target named by "--target", or the host's; an unsupported name ends the process.
Target parse_target(const CliArgs& cli, std::string_view host_os, std::string_view host_arch);
Target parse_target(const CliArgs& cli);

// Fills Build.defines: OS, ARCH, TEST, STATIC, GC_DEBUG, DEBUG, then every "--def".
void set_compile_conditions(Build* b, const CliArgs& cli);

// Index of the first "--" that separates the program's arguments (not the value of
// an option that takes one); the list size when there is none.
size_t separator_index(const std::vector<std::string>& args);
// Whether the option stands in the list before that separator.
bool raw_has_option(const std::vector<std::string>& args, std::string_view option);

struct CacheKeyInput {
  std::string_view project_dir;
  const Target* target = nullptr;
  bool optimise = true;
  bool debug = false;
  bool test = false;
  bool release = false;
  std::string_view first_def;                   // "" when there is none
  const std::vector<std::string>* files = nullptr;  // null leaves the files out (--lsp)
};
std::string build_cache_key(const CacheKeyInput& in);
// Creates home/.tesk/cache/<name_hash_text(key)>; returns "" and sets *dir, or the error.
std::string create_cache_dir(std::string_view key, std::string_view home, std::string* dir);

// "-o" (or cache_dir/out) with the suffix of the mode and target system.
std::string build_output_path(const std::optional<std::string>& given, std::string_view cache_dir, u64 mode,
                              std::string_view target_os);

}  // namespace tesk
