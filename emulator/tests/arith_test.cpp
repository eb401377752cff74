// Radix arithmetic and the register, arithmetic, shift and tag instructions.
#include "arith.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "amount.h"
#include "harness.h"
#include "ops.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr int DEC = 0x66666;       // every digit decimal
constexpr int STERLING = 0x66E64;  // pounds 2 decimal digits, shillings 2 + 10, pence 12

// ---------------------------------------------------------------------------
// The primitives, on the machine state directly.

class Prim : public ::testing::Test {
 protected:
  void SetUp() override {
    reset();
    log = tmpfile();
    M.log = log;
  }
  void TearDown() override {
    M.log = stdout;
    fclose(log);
    reset();
  }
  void radix(int r) {
    M.radix = r;
    M.uradix = ((r >> 16) & 0xF) * 0x11111;
  }
  std::string logged() {
    fflush(log);
    rewind(log);
    std::string s;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, log)) > 0) s.append(buf, n);
    return s;
  }
  void setd(int up, int lo) { M.d = Reg{up, lo}; }
  FILE* log;
};

TEST_F(Prim, RadixAddCarriesDigitByDigit) {
  EXPECT_EQ(radix_add(0x99999, 0x00001, DEC), 0x100000);
  EXPECT_EQ(radix_add(0x12345, 0x08765, DEC), 0x21110);
  EXPECT_EQ(radix_add(0x99999, 0x99999, DEC), 0x199998);
  // Binary: the plain sum, carry in bit 20.
  EXPECT_EQ(radix_add(0x99999, 0x00001, 0), 0x9999A);
  EXPECT_EQ(radix_add(0xFFFFF, 0x00001, 0), 0x100000);
  // Sterling: pence carry at 12, shilling units at 10, shilling tens at 2.
  EXPECT_EQ(radix_add(0x0000B, 0x00001, 0x00004), 0x00010);
  EXPECT_EQ(radix_add(0x1219B, 0x00001, STERLING), 0x13000);   // 12/19/11 + 1d
  EXPECT_EQ(radix_add(0x9919B, 0x00001, STERLING), 0x100000);  // 99/19/11 + 1d
  EXPECT_EQ(radix_add(0x0519A, 0x0700A, STERLING), 0x13008);   // 5/19/10 + 7/0/10
  // Odd radices: 9 in digit 0, 7 in digit 1 (excesses 7 and 9).
  EXPECT_EQ(radix_add(0x00008, 0x00001, 0x00097), 0x00010);
  EXPECT_EQ(radix_add(0x00068, 0x00001, 0x00097), 0x00100);
  // The sign bit adds as one more binary digit; a carry out of it is lost.
  EXPECT_EQ(radix_add(0x199999, 0x00001, DEC), 0);
  EXPECT_EQ(radix_add(0x100000, 0x00001, DEC), 0x100001);
}

TEST_F(Prim, OutOfRadix) {
  EXPECT_FALSE(out_of_radix(0x99999, DEC));
  EXPECT_TRUE(out_of_radix(0x0000A, DEC));
  EXPECT_TRUE(out_of_radix(0xF0000, DEC));
  EXPECT_FALSE(out_of_radix(0x9919B, STERLING));
  EXPECT_TRUE(out_of_radix(0x0000C, STERLING));  // 12 pence
  EXPECT_TRUE(out_of_radix(0x00200, STERLING));  // 20 shillings
  EXPECT_TRUE(out_of_radix(0x000A0, STERLING));
  EXPECT_FALSE(out_of_radix(0xFFFFF, 0));
  EXPECT_FALSE(out_of_radix(0x00068, 0x00097));  // radices 9 and 7
  EXPECT_TRUE(out_of_radix(0x00070, 0x00097));
  EXPECT_TRUE(out_of_radix(0x00009, 0x00097));
}

TEST_F(Prim, ComplementAndBack) {
  radix(DEC);
  setd(SIGN, 0x00005);
  complement();
  EXPECT_EQ(M.d.up, 0x199999);
  EXPECT_EQ(M.d.lo, 0x99995);
  complement();
  EXPECT_EQ(M.d.up, SIGN);
  EXPECT_EQ(M.d.lo, 0x00005);
  // A borrow that runs into the upper half: -(1 00000).
  setd(SIGN | 1, 0);
  complement();
  EXPECT_EQ(M.d.up, 0x199999);
  EXPECT_EQ(M.d.lo, 0);
  complement();
  EXPECT_EQ(M.d.up, SIGN | 1);
  EXPECT_EQ(M.d.lo, 0);
  // Minus zero becomes plus zero.
  setd(SIGN, 0);
  complement();
  EXPECT_EQ(M.d.up, 0);
  EXPECT_EQ(M.d.lo, 0);
  // A digit out of radix: the digit A of the lower half stands for ten of
  // the digit above, so D is minus one upper unit.
  setd(SIGN, 0xA0000);
  complement();
  EXPECT_EQ(M.d.up, 0x199999);
  EXPECT_EQ(M.d.lo, 0);
  // A positive D is left alone.
  setd(0x12, 0x34);
  complement();
  EXPECT_EQ(M.d.up, 0x12);
  EXPECT_EQ(M.d.lo, 0x34);

  radix(STERLING);  // upper radix decimal
  setd(SIGN, 0x00001);
  complement();
  EXPECT_EQ(M.d.up, 0x199999);
  EXPECT_EQ(M.d.lo, 0x9919B);
  complement();
  EXPECT_EQ(M.d.lo, 0x00001);

  radix(0);
  setd(SIGN, 0x00005);
  complement();
  EXPECT_EQ(M.d.up, 0x1FFFFF);
  EXPECT_EQ(M.d.lo, 0xFFFFB);
}

TEST_F(Prim, LongAdditionAcrossHalves) {
  radix(DEC);
  Reg x{0, 0x99999}, y{0, 0x00001};
  long_add(x, y);
  EXPECT_EQ(x.up, 1);
  EXPECT_EQ(x.lo, 0);
  // Carry through all ten digits and out of the sign: -5 + 7 = 2.
  Reg m5{0x199999, 0x99995}, p7{0, 7};
  long_add(m5, p7);
  EXPECT_EQ(m5.up, 0);
  EXPECT_EQ(m5.lo, 2);
  // ADD's order puts the carry into D's upper half: A comes out the same.
  radix(STERLING);
  M.a = Reg{0x00009, 0x9919B};
  M.d = Reg{0, 1};
  add_d();
  EXPECT_EQ(M.a.up, 0x10);  // pounds above 99 carry on in decimal
  EXPECT_EQ(M.a.lo, 0);
  EXPECT_EQ(M.d.up, 1);
}

