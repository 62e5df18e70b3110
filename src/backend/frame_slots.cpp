#include "backend/frame_slots.h"

#include <llvm-c/Core.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tesk {

namespace {

constexpr const char* kStackTop = "tesk__coro__gc_stack_sp";
constexpr int64_t kFrameHeaderBytes = 16;

// A function's frame: the alloca and every address computed from it, with its byte
// offset in the frame.
struct Frame {
  LLVMValueRef base = nullptr;
  std::unordered_map<LLVMValueRef, int64_t> offset;
};

bool is_op(LLVMValueRef v, LLVMOpcode op) { return LLVMIsAInstruction(v) && LLVMGetInstructionOpcode(v) == op; }

// Byte size of a GEP step over an element type the frame code uses; 0 for others.
int64_t step_bytes(LLVMTypeRef t) {
  switch (LLVMGetTypeKind(t)) {
    case LLVMPointerTypeKind:
      return 8;
    case LLVMIntegerTypeKind:
      return LLVMGetIntTypeWidth(t) % 8 == 0 ? LLVMGetIntTypeWidth(t) / 8 : 0;
    default:
      return 0;
  }
}

bool is_memset(LLVMValueRef call) {
  LLVMValueRef callee = LLVMGetCalledValue(call);
  if (!callee || !LLVMIsAFunction(callee)) return false;
  size_t len = 0;
  const char* name = LLVMGetValueName2(callee, &len);
  return len >= 11 && std::strncmp(name, "llvm.memset", 11) == 0;
}

// Finds the frame of fn; false when it has none or its address escapes, or when the
// function reads the stack top beyond its prologue (it walks frames itself).
bool find_frame(LLVMValueRef fn, LLVMValueRef top, Frame* frame) {
  int top_loads = 0;
  for (LLVMBasicBlockRef bb = LLVMGetFirstBasicBlock(fn); bb; bb = LLVMGetNextBasicBlock(bb)) {
    for (LLVMValueRef i = LLVMGetFirstInstruction(bb); i; i = LLVMGetNextInstruction(i)) {
      LLVMOpcode op = LLVMGetInstructionOpcode(i);
      if (op == LLVMLoad && LLVMGetOperand(i, 0) == top) top_loads++;
      if (op == LLVMStore && LLVMGetOperand(i, 1) == top && LLVMIsAAllocaInst(LLVMGetOperand(i, 0))) {
        if (frame->base && frame->base != LLVMGetOperand(i, 0)) return false;
        frame->base = LLVMGetOperand(i, 0);
      }
    }
  }
  if (!frame->base || top_loads > 1) return false;
  std::vector<LLVMValueRef> work{frame->base};
  frame->offset[frame->base] = 0;
  while (!work.empty()) {
    LLVMValueRef p = work.back();
    work.pop_back();
    int64_t at = frame->offset[p];
    for (LLVMUseRef u = LLVMGetFirstUse(p); u; u = LLVMGetNextUse(u)) {
      LLVMValueRef user = LLVMGetUser(u);
      if (!LLVMIsAInstruction(user)) return false;
      switch (LLVMGetInstructionOpcode(user)) {
        case LLVMLoad:
          break;
        case LLVMStore:
          if (LLVMGetOperand(user, 0) == p && !(p == frame->base && LLVMGetOperand(user, 1) == top)) return false;
          break;
        case LLVMGetElementPtr: {
          if (LLVMGetOperand(user, 0) != p || LLVMGetNumOperands(user) != 2) return false;
          LLVMValueRef index = LLVMGetOperand(user, 1);
          int64_t step = step_bytes(LLVMGetGEPSourceElementType(user));
          if (!LLVMIsAConstantInt(index) || step == 0) return false;
          if (frame->offset.count(user)) return false;
          frame->offset[user] = at + LLVMConstIntGetSExtValue(index) * step;
          work.push_back(user);
          break;
        }
        case LLVMCall:
          if (!is_memset(user) || LLVMGetOperand(user, 0) != p) return false;
          break;
        default:
          return false;
      }
    }
  }
  return true;
}

bool plain_access(LLVMValueRef i) {
  return !LLVMGetVolatile(i) && LLVMGetOrdering(i) == LLVMAtomicOrderingNotAtomic;
}

LLVMValueRef access_pointer(LLVMValueRef i) {
  if (is_op(i, LLVMLoad)) return LLVMGetOperand(i, 0);
  if (is_op(i, LLVMStore)) return LLVMGetOperand(i, 1);
  return nullptr;
}

template <typename F>
void each_function_frame(LLVMModuleRef module, F&& f) {
  LLVMValueRef top = LLVMGetNamedGlobal(module, kStackTop);
  if (!top) return;
  for (LLVMValueRef fn = LLVMGetFirstFunction(module); fn; fn = LLVMGetNextFunction(fn)) {
    if (!LLVMGetFirstBasicBlock(fn)) continue;
    Frame frame;
    if (find_frame(fn, top, &frame)) f(fn, frame);
  }
}

// --- liveness of frame slots ---

struct SlotLiveness {
  LLVMValueRef fn;
  const Frame& frame;
  std::vector<int64_t> slot_offset;             // slot index -> byte offset
  std::unordered_map<int64_t, int> slot_of;     // byte offset -> slot index
  std::unordered_map<LLVMValueRef, std::vector<int>> uses;  // instruction -> slots it needs
  std::unordered_map<LLVMValueRef, int> kills;  // store into a slot -> the slot
  std::vector<LLVMBasicBlockRef> blocks;
  std::unordered_map<LLVMBasicBlockRef, size_t> block_index;

