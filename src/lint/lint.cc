// wendrix-lint: its options, the program it checks, and the run that puts the checks together.
#include "lint.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "driver.h"
#include "lint/findings.h"
#include "lint/isa_checks.h"
#include "lint/pages.h"
#include "lint/reports.h"
#include "lint/source_checks.h"
#include "output.h"

namespace {

const char* const kVersion = "wendrix-lint 0.10";

// The checks, with what each looks for. Every one but `assembler` (what wendrix rejects, always
// an error) can be turned off.
const char* const kChecks[][2] = {
    {"assembler", "what wendrix rejects: always reported, never turned off"},
    {"page", "a goto or call to another page than the one selected before it"},
    {"call-second-half", "a call to the second half of a page, which a call cannot reach"},
    {"overlap", "code placed where earlier code already stands"},
    {"outside-memory", "code placed past the end of program memory"},
    {"no-address", "code before the first org, which has no address"},
    {"operand-range", "a value that does not fit the bits its definition takes"},
    {"literal-blank", "a blank after a comma that defeats a literal operand"},
    {"column0-mnemonic", "an instruction or directive name in column 0, read as a label"},
    {"label-colon", "a label that keeps its colon"},
    {"reserved-prefix", "a name starting with org, equ or ds, which no expression can use"},
    {"unused", "labels and constants that nothing uses (only with --unused)"},
    {"unnamable-label", "a label that no expression can name"},
    {"config-width", "a configuration value wider than 12 bits"},
    {"after-ds", "code after a ds block without an org of its own"},
    {"empty-start", "a program whose first address holds nothing"},
    {"bom", "a byte-order mark at the start of a file"},
    {"long-line", "a line over 1022 characters, whose rest is read as a new line"},
    {"operand-17", "a 17th operand field, which is dropped"},
    {"fuse-value", "__FUSE or __FUSEX defined without a value"},
    {"isa-load", "an inst.dat that fails to load"},
    {"isa-no-bits", "a definition of no bits"},
    {"isa-glued", "a separator glued to the bits"},
    {"isa-shadowed", "a definition that an earlier one always shadows"},
    {"isa-reversed-range", "a bit range written low-high, which gives no bits"},
    {"isa-bad-constant", "constant bits with characters other than 0 and 1"},
    {"isa-short", "a definition of fewer than 12 bits"},
    {"isa-same-word", "a definition whose every word an earlier one of another name gives"},
    {"isa-operand-width", "an operand wider than the bits its definition takes"},
};

struct Options {
  std::vector<std::string> args;
  std::string source, inst;
  bool summary = false;
  bool werror = false;    // warnings set the exit status too
  bool unused = false;    // the unused check is on
  bool deps = false;      // print a make rule instead of findings
  std::string deps_file;  // the rule's own file, a target beside the outputs ("": base.d)
};

const char* const kUsage =
    "usage: wendrix-lint [--inst FILE] [--disable NAME[,NAME...]] [--unused] [--werror]\n"
    "                    [--summary] [--deps [--deps-file NAME]] SOURCE\n"
    "       wendrix-lint -h | --help | --version\n";

bool disable(std::ostream& out, std::string value, Findings& findings) {
  for (char& c : value) c = c == ',' ? ' ' : c;
  std::istringstream names(value);
  for (std::string name; names >> name;) {
    bool known = std::any_of(std::begin(kChecks), std::end(kChecks),
                             [&](const auto& check) { return name == check[0]; });
    if (!known || name == "assembler") {
      out << "wendrix-lint: " << (known ? "errors cannot be turned off: '" : "no check is named '")
          << name << "'\n"
          << kUsage;
      return false;
    }
    findings.disabled.insert(name);
  }
  return true;
}

// 0: go on; otherwise the exit status (-1: done, status 0). A second source, as wendrix does,
// is ignored.
int parse_options(std::ostream& out, Options& o, Findings& findings) {
  bool options = true;  // until "--": every later argument is a source
  for (size_t i = 1; i < o.args.size(); ++i) {
    const std::string& a = o.args[i];
    if (!options || a == "--") {
      if (options) {
        options = false;
      } else if (o.source.empty()) {
        o.source = a;
      }
      continue;
    }
    if (a == "--help" || a == "-h") {
      out << kUsage
          << "\nChecks (turn a warning or note off on a line with `; wendrix-lint: "
             "ignore NAME`):\n";
      for (const auto& [name, what] : kChecks) out << "  " << name << ": " << what << '\n';
      return -1;
    }
    if (a == "--version") {
      out << kVersion << '\n';
      return -1;
    }
    if (a == "--summary") {
      o.summary = true;
    } else if (a == "--werror") {
      o.werror = true;
    } else if (a == "--unused") {
      o.unused = true;
    } else if (a == "--deps") {
      o.deps = true;
    } else if (a.starts_with("--disable=")) {
      if (!disable(out, a.substr(10), findings)) return 2;
    } else if (a.starts_with("--inst=")) {
      o.inst = a.substr(7);
    } else if (a.starts_with("--deps-file=")) {
      o.deps_file = a.substr(12);
    } else if ((a == "--inst" || a == "--disable" || a == "--deps-file") && i + 1 < o.args.size()) {
      if (a == "--inst") o.inst = o.args[++i];
      if (a == "--deps-file") o.deps_file = o.args[++i];
      if (a == "--disable" && !disable(out, o.args[++i], findings)) return 2;
    } else if (a.starts_with("-") && a.size() > 1) {
      out << "wendrix-lint: bad argument '" << a << "'\n" << kUsage;
      return 2;
    } else if (o.source.empty()) {
      o.source = a;
    }
  }
  if (o.source.empty()) {
    out << kUsage;
    return 2;
  }
  return 0;
}

// The programs in the working directory that include `file`, directly or through other
// include files, as their include lines name it.
std::string program_including(const std::string& file) {
  std::vector<std::string> programs;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(".", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::string name = it->path().filename().string();
    std::error_code unreadable;  // a link that loops is no program
    if (it->is_regular_file(unreadable) && fold_case(name).ends_with(".asm")) {
      programs.push_back(name);
    }
  }
  std::sort(programs.begin(), programs.end());
  for (const std::string& program : programs) {
    std::vector<std::string> pending = {program};
    std::vector<std::string> seen;
    while (!pending.empty()) {
      std::string name = pending.back();
      pending.pop_back();
      if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
      seen.push_back(name);
      EditorText text;
      read_editor_text(name, text);
      for (size_t n = 1; n <= text.line_count(); ++n) {
        std::string included;
        if (parse_include_line(std::string(text.line(static_cast<int>(n))), included) !=
            INCLUDE_FILE) {
          continue;
        }
        if (included == file) return program;
        pending.push_back(included);
      }
    }
  }
  return "";
}

// What to build: the source as wendrix opens it; for an include file named on its own, the
// program that includes it, or else the file alone as a fragment.
ModelRequest model_request(std::ostream& out, const Options& o, bool& fragment) {
  ModelRequest request{"", o.args[0], o.inst, o.source, false};
  std::error_code error;
  // The source as wendrix opens it (the model opens it again for the passes).
  bool opens = open_main_source(o.source).has_value();
  source_reset();
  if (opens || !std::filesystem::is_regular_file(o.source, error)) return request;
  std::string program = program_including(o.source);
  if (!program.empty()) {
    out << "wendrix-lint: " << o.source << " is included by " << program << ", checked whole\n";
    request.source = program;
    return request;
  }
  // A name no program includes is checked alone only when it is an include file's; any other
  // (T.ASM, t.s) gets the error wendrix gives for it.
  if (!fold_case(o.source).ends_with(".inc")) return request;
  out << "wendrix-lint: no program here includes " << o.source << "; it is checked as a fragment\n";
  fragment = true;
  request.asWritten = true;
  return request;
}

// A make rule: the outputs, and the rule's own file, depend on the source, every file it
// includes, and the instruction set (so that an include file that gains an include of its own
// remakes the rule, as a C compiler's -MD -MT does).
void print_deps(std::ostream& out, const Options& o, const ProgramModel& model) {
  std::string base = base_name_of(o.source);
  out << base << ".hex " << base << ".lst " << (o.deps_file.empty() ? base + ".d" : o.deps_file)
      << ':';
  for (int32_t i = 0; i < model.sourceFiles; ++i)
    out << ' ' << model.files[static_cast<size_t>(i)].name;
  out << ' ' << model.instructionSet << '\n';
}

void print_summary(std::ostream& out, const ProgramModel& model) {
  for (int page = 0; page < kCodeWords / kPageWords; ++page) {
    int used = 0;
    for (int a = page * kPageWords; a < (page + 1) * kPageWords; ++a) {
      used += model.code[static_cast<size_t>(a)] != kEmptyWord;
    }
    out << "page " << page << ": " << used << " words used, " << kPageWords - used << " free\n";
  }
}

void lint_model(const ProgramModel& model, const LintSettings& settings, Findings& findings) {
  findings.model = &model;
  if (model.namedFailure) {
    add_finding(findings, settings.inst, model.namedFailure->place, LINT_ERROR,
                "the instruction set fails to load: " + model.namedFailure->reason, "isa-load");
  }
  check_instruction_set(model, findings);
  std::set<int> symbols_in_errors;
  add_reports(model, findings, settings.fragment, symbols_in_errors);
  if (!model.opened) {
    if (!model.instructionSet.empty() && !settings.source.empty()) {
      // What wendrix cannot open is the error wendrix reports, at the file it names.
      std::string name = base_name_of(settings.source) + ".asm";
      add_finding(findings, name, EditorPlace{}, LINT_ERROR,
                  "error opening [" + name + "]: wendrix stops here", "assembler");
    }
  } else {
    check_program(model, page_selection(model), {settings.unused, &symbols_in_errors}, findings);
  }
  sort_findings(findings);
}

}  // namespace

