#pragma once
// Namespaces, compilation units and loaded source files; the two name forms.
#include <string>
#include <string_view>

#include "source/records.h"

namespace tesk {

Namespace* new_namespace(Package* pkg, std::string_view name, const std::string& dir, Unit* unit);
// A unit whose cache files are named name + "_" + hash in the cache directory.
Unit* new_unit(Build* b, std::string_view name, std::string_view hash);
// A unit with the cache files base + ".o", ".ir", "-prev.ir", ".json".
Unit* new_unit_with_base(Build* b, std::string_view name, const std::string& base);
Unit* main_unit(Build* b);
Unit* unit_for_namespace(Build* b, std::string_view name, std::string_view dir);

SourceFile* load_source_file(Namespace* ns, std::string_view path, Unit* unit);
// load_source_file after the "loaded twice" check; records the file in Build.loaded_files.
SourceFile* load_namespace_file(Namespace* ns, std::string_view path, Unit* unit);
SourceFile* load_template_file(Namespace* ns, std::string_view name, Unit* unit);
void load_source_dir(Namespace* ns, Unit* unit);

// Symbol name: pkg__ns__name, the parts of the package and namespace "main" left out.
std::string export_name(const Namespace* ns, std::string_view name);
// The same with ":" (pkg:ns:name): the name shown to users.
std::string display_name(const Namespace* ns, std::string_view name);

}  // namespace tesk
