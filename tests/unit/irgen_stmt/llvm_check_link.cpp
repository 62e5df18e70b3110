// The LLVM checker of the IR writer tests, linked into this test executable too.
#include "../ir/llvm_check.cpp"
