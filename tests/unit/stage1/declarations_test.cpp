// Stage 1 readers: the records and names each declaration makes, and their errors.
#include <gtest/gtest.h>

#include <string>

#include "driver/name_hash.h"
#include "fixture.h"
#include "source/macro.h"

namespace tesk::s1test {
namespace {

std::string chunk_rest(Chunk* c, size_t n) { return std::string(c->content.substr(c->index, n)); }

TEST(Stage1Functions, MainEntryAndNames) {
  World w;
  Outcome o = w.scan("fn main() {}\nfn __tesk_main__(argc: i32) i32 {}\nfn helper[T, U:PROP_TYPE](x: T) {}\n");
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_NE(w.b->main_func, nullptr);
  EXPECT_EQ(w.b->main_func->export_name, "__main__");
  ASSERT_NE(w.b->entry_func, nullptr);
  EXPECT_EQ(w.b->entry_func->export_name, "main");
  Identifier* h = w.name("helper");
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(h->kind, IDENT_FUNC);
  Func* f = h->func;
  ASSERT_NE(f->generic_names, nullptr);
  ASSERT_EQ(f->generic_names->size(), 2u);
  EXPECT_EQ((*f->generic_names->find("U"))->prop_type, 1);
  EXPECT_EQ(chunk_rest(f->header, 5), "x: T)");
  EXPECT_EQ(chunk_rest(f->name_position, 6), "helper");
  ASSERT_NE(f->body_chunk, nullptr);

  // In another namespace these names are ordinary.
  World u;
  o = u.scan("fn main() {}\nfn __tesk_main__() {}\n", u.util_ns);
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(u.b->main_func, nullptr);
  EXPECT_EQ(u.b->entry_func, nullptr);
  EXPECT_EQ(u.name_in(u.util_ns, "main")->func->export_name, "util__main");
}

TEST(Stage1Functions, AccessExternExitAndHeaders) {
  World w;
  Outcome o = w.scan(
      "fn a() {}\n-fn b() {}\n~fn c() {}\n+fn d() {}\n-[pkg~]fn e() {}\n"
      "extern fn puts(s: ptr) i32;\n"
      "exit fn stop() {}\n"
      "fn f(a: int) String !not_found !fail $hot @nobuffers {}\n"
      "+trait T {}\n-macro m \"x\" { }\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(w.name("a")->func->access, 289u);
  EXPECT_EQ(w.name("b")->func->access, 289u);
  EXPECT_EQ(w.name("c")->func->access, 290u);
  EXPECT_EQ(w.name("d")->func->access, 292u);
  EXPECT_EQ(w.name("e")->func->access, 161u);
  Func* puts = w.name("puts")->func;
  EXPECT_EQ(puts->no_body, 1);
  EXPECT_EQ(puts->export_name, "puts");
  EXPECT_EQ(puts->body_chunk, nullptr);
  EXPECT_EQ(w.name("stop")->func->is_exit, 1);
  Func* f = w.name("f")->func;
  ASSERT_NE(f->return_type_chunk, nullptr);
  EXPECT_EQ(chunk_rest(f->return_type_chunk, 7), " String");
  ASSERT_NE(f->body_chunk, nullptr);
  EXPECT_EQ(w.name("T")->kind, IDENT_TRAIT);
  EXPECT_EQ(w.name("m")->kind, IDENT_MACRO);
}

TEST(Stage1Globals, FlagsNamesAndDefaults) {
  World w;
  Outcome o = w.scan(
      "global g: int\nshared s: ?Foo (null)\n@shared u: Bar\nextern global eg: i32\nextern shared es: ptr\n");
  ASSERT_FALSE(o.failed) << o.out;
  Outcome o2 = w.scan("global util_g: Array[int] (1)\n", w.util_ns);
  ASSERT_FALSE(o2.failed) << o2.out;

  struct Row {
    const char* name;
    u8 shared, unchecked, ext;
    const char* export_name;
    bool has_default;
  };
  const Row rows[] = {{"g", 0, 0, 0, "g", false},  {"s", 1, 0, 0, "s", true},     {"u", 1, 1, 0, "u", false},
                      {"eg", 0, 0, 1, "eg", false}, {"es", 1, 1, 1, "es", false}};
  for (const Row& r : rows) {
    Identifier* id = w.name(r.name);
    ASSERT_NE(id, nullptr) << r.name;
    ASSERT_EQ(id->kind, IDENT_GLOBAL);
    Global* g = id->global;
    EXPECT_EQ(g->shared, r.shared) << r.name;
    EXPECT_EQ(g->shared_unchecked, r.unchecked) << r.name;
    EXPECT_EQ(g->extern_, r.ext) << r.name;
    EXPECT_EQ(g->export_name, r.export_name);
    EXPECT_EQ(g->ir_name, std::string("@") + r.export_name);
    EXPECT_EQ(g->default_chunk != nullptr, r.has_default) << r.name;
    EXPECT_EQ(g->type, nullptr);
  }
  EXPECT_EQ(chunk_rest(w.name("s")->global->type_chunk, 5), " ?Foo");
  EXPECT_EQ(chunk_rest(w.name("s")->global->default_chunk, 5), "null)");
  Global* ug = w.name_in(w.util_ns, "util_g")->global;
  EXPECT_EQ(ug->export_name, "util__util_g");
  EXPECT_EQ(ug->display_name, "util:util_g");
  // Extern globals are no unit's own; every global is in the build's list.
  EXPECT_EQ(w.b->globals.size(), 6u);
  EXPECT_EQ(w.unit->globals.size(), 4u);
}

struct LinkCase {
  const char* text;
  bool static_flag;
  const char* expected;  // "name:kind" in link order
  const char* unit_links;
};

std::string links_text(const std::vector<LinkLibrary*>& links) {
  std::string r;
  for (LinkLibrary* l : links) {
    if (!r.empty()) r += ' ';
    r += l->name + ":" + std::to_string(l->kind);
  }
  return r;
}

TEST(Stage1Links, MergingTable) {
  const LinkCase cases[] = {
      {"link \"m\"", false, "m:1", "m:1"},
      {"link \"m\"", true, "m:2", "m:2"},
      {"link dynamic \"m\"\nlink static \"m\"", false, "m:2", "m:2"},
      {"link static \"m\"\nlink dynamic \"m\"", false, "m:2", "m:2"},
      {"link framework \"Cocoa\"\nlink static \"Cocoa\"", false, "Cocoa:3", "Cocoa:3"},
      {"link dynamic \"a\"\nlink static \"b\"\nlink \"a\"", false, "b:2 a:1", "a:1 b:2"},
      {"link static \"z\" link dynamic \"y\"", false, "z:2 y:1", "z:2 y:1"},
  };
  for (const LinkCase& c : cases) {
    World w;
    w.b->static_ = c.static_flag;
    Outcome o = w.scan(c.text);
    ASSERT_FALSE(o.failed) << c.text << o.out;
    EXPECT_EQ(links_text(w.b->links), c.expected) << c.text;
    EXPECT_EQ(links_text(w.unit->links), c.unit_links) << c.text;
    EXPECT_EQ(w.b->link_names.size(), w.b->links.size()) << c.text;
  }
  World w;
  Outcome o = w.scan("link m\n");
  EXPECT_EQ(o.error, "Expected a string between doubles quotes, found: 'm'");
}

TEST(Stage1Tests, FunctionsFilterAndNames) {
  World w;
  Outcome o = w.scan("test \"Parse\" { }\ntest \"other\"\n{\n}\n");
  ASSERT_FALSE(o.failed) << o.out;
  ASSERT_EQ(w.b->tests.size(), 2u);
  Func* t = w.b->tests[0];
  EXPECT_EQ(t->name, "test_" + name_hash_text("Parse"));
  EXPECT_EQ(t->display_name, "Test \"Parse\"");
  EXPECT_EQ(t->test_name, "Parse");
  EXPECT_EQ(t->is_test, 1);
  EXPECT_EQ(t->access, 4u);
  EXPECT_EQ(chunk_rest(t->name_position, 7), "\"Parse\"");
  EXPECT_EQ(chunk_rest(t->body_chunk, 2), " }");
  // Tests register no name.
  EXPECT_EQ(w.main_ns->scope->identifiers.size(), 0u);

  struct FilterCase {
    const char* filter;
    size_t count;
  };
  for (FilterCase c : {FilterCase{"pars", 1}, FilterCase{"PARSE", 1}, FilterCase{"xyz", 0}}) {
    World f;
    f.b->cli.values.set("--filter", {c.filter});
    Outcome fo = f.scan("test \"Parse\" { }\nfn after() {}\n");
    ASSERT_FALSE(fo.failed) << fo.out;
    EXPECT_EQ(f.b->tests.size(), c.count) << c.filter;
    EXPECT_NE(f.name("after"), nullptr);
  }
}

TEST(Stage1Tests, NamesMustBeClosedNonEmptyAndUnique) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"test \"", "Expected a test name here between double quotes. Instead of '\"'"},
      {"test \"abc", "Expected a test name here between double quotes. Instead of '\"abc'"},
      {"test \"abc\\\"", "Expected a test name here between double quotes. Instead of '\"abc\\\"'"},
      {"test \"\" {}", "Expected a test name here between double quotes. Instead of '\"\"'"},
      {"test name {}", "Expected a test name here between double quotes. Instead of 'name'"},
      {"test \"a\" x", "Expected token: '{', instead of: 'x'"},
      {"test \"a\" {}\ntest \"a\" {}", "Duplicate test name: \"a\""},
  };
  for (const Case& c : cases) {
    World w;
    Outcome o = w.scan(c.text);
    EXPECT_TRUE(o.failed) << c.text;
    EXPECT_EQ(o.error, c.error) << c.text;
  }
  // One name in two namespaces is two tests; a filtered-out duplicate is still refused.
  World w;
  ASSERT_FALSE(w.scan("test \"a\" {}").failed);
  ASSERT_FALSE(w.scan("test \"a\" {}", w.util_ns).failed);
  EXPECT_EQ(w.b->tests.size(), 2u);
  World f;
  f.b->cli.values.set("--filter", {"zzz"});
  EXPECT_EQ(f.scan("test \"a\" {}\ntest \"a\" {}").error, "Duplicate test name: \"a\"");
}

