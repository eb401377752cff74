// The assembler: source text in the machine's own terms to a program file,
// or (tape) to a program tape image through the tape builder.
//
// A source line is an optional label, a mnemonic or a directive, its
// operands and a comment after ";". zasm(1) gives the language; the
// mnemonics and operand forms are the instruction table's (isa.h).
//
// Two passes: the first gives every label its address (it evaluates what
// places words: ORG, RES, EVEN, CHAPTER), the second encodes the words. A
// source with any error gives no output at all.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zasm {

// What a value is relative to. With a tape every address of a chapter is
// relative to the chapter's base, and a file's route and a transit area's
// pseudo-route are given by progtape: such a value is an offset, which
// progtape relocates when it loads the word.
enum Rel : uint8_t { ABS, CHAP, ROUTE, PSEUDO };

struct Val {
  long long v = 0;
  Rel rel = ABS;
  int idx = 0;  // the chapter, file (from 0) or transit area (from 0)
};

struct Sym {
  Val val;
  bool label = false;     // the address of a statement (else EQU, FILE or AREA)
  int line = 0;           // the line that defines it
  std::vector<int> uses;  // the lines that use it, in order, each once
};

using Symbols = std::map<std::string, Sym>;

struct Error {
  int line;  // 0 for the source as a whole
  std::string msg;
};

constexpr int MAX_ERRORS = 50;

struct Output {
  std::vector<Error> errors;  // at most MAX_ERRORS, by line; none when it assembled
  int dropped = 0;            // errors beyond those
  std::string file;           // the program file, or the tape image's bytes
  std::string listing;
  Symbols syms;
};

// Assembles the source text; name is the source's name (the program file's
// title when the source gives none). The listing is made when asked for.
Output assemble(const std::string& text, const std::string& name, bool tape, bool listing = false);

// The word of one statement as zasm writes it (an instruction, or a
// one-word SHORT, RADIX or NAME) at address loc, with the symbols given.
// Returns "" or what is wrong.
std::string encode(const std::string& stmt, int loc, const Symbols& syms, int32_t& word);

// The value of an expression (numbers, symbols, "+" and "-") with the
// symbols given. Returns "" or what is wrong.
std::string evaluate(const std::string& expr, const Symbols& syms, long long& v);

// Symbol lines: zasm ends a program file with one line for each symbol, a
// space first, so that the loader passes over them:
//   " label NAME ADDRESS"   a statement's address
//   " equ NAME VALUE"       a value set by EQU
// read_symbols() takes them from a program file's text.
std::string symbol_lines(const Symbols& syms);
Symbols read_symbols(const std::string& text);

// The writing of a word as A/C/B M.
std::string notation(int32_t w);

}  // namespace zasm
