#pragma once
// Records of the semantic model: types, classes, functions, globals, aliases, enums,
// traits, scopes, identifiers and locals. Operations live in the headers beside this
// one (types.h, scope.h, funcs.h, classes.h, access.h, runtime.h).
//
// Where readers in other subsystems know a field under another name, that name is
// given in quotes in the field's comment so it can be found with grep.
#include <string>
#include <string_view>
#include <vector>

#include "util/fwd.h"
#include "util/ordered_map.h"

namespace tesk {

// The largest size of a type in bytes: the user address space of the 64-bit targets.
// Larger types are refused with kTypeTooLarge before size arithmetic could wrap.
inline constexpr u64 kMaxTypeSize = u64{1} << 47;
inline constexpr std::string_view kTypeTooLarge = "Type too large";

// u32 code of a named error: name_hash_u32 of its name; 0 means success.
using ErrorCode = u32;
// Error name -> code, in the order written.
using ErrorMap = OrderedMap<ErrorCode>;
// 9-bit access value: default (bits 0-2), namespace (3-5), package (6-8) levels.
using AccessLevel = u64;
enum AccessLevelValue : u64 { ACCESS_PRIVATE = 1, ACCESS_READONLY = 2, ACCESS_PUBLIC = 4 };
// "-" alone: private for other packages, public inside the package.
constexpr AccessLevel ACCESS_DEFAULT = 289;

using IdentifierMap = OrderedMap<Identifier*>;
using GenericNames = OrderedMap<GenericName*>;

// ---------------------------------------------------------------------------------
// Types

enum TypeKind : u64 {
  TYPE_VOID = 0,
  TYPE_POINTER = 1,
  TYPE_NULL = 2,
  TYPE_STRUCT = 3,
  TYPE_CLASS = 4,
  TYPE_RAW_POINTER = 5,
  TYPE_INT = 6,
  TYPE_FLOAT = 7,
  TYPE_UNDEFINED = 8,
  TYPE_ARRAY = 9,
  TYPE_ERROR = 10,
  TYPE_ERROR_VALUE = 11,
  TYPE_FNPTR = 12,
  TYPE_MULTI = 13,
  TYPE_BOOL = 14,
  TYPE_FN = 15,
  TYPE_NONE = 16,
  TYPE_CO = 17,
  TYPE_GENERIC = 18,
  TYPE_REFERENCE = 19,
};

// Kind sets, as bit masks over the kind number.
constexpr u64 kind_bit(u64 kind) { return kind < 64 ? (u64(1) << kind) : 0; }
constexpr u64 KINDS_POINTER_SIZED = 0xA9026;  // 1, 2, 5, 12, 15, 17, 19
constexpr u64 KINDS_INLINE_CLASS = kind_bit(TYPE_STRUCT) | kind_bit(TYPE_CLASS);
constexpr u64 KINDS_INLINE = KINDS_INLINE_CLASS | kind_bit(TYPE_ARRAY);
constexpr u64 KINDS_NUMBER = kind_bit(TYPE_INT) | kind_bit(TYPE_FLOAT);
constexpr u64 KINDS_SCALAR = kind_bit(TYPE_RAW_POINTER) | KINDS_NUMBER;
constexpr u64 KINDS_SUB_TEXT = kind_bit(TYPE_POINTER) | kind_bit(TYPE_RAW_POINTER) | kind_bit(TYPE_REFERENCE);
constexpr u64 KINDS_NO_VALUE = kind_bit(TYPE_VOID) | kind_bit(TYPE_UNDEFINED) | kind_bit(TYPE_NONE);
inline bool kind_in(u64 kind, u64 set) { return (kind_bit(kind) & set) != 0; }

// Signature of fnptr and fn Types.
struct FuncInfo {
  std::vector<Type*> args;
  std::vector<Type*> rets;       // empty when nothing is returned
  ErrorMap* errors = nullptr;    // may be shared with the Func it was made from
  u8 infinite = 0;               // "@infinite" ("varargs")
  u8 can_error = 0;              // errors is not empty

