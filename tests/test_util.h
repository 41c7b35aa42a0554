// Helpers for tests that lay out files in a private directory and run the assembler there.
#pragma once

#include <map>
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
  bool exists(const std::string& name) const;
};

struct RunResult {
  int status = -1;
  std::string out;
};

// Runs the built program as a process in `dir` (args exclude the program itself).
RunResult run_program(const ScratchDir& dir, const std::vector<std::string>& args,
                      const std::string& program = WENDRIX_EXE);
// Runs the assembler in this process with `dir` as the working directory.
RunResult run_in_process(const ScratchDir& dir, const std::vector<std::string>& args);

std::string banner();
// The text every run up to "Pass 1..." prints.
std::string pass1_header();
