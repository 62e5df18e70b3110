// "#loop": the body between the header line and its "#end" is read once per item of a
// compile-time list. At "#end" the parser is moved back to the body and the loop
// variables are rebound to the next item; the same Identifier objects stay bound.
#include <algorithm>

#include "driver/build.h"
#include "expr/values.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "source/compile_macro.h"
#include "source/compile_macro_parse.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1.h"
#include "util/strings.h"

namespace tesk {

namespace {

// The loop variable's name: a word on the header line.
std::string loop_var_name(Parser* p) { return std::string(stage_1_word(p, true, false)); }

void expect_as(Parser* p) { expect_token(p, "as", true, false); }

// Every header but the one of `macro_values` ends its line.
void expect_header_end(Parser* p) {
  next_token(p, true, true, false);
  if (!p->starts_line) parse_error(p, "Expected a newline");
}

u64 item_count(CompileMacroFrame* f) {
  switch (f->kind) {
    case CM_GLOBALS: return f->globals.size();
    case CM_OBJECT:
    case CM_PROPERTIES: return f->properties.size();
    case CM_TESTS: return f->tests.size();
    case CM_MACRO_VALUES: return f->macro_values.size();
    default: return 0;
  }
}

// Binds the frame's variables to the item at its index. False when the item cannot be
// bound (a global whose type is not known).
bool bind_item(CompileMacroFrame* f) {
  u64 i = f->item_index;
  switch (f->kind) {
    case CM_GLOBALS: {
      Global* g = f->globals[i];
      if (!g->type) return false;
      f->loop_var->global = g;
      f->type_var->type = g->type;
      return true;
    }
    case CM_OBJECT:
    case CM_PROPERTIES: {
      Identifier* item = f->properties[i];
      f->loop_var->prop = item->prop;
      f->loop_var->value = item->value;
      return true;
    }
    case CM_TESTS:
      f->loop_var->func = f->tests[i];
      return true;
    case CM_MACRO_VALUES:
      f->loop_var->group = f->macro_values[i];
      return true;
    default:
      return false;
  }
}

// A loop over nothing: its body is passed over up to the matching "#end".
void skip_loop(Parser* p) { skip_compile_macro_body(p, true); }

// Pushes the frame and binds the first item; the body is read next.
void start_loop(Parser* p, CompileMacroFrame* f) {
  f->body = chunk_here(p);
  f->item_index = 0;
  repush_compile_macro(p, f);
  bind_item(f);
}

CompileMacroFrame* new_frame(Parser* p, u64 kind) {
  CompileMacroFrame* f = p->build->make<CompileMacroFrame>();
  f->kind = kind;
  return f;
}

void loop_globals(Parser* p) {
  Build* b = p->build;
  Func* func = p->context ? p->context->func : nullptr;
  if (!func) parse_error(p, "You cannot loop globals outside a function");
  // Stage 3 reads such functions again when more globals come into use.
  if (std::find(b->loop_globals_funcs.begin(), b->loop_globals_funcs.end(), func) == b->loop_globals_funcs.end()) {
    b->loop_globals_funcs.push_back(func);
  }
  std::string g_name = loop_var_name(p);
  std::string t_name = loop_var_name(p);
  expect_header_end(p);
  if (b->used_globals.empty()) return skip_loop(p);
  if (!b->used_globals.front()->type) parse_error(p, "Missing global type in loop globals (bug)");
  CompileMacroFrame* f = new_frame(p, CM_GLOBALS);
  // The list as it is now: globals that the body brings into use wait for the next pass.
  f->globals = b->used_globals;
  f->loop_var = new_identifier_global(b, nullptr);
  f->type_var = new_identifier_type(b, nullptr);
  frame_set_var(f, p->context, g_name, f->loop_var);
  frame_set_var(f, p->context, t_name, f->type_var);
  start_loop(p, f);
}

void loop_object(Parser* p, Scope* scope) {
  Build* b = p->build;
  IdentifierResult r = read_identifier(p, scope, true, false);
  if (!r.ok()) parse_error(p, r.error);
  if (r.id->kind != IDENT_DECL) parse_error(p, "Expected a variable as the first argument");
  Decl* decl = r.id->decl;
  if (!decl) parse_error(p, "Missing decl value in loop object (bug)");
  Class* cls = decl->type ? decl->type->get_class() : nullptr;
  if (!cls) return skip_loop(p);
  expect_as(p);
  std::string name = loop_var_name(p);
  expect_header_end(p);
  OrderedMap<Property*>& props = cls->get_props();
  if (props.empty()) return skip_loop(p);
  CompileMacroFrame* f = new_frame(p, CM_OBJECT);
  for (auto& [prop_name, prop] : props) {
    Value* object = value_decl(decl);  // marks the variable used
    object->type = decl->type;
    Value* read = value_prop(prop, object);
    read->type = decl->type->imut ? prop->type->get_imut() : prop->type;
    f->properties.push_back(new_identifier_value_property(b, prop, read));
  }
  f->loop_var = new_identifier_value_property(b, nullptr, nullptr);
  frame_set_var(f, p->context, name, f->loop_var);
  start_loop(p, f);
}

void loop_properties(Parser* p, Scope* scope) {
  Build* b = p->build;
  Type* type = read_type(p, scope, false, false);
  Class* cls = type ? type->get_class() : nullptr;
  if (!cls) return skip_loop(p);
  expect_as(p);
  std::string name = loop_var_name(p);
  expect_header_end(p);
  OrderedMap<Property*>& props = cls->get_props();
  if (props.empty()) return skip_loop(p);
  CompileMacroFrame* f = new_frame(p, CM_PROPERTIES);
  for (auto& [prop_name, prop] : props) f->properties.push_back(new_identifier_property(b, prop));
  f->loop_var = new_identifier_property(b, nullptr);
  frame_set_var(f, p->context, name, f->loop_var);
  start_loop(p, f);
}

void loop_tests(Parser* p) {
  Build* b = p->build;
  expect_as(p);
  std::string name = loop_var_name(p);
  expect_header_end(p);
  if (b->tests.empty()) return skip_loop(p);
  CompileMacroFrame* f = new_frame(p, CM_TESTS);
  f->tests = b->tests;
  f->loop_var = new_identifier_func(b, nullptr);
  frame_set_var(f, p->context, name, f->loop_var);
  start_loop(p, f);
}

void loop_macro_values(Parser* p, Scope* scope) {
  Build* b = p->build;
  IdentifierResult r = read_identifier(p, scope, true, false);
  if (!r.ok()) parse_error(p, r.error);
  if (r.id->kind != IDENT_REPEAT) parse_error(p, "The identifier does not represent a list of macro values");
  if (!r.id->repeat) parse_error(p, "Missing macro values list in the macro_values identifier (bug)");
  expect_as(p);
  std::string name = loop_var_name(p);
  // No line end required: what follows the name on its line is body.
  if (r.id->repeat->empty()) return skip_loop(p);
  CompileMacroFrame* f = new_frame(p, CM_MACRO_VALUES);
  f->macro_values = *r.id->repeat;
  f->loop_var = new_identifier_group(b, nullptr);
  frame_set_var(f, p->context, name, f->loop_var);
  start_loop(p, f);
}

}  // namespace

void parse_compile_loop(Parser* p, Scope* scope) {
  next_token(p, true, false);
  if (p->is("classes")) parse_error(p, "loop 'classes' feature under construction");
  if (p->kind == TOK_WORD) {
    if (p->is("globals")) return loop_globals(p);
    if (p->is("object")) return loop_object(p, scope);
    if (p->is("properties")) return loop_properties(p, scope);
    if (p->is("tests")) return loop_tests(p);
    if (p->is("macro_values")) return loop_macro_values(p, scope);
  }
  parse_error(p, cat({"Unexpected token: '", p->token(), "'. Expected tokens after '#loop' are: classes"}));
}

void next_compile_loop(Parser* p, CompileMacroFrame* f) {
  u64 next = f->item_index + 1;
  if (next >= item_count(f)) return;
  // A global without a type ends the loop here, after this "#end", before the
  // parser is moved back: the body is not read again without its frame.
  if (f->kind == CM_GLOBALS && !f->globals[next]->type) return;
  f->item_index = next;
  set_chunk(p, f->body);
  bind_item(f);
  repush_compile_macro(p, f);
}

}  // namespace tesk
