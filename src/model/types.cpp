// Type records: constructors, copies, variants and their caches, predicates.
#include "model/types.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "source/records.h"

namespace tesk {

// ---------------------------------------------------------------------------------
// Constructors

Type* new_type(Build* b, u64 kind) {
  Type* t = b->make<Type>();
  t->kind = kind;
  t->build = b;
  return t;
}

Type* void_type(Build* b) { return new_type(b, TYPE_VOID); }
Type* null_type(Build* b) { return new_type(b, TYPE_NULL); }
Type* none_type(Build* b) { return new_type(b, TYPE_NONE); }
Type* generic_type(Build* b) { return new_type(b, TYPE_GENERIC); }

FuncInfo* new_func_info(Build* b) { return b->make<FuncInfo>(); }
ErrorMap* new_error_map(Build* b) { return b->make<ErrorMap>(); }

Type* fnptr_type(Build* b, FuncInfo* info) {
  Type* t = new_type(b, TYPE_FNPTR);
  t->func_info = info;
  return t;
}

Type* fn_type(Build* b, FuncInfo* info) {
  Type* t = new_type(b, TYPE_FN);
  t->func_info = info;
  return t;
}

Type* array_type(Build* b, Type* sub, u64 count) {
  Type* t = new_type(b, TYPE_ARRAY);
  t->sub = sub;
  t->count = count;
  return t;
}

Type* co_type(Build* b, std::vector<Type*>* items, ErrorMap* errors) {
  Type* t = new_type(b, TYPE_CO);
  t->items = items;
  t->errors = errors;
  t->co_can_error = errors && !errors->empty();
  return t;
}

Type* multi_type(Build* b, const std::vector<Type*>& items, bool force) {
  if (items.size() >= 2 || force) {
    Type* t = new_type(b, TYPE_MULTI);
    t->items = b->make<std::vector<Type*>>(items);
    return t;
  }
  if (items.size() == 1) return items[0];
  return void_type(b);
}

Type* error_code_type(Build* b, ErrorMap* errors) {
  Class* u32_class = runtime_class(b, "type", "u32");
  Type* t = new_type(b, TYPE_ERROR);
  t->errors = errors;
  t->class_ = u32_class;
  return t;
}

Type* error_value_type(Build* b, std::string_view name, ErrorCode code) {
  Class* u32_class = runtime_class(b, "type", "u32");
  Type* t = new_type(b, TYPE_ERROR_VALUE);
  t->errors = new_error_map(b);
  t->errors->set(name, code);
  t->class_ = u32_class;
  return t;
}

namespace {
// The results part of a function's signature, as its FuncInfo lists them.
bool same_results(const FuncInfo* info, Type* rt) {
  if (rt && rt->kind == TYPE_MULTI && rt->items) return info->rets == *rt->items;
  if (rt && !kind_in(rt->kind, KINDS_NO_VALUE)) return info->rets.size() == 1 && info->rets[0] == rt;
  return info->rets.empty();
}

bool same_signature(const FuncInfo* info, const Func* func) {
  if (info->args.size() != func->args.size()) return false;
  for (size_t i = 0; i < info->args.size(); i++)
    if (info->args[i] != func->args[i]->type) return false;
  return same_results(info, func->return_type) && info->errors == func->errors &&
         info->infinite == func->varargs && info->can_error == func->can_error;
}
}  // namespace

Type* func_pointer_type(Func* func) {
  // Every reference to a function asks for this Type; Types are never changed once made,
  // so one serves them all while the signature is the same.
  if (func->pointer_type && same_signature(func->pointer_type->func_info, func)) return func->pointer_type;
  Build* b = func->build;
  FuncInfo* info = new_func_info(b);
  for (FuncArg* a : func->args) info->args.push_back(a->type);
  Type* rt = func->return_type;
  if (rt) {
    if (rt->kind == TYPE_MULTI && rt->items) {
      info->rets = *rt->items;
    } else if (!kind_in(rt->kind, KINDS_NO_VALUE)) {
      info->rets.push_back(rt);
    }
  }
  info->errors = func->errors;
  info->infinite = func->varargs;
  info->can_error = func->can_error;
  func->pointer_type = fnptr_type(b, info);
  return func->pointer_type;
}

// ---------------------------------------------------------------------------------
// Core types

Type* core_type(Build* b, std::string_view name) { return runtime_class_type(b, "type", name); }
Type* string_type(Build* b) { return core_type(b, "String"); }
Type* int_type(Build* b) { return core_type(b, "int"); }
Type* f64_type(Build* b) { return core_type(b, "f64"); }
Type* ptr_type(Build* b) { return core_type(b, "ptr"); }

Type* number_type(Build* b, u64 size, bool is_float, bool is_signed) {
  std::string_view name;
  if (is_float) {
    if (size == 4) name = "f32";
    if (size == 8) name = "f64";
  } else if (is_signed) {
    if (size == 1) name = "i8";
    if (size == 2) name = "i16";
    if (size == 4) name = "i32";
    if (size == 8) name = "i64";
  } else {
    if (size == 1) name = "u8";
    if (size == 2) name = "u16";
    if (size == 4) name = "u32";
    if (size == 8) name = "u64";
  }
  if (name.empty()) build_error(b, "Cannot generate numeric type for size: " + std::to_string(size));
  return core_type(b, name);
}

// ---------------------------------------------------------------------------------
// Copies and variants

Type* Type::copy() const {
  Type* t = build->make<Type>();
  t->kind = kind;
  t->build = build;
  t->sub = sub;
  t->count = count;
  t->func_info = func_info;
  t->class_ = class_;
  t->group = group;
  if (items) t->items = build->make<std::vector<Type*>>(*items);
  t->nullable = nullable;
  t->signed_ = signed_;
  t->imut = imut;
  // A narrowed or nullable coroutine must still carry its errors, and a copy of an
  // enum's Type is still that enum.
  t->errors = errors;
  t->co_can_error = co_can_error;
  t->enum_ = enum_;
  t->interior_ref = interior_ref;
  return t;
}

Type* Type::get_nullable() {
  if (nullable || !is_pointer_sized()) return this;
  if (nullable_cache) return nullable_cache;
  Type* t = copy();
  t->nullable = 1;
  nullable_cache = t;
  return t;
}

Type* Type::get_non_nullable() {
  if (!nullable || !is_pointer_sized()) return this;
  if (nullable_cache) return nullable_cache;
  Type* t = copy();
  t->nullable = 0;
  nullable_cache = t;
  return t;
}

Type* Type::nullable_like(Type* other) {
  if (is_pointer_sized() && other->nullable) return get_nullable();
  if (kind == TYPE_MULTI && items && other->kind == TYPE_MULTI && other->items) {
    std::vector<Type*> out;
    out.reserve(items->size());
    for (size_t i = 0; i < items->size(); i++) {
      Type* item = (*items)[i];
      out.push_back(i < other->items->size() ? item->nullable_like((*other->items)[i]) : item);
    }
    Type* t = new_type(build, TYPE_MULTI);
    t->items = build->make<std::vector<Type*>>(std::move(out));
    return t;
  }
  return this;
}

Type* Type::get_not_null() {
  if (!nullable && not_null) return this;
  if (not_null_cache) return not_null_cache;
  Type* t = copy();
  t->nullable = 0;
  t->not_null = 1;
  not_null_cache = t;
  return t;
}

Type* Type::get_ref() {
  if (is_inline_class() && class_) return class_->get_type();
  Type* t = new_type(build, TYPE_POINTER);
  if (kind == TYPE_ARRAY && sub) {
    t->sub = sub;
    t->count = count;
  } else {
    t->sub = this;
  }
  return t;
}

Type* Type::get_reference() {
  if (ref_cache) return ref_cache;
  Type* t = get_ref()->copy();
  t->kind = TYPE_REFERENCE;
  ref_cache = t;
  return t;
}

Type* Type::get_pointed() {
  if (kind_in(kind, KINDS_SUB_TEXT) && sub) {
    if (count < 2) return sub;
    return array_type(build, sub, count);
  }
  return this;
}

Class* Type::get_class() const {
  if (class_) return class_;
  if (kind == TYPE_POINTER && sub && sub->is_inline_class()) return sub->class_;
  return nullptr;
}

FuncInfo* Type::get_func_info() const {
  if (!func_info) build_error(build, "Missing function information (compiler bug)");
  return func_info;
}

Type* Type::get_imut() {
  if (imut) return this;
  if (kind == TYPE_FN) {
    Type* t = copy();
    t->imut = 0;
    return t;
  }
  // An inline struct or class value: the value type of the immutable variant.
  if (is_inline_class()) {
    if (!class_ || class_->imut) return this;
    return class_->get_imut()->get_type()->sub;
  }
  if (sub && sub->is_inline_class() && sub->class_ && !sub->class_->imut) {
    Type* imut_ref = sub->class_->get_imut()->get_type();
    // The plain class reference shape: the variant's own Type (or its cached twins).
    if (kind == TYPE_POINTER && count == 0 && sub == sub->class_->get_type()->sub) {
      if (nullable) return imut_ref->get_nullable();
      if (not_null) return imut_ref->get_not_null();
      return imut_ref;
    }
    // Any other shape keeps its kind, count and nullability; only the element changes.
    Type* t = copy();
    t->sub = imut_ref->sub;
    return t;
  }
  // Arrays of inline values keep their layout with immutable elements.
  if (kind == TYPE_ARRAY && sub && sub->is_inline()) {
    Type* s = sub->get_imut();
    if (s == sub) return this;
    Type* t = copy();
    t->sub = s;
    return t;
  }
  return this;
}

Type* Type::with_imut(bool imut_flag) {
  if (imut_flag) return get_imut();
  if (imut && is_inline_class() && class_ && class_->imut && class_->mutable_class) {
    Type* t = copy();
    t->class_ = class_->mutable_class;
    t->imut = 0;
    return t;
  }
  return this;
}

Type* Type::get_imut_unless_async() {
  Class* c = get_class();
  if (c && c->async) return this;
  return get_imut();
}

bool Type::is_imut_or_async() const {
  if (!is_inline_class()) return true;
  if (class_ && class_->async) return true;
  return imut != 0;
}

bool Type::is_imut_class() const {
  if (!is_inline_class()) return true;
  return !class_ || class_->imut;
}

std::vector<Type*> Type::value_types() {
  if (kind == TYPE_MULTI && items) return *items;
  if (kind_in(kind, KINDS_NO_VALUE)) return {};
  return {this};
}

u64 Type::value_count() const {
  if (kind_in(kind, KINDS_NO_VALUE)) return 0;
  if (kind == TYPE_MULTI && items) return items->size();
  return 1;
}

bool Type::is_gc() const {
  if (kind == TYPE_FN) return true;
  if (kind == TYPE_POINTER && sub && sub->kind == TYPE_CLASS) {
    if (!sub->class_) fatal_build_error("Type has no class: " + to_text() + " (bug)");
    return true;
  }
  return false;
}

bool Type::compat_ref(Type* have) const { return compat(have->get_ref(), 0); }

// ---------------------------------------------------------------------------------
// FuncInfo

FuncInfo* FuncInfo::clone(Build* b) const {
  FuncInfo* f = new_func_info(b);
  f->args = args;
  f->rets = rets;
  f->errors = new_error_map(b);
  if (errors) *f->errors = *errors;
  f->infinite = infinite;
  f->can_error = !f->errors->empty();
  return f;
}

Type* FuncInfo::without_first_arg(Build* b) const {
  FuncInfo* f = clone(b);
  if (!f->args.empty()) f->args.erase(f->args.begin());
  return fn_type(b, f);
}

Type* FuncInfo::return_type(Build* b) const {
  if (rets.empty()) return void_type(b);
  if (rets.size() == 1) return rets[0];
  return multi_type(b, rets, true);
}

std::vector<Type*> FuncInfo::ir_returns(Build* b) const {
  if (!can_error) return rets;
  std::vector<Type*> out = rets;
  out.push_back(runtime_u32_type(b));
  out.push_back(runtime_string_type(b));
  return out;
}

Type* FuncInfo::ir_return_type(Build* b) const {
  FuncInfo tmp;
  tmp.rets = ir_returns(b);
  return tmp.return_type(b);
}

}  // namespace tesk
