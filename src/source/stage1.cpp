#include "source/stage1.h"

#include <algorithm>
#include <optional>
#include <string>

#include "driver/build.h"
#include "driver/build_driver.h"
#include "driver/cli.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "driver/stages.h"
#include "model/access.h"
#include "model/funcs.h"
#include "model/scope.h"
#include "source/compile_macro.h"
#include "source/compile_macro_parse.h"
#include "source/packages.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/stage1_scan.h"
#include "source/units.h"
#include "tools/lsp.h"
#include "util/strings.h"

namespace tesk {

namespace {

std::string ascii_lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return r;
}

// The text of a string token between its quotes, when the token is a closed literal:
// its last byte is a quote that no backslash escapes.
std::optional<std::string_view> closed_string_content(std::string_view tok) {
  if (tok.size() < 2 || tok.front() != '"') return std::nullopt;
  size_t i = 1;
  while (i < tok.size()) {
    if (tok[i] == '\\') {
      i += 2;
    } else if (tok[i] == '"') {
      if (i != tok.size() - 1) return std::nullopt;
      return tok.substr(1, tok.size() - 2);
    } else {
      i++;
    }
  }
  return std::nullopt;
}

// The keywords that take an access sign, with their readers. Tested in this order.
bool dispatch_with_access(Parser* p, SourceFile* file, AccessLevel access) {
  if (p->is("fn")) {
    stage_1_fn(p, file, access, false);
  } else if (p->is("extern")) {
    next_token(p, true, false);
    if (p->kind == TOK_WORD && p->is("fn")) {
      stage_1_fn(p, file, access, true);
    } else if (p->kind == TOK_WORD && p->is("global")) {
      stage_1_global(p, file, access, false, false, true);
    } else if (p->kind == TOK_WORD && p->is("shared")) {
      stage_1_global(p, file, access, true, true, true);
    } else {
      parse_error(p, cat({"Invalid extern token '", p->token(), "'. Expected: 'fn', 'global' or 'shared'"}));
    }
  } else if (p->is("exit")) {
    expect_token(p, "fn", true, false);
    Func* f = stage_1_fn(p, file, access, false);
    f->is_exit = 1;
  } else if (p->is("class")) {
    stage_1_class(p, file, access, CLASS_CLASS);
  } else if (p->is("slice")) {
    stage_1_class(p, file, access, CLASS_SLICE);
  } else if (p->is("struct")) {
    stage_1_class(p, file, access, CLASS_STRUCT);
  } else if (p->is("mode")) {
    stage_1_mode(p, file, access);
  } else if (p->is("pointer")) {
    stage_1_class(p, file, access, CLASS_POINTER);
  } else if (p->is("integer")) {
    stage_1_class(p, file, access, CLASS_INTEGER);
  } else if (p->is("float")) {
    stage_1_class(p, file, access, CLASS_FLOAT);
  } else if (p->is("boolean")) {
    stage_1_class(p, file, access, CLASS_BOOLEAN);
  } else if (p->is("global")) {
    stage_1_global(p, file, access, false, false, false);
  } else if (p->is("shared")) {
    stage_1_global(p, file, access, true, false, false);
  } else if (p->is("@shared")) {
    stage_1_global(p, file, access, true, true, false);
  } else if (p->is("trait")) {
    stage_1_trait(p, file);
  } else if (p->is("value")) {
    stage_1_alias(p, file, access, ALIAS_VALUE);
  } else if (p->is("type")) {
    stage_1_alias(p, file, access, ALIAS_TYPE);
  } else if (p->is("alias")) {
    stage_1_alias(p, file, access, ALIAS_ALIAS);
  } else if (p->is("macro")) {
    stage_1_macro(p, file);
  } else if (p->is("enum")) {
    stage_1_enum(p, file, access);
  } else {
    return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Driver

void stage_1_all(Build* b) {
  stage_1_scan_all(b);
  stage_read_aliases(b);
}

void stage_1_scan_all(Build* b) {
  for (size_t i = 0; i < b->stage1_queue.size(); i++) {
    SourceFile* file = b->stage1_queue[i];
    run_stage_task([file] { stage_1_file(file); });
  }
  if (!b->main_func && !b->lsp && !b->test && b->mode == BUILD_EXECUTABLE) {
    build_error(b, "Your program has no 'main' function");
  }
}

void stage_1_file(SourceFile* file) {
  Build* b = file->build;
  log_detail(b, "> Stage 1: " + file->path);
  if (!file->chunk) {
    log_detail(b, "> Stage 1 | SKIP NO CONTENT: " + file->path);
    return;
  }
  Parser* p = new_parser(file->chunk, nullptr);
  p->context->build = file->chunk->build;
  p->context->unit = file->unit;
  p->context->func = nullptr;
  p->starts_line = 1;

  next_token(p, true, true);
  while (p->kind != TOK_EOF) {
    if (p->kind == TOK_SYMBOL) {
      if (p->is(";")) {
        next_token(p, true, true);
        continue;
      }
      if (p->is("#") && p->starts_line) {
        parse_compile_macro(p, file->scope);
        next_token(p, true, true);
        continue;
      }
    }

    std::string_view sign;
    AccessLevel access = ACCESS_DEFAULT;
    if (p->kind == TOK_SYMBOL && (p->is("+") || p->is("~") || p->is("-"))) {
      sign = p->token();
      access = read_access_level(p);
      next_token(p, true, false);
    }
    if (p->kind != TOK_WORD && p->kind != TOK_AT_WORD) error_unexpected_token(p);

    if (!dispatch_with_access(p, file, access)) {
      if (!sign.empty()) parse_error(p, cat({"Unexpected access type specified: '", sign, "'"}));
      if (p->is("use")) {
        stage_1_use(p, file);
      } else if (p->is("extend")) {
        stage_1_extend(p, file);
      } else if (p->is("test")) {
        stage_1_test(p, file);
      } else if (p->is("link")) {
        stage_1_link(p, file);
      } else if (p->is("@ignore_imut")) {
        file->ignore_imut = 1;
      } else if (p->is("@ignore_access")) {
        file->ignore_access = 1;
      } else if (p->is("@stop")) {
        break;
      } else {
        error_unexpected_token(p);
      }
    }
    next_token(p, true, true);
  }
  check_open_compile_macro(p);
}

// ---------------------------------------------------------------------------------
// Shared rules

std::string_view stage_1_word(Parser* p, bool skip_blanks, bool skip_newlines) {
  if (next_token(p, skip_blanks, skip_newlines) != TOK_WORD) {
    parse_error(p, cat({"Invalid identifier name: '", p->token(), "' | Expected syntax: [a-zA-Z_]"}));
  }
  return p->token();
}

std::string_view stage_1_name(Parser* p) { return stage_1_word(p, true, false); }

bool stage_1_take(Parser* p, std::string_view text) {
  next_token(p, true, false, false);
  if (p->token() != text || p->kind == TOK_STRING) return false;
  next_token(p, true, false);
  return true;
}

GenericNames* stage_1_generic_names(Parser* p) {
  next_token(p, false, false, false);
  if (p->kind != TOK_SYMBOL || !p->is("[")) return nullptr;
  next_token(p, false, false);
  return read_generic_names(p);
}

void stage_1_register(Parser* p, SourceFile* file, std::string_view name, Identifier* id) {
  declare_in_namespace(file, p->context, name, id);
}

// ---------------------------------------------------------------------------------
// Functions, globals, use, link, test

Func* stage_1_fn(Parser* p, SourceFile* file, AccessLevel access, bool no_body) {
  Build* b = p->build;
  std::string_view name = stage_1_name(p);
  Chunk* name_position = chunk_at_token(p);
  GenericNames* generics = stage_1_generic_names(p);
  expect_token(p, "(", true, false);
  Chunk* header = chunk_here(p);

  Func* f = new_func(file->unit, file, file, access, name, generics, header, no_body);
  f->name_position = name_position;
  func_scan_header(f, p);
  stage_1_register(p, file, name, new_identifier_func(b, f));

  if (file->ns == b->main_namespace) {
    if (name == "main") {
      b->main_func = f;
      f->export_name = "__main__";
    } else if (name == "__tesk_main__") {
      b->entry_func = f;
      f->export_name = "main";
    }
  }
  return f;
}

void stage_1_global(Parser* p, SourceFile* file, AccessLevel access, bool shared, bool shared_unchecked,
                    bool is_extern) {
  Build* b = p->build;
  std::string_view name = stage_1_name(p);
  expect_token(p, ":", true, false);
  Chunk* type_chunk = chunk_here(p);
  skip_type(p);
  Chunk* default_chunk = nullptr;
  if (stage_1_take(p, "(")) {
    default_chunk = chunk_here(p);
    skip_scope(p, ")");
  }
  std::string exp = is_extern ? std::string(name) : export_name(file->ns, name);
  std::string disp = is_extern ? std::string(name) : display_name(file->ns, name);
  Global* g = new_global(file->unit, file, access, name, exp, disp, type_chunk, default_chunk, is_extern);
  g->shared = shared;
  g->shared_unchecked = shared_unchecked;
  stage_1_register(p, file, name, new_identifier_global(b, g));
}

void stage_1_use(Parser* p, SourceFile* file) {
  Build* b = p->build;
  UseEntry* entry = b->make<UseEntry>();
  Package* pkg = file->ns->package;
  entry->ref.name = stage_1_word(p, true, false);

  if (char_at(p, 0) == ':') {
    next_token(p, false, false);
    entry->ref.ns = entry->ref.name;
    pkg = load_dependency(pkg, entry->ref.ns);
    if (p->at_cursor) lsp_complete_namespaces(lsp_context(b), pkg);
    entry->ref.name = stage_1_word(p, false, false);
  }

  Namespace* ns = get_namespace(pkg, entry->ref.name);
  if (!ns) parse_error(p, cat({"Package '", pkg->name, "' has no namespace named '", entry->ref.name, "'"}));
  entry->ns = ns;
  Chunk* position = chunk_here(p);

  std::string_view alias;
  if (stage_1_take(p, "as")) alias = stage_1_word(p, true, false);
  if (stage_1_take(p, "{")) {
    entry->block = chunk_here(p);
    skip_scope(p, "}");
  }

  if (!alias.empty() || !entry->block) {
    Identifier* id = new_identifier_namespace(b, ns);
    id->position = position;
    file->scope->set_identifier(p->context, alias.empty() ? entry->ref.name : alias, id);
    entry->identifiers.push_back(id);
  }
  file->uses.push_back(entry);
}

void stage_1_link(Parser* p, SourceFile* file) {
  Build* b = p->build;
  u64 kind = b->static_ ? LINK_STATIC : LINK_DYNAMIC;
  if (stage_1_take(p, "dynamic")) {
    kind = LINK_DYNAMIC;
  } else if (stage_1_take(p, "static")) {
    kind = LINK_STATIC;
  } else if (stage_1_take(p, "framework")) {
    kind = LINK_FRAMEWORK;
  }
  expect_string(p, true, false);
  std::string_view name = p->token();
  while (!name.empty() && name.front() == '"') name.remove_prefix(1);
  while (!name.empty() && name.back() == '"') name.remove_suffix(1);

  LinkLibrary* lib;
  if (LinkLibrary** found = b->link_names.find(name)) {
    lib = *found;
    if (lib->kind == LINK_DYNAMIC && kind == LINK_STATIC) lib->kind = LINK_STATIC;
    b->links.erase(std::remove(b->links.begin(), b->links.end(), lib), b->links.end());
  } else {
    lib = b->make<LinkLibrary>();
    lib->kind = kind;
    lib->name = std::string(name);
    b->link_names.set(name, lib);
  }
  // A repeated declaration moves the library to the end of the link order.
  b->links.push_back(lib);
  std::vector<LinkLibrary*>& unit_links = file->unit->links;
  if (std::find(unit_links.begin(), unit_links.end(), lib) == unit_links.end()) unit_links.push_back(lib);
}

void stage_1_test(Parser* p, SourceFile* file) {
  Build* b = p->build;
  next_token(p, true, false);
  // The name must be a closed, non-empty literal: its hash names the test function.
  std::optional<std::string_view> content;
  if (p->kind == TOK_STRING) content = closed_string_content(p->token());
  if (!content || content->empty()) {
    parse_error(p, cat({"Expected a test name here between double quotes. Instead of '", p->token(), "'"}));
  }
  std::string_view name = *content;
  Chunk* position = chunk_at_token(p);
  // Two tests of one name in one namespace would get one function name.
  if (file->ns->test_names.contains(name)) parse_error(p, cat({"Duplicate test name: \"", name, "\""}));
  file->ns->test_names.set(name, position);

  expect_token(p, "{", true, true);

  if (std::optional<std::string> filter = cli_arg_value(b->cli, "--filter", true)) {
    if (ascii_lower(name).find(ascii_lower(*filter)) == std::string::npos) {
      skip_scope(p, "}");
      return;
    }
  }

  Func* f = new_func(file->unit, file, file, ACCESS_PUBLIC, "test_" + name_hash_text(name), nullptr, nullptr, false);
  f->display_name = cat({"Test \"", name, "\""});
  f->body_chunk = chunk_here(p);
  f->is_test = 1;
  f->test_name = std::string(name);
  f->name_position = position;
  b->tests.push_back(f);
  skip_scope(p, "}");
}

}  // namespace tesk
