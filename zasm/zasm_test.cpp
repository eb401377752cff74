// The assembler: the instruction table it reads, the words of its forms,
// its errors (the program run as a process), and the symbols it leaves for
// the console.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../emulator/tests/scratch.h"
#include "asm.h"
#include "dis.h"
#include "isa.h"
#include "progtape.h"
#include "symbols.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// The words a program file loads, in order: (address, word).
std::vector<std::pair<int, int32_t>> words(const std::string& file) {
  zdis::Prog p;
  EXPECT_EQ(zdis::read(file, p), "");
  std::vector<std::pair<int, int32_t>> v;
  for (const zdis::Item& it : p.items)
    if (it.kind == zdis::Item::WORD) v.push_back({it.addr, it.w});
  return v;
}

int32_t op(int dv, int field) { return dv << 13 | field; }

TEST(Table, MnemonicsNameOneDecodeOrOneRegisterGroup) {
  for (int dv = 0; dv < 256; dv++) {
    const isa::Op& o = isa::ops[dv];
    ASSERT_EQ(o.form == isa::NONE, std::string(o.name) == "Invalid") << dv;
    if (o.form == isa::NONE) continue;
    int first = isa::find(o.mnem);
    // A register group is the four modifier fields of one function and
    // long bit; any other mnemonic names its decode value alone.
    ASSERT_EQ(first, isa::has_reg(o.form) ? dv & ~3 : dv) << o.mnem;
    ASSERT_EQ(isa::ops[first].form, o.form) << o.mnem;
    ASSERT_STREQ(isa::ops[first].name, o.name) << o.mnem;
  }
  EXPECT_EQ(isa::find("addl"), 36);
  EXPECT_EQ(isa::find("ADDX"), -1);
  // Every character's text reads back as its code.
  for (int c = 0; c < 128; c++) {
    const char* t = isa::char_text(c);
    if (!t) continue;
    size_t n;
    EXPECT_EQ(isa::text_code(t, std::strlen(t), n), c) << c;
    EXPECT_EQ(n, std::strlen(t));
  }
}

TEST(Assemble, DataFormsAndOperands) {
  zasm::Output o = zasm::assemble(
      "STG     RADIX 10, 10, 2, 10, 12\n"  // 160
      "        RADIX 10\n"
      "        SHORT -0, -5, 0x1FFFFF, *+1, 2*3+1\n"  // 162-166
      "        EVEN\n"
      "        LONG -0x123456789\n"          // 168
      "        AMOUNT STG, -157.12.11\n"     // 170
      "        TEXT \"\xC2\xA3\x31\\n#\"\n"  // 172: pound sign, 1, newline, end code
      "        NAME \"PT\"\n"                // 174
      "X       ADD X,M2\n"                   // 175
      "Y:\n"                                 // a label alone names the next word
      "        SHL -2\n"
      "        SOT -0,M1\n"
      "        SMR Y,M0\n"
      "        EMR 4\n"
      "        ORG 8200\n"
      "        JMP *\n",
      "t", false);
  ASSERT_TRUE(o.errors.empty()) << o.errors[0].line << ": " << o.errors[0].msg;
  std::vector<std::pair<int, int32_t>> w = words(o.file);
  std::vector<int32_t> v;
  for (auto& [a, x] : w) v.push_back(x);
  EXPECT_THAT(v, ElementsAre(0x66E64, 0x66666, 0x100000, 0x100005, 0x1FFFFF, 163, 7,  //
                             0x56789, 0x101234,                                       // LONG
                             0x5712B, 0x100001,                                       // AMOUNT
                             0xE7E00, 0x4F415,                                        // TEXT
                             0x6773,                                                  // NAME
                             op(34, 175), op(144, 8190), op(201, 0x1000), op(212, 176), op(186, 4),
                             op(196, 8)));
  EXPECT_EQ(w.back().first, 8200);
}

