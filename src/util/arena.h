#pragma once
// Arena owned by a Build: every record a build makes lives here and dies with it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <string_view>
#include <utility>
#include <vector>

namespace tesk {

class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    run_dtors();
    for (void* b : blocks_) std::free(b);
    for (void* b : spares_) std::free(b);
    for (Dtor* c : dtor_chunks_) std::free(c);
  }

  // Destroys every record and makes the memory available again. The standard-size
  // blocks are kept for reuse; oversized ones go back to the system.
  void reset() {
    run_dtors();
    for (void* b : blocks_) std::free(b);
    blocks_.clear();
    spare_ = 0;
    cur_ = nullptr;
    pos_ = 0;
    cap_ = 0;
  }

  // Takes over every record of `other` (memory and destructors) for this arena's
  // lifetime; `other` is left empty, keeping only its unused blocks.
  void adopt(Arena& other) {
    for (size_t i = 0; i < other.spare_; i++) blocks_.push_back(other.spares_[i]);
    other.spares_.erase(other.spares_.begin(), other.spares_.begin() + static_cast<std::ptrdiff_t>(other.spare_));
    for (void* b : other.blocks_) blocks_.push_back(b);
    other.blocks_.clear();
    for (size_t i = 0; i < other.dtor_count_; i++) {
      const Dtor& d = other.dtor_chunks_[i / kDtorChunk][i % kDtorChunk];
      add_dtor(d.obj, d.fn);
    }
    other.dtor_count_ = 0;
    other.spare_ = 0;
    other.cur_ = nullptr;
    other.pos_ = 0;
    other.cap_ = 0;
  }

  void* alloc(size_t size, size_t align = alignof(std::max_align_t)) {
    size_t p = (pos_ + align - 1) & ~(align - 1);
    if (!cur_ || p + size > cap_) {
      size_t cap = size + align > kBlock ? size + align : kBlock;
      if (cap == kBlock && spare_ < spares_.size()) {
        // A block kept by reset(): already touched, so no fresh page faults.
        cur_ = static_cast<char*>(spares_[spare_++]);
      } else {
        cur_ = static_cast<char*>(std::malloc(cap));
        if (!cur_) throw std::bad_alloc();
        advise_huge_pages(cur_);
        (cap == kBlock ? spares_ : blocks_).push_back(cur_);
        if (cap == kBlock) spare_ = spares_.size();
      }
      cap_ = cap;
      p = (reinterpret_cast<uintptr_t>(cur_) % align) ? (align - reinterpret_cast<uintptr_t>(cur_) % align) : 0;
    }
    void* r = cur_ + p;
    pos_ = p + size;
    return r;
  }

  // Creates a record in the arena; its destructor runs when the arena goes.
  template <typename T, typename... Args>
  T* make(Args&&... args) {
    void* mem = alloc(sizeof(T), alignof(T));
    T* obj = new (mem) T(std::forward<Args>(args)...);
    if constexpr (!std::is_trivially_destructible_v<T>) {
      add_dtor(obj, [](void* o) { static_cast<T*>(o)->~T(); });
    }
    return obj;
  }

  // Copies bytes into the arena (NUL-terminated) and returns a view of them.
  std::string_view save(std::string_view s) {
    char* m = static_cast<char*>(alloc(s.size() + 1, 1));
    if (!s.empty()) std::memcpy(m, s.data(), s.size());
    m[s.size()] = 0;
    return std::string_view(m, s.size());
  }

 private:
  static constexpr size_t kBlock = 64 * 1024;
  // A thread's malloc heap is a 64 MiB aligned mapping. Asking for transparent huge pages
  // on the heap a new block came from makes the kernel fault it in 2 MiB at a time: one
  // fault per 4 KiB page of fresh memory cost more than the parsing on virtual machines.
  // Only a hint; where it fails nothing changes.
  static constexpr uintptr_t kHeapSpan = uintptr_t(64) << 20;
  void advise_huge_pages(void* block) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return;  // a sanitizer's allocator has its own layout: huge pages there cost memory
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
    return;
#endif
#endif
    uintptr_t heap = reinterpret_cast<uintptr_t>(block) & ~(kHeapSpan - 1);
    if (heap == advised_heap_) return;
    advised_heap_ = heap;
    madvise(reinterpret_cast<void*>(heap), kHeapSpan, MADV_HUGEPAGE);
  }
  uintptr_t advised_heap_ = 0;
  struct Dtor {
    void* obj;
    void (*fn)(void*);
  };
  // Destructors sit in fixed chunks: a growing vector would copy millions of entries and
  // briefly hold two copies at every doubling.
  static constexpr size_t kDtorChunk = 4096;

  void add_dtor(void* obj, void (*fn)(void*)) {
    size_t c = dtor_count_ / kDtorChunk;
    if (c == dtor_chunks_.size()) {
      auto* chunk = static_cast<Dtor*>(std::malloc(kDtorChunk * sizeof(Dtor)));
      if (!chunk) throw std::bad_alloc();
      dtor_chunks_.push_back(chunk);
    }
    dtor_chunks_[c][dtor_count_ % kDtorChunk] = {obj, fn};
    dtor_count_++;
  }

  // Reverse order of creation; the chunks stay for reuse.
  void run_dtors() {
    for (size_t i = dtor_count_; i-- > 0;) {
      const Dtor& d = dtor_chunks_[i / kDtorChunk][i % kDtorChunk];
      d.fn(d.obj);
    }
    dtor_count_ = 0;
  }

  char* cur_ = nullptr;
  size_t pos_ = 0;
  size_t cap_ = 0;
  std::vector<void*> blocks_;  // oversized blocks and blocks taken over by adopt()
  std::vector<void*> spares_;  // blocks of kBlock bytes; those before spare_ are in use
  size_t spare_ = 0;
  std::vector<Dtor*> dtor_chunks_;
  size_t dtor_count_ = 0;
};

}  // namespace tesk
