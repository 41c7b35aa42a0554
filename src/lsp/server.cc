// wendrix-lsp's session: each message handed to its answer, and the loop that reads them.
#include <istream>
#include <ostream>
#include <set>

#include "lsp.h"
#include "lsp/assist.h"
#include "lsp/edits.h"
#include "lsp/queries.h"
#include "lsp/tokens.h"

namespace {

json capabilities() {
  return {{"textDocumentSync", {{"openClose", true}, {"change", 1}, {"save", true}}},
          {"hoverProvider", true},
          {"definitionProvider", true},
          {"referencesProvider", true},
          {"documentSymbolProvider", true},
          {"completionProvider", {{"triggerCharacters", json::array({" ", "\t", ","})}}},
          {"signatureHelpProvider", {{"triggerCharacters", json::array({" ", "\t", ","})}}},
          {"renameProvider", {{"prepareProvider", true}}},
          {"codeActionProvider", {{"codeActionKinds", json::array({"quickfix"})}}},
          {"workspaceSymbolProvider", true},
          {"semanticTokensProvider",
           {{"legend", {{"tokenTypes", kTokenTypes}, {"tokenModifiers", kTokenModifiers}}},
            {"full", true}}}};
}

std::string document_path(const json& params) {
  return path_of(params.at("textDocument").at("uri").get<std::string>());
}

void open_or_change(Server& server, const json& params) {
  std::string path = document_path(params);
  if (path.empty()) return;
  const std::string* text;
  if (params.contains("contentChanges")) {
    const json& changes = params.at("contentChanges");
    if (!changes.is_array() || changes.empty()) return;
    text = &changes.back().at("text").get_ref<const std::string&>();
  } else {
    text = &params.at("textDocument").at("text").get_ref<const std::string&>();
  }
  std::string& open = server.documents[path];
  if (!params.contains("contentChanges") || include_lines(open) != include_lines(*text)) {
    server.program_of.clear();
  }
  open = *text;
  recheck(server, path);
}

// Answers a request or takes a notification; throws json errors on malformed parameters.
void handle(Server& server, const json& message) {
  std::ostream& out = *server.out;
  const std::string method = message.value("method", "");
  const bool request = message.contains("id");
  const json id = request ? message["id"] : json();
  static const json kNoParams = json::object();
  const json& params = message.contains("params") ? message["params"] : kNoParams;
  if (server.shut_down) {
    // After shutdown only exit is understood.
    if (request) reply_error(out, id, kInvalidRequest, "the server is shut down");
    return;
  }
  if (method == "initialize") {
    std::string root;
    if (params.contains("rootUri") && params["rootUri"].is_string()) {
      root = path_of(params["rootUri"].get<std::string>());
    } else if (params.contains("rootPath") && params["rootPath"].is_string()) {
      root = params["rootPath"].get<std::string>();
    }
    server.root = root;
    server.initialized = true;
    reply(out, id,
          {{"capabilities", capabilities()},
           {"serverInfo", {{"name", "wendrix-lsp"}, {"version", "0.10"}}}});
    return;
  }
  if (!server.initialized) {
    if (request) reply_error(out, id, kNotInitialized, "the server is not initialized");
    return;
  }
  if (method == "initialized" || method == "$/cancelRequest" || method == "$/setTrace") return;
  if (method == "shutdown") {
    server.shut_down = true;
    reply(out, id, nullptr);
    return;
  }
  if (method == "textDocument/didOpen" || method == "textDocument/didChange") {
    open_or_change(server, params);
    return;
  }
  if (method == "textDocument/didSave") {
    server.program_of.clear();
    recheck(server, document_path(params));
    return;
  }
  if (method == "textDocument/didClose") {
    server.documents.erase(document_path(params));
    return;
  }
  if (!request) return;  // an unknown notification is ignored
  static const std::set<std::string> kPositional = {
      "textDocument/hover",      "textDocument/definition",    "textDocument/references",
      "textDocument/completion", "textDocument/signatureHelp", "textDocument/prepareRename",
      "textDocument/rename"};
  if (kPositional.count(method)) {
    std::optional<Place> at = place_of(server, params);
    if (!at) {
      reply(out, id,
            method == "textDocument/references" || method == "textDocument/completion"
                ? json::array()
                : json(nullptr));
      return;
    }
    const Program& p = program_for(server, at->path, false);
    if (method == "textDocument/hover") {
      json answer = is_instruction_set(at->path) ? definition_hover(p, *at) : number_hover(p, *at);
      reply(out, id, answer.is_null() && !is_instruction_set(at->path) ? hover(p, *at) : answer);
    }
    if (method == "textDocument/definition") reply(out, id, definition(p, *at));
    if (method == "textDocument/references") reply(out, id, references(p, *at));
    if (method == "textDocument/completion") reply(out, id, completion(p, *at));
    if (method == "textDocument/signatureHelp") reply(out, id, signature_help(p, *at));
    if (method == "textDocument/prepareRename") reply(out, id, prepare_rename(p, *at));
    if (method == "textDocument/rename") {
      try {
        reply(out, id, rename_symbol(p, *at, params.at("newName").get<std::string>()));
      } catch (const std::invalid_argument& refused) {
        reply_error(out, id, kInvalidParams, refused.what());
      }
    }
    return;
  }
  if (method == "textDocument/codeAction") {
    std::string path = document_path(params);
    const Program& p = program_for(server, path, false);
    const json& context = params.at("context");
    reply(out, id, code_actions(server, p, path, context.value("diagnostics", json::array())));
    return;
  }
  if (method == "workspace/symbol") {
    reply(out, id, workspace_symbols(server, params.value("query", "")));
    return;
  }
  if (method == "textDocument/documentSymbol" || method == "textDocument/semanticTokens/full") {
    std::string path = document_path(params);
    const Program& p = program_for(server, path, false);
    if (method == "textDocument/documentSymbol") {
      reply_text(out, id, document_symbols(p, path));
    } else {
      reply(out, id, semantic_tokens(server, p, path));
    }
    return;
  }
  reply_error(out, id, kMethodNotFound, "no method " + method);
}

}  // namespace

