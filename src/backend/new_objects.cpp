#include "backend/new_objects.h"

#include <llvm/IR/Constants.h>
#include <llvm/IR/GlobalVariable.h>
#include <llvm/IR/IRBuilder.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/Module.h>

#include <cstdint>
#include <vector>

namespace tesk {

namespace {

constexpr const char* kPoolPrefix = "ALC_";

// The item size a pool global's name carries (`ALC_<size>__...`); 0 for any other.
uint64_t pool_item_size(const llvm::Value* pool) {
  const auto* load = llvm::dyn_cast<llvm::LoadInst>(pool);
  if (!load || load->isVolatile()) return 0;
  const auto* global = llvm::dyn_cast<llvm::GlobalVariable>(load->getPointerOperand());
  if (!global) return 0;
  llvm::StringRef name = global->getName();
  if (!name.consume_front(kPoolPrefix)) return 0;
  uint64_t size = 0;
  if (name.consumeInteger(10, size) || !name.startswith("__")) return 0;
  return size;
}

constexpr const char* kCopyName = "tesk.new_object";

// ptr f(ptr): no memory effects, so it moves and merges freely.
llvm::FunctionCallee object_copy_function(llvm::Module* module) {
  llvm::LLVMContext& ctx = module->getContext();
  llvm::Type* ptr = llvm::PointerType::get(ctx, 0);
  llvm::FunctionCallee fn = module->getOrInsertFunction(kCopyName, llvm::FunctionType::get(ptr, {ptr}, false));
  if (auto* f = llvm::dyn_cast<llvm::Function>(fn.getCallee())) {
    f->setDoesNotAccessMemory();
    f->setDoesNotThrow();
    f->setWillReturn();
    f->addFnAttr(llvm::Attribute::NoSync);
    f->addFnAttr(llvm::Attribute::NoFree);
    f->addFnAttr(llvm::Attribute::Speculatable);
  }
  return fn;
}

bool is_pool_get(const llvm::Function* callee) {
  if (!callee) return false;
  llvm::StringRef name = callee->getName();
  return name == "tesk__gc__Pool__get" || name == "tesk__gc__Pool__get_vtable";
}

}  // namespace

void mark_new_objects(LLVMModuleRef module_ref) {
  llvm::Module* module = llvm::unwrap(module_ref);
  std::vector<std::pair<llvm::CallInst*, uint64_t>> found;
  for (llvm::Function& fn : *module) {
    // The pool itself hands out raw memory it has yet to make an object.
    if (fn.getName().startswith("tesk__gc__")) continue;
    for (llvm::BasicBlock& bb : fn) {
      for (llvm::Instruction& i : bb) {
        auto* call = llvm::dyn_cast<llvm::CallInst>(&i);
        if (!call || call->arg_size() != 1 || !is_pool_get(call->getCalledFunction())) continue;
        if (!call->getType()->isPointerTy()) continue;
        if (uint64_t size = pool_item_size(call->getArgOperand(0))) found.emplace_back(call, size);
      }
    }
  }
  if (found.empty()) return;
  llvm::LLVMContext& ctx = module->getContext();
  llvm::FunctionCallee copy_fn = object_copy_function(module);
  for (auto [call, size] : found) {
    // The facts ride on the return of a copy the optimiser cannot see through, so
    // they hold wherever the object is used; inlining the pool's get would drop any
    // attribute of the call itself.
    llvm::IRBuilder<> b(call->getNextNode());
    llvm::CallInst* copy = b.CreateCall(copy_fn, {call});
    call->replaceUsesWithIf(copy, [copy](llvm::Use& u) { return u.getUser() != copy; });
    copy->addRetAttr(llvm::Attribute::getWithDereferenceableBytes(ctx, size));
    copy->addRetAttr(llvm::Attribute::getWithAlignment(ctx, llvm::Align(8)));
    copy->addRetAttr(llvm::Attribute::NonNull);
  }
}

void drop_object_copies(LLVMModuleRef module_ref) {
  llvm::Module* module = llvm::unwrap(module_ref);
  llvm::Function* fn = module->getFunction(kCopyName);
  if (!fn) return;
  while (!fn->use_empty()) {
    auto* call = llvm::cast<llvm::CallInst>(fn->user_back());
    call->replaceAllUsesWith(call->getArgOperand(0));
    call->eraseFromParent();
  }
  fn->eraseFromParent();
}

}  // namespace tesk
