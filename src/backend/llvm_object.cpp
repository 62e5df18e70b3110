#include "backend/llvm_object.h"

#include "backend/memory_tags.h"
#include "backend/new_objects.h"
#include "backend/frame_slots.h"
#include "backend/object_files.h"

#include <fcntl.h>
#include <llvm-c/Analysis.h>
#include <llvm-c/Core.h>
#include <llvm-c/ErrorHandling.h>
#include <llvm-c/IRReader.h>
#include <llvm-c/Target.h>
#include <llvm-c/Transforms/PassManagerBuilder.h>
#include <llvm/Support/ErrorHandling.h>
#include <llvm/Transforms/IPO/PassManagerBuilder.h>
#include <pthread.h>
#include <unistd.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <atomic>
#include <mutex>
#include <vector>

#include "driver/errors.h"
#include "driver/name_hash.h"
#include "source/records.h"
#include "util/errors.h"
#include "util/fs.h"

namespace tesk {

namespace {

thread_local bool t_object_thread = false;
// Where an LLVM fatal error on this object thread is recorded, and for which object.
thread_local std::vector<BuildMessage>* t_messages = nullptr;
thread_local const std::string* t_object_path = nullptr;

// Takes an LLVM message: its text, and the message released.
std::string take_message(char* message) {
  std::string text = message ? message : "";
  if (message) LLVMDisposeMessage(message);
  return text;
}

// Everything one compilation owns; released on every path out.
struct LlvmUnit {
  LLVMContextRef context = nullptr;
  LLVMModuleRef module = nullptr;
  LLVMTargetMachineRef machine = nullptr;
  ~LlvmUnit() {
    if (machine) LLVMDisposeTargetMachine(machine);
    if (module) LLVMDisposeModule(module);
    if (context) LLVMContextDispose(context);
  }
};

// Parses a buffer into u->module (the module owns the buffer from here on, also when
// parsing fails). Returns the error text, or nullopt with u->module set.
std::optional<std::string> parse_ir(LlvmUnit* u, LLVMMemoryBufferRef buffer, const char* no_parse_message) {
  u->context = LLVMContextCreate();
  LLVMContextSetOpaquePointers(u->context, 1);
  LLVMModuleRef module = nullptr;
  char* message = nullptr;
  if (LLVMParseIRInContext(u->context, buffer, &module, &message)) {
    if (module) LLVMDisposeModule(module);
    if (!message) return std::string("LLVM parse error: ") + no_parse_message;
    return "LLVM parse error: " + take_message(message);
  }
  if (message) LLVMDisposeMessage(message);
  u->module = module;
  return std::nullopt;
}

// A buffer over the text without copying it; named after the .ir file, so LLVM's
// messages name the file as they would had it read the file itself. The text ends in
// the string's terminating zero, which LLVM's lexer needs.
LLVMMemoryBufferRef text_buffer(const std::string& text, const std::string& ir_path) {
  return LLVMCreateMemoryBufferWithMemoryRange(text.c_str(), text.size(), ir_path.c_str(), 1);
}

// Tests stop a build abruptly at a named point of the object cache, as a kill from
// outside would, to show that no such moment leaves an object paired with foreign IR.
void test_kill_point(const char* point) {
  const char* at = std::getenv("TESK_TEST_KILL_AT");
  if (at && std::strcmp(at, point) == 0) ::raise(SIGKILL);
}

// Everything besides the IR text that decides the object's bytes.
const std::string& store_codegen_identity() {
  static const std::string id = [] {
    std::string out = file_identity("/proc/self/exe");
    Dl_info info{};
    out += '\n';
    out += dladdr(reinterpret_cast<void*>(&LLVMContextCreate), &info) ? std::string(info.dli_fname) + "@" + file_identity(info.dli_fname) : "-";
    return out;
  }();
  return id;
}

// The head of a store entry: the inputs of code generation; the object follows it.
std::string store_entry_head(const std::string& ir_text, const Target& target, bool optimise) {
  std::string head = "tesk-object-store 1\n";
  head += store_codegen_identity();
  head += '\n';
  head += llvm_triple(target);
  head += optimise ? " O3\n" : " O0\n";
  head += std::to_string(ir_text.size());
  head += '\n';
  head += ir_text;
  return head;
}

// Whole file content without the build's file recording; nullopt when unreadable.
std::optional<std::string> store_read_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[1 << 16];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return out;
}

// A name no other process or thread writes at the same time.
std::string private_temp_name(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + "." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
}

bool write_whole_under_private_name(const std::string& path, std::string_view a, std::string_view b) {
  std::string tmp = private_temp_name(path);
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(a.data(), 1, a.size(), f) == a.size() && std::fwrite(b.data(), 1, b.size(), f) == b.size();
  ok = (std::fclose(f) == 0) && ok;
  if (ok && rename_file(tmp, path)) return true;
  remove_file(tmp);
  return false;
}

// Writes the object's bytes; the system's reason when that fails. Tests point the
// file at /dev/full (TESK_TEST_FULL_DISK) to meet a real "no space" on the write.
std::optional<std::string> write_object(const std::string& path, const char* data, size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return std::string(std::strerror(errno));
  if (std::getenv("TESK_TEST_FULL_DISK")) {
    int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full >= 0) {
      ::dup2(full, fd);
      ::close(full);
    }
  }
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = n < 0 ? errno : EIO;
      ::close(fd);
      return std::string(std::strerror(err));
    }
    done += static_cast<size_t>(n);
  }
  // A file system that reports a full disk only on close must fail here too.
  if (::close(fd) != 0) return std::string(std::strerror(errno));
  return std::nullopt;
}

