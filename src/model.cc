// The program model: one run of the assembler's own sequence, and its results kept for the tools.
#include "model.h"

#include <sys/stat.h>

#include <algorithm>
#include <cassert>
#include <sstream>

#include "driver.h"
#include "expr.h"
#include "output.h"
#include "pass1.h"
#include "pass2.h"
#include "symbols.h"

namespace {

// The reports of the run being modelled, as the passes hand them over.
std::vector<Report>* g_capture = nullptr;

void capture(const Report& report) {
  g_capture->push_back(report);
}

// The model's file of a name, added (and read) when it is new.
int32_t add_file(ProgramModel& model, const std::string& name) {
  int32_t found = model_file(model, name);
  if (found >= 0) return found;
  ModelFile& file = model.files.emplace_back();
  file.name = name;
  file.readable = read_editor_text(name, file.text);
  file.map = map_pieces(file.text, kSourcePieceChars);
  return static_cast<int32_t>(model.files.size() - 1);
}

// Whether anything at all stands at a path (a link that leads nowhere included).
bool anything_at(const std::string& name) {
  struct stat info;
  return lstat(opened_path(name).c_str(), &info) == 0;
}

void load_instructions(const ModelRequest& request, ProgramModel& model) {
  if (!request.inst.empty()) {
    if (load_instruction_defs(request.inst) == 0) {
      model.instructionSet = request.inst;
    } else {
      model.namedFailure = last_load_failure();
    }
    return;
  }
  LoadFailure local;
  model.instructionSet = load_instruction_set(request.invocation, &local);
  if (model.instructionSet != "inst.dat" && anything_at("inst.dat")) model.localFailure = local;
}

void keep_statements(ProgramModel& model, const std::vector<int32_t>& file_of) {
  const StatementList& list = statement_list();
  model.statements.reserve(list.size());
  model.statementsOf.assign(model.files.size(), {});
  for (const StatementRecord& r : list) {
    ModelStatement s{};
    s.file = file_of[static_cast<size_t>(r.file)];
    s.piece = r.lineNumber;
    s.kind = r.kind;
    s.address = r.address;
    s.labelSymbol = r.labelSymbol;
    s.firstOperand = static_cast<int32_t>(model.operands.size());
    s.operandCount = r.operandCount;
    s.addressKnown = r.addressKnown;
    s.word = -1;
    if (r.kind >= 0 && r.addressKnown && r.address >= 0 && r.address < kCodeWords &&
        model.code[static_cast<size_t>(r.address)] != kEmptyWord) {
      s.word = model.code[static_cast<size_t>(r.address)];
    }
    int32_t index = static_cast<int32_t>(model.statements.size());
    for (const StatementOperand& o : statement_operands(r)) {
      ModelOperand operand;
      operand.expression = o.tree != kNoTree;
      if (o.tree != kNoTree) {
        const ExprNode& node = expr_node(o.tree);
        operand.value = node.value;
        operand.known = node.known;
      }
      model.operands.push_back(operand);
    }
    model.statementsOf[static_cast<size_t>(s.file)].push_back(index);
    model.statements.push_back(s);
  }
  // An include file read twice has its statements in two runs: each file's list by piece.
  for (std::vector<int32_t>& of : model.statementsOf) {
    std::stable_sort(of.begin(), of.end(), [&model](int32_t a, int32_t b) {
      return model.statements[static_cast<size_t>(a)].piece <
             model.statements[static_cast<size_t>(b)].piece;
    });
  }
}

// The symbols each operand names, walked once for all of them.
void collect_uses(int32_t tree, int32_t statement, std::vector<ModelSymbol>& symbols) {
  for (; tree != kNoTree; tree = left_operand(tree)) {
    const ExprNode& node = expr_node(tree);
    if (node.kind == TOK_SYMBOL) {
      std::vector<int32_t>& uses = symbols[static_cast<size_t>(node.ref)].uses;
      if (uses.empty() || uses.back() != statement) uses.push_back(statement);
    }
    collect_uses(right_operand(tree), statement, symbols);
  }
}

void keep_symbols(ProgramModel& model) {
  const StatementList& list = statement_list();
  model.symbols.resize(static_cast<size_t>(symbol_count()));
  for (int i = 0; i < symbol_count(); ++i) {
    const SymbolEntry& e = symbol_at(i);
    ModelSymbol& s = model.symbols[static_cast<size_t>(i)];
    s.name = symbol_name(i);
    s.value = e.value;
    s.known = e.valueKnown != 0;
    s.defined = e.definedByLabel != 0;
    s.statement = e.statement;
    s.hasExpression = e.equTree != kNoTree;
    if (e.definedByLabel && e.statement >= 0 && static_cast<size_t>(e.statement) < list.size()) {
      s.equ = list[static_cast<size_t>(e.statement)].kind == KIND_EQU;
    }
  }
  for (size_t i = 0; i < list.size(); ++i) {
    for (const StatementOperand& o : statement_operands(list[i])) {
      collect_uses(o.tree, static_cast<int32_t>(i), model.symbols);
    }
  }
  // Where an equ without a value stops: the first symbol its expression waits on.
  for (int i = 0; i < symbol_count(); ++i) {
    const SymbolEntry& e = symbol_at(i);
    if (!e.definedByLabel || e.valueKnown || e.equTree == kNoTree) continue;
    current_error = E_NONE;
    evaluate_expression(e.equTree);
    if (current_error == E_SYMBOL_UNDEFINED)
      model.symbols[static_cast<size_t>(i)].waitsOn = error_symbol;
  }
  current_error = E_NONE;
  for (size_t i = 0; i < model.symbols.size(); ++i) {
    model.symbolIndex.emplace(model.symbols[i].name, static_cast<int32_t>(i));
  }
}

void keep_files(ProgramModel& model, std::vector<int32_t>& file_of) {
  std::vector<bool> spliced;
  for (size_t i = 0; source_file_name(i); ++i) {
    int32_t index = add_file(model, *source_file_name(i));
    file_of.push_back(index);
    spliced.resize(model.files.size());
    if (spliced[static_cast<size_t>(index)]) continue;  // read twice: the same pieces
    spliced[static_cast<size_t>(index)] = true;
    // Where the reader went, its own map; past where it stopped (a stop, an include line that
    // failed), the rest of the file as it cuts pieces.
    ModelFile& file = model.files[static_cast<size_t>(index)];
    const SourceMap& read = *source_map(i);
    auto past =
        std::upper_bound(file.map.continuations.begin(), file.map.continuations.end(), read.pieces,
                         [](int32_t n, const SourceMap::Continuation& c) { return n < c.piece; });
    std::vector<SourceMap::Continuation> joined = read.continuations;
    joined.insert(joined.end(), past, file.map.continuations.end());
    file.map.continuations = std::move(joined);
    file.map.pieces = std::max(file.map.pieces, read.pieces);
  }
  model.sourceFiles = static_cast<int32_t>(model.files.size());
}

void keep_reports(ProgramModel& model, const std::vector<Report>& reports) {
  std::unordered_map<const std::string*, int32_t> entry_of;  // the reader's entries
  for (size_t i = 0; source_file_name(i); ++i) {
    entry_of[source_file_name(i)] = static_cast<int32_t>(i);
  }
  // The statement a report is about: the first of its entry and line, found for the reported
  // positions only (an include file read twice has two statements on one line of its own).
  using Position = std::pair<int32_t, int32_t>;
  std::vector<std::pair<Position, int32_t>> wanted;
  for (const Report& r : reports) {
    auto entry = r.file ? entry_of.find(r.file) : entry_of.end();
    if (entry != entry_of.end()) wanted.push_back({{entry->second, r.line}, -1});
  }
  std::sort(wanted.begin(), wanted.end());
  const StatementList& list = statement_list();
  for (size_t i = 0; i < list.size() && !wanted.empty(); ++i) {
    Position p{list[i].file, list[i].lineNumber};
    auto it = std::lower_bound(wanted.begin(), wanted.end(), std::make_pair(p, -1));
    for (; it != wanted.end() && it->first == p; ++it) {
      if (it->second < 0) it->second = static_cast<int32_t>(i);
    }
  }
  for (const Report& r : reports) {
    ModelReport m{};
    auto entry = r.file ? entry_of.find(r.file) : entry_of.end();
    m.file = entry != entry_of.end() ? model_file(model, *r.file)
                                     : (r.file ? add_file(model, *r.file) : -1);
    m.piece = r.line;
    m.column = r.column;
    m.warning = r.warning;
    m.code = r.code;
    m.symbol = r.symbol;
    if (entry != entry_of.end()) {
      auto it = std::lower_bound(wanted.begin(), wanted.end(),
                                 std::make_pair(Position{entry->second, r.line}, -1));
      if (it != wanted.end() && it->first == Position{entry->second, r.line}) {
        m.statement = it->second;
      }
    }
    model.reports.push_back(m);
  }
}

void build(const ModelRequest& request, ProgramModel& model, std::ostringstream& printed) {
  reset_run();
  try {
    load_instructions(request, model);
  } catch (const FatalStop&) {
    model.stop = printed.str();
    return;
  }
  if (model.instructionSet.empty()) return;
  model.isa = instruction_set();
  if (request.source.empty()) return;  // the instruction set alone
  if (request.asWritten) {
    model.opened = open_source(request.source) == 0;
  } else {
    model.opened = open_main_source(request.source).has_value();
  }
  if (!model.opened) return;
  set_report_handler(capture);
  try {
    model.resolved = run_passes(nullptr);
    if (!model.resolved) {
      // wendrix stops after pass 1's errors; a tool goes on over the statements that parsed,
      // so that one typo does not hide what is known of every other line.
      model.pass1Reports = static_cast<int32_t>(g_capture->size());
      errors_seen = false;
      resolve_symbols();
      encode_program();
      model.resolved = true;
    }
  } catch (const FatalStop&) {
    // The passes print only their heading; anything else is what a stop says.
    std::string text = printed.str();
    const std::string heading = "\nPass 1...\n";
    if (text.starts_with(heading)) text.erase(0, heading.size());
    model.stop = text;
    model.stopPiece = current_line_number();
    model.resolved = false;
    close_sources();
  }
  set_report_handler(nullptr);
}

}  // namespace