  SlotLiveness(LLVMValueRef f, const Frame& fr) : fn(f), frame(fr) {}

  int slot_at(LLVMValueRef ptr) const {
    auto it = frame.offset.find(ptr);
    if (it == frame.offset.end()) return -1;
    auto s = slot_of.find(it->second);
    return s == slot_of.end() ? -1 : s->second;
  }

  void add_use(LLVMValueRef inst, int slot) {
    std::vector<int>& v = uses[inst];
    if (v.empty() || v.back() != slot) v.push_back(slot);
  }

  // What keeps slot s needed: every instruction that reads it, or uses a value stored
  // into it or read from it, or computed from such a value (also through a plain
  // alloca or a call that returns a pointer, e.g. into the object).
  void trace(int s, const std::vector<LLVMValueRef>& roots) {
    std::unordered_set<LLVMValueRef> seen;
    std::unordered_set<LLVMValueRef> carriers;
    std::vector<LLVMValueRef> work;
    for (LLVMValueRef r : roots) {
      if (seen.insert(r).second) work.push_back(r);
    }
    auto reach = [&](LLVMValueRef v) {
      if (seen.insert(v).second) work.push_back(v);
    };
    while (!work.empty()) {
      LLVMValueRef v = work.back();
      work.pop_back();
      for (LLVMUseRef u = LLVMGetFirstUse(v); u; u = LLVMGetNextUse(u)) {
        LLVMValueRef user = LLVMGetUser(u);
        if (!LLVMIsAInstruction(user)) continue;
        LLVMOpcode op = LLVMGetInstructionOpcode(user);
        if (op == LLVMPHI) {
          // A value flowing into a phi is needed at the end of its incoming block.
          unsigned n = LLVMCountIncoming(user);
          for (unsigned k = 0; k < n; k++) {
            if (LLVMGetIncomingValue(user, k) == v) {
              add_use(LLVMGetBasicBlockTerminator(LLVMGetIncomingBlock(user, k)), s);
            }
          }
          reach(user);
          continue;
        }
        if (op == LLVMStore) {
          LLVMValueRef to = LLVMGetOperand(user, 1);
          if (LLVMGetOperand(user, 0) == v) {
            if (slot_at(to) == s) continue;  // the slot's own store defines it
            if (LLVMIsAAllocaInst(to) && !frame.offset.count(to) && carriers.insert(to).second) {
              for (LLVMUseRef cu = LLVMGetFirstUse(to); cu; cu = LLVMGetNextUse(cu)) {
                LLVMValueRef reader = LLVMGetUser(cu);
                if (is_op(reader, LLVMLoad)) reach(reader);
              }
            }
          }
          add_use(user, s);
          continue;
        }
        add_use(user, s);
        LLVMTypeKind kind = LLVMGetTypeKind(LLVMTypeOf(user));
        if (op == LLVMLoad || op == LLVMCall) {
          if (kind == LLVMPointerTypeKind) reach(user);
        } else if (kind == LLVMPointerTypeKind || kind == LLVMIntegerTypeKind) {
          reach(user);
        }
      }
    }
  }

