// Pass 2's outputs: code memory, the listing and the Intel HEX file.
#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ostream>

#include "diag.h"
#include "expr.h"
#include "isa.h"
#include "pass1.h"
#include "source.h"
#include "symbols.h"

namespace {

uint16_t g_code[kCodeWords];
// The listing being written. The encoder appends each instruction's Code line to it while
// write_listing builds the file.
std::string g_listing;
int32_t g_last_listed = -999;
constexpr size_t kListingPart = 65536;

constexpr int32_t kPageShift = 9;
static_assert(1 << kPageShift == kPageWords);
constexpr int32_t kSecondHalfBit = 0x100;

// "%0Nx" (or "%0NX" when `upper`): at least `width` hexadecimal digits.
void append_hex(std::string& out, uint32_t value, int width, bool upper = false) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char buffer[8];
  int n = 0;  // digits, written from the end of the buffer
  do {
    buffer[7 - n++] = digits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  if (n < width) out.append(static_cast<size_t>(width - n), '0');
  out.append(buffer + 8 - n, static_cast<size_t>(n));
}

// "%-Ns": pads on the right, never cuts.
void append_padded(std::string& out, std::string_view text, size_t width) {
  out += text;
  if (text.size() < width) out.append(width - text.size(), ' ');
}

void warn_at(const StatementRecord& s, int code) {
  ::warn_at(statement_file(s), s.lineNumber, code);
}

int32_t page_of(int32_t address) {
  return address >> kPageShift;
}

// An output is written to a temporary file beside its name and renamed over the name only
// when it is whole: a failed run (a full disk, a file-size limit) leaves the previous file as it
// was, a reader during a run sees the old file or the new one and never a cut one, and a link
// at the name is replaced rather than written through.
struct Output {
  std::FILE* file = nullptr;
  std::string name, temporary;
  const char* failure = "";  // the message for a name that cannot be created
};

// Where the temporary file of `name` goes: its own directory, under a short name of its own so
// that a long output name still leaves room for it.
std::string temporary_name(const std::string& name, int attempt) {
  size_t slash = name.rfind('/');
  std::string directory = slash == std::string::npos ? "" : name.substr(0, slash + 1);
  return directory + ".wendrix-" + std::to_string(getpid()) + "-" + std::to_string(attempt) +
         ".tmp";
}

// Creates the temporary file before anything is written, so a file that cannot be created is
// known before the content is built.
Output create_output(const std::string& name, const char* failure) {
  Output out{nullptr, name, "", failure};
  // A directory at the name is a name that cannot be created: said now, as a file that cannot
  // be opened would be, before the content (and the encoder's warnings) is built.
  struct stat info;
  bool directory = lstat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  for (int attempt = 0; attempt < 100 && !out.file && !directory; ++attempt) {
    out.temporary = temporary_name(name, attempt);
    int fd = open(out.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;  // left by another run of this process id
    if (fd < 0) break;
    out.file = fdopen(fd, "w");
    if (!out.file) {
      close(fd);
      unlink(out.temporary.c_str());
      break;
    }
  }
  if (!out.file) {
    console() << failure << " [" << name << "]\n";
    fatal_stop(1);
  }
  return out;
}

// Writes `content`, closes the file and puts it in place; a failed write, now or in an earlier
// part (`written` false), stops the run only here, after everything else the run reports. A name
// that cannot be replaced (a directory stands there) counts as one that cannot be created.
void finish_output(Output& out, const std::string& content, bool written = true) {
  bool ok = std::fwrite(content.data(), 1, content.size(), out.file) == content.size() && written;
  ok = std::fflush(out.file) == 0 && ok;
  ok = std::fclose(out.file) == 0 && ok;
  out.file = nullptr;
  const char* failure = ok ? nullptr : "error writing";
  if (ok && std::rename(out.temporary.c_str(), out.name.c_str()) != 0) failure = out.failure;
  if (failure) {
    unlink(out.temporary.c_str());
    console() << failure << " [" << out.name << "]\n";
    fatal_stop(1);
  }
}

std::string g_hex;        // the hex file being written
unsigned g_checksum = 0;  // of the record being written

void start_record() {
  g_hex += ':';
  g_checksum = 0;
}

// Writes the low 8 bits of a value as two digits and counts them into the checksum.
void put_hex_byte(uint32_t value) {
  uint32_t byte = value & 0xFF;
  append_hex(g_hex, byte, 2, true);
  g_checksum += byte;
}

void end_record() {
  put_hex_byte((0x100 - (g_checksum & 0xFF)) & 0xFF);
  g_hex += '\n';
}

}  // namespace

void clear_code_memory() {
  for (uint16_t& word : g_code) word = kEmptyWord;
}

uint16_t code_word(int address) {
  return g_code[address];
}

void encode_program() {
  clear_code_memory();
  g_listing.clear();
  g_last_listed = -999;
  for (const StatementRecord& record : statement_list()) {
    if (record.kind >= 0) encode_statement(record);
  }
  g_listing.clear();
}

int encode_statement(const StatementRecord& s) {
  const InstructionDef& def = instruction_table()[static_cast<size_t>(s.kind)];
  // Literal positions, and a definition without operands, count as 0 wherever a value is used.
  static_assert(kMaxOperandValues == kMaxOperands);
  int32_t values[kMaxOperands] = {};
  for (int k = 0; k < def.operandCount && k < kMaxOperands; ++k) {
    if (!def.operands[static_cast<size_t>(k)].isNumeric) continue;
    const StatementOperand& operand = statement_operands(s)[static_cast<size_t>(k)];
    // Guards: after a clean pass 2 every numeric operand of a matched instruction is an
    // expression whose tree is known, so neither failure below can happen.
    if (operand.isExpression != 1 || operand.tree == kNoTree) {
      ::report_at(statement_file(s), s.lineNumber, E_BAD_ARG);
      return 1;
    }
    current_error = E_NONE;
    evaluate_expression(operand.tree);
    if (current_error != E_NONE) {
      ::report_at(statement_file(s), s.lineNumber, current_error);
      return 1;
    }
    values[k] = expr_node(operand.tree).value;
  }

  uint32_t word = encode_word(def, values);

  write_code_line(s, word);

  if (!s.addressKnown) {
    warn_at(s, E_UNDEFINED_ADDRESS);
    return 0;
  }
  if (s.address < 0 || s.address >= kCodeWords) {
    warn_at(s, E_OUTSIDE_MEMORY);
    return 0;
  }
  if (def.jump == JUMP_GOTO) {
    if (page_of(s.address) != page_of(values[0])) warn_at(s, E_PAGE_MISMATCH);
  } else if (def.jump == JUMP_CALL) {
    if (page_of(s.address) != page_of(values[0])) warn_at(s, E_PAGE_MISMATCH);
    if (values[0] & kSecondHalfBit) warn_at(s, E_CALL_SECOND_HALF);
  }
  if (g_code[s.address] != kEmptyWord) warn_at(s, E_CODE_OVERLAP);
  g_code[s.address] = static_cast<uint16_t>(word & 0xFFFF);
  return 0;
}

void write_code_line(const StatementRecord& s, uint32_t word) {
  std::string& out = g_listing;
  if (s.addressKnown) {
    if (static_cast<uint32_t>(g_last_listed) + 1 != static_cast<uint32_t>(s.address)) out += '\n';
    g_last_listed = s.address;
    out += '[';
    append_hex(out, static_cast<uint32_t>(s.address), 3);
    out += "] ";
  } else {
    out += "[???] ";
  }
  append_hex(out, word, 3);
  out += ' ';
  std::string_view text = statement_texts(s);
  append_padded(out, text, 16);
  out += ' ';
  text = next_text(text);
  append_padded(out, text, 16);
  out += ' ';
  for (int k = 0; k < s.operandCount; ++k) {
    if (k > 0) out += ',';
    text = next_text(text);
    out += text;
  }
  out += '\n';
}

void write_listing(const std::string& base_name, int32_t fuse, int32_t fusex) {
  std::string name = base_name + ".lst";
  Output file = create_output(name, "can't create");
  g_listing.clear();
  g_last_listed = -999;
  std::string& out = g_listing;
  // The listing goes out in parts as it grows, so it is never held whole.
  bool written = true;
  auto write_part = [&] {
    if (out.size() < kListingPart) return;
    written = std::fwrite(out.data(), 1, out.size(), file.file) == out.size() && written;
    out.clear();
  };
  out += "Wendrix output from: [" + base_name + ".asm]\n\n\n";
  out += "Config:\n-------\n\n";
  out += "FUSE  : [$";
  append_hex(out, static_cast<uint32_t>(fuse), 3);
  out += "]\nFUSEX : [$";
  append_hex(out, static_cast<uint32_t>(fusex), 3);
  out += "]\n";
  out += "\n\nCode:\n-----\n\n";
  for (const StatementRecord& record : statement_list()) {
    if (record.kind >= 0) {
      encode_statement(record);
    } else if (record.kind == KIND_NONE) {
      out += "          ";
      out += statement_texts(record);
      out += '\n';
    }
    write_part();
  }
  out += "\n\nSymbols:\n--------\n\n";
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < symbol_count(); ++i) {
      const SymbolEntry& entry = symbol_at(i);
      if ((entry.valueKnown != 0) != (pass == 0)) continue;
      append_padded(out, symbol_name(i), 20);
      out += "  ";
      if (entry.valueKnown) {
        out += '$';
        append_hex(out, static_cast<uint32_t>(entry.value), 4);
      } else {
        out += "????";
      }
      out += '\n';
      write_part();
    }
  }
  out += "\n\n";
  finish_output(file, out, written);
  g_listing.clear();
}

