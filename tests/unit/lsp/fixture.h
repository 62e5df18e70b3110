#pragma once
// A language server driven with in-memory input and output: bytes go in through
// lsp_receive, framed answers are collected and split back into their bodies.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/errors.h"
#include "tools/lsp.h"
#include "util/errors.h"
#include "util/fs.h"

namespace tesk::lsptest {

// A fresh directory under /tmp, by its real path, removed with everything in it.
struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/tesk-lsp-XXXXXX";
    path = path_real(::mkdtemp(tmpl));
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& rel, const std::string& text) const {
    std::string full = path_join(path, rel);
    std::system(("mkdir -p '" + path_dir(full) + "'").c_str());
    write_file(full, text);
    return full;
  }
};

inline std::string frame(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A JSON string literal of the text (for embedding source texts in messages).
inline std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

struct Server {
  LspContext ctx;
  std::string out;  // every framed byte written so far
  size_t read_pos = 0;

  Server() {
    ctx.output = &out;
    set_exit_throws(true);
  }
  ~Server() { set_exit_throws(false); }

  void receive(const std::string& bytes) { lsp_receive(&ctx, bytes); }
  void send(const std::string& body) { receive(frame(body)); }

  // Sends the message; the exit code when the server ended the process, else -1.
  int send_exit(const std::string& body) {
    try {
      send(body);
    } catch (const ExitRequest& e) {
      return e.code;
    }
    return -1;
  }

  // Bodies written since the last call; a frame that is not well formed fails the test.
  std::vector<std::string> take() {
    std::vector<std::string> bodies;
    const std::string head = "Content-Length: ";
    while (read_pos < out.size()) {
      EXPECT_EQ(out.compare(read_pos, head.size(), head), 0) << out.substr(read_pos);
      size_t crlf = out.find("\r\n\r\n", read_pos);
      if (crlf == std::string::npos) {
        ADD_FAILURE() << "unterminated header: " << out.substr(read_pos);
        break;
      }
      size_t n = std::stoul(out.substr(read_pos + head.size(), crlf - read_pos - head.size()));
      bodies.push_back(out.substr(crlf + 4, n));
      EXPECT_EQ(bodies.back().size(), n);
      read_pos = crlf + 4 + n;
    }
    return bodies;
  }

  // Messages about a document, built with the uri of the path.
  void open(const std::string& path, const std::string& text) {
    send(R"({"method":"textDocument/didOpen","params":{"textDocument":{"uri":"file://)" + path +
         R"(","text":)" + quoted(text) + "}}}");
  }
  void change(const std::string& path, const std::string& text) {
    send(R"({"method":"textDocument/didChange","params":{"textDocument":{"uri":"file://)" + path +
         R"("},"contentChanges":[{"text":)" + quoted(text) + "}]}}");
  }
  void save(const std::string& path) {
    send(R"({"method":"textDocument/didSave","params":{"textDocument":{"uri":"file://)" + path + R"("}}})");
  }
  // A cursor request; line and character 0-based as the editor sends them.
  void at(int id, const std::string& method, const std::string& path, int line, int character) {
    send(R"({"id":)" + std::to_string(id) + R"(,"method":"textDocument/)" + method +
         R"(","params":{"textDocument":{"uri":"file://)" + path + R"("},"position":{"line":)" +
         std::to_string(line) + R"(,"character":)" + std::to_string(character) + "}}}");
  }
};

inline std::string log_body(int type, const std::string& message) {
  return R"({"method":"window/logMessage","params":{"type":)" + std::to_string(type) + R"(,"message":)" +
         quoted(message) + "}}";
}

}  // namespace tesk::lsptest
