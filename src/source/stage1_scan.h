#pragma once
// The scan of a function header, shared by Stage 1 and the class-body reader, and the
// header rules that the signature reader applies the same way.
#include "model/generics.h"  // read_generic_names
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// Skips the rest of a function header after the "(" of its argument list (keeping the
// positions of the return type and the body) and skips the body.
void func_scan_header(Func* func, Parser* p);

// Whether the token in hand (read or peeked with blanks and line breaks skipped) lies
// past the end of the function's header: the end of the text, or, for a function
// without a body, a token on a later line. Such a declaration ends at its line, so the
// next declaration is not taken for its return type, errors or flags.
bool header_ended(Parser* p, Func* func);

// Whether the token in hand comes after the place of a return type: "{", "!", ";", an
// @word or a $word.
bool ends_return_type(Parser* p);

}  // namespace tesk
