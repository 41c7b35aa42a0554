// wendrix-lsp in a real editor: Neovim, headless, with its own LSP client, opens a file of a
// program, shows the diagnostics of its unsaved text, clears them when the text is mended, and
// asks for a hover. What the editor received is written out and checked here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const char* const kScript = R"(local result = {}
local id = vim.lsp.start_client({cmd = {LSP}, root_dir = vim.fn.getcwd(), name = 'wendrix'})
vim.cmd('edit code.inc')
local buf = vim.api.nvim_get_current_buf()
vim.api.nvim_buf_set_lines(buf, -1, -1, false, {'\tbogus'})
vim.lsp.buf_attach_client(buf, id)
vim.wait(20000, function() return #vim.diagnostic.get(buf) > 0 end, 20)
result.diagnostics = {}
for _, d in ipairs(vim.diagnostic.get(buf)) do
  table.insert(result.diagnostics, {d.lnum, d.col, d.severity, d.message})
end
vim.api.nvim_buf_set_lines(buf, 2, 3, false, {})
vim.wait(20000, function() return #vim.diagnostic.get(buf) == 0 end, 20)
result.after_fix = #vim.diagnostic.get(buf)
local client = vim.lsp.get_client_by_id(id)
local answer = client.request_sync('textDocument/hover', {textDocument = {uri = vim.uri_from_bufnr(buf)},
                                   position = {line = 0, character = 6}}, 20000, buf)
result.hover = answer and answer.result or vim.NIL
vim.fn.writefile({vim.fn.json_encode(result)}, 'editor.json')
vim.cmd('qa!')
)";

TEST(LanguageServer, NeovimShowsDiagnosticsAndHover) {
  ScratchDir dir;
  dir.write("inst.dat",
            "movwf f5 : 0000001 f4-0\nadd f5 \"w\" : 000111 0 f4-0\ngoto k9 : 101 k8-0\n");
  dir.write("main.asm",
            "__FUSE\tequ\t0\n__FUSEX\tequ\t0\n\torg\t0\n#include \"regs.inc\"\n"
            "#include \"code.inc\"\n");
  dir.write("regs.inc", "PORT\tequ\t6\n");
  dir.write("code.inc", "loop\tadd\tPORT,w\n\tgoto\tloop\n");
  std::string lsp = (fs::path(WENDRIX_EXE).parent_path() / "wendrix-lsp").string();
  std::string script = kScript;
  script.replace(script.find("LSP"), 3, "'" + lsp + "'");
  dir.write("init.lua", script);
  RunResult r = run_shell(dir, "HOME=. timeout 120 nvim --headless --noplugin -u init.lua");
  ASSERT_TRUE(fs::exists(dir.path + "/editor.json")) << r.out;
  nlohmann::json got = nlohmann::json::parse(dir.read("editor.json"));
  // The unsaved line 3 (line 2 from 0) at its mnemonic, as an error (severity 1).
  EXPECT_EQ(
      got["diagnostics"],
      nlohmann::json::parse(R"([[2, 1, 1, "bad instruction: no instruction is named 'bogus'"]])"));
  EXPECT_EQ(got["after_fix"], 0);
  EXPECT_TRUE(got["hover"]["contents"]["value"].get<std::string>().starts_with(
      "**add** at 0x000, word `1c6`\n\ninst.dat line 2: `add f5 \"w\"`"))
      << got["hover"];
}

// The Neovim block of docs/lsp.md, as a user pastes it into init.lua, on a .asm and an .inc file
// of one program: both buffers get the server, and its answers.
TEST(LanguageServer, NeovimSetUpFromTheGuide) {
  std::ifstream guide(std::string(WENDRIX_DOCS) + "/lsp.md");
  std::string text((std::istreambuf_iterator<char>(guide)), {});
  size_t section = text.find("\n## Neovim\n");
  ASSERT_NE(section, std::string::npos);
  size_t start = text.find("```lua\n", section) + 7, end = text.find("```", start);
  ScratchDir dir;
  dir.write("inst.dat", "movwf f5 : 0000001 f4-0\ngoto k9 : 101 k8-0\n");
  dir.write("main.asm",
            "__FUSE\tequ\t0\n__FUSEX\tequ\t0\n#include \"regs.inc\"\n\torg\t0\n"
            "loop\tmovwf\tPORT\n\tgoto\tloop\n");
  dir.write("regs.inc", "PORT\tequ\t6\n");
  dir.write("init.lua", text.substr(start, end - start) + R"(
vim.cmd('edit regs.inc')
local inc = vim.api.nvim_get_current_buf()
vim.cmd('edit main.asm')
local asm = vim.api.nvim_get_current_buf()
local client = vim.lsp.get_client_by_id(wendrix_client)
vim.wait(20000, function() return client.initialized end, 20)
local result = {}
for _, buf in ipairs({asm, inc}) do
  table.insert(result, #vim.tbl_keys(vim.lsp.buf_get_clients(buf)))
end
local answer = client.request_sync('textDocument/hover', {textDocument = {uri = vim.uri_from_bufnr(asm)},
                                   position = {line = 4, character = 12}}, 20000, asm)
table.insert(result, answer and answer.result and answer.result.contents.value or '')
vim.fn.writefile({vim.fn.json_encode(result)}, 'editor.json')
vim.cmd('qa!')
)");
  std::string bin = fs::path(WENDRIX_EXE).parent_path().string();
  RunResult r = run_shell(dir, "HOME=. PATH='" + bin +
                                   "':$PATH timeout 120 nvim --headless "
                                   "--noplugin -u init.lua");
  ASSERT_TRUE(fs::exists(dir.path + "/editor.json")) << r.out;
  EXPECT_EQ(nlohmann::json::parse(dir.read("editor.json")),
            nlohmann::json::parse(
                R"([1, 1, "**PORT** = `0x006` (6)\n\nconstant defined at regs.inc:1"])"));
}

// Vim, without a language server: the syntax file and the file-type detection of editors/vim.
TEST(Editors, VimSyntaxFile) {
  ScratchDir dir;
  dir.write("inst.dat", "nop : 000000000000\n");
  dir.write("t.asm", "loop\tmovlw\t$1F ; note\n\torg\t0\n#include \"x.inc\"\n");
  std::string vim_dir = fs::path(WENDRIX_DOCS).parent_path().string() + "/editors/vim";
  RunResult r = run_shell(
      dir, "vim -Nu NONE -i NONE -es -c 'set rtp^=" + vim_dir +
               "' -c 'filetype on' -c 'syntax on' -c 'edit t.asm' -c 'let r = [&filetype]' "
               "-c 'for [l, c] in [[1,1],[1,6],[1,12],[1,16],[2,2],[3,1]] | call add(r, "
               "synIDattr(synID(l, c, 1), \"name\")) | endfor' -c 'call writefile([join(r)], "
               "\"out.txt\")' -c 'qa!'");
  EXPECT_EQ(dir.read("out.txt"),
            "wendrix wendrixLabel wendrixMnemonic wendrixNumber wendrixComment wendrixDirective "
            "wendrixInclude\n")
      << r.out;
}

}  // namespace
