#pragma once
// Texts that live until a unit's IR is assembled, packed into large chunks: one
// allocation per chunk instead of one per text, all given back together.
#include <string_view>
#include <vector>

#include "util/fwd.h"

namespace tesk {

class TextStore {
 public:
  static constexpr u64 kChunk = 4u << 20;

  explicit TextStore(u64 chunk_size = kChunk) : chunk_size_(chunk_size ? chunk_size : 1) {}
  ~TextStore() { release(); }
  TextStore(const TextStore&) = delete;
  TextStore& operator=(const TextStore&) = delete;

  // Room for n contiguous bytes after the kept texts; valid until the next open or
  // release. What is written there is kept only by keep(). A text larger than a
  // chunk gets a chunk of its own.
  char* open(u64 n);
  // Keeps the first n bytes of the last opened room and returns them.
  std::string_view keep(u64 n);
  // Gives every chunk back; views returned before are dangling afterwards.
  void release();

  u64 kept_bytes() const { return kept_; }
  u64 chunk_count() const { return chunks_.size(); }

 private:
  struct Chunk {
    char* data;
    u64 capacity;
    u64 used;
    u64 mapped;  // bytes mapped at data for a large chunk; 0 when it came from malloc
  };
  std::vector<Chunk> chunks_;
  u64 chunk_size_;
  u64 kept_ = 0;
};

// A hash of a text that reads eight bytes at a time: function texts are long.
u64 text_hash(std::string_view text);
struct TextHash {
  size_t operator()(std::string_view text) const { return static_cast<size_t>(text_hash(text)); }
};

}  // namespace tesk
