// wendrix-lsp through a pipe: one session over a program of three files and its instruction
// set, with broken messages among the good ones. Every expected answer is worked out from the
// files below.
#include <gtest/gtest.h>

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
const char* const kRegs = "PORT\tequ\t6\nLIMIT\tequ\t$2A\n";
const char* const kCode = "loop\tadd\tPORT,w\n\tgoto\tloop\n";

std::string frame(const json& message) {
  std::string body = message.dump();
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

json request(int id, const std::string& method, json params) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
}

json notification(const std::string& method, json params) {
  return {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

json at(const std::string& uri, int line, int character) {
  return {{"textDocument", {{"uri", uri}}},
          {"position", {{"line", line}, {"character", character}}}};
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

TEST(LanguageServer, SessionOverAProgramOfThreeFiles) {
  ScratchDir dir;
  dir.write("inst.dat", kIsa);
  dir.write("main.asm", kMain);
  dir.write("regs.inc", kRegs);
  dir.write("code.inc", kCode);
  std::string root = fs::canonical(dir.path).string();
  std::string main = "file://" + root + "/main.asm", code = "file://" + root + "/code.inc",
              regs = "file://" + root + "/regs.inc", isa = "file://" + root + "/inst.dat";
  std::string in =
      frame(request(1, "textDocument/hover", at(main, 4, 13))) +  // before initialize
      frame(request(2, "initialize", {{"rootUri", "file://" + root}, {"capabilities", {}}})) +
      frame(notification("initialized", json::object())) +
      // The editor's text, unsaved, has a mistake that the file on disk has not.
      frame(
          notification("textDocument/didOpen", {{"textDocument",
                                                 {{"uri", code},
                                                  {"languageId", "asm"},
                                                  {"version", 1},
                                                  {"text", std::string(kCode) + "\tbogus\n"}}}})) +
      frame(
          notification("textDocument/didChange", {{"textDocument", {{"uri", code}, {"version", 2}}},
                                                  {"contentChanges", {{{"text", kCode}}}}})) +
      "Content-Type: nothing else\r\n\r\n" + "Content-Length: 6\r\n\r\n{oops}" +
      frame(request(3, "textDocument/hover", at(code, 0, 6))) +
      frame(request(4, "textDocument/hover", at(main, 4, 13))) +
      frame(request(5, "textDocument/definition", at(main, 4, 13))) +
      frame(request(6, "textDocument/definition", at(main, 0, 3))) +
      frame(request(7, "textDocument/definition", at(code, 0, 6))) +
      frame(request(8, "textDocument/references", at(regs, 0, 1))) +
      frame(request(9, "textDocument/completion", at(code, 0, 14))) +
      frame(request(10, "textDocument/completion", at(main, 5, 1))) +
      frame(request(11, "textDocument/documentSymbol", {{"textDocument", {{"uri", main}}}})) +
      frame(request(12, "textDocument/semanticTokens/full", {{"textDocument", {{"uri", code}}}})) +
      frame(request(13, "textDocument/hover", at(main, 99, 0))) +
      frame(request(14, "workspace/nothing", json::object())) +
      frame(request(15, "shutdown", nullptr)) + frame(notification("exit", nullptr));
  dir.write("in.bin", in);
  std::string lsp = (fs::path(WENDRIX_EXE).parent_path() / "wendrix-lsp").string();
  RunResult r = run_shell(dir, "cat in.bin | " + lsp + " > out.bin; echo $?");
  EXPECT_EQ(r.out, "0\n");
  std::vector<json> got = messages_of(dir.read("out.bin"));

  std::map<int, json> answers;
  std::vector<json> diagnostics;
  for (const json& m : got) {
    if (m.contains("id") && m["id"].is_number()) answers[m["id"].get<int>()] = m;
    if (m.value("method", "") == "textDocument/publishDiagnostics") diagnostics.push_back(m);
  }
  EXPECT_EQ(answers[1]["error"]["code"], -32002);
  EXPECT_TRUE(answers[2]["result"]["capabilities"]["hoverProvider"].get<bool>());
  // A parse error answers with a null id.
  EXPECT_EQ(std::count_if(got.begin(), got.end(),
                          [](const json& m) {
                            return m.contains("error") && m["id"].is_null() &&
                                   m["error"]["code"] == -32700;
                          }),
            1);

  // Every file of the program and its instruction set, after the open and after the change.
  ASSERT_EQ(diagnostics.size(), 8u);
  std::map<std::string, json> first, second;
  for (size_t i = 0; i < 8; ++i) {
    (i < 4 ? first : second)[diagnostics[i]["params"]["uri"]] =
        diagnostics[i]["params"]["diagnostics"];
  }
  ASSERT_EQ(first[code].size(), 1u);
  EXPECT_EQ(first[code][0]["range"], json::parse(R"({"start":{"line":2,"character":1},
                                                      "end":{"line":2,"character":6}})"));
  EXPECT_EQ(first[code][0]["severity"], 1);
  EXPECT_EQ(first[code][0]["code"], "assembler");
  EXPECT_EQ(first[code][0]["message"], "bad instruction: no instruction is named 'bogus'");
  for (const std::string& uri : {main, regs, isa}) EXPECT_EQ(first[uri], json::array()) << uri;
  for (const std::string& uri : {main, regs, code, isa}) EXPECT_EQ(second[uri], json::array());

  EXPECT_EQ(answers[3]["result"]["contents"]["value"],
            "**add** at 0x002, word `1c6`\n\ninst.dat line 4: `add f5 \"w\"`\n\n"
            "bits: `0 0 0 1 1 1 0 f4 f3 f2 f1 f0`\n\n"
            "line 5 `add f5 d1`: an earlier definition fits first");
  EXPECT_EQ(answers[4]["result"]["contents"]["value"],
            "**LIMIT** = `0x02a` (42)\n\nconstant defined at regs.inc:2");
  EXPECT_EQ(answers[5]["result"]["uri"], regs);
  EXPECT_EQ(answers[5]["result"]["range"]["start"]["line"], 1);
  EXPECT_EQ(answers[6]["result"]["uri"], regs);
  ASSERT_EQ(answers[7]["result"].size(), 2u);
  EXPECT_EQ(answers[7]["result"][0]["uri"], isa);
  EXPECT_EQ(answers[7]["result"][0]["range"]["start"]["line"], 3);
  EXPECT_EQ(answers[7]["result"][1]["range"]["start"]["line"], 4);

  std::vector<std::string> places;
  for (const json& l : answers[8]["result"]) {
    places.push_back(l["uri"].get<std::string>().substr(root.size() + 8) + ":" +
                     std::to_string(l["range"]["start"]["line"].get<int>()) + ":" +
                     std::to_string(l["range"]["start"]["character"].get<int>()));
  }
  EXPECT_EQ(places, (std::vector<std::string>{"main.asm:5:7", "regs.inc:0:0", "code.inc:0:9"}));

  std::set<std::string> operands, mnemonics;
  for (const json& item : answers[9]["result"]) operands.insert(item["label"]);
  EXPECT_TRUE(operands.count("w") && operands.count("LIMIT") && operands.count("loop"));
  EXPECT_FALSE(operands.count("movlw"));
  for (const json& item : answers[10]["result"]) {
    mnemonics.insert(item["label"]);
    if (item["label"] == "add") {
      EXPECT_EQ(item["detail"], "add f5 \"w\" | add f5 d1");
    }
  }
  EXPECT_EQ(mnemonics,
            (std::set<std::string>{"nop", "movlw", "movwf", "add", "goto", "org", "equ", "ds"}));

  std::vector<std::string> symbols;
  for (const json& s : answers[11]["result"]) {
    symbols.push_back(s["name"].get<std::string>() + "/" + std::to_string(s["kind"].get<int>()));
  }
  EXPECT_EQ(symbols,
            (std::vector<std::string>{"__FUSE/14", "__FUSEX/14", "org 0x000/3", "start/12"}));
  // loop (label), add (mnemonic), PORT (symbol), w (literal); goto (mnemonic), loop (symbol).
  EXPECT_EQ(answers[12]["result"]["data"],
            json::parse("[0,0,4,2,0, 0,5,3,0,0, 0,4,4,3,0, 0,5,1,1,0, 1,1,4,0,0, 0,5,4,3,0]"));
  EXPECT_TRUE(answers[13]["result"].is_null());
  EXPECT_EQ(answers[14]["error"]["code"], -32601);
  EXPECT_TRUE(answers[15]["result"].is_null());
}

}  // namespace
