#pragma once
// Parsers over literal texts, and capture of the reports that errors print.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "source/parser.h"
#include "source/records.h"
#include "util/errors.h"

namespace tesk {
namespace testutil {

inline SourceFile* text_file(Build* b, std::string text, std::string path = "/src/test.tesk") {
  SourceFile* f = b->make<SourceFile>();
  f->build = b;
  f->path = std::move(path);
  f->text = std::move(text);
  Chunk* c = b->make<Chunk>();
  c->build = b;
  c->file = f;
  c->content = f->text;
  f->chunk = c;
  return f;
}

inline Parser* text_parser(Build* b, std::string text, std::string path = "/src/test.tesk") {
  return new_parser(text_file(b, std::move(text), std::move(path))->chunk, nullptr);
}

// A build whose errors are printed and then raised (as in watch mode), so tests
// can go on after them.
inline std::unique_ptr<Build> watch_build() {
  auto b = std::make_unique<Build>();
  b->watch_mode = 1;
  return b;
}

struct Caught {
  bool parse_failure = false;
  bool build_failure = false;
  std::string out;  // what was printed
};

template <typename F>
Caught catch_error(F&& f) {
  Caught c;
  testing::internal::CaptureStdout();
  try {
    f();
  } catch (const ParseFailure&) {
    c.parse_failure = true;
  } catch (const BuildFailure&) {
    c.build_failure = true;
  }
  std::fflush(stdout);
  c.out = testing::internal::GetCapturedStdout();
  return c;
}

// The text after "# Error: " in a parse report, or the message of a build error box.
inline std::string error_line(const std::string& out) {
  size_t at = out.find("# Error: ");
  if (at != std::string::npos) {
    size_t end = out.find('\n', at);
    return out.substr(at + 9, end - at - 9);
  }
  const std::string box = "-----------------------------\n";
  at = out.find(box);
  if (at == std::string::npos) return "";
  at += box.size();
  size_t end = out.find("\n" + box, at);
  return out.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace testutil
}  // namespace tesk
