#include "tools/json.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tesk {
namespace {

// Parses and writes back compactly; "" on failure.
std::string round_trip(std::string_view text) {
  JsonParseResult r = json_parse(text);
  return r.ok() ? json_encode(*r.value, false) : "";
}

TEST(JsonParse, CompactTable) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"null", "null"},
      {" \t\r\n true \n", "true"},
      {"false", "false"},
      {"-12", "-12"},
      {"0", "0"},
      {"-", "0"},
      {"3.25", "3.25"},
      {"-0.5", "-0.5"},
      {"2.0", "2"},
      {"\"a\\\"b\\\\c\\/d\"", "\"a\\\"b\\\\c/d\""},
      {"\"\\u0041\"", "\"u0041\""},
      {"\"\\b\\f\\n\\r\\t\"", "\"\\b\\f\\n\\r\\t\""},
      {"[]", "[]"},
      {"{}", "{}"},
      {"[1, [2, []], {\"k\": null}]", "[1,[2,[]],{\"k\":null}]"},
      {"{\"a\":1,\"b\":[true,\"x\"],\"c\":{}}", "{\"a\":1,\"b\":[true,\"x\"],\"c\":{}}"},
      // A repeated key keeps its first place and its last value.
      {"{\"a\":1,\"b\":2,\"a\":3}", "{\"a\":3,\"b\":2}"},
      {"{ \"x\" : [ 1 , 2 ] }", "{\"x\":[1,2]}"},
      {"\"\xc3\xa9\x01\"", "\"\xc3\xa9\\u0001\""},
  };
  for (auto [text, want] : cases) EXPECT_EQ(round_trip(text), want) << text;
}

TEST(JsonParse, Errors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", std::string("Unknown value character '\0' at index: 1", 39)},
      {"1 2", "Trailing character at index: 2"},
      {"{} x", "Trailing character at index: 3"},
      {"[1,2,]", "Unknown value character ']' at index: 6"},
      {"[1 2]", "Missing array comma at index: 4"},
      {"[", std::string("Unknown value character '\0' at index: 2", 39)},
      {"{\"a\":1,}", "Invalid json object syntax at index: 8"},
      {"{\"a\":1 \"b\":2}", "Missing object comma at index: 8"},
      {"{a:1}", "Invalid json object syntax at index: 2"},
      {"{\"a\" 1}", "Expected ':' at index: 6"},
      {"\"abc", "Unexpected EOF at index 5"},
      {"\"ab\\", "Unexpected EOF at index 5"},
      {"{\"ab", "Unexpected EOF at index 5"},
      {std::string("\"a\0b\"", 5), "Unexpected EOF at index 3"},
      {"1e5", "Trailing character at index: 1"},
      {"nul", "Unknown value character 'n' at index: 3"},
      {"True", "Unknown value character 'T' at index: 1"},
      {"[nulls]", "Unknown value character 'n' at index: 6"},
      {"+1", "Unknown value character '+' at index: 1"},
      {"[1,{\"a\":[x]}]", "Unknown value character 'x' at index: 10"},
  };
  for (const auto& [text, want] : cases) {
    JsonParseResult r = json_parse(text);
    EXPECT_FALSE(r.ok()) << text;
    EXPECT_EQ(r.error, want) << text;
  }
}

TEST(JsonParse, DeepNestingIsRefused) {
  std::string deep(100000, '[');
  JsonParseResult r = json_parse(deep);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.error.rfind("Nesting too deep at index: ", 0), 0u);
  std::string ok = std::string(500, '[') + std::string(500, ']');
  EXPECT_TRUE(json_parse(ok).ok());
}

