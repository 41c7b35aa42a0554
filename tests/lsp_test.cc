// wendrix-lsp through a pipe: one session over a program of four files (one with CR LF line
// ends) and its instruction set, in a directory whose name needs escaping in a URI, with broken
// messages among the good ones. Every expected answer is worked out from the files below, and
// compared whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const char* const kIsa =
    "nop : 000000000000\nmovlw k8 : 1100 k7-0\nmovwf f5 : 0000001 f4-0\n"
    "add f5 \"w\" : 000111 0 f4-0\nadd f5 d1 : 000111 d0 f4-0\ngoto k9 : 101 k8-0\n";
const char* const kMain =
    "#include \"regs.inc\"\n__FUSE\tequ\t0\n__FUSEX\tequ\t0\n\torg\t0\nstart\tmovlw\tLIMIT\n"
    "\tmovwf\tPORT\n#include \"code.inc\"\n";
const char* const kRegs = "PORT\tequ\t$06\nLIMIT\tequ\tH'2A'+D'0'\n#include \"deep.inc\"\n";
const char* const kCode = "loop\tadd\tPORT,w\n\tgoto\tloop\n\tnop\t; idle\n\tadd\tPORT,1\n";

std::string frame(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A request, its file and position (line -1: none), and the answer without "jsonrpc" and "id".
// In both, @NAME stands for the URI of the workspace's file NAME.
struct Exchange {
  const char* method;
  const char* file;
  int line, character;
  const char* answer;
};

const Exchange kSession[] = {
    {"textDocument/hover", "code.inc", 0, 6,
     R"({"result":{"contents":{"kind":"markdown","value":"**add** at 0x002, word `1c6`\n\ninst.dat line 4: `add f5 \"w\"`\n\nbits: `0 0 0 1 1 1 0 f4 f3 f2 f1 f0`\n\nline 5 `add f5 d1`: an earlier definition fits first"}}})"},
    {"textDocument/hover", "code.inc", 2, 4,
     R"({"result":{"contents":{"kind":"markdown","value":"**nop** at 0x004, word `000`\n\ninst.dat line 1: `nop`\n\nbits: `0 0 0 0 0 0 0 0 0 0 0 0`"}}})"},
    {"textDocument/hover", "code.inc", 3, 2,
     R"({"result":{"contents":{"kind":"markdown","value":"**add** at 0x005, word `1e6`\n\ninst.dat line 5: `add f5 d1`\n\nbits: `0 0 0 1 1 1 d0 f4 f3 f2 f1 f0`\n\nline 4 `add f5 \"w\"`: operand 2 must be the literal \"w\""}}})"},
    {"textDocument/hover", "main.asm", 4, 13,
     R"({"result":{"contents":{"kind":"markdown","value":"**LIMIT** = `0x02a` (42)\n\nconstant defined at regs.inc:2"}}})"},
    {"textDocument/hover", "code.inc", 0, 1,
     R"({"result":{"contents":{"kind":"markdown","value":"**loop** = `0x002` (2)\n\nlabel defined at code.inc:1"}}})"},
    {"textDocument/hover", "deep.inc", 0, 1,
     R"({"result":{"contents":{"kind":"markdown","value":"**DEEP** = `0x007` (7)\n\nconstant defined at deep.inc:1"}}})"},
    {"textDocument/hover", "deep.inc", 1, 2,
     R"({"result":{"contents":{"kind":"markdown","value":"**nop** (no address), word `000`\n\ninst.dat line 1: `nop`\n\nbits: `0 0 0 0 0 0 0 0 0 0 0 0`"}}})"},
    {"textDocument/hover", "code.inc", 1, 0,
     R"({"result":{"contents":{"kind":"markdown","value":"**goto** at 0x003, word `a02`\n\ninst.dat line 6: `goto k9`\n\nbits: `1 0 1 k8 k7 k6 k5 k4 k3 k2 k1 k0`"}}})"},
    {"textDocument/hover", "main.asm", 99, 0, R"({"result":null})"},
    {"textDocument/hover", nullptr, -1, 0, R"({"result":null})"},
    {"textDocument/hover", "code.inc", -1, 0, R"({"result":null})"},
    {"textDocument/definition", "main.asm", 4, 13,
     R"({"result":{"uri":"@regs.inc","range":{"start":{"line":1,"character":0},"end":{"line":1,"character":5}}}})"},
    {"textDocument/definition", "regs.inc", 0, 1,
     R"({"result":{"uri":"@regs.inc","range":{"start":{"line":0,"character":0},"end":{"line":0,"character":4}}}})"},
    {"textDocument/definition", "main.asm", 0, 3,
     R"({"result":{"uri":"@regs.inc","range":{"start":{"line":0,"character":0},"end":{"line":0,"character":0}}}})"},
    {"textDocument/definition", "code.inc", 0, 6,
     R"({"result":[{"uri":"@inst.dat","range":{"start":{"line":3,"character":0},"end":{"line":3,"character":0}}},
                  {"uri":"@inst.dat","range":{"start":{"line":4,"character":0},"end":{"line":4,"character":0}}}]})"},
    {"textDocument/references", "regs.inc", 0, 1,
     R"({"result":[{"uri":"@main.asm","range":{"start":{"line":5,"character":7},"end":{"line":5,"character":11}}},
                  {"uri":"@regs.inc","range":{"start":{"line":0,"character":0},"end":{"line":0,"character":4}}},
                  {"uri":"@deep.inc","range":{"start":{"line":0,"character":9},"end":{"line":0,"character":13}}},
                  {"uri":"@code.inc","range":{"start":{"line":0,"character":9},"end":{"line":0,"character":13}}},
                  {"uri":"@code.inc","range":{"start":{"line":3,"character":5},"end":{"line":3,"character":9}}}]})"},
    {"textDocument/completion", "code.inc", 0, 14,
     R"({"result":[{"label":"w","kind":20,"detail":"literal operand of add"},
                  {"label":"PORT","kind":21,"detail":"0x006"},{"label":"LIMIT","kind":21,"detail":"0x02a"},{"label":"DEEP","kind":21,"detail":"0x007"},
                  {"label":"__FUSE","kind":21,"detail":"0x000"},{"label":"__FUSEX","kind":21,"detail":"0x000"},
                  {"label":"start","kind":6,"detail":"0x000"},{"label":"loop","kind":6,"detail":"0x002"}]})"},
    {"textDocument/completion", "main.asm", 5, 1,
     R"({"result":[{"label":"nop","kind":14,"detail":"nop"},{"label":"movlw","kind":14,"detail":"movlw k8"},
                  {"label":"movwf","kind":14,"detail":"movwf f5"},{"label":"add","kind":14,"detail":"add f5 \"w\" | add f5 d1"},
                  {"label":"goto","kind":14,"detail":"goto k9"},{"label":"org","kind":14,"detail":"directive"},
                  {"label":"equ","kind":14,"detail":"directive"},{"label":"ds","kind":14,"detail":"directive"}]})"},
    {"textDocument/documentSymbol", "main.asm", -1, 0,
     R"({"result":[{"name":"__FUSE","kind":14,"detail":"0x000","range":{"start":{"line":1,"character":0},"end":{"line":1,"character":6}},
                               "selectionRange":{"start":{"line":1,"character":0},"end":{"line":1,"character":6}}},
                  {"name":"__FUSEX","kind":14,"detail":"0x000","range":{"start":{"line":2,"character":0},"end":{"line":2,"character":7}},
                               "selectionRange":{"start":{"line":2,"character":0},"end":{"line":2,"character":7}}},
                  {"name":"org 0x000","kind":3,"range":{"start":{"line":3,"character":0},"end":{"line":3,"character":0}},
                               "selectionRange":{"start":{"line":3,"character":0},"end":{"line":3,"character":0}}},
                  {"name":"start","kind":12,"detail":"0x000","range":{"start":{"line":4,"character":0},"end":{"line":4,"character":5}},
                               "selectionRange":{"start":{"line":4,"character":0},"end":{"line":4,"character":5}}}]})"},
    // Per token: line step, start (from the last token's on the same line), length, type,
    // modifiers. Types: 0 mnemonic, 1 literal, 2 label, 3 symbol (a constant, or a name never
    // defined), 4 number, 5 directive, 6 comment; modifiers: 1 where it is defined, 2 a constant.
    {"textDocument/semanticTokens/full", "code.inc", -1, 0,
     R"({"result":{"data":[0,0,4,2,1, 0,5,3,0,0, 0,4,4,3,2, 0,5,1,1,0, 1,1,4,0,0, 0,5,4,2,0,
                           1,1,3,0,0, 0,4,6,6,0, 1,1,3,0,0, 0,4,4,3,2, 0,5,1,4,0]}})"},
    {"textDocument/semanticTokens/full", "regs.inc", -1, 0,
     R"({"result":{"data":[0,0,4,3,3, 0,5,3,5,0, 0,4,3,4,0, 1,0,5,3,3, 0,6,3,5,0, 0,4,5,4,0, 0,6,4,4,0, 1,0,8,5,0]}})"},
    {"textDocument/documentSymbol", "inst.dat", -1, 0, R"({"result":[]})"},
    {"textDocument/documentSymbol", "regs.inc", -1, 0,
     R"({"result":[{"name":"PORT","kind":14,"detail":"0x006","range":{"start":{"line":0,"character":0},"end":{"line":0,"character":4}},
                               "selectionRange":{"start":{"line":0,"character":0},"end":{"line":0,"character":4}}},
                  {"name":"LIMIT","kind":14,"detail":"0x02a","range":{"start":{"line":1,"character":0},"end":{"line":1,"character":5}},
                               "selectionRange":{"start":{"line":1,"character":0},"end":{"line":1,"character":5}}}]})"},
    {"textDocument/semanticTokens/full", "deep.inc", -1, 0,
     R"({"result":{"data":[0,0,4,3,3, 0,5,3,5,0, 0,4,4,3,2, 0,5,1,4,0, 1,1,3,0,0]}})"},
    {"workspace/nothing", nullptr, -1, 0, R"({"error":{"code":-32601}})"},
    {"textDocument/documentSymbol", nullptr, -1, 0, R"({"error":{"code":-32602}})"},
};

