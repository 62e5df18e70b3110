// each loops over slices and over classes with a `_next` function, lowered into an
// index local, an end test with a break, and an index step at every continue.
#include <algorithm>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"
#include "stmt/loop_util.h"
#include "stmt/statements.h"

namespace tesk {

namespace {

// The class an each loop walks, or null when the value cannot be iterated.
Class* iterable_class(Value* v) {
  if (!v->type || v->type->nullable) return nullptr;
  return v->type->get_class();
}

void declare_loop_name(Parser* p, Scope* loop, Decl* d) {
  loop->set_identifier(p->context, d->name, new_identifier_decl(loop->build, d));
}

}  // namespace

void read_each(Parser* p, Scope* scope) {
  Build* b = scope->build;
  Chunk* at_each = statement_chunk(p);
  Value* on = read_value(p, scope, PRIO_ALL, 0);
  Class* cls = iterable_class(on);
  if (!cls) parse_error(p, "Cannot use 'each' on type: " + type_text_or_none(on->type));

  append_comment(scope, "Each statement");
  append_comment(scope, "Init each on-values");
  // Evaluated once, before the loop; a GC reference that nothing holds is kept in a
  // temporary for the whole loop.
  std::vector<Value*> buffered{on};
  value_buffer_gc_args(scope, buffered);
  on = buffered[0];
  append_value_statement(scope, on);

  u8 slice = cls->slice;
  std::vector<Type*> step_types;
  if (slice) {
    if (cls->generic_types && !cls->generic_types->empty()) step_types.push_back((*cls->generic_types)[0]);
  } else {
    Func* next = cls->get_function("_next");
    if (!next)
      parse_error(p, "Cannot use 'each' on type: '" + on->type->to_text() +
                         "'. This type does not have an '_next' function");
    // Its error is what ends the loop.
    if (!next->can_error) {
      set_chunk(p, at_each);
      parse_error(p, "The '_next' function must declare an error to end the each loop");
    }
    Type* rt = next->return_type;
    if (rt) {
      if (rt->kind == TYPE_MULTI && rt->items)
        step_types = *rt->items;
      else if (!kind_in(rt->kind, KINDS_NO_VALUE))
        step_types.push_back(rt);
    }
  }
  Type* uint_type = runtime_class_type(b, "type", "uint");
  step_types.push_back(uint_type);

  next_token(p, true, true);
  if (p->kind != TOK_WORD || !p->is("as")) parse_error(p, "Expected token: 'as', instead of: '" + token_text(p) + "'");

  std::vector<std::string> names;
  next_token(p, true, true);
  if (p->kind != TOK_WORD) error_invalid_identifier(p);
  u8 single = 0;
  while (true) {
    std::string name = token_text(p);
    if (std::find(names.begin(), names.end(), name) != names.end())
      parse_error(p, "Duplicate variable name: " + name);
    names.push_back(name);
    if (names.size() > step_types.size()) parse_error(p, "Too many variables for this each statement");
    next_token(p, true, true);
    if (symbol_is(p, ",")) {
      next_token(p, true, true);
      if (p->kind != TOK_WORD) error_invalid_identifier(p);
      continue;
    }
    if (symbol_is(p, "{")) break;
    if (symbol_is(p, ":")) {
      single = 1;
      break;
    }
    parse_error(p, "Expected token: ',', '{' or ':', instead of: '" + token_text(p) + "'");
  }

  std::string index_name;
  if (names.size() == step_types.size()) {
    index_name = names.back();
    names.pop_back();
  }

  Decl* index = new_decl(uint_type, false, index_name);
  index->in_memory = 1;
  scope->add_decl(index);
  append_comment(scope, "Set index to 0");
  scope->ast.push_back(ast_assign_node(b, value_decl(index), value_int(0, index->type)));

  std::vector<Value*> values{on};
  Value* length = nullptr;
  if (slice) {
    append_comment(scope, "Get slice max index");
    Property** lp = cls->props.find("length");
    if (!lp) parse_bug(p, "Missing slice length property");
    length = value_prop(*lp, on);
    append_value_statement(scope, length);
    append_comment(scope, "Get slice data properties");
    Property** dp = cls->props.find("data");
    if (!dp) parse_bug(p, "Missing slice data property");
    // The body may replace the block (append) while the loop still walks the old one:
    // the block stays in a GC slot until the statement ends.
    values[0] = value_buffer_gc_value(scope, value_prop(*dp, on));
    append_value_statement(scope, values[0]);
  }

  u8 was_in_loop = p->in_loop;
  p->in_loop = 1;
  Chunk* start = statement_chunk(p);
  VscopeMark mark(scope);
  Func* func = p->context ? p->context->func : nullptr;
  RepeatCheck repeat(was_in_loop, func, scope);
  KeepCheck keep(was_in_loop, func, scope);
  Scope* first = build_each_loop(p, scope, names, step_types, values, slice, single, index, length, nullptr);
  bool repeats = repeat.repeats(first, mark);
  bool kept = keep.keeps(first, mark);
  mark.restore();
  p->in_loop = was_in_loop;
  if (!kept) drop_loop_locals(func, first);
  Scope* loop = first;
  if (repeats) {
    repeat.replay();
  } else if (!kept) {
    set_chunk(p, start);
    loop = build_each_loop(p, scope, names, step_types, values, slice, single, index, length,
                           &first->continue_maybe_null);
    if (p->in_loop) drop_loop_locals(func, loop);
  }

  for (Decl* d : loop->break_maybe_null) scope->set_maybe_null(d);
  // A `_next` loop also ends at the start of an iteration, where every local unset at a
  // continue may be null; its failure break records nothing, so those go out from here.
  if (!slice)
    for (Decl* d : first->continue_maybe_null) scope->set_maybe_null(d);

  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = AST_EACH;
  n->scope = loop;
  scope->ast.push_back(n);
}

Scope* build_each_loop(Parser* p, Scope* scope, const std::vector<std::string>& names,
                       const std::vector<Type*>& step_types, const std::vector<Value*>& values, u8 slice,
                       u8 single, Decl* index, Value* length, const std::vector<Decl*>* unset) {
  Func* func = p->context ? p->context->func : nullptr;
  if (!func) parse_error(p, "Missing function object in parser (bug)");
  func->get_ast();
  Build* b = scope->build;

  Scope* loop = new_scope(scope, SCOPE_LOOP);
  append_comment(loop, "Each loop scope");
  if (unset)
    for (Decl* d : *unset) loop->set_maybe_null(d);

  append_comment(loop, "Load index");
  // The one load of the index in this iteration; every later use takes its operand.
  Value* index_value = value_decl(index);
  append_value_statement(loop, index_value);

  if (length) {
    append_comment(loop, "Compare index to slice length");
    Scope* end = new_scope(loop, SCOPE_BINDING);
    read_break(p->context, end);
    AstNode* n = b->make_func_lived<AstNode>();
    n->kind = AST_IF;
    n->value = value_compare(index_value, length, OP_GTE, runtime_class_type(b, "type", "bool"));
    n->scope = end;
    loop->ast.push_back(n);
  }

  loop->each_index = index;
  if (!index->name.empty()) declare_loop_name(p, loop, index);

  std::vector<Decl*> locals;
  for (size_t i = 0; i < names.size(); i++) {
    if (i >= step_types.size()) parse_bug(p, "Missing each value type");
    Decl* d = new_decl(step_types[i], false, names[i]);
    loop->add_decl(d);
    declare_loop_name(p, loop, d);
    locals.push_back(d);
  }

  auto set_local = [&](Decl* d, Value* v) {
    append_comment(loop, "Set each variable value for: " + d->name);
    store_value(p->context, loop, value_decl(d), v, 1, p->chunk);
  };

  if (slice) {
    append_comment(loop, "Get slice values");
    Type* uint_type = runtime_class_type(b, "type", "uint");
    for (size_t j = 0; j < locals.size(); j++) {
      Decl* d = locals[j];
      if (j >= values.size()) parse_bug(p, "Missing slice value for each statement");
      Value* elem = value_ptrv(values[j], d->type, index_value);
      if (d->type->is_gc()) {
        // The two low bits of a stored reference are flags, not part of the address.
        Value* masked = value_math(value_cast(elem, uint_type), value_int(u64(-4), uint_type), OP_BIT_AND, uint_type);
        elem = value_cast(masked, d->type);
      }
      set_local(d, elem);
    }
  } else {
    append_comment(loop, "Call each-get");
    if (values.empty()) parse_bug(p, "Missing on value");
    Value* on = values[0];
    Class* cls = iterable_class(on);
    if (!cls) parse_error(p, "Cannot use 'each' on type: " + type_text_or_none(on->type));
    Func* next = cls->get_function("_next");
    if (!next) parse_bug(p, "Missing _next function");
    Value* call = value_function_call(b, loop, value_func(next), {on, index_value});

    // Any failure of _next ends the loop; the error is dropped.
    Scope* fail = new_scope(loop, SCOPE_BLOCK);
    AstNode* brk = b->make_func_lived<AstNode>();
    brk->kind = AST_BREAK;
    fail->ast.push_back(brk);
    fail->did_exit = 1;
    Value* handler = value_inline_scope(fail, none_type(b));
    Value* step = value_on_error(call, call_result_values(call), handler, 0);
    // Also in a first reading, which may be kept (a dropped one drops it with the rest).
    append_value_statement(loop, step);

    std::vector<Value*> results = value_items(step);
    for (size_t j = 0; j < locals.size(); j++) {
      if (j >= results.size()) parse_bug(p, "Missing return value from _next");
      set_local(locals[j], results[j]);
    }
  }

  append_comment(loop, "Each loop code");
  read_statements(p, loop, single);
  return loop;
}

}  // namespace tesk
