// The program file loader: line kinds, listing form, overlays, chapter 0 and
// the lines it refuses.
#include <sys/stat.h>

#include "harness.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The dump line of N for a HALT at 160 whose address field is `n`.
std::string nline(int n, int32_t w0, int32_t w1) {
  char buf[96];
  snprintf(buf, sizeof buf, " N = %d   (%d) = %06X (%d) = %06X\n", n, n & ~1, w0, (n & ~1) + 1, w1);
  return buf;
}

TEST_F(EmuTest, WordLineForms) {
  // 12/1/3 4567 with trailing text; 0/0/0 0 [74]; 5/0/2 with two spaces;
  // a six-character line 0/0/0 and its end of line.
  Result r = prog({"L300 at", "12/1/3 4567 [160] 1A91D7", "0/0/0 0 [74]", "5/0/2  77", "1/1/1",
                   "L160 at", "0/0/0 300"});
  EXPECT_THAT(r.out, HasSubstr(nline(300, (12 * 8 + 4 + 3) * 8192 + 4567, 0)));
  Result r2 = prog({"L300 at", "0/0/0 9", "5/0/2  77", "L160 at", "0/0/0 301"});
  EXPECT_THAT(r2.out, HasSubstr(nline(301, 9, (5 * 8 + 2) * 8192)));
}

TEST_F(EmuTest, FirstLineIsATitleAndShortLinesAreIgnored) {
  put("prog.txt", "1/1/1 5\n L200\n0/0/0\n1/1/3");  // the last line has no end of line
  Result r = emu({"prog.txt"});
  // The title is not loaded; 0/0/0 (six characters with its end) goes to 160
  // as 0: the HALT; 1/1/3 (five characters) is ignored.
  EXPECT_THAT(r.out, HasSubstr("Loading program from file prog.txt\n1/1/1 5\n\n"));
  EXPECT_THAT(r.out, HasSubstr("160 Illegal: Not implemented: HALT  after 1 instructions"));
}

TEST_F(EmuTest, ListingSwitchAndLoadAddressLog) {
  Result r = prog({"L160 at", "12/1/3 4567 [160]", "0/0/0 0"}, {"-s", "-v2"});
  EXPECT_THAT(r.out, HasSubstr("Load address 160 at\n\n"));
  EXPECT_THAT(r.out, HasSubstr(" 160 12/1/3 4567| 12/1/3 4567 [160]\n"));
  EXPECT_THAT(r.out, HasSubstr(" 161  0/0/0    0| 0/0/0 0\n"));
}

TEST_F(EmuTest, EntryAndTag) {
  Result r = prog({"L500 at", "25/1/0 600", "0/0/0 0", "E500 at"});
  // SET INDICATORS at the entry 500, then HALT at 501.
  EXPECT_THAT(r.out, HasSubstr("501 Illegal: Not implemented: HALT  after 2 instructions"));
}

TEST_F(EmuTest, ListingFormSkipsToTheSecondPass) {
  put("prog.txt", "<listing of a program\n1/1/1 1\n=============== Second pasZ\n0/0/0 77\n");
  Result r = emu({"-v2", "prog.txt"});
  EXPECT_THAT(r.out, HasSubstr("Skipping to start of binary program\n"
                               "Loading program from file prog.txt\n\n"
                               "Program prog.txt loaded\n"));
  EXPECT_THAT(r.out, HasSubstr(nline(77, 0, 0)));
  // A listing without the marker loads nothing.
  put("prog.txt", "<listing\n1/1/1 1\n");
  Result e = emu({"prog.txt"});
  EXPECT_THAT(e.out, HasSubstr("Loading program from file prog.txt\n\nProgram prog.txt loaded\n"));
  EXPECT_THAT(e.out, HasSubstr("160 Illegal: Not implemented: HALT"));
}

TEST_F(EmuTest, OverlaysSavedAndRestored) {
  // Overlay 3 saves 400-499; overlay 0 is saved twice: the later image
  // (holding 9) is put back after loading.
  Result r =
      prog({"L400 at", "0/0/0 1", "O03   400   500", "L300 at", "0/0/0 8", "O00   300   301",
            "L300 at", "0/0/0 9", "O00   300   301", "L300 at", "0/0/0 5", "L160 at", "0/0/0 300"},
           {"-v1"});
  EXPECT_THAT(r.out, HasSubstr("Overlay 3 from 400 to 499\n"));
  EXPECT_THAT(r.out, HasSubstr(nline(300, 9, 0)));
}

