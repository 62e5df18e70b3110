#include "ir/text_writer.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tesk {

namespace {
TextChunk* new_chunk(u64 capacity) {
  auto* c = new TextChunk();
  c->data = static_cast<char*>(std::malloc(capacity ? capacity : 1));
  if (!c->data) throw std::bad_alloc();
  c->capacity = capacity;
  return c;
}
}  // namespace

TextWriter::TextWriter(u64 first_size) {
  head_.capacity = first_size;
  first = &head_;
  current = first;
}

TextWriter::~TextWriter() {
  std::free(head_.data);
  TextChunk* c = head_.next;
  while (c) {
    TextChunk* next = c->next;
    std::free(c->data);
    delete c;
    c = next;
  }
}

void TextWriter::append_slow(std::string_view text) {
  const char* p = text.data();
  u64 n = text.size();
  if (!head_.data) {
    head_.data = static_cast<char*>(std::malloc(head_.capacity ? head_.capacity : 1));
    if (!head_.data) throw std::bad_alloc();
  }
  length += n;
  while (n > 0) {
    u64 room = current->capacity - current->used;
    if (room == 0) {
      u64 cap = current->capacity * 2;
      if (cap < 128) cap = 128;
      TextChunk* c = new_chunk(cap);
      current->next = c;
      current = c;
      room = cap;
    }
    u64 take = n < room ? n : room;
    std::memcpy(current->data + current->used, p, take);
    current->used += take;
    p += take;
    n -= take;
  }
}

void TextWriter::append(const TextWriter& other) {
  for (const TextChunk* c = other.first; c; c = c->next) append(std::string_view(c->data, c->used));
}

void TextWriter::append_u64(u64 n) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, n);
  append(std::string_view(buf, r.ptr - buf));
}

void TextWriter::append_i64(i64 n) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, n);
  append(std::string_view(buf, r.ptr - buf));
}

std::string TextWriter::to_string() const {
  std::string s;
  s.reserve(length);
  append_to(s);
  return s;
}

char* TextWriter::copy_to(char* out) const {
  for (const TextChunk* c = first; c; c = c->next) {
    if (!c->used) continue;
    std::memcpy(out, c->data, c->used);
    out += c->used;
  }
  return out;
}

void TextWriter::append_to(std::string& out) const {
  for (const TextChunk* c = first; c; c = c->next) out.append(c->data, c->used);
}

}  // namespace tesk