// LLVM ends the process after a fatal error unless the handler never returns. On an
// object thread that exit would run while other threads still compile: the error is
// recorded as the thread's build error and the thread alone ends.
void llvm_fatal_error(const char* reason) {
  std::string text = reason ? reason : "";
  if (t_object_thread && t_messages) {
    global_lock();
    t_messages->push_back(
        BuildMessage{MSG_ERROR, "LLVM failed to create .o file: " + (t_object_path ? *t_object_path : "") + ": " + text});
    global_unlock();
    ::pthread_exit(nullptr);
  }
  backend_fatal("LLVM ERROR: " + text);
}

// Tests raise an LLVM fatal error at a named point of an object thread.
void test_fatal_point(const char* point) {
  const char* at = std::getenv("TESK_TEST_LLVM_FATAL_AT");
  if (at && std::strcmp(at, point) == 0) llvm::report_fatal_error("test fatal error", false);
}

// Writes the object under a temporary name and moves it into place when complete, so
// the object path never holds a partly written file; the error text on failure.
std::optional<std::string> place_object(const std::string& partial, const std::string& object_path,
                                        std::string_view bytes) {
  if (auto failed = write_object(partial, bytes.data(), bytes.size())) {
    remove_file(partial);
    return "LLVM failed to create .o file: " + object_path + ": " + *failed;
  }
  test_kill_point("object-partial");
  if (!rename_file(partial, object_path)) {
    std::string reason = std::strerror(errno);
    remove_file(partial);
    return "LLVM failed to create .o file: " + object_path + ": " + reason;
  }
  test_kill_point("object-written");
  return std::nullopt;
}

void optimise_module(LLVMModuleRef module, LLVMTargetMachineRef machine) {
  LLVMPassManagerBuilderRef builder = LLVMPassManagerBuilderCreate();
  LLVMPassManagerBuilderSetOptLevel(builder, 3);
  LLVMPassManagerBuilderSetSizeLevel(builder, 0);
  LLVMPassManagerBuilderUseInlinerWithThreshold(builder, 1000);
  // The C interface leaves the straight-line vectoriser off; C compilers run it at -O2.
  llvm::unwrap(builder)->SLPVectorize = true;
  LLVMPassManagerRef function_passes = LLVMCreateFunctionPassManagerForModule(module);
  LLVMPassManagerRef module_passes = LLVMCreatePassManager();
  // The target's cost model and layout guide inlining, unrolling and vectorising.
  LLVMAddAnalysisPasses(machine, function_passes);
  LLVMAddAnalysisPasses(machine, module_passes);
  LLVMPassManagerBuilderPopulateFunctionPassManager(builder, function_passes);
  LLVMPassManagerBuilderPopulateModulePassManager(builder, module_passes);
  LLVMPassManagerBuilderDispose(builder);
  LLVMInitializeFunctionPassManager(function_passes);
  for (LLVMValueRef fn = LLVMGetFirstFunction(module); fn; fn = LLVMGetNextFunction(fn)) {
    LLVMRunFunctionPassManager(function_passes, fn);
  }
  LLVMFinalizeFunctionPassManager(function_passes);
  LLVMRunPassManager(module_passes, module);
  LLVMDisposePassManager(function_passes);
  LLVMDisposePassManager(module_passes);
}

