// The disassembler: a program file (or loading map, or listing) read by the
// loader's rules, written back as zasm source that assembles to the same
// store words, tags, entry, chapter 0 address and overlays.
//
// The source follows the file's order: its word lines, tag lines and
// overlay lines stand in the same sequence, so that every overlay saves
// what it saved before. Words that the flow of control from the entry
// reaches are shown as instructions (in the store as loaded, and in each
// overlay's image), long words and text where the program evidently holds
// them, every other word as a SHORT; every address an instruction names
// gets a label: its own name when the file carries zasm's symbol lines.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zdis {

// One line of the program file that changes what is loaded, in order.
struct Item {
  enum Kind { WORD, TAG, OVERLAY } kind = WORD;
  int addr = 0;      // WORD: the load address
  int32_t w = 0;     // WORD: the word
  int n = 0;         // TAG: the tag; OVERLAY: the overlay number
  int f = 0, e = 0;  // OVERLAY: the first address and the end address
};

struct Prog {
  std::string title;  // the first line, without its line end ("" for a listing)
  bool listing = false;
  std::vector<Item> items;
  int entry = 160;
  bool entry_set = false;
  long long chap0 = -1;
  std::map<int, std::string> names;  // labels from zasm's symbol lines, by address
};

// Reads the bytes of a program file by the loader's rules. Returns "" or,
// for a file the loader refuses (or whose entry lies outside the store),
// "LINE: what is wrong" (LINE 0 for the file as a whole).
std::string read(const std::string& data, Prog& p);

// The zasm source of a program; name heads it.
std::string source(const Prog& p, const std::string& name);

// The statement that writes the word w at address a: an instruction when
// as_code is set and its decode value has a mnemonic, else a SHORT. label
// names an address that an instruction's operand gives.
std::string statement(int32_t w, int a, bool as_code, const std::function<std::string(int)>& label);

}  // namespace zdis
