#pragma once
// String-keyed map that walks its entries in insertion order.
#include <string>
#include <string_view>
#include <unordered_map>
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
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }
  const V* find(std::string_view key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }
  bool contains(std::string_view key) const { return index_.find(key) != index_.end(); }

  // Inserts or overwrites; an overwritten key keeps its original position.
  V& set(std::string_view key, V value) {
    auto it = index_.find(key);
    if (it != index_.end()) {
      entries_[it->second].second = std::move(value);
      return entries_[it->second].second;
    }
    index_.emplace(std::string(key), entries_.size());
    entries_.emplace_back(std::string(key), std::move(value));
    return entries_.back().second;
  }

  // Returns the value for key, inserting a default one at the end when missing.
  V& operator[](std::string_view key) {
    if (V* v = find(key)) return *v;
    return set(key, V{});
  }

  bool erase(std::string_view key) {
    auto it = index_.find(key);
    if (it == index_.end()) return false;
    size_t pos = it->second;
    index_.erase(it);
    entries_.erase(entries_.begin() + pos);
    for (auto& [k, i] : index_)
      if (i > pos) --i;
    return true;
  }

  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void clear() {
    entries_.clear();
    index_.clear();
  }

  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<std::string, size_t, StrHash, std::equal_to<>> index_;
};

}  // namespace tesk
