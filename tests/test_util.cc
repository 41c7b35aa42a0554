#include "test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "driver.h"
#include "lint.h"

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string templ = (fs::temp_directory_path() / "wendrix-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path, ec);
}

void ScratchDir::write(const std::string& name, const std::string& content) const {
  fs::path p = fs::path(path) / name;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

std::string ScratchDir::read(const std::string& name) const {
  std::ifstream in(fs::path(path) / name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

RunResult run_shell(const ScratchDir& dir, const std::string& command) {
  RunResult result;
  FILE* pipe = popen(("cd '" + dir.path + "' && " + command + " 2>&1 </dev/null").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

RunResult run_in_process(const ScratchDir& dir, const std::vector<std::string>& argv, bool lint) {
  fs::path previous = fs::current_path();
  fs::current_path(dir.path);
  std::ostringstream out;
  RunResult result;
  result.status = lint ? run_lint(argv, out) : run_wendrix(argv, out);
  result.out = out.str();
  fs::current_path(previous);
  return result;
}

std::string banner() {
  return "\n\nWendrix V0.10 Beta\n" + std::string(76, '_') + "\n\n";
}
