// The data-editing instructions: table look-up, bulk copies and
// conversions, unpacking of fixed and variable field records, the edit of
// print lines and EDIT FOR ANELEX OUTPUT.
//
// Most tests set the registers and the store directly and call the
// operation as the instruction at 200 would, with the console and the log
// captured in one temporary file.
#include <unistd.h>

#include "harness.h"
#include "ops.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

constexpr int ALPHA = 0x10000, LONG = 0x20000, SIGNED = 0x40000, REPEAT = 0x80000;
constexpr int LAST = 0x100000, INDIGIT = 0x80000;

class Ed : public EmuTest {
 protected:
  FILE* f = nullptr;

  void SetUp() override {
    EmuTest::SetUp();
    reset();
    build_tables();
    f = tmpfile();
    M.out = M.log = f;
  }
  void TearDown() override {
    M.out = M.log = stdout;
    fclose(f);
    EmuTest::TearDown();
  }

  // Obeys decode value dv at address 200 with operand address n; returns
  // the run's end status, or -1 when the instruction completed.
  int run(int dv, int n) {
    M.instr = dv << 13 | (n & 0x1FFF);
    M.n = n;
    M.sc = 201;
    try {
      switch (dv) {
        case 8:
        case 12: op_lookup(dv); break;
        case 226:
        case 227: op_unpack(dv); break;
        case 230: op_edit(dv); break;
        case 233: op_anelex(dv); break;
        default: op_bulk(dv); break;
      }
    } catch (RunEnd& e) {
      return e.status;
    }
    return -1;
  }

