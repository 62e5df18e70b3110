#pragma once
// Parses and verifies IR text with LLVM, then compiles it for every target triple, so
// an invalid instruction fails a test even without a golden text.
#include <string>
#include <vector>

namespace tesk::test {

const std::vector<std::string>& target_triples();
// Empty when the text parses, verifies and compiles for every triple; otherwise the
// first problem, with the triple it was found for.
std::string llvm_check(const std::string& ir_text);
// Whether the function of the parsed text carries the function attribute.
bool llvm_function_has_attribute(const std::string& ir_text, const std::string& func, const std::string& attr);

// The text compiled for this machine, so tests can call its functions and check what
// the written instructions compute, not only how they read.
class JitUnit {
 public:
  explicit JitUnit(const std::string& ir_text);
  ~JitUnit();
  JitUnit(const JitUnit&) = delete;
  JitUnit& operator=(const JitUnit&) = delete;
  // Empty when the text compiled.
  const std::string& error() const { return error_; }
  // The function's address, cast to the C type the test calls it through.
  template <typename Fn>
  Fn* function(const std::string& name) {
    return reinterpret_cast<Fn*>(address(name));
  }

 private:
  void* address(const std::string& name);
  void* engine_ = nullptr;
  void* context_ = nullptr;
  std::string error_;
};

}  // namespace tesk::test
