#pragma once
// Named errors that abandon work. They unwind to the stage task, the watcher or the
// language server, which decide whether the build goes on.
#include <cstdint>
#include <string>

namespace tesk {

struct NamedError {
  uint32_t code;       // name hash of the error's name
  const char* name;    // "parse_error", "build_error", "stop_build", ...
  std::string message;
};

struct ParseFailure : NamedError {};  // raised by parse_error
struct BuildFailure : NamedError {};  // raised by build_error
struct StopBuild : NamedError {};     // raised once a language-server request is answered

// Internal: ends the process (exit code already printed), used where the
// command line would exit; tests catch it instead of dying.
struct ExitRequest {
  int code;
};

}  // namespace tesk
