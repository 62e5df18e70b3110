#pragma once
// The documentation generator of `tesk doc`: a JSON tree of the main package's
// namespaces, classes, functions and globals, written as pretty JSON or as markdown.
#include <string>
#include <string_view>

#include "driver/build.h"
#include "model/records.h"
#include "tools/json.h"

namespace tesk {

// Builds the tree of a docs build (after Stage 2.4), turns it into text and prints it
// or writes it to the "-o" path.
void doc_command(Build* b);
// The whole tree; `no_private` leaves out everything whose access is private.
JsonPtr doc_tree(Build* b, bool no_private);
// Adds the function's entry to `object` under its name; nothing when it is not declared.
// Default values are read inside `fake`, whose scopes are made already.
void doc_function_json(JsonValue& object, Func* func, Func* fake);
// "+" for public, "~" for read-only, "-" otherwise (the default part of the level).
JsonPtr doc_act_json(AccessLevel access);
// The short text of a default value, "..." when it has none.
JsonPtr doc_default_value_json(Value* value);

// The file the output goes to for the "-o" path: trailing ".exe" removed, then
// ".doc.json" (".doc.md") appended unless the path ends in ".json" (".md").
std::string doc_output_path(std::string_view path, bool markdown);

// The help text of `tesk doc`, and printing it with an exit.
std::string doc_usage_text();
[[noreturn]] void doc_usage(int code);

// The markdown form of the tree: the document, one class block, one function line.
std::string doc_markdown(const JsonValue& root);
std::string doc_markdown_class(std::string_view name, const JsonValue& cls);
std::string doc_markdown_function(std::string_view name, const JsonValue& func);

}  // namespace tesk
