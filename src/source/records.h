#pragma once
// Records of sources, packages and parsing. Operations live in the headers beside this one.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/fwd.h"
#include "util/ordered_map.h"

namespace tesk {

enum TokenKind : u64 {
  TOK_BLANK = 0,
  TOK_EOF = 1,
  TOK_WORD = 2,
  TOK_AT_WORD = 3,
  TOK_CHAR = 4,
  TOK_STRING = 5,
  TOK_SYMBOL = 6,
  TOK_INT = 7,
  TOK_FLOAT = 8,
  TOK_HEX = 9,
  TOK_OCTAL = 10,
  TOK_DOLLAR_WORD = 11,
};

// A saved position in a source file.
struct Chunk {
  Build* build = nullptr;
  SourceFile* file = nullptr;
  std::string_view content;       // the file's whole content (not copied; NUL follows it)
  u64 index = 0;
  u64 line = 1;
  u64 col = 1;
  const char* token_text = nullptr;
  u64 token_len = 0;
  std::string_view token() const { return token_text ? std::string_view(token_text, token_len) : std::string_view(); }
};

struct ParseContext {
  Build* build = nullptr;
  Unit* unit = nullptr;
  Func* func = nullptr;
  Parser* parser = nullptr;
};

struct Parser {
  Chunk* chunk = nullptr;
  Build* build = nullptr;
  ParseContext* context = nullptr;
  Parser* parent = nullptr;
  const char* data = nullptr;
  u64 len = 0;
  u64 index = 0;
  u64 line = 1;
  u64 col = 1;
  const char* tok = nullptr;
  u64 tok_len = 0;
  u64 kind = TOK_BLANK;
  u8 char_value = 0;
  CompileMacroFrame* macros = nullptr;
  u64 save_index = 0, save_line = 0, save_col = 0;
  u64 save2_index = 0, save2_line = 0, save2_col = 0;
  Type* type_hint = nullptr;
  std::vector<Type*> hint_stack;
  Value* prefix_value = nullptr;
  std::string_view last_name;
  std::string_view last_ns;
  bool last_ns_null = true;  // last_ns is "null" (no namespace part) rather than empty
  u8 starts_line = 0;
  u8 in_co = 0;
  u8 in_loop = 0;
  u8 at_cursor = 0;
  // The last token read: readers peek at a token and then read it, or peek at the same
  // place again, so a call at the same position with flags that would scan the same way
  // reuses its result. The data is fixed while the parser reads it; set_chunk to other
  // data empties this.
  struct TokenCache {
    u64 index = 0, line = 0, col = 0;
    u64 end_index = 0, end_line = 0, end_col = 0;
    u64 tok_start = 0, tok_len = 0, kind = 0;
    u8 flags_ok = 0;  // bit (skip_blanks | skip_newlines << 1) set: same scan; 0: empty
    u8 starts_line = 0;
    u8 char_value = 0;
  } tok_cache;

  std::string_view token() const { return std::string_view(tok ? tok : "", tok_len); }
  bool is(std::string_view text) const { return token() == text; }
};

// An identifier as written: name and namespace part.
struct IdentifierRef {
  std::string_view name;
  std::string_view ns;
};

enum CompileMacroKind : u64 {
  CM_IF = 1,
  CM_GLOBALS = 3,
  CM_OBJECT = 4,
  CM_TESTS = 5,
  CM_MACRO_VALUES = 6,
  CM_PROPERTIES = 7,
};

struct CompileMacroFrame {
  u64 kind = 0;
  CompileMacroFrame* parent = nullptr;
  OrderedMap<Identifier*> vars;
  u64 item_index = 0;
  Chunk* body = nullptr;
  std::vector<Class*> classes;
  std::vector<Global*> globals;
  std::vector<Identifier*> properties;
  std::vector<Func*> tests;
  std::vector<OrderedMap<Identifier*>*> macro_values;  // one variable map per repetition
  Identifier* loop_var = nullptr;
  Identifier* type_var = nullptr;
  u8 taken = 0;
  u8 had_else = 0;  // an "#else" was seen: a second one, or "#elif" after it, is an error
};

struct PackageConfig {
  std::shared_ptr<JsonValue> json;
  std::string path;
  std::string dir;
};

struct Package {
  Build* build = nullptr;
  std::string name;
  std::string dir;
  PackageConfig* config = nullptr;
  OrderedMap<Namespace*> namespaces;
  u64 link_level = 0;
};

struct Namespace {
  Package* package = nullptr;
  Build* build = nullptr;
  std::string name;
  std::string dir;
  Scope* scope = nullptr;
  Unit* unit = nullptr;
  OrderedMap<Chunk*> test_names;  // tests declared in the namespace: one function name each
};

struct Unit {
  Build* build = nullptr;
  std::string name;
  std::vector<Func*> funcs;
  std::vector<Global*> globals;
  std::vector<Class*> classes;
  std::vector<LinkLibrary*> links;
  OrderedMap<StringConst*> strings;
  std::string o_path;
  std::string ir_path;
  std::string prev_ir_path;
  std::string json_path;
  IrUnit* ir = nullptr;
  u64 string_counter = 0;
  u8 used = 0;
};

struct SourceFile {
  Namespace* ns = nullptr;
  Build* build = nullptr;
  Unit* unit = nullptr;
  std::string path;
  std::string text;  // the content the chunks point into (a NUL follows it)
  Chunk* chunk = nullptr;
  Scope* scope = nullptr;
  std::vector<UseEntry*> uses;
  u8 generated = 0;
  u8 ignore_imut = 0;
  u8 ignore_access = 0;
  u8 from_editor = 0;
};

enum LinkKind : u64 { LINK_DYNAMIC = 1, LINK_STATIC = 2, LINK_FRAMEWORK = 3 };

struct LinkLibrary {
  u64 kind = LINK_DYNAMIC;
  std::string name;
};

struct UseEntry {
  IdentifierRef ref;
  std::vector<Identifier*> identifiers;
  Chunk* block = nullptr;
  Namespace* ns = nullptr;
};

}  // namespace tesk
