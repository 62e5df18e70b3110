#pragma once
// Forward declarations of every record, so headers can point at each other.
#include <cstdint>

namespace tesk {

using u8 = uint8_t;
using u32 = uint32_t;
using u64 = uint64_t;
using i64 = int64_t;
using f64 = double;

// driver
struct Build;
struct BuildStamp;
struct CliArgs;
struct Target;
struct BuildMessage;
struct Diagnostic;
// source
struct Chunk;
struct ParseContext;
struct Parser;
struct Package;
struct PackageConfig;
struct Namespace;
struct Unit;
struct SourceFile;
struct UseEntry;
struct LinkLibrary;
struct Macro;
struct MacroPatternItem;
struct CompileMacroFrame;
struct IdentifierRef;
// model
struct Type;
struct FuncInfo;
struct Class;
struct Property;
struct Group;
struct ClassExtend;
struct GenericName;
struct AllocatorPool;
struct Scope;
struct Identifier;
struct Decl;
struct Func;
struct FuncArg;
struct FuncAst;
struct Global;
struct Alias;
struct Enum;
struct Trait;
// expr / stmt
struct Value;
struct AstNode;
// ir
struct IrUnit;
struct IrFunc;
struct IrBlock;
struct StringConst;
// tools
struct JsonValue;
struct LspContext;

}  // namespace tesk
