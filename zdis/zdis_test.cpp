// The round trip: zdis, then zasm, gives the machine the emulator's own
// loader loads from the first file: every word value, the bundled examples
// and generated programs with tags, overlays and a chapter 0. And the
// examples give the words of their hand-encoded forms.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "asm.h"
#include "builder.h"
#include "dis.h"
#include "isa.h"
#include "loaded.h"
#include "outfile.h"
#include "../emulator/tests/scratch.h"

namespace {

std::string slurp(const std::string& name) {
  std::string text;
  EXPECT_EQ(zasm::read_file(name, text), "") << name;
  return text;
}

// zdis, then zasm: the program file it gives.
std::string round_trip(const std::string& file) {
  zdis::Prog p;
  std::string e = zdis::read(file, p);
  EXPECT_EQ(e, "");
  std::string src = zdis::source(p, "test");
  zasm::Output o = zasm::assemble(src, "test", false);
  EXPECT_TRUE(o.errors.empty()) << o.errors[0].line << ": " << o.errors[0].msg << "\n" << src;
  return o.file;
}

// Every word value, in 64 stores of 32768 words, each word written as an
// instruction where it has a mnemonic and as a number, by the statements
// zdis writes (the addresses its operands name as numbers here).
TEST(RoundTrip, EveryWordValue) {
  auto label = [](int a) { return std::to_string(a); };
  for (bool code : {true, false}) {
    for (int32_t b = 0; b < 64; b++) {
      std::string src = " ORG 0\n";
      for (int a = 0; a < STORE; a++) {
        std::string t = zdis::statement(b * STORE + (a ^ b * 97), a, code, label);
        // Numbers sixteen to a SHORT statement.
        if (!code && a % 16) t = t.replace(0, 5, ",");
        src += (code || a % 16 == 0 ? "\n " : "") + t;
      }
      zasm::Output o = zasm::assemble(src, "all", false);
      ASSERT_TRUE(o.errors.empty()) << o.errors[0].msg << " in block " << b;
      zdis::Prog p;
      ASSERT_EQ(zdis::read(o.file, p), "");
      ASSERT_EQ(p.items.size(), (size_t)STORE);
      for (int a = 0; a < STORE; a++)
        ASSERT_EQ(p.items[a].w, b * STORE + (a ^ b * 97)) << "at " << a;
    }
  }
}

TEST(RoundTrip, BundledExamples) {
  for (const char* ex : {"count.txt", "copy.txt", "sum.txt", "ledger.map"}) {
    std::string file = slurp(EXAMPLES_DIR "/" + std::string(ex));
    ASSERT_FALSE(file.empty()) << ex;
    Loaded a = load_text(file), b = load_text(round_trip(file));
    EXPECT_EQ(a.status, 0) << ex;
    EXPECT_TRUE(a == b) << ex;
  }
}

// A word line: "A/C/B M".
std::string word(int32_t w) {
  char b[32];
  std::snprintf(b, sizeof b, "%d/%d/%d %d\n", w >> 16, (w >> 15) & 1, (w >> 13) & 3, w & 0x1FFF);
  return b;
}

int32_t op(int dv, int field) { return dv << 13 | field; }

// What zdis makes of the words: instructions where control goes, the
// alarm's reply addresses, a long operand, text, labels and EQU for an
// address nothing loads; tag and overlay lines where they stood.
TEST(Source, ShowsWhatTheWordsHold) {
  std::string f = "small\nL160 code\n";
  for (int32_t w : {op(5, 300), op(186, 160), op(52, 302), op(216, 166), op(208, 400), op(196, 160),
                    op(16, 3000), op(5, 306), op(210, 1)})
    f += word(w);
  for (int k = 0; k < 9; k++) f += word(k == 1 ? 178 : 179);
  f += word(op(186, 154)) + word(op(210, 2));
  f += "L300 data\n" + word(9) + word(5) + word(0x45678) + word(0x100123) + word(0x36366) +
       word(0x58556) + word(1);
  f += "T5 tag\nL400 sub\n" + word(0) + word(op(209, 400)) +
       "O01   400   402 overlay\nX1000 no files\nE160 entry\n";
  zdis::Prog p;
  ASSERT_EQ(zdis::read(f, p), "");
  std::vector<std::string> got;
  std::istringstream in(zdis::source(p, "small"));
  for (std::string l; std::getline(in, l);) {
    l = l.substr(0, l.find(" ; "));
    while (!l.empty() && l.back() == ' ') l.pop_back();
    got.push_back(l);
  }
  std::vector<std::string> want = {"; small, disassembled by zdis",
                                   "        TITLE \"small\"",
                                   "D3000   EQU 3000",
                                   "L160    RREG D300",
                                   "        EMR 160",
                                   "        SELL D302",
                                   "        JAZ L166",
                                   "        ESUB D400",
                                   "        JMP L160",
                                   "L166    TRA D3000",
                                   "        RREG D306",
                                   "        EPC 1",
                                   "        SHORT L179",
                                   "        SHORT L178"};
  for (int k = 0; k < 7; k++) want.push_back("        SHORT L179");
  for (const char* l :
       {"L178    EMR 154", "L179    EPC 2", "        ORG 300", "D300    SHORT 9", "        SHORT 5",
        "D302    LONG -0x12345678", "        TEXT \"HELLO\"", "D306    SHORT 1", "        TAG 5",
        "        ORG 400", "D400    SHORT 0", "L401    LSUB D400", "        OVERLAY 1, 400, 402",
        "        ENTRY L160", "        CHAP0 1000"})
    want.push_back(l);
  EXPECT_EQ(got, want);
}

// Random program files: words (many of them instructions, reached from the
// entry), load addresses, tags, overlays and a chapter 0 with files.
std::string generated(std::mt19937& rng) {
  auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
  std::string t = "generated\n";
  int base = pick(4) ? 160 + pick(3000) : 32768 - 300, addr = base;
  t += "L" + std::to_string(addr) + " code\n";
  for (int n = 40 + pick(200); n > 0; n--) {
    switch (pick(12)) {
      case 0:
        addr = pick(32700);
        t += "L" + std::to_string(addr) + " at\n";
        break;
      case 1: t += "T" + std::to_string(pick(3) ? pick(16) : pick(300)) + " tag\n"; break;
      case 2: {
        int f = pick(32000), e = f + pick(60);
        char b[48];
        std::snprintf(b, sizeof b, "O%02d %5d %5d overlay\n", pick(15), f, e);
        t += b;
        break;
      }
      case 3: t += word((int32_t)(rng() & 0x1FFFFF)), addr++; break;
      case 4: {  // five characters of the machine's code, as a long word
        uint8_t c[5];
        for (uint8_t& x : c) x = (uint8_t)isa::store_code(pick(4) ? 0x11 + pick(9) : pick(64));
        t += word(((c[2] & 0xF) << 16 | c[3] << 8 | c[4]) & 0xFFFFF);
        t += word(c[0] << 12 | c[1] << 4 | c[2] >> 4), addr += 2;
        break;
      }
      default: {  // an instruction naming an address near the code
        int dv = pick(256), field = pick(4) ? (base + pick(300)) & 0x1FFF : pick(8192);
        t += word(dv << 13 | field), addr++;
        break;
      }
    }
    if (addr >= 32768) t += "L" + std::to_string(addr = 200) + " wrap\n";
  }
  if (pick(2)) {  // chapter 0: two files and the end of the list
    int c = 20000 + pick(2000);
    t += "X" + std::to_string(c) + " chapter 0\nL" + std::to_string(c + 34) + " files\n";
    t += word(0x50009) + word(0x6773) + word(0x70012) + word(pick(2) ? 0x5367 : 0) + word(0);
  }
  t += "E" + std::to_string(base + pick(5)) + " entry\n";
  if (pick(3) == 0)  // zasm's symbol lines, one a name zdis would make for another address
    t += " label L" + std::to_string(base) + " " + std::to_string(base + 1) +
         "\n label A_NAME_LONGER_THAN_A_COLUMN " + std::to_string(base + pick(20)) + "\n";
  return t;
}

TEST(RoundTrip, GeneratedPrograms) {
  std::mt19937 rng(20);
  int done = 0;
  for (int k = 0; k < 300; k++) {
    std::string file = generated(rng);
    zdis::Prog p;
    if (!zdis::read(file, p).empty()) continue;  // the loader would refuse it
    Loaded a = load_text(file), b = load_text(round_trip(file));
    ASSERT_EQ(a.status, 0) << file;
    ASSERT_TRUE(a == b) << file;
    done++;
  }
  EXPECT_GT(done, 250);
}

// The examples give the words of their hand-encoded forms, kept as test
// data: the same loaded machine, the ledger's tape image byte for byte.
TEST(Examples, SameWordsAsTheHandEncodedForms) {
  for (const char* ex : {"count.txt", "copy.txt"}) {
    Loaded a = load_text(slurp(SOURCE_DIR "/tests/data/" + std::string(ex)));
    Loaded b = load_text(slurp(EXAMPLES_DIR "/" + std::string(ex)));
    EXPECT_EQ(a.status, 0) << ex;
    EXPECT_TRUE(a == b) << ex;
  }
  tb::Program p;
  std::string err;
  ASSERT_TRUE(tb::parse(slurp(SOURCE_DIR "/tests/data/ledger.txt"), p, err)) << err;
  EXPECT_EQ(tb::image(tb::blocks(p)), slurp(EXAMPLES_DIR "/ledger.zelk"));
}

// The built program: its source written whole, or errors and nothing.
TEST_F(Scratch, TheProgramWritesOrSaysWhy) {
  put("p.txt", "p\n26/0/2 2\n");
  put("bad.txt", "bad\nL160\n0/2/0 1\n");
  put("old.asm", "old\n");
  auto zdis = [&](const std::string& args) { return sh(BIN_DIR "/zdis " + args + " 2>err.txt"); };
  EXPECT_EQ(zdis("-o p.asm p.txt"), 0);
  EXPECT_THAT(get("p.asm"), ::testing::HasSubstr("\nL160    EPC 2"));
  EXPECT_EQ(zdis("-o old.asm bad.txt"), 1);
  EXPECT_EQ(get("err.txt"),
            "bad.txt:3: a word line the loader refuses (a field out of range, or the load "
            "address outside the store)\n");
  EXPECT_EQ(get("old.asm"), "old\n");
  EXPECT_EQ(zdis("none.txt"), 1);
  EXPECT_EQ(get("err.txt"), "zdis: none.txt: No such file or directory\n");
  EXPECT_EQ(zdis("-o /dev/full p.txt"), 1);
  EXPECT_EQ(get("err.txt"), "zdis: write error: No space left on device\n");
}

TEST(Read, WhatTheLoaderRefusesIsRefused) {
  auto read = [](const std::string& file) {
    zdis::Prog p;
    return zdis::read(file, p);
  };
  EXPECT_EQ(read("t\n32/0/0 1\n"),
            "2: a word line the loader refuses (a field out of range, or the load address "
            "outside the store)");
  EXPECT_EQ(read("t\nO15   100   200\n"), "2: an overlay line the loader refuses");
  EXPECT_EQ(read("t\nX32740 top\n"),
            "0: chapter 0's file list runs past the end of the store; the loader refuses it");
  EXPECT_EQ(read("t\nE99999 far\n"), "0: the entry address 99999 lies outside the store");
  // A listing: what comes before its second-pass marker is not loaded.
  zdis::Prog p;
  EXPECT_EQ(zdis::read("<listing\n1/1/1 1\n=============== Second pass\n0/0/0 77\n", p), "");
  ASSERT_EQ(p.items.size(), 1u);
  EXPECT_EQ(p.items[0].w, 77);
  EXPECT_TRUE(p.listing);
}

}  // namespace