  // Console and log text written since the last call.
  std::string text() {
    fflush(f);
    rewind(f);
    std::string s;
    char buf[4096];
    size_t k;
    while ((k = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, k);
    rewind(f);
    if (ftruncate(fileno(f), 0) != 0) s += "(truncate failed)";
    return s;
  }

  // Character codes packed five to a pair (lower half first) from a.
  void chars(int a, const std::vector<int>& c) {
    for (size_t i = 0; i < c.size(); i += 5, a += 2) {
      int g[5] = {};
      for (size_t j = 0; j < 5 && i + j < c.size(); j++) g[j] = c[i + j];
      M.store[a + 1] = g[0] << 12 | g[1] << 4 | g[2] >> 4;
      M.store[a] = (g[2] & 0xF) << 16 | g[3] << 8 | g[4];
    }
  }
  void spell(int a, const std::string& s) {
    std::vector<int> c;
    for (unsigned char ch : s) c.push_back(h2m[ch]);
    chars(a, c);
  }
  // The n character codes held from a.
  std::vector<int> codes(int a, int n) {
    std::vector<int> c;
    for (int i = 0; i < n; i++) {
      int32_t up = M.store[a + 2 * (i / 5) + 1], lo = M.store[a + 2 * (i / 5)];
      int sh[5] = {12, 4, 0, 8, 0};
      int v = i % 5 == 2 ? ((up & 0xF) << 4 | ((lo >> 16) & 0xF))
                         : ((i % 5 < 2 ? up : lo) >> sh[i % 5]) & 0xFF;
      c.push_back(v);
    }
    return c;
  }
  void entry(int a, int w0, int w1) {
    M.store[a] = w0;
    M.store[a + 1] = w1;
  }
};

// ---- Table look-up ----

TEST_F(Ed, ShortLookUpStopsAtFirstWordNotLess) {
  int t[] = {-1, 5, 10, 20, 0x100003, 99};
  for (int i = 0; i < 6; i++) M.store[300 + i] = t[i];
  M.b.up = 7;
  auto look = [&](int v) {
    M.a.lo = v;
    EXPECT_EQ(run(8, 300), -1);
    EXPECT_EQ(M.b.up, 0);
    return M.b.lo;
  };
  EXPECT_EQ(look(-2), 300);  // the first word is already not less
  EXPECT_EQ(look(0), 301);   // a negative plain integer counts as less
  EXPECT_EQ(look(10), 302);
  EXPECT_EQ(look(12), 303);
  // The sign bit counts as the top bit: 0x100003 stops a search for 30.
  EXPECT_EQ(look(30), 304);
  EXPECT_EQ(M.a.lo, 30);  // A is left alone
}

TEST_F(Ed, LongLookUpComparesUpperThenLower) {
  entry(400, 5, 1);
  entry(402, 3, 2);
  entry(404, 7, 2);
  entry(406, 0, 3);
  auto look = [&](int up, int lo) {
    M.a = Reg{up, lo};
    EXPECT_EQ(run(12, 400), -1);
    return M.b.lo;
  };
  EXPECT_EQ(look(0, 9), 400);
  EXPECT_EQ(look(2, 3), 402);  // equal in both halves
  EXPECT_EQ(look(2, 4), 404);  // equal upper, smaller lower: moves on
  EXPECT_EQ(look(2, 8), 406);
}

TEST_F(Ed, LookUpReports) {
  M.a = Reg{1, 0};
  EXPECT_EQ(run(8, 300), 1);
  EXPECT_THAT(text(), HasSubstr("200 Illegal: Not implemented: TABLE LOOK UP - negative or large A "
                                " after 0 instructions\n"));
  M.a = Reg{SIGN, 0};
  EXPECT_EQ(run(12, 300), 1);
  EXPECT_THAT(text(),
              HasSubstr("Illegal: Not implemented: TABLE LOOK UP - negative A  [00000C 12"));
  // A table with no word big enough runs off the top of the store.
  M.a = Reg{0, 50};
  EXPECT_EQ(run(8, 32760), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [008000 32768 100000]\n"));
  M.a = Reg{0, 50};
  EXPECT_EQ(run(12, 32766), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [008000 32768 100000]\n"));
}

// ---- Word copy and clear ----

TEST_F(Ed, WordCopyClearAndCount0) {
  for (int i = 0; i < 5; i++) M.store[100 + i] = 11 + i;
  M.a = Reg{3, 100};
  M.b = Reg{1, 2};
  EXPECT_EQ(run(224, 200), -1);
  EXPECT_THAT(std::vector<int>(M.store + 200, M.store + 204), ElementsAre(11, 12, 13, 0));
  EXPECT_EQ(M.a.up | M.a.lo | M.b.up | M.b.lo, 0);

  // Overlap upward: the first source word repeats through the block.
  M.a = Reg{4, 100};
  EXPECT_EQ(run(229, 101), -1);
  EXPECT_THAT(std::vector<int>(M.store + 100, M.store + 106), ElementsAre(11, 11, 11, 11, 11, 0));

  // Count 0 copies nothing and still clears A and B.
  M.store[300] = 9;
  M.a = Reg{0, 100};
  M.b = Reg{5, 5};
  EXPECT_EQ(run(224, 300), -1);
  EXPECT_EQ(M.store[300], 9);
  EXPECT_EQ(M.a.up | M.a.lo | M.b.up | M.b.lo, 0);

  // A clear reads no source (an address far outside the store here).
  for (int i = 0; i < 4; i++) M.store[500 + i] = 7;
  M.a = Reg{0x20000 | 3, 0xFFFFF};
  EXPECT_EQ(run(229, 500), -1);
  EXPECT_THAT(std::vector<int>(M.store + 500, M.store + 504), ElementsAre(0, 0, 0, 7));
}

TEST_F(Ed, WordCopyAddressesOutsideTheStore) {
  M.store[100] = 42;
  // 224 takes the source modulo 32768; 229 does not.
  M.a = Reg{1, 0x8000 + 100};
  EXPECT_EQ(run(224, 300), -1);
  EXPECT_EQ(M.store[300], 42);
  M.a = Reg{1, 0x8000 + 100};
  EXPECT_EQ(run(229, 300), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [008064 32868 100144]\n"));
  // A block running over the top: the words below the top are copied.
  M.a = Reg{3, 100};
  EXPECT_EQ(run(224, 32766), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [008000 32768"));
  EXPECT_EQ(M.store[32766], 42);
  // A clear starts at the top of its block: nothing is cleared.
  M.a = Reg{0x20000 | 3, 0};
  EXPECT_EQ(run(224, 32766), 1);
  EXPECT_EQ(M.store[32766], 42);
}

// ---- Numeric to alpha and back ----

TEST_F(Ed, NumericToAlpha) {
  M.store[100] = 0x00105;
  M.store[101] = 0x00105 | SIGN;
  M.store[102] = 0x98765;
  M.a = Reg{3, 100};
  EXPECT_EQ(run(225, 301), -1);
  EXPECT_THAT(codes(300, 15), ElementsAre(0x00, 0x00, 0x41, 0x00, 0x45,  //
                                          0x10, 0x00, 0x41, 0x00, 0x45,  //
                                          0x49, 0x48, 0x47, 0x46, 0x45));
  EXPECT_EQ(M.a.up | M.a.lo | M.b.up | M.b.lo, 0);
  // D holds the last pair written.
  EXPECT_EQ(M.d.lo, M.store[304]);
  EXPECT_EQ(M.d.up, M.store[305]);
}

TEST_F(Ed, AlphaToNumeric) {
  chars(300, {0x51, 0x30, 0x30, 0x41, 0x42,  //
              0x30, 0x30, 0x30, 0x41, 0x42,  //
              0x10, 0x00, 0x00, 0x41, 0x42});
  M.store[502] = 77;
  M.a = Reg{5, 301};  // five words: two alpha numbers, the odd one dropped
  EXPECT_EQ(run(228, 500), -1);
  EXPECT_EQ(M.store[500], SIGN | 0x10012);
  EXPECT_EQ(M.store[501], 0x12);
  EXPECT_EQ(M.store[502], 77);
  EXPECT_EQ(M.d.up, 0);
  EXPECT_EQ(M.d.lo, 0x12);
  EXPECT_EQ(M.a.up | M.a.lo | M.b.up | M.b.lo, 0);
  M.a = Reg{2, 305};
  EXPECT_EQ(run(228, 510), -1);
  EXPECT_EQ(M.store[510], SIGN | 0x12);  // "-   12"
}

TEST_F(Ed, ConversionReports) {
  M.a = Reg{1, 100};
  EXPECT_EQ(run(225, 300), 1);
  EXPECT_THAT(text(), HasSubstr("200 Illegal: Bad address for BULK COPY NUMERIC TO ALPHA after 0 "
                                "instructions\nIllegal: Bad address for BULK COPY NUMERIC TO ALPHA "
                                "[00012C 300 454]\n"));
  M.a = Reg{2, 100};
  EXPECT_EQ(run(228, 301), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad address for BULK COPY ALPHA TO NUMERIC [000064 100"));
  M.a = Reg{0x20000 | 1, 100};
  EXPECT_EQ(run(225, 301), 1);
  EXPECT_THAT(
      text(),
      HasSubstr("Illegal: Not implemented: BULK CLEAR SHORT NUMERIC TO ALPHA  [0000E1 225"));
  M.a = Reg{0x20000 | 2, 101};
  EXPECT_EQ(run(228, 300), 1);
  EXPECT_THAT(
      text(),
      HasSubstr("Illegal: Not implemented: BULK CLEAR ALPHA TO SHORT NUMERIC  [0000E4 228"));
  // A destination pair above the top: the lower word is named.
  M.a = Reg{2, 100};
  EXPECT_EQ(run(225, 32767), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [008000 32768"));
}

// ---- Unpack fixed field data ----

TEST_F(Ed, FixedNumericFieldsSignsAndZones) {
  chars(1000, {0x10, 0x41, 0x42, 0x10, 0x41, 0x42, 0x41, 0x51, 0x30, 0x62, 0x43});
  entry(300, 500, SIGNED | 3);  // -12
  entry(302, 501, 3);           // sign not kept: 12
  entry(304, 502, 2);           // 1 then zone 1 digit 1: digits 1 and 10
  entry(306, 503, LONG | LAST | SIGNED | 3);
  M.store[504] = 99;
  M.a.lo = 300;
  M.b = Reg{3, 3};
  EXPECT_EQ(run(226, 1000), -1);
  EXPECT_EQ(M.store[500], SIGN | 0x12);
  EXPECT_EQ(M.store[501], 0x12);
  EXPECT_EQ(M.store[502], 0x1A);
  // 0 then zone 2 on a zero value is a sign; the long field's sign goes up.
  EXPECT_EQ(M.store[503], 0x023);
  EXPECT_EQ(M.store[504], SIGN);
  EXPECT_EQ(M.a.up | M.a.lo | M.b.up | M.b.lo, 0);
  EXPECT_EQ(M.store[1], 201);  // the address after the instruction
  EXPECT_EQ(M.d.up, LONG | LAST | SIGNED | 3);
}

TEST_F(Ed, FixedCountsAndAlphaFields) {
  // 16 digits for a count of 0 (only the last ten survive), then alpha.
  spell(1000, std::string("1234567890123456ABCDEFG"));
  entry(300, 500, LONG);              // count 0: 16 characters
  entry(302, 510, ALPHA | LAST | 7);  // alpha, short asked, stored long
  M.a.lo = 300;
  EXPECT_EQ(run(226, 1000), -1);
  EXPECT_EQ(M.store[500], 0x23456);
  EXPECT_EQ(M.store[501], 0x78901);
  EXPECT_THAT(codes(510, 5), ElementsAre(0x53, 0x54, 0x55, 0x56, 0x57));  // CDEFG
  EXPECT_EQ(M.d.up, ALPHA | LONG | LAST | 7);
}

TEST_F(Ed, FixedLog) {
  spell(1000, std::string("-12AB"));
  entry(300, 500, SIGNED | 3);
  entry(302, 502, ALPHA | LAST | 2);
  M.a.lo = 300;
  M.verbosity = 3;
  EXPECT_EQ(run(226, 1000), -1);
  EXPECT_EQ(
      text(),
      "  200 UNPACK FIXED [010414 25152] starting at 1000 using table at 300 -- 040003 "
      "001F4=500\n"
      "  buff = 10 41 42 51 52 00 00 00 00 00 - 00 00 00 00 00 00 00 00 00 00 - 00 00 00 00 00 "
      "00 00 00 00 00\n"
      "  buff =  -  1  2  A  B                -                    "
      "           -                              \n"
      "  Hope to unpack 3 chars into 500 - numeric short\n"
      "  Stored 000000 00012 into 500 - terminated by 42\n"
      "  Hope to unpack 2 chars into 502 - alpha long\n"
      "  Stored 000000 05152 into 502 - terminated by 00\n");
}

TEST_F(Ed, FixedRecordTooLongAndBadDestinations) {
  // 19 fields of 16 take the whole buffer; a 20th asks for more.
  for (int i = 0; i < 20; i++) entry(300 + 2 * i, 500 + i, i == 19 ? LAST : 0);
  M.a.lo = 300;
  EXPECT_EQ(run(226, 1000), 1);
  EXPECT_THAT(text(), HasSubstr("200 Illegal: Not implemented: UNPACK FIXED FIELD DATA record too "
                                "long  after 0 instructions\n"));
  // The 19th field ends in the closing codes 7E 5E 7E 5E: digits E, A (zone
  // 1 after a digit), E, A.
  EXPECT_EQ(M.store[518], 0xEAEA);
  EXPECT_EQ(M.store[519], 0);

  entry(300, 40000, LAST | 1);
  M.a.lo = 300;
  EXPECT_EQ(run(226, 1000), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [009C40 40000"));
  // A long field at the top: the upper word is outside, nothing is stored.
  M.store[32767] = 5;
  entry(300, 32767, LAST | LONG | 1);
  M.a.lo = 300;
  EXPECT_EQ(run(226, 1000), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [008000 32768"));
  EXPECT_EQ(M.store[32767], 5);
  // The record is read in full (120 words) before any field is taken.
  entry(300, 500, LAST | 1);
  M.a.lo = 300;
  EXPECT_EQ(run(226, 32700), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [008000 32768"));
}

// ---- Unpack variable field data ----

TEST_F(Ed, VariableAlphaFields) {
  // "AB;" then a field of seven characters split over two destinations.
  chars(1000, {0x41, 0x42, 0x7D, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x5E});
  entry(300, 500, ALPHA | LONG);
  entry(302, 510, ALPHA | LONG | LAST);
  for (int i = 500; i < 520; i++) M.store[i] = 0x77;
  M.a.lo = 300;
  EXPECT_EQ(run(227, 1000), -1);
  EXPECT_THAT(codes(500, 5), ElementsAre(0x41, 0x42, 0, 0, 0));
  EXPECT_THAT(codes(510, 5), ElementsAre(0x51, 0x52, 0x53, 0x54, 0x55));
  EXPECT_THAT(codes(512, 5), ElementsAre(0x56, 0x57, 0, 0, 0));
  EXPECT_EQ(M.store[514], 0x77);
  // 11 characters consumed: A addresses the pair holding the 12th.
  EXPECT_EQ(M.a.lo, 1004);
  EXPECT_EQ(M.a.up | M.b.up | M.b.lo, 0);
  EXPECT_EQ(M.d.lo, 512);  // the destination as advanced
}

TEST_F(Ed, VariableNumericSignsAndEmptyFields) {
  chars(1000, {0x7D,                                                  // empty field
               0x01, 0x10, 0x02, 0x7D,                                // 1-2: -12
               0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,  //
               0x30, 0x10, 0x7D,                                      // ten digits, a minus
               0x90, 0x45, 0x7E});                                    // 0x90 is a minus too
  entry(300, 500, LONG);
  entry(302, 502, 0);
  entry(304, 504, LONG);
  entry(306, 506, LAST);
  M.store[500] = M.store[501] = 0x55;
  M.a.lo = 300;
  M.verbosity = 3;
  EXPECT_EQ(run(227, 1000), -1);
  EXPECT_THAT(std::vector<int>(M.store + 500, M.store + 507),
              ElementsAre(0, 0, SIGN | 0x12, 0, 0x67890, SIGN | 0x12345, SIGN | 5));
  // The first field has no character two places back: 00 is shown.
  EXPECT_THAT(text(), HasSubstr("  Stored 000000 00000 into 500 - terminated by 00 7D  f = 10\n"));
}

TEST_F(Ed, VariableRepeatEntry) {
  chars(1000, {0x01, 0x7D, 0x02, 0x7D, 0x03, 0x5E});
  entry(300, 500, REPEAT);
  entry(302, 40000, LAST);  // never read: the record ends first
  M.a.lo = 300;
  EXPECT_EQ(run(227, 1000), -1);
  EXPECT_THAT(std::vector<int>(M.store + 500, M.store + 504), ElementsAre(1, 2, 3, 0));
  EXPECT_EQ(M.a.lo, 1002);
  EXPECT_EQ(M.d.up, SIGN);
  // Long fields step by two.
  entry(300, 600, REPEAT | LONG);
  M.a.lo = 300;
  EXPECT_EQ(run(227, 1000), -1);
  EXPECT_THAT(std::vector<int>(M.store + 600, M.store + 606), ElementsAre(1, 0, 2, 0, 3, 0));
}

TEST_F(Ed, VariableRecordWithoutTerminator) {
  // 100 digits: each ten fill a long destination, the next ten the one
  // after; the appended 0x7E ends the record.
  spell(1000, std::string("12345678901234567890123456789012345678901234567890"
                          "12345678901234567890123456789012345678901234567890"));
  entry(300, 500, LONG);
  entry(302, 40000, LAST);
  M.a.lo = 300;
  EXPECT_EQ(run(227, 1000), -1);
  for (int i = 0; i < 10; i++) {
    EXPECT_EQ(M.store[500 + 2 * i], 0x67890);
    EXPECT_EQ(M.store[501 + 2 * i], 0x12345);
  }
  EXPECT_EQ(M.store[520], 0);
  EXPECT_EQ(M.a.lo, 1040);  // 101 characters consumed
}

// ---- Edit fixed field formats ----

class EditLine : public Ed {
 protected:
  // Edits the table at 300 into 2000 and returns the first n codes.
  std::vector<int> line(int n) {
    M.a.lo = 300;
    EXPECT_EQ(run(230, 2000), -1);
    return codes(2000, n);
  }
};

TEST_F(EditLine, ZeroSuppression) {
  M.store[400] = 0x00305;
  entry(300, 400, LAST | 0x2005);  // nz 2, nch 5
  EXPECT_THAT(line(5), ElementsAre(0x00, 0x00, 0x03, 0x30, 0x05));
  entry(300, 400, LAST | 0x0005);
  EXPECT_THAT(line(5), ElementsAre(0x30, 0x30, 0x03, 0x30, 0x05));
  EXPECT_EQ(text(), "");  // five characters: no notice
  // nds skips leading digits; a zero after a significant digit prints.
  entry(300, 400, LAST | 0xF203);
  EXPECT_THAT(line(3), ElementsAre(0x03, 0x30, 0x05));
}

TEST_F(EditLine, Signs) {
  M.store[400] = 0x00012;  // long -12
  M.store[401] = SIGN;
  M.store[402] = 0;  // long -0
  M.store[403] = SIGN;
  M.store[404] = 0x00012;  // short +12
  entry(300, 400, LONG | SIGNED | INDIGIT | 0x9604);
  entry(302, 402, LONG | SIGNED | INDIGIT | 0x2703);
  entry(304, 400, LONG | SIGNED | 0x9703);
  entry(306, 404, LAST | SIGNED | 0xF104);
  EXPECT_THAT(line(16), ElementsAre(0x00, 0x00, 0x11, 0x02,  // sign in the first digit
                                    0x00, 0x00, 0x30,        // -0 shows no sign
                                    0x00, 0x01, 0x02, 0x10,  // separate minus
                                    0x00, 0x00, 0x01, 0x02, 0x00));
}

TEST_F(EditLine, CountsSpacesAndAlphaItems) {
  chars(400, {0x30, 0x30, 0x41, 0x52, 0x63});
  M.store[410] = 0x12345;
  M.store[411] = 0x67890;
  entry(300, 410, LONG | 0x0000);          // nch 0: all 16 digits
  entry(302, 400, ALPHA | 0x0020);         // alpha nch 0: two spaces only
  entry(304, 400, ALPHA | 0x1003);         // 0 0 A with nz 1
  entry(306, 400, ALPHA | LAST | 0x0213);  // nds 2, one space, 3 chars
  EXPECT_THAT(line(25), ElementsAreArray({0x06, 0x07, 0x08, 0x09, 0x30, 0x01, 0x02, 0x03,  //
                                          0x04, 0x05, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30,  //
                                          0x00, 0x00,                                      //
                                          0x00, 0x30, 0x01,                                //
                                          0x00, 0x01, 0x12, 0x23}));
}

TEST_F(EditLine, ShortItemBeyondFiveDigits) {
  // The digits after a short item's fifth are 0, whatever B held before.
  M.store[400] = 0x12345;
  entry(300, 400, LAST | 0x0008);
  M.b = Reg{0x99999, 0x99999};
  EXPECT_THAT(line(8), ElementsAre(1, 2, 3, 4, 5, 0x30, 0x30, 0x30));
}

TEST_F(EditLine, SpuriousCharsAndPacking) {
  M.store[400] = 0x1234;
  entry(300, 400, LAST | 0x0037);  // three spaces, 7 digits: 10 characters
  M.store[2004] = 0x55;
  EXPECT_THAT(line(10), ElementsAre(0, 0, 0, 0x30, 1, 2, 3, 4, 0x30, 0x30));
  EXPECT_EQ(M.store[2004], 0x55);
  EXPECT_EQ(text(), "");
  entry(300, 400, LAST | 0x0007);
  M.store[2002] = M.store[2003] = 0x55;
  EXPECT_THAT(line(10), ElementsAre(0x30, 1, 2, 3, 4, 0x30, 0x30, 0, 0, 0));
  EXPECT_EQ(text(), "   200 Spurious chars end of edit = 3\n");
  EXPECT_EQ(M.a.up | M.a.lo | M.b.up | M.b.lo, 0);
  EXPECT_EQ(M.d.lo, 400);
  EXPECT_EQ(M.d.up, LAST | 0x0007);
}

TEST_F(EditLine, LineTooLong) {
  // Twenty entries of fifteen spaces make 300 characters, the most a line
  // holds; one more space is too many.
  for (int i = 0; i < 20; i++) entry(300 + 2 * i, 400, ALPHA | 0x00F0 | (i == 19 ? LAST : 0));
  M.a.lo = 300;
  EXPECT_EQ(run(230, 2000), -1);
  EXPECT_EQ(M.store[2119], 0);
  entry(340, 400, ALPHA | LAST | 0x0010);
  M.store[338 + 1] &= ~LAST;
  M.a.lo = 300;
  EXPECT_EQ(run(230, 2000), 1);
  EXPECT_THAT(text(), HasSubstr("200 Illegal: Not implemented: EDIT FIXED FIELD FORMATS line too "
                                "long  after 0 instructions\n"));
  // An item outside the store.
  entry(300, 40000, LAST | 1);
  M.a.lo = 300;
  EXPECT_EQ(run(230, 2000), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [009C40 40000"));
}

// ---- EDIT FOR ANELEX OUTPUT ----

TEST_F(Ed, AnelexCopies66Words) {
  for (int i = 0; i < 70; i++) M.store[1000 + i] = i + 1;
  spell(1002, std::string(160, 'A'));
  M.a = Reg{3, 1000};
  M.verbosity = 3;
  EXPECT_EQ(run(233, 3000), -1);
  EXPECT_TRUE(std::equal(M.store + 1000, M.store + 1066, M.store + 3000));
  EXPECT_EQ(M.store[3066], 0);
  EXPECT_EQ(M.a.up, 3);
  EXPECT_EQ(M.a.lo, 1000);
  std::string t = text();
  EXPECT_EQ(t,
            " Data to be edited: 000002 00001 - 051515 15151 - 051515 15151 - 051515 15151 - "
            "051515 15151\n" +
                std::string(160, 'A') + "\n");
  M.a = Reg{0, 32760};
  EXPECT_EQ(run(233, 3000), 1);
  EXPECT_THAT(text(), HasSubstr("Illegal: Bad memory address [008000 32768"));
}

// ---- Whole programs ----

// Word lines holding character codes, five to a pair.
std::vector<std::string> text_words(const std::vector<int>& c) {
  std::vector<std::string> v;
  for (size_t i = 0; i < c.size(); i += 5) {
    int g[5] = {};
    for (size_t j = 0; j < 5 && i + j < c.size(); j++) g[j] = c[i + j];
    v.push_back(word((g[2] & 0xF) << 16 | g[3] << 8 | g[4]));
    v.push_back(word(g[0] << 12 | g[1] << 4 | g[2] >> 4));
  }
  return v;
}

TEST_F(EmuTest, LookUpLeavesNAtTheEntryFound) {
  // The limit stops the instruction after the look-up: the dump shows N
  // where the search ended.
  Result r = prog(
      {"1/1/3 3", "1/0/0 300", "0/0/0 0", "L300 at", "0/0/0 1", "0/0/0 2", "0/0/0 3", "0/0/0 5"},
      {"-a3"});
  EXPECT_THAT(r.out, HasSubstr(" N = 302   (302) = 000003 (303) = 000005\n"));
}

TEST_F(EmuTest, LookUpInAProgram) {
  // SELECT LITERAL ADDRESS 12, TABLE LOOK UP at 300, HALT.
  Result r = prog({"L300 at", word(5), word(10), word(20), "L160 at", ins(1, 1, 3, 12),
                   ins(1, 0, 0, 300), "0/0/0 0"});
  EXPECT_THAT(r.out, HasSubstr("162 Illegal: Not implemented: HALT  after 3 instructions\n"));
  EXPECT_THAT(r.out, HasSubstr(" A = 000000 0000C [0 12]\n B = 000000 0012E [0 302]\n"));
}

TEST_F(EmuTest, UnpackThenEditInAProgram) {
  // The record "-12;AB" and a newline is unpacked into a long number at 500
  // and an alpha word at 502, which are then edited into a line at 2000:
  // the number with its sign in the first digit, a space and "AB".
  std::vector<std::string> p = {
      // Register images for REPLACE REGISTERS: A lower 400, then A lower 404.
      "L300 at", "0/0/0 400", "0/0/0 0", "0/0/0 0", "0/0/0 0", "0/0/0 0",  //
      "L306 at", "0/0/0 404", "0/0/0 0", "0/0/0 0", "0/0/0 0", "0/0/0 0",  //
      // Unpack table at 400, edit table at 404.
      "L400 at", word(500), word(LONG), word(502), word(ALPHA | LONG | LAST),  //
      word(500), word(LONG | SIGNED | INDIGIT | 0x3604), word(502), word(ALPHA | LAST | 0x0012),
      "L1000 at"};
  for (auto& w : text_words({0x10, 0x41, 0x42, 0x7D, 0x51, 0x52, 0x5E})) p.push_back(w);
  for (auto& l : {"L160 at", "0/1/1 300", "28/0/3 1000", "0/1/1 306", "28/1/2 2000", "0/0/0 2000"})
    p.push_back(l);
  Result r = prog(p, {"-v3"});
  EXPECT_THAT(r.out, HasSubstr("  161 UNPACK VARIABLE [010414 27D51] starting at 1000 using table "
                               "at 400 -- 020000 001F4=500\n"));
  EXPECT_THAT(r.out, HasSubstr("  Stored 100000 00012 into 500 - terminated by 42 7D  f = 8\n"
                               "  Hope to unpack into 502 - 130000 001F6\n"
                               "  Stored 051520 00000 into 502 - terminated by 52 5E  f = 3\n"));
  EXPECT_THAT(r.out, HasSubstr("  163 EDIT into 2000 using table at 404\n"));
  EXPECT_THAT(r.out, HasSubstr("  Stored 000001 10200 at address 2000 -   A2 \n"
                               "  Stored 011120 00000 at address 2002 - AB   \n"
                               "   163 Spurious chars end of edit = 3\n"));
  EXPECT_THAT(r.out, HasSubstr("164 Illegal: Not implemented: HALT  after 5 instructions\n"));
  EXPECT_THAT(r.out, HasSubstr(" N = 2000   (2000) = 010200 (2001) = 000001\n"));
}

}  // namespace
