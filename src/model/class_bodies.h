#pragma once
// Stage 2.2: modes, class bodies (properties, functions, getters, groups, trait uses,
// class macros, directives) and the bodies of `extend` blocks. read_class_body and
// read_class_mode are declared in class_reading.h for the model's own callers.
#include <string_view>

#include "model/class_reading.h"
#include "model/records.h"

namespace tesk {

// The work of Stage 2.2 without starting Stage 2.3: modes, documentation placeholders
// of generic classes, then every class body.
void read_all_class_bodies(Build* b);

// The member loop of a class body, an `extend` block or a used trait; returns at the
// closing "}". The parser stands right after the "{".
void parse_class_body(Parser* p, Scope* scope, Class* cls, bool in_extend);
// One property; the parser stands on the ":" after the name.
Property* parse_class_property(Parser* p, Scope* scope, Class* cls, AccessLevel access, std::string_view name,
                               Chunk* position);
// One function or getter; `next` is the token after the name ("(", "[" or ":"), which
// the parser stands on.
Func* parse_class_function(Parser* p, Scope* scope, Class* cls, Group* group, AccessLevel access, bool is_static,
                           bool is_mut, std::string_view name, std::string_view next, Chunk* position);
// A class macro; the parser stands right after the keyword "macro".
void parse_class_macro(Parser* p, Class* cls);

}  // namespace tesk
