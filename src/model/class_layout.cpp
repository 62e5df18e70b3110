// Class sizes, property offsets and the GC size class of instances.
#include <cstdio>
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "model/records.h"
#include "model/runtime.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "model/scope.h"

namespace tesk {

namespace {

u64 round_up(u64 x, u64 unit) { return unit ? (x + unit - 1) / unit * unit : x; }

[[noreturn]] void type_too_large(Class* c) {
  if (!c->name_position) build_error(c->build, kTypeTooLarge);
  // The report marks the class's name.
  Parser* p = new_parser(c->name_position, nullptr);
  next_token(p, false, false);
  parse_error(p, kTypeTooLarge);
}

// Running offset walk over the properties; false when a size is not known yet. A
// property or a total above kMaxTypeSize is an error at the class's declaration.
bool walk_props(Class* c, bool set, u64* end) {
  u64 o = 0;
  for (auto& [name, prop] : c->props) {
    u64 s = prop->type ? prop->type->size() : 0;
    if (s == 0) return false;
    if (s > kMaxTypeSize) type_too_large(c);
    if (!c->packed) o = round_up(o, prop->type->align_unit());
    if (set) prop->offset = o;
    // Both terms are at most kMaxTypeSize here: the sum cannot wrap.
    o += s;
    if (o > kMaxTypeSize) type_too_large(c);
  }
  *end = o;
  return true;
}

// Users read a slice's length and data but only its own package writes them; a
// literal without them is an empty slice: length 0, and data null (the literal
// reader gives the implicit data property null, as it does for a lazy one).
void add_slice_props(Class* c) {
  Build* b = c->build;
  constexpr AccessLevel readonly_outside = ACCESS_READONLY + ACCESS_PUBLIC * 8 + ACCESS_PUBLIC * 64;
  Property* length = c->add_prop("length", runtime_class_type(b, "type", "uint"));
  length->access = readonly_outside;
  length->default_value = new_chunk(b, c->file, "0");
  Property* data = c->add_prop("data", runtime_class_type(b, "gc", "GcPtr"));
  data->access = readonly_outside;
}

}  // namespace

bool Class::determine_size() {
  if (size != 0) {
    sized = 1;
    return true;
  }
  // A mode has no properties of its own: its values are its base's values.
  if (is_mode && mode_base) {
    if (!mode_base->sized && !mode_base->determine_size()) return false;
    size = mode_base->size;
    alloc_size = mode_base->alloc_size;
    pool_index = mode_base->pool_index;
    sized = 1;
    if (build->verbose >= 3) {
      std::string line = "> Determine class size: " + display_name + " | size: " + std::to_string(size) + "\n";
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return true;
  }
  if (slice && !props.contains("length")) add_slice_props(this);
  u64 o = 0;
  if (!walk_props(this, false, &o)) return false;
  u64 p = build->ptr_size;
  u64 s = round_up(o, p);
  if (build->verbose >= 3) {
    std::string line = "> Determine class size: " + display_name + " | size: " + std::to_string(s) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  size = s;
  sized = 1;
  u64 item, index;
  if (s <= 16 * p) {
    item = s;
    index = s >= p ? s / p - 1 : 0;  // a class without properties: index 0
  } else {
    item = 32 * p;
    index = 16;
    while (item < s) {
      item *= 2;
      index++;
    }
  }
  pool_index = index;
  alloc_size = item + 8;
  set_offsets();
  return true;
}

void Class::set_offsets() {
  u64 end = 0;
  walk_props(this, true, &end);
}

}  // namespace tesk
