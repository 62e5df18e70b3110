// The LLVM checks of the IR writer tests, built into this test program too.
#include "../ir/llvm_check.cpp"
