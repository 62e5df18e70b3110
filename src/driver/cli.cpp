#include "driver/cli.h"

#include <cstdio>
#include <exception>

#include "backend/linker_symlinks.h"
#include "driver/build_driver.h"
#include "driver/errors.h"
#include "driver/options.h"
#include "tools/doc.h"
#include "tools/lsp.h"
#include "util/stack.h"
#include "util/strings.h"


namespace tesk {

namespace {

bool g_leak_check = false;

void write_out(std::string_view s) { std::fwrite(s.data(), 1, s.size(), stdout); }

// The process ends with code 0 after the build, unless run_build ends it itself
// (--run, errors).
[[noreturn]] void build_command(std::vector<std::string>& args) {
  BuildArgsResult r = parse_build_args(args);
  if (!r.build) fatal_build_error(r.error);
  run_build(r.build.get());
  // Ending here skips tearing down the build's records one by one.
  exit_process(0);
}

}  // namespace

bool leak_check_enabled() { return g_leak_check; }

std::string usage_text() {
  std::string v(kTeskVersion);
  return "-------------------------\n"
         " Tesk v" + v + "\n"
         "-------------------------\n"
         "\n"
         " Build:        tesk build src/*.tesk -o myapp\n"
         " Build + Run:  tesk build src/*.tesk -o myapp --run\n"
         " Run:          tesk build src/*.tesk --run\n"
         " Run short:    tesk main.tesk\n"
         "\n"
         " tesk build -h         Build tesk code to an executable\n"
         "\n"
         " tesk doc {directory}  Generate docs for a project\n"
         " tesk doc -h           Generate docs help\n"
         " tesk version          Show compiler version\n"
         "\n";
}

std::string build_usage_text() {
  return "\n"
         "Usage: tesk build {.tesk-file(s)} [{config-dir}] -o {outpath}\n"
         "       tesk build {.tesk-file(s)} [{config-dir}] --run\n"
         "\n"
         "Options:\n"
         "\n"
         "  -o                  Set outpath\n"
         "  --run -r            Run program after compiling\n"
         "  --watch -w          Watch files & rebuild when files change\n"
         "  --test -t           Build tests\n"
         "  --clean -c          Ignore cache\n"
         "  --debug -d          Generate debug info\n"
         "  --no-opt            Build without optimizations\n"
         "  --no-warn -nw       Disable warning messages\n"
         "  --release           Apply all optimizations\n"
         "\n"
         "  --def               Define compile condition variables\n"
         "                      Format: VAR1=VAL,VAR2=VAL\n"
         "  --target            Compile for a specific os/arch\n"
         "                      linux-x64, macos-x64, macos-arm64, win-x64\n"
         "  --ir                Output LLVM IR\n"
         "\n"
         "  -L {path}           Add link directory\n"
         "  -l {name}           Add library to the link command\n"
         "  --use-tesk-libs     Use tesk libraries over OS libraries\n"
         "\n"
         "  -v -vv -vvv         Show compile info\n"
         "  --help -h           Build command usage info\n"
         "\n";
}

void print_usage(int code) {
  write_out(usage_text());
  exit_process(code);
}

void print_build_usage(int code) {
  write_out(build_usage_text());
  exit_process(code);
}

void cli_fail(std::string_view message) {
  write_out(cat({"#Error: ", message, "\n"}));
  exit_process(1);
}

CliArgs parse_cli_args(const std::vector<std::string>& list, const std::vector<std::string_view>& known,
                       const std::vector<std::string_view>& with_value) {
  auto contains = [](const std::vector<std::string_view>& v, std::string_view s) {
    for (auto x : v)
      if (x == s) return true;
    return false;
  };
  CliArgs r;
  bool separator = false;
  const std::string* pending = nullptr;
  for (const std::string& item : list) {
    if (separator) {
      r.rest.push_back(item);
    } else if (pending) {
      r.values[*pending].push_back(item);
      pending = nullptr;
    } else if (item == "--") {
      separator = true;
    } else if (starts_with(item, "-")) {
      if (contains(known, item)) {
        if (contains(with_value, item))
          pending = &item;
        else
          r.flags.push_back(item);
      } else {
        r.unrecognised.push_back(item);
      }
    } else {
      r.args.push_back(item);
    }
  }
  if (pending) r.missing_value = *pending;
  return r;
}

std::optional<std::string> cli_arg_value(const CliArgs& cli, std::string_view name, bool strict) {
  const std::vector<std::string>& values = cli_arg_values(cli, name);
  if (strict && values.size() >= 2) {
    write_out(cat({"The '", name, "' argument was passed multiple times\n"}));
    exit_process(1);
  }
  if (values.empty()) return std::nullopt;
  return values.front();
}

const std::vector<std::string>& cli_arg_values(const CliArgs& cli, std::string_view name) {
  static const std::vector<std::string> kNone;
  const std::vector<std::string>* v = cli.values.find(name);
  return v ? *v : kNone;
}

bool cli_has_flag(const CliArgs& cli, std::string_view name) {
  for (const std::string& f : cli.flags)
    if (f == name) return true;
  return false;
}

std::vector<std::string> shortcut_args(std::string file, std::vector<std::string> program_args) {
  std::vector<std::string> list;
  list.reserve(program_args.size() + 3);
  list.push_back(std::move(file));
  list.push_back("--run");
  list.push_back("--");
  for (std::string& a : program_args) list.push_back(std::move(a));
  return list;
}

void add_docs_option(std::vector<std::string>& args) {
  size_t at = separator_index(args);
  args.insert(args.begin() + static_cast<std::ptrdiff_t>(at), "--docs");
}

int cli_main(std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); i++) {
    if (args[i] == "--leak-check") {
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      g_leak_check = true;
      break;
    }
  }
  if (!args.empty()) args.erase(args.begin());
  if (args.empty()) print_usage(1);
  std::string word = args.front();
  args.erase(args.begin());

  if (word == "build") build_command(args);
  if (word == "doc") {
    for (const std::string& a : args)
      if (a == "-h" || a == "--help") doc_usage(0);
    add_docs_option(args);
    build_command(args);
  }
  if (word == "lsp") lsp_command(args);
  if (word == "linker-symlinks") {
    create_linker_symlinks(std::string(host_os()));
    return 0;
  }
  if (ends_with(word, ".tesk")) {
    args = shortcut_args(std::move(word), std::move(args));
    build_command(args);
  }
  if (word == "version") {
    write_out(cat({"tesk-", kTeskVersion, "\n"}));
    return 0;
  }
  if (word == "-h" || word == "--help") print_usage(0);
  print_usage(1);
}

int process_main(int argc, char** argv) {
  // Standard streams already pass bytes unchanged on this host.
  std::vector<std::string> args(argv, argv + argc);
  int code = 1;
  // Every command runs on a thread whose stack holds the deepest nesting the readers allow.
  run_with_stack(kFrontEndStackBytes, [&] {
    try {
      code = cli_main(args);
    } catch (const ExitRequest& e) {
      code = e.code;
    } catch (const NamedError& e) {
      // Its report (box or parse report) was printed where it was raised.
      std::fprintf(stdout, "Unhandled error: %s\n", e.name);
      code = 1;
    } catch (const std::exception& e) {
      std::fprintf(stdout, "Internal error: %s\n", e.what());
      code = 1;
    }
  });
  std::fflush(stdout);
  std::fflush(stderr);
  return code;
}

}  // namespace tesk
