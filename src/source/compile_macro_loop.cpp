// "#loop": the kind word is checked here; the loops over globals, objects, properties,
// tests and macro values arrive with the compile-time loop reader.
#include "driver/build.h"
#include "source/compile_macro_parse.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

void parse_compile_loop(Parser* p, Scope* scope) {
  next_token(p, true, false);
  if (p->is("classes")) parse_error(p, "loop 'classes' feature under construction");
  if (p->kind == TOK_WORD && (p->is("globals") || p->is("object") || p->is("properties") || p->is("tests") ||
                              p->is("macro_values"))) {
    parse_error(p, cat({"#loop ", p->token(), " is not available yet"}));
  }
  parse_error(p, cat({"Unexpected token: '", p->token(), "'. Expected tokens after '#loop' are: classes"}));
}

// No loop frame is ever pushed until the loop reader exists.
void next_compile_loop(Parser* p, CompileMacroFrame*) { parse_bug(p, "Unexpected compile loop frame"); }

}  // namespace tesk
