#pragma once
// Arena owned by a Build: every record a build makes lives here and dies with it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
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
    // Destroy in reverse order of creation, then free the blocks.
    for (size_t i = dtors_.size(); i-- > 0;) dtors_[i].fn(dtors_[i].obj);
    for (void* b : blocks_) std::free(b);
    for (void* b : spares_) std::free(b);
  }

  // Destroys every record and makes the memory available again. The standard-size
  // blocks are kept for reuse; oversized ones go back to the system.
  void reset() {
    for (size_t i = dtors_.size(); i-- > 0;) dtors_[i].fn(dtors_[i].obj);
    dtors_.clear();
    for (void* b : blocks_) std::free(b);
    blocks_.clear();
    spare_ = 0;
    cur_ = nullptr;
    pos_ = 0;
    cap_ = 0;
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
      dtors_.push_back({obj, [](void* o) { static_cast<T*>(o)->~T(); }});
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
  struct Dtor {
    void* obj;
    void (*fn)(void*);
  };
  char* cur_ = nullptr;
  size_t pos_ = 0;
  size_t cap_ = 0;
  std::vector<void*> blocks_;  // oversized blocks
  std::vector<void*> spares_;  // blocks of kBlock bytes; those before spare_ are in use
  size_t spare_ = 0;
  std::vector<Dtor> dtors_;
};

}  // namespace tesk
