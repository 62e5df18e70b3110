#pragma once
// Helpers shared by the if, while and each readers.
#include <string>

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
};

}  // namespace tesk
