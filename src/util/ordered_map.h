#pragma once
// String-keyed map that walks its entries in insertion order.
//
// Keys are stored once, in the entries. Small maps (most scopes hold a handful of names)
// are searched linearly; larger ones get an open-addressing index of entry positions, so
// an insert allocates nothing beyond vector growth.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tesk {

struct StrHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

template <typename V>
class OrderedMap {
 public:
  using Entry = std::pair<std::string, V>;

  V* find(std::string_view key) {
    size_t pos = position(key);
    return pos == npos ? nullptr : &entries_[pos].second;
  }
  const V* find(std::string_view key) const {
    size_t pos = position(key);
    return pos == npos ? nullptr : &entries_[pos].second;
  }
  bool contains(std::string_view key) const { return position(key) != npos; }
  // The key's position in entries(), or npos.
  size_t index_of(std::string_view key) const { return position(key); }

  // Inserts or overwrites; an overwritten key keeps its original position.
  V& set(std::string_view key, V value) {
    size_t h = 0;
    size_t pos = position(key, &h);
    if (pos != npos) {
      entries_[pos].second = std::move(value);
      return entries_[pos].second;
    }
    entries_.emplace_back(std::string(key), std::move(value));
    if (!slots_.empty()) {
      if ((entries_.size() + 1) * 2 > slots_.size()) {
        rebuild_index();
      } else {
        insert_slot(h, entries_.size() - 1);
      }
    } else if (entries_.size() > kLinear) {
      rebuild_index();
    }
    return entries_.back().second;
  }

  // Returns the value for key, inserting a default one at the end when missing.
  V& operator[](std::string_view key) {
    if (V* v = find(key)) return *v;
    return set(key, V{});
  }

  bool erase(std::string_view key) {
    size_t pos = position(key);
    if (pos == npos) return false;
    entries_.erase(entries_.begin() + pos);
    // Positions after pos shift down: the index is made anew (erase is linear anyway).
    if (entries_.size() > kLinear) {
      rebuild_index();
    } else {
      slots_.clear();
    }
    return true;
  }

  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void clear() {
    entries_.clear();
    slots_.clear();
  }

  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  const std::vector<Entry>& entries() const { return entries_; }

 static constexpr size_t npos = ~size_t(0);

 private:
  static constexpr size_t kLinear = 8;  // at most this many entries go without an index

  static bool same(const std::string& a, std::string_view b) {
    return a.size() == b.size() && (b.empty() || std::memcmp(a.data(), b.data(), b.size()) == 0);
  }
  static size_t hash(std::string_view key) { return std::hash<std::string_view>{}(key); }
  // A slot holds the upper half of the hash and entry position + 1; 0 is empty.
  static uint64_t slot_of(size_t h, size_t pos) { return (uint64_t(h) & 0xffffffff00000000ull) | (pos + 1); }

  // The entry position of key, or npos. With an index, *hash_out gets the key's hash.
  size_t position(std::string_view key, size_t* hash_out = nullptr) const {
    if (slots_.empty()) {
      for (size_t i = 0, n = entries_.size(); i < n; i++)
        if (same(entries_[i].first, key)) return i;
      return npos;
    }
    size_t h = hash(key);
    if (hash_out) *hash_out = h;
    uint64_t high = uint64_t(h) & 0xffffffff00000000ull;
    size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      uint64_t s = slots_[i];
      if (!s) return npos;
      if ((s & 0xffffffff00000000ull) == high) {
        size_t pos = size_t(s & 0xffffffffull) - 1;
        if (same(entries_[pos].first, key)) return pos;
      }
    }
  }

  void insert_slot(size_t h, size_t pos) {
    size_t mask = slots_.size() - 1;
    size_t i = h & mask;
    while (slots_[i]) i = (i + 1) & mask;
    slots_[i] = slot_of(h, pos);
  }

  void rebuild_index() {
    size_t cap = 16;
    while (cap < (entries_.size() + 1) * 2) cap *= 2;
    slots_.assign(cap, 0);
    for (size_t i = 0; i < entries_.size(); i++) insert_slot(hash(entries_[i].first), i);
  }

  std::vector<Entry> entries_;
  std::vector<uint64_t> slots_;  // empty while the map is searched linearly
};

}  // namespace tesk
