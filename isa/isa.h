// The machine's instruction table and character code: the one description
// that the emulator's trace and console, the assembler and the disassembler
// all read.
//
// The instruction table gives, for each decode value 0-255 (function code
// x 8 + long bit x 4 + modifier field), the text the trace prints, the
// mnemonic and the operand form. A mnemonic names either one decode value
// or, where the modifier field names a modifier register, the four decode
// values of that register choice (the first of them a multiple of 4).
#pragma once

#include <cstdint>
#include <string>

namespace isa {

// How an instruction's address field is written.
enum Form : uint8_t {
  NONE,   // no instruction: the decode value is invalid
  ADDR,   // an address in the instruction's quarter of the store
  MOD,    // an address, and a modifier register ",M1" to ",M3" (modifier field)
  REG,    // an address, and the modifier register it works on (",M0" to ",M3")
  NUM,    // a number 0-8191: the field as it stands
  SHIFT,  // a shift count 0-8191; -1 to -4096 stand for 8192 less the count
  STEP,   // a step -4095 to 4095 (or -0: sign bit 12), and its register ",M0" to ",M3"
  STEPN,  // a step, the register named by the word after the instruction
};

struct Op {
  const char* name;  // the trace's text, spaces included
  const char* mnem;  // the mnemonic; "" when the decode value is invalid
  Form form;
};

extern const Op ops[256];

// Forms whose modifier field is written as a register after the operand.
inline bool has_reg(Form f) { return f == MOD || f == REG || f == STEP; }

// The first decode value of a mnemonic (any case), or -1.
int find(const std::string& mnem);

// The store form of a six-bit character code: the code plus 0x40, except
// space, "-", "&" and "0" (0x00, 0x10, 0x20, 0x30), which stand as they are.
inline int store_code(int c) { return (c & 0xF) ? c + 0x40 : c; }

// The character of a code as source text writes it ("£" in UTF-8, newline
// as "\n"), or nullptr when the code is not a character's store form.
const char* char_text(int code);

// Reads one character of source text at s (n bytes): its store code, and
// the bytes it took in len. "£" is two bytes in UTF-8 or the one byte 0xA3;
// "\n" is the newline and "\\" the backslash. Returns -1 when the text
// there is no character of the machine.
int text_code(const char* s, size_t n, size_t& len);

}  // namespace isa

// The trace's text of a decode value (0-255); "Invalid" for any other value.
const char* name_of(int dv);