TEST_F(Prim, OutOfRadixMessagesAtNineOnly) {
  radix(DEC);
  M.sc = 201;
  M.verbosity = 8;
  radix_add(0x0000A, 1, DEC);
  setd(SIGN | 0xB0, 0x0000A);
  complement();
  EXPECT_EQ(logged(), "");
  M.verbosity = 9;
  radix_add(0x0000A, 0x00001, DEC);
  radix_add(0x00001, 0xF0000, DEC);
  setd(SIGN | 0xB0, 0x00001);
  complement();
  std::string s = logged();
  EXPECT_THAT(s, HasSubstr("  200 Out of radix operand 00000A\n"
                           "  200 Out of radix operand 0F0000\n"
                           "  200 Out of radix data 1000B0 00001\n"));
  // Data within its radices is not reported.
  setd(SIGN | 0x99999, 0x99999);
  complement();
  EXPECT_EQ(logged(), s);
  // Binary never reports.
  M.verbosity = 9;
  radix(0);
  radix_add(0xFFFFF, 0xFFFFF, 0);
  EXPECT_EQ(logged(), s);
}

// ---------------------------------------------------------------------------
// Small programs through the instruction cycle. Each ends in a HALT, whose
// report shows A, B, D and the two words at the HALT's address.

class Arith : public EmuTest {
 protected:
  // Runs the program and keeps the dump fields.
  void run(const std::vector<std::string>& lines, const std::vector<std::string>& sw = {}) {
    r = prog(lines, sw);
  }
  std::string reg(const char* key) {
    size_t p = r.out.find(key);
    return p == std::string::npos ? "?" : r.out.substr(p + strlen(key), 12);
  }
  std::string a() { return reg("\n A = "); }
  std::string b() { return reg("\n B = "); }
  // The two words the HALT's address names: "%06X %06X".
  std::string n() {
    size_t p = r.out.find("\n N = ");
    if (p == std::string::npos) return "?";
    size_t e = r.out.find('\n', p + 1);
    std::string line = r.out.substr(p, e - p);
    size_t q1 = line.find(") = "), q2 = line.rfind(") = ");
    return line.substr(q1 + 4, 6) + " " + line.substr(q2 + 4, 6);
  }
  std::string illegal() {
    size_t p = r.out.find("\nIllegal: ");
    return p == std::string::npos ? "?" : r.out.substr(p + 10, r.out.find('\n', p + 1) - p - 10);
  }
  Result r;
};

std::string halt(int addr) { return ins(0, 0, 0, addr); }
// An instruction by decode value and address field.
std::string op(int dv, int addr) { return ins(dv >> 3, (dv >> 2) & 1, dv & 3, addr); }

TEST_F(Arith, RegisterInstructions) {
  run({"L300 at", word(0x100123), "L302 at", word(0x54321), word(0x100006),
       // Alpha "-0012" at the pair 304-305.
       word(0x04142), word(0x10303), "L160 at", op(2, 300), op(4, 310), op(6, 302), op(6, 305),
       halt(312)},
      {"-v7"});
  EXPECT_EQ(n(), "000123 100000");  // B from the short word, copied by COPY REGISTERS
  EXPECT_EQ(b(), "100000 00012");   // the alpha number
  EXPECT_THAT(r.out, HasSubstr("  Store contents 010303 04142\n"));

  // REPLACE REGISTERS then SET RADIX: the upper radix is digit 4 repeated,
  // so a sterling carry out of the pounds goes on in decimal.
  run({"L320 at", word(0x9919B), word(0x00009), word(3), word(4), word(DEC), word(STERLING),
       "L160 at", op(5, 320), op(3, 325), op(13, 1), op(4, 330), halt(334)});
  EXPECT_EQ(a(), "000010 00000");
  EXPECT_EQ(b(), "000004 00003");
  EXPECT_EQ(n(), "066E64 000000");  // the radix register in the block
  run({"L320 at", word(0x9919B), word(0x00009), word(3), word(4), word(DEC), "L160 at", op(5, 320),
       op(13, 1), op(4, 330), halt(330)});
  EXPECT_EQ(n(), "09919C 000009");  // A lower and upper head the block

  run({op(4, 311)});
  EXPECT_EQ(illegal(), "Not implemented: COPY REGISTERS odd address  [000004 4 4]");
  run({op(5, 321)});
  EXPECT_EQ(illegal(), "Not implemented: REPLACE REGISTERS odd address  [000005 5 5]");
  // N past the store (a next-instruction modification of 40000).
  run({"L300 at", word(40000), "L160 at", op(193, 300), op(2, 0)});
  EXPECT_EQ(illegal(), "Bad memory address [009C40 40000 116100]");
}

