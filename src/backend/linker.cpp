#include "backend/linker.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_set>

#include "backend/llvm_object.h"
#include "driver/errors.h"
#include "source/records.h"
#include "tools/json.h"
#include "util/fs.h"
#include "util/process.h"
#include "util/strings.h"

namespace tesk {

namespace {

// Appends a fragment to both forms of the command. The text is what the user sees;
// the argument vector is what runs, so no value is ever read by a shell.
void push_words(LinkCommand* cmd, std::string_view words) {
  while (!words.empty()) {
    size_t blank = words.find(' ');
    std::string_view w = words.substr(0, blank);
    if (!w.empty()) cmd->argv.emplace_back(w);
    if (blank == std::string_view::npos) break;
    words.remove_prefix(blank + 1);
  }
}

// Fixed flags such as "-m elf_x86_64 ".
void raw(LinkCommand* cmd, std::string_view fragment) {
  cmd->text += fragment;
  push_words(cmd, fragment);
}

// prefix + the value in double quotes + " ". A prefix that ends in a blank is its
// own argument(s); otherwise it is glued to the value ("-L" + dir).
void quoted(LinkCommand* cmd, std::string_view prefix, std::string_view value) {
  cmd->text += prefix;
  cmd->text += '"';
  cmd->text += value;
  cmd->text += "\" ";
  if (prefix.empty() || prefix.back() == ' ') {
    push_words(cmd, prefix);
    cmd->argv.emplace_back(value);
    return;
  }
  size_t blank = prefix.rfind(' ');
  std::string_view glued = prefix;
  if (blank != std::string_view::npos) {
    push_words(cmd, prefix.substr(0, blank));
    glued = prefix.substr(blank + 1);
  }
  cmd->argv.push_back(std::string(glued) + std::string(value));
}

// An object path as it stands (shown without quotes, one argument whatever it holds).
void plain(LinkCommand* cmd, std::string_view path) {
  cmd->text += path;
  cmd->text += ' ';
  cmd->argv.emplace_back(path);
}

void strip_newlines(std::string* s) {
  while (!s->empty() && (s->back() == '\n' || s->back() == '\r')) s->pop_back();
  size_t i = 0;
  while (i < s->size() && ((*s)[i] == '\n' || (*s)[i] == '\r')) i++;
  s->erase(0, i);
}

// "12.2.0" before "9": version directories compared part by part as numbers.
bool newer_version(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    unsigned long x = std::strtoul(a.c_str() + i, nullptr, 10);
    unsigned long y = std::strtoul(b.c_str() + j, nullptr, 10);
    if (x != y) return x > y;
    i = a.find('.', i);
    j = b.find('.', j);
    i = i == std::string::npos ? a.size() : i + 1;
    j = j == std::string::npos ? b.size() : j + 1;
  }
  return false;
}

// The file in the newest version directory under the first of dirs that has it, or "".
std::string newest_versioned_file(const std::vector<std::string>& dirs, const std::string& file) {
  for (const std::string& dir : dirs) {
    std::vector<std::string> versions = list_dir(dir);
    std::sort(versions.begin(), versions.end(), newer_version);
    for (const std::string& v : versions) {
      std::string path = path_join(path_join(dir, v), file);
      if (is_file(path)) return path;
    }
  }
  return "";
}

// The GNU triple of this machine's toolchain directories for a Linux target.
const char* gnu_triple(const Target& t) {
  if (t.arch == "x64") return "x86_64-linux-gnu";
  if (t.arch == "arm64") return "aarch64-linux-gnu";
  return nullptr;
}

}  // namespace

