// The driver: one run of the assembler from its arguments, and where its files are found.
#include "driver.h"

#include <unistd.h>

#include <ostream>

#include "diag.h"
#include "isa.h"
#include "output.h"
#include "pass1.h"
#include "pass2.h"
#include "source.h"
#include "symbols.h"

namespace {

const char* const kTitle = "Wendrix V0.10 Beta";

bool has_upper(const std::string& text) {
  for (char c : text) {
    if (fold_case(c) != c) return true;
  }
  return false;
}

// Directory of the running program as the system reports it; "" when it cannot tell.
std::string executable_directory() {
  std::string path(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return "";
  path.resize(static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

int run(const std::vector<std::string>& args, Resolver resolve) {
  console() << "\n\n" << kTitle << '\n' << std::string(76, '_') << '\n' << '\n';
  if (args.size() < 2) {
    console() << "usage: wendrix input.asm\n"
              << "(it really is that simple)\n";
    return 1;
  }
  // These steps are also what lets the program run again in one process: nothing of an
  // earlier run survives them (the source reader starts afresh as it opens the source, and
  // pass 2 as it starts).
  reset_run();
  if (load_instruction_set(args[0]).empty()) {
    console() << "can't read inst.dat";
    fatal_stop(1);
  }
  std::optional<std::string> base = open_main_source(args[1]);
  if (!base) {
    console() << "error opening [" << base_name_of(args[1]) << ".asm]\n";
    fatal_stop(1);
  }
  return run_passes(&*base, resolve) ? 0 : 1;
}

}  // namespace

void reset_run() {
  statements_reset();
  diag_reset();
  symbols_reset();
}

std::string base_name_of(const std::string& argument) {
  std::string lowered = fold_case(argument);
  size_t cut = lowered.find(".asm");
  return cut == std::string::npos ? lowered : lowered.substr(0, cut);
}

bool run_passes(const std::string* outputs, Resolver resolve) {
  console() << "\n"
            << "Pass 1...\n";
  run_pass1();
  close_sources();
  if (errors_seen) return false;
  if (outputs) {
    run_pass2(*outputs, resolve);
  } else {
    resolve();
    encode_program();
  }
  return true;
}

std::string load_instruction_set(const std::string& invocation_path, LoadFailure* local) {
  if (load_instruction_defs("inst.dat") == 0) return "inst.dat";
  if (local) *local = last_load_failure();
  std::string second = second_instruction_path(invocation_path);
  return load_instruction_defs(second) == 0 ? second : "";
}

std::optional<std::string> open_main_source(const std::string& argument) {
  std::string base = base_name_of(argument);
  if (open_source(base + ".asm") == 0) return base;
  if (has_upper(argument)) {
    // On a case-sensitive file system the name as written may be the one that exists.
    std::string as_written = argument.substr(0, base.size());
    if (open_source(as_written + ".asm") == 0) return as_written;
  }
  return std::nullopt;
}

std::string second_instruction_path(const std::string& invocation_path) {
  // The first character is never taken for a separator.
  for (size_t i = invocation_path.size(); i-- > 1;) {
    if (invocation_path[i] == '/' || invocation_path[i] == '\\') {
      return invocation_path.substr(0, i) + "/inst.dat";
    }
  }
  // Started through PATH: look beside the program itself.
  return executable_directory() + "/inst.dat";
}

int run_wendrix(const std::vector<std::string>& args, std::ostream& out, Resolver resolve) {
  set_console(&out);
  int status;
  try {
    status = run(args, resolve);
  } catch (const FatalStop& stop) {
    status = stop.status;
  }
  out.flush();
  // Files a stop left open are closed now rather than at process exit.
  source_reset();
  set_console(nullptr);
  return status;
}
