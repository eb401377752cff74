// What the operator's console needs of a program's symbols: the symbol
// lines that zasm writes at the end of a program file, addresses written
// with them, and instructions written as zasm writes them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "asm.h"

namespace zsym {

struct Table {
  zasm::Symbols syms;
  std::vector<std::pair<int, std::string>> labels;  // labels in the store, by address
};

// The symbols of a program file's text; a file without symbol lines gives
// an empty table.
Table from_text(const std::string& text);

// Reads the program file's symbols into t; a file that is not a regular
// file is not read. Returns "" or what is wrong (the host's text).
std::string load(const std::string& file, Table& t);

// An address written as a number (decimal, or hexadecimal 0x...), a
// symbol, or a symbol plus or minus numbers: 0-32767. Returns "" or what is
// wrong.
std::string address(const Table& t, const std::string& expr, int& addr);

// The address as its label, or as LABEL+offset from the nearest label
// below it (at most 255 words below); "" when no label is that near.
std::string name(const Table& t, int addr);

// The word of an instruction (or of a one-word SHORT, RADIX or NAME)
// written as zasm writes it, for the address addr. Returns "" or what is
// wrong.
std::string word(const Table& t, const std::string& text, int addr, int32_t& w);

}  // namespace zsym