std::string with_uris(std::string text, const std::string& dir_uri) {
  for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir_uri + "/");
  return text;
}

// The server's messages, in order, read back from its framing.
std::vector<json> messages_of(const std::string& out) {
  std::vector<json> messages;
  for (size_t at = 0; (at = out.find("Content-Length: ", at)) != std::string::npos;) {
    size_t length = std::stoul(out.substr(at + 16));
    size_t body = out.find("\r\n\r\n", at) + 4;
    messages.push_back(json::parse(out.substr(body, length)));
    at = body + length;
  }
  return messages;
}

TEST(LanguageServer, SessionOverAProgramOfFourFiles) {
  ScratchDir dir;
  for (auto [name, text] : {std::pair{"inst.dat", kIsa},
                            {"main.asm", kMain},
                            {"regs.inc", kRegs},
                            {"deep.inc", "DEEP\tequ\tPORT+1\r\n\tnop\r\n"},
                            {"a.asm", "; another program\n"},
                            {"code.inc", kCode}}) {
    dir.write(std::string("work dir/") + name, text);
  }
  const std::string uri = "file://" + fs::canonical(dir.path).string() + "/work%20dir";
  const std::string code = json(uri + "/code.inc").dump();
  auto open = [&](const char* method, const std::string& document, const std::string& rest) {
    return frame(R"({"jsonrpc":"2.0","method":"textDocument/)" + std::string(method) +
                 R"(","params":{"textDocument":{"uri":)" + code + document + "}" + rest + "}}");
  };
  const std::string exit_message = frame(R"({"jsonrpc":"2.0","method":"exit"})");
  auto save = [&](const char* name) {
    return frame(
        R"({"jsonrpc":"2.0","method":"textDocument/didSave","params":{"textDocument":{"uri":")" +
        uri + "/" + name + R"("}}})");
  };
  std::string in =
      frame(R"({"jsonrpc":"2.0","id":0,"method":"textDocument/hover","params":{}})") +
      frame(R"({"jsonrpc":"2.0","id":100,"method":"initialize","params":{"rootUri":")" + uri +
            R"(","capabilities":{}}})") +
      "Content-Length:52\r\n\r\n"
      R"({"jsonrpc":"2.0","method":"initialized","params":{}})" +
      // The editor's text, unsaved, has a mistake that the file on disk has not; a save of
      // another file checks the program again.
      open("didOpen",
           R"(,"languageId":"asm","version":1,"text":)" +
               json(kCode + std::string("\tbogus\n")).dump(),
           "") +
      open("didChange", R"(,"version":2)",
           R"(,"contentChanges":[{"text":)" + json(kCode).dump() + "}]") +
      save("regs.inc") + save("inst.dat") + "Content-Type: nothing else\r\n\r\n" + frame("{oops}") +
      frame(R"({"jsonrpc":"2.0","id":101})") +
      frame(
          R"({"jsonrpc":"2.0","id":103,"method":"textDocument/hover","params":{"textDocument":{"uri":)" +
          code + R"(},"position":{"character":1}}})");
  for (size_t i = 0; i < std::size(kSession); ++i) {
    const Exchange& e = kSession[i];
    json params = json::object();
    if (e.file) params["textDocument"]["uri"] = uri + "/" + e.file;
    if (e.line >= 0) params["position"] = {{"line", e.line}, {"character", e.character}};
    in += frame(
        json{{"jsonrpc", "2.0"}, {"id", i + 1}, {"method", e.method}, {"params", params}}.dump());
  }
  in += frame(R"({"jsonrpc":"2.0","id":102,"method":"shutdown"})") + exit_message;
  dir.write("in.bin", in);
  dir.write("exit.bin", exit_message);
  std::string lsp = (fs::path(WENDRIX_EXE).parent_path() / "wendrix-lsp").string();
  // Exit after a shutdown is a success; without one, a failure.
  RunResult r =
      run_shell(dir, lsp + " < in.bin > out.bin; echo $?; " + lsp + " < exit.bin; echo $?");
  EXPECT_EQ(r.out, "0\n1\n");

  std::map<json, json> answers;
  std::vector<json> diagnostics;
  for (json m : messages_of(dir.read("out.bin"))) {
    EXPECT_EQ(m["jsonrpc"], "2.0");
    if (m.value("method", "") == "textDocument/publishDiagnostics")
      diagnostics.push_back(m["params"]);
    if (!m.contains("id")) continue;
    json id = m["id"];
    m.erase("jsonrpc"), m.erase("id");
    if (m.contains("error")) m["error"].erase("message");
    answers[id] = m;
  }
  EXPECT_EQ(answers[0], json::parse(R"({"error":{"code":-32002}})"));
  EXPECT_EQ(answers[nullptr], json::parse(R"({"error":{"code":-32700}})"));  // the bad JSON
  EXPECT_EQ(answers[101], json::parse(R"({"error":{"code":-32600}})"));
  // What the server offers: whole texts on every change, and the token types in the order the
  // semantic tokens above number them.
  EXPECT_EQ(answers[100],
            json::parse(R"({"result":{"serverInfo":{"name":"wendrix-lsp","version":"0.10"},
      "capabilities":{"textDocumentSync":{"openClose":true,"change":1,"save":true},"hoverProvider":true,
        "definitionProvider":true,"referencesProvider":true,"documentSymbolProvider":true,
        "completionProvider":{"triggerCharacters":[" ","\t",","]},
        "signatureHelpProvider":{"triggerCharacters":[" ","\t",","]},
        "renameProvider":{"prepareProvider":true},"codeActionProvider":{"codeActionKinds":["quickfix"]},
        "workspaceSymbolProvider":true,
        "semanticTokensProvider":{"full":true,"legend":{"tokenModifiers":["declaration","readonly"],
          "tokenTypes":["keyword","enumMember","function","variable","number","macro","comment"]}}}}})"));
  EXPECT_EQ(answers[102], json::parse(R"({"result":null})"));
  EXPECT_EQ(answers[103], json::parse(R"({"result":null})"));  // a position without a line
  for (size_t i = 0; i < std::size(kSession); ++i) {
    EXPECT_EQ(answers[i + 1], json::parse(with_uris(kSession[i].answer, uri)))
        << kSession[i].method;
  }

  // Every file of the program and its instruction set, after the open, the change and the saves
  // of an include and of the instruction set: the unsaved line's error at its mnemonic while it
  // is there, and all along the warning of the instruction before the first org in another file
  // (a typo hides nothing else: the statements that parsed are checked on).
  ASSERT_EQ(diagnostics.size(), 20u);
  std::set<std::string> files;
  for (size_t i = 0; i < diagnostics.size(); ++i) {
    files.insert(diagnostics[i]["uri"]);
    json expected = json::array();
    if (i < 5 && diagnostics[i]["uri"] == uri + "/code.inc") {
      expected = json::parse(
          R"([{"range":{"start":{"line":4,"character":1},"end":{"line":4,"character":6}},
          "severity":1,"code":"assembler","source":"wendrix","message":"bad instruction: no instruction is named 'bogus'"}])");
    }
    if (diagnostics[i]["uri"] == uri + "/deep.inc") {
      expected = json::parse(
          R"([{"range":{"start":{"line":1,"character":1},"end":{"line":1,"character":4}},"severity":2,"code":"no-address",
          "source":"wendrix","message":"code emitted at undefined address: the statement stands before the first org and has no address; its word is not stored"}])");
    }
    EXPECT_EQ(diagnostics[i]["diagnostics"], expected) << i;
  }
  EXPECT_EQ(json(files),
            json::parse(with_uris(
                R"(["@code.inc","@deep.inc","@inst.dat","@main.asm","@regs.inc"])", uri)));
}

