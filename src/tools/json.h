#pragma once
// The one JSON model: package configurations, the documentation tree and the
// language-server messages all go through it.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/fwd.h"
#include "util/ordered_map.h"

namespace tesk {

enum JsonKind : u64 {
  JSON_UNSET = 0,  // never set: written as null
  JSON_NULL = 1,
  JSON_STRING = 2,
  JSON_BOOL = 3,
  JSON_INT = 4,
  JSON_FLOAT = 5,
  JSON_ARRAY = 6,
  JSON_OBJECT = 7,
};

// Containers refer to their children; a child may be shared by several containers.
using JsonPtr = std::shared_ptr<JsonValue>;
using JsonMembers = OrderedMap<JsonPtr>;  // keys in insertion order
using JsonItems = std::vector<JsonPtr>;

// Only the field of the current kind is meaningful; changing the kind keeps the others.
struct JsonValue {
  u64 kind = JSON_UNSET;
  std::optional<JsonMembers> members;  // absent until made
  std::optional<JsonItems> items;      // absent until made
  i64 int_ = 0;
  f64 float_ = 0;
  std::string string;
  u8 bool_ = 0;
};

struct JsonParseResult {
  JsonPtr value;      // null on failure
  std::string error;  // the "invalid" message on failure
  bool ok() const { return value != nullptr; }
};

// Parses one value that must fill the text up to trailing whitespace.
JsonParseResult json_parse(std::string_view text);
// Compact text (no blank or line break outside strings) or the 4-blank indented form.
std::string json_encode(const JsonValue& v, bool pretty);

JsonPtr json_null();
JsonPtr json_bool(bool flag);
JsonPtr json_int(i64 n);
JsonPtr json_float(f64 x);
JsonPtr json_string(std::string s);
JsonPtr json_array(std::optional<JsonItems> items = std::nullopt);
JsonPtr json_object(std::optional<JsonMembers> members = std::nullopt);

// Makes the value an object and returns the member under key; a missing key gets
// a new null member at the end, so chains of lookups never fail.
JsonValue& json_get(JsonValue& v, std::string_view key);
// Makes the value an object and stores the member; an existing key keeps its place.
void json_set(JsonValue& v, std::string_view key, JsonPtr member);
bool json_has(const JsonValue& v, std::string_view key);
// Read-only lookup: the member under key, or a shared null value when the value has
// no such member (whatever its kind). Changes nothing.
const JsonValue& json_member(const JsonValue& v, std::string_view key);
// Makes the value an array and appends the item.
void json_push(JsonValue& v, JsonPtr item);
// The item list / member map, made empty when absent, whatever the kind.
JsonItems& json_items(JsonValue& v);
JsonMembers& json_members(JsonValue& v);

std::string json_string_value(const JsonValue& v);  // "" when not a string
i64 json_int_value(const JsonValue& v);             // 0 when not an int
bool json_bool_value(const JsonValue& v);           // false when not a bool
bool json_is_string(const JsonValue& v);

}  // namespace tesk
