// Stage 1 readers of the declarations that introduce types and named items: the class
// kinds, modes, traits, extend blocks, aliases, enums and macros.
#include <string>

#include "driver/build.h"
#include "model/classes.h"
#include "model/scope.h"
#include "source/macro.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1.h"
#include "source/units.h"
#include "util/strings.h"

namespace tesk {

void stage_1_class(Parser* p, SourceFile* file, AccessLevel access, u64 kind) {
  Build* b = p->build;
  bool is_slice = kind == CLASS_SLICE;
  if (is_slice) kind = CLASS_CLASS;

  std::string_view name = stage_1_name(p);
  Chunk* name_position = chunk_at_token(p);
  GenericNames* generics = stage_1_generic_names(p);

  u64 size = 0;
  u8 is_signed = 0;
  if (kind == CLASS_INTEGER) {
    next_token(p, true, true);
    if (p->is("signed")) {
      is_signed = 1;
    } else if (!p->is("unsigned")) {
      parse_error(p, cat({"Expected token: 'signed' or 'unsigned', instead of: '", p->token(), "'"}));
    }
    next_token(p, true, false);
    if (p->is("*")) {
      size = b->ptr_size;
    } else if (p->is("8") || p->is("4") || p->is("2") || p->is("1")) {
      size = static_cast<u64>(p->token()[0] - '0');
    } else {
      parse_error(p, cat({"Invalid integer size: ", p->token(), " | Options: 1,2,4,8,*"}));
    }
  } else if (kind == CLASS_FLOAT) {
    next_token(p, true, false);
    if (p->is("*")) {
      size = b->ptr_size;
    } else if (p->is("8") || p->is("4")) {
      size = static_cast<u64>(p->token()[0] - '0');
    } else {
      parse_error(p, cat({"Invalid float size: ", p->token(), " | Options: 4,8,*"}));
    }
    is_signed = 1;
  }

  u8 packed = 0, async = 0, no_new_props = 0;
  if (kind == CLASS_STRUCT || kind == CLASS_CLASS) {
    for (;;) {
      if (kind == CLASS_STRUCT && stage_1_take(p, "packed")) {
        packed = 1;
      } else if (stage_1_take(p, "@async")) {
        async = 1;
      } else if (stage_1_take(p, "$noNewProperties")) {
        no_new_props = 1;
      } else {
        break;
      }
    }
  }

  expect_token(p, "{", true, true);
  Class* c = new_class(file->unit, file, access, name, kind, generics, chunk_here(p));
  c->packed = packed;
  c->async = async;
  c->no_new_props = no_new_props;
  c->name_position = name_position;
  if (is_slice) {
    c->slice = 1;
    c->no_new_props = 1;
  }
  skip_scope(p, "}");
  stage_1_register(p, file, name, new_identifier_class(b, c));

  if (kind == CLASS_INTEGER || kind == CLASS_FLOAT) {
    c->size = size;
    c->signed_ = is_signed;
  } else if (kind == CLASS_BOOLEAN) {
    c->size = 1;
  }
}

void stage_1_mode(Parser* p, SourceFile* file, AccessLevel access) {
  Build* b = p->build;
  std::string_view name = stage_1_name(p);
  GenericNames* generics = stage_1_generic_names(p);
  expect_token(p, "for", true, false);
  Chunk* mode_chunk = chunk_here(p);
  skip_type(p);
  expect_token(p, "{", true, true);
  Class* c = new_class(file->unit, file, access, name, CLASS_CLASS, generics, chunk_here(p));
  c->no_new_props = 1;
  c->mode_chunk = mode_chunk;
  c->is_mode = 1;
  skip_scope(p, "}");
  stage_1_register(p, file, name, new_identifier_class(b, c));
  b->class_queue.push_back(c);
}

void stage_1_trait(Parser* p, SourceFile* file) {
  Build* b = p->build;
  std::string_view name = stage_1_name(p);
  Chunk* name_position = chunk_at_token(p);
  GenericNames* generics = stage_1_generic_names(p);
  expect_token(p, "{", true, true);
  Trait* t = b->make<Trait>();
  t->name = std::string(name);
  t->body = chunk_here(p);
  t->name_position = name_position;
  t->file = file;
  t->generic_names = generics;
  skip_scope(p, "}");
  stage_1_register(p, file, name, new_identifier_trait(b, t));
}

void stage_1_extend(Parser* p, SourceFile* file) {
  Chunk* chunk = chunk_here(p);
  skip_type(p);
  expect_token(p, "{", true, true);
  skip_scope(p, "}");
  p->build->extends.push_back(chunk);
}

void stage_1_alias(Parser* p, SourceFile* file, AccessLevel access, u64 kind) {
  Build* b = p->build;
  std::string_view name = stage_1_name(p);
  Chunk* chunk = nullptr;
  if (kind == ALIAS_TYPE || kind == ALIAS_VALUE) {
    expect_token(p, "(", true, false);
    chunk = chunk_here(p);
    skip_scope(p, ")");
  } else if (kind == ALIAS_ALIAS) {
    expect_token(p, "for", true, false);
    chunk = chunk_here(p);
    stage_1_word(p, true, false);
    if (char_at(p, 0) == ':') {
      next_token(p, false, false);
      stage_1_word(p, false, false);
    }
  }
  if (!chunk) parse_error(p, "Missing alias chunk (compiler bug)");

  Alias* a = b->make<Alias>();
  a->kind = kind;
  a->file = file;
  a->access = access;
  a->name = std::string(name);
  a->chunk = chunk;
  b->aliases.push_back(a);
  stage_1_register(p, file, name, new_identifier_alias(b, a));
}

void stage_1_enum(Parser* p, SourceFile* file, AccessLevel access) {
  Build* b = p->build;
  std::string_view name = stage_1_name(p);
  Chunk* item_type_chunk = nullptr;
  next_token(p, true, true);
  if (p->kind == TOK_SYMBOL && p->is(":")) {
    item_type_chunk = chunk_here(p);
    skip_type(p);
    expect_token(p, "{", true, true);
  } else if (p->kind != TOK_SYMBOL || !p->is("{")) {
    parse_error(p, cat({"Expected token: ':' or '{', instead of: '", p->token(), "'"}));
  }

  Enum* e = b->make<Enum>();
  e->build = b;
  e->file = file;
  e->access = access;
  e->name = std::string(name);
  e->display_name = display_name(file->ns, name);
  e->item_type_chunk = item_type_chunk;
  b->enums.push_back(e);
  stage_1_register(p, file, name, new_identifier_enum(b, e));

  for (;;) {
    next_token(p, true, true, false);
    if (p->kind == TOK_SYMBOL && p->is("}")) {
      next_token(p, true, true);
      return;
    }
    std::string_view item = stage_1_word(p, true, true);
    if (e->item_positions.contains(item)) parse_error(p, cat({"Duplicate enum item name: ", item}));
    Chunk* position = chunk_here(p);
    Chunk* value_chunk = nullptr;
    next_token(p, true, true, false);
    if (p->kind == TOK_SYMBOL && p->is("(")) {
      next_token(p, true, true);
      value_chunk = chunk_here(p);
      skip_scope(p, ")");
    }
    e->item_positions.set(item, position);
    e->item_value_chunks.set(item, value_chunk);
  }
}

void stage_1_macro(Parser* p, SourceFile* file) {
  Build* b = p->build;
  std::string_view name = stage_1_name(p);
  Macro* m = b->make<Macro>();
  m->name = std::string(name);
  m->display_name = display_name(file->ns, name);
  m->scope = new_scope(file->scope, SCOPE_BLOCK);
  m->pattern = new_macro_pattern_item(b, MACRO_SEQUENCE);
  read_macro(p, m);
  // Registered only now: the pattern and body do not see the macro's own name.
  stage_1_register(p, file, name, new_identifier_macro(b, m));
}

}  // namespace tesk