void build_program_model(const ModelRequest& request, ProgramModel& model) {
  model = ProgramModel{};
  model.directory = request.directory;
  set_base_directory(request.directory);
  std::ostringstream printed;
  set_console(&printed);
  std::vector<Report> reports;
  g_capture = &reports;
  build(request, model, printed);
  g_capture = nullptr;
  set_console(nullptr);

  std::vector<int32_t> file_of;
  keep_files(model, file_of);
  while (model.stop.ends_with('\n')) model.stop.pop_back();
  // A stop's message names its file: "error reading [NAME]".
  size_t open = model.stop.find('['), close = model.stop.rfind(']');
  if (open != std::string::npos && close != std::string::npos && open < close) {
    model.stopFile = add_file(model, model.stop.substr(open + 1, close - open - 1));
  }
  model.code.resize(kCodeWords);
  for (int a = 0; a < kCodeWords; ++a) model.code[static_cast<size_t>(a)] = code_word(a);
  if (!model.resolved) std::fill(model.code.begin(), model.code.end(), kEmptyWord);
  keep_statements(model, file_of);
  keep_symbols(model);
  keep_reports(model, reports);
  // The loader placed each definition in its file; the file's text is kept for the tools.
  if (!model.instructionSet.empty()) add_file(model, model.instructionSet);
  source_reset();
  set_base_directory("");
}

