// Start-up, switches, the instruction cycle, its trace and watch, and the
// fatal and not-implemented reports.
#include <sys/stat.h>

#include <ctime>

#include "harness.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

#define kLoaded                          \
  "Switches are: \n"                     \
  "Loading program from file prog.txt\n" \
  "test program\n"                       \
  "\n"                                   \
  "Program prog.txt loaded\n"            \
  "\n"

TEST_F(EmuTest, HaltAtEntryGivesTheWholeReport) {
  Result r = prog({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kLoaded
            "160 Illegal: Not implemented: HALT  after 1 instructions\n"
            "Illegal: Not implemented: HALT  [000000 0 0]\n"
            "SC = 160 (160)  instr = 0/0/0 0\n"
            " A = 000000 00000 [0 0]\n"
            " B = 000000 00000 [0 0]\n"
            " N = 0   (0) = 000000 (1) = 000000\n"
            " D = 000000 00000 [0 0]\n"
            "\nI/O summary\n");
}

TEST_F(EmuTest, SwitchTextAndLogFile) {
  Result r = prog({}, {"-d", "-v9", "-x", "-"});
  EXPECT_EQ(r.status, 1);
  // Only the console line goes to standard output; the rest to log.txt.
  EXPECT_EQ(r.out, "160 Illegal: Not implemented: HALT  after 1 instructions\n");
  std::string log = get("log.txt");
  EXPECT_THAT(log, StartsWith("Switches are:  -d -v9 -x -\n"));
  EXPECT_THAT(log, HasSubstr("Illegal: Not implemented: HALT  [000000 0 0]\n"));
}

TEST_F(EmuTest, LogFileThatCannotBeOpened) {
  ASSERT_EQ(mkdir("log.txt", 0755), 0);
  Result r = prog({}, {"-d"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, StartsWith("log.txt: "));
  EXPECT_EQ(r.out, "159 Illegal: Cannot open log file after 0 instructions\n");
}

TEST_F(EmuTest, DateWordAtStartUp) {
  // Words loaded into 138 and 139 are replaced by the date; the HALT's dump
  // shows the pair at N = 138.
  time_t now = time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  Result r = prog({"L138 at", "1/1/1 1111", "1/1/1 1111", "L160 at", "0/0/0 138"});
  int d = t.tm_mday, m = t.tm_mon + 1, y = t.tm_year % 100;
  char want[64];
  snprintf(want, sizeof want, " N = 138   (138) = %06X (139) = %06X\n",
           (d % 10) << 16 | (m / 10) << 12 | (m % 10) << 8 | (y / 10) << 4 | (y % 10), d / 10);
  EXPECT_THAT(r.out, HasSubstr(want));
}

TEST_F(EmuTest, ExecutionLimit) {
  Result r = prog({}, {"-a1"});
  EXPECT_THAT(r.out, HasSubstr("159 Illegal: execution abandonned after 1 instructions\n"));
  EXPECT_THAT(r.out, HasSubstr("Illegal: execution abandonned [0000A0 160 240]\n"));
  // Not executed: the dump shows SC as the instruction about to be fetched
  // less one, and N as it stood.
  EXPECT_THAT(r.out, HasSubstr("SC = 159 (159)"));
}

TEST_F(EmuTest, TraceHeadersAndLines) {
  // SET MODIFICATION REGISTER 3 from 300-301, then HALT: the M column shows
  // modifier 3 before each instruction that names it.
  std::vector<std::string> p = {"L300 at", "0/0/0 5",    "0/0/0 6",
                                "L160 at", "26/1/3 300", "26/1/3 302"};
  Result r = prog(p, {"-v6"});
  EXPECT_THAT(r.out,
              HasSubstr("                   _\n"
                        " SC                N           A              B          C/SMO    M\n"
                        "  160 ---> 26/1/3   300 || 000000 00000   000000 00000    00000     "
                        "0 | SET MODIFICATION REGISTER \n"
                        "  161 ---> 26/1/3   302 || 000000 00000   000000 00000    00000     "
                        "5 | SET MODIFICATION REGISTER \n"
                        "  162 --->  0/0/0     0 || 000000 00000   000000 00000    00000       "
                        "| HALT \n"));
  // The trace start: the second header form, then full trace.
  Result t = prog(p, {"-t3"});
  EXPECT_THAT(t.out,
              HasSubstr("Program prog.txt loaded\n\n"
                        "                    _\n"
                        "  SC                N           A              B          C/SMO    M\n"
                        "  162 --->  0/0/0     0 || 000000 00000   000000 00000    00000       "
                        "| HALT \n"));
  Result t1 = prog({}, {"-t1"});
  EXPECT_THAT(t1.out, HasSubstr("loaded\n\n                    _\n  SC   "));
}

TEST_F(EmuTest, TraceShowsPendingModification) {
  // MODIFY ADDRESS OF NEXT (193) takes 7 from word 300: the next trace line
  // shows it in the C/SMO column, the one after does not.
  Result p =
      prog({"L300 at", "0/0/0 7", "L160 at", "24/0/1 300", "26/1/3 10", "26/1/3 10"}, {"-v6"});
  EXPECT_THAT(p.out, HasSubstr("  161 ---> 26/1/3    17 || 000000 00000   000000 00000       7 "
                               "     0 | SET MODIFICATION REGISTER \n"
                               "  162 ---> 26/1/3    10 || 000000 00000   000000 00000    00000"
                               "     0 | SET MODIFICATION REGISTER \n"));
  // The form 198 subtracts the quarter bits: a negative modification shows
  // the absolute address it names, with a star.
  Result n =
      prog({"L8300 at", "0/0/0 5", "L8200 at", "24/1/2 108", "26/1/3 10", "E8200 at"}, {"-v6"});
  EXPECT_THAT(n.out, HasSubstr(" 8201 ---> 26/1/3    15 || 000000 00000   000000 00000       5*"
                               "     0 | SET MODIFICATION REGISTER \n"));
}

TEST_F(EmuTest, WordsBeyond21BitsArePassedOver) {
  // 0x200000 at 160 is passed over; the HALT at 161 ends the run.
  put("prog.txt", "t\n32/0/0 0\n");
  Result r = emu({"prog.txt"});
  EXPECT_EQ(r.status, 1);  // refused by the loader
  EXPECT_THAT(r.out, HasSubstr("Error: 32/0/0 0\n"));
  // Decode value 1 (Invalid) is passed over without a report.
  Result i = prog({"0/0/1 0", "0/0/0 0"}, {"-v6"});
  EXPECT_THAT(i.out, HasSubstr("| Invalid\n  161 --->"));
  EXPECT_THAT(i.out, HasSubstr("161 Illegal: Not implemented: HALT  after 2 instructions"));
}

TEST_F(EmuTest, QuarterBitsInN) {
  Result r = prog({"L8200 at", "0/0/0 5", "E8200 at"});
  EXPECT_THAT(r.out, HasSubstr("8200 Illegal: Not implemented: HALT  after 1 instructions\n"));
  EXPECT_THAT(r.out, HasSubstr("SC = 8200 (8)  instr = 0/0/0 5\n"));
  EXPECT_THAT(r.out, HasSubstr(" N = 8197   (8196) = 000000 (8197) = 000000\n"));
}

TEST_F(EmuTest, LongFormMessageCarriesTheName) {
  Result r = prog({"9/1/0 0"});
  EXPECT_THAT(
      r.out,
      HasSubstr("Illegal: Not implemented: Long form MULTIPLY UNIFORM RADIX  [00004C 76 114]"));
}

TEST_F(EmuTest, BadAddressShowsOctal) {
  // SC runs off the top of the store: 32767 holds an Invalid word.
  Result r = prog({"L32767 at", "0/0/1 0", "E32767 at"});
  EXPECT_THAT(r.out, HasSubstr("32767 Illegal: Bad memory address after 2 instructions\n"
                               "Illegal: Bad memory address [008000 32768 100000]\n"));
}

TEST_F(EmuTest, WatchOneWord) {
  // The first check reports the change from -1; ENTER SUBROUTINE then
  // stores its link (161) in 300 and the next check reports it.
  Result r = prog({"26/0/0 300", "L301 at", "0/0/0 0"}, {"-m300"});
  EXPECT_THAT(r.out, HasSubstr("  159 Location 300 changed from -1 to 0 000000  0/0/0 0\n"
                               "  300 Location 300 changed from 0 to 161 0000A1  0/0/0 161\n"));
}

TEST_F(EmuTest, WatchSeveralWords) {
  Result r = prog({"L300 at", "0/0/0 1", "0/0/0 2", "L160 at", "0/0/0 0"}, {"-m300", "-n5"});
  EXPECT_THAT(r.out,
              HasSubstr("  Location   300 changed from FFFFFFFF 000000 000000 000000 000000 000000 "
                        "000000 000000 000000 000000\n"
                        "  (SC =   159)             to 000001 000002 000000 000000 000000 000000 "
                        "000000 000000 000000 000000\n"));
  Result n0 = prog({"0/0/0 0"}, {"-m300", "-n0"});
  EXPECT_THAT(n0.out, ::testing::Not(HasSubstr("Location")));
  Result n50 = prog({"0/0/0 0"}, {"-m300", "-n50"});
  EXPECT_THAT(n50.out, HasSubstr("  Location   310 changed from 000000"));
  EXPECT_THAT(n50.out, HasSubstr("                           to 000000"));
  // The copy is taken only when a change is reported: 307 changes unwatched,
  // then 302 changes; the report shows 307 as it was at the last report.
  Result copy = prog({"1/1/3 9", "3/0/0 307", "1/1/3 5", "3/0/0 302", "0/0/0 0"}, {"-m300", "-n5"});
  EXPECT_THAT(copy.out,
              HasSubstr("  Location   300 changed from 000000 000000 000000 000000 000000 000000 "
                        "000000 000000 000000 000000\n"
                        "  (SC =   163)             to 000000 000000 000005 000000 000000 000000 "
                        "000000 000009 000000 000000\n"));
  // A watched area at the top of the store compares only what is there.
  Result top = prog({"0/0/0 0"}, {"-m32760", "-n20"});
  EXPECT_THAT(top.out, HasSubstr("  Location 32760 changed from FFFFFFFF"));
}

}  // namespace
