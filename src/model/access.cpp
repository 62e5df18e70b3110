// Access levels.
#include "model/access.h"

#include "driver/build.h"
#include "driver/name_hash.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/records.h"
#include "util/strings.h"

namespace tesk {

u64 read_access_sign(Parser* p) {
  std::string_view t = p->token();
  if (t == "+") return ACCESS_PUBLIC;
  if (t == "~") return ACCESS_READONLY;
  if (t == "-") return ACCESS_PRIVATE;
  parse_error(p, cat({"Expected '+' (public), '~' (read-only) or '-' (private). Found: '", t, "'"}));
}

AccessLevel read_access_level(Parser* p) {
  u64 d = read_access_sign(p);
  next_token(p, false, false, false);
  if (!p->is("[")) return d + 4 * 8 + 4 * 64;
  next_token(p, false, false);  // "["
  next_token(p, false, false);
  u64 n = 4, pk = 4;
  for (;;) {
    if (p->is("]")) break;
    if (p->is("ns")) {
      next_token(p, false, false);
      n = read_access_sign(p);
      next_token(p, false, false);
    } else if (p->is("pkg")) {
      next_token(p, false, false);
      pk = read_access_sign(p);
      next_token(p, false, false);
    } else {
      parse_error(p, cat({"Expected 'ns', 'pkg' or ']'. Found: '", p->token(), "'"}));
    }
  }
  if (n < d) parse_error(p, "Namespace access level cannot be less strict than the default access level");
  if (pk < d) parse_error(p, "Package access level cannot be less strict than the default access level");
  if (pk > n) parse_error(p, "Package access level cannot be less strict than the namespace access level");
  return d + n * 8 + pk * 64;
}

AccessCheck check_access(SourceFile* accessing, SourceFile* owning, AccessLevel access, bool write) {
  AccessCheck r;
  if (accessing->ignore_access || accessing == owning) return r;
  Namespace* a_ns = accessing->ns;
  Namespace* o_ns = owning ? owning->ns : nullptr;
  u64 level;
  if (a_ns && a_ns == o_ns)
    level = (access >> 3) & 7;
  else if (a_ns && o_ns && a_ns->package == o_ns->package)
    level = (access >> 6) & 7;
  else
    level = access & 7;
  if (level == ACCESS_READONLY) {
    if (!write) return r;
    r.code = name_hash_u32("readonly");
    r.message = "readonly";
    return r;
  }
  if (level == ACCESS_PUBLIC) return r;
  r.code = name_hash_u32("private");
  r.message = "private";
  return r;
}

void require_access(Parser* p, AccessLevel access, SourceFile* owning, bool write, std::string_view what) {
  SourceFile* accessing = p->chunk ? p->chunk->file : nullptr;
  if (!accessing) return;
  AccessCheck r = check_access(accessing, owning, access, write);
  if (r.ok()) return;
  if (r.message == "readonly")
    parse_error(p, cat({"Cannot modify this ", what, " because it's defined as read-only"}));
  parse_error(p, cat({"Cannot access this ", what, " because it's defined as private"}));
}

std::string access_level_sign(AccessLevel access) {
  u64 d = access & 7;
  if (d == ACCESS_READONLY) return "~";
  if (d == ACCESS_PUBLIC) return "+";
  return "-";
}

bool is_private_access(AccessLevel access) { return (access & 7) == ACCESS_PRIVATE; }

}  // namespace tesk