TEST_F(Arith, LiteralInstructions) {
  run({op(15, 8191), halt(0)});
  EXPECT_EQ(a(), "000000 01FFF");
  // SELECT LITERAL AND DIVISION takes N whole; the literal takes the field.
  run({"L8492 at", word(7), "L8200 at", op(193, 300), op(194, 5), halt(0), "E8200 at"});
  EXPECT_EQ(a(), "000000 0200C");  // 8192 + 5 + 7
  run({"L300 at", word(7), "L160 at", op(193, 300), op(15, 5), halt(0)});
  EXPECT_EQ(a(), "000000 00005");

  // ADD LITERAL carries into A upper under the upper radix.
  run({"L300 at", word(DEC), word(0x99999), "L160 at", op(3, 300), op(48, 301), op(13, 1),
       halt(0)});
  EXPECT_EQ(a(), "000001 00000");

  // SUBTRACT LITERAL: complement form under an in-radix setting...
  run({"L300 at", word(DEC), "L160 at", op(3, 300), op(15, 3), op(14, 5), op(24, 310), halt(310)});
  EXPECT_EQ(a(), "199999 99998");
  EXPECT_EQ(n(), "100002 000000");
  run({op(15, 3), op(14, 5), halt(0)});  // binary
  EXPECT_EQ(a(), "1FFFFF FFFFE");
  // ...and plain binary when a digit is out of radix, with the borrow; so
  // too under a radix register of 1 (digit 0 radix 15) with A's F.
  run({"L300 at", word(1), "L160 at", op(3, 300), op(15, 0xF), op(14, 1), halt(0)});
  EXPECT_EQ(a(), "000000 0000E");
  run({"L300 at", word(DEC), "L160 at", op(3, 300), op(15, 10), op(14, 11), halt(0)});
  EXPECT_EQ(a(), "1FFFFF FFFFF");
  run({"L300 at", word(DEC), "L302 at", word(0x0000A), word(0x00003), "L160 at", op(3, 300),
       op(52, 302), op(14, 11), halt(0)});
  EXPECT_EQ(a(), "000002 FFFFF");

  // ROUND OFF: digit 4 of B upper against the field; B is cleared.
  std::vector<std::string> p = {"L302 at", word(0),    word(0x50000),
                                "L160 at", op(15, 41), op(6, 302)};
  auto round = [&](int f) {
    std::vector<std::string> q = p;
    q.push_back(op(10, f));
    q.push_back(halt(0));
    run(q);
  };
  round(5);
  EXPECT_EQ(a(), "000000 0002A");
  EXPECT_EQ(b(), "000000 00000");
  round(6);
  EXPECT_EQ(a(), "000000 00029");
  EXPECT_EQ(b(), "000000 00000");

  // PREPARE FOR DIGIT COLLATION: bits 0-4 and 5-9 as digit masks, bit 11 the sign.
  run({op(9, 0x800 + (3 << 5) + 5), halt(0)});
  EXPECT_EQ(b(), "1000FF 00F0F");
  run({op(9, 31 << 5 | 31), halt(0)});
  EXPECT_EQ(b(), "0FFFFF FFFFF");
}

TEST_F(Arith, AddSubtractSelectTransfer) {
  // -5 added to A = 0: complement form; TRANSFER gives -5 back and clears A.
  run({"L300 at", word(DEC), word(0x100005), "L160 at", op(3, 300), op(32, 301), op(24, 310),
       op(16, 311), halt(310)});
  EXPECT_EQ(n(), "100005 100005");
  EXPECT_EQ(a(), "000000 00000");
  // SUBTRACT changes the sign of the operand: 7 - (-5) = 12, 12 - 19 = -7.
  run({"L300 at", word(DEC), word(7), word(0x100005), word(0x19), "L160 at", op(3, 300),
       op(48, 301), op(40, 302), op(24, 310), op(40, 303), op(24, 311), halt(310)});
  EXPECT_EQ(n(), "000012 100007");
  EXPECT_EQ(a(), "199999 99993");
  // Long operands carry across the halves; the modifier picks the operand.
  run({"L300 at", word(DEC), "L302 at", word(0x99999), word(0x00012), word(0x00001), word(0),
       "L320 at", word(2), word(0), "L160 at", op(3, 300), op(213, 320), op(52, 302), op(37, 302),
       op(20, 310), halt(310)});
  EXPECT_EQ(n(), "000000 000013");  // 12 99999 + 1 = 13 00000
  EXPECT_EQ(a(), "000000 00000");

  // SUBTRACT long at an even address shows both as characters above -v4.
  run({"L302 at", word(0x34445), word(0x51424), "L160 at", op(44, 302), halt(0)}, {"-v5"});
  EXPECT_THAT(r.out, HasSubstr("  Checking       for A2345\n"));
  run({"L302 at", word(0x34445), word(0x51424), "L160 at", op(44, 302), halt(0)}, {"-v4"});
  EXPECT_THAT(r.out, Not(HasSubstr("Checking")));
}

TEST_F(Arith, CarryIntoDWithAndWithoutTrace) {
  // Binary: A lower 0xFFFFF plus 1 carries into D's upper half, which the
  // HALT's report shows; plus 0 nothing carries. Without the trace the
  // cycle obeys the ADD in line, with it the full way.
  for (int lo : {1, 0}) {
    for (const char* sw : {"-v0", "-v6"}) {
      run({"L300 at", word(0xFFFFF), word(2), word(lo), word(5), "L160 at", op(52, 300),
           op(36, 302), halt(0)},
          {sw});
      EXPECT_EQ(reg("\n D = "), lo ? "000006 00001" : "000005 00000") << sw;
      EXPECT_EQ(a(), lo ? "000008 00000" : "000007 FFFFF") << sw;
    }
  }
}

TEST_F(Arith, AlphaNumberRoundTrip) {
  // COPY long to the odd address 311 writes five characters at 310-311;
  // SELECT long reads back the sign and the five lower digits.
  run({"L300 at", word(DEC), "L302 at", word(0x12345), word(0x100067), "L160 at", op(3, 300),
       op(52, 302), op(28, 311), op(52, 311), op(20, 320), halt(310)},
      {"-v7"});
  EXPECT_EQ(n(), "034445 051424");  // "A2345": 0x51 0x42 0x43 0x44 0x45
  EXPECT_THAT(r.out, HasSubstr("  Stored 100067 12345 at address 311 (alpha if odd)\n"));
  EXPECT_THAT(r.out, HasSubstr("  Stored 100000 12345 at address 320 (alpha if odd)\n"));
  // Zero digits are written as spaces, the sign on a leading zero as "-".
  run({"L300 at", word(DEC), word(0x100102), "L160 at", op(3, 300), op(48, 301), op(28, 311),
       op(36, 311), halt(310)});
  EXPECT_EQ(n(), "010042 010004");  // 0x10 0x00 0x41 0x00 0x42
  EXPECT_EQ(a(), "199999 99796");   // -102 - 102
  // "0" characters (0x30) read back as zero digits with no sign; REPLACE
  // (B) BY (N) takes the same reading.
  run({"L304 at", word(0x04142), word(0x30303), "L160 at", op(52, 305), op(6, 305), halt(0)});
  EXPECT_EQ(a(), "000000 00012");
  EXPECT_EQ(b(), "000000 00012");
}

