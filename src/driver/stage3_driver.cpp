// Stage 3: passes over the function list until no looping function became stale, the
// warnings about unused variables and imports, "Reduce ASTs", then objects and link.
#include "driver/stage3_driver.h"

#include <cstdio>
#include <exception>
#include <string>

#include "backend/stage_objects.h"
#include "driver/build_driver.h"
#include "driver/build_stamp.h"
#include "driver/errors.h"
#include "driver/stages.h"
#include "ir/records.h"
#include "irgen/irgen.h"
#include "model/funcs.h"
#include "model/global_order.h"
#include "model/records.h"
#include "model/scope.h"
#include "source/records.h"
#include "stmt/stage3.h"
#include "util/fs.h"

namespace tesk {

namespace {

std::string seconds_since(u64 start_us) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(now_us() - start_us) / 1e6);
  return buf;
}

Package* main_package(Build* b) {
  if (!b->main_namespace) build_error(b, "Cannot find main:main namespace (bug)");
  return b->main_namespace->package;
}

bool lsp_has_file(Build* b, const SourceFile* file) {
  return file && lsp_document_text(b->lsp, file->path) != nullptr;
}

// Values, statements and scopes made while a function is read and written live in the
// build's function arena; leaving the region resets it, since nothing outside the
// function holds them once its IR is written and its AST dropped. A region that failed,
// is left by an error, or that something longer-lived points into joins the build's
// arena instead. Language-server builds keep everything, as before.
class FuncRegion {
 public:
  explicit FuncRegion(Build* b) : b_(b), on_(!b->lsp && !b->func_region), unwinding_(std::uncaught_exceptions()) {
    if (!on_) return;
    b_->func_region = 1;
    b_->func_region_kept = 0;
  }
  ~FuncRegion() {
    if (!on_) return;
    b_->func_region = 0;
    if (b_->func_region_kept || std::uncaught_exceptions() > unwinding_) {
      b_->arena.adopt(b_->func_arena);
    } else {
      b_->func_arena.reset();
    }
    b_->func_region_kept = 0;
  }
  void keep() {
    if (on_) b_->func_region_kept = 1;
  }
  FuncRegion(const FuncRegion&) = delete;
  FuncRegion& operator=(const FuncRegion&) = delete;

 private:
  Build* b_;
  bool on_;
  int unwinding_;
};

// One pass: Stage 3.1 and 3.3 of every function not parsed yet, then the marking of
// what the entry reaches. Returns the number of looping functions made stale.
u64 run_pass(Build* b) {
  b->used_pools.clear();
  b->used_classes.clear();
  b->used_globals.clear();
  for (Global* g : b->globals) {
    if (!g->used) continue;
    b->used_globals.push_back(g);
    g->used = 0;
  }
  order_global_defaults(b->used_globals);
  for (auto& [name, pool] : b->alloc_pools) {
    if (!pool->pending) continue;
    b->used_pools.push_back(pool);
    pool->pending = 0;
  }
  for (Unit* unit : b->units) {
    unit->used = 0;
    for (Class* c : unit->classes) {
      if (!c->used) continue;
      b->used_classes.push_back(c);
      c->used = 0;
    }
    for (auto& [text, sc] : unit->strings) sc->used = 0;
  }

  // Functions made while the pass runs (generated ones) are reached by the same walk.
  for (size_t i = 0; i < b->function_queue.size(); i++) {
    Func* f = b->function_queue[i];
    f->used = 0;
    if (f->no_body || f->skip || f->parsed || f->failed) continue;
    FuncRegion region(b);
    if (!run_stage_task([f] { parse_function_ast(f); })) {
      region.keep();  // the failed body stays reachable from the function
      continue;
    }
    if (!b->lsp) build_func_ir(f);
    f->drop_ast();
  }

  b->new_global_used = 0;
  b->new_class_used = 0;
  b->new_pool_used = 0;
  if (b->entry_func) b->entry_func->mark_used();

  u64 count = 0;
  auto restale = [&count](const std::vector<Func*>& funcs) {
    for (Func* f : funcs) {
      if (!f->used) continue;
      f->parsed = 0;
      count++;
    }
  };
  if (b->new_global_used) restale(b->loop_globals_funcs);
  restale(settle_global_defaults(b, b->used_globals));
  if (b->new_class_used) restale(b->loop_classes_funcs);
  if (b->new_pool_used) restale(b->init_allocators_funcs);
  return count;
}

void warn_unused_variables(Build* b) {
  Package* pkg = main_package(b);
  for (Func* f : b->functions) {
    if (!f->parsed || f->kept_decls.empty()) continue;
    for (Decl* d : f->kept_decls) {
      if (d->name.empty() || !d->chunk || d->used) continue;
      SourceFile* file = d->chunk->file;
      // Generated source is not the user's to act on.
      if (file && file->generated) continue;
      if (b->lsp) {
        if (!lsp_has_file(b, file)) continue;
        Chunk* end = chunk_clone(b, d->chunk);
        chunk_move_forward(end, d->name.size());
        add_warning_diagnostic(b, "Variable '" + d->name + "' was declared but not used", d->chunk, end);
      } else if (file && file->ns && file->ns->package == pkg) {
        add_warning(b, "Variable '" + d->name + "' was declared but not used in function '" + f->display_name +
                           "' @ " + file->path + ":" + std::to_string(d->chunk->line));
      }
    }
    f->kept_decls.clear();
  }
}

}  // namespace

void parse_used_functions(Build* b) {
  main_package(b);
  while (run_pass(b) >= 1) {
  }
  propagate_call_marks(b);
  warn_unused_variables(b);
}

void warn_unused_imports(Build* b) {
  Package* pkg = main_package(b);
  for (auto& [path, file] : b->loaded_files) {
    if (!file->ns || file->ns->package != pkg) continue;
    for (UseEntry* entry : file->uses) {
      std::string ref = identifier_ref_text(entry->ref);
      for (Identifier* id : entry->identifiers) {
        if (!id->position || id->used) continue;
        if (b->lsp) {
          if (!lsp_has_file(b, file)) continue;
          Chunk* start = chunk_clone(b, id->position);
          chunk_move_back(start, ref.size());
          add_warning_diagnostic(b, "Namespace '" + ref + "' imported but not used", start, id->position);
        } else {
          add_warning(b, "Namespace '" + ref + "' imported but not used @ " + file->path + ":" +
                             std::to_string(id->position->line));
        }
      }
    }
  }
}

void reduce_asts(Build* b) {
  log_detail(b, "> Stage 3: Reduce ASTs");
  for (size_t i = 0; i < b->functions.size(); i++) {
    Func* f = b->functions[i];
    if (!f->used || !f->has_gc_slots || !f->body_chunk || f->opaque_calls || f->allocates) continue;
    f->reduced = 1;
    FuncRegion region(b);
    parse_function_ast(f);
    build_func_ir(f);
    f->drop_ast();
  }
}

void stage_parse_asts(Build* b) {
  log_detail(b, "> Stage 3: Parse function ASTs");
  u64 t0 = now_us();
  parse_used_functions(b);
  if (!b->cli.values.find("--filter")) warn_unused_imports(b);
  if (b->lsp) return;
  // No IR of a build that reported an error reaches LLVM.
  stop_if_errors(b);
  reduce_asts(b);
  if (b->verbose >= 1) log_line("⌚️", "Tesk: Parse AST & Generate IR: " + seconds_since(t0) + "s");
  stamp_end_front_end(b);
  stage_objects_and_link(b);
}

}  // namespace tesk
