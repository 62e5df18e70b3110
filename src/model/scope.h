#pragma once
// Scopes, identifiers, locals, name lookup and the reporting helpers on ParseContext.
#include <string>
#include <string_view>

#include "model/records.h"

namespace tesk {

// Scopes
Scope* new_scope(Scope* parent, u64 kind);
Scope* make_scope(u64 kind, Build* b, Scope* parent);
// The scope of one parse of a function body.
Scope* make_body_scope(Build* b, Scope* decl_scope);
// Sets the parent of a scope made earlier; a scope outliving a body may point into it.
void link_scope_parent(Scope* scope, Scope* parent);
// Where names of the function's declaration are looked up beyond its own scope.
void set_decl_scope_parent(Func* func, Scope* parent);

// Binds a top-level name in the scope of the file's namespace.
void declare_in_namespace(SourceFile* file, ParseContext* ctx, std::string_view name, Identifier* id);
// Binds a variable of a compile-time directive frame ("Name already used: " on a clash).
void frame_set_var(CompileMacroFrame* frame, ParseContext* ctx, std::string_view name, Identifier* id);

// Lookup: scope chain (outer before parent), compile-time frames, runtime defaults.
// Null when the name is not found; the caller words the message.
Identifier* find_identifier(Scope* scope, Parser* parser, std::string_view name);
// The runtime namespace a default name lives in ("io", "type", "core"), or empty.
std::string_view runtime_default_namespace(std::string_view name);
std::string identifier_ref_text(const IdentifierRef& ref);

// Locals
// In the arena of type->build; locals in its function arena while one is open.
Decl* new_decl(Type* type, bool is_arg, std::string_view name);

// Identifier constructors
Identifier* new_identifier_type(Build* b, Type* type);
Identifier* new_identifier_value(Build* b, Value* value);
Identifier* new_identifier_decl(Build* b, Decl* decl);
Identifier* new_identifier_func(Build* b, Func* func);
Identifier* new_identifier_class(Build* b, Class* cls);
Identifier* new_identifier_namespace(Build* b, Namespace* ns);
Identifier* new_identifier_global(Build* b, Global* global);
Identifier* new_identifier_alias(Build* b, Alias* alias);
Identifier* new_identifier_trait(Build* b, Trait* trait);
Identifier* new_identifier_enum(Build* b, Enum* en);
Identifier* new_identifier_macro(Build* b, Macro* macro);
Identifier* new_identifier_repeat(Build* b, std::vector<IdentifierMap*>* repeat);
Identifier* new_identifier_group(Build* b, IdentifierMap* group);
Identifier* new_identifier_property(Build* b, Property* prop);
Identifier* new_identifier_value_property(Build* b, Property* prop, Value* object);

// Reporting through a context: a parse error at its parser, else a build error.
[[noreturn]] void error_at(ParseContext* ctx, std::string_view message);
Func* context_get_func(ParseContext* ctx);    // "Missing function context"
Unit* context_get_unit(ParseContext* ctx);    // "Missing unit context"
ParseContext* context_clone(ParseContext* ctx);
ParseContext* context_for_func(Func* func);
void context_note_func(ParseContext* ctx, Func* func);
void context_note_global(ParseContext* ctx, Global* global);
void context_note_class(ParseContext* ctx, Class* cls);
void context_note_pool(ParseContext* ctx, AllocatorPool* pool);

// Stage 2.1 tasks for `alias` and `type` declarations.
void resolve_alias(Alias* alias);
void resolve_type_alias(Alias* alias);

// Chunk positions
Chunk* new_chunk(Build* b, SourceFile* file, std::string_view content);
Chunk* chunk_clone(Build* b, const Chunk* chunk);
void chunk_move_back(Chunk* chunk, u64 n);
void chunk_move_forward(Chunk* chunk, u64 n);
std::string_view chunk_path(const Chunk* chunk);
std::string chunk_position_text(const Chunk* chunk);

}  // namespace tesk