// A program tape with an overlay chapter, through progtape: each word is
// relocated as its operand is written.
TEST_F(Scratch, TapeWordsRelocateByHowTheyAreWritten) {
  zasm::Output o = zasm::assemble(
      "        CHAPTERS 3, 2\n"
      "RDR     FILE \"PT\", 5, BUF, 10\n"
      "TA      AREA BUF, 10\n"
      "        CHAPTER 1, EXTRA\n"
      "START   JMP START\n"             // 141: the address field by chapter 1's
      "        SHORT BUF+1, RDR, TA\n"  // 142: a base, a route, a pseudo-route
      "        EMR 4\n"                 // 145: a group 4 action
      "        EPC 2\n"                 // 146: unload
      "BUF     RES 10\n"
      "        CHAPTER 2\n"
      "        SHORT 0, TWO\n"
      "TWO     SHORT 2\n"
      "        CHAPTER 3\n"  // an overlay, at chapter 1's base
      "        SHORT 0\n"
      "THREE   JMP THREE\n"
      "        ENTRY START\n",
      "t", true);
  ASSERT_TRUE(o.errors.empty()) << o.errors[0].line << ": " << o.errors[0].msg;
  put("t.zelk", o.file);
  std::string img = dir + "/t.zelk", map = dir + "/t.map";
  const char* argv[] = {"progtape", "-b1000", "-b3000", img.c_str(), map.c_str()};
  FILE* null = std::fopen("/dev/null", "w");
  EXPECT_EQ(progtape::run(5, (char**)argv, null, null), 0);
  std::fclose(null);
  std::map<int, std::vector<int32_t>> at;  // every word loaded at each address
  for (auto& [a, w] : words(get("t.map"))) at[a].push_back(w);
  EXPECT_EQ(at[1141].back(), op(196, 1141));
  EXPECT_EQ(at[1142].back(), 1148);
  EXPECT_EQ(at[1143].back(), 9);
  EXPECT_EQ(at[1144].back(), 8);
  EXPECT_EQ(at[1145].back(), op(186, 4));
  EXPECT_EQ(at[1146].back(), op(210, 2));
  EXPECT_EQ(at[3001].back(), 3002);
  EXPECT_EQ(at[1001].back(), op(196, 1001));  // the overlay, loaded over chapter 1
}

// The errors, by line, of a source that does not assemble.
std::vector<std::string> errors(const std::string& text, bool tape) {
  zasm::Output o = zasm::assemble(text, "t", tape);
  std::vector<std::string> v;
  for (const zasm::Error& e : o.errors) v.push_back(std::to_string(e.line) + ": " + e.msg);
  return v;
}

TEST(Assemble, WhatAProgramTapeCannotHold) {
  EXPECT_THAT(errors("        SHORT 1\n"        // 1
                     "        TAG 5\n"          // 2
                     "        CHAPTERS 3, 1\n"  // 3
                     "        CHAPTER 1\n"      // 4
                     "        SHORT 5\n"        // 5
                     "        ORG 9\n"
                     "        ORG 3\n"      // 7
                     "        CHAPTER 2\n"  // 8
                     "TWO     SHORT 0\n"
                     "        ENTRY TWO\n"        // 10
                     "        FILE \"p1\", 5\n",  // 11
                     true),
              ElementsAre("1: words before the first CHAPTER",
                          "2: TAG belongs to a program file; a program tape has none",
                          "5: the first word of a chapter must be 0 (progtape takes a chapter "
                          "whose first word is not 0 for the one that holds chapter 0)",
                          "7: ORG 3 goes back: the chapter stands at 9",
                          "8: an overlay chapter needs two initial chapters: it takes the base "
                          "of the one before the last",
                          "10: the entry must be an address in an initial chapter",
                          "11: a file name is two letters or digits in quotes"));
  EXPECT_THAT(errors(" CHAPTER 1\n SHORT 0\n", true),
              ElementsAre("0: a program tape needs its ENTRY"));
}

