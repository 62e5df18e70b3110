#include "tools/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tesk {

namespace {

// Deeper nesting than this is refused so hostile input cannot exhaust the stack.
constexpr int kMaxDepth = 1000;

struct JsonParser {
  std::string_view text;
  size_t pos = 0;
  std::string scratch;
  std::string error;

  // Reading at or beyond the end yields 0.
  unsigned char peek() const { return pos < text.size() ? (unsigned char)text[pos] : 0; }
  unsigned char read() {
    unsigned char c = peek();
    pos++;
    return c;
  }
  void skip_ws() {
    while (true) {
      unsigned char c = peek();
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      pos++;
    }
  }
  bool fail(std::string_view message) {
    error = std::string(message) + std::to_string(pos);
    return false;
  }
  bool fail_char(unsigned char c) {
    error = "Unknown value character '";
    error += (char)c;
    error += "' at index: " + std::to_string(pos);
    return false;
  }

  // After the opening quote; collects the bytes into scratch.
  bool read_string() {
    scratch.clear();
    while (true) {
      unsigned char c = read();
      if (c == '\\') {
        c = read();
        switch (c) {
          case 'b': c = 8; break;
          case 'f': c = 12; break;
          case 'n': c = 10; break;
          case 'r': c = 13; break;
          case 't': c = 9; break;
          default: break;
        }
        if (c == 0) return fail("Unexpected EOF at index ");
        scratch += (char)c;
        continue;
      }
      if (c == 0) return fail("Unexpected EOF at index ");
      if (c == '"') return true;
      scratch += (char)c;
    }
  }

  JsonPtr number() {
    scratch.clear();
    bool neg = false;
    if (peek() == '-') {
      neg = true;
      pos++;
    }
    while (peek() >= '0' && peek() <= '9') scratch += (char)read();
    if (peek() != '.') {
      // Out-of-range digit runs wrap; the text gives them no defined value.
      u64 n = 0;
      for (char d : scratch) n = n * 10 + (u64)(d - '0');
      return json_int(neg ? (i64)(0 - n) : (i64)n);
    }
    scratch += (char)read();
    while (peek() >= '0' && peek() <= '9') scratch += (char)read();
    double x = 0;
    // from_chars ignores the locale; "." alone reads as 0.
    std::from_chars(scratch.data(), scratch.data() + scratch.size(), x);
    return json_float(neg ? -x : x);
  }

  JsonPtr value(int depth) {
    if (depth > kMaxDepth) {
      fail("Nesting too deep at index: ");
      return nullptr;
    }
    skip_ws();
    unsigned char c = read();
    if (c == '"') {
      if (!read_string()) return nullptr;
      return json_string(scratch);
    }
    if (c == '[') {
      auto arr = json_array();
      size_t count = 0;
      while (true) {
        skip_ws();
        c = read();
        if (c == ']') return arr;
        if (count >= 1) {
          if (c != ',') {
            fail("Missing array comma at index: ");
            return nullptr;
          }
          skip_ws();
        } else {
          pos--;  // back to the item's first byte
        }
        JsonPtr item = value(depth + 1);
        if (!item) return nullptr;
        arr->items->push_back(std::move(item));
        count++;
      }
    }
    if (c == '{') return object(depth);
    if (c == '-' || (c >= '0' && c <= '9')) {
      pos--;
      return number();
    }
    if (c >= 'a' && c <= 'z') {
      pos--;
      scratch.clear();
      while (peek() >= 'a' && peek() <= 'z') scratch += (char)read();
      if (scratch == "null") return json_null();
      if (scratch == "true") return json_bool(true);
      if (scratch == "false") return json_bool(false);
      fail_char(c);
      return nullptr;
    }
    fail_char(c);
    return nullptr;
  }

