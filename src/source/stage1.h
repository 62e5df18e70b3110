#pragma once
// Stage 1: the scan of every file's top-level declarations. Each declaration gets its
// record and its name; bodies, types and values are kept as chunks for later stages.
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// Every queued file (files queued meanwhile included), the check for `main`, Stage 2.1.
void stage_1_all(Build* b);
// Stage 1 alone: every queued file and the check for `main`, without the later stages.
void stage_1_scan_all(Build* b);
// The scan of one file (a stage task). Declared with the other stages in driver/stages.h.
void stage_1_file(SourceFile* file);

// Readers, called with the parser on the keyword; each leaves it on the last token of
// its declaration.
Func* stage_1_fn(Parser* p, SourceFile* file, AccessLevel access, bool no_body);
void stage_1_global(Parser* p, SourceFile* file, AccessLevel access, bool shared, bool shared_unchecked,
                    bool is_extern);
void stage_1_use(Parser* p, SourceFile* file);
void stage_1_link(Parser* p, SourceFile* file);
void stage_1_test(Parser* p, SourceFile* file);
void stage_1_class(Parser* p, SourceFile* file, AccessLevel access, u64 kind);
void stage_1_mode(Parser* p, SourceFile* file, AccessLevel access);
void stage_1_trait(Parser* p, SourceFile* file);
void stage_1_extend(Parser* p, SourceFile* file);
void stage_1_alias(Parser* p, SourceFile* file, AccessLevel access, u64 kind);
void stage_1_enum(Parser* p, SourceFile* file, AccessLevel access);
void stage_1_macro(Parser* p, SourceFile* file);

// Shared rules of the readers.
// The next token, which must be a word ("Invalid identifier name: ..." otherwise).
std::string_view stage_1_word(Parser* p, bool skip_blanks, bool skip_newlines);
// Peeks on the same line: true, and the token is consumed, when its text is `text`.
bool stage_1_take(Parser* p, std::string_view text);
// The declared name: a word on the same line.
std::string_view stage_1_name(Parser* p);
// A generic name list written right after the name ("[" with no blank), else null.
GenericNames* stage_1_generic_names(Parser* p);
// Registers a top-level name in the file's namespace ("Name already used: " on a clash).
void stage_1_register(Parser* p, SourceFile* file, std::string_view name, Identifier* id);

}  // namespace tesk
