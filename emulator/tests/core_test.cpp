// Start-up, switches, the instruction cycle, its trace and watch, and the
// fatal and not-implemented reports.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <ctime>
#include <map>
#include <random>

#include "console.h"
#include "files.h"
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
  // Twenty words, each its own value: the second report shows both halves
  // of the copy and of the store word for word.
  std::vector<std::string> twenty = {"L300 at"};
  for (int i = 1; i <= 20; i++) twenty.push_back("0/0/0 " + std::to_string(i));
  twenty.insert(twenty.end(), {"L160 at", "1/1/3 99", "3/0/0 302", "0/0/0 0"});
  Result n50 = prog(twenty, {"-m300", "-n50"});
  EXPECT_THAT(n50.out,
              HasSubstr("  Location   300 changed from 000001 000002 000003 000004 000005 000006 "
                        "000007 000008 000009 00000A\n"
                        "  (SC =   161)             to 000001 000002 000063 000004 000005 000006 "
                        "000007 000008 000009 00000A\n"
                        "  Location   310 changed from 00000B 00000C 00000D 00000E 00000F 000010 "
                        "000011 000012 000013 000014\n"
                        "                           to 00000B 00000C 00000D 00000E 00000F 000010 "
                        "000011 000012 000013 000014\n"));
  // The copy is taken only when a change is reported: 307 changes unwatched,
  // then 302 changes; the report shows 307 as it was at the last report.
  Result copy = prog({"1/1/3 9", "3/0/0 307", "1/1/3 5", "3/0/0 302", "0/0/0 0"}, {"-m300", "-n5"});
  EXPECT_THAT(copy.out,
              HasSubstr("  Location   300 changed from 000000 000000 000000 000000 000000 000000 "
                        "000000 000000 000000 000000\n"
                        "  (SC =   163)             to 000000 000000 000005 000000 000000 000000 "
                        "000000 000009 000000 000000\n"));
  // A watched area at the top of the store compares only what is there.
  // Past the top of the store the words read 0 and are never copied.
  std::vector<std::string> high = {"L32760 at"};
  for (int i = 1; i <= 8; i++) high.push_back("0/0/0 " + std::to_string(i));
  // Modifier 1 holds 32000.
  high.insert(high.end(), {"L10 at", "0/0/3 7424", "L160 at", "1/1/3 99", "3/0/1 761", "0/0/0 0"});
  Result top = prog(high, {"-m32760", "-n20"});
  EXPECT_THAT(top.out,
              HasSubstr("  Location 32760 changed from FFFFFFFF 000000 000000 000000 000000 000000 "
                        "000000 000000 000000 000000\n"
                        "  (SC =   159)             to 000001 000002 000003 000004 000005 000006 "
                        "000007 000008 000000 000000\n"));
  EXPECT_THAT(top.out,
              HasSubstr("  Location 32760 changed from 000001 000002 000003 000004 000005 000006 "
                        "000007 000008 000000 000000\n"
                        "  (SC =   161)             to 000001 000063 000003 000004 000005 000006 "
                        "000007 000008 000000 000000\n"
                        "  Location 32770 changed from 000000 000000 000000 000000 000000 000000 "
                        "000000 000000 000000 000000\n"
                        "                           to 000000 000000 000000 000000 000000 000000 "
                        "000000 000000 000000 000000\n"));
}

}  // namespace

// ---------------------------------------------------------------------------
// Snapshots: a machine of random state saved, cleared and read back is the
// same machine, field by field, with its host files as they were at the
// save. Its registers are those of the register table, each given a value
// from its range, so that every register the table gains is covered.

