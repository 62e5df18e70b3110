#pragma once
// The on-demand tokenizer: a Parser stands on a byte position inside one file's content
// and reads the next token whenever a reader asks for it. Positions are byte based.
#include <initializer_list>
#include <string>
#include <string_view>

#include "source/records.h"

namespace tesk {

// Creation
Parser* new_parser(Chunk* chunk, Parser* parent);
Parser* sub_parser(Parser* p, Chunk* chunk);
void set_chunk(Parser* p, Chunk* chunk);

// Reading. Newlines are skipped only when both skip flags are set; advance false peeks.
u64 next_token(Parser* p, bool skip_blanks, bool skip_newlines, bool advance = true);
std::string token_text(Parser* p);
bool token_is(Parser* p, std::string_view text);
bool symbol_is(Parser* p, std::string_view text);
u8 char_at(Parser* p, u64 n);

// Positions
Chunk* chunk_here(Parser* p);
// A position needed only while the current statement is read (dies with the body).
Chunk* statement_chunk(Parser* p);
Chunk* chunk_at_token(Parser* p);
void save_position(Parser* p);
void restore_position(Parser* p);
void save_position2(Parser* p);
void restore_position2(Parser* p);
void advance_chars(Parser* p, u64 n);

// Skipping without building tokens
void skip_blanks(Parser* p, bool newlines_too);
void skip_word_chars(Parser* p);
u64 read_number_rest(Parser* p);
void skip_string_rest(Parser* p);
void skip_scope(Parser* p, std::string_view closer);
void skip_type(Parser* p);
void skip_qualified_name(Parser* p, bool skip_newlines);

// Expecting: each reads one token; a mismatch is a parse error.
void expect_token(Parser* p, std::string_view a, bool skip_blanks, bool skip_newlines);
void expect_token2(Parser* p, std::string_view a, std::string_view b, bool skip_blanks, bool skip_newlines,
                   bool advance = true);
void expect_token3(Parser* p, std::string_view a, std::string_view b, std::string_view c, bool skip_blanks,
                   bool skip_newlines);
void expect_token_in(Parser* p, std::initializer_list<std::string_view> list, bool skip_blanks, bool skip_newlines);
void expect_word(Parser* p, bool skip_blanks, bool skip_newlines);
void expect_string(Parser* p, bool skip_blanks, bool skip_newlines);
u64 expect_newline(Parser* p);
[[noreturn]] void error_unexpected_token(Parser* p);
[[noreturn]] void error_unexpected_eof(Parser* p);
[[noreturn]] void parse_bug(Parser* p, std::string_view message);
// "!", "!?", "_" or "->" follows on the same line: an error handler after a call.
bool peek_marker_token(Parser* p);

// Context and hints
Func* get_parser_func(Parser* p);
Func* parser_func_or_none(Parser* p);  // null stands for the error `none`
void push_type_hint(Parser* p, Type* type);
void pop_type_hint(Parser* p);

// Byte classes of the tokenizer.
constexpr bool is_digit_byte(u8 c) { return c >= '0' && c <= '9'; }
constexpr bool is_word_byte(u8 c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit_byte(c) || c == '_';
}

}  // namespace tesk