int32_t model_file(const ProgramModel& model, std::string_view name) {
  for (size_t i = 0; i < model.files.size(); ++i) {
    if (model.files[i].name == name) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t model_symbol(const ProgramModel& model, std::string_view name) {
  auto it = model.symbolIndex.find(name);
  return it == model.symbolIndex.end() ? -1 : it->second;
}

EditorPlace piece_place(const ProgramModel& model, int32_t file, int piece, int column) {
  if (file < 0 || static_cast<size_t>(file) >= model.files.size()) return {std::max(piece, 1), 0};
  return editor_place(model.files[static_cast<size_t>(file)].map, piece, column);
}

EditorPlace statement_place(const ProgramModel& model, const ModelStatement& s, int column) {
  return piece_place(model, s.file, s.piece, column);
}

std::string_view piece_text(const ProgramModel& model, int32_t file, int piece) {
  if (file < 0 || static_cast<size_t>(file) >= model.files.size()) return {};
  const ModelFile& f = model.files[static_cast<size_t>(file)];
  EditorPlace start = editor_place(f.map, piece, 0);
  std::string_view line = f.text.line(start.line);
  if (static_cast<size_t>(start.column) >= line.size()) return {};
  line.remove_prefix(static_cast<size_t>(start.column));
  line = line.substr(0, kSourcePieceChars);
  return line.substr(0, line.find('\0'));  // a NUL ends the text the assembler reads
}

const SplitLine& split_piece(const ProgramModel& model, int32_t file, int piece) {
  std::string text(piece_text(model, file, piece));
  split_line(text);
  return split_result();
}

StatementTexts statement_texts(const ProgramModel& model, const ModelStatement& s) {
  StatementTexts texts;
  std::string_view piece = piece_text(model, s.file, s.piece);
  const SplitLine& split = split_piece(model, s.file, s.piece);
  texts.mnemonic = split.mnemonic;
  size_t at = split.mnemonic.empty() ? std::string_view::npos
                                     : piece.find(split.mnemonic, split.label.size());
  texts.mnemonicColumn = at == std::string_view::npos ? -1 : static_cast<int>(at);
  for (int k = 0; k < split.operandCount; ++k) {
    texts.operands.emplace_back(split.operands[k]);
    texts.operandColumns.push_back(split.operandColumns[k]);
  }
  return texts;
}

const ModelOperand* statement_operand(const ProgramModel& model, const ModelStatement& s, int k) {
  if (k < 0 || k >= s.operandCount) return nullptr;
  return &model.operands[static_cast<size_t>(s.firstOperand + k)];
}

const ModelStatement* statement_at(const ProgramModel& model, int32_t file, int piece) {
  if (file < 0 || static_cast<size_t>(file) >= model.statementsOf.size()) return nullptr;
  const std::vector<int32_t>& of = model.statementsOf[static_cast<size_t>(file)];
  auto it = std::lower_bound(of.begin(), of.end(), piece, [&model](int32_t index, int p) {
    return model.statements[static_cast<size_t>(index)].piece < p;
  });
  if (it == of.end() || model.statements[static_cast<size_t>(*it)].piece != piece) return nullptr;
  return &model.statements[static_cast<size_t>(*it)];
}
