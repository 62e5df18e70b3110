// Stage 2.4: function signatures, global types and enum values.
#include "model/signatures.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "expr/read_value.h"
#include "expr/value.h"
#include "ir/records.h"
#include "model/hooks.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1_scan.h"  // the header rules Stage 1 scans by
#include "util/strings.h"

namespace tesk {

namespace {

// The Types a return Type stands for: the items of a multi, else itself unless it is
// no value.
std::vector<Type*> return_items(Type* rt) {
  std::vector<Type*> out;
  if (!rt) return out;
  if (rt->kind == TYPE_MULTI) {
    if (rt->items) out = *rt->items;
  } else if (!kind_in(rt->kind, KINDS_NO_VALUE)) {
    out.push_back(rt);
  }
  return out;
}

// One argument from its name on; the token in hand is the name.
void read_argument(Parser* p, Func* func) {
  Build* b = func->build;
  std::string name = token_text(p);
  expect_token(p, ":", true, true);

  FuncArg* arg = nullptr;
  next_token(p, true, true, false);
  if (p->kind == TOK_DOLLAR_WORD) {
    next_token(p, true, true);
    std::string_view gname = p->token();
    while (!gname.empty() && gname.front() == '$') gname.remove_prefix(1);
    if (gname.empty()) parse_error(p, "Empty generic argument name");
    if (func->extra_generic_names) {
      Type** bound = func->generic_types.find(gname);
      if (!bound || !*bound) parse_bug(p, "Missing argument generic type");
      arg = func->add_arg(name, *bound);
    } else {
      bool taken = false;
      for (const std::string& n : func->generic_arg_names) taken = taken || n == gname;
      if (func->generic_names && func->generic_names->contains(gname)) taken = true;
      if (taken) parse_error(p, cat({"Duplicate generic name: ", gname}));
      func->generic_arg_names.emplace_back(gname);
      Type* t = generic_type(b);
      t->name = std::string(gname);
      arg = func->add_arg(name, t);
      arg->generic_name = std::string(gname);
      arg->is_generic = 1;
      func->template_ = 1;
      func->skip = 1;
    }
  } else {
    Type* t = read_type(p, func->decl_scope, true, false);
    if (t->kind == TYPE_STRUCT || t->kind == TYPE_CLASS || t->kind == TYPE_ARRAY) {
      parse_error(p, "You cannot use inline types for function arguments: " + t->to_text());
    }
    if (t->kind != TYPE_VOID) arg = func->add_arg(name, t);
  }

  // Default value: kept for the calls that leave the argument out. A `void` argument is
  // not added, so its default belongs to no argument and is only skipped.
  next_token(p, true, true, false);
  if (symbol_is(p, "(")) {
    next_token(p, true, true);
    Chunk* at = chunk_here(p);
    if (arg) arg->default_ = at;
    skip_scope(p, ")");
  }
}

void read_arguments(Parser* p, Func* func) {
  for (;;) {
    u64 kind = next_token(p, true, true);
    if (kind == TOK_SYMBOL && p->is(")")) return;
    if (kind == TOK_AT_WORD && p->is("@infinite")) {
      func->varargs = 1;
      expect_token(p, ")", true, true);
      return;
    }
    if (kind != TOK_WORD) parse_error(p, "Invalid argument name: " + token_text(p));
    read_argument(p, func);
    if (next_token(p, true, true) != TOK_SYMBOL) error_unexpected_token(p);
    if (p->is(",")) continue;
    if (p->is(")")) return;
    error_unexpected_token(p);
  }
}

// Error names from the "!" in hand; leaves the first token after them in hand.
void read_signature_errors(Parser* p, Func* func) {
  Build* b = func->build;
  while (!header_ended(p, func) && symbol_is(p, "!")) {
    if (next_token(p, false, false) != TOK_WORD) parse_error(p, "Invalid error name syntax: " + token_text(p));
    std::string_view name = p->token();
    ErrorCode code = name_hash_u32(name);
    if (func->errors->contains(name)) parse_error(p, cat({"Duplicate error name: ", name}));
    for (const auto& [other, other_code] : *func->errors) {
      if (other_code == code) {
        parse_error(p, cat({"It seems that 2 different error names are resolving to the same hash, try picking a "
                            "different error name: ",
                            name}));
      }
    }
    func->errors->set(name, code);
    if (!func->can_error) {
      func->can_error = 1;
      std::vector<Type*> items = return_items(func->return_type);
      items.push_back(runtime_u32_type(b));
      items.push_back(runtime_string_type(b));
      func->ir_return_type = multi_type(b, items, true);
    }
    next_token(p, true, true);
  }
}

void read_flag(Parser* p, Func* func) {
  std::string_view flag = p->token();
  Class* cls = func->class_;
  if (flag == "$entrance") {
    func->entrance = 1;
  } else if (flag == "$exit") {
    func->is_exit = 1;
  } else if (flag == "$hot") {
    func->hot = 1;
  } else if (flag == "$inline") {
    func->inline_ = 1;
  } else if (flag == "$undefined") {
    func->opaque_calls = 1;
  } else if (flag == "@nobuffers") {
    func->nobuffers = 1;
    func->reduced = 1;
  } else if (cls && flag == "$offset") {
    if (cls->offset_func) parse_error(p, "Multiple functions marked with $offset for the same type");
    cls->offset_func = func;
  } else if (cls && flag == "$offset_assign") {
    if (cls->offset_assign_func) parse_error(p, "Multiple functions marked with $offset_assign for the same type");
    cls->offset_assign_func = func;
  } else if (cls && flag == "$to") {
    check_flag_function(p, func, flag, 0);
    cls->to_funcs.push_back(func);
  } else if (cls && (flag == "$eq" || flag == "$lt" || flag == "$gt" || flag == "$lte" || flag == "$gte" ||
                     flag == "$add")) {
    check_flag_function(p, func, flag, 1);
    std::vector<Func*>& list = flag == "$eq"    ? cls->eq_funcs
                               : flag == "$lt"  ? cls->lt_funcs
                               : flag == "$gt"  ? cls->gt_funcs
                               : flag == "$lte" ? cls->lte_funcs
                               : flag == "$gte" ? cls->gte_funcs
                                                : cls->add_funcs;
    list.push_back(func);
  } else {
    parse_error(p, cat({"Unknown flag: ", flag}));
  }
}

void check_main_args(Parser* p, Func* func) {
  Build* b = func->build;
  if (func->args.size() >= 2) parse_error(p, "The 'main' function has too many arguments (max: 1)");
  Type* want = runtime_array_string_type(b);
  if (func->args.empty()) {
    func->add_arg("cli_args", want);
    return;
  }
  Type* have = func->args[0]->type;
  if (!want->compat(have, 0)) {
    parse_error(p, "The first argument of 'main' must be of type: " + want->to_text() + ", instead of: " +
                       have->to_text());
  }
}

}  // namespace

void read_function_types(Func* func) {
  if (func->types_read || func->is_generic) return;
  func->types_read = 1;
  Build* b = func->build;

  if (func->class_ && !func->static_) {
    Type* t = func->class_->get_type();
    if (func->group) {
      t = t->copy();
      t->group = func->group;
    }
    func->add_arg("this", t);
  }

  if (func->header) {
    Parser* p = new_parser(func->header, nullptr);
    p->context->unit = func->file ? func->file->unit : func->unit;
    p->context->func = func;

    if (!func->no_args) read_arguments(p, func);

    // A declaration without a body ends with its line: what follows it is the next
    // declaration, not its return type or flags.
    bool newlines = !func->no_body;
    next_token(p, true, true, false);
    if (!header_ended(p, func) && !ends_return_type(p)) {
      Type* rt = read_type(p, func->decl_scope, newlines, true);
      func->return_type = rt;
      func->ir_return_type = rt;
    }

    next_token(p, true, true);
    read_signature_errors(p, func);
    while (!header_ended(p, func) && (p->kind == TOK_AT_WORD || p->kind == TOK_DOLLAR_WORD)) {
      read_flag(p, func);
      next_token(p, true, true);
    }

    if (func == b->main_func) {
      check_main_args(p, func);
      return;
    }
  }

  // Tests are declared without an argument list: their results argument is added
  // whether or not a header was written.
  if (func->is_test) func->add_arg("test_results", runtime_class_type(b, "core", "TestResults"));
}

void check_flag_function(Parser* p, Func* func, std::string_view flag, u64 n) {
  if (func->static_) parse_error(p, cat({"Functions marked with ", flag, " cannot be static"}));
  if (func->args.size() != n + 1) {
    parse_error(p, cat({"Functions marked with ", flag, " must have ", std::to_string(n), " argument(s)"}));
  }
  Type* rt = func->return_type;
  u64 r = 1;
  if (!rt || kind_in(rt->kind, KINDS_NO_VALUE)) {
    r = 0;
  } else if (rt->kind == TYPE_MULTI) {
    r = rt->items ? rt->items->size() : 1;
  }
  if (r > 1) parse_error(p, cat({"Functions marked with ", flag, " must return only 1 value"}));
  if (r == 0) parse_error(p, cat({"Functions marked with ", flag, " must return a value"}));
  if (n == 1 && func->can_error) parse_error(p, cat({"Functions marked with ", flag, " should never throw an error"}));
}

// ---------------------------------------------------------------------------------
// Globals

void read_global_type(Global* global) {
  if (!global->type_chunk) return;
  Parser* p = new_parser(global->type_chunk, nullptr);
  Type* t = read_type(p, global->file ? global->file->scope : nullptr, true, false);
  global->type = t;
  if (global->shared && !global->shared_unchecked && (t->kind == TYPE_STRUCT || t->kind == TYPE_CLASS) &&
      t->class_ && !t->class_->imut) {
    parse_error(p,
                "Shared global variables must be immutable when having a structural type (struct/class type). Put "
                "'imut' infront of the type to make it immutable.");
  }
  // Globals start zeroed: without a default such a global would be null at its first use.
  if (!global->default_chunk && !global->extern_ && !t->nullable && t->kind == TYPE_POINTER && t->sub &&
      t->sub->is_inline_class() && t->sub->class_ &&
      (t->sub->class_->kind == CLASS_CLASS || t->sub->class_->kind == CLASS_STRUCT))
    parse_error(p, "A global of a non-nullable class type needs a default value");
}

// ---------------------------------------------------------------------------------
// Enums

namespace {

[[noreturn]] void missing_enum_value(Enum* en, Chunk* position) {
  if (!position) build_error(en->build, "Missing enum value");
  Parser* p = new_parser(position, nullptr);
  set_chunk(p, position);
  parse_error(p, "Missing enum value");
}

}  // namespace

void read_enum_values(Enum* en) {
  Build* b = en->build;
  Type* item_type = en->get_item_type();
  Func* context_func = generated_code_func(b);

  std::unordered_set<u64> seen;
  for (auto& [name, chunk] : en->item_value_chunks) {
    if (!chunk) {
      if (item_type->kind != TYPE_INT) {
        Chunk** position = en->item_positions.find(name);
        missing_enum_value(en, position ? *position : nullptr);
      }
      continue;
    }
    Parser* p = new_parser(chunk, nullptr);
    p->context->unit = context_func->unit;
    p->context->func = context_func;
    push_type_hint(p, item_type);
    Value* v = read_value(p, en->file ? en->file->scope : nullptr, PRIO_ALL, 0);
    pop_type_hint(p);
    check_type_compat(item_type, v->type, p->context, nullptr);
    if (v->kind == VAL_INT) {
      if (!seen.insert(v->number).second) {
        parse_error(p, "Duplicate integer value: " + std::to_string(static_cast<i64>(v->number)));
      }
    }
  }

  u64 i = 0;
  for (auto& [name, chunk] : en->item_value_chunks) {
    if (chunk) continue;
    while (seen.count(i)) i++;
    en->item_values.set(name, i);
    i++;
  }
}

// ---------------------------------------------------------------------------------
// Documentation text of a value

std::optional<std::string> value_doc_text(Value* value) {
  switch (value->kind) {
    case VAL_STRING:
      if (!value->string_const) return std::nullopt;
      return "\"" + value->string_const->text + "\"";
    case VAL_DECL:
      if (!value->decl || value->decl->name.empty()) return std::nullopt;
      return value->decl->name;
    case VAL_INT:
      return std::to_string(static_cast<i64>(value->number));
    case VAL_BOOL:
      return std::string(value->flag ? "true" : "false");
    case VAL_NULL:
      return std::string("null");
    default:
      return std::nullopt;
  }
}

}  // namespace tesk