namespace {

TEST_F(EmuTest, SnapshotRestoresEveryField) {
  static Machine want;
  std::mt19937_64 g(23);
  auto in = [&](long long lo, long long hi) {
    unsigned long long span = (unsigned long long)hi - (unsigned long long)lo + 1;
    return (long long)((unsigned long long)lo + (span ? g() % span : g()));
  };
  for (int round = 0; round < 3; round++) {
    SCOPED_TRACE(round);
    reset();
    build_tables();
    for (int i = 0; i < nregs; i++) {
      const RegInfo& r = regs[i];
      ASSERT_EQ(reg_set(r, M, in(r.lo, r.hi), in(r.lo, r.hi)), "") << r.name;
    }
    set_radix(M.radix);  // the upper radix follows the radix register
    // Some groups of the store empty, some full, the rest in part.
    for (int a = 0; a < STORE; a += 16) {
      unsigned fill = g() % 4;
      for (int i = 0; i < 16; i++)
        if (fill == 3 || (fill == 2 && g() % 2)) M.store[a + i] = (int32_t)g();
    }
    for (auto& t : M.tags) t = (uint8_t)g();
    for (auto& w : M.wcopy) w = (int32_t)g();
    for (auto& o : M.ovl) {
      if (g() % 3) continue;
      o.image.resize(g() % 700);
      o.first = (int)(g() % (STORE - o.image.size()));
      o.len = (int)o.image.size() * 4;
      for (auto& w : o.image) w = (int32_t)g();
    }
    // By route: no image, one open part read, one closed after use, one
    // open at its start; and the paper tape reader part read.
    for (int k = 0; k < 10; k++) {
      Route& e = M.routes[k];
      e.name = g() % 2 ? -1 : (int)(g() & 0xFFFF);
      e.type = (int)(g() % 20);
      e.mode = (int)(g() % 3) - 1;
      e.last = (int)(g() % 2048);
      e.count = (int)(g() % 5000);
      e.pending = (int)(g() % 2);
      if (k % 4 == 0) continue;
      e.path = "MT" + std::to_string(9 * (k + 1)) + ".zelk";
      e.oflags = O_RDWR;
      std::string bytes;
      for (int n = (int)(4000 + g() % 4000); n > 0; n--) bytes += (char)g();
      put(e.path, bytes);
      M.files.push_back(e.path);
      if (k % 4 == 2) continue;
      e.fd = open(e.path.c_str(), e.oflags);
      ASSERT_GE(lseek(e.fd, k % 4 == 3 ? 0 : (off_t)(g() % 4000), SEEK_SET), 0);
    }
    put("cards.txt", "FIRST LINE\nSECOND LINE\nTHIRD\n");
    M.ptrname = "cards.txt";
    ASSERT_TRUE(file_reader());
    ASSERT_EQ(fseek(M.reader, round ? (long)(g() % 30) : 0, SEEK_SET), 0);
    M.reader_eof = g() % 2;
    for (auto& row : M.acts)
      for (auto& n : row) n = g() % 5 ? 0 : (long long)(g() >> 2);

    want = M;
    std::map<std::string, std::string> files;
    for (auto& f : M.files) files[f] = get(f);
    long long pos[10];
    for (int k = 0; k < 10; k++)
      pos[k] = M.routes[k].fd < 0 ? -1 : lseek(M.routes[k].fd, 0, SEEK_CUR);
    long rpos = ftell(M.reader);
    ASSERT_EQ(save("snap"), "");
    struct stat st;
    mode_t mask = umask(0);
    umask(mask);
    ASSERT_EQ(stat("snap", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);
    // The files change after the save, the first is removed; the restore
    // brings them back, the changed ones with their modes, the removed one
    // with 0640.
    for (auto& [f, bytes] : files) put(f, "changed");
    unlink(files.begin()->first.c_str());
    reset();
    ASSERT_EQ(restore("snap"), "");

    for (int i = 0; i < nregs; i++) {
      long long a, a2, b, b2;
      reg_get(regs[i], want, a, a2);
      reg_get(regs[i], M, b, b2);
      EXPECT_TRUE(a == b && a2 == b2) << regs[i].name;
    }
    EXPECT_EQ(M.uradix, want.uradix);
    for (int a = 0; a < STORE + 2; a++) ASSERT_EQ(M.store[a], want.store[a]) << "store " << a;
    for (int a = 0; a < STORE; a++) ASSERT_EQ(M.tags[a], want.tags[a]) << "tag " << a;
    for (int i = 0; i < 20; i++) EXPECT_EQ(M.wcopy[i], want.wcopy[i]) << "watch copy " << i;
    for (int k = 0; k < 15; k++) {
      EXPECT_EQ(M.ovl[k].first, want.ovl[k].first) << "overlay " << k;
      EXPECT_EQ(M.ovl[k].len, want.ovl[k].len) << "overlay " << k;
      EXPECT_EQ(M.ovl[k].image, want.ovl[k].image) << "overlay " << k;
    }
    for (int k = 0; k < 10; k++) {
      const Route &e = M.routes[k], &w = want.routes[k];
      SCOPED_TRACE("route entry " + std::to_string(k));
      EXPECT_EQ(e.name, w.name);
      EXPECT_EQ(e.type, w.type);
      EXPECT_EQ(e.mode, w.mode);
      EXPECT_EQ(e.last, w.last);
      EXPECT_EQ(e.count, w.count);
      EXPECT_EQ(e.pending, w.pending);
      EXPECT_EQ(e.path, w.path);
      EXPECT_EQ(e.oflags, w.oflags);
      EXPECT_EQ(e.fd < 0 ? e.fd : lseek(e.fd, 0, SEEK_CUR), pos[k]);  // -1 when closed
    }
    EXPECT_EQ(M.files, want.files);
    for (auto& [f, bytes] : files) {
      EXPECT_EQ(get(f), bytes) << f;
      ASSERT_EQ(stat(f.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, f == files.begin()->first ? 0640 : 0666 & ~mask) << f;
    }
    ASSERT_NE(M.reader, nullptr);
    EXPECT_EQ(ftell(M.reader), rpos);
    EXPECT_EQ(M.reader_eof, want.reader_eof);
    EXPECT_EQ(M.reader_used, want.reader_used);
    EXPECT_EQ(M.ptrname, want.ptrname);
    for (int t = 0; t < 20; t++)
      for (int q = 0; q < 64; q++) ASSERT_EQ(M.acts[t][q], want.acts[t][q]) << t << " " << q;
  }
}

// A snapshot with a line added, its checksum made good again, is refused
// with the line and the reason, and the machine stays as it was; so is one
// of an unknown version. A version 1 snapshot, which carries no files, is
// read when the run had opened none.
TEST_F(EmuTest, DamagedSnapshotsAreRefused) {
  reset();
  build_tables();
  ASSERT_EQ(save("good"), "");
  std::string good = get("good");
  std::string body = good.substr(0, good.rfind("sum "));
  auto sealed = [](const std::string& b) {
    char sum[32];
    snprintf(sum, sizeof sum, "sum %016" PRIx64 "\n", snap_sum(b));
    return b + sum;
  };
  int line = (int)std::count(body.begin(), body.end(), '\n') + 1;
  M.a.lo = 12345;
  const char* cases[][2] = {
      {"ovl -1 0 0 0", "overlay"},
      {"route 0 -1 40000 -1 0 7 0 0 0 0 ", "route"},
      {"reader 2 0 0 1", "reader"},
      {"acts 0 64 1", "counter"},
      {"file -2 MT9.zelk", "file"},
      {"route 0 -1 -1 -1 0 7 0 2 0 0 ", "route"},
      {"route 0 -1 -1 -1 0 7 0 0 7 0 MT9.zelk", "route: open flags"},
      {"reader 1 0 0 0", "reader"},  // open, but never read
      {"file 2 MT9.zelk\ndata 4142 x", "file data"},
      {"file 1099511627777 MT9.zelk", "file"},  // over 2^40 bytes
  };
  for (auto& c : cases) {
    put("bad", sealed(body + c[0] + "\n"));
    int at = line + (int)std::count(c[0], c[0] + strlen(c[0]), '\n');
    EXPECT_EQ(restore("bad"), "bad: damaged snapshot: line " + std::to_string(at) + ": " + c[1]);
    EXPECT_EQ(M.a.lo, 12345);
  }
  // The extremes of what a route may hold are taken.
  put("edge", sealed(body + "route 0 -1 32767 -1 0 7 0 0 1025 0 LP3.txt\n"));
  EXPECT_EQ(restore("edge"), "");
  EXPECT_EQ(M.routes[0].type, 32767);
  EXPECT_EQ(M.routes[0].oflags, O_WRONLY | O_APPEND);
  M.a.lo = 12345;
  // A file that was absent at the save is removed.
  put("MT9.zelk", "x");
  put("gone", sealed(body + "file -1 MT9.zelk\n"));
  EXPECT_EQ(restore("gone"), "");
  EXPECT_EQ(access("MT9.zelk", F_OK), -1);
  std::string v3 = "zelk snapshot 3\n";
  put("v3", sealed(v3));
  EXPECT_EQ(restore("v3"),
            "v3: snapshot of another format version (this emulator reads versions 1 to 2)");
  // Version 1: the route table, the reader and a register.
  std::string v1 = "zelk snapshot 1\nreg a 0 5\n";
  for (int k = 1; k < 10; k++) v1 += "route " + std::to_string(k) + " -1 -1 -1 0 7 0 0 0 0 \n";
  v1 += "reader 0 0 0\n";
  put("v1", sealed(v1 + "route 0 -1 -1 -1 0 7 0 0 2 0 MT9.zelk\n"));
  EXPECT_EQ(restore("v1"),
            "v1: snapshot of format version 1 carries no copy of MT9.zelk, which the run had "
            "opened: it cannot be restored exactly");
  put("v1", sealed(v1 + "route 0 -1 -1 -1 0 7 0 0 0 0 \n"));
  EXPECT_EQ(restore("v1"), "");
  EXPECT_EQ(M.a.lo, 5);
  // A snapshot that cannot take its name is not written.
  mkdir("dir", 0755);
  EXPECT_EQ(save("dir"), "dir: Is a directory");
  EXPECT_EQ(restore("dir"), "dir: not a regular file");
}

}  // namespace