  FuncInfo* clone(Build* b) const;
  Type* without_first_arg(Build* b) const;
  Type* return_type(Build* b) const;
  std::vector<Type*> ir_returns(Build* b) const;
  Type* ir_return_type(Build* b) const;
};

// One record per use; compared by content (compat), never interned.
struct Type {
  u64 kind = TYPE_VOID;
  Build* build = nullptr;
  Type* sub = nullptr;
  u64 count = 0;
  FuncInfo* func_info = nullptr;
  ErrorMap* errors = nullptr;
  Class* class_ = nullptr;
  Group* group = nullptr;               // only on the `this` Type of a group function
  Enum* enum_ = nullptr;
  std::vector<Type*>* items = nullptr;  // multi and co
  std::string name;                     // generic placeholder name
  Type* ref_cache = nullptr;
  Type* nullable_cache = nullptr;
  Type* not_null_cache = nullptr;
  u8 nullable = 0;
  u8 signed_ = 0;
  u8 imut = 0;
  u8 not_null = 0;
  u8 co_can_error = 0;                  // ("can_error")
  u8 interior_ref = 0;                  // reference into a GC object: may be used, not stored

  // Copies and variants
  Type* copy() const;
  Type* get_nullable();
  Type* get_non_nullable();
  Type* nullable_like(Type* other);
  Type* get_not_null();                 // ("narrow_not_null")
  Type* get_ref();
  Type* get_reference();
  Type* get_pointed();
  Class* get_class() const;
  FuncInfo* get_func_info() const;
  Type* get_imut();
  Type* with_imut(bool imut_flag);
  Type* get_imut_unless_async();
  bool is_imut_or_async() const;
  bool is_imut_class() const;
  std::vector<Type*> value_types();
  u64 value_count() const;

  // Predicates
  bool is_void() const { return kind == TYPE_VOID; }
  bool is_undefined() const { return kind == TYPE_UNDEFINED; }
  bool is_none() const { return kind == TYPE_NONE; }
  bool is_multi() const { return kind == TYPE_MULTI; }
  bool is_raw_pointer() const { return kind == TYPE_RAW_POINTER; }
  bool is_int() const { return kind == TYPE_INT; }
  bool is_float() const { return kind == TYPE_FLOAT; }
  bool is_number() const { return kind_in(kind, KINDS_NUMBER); }
  bool is_bool() const { return kind == TYPE_BOOL; }
  bool is_class_value() const { return kind == TYPE_CLASS; }
  bool is_inline_class() const { return kind_in(kind, KINDS_INLINE_CLASS); }
  bool is_array() const { return kind == TYPE_ARRAY; }
  bool is_inline() const { return kind_in(kind, KINDS_INLINE); }
  bool is_scalar() const { return kind_in(kind, KINDS_SCALAR); }
  bool is_fnptr() const { return kind == TYPE_FNPTR; }
  bool is_fn() const { return kind == TYPE_FN; }
  bool is_pointer_sized() const { return kind_in(kind, KINDS_POINTER_SIZED); }
  bool is_gc() const;  // pointer to a class value, or fn

  // Text and sizes
  std::string to_text() const;
  std::string to_text_ex(u64 flags) const;  // bit 0: export form
  u64 size() const;  // above kMaxTypeSize for an array that is too large
  u64 size_in_bits() const;
  u64 ir_align() const;
  u64 align_unit() const;
  bool int_fits(u64 value, bool is_signed) const;