TEST(Stage1Classes, KindsSizesAndFlags) {
  World w;
  Outcome o = w.scan(
      "class A {}\nstruct S packed @async $noNewProperties packed {}\nslice L {}\n"
      "pointer P {}\ninteger I32 signed 4 {}\ninteger U unsigned * {}\ninteger N\n  signed 8 {}\n"
      "float F32 4 {}\nfloat FP * {}\nboolean B {}\nclass G[T] @async { x: T }\n"
      "mode M[T] for A { }\n");
  ASSERT_FALSE(o.failed) << o.out;
  struct Row {
    const char* name;
    u64 kind;
    u64 size;
    u8 is_signed, packed, async, no_new, slice;
  };
  const Row rows[] = {
      {"A", CLASS_CLASS, 0, 0, 0, 0, 0, 0},   {"S", CLASS_STRUCT, 0, 0, 1, 1, 1, 0},
      {"L", CLASS_CLASS, 0, 0, 0, 0, 1, 1},   {"P", CLASS_POINTER, 0, 0, 0, 0, 0, 0},
      {"I32", CLASS_INTEGER, 4, 1, 0, 0, 0, 0}, {"U", CLASS_INTEGER, 8, 0, 0, 0, 0, 0},
      {"N", CLASS_INTEGER, 8, 1, 0, 0, 0, 0}, {"F32", CLASS_FLOAT, 4, 1, 0, 0, 0, 0},
      {"FP", CLASS_FLOAT, 8, 1, 0, 0, 0, 0},  {"B", CLASS_BOOLEAN, 1, 0, 0, 0, 0, 0},
      {"G", CLASS_CLASS, 0, 0, 0, 1, 0, 0},
  };
  for (const Row& r : rows) {
    Identifier* id = w.name(r.name);
    ASSERT_NE(id, nullptr) << r.name;
    ASSERT_EQ(id->kind, IDENT_CLASS);
    Class* c = id->class_;
    EXPECT_EQ(c->kind, r.kind) << r.name;
    EXPECT_EQ(c->size, r.size) << r.name;
    EXPECT_EQ(c->signed_, r.is_signed) << r.name;
    EXPECT_EQ(c->packed, r.packed) << r.name;
    EXPECT_EQ(c->async, r.async) << r.name;
    EXPECT_EQ(c->no_new_props, r.no_new) << r.name;
    EXPECT_EQ(c->slice, r.slice) << r.name;
    ASSERT_NE(c->name_position, nullptr);
    EXPECT_EQ(chunk_rest(c->name_position, strlen(r.name)), r.name);
  }
  EXPECT_EQ(w.name("G")->class_->is_generic, 1);
  EXPECT_EQ(chunk_rest(w.name("G")->class_->body, 5), " x: T");
  Class* m = w.name("M")->class_;
  EXPECT_EQ(m->is_mode, 1);
  EXPECT_EQ(m->no_new_props, 1);
  EXPECT_EQ(m->name_position, nullptr);
  EXPECT_EQ(chunk_rest(m->mode_chunk, 2), " A");
  ASSERT_EQ(w.b->class_queue.size(), 1u);
  EXPECT_EQ(w.b->class_queue[0], m);
  EXPECT_EQ(w.b->classes.size(), 12u);
}

