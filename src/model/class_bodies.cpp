// Stage 2.2: modes, class bodies, trait uses, groups, class macros and extend blocks.
#include "model/class_bodies.h"

#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/build_driver.h"
#include "driver/errors.h"
#include "driver/stages.h"
#include "model/access.h"
#include "model/funcs.h"
#include "model/generics.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/compile_macro_parse.h"
#include "source/macro.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1_scan.h"
#include "util/strings.h"

namespace tesk {

namespace {

// Properties, functions outside groups and groups share one name space. Every name in
// Class.member_names is a key of one of the three maps, so the maps answer in O(1).
bool member_name_taken(Class* c, std::string_view name) {
  return c->props.contains(name) || c->funcs.contains(name) || c->groups.contains(name);
}

// A function or getter name must be a word (as for top-level functions): anything else
// would end up in the symbol name.
void require_name_word(Parser* p, u64 kind) {
  if (kind != TOK_WORD) error_invalid_identifier(p);
}

// "use TRAIT" or "use TRAIT[T, ...]": the trait's members are read into the class as if
// written there, with the names of the trait's file visible.
void parse_trait_use(Parser* p, Scope* scope, Class* c, bool in_extend) {
  Build* b = p->build;
  IdentifierResult r = read_identifier(p, scope, true, false);
  if (!r.ok()) parse_error(p, r.error);
  if (r.id->kind != IDENT_TRAIT) parse_error(p, "Invalid trait identifier");
  Trait* t = r.id->trait;
  if (!t) parse_error(p, "Missing trait (bug)");
  // A trait that uses itself, directly or through another trait, would be read forever.
  for (Parser* q = p; q; q = q->parent)
    if (q->chunk == t->body) parse_error(p, "A trait cannot use itself: " + t->name);

  Scope* trait_scope = make_scope(SCOPE_BLOCK, b, t->file ? t->file->scope : nullptr);
  if (t->generic_names) {
    expect_token(p, "[", false, false);
    size_t left = t->generic_names->size();
    for (auto& [name, gname] : *t->generic_names) {
      Type* type = read_type(p, scope, false, false);
      left--;
      expect_token(p, left == 0 ? "]" : ",", true, true);
      trait_scope->set_identifier(p->context, name, new_identifier_type(b, type));
    }
  }
  Parser* sub = sub_parser(p, t->body);
  parse_class_body(sub, trait_scope, c, in_extend);
}

}  // namespace

// ---------------------------------------------------------------------------------
// Stage 2.2

void read_all_class_bodies(Build* b) {
  log_detail(b, "> Stage 2.2: Read class properties");
  for (size_t i = 0; i < b->class_queue.size(); i++) {
    Class* mode = b->class_queue[i];
    run_stage_task([mode] { read_class_mode(mode); });
  }

  if (b->mode == BUILD_DOCS) {
    // One instance per generic class, for placeholder Types, stands for it in the
    // documentation. Generic classes made meanwhile (immutable variants) are not listed.
    size_t count = b->classes.size();
    for (size_t i = 0; i < count; i++) {
      Class* c = b->classes[i];
      if (!c->is_generic || !c->generic_names) continue;
      Class* inst = get_generic_class(b, c, placeholder_types(b, *c->generic_names));
      inst->documented = 1;
      inst->name = c->name;
    }
  }

  for (size_t u = 0; u < b->units.size(); u++) {
    Unit* unit = b->units[u];
    // Classes appended while bodies are read (variants, instances) are visited too.
    for (size_t i = 0; i < unit->classes.size(); i++) {
      Class* c = unit->classes[i];
      run_stage_task([c] { read_class_body(c); });
    }
  }
}

void stage_read_classes(Build* b) {
  read_all_class_bodies(b);
  stage_class_sizes(b);
}

void read_class_mode(Class* m) {
  if (m->is_generic) return;
  Build* b = m->build;
  if (!m->mode_chunk) build_error(b, "Missing class mode chunk (bug)");
  Parser* p = new_parser(m->mode_chunk, nullptr);
  Type* t = read_type(p, m->scope, true, false);
  Class* base = t->get_class();
  // A mode whose base chain leads back to it would make every lookup loop.
  for (Class* c = base; c && base; c = c->mode_base)
    if (c == m) base = nullptr;
  if (!base) build_error(b, "You cannot create a 'mode' for the type: " + t->to_text());
  m->kind = base->kind;
  m->signed_ = base->signed_;
  m->packed = base->packed;
  m->imut = base->imut;
  m->async = base->async;
  m->mode_base = base;
}

void read_class_body(Class* c) {
  if (c->is_generic || c->body_read) return;
  c->body_read = 1;
  Build* b = c->build;
  Parser* p = nullptr;
  if (c->body) {
    p = new_parser(c->body, nullptr);
    parse_class_body(p, c->scope, c, false);
  }
  for (size_t i = 0; i < c->extends.size(); i++) {
    ClassExtend* e = c->extends[i];
    log_detail(b, "> Parse extend for: " + e->class_->display_name);
    Scope* scope = new_scope(e->scope, SCOPE_BLOCK);
    if (c->generic_types && !c->generic_types->empty()) {
      if (!e->generic_names) build_error(b, "Missing extend generic names (bug)");
      size_t n = 0;
      for (auto& [name, gname] : *e->generic_names) {
        if (n >= c->generic_types->size()) break;
        scope->set_identifier_in_build(b, name, new_identifier_type(b, (*c->generic_types)[n]));
        n++;
      }
    }
    if (!p) {
      p = new_parser(e->body, nullptr);
    } else {
      set_chunk(p, e->body);
    }
    parse_class_body(p, scope, c, true);
  }
}

// ---------------------------------------------------------------------------------
// The member loop

void parse_class_body(Parser* p, Scope* scope, Class* c, bool in_extend) {
  Build* b = p->build;
  scope->identifiers.set("SELF", new_identifier_class(b, c));
  if (next_token(p, true, true) == TOK_EOF) error_unexpected_eof(p);
  Group* group = nullptr;

  for (;;) {
    bool done_member = false;
    if (symbol_is(p, "}")) {
      if (!group) return;
      group = nullptr;
      done_member = true;
    } else if (symbol_is(p, "#") && p->starts_line) {
      parse_compile_macro(p, scope);
      done_member = true;
    }

    AccessLevel access = ACCESS_DEFAULT;
    std::string_view w1;
    Chunk* w1_position = nullptr;
    bool is_use = false;
    if (!done_member && p->kind == TOK_WORD && p->is("use")) {
      if (group) parse_error(p, "You cannot use traits inside a 'group'");
      w1 = p->token();
      w1_position = chunk_at_token(p);
      next_token(p, true, false, false);
      if (!symbol_is(p, ":")) {
        parse_trait_use(p, scope, c, in_extend);
        done_member = true;
      } else {
        next_token(p, true, false);  // the ":" of a property named "use"
        is_use = true;
      }
    }

    if (!done_member) {
      u64 after_w1_index = 0, after_w1_line = 0, after_w1_col = 0;
      if (!is_use) {
        if (p->kind == TOK_SYMBOL && (p->is("+") || p->is("~") || p->is("-"))) {
          access = read_access_level(p);
          next_token(p, true, false);
        }
        if (p->kind != TOK_WORD) parse_error(p, cat({"Unexpected token: ", p->token()}));
        w1 = p->token();
        w1_position = chunk_at_token(p);
        after_w1_index = p->index;
        after_w1_line = p->line;
        after_w1_col = p->col;
        next_token(p, true, false);
      }

      if (symbol_is(p, ":")) {
        if (group) parse_error(p, "You cannot define properties inside a 'group'");
        if (c->no_new_props && in_extend) parse_error(p, "This class does not allow new properties by using 'extend'");
        parse_class_property(p, scope, c, access, w1, w1_position);
      } else {
        std::string_view keyword = w1;
        std::string_view name = p->token();
        u64 name_kind = p->kind;
        Chunk* name_position = chunk_at_token(p);
        bool is_static = false, is_mut = false;
        bool handled = false;

        if (keyword == "group" && !group) {
          require_name_word(p, name_kind);
          if (member_name_taken(c, name))
            parse_error(p, cat({"Group name is already used for something else in this class: ", name}));
          expect_token(p, "{", true, true);
          Group* g = b->make<Group>();
          g->name = std::string(name);
          g->access = access;
          g->class_ = c;
          g->position = name_position;
          c->groups.set(name, g);
          c->member_names.push_back(g->name);
          group = g;
          handled = true;
        }

        if (!handled) {
          if (keyword == "fn" || keyword == "get") require_name_word(p, name_kind);
          next_token(p, true, false);
          if (keyword == "static") {
            keyword = name;
            name = p->token();
            name_kind = p->kind;
            name_position = chunk_at_token(p);
            if (keyword == "fn" || keyword == "get") require_name_word(p, name_kind);
            next_token(p, true, false);
            is_static = true;
          }
          if (keyword == "mut" && name == "fn") {
            keyword = "fn";
            name = p->token();
            name_kind = p->kind;
            name_position = chunk_at_token(p);
            require_name_word(p, name_kind);
            next_token(p, true, false);
            is_mut = true;
          }
          if (keyword == "get") {
            if (!symbol_is(p, ":")) parse_error(p, "Expected ':' after the 'get' name");
            handled = true;
          } else if (keyword == "fn") {
            if (!symbol_is(p, "[") && !symbol_is(p, "(")) parse_error(p, "Expected '[' or '(' after the function name");
            handled = true;
          }
          if (handled) {
            parse_class_function(p, scope, c, group, access, is_static, is_mut, name, p->token(), name_position);
          } else {
            // Back to just after the first word: a class macro's pattern starts there.
            p->index = after_w1_index;
            p->line = after_w1_line;
            p->col = after_w1_col;
            p->tok = w1.data();
            p->tok_len = w1.size();
            if (keyword != "macro") parse_error(p, cat({"Unexpected token: '", keyword, "'"}));
            parse_class_macro(p, c);
          }
        }
      }
    }

    if (next_token(p, true, true) == TOK_EOF) error_unexpected_eof(p);
  }
}

// ---------------------------------------------------------------------------------
// Members

Property* parse_class_property(Parser* p, Scope* scope, Class* c, AccessLevel access, std::string_view name,
                               Chunk* position) {
  Build* b = p->build;
  if (c->is_mode) parse_error(p, "You cannot define new properties on a 'mode'");
  if (!c->is_structured() || c->slice) parse_error(p, "You cannot define properties on this class: " + c->display_name);

  Type* t = read_type(p, scope, true, false);
  if (t->kind == TYPE_REFERENCE)
    parse_error(p, "You cannot store references inside objects. Type not allowed: " + t->to_text());
  bool class_ref = t->kind == TYPE_POINTER && t->sub && t->sub->kind == TYPE_CLASS;
  if (t->kind == TYPE_FN || class_ref) {
    if (class_ref && !t->sub->class_) fatal_build_error("Type has no class: " + t->to_text() + " (bug)");
    if (c->kind == CLASS_STRUCT) parse_error(p, "You cannot use class-type in a struct property");
  }
  if (c->imut) t = t->get_imut_unless_async();
  if (c->async && t->is_inline_class() && !t->is_imut_or_async())
    parse_error(p, "All property types inside an @async class/struct must have an immutable or async type");

  if (member_name_taken(c, name))
    parse_error(p, cat({"Property name is already used for something else in this class: ", name}));
  c->member_names.emplace_back(name);

  Property* prop = b->make<Property>();
  prop->name = std::string(name);
  prop->type = t;
  prop->class_ = c;
  prop->access = access;
  prop->position = position;
  c->props.set(name, prop);

  next_token(p, true, true, false);
  if (symbol_is(p, "(")) {
    next_token(p, true, true);
    prop->default_value = chunk_here(p);
    skip_scope(p, ")");
    next_token(p, true, true, false);
  }
  while (p->kind == TOK_DOLLAR_WORD) {
    next_token(p, true, true);
    if (p->is("$lazy")) {
      if (t->nullable)
        parse_error(p, "$lazy can only be applied to non-nullable type. Property type is: " + t->to_text());
      if (!t->is_pointer_sized())
        parse_error(p, "$lazy can only be applied to class/struct types. Property type is: " + t->to_text());
      prop->lazy = 1;
      next_token(p, true, true, false);
      continue;
    }
    parse_error(p, cat({"Unknown property flag: ", p->token()}));
  }
  return prop;
}

Func* parse_class_function(Parser* p, Scope* scope, Class* c, Group* group, AccessLevel access, bool is_static,
                           bool is_mut, std::string_view name, std::string_view next, Chunk* position) {
  GenericNames* generics = nullptr;
  if (next == "[") {
    generics = read_generic_names(p);
    expect_token(p, "(", true, false);
  }

  if (group) {
    if (group->funcs.contains(name))
      parse_error(p, cat({"Function name is already used for something else in this class group: ", name}));
    group->names.emplace_back(name);
  } else {
    if (member_name_taken(c, name))
      parse_error(p, cat({"Function name is already used for something else in this class: ", name}));
    c->member_names.emplace_back(name);
  }

  Chunk* header = chunk_here(p);
  std::string display, symbol;
  if (group) {
    display = cat({c->display_name, ".", group->name, ".", name});
    symbol = cat({c->export_name, "__", group->name, "__", name});
  } else {
    display = cat({c->display_name, ".", name});
    symbol = cat({c->export_name, "__", name});
  }

  Func* f = new_func(c->unit, c->file, p->chunk->file, access, symbol, generics, header, false);
  // The class's export name already carries the package and namespace parts.
  f->export_name = symbol;
  f->display_name = std::move(display);
  f->name = std::string(name);
  f->class_ = c;
  f->group = group;
  f->name_position = position;
  set_decl_scope_parent(f, scope);
  f->no_args = next == ":";
  func_scan_header(f, p);
  f->static_ = is_static;
  f->is_mut = is_mut;

  if (group) {
    group->funcs.set(name, f);
  } else {
    c->funcs.set(name, f);
  }
  // A mutating function has no place in an immutable variant.
  if (!is_static && c->imut && is_mut) f->skip = 1;
  return f;
}

void parse_class_macro(Parser* p, Class* c) {
  Build* b = p->build;
  Macro* m = b->make<Macro>();
  m->scope = new_scope(c->scope, SCOPE_BLOCK);
  m->pattern = new_macro_pattern_item(b, MACRO_SEQUENCE);
  m->first_token_required = 1;
  read_macro(p, m);

  std::vector<MacroPatternItem*>* items = m->pattern->items;
  if (!items || items->empty()) parse_error(p, "You cannot define empty macros");
  MacroPatternItem* first = (*items)[0];
  if (first->kind != MACRO_TOKEN) parse_error(p, "The first macro item must expect a token");
  if (!c->macros) c->macros = b->make<OrderedMap<Macro*>>();
  if (c->macros->contains(first->token)) parse_error(p, "You have 2 class macros that start with the same token");
  c->macros->set(first->token, m);
}

}  // namespace tesk
