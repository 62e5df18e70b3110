#pragma once
// Helpers shared by the if, while and each readers.
#include <string>
#include <vector>

#include "model/records.h"
#include "source/records.h"

namespace tesk {

std::string type_text_or_none(Type* t);
// "{" (false) or ":" (true: the body is one statement), newlines skipped before it.
bool read_body_opener(Parser* p);
// Appends the local to the scope's not-null list once, leaving its nullable list alone.
void add_not_null(Scope* scope, Decl* d);
// Takes the loop's locals (temporaries excepted) off the function's list of locals: a
// reading that is dropped must not lay out slots.
void drop_loop_locals(Func* func, Scope* loop);
// Before leaving or restarting a loop: every GC reference declared in it becomes null.
void null_loop_gc_locals(Scope* loop, Scope* scope);

// Keeps the returns of a loop's first (dropped) reading out of the value scope around the
// loop: the mark takes the scope's results when made and puts them back on `restore`.
struct VscopeMark {
  Scope* vscope = nullptr;
  size_t count = 0;
  Type* type = nullptr;
  explicit VscopeMark(Scope* scope);
  void restore();
  // The reading since the mark added results.
  bool moved() const;
};

// Inside a dropped reading, a nested loop's second reading is dropped too, and when its
// first reading left no local to unset at the next iteration it would read the same text
// from the same facts: it would repeat the first exactly. Replaying what the first did to
// the function's locals instead of reading again keeps nested loops from being read
// 2^depth times. Made right before the first reading (with the parser's `in_loop` as it
// was before that reading); `repeats` after it; `replay` in place of the second reading.
class RepeatCheck {
 public:
  RepeatCheck(u8 was_in_loop, Func* func, Scope* scope);
  ~RepeatCheck();
  RepeatCheck(const RepeatCheck&) = delete;
  RepeatCheck& operator=(const RepeatCheck&) = delete;
  // Ends the log. True when the second reading may be replaced by `replay`: `first` is
  // the first reading's loop scope, `mark` the value scope mark made before it.
  bool repeats(Scope* first, const VscopeMark& mark);
  void replay();

 private:
  RepeatCheck() = default;
  void start(Func* func, Scope* scope);
  void stop();
  // Ends the log. True when the reading left the build's counters, the value scope and
  // the lists carried out of the loop as they were; `ops` then gets the reading's log.
  bool ends_unchanged(Scope* first, const VscopeMark& mark, std::vector<LocalOp>* ops);
  static void count(Build* b, Func* func, FuncAst* ast, u64* into);
  static constexpr int kCounts = 15;
  friend class KeepCheck;
  FuncAst* ast_ = nullptr;  // null: not logging
  Func* func_ = nullptr;
  Scope* scope_ = nullptr;
  Scope* outside_ = nullptr;
  size_t from_ = 0;
  size_t outer_from_ = 0;
  u64 before_[kCounts] = {};
  std::vector<LocalOp> ops_;
};

// Outside a dropped reading, a first reading that left no local to unset at the next
// iteration and did nothing that only a first reading does (see `loop_mode_effects`)
// made what the second reading would make from the same facts. Instead of reading again,
// the first reading is kept and given what the second would have had: the numbers of the
// locals it declared move past the first reading's, its plain locals are listed after
// the temporaries as a fresh reading's would be, and the temporaries it took must be the
// ones a second reading would take. Made right before the first reading, with the
// parser's `in_loop` as it was before it; `keeps` after it, instead of dropping it.
class KeepCheck {
 public:
  KeepCheck(u8 was_in_loop, Func* func, Scope* scope);
  KeepCheck(const KeepCheck&) = delete;
  KeepCheck& operator=(const KeepCheck&) = delete;
  // Ends the log. True when `first` (the first reading's loop scope) is kept; its locals
  // are then renumbered and relisted.
  bool keeps(Scope* first, const VscopeMark& mark);

 private:
  bool takes_same_temps(const std::vector<LocalOp>& ops) const;
  void renumber(const std::vector<LocalOp>& ops);
  RepeatCheck log_;
  FuncAst* ast_ = nullptr;  // null: the first reading is not kept
  u64 effects_ = 0;
  u64 counter_ = 0;
  size_t listed_ = 0;
};

}  // namespace tesk