TEST(Assemble, ValuesAndTheirErrors) {
  // EQU may name what is defined further on; a circle of them never resolves.
  zasm::Output o = zasm::assemble("A EQU B+1\nB EQU 5*2\n SHORT A\n", "t", false);
  ASSERT_TRUE(o.errors.empty());
  EXPECT_EQ(o.syms["A"].val.v, 11);
  EXPECT_THAT(errors("C EQU D\nD EQU C\n", false),
              ElementsAre("1: undefined symbol D", "2: undefined symbol C"));
  // Relocated values add to plain numbers and subtract from their own kind.
  EXPECT_THAT(errors(" CHAPTER 1\n SHORT 0\nX SHORT X+X, -X, X-Y\nY SHORT Y-X, 2*Y\n"
                     " ENTRY X\n",
                     true),
              ElementsAre("3: two relocated values cannot be added",
                          "4: a relocated value cannot be multiplied"));
  EXPECT_THAT(
      errors("S RADIX 10, 10, 2, 10, 12\n EVEN\n AMOUNT S, 1.2\n RADIX 17\n ORG L\nL SHORT 1\n",
             false),
      ElementsAre("3: amount 1.2: 2 groups where the radix word gives 3",
                  "4: radix 17 does not fit (1 to 16)",
                  "5: undefined symbol L (ORG needs it defined above)"));
  // Past the limit the errors are counted, not kept.
  std::string many;
  for (int k = 0; k < zasm::MAX_ERRORS + 3; k++) many += " JMP NOWHERE\n";
  o = zasm::assemble(many, "t", false);
  EXPECT_EQ(o.errors.size(), (size_t)zasm::MAX_ERRORS);
  EXPECT_EQ(o.dropped, 3);
}

TEST(Assemble, ListingOfWordsAndSymbols) {
  zasm::Output o = zasm::assemble(
      " CHAPTER 1, EXTRA\nGO JMP GO ; round\n SHORT GO, DONE\nDONE EPC 2\n ENTRY GO\n", "t", true,
      true);
  ASSERT_TRUE(o.errors.empty());
  EXPECT_THAT(o.listing,
              HasSubstr("    2   1:141  24/1/0 141     18808D addr:1    GO JMP GO ; round\n"
                        "    3   1:142  0/0/0 141      00008D base:1     SHORT GO, DONE\n"
                        "        1:143  0/0/0 144      000090 base:1\n"
                        "    4   1:144  26/0/2 0       1A4000 unload    DONE EPC 2\n"));
  EXPECT_THAT(o.listing, HasSubstr("\nSymbols\nDONE                1:144  line 4; used 3\n"
                                   "GO                  1:141  line 2; used 2 3 5\n"));
}

// The built program, run in a scratch folder.
class Zasm : public Scratch {
 protected:
  int zasm(const std::string& args) { return sh(BIN_DIR "/zasm " + args + " 2>err.txt"); }
};

TEST_F(Zasm, EveryErrorReportedAndNothingWritten) {
  put("bad.asm",
      "        ORG 160\n"
      "A       ADD NOWHERE\n"
      "A       SUB A\n"
      "        ADX 5\n"
      "        TEXT \"price\"\n"
      "        ADDLIT 9000\n"
      "        LONG 1\n"
      "        JMP 9000\n"
      "        SMR A\n");
  put("bad.txt", "the old program\n");
  EXPECT_EQ(zasm("-l bad.lst bad.asm"), 1);
  EXPECT_EQ(get("err.txt"),
            "bad.asm:2: undefined symbol NOWHERE\n"
            "bad.asm:3: label A defined twice (first on line 2)\n"
            "bad.asm:4: unknown mnemonic ADX\n"
            "bad.asm:5: text: \"p\" is not in the machine's character code\n"
            "bad.asm:6: operand 9000 does not fit ADDLIT's address field (0 to 8191)\n"
            "bad.asm:7: LONG at odd address 163: a long word needs an even address (EVEN puts "
            "it on one)\n"
            "bad.asm:8: address 9000 is outside the quarter of the store this instruction is in "
            "(0 to 8191)\n"
            "bad.asm:9: SMR needs its modifier register: ,M0 to ,M3 after the operand\n");
  EXPECT_EQ(get("bad.txt"), "the old program\n");
  EXPECT_EQ(sh("test -e bad.lst"), 1);
}

