#include "backend/memory_tags.h"

#include <llvm-c/Core.h>

#include <cstring>
#include <string>
#include <unordered_map>

namespace tesk {

namespace {

constexpr const char* kArrayPrefix = "tesk__type__Array__";
constexpr const char* kThis = "arg.this.0";
constexpr int64_t kDataOffset = 8;

bool is_op(LLVMValueRef v, LLVMOpcode op) { return LLVMIsAInstruction(v) && LLVMGetInstructionOpcode(v) == op; }

// Byte offset of ptr into the object `self` when it is `self` or an i8 step from it
// by a constant; -1 otherwise.
int64_t field_offset(LLVMValueRef ptr, LLVMValueRef self) {
  if (ptr == self) return 0;
  if (!is_op(ptr, LLVMGetElementPtr) || LLVMGetNumOperands(ptr) != 2 || LLVMGetOperand(ptr, 0) != self) return -1;
  LLVMTypeRef step = LLVMGetGEPSourceElementType(ptr);
  if (LLVMGetTypeKind(step) != LLVMIntegerTypeKind || LLVMGetIntTypeWidth(step) != 8) return -1;
  LLVMValueRef index = LLVMGetOperand(ptr, 1);
  if (!LLVMIsAConstantInt(index)) return -1;
  return LLVMConstIntGetSExtValue(index);
}

bool is_header(LLVMValueRef ptr, LLVMValueRef self) {
  int64_t at = field_offset(ptr, self);
  return at == 0 || at == kDataOffset;
}

// The reference p holds with its tag bits cleared: p = inttoptr(ptrtoint(r) & -4)
// gives r; nullptr for any other p.
LLVMValueRef untagged(LLVMValueRef p) {
  if (!is_op(p, LLVMIntToPtr)) return nullptr;
  LLVMValueRef masked = LLVMGetOperand(p, 0);
  if (!is_op(masked, LLVMAnd) || !LLVMIsAConstantInt(LLVMGetOperand(masked, 1))) return nullptr;
  if (LLVMConstIntGetSExtValue(LLVMGetOperand(masked, 1)) != -4) return nullptr;
  LLVMValueRef word = LLVMGetOperand(masked, 0);
  return is_op(word, LLVMPtrToInt) ? LLVMGetOperand(word, 0) : nullptr;
}

// An element of self: one index step from `data` with its tag bits cleared.
bool is_element(LLVMValueRef ptr, LLVMValueRef self) {
  if (!is_op(ptr, LLVMGetElementPtr) || LLVMGetNumOperands(ptr) != 2) return false;
  LLVMValueRef data = untagged(LLVMGetOperand(ptr, 0));
  return data && is_op(data, LLVMLoad) && field_offset(LLVMGetOperand(data, 0), self) == kDataOffset;
}

LLVMValueRef access_pointer(LLVMValueRef i) {
  if (is_op(i, LLVMLoad)) return LLVMGetOperand(i, 0);
  if (is_op(i, LLVMStore)) return LLVMGetOperand(i, 1);
  return nullptr;
}

// A root of type-based tags; accesses tagged under different roots may alias.
LLVMMetadataRef tag_root(LLVMContextRef ctx, const char* name) {
  LLVMMetadataRef name_md = LLVMMDStringInContext2(ctx, name, std::strlen(name));
  return LLVMMDNodeInContext2(ctx, &name_md, 1);
}

// A scalar type-based access tag under the given root.
LLVMValueRef access_tag(LLVMContextRef ctx, LLVMMetadataRef root, const char* name) {
  LLVMMetadataRef zero = LLVMValueAsMetadata(LLVMConstInt(LLVMInt64TypeInContext(ctx), 0, 0));
  LLVMMetadataRef type_parts[3] = {LLVMMDStringInContext2(ctx, name, std::strlen(name)), root, zero};
  LLVMMetadataRef type = LLVMMDNodeInContext2(ctx, type_parts, 3);
  LLVMMetadataRef tag_parts[3] = {type, type, zero};
  return LLVMMetadataAsValue(ctx, LLVMMDNodeInContext2(ctx, tag_parts, 3));
}

// A whole object: a reference read from a frame slot, a field or an element (not a
// plain local, which may hold any address) or returned by a call, with its tag bits
// cleared; never an address computed from another.
bool is_object(LLVMValueRef p) {
  if (LLVMValueRef r = untagged(p)) p = r;
  if (is_op(p, LLVMLoad)) return !LLVMIsAAllocaInst(LLVMGetOperand(p, 0));
  if (is_op(p, LLVMCall)) {
    LLVMValueRef callee = LLVMGetCalledValue(p);
    size_t len = 0;
    const char* name = callee && LLVMIsAFunction(callee) ? LLVMGetValueName2(callee, &len) : nullptr;
    return name && !(len >= 5 && std::strncmp(name, "llvm.", 5) == 0);
  }
  return false;
}

// A property access: an i8 step by an i32 constant (raw @ptrv steps are i64).
int64_t property_offset(LLVMValueRef ptr) {
  if (!is_op(ptr, LLVMGetElementPtr) || LLVMGetNumOperands(ptr) != 2) return -1;
  LLVMValueRef index = LLVMGetOperand(ptr, 1);
  if (!LLVMIsAConstantInt(index) || LLVMGetIntTypeWidth(LLVMTypeOf(index)) != 32) return -1;
  return field_offset(ptr, LLVMGetOperand(ptr, 0));
}

bool is_scalar(LLVMTypeRef t) {
  switch (LLVMGetTypeKind(t)) {
    case LLVMIntegerTypeKind:
    case LLVMDoubleTypeKind:
    case LLVMFloatTypeKind:
    case LLVMPointerTypeKind:
      return true;
    default:
      return false;
  }
}

}  // namespace

void mark_property_accesses(LLVMModuleRef module) {
  LLVMContextRef ctx = LLVMGetModuleContext(module);
  unsigned tbaa_kind = LLVMGetMDKindIDInContext(ctx, "tbaa", 4);
  LLVMMetadataRef root = tag_root(ctx, "tesk properties");
  std::unordered_map<int64_t, LLVMValueRef> tags;
  for (LLVMValueRef fn = LLVMGetFirstFunction(module); fn; fn = LLVMGetNextFunction(fn)) {
    size_t len = 0;
    const char* name = LLVMGetValueName2(fn, &len);
    if (!LLVMGetFirstBasicBlock(fn) || (len >= 6 && std::strncmp(name, "tesk__", 6) == 0)) continue;
    for (LLVMBasicBlockRef bb = LLVMGetFirstBasicBlock(fn); bb; bb = LLVMGetNextBasicBlock(bb)) {
      for (LLVMValueRef i = LLVMGetFirstInstruction(bb); i; i = LLVMGetNextInstruction(i)) {
        LLVMValueRef ptr = access_pointer(i);
        if (!ptr || LLVMGetVolatile(i) || LLVMGetOrdering(i) != LLVMAtomicOrderingNotAtomic) continue;
        if (!is_scalar(LLVMTypeOf(is_op(i, LLVMLoad) ? i : LLVMGetOperand(i, 0)))) continue;
        int64_t at = property_offset(ptr);
        if (at < 0 || !is_object(LLVMGetOperand(ptr, 0))) continue;
        LLVMValueRef& tag = tags[at];
        if (!tag) tag = access_tag(ctx, root, ("property at " + std::to_string(at)).c_str());
        LLVMSetMetadata(i, tbaa_kind, tag);
      }
    }
  }
}

void mark_array_accesses(LLVMModuleRef module) {
  LLVMContextRef ctx = LLVMGetModuleContext(module);
  unsigned tbaa_kind = LLVMGetMDKindIDInContext(ctx, "tbaa", 4);
  LLVMMetadataRef root = tag_root(ctx, "tesk slices");
  LLVMValueRef header_tag = nullptr;
  LLVMValueRef element_tag = nullptr;
  size_t prefix_len = std::strlen(kArrayPrefix);
  for (LLVMValueRef fn = LLVMGetFirstFunction(module); fn; fn = LLVMGetNextFunction(fn)) {
    size_t len = 0;
    const char* name = LLVMGetValueName2(fn, &len);
    if (len <= prefix_len || std::strncmp(name, kArrayPrefix, prefix_len) != 0) continue;
    if (!LLVMGetFirstBasicBlock(fn) || LLVMCountParams(fn) == 0) continue;
    // Methods only: the object is the receiver, never some other pointer argument.
    LLVMValueRef self = LLVMGetParam(fn, 0);
    size_t self_len = 0;
    const char* self_name = LLVMGetValueName2(self, &self_len);
    if (self_len != std::strlen(kThis) || std::strncmp(self_name, kThis, self_len) != 0) continue;
    if (!header_tag) {
      header_tag = access_tag(ctx, root, "array fields");
      element_tag = access_tag(ctx, root, "array elements");
    }
    for (LLVMBasicBlockRef bb = LLVMGetFirstBasicBlock(fn); bb; bb = LLVMGetNextBasicBlock(bb)) {
      for (LLVMValueRef i = LLVMGetFirstInstruction(bb); i; i = LLVMGetNextInstruction(i)) {
        LLVMValueRef ptr = access_pointer(i);
        if (!ptr || LLVMGetVolatile(i) || LLVMGetOrdering(i) != LLVMAtomicOrderingNotAtomic) continue;
        if (is_header(ptr, self)) {
          LLVMSetMetadata(i, tbaa_kind, header_tag);
        } else if (is_element(ptr, self)) {
          LLVMSetMetadata(i, tbaa_kind, element_tag);
        }
      }
    }
  }
}

}  // namespace tesk