  // Compatibility: may a value of `have` be used where this Type is wanted?
  bool compat(Type* have, u64 flags) const;  // bit 0: ignore imut differences
  bool compat_ref(Type* have) const;
};

// ---------------------------------------------------------------------------------
// Classes

enum ClassKind : u64 {
  CLASS_CLASS = 0,
  CLASS_STRUCT = 1,
  CLASS_SLICE = 2,
  CLASS_POINTER = 3,
  CLASS_INTEGER = 4,
  CLASS_FLOAT = 5,
  CLASS_BOOLEAN = 6,
};

struct Property {
  std::string name;
  Type* type = nullptr;
  Class* class_ = nullptr;
  AccessLevel access = ACCESS_DEFAULT;
  u64 offset = 0;
  Chunk* default_value = nullptr;
  Chunk* position = nullptr;
  u8 lazy = 0;
};

struct Group {
  std::string name;
  AccessLevel access = ACCESS_DEFAULT;
  Class* class_ = nullptr;
  OrderedMap<Func*> funcs;
  std::vector<std::string> names;  // the group's own name space
  Chunk* position = nullptr;
};

// One `extend` block of a class.
struct ClassExtend {
  Class* class_ = nullptr;
  GenericNames* generic_names = nullptr;
  Chunk* body = nullptr;
  Scope* scope = nullptr;
};

// One entry of a generic name list.
struct GenericName {
  std::string name;
  u8 is_set = 1;      // always 1
  u8 prop_type = 0;   // followed by ":PROP_TYPE"
};

struct Class {
  Unit* unit = nullptr;
  Build* build = nullptr;
  SourceFile* file = nullptr;
  AccessLevel access = ACCESS_DEFAULT;
  std::string name;
  std::string export_name;
  std::string display_name;
  Chunk* name_position = nullptr;
  Chunk* body = nullptr;
  u64 kind = CLASS_CLASS;
  Type* type_cache = nullptr;
  Scope* scope = nullptr;
  u64 size = 0;
  u64 alloc_size = 0;
  OrderedMap<Property*> props;
  OrderedMap<Func*> funcs;
  OrderedMap<Group*> groups;
  std::vector<std::string> member_names;
  std::vector<ClassExtend*> extends;
  std::vector<Func*> eq_funcs;
  std::vector<Func*> lt_funcs;
  std::vector<Func*> lte_funcs;
  std::vector<Func*> gt_funcs;
  std::vector<Func*> gte_funcs;
  std::vector<Func*> to_funcs;
  std::vector<Func*> add_funcs;
  Func* offset_func = nullptr;
  Func* offset_assign_func = nullptr;
  u64 pool_index = 0;
  Func* props_func = nullptr;                          // ("list_props_func")
  u8 no_gc_props = 0;  // known to have no reference property: no props_func to make
  AllocatorPool* alloc_pool = nullptr;  // the pool its objects come from, once asked
  GenericNames* generic_names = nullptr;
  std::vector<Type*>* generic_types = nullptr;
  OrderedMap<Class*>* generic_instances = nullptr;
  Class* generic_base = nullptr;
  Class* imut_variant = nullptr;
  Class* mutable_class = nullptr;
  Class* mode_base = nullptr;
  Chunk* mode_chunk = nullptr;
  OrderedMap<Macro*>* macros = nullptr;
  u8 slice = 0;
  u8 signed_ = 0;
  u8 sized = 0;
  u8 is_generic = 0;
  u8 body_read = 0;
  u8 packed = 0;
  u8 imut = 0;
  u8 async = 0;
  u8 no_new_props = 0;
  u8 used = 0;
  u8 used_noted = 0;
  u8 is_mode = 0;
  u8 documented = 1;                                   // ("declared")

  Type* get_type();
  bool is_pointer_type() const { return kind == CLASS_CLASS || kind == CLASS_STRUCT || kind == CLASS_POINTER; }
  bool is_structured() const { return kind == CLASS_CLASS || kind == CLASS_STRUCT; }
  std::string type_text(u64 flags) const;
  std::string vtable_name() const { return export_name + "_VTABLE"; }

  Property* add_prop(std::string_view prop_name, Type* type);
  Property* get_prop(std::string_view prop_name);
  OrderedMap<Property*>& get_props();
  Func* get_function(std::string_view func_name);
  OrderedMap<Func*> get_functions();
  Group* get_group(std::string_view group_name);
  Func* find_to_function(Type* wanted);
  Func* find_add_function(Type* right);

  void mark_used();
  Class* get_imut();

  // Done by the class layout (Stage 2.3) and generics code.
  bool determine_size();       // false: a property size is not fixed yet ("unable")
  void set_offsets();
  void bind_generic_types();
};

// ---------------------------------------------------------------------------------
// Scopes, identifiers, locals

enum ScopeKind : u64 {
  SCOPE_BLOCK = 0,
  SCOPE_FILE = 1,
  SCOPE_NAMESPACE = 2,
  SCOPE_LOOP = 3,
  SCOPE_BINDING = 4,
  SCOPE_FUNCTION = 5,
  SCOPE_CLASS = 6,
  SCOPE_VALUE = 7,
};

// Never reused within a process, unlike a scope's address once its function's records
// are reset; locals remember the lists they joined by it.
u64 next_scope_serial();

struct Scope {
  u64 kind = SCOPE_BLOCK;
  u64 serial = next_scope_serial();
  Build* build = nullptr;
  SourceFile* file = nullptr;
  Scope* parent = nullptr;
  Scope* outer = nullptr;           // replaces parent in lookups and the file search
  IdentifierMap identifiers;
  Func* func = nullptr;
  std::vector<AstNode*> ast;
  std::vector<Decl*> decls;
  std::vector<Decl*> not_null;            // ("set_decls")
  std::vector<Decl*> maybe_null;          // ("unset_decls")
  std::vector<Decl*> continue_maybe_null; // ("continue_unset")
  std::vector<Decl*> break_maybe_null;    // ("break_unset")
  std::vector<Value*> vscope_values;
  Type* vscope_type = nullptr;
  Decl* each_index = nullptr;
  u8 did_exit = 0;                        // ("jumped")
  u8 must_return = 0;
  u8 ends_unreachable = 0;                // ("unreachable_end")
  // Part of a function body: lives in the build's function arena, which is reset once
  // the function's IR is written.
  u8 func_lived = 0;

