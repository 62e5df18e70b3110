#include "source/units.h"

#include <cstdio>

#include "driver/build.h"
#include "driver/build_driver.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "driver/stages.h"
#include "model/records.h"
#include "model/scope.h"
#include "util/fs.h"
#include "util/strings.h"

namespace tesk {

namespace {

// The package part and the namespace part (each left out for "main"), then the name.
std::string qualified_name(const Namespace* ns, std::string_view name, std::string_view sep) {
  std::string out;
  if (ns->package->name != "main") out += cat({ns->package->name, sep});
  if (ns->name != "main") out += cat({ns->name, sep});
  out += name;
  return out;
}

}  // namespace

Namespace* new_namespace(Package* pkg, std::string_view name, const std::string& dir, Unit* unit) {
  Build* b = pkg->build;
  Namespace* ns = b->make<Namespace>();
  ns->package = pkg;
  ns->build = b;
  ns->name = std::string(name);
  ns->dir = dir;
  ns->scope = make_scope(SCOPE_NAMESPACE, b, nullptr);
  ns->unit = unit;
  return ns;
}

Unit* new_unit_with_base(Build* b, std::string_view name, const std::string& base) {
  Unit* u = b->make<Unit>();
  u->build = b;
  u->name = std::string(name);
  u->o_path = base + ".o";
  u->ir_path = base + ".ir";
  u->prev_ir_path = base + "-prev.ir";
  u->json_path = base + ".json";
  b->units.push_back(u);
  return u;
}

Unit* new_unit(Build* b, std::string_view name, std::string_view hash) {
  return new_unit_with_base(b, name, path_join(b->cache_dir, cat({name, "_", hash})));
}

Unit* main_unit(Build* b) {
  if (!b->main_unit) b->main_unit = new_unit(b, "main", name_hash_text(b->project_dir));
  return b->main_unit;
}

Unit* unit_for_namespace(Build* b, std::string_view name, std::string_view dir) {
  if (b->single_unit) return main_unit(b);
  return new_unit(b, name, name_hash_text(dir));
}

SourceFile* load_source_file(Namespace* ns, std::string_view path, Unit* unit) {
  Build* b = ns->build;
  std::string resolved = path_resolve(path);
  std::optional<std::string> text = read_file(resolved);
  if (!text) build_error(b, cat({"Unable to read file: ", path}));
  SourceFile* file = b->make<SourceFile>();
  if (b->lsp && resolved == lsp_current_file(b->lsp)) {
    file->from_editor = 1;
    if (const std::string* doc = lsp_document_text(b->lsp, resolved)) *text = *doc;
  }
  if (b->verbose >= 1) b->loc_files += count_lines(*text);
  Scope* scope = make_scope(SCOPE_FILE, b, ns->scope);
  file->ns = ns;
  file->build = b;
  file->unit = unit;
  file->path = std::move(resolved);
  file->text = std::move(*text);
  file->scope = scope;
  scope->file = file;
  Chunk* chunk = b->make<Chunk>();
  chunk->build = b;
  chunk->file = file;
  chunk->content = file->text;
  file->chunk = chunk;
  b->stage1_queue.push_back(file);
  return file;
}

SourceFile* load_namespace_file(Namespace* ns, std::string_view path, Unit* unit) {
  Build* b = ns->build;
  if (b->loaded_files.contains(path)) build_error(b, cat({"Tesk file loaded twice: ", path}));
  log_detail(b, cat({"> Loading file: ", path}));
  SourceFile* file = load_source_file(ns, path, unit);
  b->loaded_files.set(path, file);
  return file;
}

SourceFile* load_template_file(Namespace* ns, std::string_view name, Unit* unit) {
  return load_namespace_file(ns, path_join(path_join(compiler_lib_dir(), "templates"), name), unit);
}

void load_source_dir(Namespace* ns, Unit* unit) {
  log_detail(ns->build, "# Loading files from: " + ns->dir);
  for (const std::string& entry : list_dir(ns->dir)) {
    if (ends_with(entry, ".tesk")) load_namespace_file(ns, path_join(ns->dir, entry), unit);
  }
}

std::string export_name(const Namespace* ns, std::string_view name) { return qualified_name(ns, name, "__"); }

std::string display_name(const Namespace* ns, std::string_view name) { return qualified_name(ns, name, ":"); }

}  // namespace tesk
