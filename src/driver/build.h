#pragma once
// The compile job: one Build per compilation, owning everything the build makes.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "util/arena.h"
#include "util/fwd.h"
#include "util/ordered_map.h"

namespace tesk {

// What a build produces. The value 1 is never used.
enum BuildMode : u64 { BUILD_EXECUTABLE = 0, BUILD_DOCS = 2, BUILD_IR = 3 };

// The parsed command line.
struct CliArgs {
  std::vector<std::string> args;                      // positional arguments
  std::vector<std::string> flags;                     // known options without value, as written
  OrderedMap<std::vector<std::string>> values;        // option -> its values in order
  std::vector<std::string> unrecognised;              // unknown "-..." arguments
  std::vector<std::string> rest;                      // everything after the first "--"
  std::string missing_value;  // an option that takes a value but ended the list ("" if none)
};

struct Target {
  std::string host_os;    // system this compiler runs on
  std::string host_arch;  // its architecture
  std::string os;         // "win", "linux" or "macos"
  std::string arch;       // "x64" or "arm64"
  std::string name;       // os + "-" + arch
  u64 ptr_size = 8;

  bool is_win() const { return os == "win"; }
  bool is_linux() const { return os == "linux"; }
  bool is_macos() const { return os == "macos"; }
  bool is_x64() const { return arch == "x64"; }
  bool is_arm64() const { return arch == "arm64"; }
};

enum MessageType : u64 { MSG_ERROR = 1, MSG_WARNING = 2 };

struct BuildMessage {
  u64 type = MSG_ERROR;
  std::string message;
};

struct Diagnostic {
  u64 type = MSG_ERROR;
  Chunk* start = nullptr;
  Chunk* end = nullptr;
  std::string message;
};

struct RuntimeSlot;

struct Build {
  Arena arena;  // owns every record below

  u64 mode = BUILD_EXECUTABLE;
  Target target;
  u64 verbose = 0;
  std::string out_path;
  std::string cache_dir;
  std::string project_dir;
  std::vector<std::string> files;
  OrderedMap<Package*> packages;            // by directory
  OrderedMap<Namespace*> namespace_dirs;    // directories bound to a namespace
  Package* tesk_package = nullptr;
  RuntimeSlot* runtime_slots = nullptr;  // where runtime lookups found their names (model/runtime.cpp)
  Namespace* main_namespace = nullptr;
  OrderedMap<SourceFile*> loaded_files;     // by path, in load order
  Func* main_func = nullptr;
  Unit* main_unit = nullptr;
  Func* entry_func = nullptr;
  Unit* generated_unit = nullptr;
  Chunk* generated_chunk = nullptr;
  SourceFile* generated_file = nullptr;     // "<tesk-generated-code>"
  std::vector<Unit*> units;
  std::vector<SourceFile*> stage1_queue;
  std::vector<Func*> function_queue;
  OrderedMap<LinkLibrary*> link_names;
  std::vector<LinkLibrary*> links;
  std::vector<Alias*> aliases;
  std::vector<Class*> classes;
  OrderedMap<Class*> class_instances;
  OrderedMap<Class*> anon_object_classes;  // classes of `object {...}` values, by shape
  std::vector<Class*> class_queue;
  std::vector<Global*> globals;
  std::vector<Global*> used_globals;
  std::vector<Class*> used_classes;
  std::vector<AllocatorPool*> used_pools;
  std::vector<Chunk*> extends;             // one per "extend" declaration, registered in Stage 2.1
  std::vector<Func*> functions;
  std::vector<Func*> tests;
  OrderedMap<u64> string_ids;
  std::vector<Enum*> enums;
  OrderedMap<AllocatorPool*> alloc_pools;
  OrderedMap<Class*> vtables;               // "<class>_VTABLE" symbols that @vtable named
  // The first call of each instance function read before its body: where its `#error`,
  // if the body reaches one, is reported.
  struct CallSite {
    Chunk* chunk = nullptr;
    Func* caller = nullptr;
  };
  std::unordered_map<Func*, CallSite> first_calls;
  std::vector<Func*> loop_globals_funcs;
  std::vector<Func*> loop_classes_funcs;
  std::vector<Func*> init_allocators_funcs;
  OrderedMap<std::string> defines;          // compile-time variables
  LspContext* lsp = nullptr;
  std::vector<BuildMessage> messages;
  std::vector<Diagnostic> diagnostics;
  // Errors reported so far (build and parse errors). In watch mode and for the language
  // server a reported error ends only its task; a build that counted one makes nothing.
  u64 errors_reported = 0;
  u64 ptr_size = 8;
  u64 anon_counter = 0;
  u64 loc_files = 0;
  u64 loc_parsed = 0;
  u8 reread_loops = 0;  // tests: read every second reading of a loop, replay none, keep no first
  // Times a first reading of a loop body did something a kept reading must not (a relaxed
  // check, a closure or function left unmade, a nested loop): such a reading is read again.
  u64 loop_mode_effects = 0;
  u64 string_counter = 0;
  CliArgs cli;
  // The command line up to the program's arguments: what a recorded build must match.
  std::vector<std::string> command_line;
  // What the front end printed at any verbosity (compile-time prints), in order.
  std::string printed;
  // The record being made of this build's inputs (driver/build_stamp), or null.
  std::shared_ptr<BuildStamp> stamp;
  u8 sizes_done = 0;
  // Inline class types read before the class sizes were known: checked for GC
  // references once they are (check_pending_inline_types).
  std::vector<std::pair<Chunk*, Type*>> pending_inline_types;
  u8 new_global_used = 0;
  u8 new_class_used = 0;
  u8 new_pool_used = 0;
  u8 no_warn = 0;
  u8 test = 0;
  u8 clean = 0;
  u8 static_ = 0;   // "--static"
  u8 optimise = 1;
  u8 debug = 0;
  u8 run = 0;
  u8 watch_mode = 0;
  u8 single_unit = 0;

  template <typename T, typename... Args>
  T* make(Args&&... args) {
    return arena.make<T>(std::forward<Args>(args)...);
  }

  // Expression values, statements, scopes, parsers and local bindings die with the
  // function whose body is being read: while `func_region` is set they go to
  // `func_arena`, which the Stage 3 driver resets once the function's IR is written.
  Arena func_arena;
  u8 func_region = 0;
  // Something longer-lived points into the region (a function declared in a body): its
  // records join the build's arena instead of being reset.
  u8 func_region_kept = 0;
  template <typename T>
  T* make_func_lived() {
    return (func_region ? func_arena : arena).make<T>();
  }
};

}  // namespace tesk
