#pragma once
// LLVM IR files to object files through the LLVM C interface.
#include <llvm-c/TargetMachine.h>
#include <llvm-c/Types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/build.h"

namespace tesk {

// Registers the X86 and AArch64 back ends; only the first call does work. Call it on
// the main thread before any object-file thread starts.
void init_llvm_targets();

// The LLVM triple of a target; "" for an unknown system or architecture.
std::string llvm_triple(const Target& target);

// Parses, verifies, optionally optimises and emits the IR text as an object file;
// then writes the text to prev_ir_path. ir_path names the unit's .ir file (which holds
// the same text) in LLVM's messages. Returns the error text, or nullopt on success.
// The old -prev.ir is removed first and the object and the new -prev.ir each appear
// under their names only when complete, so a process killed at any point leaves no
// -prev.ir that matches an object made from other IR.
// Safe to run on several threads at once (each call has its own LLVM context).
//
// store_dir, when not "", names a directory of objects shared by every build that
// names it (TESK_OBJECT_STORE): each entry holds the exact inputs of code generation
// (this compiler and LLVM library, the triple, the optimise flag, the whole IR text)
// followed by the object, written under a private name and moved into place whole.
// An entry serves only when all of its inputs equal this unit's, so it can never
// hand out an object made from anything else; store_read false only adds entries.
std::optional<std::string> compile_ir_text(const std::string& ir_text, const std::string& ir_path,
                                           const std::string& prev_ir_path, const std::string& object_path,
                                           const Target& target, bool optimise,
                                           const std::string& store_dir = "", bool store_read = true);
// compile_ir_text on the content of an IR file.
std::optional<std::string> compile_ir_file(const std::string& ir_path, const std::string& prev_ir_path,
                                           const std::string& object_path, const Target& target,
                                           bool optimise);

// The target machine for the target's triple; sets triple and data layout on the
// module. Every failure is fatal (a line, then exit code 1).
LLVMTargetMachineRef create_target_machine(LLVMModuleRef module, const Target& target);

// --ir: parses the unit's IR text (no verification) and writes it to the output path.
// LLVM errors are fatal; an output that cannot be written is a build error. The
// -prev.ir file is left alone, since it vouches for the object file.
void write_ir_output(Build* b, Unit* unit, const std::string& ir_text);

// Writes the line and a newline to standard output.
void backend_print(std::string_view line);

// Prints one line and ends the process with exit code 1 (on the main thread through
// exit_process, so tests can catch it; an object-file thread ends the process at once).
[[noreturn]] void backend_fatal(std::string_view line);
// The same without the line.
[[noreturn]] void backend_exit();

// Marks the calling thread as an object-file thread (see backend_fatal); an LLVM fatal
// error on it is recorded in messages as the failure to make object_path.
void mark_object_thread(std::vector<BuildMessage>* messages, const std::string* object_path);

}  // namespace tesk