TEST(Stage1Items, TraitsExtendsAliasesEnumsMacros) {
  World w;
  Outcome o = w.scan(
      "trait Tr[T] { fn x() {} }\n"
      "extend Foo[T] { fn y() {} }\nextend util:Bar {}\n"
      "type Num (int)\nvalue Pi (3)\nalias P for util:Point\nalias Q for Local\n"
      "enum Color { red green(2)\n blue\n (7) }\nenum Small: u8 {}\n"
      "macro twice \"(\" s V:a ws \")\" <{ return a + a }\n"
      "macro block optional(\",\" V:b) repeat(items, V:v \";\", \"end\") { }\n");
  ASSERT_FALSE(o.failed) << o.out;
  Trait* tr = w.name("Tr")->trait;
  ASSERT_NE(tr, nullptr);
  EXPECT_EQ(tr->generic_names->size(), 1u);
  EXPECT_EQ(chunk_rest(tr->body, 6), " fn x(");

  ASSERT_EQ(w.b->extends.size(), 2u);
  EXPECT_EQ(chunk_rest(w.b->extends[0], 8), " Foo[T] ");
  EXPECT_EQ(chunk_rest(w.b->extends[1], 9), " util:Bar");

  ASSERT_EQ(w.b->aliases.size(), 4u);
  struct Row {
    const char* name;
    u64 kind;
    const char* chunk;
  };
  const Row rows[] = {{"Num", ALIAS_TYPE, "int)"}, {"Pi", ALIAS_VALUE, "3)"}, {"P", ALIAS_ALIAS, " util:Point"},
                      {"Q", ALIAS_ALIAS, " Local"}};
  for (size_t i = 0; i < 4; i++) {
    Alias* a = w.b->aliases[i];
    EXPECT_EQ(a->name, rows[i].name);
    EXPECT_EQ(a->kind, rows[i].kind);
    EXPECT_EQ(chunk_rest(a->chunk, strlen(rows[i].chunk)), rows[i].chunk);
    EXPECT_EQ(w.name(rows[i].name)->alias, a);
  }

  ASSERT_EQ(w.b->enums.size(), 2u);
  Enum* e = w.b->enums[0];
  EXPECT_EQ(e->display_name, "Color");
  EXPECT_EQ(e->item_type_chunk, nullptr);
  ASSERT_EQ(e->item_positions.size(), 3u);
  EXPECT_EQ(e->item_positions.entries()[1].first, "green");
  EXPECT_EQ(*e->item_value_chunks.find("red"), nullptr);
  EXPECT_EQ(chunk_rest(*e->item_value_chunks.find("green"), 2), "2)");
  EXPECT_EQ(chunk_rest(*e->item_value_chunks.find("blue"), 2), "7)");
  EXPECT_EQ(e->item_values.size(), 0u);
  EXPECT_EQ(chunk_rest(w.b->enums[1]->item_type_chunk, 3), " u8");
  EXPECT_EQ(w.b->enums[1]->item_positions.size(), 0u);

  Macro* twice = w.name("twice")->macro;
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(twice->is_value, 1);
  EXPECT_EQ(chunk_rest(twice->body, 3), " <{");
  ASSERT_EQ(twice->pattern->items->size(), 3u);
  MacroPatternItem* open = (*twice->pattern->items)[0];
  MacroPatternItem* a = (*twice->pattern->items)[1];
  MacroPatternItem* close = (*twice->pattern->items)[2];
  EXPECT_EQ(open->kind, MACRO_TOKEN);
  EXPECT_EQ(open->token, "(");
  EXPECT_EQ(open->skip_blanks, 0);
  EXPECT_EQ(a->kind, MACRO_VALUE);
  EXPECT_EQ(a->var, "a");
  EXPECT_EQ(a->skip_blanks, 1);
  EXPECT_EQ(a->skip_newlines, 0);
  EXPECT_EQ(close->skip_blanks, 1);
  EXPECT_EQ(close->skip_newlines, 1);
  EXPECT_EQ(twice->scope->parent, w.b->loaded_files.entries().back().second->scope);

  Macro* block = w.name("block")->macro;
  EXPECT_EQ(block->is_value, 0);
  ASSERT_EQ(block->pattern->items->size(), 2u);
  MacroPatternItem* opt = (*block->pattern->items)[0];
  MacroPatternItem* rep = (*block->pattern->items)[1];
  EXPECT_EQ(opt->kind, MACRO_OPTIONAL);
  EXPECT_EQ(opt->items->size(), 2u);
  EXPECT_EQ(rep->kind, MACRO_REPEAT);
  EXPECT_EQ(rep->var, "items");
  EXPECT_EQ(rep->token, "end");
  EXPECT_EQ(rep->items->size(), 2u);
}

