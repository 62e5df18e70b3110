#pragma once
// Values reached through names, calls, members and indexes: identifiers, function calls
// (with their arguments, defaults and GC argument buffers), class-name access, enum
// items, anonymous objects, member access and index access.
#include <string_view>
#include <vector>

#include "expr/value.h"
#include "model/records.h"
#include "source/records.h"
#include "util/ordered_map.h"

namespace tesk {

// Identifiers. The parser stands right after the identifier's text.
Value* value_of_identifier(Parser* p, Scope* scope, Identifier* id);
// A store into a global or property needs write access from the parser's file.
void require_store_access(Parser* p, Value* target);

// Calls. The parser stands on the "(" (already read); on return after the ")" and any
// error handler. after_co: the call is the operand of `co` (no error handler).
Value* read_call_on_value(Parser* p, Scope* scope, Value* callee, u8 after_co);
// The call node of a callee and a finished argument list (the list may be changed: a
// closure goes in front, buffered arguments replace the ones they hold).
Value* value_function_call(Build* b, Scope* scope, Value* callee, std::vector<Value*> args);
// GC references that nothing else keeps alive are held in temporaries until the call.
void value_buffer_gc_args(Scope* scope, std::vector<Value*>& args);
// True when a value may run statements (so temporaries taken after it must be fresh).
bool value_buffer_gc_props(Scope* scope, OrderedMap<Value*>& values);
// `fresh`: never a temporary freed earlier in the statement.
Value* value_buffer_gc_value(Scope* scope, Value* v, bool fresh = false);

// Call arguments up to and including the closer (")" or "]"), appended to args.
void read_call_args(Parser* p, Scope* scope, Value* fn, std::string_view closer, std::vector<Value*>& args);
// A default argument value, read again at the call site.
Value* check_call_arg(Parser* p, Scope* scope, Func* func, FuncArg* arg, Chunk* default_value);

// What follows a class name: a class macro, an object literal or a static member.
// dot_read: the "." was read by the caller.
Value* read_class_static_access(Parser* p, Class* cls, Scope* scope, u8 dot_read);
// "." and an item name after an enum name.
Value* read_enum_item(Parser* p, Enum* en);
// "{ name: value ... }" after the keyword `object`.
Value* read_anonymous_object(Parser* p, Scope* scope);

// The member after "." behind a value. ref_flag: the value is the operand of "&".
Value* read_dot_access(Parser* p, Scope* scope, Value* receiver, u8 ref_flag);

// The index after "[" behind a value.
Value* read_index_access(Parser* p, Scope* scope, Value* receiver);
// The "$offset" / "$offset_assign" function of the value's class or its mode base
// class; null stands for the errors `not_found` and `none`.
Func* class_offset_function(Value* v);
Func* class_offset_assign_function(Value* v);

}  // namespace tesk