// A client that makes every framing mistake, JSON that nests too deeply, messages that are no
// requests, reads that fail and a FIFO in the workspace; between them, questions about a program
// with a line of over 1022 characters, whose later lines must keep their editor positions. Each
// mistake costs at most the message it is in: the next one is answered.
TEST(LanguageServer, HostileTrafficAndPositionsAfterALongLine) {
  ScratchDir dir;
  dir.write("inst.dat", "nop : 000000000000\ngoto k9 : 101 k8-0\n");
  // Line 3 (from 0) is 1037 characters: its second piece starts with a tab and is a comment.
  dir.write("main.asm", "__FUSE\tequ\t0\n__FUSEX\tequ\t0\n\torg\t0\n; " + std::string(1020, 'x') +
                            "\t; more comment\nloop\tgoto\tloop\n\tnop\n");
  // A FIFO named like a program, a link that loops, a chain of directories deeper than the scan
  // goes: the scan for pipe.asm's program passes over all three.
  ASSERT_EQ(mkfifo((dir.path + "/pipe.asm").c_str(), 0600), 0);
  fs::create_symlink("loop.asm", dir.path + "/loop.asm");
  std::string deep = dir.path;
  for (int level = 0; level < 40; ++level) deep += "/d";
  fs::create_directories(deep);
  dir.write(deep.substr(dir.path.size() + 1) + "/far.asm", "#include \"pipe.asm\"\n");
  const std::string root = fs::canonical(dir.path).string();
  const std::string main_uri = "file://" + root + "/main.asm";
  auto request = [](int id, const char* method, const std::string& uri, int line, int character) {
    json params = {{"textDocument", {{"uri", uri}}}};
    if (line >= 0) params["position"] = {{"line", line}, {"character", character}};
    return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump();
  };
  std::string too_short = request(2, "textDocument/hover", main_uri, 4, 6);
  std::string in =
      frame(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"rootUri":"file://)" + root +
            R"("}})") +
      "Content-Length: 10\r\n\r\n" + too_short +  // the rest of it runs into the next header
      frame(request(3, "textDocument/hover", "file:///etc", 0, 0)) +
      // Longer than its body: the body ends where the next header starts.
      "Content-Length: 400\r\n\r\n" + R"({"jsonrpc":"2.0","id":4,"method":"workspace/nothing"})" +
      frame(request(5, "textDocument/hover", main_uri, 4, 6)) +
      "Content-Length: 99999999999999999999\r\n\r\n" + request(6, "shutdown", "", -1, 0) +
      frame(request(7, "textDocument/definition", main_uri, 4, 11)) +
      "Content-Type: nothing\r\n\r\n" + request(8, "shutdown", "", -1, 0) +
      "X-Long: " + std::string(10000, 'a') + "\r\n" +
      frame(request(9, "textDocument/documentSymbol", main_uri, -1, 0)) +
      frame(std::string(100000, '[') + std::string(100000, ']')) + frame("42") + frame("[1,2]") +
      // 512 levels are read (and refused as no object); 513 are not read.
      frame(std::string(513, '[') + std::string(513, ']')) +
      frame(std::string(512, '[') + std::string(512, ']')) +
      // Header lines may end with a line feed alone.
      "Content-Length: " +
      std::to_string(request(14, "textDocument/definition", main_uri, 4, 11).size()) + "\n\n" +
      request(14, "textDocument/definition", main_uri, 4, 11) +
      frame(request(10, "textDocument/hover", "file:///proc/self/mem", 0, 0)) +
      frame(request(11, "textDocument/documentSymbol", "file://" + root + "/pipe.asm", -1, 0)) +
      frame(request(12, "shutdown", "", -1, 0)) +
      frame(request(13, "textDocument/hover", main_uri, 4, 6)) +
      frame(R"({"jsonrpc":"2.0","method":"exit"})");
  dir.write("in.bin", in);
  std::string lsp = (fs::path(WENDRIX_EXE).parent_path() / "wendrix-lsp").string();
  RunResult r = run_shell(dir, "timeout 60 " + lsp + " < in.bin > out.bin; echo $?");
  EXPECT_EQ(r.out, "0\n");

  std::vector<json> answers;
  for (json m : messages_of(dir.read("out.bin"))) {
    m.erase("jsonrpc");
    answers.push_back(m);
  }
  const std::string goto_hover =
      R"({"contents":{"kind":"markdown","value":"**goto** at 0x000, word `a00`\n\ninst.dat line 2: `goto k9`\n\nbits: `1 0 1 k8 k7 k6 k5 k4 k3 k2 k1 k0`"}})";
  const std::string line4 = R"({"start":{"line":4,"character":0},"end":{"line":4,"character":4}})";
  EXPECT_EQ(json(answers), json::parse(R"([
    {"id":1,"result":)" + answers[0]["result"].dump() +
                                       R"(},
    {"id":null,"error":{"code":-32700,"message":"the message is not JSON"}},
    {"id":3,"result":null},
    {"id":4,"error":{"code":-32601,"message":"no method workspace/nothing"}},
    {"id":5,"result":)" + goto_hover + R"(},
    {"id":7,"result":{"uri":")" + main_uri +
                                       R"(","range":)" + line4 + R"(}},
    {"id":9,"result":[
      {"name":"__FUSE","kind":14,"detail":"0x000","range":{"start":{"line":0,"character":0},"end":{"line":0,"character":6}},"selectionRange":{"start":{"line":0,"character":0},"end":{"line":0,"character":6}}},
      {"name":"__FUSEX","kind":14,"detail":"0x000","range":{"start":{"line":1,"character":0},"end":{"line":1,"character":7}},"selectionRange":{"start":{"line":1,"character":0},"end":{"line":1,"character":7}}},
      {"name":"org 0x000","kind":3,"range":{"start":{"line":2,"character":0},"end":{"line":2,"character":0}},"selectionRange":{"start":{"line":2,"character":0},"end":{"line":2,"character":0}}},
      {"name":"loop","kind":12,"detail":"0x000","range":)" +
                                       line4 + R"(,"selectionRange":)" + line4 + R"(}]},
    {"id":null,"error":{"code":-32600,"message":"the message nests too deeply"}},
    {"id":null,"error":{"code":-32600,"message":"a message is an object"}},
    {"id":null,"error":{"code":-32600,"message":"a message is an object"}},
    {"id":null,"error":{"code":-32600,"message":"the message nests too deeply"}},
    {"id":null,"error":{"code":-32600,"message":"a message is an object"}},
    {"id":14,"result":{"uri":")" + main_uri +
                                       R"(","range":)" + line4 + R"(}},
    {"id":10,"result":null},
    {"id":11,"result":[]},
    {"id":12,"result":null},
    {"id":13,"error":{"code":-32600,"message":"the server is shut down"}}
  ])"));
}

// The editor's features on a two-file program that has a typo, an undefined symbol, a comment
// naming a label, a trailing comma, a label with a colon, a value too wide for its field, and a
// symbol used in both files. Each answer is worked out from the files below.
TEST(LanguageServer, EditorFeaturesOnABrokenProgram) {
  ScratchDir dir;
  dir.write("inst.dat",
            "movwf f5 : 0000001 f4-0\nadd f5 \"w\" : 000111 0 f4-0\nadd f5 d1 : 000111 d0 f4-0\n"
            "put k8 : 1110 k7-0\ngoto k9 : 101 k8-0\nbsf f5 b3 : 0101 b2-0 f4-0\n");
  dir.write("main.asm",
            "; main.asm -- blink a LED\n"                                         // 0
            "; wendrix-lint: page-bit 0 set \"bsf 3,5\" clear \"bcf 3,5\"\n"      // 1
            "__FUSE\tequ\t0\n__FUSEX\tequ\t0\n#include \"regs.inc\"\n\torg\t0\n"  // 2-5
            "main:\tput\tDELAY\n\tadd\tLED,\n\tcal\tpressed\n\tgoto\tfar\n"       // 6-9
            "\tput\tUNDEF\n\tmovwf\t300\n\torg\t$200\nfar\tgoto\tfar\n"           // 10-13
            "\tadd\tLED, w\n");                                                   // 14
  dir.write("regs.inc", "LED\tequ\t6\nDELAY\tequ\t$2A\n");
  const std::string root = fs::canonical(dir.path).string();
  const std::string main_uri = "file://" + root + "/main.asm",
                    regs_uri = "file://" + root + "/regs.inc";
  int id = 0;
  auto ask = [&id](const char* method, const std::string& uri, int line, int character,
                   json extra = json::object()) {
    json params = {{"textDocument", {{"uri", uri}}}};
    if (line >= 0) params["position"] = {{"line", line}, {"character", character}};
    params.update(extra);
    return frame(
        json{{"jsonrpc", "2.0"}, {"id", ++id}, {"method", method}, {"params", params}}.dump());
  };
  auto diagnostic = [](int line, int character, const char* code, const char* message) {
    return json{{"range",
                 {{"start", {{"line", line}, {"character", character}}},
                  {"end", {{"line", line}, {"character", character + 1}}}}},
                {"code", code},
                {"message", message}};
  };
  std::string in;  // appended in order: each question takes the next id
  in += frame(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"rootUri":"file://)" +
              root + R"("}})");
  in += frame(
      json{{"jsonrpc", "2.0"},
           {"method", "textDocument/didOpen"},
           {"params", {{"textDocument", {{"uri", main_uri}, {"text", dir.read("main.asm")}}}}}}
          .dump());
  in += ask("textDocument/hover", main_uri, 6, 6);           // 1: put DELAY
  in += ask("textDocument/hover", main_uri, 10, 2);          // 2: put UNDEF
  in += ask("textDocument/hover", main_uri, 0, 4);           // 3: "main" in a comment
  in += ask("textDocument/definition", main_uri, 0, 3);      // 4: the same
  in += ask("textDocument/completion", main_uri, 7, 9);      // 5: after "add LED,"
  in += ask("textDocument/signatureHelp", main_uri, 7, 9);   // 6: the same
  in += ask("textDocument/hover", main_uri, 11, 8);          // 7: the number 300
  in += ask("textDocument/prepareRename", main_uri, 6, 7);   // 8: a mnemonic
  in += ask("textDocument/prepareRename", main_uri, 11, 8);  // 9: a number
  in += ask("textDocument/prepareRename", main_uri, 7, 6);   // 10: LED
  in += ask("textDocument/rename", regs_uri, 0, 1, {{"newName", "LAMP"}});  // 11
  in += ask("textDocument/rename", regs_uri, 0, 1, {{"newName", "org1"}});  // 12: no name
  json fixes = {diagnostic(6, 4, "label-colon", "the label keeps its colon"),
                diagnostic(11, 7, "operand-range", "value 300"),
                diagnostic(9, 5, "page", "...: select page 1 before it"),
                diagnostic(14, 9, "literal-blank", "the blank before 'w'")};
  in += ask(
      "textDocument/codeAction", main_uri, -1, 0,  // 13
      {{"range",
        {{"start", {{"line", 6}, {"character", 0}}}, {"end", {{"line", 11}, {"character", 0}}}}},
       {"context", {{"diagnostics", fixes}}}});
  in += ask("workspace/symbol", "", -1, 0, {{"query", "E"}});             // 14
  in += ask("textDocument/hover", "file://" + root + "/inst.dat", 3, 0);  // 15
  in += frame(R"({"jsonrpc":"2.0","id":99,"method":"shutdown"})");
  in += frame(R"({"jsonrpc":"2.0","method":"exit"})");
  dir.write("in.bin", in);
  std::string lsp = (fs::path(WENDRIX_EXE).parent_path() / "wendrix-lsp").string();
  RunResult r = run_shell(dir, "timeout 60 " + lsp + " < in.bin > out.bin; echo $?");
  EXPECT_EQ(r.out, "0\n");
  std::map<int, json> answers;
  json main_diagnostics;
  for (json m : messages_of(dir.read("out.bin"))) {
    if (m.value("method", "") == "textDocument/publishDiagnostics" &&
        m["params"]["uri"] == main_uri) {
      main_diagnostics = json::array();
      for (const json& d : m["params"]["diagnostics"]) {
        main_diagnostics.push_back({d["range"]["start"]["line"], d["code"]});
      }
    }
    if (m.contains("id") && m["id"].is_number()) {
      if (m.contains("error")) m["error"].erase("message");
      answers[m["id"].get<int>()] = m.contains("result") ? m["result"] : m["error"];
    }
  }
  // The typo hides nothing: the other lines' findings stay.
  EXPECT_EQ(main_diagnostics, json::parse(R"([[6,"label-colon"],[7,"assembler"],[8,"assembler"],
                                              [10,"assembler"],[11,"operand-range"],
                                              [14,"assembler"],[14,"literal-blank"]])"));
  auto md = [](const std::string& text) {
    return json{{"contents", {{"kind", "markdown"}, {"value", text}}}};
  };
  const std::string put =
      "\n\ninst.dat line 4: `put k8`\n\nbits: `1 1 1 0 k7 k6 k5 k4 k3 k2 k1 k0`";
  EXPECT_EQ(answers[1], md("**put** at 0x000, word `e2a`" + put));
  EXPECT_EQ(answers[2], md("**put** at 0x002, no word: operand 1 has no value" + put));
  EXPECT_EQ(answers[3], nullptr);
  EXPECT_EQ(answers[4], nullptr);
  EXPECT_EQ(answers[5], json::parse(R"([{"label":"w","kind":20,"detail":"literal operand of add"},
      {"label":"__FUSE","kind":21,"detail":"0x000"},{"label":"__FUSEX","kind":21,"detail":"0x000"},
      {"label":"LED","kind":21,"detail":"0x006"},{"label":"DELAY","kind":21,"detail":"0x02a"},
      {"label":"main:","kind":6,"detail":"0x000"},{"label":"far","kind":6,"detail":"0x200"}])"));
  EXPECT_EQ(answers[6], json::parse(R"J({"activeSignature":0,"activeParameter":1,"signatures":[
      {"label":"add f5,\"w\"","documentation":"inst.dat line 2: bits 0 0 0 1 1 1 0 f4 f3 f2 f1 f0",
       "parameters":[{"label":"f5","documentation":"5 bits of the word (f4 down to f0)"},
                     {"label":"\"w\"","documentation":"the literal w"}]},
      {"label":"add f5,d1","documentation":"inst.dat line 3: bits 0 0 0 1 1 1 d0 f4 f3 f2 f1 f0",
       "parameters":[{"label":"f5","documentation":"5 bits of the word (f4 down to f0)"},
                     {"label":"d1","documentation":"1 bit of the word (d0 down to d0)"}]}]})J"));
  EXPECT_EQ(answers[7], md("**300**: hexadecimal `0x12c`, decimal `300`, binary `100101100`\n\n"
                           "does not fit operand 1 of `movwf`: 5 bits of the word (f4 down to f0); "
                           "it is cut to `0xc`"));
  EXPECT_EQ(answers[8], nullptr);
  EXPECT_EQ(answers[9], nullptr);
  EXPECT_EQ(answers[10], json::parse(R"({"placeholder":"LED",
      "range":{"start":{"line":7,"character":5},"end":{"line":7,"character":8}}})"));
  EXPECT_EQ(answers[11], json::parse(R"({"changes":{")" + main_uri + R"(":[{"newText":"LAMP",
      "range":{"start":{"line":7,"character":5},"end":{"line":7,"character":8}}},{"newText":"LAMP",
      "range":{"start":{"line":14,"character":5},"end":{"line":14,"character":8}}}],")" +
                                     regs_uri +
                                     R"(":[{"newText":"LAMP",
      "range":{"start":{"line":0,"character":0},"end":{"line":0,"character":3}}}]}})"));
  EXPECT_EQ(answers[12], json::parse(R"({"code":-32602})"));
  auto fix = [&](const char* title, int line, int from, int to, const char* text) {
    return json{{"title", title},
                {"kind", "quickfix"},
                {"edit",
                 {{"changes",
                   {{main_uri,
                     {{{"newText", text},
                       {"range",
                        {{"start", {{"line", line}, {"character", from}}},
                         {"end", {{"line", line}, {"character", to}}}}}}}}}}}}};
  };
  json actions = answers[13];
  for (json& a : actions) a.erase("diagnostics");
  EXPECT_EQ(actions,
            json::array({fix("Drop the label's colon", 6, 4, 5, ""),
                         fix("Mask the operand to its field (& $1F)", 11, 7, 10, "(300) & $1F"),
                         fix("Select page 1 before the jump", 9, 0, 0, "\tbsf\t3,5\n"),
                         fix("Remove the blank before the literal", 14, 9, 10, "")}));
  auto symbol = [](const char* name, const std::string& uri, int line) {
    return json{{"name", name},
                {"kind", 14},
                {"location",
                 {{"uri", uri},
                  {"range",
                   {{"start", {{"line", line}, {"character", 0}}},
                    {"end", {{"line", line}, {"character", std::string(name).size()}}}}}}}};
  };
  EXPECT_EQ(answers[14], json::array({symbol("__FUSE", main_uri, 2), symbol("__FUSEX", main_uri, 3),
                                      symbol("LED", regs_uri, 0), symbol("DELAY", regs_uri, 1)}));
  EXPECT_EQ(answers[15], md("**put** `put k8`\n\nbits: `1 1 1 0 k7 k6 k5 k4 k3 k2 k1 k0` (12 bits)"
                            "\n\noperand 1 `k8`: 8 bits of the word (k7 down to k0)"));
}

}  // namespace