  JsonPtr object(int depth) {
    auto obj = json_object();
    size_t count = 0;
    while (true) {
      skip_ws();
      unsigned char c = read();
      if (c == '}') return obj;
      if (count >= 1) {
        if (c != ',') {
          fail("Missing object comma at index: ");
          return nullptr;
        }
        skip_ws();
        c = read();
      }
      if (c != '"') {
        fail("Invalid json object syntax at index: ");
        return nullptr;
      }
      if (!read_string()) return nullptr;
      std::string key = scratch;
      skip_ws();
      if (read() != ':') {
        fail("Expected ':' at index: ");
        return nullptr;
      }
      JsonPtr member = value(depth + 1);
      if (!member) return nullptr;
      json_set(*obj, key, std::move(member));
      count++;
    }
  }
};

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0 when it is not
// one; `*bad` is then how many bytes form the longest start of a sequence that could
// have been valid (at least 1), which one replacement character stands for.
size_t utf8_sequence(std::string_view s, size_t* bad) {
  auto byte = [&s](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(0);
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    *bad = 1;
    return 0;
  }
  for (size_t i = 1; i < n; i++) {
    bool ok = i < s.size() && byte(i) >= (i == 1 ? lo : 0x80) && byte(i) <= (i == 1 ? hi : 0xBF);
    if (!ok) {
      *bad = i;
      return 0;
    }
  }
  return n;
}

// Control bytes become \u00XX (the common ones their short forms) and bytes that are
// not UTF-8 become U+FFFD: a client rejects a message with either.
void escape_into(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      size_t bad = 0;
      size_t n = utf8_sequence(s.substr(i), &bad);
      if (n) {
        out.append(s.data() + i, n);
        i += n;
      } else {
        out += "\xEF\xBF\xBD";
        i += bad;
      }
      continue;
    }
    switch (c) {
      case 8: out += "\\b"; break;
      case 9: out += "\\t"; break;
      case 10: out += "\\n"; break;
      case 12: out += "\\f"; break;
      case 13: out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
    i++;
  }
}

void float_into(std::string& out, double x) {
  if (!std::isfinite(x)) {
    out += "null";  // JSON has no text for these
    return;
  }
  if (x < 0) {
    out += '-';
    x = -x;
  }
  if (x >= 18446744073709551616.0) {  // integer part beyond 64 bits: no fraction digits left anyway
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", x);
    out += buf;
    return;
  }
  constexpr u64 kScale = 10000000000ULL;
  u64 i = (u64)x;
  double f = (x - (double)i) * (double)kScale;
  u64 n = (u64)f;
  if (f - (double)n > 0.5) n++;
  if (n >= kScale) {
    i++;
    n = 0;
  }
  out += std::to_string(i);
  if (n == 0) return;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%010llu", (unsigned long long)n);
  std::string_view frac(buf);
  while (!frac.empty() && frac.back() == '0') frac.remove_suffix(1);
  out += '.';
  out += frac;
}

void newline_indent(std::string& out, bool pretty, size_t depth) {
  if (!pretty) return;
  out += '\n';
  out.append(4 * depth, ' ');
}

void encode_into(std::string& out, const JsonValue& v, bool pretty, size_t depth) {
  switch (v.kind) {
    case JSON_STRING:
      out += '"';
      escape_into(out, v.string);
      out += '"';
      return;
    case JSON_BOOL: out += v.bool_ ? "true" : "false"; return;
    case JSON_INT: out += std::to_string(v.int_); return;
    case JSON_FLOAT: float_into(out, v.float_); return;
    case JSON_ARRAY: {
      if (!v.items) {
        out += "[]";
        return;
      }
      out += '[';
      bool first = true;
      for (const JsonPtr& item : *v.items) {
        if (!first) out += ',';
        first = false;
        newline_indent(out, pretty, depth + 1);
        if (item)
          encode_into(out, *item, pretty, depth + 1);
        else
          out += "null";
      }
      newline_indent(out, pretty, depth);
      out += ']';
      return;
    }
    case JSON_OBJECT: {
      if (!v.members) {
        out += "{}";
        return;
      }
      out += '{';
      bool first = true;
      for (const auto& [key, member] : *v.members) {
        if (!first) out += ',';
        first = false;
        newline_indent(out, pretty, depth + 1);
        // Keys are escaped like strings so the text stays valid JSON.
        out += '"';
        escape_into(out, key);
        out += pretty ? "\": " : "\":";
        if (member)
          encode_into(out, *member, pretty, depth + 1);
        else
          out += "null";
      }
      newline_indent(out, pretty, depth);
      out += '}';
      return;
    }
    default: out += "null"; return;
  }
}

}  // namespace

