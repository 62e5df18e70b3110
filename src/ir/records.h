#pragma once
// Records of the IR text writer: a unit's IR context, the function and block being
// written, and the string constants of a unit.
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ir/text_store.h"
#include "ir/text_writer.h"
#include "util/fwd.h"
#include "util/ordered_map.h"

namespace tesk {

// One basic block: its label and its lines (labels are added when blocks are joined).
struct IrBlock {
  std::string name;
  TextWriter text{1024};

  explicit IrBlock(std::string block_name) : name(std::move(block_name)) {}
};

// The IR of one function while it is being written. Owns its blocks.
struct IrFunc {
  IrUnit* unit = nullptr;
  Func* func = nullptr;
  std::vector<IrBlock*> blocks;  // output order = creation order
  IrBlock* start = nullptr;      // entry block: stack allocations, then a jump to "code"
  IrBlock* code = nullptr;       // where the body's statements begin
  u64 block_counter = 0;
  u64 temp_counter = 0;

  // Makes the two fixed blocks "start" and "code".
  IrFunc(IrUnit* ir_unit, Func* ir_func);
  ~IrFunc();
  IrFunc(const IrFunc&) = delete;
  IrFunc& operator=(const IrFunc&) = delete;
};

// The per-unit IR context that every writer receives first.
struct IrUnit {
  Unit* unit = nullptr;
  Build* build = nullptr;
  IrFunc* func = nullptr;
  IrBlock* block = nullptr;
  IrBlock* continue_block = nullptr;
  IrBlock* break_block = nullptr;
  IrBlock* vscope_block = nullptr;
  std::vector<Global*> globals;          // globals whose line is written
  OrderedMap<u8> names;                  // "@" symbols written at unit level, in order
  std::vector<Func*> funcs;              // functions with a "declare" line
  std::unordered_set<Func*> funcs_set;   // same as funcs, for lookups
  // The functions' IR texts until the unit is assembled (a function written again
  // leaves its old text there until then).
  TextStore func_texts;
  // Function IR text -> first function of the unit with that text. The keys view
  // Func.ir_text, which outlives the unit's assembly.
  std::unordered_map<std::string_view, Func*, TextHash> bodies;
  TextWriter decls{4000};
  TextWriter globals_text{4000};
  TextWriter strings_text{16000};
};

// One string constant of a unit, written as the global "@string.<index>".
struct StringConst {
  Unit* unit = nullptr;
  std::string text;
  u64 index = 0;
  u8 used = 0;
  u8 emitted = 0;
};

}  // namespace tesk
