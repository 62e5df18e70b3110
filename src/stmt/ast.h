#pragma once
// Statement nodes of a function body. A node points at its Scopes, so statements added
// to a scope later are still run by the node.
#include <string>

#include "util/fwd.h"

namespace tesk {

enum AstKind : u64 {
  AST_VALUE = 0,
  AST_DECLARE = 1,
  AST_RETURN = 2,
  AST_WHILE = 3,
  AST_IF = 4,
  AST_ASSIGN = 5,
  AST_BREAK = 6,
  AST_CONTINUE = 7,
  AST_NONE = 8,  // never built
  AST_COMMENT = 9,
  AST_SCOPE = 10,
  AST_EACH = 11,
  AST_VSCOPE_RETURN = 12,
  AST_DECL_OFFSET = 13,
  AST_UNREACHABLE = 14,
  AST_ZERO_MEMORY = 15,
};

struct AstNode {
  u64 kind = AST_VALUE;
  Decl* decl = nullptr;
  Value* value = nullptr;
  Value* value2 = nullptr;
  Scope* scope = nullptr;
  Scope* else_scope = nullptr;
  std::string text;
  u64 number = 0;
};

}  // namespace tesk