TEST(JsonParse, Kinds) {
  JsonParseResult r = json_parse("{\"s\":\"x\",\"i\":-7,\"f\":1.5,\"b\":true,\"n\":null,\"a\":[1],\"o\":{}}");
  ASSERT_TRUE(r.ok());
  JsonValue& v = *r.value;
  EXPECT_EQ(v.kind, JSON_OBJECT);
  EXPECT_EQ(json_get(v, "s").kind, JSON_STRING);
  EXPECT_EQ(json_string_value(json_get(v, "s")), "x");
  EXPECT_EQ(json_int_value(json_get(v, "i")), -7);
  EXPECT_EQ(json_get(v, "f").kind, JSON_FLOAT);
  EXPECT_EQ(json_get(v, "f").float_, 1.5);
  EXPECT_TRUE(json_bool_value(json_get(v, "b")));
  EXPECT_EQ(json_get(v, "n").kind, JSON_NULL);
  EXPECT_EQ(json_items(json_get(v, "a")).size(), 1u);
  EXPECT_TRUE(json_members(json_get(v, "o")).empty());
  // Accessors of the wrong kind give the empty values.
  EXPECT_EQ(json_string_value(json_get(v, "i")), "");
  EXPECT_EQ(json_int_value(json_get(v, "s")), 0);
  EXPECT_FALSE(json_bool_value(json_get(v, "i")));
  EXPECT_FALSE(json_is_string(json_get(v, "i")));
  std::vector<std::string> keys;
  for (auto& [k, m] : json_members(v)) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"s", "i", "f", "b", "n", "a", "o"}));
}

TEST(JsonAccess, MissingKeysReadAsNull) {
  JsonPtr v = json_object();
  JsonValue& deep = json_get(json_get(*v, "targets"), "linux-x64");
  EXPECT_EQ(deep.kind, JSON_NULL);
  EXPECT_TRUE(json_items(json_get(deep, "link-dirs")).empty());
  EXPECT_TRUE(json_has(*v, "targets"));
  EXPECT_FALSE(json_has(*v, "other"));
  EXPECT_FALSE(json_has(*json_int(1), "x"));
  EXPECT_EQ(json_encode(*v, false), "{\"targets\":{\"linux-x64\":{\"link-dirs\":null}}}");

  // The read-only lookup changes nothing.
  const JsonValue& missing = json_member(json_member(*v, "nope"), "deeper");
  EXPECT_EQ(missing.kind, JSON_NULL);
  EXPECT_EQ(json_member(*json_string("s"), "k").kind, JSON_NULL);
  EXPECT_EQ(&json_member(*v, "targets"), &json_get(*v, "targets"));
  EXPECT_FALSE(json_has(*v, "nope"));

  // json_get on a non-object turns it into an object.
  JsonPtr s = json_string("x");
  json_get(*s, "k");
  EXPECT_EQ(s->kind, JSON_OBJECT);
  EXPECT_EQ(json_encode(*s, false), "{\"k\":null}");
}

TEST(JsonBuild, SetPushAndKinds) {
  JsonPtr o = json_object();
  json_set(*o, "a", json_int(1));
  json_set(*o, "b", json_string("two"));
  json_set(*o, "a", json_bool(false));  // keeps its place
  JsonPtr arr = json_array();
  json_push(*arr, json_null());
  json_push(*arr, json_float(-0.25));
  json_set(*o, "c", arr);
  EXPECT_EQ(json_encode(*o, false), "{\"a\":false,\"b\":\"two\",\"c\":[null,-0.25]}");

  // Containers whose list or map was never made are written "[]" / "{}" in both forms.
  JsonValue bare_array;
  bare_array.kind = JSON_ARRAY;
  JsonValue bare_object;
  bare_object.kind = JSON_OBJECT;
  EXPECT_EQ(json_encode(bare_array, true), "[]");
  EXPECT_EQ(json_encode(bare_object, true), "{}");
  EXPECT_EQ(json_encode(JsonValue{}, false), "null");

  JsonPtr n = json_null();
  json_push(*n, json_int(5));
  EXPECT_EQ(n->kind, JSON_ARRAY);
  EXPECT_EQ(json_encode(*n, false), "[5]");
  // json_items of a value of another kind makes and keeps an empty list.
  JsonPtr i = json_int(3);
  json_items(*i).push_back(json_int(4));
  EXPECT_EQ(json_items(*i).size(), 1u);
  EXPECT_EQ(json_encode(*i, false), "3");
}

