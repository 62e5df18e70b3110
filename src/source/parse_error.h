#pragma once
// Parse errors and the readers of names and number tokens.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "source/records.h"

namespace tesk {

// Reports the problem at the parser's position and abandons the code being parsed:
// prints the "# Parser error" report and exits with code 1 (command line), prints and
// raises ParseFailure (watch mode), or records a Diagnostic and raises (language server).
[[noreturn]] void parse_error(Parser* p, std::string_view message);
// The report text that parse_error prints (everything, the final marker line included).
std::string parse_error_report(Parser* p, std::string_view message);

// Kinds of recursive reading, each limited on its own: values (groups, prefix signs,
// interpolation, arguments), blocks (statements, `if`, closures), types and macro
// expansions.
enum NestingKind : u8 { NEST_VALUE, NEST_BLOCK, NEST_TYPE, NEST_MACRO, NEST_KINDS };
inline constexpr u64 kMaxNesting = 1000;

// One open level of a recursive reader, counted per thread. The level past kMaxNesting
// is a parse error at the parser's position (the token that opened it), long before
// the native stack of the front-end thread runs out.
class NestingGuard {
 public:
  NestingGuard(Parser* p, NestingKind kind);
  ~NestingGuard();
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  NestingKind kind_;
};

// "Invalid identifier name: '" + the current token + "' | Expected syntax: [a-zA-Z_]".
[[noreturn]] void error_invalid_identifier(Parser* p);

std::string read_word(Parser* p, bool skip_blanks, bool skip_newlines);
std::string read_word_any(Parser* p, bool skip_blanks, bool skip_newlines);
bool accept_token(Parser* p, std::string_view text, bool skip_blanks, bool skip_newlines, bool consume);

// A resolved identifier, or the failure message when the name cannot be resolved.
struct IdentifierResult {
  Identifier* id = nullptr;
  std::string error;
  bool ok() const { return id != nullptr; }
};
IdentifierResult read_identifier(Parser* p, Scope* scope, bool skip_blanks, bool skip_newlines);
Identifier* resolve_identifier(Parser* p, Scope* scope, bool skip_blanks, bool skip_newlines);
IdentifierRef* last_identifier_ref(Parser* p);

// Value of the current int, hex or octal token; 0 for other kinds or texts that do not
// convert. A value that does not fit in 64 bits is a parse error.
u64 token_int_value(Parser* p);
// Value of the current number token as a float; nullopt stands for the error `nan`.
std::optional<f64> token_float_value(Parser* p);

// Types separated by "," up to the symbol closer (consumed). `void` is never listed; it
// is an error unless allowed, and allowed only once.
std::vector<Type*> read_type_list(Parser* p, Scope* scope, std::string_view closer, bool void_allowed);

}  // namespace tesk
