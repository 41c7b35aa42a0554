// Helpers for tests that lay out files in a private directory and run the assembler there.
#pragma once

#include <string>
#include <vector>

struct ScratchDir {
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path;
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;
};

struct RunResult {
  int status = -1;
  std::string out;
};

// Runs a program as a process in `dir`: a shell command line after "cd DIR && ".
RunResult run_shell(const ScratchDir& dir, const std::string& command);
// Runs the assembler (or wendrix-lint) in this process with `dir` as the working directory;
// `argv` starts with the program's path.
RunResult run_in_process(const ScratchDir& dir, const std::vector<std::string>& argv,
                         bool lint = false);

std::string banner();  // what every run prints first
