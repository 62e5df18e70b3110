// Call arguments: each value read with its parameter Type as hint, converted and
// checked; "_" and missing trailing arguments take the parameter's default value.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "tools/lsp.h"
#include "expr/access.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/scope.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

namespace {

[[noreturn]] void incompatible(ParseContext* ctx, Type* have, Type* want) {
  error_at(ctx, "Incompatible types. Passing a '" + have->to_text() + "' value to a '" + want->to_text() + "' type");
}

}  // namespace

void read_call_args(Parser* p, Scope* scope, Value* fn, std::string_view closer, std::vector<Value*>& args) {
  Func* func = (fn->kind == VAL_FUNC) ? fn->func : nullptr;
  const std::vector<FuncArg*>* fargs = func ? &func->args : nullptr;
  FuncInfo* info = fn->type ? fn->type->func_info : nullptr;
  if (!info) parse_error(p, "Function call on a non-function value");
  Type* variadic = (info->infinite && !info->args.empty()) ? info->args.back() : nullptr;

  u64 i = args.size();
  auto help = [&] {
    if (p->at_cursor) lsp_signature_help(lsp_context(p->build), i, info->args, variadic, fargs, info);
  };
  help();

  next_token(p, true, true, false);
  if (p->is(closer)) {
    next_token(p, true, true);
    return;
  }
  for (;;) {
    FuncArg* farg = (fargs && i < fargs->size()) ? (*fargs)[i] : nullptr;
    Type* want = i < info->args.size() ? info->args[i] : variadic;
    if ((fargs && !farg && !variadic) || !want)
      parse_error(p, "Too many arguments. Function type: " + fn->type->to_text());

    help();
    next_token(p, true, true, false);
    help();
    Value* v;
    if (p->is("_")) {
      if (!farg || !farg->default_) parse_error(p, "Func argument has no default value. So you cannot use '_' here.");
      next_token(p, true, true);
      v = check_call_arg(p, scope, func, farg, farg->default_);
    } else {
      push_type_hint(p, want);
      v = read_value(p, scope, PRIO_ALL, 0);
      pop_type_hint(p);
      if (!(farg && farg->is_generic)) {
        v = convert_value(v, p->context, scope, want);
        if (!want->compat(v->type, 0)) incompatible(p->context, v->type, want);
      }
    }
    args.push_back(v);

    next_token(p, true, true);
    if (p->is(closer)) return;
    if (!p->is(","))
      parse_error(p, cat({"Expected token: '", ",", "' or '", closer, "', instead of: '", p->token(), "'"}));
    i++;
  }
}

Value* check_call_arg(Parser* p, Scope* scope, Func* func, FuncArg* arg, Chunk* default_value) {
  // Names in the default mean what they meant where the function was declared.
  Scope* s = new_scope(scope, SCOPE_BLOCK);
  s->outer = func ? func->decl_scope : nullptr;
  Parser* sub = sub_parser(p, default_value);
  push_type_hint(sub, arg->type);
  Value* v = read_value(sub, s, PRIO_ALL, 0);
  if (!arg->type->compat(v->type, 0)) incompatible(p->context, v->type, arg->type);
  return v;
}

}  // namespace tesk
