#pragma once
// The record of a build that can stand for the next one: when the next build of the
// same project has the same command line, compiler and inputs, its result would be
// byte for byte the same, so it only links the objects again and prints what the
// recorded build printed.
#include <string>

#include "driver/build.h"

namespace tesk {

// Under the cache directory's lock, before any stage: when the record of the last
// build still holds, does what that build did after its front end (prints what it
// printed, links the same objects, takes its warnings into Build.messages) and
// returns true; the caller prints the warnings and finishes as after a full build.
bool stamp_replay(Build* b);
// A build that runs: removes the record (this build may replace objects) and, for a
// build that may leave one, starts recording what the front end reads.
void stamp_begin(Build* b);
// Before Stage 3.4: stops recording; nothing after the front end is an input.
void stamp_end_front_end(Build* b);
// After a successful link: writes the record for the next build.
void stamp_write(Build* b);
// The file of the record in the cache directory.
std::string stamp_path(const Build* b);

}  // namespace tesk