JsonParseResult json_parse(std::string_view text) {
  JsonParser p{text};
  p.scratch.reserve(100);
  JsonParseResult r;
  JsonPtr v = p.value(0);
  if (!v) {
    r.error = std::move(p.error);
    return r;
  }
  p.skip_ws();
  if (p.pos < text.size()) {
    r.error = "Trailing character at index: " + std::to_string(p.pos);
    return r;
  }
  r.value = std::move(v);
  return r;
}

std::string json_encode(const JsonValue& v, bool pretty) {
  std::string out;
  encode_into(out, v, pretty, 0);
  return out;
}

JsonPtr json_null() {
  auto v = std::make_shared<JsonValue>();
  v->kind = JSON_NULL;
  return v;
}

JsonPtr json_bool(bool flag) {
  auto v = std::make_shared<JsonValue>();
  v->kind = JSON_BOOL;
  v->bool_ = flag ? 1 : 0;
  return v;
}

JsonPtr json_int(i64 n) {
  auto v = std::make_shared<JsonValue>();
  v->kind = JSON_INT;
  v->int_ = n;
  return v;
}

JsonPtr json_float(f64 x) {
  auto v = std::make_shared<JsonValue>();
  v->kind = JSON_FLOAT;
  v->float_ = x;
  return v;
}

JsonPtr json_string(std::string s) {
  auto v = std::make_shared<JsonValue>();
  v->kind = JSON_STRING;
  v->string = std::move(s);
  return v;
}

JsonPtr json_array(std::optional<JsonItems> items) {
  auto v = std::make_shared<JsonValue>();
  v->kind = JSON_ARRAY;
  v->items = items ? std::move(items) : JsonItems{};
  return v;
}

JsonPtr json_object(std::optional<JsonMembers> members) {
  auto v = std::make_shared<JsonValue>();
  v->kind = JSON_OBJECT;
  v->members = members ? std::move(members) : JsonMembers{};
  return v;
}

JsonMembers& json_members(JsonValue& v) {
  if (!v.members) v.members.emplace();
  return *v.members;
}

JsonItems& json_items(JsonValue& v) {
  if (!v.items) v.items.emplace();
  return *v.items;
}

JsonValue& json_get(JsonValue& v, std::string_view key) {
  v.kind = JSON_OBJECT;
  JsonMembers& m = json_members(v);
  JsonPtr* found = m.find(key);
  if (!found) found = &m.set(key, json_null());
  if (!*found) *found = json_null();
  return **found;
}

void json_set(JsonValue& v, std::string_view key, JsonPtr member) {
  v.kind = JSON_OBJECT;
  json_members(v).set(key, std::move(member));
}

bool json_has(const JsonValue& v, std::string_view key) { return v.members && v.members->contains(key); }

const JsonValue& json_member(const JsonValue& v, std::string_view key) {
  static const JsonValue kNull = [] {
    JsonValue n;
    n.kind = JSON_NULL;
    return n;
  }();
  if (!v.members) return kNull;
  const JsonPtr* m = v.members->find(key);
  return m && *m ? **m : kNull;
}

void json_push(JsonValue& v, JsonPtr item) {
  v.kind = JSON_ARRAY;
  json_items(v).push_back(std::move(item));
}

std::string json_string_value(const JsonValue& v) { return v.kind == JSON_STRING ? v.string : std::string(); }
i64 json_int_value(const JsonValue& v) { return v.kind == JSON_INT ? v.int_ : 0; }
bool json_bool_value(const JsonValue& v) { return v.kind == JSON_BOOL && v.bool_; }
bool json_is_string(const JsonValue& v) { return v.kind == JSON_STRING; }

}  // namespace tesk
