// The markdown form of the documentation tree. It reads only the tree.
#include <algorithm>
#include <string>
#include <vector>

#include "tools/doc.h"

namespace tesk {

namespace {

constexpr std::string_view kFence = "```";

// Keys of an object in ascending byte order; std::string compares bytes as unsigned.
std::vector<const JsonMembers::Entry*> sorted_entries(const JsonValue& obj) {
  std::vector<const JsonMembers::Entry*> list;
  if (!obj.members) return list;
  list.reserve(obj.members->size());
  for (const auto& e : obj.members->entries()) list.push_back(&e);
  std::sort(list.begin(), list.end(), [](auto* a, auto* b) { return a->first < b->first; });
  return list;
}

bool has_entries(const JsonValue& obj) { return obj.members && !obj.members->empty(); }

const JsonItems* items_of(const JsonValue& v) { return v.items ? &*v.items : nullptr; }

std::string member_text(const JsonValue& obj, std::string_view key) {
  return json_string_value(json_member(obj, key));
}

void append_generics(std::string& out, const JsonValue& obj) {
  const JsonItems* items = items_of(json_member(obj, "generics"));
  if (!items || items->empty()) return;
  out += "[";
  for (size_t i = 0; i < items->size(); i++) {
    if (i) out += ", ";
    out += json_string_value(*(*items)[i]);
  }
  out += "]";
}

// A namespace gets a link and a section only when it documents something.
bool namespace_counts(const JsonValue& ns) {
  return has_entries(json_member(ns, "functions")) || has_entries(json_member(ns, "classes")) ||
         has_entries(json_member(ns, "globals"));
}

}  // namespace

std::string doc_markdown_function(std::string_view name, const JsonValue& func) {
  std::string out = member_text(func, "act");
  if (json_bool_value(json_member(func, "is_static"))) out += " static";
  out += " fn ";
  out += name;
  append_generics(out, func);
  out += "(";
  if (const JsonItems* args = items_of(json_member(func, "arguments"))) {
    for (size_t i = 0; i < args->size(); i++) {
      const JsonValue& arg = *(*args)[i];
      if (i) out += ", ";
      out += member_text(arg, "name");
      out += ": ";
      out += member_text(arg, "type");
      if (json_has(arg, "default-value")) {
        out += " (";
        out += member_text(arg, "default-value");
        out += ")";
      }
    }
  }
  out += ") ";
  out += member_text(func, "return-type");
  if (const JsonItems* errors = items_of(json_member(func, "errors"))) {
    for (const JsonPtr& e : *errors) {
      out += " !";
      out += json_string_value(*e);
    }
  }
  out += "\n";
  return out;
}

std::string doc_markdown_class(std::string_view name, const JsonValue& cls) {
  std::string out(kFence);
  out += "js\n";
  std::string mode_for = member_text(cls, "mode_for");
  out += member_text(cls, "act");
  out += mode_for.empty() ? " class " : " mode ";
  out += name;
  append_generics(out, cls);
  if (!mode_for.empty()) out += " for " + mode_for;
  out += " {\n";

  auto props = sorted_entries(json_member(cls, "properties"));
  for (auto* e : props) {
    out += "    ";
    out += member_text(*e->second, "act");
    out += " ";
    out += e->first;
    out += ": ";
    out += member_text(*e->second, "type");
    out += "\n";
  }
  auto funcs = sorted_entries(json_member(cls, "functions"));
  if (!funcs.empty()) {
    if (!props.empty()) out += "\n";
    for (auto* e : funcs) {
      out += "    ";
      out += doc_markdown_function(e->first, *e->second);
    }
  }
  out += "}\n";
  out += kFence;
  out += "\n\n";
  return out;
}

std::string doc_markdown(const JsonValue& root) {
  std::string out = "\n# Documentation\n\nNamespaces: ";
  auto namespaces = sorted_entries(json_member(root, "namespaces"));
  bool first = true;
  for (auto* e : namespaces) {
    if (!namespace_counts(*e->second)) continue;
    if (!first) out += " | ";
    first = false;
    out += "[" + e->first + "](#" + e->first + ")";
  }
  out += "\n\n---\n\n";

  for (auto* e : namespaces) {
    const JsonValue& ns = *e->second;
    if (!namespace_counts(ns)) continue;
    const std::string& name = e->first;
    out += "# " + name + "\n\n";

    auto funcs = sorted_entries(json_member(ns, "functions"));
    if (!funcs.empty()) {
      out += "## Functions for '" + name + "'\n\n";
      out += kFence;
      out += "js\n";
      for (auto* f : funcs) out += doc_markdown_function(f->first, *f->second);
      out += kFence;
      out += "\n\n";
    }

    auto classes = sorted_entries(json_member(ns, "classes"));
    if (!classes.empty()) {
      out += "## Classes for '" + name + "'\n\n";
      for (auto* c : classes) out += doc_markdown_class(c->first, *c->second);
    }

    auto globals = sorted_entries(json_member(ns, "globals"));
    if (!globals.empty()) {
      out += "## Globals for '" + name + "'\n\n";
      out += kFence;
      out += "js\n";
      for (auto* g : globals) {
        const JsonValue& gv = *g->second;
        out += member_text(gv, "act");
        out += json_bool_value(json_member(gv, "shared")) ? " shared " : " global ";
        out += g->first;
        out += " : ";
        out += member_text(gv, "type");
        out += "\n";
      }
      out += kFence;
      out += "\n\n";
    }
  }
  return out;
}

}  // namespace tesk
