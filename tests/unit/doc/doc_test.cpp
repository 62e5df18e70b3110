#include "tools/doc.h"

#include <gtest/gtest.h>

#include "expr/value.h"
#include "ir/records.h"
#include "model/records.h"

namespace tesk {
namespace {

JsonPtr parse(std::string_view text) {
  JsonParseResult r = json_parse(text);
  EXPECT_TRUE(r.ok()) << r.error << "\n" << text;
  return r.ok() ? r.value : json_object();
}

TEST(DocOutputPath, Table) {
  struct Case {
    std::string_view path;
    bool markdown;
    std::string_view want;
  };
  const Case cases[] = {
      {"out", false, "out.doc.json"},
      {"out.exe", false, "out.doc.json"},
      {"a.exe.exe", false, "a.doc.json"},
      {".exe.exe", false, ".doc.json"},
      {"", false, ".doc.json"},
      {"api.json", false, "api.json"},
      {"api.json.exe", false, "api.json"},
      {"api.md", false, "api.md.doc.json"},
      {"out", true, "out.doc.md"},
      {"api.md", true, "api.md"},
      {"api.json", true, "api.json.doc.md"},
      {"api.md.exe", true, "api.md"},
      {"dir/x.exe/y", false, "dir/x.exe/y.doc.json"},
      {"notes.MD", true, "notes.MD.doc.md"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(doc_output_path(c.path, c.markdown), c.want) << c.path << " markdown=" << c.markdown;
  }
}

TEST(DocAct, SignOfTheDefaultPart) {
  const std::pair<AccessLevel, std::string_view> cases[] = {
      {ACCESS_PUBLIC, "+"},
      {ACCESS_READONLY, "~"},
      {ACCESS_PRIVATE, "-"},
      {0, "-"},
      {ACCESS_DEFAULT, "-"},                     // "-" alone: private by default
      {ACCESS_PUBLIC | (ACCESS_PRIVATE << 3), "+"},  // only the lowest three bits count
      {ACCESS_PRIVATE | (ACCESS_PUBLIC << 6), "-"},
      {ACCESS_READONLY | (ACCESS_PUBLIC << 3), "~"},
  };
  for (auto& [access, sign] : cases) {
    JsonPtr v = doc_act_json(access);
    EXPECT_TRUE(json_is_string(*v));
    EXPECT_EQ(json_string_value(*v), sign) << access;
  }
}

TEST(DocDefaultValue, ShortTextsAndEllipsis) {
  StringConst text;
  text.text = "say \"hi\"";
  Value str;
  str.kind = VAL_STRING;
  str.string_const = &text;
  // The quotes around a string default are part of the text, nothing is escaped.
  EXPECT_EQ(json_string_value(*doc_default_value_json(&str)), "\"say \"hi\"\"");

  Decl decl;
  decl.name = "limit";
  Value local;
  local.kind = VAL_DECL;
  local.decl = &decl;
  EXPECT_EQ(json_string_value(*doc_default_value_json(&local)), "limit");

  Value neg;
  neg.kind = VAL_INT;
  neg.number = static_cast<u64>(-42);
  EXPECT_EQ(json_string_value(*doc_default_value_json(&neg)), "-42");

  Value yes;
  yes.kind = VAL_BOOL;
  yes.flag = 1;
  EXPECT_EQ(json_string_value(*doc_default_value_json(&yes)), "true");
  Value no;
  no.kind = VAL_BOOL;
  EXPECT_EQ(json_string_value(*doc_default_value_json(&no)), "false");

  Value null_value;
  null_value.kind = VAL_NULL;
  EXPECT_EQ(json_string_value(*doc_default_value_json(&null_value)), "null");

  for (u64 kind : {VAL_CALL, VAL_FLOAT, VAL_MATH, VAL_GLOBAL}) {
    Value other;
    other.kind = kind;
    EXPECT_EQ(json_string_value(*doc_default_value_json(&other)), "...") << kind;
  }
}

TEST(DocMarkdown, TreeWithoutItemsIsTitleAndRuleOnly) {
  EXPECT_EQ(doc_markdown(*parse(R"({"namespaces": {}})")), "\n# Documentation\n\nNamespaces: \n\n---\n\n");
  // Namespaces whose three objects are empty get neither a link nor a section.
  JsonPtr empty = parse(R"({"namespaces": {"main": {"classes": {}, "functions": {}, "globals": {}},
                                           "b": {"classes": {}, "functions": {}, "globals": {}}}})");
  EXPECT_EQ(doc_markdown(*empty), "\n# Documentation\n\nNamespaces: \n\n---\n\n");
}

TEST(DocMarkdown, SectionsSortedByBytes) {
  JsonPtr root = parse(R"({"namespaces": {
    "zeta": {"classes": {}, "functions": {}, "globals": {"g": {"act": "-", "type": "int", "shared": false}}},
    "main": {"classes": {}, "functions": {}, "globals": {}},
    "Alpha": {
      "classes": {},
      "functions": {
        "run": {"act": "+", "is_static": false, "arguments": [], "return-type": "void", "errors": []},
        "Run": {"act": "-", "is_static": false, "arguments": [], "return-type": "void", "errors": []},
        "ru": {"act": "~", "is_static": false, "arguments": [], "return-type": "void", "errors": []}
      },
      "globals": {
        "b": {"act": "+", "type": "String", "shared": true},
        "a": {"act": "-", "type": "?int", "shared": false}
      }
    }}})");
  EXPECT_EQ(doc_markdown(*root),
            "\n# Documentation\n\nNamespaces: [Alpha](#Alpha) | [zeta](#zeta)\n\n---\n\n"
            "# Alpha\n\n"
            "## Functions for 'Alpha'\n\n```js\n"
            "- fn Run() void\n"
            "~ fn ru() void\n"
            "+ fn run() void\n"
            "```\n\n"
            "## Globals for 'Alpha'\n\n```js\n"
            "- global a : ?int\n"
            "+ shared b : String\n"
            "```\n\n"
            "# zeta\n\n"
            "## Globals for 'zeta'\n\n```js\n"
            "- global g : int\n"
            "```\n\n");
}

