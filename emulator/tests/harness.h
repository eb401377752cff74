// Runs the emulator in-process with its streams captured, in a fresh
// temporary working directory, so that tests can check exact output.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cycle.h"
#include "machine.h"
#include "ops.h"

struct Result {
  int status = -1;
  std::string out;  // standard output (and the log when it goes there)
  std::string err;  // standard error
};

// A test fixture that works in its own temporary directory.
class EmuTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a file in the working directory.
  void put(const std::string& name, const std::string& text);
  // Reads a file of the working directory ("" when missing).
  std::string get(const std::string& name);
  // Runs the emulator with these arguments (program name not included),
  // feeding `input` as standard input.
  Result emu(const std::vector<std::string>& args, const std::string& input = "");
  // Writes "prog.txt" (a title line, then the lines) and runs it.
  Result prog(const std::vector<std::string>& lines, const std::vector<std::string>& sw = {},
              const std::string& input = "");

  std::string dir, home;
};

// The word line of an instruction: "A/C/B M".
std::string ins(int fc, int lb, int mf, int addr);
// A word line for a raw 21-bit value.
std::string word(int32_t w);
// Splits text into lines (without their line ends).
std::vector<std::string> lines(const std::string& text);