TEST_F(Arith, Augment) {
  // The store word is increased by A; A stays. -1 + 3 = 2 first.
  run({"L300 at", word(DEC), word(0x100001), "L310 at", word(0x10), word(0x100002), "L160 at",
       op(3, 300), op(48, 301), op(13, 3), op(56, 310), op(56, 311), halt(310)});
  EXPECT_EQ(n(), "000012 000000");  // 10 + 2; -2 + 2 is plus zero
  EXPECT_EQ(a(), "000000 00002");
  run({"L300 at", word(DEC), word(0x100003), "L310 at", word(0x10), word(0x100002), "L160 at",
       op(3, 300), op(48, 301), op(56, 310), op(56, 311), halt(310)});
  EXPECT_EQ(n(), "000007 100005");  // 10 - 3; -2 - 3
  EXPECT_EQ(a(), "199999 99997");
  // Long, with a carry across the halves; and an alpha number.
  std::vector<std::string> p = {"L300 at",     word(DEC),     "L302 at",  word(0x99999), word(4),
                                word(0x04142), word(0x10303), "L160 at",  op(3, 300),    op(15, 1),
                                op(60, 302),   op(15, 7),     op(60, 305)};
  p.push_back(halt(302));
  run(p);
  EXPECT_EQ(n(), "000000 000005");
  p.back() = halt(304);
  run(p);
  EXPECT_EQ(n(), "000045 010000");  // -12 + 7 = -5: "-   5"
}

TEST_F(Arith, MultiplyAndAdd) {
  // 100 + 789 x 1234567 = 974073463, multiplier digits across B's halves.
  run({"L300 at", word(DEC), word(0x00789), word(0x34567), word(0x00012), "L310 at", word(0x100),
       "L160 at", op(3, 300), op(48, 310), op(6, 302), op(80, 301), op(20, 320), halt(320)});
  EXPECT_EQ(n(), "073463 009740");
  EXPECT_EQ(b(), "000000 00000");
  // A negative multiplier gives a negative product: 123 x -12.
  run({"L300 at", word(DEC), word(0x00123), "L304 at", word(0x00012), word(0x100000), "L160 at",
       op(3, 300), op(6, 304), op(80, 301), op(24, 320), halt(320)});
  EXPECT_EQ(a(), "199999 98524");
  EXPECT_EQ(n(), "101476 000000");
  // B = 0 leaves A; a long operand at an even address; the digit trace.
  run({"L300 at", word(DEC), "L302 at", word(0x00005), word(0x00001), "L304 at", word(0x00012),
       word(0), "L160 at", op(3, 300), op(13, 9), op(84, 302), op(6, 304), op(84, 302), halt(0)},
      {"-v9"});
  EXPECT_EQ(a(), "000012 00069");                                // 9 + 12 x 1 00005
  EXPECT_THAT(r.out, HasSubstr("digit = 2\n  adding in 16\n"));  // 2 x 00005
  EXPECT_THAT(r.out, HasSubstr("digit = 1\n  adding in 80\n"));  // 10 x 00005 in decimal
  // Digits beyond nine add nothing (binary radix).
  run({"L300 at", word(0x00003), word(0x000A2), "L160 at", op(2, 301), op(80, 300), halt(0)});
  EXPECT_EQ(a(), "000000 00006");
  run({op(84, 301)});
  EXPECT_EQ(illegal(), "Not implemented: Long alpha MULTIPLY AND ADD  [000054 84 124]");
}

TEST_F(Arith, ConvertSterlingToPence) {
  // Weights of pence, shillings, ten shillings, pounds, ten pounds and a
  // hundred pounds, as decimal numbers of pence; then one that must not be
  // reached.
  std::vector<std::string> base = {
      "L300 at",    word(DEC),     word(0x1219B), word(0x11219B), "L304 at",     word(0x1219B),
      word(1),      word(0x14347), word(0x10454), "L400 at",      word(1),       word(0),
      word(0x12),   word(0),       word(0x120),   word(0),        word(0x240),   word(0),
      word(0x2400), word(0),       word(0x24000), word(0),        word(0x77777), word(0),
      "L420 at",    word(0x77777), word(0),       "L308 at",      word(0x1219B), word(0x100001),
      "L160 at",    op(3, 300),    op(15, 400)};
  auto conv = [&](int dv, int addr) {
    std::vector<std::string> p = base;
    p.push_back(op(dv, addr));
    p.push_back(op(24, 320));
    p.push_back(halt(320));
    run(p);
  };
  conv(96, 301);  // 12/19/11
  EXPECT_EQ(a(), "000000 03119");
  conv(96, 302);  // the same, negative: the sign is no digit
  EXPECT_EQ(a(), "199999 96881");
  EXPECT_EQ(n(), "103119 000000");
  conv(100, 304);  // long: 112/19/11
  EXPECT_EQ(a(), "000000 27119");
  EXPECT_EQ(b(), "000000 00000");
  conv(100, 308);  // the same, negative: the sign is no eleventh digit
  EXPECT_EQ(a(), "199999 72881");
  conv(100, 307);  // the alpha number "-5137": 5/13/7, negative
  EXPECT_EQ(n(), "101363 000000");
  // Binary, negative, the lower half 0: the sign and the upper half's
  // complement.
  run({"L300 at", word(0), word(0x100001), "L400 at", word(0), word(1), "L160 at", op(3, 300),
       op(15, 400), op(96, 301), halt(0)});
  EXPECT_EQ(a(), "1FFFFF 00000");
}

TEST_F(EmuTest, ConvertReadsItsWeightsAsStored) {
  // A weight word beyond the 21-bit form is added as it stands.
  Result r = prog({"0/0/3 500", "1/1/3 400", "12/0/0 300", "0/0/0 0", "L300 at", "0/0/0 1",
                   "L400 at", word(0x10000A), "0/0/0 0", "L500 at", word(0x66666)},
                  {"-v9"});
  EXPECT_THAT(r.out, HasSubstr("  162 Out of radix operand 10000A\n"));
}

