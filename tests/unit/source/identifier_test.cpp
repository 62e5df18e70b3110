// Reading identifiers: plain names and ns:name through the file's namespaces.
#include <gtest/gtest.h>

#include "helpers.h"
#include "model/records.h"
#include "model/scope.h"
#include "source/parse_error.h"
#include "source/parser.h"

namespace tesk {
namespace {

using testutil::catch_error;
using testutil::error_line;
using testutil::text_parser;
using testutil::watch_build;

struct World {
  std::unique_ptr<Build> b = watch_build();
  Scope* ns_scope = nullptr;
  Scope* file_scope = nullptr;
  Scope* block = nullptr;
  Namespace util;
  Identifier* util_id = nullptr;
  Identifier* run = nullptr;
  Identifier* plain = nullptr;
  Identifier* notns = nullptr;
  Func f1, f2, f3;

  World() {
    ns_scope = make_scope(SCOPE_NAMESPACE, b.get(), nullptr);
    file_scope = make_scope(SCOPE_FILE, b.get(), ns_scope);
    block = make_scope(SCOPE_BLOCK, b.get(), file_scope);
    util.name = "util";
    util.scope = make_scope(SCOPE_NAMESPACE, b.get(), nullptr);
    run = new_identifier_func(b.get(), &f1);
    util.scope->identifiers.set("run", run);
    util_id = new_identifier_namespace(b.get(), &util);
    file_scope->identifiers.set("util", util_id);
    plain = new_identifier_func(b.get(), &f2);
    ns_scope->identifiers.set("plain", plain);
    notns = new_identifier_func(b.get(), &f3);
    file_scope->identifiers.set("notns", notns);
  }
};

TEST(ReadIdentifier, PlainAndNamespacedNames) {
  World w;
  Parser* p = text_parser(w.b.get(), "plain util:run");
  IdentifierResult r = read_identifier(p, w.block, true, true);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.id, w.plain);
  EXPECT_EQ(p->last_name, "plain");
  EXPECT_TRUE(p->last_ns_null);
  EXPECT_EQ(w.util_id->used, 0);
  r = read_identifier(p, w.block, true, true);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.id, w.run);
  EXPECT_EQ(p->last_name, "run");
  EXPECT_EQ(p->last_ns, "util");
  EXPECT_FALSE(p->last_ns_null);
  EXPECT_EQ(w.util_id->used, 1);
  IdentifierRef* ref = last_identifier_ref(p);
  EXPECT_EQ(ref->name, "run");
  EXPECT_EQ(ref->ns, "util");
}

TEST(ReadIdentifier, ReturnedFailures) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"missing", "Unknown identifier: 'missing'"},
      {"util:nope", "Unknown identifier: 'nope' in namespace/scope 'util'"},
      {"other:run", "Unknown namespace: 'other'"},
      {"notns:x", "Identifier does not represent a namespace/scope: 'notns'"},
      {"plain:x", "Identifier does not represent a namespace/scope: 'plain'"},
  };
  for (const Case& c : cases) {
    World w;
    Parser* p = text_parser(w.b.get(), c.text);
    IdentifierResult r = read_identifier(p, w.block, true, true);
    EXPECT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(r.error, c.error) << c.text;
    // resolve_identifier reports the same text as a parse error.
    Parser* q = text_parser(w.b.get(), c.text);
    auto caught = catch_error([&] { resolve_identifier(q, w.block, true, true); });
    EXPECT_TRUE(caught.parse_failure);
    EXPECT_EQ(error_line(caught.out), c.error);
  }
}

TEST(ReadIdentifier, NamespaceNeedsAFileScope) {
  World w;
  Scope* loose = make_scope(SCOPE_BLOCK, w.b.get(), w.ns_scope);
  Parser* p = text_parser(w.b.get(), "util:run");
  EXPECT_EQ(read_identifier(p, loose, true, true).error, "Unknown namespace: 'util' (Cannot find root scope)");
  // The outer scope replaces the parent on the way to the file scope.
  Scope* expanded = make_scope(SCOPE_BLOCK, w.b.get(), w.ns_scope);
  expanded->outer = w.block;
  Parser* q = text_parser(w.b.get(), "util:run");
  EXPECT_EQ(read_identifier(q, expanded, true, true).id, w.run);
}

TEST(ReadIdentifier, SyntaxErrorsAreRaised) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"5", "Invalid identifier name: '5' | Expected syntax: [a-zA-Z_]"},
      {"util: run", "Invalid identifier name: '' | Expected syntax: [a-zA-Z_]"},
      {"util:\"s\"", "Invalid identifier name: '\"s\"' | Expected syntax: [a-zA-Z_]"},
  };
  for (const Case& c : cases) {
    World w;
    Parser* p = text_parser(w.b.get(), c.text);
    auto caught = catch_error([&] { read_identifier(p, w.block, true, true); });
    EXPECT_TRUE(caught.parse_failure) << c.text;
    EXPECT_EQ(error_line(caught.out), c.error) << c.text;
  }
}

TEST(ReadIdentifier, ColonAfterABlankIsASymbol) {
  World w;
  Parser* p = text_parser(w.b.get(), "util : run");
  IdentifierResult r = read_identifier(p, w.block, true, true);
  EXPECT_EQ(r.id, w.util_id);
  EXPECT_EQ(next_token(p, true, true), TOK_SYMBOL);
  EXPECT_EQ(token_text(p), ":");
}

}  // namespace
}  // namespace tesk