void write_hex_file(const std::string& base_name, int32_t fuse, int32_t fusex) {
  std::string name = base_name + ".hex";
  Output file = create_output(name, "can't open");
  for (uint16_t& word : g_code) {
    if (word == kEmptyWord) word = 0x0FFF;
  }
  g_hex.clear();
  for (int a = 0; a < kCodeWords; a += 16) {
    start_record();
    put_hex_byte(0x20);
    put_hex_byte(static_cast<uint32_t>(2 * a) >> 8);
    put_hex_byte(static_cast<uint32_t>(2 * a));
    put_hex_byte(0x00);
    for (int w = a; w < a + 16; ++w) {
      put_hex_byte(g_code[w]);
      put_hex_byte(static_cast<uint32_t>(g_code[w]) >> 8);
    }
    end_record();
  }
  // The configuration words follow the code at byte address 0x2020, each low byte first.
  start_record();
  for (uint32_t byte : {0x04u, 0x20u, 0x20u, 0x00u}) put_hex_byte(byte);
  put_hex_byte(static_cast<uint32_t>(fuse));
  put_hex_byte(static_cast<uint32_t>(fuse) >> 8);
  put_hex_byte(static_cast<uint32_t>(fusex));
  put_hex_byte(static_cast<uint32_t>(fusex) >> 8);
  end_record();
  start_record();
  for (uint32_t byte : {0x00u, 0x00u, 0x00u, 0x01u}) put_hex_byte(byte);
  end_record();
  finish_output(file, g_hex);
  g_hex.clear();
}
