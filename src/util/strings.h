#pragma once
// Small string helpers shared by every subsystem.
#include <string>
#include <string_view>

namespace tesk {

inline bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
inline bool ends_with(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}
inline std::string cat(std::initializer_list<std::string_view> parts) {
  size_t n = 0;
  for (auto p : parts) n += p.size();
  std::string r;
  r.reserve(n);
  for (auto p : parts) r.append(p);
  return r;
}

}  // namespace tesk
