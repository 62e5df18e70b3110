// Type text in display and export form, sizes, alignment and integer ranges.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "model/records.h"
#include "model/runtime.h"
#include "source/records.h"

namespace tesk {

namespace {

constexpr u64 EXPORT_FORM = 1;

u64 ptr_size_of(const Build* b) { return b ? b->ptr_size : 8; }

void join_texts(std::string& out, const std::vector<Type*>& types, u64 flags) {
  for (size_t i = 0; i < types.size(); i++) {
    if (i) out += ", ";
    out += types[i] ? types[i]->to_text_ex(flags) : std::string();
  }
}

// Element of a pointer, reference or raw pointer; always in display form.
std::string element_text(const Type* t) {
  std::string s = t->sub->to_text_ex(0);
  if (t->count == 1) return s;
  std::string out = "[" + s;
  if (t->count != 0) out += " x " + std::to_string(t->count);
  out += "]";
  return out;
}

std::string body_text(const Type* t, u64 flags) {
  switch (t->kind) {
    case TYPE_VOID: return "void";
    case TYPE_NULL: return "<null>";
    case TYPE_UNDEFINED: return "@undefined";
    case TYPE_ERROR: return "<error>";
    case TYPE_ERROR_VALUE: return "<error-value>";
    case TYPE_NONE: return "none";
    case TYPE_GENERIC: return t->name;
    case TYPE_CO: {
      std::string out = "co";
      if (t->items && !t->items->empty()) {
        out += "(";
        join_texts(out, *t->items, 0);
        out += ")";
      }
      if (t->errors)
        for (auto& [name, code] : *t->errors) out += " !" + std::to_string(code);
      return out;
    }
    default: break;
  }

  std::string p;
  if (t->imut) p += "imut ";
  if (t->nullable) p += "?";

  switch (t->kind) {
    case TYPE_POINTER: {
      if (!t->sub) return "<missing-pointer-sub-type>";
      if (t->sub->is_inline_class()) {
        if (!t->sub->class_) return "<missing-class-name>";
        return p + t->sub->class_->type_text(flags);
      }
      return p + "*" + element_text(t);
    }
    case TYPE_REFERENCE:
      return p + "&" + (t->sub ? element_text(t) : std::string());
    case TYPE_ARRAY:
      return p + "[" + (t->sub ? t->sub->to_text_ex(flags) : std::string("?")) + " x " + std::to_string(t->count) +
             "]";
    case TYPE_FNPTR:
    case TYPE_FN: {
      std::string out = p + (t->kind == TYPE_FN ? "fn(" : "fnptr(");
      if (!t->func_info) return out + ")()";
      join_texts(out, t->func_info->args, flags);
      out += ")(";
      join_texts(out, t->func_info->rets, flags);
      out += ")";
      if (t->func_info->can_error) out += "!";
      return out;
    }
    case TYPE_MULTI: {
      if (!t->items) return "<multi-type> (missing type information)";
      std::string out = "(";
      join_texts(out, *t->items, flags);
      return out + ")";
    }
    default: break;
  }

  if (!t->class_) return p + "<missing-class-name>";
  std::string out = p + t->class_->type_text(flags);
  if (t->is_inline_class()) return "<" + out + ">";
  if (t->kind == TYPE_RAW_POINTER && t->sub) out += element_text(t);
  return out;
}

}  // namespace

std::string Class::type_text(u64 flags) const {
  if (flags & EXPORT_FORM) return export_name;
  Namespace* main_ns = get_main_namespace(build);
  Namespace* ns = file ? file->ns : nullptr;
  if (ns && ns != main_ns) {
    get_tesk_package(build);
    if (ns->package == main_ns->package) return ns->name + ":" + display_name;
  }
  return display_name;
}

std::string Type::to_text() const { return to_text_ex(0); }

std::string Type::to_text_ex(u64 flags) const {
  std::string out;
  if (enum_) {
    Type plain = *this;
    plain.enum_ = nullptr;
    out = enum_->display_name + "(" + plain.to_text_ex(flags) + ")";
  } else {
    out = body_text(this, flags);
  }
  if (out.empty()) out = "<cannot-convert-type-to-string> (compiler-type: " + std::to_string(kind) + ")";
  return out;
}

u64 Type::size() const {
  if (is_pointer_sized() || kind == TYPE_GENERIC) return ptr_size_of(build);
  if (kind == TYPE_ARRAY && sub) {
    // Saturates above kMaxTypeSize rather than wrapping to a small size.
    const u64 item = sub->size();
    if (item != 0 && count > kMaxTypeSize / item) return kMaxTypeSize + 1;
    return item * count;
  }
  return class_ ? class_->size : 0;
}

u64 Type::size_in_bits() const { return kind == TYPE_BOOL ? 1 : size() * 8; }

u64 Type::ir_align() const {
  u64 p = ptr_size_of(build);
  return size() >= p ? p : 4;
}

u64 Type::align_unit() const {
  u64 p = ptr_size_of(build);
  u64 u = size();
  if (!is_pointer_sized()) {
    if (is_inline_class() && class_) {
      u = 0;
      for (auto& [name, prop] : class_->props) {
        u64 s = prop->type ? prop->type->size() : 0;
        if (s > u) u = s;
      }
    } else if (kind == TYPE_ARRAY && sub) {
      u = sub->size();
    }
  }
  return u < p ? u : p;
}

bool Type::int_fits(u64 value, bool is_signed) const {
  if (kind != TYPE_INT) return false;
  u64 bits = 8 * size();
  if (bits == 0) return false;
  if (static_cast<i64>(value) < 0 && is_signed) {
    if (!signed_) return false;
    if (bits >= 64) return true;
    i64 min = -(i64(1) << (bits - 1));
    return static_cast<i64>(value) >= min;
  }
  u64 allowed = is_signed ? bits - 1 : bits;
  if (allowed >= 64) return true;
  return (value >> allowed) == 0;
}

}  // namespace tesk