TEST_F(Arith, DivideUniformRadix) {
  // 103 / 10: quotient 10, remainder 3 above the lowest digit F.
  run({"L300 at", word(10), word(0x00640), word(0x0067F), "L160 at", op(2, 302), op(104, 300),
       halt(0)});
  EXPECT_EQ(a(), "000000 0000A");
  EXPECT_EQ(b(), "000000 0003F");
  // Numerators from B upper: 0x123 4567 / 7; the same by 0xFFFFF, whose
  // remainder's top digit goes into B upper; the largest B upper may hold.
  struct Case {
    int den, lo, up;
    const char *a, *b;
  } cases[] = {{7, 0x45678, 0x123, "000002 99C33", "000000 00028"},
               {0xFFFFF, 0x45678, 0x123, "000000 00012", "000003 45798"},
               {7, 0x00010, 0xFFF, "000024 90000", "000000 00010"}};
  for (const Case& c : cases) {
    run({"L300 at", word(c.den), "L302 at", word(c.lo), word(c.up), "L160 at", op(6, 302),
         op(104, 300), halt(0)});
    EXPECT_EQ(a(), c.a) << c.den << " " << c.up;
    EXPECT_EQ(b(), c.b) << c.den << " " << c.up;
  }
  auto fails = [&](const std::vector<std::string>& p, const char* text) {
    run(p);
    EXPECT_THAT(illegal(), HasSubstr(text)) << text;
  };
  fails({"L300 at", word(0), "L160 at", op(104, 300)},
        "Not implemented: DIVIDE UNIFORM RADIX zero denominator  [000068 104 150]");
  fails({"L300 at", word(DEC), word(3), "L160 at", op(3, 300), op(104, 301)},
        "DIVIDE UNIFORM RADIX non-binary ");
  fails({"L300 at", word(0x100003), "L160 at", op(104, 300)},
        "DIVIDE UNIFORM RADIX big or -ve denominator ");
  fails({"L300 at", word(3), word(1), "L160 at", op(108, 300)},
        "DIVIDE UNIFORM RADIX big or -ve denominator ");
  fails({"L300 at", word(3), "L160 at", op(15, 1), op(104, 300)},
        "DIVIDE UNIFORM RADIX big or -ve numerator ");
  fails({"L300 at", word(3), "L302 at", word(0), word(0x1000), "L160 at", op(6, 302), op(104, 300)},
        "DIVIDE UNIFORM RADIX big or -ve numerator ");
  fails({op(108, 301)}, "Not implemented: Long alpha DIVIDE UNIFORM RADIX  [00006C 108 154]");
}

TEST_F(Arith, ReplaceSelectedBitsAndCollate) {
  // Short: the bits of A where B lower has them.
  run({"L300 at", word(0xABCDE), word(0x12345), word(0x00FF0), "L160 at", op(2, 302), op(48, 301),
       op(112, 300), halt(300)});
  EXPECT_EQ(n(), "0AB34E 012345");
  // Long: B upper masks the upper word, B lower the lower word.
  run({"L300 at", word(0x0000F), word(0x000F0), word(0xAAAAA), word(0xBBBBB), word(0x12345),
       word(0x00067), "L160 at", op(6, 300), op(52, 304), op(116, 302), halt(302)});
  EXPECT_EQ(n(), "0AAAA5 0BBB6B");
  // B upper's sign bit selects the sign of the upper word, which A gives.
  run({"L300 at", word(0), word(0x100000), word(0xAAAAA), word(0xBBBBB), word(1), word(0x100000),
       "L160 at", op(6, 300), op(52, 304), op(116, 302), halt(302)});
  EXPECT_EQ(n(), "0AAAAA 1BBBBB");
  // B lower selects bits of the lower word with its 20 bits only: a bit 20
  // that REPLACE REGISTERS left there selects nothing.
  run({"L302 at", word(0x1AAAAA), word(0xBBBBB), "L310 at", word(0), word(0), word(0x100000),
       word(0), word(0), "L160 at", op(5, 310), op(116, 302), halt(302)});
  EXPECT_EQ(n(), "1AAAAA 0BBBBB");
  // Alpha: worked as a short word and written back as characters.
  run({"L300 at", word(0x34), word(0x000F0), "L310 at", word(0x04142), word(0x30303), "L160 at",
       op(2, 301), op(48, 300), op(116, 311), halt(310)});
  EXPECT_EQ(n(), "004342 000000");  // "   32"

  // B upper's sign bit selects the sign of a short word, which D gives.
  run({"L300 at", word(0x12345), "L302 at", word(0), word(0x100000), "L160 at", op(6, 302),
       op(112, 300), halt(300)});
  EXPECT_EQ(n(), "112345 000000");
  // B upper 0xFFFFF plus B lower 1 carries into the sign bit of the bits to
  // replace, where D has none: the sign is cleared.
  run({"L300 at", word(0x112345), "L302 at", word(1), word(0xFFFFF), "L160 at", op(6, 302),
       op(112, 300), halt(300)});
  EXPECT_EQ(n(), "012345 000000");

  // COLLATE AND ADD: the operand masked by B, then added.
  run({"L300 at", word(DEC), "L302 at", word(0x67890), word(0x12345), "L160 at", op(3, 300),
       op(9, (2 << 5) | 0x0A), op(13, 1), op(124, 302), halt(0)});
  EXPECT_EQ(b(), "0000F0 0F0F0");
  EXPECT_EQ(a(), "000040 07091");
  // A negative operand whose sign B selects is complemented first.
  run({"L300 at", word(DEC), word(0x112345), "L160 at", op(3, 300), op(9, 0x800 | 0x1F),
       op(13, 0x100), op(120, 301), halt(0)});
  EXPECT_EQ(a(), "199999 87755");  // 100 - 12345
}