TEST(Stage1Items, MacroPatternErrors) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"macro m V:a V:a { }", "Duplicate macro variable name: a"},
      {"macro m V:a repeat(r, V:a, \";\") { }", ""},
      {"macro m optional(V:a) { }",
       "The first part of an 'optional' macro item must be valid token between double-quotes"},
      {"macro m repeat(r, V:a, end) { }",
       "The last argument for repeat() must a be token between double-quotes. This token represent the end of "
       "the repeated pattern. Invalid token: 'end'"},
      {"macro m V a { }", "Expected token: ':', instead of: ''"},
      {"macro m V:1 { }", "Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]"},
      {"macro m optional (\",\") { }", "Expected token: '(', instead of: ''"},
      {"macro m \"x\" ( }", "Expected token: '<{' or '{', instead of: '('"},
  };
  for (const Case& c : cases) {
    World w;
    Outcome o = w.scan(c.text);
    EXPECT_EQ(o.failed, c.error[0] != 0) << c.text << o.out;
    EXPECT_EQ(o.error, c.error) << c.text;
  }
}

TEST(Stage1Use, NamespaceIdentifiersAndBlocks) {
  World w;
  Outcome o = w.scan("use util\nuse tesk:io as out\nuse util { a, b }\n");
  ASSERT_FALSE(o.failed) << o.out;
  SourceFile* f = w.b->loaded_files.entries().back().second;
  ASSERT_EQ(f->uses.size(), 3u);
  EXPECT_EQ(f->uses[0]->ref.name, "util");
  EXPECT_EQ(f->uses[0]->ref.ns, "");
  EXPECT_EQ(f->uses[0]->ns, w.util_ns);
  EXPECT_EQ(f->uses[1]->ref.ns, "tesk");
  EXPECT_EQ(f->uses[1]->ref.name, "io");
  EXPECT_EQ(f->uses[1]->ns, w.io_ns);
  EXPECT_EQ(f->uses[2]->identifiers.size(), 0u);
  ASSERT_NE(f->uses[2]->block, nullptr);
  EXPECT_EQ(chunk_rest(f->uses[2]->block, 6), " a, b ");
  // Names go into the file's scope, never the namespace's.
  EXPECT_EQ(f->scope->identifiers.size(), 2u);
  Identifier* out = *f->scope->identifiers.find("out");
  EXPECT_EQ(out->kind, IDENT_NAMESPACE);
  EXPECT_EQ(out->ns, w.io_ns);
  EXPECT_EQ(chunk_rest(out->position, 7), " as out");
  EXPECT_EQ(w.main_ns->scope->identifiers.size(), 0u);

  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"use nothing", "Package 'main' has no namespace named 'nothing'"},
      {"use tesk:nothing", "Package 'tesk' has no namespace named 'nothing'"},
      {"use util :x", "Unexpected token: ':'"},
      {"use util\nuse util", "Name already used: util"},
      {"use tesk: io", "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      {"use util as 1", "Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]"},
      {"use\nutil", "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
  };
  for (const Case& c : cases) {
    World e;
    Outcome eo = e.scan(c.text);
    EXPECT_TRUE(eo.failed) << c.text;
    EXPECT_EQ(eo.error, c.error) << c.text;
  }
}