// Tests read what the back end made of a unit: TESK_DUMP_OPT_IR names a directory
// where each unit's final module goes, under the .ir file's own name.
void dump_optimised(LLVMModuleRef module, const std::string& ir_path) {
  const char* dir = std::getenv("TESK_DUMP_OPT_IR");
  if (!dir || !*dir) return;
  size_t slash = ir_path.find_last_of('/');
  std::string path = std::string(dir) + "/" + (slash == std::string::npos ? ir_path : ir_path.substr(slash + 1));
  char* message = nullptr;
  if (LLVMPrintModuleToFile(module, path.c_str(), &message)) backend_print("Failed to write: " + path);
  if (message) LLVMDisposeMessage(message);
}

}  // namespace

void backend_print(std::string_view line) {
  std::string s(line);
  s += '\n';
  std::fwrite(s.data(), 1, s.size(), stdout);
}

void mark_object_thread(std::vector<BuildMessage>* messages, const std::string* object_path) {
  t_object_thread = true;
  t_messages = messages;
  t_object_path = object_path;
}

[[noreturn]] void backend_exit() {
  if (t_object_thread) {
    std::fflush(stdout);
    std::_Exit(1);
  }
  exit_process(1);
}

[[noreturn]] void backend_fatal(std::string_view line) {
  backend_print(line);
  backend_exit();
}

void init_llvm_targets() {
  static std::once_flag once;
  std::call_once(once, [] {
    LLVMInitializeX86TargetInfo();
    LLVMInitializeX86Target();
    LLVMInitializeX86TargetMC();
    LLVMInitializeX86AsmPrinter();
    LLVMInitializeAArch64TargetInfo();
    LLVMInitializeAArch64Target();
    LLVMInitializeAArch64TargetMC();
    LLVMInitializeAArch64AsmPrinter();
    LLVMInstallFatalErrorHandler(llvm_fatal_error);
  });
}

std::string llvm_triple(const Target& target) {
  if (target.arch == "x64") {
    if (target.os == "linux") return "x86_64-pc-linux-gnu";
    if (target.os == "macos") return "x86_64-apple-darwin";
    if (target.os == "win") return "x86_64-pc-windows-msvc";
  } else if (target.arch == "arm64") {
    if (target.os == "linux") return "aarch64-pc-linux-gnu";
    if (target.os == "macos") return "arm64-apple-darwin";
    if (target.os == "win") return "aarch64-pc-windows-msvc";
  }
  return "";
}

LLVMTargetMachineRef create_target_machine(LLVMModuleRef module, const Target& target) {
  if (target.arch != "x64" && target.arch != "arm64") backend_fatal("Unknown architecture (bug)");
  std::string triple = llvm_triple(target);
  if (triple.empty()) {
    log_line("❌", "Could not figure out the LLVM triple");
    backend_exit();
  }
  LLVMTargetRef target_ref = nullptr;
  char* message = nullptr;
  if (LLVMGetTargetFromTriple(triple.c_str(), &target_ref, &message)) {
    if (message) backend_fatal("LLVM - Unknow target: " + take_message(message));
    backend_fatal("LLVM - Unknow target");
  }
  if (message) LLVMDisposeMessage(message);
  if (!target_ref) backend_fatal("LLVM failed to create target object (bug)");
  LLVMTargetMachineRef machine = LLVMCreateTargetMachine(target_ref, triple.c_str(), "generic", nullptr,
                                                         LLVMCodeGenLevelDefault, LLVMRelocPIC,
                                                         LLVMCodeModelDefault);
  if (!machine) backend_fatal("LLVM failed to create target machine object (bug)");
  LLVMTargetDataRef data = LLVMCreateTargetDataLayout(machine);
  char* layout = LLVMCopyStringRepOfTargetData(data);
  LLVMSetTarget(module, triple.c_str());
  LLVMSetDataLayout(module, layout);
  LLVMDisposeMessage(layout);
  LLVMDisposeTargetData(data);
  return machine;
}

std::optional<std::string> compile_ir_file(const std::string& ir_path, const std::string& prev_ir_path,
                                           const std::string& object_path, const Target& target,
                                           bool optimise) {
  LLVMMemoryBufferRef buffer = nullptr;
  char* message = nullptr;
  LLVMCreateMemoryBufferWithContentsOfFile(ir_path.c_str(), &buffer, &message);
  if (message) {
    if (buffer) LLVMDisposeMemoryBuffer(buffer);
    return "LLVM create buffer error: " + take_message(message);
  }
  if (!buffer) return std::string("LLVM failed to load IR content");
  std::string text(LLVMGetBufferStart(buffer), LLVMGetBufferSize(buffer));
  LLVMDisposeMemoryBuffer(buffer);
  return compile_ir_text(text, ir_path, prev_ir_path, object_path, target, optimise);
}

