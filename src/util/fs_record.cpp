#include "util/fs_record.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "util/fs.h"

namespace tesk {

namespace {

std::atomic<FsRecord*> g_record{nullptr};

uint64_t mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  x ^= x >> 31;
  return x;
}

uint64_t rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

}  // namespace

void FsRecord::add(char kind, std::string_view path, std::string answer) {
  std::string key;
  key.reserve(path.size() + 1);
  key += kind;
  key += path;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!seen_.insert(std::move(key)).second) return;
  probes_.push_back(FsProbe{kind, std::string(path), std::move(answer)});
}

void fs_record_to(FsRecord* record) { g_record.store(record); }

FsRecord* fs_recording() { return g_record.load(std::memory_order_relaxed); }

std::string fs_probe_answer(char kind, const std::string& path) {
  FsRecord* was = g_record.exchange(nullptr);
  std::string answer;
  switch (kind) {
    case FS_READ: {
      std::optional<std::string> text = read_file(path);
      answer = text ? content_digest(*text) : "-";
      break;
    }
    case FS_LIST: {
      std::string names;
      for (const std::string& n : list_dir(path)) {
        names += n;
        names += '\0';
      }
      answer = content_digest(names);
      break;
    }
    case FS_IS_DIR: answer = is_dir(path) ? "1" : "0"; break;
    case FS_IS_FILE: answer = is_file(path) ? "1" : "0"; break;
    case FS_EXISTS: answer = path_exists(path) ? "1" : "0"; break;
    case FS_REAL: answer = path_real(path); break;
    default: answer = "?"; break;  // an unknown kind never matches a recorded answer
  }
  g_record.store(was);
  return answer;
}

// Two independent 64-bit lanes over 8-byte words; not for adversaries, only to tell
// a changed file from an unchanged one (the size is part of the text as well).
std::string content_digest(std::string_view bytes) {
  const uint64_t n = bytes.size();
  uint64_t a = 0x9e3779b97f4a7c15ull ^ n;
  uint64_t b = 0xc2b2ae3d27d4eb4full + n;
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    a = rotl(a ^ w, 29) * 0x9fb21c651e98df25ull;
    b = rotl(b + w, 23) * 0xd6e8feb86659fd93ull;
    p += 8;
    left -= 8;
  }
  uint64_t w = 0;
  std::memcpy(&w, p, left);
  a = mix(a ^ w ^ (left << 56));
  b = mix(b + w + left);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%llu:%016llx%016llx", static_cast<unsigned long long>(n),
                static_cast<unsigned long long>(mix(a ^ rotl(b, 17))), static_cast<unsigned long long>(mix(b ^ a)));
  return buf;
}

}  // namespace tesk