void supply_linux_files(const std::string& runtime_dir, const Target& t) {
  const char* triple = gnu_triple(t);
  if (t.os != "linux" || !triple || runtime_dir.empty()) return;
  std::string dir = path_join(path_join(runtime_dir, "libs"), t.name);
  auto supply = [&](const std::string& name, const std::string& found) {
    std::string link = path_join(dir, name);
    if (path_exists(link) || found.empty()) return;  // present, or nothing to offer
    if (!make_dir(path_join(runtime_dir, "libs")) || !make_dir(dir)) return;
    // Made under another name and renamed over a broken link: builds that link at
    // the same time never see a half-made one.
    std::string tmp = link + ".tmp" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    if (::symlink(found.c_str(), tmp.c_str()) != 0 || !rename_file(tmp, link)) ::unlink(tmp.c_str());
  };
  std::string gnu(triple);
  // GCC's start files lie in its versioned directory, outside the library directories.
  std::vector<std::string> gcc_dirs = {"/usr/lib/gcc/" + gnu, "/usr/lib/gcc-cross/" + gnu, "/usr/lib64/gcc/" + gnu};
  for (const char* file : {"crtbeginS.o", "crtendS.o"}) supply(file, newest_versioned_file(gcc_dirs, file));
  // A cross target's C library (start files, libc, the loader): the runtime
  // package's link directories name it as libs/<target>/sysroot.
  if (!is_native(t)) {
    for (const std::string& lib_dir : {"/usr/" + gnu + "/lib", "/usr/lib/" + gnu}) {
      if (is_file(path_join(lib_dir, "crti.o"))) {
        supply("sysroot", lib_dir);
        break;
      }
    }
  }
}

bool is_native(const Target& t) { return t.os == t.host_os && t.arch == t.host_arch; }

std::string lld_alias(const std::string& os) {
  if (os == "linux") return "ld.lld";
  if (os == "macos") return "ld64.lld";
  if (os == "win") return "lld-link";
  return "";
}

std::vector<std::string> link_directories(LinkInputs& in) {
  const Target& t = in.target;
  std::vector<std::string> dirs;
  if (is_native(t)) {
    if (t.os == "macos") {
      dirs = {"/usr/local/lib",
              "/opt/homebrew/lib",
              "/System/Library/Frameworks",
              "/Library/Frameworks",
              "~/Library/Frameworks",
              "/Library/Developer/CommandLineTools/SDKs/MacOSX.sdk/usr/lib/",
              "/Library/Developer/CommandLineTools/SDKs/MacOSX.sdk/System/Library/Frameworks",
              "/usr/lib"};
    } else if (t.os == "linux") {
      dirs = {"/lib64", "/usr/lib64", "/usr/local/lib64", "/usr/lib", "/usr/local/lib"};
      if (t.arch == "x64") dirs.push_back("/lib/x86_64-linux-gnu");
      if (t.arch == "arm64") dirs.push_back("/lib/aarch64-linux-gnu");
    } else if (t.os == "win") {
      if (in.system_root) dirs.push_back(*in.system_root + "\\System32");
    }
  }
  for (LinkPackage& pkg : in.packages) {
    if (pkg.link_level == 0) continue;
    std::vector<std::string> own;
    own.push_back(path_join(path_join(pkg.dir, "libs"), t.name));
    if (pkg.config) {
      JsonValue& link_dirs = json_get(json_get(json_get(*pkg.config, "targets"), t.name), "link-dirs");
      for (const JsonPtr& item : json_items(link_dirs)) {
        own.push_back(path_join(pkg.dir, item ? json_string_value(*item) : std::string()));
      }
    }
    for (std::string& d : own) {
      if (pkg.link_level == 2) {
        dirs.insert(dirs.begin(), std::move(d));
      } else {
        dirs.push_back(std::move(d));
      }
    }
  }
  for (const std::string& d : in.cli_dirs) dirs.push_back(d);
  return dirs;
}

void link_dir_arg(const Target& t, LinkCommand* cmd, const std::string& dir) {
  if (t.os == "macos" && ends_with(dir, "Frameworks")) {
    quoted(cmd, "-F", dir);
  } else if (t.os == "win") {
    quoted(cmd, "/libpath:", dir);
  } else {
    quoted(cmd, "-L", dir);
  }
}

std::optional<std::string> find_in_link_dirs(const LinkInputs& in, const std::string& file, LinkCommand* cmd) {
  for (const std::string& dir : cmd->link_dirs) {
    std::string path = path_join(dir, file);
    if (in.exists ? in.exists(path) : path_exists(path)) return path;
  }
  cmd->missing.push_back(file);
  return std::nullopt;
}

