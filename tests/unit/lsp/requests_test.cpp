// Methods, the documents the editor has open, builds per request and the published
// diagnostics.
#include "fixture.h"

namespace tesk::lsptest {
namespace {

const std::string kCapabilities =
    R"({"capabilities":{"textDocumentSync":{"openClose":true,"change":1,"save":1},)"
    R"("documentFormattingProvider":false,"definitionProvider":true,)"
    R"("completionProvider":{"triggerCharacters":[".",":"]},)"
    R"("signatureHelpProvider":{"triggerCharacters":["(",","],"retriggerCharacters":[" "]}}})";

std::string publish(const std::string& path, const std::string& diagnostics) {
  return R"({"method":"textDocument/publishDiagnostics","params":{"uri":"file://)" + path +
         R"(","diagnostics":[)" + diagnostics + "]}}";
}

// One published error diagnostic; line and character 0-based.
std::string error(const std::string& message, int l1, int c1, int l2, int c2) {
  auto pos = [](int l, int c) {
    return R"({"line":)" + std::to_string(l) + R"(,"character":)" + std::to_string(c) + "}";
  };
  return R"({"severity":1,"message":)" + quoted(message) + R"(,"range":{"start":)" + pos(l1, c1) +
         R"(,"end":)" + pos(l2, c2) + "}}";
}

const std::string kGood = "fn one(a: int) int {\n    return a\n}\n";
const std::string kBadType = "fn one(a: Nope) int {\n    return 0\n}\n";

TEST(LspRequests, InitializeAnswersTheCapabilitiesEveryTime) {
  Server s;
  s.send(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})");
  s.send(R"({"id":2,"method":"initialize"})");
  s.send(R"({"method":"initialized","params":{}})");
  EXPECT_EQ(s.take(), (std::vector<std::string>{R"({"id":1,"result":)" + kCapabilities + "}",
                                                R"({"id":2,"result":)" + kCapabilities + "}"}));
}

TEST(LspRequests, ShutdownThenOnlyExitCounts) {
  TempDir t;
  std::string path = t.file("app.tesk", kBadType);
  Server s;
  s.send(R"({"id":3,"method":"shutdown"})");
  EXPECT_EQ(s.take(), (std::vector<std::string>{R"({"id":3,"result":{}})"}));
  s.save(path);
  s.send(R"({"id":4,"method":"initialize"})");
  s.send(R"({"id":5,"method":"nonsense"})");
  EXPECT_TRUE(s.take().empty());
  EXPECT_EQ(s.send_exit(R"({"method":"exit"})"), 0);

  Server direct;
  EXPECT_EQ(direct.send_exit(R"({"method":"exit"})"), 0);
}

// A request is logged and answered "method not found" with its id as it came; a
// notification is only logged.
TEST(LspRequests, UnsupportedRequestsGetMethodNotFound) {
  Server s;
  s.send(R"({"id":9,"method":"textDocument/hover"})");
  s.send(R"({"id":10})");
  s.send(R"({"id":"a1","method":"textDocument/references"})");
  s.send(R"({"method":"$/setTrace"})");
  s.send(R"({"id":null,"method":"odd"})");
  const std::string not_found = R"(,"error":{"code":-32601,"message":"method not found"}})";
  EXPECT_EQ(s.take(), (std::vector<std::string>{log_body(3, "Unsupported method: textDocument/hover"),
                                                R"({"id":9)" + not_found, log_body(3, "Unsupported method: "),
                                                R"({"id":10)" + not_found,
                                                log_body(3, "Unsupported method: textDocument/references"),
                                                R"({"id":"a1")" + not_found, log_body(3, "Unsupported method: $/setTrace"),
                                                log_body(3, "Unsupported method: odd")}));
}

TEST(LspRequests, ParseErrorOfTheEditorTextIsPublished) {
  TempDir t;
  std::string path = t.file("app.tesk", kGood);  // the disk holds good text
  Server s;
  s.open(path, kGood + "fn two(a int) {\n}\n");
  EXPECT_TRUE(s.take().empty());
  s.save(path);
  EXPECT_EQ(s.take(), (std::vector<std::string>{
                          publish(path, error("Expected token: ':', instead of: 'int'", 3, 9, 3, 12))}));
  EXPECT_EQ(s.ctx.published, (std::vector<std::string>{path}));

  // Fixed in the editor: the file gets an empty list, once.
  s.change(path, kGood);
  s.save(path);
  EXPECT_EQ(s.take(), (std::vector<std::string>{publish(path, "")}));
  EXPECT_TRUE(s.ctx.published.empty());
  s.save(path);
  EXPECT_TRUE(s.take().empty());
}

