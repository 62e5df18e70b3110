// The condition functions of "#if" that test types: each reads its arguments after the
// "(" (the caller reads the ")"), on the directive's line.
#include <string_view>

#include "model/records.h"
#include "model/type_reading.h"
#include "source/compile_condition.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

namespace {

Type* arg_type(Parser* p, Scope* scope) { return read_type(p, scope, false, false); }

void comma(Parser* p) { expect_token(p, ",", true, false); }

bool is_type_of_class(Parser* p, Scope* scope) {
  Type* a = arg_type(p, scope);
  comma(p);
  Type* b = arg_type(p, scope);
  return a->get_class() == b->get_class();
}

bool is_pointer_type(Parser* p, Scope* scope) { return arg_type(p, scope)->is_pointer_sized(); }
bool is_raw_pointer_type(Parser* p, Scope* scope) { return arg_type(p, scope)->kind == TYPE_RAW_POINTER; }
bool is_integer_type(Parser* p, Scope* scope) { return arg_type(p, scope)->kind == TYPE_INT; }
bool is_float_type(Parser* p, Scope* scope) { return arg_type(p, scope)->kind == TYPE_FLOAT; }
bool is_bool_type(Parser* p, Scope* scope) { return arg_type(p, scope)->kind == TYPE_BOOL; }
bool is_gc_type(Parser* p, Scope* scope) { return arg_type(p, scope)->is_gc(); }
bool is_nullable_type(Parser* p, Scope* scope) { return arg_type(p, scope)->nullable != 0; }
bool is_void_type(Parser* p, Scope* scope) { return arg_type(p, scope)->kind == TYPE_VOID; }
bool is_signed_type(Parser* p, Scope* scope) { return arg_type(p, scope)->signed_ != 0; }

bool is_structural_type(Parser* p, Scope* scope) {
  Class* c = arg_type(p, scope)->get_class();
  return c && c->is_structured();
}

bool type_has_method(Parser* p, Scope* scope) {
  Class* c = arg_type(p, scope)->get_class();
  comma(p);
  if (next_token(p, true, false) != TOK_WORD) {
    parse_error(p, cat({"Invalid identifier name: '", p->token(), "' | Expected syntax: [a-zA-Z_]"}));
  }
  return c && c->get_function(p->token()) != nullptr;
}

bool type_has_vtable(Parser* p, Scope* scope) {
  Class* c = arg_type(p, scope)->get_class();
  return c && c->get_props().contains("_VTABLE");
}

}  // namespace

CompileConditionFn type_condition_function(std::string_view name) {
  struct Entry {
    std::string_view name;
    CompileConditionFn fn;
  };
  static constexpr Entry kTable[] = {
      {"is_type_of_class", is_type_of_class},
      {"is_pointer_type", is_pointer_type},
      {"is_raw_pointer_type", is_raw_pointer_type},
      {"is_integer_type", is_integer_type},
      {"is_float_type", is_float_type},
      {"is_bool_type", is_bool_type},
      {"is_gc_type", is_gc_type},
      {"is_nullable_type", is_nullable_type},
      {"is_void_type", is_void_type},
      {"is_signed_type", is_signed_type},
      {"is_structural_type", is_structural_type},
      {"type_has_method", type_has_method},
      {"type_has_vtable", type_has_vtable},
  };
  for (const Entry& e : kTable)
    if (e.name == name) return e.fn;
  return nullptr;
}

}  // namespace tesk