TEST(Stage1Scan, ErrorTable) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"fn main() {}\nfn main() {}", "Name already used: main"},
      {"class X {}\nfn X() {}", "Name already used: X"},
      {"global X: int\nenum X {}", "Name already used: X"},
      {"}", "Unexpected token: '}'"},
      {"fn a() {} )", "Unexpected token: ')'"},
      {"fn a() {} # x", "Unexpected token: '#'"},
      {"nothing", "Unexpected token: 'nothing'"},
      {"@nothing", "Unexpected token: '@nothing'"},
      {"\"str\"", "Unexpected token: '\"str\"'"},
      {"+use util", "Unexpected access type specified: '+'"},
      {"-[pkg~]test \"x\" {}", "Unexpected access type specified: '-'"},
      {"~nothing", "Unexpected access type specified: '~'"},
      {"+\nfn a() {}", "Unexpected token: ''"},
      {"+ ;", "Unexpected token: ';'"},
      {"extern foo", "Invalid extern token 'foo'. Expected: 'fn', 'global' or 'shared'"},
      {"extern\nfn a();", "Invalid extern token ''. Expected: 'fn', 'global' or 'shared'"},
      {"exit a() {}", "Expected token: 'fn', instead of: 'a'"},
      {"global x int", "Expected token: ':', instead of: 'int'"},
      {"fn @a() {}", "Invalid identifier name: '@a' | Expected syntax: [a-zA-Z_]"},
      {"fn\na() {}", "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      {"fn a [T]() {}", "Expected token: '(', instead of: '['"},
      {"fn a[T, T]() {}", "Duplicate name for generic type"},
      {"fn a[T;]() {}", "Unexpected token: ;"},
      {"fn a() x", "Expected token: '{', instead of: ''"},
      {"fn a() !1 {}", "Invalid error name: 1"},
      {"integer I 4 {}", "Expected token: 'signed' or 'unsigned', instead of: '4'"},
      {"integer I signed 3 {}", "Invalid integer size: 3 | Options: 1,2,4,8,*"},
      {"integer I signed\n4 {}", "Invalid integer size:  | Options: 1,2,4,8,*"},
      {"float F 2 {}", "Invalid float size: 2 | Options: 4,8,*"},
      {"class C packed {}", "Expected token: '{', instead of: 'packed'"},
      {"pointer P @async {}", "Expected token: '{', instead of: '@async'"},
      {"mode M A {}", "Expected token: 'for', instead of: 'A'"},
      {"enum E ( }", "Expected token: ':' or '{', instead of: '('"},
      {"enum E { a b a }", "Duplicate enum item name: a"},
      {"enum E { a 1 }", "Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]"},
      {"enum E: u8 x", "Expected token: '{', instead of: 'x'"},
      {"type T int", "Expected token: '(', instead of: 'int'"},
      {"alias A B", "Expected token: 'for', instead of: 'B'"},
      {"alias A for util : x", "Unexpected token: ':'"},
      {"alias A for util:1", "Invalid identifier name: '1' | Expected syntax: [a-zA-Z_]"},
      {"trait T ( }", "Expected token: '{', instead of: '('"},
      {"fn a() {", "Missing scope closing character, expected to find: '}'"},
  };
  for (const Case& c : cases) {
    World w;
    Outcome o = w.scan(c.text);
    EXPECT_TRUE(o.failed) << c.text;
    EXPECT_EQ(o.error, c.error) << c.text;
  }
}

