#include "driver/build_driver.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "driver/build_stamp.h"
#include "driver/cli.h"
#include "driver/errors.h"
#include "driver/options.h"
#include "driver/stages.h"
#include "model/records.h"
#include "source/packages.h"
#include "source/stage1.h"
#include "source/units.h"
#include "util/file_lock.h"
#include "util/fs.h"
#include "util/process.h"
#include "util/strings.h"

namespace tesk {

namespace {

std::string two_decimals(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", x);
  return buf;
}

// Peak resident memory of the process in bytes.
u64 peak_memory_bytes() {
  struct rusage ru;
  std::memset(&ru, 0, sizeof ru);
  if (::getrusage(RUSAGE_SELF, &ru) != 0) return 0;
  return static_cast<u64>(ru.ru_maxrss) * 1024;  // kilobytes on Linux
}

// One build at a time per cache directory: another build of the project (a watcher
// and a terminal, say) would rewrite the objects this one links. The lock ends with
// run_build, and with the process however it ends.
void lock_cache_dir(Build* b, FileLock* lock) {
  std::string path = path_join(b->cache_dir, "build.lock");
  if (lock->try_lock(path)) return;
  if (b->verbose >= 1) {
    log_line("⏳", "Waiting for another build of this project to finish: " + b->cache_dir);
    // Seen now, not when the build ends: the wait may be long.
    std::fflush(stdout);
  }
  bool waited = false;
  if (!lock->lock(path, &waited)) build_error(b, "Failed to lock the cache directory: " + path);
}

// The end of a build: the -v report line aside, what it prints and does last.
void finish_build(Build* b, u64 start, FileLock* cache_lock);

}  // namespace

u64 string_id(Build* b, std::string_view name) {
  if (u64* id = b->string_ids.find(name)) return *id;
  u64 id = b->string_counter++;
  b->string_ids.set(name, id);
  return id;
}

u64 count_lines(std::string_view text) { return static_cast<u64>(std::count(text.begin(), text.end(), '\n')); }

std::vector<std::string> run_command_argv(const Build* b) {
  std::vector<std::string> argv;
  argv.push_back(b->out_path.find('/') == std::string::npos ? "./" + b->out_path : b->out_path);
  for (const std::string& arg : b->cli.rest) argv.push_back(arg);
  return argv;
}

void run_build(Build* b) {
  // 1. A language-server build takes its package and namespace from the file's place.
  std::string main_dir = b->project_dir;
  std::optional<std::string> lsp_namespace;
  if (b->lsp) {
    if (b->files.empty()) return;
    ConfigResult found = find_package_config(b, b->files[0]);
    if (found.config) {
      main_dir = found.config->dir;
      lsp_namespace = namespace_for_dir(found.config, b->files[0]);
      if (lsp_namespace) b->files.clear();
    }
  }

  // Builds that write objects own the cache directory while they run.
  FileLock cache_lock;
  if (!b->lsp && b->mode != BUILD_DOCS) lock_cache_dir(b, &cache_lock);

  // The compile-time conditions (`--def`).
  set_compile_conditions(b, b->cli);
  // The runtime reaches the system through lib/libc, which has one layer per system
  // the compiler targets; any other OS would fail deep inside the library instead.
  const std::string& os = *b->defines.find("OS");
  if (os != "linux" && os != "macos" && os != "win") {
    build_error(b, "The runtime library has no layer for OS '" + os + "'");
  }
  const u64 start = now_us();

  // Nothing changed since the last build: its record stands for the front end.
  if (stamp_replay(b)) {
    print_warnings(b);
    finish_build(b, start, &cache_lock);
    return;
  }
  stamp_begin(b);

  // 3. Package main. Directories are canonical so one directory is one package.
  main_dir = path_real(main_dir);
  Package* main_pkg = new_package(b, "main");
  set_package_dir(main_pkg, main_dir, false);
  main_pkg->link_level = LINK_LEVEL_MAIN;

  // 4. The main unit and namespace.
  Unit* unit = main_unit(b);
  Namespace* main_ns = new_namespace(main_pkg, "main", main_dir, unit);
  main_pkg->namespaces.set("main", main_ns);
  b->main_namespace = main_ns;

  // 5. The runtime package.
  Package* tesk_pkg = load_dependency(main_pkg, "tesk");
  b->tesk_package = tesk_pkg;
  tesk_pkg->link_level = cli_has_flag(b->cli, "--use-tesk-libs") ? LINK_LEVEL_MAIN : LINK_LEVEL_RUNTIME;

  // The ids of the class functions the collector looks up by name.
  string_id(b, "gc_action");
  string_id(b, "gc_free");

  // 7. The runtime namespaces every program needs.
  for (std::string_view name : {"core", "gc", "io", "type", "mem"}) {
    if (!get_namespace(tesk_pkg, name)) {
      build_error(b, cat({"Package '", tesk_pkg->name, "' has no namespace named '", name, "'"}));
    }
  }

  // 8. The unit for generated code.
  if (!b->single_unit) {
    b->generated_unit = new_unit_with_base(b, "tesk_generated", path_join(b->cache_dir, "tesk_generated_code"));
  } else {
    b->generated_unit = unit;
  }

  // 9. The template, then the files of the command line.
  load_template_file(main_ns, "main.tesk", b->generated_unit);
  for (const std::string& path : b->files) load_namespace_file(main_ns, path, main_ns->unit);

  // A language-server build loads the whole namespace of the edited file.
  if (lsp_namespace) get_namespace_checked(main_pkg, *lsp_namespace, nullptr);

  // Documentation covers every namespace of the package.
  if (b->mode == BUILD_DOCS) load_all_namespaces(main_pkg);

  // Stage 1 (files queued while it runs are scanned too), the check for
  // `main`, then Stages 2.1 to 4, each calling the next.
  stage_1_all(b);

  // A language-server build keeps its diagnostics for the server; nothing is printed.
  if (b->lsp) return;
  stop_if_errors(b);

  stamp_write(b);
  print_warnings(b);

  if (b->mode == BUILD_DOCS) {
    doc_command(b);
    return;
  }

  if (b->verbose >= 1) {
    log_line("📝", cat({"LOC in files: ", std::to_string(b->loc_files), " | LOC parsed: ",
                       std::to_string(b->loc_parsed)}));
    log_line("📈", cat({"Compiler memory usage: ", two_decimals(static_cast<double>(peak_memory_bytes()) / 1048576.0),
                       " mb"}));
  }

  finish_build(b, start, &cache_lock);
}

namespace {

void finish_build(Build* b, u64 start, FileLock* cache_lock) {
  // The outcome: the IR file, the program run, or the executable.
  const u64 end = now_us();
  if (b->mode == BUILD_IR) {
    log_line("✅", "IR output: " + b->out_path);
  } else if (b->run) {
    // The program may run for long: the next build need not wait for it.
    cache_lock->unlock();
    // The program gets its arguments as they are: no shell in between.
    int code = run_process_inherit(run_command_argv(b));
    exit_process(code);
  } else {
    log_line("✅", cat({"Compiled in ", two_decimals(static_cast<double>(end - start) / 1000000.0), "s"}));
  }
}

}  // namespace

void stage_read_types(Build* b) {
  log_detail(b, "> Stage 2.4: Read types for functions & globals");
  for (size_t u = 0; u < b->units.size(); u++) {
    Unit* unit = b->units[u];
    for (size_t i = 0; i < unit->funcs.size(); i++) {
      Func* func = unit->funcs[i];
      run_stage_task([func] { read_function_types(func); });
    }
  }
  for (size_t i = 0; i < b->globals.size(); i++) {
    Global* global = b->globals[i];
    run_stage_task([global] { read_global_type(global); });
  }
  for (size_t i = 0; i < b->enums.size(); i++) {
    Enum* en = b->enums[i];
    run_stage_task([en] { read_enum_values(en); });
  }
  for (size_t i = 0; i < b->classes.size(); i++) {
    Class* cls = b->classes[i];
    run_stage_task([cls] { check_offset_functions(cls); });
  }
  if (b->mode != BUILD_DOCS) stage_parse_asts(b);
}

}  // namespace tesk
