#pragma once
// Append-only text in a chain of chunks: a full chunk stays where it is and a larger
// one is linked behind it, so growing text never copies what was written.
#include <string>
#include <string_view>

#include "util/fwd.h"

namespace tesk {

struct TextChunk {
  char* data = nullptr;
  u64 capacity = 0;
  u64 used = 0;
  TextChunk* next = nullptr;
};

struct TextWriter {
  TextChunk* first = nullptr;
  TextChunk* current = nullptr;
  u64 length = 0;

  explicit TextWriter(u64 first_size);
  ~TextWriter();
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  void append(std::string_view text);
  // Copies another writer's content chunk by chunk.
  void append(const TextWriter& other);
  void append_u64(u64 n);
  void append_i64(i64 n);
  TextWriter& operator<<(std::string_view text) {
    append(text);
    return *this;
  }
  // The content as one string (empty when nothing was written).
  std::string to_string() const;
  // Appends the content to a string that is being assembled, chunk by chunk.
  void append_to(std::string& out) const;
};

}  // namespace tesk
