// Page selection: how a program's comments declare it selects code pages, and the check that
// follows it to every goto and call.
#pragma once

#include <map>
#include <set>
#include <string>

#include "lint/findings.h"

// How the program selects code pages, as its comments declare it:
//   ; wendrix-lint: page-bit N set "STATEMENT" clear "STATEMENT"
//   ; wendrix-lint: start ADDRESS page N
//   ; wendrix-lint: registers LETTERS
//   ; wendrix-lint: pages N
// (the device's code pages, 1 to 4: a device of 2 needs only page bit 0)
//   ; wendrix-lint: bank-bit N set "STATEMENT" clear "STATEMENT"
// (the register bank, as the page: a register operand's bits above its field are its bank)
//   ; wendrix-lint: no-fall-through MNEMONIC...
// (the returns: like a goto, they end the code that falls into the next statement)
// A statement is matched by its mnemonic and operands as written, ignoring letter case and
// blanks. Without a declaration the device starts at the last word with the page bits at 0,
// and nothing else selects a page. `registers` names the operand letters of inst.dat that stand
// for register numbers, which are never negative.
struct PageSelection {
  std::map<std::string, std::pair<int, int>> setters;  // statement -> (page bit, value)
  std::string register_letters;
  int32_t start = 0;
  int start_page = 0;
  bool start_declared = false;  // by a start declaration
  int pages = 4;
  std::map<std::string, std::pair<int, int>> bank_setters;  // statement -> (bank bit, value)
  int bank_bits = 0;  // the bank bits declared: the highest one and all below it
  std::set<std::string> no_fall_through;  // folded mnemonics
  bool declared = false;
};

PageSelection page_selection(const ProgramModel& model);
// The bank selected when statement `index` runs, walked back as for a page; -1 when some bank
// bit is not known. `where` gets the selecting lines.
int selected_bank(const ProgramModel& model, size_t index, const PageSelection& p,
                  std::vector<int>& where);
// A goto or call to another page than the one selected before it.
void check_pages(const ProgramModel& model, const PageSelection& p, Findings& findings);