TEST_F(Arith, Shifts) {
  // Registers set raw through REPLACE REGISTERS from 400: A, B, radix.
  auto sh = [&](int a_up, int a_lo, int b_up, int b_lo, int radix, int dv, int count) {
    run({"L400 at", word(a_lo), word(a_up), word(b_lo), word(b_up), word(radix), "L160 at",
         op(5, 400), op(dv, count), halt(0)});
  };
  sh(0x112345, 0x67890, 0, 0, DEC, 144, 3);
  EXPECT_EQ(a(), "145678 90000");
  sh(0x112345, 0x67890, 0, 0, DEC, 144, 8190);  // right 2
  EXPECT_EQ(a(), "100123 45678");
  sh(0x112345, 0x67890, 0, 0, DEC, 145, 8190);  // negative: 9s come in
  EXPECT_EQ(a(), "199123 45678");
  sh(0x012345, 0x67890, 0, 0, DEC, 145, 8190);
  EXPECT_EQ(a(), "000123 45678");
  sh(0x112345, 0x67890, 0, 0, 0, 145, 8190);  // binary: F
  EXPECT_EQ(a(), "1FF123 45678");
  sh(0x112345, 0x67890, 0x54321, 0x09876, DEC, 144, 10);  // all out; B untouched
  EXPECT_EQ(a(), "100000 00000");
  EXPECT_EQ(b(), "054321 09876");
  // Twenty digits, A upper first.
  sh(0x101234, 0x56789, 0x1ABCDE, 0xF0123, DEC, 148, 3);
  EXPECT_EQ(a(), "134567 89ABC");
  EXPECT_EQ(b(), "1DEF01 23000");
  sh(0x101234, 0x56789, 0x0ABCDE, 0xF0123, DEC, 148, 0x1FFD);
  EXPECT_EQ(a(), "100001 23456");
  EXPECT_EQ(b(), "0789AB CDEF0");
  sh(0x101234, 0x56789, 0x0ABCDE, 0xF0123, DEC, 149, 0x1FFD);
  EXPECT_EQ(a(), "199901 23456");
  sh(0x101234, 0x56789, 0x1ABCDE, 0xF0123, DEC, 149, 0x1FE1);  // right 31
  EXPECT_EQ(a(), "199999 99999");
  EXPECT_EQ(b(), "199999 99999");
  // Binary shifts: bit 19 of each half moves into the half above.
  sh(0x100001, 0x80000, 0, 0, 0, 147, 1);
  EXPECT_EQ(a(), "100003 00000");
  sh(0x000000, 0x00001, 0x00000, 0x80000, 0, 151, 21);
  EXPECT_EQ(a(), "000002 00001");
  EXPECT_EQ(b(), "000000 00000");
  sh(0x000000, 0x00001, 0x80000, 0x80000, 0, 151, 1);
  EXPECT_EQ(a(), "000000 00003");
  EXPECT_EQ(b(), "000001 00000");
  sh(0x1FFFFF, 0xFFFFF, 0, 0, 0, 147, 4095);
  EXPECT_EQ(a(), "100000 00000");
  run({op(146, 1)});
  EXPECT_EQ(illegal(), "Not implemented: SCALE NUMERATOR  [000092 146 222]");
  run({op(150, 1)});
  EXPECT_EQ(illegal(), "Not implemented: SCALE DENOMINATOR  [000096 150 226]");
}

TEST_F(Arith, FloatingPointAndDoubleLengthAreRefused) {
  // The first and last decode value of each group, the last of all through
  // the fast path's dispatch.
  const char* names[] = {"ADD FLOATING POINT",      "SUBTRACT FLOATING POINT",
                         "TRANSFER FLOATING POINT", "COPY FLOATING POINT",
                         "MULTIPLY FLOATING POINT", "DIVIDE FLOATING POINT"};
  const char* dbl[] = {"TRANSFER DOUBLE LENGTH", "COPY DOUBLE LENGTH", "ADD DOUBLE LENGTH",
                       "SUBTRACT DOUBLE LENGTH"};
  for (int dv = 160; dv < 256; dv++) {
    const char* name = dv < 184 ? names[(dv - 160) / 4] : dv >= 240 ? dbl[(dv - 240) / 4] : nullptr;
    if (!name || (dv % 4 != 0 && dv % 4 != 3)) continue;
    run({op(dv, 1)});
    EXPECT_THAT(illegal(), HasSubstr(std::string("Not implemented: ") + name + "  [")) << dv;
  }
}

TEST_F(Arith, Tags) {
  // Loaded words carry the current tag; COPY INTO TAG is modified.
  run({"T9 at", "L300 at", word(1), "L160 at", op(187, 300), op(24, 310), op(187, 301), op(24, 311),
       op(15, 0x1237), op(213, 320), op(189, 300), op(187, 302), halt(310), "L320 at", word(2),
       word(0)});
  EXPECT_EQ(n(), "000009 000004");
  EXPECT_EQ(a(), "000000 00007");
}

