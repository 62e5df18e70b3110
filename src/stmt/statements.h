#pragma once
// The statement reader and the statements every function body relies on: `let` and
// stores, returns and throws, IR comments and the allocator initialisation.
#include <string_view>
#include <vector>

#include "expr/value.h"
#include "model/records.h"
#include "source/records.h"
#include "stmt/ast.h"

namespace tesk {

// --- statement reader ----------------------------------------------------------------

// Appends the statements of a block to the scope: single 0 reads up to and including
// the closing "}", single 1 reads one statement (the ":" form of bodies).
void read_statements(Parser* p, Scope* scope, u64 single);
// A "{ ... }" block read into a new child block scope, as a void VAL_INLINE_SCOPE.
Value* read_sub_scope(Parser* p, Scope* scope);
// One operand with its postfix operations (priority 0).
Value* read_value_forward(Parser* p, Scope* scope);

void append_comment(Scope* scope, std::string_view text);
void append_value_statement(Scope* scope, Value* v);
AstNode* ast_value_node(Build* b, Value* v);
AstNode* ast_declare_node(Build* b, Decl* decl, Value* v);
AstNode* ast_assign_node(Build* b, Value* target, Value* stored);

// The values a value stands for on one side of a multiple assignment: the items of a
// group, one VAL_RETURN_VALUE per item of a multi Type, else the value alone.
std::vector<Value*> value_items(Value* v);

// --- declarations and stores ---------------------------------------------------------

// After the word `let`.
void read_let(Parser* p, Scope* scope);
// Appends the store of `value` into the assignable `target`. declare: the first store
// into the local of a VAL_DECL target. position: where a type mismatch is reported.
void store_value(ParseContext* ctx, Scope* scope, Value* target, Value* value, u8 declare, Chunk* position);

// --- IR comments and allocator initialisation ----------------------------------------

// After the word `ir_comment`.
void read_ir_comment(Parser* p, Scope* scope);
// After "@INIT_ALLOCATORS": one gc:Pool.init store per allocator pool of the build.
void read_init_allocators(Parser* p, Scope* scope);

// --- returns and throws --------------------------------------------------------------

// After the word `return`: from the function, or from the innermost value scope.
void read_return(Parser* p, Scope* scope);
void read_vscope_return(Parser* p, Scope* scope, Scope* vscope);
// Checks the results against the declared return Type, adds the success error results
// of a function that can fail, and appends the return.
void check_return_values(ParseContext* ctx, Func* func, Scope* scope, Value* v);
// Evaluate the results, submit a test's entry, run the exit scope, return. v may be null.
void append_return(Func* func, Scope* scope, Value* v);
// Returns the error code and message with default values for the declared results.
void append_throw(ParseContext* ctx, Scope* scope, Value* code, Value* msg);

}  // namespace tesk