void add_link_library(const LinkInputs& in, LinkCommand* cmd, std::string_view name_in, bool static_) {
  std::string name(name_in);
  if (!name.empty() && name[0] == ':') name.erase(0, 1);
  bool has_dot = name.find('.') != std::string::npos;
  bool is_path = name.find('/') != std::string::npos || name.find('\\') != std::string::npos;
  const std::string& os = in.target.os;
  if (os == "win") {
    if (!has_dot) name += ".lib";
    quoted(cmd, "", name);
    return;
  }
  if (static_ && !has_dot && !is_path) {
    if (auto found = find_in_link_dirs(in, "lib" + name + ".a", cmd)) {
      quoted(cmd, "", *found);
    } else {
      quoted(cmd, "-l", name);
    }
  } else if (is_path) {
    quoted(cmd, "", name);
  } else if (has_dot) {
    if (auto found = find_in_link_dirs(in, name, cmd)) {
      quoted(cmd, "", *found);
    } else if (os == "linux") {
      quoted(cmd, "-l", ":" + name);
    }
  } else {
    quoted(cmd, "-l", name);
  }
}

void add_link_libraries(const LinkInputs& in, LinkCommand* cmd) {
  for (const LinkLibrary* lib : in.links) {
    switch (lib->kind) {
      case LINK_FRAMEWORK:
        quoted(cmd, "-framework ", lib->name);
        break;
      case LINK_STATIC:
        add_link_library(in, cmd, lib->name, true);
        break;
      case LINK_DYNAMIC:
        add_link_library(in, cmd, lib->name, false);
        break;
      default:  // no keyword: follows --static
        add_link_library(in, cmd, lib->name, in.static_);
        break;
    }
  }
  for (const std::string& name : in.cli_libs) add_link_library(in, cmd, name, false);
}

LinkCommand build_link_command(LinkInputs& in) {
  const Target& t = in.target;
  LinkCommand cmd;
  if (is_native(t) && t.os != "win") {
    cmd.linker = "ld";
  } else {
    std::string alias = lld_alias(t.os);
    if (!alias.empty()) cmd.linker = t.host_os == "win" ? path_join(in.exe_dir, alias + ".exe") : alias;
  }
  if (cmd.linker.empty()) return cmd;

  cmd.text = cmd.linker + " ";
  cmd.argv.push_back(cmd.linker);
  if (t.os == "win") {
    raw(&cmd, "/stack:8388608,65536 ");
    if (in.debug) raw(&cmd, "/DEBUG ");
    quoted(&cmd, "/out:", in.out_path);
  } else {
    quoted(&cmd, "-pie -o ", in.out_path);
  }

  cmd.link_dirs = link_directories(in);
  for (const std::string& dir : cmd.link_dirs) link_dir_arg(t, &cmd, dir);

  if (t.os == "linux") {
    quoted(&cmd, "--sysroot=", "/");
    if (t.arch == "x64") {
      raw(&cmd, "-m elf_x86_64 ");
      raw(&cmd, "--dynamic-linker /lib64/ld-linux-x86-64.so.2 ");
    } else if (t.arch == "arm64") {
      raw(&cmd, "-m aarch64linux ");
      raw(&cmd, "--dynamic-linker /lib/ld-linux-aarch64.so.1 ");
    }
    raw(&cmd, "-l:Scrt1.o ");
    raw(&cmd, "-l:crti.o ");
    raw(&cmd, "-l:crtbeginS.o ");
  } else if (t.os == "macos") {
    quoted(&cmd, "-syslibroot ", "/");
    if (t.arch == "x64") raw(&cmd, "-arch x86_64 ");
    if (t.arch == "arm64") raw(&cmd, "-arch arm64 ");
    raw(&cmd, "-platform_version macos 11.0 15.0 ");
  } else if (t.os == "win") {
    raw(&cmd, "/nodefaultlib ");
    raw(&cmd, "/guard:ehcont ");
    if (t.arch == "x64") raw(&cmd, "/machine:x64 ");
  }

  for (const std::string& obj : in.objects) plain(&cmd, obj);
  add_link_libraries(in, &cmd);

  if (t.os == "linux") {
    raw(&cmd, "-l:crtendS.o ");
    raw(&cmd, "-l:crtn.o ");
  }
  return cmd;
}

