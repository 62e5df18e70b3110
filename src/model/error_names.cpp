#include "model/error_names.h"

#include "driver/name_hash.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

ErrorCode error_code_of(std::string_view name) { return name_hash_u32(name); }

void read_error_name(Parser* p, ErrorMap* errors) {
  next_token(p, true, false);
  // The name follows the "!" directly: "! name" is not an error name.
  if (next_token(p, false, false) != TOK_WORD) parse_error(p, cat({"Invalid error name syntax: ", p->token()}));
  std::string_view name = p->token();
  ErrorCode code = error_code_of(name);
  if (errors->contains(name)) parse_error(p, cat({"Duplicate error name: ", name}));
  // Error lists are short; a code must name one error wherever it is handled.
  for (const auto& [other, other_code] : *errors) {
    if (other_code == code) {
      parse_error(p, cat({"It seems that 2 different error names are resolving to the same hash, try picking a "
                          "different error name: ",
                          name}));
    }
  }
  errors->set(name, code);
}

void read_error_names(Parser* p, ErrorMap* errors) {
  while (next_token(p, true, false, false) == TOK_SYMBOL && p->is("!")) read_error_name(p, errors);
}

}  // namespace tesk
