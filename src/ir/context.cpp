#include "ir/context.h"

#include "driver/errors.h"
#include "source/records.h"

namespace tesk {

IrFunc::IrFunc(IrUnit* ir_unit, Func* ir_func) : unit(ir_unit), func(ir_func) {
  start = new IrBlock("start");
  code = new IrBlock("code");
  blocks.push_back(start);
  blocks.push_back(code);
}

IrFunc::~IrFunc() {
  for (IrBlock* b : blocks) delete b;
}

IrUnit* get_unit_ir(Unit* unit) {
  if (unit->ir) return unit->ir;
  IrUnit* u = unit->build->make<IrUnit>();
  u->unit = unit;
  u->build = unit->build;
  unit->ir = u;
  return u;
}

void set_active_ir_func(IrUnit* u, IrFunc* f) {
  u->func = f;
  u->block = f->code;
}

void clear_active_ir_func(IrUnit* u) {
  u->func = nullptr;
  u->block = nullptr;
  u->continue_block = nullptr;
  u->break_block = nullptr;
  u->vscope_block = nullptr;
}

IrFunc* active_ir_func(IrUnit* u) {
  if (!u->func) ir_error(u, "Missing active func (bug)");
  return u->func;
}

void set_active_ir_block(IrUnit* u, IrBlock* block) { u->block = block; }

IrBlock* active_ir_block(IrUnit* u) {
  if (!u->block) ir_error(u, "Missing active block (bug)");
  return u->block;
}

TextWriter& active_ir_text(IrUnit* u) { return active_ir_block(u)->text; }

IrBlock* new_ir_block(IrFunc* f, std::string_view prefix) {
  std::string name;
  name.reserve(prefix.size() + 8);
  name += prefix;
  name += '_';
  name += std::to_string(f->block_counter++);
  auto* b = new IrBlock(std::move(name));
  f->blocks.push_back(b);
  return b;
}

std::string ir_alloca_bytes(IrFunc* f, u64 size) {
  std::string t = new_ir_temp(f->unit);
  TextWriter& w = f->start->text;
  w << "  " << t << " = alloca [";
  w.append_u64(size);
  w << " x i8], align 8\n";
  return t;
}

std::string new_ir_temp(IrUnit* u) {
  if (!u->func) ir_error(u, "Missing IR function");
  return "%." + std::to_string(u->func->temp_counter++);
}

void ir_error(IrUnit* u, std::string_view message) {
  std::string text = "# IR Error: ";
  text += message;
  build_error(u->build, text);
}

}  // namespace tesk