  bool collect() {
    for (const auto& [ptr, off] : frame.offset) {
      if (off < kFrameHeaderBytes || off % 8 != 0) continue;
      bool accessed = false;
      for (LLVMUseRef u = LLVMGetFirstUse(ptr); u; u = LLVMGetNextUse(u)) {
        LLVMValueRef user = LLVMGetUser(u);
        if (access_pointer(user) == ptr) accessed = true;
      }
      if (accessed && !slot_of.count(off)) {
        slot_of[off] = static_cast<int>(slot_offset.size());
        slot_offset.push_back(off);
      }
    }
    if (slot_offset.empty()) return false;
    std::vector<std::vector<LLVMValueRef>> roots(slot_offset.size());
    for (const auto& [ptr, off] : frame.offset) {
      int s = slot_at(ptr);
      if (s < 0) continue;
      for (LLVMUseRef u = LLVMGetFirstUse(ptr); u; u = LLVMGetNextUse(u)) {
        LLVMValueRef user = LLVMGetUser(u);
        if (access_pointer(user) != ptr) continue;
        if (is_op(user, LLVMLoad)) {
          add_use(user, s);
          roots[s].push_back(user);
          continue;
        }
        kills[user] = s;
        LLVMValueRef value = LLVMGetOperand(user, 0);
        if (LLVMIsAInstruction(value) || LLVMIsAArgument(value)) roots[s].push_back(value);
      }
    }
    for (size_t s = 0; s < roots.size(); s++) trace(static_cast<int>(s), roots[s]);
    for (LLVMBasicBlockRef bb = LLVMGetFirstBasicBlock(fn); bb; bb = LLVMGetNextBasicBlock(bb)) {
      block_index[bb] = blocks.size();
      blocks.push_back(bb);
    }
    return true;
  }

  using Bits = std::vector<bool>;

  // Live slots before `i`, given those live after it.
  void step_back(LLVMValueRef i, Bits* live) const {
    auto k = kills.find(i);
    if (k != kills.end()) (*live)[k->second] = false;
    auto u = uses.find(i);
    if (u != uses.end()) {
      for (int s : u->second) (*live)[s] = true;
    }
  }

