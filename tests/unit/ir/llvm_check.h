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

}  // namespace tesk::test