  // Nearest scope of a kind, the scope itself included; null when there is none.
  Scope* find(u64 find_kind);
  Scope* find_either(u64 kind_a, u64 kind_b);
  SourceFile* get_file();
  Func* get_func();
  void set_identifier(ParseContext* ctx, std::string_view name, Identifier* id);
  void set_identifier_in_build(Build* b, std::string_view name, Identifier* id);
  void add_decl(Decl* decl);
  void note_call(Func* callee);
  bool is_not_null(Decl* decl);
  void set_not_null(Decl* decl);
  void set_maybe_null(Decl* decl);        // ("set_nullable")
  void merge_maybe_null(Scope* sub);
};

enum IdentifierKind : u64 {
  IDENT_TYPE = 0,
  IDENT_VALUE = 1,
  IDENT_DECL = 2,
  IDENT_FUNC = 3,
  IDENT_CLASS = 4,
  IDENT_NAMESPACE = 5,
  IDENT_GLOBAL = 6,
  IDENT_ALIAS = 7,
  IDENT_TRAIT = 8,
  IDENT_ENUM = 9,
  IDENT_MACRO = 10,
  IDENT_REPEAT = 11,
  IDENT_EMPTY = 12,
  IDENT_GROUP = 13,
  IDENT_PROPERTY = 14,
  IDENT_VALUE_PROPERTY = 15,
};

struct Identifier {
  u64 kind = IDENT_TYPE;
  Type* type = nullptr;
  Value* value = nullptr;
  Decl* decl = nullptr;
  Func* func = nullptr;
  Class* class_ = nullptr;
  Global* global = nullptr;
  Alias* alias = nullptr;
  Trait* trait = nullptr;
  Enum* enum_ = nullptr;
  Macro* macro = nullptr;
  void* empty = nullptr;                        // slot of kind 12, never set
  std::vector<IdentifierMap*>* repeat = nullptr; // one variable map per repetition
  IdentifierMap* group = nullptr;
  Property* prop = nullptr;
  Namespace* ns = nullptr;
  Chunk* position = nullptr;                    // the `use` that made a namespace identifier
  u8 used = 0;
};

// A local variable, argument or temporary of one function.
struct Decl {
  std::string name;                  // empty for temporaries
  Chunk* chunk = nullptr;            // source position, null for generated locals
  Type* type = nullptr;
  std::string ir_name = "-nameless-";
  std::string ir_value;              // ("value_ir")
  u64 offset = 0;                    // GC slot or stable-stack offset ("slot")
  u8 is_arg = 0;
  u8 is_gc = 0;                      // ("gc_ref")
  u8 in_memory = 0;                  // ("inline")
  u8 is_bind = 0;
  u8 is_buffer = 0;
  u8 used = 0;
  u8 captured = 0;
  u8 stable = 0;                     // ("is_stable")
  u64 listed_body = 0;               // serial of the function body scope whose `decls` hold it
  u64 listed_loop = 0;               // serial of the last loop scope whose `decls` it joined

