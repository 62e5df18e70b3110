#pragma once
// Parsers over literal texts, and capture of the reports that errors print.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "source/parser.h"
#include "source/records.h"
#include "util/errors.h"
#include "util/fs.h"

namespace tesk {
namespace testutil {

// A fresh directory under /tmp, by its real path, removed with everything in it.
struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/tesk-source-XXXXXX";
    path = path_real(::mkdtemp(tmpl));
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Writes the file (its directories made first); exec makes it executable.
  std::string file(const std::string& rel, const std::string& text, bool exec = false) const {
    std::string full = path_join(path, rel);
    std::system(("mkdir -p '" + path_dir(full) + "'").c_str());
    write_file(full, text);
    if (exec) ::chmod(full.c_str(), 0755);
    return full;
  }
  std::string dir(const std::string& rel) const {
    std::string full = path_join(path, rel);
    std::system(("mkdir -p '" + full + "'").c_str());
    return full;
  }
};

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