int serve_lsp(std::istream& in, std::ostream& out) {
  Server server;
  server.out = &out;
  MessageReader reader{&in, ""};
  int status = 1;
  for (std::string body;;) {
    MessageRead got = read_message(reader, body);
    if (got == MESSAGE_END) break;
    if (got == MESSAGE_MALFORMED) continue;
    if (nested_too_deeply(body)) {
      reply_error(out, nullptr, kInvalidRequest, "the message nests too deeply");
      continue;
    }
    json message = json::parse(body, nullptr, false);
    std::string().swap(body);  // a large document is held by the message now, not twice
    if (message.is_discarded()) {
      reply_error(out, nullptr, kParseError, "the message is not JSON");
      continue;
    }
    if (!message.is_object()) {
      reply_error(out, nullptr, kInvalidRequest, "a message is an object");
      continue;
    }
    if (!message.contains("method") || !message["method"].is_string()) {
      // A response from the client, or no message at all.
      if (message.contains("id") && !message.contains("result") && !message.contains("error")) {
        reply_error(out, message["id"], kInvalidRequest, "a request needs a method");
      }
      continue;
    }
    if (message["method"] == "exit") {
      status = server.shut_down ? 0 : 1;
      break;
    }
    try {
      handle(server, message);
    } catch (const json::exception& e) {
      if (message.contains("id")) reply_error(out, message["id"], kInvalidParams, e.what());
    } catch (const std::exception& e) {
      // Anything else a request meets (memory, the file system) ends that request only.
      if (message.contains("id")) reply_error(out, message["id"], kInternalError, e.what());
    }
  }
  return status;
}
