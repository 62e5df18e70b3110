#include "ir/text_store.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace tesk {

namespace {

constexpr u64 kHugePage = u64(2) << 20;

// A large chunk is mapped on its own, aligned to 2 MiB, and offered for transparent huge
// pages: the IR text of a large build is hundreds of megabytes, and faulting it in 4 KiB
// at a time cost more than writing it on virtual machines. Returns null when the
// mapping fails.
char* map_huge(u64 size) {
  u64 span = size + kHugePage;
  void* m = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return nullptr;
  uintptr_t base = reinterpret_cast<uintptr_t>(m);
  uintptr_t start = (base + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  if (start > base) munmap(m, start - base);
  uintptr_t end = start + size, map_end = base + span;
  if (map_end > end) munmap(reinterpret_cast<void*>(end), map_end - end);
  madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE);  // only a hint
  return reinterpret_cast<char*>(start);
}

}  // namespace

char* TextStore::open(u64 n) {
  if (chunks_.empty() || chunks_.back().capacity - chunks_.back().used < n) {
    u64 cap = n > chunk_size_ ? n : chunk_size_;
    u64 mapped = 0;
    char* data = nullptr;
    if (cap >= kHugePage) {
      mapped = (cap + kHugePage - 1) & ~(kHugePage - 1);
      data = map_huge(mapped);
      if (data) cap = mapped;
      else mapped = 0;
    }
    if (!data) data = static_cast<char*>(std::malloc(cap ? cap : 1));
    if (!data) throw std::bad_alloc();
    chunks_.push_back({data, cap, 0, mapped});
  }
  Chunk& c = chunks_.back();
  return c.data + c.used;
}

std::string_view TextStore::keep(u64 n) {
  Chunk& c = chunks_.back();
  std::string_view text(c.data + c.used, n);
  c.used += n;
  kept_ += n;
  return text;
}

void TextStore::release() {
  for (Chunk& c : chunks_) {
    if (c.mapped) munmap(c.data, c.mapped);
    else std::free(c.data);
  }
  std::vector<Chunk>().swap(chunks_);
  kept_ = 0;
}

namespace {

constexpr u64 kMul = 0x9E3779B97F4A7C15ull;

u64 word(const char* p) {
  u64 w;
  std::memcpy(&w, p, 8);
  return w;
}

u64 mix(u64 h, u64 w) {
  h = (h ^ w) * kMul;
  return h ^ (h >> 29);
}

}  // namespace

u64 text_hash(std::string_view text) {
  const char* p = text.data();
  u64 n = text.size();
  if (n < 8) {
    u64 w = 0;
    if (n) std::memcpy(&w, p, n);
    u64 h = mix(n * kMul, w);
    return h ^ (h >> 32);
  }
  // Four independent lanes of eight bytes each keep the multiplier busy.
  u64 a = n * kMul, b = a + 1, c = a + 2, d = a + 3;
  u64 i = 0;
  for (; i + 32 <= n; i += 32) {
    a = mix(a, word(p + i));
    b = mix(b, word(p + i + 8));
    c = mix(c, word(p + i + 16));
    d = mix(d, word(p + i + 24));
  }
  for (; i + 8 <= n; i += 8) a = mix(a, word(p + i));
  // The last eight bytes, overlapping what was read when n is not a multiple of 8.
  a = mix(a, word(p + n - 8));
  u64 h = mix(mix(mix(a, b), c), d);
  return h ^ (h >> 32);
}

}  // namespace tesk