  void run(LLVMContextRef ctx) {
    size_t n = slot_offset.size();
    std::vector<Bits> live_in(blocks.size(), Bits(n, false));
    std::vector<Bits> live_out(blocks.size(), Bits(n, false));
    bool changed = true;
    while (changed) {
      changed = false;
      for (size_t b = blocks.size(); b-- > 0;) {
        LLVMValueRef term = LLVMGetBasicBlockTerminator(blocks[b]);
        Bits out(n, false);
        unsigned succs = term ? LLVMGetNumSuccessors(term) : 0;
        for (unsigned k = 0; k < succs; k++) {
          const Bits& in = live_in[block_index.at(LLVMGetSuccessor(term, k))];
          for (size_t s = 0; s < n; s++) out[s] = out[s] || in[s];
        }
        Bits live = out;
        for (LLVMValueRef i = LLVMGetLastInstruction(blocks[b]); i; i = LLVMGetPreviousInstruction(i)) {
          step_back(i, &live);
        }
        if (live != live_in[b] || out != live_out[b]) {
          live_in[b] = std::move(live);
          live_out[b] = std::move(out);
          changed = true;
        }
      }
    }

    LLVMBuilderRef builder = LLVMCreateBuilderInContext(ctx);
    LLVMTypeRef i8 = LLVMInt8TypeInContext(ctx);
    LLVMTypeRef i64 = LLVMInt64TypeInContext(ctx);
    LLVMValueRef null = LLVMConstPointerNull(LLVMPointerTypeInContext(ctx, 0));
    auto clear_before = [&](LLVMValueRef at, int s) {
      LLVMPositionBuilderBefore(builder, at);
      LLVMValueRef off = LLVMConstInt(i64, static_cast<unsigned long long>(slot_offset[s]), 0);
      LLVMValueRef slot = LLVMBuildGEP2(builder, i8, frame.base, &off, 1, "");
      LLVMBuildStore(builder, null, slot);
    };

    // Live at the very end of each block, the terminator's own needs included.
    std::vector<Bits> live_end(blocks.size());
    for (size_t b = 0; b < blocks.size(); b++) {
      live_end[b] = live_out[b];
      LLVMValueRef term = LLVMGetBasicBlockTerminator(blocks[b]);
      if (term) step_back(term, &live_end[b]);
    }
    for (size_t b = 0; b < blocks.size(); b++) {
      LLVMBasicBlockRef bb = blocks[b];
      // After each instruction that is the last to need a slot.
      Bits live = live_out[b];
      std::vector<std::pair<LLVMValueRef, int>> after;
      for (LLVMValueRef i = LLVMGetLastInstruction(bb); i; i = LLVMGetPreviousInstruction(i)) {
        Bits before = live;
        step_back(i, &before);
        if (!LLVMIsATerminatorInst(i) && !LLVMIsAPHINode(i)) {
          auto u = uses.find(i);
          if (u != uses.end()) {
            for (int s : u->second) {
              if (!live[s]) after.emplace_back(i, s);
            }
          }
          // A value stored and never needed again.
          auto k = kills.find(i);
          if (k != kills.end() && !live[k->second] && !LLVMIsAConstantPointerNull(LLVMGetOperand(i, 0))) {
            after.emplace_back(i, k->second);
          }
        }
        live = std::move(before);
      }
      for (auto& [i, s] : after) clear_before(LLVMGetNextInstruction(i), s);
    }
    // Edges into a block where a slot dies: cleared on entry (after any phis).
    std::vector<Bits> entering(blocks.size(), Bits(n, false));
    for (size_t b = 0; b < blocks.size(); b++) {
      LLVMValueRef term = LLVMGetBasicBlockTerminator(blocks[b]);
      unsigned succs = term ? LLVMGetNumSuccessors(term) : 0;
      for (unsigned k = 0; k < succs; k++) {
        size_t to = block_index.at(LLVMGetSuccessor(term, k));
        for (size_t s = 0; s < n; s++) {
          if (live_end[b][s] && !live_in[to][s]) entering[to][s] = true;
        }
      }
    }
    for (size_t b = 0; b < blocks.size(); b++) {
      LLVMValueRef first = LLVMGetFirstInstruction(blocks[b]);
      while (first && LLVMIsAPHINode(first)) first = LLVMGetNextInstruction(first);
      if (!first) continue;
      for (size_t s = 0; s < n; s++) {
        if (entering[b][s]) clear_before(first, static_cast<int>(s));
      }
    }
    LLVMDisposeBuilder(builder);
  }
};

// A call that may return a second time (setjmp): a slot read after it must see what
// was stored since the first return, which a value kept in a register would not.
bool calls_returns_twice(LLVMValueRef fn) {
  static const unsigned kind = LLVMGetEnumAttributeKindForName("returns_twice", 13);
  for (LLVMBasicBlockRef bb = LLVMGetFirstBasicBlock(fn); bb; bb = LLVMGetNextBasicBlock(bb)) {
    for (LLVMValueRef i = LLVMGetFirstInstruction(bb); i; i = LLVMGetNextInstruction(i)) {
      if (!is_op(i, LLVMCall)) continue;
      if (LLVMGetCallSiteEnumAttribute(i, LLVMAttributeFunctionIndex, kind)) return true;
      LLVMValueRef callee = LLVMGetCalledValue(i);
      if (!callee || !LLVMIsAFunction(callee)) return true;  // unknown target: assume the worst
      if (LLVMGetEnumAttributeAtIndex(callee, LLVMAttributeFunctionIndex, kind)) return true;
    }
  }
  return false;
}

}  // namespace

