#pragma once
// Stage 4: the linker command for a target, and running it.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/build.h"

namespace tesk {

// A package as the linker sees it.
struct LinkPackage {
  std::string dir;
  u64 link_level = 0;          // 0 ignored, 1 appended after, 2 inserted before the others
  JsonValue* config = nullptr;  // its tesk.json, or null
};

// Everything the command depends on, so it can be built without a Build.
struct LinkInputs {
  Target target;
  std::string out_path;
  bool debug = false;
  bool static_ = false;
  std::string exe_dir;                     // the compiler's directory (lld on a "win" host)
  std::string runtime_dir;                 // the runtime package's directory
  std::optional<std::string> system_root;  // $SystemRoot, read for native "win" builds
  std::vector<LinkPackage> packages;       // in registration order
  std::vector<std::string> cli_dirs;       // -L values
  std::vector<std::string> cli_libs;       // -l values
  std::vector<const LinkLibrary*> links;   // Build.links of used units, declaration order
  std::vector<std::string> objects;        // object files of the used units, unit order
  std::function<bool(const std::string&)> exists;  // file test for library search
};

struct LinkCommand {
  std::string linker;             // "" when no linker fits the target
  std::string text;               // the command line as it is shown
  std::vector<std::string> argv;  // the same command as it runs (no shell)
  std::vector<std::string> link_dirs;
  std::vector<std::string> missing;  // library files found in no link directory
};

// A build is native when it targets the system and architecture it runs on.
bool is_native(const Target& t);
// "ld.lld", "ld64.lld" or "lld-link" for the target system; "" for another.
std::string lld_alias(const std::string& os);

// The whole linker command for the inputs.
LinkCommand build_link_command(LinkInputs& in);
// Gathers the inputs of the build: used units, their links, packages, options.
LinkInputs link_inputs(Build* b);

std::vector<std::string> link_directories(LinkInputs& in);
void link_dir_arg(const Target& t, LinkCommand* cmd, const std::string& dir);
void add_link_libraries(const LinkInputs& in, LinkCommand* cmd);
void add_link_library(const LinkInputs& in, LinkCommand* cmd, std::string_view name, bool static_);
std::optional<std::string> find_in_link_dirs(const LinkInputs& in, const std::string& file, LinkCommand* cmd);

// A Linux link names GCC's crtbeginS.o/crtendS.o and, across, the target's C library,
// which lie where this machine's toolchain put them. The runtime package offers them
// in libs/<target> (crtbeginS.o, crtendS.o, sysroot): each one missing or broken there
// becomes a link to this machine's file. Nothing for other targets.
void supply_linux_files(const std::string& runtime_dir, const Target& t);

// Where lld lies: beside the compiler on a "win" host, else found by "which lld".
// Returns false when "which lld" exits with code 1.
bool find_lld_dir(const std::string& host_os, std::string* dir);
// Makes sure lld and the target's alias of it are present; build error otherwise.
void check_lld(Build* b, const Target& t);
// Stage 4. Does nothing for --ir.
void link_executable(Build* b);
// Stage 4 with inputs gathered already (an unchanged rebuild has them from its record).
void link_with_inputs(Build* b, LinkInputs& in);

}  // namespace tesk
