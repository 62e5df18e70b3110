// Type compatibility: may a value of one Type be used where another is wanted?
#include "driver/build.h"
#include "model/records.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parser.h"
#include "source/records.h"

namespace tesk {

namespace {

constexpr u64 IGNORE_IMUT = 1;

Class* effective_class(const Type* t) {
  Class* c = t->get_class();
  if (c && c->mode_base) c = c->mode_base;
  return c;
}

// Every error name of have is a name of want.
bool errors_cover(const ErrorMap* want, const ErrorMap* have) {
  for (auto& [name, code] : *have)
    if (!want->contains(name)) return false;
  return true;
}

}  // namespace

bool Type::compat(Type* have, u64 flags) const {
  const Type* w = this;
  const Type* h = have;
  Class* cw = effective_class(w);
  Class* ch = effective_class(h);

  if (w->kind == TYPE_GENERIC || h->kind == TYPE_GENERIC) return true;

  if (w->nullable) {
    if (h->kind == TYPE_NULL) return true;
  } else if (h->nullable) {
    return false;
  }

  if (w->kind == TYPE_RAW_POINTER && h->is_pointer_sized()) return true;

  bool kinds_match = w->kind == h->kind || (w->kind == TYPE_REFERENCE && h->kind == TYPE_POINTER) ||
                     (w->kind == TYPE_ERROR && h->kind == TYPE_ERROR_VALUE);
  if (!kinds_match) return false;

  if (w->enum_ && h->enum_ != w->enum_) return false;

  switch (w->kind) {
    case TYPE_POINTER:
    case TYPE_REFERENCE:
      if (!w->sub || !h->sub) return false;
      return w->sub->compat(h->sub, flags);
    case TYPE_ERROR:
    case TYPE_ERROR_VALUE:
      if (h->kind != TYPE_ERROR && h->kind != TYPE_ERROR_VALUE) return false;
      if (!w->errors || !h->errors) return false;
      return errors_cover(w->errors, h->errors);
    case TYPE_FNPTR:
    case TYPE_FN: {
      FuncInfo* fw = w->func_info;
      FuncInfo* fh = h->func_info;
      if (!fw || !fh) return false;
      if (fw->args.size() != fh->args.size() || fw->rets.size() != fh->rets.size()) return false;
      for (size_t i = 0; i < fw->args.size(); i++)
        if (!fh->args[i]->compat(fw->args[i], 0)) return false;
      for (size_t i = 0; i < fw->rets.size(); i++)
        if (!fw->rets[i]->compat(fh->rets[i], 0)) return false;
      if (fh->can_error && !fw->can_error) return false;
      break;
    }
    case TYPE_CO: {
      if (h->items && !h->items->empty()) {
        if (!w->items || w->items->size() != h->items->size()) return false;
        for (size_t i = 0; i < h->items->size(); i++)
          if (!(*w->items)[i]->compat((*h->items)[i], 0)) return false;
      }
      if (h->errors) {
        if (!w->errors) return false;
        if (!errors_cover(w->errors, h->errors)) return false;
      }
      return true;
    }
    default: break;
  }

  if (w->kind == TYPE_INT || w->kind == TYPE_FLOAT) return w->size() == h->size() && w->signed_ == h->signed_;

  if (cw != ch) return false;
  if (w->imut != h->imut && !(flags & IGNORE_IMUT)) return false;

  if (w->kind == TYPE_ARRAY) {
    if (!w->sub || !h->sub) return false;
    if (w->count != 0 && h->count != 0 && w->count > h->count) return false;
    return w->sub->compat(h->sub, flags);
  }
  if (w->kind == TYPE_MULTI) {
    if (!w->items || !h->items) return false;
    if (w->items->size() != h->items->size()) return false;
    for (size_t i = 0; i < w->items->size(); i++)
      if (!(*w->items)[i]->compat((*h->items)[i], flags)) return false;
    return true;
  }
  return true;
}

void check_type_compat(Type* want, Type* have, ParseContext* ctx, Chunk* chunk) {
  if (want->compat(have, 0)) return;
  std::string msg = "Incompatible types. Passing a '" + have->to_text() + "' value to a '" + want->to_text() + "' type";
  if (chunk && ctx->parser) {
    set_chunk(ctx->parser, chunk);
  }
  error_at(ctx, msg);
}

}  // namespace tesk