TEST_F(EmuTest, ChapterZeroFillsTheRouteTable) {
  // Chapter 0 at 1000: two files, routes 9 (type 9, "LP") and 18 (type 7).
  char n1[32], n2[32], t1[32], t2[32];
  snprintf(t1, sizeof t1, "%s", word((9 << 16) | 0x8009).c_str());
  snprintf(n1, sizeof n1, "%s", word(0x5367).c_str());
  snprintf(t2, sizeof t2, "%s", word((7 << 16) | 0x8012).c_str());
  snprintf(n2, sizeof n2, "%s", word(0x5152).c_str());
  Result r = prog({"L1034 at", t1, n1, t2, n2, "X1000 at", "L160 at", "0/0/0 0"});
  EXPECT_THAT(r.out, HasSubstr("Extra chapter at 1000\n"
                               "   File 0 is CP type 9 on route 9\n"
                               "   File 1 is AB type 7 on route 18\n"
                               "Program prog.txt loaded\n"));
  Result e = prog({"X1000 at", "0/0/0 0"});
  EXPECT_THAT(e.out, HasSubstr("Extra chapter at 1000\nProgram prog.txt loaded\n"));
}

TEST_F(EmuTest, RefusedLines) {
  for (const char* bad : {"32/0/0 0", "0/2/0 0", "0/0/4 0", "0/0/0 8192", "-3/0/0 1", "0/0/0 -5",
                          "O15   100   200", "O01   300   299", "O01 32000 32769"}) {
    Result r = prog({bad});
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_THAT(r.out, HasSubstr(std::string("Error: ") + bad + "\n")) << bad;
    EXPECT_THAT(r.out, Not(HasSubstr("Illegal"))) << bad;
  }
  Result hi = prog({"L32768 at", "0/0/0 1"});
  EXPECT_THAT(hi.out, HasSubstr("Error: 0/0/0 1\n"));
  Result x = prog({"X32750 at", "0/0/0 0"});
  EXPECT_EQ(x.status, 1);
  EXPECT_THAT(x.out, HasSubstr("Error: X32750 at\n"));
}

TEST_F(EmuTest, EmptyOverlayIsAnOverlay) {
  // An empty stretch (as written for a chapter with no words) saves nothing;
  // entering it restores nothing.
  Result r =
      prog({"O01   300   300 empty", "L300 at", "0/0/0 7", "L160 at", "0/1/1 4000", "23/0/2 102",
            "26/0/2 2", "L4000 at", "0/0/0 0", "0/0/0 0", "0/0/0 0", "0/0/0 0", "0/0/0 0"},
           {"-v1"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Overlay 1 from 300 to 299\n"));
  EXPECT_THAT(r.out, HasSubstr("Entering overlay 1, starts at 300 - 0 short words"));
  EXPECT_EQ(M.store[300], 7);
}

TEST_F(EmuTest, UnreadableFilesAreUnopenable) {
  mkdir("adir", 0755);
  Result r = emu({"adir"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "adir: Is a directory\n");
  EXPECT_THAT(r.out, HasSubstr("Illegal: Cannot open binary program"));
  EXPECT_THAT(r.out, Not(HasSubstr("loaded")));
  // The paper tape reader file too: group 4 open on a reader route.
  put("prog.txt", "t\nL1034 at\n" + word(5 << 16 | 9) + "\n" + word(0x5152) +
                      "\nX1000 at\nL160 at\n0/1/1 4000\n23/0/2 160\n26/0/2 2\nL4000 at\n" +
                      word(9) + "\n" + word(15) + "\n0/0/0 0\n0/0/0 0\n0/0/0 0\n");
  Result p = emu({"prog.txt", "adir"});
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "adir: Is a directory\n");
  EXPECT_THAT(p.out, HasSubstr("Illegal: Cannot open paper tape reader file"));
}

TEST_F(EmuTest, MissingProgramFile) {
  Result r = emu({"nosuch.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "nosuch.txt: No such file or directory\n");
  EXPECT_THAT(r.out, HasSubstr("159 Illegal: Cannot open binary program after 0 instructions\n"));
  Result none = emu({"-v1"});
  EXPECT_THAT(none.err, HasSubstr("usage: emulator"));
  EXPECT_THAT(none.out, HasSubstr("Illegal: Cannot open binary program"));
}

}  // namespace
