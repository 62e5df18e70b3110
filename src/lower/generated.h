#pragma once
// Generated source: the build's generated-code file and unit, the fake function, the
// template mechanism (Tesk text read with compiler objects bound to upper-case names),
// the GC property-visit functions of classes and the test entries and assertions.
#include <string>
#include <string_view>

#include "model/records.h"
#include "source/records.h"

namespace tesk {

// The build's one source file for generated code, "<tesk-generated-code>", made on
// first use in main:main with access checks off.
SourceFile* generated_code_file(Build* b);
// The build's unit for generated functions.
Unit* generated_code_unit(Build* b);
// A new fake function "fake" in the generated-code unit, listed nowhere; it gives a
// function context to values read outside any function (enum values, doc defaults).
Func* generated_code_func(Build* b);

// Template text: fixed strings and decimal numbers appended in order.
struct TemplateText {
  std::string text;
  TemplateText& add(std::string_view s) {
    text.append(s);
    return *this;
  }
  TemplateText& add_number(u64 n) {
    text.append(std::to_string(n));
    return *this;
  }
};

// A chunk over template text (line 1, column 1); the text is kept by the build.
Chunk* template_chunk(Build* b, SourceFile* file, std::string_view text);
// The placeholder scope of a template read inside a function (child of `scope`).
Scope* template_child_scope(Scope* scope);
// The placeholder scope of a function template: no parent yet.
Scope* template_detached_scope(Build* b);
// Binds a placeholder; "Name already used: " + name through the context on a clash.
void template_bind(ParseContext* ctx, Scope* scope, std::string_view name, Identifier* id);
// A value template: read one value (a value scope) from text with the caller's parser
// as parent, in the placeholder scope.
Value* template_read_value(Parser* caller, Scope* placeholders, std::string_view text);
// A function template, text from just behind the "(" of the argument list to the
// closing "}": the function (queued for Stage 3.1 like any other) with its scope under
// the placeholder scope, and the parser over the text (no parent).
struct TemplateFunc {
  Func* func = nullptr;
  Parser* parser = nullptr;
};
TemplateFunc template_new_function(Unit* unit, SourceFile* file, std::string_view name, Scope* placeholders,
                                   std::string_view text);
// Once the placeholders are bound: the header scan and the argument and result Types.
void template_read_header(const TemplateFunc& t);

// The class's GC property-visit function, made on first use, or null when it has none.
Func* class_props_function(Class* cls);

// Tests: the hidden TestEntry local at the start of a test body, its submission at each
// return, and `assert(cond)`.
void declare_test_entry(FuncAst* ast);
void submit_test_entry(Func* func, Scope* scope);
Value* read_assert(Parser* p, Scope* scope);

}  // namespace tesk