LinkInputs link_inputs(Build* b) {
  LinkInputs in;
  in.target = b->target;
  in.out_path = b->out_path;
  in.debug = b->debug != 0;
  in.static_ = b->static_ != 0;
  in.exe_dir = executable_dir();
  in.runtime_dir = b->tesk_package ? b->tesk_package->dir : compiler_lib_dir();
  if (is_native(b->target) && b->target.os == "win") {
    if (const char* root = std::getenv("SystemRoot")) in.system_root = root;
  }
  for (auto& [dir, pkg] : b->packages) {
    in.packages.push_back(LinkPackage{dir, pkg->link_level, pkg->config ? pkg->config->json.get() : nullptr});
  }
  if (auto* v = b->cli.values.find("-L")) in.cli_dirs = *v;
  if (auto* v = b->cli.values.find("-l")) in.cli_libs = *v;

  // Only libraries declared in units that hold used code take part, each once, in
  // the order of their declarations.
  std::unordered_set<const LinkLibrary*> used_links;
  for (Unit* u : b->units) {
    if (!u->used) continue;
    in.objects.push_back(u->o_path);
    for (LinkLibrary* lib : u->links) used_links.insert(lib);
  }
  for (LinkLibrary* lib : b->links) {
    if (used_links.count(lib)) in.links.push_back(lib);
  }
  in.exists = [](const std::string& p) { return path_exists(p); };
  return in;
}

bool find_lld_dir(const std::string& host_os, std::string* dir) {
  if (host_os == "win") {
    *dir = executable_dir();
    return true;
  }
  ProcessResult r = run_process({"which", "lld"}, false);
  if (r.exit_code == 1) return false;
  std::string out = std::move(r.output);
  strip_newlines(&out);
  // Only the program name goes: a directory that is itself called "lld" stays.
  if (ends_with(out, "/lld")) out.resize(out.size() - 4);
  *dir = std::move(out);
  return true;
}

void check_lld(Build* b, const Target& t) {
  std::string dir;
  if (!find_lld_dir(t.host_os, &dir)) {
    build_error_icon(b, "❌", "Please install the 'lld' linker to cross compile");
  }
  if (!is_dir(dir)) build_error_icon(b, "❌", "Linker directory not found: " + dir);
  bool win_host = t.host_os == "win";
  std::string lld = path_join(dir, win_host ? "lld-link.exe" : "lld");
  if (!path_exists(lld)) build_error_icon(b, "❌", "Cannot find linker: " + lld);
  std::string alias = path_join(dir, lld_alias(t.os) + (win_host ? ".exe" : ""));
  if (!path_exists(alias)) {
    build_error(b, std::string("> Run the following command to generate symlinks to lld in order to cross "
                               "compile: ") +
                       (win_host ? "" : "sudo ") + "tesk linker-symlinks");
  }
}

void link_executable(Build* b) {
  if (b->mode == BUILD_IR) return;
  LinkInputs in = link_inputs(b);
  link_with_inputs(b, in);
}

void link_with_inputs(Build* b, LinkInputs& in) {
  if (b->verbose >= 3) backend_print("> Stage 4: Link executable");
  const Target& t = b->target;
  if (!(is_native(t) && t.os != "win")) check_lld(b, t);
  supply_linux_files(in.runtime_dir, t);

  LinkCommand cmd = build_link_command(in);
  if (cmd.linker.empty()) build_error(b, "Cannot determine linker for your OS");

  if (b->verbose >= 2) {
    backend_print("# Link cmd: " + cmd.text);
    for (const std::string& name : cmd.missing) backend_print("> Warn: Library not found: " + name);
    if (cmd.missing.empty()) log_line("✅", "All libraries found");
  }

  ProcessResult r = run_process(cmd.argv, false);
  if (r.exit_code != 0) {
    const char* dashes = "-----------------------------";
    backend_print(dashes);
    backend_print("# Cmd: " + cmd.text);
    backend_print("# Exit code: " + std::to_string(r.exit_code));
    backend_print("# Output: " + r.output);
    backend_print(dashes);
    build_error_icon(b, "❌", "Failed to link");
  }
}

}  // namespace tesk
