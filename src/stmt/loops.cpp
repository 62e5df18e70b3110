// if chains, while loops, break and continue, and the null facts they carry between
// scopes. Loop bodies are read twice: the first reading only finds which locals may be
// null again when the next iteration starts, the second one is kept. Where the first
// shows that the second would make the same, the first is kept instead (KeepCheck).
#include <algorithm>
#include <unordered_set>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"
#include "stmt/loop_util.h"
#include "stmt/statements.h"

namespace tesk {

namespace {

// One reading of a while loop: condition and body in a fresh loop scope.
Scope* read_while_once(Parser* p, Scope* scope, const std::vector<Decl*>* unset, Value** cond_out) {
  Scope* loop = new_scope(scope, SCOPE_LOOP);
  if (unset)
    for (Decl* d : *unset) loop->set_maybe_null(d);
  Value* cond = read_value(p, loop, PRIO_ALL, 0);
  if (!cond->type || cond->type->kind != TYPE_BOOL)
    parse_error(p, "The while condition value must be of type bool, not: " + type_text_or_none(cond->type));
  bool single = read_body_opener(p);
  for (Decl* d : cond->true_decls) add_not_null(loop, d);
  read_statements(p, loop, single ? 1 : 0);
  *cond_out = cond;
  return loop;
}

// The loop scope around `scope` within its function, or null.
Scope* enclosing_loop(Scope* scope) {
  for (Scope* s = scope; s; s = s->parent) {
    if (s->kind == SCOPE_LOOP) return s;
    if (s->kind == SCOPE_FUNCTION) return nullptr;
  }
  return nullptr;
}

// Appends each local of the unset lists between `scope` and `loop` (both included) to
// `into`, each at most once per walk.
void collect_unset(Scope* scope, Scope* loop, std::vector<Decl*>& into) {
  std::vector<Decl*> taken;
  for (Scope* s = scope; s; s = s->parent) {
    for (Decl* d : s->maybe_null) {
      if (std::find(taken.begin(), taken.end(), d) != taken.end()) continue;
      taken.push_back(d);
      into.push_back(d);
    }
    if (s == loop) break;
  }
}

}  // namespace

// --- helpers shared with each loops --------------------------------------------------

std::string type_text_or_none(Type* t) { return t ? t->to_text() : std::string("none"); }

bool read_body_opener(Parser* p) {
  next_token(p, true, true);
  if (symbol_is(p, "{")) return false;
  if (symbol_is(p, ":")) return true;
  parse_error(p, "Expected token: '{' or ':', instead of: '" + token_text(p) + "'");
}

void add_not_null(Scope* scope, Decl* d) {
  if (std::find(scope->not_null.begin(), scope->not_null.end(), d) == scope->not_null.end())
    scope->not_null.push_back(d);
}

void drop_loop_locals(Func* func, Scope* loop) {
  FuncAst* ast = func->get_ast();
  std::unordered_set<Decl*> drop;
  for (Decl* d : loop->decls)
    if (!d->is_buffer) drop.insert(d);
  if (drop.empty()) return;
  std::vector<Decl*>& all = ast->scope->decls;
  all.erase(std::remove_if(all.begin(), all.end(),
                           [&](Decl* d) {
                             if (!drop.count(d)) return false;
                             d->listed_body = 0;
                             return true;
                           }),
            all.end());
}

void null_loop_gc_locals(Scope* loop, Scope* scope) {
  Build* b = scope->build;
  for (Decl* d : loop->decls) {
    if (!d->type || !d->type->is_gc()) continue;
    scope->ast.push_back(ast_assign_node(b, value_decl(d), value_null(d->type)));
    d->in_memory = 1;
  }
}

VscopeMark::VscopeMark(Scope* scope) {
  for (Scope* s = scope; s && s->kind != SCOPE_FUNCTION; s = s->parent) {
    if (s->kind != SCOPE_VALUE) continue;
    vscope = s;
    count = s->vscope_values.size();
    type = s->vscope_type;
    return;
  }
}

void VscopeMark::restore() {
  if (!vscope) return;
  vscope->vscope_values.resize(count);
  vscope->vscope_type = type;
}

bool VscopeMark::moved() const {
  return vscope && (vscope->vscope_values.size() != count || vscope->vscope_type != type);
}

// --- repeated readings ---------------------------------------------------------------

RepeatCheck::RepeatCheck(u8 was_in_loop, Func* func, Scope* scope) {
  // Outside a dropped reading the second reading is the one that is kept.
  // A missing function is reported by the reading itself.
  if (!was_in_loop || !func || !func->ast) return;
  start(func, scope);
}

void RepeatCheck::start(Func* func, Scope* scope) {
  func_ = func;
  scope_ = scope;
  ast_ = func->get_ast();
  ast_->logging++;
  outside_ = ast_->log_outside;
  ast_->log_outside = scope->find(SCOPE_LOOP);
  from_ = ast_->local_log.size();
  outer_from_ = ast_->log_from;
  ast_->log_from = from_;
  count(scope->build, func, ast_, before_);
}

RepeatCheck::~RepeatCheck() { stop(); }

void RepeatCheck::stop() {
  if (!ast_) return;
  FuncAst* ast = ast_;
  ast_ = nullptr;
  ast->log_outside = outside_;
  ast->log_from = outer_from_;
  if (--ast->logging == 0) ast->local_log.clear();
}

// Everything a reading may add to that a second reading would not add the same way
// (numbered names, new functions and classes, messages, captures, temporaries in use or
// left to clear after the loop): a reading that
// changed any of them is read again.
void RepeatCheck::count(Build* b, Func* func, FuncAst* ast, u64* into) {
  u64 c[kCounts] = {b->anon_counter,
                    b->string_counter,
                    b->messages.size(),
                    b->diagnostics.size(),
                    b->functions.size(),
                    b->function_queue.size(),
                    b->classes.size(),
                    b->class_queue.size(),
                    b->pending_inline_types.size(),
                    b->class_instances.size(),
                    b->anon_object_classes.size(),
                    func->args.size(),
                    ast->captured.size(),
                    ast->temps_in_use.size(),
                    ast->dead_temps.size()};
  std::copy(c, c + kCounts, into);
}

namespace {

bool lists_temp(const std::vector<Decl*>& list) {
  for (Decl* d : list)
    if (d->is_buffer) return true;
  return false;
}

}  // namespace

bool RepeatCheck::ends_unchanged(Scope* first, const VscopeMark& mark, std::vector<LocalOp>* ops) {
  FuncAst* ast = ast_;
  bool same = first->continue_maybe_null.empty() && !mark.moved();
  if (same) {
    u64 now[kCounts];
    count(scope_->build, func_, ast, now);
    same = std::equal(before_, before_ + kCounts, now);
  }
  // The lists carried out of the loop must not name temporaries: a second reading could
  // have taken other ones.
  same = same && !lists_temp(first->maybe_null) && !lists_temp(first->break_maybe_null);
  if (same) ops->assign(ast->local_log.begin() + i64(from_), ast->local_log.end());
  stop();
  return same;
}

bool RepeatCheck::repeats(Scope* first, const VscopeMark& mark) {
  if (!ast_) return false;
  bool reread = scope_->build->reread_loops;
  if (!ends_unchanged(first, mark, &ops_) || reread) return false;
  return std::none_of(ops_.begin(), ops_.end(), [](const LocalOp& op) { return op.kind == LOCAL_OP_OTHER; });
}

void RepeatCheck::replay() {
  FuncAst* ast = func_->get_ast();
  // The replayed locals join a loop scope of their own, as they would a second reading's.
  Scope* stand_in = new_scope(scope_, SCOPE_LOOP);
  for (const LocalOp& op : ops_) {
    switch (op.kind) {
      case LOCAL_OP_VAR:
        ast->decl_counter += op.count;
        ast->log_op(LOCAL_OP_VAR, stand_in, nullptr, op.count);
        break;
      case LOCAL_OP_TEMP: func_->get_temp_var(op.type, stand_in); break;
      case LOCAL_OP_NEW_TEMP: func_->new_temp_var(op.type, stand_in); break;
      case LOCAL_OP_RELEASE: ast->release_temps(op.count); break;
      default: break;
    }
  }
}

KeepCheck::KeepCheck(u8 was_in_loop, Func* func, Scope* scope) {
  Build* b = scope->build;
  // A nested loop reads differently in a first reading: that reading cannot be kept.
  if (was_in_loop) b->loop_mode_effects++;
  if (was_in_loop || !func || !func->ast || b->lsp || b->reread_loops) return;
  log_.start(func, scope);
  ast_ = log_.ast_;
  effects_ = b->loop_mode_effects;
  counter_ = ast_->decl_counter;
  listed_ = ast_->scope->decls.size();
}

bool KeepCheck::keeps(Scope* first, const VscopeMark& mark) {
  if (!ast_) return false;
  std::vector<LocalOp> ops;
  bool same = log_.ends_unchanged(first, mark, &ops) && first->build->loop_mode_effects == effects_;
  if (!same || !takes_same_temps(ops)) return false;
  renumber(ops);
  return true;
}

// Replays the temporaries a second reading would take, from the function's temporaries as
// the first reading left them: each must be the one the first reading took, and the
// temporaries must end as they are now.
bool KeepCheck::takes_same_temps(const std::vector<LocalOp>& ops) const {
  FuncAst* ast = ast_;
  std::vector<Decl*> free = ast->temps_free;
  std::vector<Decl*> in_use = ast->temps_in_use;
  // A reused temporary takes the type it is used for; replayed types live here.
  std::vector<std::pair<Decl*, Type*>> types;
  auto type_of = [&](Decl* d) {
    for (auto it = types.rbegin(); it != types.rend(); ++it)
      if (it->first == d) return it->second;
    return d->type;
  };
  for (const LocalOp& op : ops) {
    switch (op.kind) {
      case LOCAL_OP_VAR: break;
      case LOCAL_OP_TEMP: {
        bool gc = op.type->is_gc();
        u64 size = op.type->size();
        size_t i = 0;
        for (; i < free.size(); i++) {
          Type* t = type_of(free[i]);
          if (t->kind == op.type->kind && t->size() == size && (free[i]->is_gc != 0) == gc) break;
        }
        if (i == free.size() || free[i] != op.decl) return false;
        types.emplace_back(op.decl, op.type);
        free.erase(free.begin() + i64(i));
        in_use.push_back(op.decl);
        break;
      }
      case LOCAL_OP_RELEASE:
        while (in_use.size() > op.count) {
          free.push_back(in_use.back());
          in_use.pop_back();
        }
        break;
      default: return false;  // a new temporary or anything else: read again
    }
  }
  if (free != ast->temps_free || in_use != ast->temps_in_use) return false;
  for (const auto& [d, t] : types)
    if (type_of(d) != d->type) return false;
  return true;
}

namespace {

// The number a local's IR name ends with.
u64 ir_name_number(const std::string& name) {
  size_t dot = name.rfind('.');
  u64 n = 0;
  for (size_t i = dot + 1; i < name.size(); i++) n = n * 10 + u64(name[i] - '0');
  return n;
}

}  // namespace

void KeepCheck::renumber(const std::vector<LocalOp>& ops) {
  FuncAst* ast = ast_;
  const u64 from = counter_, to = ast->decl_counter, shift = to - from;
  // Every local named during the reading is named again by a second one, in the same
  // order: after the first reading's numbers.
  auto rename = [&](Decl* d) {
    u64 n = ir_name_number(d->ir_name);
    if (n < from || n >= to) return;
    d->ir_name.resize(d->ir_name.rfind('.') + 1);
    d->ir_name += std::to_string(n + shift);
  };
  std::vector<Decl*>& all = ast->scope->decls;
  for (size_t i = listed_; i < all.size(); i++) rename(all[i]);
  for (const LocalOp& op : ops)
    if (op.kind == LOCAL_OP_TEMP) rename(op.decl);
  ast->decl_counter = to + shift;
  // A second reading lists its plain locals after the temporaries the first one left.
  std::stable_partition(all.begin() + i64(listed_), all.end(), [](Decl* d) { return d->is_buffer != 0; });
}

// --- if ------------------------------------------------------------------------------

void read_if(Parser* p, Scope* scope) {
  Value* cond = read_value(p, scope, PRIO_ALL, 0);
  if (!cond->type || cond->type->kind != TYPE_BOOL)
    parse_error(p, "The if condition value must be of type bool, not: " + type_text_or_none(cond->type));
  bool single = read_body_opener(p);

  Scope* then_scope = new_scope(scope, SCOPE_BINDING);
  Scope* else_scope = new_scope(scope, SCOPE_BINDING);

  for (Decl* d : cond->true_decls) add_not_null(then_scope, d);
  read_statements(p, then_scope, single ? 1 : 0);
  // Code after the if runs only when the condition was false.
  if (then_scope->did_exit)
    for (Decl* d : cond->false_decls) add_not_null(scope, d);
  for (Decl* d : cond->false_decls) add_not_null(else_scope, d);

  bool has_else = false;
  next_token(p, true, true, false);
  if (p->kind == TOK_WORD && p->is("else")) {
    has_else = true;
    next_token(p, true, true);
    next_token(p, true, true, false);
    if (p->kind == TOK_WORD && p->is("if")) {
      next_token(p, true, true);
      // An "else if" nests like "else { if ... }".
      NestingGuard level(p, NEST_BLOCK);
      read_if(p, else_scope);
    } else {
      bool else_single = read_body_opener(p);
      read_statements(p, else_scope, else_single ? 1 : 0);
    }
  }

  for (Scope* branch : {then_scope, else_scope}) {
    if (branch->did_exit) continue;
    for (Decl* d : branch->maybe_null) scope->set_maybe_null(d);
  }
  if (has_else) {
    for (Decl* d : then_scope->not_null)
      if (std::find(else_scope->not_null.begin(), else_scope->not_null.end(), d) != else_scope->not_null.end())
        add_not_null(scope, d);
  } else {
    for (Decl* d : cond->false_decls)
      if (std::find(then_scope->not_null.begin(), then_scope->not_null.end(), d) != then_scope->not_null.end())
        add_not_null(scope, d);
  }

  AstNode* n = scope->build->make_func_lived<AstNode>();
  n->kind = AST_IF;
  n->value = cond;
  n->scope = then_scope;
  n->else_scope = else_scope;
  scope->ast.push_back(n);
}

// --- while ---------------------------------------------------------------------------

void read_while(Parser* p, Scope* scope) {
  Scope* fs = scope->find(SCOPE_FUNCTION);
  if (!fs || !fs->func) parse_error(p, "Missing function scope for while loop (bug)");
  Func* func = fs->func;
  func->get_ast();

  u8 was_in_loop = p->in_loop;
  p->in_loop = 1;
  Chunk* start = statement_chunk(p);
  Value* first_cond = nullptr;
  VscopeMark mark(scope);
  RepeatCheck repeat(was_in_loop, func, scope);
  KeepCheck keep(was_in_loop, func, scope);
  Scope* first = read_while_once(p, scope, nullptr, &first_cond);
  bool repeats = repeat.repeats(first, mark);
  bool kept = keep.keeps(first, mark);
  mark.restore();
  p->in_loop = was_in_loop;
  if (!kept) drop_loop_locals(func, first);

  Value* cond = first_cond;
  Scope* loop = first;
  if (repeats) {
    repeat.replay();
  } else if (!kept) {
    set_chunk(p, start);
    loop = read_while_once(p, scope, &first->continue_maybe_null, &cond);
  }

  if (!loop->did_exit)
    for (Decl* d : loop->maybe_null) scope->set_maybe_null(d);
  for (Decl* d : first->continue_maybe_null) scope->set_maybe_null(d);
  if (p->in_loop) drop_loop_locals(func, loop);
  for (Decl* d : loop->break_maybe_null) scope->set_maybe_null(d);
  // The loop ends when the condition is false.
  for (Decl* d : cond->false_decls) add_not_null(scope, d);

  AstNode* n = scope->build->make_func_lived<AstNode>();
  n->kind = AST_WHILE;
  n->value = cond;
  n->scope = loop;
  scope->ast.push_back(n);
}

// --- break and continue --------------------------------------------------------------

void read_break(ParseContext* ctx, Scope* scope) {
  Scope* loop = enclosing_loop(scope);
  if (!loop) error_at(ctx, "Using 'break' without being inside a loop");
  null_loop_gc_locals(loop, scope);
  collect_unset(scope, loop, loop->break_maybe_null);
  AstNode* n = scope->build->make_func_lived<AstNode>();
  n->kind = AST_BREAK;
  scope->ast.push_back(n);
  scope->did_exit = 1;
}

void read_break_wrapper(Parser* p, Scope* scope) { read_break(p->context, scope); }

void read_continue(Parser* p, Scope* scope) {
  Scope* loop = enclosing_loop(scope);
  if (!loop) parse_error(p, "Using 'continue' without being inside a loop");
  null_loop_gc_locals(loop, scope);
  if (p->in_loop) collect_unset(scope, loop, loop->continue_maybe_null);
  Build* b = scope->build;
  if (Decl* index = loop->each_index) {
    Value* step = value_math(value_decl(index), value_int(1, index->type), OP_ADD, index->type);
    scope->ast.push_back(ast_assign_node(b, value_decl(index), step));
  }
  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = AST_CONTINUE;
  scope->ast.push_back(n);
  scope->did_exit = 1;
}

}  // namespace tesk
