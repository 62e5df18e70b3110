#include "ir/unit_ir.h"

#include <charconv>

#include "ir/data.h"
#include "ir/types.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

void ir_intrinsics(std::string& w) {
  w += "declare ptr @llvm.frameaddress(i32) nocallback nofree nosync nounwind readnone willreturn\n"
       "declare ptr @llvm.stacksave() nounwind\n"
       "declare i32 @llvm.eh.sjlj.setjmp(ptr) nounwind returns_twice\n"
       "declare void @llvm.eh.sjlj.longjmp(ptr) nounwind\n"
       // returns_twice: code after a setjmp call runs twice and must not be optimised as
       // if it ran once.
       "declare i32 @_setjmp(ptr) nounwind returns_twice\n"
       "declare void @longjmp(ptr, i32) nounwind\n"
       "declare void @llvm.memset.inline.p0.i64(ptr, i8, i64, i1)\n"
       "declare void @llvm.memcpy.p0.p0.i64(ptr, ptr, i64, i1)\n";
}

void ir_alias(std::string& w, Func* func, Func* first) {
  w += '@';
  w += func->export_name;
  w += " = alias ";
  w += ir_type(func->ir_return_type);
  w += " (";
  bool any = false;
  for (FuncArg* arg : func->args) {
    if (any) w += ", ";
    any = true;
    w += ir_type(arg->decl->type);
  }
  if (func->varargs) {
    if (any) w += ", ";
    w += "...";
  }
  w += "), ptr @";
  w += first->export_name;
  w += "\n\n";
}

namespace {

bool is_emitted(Func* f) { return f->used && !f->no_body && !f->is_generic && !f->template_; }

std::string_view file_path(Func* f) { return f->file ? std::string_view(f->file->path) : std::string_view(); }

// Room for the whole text, so it is assembled in one allocation: every piece's size,
// with a margin per function for its comment lines, head or alias line.
u64 unit_text_capacity(IrUnit* u) {
  u64 n = 1024 + u->globals_text.length + u->decls.length + u->strings_text.length;
  for (Func* f : u->unit->funcs) {
    if (!is_emitted(f)) continue;
    n += 96 + f->display_name.size() + file_path(f).size() + 2 * f->export_name.size() + f->ir_text.size();
  }
  return n;
}

}  // namespace

std::string unit_ir_text(IrUnit* u) {
  Unit* unit = u->unit;
  for (Func* f : unit->funcs) {
    if (!f->used) continue;
    for (StringConst* sc : f->used_strings) ir_string_global(u, sc);
    for (Func* c : f->called) declare_used_func(u, c);
  }
  for (Global* g : unit->globals)
    if (g->used) ir_declare_global(u, g);

  // One buffer for the whole unit: it is handed on as it is to the .ir file and LLVM.
  std::string w;
  w.reserve(unit_text_capacity(u));
  ir_intrinsics(w);
  w += '\n';
  u->globals_text.append_to(w);
  w += '\n';
  u->decls.append_to(w);
  w += '\n';
  u->strings_text.append_to(w);
  w += '\n';

  char line[24];
  for (Func* f : unit->funcs) {
    if (!is_emitted(f)) continue;
    w += "; Function: ";
    w += f->display_name;
    w += "\n; Location: ";
    w += file_path(f);
    if (f->body_chunk) {
      w += " @ Line: ";
      auto r = std::to_chars(line, line + sizeof line, f->body_chunk->line);
      w.append(line, r.ptr);
    }
    w += '\n';
    // One hash per function: the lookup is the insertion.
    auto [found, added] = u->bodies.emplace(f->ir_text, f);
    if (!added) {
      ir_alias(w, f, found->second);
      continue;
    }
    w += "define dso_local ";
    w += ir_type(f->ir_return_type);
    w += " @";
    w += f->export_name;
    w += f->ir_text;
    w += '\n';
  }

  w += "\nattributes #0 = { \"frame-pointer\"=\"all\" }\n\n";
  return w;
}

void release_function_texts(IrUnit* u) {
  std::unordered_map<std::string_view, Func*, TextHash>().swap(u->bodies);
  for (Func* f : u->unit->funcs) f->ir_text = {};
  u->func_texts.release();
}

}  // namespace tesk
