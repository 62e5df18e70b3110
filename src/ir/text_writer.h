#pragma once
// Append-only text in a chain of chunks: a full chunk stays where it is and a larger
// one is linked behind it, so growing text never copies what was written.
#include <cstring>
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

  // Most appends are a few bytes that fit the current chunk: no call for those.
  void append(std::string_view text) {
    // An empty view may carry no data pointer (an unwritten writer's chunk), which
    // memcpy must not be given even for zero bytes.
    if (text.empty()) return;
    TextChunk* c = current;
    if (c->data && text.size() <= c->capacity - c->used) {
      std::memcpy(c->data + c->used, text.data(), text.size());
      c->used += text.size();
      length += text.size();
      return;
    }
    append_slow(text);
  }
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
  // Copies the content to out, which has room for length bytes; returns its end.
  char* copy_to(char* out) const;

 private:
  // The first chunk lives in the writer, and its bytes are taken only when the
  // first text arrives: a writer costs no allocation until it is written to.
  TextChunk head_;
  void append_slow(std::string_view text);
};

}  // namespace tesk
