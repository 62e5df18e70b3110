#include "source/packages.h"

#include <cstdio>

#include "driver/build.h"
#include "driver/errors.h"
#include "source/parse_error.h"
#include "source/units.h"
#include "tools/json.h"
#include "util/fs.h"
#include "util/strings.h"

namespace tesk {

namespace {

// The configuration's value under key; a missing key reads as null.
const JsonValue& config_member(const PackageConfig* config, std::string_view key) {
  return json_member(*config->json, key);
}

}  // namespace

Package* new_package(Build* b, std::string_view name) {
  Package* pkg = b->make<Package>();
  pkg->build = b;
  pkg->name = std::string(name);
  return pkg;
}

void set_package_dir(Package* pkg, const std::string& dir, bool required) {
  Build* b = pkg->build;
  if (b->packages.contains(dir)) build_error(b, "Build error: There 2 packages with the same directory: " + dir);
  log_detail(b, "> Set package directory: " + dir);
  pkg->dir = dir;
  b->packages.set(dir, pkg);
  std::string path = path_join(dir, "tesk.json");
  log_detail(b, "> Load package config: " + path);
  ConfigResult r = read_json_file(b, path);
  if (r.invalid) build_error(b, "Invalid json syntax: " + path);
  if (!r.config && required) build_error(b, "Package config not found: " + path);
  pkg->config = r.config;
}

ConfigResult read_json_file(Build* b, const std::string& path) {
  ConfigResult r;
  std::optional<std::string> text = read_file(path);
  if (!text) return r;
  JsonParseResult parsed = json_parse(*text);
  if (!parsed.ok()) {
    r.invalid = true;
    return r;
  }
  PackageConfig* config = b->make<PackageConfig>();
  config->json = parsed.value;
  config->path = path;
  config->dir = path_dir(path);
  r.config = config;
  return r;
}

Package* load_dependency(Package* pkg, std::string_view name) {
  Build* b = pkg->build;
  std::string dir;
  if (name == "tesk") {
    dir = compiler_lib_dir();
  } else {
    if (!pkg->config) build_error(b, cat({"Cannot load package '", name, "', missing config file"}));
    DependencyResult r = resolve_dependency(pkg->config, name);
    switch (r.error) {
      case DependencyError::none:
        break;
      case DependencyError::nosrc:
        build_error(b, cat({"The package named '", name, "' has no valid 'src' defined in your dependencies"}));
      case DependencyError::noversion:
        build_error(b, cat({"The package named '", name, "' has no valid 'version' defined in your dependencies"}));
      case DependencyError::invalidsrc:
        build_error(b, r.message);
      case DependencyError::notfound:
        build_error(b, cat({"No package named '", name, "' found in your dependencies"}));
    }
    dir = r.dir;
    if (!is_dir(dir)) build_error(b, "Have you installed all your dependencies? Package directory not found: " + dir);
  }
  // One directory is one package, whatever path leads to it.
  dir = path_real(dir);
  Package* dep;
  if (Package** found = b->packages.find(dir)) {
    dep = *found;
  } else {
    log_detail(b, "> Creating package for directory: " + dir);
    dep = new_package(b, name);
    set_package_dir(dep, dir, true);
  }
  if (name != "tesk" && pkg->link_level > dep->link_level) dep->link_level = pkg->link_level;
  return dep;
}

DependencyResult resolve_dependency(const PackageConfig* config, std::string_view name) {
  DependencyResult r;
  const JsonValue& entry = json_member(config_member(config, "dependencies"), name);
  if (entry.kind == JSON_NULL) {
    r.error = DependencyError::notfound;
    r.message = "notfound";
    return r;
  }
  std::string src = json_string_value(json_member(entry, "src"));
  if (src.empty()) {
    r.error = DependencyError::nosrc;
    r.message = "nosrc";
    return r;
  }
  if (starts_with(src, ".")) {
    r.dir = path_join(config->dir, src);
    return r;
  }
  if (starts_with(src, kHostedPrefix)) {
    std::string version = json_string_value(json_member(entry, "version"));
    if (!valid_version(version)) {
      r.error = DependencyError::noversion;
      r.message = "noversion";
      return r;
    }
    std::string flat = src;
    for (char& c : flat)
      if (c == '/') c = '.';
    r.dir = path_join(path_join(path_join(config->dir, "vendor"), flat), version);
    return r;
  }
  r.error = DependencyError::invalidsrc;
  r.message = cat({"Invalid depedency 'src' for '", name,
                   "'. It should start with '.' for a directory, or with '", kHostedPrefix,
                   "' for a hosted package"});
  return r;
}

bool valid_version(std::string_view text) {
  int parts = 0;
  size_t start = 0;
  for (;;) {
    size_t dot = text.find('.', start);
    std::string_view part = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (part.empty()) return false;
    for (char c : part)
      if (c < '0' || c > '9') return false;
    parts++;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts == 3;
}

std::optional<std::string> namespace_dir(const PackageConfig* config, std::string_view name) {
  if (!config) return std::nullopt;
  std::string dir = json_string_value(json_member(config_member(config, "namespaces"), name));
  if (dir.empty()) return std::nullopt;
  return dir;
}

Namespace* get_namespace(Package* pkg, std::string_view name) {
  if (Namespace** found = pkg->namespaces.find(name)) return *found;
  std::optional<std::string> rel = namespace_dir(pkg->config, name);
  if (!rel) return nullptr;
  Build* b = pkg->build;
  std::string dir = path_real(path_join(pkg->dir.empty() ? std::string(".") : pkg->dir, *rel));
  if (b->namespace_dirs.contains(dir)) {
    build_error(b, cat({"There are 2 namespaces pointing to the same directory. Namespace: '", pkg->name, ":", name,
                        "' | Directory: ", dir}));
  }
  log_detail(b, cat({"> Init namespace: ", name, " => ", dir}));
  Unit* unit = unit_for_namespace(b, name, dir);
  Namespace* ns = new_namespace(pkg, name, dir, unit);
  b->namespace_dirs.set(dir, ns);
  pkg->namespaces.set(name, ns);
  load_source_dir(ns, unit);
  return ns;
}

Namespace* get_namespace_checked(Package* pkg, std::string_view name, Parser* parser) {
  Namespace* ns = get_namespace(pkg, name);
  if (ns) return ns;
  std::string msg = cat({"Package '", pkg->name, "' has no namespace named '", name, "'"});
  if (parser) parse_error(parser, msg);
  build_error(pkg->build, msg);
}

void load_all_namespaces(Package* pkg) {
  if (!pkg->config) return;
  const JsonValue& spaces = config_member(pkg->config, "namespaces");
  if (spaces.kind != JSON_OBJECT || !spaces.members) return;
  for (const auto& entry : *spaces.members) get_namespace_checked(pkg, entry.first, nullptr);
}

ConfigResult find_package_config(Build* b, std::string_view file_path) {
  std::string dir = path_dir(path_real(file_path));
  for (;;) {
    std::string path = path_join(dir.empty() ? "/" : dir, "tesk.json");
    if (is_file(path)) return read_json_file(b, path);
    if (dir.empty() || dir == "/") return ConfigResult{};
    dir = path_dir(dir);
  }
}

std::optional<std::string> namespace_for_dir(const PackageConfig* config, std::string_view file_path) {
  const JsonValue& spaces = config_member(config, "namespaces");
  if (spaces.kind != JSON_OBJECT || !spaces.members) return std::nullopt;
  std::string file = path_real(file_path);
  for (const auto& [name, value] : *spaces.members) {
    std::string rel = value ? json_string_value(*value) : std::string();
    if (rel.empty()) continue;
    std::string dir = path_real(path_join(config->dir, rel));
    if (dir.back() != '/') dir += '/';
    if (starts_with(file, dir)) return name;
  }
  return std::nullopt;
}

}  // namespace tesk