TEST(JsonEncode, Escapes) {
  EXPECT_EQ(json_encode(*json_string("a\tb\"c\\d\x01\b\f\n\r/"), false), "\"a\\tb\\\"c\\\\d\\u0001\\b\\f\\n\\r/\"");
  // Keys are escaped too, so the output stays valid JSON.
  JsonPtr o = json_object();
  json_set(*o, "q\"k\ney", json_int(1));
  EXPECT_EQ(json_encode(*o, false), "{\"q\\\"k\\ney\":1}");
  JsonParseResult back = json_parse(json_encode(*o, false));
  ASSERT_TRUE(back.ok());
  EXPECT_TRUE(json_has(*back.value, "q\"k\ney"));
}

// Control bytes go out as \u00XX and bytes that are not UTF-8 as U+FFFD (one for each
// longest start of a sequence that could have been valid), so any text makes valid JSON.
TEST(JsonEncode, ControlBytesAndInvalidUtf8) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> cases[] = {
      {std::string("a\0b", 3), "a\\u0000b"},
      {"\x1b[31m\x1f\x7f", "\\u001b[31m\\u001f\\u007f"},
      {"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
      {"a\xFF" "b", "a" + fffd + "b"},
      {"\x80\xBF", fffd + fffd},                      // lone continuation bytes
      {"\xC3", fffd},                                   // cut short at the end
      {"\xE2\x82x", fffd + "x"},                         // cut short before an ASCII byte
      {"\xC0\xAF", fffd + fffd},                       // overlong form
      {"\xE0\x80\x80", fffd + fffd + fffd},             // overlong three-byte form
      {"\xED\xA0\x80", fffd + fffd + fffd},             // a surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},   // above U+10FFFF
      {"\xF0\x9F\x98", fffd},                           // three bytes of four: one replacement
  };
  for (const auto& [in, want] : cases) {
    EXPECT_EQ(json_encode(*json_string(in), false), "\"" + want + "\"") << in;
    // Keys, and the pretty form of the documentation, the same.
    JsonPtr o = json_object();
    json_set(*o, in, json_int(1));
    EXPECT_EQ(json_encode(*o, true), "{\n    \"" + want + "\": 1\n}") << in;
  }
}

TEST(JsonEncode, Floats) {
  const std::pair<double, const char*> cases[] = {
      {2.0, "2"},
      {1.5, "1.5"},
      {0.25, "0.25"},
      {-0.25, "-0.25"},
      {0.1, "0.1"},
      {3.14159, "3.14159"},
      {1.0 / 3.0, "0.3333333333"},
      {2.0 / 3.0, "0.6666666667"},
      {0.99999999999, "1"},
      {0.00000000004, "0"},
      {0.00000000006, "0.0000000001"},
      {123456789.5, "123456789.5"},
      {-7.0, "-7"},
      {0.0, "0"},
  };
  for (auto [x, want] : cases) EXPECT_EQ(json_encode(*json_float(x), false), want) << x;
  EXPECT_EQ(json_encode(*json_float(NAN), false), "null");
  EXPECT_EQ(json_encode(*json_float(INFINITY), false), "null");
  EXPECT_EQ(json_encode(*json_float(1e20), false), "100000000000000000000");
}

TEST(JsonEncode, PrettyLayout) {
  JsonParseResult r = json_parse("{\"a\":1,\"b\":[true,\"x\"],\"c\":{}}");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(json_encode(*r.value, true),
            "{\n"
            "    \"a\": 1,\n"
            "    \"b\": [\n"
            "        true,\n"
            "        \"x\"\n"
            "    ],\n"
            "    \"c\": {\n"
            "    }\n"
            "}");

  const std::pair<const char*, const char*> cases[] = {
      {"[]", "[\n]"},
      {"{}", "{\n}"},
      {"7", "7"},
      {"[[],{\"k\":[1,{}]}]",
       "[\n"
       "    [\n"
       "    ],\n"
       "    {\n"
       "        \"k\": [\n"
       "            1,\n"
       "            {\n"
       "            }\n"
       "        ]\n"
       "    }\n"
       "]"},
  };
  for (auto [text, want] : cases) {
    JsonParseResult p = json_parse(text);
    ASSERT_TRUE(p.ok()) << text;
    EXPECT_EQ(json_encode(*p.value, true), want) << text;
  }
}

}  // namespace
}  // namespace tesk