TEST_F(Zasm, FilesThatCannotBeReadOrWritten) {
  put("ok.asm", " SHORT 1\n");
  EXPECT_EQ(zasm("none.asm"), 1);
  EXPECT_EQ(get("err.txt"), "zasm: none.asm: No such file or directory\n");
  EXPECT_EQ(zasm("-o /dev/full ok.asm"), 1);
  EXPECT_EQ(get("err.txt"), "zasm: write error: No space left on device\n");
  // Written whole: the default name, the listing beside it.
  EXPECT_EQ(zasm("-l ok.lst ok.asm"), 0);
  EXPECT_THAT(get("ok.txt"), HasSubstr("\n0/0/0 1        [160] SHORT 1\n"));
  EXPECT_THAT(get("ok.lst"), HasSubstr("  160  0/0/0 1        000001"));
  EXPECT_EQ(sh("test $(ls | wc -l) = 4"), 0);  // and no temporary file left
  // A link stays a link, the file behind it keeps its mode.
  put("real.txt", "old\n");
  ASSERT_EQ(sh("chmod 600 real.txt && ln -s real.txt link.txt"), 0);
  EXPECT_EQ(zasm("-o link.txt ok.asm"), 0);
  EXPECT_EQ(sh("test -L link.txt && test \"$(stat -c %a real.txt)\" = 600"), 0);
  EXPECT_EQ(get("real.txt"), get("ok.txt"));
}

TEST(Symbols, AddressesLabelsAndInstructionsForTheConsole) {
  zasm::Output o = zasm::assemble(
      "        ORG 300\n"
      "LIMITS  SHORT 0, 5\n"
      "TOP     EQU 8000\n"
      "        ORG 160\n"
      "START   SMR LIMITS,M1\n"
      "AGAIN   JMP AGAIN\n",
      "t", false);
  ASSERT_TRUE(o.errors.empty());
  zsym::Table t = zsym::from_text(o.file);
  int a = -1;
  EXPECT_EQ(zsym::address(t, "AGAIN+1", a), "");
  EXPECT_EQ(a, 162);
  EXPECT_EQ(zsym::address(t, "TOP", a), "");
  EXPECT_EQ(a, 8000);
  EXPECT_EQ(zsym::address(t, "0x20", a), "");
  EXPECT_EQ(a, 32);
  EXPECT_EQ(zsym::address(t, "NOPE", a), "undefined symbol NOPE");
  EXPECT_EQ(zsym::address(t, "TOP*5", a), "address 40000 is outside the store");
  EXPECT_EQ(zsym::name(t, 161), "AGAIN");
  EXPECT_EQ(zsym::name(t, 301), "LIMITS+1");
  EXPECT_EQ(zsym::name(t, 100), "");
  EXPECT_EQ(zsym::name(t, 8000), "");  // an EQU is no label
  int32_t w = 0;
  EXPECT_EQ(zsym::word(t, "SMR LIMITS,M2", 400, w), "");
  EXPECT_EQ(w, op(214, 300));
  EXPECT_EQ(zsym::word(t, "SHORT -5", 400, w), "");
  EXPECT_EQ(w, 0x100005);
  EXPECT_EQ(zsym::word(t, "JMP AGAIN", 9000, w),
            "address 161 is outside the quarter of the store this instruction is in (8192 to "
            "16383)");
  EXPECT_EQ(zsym::word(t, "TEXT \"AB\"", 400, w), "TEXT does not make one word");
}

}  // namespace