void forward_slot_values(LLVMModuleRef module) {
  LLVMContextRef ctx = LLVMGetModuleContext(module);
  LLVMBuilderRef builder = LLVMCreateBuilderInContext(ctx);
  LLVMTypeRef i8 = LLVMInt8TypeInContext(ctx);
  LLVMTypeRef i64 = LLVMInt64TypeInContext(ctx);
  LLVMValueRef null = LLVMConstPointerNull(LLVMPointerTypeInContext(ctx, 0));
  each_function_frame(module, [&](LLVMValueRef fn, const Frame& frame) {
    if (calls_returns_twice(fn)) return;
    // Collected first: the rewrite adds uses to the lists being walked.
    std::vector<std::pair<LLVMValueRef, int64_t>> accesses;
    for (const auto& [ptr, at] : frame.offset) {
      for (LLVMUseRef u = LLVMGetFirstUse(ptr); u; u = LLVMGetNextUse(u)) {
        LLVMValueRef user = LLVMGetUser(u);
        bool access = access_pointer(user) == ptr || (is_op(user, LLVMCall) && LLVMGetOperand(user, 0) == ptr);
        if (access) accesses.emplace_back(user, at);
      }
    }
    // The memset must zero a known length to be copied slot by slot.
    for (auto& [i, at] : accesses) {
      if (!is_op(i, LLVMCall)) continue;
      LLVMValueRef fill = LLVMGetOperand(i, 1);
      if (!LLVMIsAConstantInt(fill) || LLVMConstIntGetZExtValue(fill) != 0) return;
      if (!LLVMIsAConstantInt(LLVMGetOperand(i, 2))) return;
    }
    LLVMPositionBuilderBefore(builder, frame.base);
    LLVMValueRef shadow = LLVMBuildAlloca(builder, LLVMGetAllocatedType(frame.base), "");
    LLVMSetAlignment(shadow, LLVMGetAlignment(frame.base));
    auto shadow_at = [&](LLVMValueRef before, int64_t at) {
      LLVMPositionBuilderBefore(builder, before);
      LLVMValueRef off = LLVMConstInt(i64, static_cast<unsigned long long>(at), 0);
      return LLVMBuildGEP2(builder, i8, shadow, &off, 1, "");
    };
    for (auto& [i, at] : accesses) {
      if (is_op(i, LLVMLoad)) {
        if (at >= kFrameHeaderBytes) LLVMSetOperand(i, 0, shadow_at(i, at));
        continue;
      }
      // Stores go to both: the collector reads the frame.
      LLVMValueRef next = LLVMGetNextInstruction(i);
      if (is_op(i, LLVMStore)) {
        if (at < kFrameHeaderBytes) continue;
        LLVMValueRef to = shadow_at(next, at);
        LLVMBuildStore(builder, LLVMGetOperand(i, 0), to);
        continue;
      }
      int64_t end = at + static_cast<int64_t>(LLVMConstIntGetZExtValue(LLVMGetOperand(i, 2)));
      for (int64_t slot = std::max(at, kFrameHeaderBytes); slot + 8 <= end; slot += 8) {
        LLVMValueRef to = shadow_at(next, slot);
        LLVMBuildStore(builder, null, to);
      }
    }
  });
  LLVMDisposeBuilder(builder);
}

void mark_frame_aliasing(LLVMModuleRef module) {
  LLVMContextRef ctx = LLVMGetModuleContext(module);
  unsigned scope_kind = LLVMGetMDKindIDInContext(ctx, "alias.scope", 11);
  unsigned noalias_kind = LLVMGetMDKindIDInContext(ctx, "noalias", 7);
  const char* domain_name = "tesk frames";
  LLVMMetadataRef domain_name_md = LLVMMDStringInContext2(ctx, domain_name, std::strlen(domain_name));
  LLVMMetadataRef domain = LLVMMDNodeInContext2(ctx, &domain_name_md, 1);
  each_function_frame(module, [&](LLVMValueRef fn, const Frame& frame) {
    size_t len = 0;
    const char* name = LLVMGetValueName2(fn, &len);
    std::string scope_name = "frame of " + std::string(name, len);
    LLVMMetadataRef parts[2] = {LLVMMDStringInContext2(ctx, scope_name.data(), scope_name.size()), domain};
    LLVMMetadataRef scope = LLVMMDNodeInContext2(ctx, parts, 2);
    LLVMValueRef scopes = LLVMMetadataAsValue(ctx, LLVMMDNodeInContext2(ctx, &scope, 1));
    for (LLVMBasicBlockRef bb = LLVMGetFirstBasicBlock(fn); bb; bb = LLVMGetNextBasicBlock(bb)) {
      for (LLVMValueRef i = LLVMGetFirstInstruction(bb); i; i = LLVMGetNextInstruction(i)) {
        LLVMValueRef ptr = access_pointer(i);
        if (!ptr || !plain_access(i)) continue;
        LLVMSetMetadata(i, frame.offset.count(ptr) ? scope_kind : noalias_kind, scopes);
      }
    }
  });
}

void clear_dead_slots(LLVMModuleRef module) {
  LLVMContextRef ctx = LLVMGetModuleContext(module);
  each_function_frame(module, [&](LLVMValueRef fn, const Frame& frame) {
    SlotLiveness live(fn, frame);
    if (live.collect()) live.run(ctx);
  });
}

}  // namespace tesk