TEST_F(Arith, MessagesAtTheirThresholds) {
  // SUBTRACT long at an odd address (no "Checking"), MULTIPLY AND ADD
  // ("digit =" above 8), TRANSFER long ("Stored" above 6).
  std::vector<std::string> p = {"L300 at",   word(DEC),  word(7),     word(0x04142), word(0x30303),
                                "L310 at",   word(0x12), word(0),     "L160 at",     op(3, 300),
                                op(44, 303), op(6, 310), op(80, 301), op(20, 320),   halt(320)};
  run(p, {"-v6"});
  EXPECT_EQ(n(), "000072 000000");  // -12 + 7 x 12
  EXPECT_THAT(r.out, Not(HasSubstr("Checking")));
  EXPECT_THAT(r.out, Not(HasSubstr("  Stored")));
  run(p, {"-v8"});
  EXPECT_THAT(r.out, HasSubstr("  Stored 000000 00072 at address 320 (alpha if odd)\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("digit =")));
  run(p, {"-v9"});
  EXPECT_THAT(r.out, HasSubstr("digit = 2\n  adding in 20\ndigit = 1\n  adding in 112\n"));
}

TEST_F(Arith, OutOfRadixThroughTheCycle) {
  std::vector<std::string> p = {"L300 at",  word(DEC),   word(0x0000A), "L160 at",
                                op(3, 300), op(32, 301), halt(0)};
  run(p, {"-v9"});
  EXPECT_THAT(r.out, HasSubstr("  161 Out of radix operand 00000A\n"));
  run(p, {"-v8"});
  EXPECT_THAT(r.out, Not(HasSubstr("Out of radix")));
}

// ---------------------------------------------------------------------------
// Arithmetic against integer arithmetic on random operands, under the
// binary, decimal and sterling radix words.

// The ten digit positions of a long value under a radix word: the radix of
// each (the upper half takes that of digit 4) and the place value of each.
struct Places {
  long long rad[10], place[11];
  explicit Places(int r) {
    place[0] = 1;
    for (int i = 0; i < 10; i++) {
      rad[i] = 16 - (r >> (4 * std::min(i, 4)) & 0xF);
      place[i + 1] = place[i] * rad[i];
    }
  }
  // The digits of 0 <= m < place[10] in two halves (no sign).
  Reg halves(long long m) const {
    int32_t h[2] = {0, 0};
    for (int i = 0; i < 10; i++) h[i / 5] |= (int32_t)(m / place[i] % rad[i]) << (4 * (i % 5));
    return Reg{h[1], h[0]};
  }
  long long digits(int32_t up, int32_t lo) const {
    long long m = 0;
    for (int i = 0; i < 10; i++) m += ((i < 5 ? lo : up) >> (4 * (i % 5)) & 0xF) * place[i];
    return m;
  }
  // Sign and magnitude, as the store holds a value.
  Reg stored(long long v) const {
    Reg h = halves(v < 0 ? -v : v);
    h.up |= v < 0 ? SIGN : 0;
    return h;
  }
  long long value(int32_t up, int32_t lo) const {
    return up & SIGN ? -digits(up, lo) : digits(up, lo);
  }
  // Radix complement, as A holds a value.
  Reg held(long long v) const {
    Reg h = halves(v < 0 ? place[10] + v : v);
    h.up |= v < 0 ? SIGN : 0;
    return h;
  }
};

class Integers : public Prim {
 protected:
  void put(int addr, const Reg& r) {
    M.store[addr] = r.lo;
    M.store[addr + 1] = r.up;
  }
  // Obeys one instruction (decode value, operand address) on the machine.
  void obey(int dv, int addr) {
    M.n = addr;
    M.instr = dv << 13 | addr;
    switch (dv >> 3) {
      case 2: op_transfer(dv); break;
      case 4:
      case 5: op_add(dv); break;
      case 6: op_select(dv); break;
      case 7: op_augment(dv); break;
      case 10: op_muladd(dv); break;
      case 12: op_convert(dv); break;
      case 18: op_shift(dv); break;
    }
  }
  // ADD long through the cycle's fast path: a word that names no
  // operation first, obeyed the full way, then the ADD in line.
  void fast_add(int addr) {
    M.store[160] = 1 << 13;
    M.store[161] = 36 << 13 | addr;
    M.sc = 160;
    ASSERT_EQ(go(2), STEPPED);
  }
  // A stored through TRANSFER, read back as a number.
  long long acc(const Places& x) {
    obey(20, 900);
    return x.value(M.store[901], M.store[900]);
  }
  // A random magnitude below place[n] whose digits are mostly the largest
  // of their radix or 0, so that carries run across the radix changes.
  long long magnitude(const Places& x, int n) {
    long long m = 0;
    for (int i = 0; i < n; i++) {
      unsigned k = g() % 4;
      m += (k == 0 ? x.rad[i] - 1 : k == 1 ? 0 : g() % x.rad[i]) * x.place[i];
    }
    return m;
  }
  long long num(const Places& x, int n) {
    long long m = magnitude(x, n);
    return g() % 2 ? -m : m;
  }
  std::mt19937_64 g{20240607};
};

TEST_F(Integers, AWordBeyond21BitsAfterTheInLineAdd) {
  // A word that a tape block may leave in the store, obeyed after an
  // in-line ADD: the current instruction is that word, as the full cycle
  // has it.
  M.store[160] = 1 << 13;
  M.store[161] = 36 << 13 | 300;
  M.store[162] = 0x600000;
  M.sc = 160;
  ASSERT_EQ(go(3), STEPPED);
  EXPECT_EQ(M.instr, 0x600000);
  EXPECT_EQ(M.sc, 163);
}

TEST_F(Integers, AgreeUnderEachRadixWord) {
  for (int r : {DEC, 0, STERLING}) {
    SCOPED_TRACE(r);
    radix(r);
    Places x(r);
    const long long half = x.place[5];
    for (int k = 0; k < 1000; k++) {
      long long a = num(x, 9), b = num(x, 9);
      // One time in four the lower halves sum to exactly the largest
      // lower half (0xFFFFF in binary): no carry.
      if (k % 4 == 0) b = -a - 1 + (long long)(g() % 9 - 4) * half;
      put(300, x.stored(a));
      put(302, x.stored(b));
      obey(52, 300);
      obey(36, 302);
      // D keeps the operand in complement form, the carry out of the lower
      // halves added into its upper half (a carry out of the sign is lost).
      Reg ha = x.held(a), hb = x.held(b);
      long long top = x.place[10] / half;
      long long up = x.digits(hb.up, 0) / half + (x.digits(0, ha.lo) + x.digits(0, hb.lo) >= half);
      Reg d = x.halves(up % top * half);
      d.up |= (hb.up & SIGN) ^ (up == top ? SIGN : 0);
      d.lo = hb.lo;
      ASSERT_EQ(M.d.up, d.up) << a << " + " << b;
      ASSERT_EQ(M.d.lo, d.lo) << a << " + " << b;
      Reg sum = M.a;
      // The fast path's ADD leaves A and D the same.
      obey(52, 300);
      fast_add(302);
      ASSERT_EQ(M.a.up, sum.up) << a << " + " << b;
      ASSERT_EQ(M.a.lo, sum.lo) << a << " + " << b;
      ASSERT_EQ(M.d.up, d.up) << a << " + " << b;
      ASSERT_EQ(acc(x), a + b) << a << " + " << b;
      obey(52, 300);
      obey(44, 302);
      ASSERT_EQ(acc(x), a - b) << a << " - " << b;
      // AUGMENT: the store word increased by A, A unchanged.
      obey(52, 302);
      obey(60, 300);
      ASSERT_EQ(x.value(M.store[301], M.store[300]), a + b) << a << " + " << b;
      ASSERT_EQ(acc(x), b);

      // A + operand x multiplier, the multiplier's digits in B read as
      // decimal digits.
      long long a0 = num(x, 8), f = num(x, 5), m = (long long)(g() % 19999) - 9999;
      put(300, x.stored(a0));
      put(302, x.stored(f));
      obey(52, 300);
      M.b = Places(DEC).stored(m);
      obey(84, 302);
      ASSERT_EQ(acc(x), a0 + f * m) << a0 << " + " << f << " x " << m;

      // CONVERT: five source digits (0-15 whatever the radix) against a
      // table of random weights.
      int32_t src = (int32_t)(g() & 0x1FFFFF);
      long long want = 0;
      for (int i = 0; i < 5; i++) {
        long long w = magnitude(x, 8) / 16;
        put(400 + 2 * i, x.stored(w));
        want += (src >> (4 * i) & 0xF) * w;
      }
      M.store[310] = src;
      M.a = Reg{0, 400};
      obey(96, 310);
      ASSERT_EQ(acc(x), src & SIGN ? -want : want) << std::hex << src;
    }
  }
}

TEST_F(Integers, ShiftsMoveDigitsAndBits) {
  // A and B as one string of 80 bits, A upper first, signs left out.
  auto bits = [] {
    return (unsigned __int128)(M.a.up & MASK20) << 60 | (unsigned __int128)M.a.lo << 40 |
           (unsigned __int128)(M.b.up & MASK20) << 20 | (unsigned __int128)M.b.lo;
  };
  const unsigned __int128 all = ((unsigned __int128)1 << 80) - 1;
  for (int r : {DEC, 0, STERLING}) {
    SCOPED_TRACE(r);
    radix(r);
    Places x(r);
    for (int k = 0; k < 1000; k++) {
      long long v = num(x, 10 - (int)(g() % 3));
      Reg b = x.stored(num(x, 10));
      static const int forms[] = {144, 145, 147, 148, 149, 151};
      int dv = forms[g() % 6];
      bool binary = (dv & 3) == 3, right = !binary && g() % 2;
      int count = (int)(g() % (binary ? 100 : 32));
      M.a = x.held(v);
      M.b = b;
      int32_t asign = M.a.up & SIGN;
      // The digits (or bits) shifted one step at a time, as a string.
      unsigned __int128 keep = dv & 4 ? all : all << 40 & all, want = bits() & keep;
      unsigned __int128 fill = (dv & 3) == 1 && asign ? x.rad[9] - 1 : 0;
      for (int i = 0; i < count; i++)
        want = binary  ? want << 1 & keep
               : right ? (want >> 4 & keep) | fill << 76
                       : want << 4 & keep;
      obey(dv, right ? 0x2000 - count : count);
      SCOPED_TRACE(testing::Message() << dv << (right ? " right " : " left ") << count);
      // The signs never move; B is untouched by the A forms.
      ASSERT_EQ(M.a.up & SIGN, asign);
      ASSERT_EQ(M.b.up & SIGN, b.up & SIGN);
      ASSERT_EQ((uint64_t)((bits() & keep) >> 40), (uint64_t)(want >> 40));
      ASSERT_EQ((uint64_t)(bits() & keep & 0xFFFFFFFFFF), (uint64_t)(want & 0xFFFFFFFFFF));
      if (!(dv & 4)) {
        ASSERT_TRUE(M.b.up == b.up && M.b.lo == b.lo);
      }
      // Under one radix throughout a digit shift of the held value
      // multiplies or divides it (rounding down) by a power of the radix.
      if (dv == 145 && r != STERLING && count < 10) {
        long long p = x.place[count];
        long long got = x.digits(M.a.up, M.a.lo) - (asign ? x.place[10] : 0);
        if (right) {
          ASSERT_EQ(got, v >= 0 ? v / p : -((-v + p - 1) / p)) << v;
        } else if (x.place[10] / p > (v < 0 ? -v : v)) {
          ASSERT_EQ(got, v * p) << v;
        }
      }
    }
  }
}

}  // namespace

// Amounts: the text of a long value under a radix word, and back.
TEST(Amount, GroupsFollowTheRadices) {
  std::string t;
  // The ledger's balance under the sterling radix: pence (12), shillings
  // (10 and 2), pounds (decimal): 157 pounds 12 shillings 11 pence.
  EXPECT_TRUE(amount_text(0x000001, 0x05712B, 0x66E64, t));
  EXPECT_EQ(t, "157.12.11");
  EXPECT_TRUE(amount_text(0x100000, 0x0000B, 0x66E64, t));
  EXPECT_EQ(t, "-0.0.11");
  // One radix throughout: one group, in decimal.
  EXPECT_TRUE(amount_text(0x000001, 0x00010, 0, t));
  EXPECT_EQ(t, std::to_string((1LL << 20) + 16));
  EXPECT_TRUE(amount_text(0x000012, 0x34567, 0x66666, t));
  EXPECT_EQ(t, "1234567");
  // A digit out of its radix is said, the text formed all the same.
  EXPECT_FALSE(amount_text(0, 0x0000A, 0x66666, t));
  EXPECT_EQ(t, "10");

  int32_t up, lo;
  EXPECT_EQ(amount_value(" -157.12.11 ", 0x66E64, up, lo), "");
  EXPECT_EQ(up, 0x100001);
  EXPECT_EQ(lo, 0x05712B);
  EXPECT_EQ(amount_value("157.20.11", 0x66E64, up, lo), "group 20 is not below 20");
  EXPECT_EQ(amount_value("12.11", 0x66E64, up, lo), "2 groups where the radix word gives 3");
  EXPECT_EQ(amount_value("1.2", 0x66666, up, lo), "2 groups where the radix word gives 1");
  EXPECT_EQ(amount_value("10000000000", 0x66666, up, lo),
            "group 10000000000 is not below 10000000000");
  EXPECT_NE(amount_value("1..2", 0x66E64, up, lo), "");
  EXPECT_NE(amount_value("", 0x66E64, up, lo), "");

  // Every value in radix reads back to itself, under mixed radix words.
  uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int r : {0x66E64, 0x4E6E6, 0, 0x66666, 0xF0A61}) {
    int rad[10];
    digit_radices(r, rad);
    for (int k = 0; k < 500; k++) {
      int32_t u = (int32_t)(next() >> 11 & 0x100000), l = 0;
      for (int i = 0; i < 10; i++) {
        int d = (int)((next() >> 16) % (unsigned)rad[i]);
        if (i < 5)
          l |= d << (4 * i);
        else
          u |= d << (4 * (i - 5));
      }
      ASSERT_TRUE(amount_text(u, l, r, t));
      ASSERT_EQ(amount_value(t, r, up, lo), "") << t;
      ASSERT_EQ(up, u) << t;
      ASSERT_EQ(lo, l) << t;
    }
  }
}
