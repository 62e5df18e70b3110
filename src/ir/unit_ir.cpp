#include "ir/unit_ir.h"

#include "ir/data.h"
#include "ir/types.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

void ir_intrinsics(TextWriter& w) {
  w << "declare ptr @llvm.frameaddress(i32) nocallback nofree nosync nounwind readnone willreturn\n"
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

void ir_alias(TextWriter& w, Func* func, Func* first) {
  w << "@" << func->export_name << " = alias " << ir_type(func->ir_return_type) << " (";
  bool any = false;
  for (FuncArg* arg : func->args) {
    if (any) w << ", ";
    any = true;
    w << ir_type(arg->decl->type);
  }
  if (func->varargs) {
    if (any) w << ", ";
    w << "...";
  }
  w << "), ptr @" << first->export_name << "\n\n";
}

namespace {

bool is_emitted(Func* f) { return f->used && !f->no_body && !f->is_generic && !f->template_; }

}  // namespace

std::string unit_ir_text(IrUnit* u) {
  Unit* unit = u->unit;
  for (Func* f : unit->funcs) {
    if (!f->used) continue;
    for (StringConst* sc : f->used_strings) ir_string_global(u, sc);
    for (Func* c : f->called) declare_used_func(u, c);
  }

  TextWriter w(32000);
  ir_intrinsics(w);
  w << "\n";
  for (Global* g : unit->globals)
    if (g->used) ir_declare_global(u, g);
  w.append(u->globals_text);
  w << "\n";
  w.append(u->decls);
  w << "\n";
  w.append(u->strings_text);
  w << "\n";

  for (Func* f : unit->funcs) {
    if (!is_emitted(f)) continue;
    w << "; Function: " << f->display_name << "\n";
    w << "; Location: " << (f->file ? std::string_view(f->file->path) : std::string_view());
    if (f->body_chunk) {
      w << " @ Line: ";
      w.append_u64(f->body_chunk->line);
    }
    w << "\n";
    auto found = u->bodies.find(f->ir_text);
    if (found != u->bodies.end()) {
      ir_alias(w, f, found->second);
      continue;
    }
    u->bodies.emplace(std::string_view(f->ir_text), f);
    w << "define dso_local " << ir_type(f->ir_return_type) << " @" << f->export_name << f->ir_text << "\n";
  }

  w << "\n";
  w << "attributes #0 = { \"frame-pointer\"=\"all\" }\n";
  w << "\n";
  return w.to_string();
}

}  // namespace tesk