std::vector<LintFinding> lint_findings(const ProgramModel& model, const LintSettings& settings) {
  Findings findings;
  lint_model(model, settings, findings);
  std::vector<LintFinding> found;
  for (const Finding& f : findings.list) {
    found.push_back({f.file, f.line, f.column, f.severity, f.message, f.check});
  }
  return found;
}

int run_lint(const std::vector<std::string>& args, std::ostream& out) {
  Options o;
  o.args = args;
  Findings findings;
  int status = parse_options(out, o, findings);
  if (status != 0) return status < 0 ? 0 : status;
  bool fragment = false;
  ProgramModel model;
  std::ostringstream opening;  // said after the instruction set, once one loads
  build_program_model(model_request(opening, o, fragment), model);
  if (!model.instructionSet.empty() && !o.deps) {
    out << "wendrix-lint: instruction set " << model.instructionSet << '\n';
  }
  if (!model.instructionSet.empty()) out << opening.str();
  if (o.deps && model.opened) {
    print_deps(out, o, model);
    return 0;
  }
  lint_model(model, {o.inst, o.source, fragment, o.unused}, findings);
  int counts[3] = {};
  for (const Finding& f : findings.list) {
    print_finding(out, findings, f);
    ++counts[f.severity];
  }
  if (model.instructionSet.empty()) {
    // wendrix stops with "can't read inst.dat": an error, as every failure wendrix reports.
    out << "wendrix-lint: no instruction set loads (tried "
        << (o.inst.empty() ? "inst.dat, " + second_instruction_path(o.args[0]) : o.inst) << ")\n";
    return 1;
  }
  if (o.summary && model.resolved) print_summary(out, model);
  auto count = [&counts](LintSeverity s) {
    return std::to_string(counts[s]) + " " + kSeverityNames[s] + (counts[s] == 1 ? "" : "s");
  };
  out << "wendrix-lint: " << count(LINT_ERROR) << ", " << count(LINT_WARNING) << ", "
      << count(LINT_NOTE) << '\n';
  return counts[LINT_ERROR] > 0 || (o.werror && counts[LINT_WARNING] > 0) ? 1 : 0;
}
