// Framing of incoming messages, framing of answers, and the server's read loop.
#include <unistd.h>

#include "fixture.h"

namespace tesk::lsptest {
namespace {

// Notifications: an unknown one is only logged, so each message gives one line.
const std::string kPing = R"({"method":"ping"})";
const std::string kPong = R"({"method":"pong"})";
const std::string kPingLog = log_body(3, "Unsupported method: ping");
const std::string kPongLog = log_body(3, "Unsupported method: pong");

TEST(LspTransport, FramesTheCompactTextByByteLength) {
  JsonPtr v = json_object();
  json_set(*v, "a", json_string("\xC3\xA9"));  // one character, two bytes
  EXPECT_EQ(lsp_frame(*v), "Content-Length: 10\r\n\r\n{\"a\":\"\xC3\xA9\"}");
}

TEST(LspTransport, MessageSplitAtAnyByteIsReadAsWhole) {
  const std::string input = frame(kPing) + frame(kPong);
  for (size_t cut = 1; cut < input.size(); cut++) {
    Server s;
    s.receive(input.substr(0, cut));
    s.receive(input.substr(cut));
    EXPECT_EQ(s.take(), (std::vector<std::string>{kPingLog, kPongLog})) << "cut at " << cut;
    EXPECT_TRUE(s.ctx.input.empty());
    EXPECT_EQ(s.ctx.state, LSP_FRAME_HEADERS);
  }
  // And one byte per read, including between the CR and LF of the empty line.
  Server s;
  for (char c : input) s.receive(std::string(1, c));
  EXPECT_EQ(s.take(), (std::vector<std::string>{kPingLog, kPongLog}));
}

TEST(LspTransport, IncompleteInputKeepsItsState) {
  Server s;
  s.receive("Content-Length: 24\r\nX-A: b\r");
  EXPECT_EQ(s.ctx.state, LSP_FRAME_HEADERS);
  EXPECT_EQ(s.ctx.offset, 20u);  // the first line is read, the second waits for its LF
  s.receive("\n\r\n{\"id\":7,");
  EXPECT_EQ(s.ctx.state, LSP_FRAME_CONTENT);
  EXPECT_EQ(*s.ctx.headers.find("x-a"), "b");
  EXPECT_TRUE(s.take().empty());
  s.receive("\"method\":\"ping\"}");
  EXPECT_EQ(s.take(), (std::vector<std::string>{
                          kPingLog, R"({"id":7,"error":{"code":-32601,"message":"method not found"}})"}));
  EXPECT_TRUE(s.ctx.headers.empty());
}

TEST(LspTransport, SeveralMessagesInOneRead) {
  Server s;
  s.receive(frame(kPing) + frame(kPong) + frame(kPing));
  EXPECT_EQ(s.take(), (std::vector<std::string>{kPingLog, kPongLog, kPingLog}));
}

TEST(LspTransport, HeaderNamesAndValues) {
  const std::string n = std::to_string(kPing.size());
  struct Case {
    std::string headers;
    bool ok;
  };
  const Case cases[] = {
      {"Content-Length: " + n, true},
      {"CONTENT-LENGTH:" + n, true},
      {"content-length:   " + n + "   ", true},
      {"Content-Length:\t" + n + "\t", true},
      {" \tContent-Length\t :  \t" + n + "\t ", true},  // blanks first, then tabs
      {"Content-Type: application/vscode-jsonrpc; charset=utf-8\r\nContent-Length: " + n, true},
      {"Content-Length: 1\r\nContent-Length: " + n, true},  // the later line wins
      {"Content-Length:\t " + n, false},  // the blank inside the tab stays
      {"Content-Length: +" + n, false},
      {"Content-Length: " + n + "x", false},
      {"Content-Length:", false},
  };
  for (const Case& c : cases) {
    Server s;
    s.receive(c.headers + "\r\n\r\n" + kPing);
    s.send(kPong);
    std::vector<std::string> want;
    if (c.ok) {
      want = {kPingLog, kPongLog};
    } else {
      want = {log_body(3, "Invalid content"), kPongLog};
    }
    EXPECT_EQ(s.take(), want) << c.headers;
  }
}

// A header block without a length, or with one above 256 MiB, is refused with a log
// line; its body, arriving in pieces, is skipped up to the next "Content-Length" header.
TEST(LspTransport, MissingOrOversizedLengthIsRefusedAndReadingGoesOn) {
  const std::string limit = "268435456";
  const std::pair<std::string, std::string> cases[] = {
      {"X-A: b", "Missing Content-Length header"},
      {"Content-Length: 268435457", "Content-Length 268435457 is above the limit of " + limit + " bytes"},
      {"Content-Length: 9223372036854775807",
       "Content-Length 9223372036854775807 is above the limit of " + limit + " bytes"},
      {"Content-Length: 99999999999999999999999999",
       "Content-Length 99999999999999999999999999 is above the limit of " + limit + " bytes"},
  };
  for (const auto& [headers, log] : cases) {
    Server s;
    s.receive(headers + "\r\n\r\n{\"method\":");
    s.receive("\"ping\"}Content-Le");
    s.receive("ngth: " + std::to_string(kPong.size()) + "\r\n\r\n" + kPong);
    EXPECT_EQ(s.take(), (std::vector<std::string>{log_body(3, log), log_body(3, "Invalid content"), kPongLog}))
        << headers;
    EXPECT_TRUE(s.ctx.input.empty());
  }
  // The limit itself is a length to wait for.
  Server s;
  s.receive("Content-Length: " + limit + "\r\n\r\n{");
  EXPECT_TRUE(s.take().empty());
  EXPECT_EQ(s.ctx.state, LSP_FRAME_CONTENT);
}

// What the server echoes stays valid JSON: control bytes escaped, bad UTF-8 replaced.
TEST(LspTransport, EchoedTextIsValidJson) {
  Server s;
  s.receive(frame("\x01\xFF{") + frame(std::string(R"({"method":"a)") + "\x1b" + R"(b"})"));
  EXPECT_EQ(s.take(), (std::vector<std::string>{
                          "{\"method\":\"window/logMessage\",\"params\":{\"type\":3,\"message\":"
                          "\"Invalid JSON-RPC input: \\u0001\xEF\xBF\xBD{\"}}",
                          log_body(3, "Invalid content"),
                          "{\"method\":\"window/logMessage\",\"params\":{\"type\":3,\"message\":"
                          "\"Unsupported method: a\\u001bb\"}}"}));
}

TEST(LspTransport, BodyThatIsNotJsonIsDroppedAndReadingGoesOn) {
  Server s;
  s.receive(frame("{\"id\":1,") + frame(kPong));
  EXPECT_EQ(s.take(), (std::vector<std::string>{log_body(3, "Invalid JSON-RPC input: {\"id\":1,"),
                                                log_body(3, "Invalid content"), kPongLog}));
}

TEST(LspTransport, MalformedHeadersAreSkippedUpToTheNextMessage) {
  const std::string bad[] = {
      "garbage without colon\r\n" + frame(kPing),  // no colon
      "Content-Length: 3\rX" + frame(kPing),       // CR without LF
      "X-A: b\r\n\rX" + frame(kPing),              // empty line: CR without LF
  };
  for (const std::string& input : bad) {
    Server s;
    s.receive(input);
    s.send(kPong);
    EXPECT_EQ(s.take(), (std::vector<std::string>{log_body(3, "Invalid headers"), kPingLog, kPongLog}))
        << input;
  }
}

TEST(LspTransport, BodyOfAnUnreadableLengthIsSkipped) {
  Server s;
  // The skipped body arrives in pieces, and so does the next header.
  s.receive("Content-Length: 2x\r\n\r\n{\"method\":");
  s.receive("\"ping\"}Content-Le");
  s.receive("ngth: " + std::to_string(kPong.size()) + "\r\n\r\n" + kPong);
  EXPECT_EQ(s.take(), (std::vector<std::string>{log_body(3, "Invalid content"), kPongLog}));
}

TEST(LspTransport, AnswerIsWrittenOncePerMessage) {
  Server s;
  s.ctx.id = 4;
  lsp_respond(&s.ctx, json_int(1));
  lsp_respond_empty(&s.ctx);
  lsp_log(&s.ctx, "still written", 3);
  EXPECT_EQ(s.take(), (std::vector<std::string>{R"({"id":4,"result":1})", log_body(3, "still written")}));
  EXPECT_EQ(s.ctx.responded, 1);
  lsp_reset_message(&s.ctx);
  EXPECT_EQ(s.ctx.responded, 0);
  EXPECT_EQ(s.ctx.id, 0);
  lsp_respond_empty(&s.ctx);
  EXPECT_EQ(s.take(), (std::vector<std::string>{R"({"id":0,"result":{}})"}));
}

// The read loop on a pipe: everything written before the end of input is answered,
// then the server stops with exit code 1.
TEST(LspTransport, ReadLoopEndsAtEndOfInput) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string input = frame(kPing) + "Content-Length: 99\r\n\r\n{";  // the last one never ends
  ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  ::close(fds[1]);
  Server s;
  int code = -1;
  try {
    lsp_run(&s.ctx, fds[0]);
  } catch (const ExitRequest& e) {
    code = e.code;
  }
  ::close(fds[0]);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(s.take(),
            (std::vector<std::string>{kPingLog, log_body(3, "No more input (EOF). Stopping LSP server")}));
}

TEST(LspCommand, UsageAndExitCodes) {
  struct Case {
    std::vector<std::string> args;
    int code;
  };
  const Case cases[] = {{{}, 1}, {{"start"}, 1}, {{"run", "-h"}, 0}, {{"x", "--help"}, 0}};
  for (const Case& c : cases) {
    set_exit_throws(true);
    testing::internal::CaptureStdout();
    int code = -1;
    try {
      lsp_command(c.args);
    } catch (const ExitRequest& e) {
      code = e.code;
    }
    std::string out = testing::internal::GetCapturedStdout();
    set_exit_throws(false);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(out, "\n# Start the LSP server\n> tesk lsp run\n\n");
  }
}

}  // namespace
}  // namespace tesk::lsptest
