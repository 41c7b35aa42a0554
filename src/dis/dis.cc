// wendrix-dis: labels for the jumps, the source or listing written out, and the command itself.
#include "dis/dis.h"

#include <ostream>
#include <set>
#include <sstream>

#include "diag.h"
#include "dis/decode.h"
#include "driver.h"
#include "expr.h"
#include "output.h"
#include "source.h"

namespace {

constexpr int32_t kErased = 0x0FFF;  // what wendrix writes where nothing is stored

bool erased(int32_t word) {
  return word < 0 || word == kErased || word == 0xFFFF;
}

// A name an expression can use as a label's: a name, not starting with a reserved word.
bool usable_name(const std::string& name) {
  if (name.empty() || !is_name_start(name[0])) return false;
  for (char c : name) {
    if (!is_name_char(c)) return false;
  }
  return !starts_with_reserved_word(name);
}

// Where a jump goes: its value, within the jump's own page for the bits its field leaves out.
int32_t jump_target(const InstructionDef& def, int32_t address, int32_t value) {
  int top;
  uint32_t mask = field_mask(def, 0, top);
  uint32_t page = static_cast<uint32_t>(address) & ~static_cast<uint32_t>(kPageWords - 1);
  return static_cast<int32_t>((page & ~mask) | static_cast<uint32_t>(value));
}

struct Line {
  int32_t address;
  int32_t word;
  std::string mnemonic;
  std::vector<std::string> operands;
};

void append_padded(std::string& out, const std::string& text, size_t width) {
  out += text;
  if (text.size() < width) out.append(width - text.size(), ' ');
}

}  // namespace

bool disassemble(const InstructionSet& set, const MemoryImage& image, const AddressNames& names,
                 bool listing, const std::string& heading, std::string& out, std::string& error) {
  out.clear();
  for (int32_t config : {image.fuse, image.fusex}) {
    if (config > 0xFFF) {
      error = "configuration word 0x" + hex_digits(static_cast<uint32_t>(config), 4) +
              " is wider than 12 bits";
      return false;
    }
  }
  // The source says org and equ: an instruction set that takes them for instructions of one
  // operand leaves it no way to.
  for (const char* directive : {"org", "equ"}) {
    std::vector<std::string_view> operand = {"$0"};
    if (!listing && match_instruction(set, directive, operand) >= 0) {
      error = std::string("the instruction set defines '") + directive +
              "' as an instruction: a source cannot place code or name a value";
      return false;
    }
  }
  // Every word decoded first: a word no definition gives stops it before anything is written.
  std::vector<DecodedWord> decoded(kCodeWords);
  for (int32_t a = 0; a < kCodeWords; ++a) {
    int32_t word = image.words[static_cast<size_t>(a)];
    if (erased(word)) continue;
    if (word > 0xFFF ||
        !decode_word(set, static_cast<uint32_t>(word), decoded[static_cast<size_t>(a)])) {
      error = "no definition of the instruction set gives the word 0x" +
              hex_digits(static_cast<uint32_t>(word), 3) + " at address 0x" +
              hex_digits(static_cast<uint32_t>(a), 3);
      return false;
    }
  }
  // Labels for the targets of the jumps the assembler knows, on words that hold code.
  AddressNames labels;
  std::set<std::string> taken;
  for (int32_t a = 0; a < kCodeWords; ++a) {
    const DecodedWord& d = decoded[static_cast<size_t>(a)];
    if (d.definition < 0) continue;
    const InstructionDef& def = set.defs[static_cast<size_t>(d.definition)];
    if (!def.jump || def.operandCount == 0 || !def.operands[0].isNumeric) continue;
    int32_t target = jump_target(def, a, d.values[0]);
    if (target < 0 || target >= kCodeWords || erased(image.words[static_cast<size_t>(target)]) ||
        labels.count(target)) {
      continue;
    }
    auto named = names.find(target);
    std::string name = "L_" + hex_digits(static_cast<uint32_t>(target), 3);
    if (named != names.end() && usable_name(named->second) && !taken.count(named->second)) {
      name = named->second;
    }
    labels[target] = name;
    taken.insert(name);
  }
  std::vector<Line> lines;
  for (int32_t a = 0; a < kCodeWords; ++a) {
    const DecodedWord& d = decoded[static_cast<size_t>(a)];
    if (d.definition < 0) continue;
    const InstructionDef& def = set.defs[static_cast<size_t>(d.definition)];
    std::vector<std::string> operands = operand_texts(def, d);
    if (def.jump && def.operandCount > 0 && def.operands[0].isNumeric) {
      // The label stands for the target only where it gives the very word back.
      auto label = labels.find(jump_target(def, a, d.values[0]));
      DecodedWord with_target = d;
      if (label != labels.end()) with_target.values[0] = label->first;
      if (label != labels.end() && encode_word(def, with_target.values) ==
                                       static_cast<uint32_t>(image.words[static_cast<size_t>(a)])) {
        std::vector<std::string> named = operand_texts(def, d, label->second);
        if (reads_back(set, d.definition, named)) operands = std::move(named);
      }
    }
    lines.push_back({a, image.words[static_cast<size_t>(a)], def.name, operands});
  }
  int32_t fuse = image.fuse < 0 ? kErased : image.fuse;
  int32_t fusex = image.fusex < 0 ? kErased : image.fusex;
  out += "; " + heading + "\n";
  if (listing) {
    out += "FUSE  : [$" + hex_digits(static_cast<uint32_t>(fuse), 3) + "]\nFUSEX : [$" +
           hex_digits(static_cast<uint32_t>(fusex), 3) + "]\n\n";
  } else {
    out += "__FUSE\tequ\t$" + hex_digits(static_cast<uint32_t>(fuse), 3) + "\n__FUSEX\tequ\t$" +
           hex_digits(static_cast<uint32_t>(fusex), 3) + "\n";
  }
  int32_t next = -1;
  for (const Line& line : lines) {
    auto label = labels.find(line.address);
    std::string name = label == labels.end() ? "" : label->second;
    std::string operands;
    for (size_t k = 0; k < line.operands.size(); ++k) operands += (k ? "," : "") + line.operands[k];
    if (listing) {
      out += "[" + hex_digits(static_cast<uint32_t>(line.address), 3) + "] " +
             hex_digits(static_cast<uint32_t>(line.word), 3) + " ";
      append_padded(out, name, 16);
      out += ' ';
      append_padded(out, line.mnemonic, 16);
      out += ' ' + operands + "\n";
      continue;
    }
    // Code that jumps over erased words starts again at its own address.
    if (line.address != next)
      out += "\torg\t$" + hex_digits(static_cast<uint32_t>(line.address), 3) + "\n";
    next = line.address + 1;
    out += name + "\t" + line.mnemonic + (operands.empty() ? "" : "\t" + operands) + "\n";
  }
  return true;
}