// Which program a file belongs to: an include file in a folder with no source of its own belongs
// to the workspace's program that includes it; a file that a program starts to include (on its
// last line, with no line end after it) belongs to that program from the edit on.
TEST(LanguageServer, WhichProgramAFileBelongsTo) {
  ScratchDir dir;
  dir.write("inst.dat", "nop : 000000000000\n");
  const std::string a_asm = "__FUSE\tequ\t1\n__FUSEX\tequ\t0\n\torg\t0\n\tnop\n";
  dir.write("a.asm", a_asm);
  dir.write("b.asm", "__FUSE\tequ\t2\n__FUSEX\tequ\t0\n\torg\t0\n#include \"lib/x.inc\"\n");
  dir.write("lib/x.inc", "X\tequ\t__FUSE\n\tnop\n");
  dir.write("c.inc", "C\tequ\t__FUSE\n");
  const std::string root = fs::canonical(dir.path).string();
  const std::string a = "file://" + root + "/a.asm";
  auto hover = [](int id, const std::string& uri) {
    return frame(
        json{{"jsonrpc", "2.0"},
             {"id", id},
             {"method", "textDocument/hover"},
             {"params",
              {{"textDocument", {{"uri", uri}}}, {"position", {{"line", 0}, {"character", 0}}}}}}
            .dump());
  };
  auto notify = [](const char* method, const json& params) {
    return frame(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
  };
  std::string in =
      frame(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"rootUri":"file://)" + root +
            R"("}})") +
      // The instruction set first, before any program is checked: the first source beside it.
      notify("textDocument/didOpen", {{"textDocument",
                                       {{"uri", "file://" + root + "/inst.dat"},
                                        {"languageId", "wendrix"},
                                        {"version", 1},
                                        {"text", "nop : 000000000000\n"}}}}) +
      notify("textDocument/didOpen",
             {{"textDocument",
               {{"uri", a}, {"languageId", "wendrix"}, {"version", 1}, {"text", a_asm}}}}) +
      hover(2, "file://" + root + "/lib/x.inc") + hover(3, "file://" + root + "/c.inc") +
      notify("textDocument/didChange",
             {{"textDocument", {{"uri", a}, {"version", 2}}},
              {"contentChanges", {{{"text", a_asm + "#include \"c.inc\""}}}}}) +
      hover(4, "file://" + root + "/c.inc") + frame(R"({"jsonrpc":"2.0","method":"exit"})");
  dir.write("in.bin", in);
  std::string lsp = (fs::path(WENDRIX_EXE).parent_path() / "wendrix-lsp").string();
  RunResult r = run_shell(dir, "timeout 60 " + lsp + " < in.bin > out.bin; echo $?");
  EXPECT_EQ(r.out, "1\n");  // an exit without a shutdown
  std::vector<std::string> hovers, published;
  for (const json& m : messages_of(dir.read("out.bin"))) {
    if (m.value("method", "") == "textDocument/publishDiagnostics") {
      published.push_back(m["params"]["uri"].get<std::string>().substr(root.size() + 7));
    }
    if (m.contains("id") && m["id"] != 1) {
      hovers.push_back(m["result"].is_null() ? "null"
                                             : m["result"]["contents"]["value"].get<std::string>());
    }
  }
  EXPECT_EQ(hovers,
            (std::vector<std::string>{"**X** = `0x002` (2)\n\nconstant defined at x.inc:1",
                                      "**C**: no value\n\nconstant defined at c.inc:1",
                                      "**C** = `0x001` (1)\n\nconstant defined at c.inc:1"}));
  ASSERT_GE(published.size(), 2u);
  EXPECT_EQ(published[0], "/a.asm");
  EXPECT_EQ(published[1], "/inst.dat");
}
