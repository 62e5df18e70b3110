#pragma once
// Generic classes and functions: generic name lists, the bracketed Type arguments at a
// use, instance keys and names, and the making, registration and lookup of instances.
// An instance is made once per key and registered before anything of it is read, so a
// use of the instance inside its own body finds it.
#include <string>
#include <string_view>
#include <vector>

#include "model/class_reading.h"
#include "model/records.h"

namespace tesk {

// Reads "T, U:PROP_TYPE]" after a "[" that was already read, all on one line.
GenericNames* read_generic_names(Parser* p);

// "[" + the Types' texts joined by ", " + "]" into buf (emptied first); export form
// writes classes by their export names. Returns buf.
const std::string& generic_display_name(const std::vector<Type*>& types, std::string& buf, bool export_form);
// The 32-letter name hash of the export-form argument text: the registry key of the
// instance and the tail of its name.
std::string generic_instance_key(const std::vector<Type*>& types);

// get_generic_class (class_reading.h): the instance of a generic class for the Types,
// made on first use; Class.bind_generic_types binds its names in its class Scope.

// One placeholder Type per generic name, named after it: the arguments of the instance
// through which documentation describes a generic class or function.
std::vector<Type*> placeholder_types(Build* b, const GenericNames& names);

// The bracketed Types after a generic function's name; returns the instance.
Func* read_function_generic_args(Parser* p, Scope* scope, Func* generic);
// The instance of a function for the Types, made on first use. extra names the `$T`
// argument names bound to the Types after those of the function's generic names.
Func* get_generic_function(Func* generic, const std::vector<Type*>& types, const std::vector<std::string>* extra);
// The instance whose `$T` argument Types are those of the call's argument values.
Func* infer_generic_types(Parser* p, Func* generic, const std::vector<Value*>& args);

}  // namespace tesk