TEST(DocMarkdown, FunctionLine) {
  JsonPtr f = parse(R"({"generics": ["K", "V"], "act": "+", "is_static": true,
    "arguments": [{"name": "key", "type": "K"}, {"name": "label", "type": "String", "default-value": "\"x\""},
                  {"name": "n", "type": "int", "default-value": "..."}],
    "return-type": "?V", "errors": ["missing", "full"]})");
  EXPECT_EQ(doc_markdown_function("get", *f),
            "+ static fn get[K, V](key: K, label: String (\"x\"), n: int (...)) ?V !missing !full\n");
  JsonPtr plain = parse(R"({"act": "-", "is_static": false, "arguments": [], "return-type": "void", "errors": []})");
  EXPECT_EQ(doc_markdown_function("tick", *plain), "- fn tick() void\n");
}

TEST(DocMarkdown, ClassBlocks) {
  const std::string fn_line = R"({"act": "+", "is_static": false, "arguments": [], "return-type": "int", "errors": []})";
  // Properties and functions: one empty line between them, both sorted.
  JsonPtr both = parse(R"({"act": "+", "properties": {"y": {"type": "int", "act": "~"}, "x": {"type": "int", "act": "+"}},
    "functions": {"size": )" + fn_line + R"(, "area": )" + fn_line + R"(}, "generics": ["T"]})");
  EXPECT_EQ(doc_markdown_class("Box", *both),
            "```js\n+ class Box[T] {\n    + x: int\n    ~ y: int\n\n    + fn area() int\n    + fn size() int\n}\n```\n\n");
  // Functions only: right after the header line.
  JsonPtr funcs = parse(R"({"act": "~", "properties": {}, "functions": {"f": )" + fn_line + R"(}, "mode_for": "Point"})");
  EXPECT_EQ(doc_markdown_class("Meters", *funcs), "```js\n~ mode Meters for Point {\n    + fn f() int\n}\n```\n\n");
  // Neither: the header line, then "}".
  JsonPtr none = parse(R"({"act": "-", "properties": {}, "functions": {}, "mode_for": ""})");
  EXPECT_EQ(doc_markdown_class("E", *none), "```js\n- class E {\n}\n```\n\n");
}

TEST(DocMarkdown, ClassesSectionHasNoOuterFence) {
  JsonPtr root = parse(R"({"namespaces": {"main": {
    "classes": {"b": {"act": "+", "properties": {}, "functions": {}}, "A": {"act": "+", "properties": {}, "functions": {}}},
    "functions": {}, "globals": {}}}})");
  EXPECT_EQ(doc_markdown(*root),
            "\n# Documentation\n\nNamespaces: [main](#main)\n\n---\n\n"
            "# main\n\n"
            "## Classes for 'main'\n\n"
            "```js\n+ class A {\n}\n```\n\n"
            "```js\n+ class b {\n}\n```\n\n");
}

TEST(DocUsage, Text) {
  std::string text = doc_usage_text();
  EXPECT_EQ(text.rfind("\n# The doc generator will generate documentation for all namespaces\n", 0), 0u);
  EXPECT_NE(text.find("\n tesk doc {directory} --def \"X=Y\" --static -vvv ...\n\n"), std::string::npos);
}

}  // namespace
}  // namespace tesk