std::optional<std::string> compile_ir_text(const std::string& ir_text, const std::string& ir_path,
                                           const std::string& prev_ir_path, const std::string& object_path,
                                           const Target& target, bool optimise, const std::string& store_dir,
                                           bool store_read) {
  // The stamp goes first: from here until the new stamp is in place, a build that
  // dies at any moment leaves a unit without stamp, which the next build compiles.
  if (!remove_file(prev_ir_path)) return "Failed to remove: " + prev_ir_path;

  std::string store_head, store_entry;
  if (!store_dir.empty()) {
    store_head = store_entry_head(ir_text, target, optimise);
    store_entry = path_join(store_dir, name_hash_text(store_head) + ".entry");
  }
  if (!store_entry.empty() && store_read) {
    std::optional<std::string> entry = store_read_file(store_entry);
    if (entry && entry->size() > store_head.size() &&
        std::string_view(*entry).substr(0, store_head.size()) == store_head) {
      std::string_view object = std::string_view(*entry).substr(store_head.size());
      if (auto err = place_object(private_temp_name(object_path), object_path, object)) return err;
      if (!write_file_atomic(prev_ir_path, ir_text)) backend_print("Failed to update: " + prev_ir_path);
      return std::nullopt;
    }
  }

  LlvmUnit u;
  if (auto err = parse_ir(&u, text_buffer(ir_text, ir_path), "<no-error-message>")) return err;
  if (!u.module) return std::string("LLVM error: Module was not created");

  char* message = nullptr;
  if (LLVMVerifyModule(u.module, LLVMReturnStatusAction, &message)) {
    if (!message) return std::string("LLVM verify error: <no-error-message>");
    return "LLVM error in: " + ir_path + "\nLLVM verify error: " + take_message(message);
  }
  // The verifier leaves an empty message on success; release it so the emit step
  // below reports only its own text.
  if (message) LLVMDisposeMessage(message);
  message = nullptr;

  // The optimiser works with the layout and cost model of the machine it emits for.
  u.machine = create_target_machine(u.module, target);
  clear_dead_slots(u.module);
  if (optimise) {
    forward_slot_values(u.module);
    mark_frame_aliasing(u.module);
    mark_array_accesses(u.module);
    mark_property_accesses(u.module);
    mark_new_objects(u.module);
    optimise_module(u.module, u.machine);
    drop_object_copies(u.module);
  }
  dump_optimised(u.module, ir_path);

  LLVMMemoryBufferRef object = nullptr;
  if (LLVMTargetMachineEmitToMemoryBuffer(u.machine, u.module, LLVMObjectFile, &message, &object)) {
    if (message) return "LLVM failed to create .o file: " + take_message(message);
    return std::string("LLVM failed to create .o file");
  }
  if (message) LLVMDisposeMessage(message);
  test_fatal_point("object-emitted");

  std::string_view bytes(LLVMGetBufferStart(object), LLVMGetBufferSize(object));
  auto failed = place_object(object_path + ".tmp", object_path, bytes);
  // A store that cannot take the entry only costs a later build the compile.
  if (!failed && !store_entry.empty()) {
    ::mkdir(store_dir.c_str(), 0755);
    write_whole_under_private_name(store_entry, store_head, bytes);
  }
  LLVMDisposeMemoryBuffer(object);
  if (failed) return failed;

  // The stamp is the text the object was made from: the same bytes as the .ir file.
  if (!write_file_atomic(prev_ir_path, ir_text)) backend_print("Failed to update: " + prev_ir_path);
  return std::nullopt;
}

void write_ir_output(Build* b, Unit* unit, const std::string& ir_text) {
  auto u = std::make_unique<LlvmUnit>();
  if (auto err = parse_ir(u.get(), text_buffer(ir_text, unit->ir_path), "<no-msg>")) backend_fatal(*err);
  // A missing output is a failed build, never "IR output:" and exit code 0.
  if (!write_file(b->out_path, ir_text)) build_error(b, "Failed to write: " + b->out_path);
  // The stamp stays: it describes the unit's object file, which --ir does not make.

  // Taking a large module apart costs about a third of its parse. A build that ends
  // the process keeps it (reachable) instead; a watcher, which builds again and
  // again, releases it.
  if (!b->watch_mode) {
    static std::vector<std::unique_ptr<LlvmUnit>> kept;
    kept.push_back(std::move(u));
  }
}

}  // namespace tesk