TEST(LspRequests, ErrorsOfSeveralTasksGoInOneNotification) {
  TempDir t;
  std::string path = t.file("app.tesk", "fn one(a: Nope) {\n}\nfn two(b: Nada) {\n}\n");
  Server s;
  s.save(path);
  EXPECT_EQ(s.take(),
            (std::vector<std::string>{publish(path, error("Unknown identifier: 'Nope'", 0, 10, 0, 14) + "," +
                                                        error("Unknown identifier: 'Nada'", 2, 10, 2, 14))}));
}

TEST(LspRequests, BuildErrorIsLoggedAsTheFirstMessage) {
  TempDir t;
  std::string path = t.file("app.tesk", "use nopkg:x\n" + kGood);
  Server s;
  s.save(path);
  EXPECT_EQ(s.take(), (std::vector<std::string>{log_body(1, "Cannot load package 'nopkg', missing config file")}));
  // Only a save publishes or logs what the build found.
  s.at(2, "definition", path, 0, 0);
  EXPECT_EQ(s.take(), (std::vector<std::string>{R"({"id":2,"result":{}})"}));
}

TEST(LspRequests, OnlyTheFirstContentChangeIsKept) {
  TempDir t;
  std::string path = t.file("app.tesk", kGood);
  Server s;
  s.send(R"({"method":"textDocument/didChange","params":{"textDocument":{"uri":"file://)" + path +
         R"("},"contentChanges":[{"text":)" + quoted(kBadType) + R"(},{"text":)" + quoted(kGood) + "}]}}");
  EXPECT_EQ(*s.ctx.documents.find(path), kBadType);
  s.send(R"({"method":"textDocument/didChange","params":{"textDocument":{"uri":"file://)" + path +
         R"("},"contentChanges":[]}})");
  EXPECT_EQ(*s.ctx.documents.find(path), "");
  s.send(R"({"method":"textDocument/didClose","params":{"textDocument":{"uri":"file://)" + path + R"("}}})");
  EXPECT_FALSE(s.ctx.documents.contains(path));
  // Closed: the disk text (with the error) is built.
  t.file("app.tesk", kBadType);
  s.save(path);
  EXPECT_EQ(s.take(), (std::vector<std::string>{publish(path, error("Unknown identifier: 'Nope'", 0, 10, 0, 14))}));
}

TEST(LspRequests, DiagnosticsOfFilesTheBuildDidNotReadStay) {
  TempDir t;
  std::string bad = t.file("a/bad.tesk", kBadType);
  std::string other = t.file("b/other.tesk", kGood);
  Server s;
  s.save(bad);
  EXPECT_EQ(s.take().size(), 1u);
  s.save(other);  // does not read bad.tesk, which still exists
  EXPECT_TRUE(s.take().empty());
  EXPECT_EQ(s.ctx.published, (std::vector<std::string>{bad}));
  std::remove(bad.c_str());
  s.save(other);  // gone: its diagnostics are cleared
  EXPECT_EQ(s.take(), (std::vector<std::string>{publish(bad, "")}));
  EXPECT_TRUE(s.ctx.published.empty());
}

TEST(LspRequests, UnansweredCursorRequestsGetEmptyAnswers) {
  TempDir t;
  std::string path = t.file("app.tesk", kGood);
  Server s;
  s.at(5, "definition", path, 1, 0);
  s.at(6, "completion", path, 1, 0);
  s.at(7, "signatureHelp", path, 1, 0);
  EXPECT_EQ(s.take(), (std::vector<std::string>{R"({"id":5,"result":{}})",
                                                R"({"id":6,"result":{"isIncomplete":false,"items":[]}})",
                                                R"({"id":7,"result":{}})"}));
  // Without a uri no build runs, and completion answers with an empty object too.
  for (const char* method : {"definition", "completion", "signatureHelp"}) {
    s.send(R"({"id":8,"method":"textDocument/)" + std::string(method) + R"(","params":{}})");
  }
  EXPECT_EQ(s.take(), (std::vector<std::string>(3, R"({"id":8,"result":{}})")));
  // A string id is answered with 0.
  s.send(R"({"id":"x","method":"initialize"})");
  EXPECT_EQ(s.take(), (std::vector<std::string>{R"({"id":0,"result":)" + kCapabilities + "}"}));
}

TEST(LspRequests, BuildOptionErrorsAreLogged) {
  TempDir t;
  Server s;
  s.at(3, "definition", t.path + "/missing.tesk", 0, 0);
  EXPECT_EQ(s.take(), (std::vector<std::string>{log_body(3, "File not found: " + t.path + "/missing.tesk"),
                                                R"({"id":3,"result":{}})"}));
  // A directory, an option or nothing as the path would make the option parser print
  // its usage and end the server: no build runs.
  for (std::string path : {t.path, std::string("-h"), std::string("")}) {
    s.at(4, "definition", path, 0, 0);
    s.save(path);
    EXPECT_EQ(s.take(), (std::vector<std::string>{R"({"id":4,"result":{}})"})) << path;
  }
}

}  // namespace
}  // namespace tesk::lsptest