TEST(Stage1Scan, FileFlagsStopAndEmptyFiles) {
  World w;
  Outcome o = w.scan("@ignore_access\n;;\n@stop\n} this is not read \"\n");
  ASSERT_FALSE(o.failed) << o.out;
  SourceFile* f = w.b->loaded_files.entries().back().second;
  EXPECT_EQ(f->ignore_access, 1);
  EXPECT_EQ(f->ignore_imut, 0);
  o = w.scan("fn a() {}\n@ignore_imut\n");
  EXPECT_EQ(w.b->loaded_files.entries().back().second->ignore_imut, 1);

  // Only separators and comments: nothing is made.
  World e;
  o = e.scan(";\n// comment\n\n  ;  ;\n");
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(e.main_ns->scope->identifiers.size(), 0u);
  EXPECT_EQ(e.b->functions.size(), 0u);

  // A file without content is skipped, with its log lines at verbosity 3.
  World v;
  v.b->verbose = 3;
  SourceFile* none = v.file("");
  none->chunk = nullptr;
  o = run([none] { stage_1_file(none); });
  EXPECT_EQ(o.out, "> Stage 1: " + none->path + "\n> Stage 1 | SKIP NO CONTENT: " + none->path + "\n");
}

// Stage 1 alone: the fixture has no runtime for the later stages.
TEST(Stage1Scan, AllFilesThenMainCheck) {
  // Errors end only their file's task: later files are still scanned.
  World w;
  w.file("fn a() {} }");
  w.file("fn b() {}");
  Outcome o = run([&] { stage_1_scan_all(w.b); });
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.error, "Unexpected token: '}'");
  EXPECT_NE(w.name("b"), nullptr);
  EXPECT_NE(o.out.find("# Build error\n-----------------------------\nYour program has no 'main' function\n"),
            std::string::npos);

  World t;
  t.b->test = 1;
  t.file("fn b() {}");
  EXPECT_FALSE(run([&] { stage_1_scan_all(t.b); }).failed);

  World m;
  m.file("fn main() {}", m.util_ns);
  EXPECT_EQ(run([&] { stage_1_scan_all(m.b); }).error, "Your program has no 'main' function");

  World ir;
  ir.b->mode = BUILD_IR;
  ir.file("fn b() {}");
  EXPECT_FALSE(run([&] { stage_1_scan_all(ir.b); }).failed);
}

}  // namespace
}  // namespace tesk::s1test