  void make_stable();
};

// ---------------------------------------------------------------------------------
// Functions, globals, aliases, enums, traits

struct FuncArg {
  std::string name;
  Type* type = nullptr;
  Chunk* default_ = nullptr;   // right after the "(" of a default value
  Decl* decl = nullptr;
  std::string generic_name;    // the T of a `$T` argument
  u8 is_generic = 0;
};

// One thing a dropped reading of a loop body did to its function's locals. Logged while
// such a reading runs, so that a second reading known to repeat it exactly can be replayed
// instead of read (stmt/loops.cpp): local names are numbered per function and temporaries
// are taken and given back in order, so skipping a reading would change both.
enum : u8 {
  LOCAL_OP_VAR,      // `count` new locals listed in loops of the reading
  LOCAL_OP_TEMP,     // a temporary of `type` taken in a loop of the reading
  LOCAL_OP_NEW_TEMP, // a new one, not reused
  LOCAL_OP_RELEASE,  // temporaries given back down to `count` in use
  LOCAL_OP_OTHER,    // anything else: the reading cannot be replayed
};
struct LocalOp {
  u8 kind = LOCAL_OP_OTHER;
  Type* type = nullptr;
  u64 count = 0;
  Decl* decl = nullptr;  // the temporary taken
};

// The body of one parse of a function.
struct FuncAst {
  Build* build = nullptr;
  Func* func = nullptr;
  Scope* scope = nullptr;              // the function scope ("body")
  Scope* prologue = nullptr;
  Scope* epilogue = nullptr;           // ("exit")
  std::vector<Decl*> captured;         // ("captured_decls")
  std::vector<Decl*> temps_in_use;
  std::vector<Decl*> temps_free;
  std::vector<Decl*> dead_temps;        // GC buffers of blocks' last statements, to clear
  u64 decl_counter = 0;
  std::vector<LocalOp> local_log;  // while `logging` readings run
  u64 logging = 0;
  Scope* log_outside = nullptr;    // the loop around the innermost logged reading
  size_t log_from = 0;             // where the innermost logged reading's entries start
  u64 gc_slot_count = 0;
  std::vector<Decl*> gc_decls;         // ("storage_decls")
  u64 slot_bytes = 0;                  // ("gc_slot_bytes")
  u64 stable_bytes = 0;
  Value* slot_base = nullptr;          // ("cache_stack_adr")
  Decl* stable_stack_decl = nullptr;
  Value* stable_alloc = nullptr;       // ("cache_stable_adr", "stable_base")
  Decl* test_entry_decl = nullptr;

  bool take_free_temp(Decl* decl);
  void release_temps(u64 count);
  // `loop`: the loop scope a local or temporary joins.
  void log_op(u8 kind, Scope* loop, Type* type, u64 count, Decl* decl = nullptr);
};

struct Func {
  Unit* unit = nullptr;
  Build* build = nullptr;
  SourceFile* file = nullptr;
  SourceFile* code_file = nullptr;
  std::string name;
  std::string test_name = "-nameless-test-";
  std::string export_name;
  std::string display_name;
  AccessLevel access = ACCESS_DEFAULT;
  Class* class_ = nullptr;
  Group* group = nullptr;
  Chunk* name_position = nullptr;
  Chunk* header = nullptr;
  Chunk* return_type_chunk = nullptr;
  Chunk* body_chunk = nullptr;                     // ("body")
  std::vector<FuncArg*> args;
  Type* return_type = nullptr;
  Type* ir_return_type = nullptr;                  // ("full_return_type")
  Type* pointer_type = nullptr;                    // last func_pointer_type, reused while the signature holds
  ErrorMap* errors = nullptr;
  Scope* decl_scope = nullptr;
  GenericNames* generic_names = nullptr;
  std::vector<std::string> generic_arg_names;
  OrderedMap<Type*> generic_types;
  OrderedMap<Func*>* generic_instances = nullptr;
  FuncAst* ast = nullptr;
  // Beside the lists mark_used walks: the walk reads them for every call edge.
  u8 allocates = 0;                                // ("creates_objects")
  u8 opaque_calls = 0;                             // ("$undefined")
  u8 used = 0;
  u32 callers_slot = 0;                            // propagate_call_marks: 1 + row, 0 outside it
  std::vector<Func*> called;                       // ("called_funcs")
  std::vector<Global*> used_globals;
  std::vector<StringConst*> used_strings;          // ("strings")
  std::vector<Class*> used_classes;
  std::vector<AllocatorPool*> used_pools;
  std::vector<Decl*> kept_decls;                   // ("decls")
  std::string_view ir_text;                        // IR of the function, from "(" on (unit's store)
  u64 coro_counter = 0;                            // numbers the `co` entry functions
  u8 has_gc_slots = 0;
  u8 reduced = 0;                                  // ("no_gc_slots", "no_gc_frame")
  u8 is_exit = 0;
  u8 static_ = 0;
  u8 no_body = 0;
  u8 varargs = 0;
  u8 inline_ = 0;
  u8 entrance = 0;
  u8 is_generic = 0;
  u8 types_read = 0;
  u8 parsed = 0;                                   // ("ast_parsed")
  // A read of the body raised an error: it was reported once and is not read again.
  u8 failed = 0;
  u8 can_error = 0;
  u8 hot = 0;
  u8 is_test = 0;
  u8 skip = 0;
  u8 is_mut = 0;
  u8 imut_args = 0;
  u8 no_args = 0;                                  // ("getter")
  u8 nobuffers = 0;
  u8 extra_generic_names = 0;
  u8 template_ = 0;                                // ("has_generic_args")
  u8 in_docs = 1;                                  // ("declared")
  // The runtime calls it through a pointer (a finaliser, a visit function, or what
  // they call): start-up may reach it before a global's default ran, so its uses of
  // globals with a default check that the default ran.
  u8 checks_globals = 0;
  // Every function of a generic instance is compiled, used or not: an `#error` it reaches
  // is kept here and reported where the function is called.
  std::string refusal;

