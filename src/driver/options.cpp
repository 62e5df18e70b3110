#include "driver/options.h"

#include <unistd.h>

#include "driver/cli.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "driver/watch.h"
#include "util/fs.h"
#include "util/strings.h"

namespace tesk {

namespace {

const std::vector<std::string_view> kValueOptions = {"-o", "--target", "--def", "-L", "-l", "--filter"};

const std::vector<std::string_view> kKnownOptions = {
    "--help", "-h",      "-o",       "--target", "--def",     "--test",          "-t",      "--filter",
    "--run",  "-r",      "--clean",  "-c",       "-v",        "-vv",             "-vvv",    "-L",
    "-l",     "--static", "--use-tesk-libs", "--no-warn", "-nw", "--no-opt", "--docs", "--lsp",
    "--debug", "-d",     "--watch",  "-w",       "--ir",      "--release"};

const char* const kTargets[] = {"win-x64", "linux-x64", "linux-arm64", "macos-x64", "macos-arm64"};

bool is_value_option(std::string_view s) {
  for (auto v : kValueOptions)
    if (v == s) return true;
  return false;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Index of the first occurrence of the option before the separator "--" (or of the
// separator itself), skipping the values of options that take one; the list size
// when there is none.
size_t raw_option_index(const std::vector<std::string>& args, std::string_view option) {
  bool pending = false;
  for (size_t i = 0; i < args.size(); i++) {
    if (pending) {
      pending = false;
      continue;
    }
    if (args[i] == option) return i;
    if (args[i] == "--") break;
    pending = is_value_option(args[i]);
  }
  return args.size();
}

// Removes the first occurrence before the separator.
void remove_raw_option(std::vector<std::string>& args, std::string_view option) {
  size_t at = raw_option_index(args, option);
  if (at < args.size()) args.erase(args.begin() + static_cast<std::ptrdiff_t>(at));
}

// The watcher builds with the same list, minus the watch options, and never returns.
[[noreturn]] void start_watch(std::vector<std::string>& args, const std::vector<std::string>& files,
                              const std::optional<std::string>& project_dir) {
  remove_raw_option(args, "--watch");
  remove_raw_option(args, "-w");
  watch_loop(args, files, project_dir);
}

}  // namespace

std::string_view host_os() { return "linux"; }
std::string_view host_arch() { return "x64"; }

size_t separator_index(const std::vector<std::string>& args) { return raw_option_index(args, "--"); }

bool raw_has_option(const std::vector<std::string>& args, std::string_view option) {
  return raw_option_index(args, option) < args.size();
}

Target parse_target(const CliArgs& cli, std::string_view host_os, std::string_view host_arch) {
  std::optional<std::string> given = cli_arg_value(cli, "--target", true);
  std::string name = given ? *given : cat({host_os, "-", host_arch});
  bool supported = false;
  for (const char* t : kTargets)
    if (name == t) supported = true;
  if (!supported) {
    std::string msg = "Invalid target: " + name + "\nSupported: ";
    for (size_t i = 0; i < std::size(kTargets); i++) {
      if (i) msg += ", ";
      msg += kTargets[i];
    }
    fatal_build_error(msg);
  }
  Target t;
  t.host_os = std::string(host_os);
  t.host_arch = std::string(host_arch);
  size_t dash = name.find('-');
  t.os = name.substr(0, dash);
  t.arch = name.substr(dash + 1);
  t.name = name;
  t.ptr_size = 8;
  return t;
}

Target parse_target(const CliArgs& cli) { return parse_target(cli, host_os(), host_arch()); }

void set_compile_conditions(Build* b, const CliArgs& cli) {
  OrderedMap<std::string>& d = b->defines;
  d.set("OS", b->target.os);
  d.set("ARCH", b->target.arch);
  d.set("TEST", b->test ? "1" : "0");
  d.set("STATIC", b->static_ ? "1" : "0");
  d.set("GC_DEBUG", "0");
  d.set("DEBUG", b->debug ? "1" : "0");
  for (const std::string& value : cli_arg_values(cli, "--def")) {
    std::string_view rest = value;
    while (true) {
      size_t comma = rest.find(',');
      std::string_view piece = trim_blanks(rest.substr(0, comma));
      size_t eq = piece.find('=');
      if (eq == std::string_view::npos) {
        d.set(piece, "1");
      } else {
        std::string_view val = piece.substr(eq + 1);
        val = val.substr(0, val.find('='));  // anything after a second "=" is ignored
        d.set(piece.substr(0, eq), std::string(val));
      }
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
}

std::string build_cache_key(const CacheKeyInput& in) {
  std::string key;
  key += in.project_dir;
  key += "||";
  key += kTeskVersion;
  key += in.target->os;
  key += in.target->arch;
  key += in.optimise ? '1' : '0';
  key += in.debug ? '1' : '0';
  key += in.test ? '1' : '0';
  key += in.release ? '1' : '0';
  key += '|';
  key += in.first_def;
  if (in.files) {
    for (const std::string& f : *in.files) {
      key += '|';
      key += f;
    }
  }
  return key;
}

namespace {

// Stamps left by another compiler (or by one that did not claim directories) may
// describe objects that compiler made: the IR text alone does not tell.
void forget_stamps(const std::string& dir) {
  for (const std::string& entry : list_dir(dir)) {
    if (entry == "build.stamp" || entry.ends_with("-prev.ir")) remove_file(path_join(dir, entry));
  }
}

// The directory belongs to the first key that wrote its key file. Linking the
// complete file into place is atomic and never replaces one, so two builds that
// race for a fresh directory agree on its owner. The file also names the compiler
// that last used the directory.
bool claim_cache_dir(const std::string& dir, std::string_view key) {
  std::string key_path = path_join(dir, "cache.key");
  std::string owner = std::string(key) + "\n" + file_identity("/proc/self/exe");
  if (file_equals(key_path, owner)) return true;
  if (std::optional<std::string> held = read_file(key_path)) {
    if (std::string_view(*held).substr(0, held->find('\n')) != key) return false;
    forget_stamps(dir);
    write_file_atomic(key_path, owner);
    return true;
  }
  std::string tmp = key_path + "." + std::to_string(::getpid()) + ".tmp";
  if (!write_file(tmp, owner)) return false;
  bool linked = ::link(tmp.c_str(), key_path.c_str()) == 0;
  remove_file(tmp);
  if (linked) {
    forget_stamps(dir);
    return true;
  }
  std::optional<std::string> held = read_file(key_path);
  return held && std::string_view(*held).substr(0, held->find('\n')) == key;
}

}  // namespace

std::string create_cache_dir(std::string_view key, std::string_view home, std::string* dir) {
  if (home.empty()) return "Cannot find user home directory, so we cannot create the cache directory";
  std::string path(home);
  for (std::string level : {std::string(".tesk"), std::string("cache")}) {
    path = path_join(path, level);
    if (!is_dir(path) && !make_dir(path)) return "Failed to create cache directory: " + path;
  }
  // The 32-letter name can be the same for two keys: the objects of one would then
  // be taken for the other's. A name already owned by another key gets a number.
  std::string name = path_join(path, name_hash_text(key));
  for (int n = 1; n <= 100; n++) {
    std::string candidate = n == 1 ? name : name + "-" + std::to_string(n);
    if (!is_dir(candidate) && !make_dir(candidate)) return "Failed to create cache directory: " + candidate;
    if (claim_cache_dir(candidate, key)) {
      *dir = candidate;
      return "";
    }
  }
  return "Failed to create cache directory: " + name;
}

std::string build_output_path(const std::optional<std::string>& given, std::string_view cache_dir, u64 mode,
                              std::string_view target_os) {
  std::string path = given ? *given : path_join(cache_dir, "out");
  if (mode == BUILD_EXECUTABLE && target_os == "win") {
    if (!ends_with(path, ".exe")) path += ".exe";
  } else if (mode == BUILD_IR) {
    if (!ends_with(path, ".ir") && !ends_with(path, ".ll")) path += ".ll";
  }
  return path;
}

BuildArgsResult parse_build_args(const std::vector<std::string>& args) {
  return parse_build_args(args, host_os(), host_arch());
}

BuildArgsResult parse_build_args(const std::vector<std::string>& args_in, std::string_view host_os,
                                 std::string_view host_arch) {
  std::vector<std::string> args = args_in;
  BuildArgsResult result;
  auto fail = [&](std::string message) {
    result.error = std::move(message);
    return std::move(result);
  };

  // 1. Options; those of the raw list count only before the program's arguments.
  bool docs = raw_has_option(args, "--docs");
  bool watch = raw_has_option(args, "--watch") || raw_has_option(args, "-w");
  bool lsp = raw_has_option(args, "--lsp");
  std::vector<std::string_view> known = kKnownOptions;
  if (docs) {
    known.push_back("--markdown");
    known.push_back("--no-private");
  }
  CliArgs cli = parse_cli_args(args, known, kValueOptions);

  // 2. Unknown options, and an option whose value is missing.
  if (!cli.unrecognised.empty()) return fail("Unknown build argument: " + cli.unrecognised.front());
  if (!cli.missing_value.empty()) return fail("Missing value for option: " + cli.missing_value);

  // 3. Files and the project directory.
  std::vector<std::string> files;
  std::string dir;
  bool have_dir = false;
  for (const std::string& a : cli.args) {
    std::string path = path_resolve(a);
    if (!path_exists(path)) return fail("File not found: " + path);
    if (ends_with(path, ".tesk")) {
      files.push_back(path);
      continue;
    }
    if (!is_dir(path)) return fail("Invalid project directory: " + path);
    if (have_dir)
      return fail("You can only pass 1 project directory in your cli arguments\nDir1: " + dir + "\nDir2: " + path);
    dir = path;
    have_dir = true;
  }

  // 4. Help.
  if (cli_has_flag(cli, "-h") || cli_has_flag(cli, "--help")) print_build_usage(0);

  // 5. Nothing to do.
  if (files.empty() && !docs) {
    std::fputs("You did not mention any *.tesk files in your build command\nNothing to compile\n", stdout);
    print_build_usage(1);
  }
  if (docs && !have_dir) {
    std::fputs("Missing project directory in your cli arguments\n", stdout);
    print_build_usage(1);
  }

  // 6. Watching takes over the whole command line.
  if (watch) start_watch(args, files, have_dir ? std::optional<std::string>(dir) : std::nullopt);

  // 7. Project directory.
  std::string project_dir;
  if (have_dir) {
    project_dir = dir;
  } else {
    const std::string& first = files.front();
    size_t slash = first.find_last_of("/\\");
    if (slash == std::string::npos)
      project_dir = current_dir();
    else
      project_dir = slash == 0 ? std::string("/") : first.substr(0, slash);
  }
  project_dir = path_resolve(project_dir);

  // 8. Flags and target.
  auto b = std::make_unique<Build>();
  b->test = cli_has_flag(cli, "--test") || cli_has_flag(cli, "-t");
  b->run = cli_has_flag(cli, "--run") || cli_has_flag(cli, "-r");
  b->clean = cli_has_flag(cli, "--clean") || cli_has_flag(cli, "-c");
  b->optimise = cli_has_flag(cli, "--no-opt") ? 0 : 1;
  b->debug = cli_has_flag(cli, "--debug") || cli_has_flag(cli, "-d");
  b->static_ = cli_has_flag(cli, "--static");
  b->no_warn = cli_has_flag(cli, "--no-warn") || cli_has_flag(cli, "-nw");
  bool release = cli_has_flag(cli, "--release");
  b->target = parse_target(cli, host_os, host_arch);
  b->verbose = cli_has_flag(cli, "-vvv") ? 3 : cli_has_flag(cli, "-vv") ? 2 : cli_has_flag(cli, "-v") ? 1 : 0;

  // 9. Cache key and directory; only the first "--def" enters the key.
  const std::vector<std::string>& defs = cli_arg_values(cli, "--def");
  CacheKeyInput key_in;
  key_in.project_dir = project_dir;
  key_in.target = &b->target;
  key_in.optimise = b->optimise;
  key_in.debug = b->debug;
  key_in.test = b->test;
  key_in.release = release;
  key_in.first_def = defs.empty() ? std::string_view() : std::string_view(defs.front());
  key_in.files = lsp ? nullptr : &files;
  std::string cache_dir;
  std::string err = create_cache_dir(build_cache_key(key_in), home_dir(), &cache_dir);
  if (!err.empty()) return fail(err);
  if (b->verbose >= 1) log_line("📦", "Cache directory: " + cache_dir);

  // 10. Mode.
  b->mode = docs ? BUILD_DOCS : raw_has_option(args, "--ir") ? BUILD_IR : BUILD_EXECUTABLE;

  // 11. Output path.
  b->out_path = build_output_path(cli_arg_value(cli, "-o", true), cache_dir, b->mode, b->target.os);

  // 12. The record.
  b->cache_dir = std::move(cache_dir);
  b->project_dir = std::move(project_dir);
  b->files = std::move(files);
  b->single_unit = (b->mode == BUILD_IR || release) ? 1 : 0;
  b->ptr_size = 8;
  b->sizes_done = 0;
  b->new_global_used = 0;
  b->new_class_used = 0;
  b->new_pool_used = 0;
  b->watch_mode = 0;
  b->cli = std::move(cli);
  for (const std::string& a : args) {
    if (a == "--") break;
    b->command_line.push_back(a);
  }
  result.build = std::move(b);
  return result;
}

}  // namespace tesk
