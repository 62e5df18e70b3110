#include "llvm_check.h"

#include <llvm-c/Analysis.h>
#include <llvm-c/Core.h>
#include <llvm-c/ExecutionEngine.h>
#include <llvm-c/IRReader.h>
#include <llvm-c/Target.h>
#include <llvm-c/TargetMachine.h>

#include "backend/llvm_object.h"

namespace tesk::test {

const std::vector<std::string>& target_triples() {
  // win-x64, linux-x64, linux-arm64, macos-x64, macos-arm64
  static const std::vector<std::string> triples = {
      "x86_64-pc-windows-msvc", "x86_64-pc-linux-gnu", "aarch64-pc-linux-gnu",
      "x86_64-apple-darwin",    "arm64-apple-darwin",
  };
  return triples;
}

namespace {

std::string take_message(char* m) {
  std::string s = m ? m : "";
  if (m) LLVMDisposeMessage(m);
  return s;
}

// Parses the text into a new module of the context; sets err on failure.
LLVMModuleRef parse(LLVMContextRef ctx, const std::string& text, std::string* err) {
  LLVMMemoryBufferRef buf = LLVMCreateMemoryBufferWithMemoryRangeCopy(text.data(), text.size(), "unit.ir");
  LLVMModuleRef mod = nullptr;
  char* msg = nullptr;
  // The parser takes ownership of the buffer.
  if (LLVMParseIRInContext(ctx, buf, &mod, &msg)) {
    *err = "parse: " + take_message(msg);
    return nullptr;
  }
  return mod;
}

}  // namespace

std::string llvm_check(const std::string& ir_text) {
  init_llvm_targets();
  std::string err;
  {
    LLVMContextRef ctx = LLVMContextCreate();
    LLVMContextSetOpaquePointers(ctx, 1);
    LLVMModuleRef mod = parse(ctx, ir_text, &err);
    if (mod) {
      char* msg = nullptr;
      if (LLVMVerifyModule(mod, LLVMReturnStatusAction, &msg)) err = "verify: " + take_message(msg);
      else take_message(msg);
      LLVMDisposeModule(mod);
    }
    LLVMContextDispose(ctx);
    if (!err.empty()) return err;
  }
  for (const std::string& triple : target_triples()) {
    LLVMContextRef ctx = LLVMContextCreate();
    LLVMContextSetOpaquePointers(ctx, 1);
    LLVMModuleRef mod = parse(ctx, ir_text, &err);
    if (mod) {
      LLVMTargetRef target = nullptr;
      char* msg = nullptr;
      if (LLVMGetTargetFromTriple(triple.c_str(), &target, &msg)) {
        err = "target: " + take_message(msg);
      } else {
        LLVMTargetMachineRef tm = LLVMCreateTargetMachine(target, triple.c_str(), "generic", "",
                                                          LLVMCodeGenLevelDefault, LLVMRelocPIC, LLVMCodeModelDefault);
        LLVMTargetDataRef layout = LLVMCreateTargetDataLayout(tm);
        char* layout_text = LLVMCopyStringRepOfTargetData(layout);
        LLVMSetTarget(mod, triple.c_str());
        LLVMSetDataLayout(mod, layout_text);
        LLVMDisposeMessage(layout_text);
        LLVMDisposeTargetData(layout);
        LLVMMemoryBufferRef out = nullptr;
        if (LLVMTargetMachineEmitToMemoryBuffer(tm, mod, LLVMObjectFile, &msg, &out)) {
          err = "emit: " + take_message(msg);
        } else {
          if (LLVMGetBufferSize(out) == 0) err = "emit: empty object";
          LLVMDisposeMemoryBuffer(out);
        }
        LLVMDisposeTargetMachine(tm);
      }
      LLVMDisposeModule(mod);
    }
    LLVMContextDispose(ctx);
    if (!err.empty()) return triple + ": " + err;
  }
  return "";
}

bool llvm_function_has_attribute(const std::string& ir_text, const std::string& func, const std::string& attr) {
  std::string err;
  LLVMContextRef ctx = LLVMContextCreate();
  LLVMContextSetOpaquePointers(ctx, 1);
  LLVMModuleRef mod = parse(ctx, ir_text, &err);
  bool found = false;
  if (mod) {
    LLVMValueRef fn = LLVMGetNamedFunction(mod, func.c_str());
    unsigned kind = LLVMGetEnumAttributeKindForName(attr.data(), attr.size());
    if (fn && kind) found = LLVMGetEnumAttributeAtIndex(fn, LLVMAttributeFunctionIndex, kind) != nullptr;
    LLVMDisposeModule(mod);
  }
  LLVMContextDispose(ctx);
  return found;
}

JitUnit::JitUnit(const std::string& ir_text) {
  init_llvm_targets();
  LLVMLinkInMCJIT();
  LLVMContextRef ctx = LLVMContextCreate();
  LLVMContextSetOpaquePointers(ctx, 1);
  context_ = ctx;
  LLVMModuleRef mod = parse(ctx, ir_text, &error_);
  if (!mod) return;
  LLVMExecutionEngineRef ee = nullptr;
  char* msg = nullptr;
  // The engine owns the module from here on.
  if (LLVMCreateExecutionEngineForModule(&ee, mod, &msg)) {
    error_ = "jit: " + take_message(msg);
    return;
  }
  engine_ = ee;
}

JitUnit::~JitUnit() {
  if (engine_) LLVMDisposeExecutionEngine(static_cast<LLVMExecutionEngineRef>(engine_));
  if (context_) LLVMContextDispose(static_cast<LLVMContextRef>(context_));
}

void* JitUnit::address(const std::string& name) {
  if (!engine_) return nullptr;
  uint64_t a = LLVMGetFunctionAddress(static_cast<LLVMExecutionEngineRef>(engine_), name.c_str());
  return reinterpret_cast<void*>(static_cast<uintptr_t>(a));
}

}  // namespace tesk::test