  FuncAst* init_scope();
  FuncAst* get_ast();
  void drop_ast();
  void build_gc_frame();
  FuncArg* add_arg(std::string_view arg_name, Type* type);
  Decl* get_temp_var(Type* type, Scope* scope);
  // A temporary no other value of the statement shares, even one read before it.
  Decl* new_temp_var(Type* type, Scope* scope);
  Decl* make_temp_var(Type* type, Scope* scope);  // new_temp_var, not logged
  FuncInfo* get_func_info();
  std::vector<Type*> arg_types() const;
  void mark_used();
};

struct Global {
  Unit* unit = nullptr;
  Build* build = nullptr;
  SourceFile* file = nullptr;
  AccessLevel access = ACCESS_DEFAULT;
  std::string name;
  std::string export_name;
  std::string display_name;
  std::string ir_name;
  Type* type = nullptr;
  Chunk* type_chunk = nullptr;
  Chunk* default_chunk = nullptr;
  u8 shared = 0;
  u8 extern_ = 0;
  u8 shared_unchecked = 0;
  u8 used_noted = 0;
  u8 used = 0;
  // What the default value names, from its last reading: the functions it calls or
  // refers to and the globals it uses. Start-up runs a default after the defaults of
  // every global these reach.
  std::vector<Func*> default_calls;
  std::vector<Global*> default_reads;
  // Place in the start-up order from 1, once worked out for the globals in use.
  u32 start_rank = 0;
  // Non-zero when code that checks globals uses this one: start-up counts it as the
  // ready_step-th such default once it is assigned.
  u32 ready_step = 0;

  Type* get_type();
  void mark_used();
};

enum AliasKind : u64 { ALIAS_TYPE = 0, ALIAS_VALUE = 1, ALIAS_ALIAS = 2 };

struct Alias {
  u64 kind = ALIAS_TYPE;
  SourceFile* file = nullptr;
  AccessLevel access = ACCESS_DEFAULT;
  std::string name;
  Chunk* chunk = nullptr;
  Identifier* target = nullptr;
  Type* type = nullptr;
};

struct Enum {
  Build* build = nullptr;
  SourceFile* file = nullptr;
  AccessLevel access = ACCESS_DEFAULT;
  std::string name;
  std::string display_name;
  Chunk* item_type_chunk = nullptr;
  Type* type_cache = nullptr;
  Type* item_type = nullptr;
  OrderedMap<Chunk*> item_positions;
  OrderedMap<Chunk*> item_value_chunks;
  OrderedMap<u64> item_values;

  Type* get_type();
  Type* get_item_type();
};

struct Trait {
  Chunk* body = nullptr;
  Chunk* name_position = nullptr;
  SourceFile* file = nullptr;
  GenericNames* generic_names = nullptr;
  std::string name;
};

// One allocator pool: a thread-local global of the runtime class gc:Pool.
struct AllocatorPool {
  Build* build = nullptr;
  Global* global = nullptr;
  u64 item_size = 0;
  Func* props_func = nullptr;
  Func* free_func = nullptr;
  u8 used = 0;
  u8 pending = 0;
};

}  // namespace tesk
