#pragma once
// Lookups of items of the runtime package `tesk` by namespace and name. Each failure is
// a build error: the runtime package does not fit the compiler.
#include <string_view>

#include "model/records.h"

namespace tesk {

Package* get_tesk_package(Build* b);     // "Cannot find tesk package (bug)"
Namespace* get_main_namespace(Build* b); // "Cannot find main:main namespace (bug)"

// Searches only the namespace's own scope; never loads a namespace.
Identifier* runtime_identifier(Build* b, std::string_view ns, std::string_view name);
Func* runtime_func(Build* b, std::string_view ns, std::string_view name);
Class* runtime_class(Build* b, std::string_view ns, std::string_view name);
Global* runtime_global(Build* b, std::string_view ns, std::string_view name);
Func* runtime_class_func(Build* b, std::string_view ns, std::string_view class_name, std::string_view func_name);
Type* runtime_class_type(Build* b, std::string_view ns, std::string_view name);
Type* runtime_u32_type(Build* b);
Type* runtime_string_type(Build* b);
Type* runtime_array_string_type(Build* b);

}  // namespace tesk
