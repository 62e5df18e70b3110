#pragma once
// Packages, their tesk.json configuration, dependencies and namespace lookup.
#include <optional>
#include <string>
#include <string_view>

#include "source/records.h"

namespace tesk {

// Link levels of Package.link_level.
enum LinkLevel : u64 { LINK_LEVEL_NONE = 0, LINK_LEVEL_RUNTIME = 1, LINK_LEVEL_MAIN = 2 };

// What a hosted dependency's `src` starts with.
constexpr std::string_view kHostedPrefix = "github.com/";

Package* new_package(Build* b, std::string_view name);
// Gives the package its directory and reads its tesk.json (required or optional).
void set_package_dir(Package* pkg, const std::string& dir, bool required);

// A configuration file read from disk: `config` null and `invalid` clear when the file
// cannot be read; `invalid` set when it is not valid JSON.
struct ConfigResult {
  PackageConfig* config = nullptr;
  bool invalid = false;
};
ConfigResult read_json_file(Build* b, const std::string& path);

Package* load_dependency(Package* pkg, std::string_view name);

enum class DependencyError { none, notfound, nosrc, noversion, invalidsrc };
struct DependencyResult {
  std::string dir;
  DependencyError error = DependencyError::none;
  std::string message;  // the error's message
  bool ok() const { return error == DependencyError::none; }
};
DependencyResult resolve_dependency(const PackageConfig* config, std::string_view name);
bool valid_version(std::string_view text);
// The relative directory of a namespace; nullopt when the configuration has none.
std::optional<std::string> namespace_dir(const PackageConfig* config, std::string_view name);

Namespace* get_namespace(Package* pkg, std::string_view name);
// get_namespace; a missing namespace is a parse error at the parser, or a build error.
Namespace* get_namespace_checked(Package* pkg, std::string_view name, Parser* parser);
void load_all_namespaces(Package* pkg);

// The tesk.json of the package that holds a file, searching upwards from its directory.
ConfigResult find_package_config(Build* b, std::string_view file_path);
// The namespace whose directory holds the file; nullopt when none does.
std::optional<std::string> namespace_for_dir(const PackageConfig* config, std::string_view file_path);

}  // namespace tesk