AddressNames read_symbols(const std::string& text) {
  AddressNames names;
  bool listing = text.find("\nCode:\n") != std::string::npos;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (listing) {
      // "[ADDR] WORD LABEL ...": a label on a line of code.
      if (line.size() < 11 || line[0] != '[' || line[4] != ']' || line[10] == ' ') continue;
      size_t blank = line.find(' ', 10);
      std::string name =
          line.substr(10, blank == std::string::npos ? std::string::npos : blank - 10);
      char* stop = nullptr;
      long address = std::strtol(line.c_str() + 1, &stop, 16);
      if (stop == line.c_str() + 4) names.emplace(static_cast<int32_t>(address), name);
      continue;
    }
    size_t blank = line.find_first_of(" \t");
    if (blank == std::string::npos) continue;
    std::string name = line.substr(0, blank);
    size_t number = line.find_first_not_of(" \t=", blank);
    if (number == std::string::npos) continue;
    std::string value = line.substr(number);
    int base = 10;
    size_t at = 0;
    if (value[0] == '$')
      base = 16, at = 1;
    else if (value.starts_with("0x") || value.starts_with("0X"))
      base = 16, at = 2;
    char* stop = nullptr;
    long address = std::strtol(value.c_str() + at, &stop, base);
    if (stop != value.c_str() + at) names.emplace(static_cast<int32_t>(address), name);
  }
  return names;
}

int run_dis(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const char* const usage =
      "usage: wendrix-dis [--inst FILE] [--symbols FILE] [--listing] PROG.hex\n";
  std::string inst, symbols, hex;
  bool listing = false, options = true;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--listing") {
      listing = true;
    } else if (options && (a == "--inst" || a == "--symbols") && i + 1 < args.size()) {
      (a == "--inst" ? inst : symbols) = args[++i];
    } else if (options && (a == "-h" || a == "--help")) {
      out << usage;
      return 0;
    } else if (options && a.size() > 1 && a[0] == '-') {
      err << "wendrix-dis: bad argument '" << a << "'\n" << usage;
      return 2;
    } else if (hex.empty()) {
      hex = a;
    } else {
      err << "wendrix-dis: one hex file at a time\n" << usage;
      return 2;
    }
  }
  if (hex.empty()) {
    err << usage;
    return 2;
  }
  // The instruction set as wendrix finds it, or the one named.
  std::string used = inst;
  int loaded = 1;
  std::ostringstream printed;  // a read that fails says so here, not in the source
  set_console(&printed);
  try {
    if (inst.empty()) {
      used = load_instruction_set(args.empty() ? "" : args[0]);
      loaded = used.empty() ? 1 : 0;
    } else {
      loaded = load_instruction_defs(inst);
    }
  } catch (const FatalStop&) {
    loaded = 1;
  }
  set_console(nullptr);
  if (loaded != 0) {
    err << printed.str() << "wendrix-dis: no instruction set loads (tried "
        << (inst.empty() ? "inst.dat, " + second_instruction_path(args.empty() ? "" : args[0])
                         : inst)
        << ")\n";
    return 1;
  }
  EditorText text, names_text;
  if (!read_editor_text(hex, text)) {
    err << "wendrix-dis: cannot read " << hex << "\n";
    return 1;
  }
  if (!symbols.empty() && !read_editor_text(symbols, names_text)) {
    err << "wendrix-dis: cannot read " << symbols << "\n";
    return 1;
  }
  MemoryImage image;
  std::string error, source;
  if (!read_intel_hex(text.text, image, error)) {
    err << "wendrix-dis: " << hex << ": " << error << "\n";
    return 1;
  }
  std::string heading = "wendrix-dis: " + hex + " with " + used;
  if (!disassemble(instruction_set(), image, read_symbols(names_text.text), listing, heading,
                   source, error)) {
    err << "wendrix-dis: " << hex << ": " << error << "\n";
    return 1;
  }
  out << source;
  return 0;
}
