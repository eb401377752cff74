// Routes, tape operations and the Master Routine calls, run as whole
// programs: REPLACE REGISTERS loads the request registers, ENTER MASTER
// ROUTINE makes the call, ENTER PRIORITY CONTROL 2 unloads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "harness.h"

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

// Two machine characters as a file name word.
int fname(const char* two) {
  build_tables();
  return h2m[(uint8_t)two[0]] << 8 | h2m[(uint8_t)two[1]];
}

// Five character codes as an alpha long word: {lower, upper}.
std::pair<int32_t, int32_t> pack(const uint8_t c[5]) {
  return {(c[2] << 16 | c[3] << 8 | c[4]) & 0xFFFFF, c[0] << 12 | c[1] << 4 | c[2] >> 4};
}

// A test program: code from 160, store words anywhere, register blocks for
// REPLACE REGISTERS from 4000.
struct Prog {
  std::vector<std::string> code;
  std::map<int, int32_t> mem;
  std::vector<std::string> extra;  // control lines (chapter 0, overlays)
  int regs = 4000;

  // A Master Routine call with these request registers.
  Prog& call(int entry, int alo, int aup = 0, int blo = 0, int bup = 0) {
    set(regs, {alo, aup, blo, bup, 0});
    code.push_back(ins(0, 1, 1, regs));
    code.push_back(ins(23, 0, 2, entry));
    regs += 6;
    return *this;
  }
  Prog& set(int addr, std::vector<int32_t> ws) {
    for (int32_t w : ws) mem[addr++] = w;
    return *this;
  }
  // Host text as alpha long words from addr, padded with blanks; "#"
  // stands for the end-of-data code.
  Prog& text(int addr, const std::string& s) {
    build_tables();
    for (size_t i = 0; i < s.size(); i += 5) {
      uint8_t c[5] = {0, 0, 0, 0, 0};
      for (size_t j = 0; j < 5 && i + j < s.size(); j++)
        c[j] = s[i + j] == '#' ? 0x7E : h2m[(uint8_t)s[i + j]];
      auto [lo, up] = pack(c);
      set(addr, {lo, up});
      addr += 2;
    }
    return *this;
  }
  // A tape block to output from transit area t: text from offset 4, then
  // the end-of-data word.
  Prog& block(int t, const std::string& s) {
    text(t + 4, s);
    mem[t + 4 + 2 * (int)((s.size() + 4) / 5)] = 126;
    return *this;
  }
  // Route and pseudo-route pointers.
  Prog& ptr(int r, int t) { return set(64 + r, {t}); }
  // Device types of routes 9, 18, ... from chapter 0 at 1000 (named F0,
  // F1, ...).
  Prog& types(std::vector<int> ts) {
    extra.push_back("X1000 chapter 0");
    for (size_t i = 0; i < ts.size(); i++) {
      char nm[3] = {'F', (char)('0' + i), 0};
      set(1034 + 2 * (int)i, {ts[i] << 16 | (int)(9 * (i + 1)), fname(nm)});
    }
    return *this;
  }
  std::vector<std::string> lines(bool unload = true) const {
    std::vector<std::string> l = extra;
    int next = -1;
    for (auto [a, w] : mem) {
      if (a != next) l.push_back("L" + std::to_string(a) + " at");
      l.push_back(word(w));
      next = a + 1;
    }
    l.push_back("L160 at");
    l.insert(l.end(), code.begin(), code.end());
    if (unload) l.push_back(ins(26, 0, 2, 2));
    l.push_back("E160 go");
    return l;
  }
};

// An instruction word's value.
int32_t ins_word(int fc, int lb, int mf, int addr) { return (fc * 8 + lb * 4 + mf) * 8192 + addr; }

// One block of a tape image.
struct Block {
  int32_t hdr;
  std::vector<int32_t> w;
};

std::vector<Block> blocks(const std::string& img) {
  std::vector<Block> v;
  auto word = [&](size_t i) {
    const unsigned char* p = (const unsigned char*)img.data() + 4 * i;
    return (int32_t)(p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24);
  };
  size_t n = img.size() / 4, i = 0;
  while (i < n) {
    Block b{word(i++), {}};
    for (int k = 0; k < (b.hdr & 0x7FF) && i < n; k++) b.w.push_back(word(i++));
    v.push_back(b);
  }
  return v;
}

// The five characters of the long word at offsets k, k+1 of a block.
std::string chars(const Block& b, int k) {
  build_tables();
  return render(b.w.at(k + 1), b.w.at(k));
}

bool is_closing(const Block& b) {
  return b.w.size() == 8 && b.w[2] == 0xF6F6F && b.w[3] == 0x6F6F6 && b.w[4] == 0x55972 &&
         b.w[5] == 0x56596 && b.w[6] == 0x7E && b.w[7] == 0x7E000;
}

class Periph : public EmuTest {};

// ---- tape operations ----

TEST_F(Periph, OutputRewindInputReadsBackThenEndOfTape) {
  Prog p;
  p.ptr(18, 3000).ptr(19, 3100);
  p.block(3100, "FIRST BLOCK").block(3000, "SECOND");
  p.call(43, 18, 0, 19).call(43, 18, 0, 19).call(45, 18);
  p.call(42, 18, 0, 19).call(42, 18, 0, 19).call(42, 18, 0, 19).call(42, 18, 0, 19);
  Result r = prog(p.lines(), {"-v1"});
  EXPECT_EQ(r.status, 1);
  auto b = blocks(get("MT18.zelk"));
  ASSERT_EQ(b.size(), 3u);
  // First block: previous size 0, block number 8, data to the end word.
  EXPECT_EQ(b[0].hdr, 4 + 2 * 3 + 2);
  EXPECT_EQ(b[0].w[0], 0x48);
  EXPECT_EQ(b[0].w[1], 0);
  EXPECT_EQ(b[0].w[2], 0);
  EXPECT_EQ(b[0].w[3], 0);
  EXPECT_EQ(chars(b[0], 4) + chars(b[0], 6) + chars(b[0], 8), "FIRST BLOCK    ");
  EXPECT_EQ(b[0].w[10], 126);
  EXPECT_EQ(b[1].hdr, 12 << 11 | 10);
  EXPECT_EQ(chars(b[1], 0), "    9");
  EXPECT_EQ(chars(b[1], 4) + chars(b[1], 6), "SECOND    ");
  EXPECT_EQ(b[2].hdr, 10 << 11 | 8);
  EXPECT_TRUE(is_closing(b[2]));
  EXPECT_EQ(chars(b[2], 0), "    t");  // block 10 (0xA)
  // Rewind closed the image: reading opens it again on the same descriptor.
  auto device = [&](const char* how) {
    size_t at = r.out.find(std::string("MT route 18 opened ") + how + " on UNIX device ");
    return at == std::string::npos ? -1 : atoi(r.out.c_str() + r.out.find("device ", at) + 7);
  };
  EXPECT_GE(device("read-write"), 3);
  EXPECT_EQ(device("for reading"), device("read-write"));
  // The first output opens the image; the log shows the block number, the
  // words and the text of the block, and where its end word was found.
  EXPECT_THAT(r.out, HasSubstr("  161 FILE output route 18 action 0 after 2 instructions\n"
                               "Data address 3000 (pseudo 3100)\n"
                               "Warning: Writing on an input file - mode = -1\n"
                               "MT route 18 opened read-write on UNIX device "));
  EXPECT_THAT(r.out, HasSubstr("wr18  [8]  00048 00000 00000 00000 5659697273 0052636653 "
                               "6200000000 >> FIRST BLOCK        #\n"
                               "  Block end at 10 00007E 000000\n"
                               "  163 FILE output route 18 action 0 after 4 instructions\n"
                               "Data address 3100 (pseudo 3000)\n"
                               "wr18  [9]  00049 00000 00000 00000 7255536665 "));
  EXPECT_THAT(r.out, HasSubstr("  165 FILE rewind route 18 [mode = 0] after 6 instructions\n"
                               "Terminated MT18\n"
                               "  167 FILE input route 18 action 0 after 8 instructions\n"
                               "Data address 3000 (pseudo 3100)\n"
                               "Warning: Reading on an output file - mode = -1\n"
                               "MT route 18 opened for reading on UNIX device "));
  // Reading back: the blocks in order, then the closing block.
  EXPECT_THAT(r.out, HasSubstr("Block size = 12\nrd18    00048 00000 00000 00000 5659697273 "
                               "0052636653 6200000000 << FIRST BLOCK        #\n"));
  EXPECT_THAT(r.out, HasSubstr("Block size = 10\nrd18    00049 00000 00000 00000 7255536665 "
                               "5400000000 000000007E << SECOND        #"));
  EXPECT_THAT(r.out, HasSubstr("Block size = 8\nrd18    0004A 00000 F6F6F 6F6F6 5659655972 "
                               "7E0000007E "));
  EXPECT_THAT(r.out, HasSubstr(" << FINIS#   #"));
  EXPECT_THAT(r.out, HasSubstr("  173 FILE input route 18 action 0 after 14 instructions\n"
                               "Data address 3100 (pseudo 3000)\n"
                               "173 Illegal: Read off end of tape after 14 instructions\n"
                               "Illegal: Read off end of tape [000012 18 22]\n"));
}

TEST_F(Periph, HostNamesFollowTheFileName) {
  Prog p;
  p.ptr(27, 3000).block(3000, "X");
  p.call(43, 27, 0, 27);
  EXPECT_EQ(prog(p.lines()).status, 0);
  EXPECT_EQ(blocks(get("MT27.zelk")).size(), 1u);
  // Entry 40 names the file before its image is first opened.
  Prog q;
  q.ptr(27, 3000).block(3000, "X");
  q.call(40, 27, 0x10, 0, fname("AB")).call(43, 27, 0, 27);
  Result r = prog(q.lines(), {"-v1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("  161 FILE AB opened mode 0 route 27 ==[16] after 2 instructions\n"
                               "  163 FILE output route 27"));
  EXPECT_EQ(blocks(get("MT-AB.zelk")).size(), 1u);
  EXPECT_EQ(M.routes[2].name, fname("AB"));
  EXPECT_EQ(M.routes[2].mode, 0);
}

TEST_F(Periph, ExchangeAlternatesTransitAreasUnlessMinusB) {
  for (bool b : {false, true}) {
    Prog p;
    p.ptr(45, 3000).ptr(46, 3100).block(3000, "AREA0").block(3100, "AREA1");
    p.call(43, 45, 0, 46).call(43, 45, 0, 46).call(43, 45, 0, 46);
    Result r = prog(p.lines(), b ? std::vector<std::string>{"-b"} : std::vector<std::string>{});
    EXPECT_EQ(r.status, 0);
    auto bl = blocks(get("MT45.zelk"));
    ASSERT_EQ(bl.size(), 3u);
    EXPECT_EQ(chars(bl[0], 4), "AREA1");
    EXPECT_EQ(chars(bl[1], 4), b ? "AREA1" : "AREA0");
    EXPECT_EQ(chars(bl[2], 4), "AREA1");
    // After an odd number of exchanges the pointers stand swapped; the
    // exchange leaves the old pointers in the upper halves of A and B.
    EXPECT_EQ(M.store[64 + 45], b ? 3000 : 3100);
    EXPECT_EQ(M.store[64 + 46], b ? 3100 : 3000);
    EXPECT_EQ(M.a.up, b ? 0 : 3000);
    // Output leaves the block number in D.
    EXPECT_EQ(M.d.lo, 0x4A);
  }
}

TEST_F(Periph, StepBackTwoAfterThreeOutputsThenOverwrite) {
  Prog p;
  p.ptr(36, 5000).ptr(30, 3000).ptr(31, 3100).ptr(32, 3200).ptr(33, 3300);
  p.block(3000, "ONE").block(3100, "TWO").block(3200, "THREE").block(3300, "NEW");
  p.call(43, 36, 0, 30).call(43, 36, 0, 31).call(43, 36, 0, 32);
  p.call(48, 36, 40, 2).call(43, 36, 0, 33);
  Result r = prog(p.lines(), {"-b", "-v1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("  167 STEP BACK route 36 action 40, block count 2 after 8 "
                               "instructions\nTerminated MT36\n"));
  EXPECT_THAT(r.out, HasSubstr("wr36  [10]  0004A "));
  auto b = blocks(get("MT36.zelk"));
  ASSERT_EQ(b.size(), 4u);
  EXPECT_EQ(chars(b[1], 4), "TWO  ");
  // Block 10 was written again over the third block, from the second's end;
  // the closing block after it stays.
  EXPECT_EQ(chars(b[2], 4), "NEW  ");
  EXPECT_EQ(chars(b[2], 0), "    t");
  EXPECT_EQ(b[2].hdr, 8 << 11 | 8);
  EXPECT_TRUE(is_closing(b[3]));
  EXPECT_EQ(chars(b[3], 0), "    e");  // block 11 (0xB)
  EXPECT_EQ(M.routes[3].count, 10);
}

// A tape of five blocks on route 27: plain, marker with key 5, plain,
// marker with key 7, plain; then its closing block.
Prog marked_tape() {
  Prog p;
  p.ptr(27, 5000).ptr(35, 5500);
  for (int i = 0; i < 5; i++) p.ptr(30 + i, 3000 + 100 * i);
  const char* names[5] = {"ALPHA", "FIVE ", "GAMMA", "SEVEN", "OMEGA"};
  for (int i = 0; i < 5; i++) {
    int t = 3000 + 100 * i;
    if (i == 1 || i == 3) {
      uint8_t key[5] = {0, 0, 0, 0, (uint8_t)(0x40 + (i == 1 ? 5 : 7))};
      auto [lo, up] = pack(key);
      p.set(t + 4, {0xF6F6F, 0, lo, up});
      p.text(t + 8, names[i]);
      p.set(t + 10, {126});
    } else {
      p.block(t, names[i]);
    }
    p.call(43, 27, 0, 30 + i);
  }
  p.call(45, 27).call(42, 27, 0, 35);
  return p;
}

TEST_F(Periph, RunOnAndRunBackStopAtTheMarkerWithTheKey) {
  Prog p = marked_tape();
  // Run on to key 7 at offset 6, read it; run back to key 5, read it.
  p.call(47, 27, 47, 7, 6).call(42, 27, 0, 35);
  p.call(46, 27, 46, 5, 6).call(42, 27, 0, 35);
  Result r = prog(p.lines(), {"-b", "-v1"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("  175 FILE RUN ON route 27 index 7 offset 6 after 16 "
                               "instructions\n"
                               "  175 FILE RUN ON route 27 action 47, skipped 3 blocks\n"
                               "  177 FILE input route 27 action 0 after 18 instructions\n"));
  EXPECT_THAT(r.out, HasSubstr("rd27    0004B 00000 00000 00000 00000F6F6F 0000000047 "
                               "7255755565 <<   \xA3\\\\    7SEVEN    #\n"));
  EXPECT_THAT(r.out, HasSubstr("  179 FILE RUN BACK route 27 index 5 offset 6 after 20 "
                               "instructions\n"
                               "  179 FILE RUN BACK route 27 action 46, skipped 2 blocks\n"));
  EXPECT_THAT(r.out, HasSubstr("rd27    00049 00000 00000 00000 00000F6F6F 0000000045 "
                               "5659755500 <<   \xA3\\\\    5FIVE     #\n"));
  // The inputs stepped back with word 140 as scratch: it holds the header
  // of FIVE (12 words after ALPHA's 8).
  EXPECT_EQ(M.store[140], 8 << 11 | 12);
  // Both searches leave B upper one more than the offset it was given.
  Prog q = marked_tape();
  q.call(47, 27, 47, 5, 6).code.push_back(ins(0, 0, 0, 0));
  Result h = prog(q.lines(false), {"-b", "-v9"});
  EXPECT_THAT(h.out, HasSubstr("  175 FILE RUN ON route 27 index 5 offset 6 after 16 instructions\n"
                               " 000000 F6F6F   \xA3\\\\ 000000 00045     5 056597 55500 FIVE  "
                               "lsd = 00005\n"
                               "  175 FILE RUN ON route 27 action 47, skipped 1 blocks\n"));
  EXPECT_THAT(h.out, HasSubstr(" B = 000007 00005 [7 5]\n"));
  Prog k = marked_tape();
  k.call(47, 27, 47, 7, 6).call(46, 27, 46, 5, 6).code.push_back(ins(0, 0, 0, 0));
  Result back = prog(k.lines(false), {"-b"});
  EXPECT_THAT(back.out, HasSubstr(" B = 000007 00005 [7 5]\n"));
  // A rewind forgets the read-back a RUN ON leaves pending: the next input
  // reads the first block.
  Prog w = marked_tape();
  w.call(47, 27, 47, 7, 6).call(45, 27).call(42, 27, 0, 35);
  Result wr = prog(w.lines(), {"-b", "-v1"});
  EXPECT_EQ(wr.status, 0) << wr.out;
  EXPECT_THAT(wr.out, HasSubstr("ALPHA"));
  // STEP BACK reads each header it passes into the route's own area: the
  // last, GAMMA's, after FIVE's 12 words.
  Prog s = marked_tape();
  s.call(47, 27, 47, 7, 6).call(48, 27, 48, 2).code.push_back(ins(0, 0, 0, 0));
  prog(s.lines(false), {"-b"});
  EXPECT_EQ(M.store[5000], 12 << 11 | 8);
  EXPECT_EQ(M.store[0], 0);
  // A key that no marker holds runs to the end of the image.
  Prog e = marked_tape();
  e.call(47, 27, 0, 99, 6);
  Result end = prog(e.lines(), {"-b"});
  EXPECT_EQ(end.status, 1);
  EXPECT_THAT(end.out, HasSubstr("FILE RUN ON route 27 index 99 offset 6"));
  EXPECT_THAT(end.out, HasSubstr("Illegal: Read off end of tape [00001B 27 33]"));
}

TEST_F(Periph, SearchesForKeyMinusOneAndStepBackAfterRunOn) {
  // D starts at -1: with the key -1 (B lower, from a modifier stepped down
  // to -1) each search takes the marker block it first looks at. RUN ON
  // to SEVEN and its input; RUN BACK reads SEVEN back; RUN ON finds it in
  // the transit area.
  Prog p = marked_tape();
  p.call(47, 27, 47, 7, 6).call(42, 27, 0, 35);
  p.set(8, {27, 46, 0, 6, 0});
  p.code.push_back("25/0/1 4097");  // modifier 1 (word 10) = -1
  for (int entry : {46, 47}) {
    p.code.push_back(ins(0, 1, 1, 8));  // A = (46, 27), B = (6, -1)
    p.code.push_back(ins(23, 0, 2, entry));
  }
  Result r = prog(p.lines(), {"-b"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("FILE RUN BACK route 27 action 46, skipped 0 blocks\n"));
  EXPECT_THAT(r.out, HasSubstr("FILE RUN ON route 27 action 46, skipped 0 blocks\n"));
  // STEP BACK clears the read-back RUN ON left pending, also with a count
  // of -1 that steps nothing: the input reads on after SEVEN.
  Prog q = marked_tape();
  q.call(47, 27, 47, 7, 6).set(8, {27, 40, 0, 0, 0});
  q.code.insert(q.code.end(), {"25/0/1 4097", ins(0, 1, 1, 8), ins(23, 0, 2, 48)});
  q.call(42, 27, 0, 35);
  Result s = prog(q.lines(), {"-b", "-v1"});
  EXPECT_THAT(s.out, HasSubstr("STEP BACK route 27 action 40, block count -1 after"));
  EXPECT_THAT(s.out, HasSubstr("<< OMEGA    #"));
}

TEST_F(Periph, OpenSetsTheModeAndTransfersLogAtVerbosityOne) {
  // An open request for input sets mode 1, which close shows; an output at
  // verbosity 0 then writes its block without warning or word line.
  Prog p;
  p.ptr(27, 3000).ptr(35, 3100).block(3100, "DATA");
  p.call(40, 27, 1, 0, fname("AB")).call(41, 27).call(43, 27, 0, 35);
  Result r = prog(p.lines(), {"-b"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("FILE close route 27 [mode = 1] after"));
  EXPECT_THAT(r.out, Not(HasSubstr("Warning")));
  EXPECT_THAT(r.out, Not(HasSubstr("wr27")));
  EXPECT_EQ(blocks(get("MT-AB.zelk")).size(), 1u);
}

TEST_F(Periph, FatalReportsOfTheTapeOperations) {
  auto run = [&](Prog p, std::vector<std::string> sw = {}) {
    Result r = prog(p.lines(), sw);
    EXPECT_EQ(r.status, 1);
    return r;
  };
  Prog in;
  in.ptr(18, 3000).call(42, 18, 0, 18);
  Result r = run(in);
  EXPECT_THAT(r.out, HasSubstr("Illegal: Cannot open mag tape file [000012 18 22]"));
  EXPECT_EQ(r.err, "MT18.zelk: No such file or directory\n");
  put("MT18.zelk", "");
  EXPECT_THAT(run(in).out, HasSubstr("Illegal: Read off end of tape [000012 18 22]"));

  Prog big;
  big.ptr(18, 3000).ptr(19, 3000).call(43, 18, 0, 19);
  Result b = run(big);
  EXPECT_THAT(b.out, HasSubstr("Illegal: Oversize MT block [000013 19 23]"));
  // D already holds the block number that went into the transit area.
  EXPECT_THAT(b.out, HasSubstr(" D = 000000 00048 [0 72]\n"));

  // Start of tape: the route of the table entry, 18 for route 20, 81 for 89.
  for (auto [r, want] : {std::pair{20, "[000012 18 22]"}, {89, "[000051 81 121]"}}) {
    Prog back;
    back.ptr(r, 3000).call(46, r, 0, 1);
    EXPECT_THAT(run(back).out, HasSubstr(std::string("Read backwards at start of tape ") + want));
    Prog step;
    step.ptr(r, 3000).call(48, r, 0, 1);
    EXPECT_THAT(run(step).out, HasSubstr(std::string("Step backwards at start of tape ") + want));
  }

  Prog on;
  on.ptr(18, 3000).block(3000, "X").call(43, 18, 0, 18).call(47, 18, 0, 1);
  EXPECT_THAT(run(on).out, HasSubstr("Illegal: RUN ON on output tape [000012 18 22]"));
  Prog zero;
  zero.ptr(18, 3000).call(48, 18, 0, 0);
  EXPECT_THAT(run(zero).out, HasSubstr("Illegal: Do not understand STEP of 0 [000012 18 22]"));

  // A route outside 9 to 98, before anything is touched.
  for (int bad : {8, 99, 0x1000}) {
    Prog br;
    br.call(42, bad, 0, 18);
    Result b = run(br);
    char want[64];
    snprintf(want, sizeof want, "Illegal: Bad route [%06X %d %o]", bad, bad, bad);
    EXPECT_THAT(b.out, HasSubstr(want));
    EXPECT_THAT(b.out, Not(HasSubstr("FILE")));
  }
  Prog last;
  last.call(42, 98, 0, 18);
  EXPECT_THAT(run(last).out, Not(HasSubstr("Bad route")));

  // A transit area at the top of the store.
  Prog top;
  top.ptr(18, 32765).call(43, 18, 0, 18);
  EXPECT_THAT(run(top).out, HasSubstr("Illegal: Bad memory address [008000 32768 100000]"));
}

TEST_F(Periph, HostFailuresOfTheTapeOperations) {
  // A full device: the write fails.
  ASSERT_EQ(symlink("/dev/full", "MT18.zelk"), 0);
  Prog w;
  w.ptr(18, 3000).block(3000, "X").call(43, 18, 0, 18);
  Result r = prog(w.lines());
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("Illegal: MT write error [000012 18 22]"));
  EXPECT_THAT(r.err, StartsWith("MT write on dv "));
  EXPECT_THAT(r.err, EndsWith(": No space left on device\n"));
  // An image that cannot move backwards, on route 89 of tape 81.
  ASSERT_EQ(mkfifo("MT89.zelk", 0600), 0);
  for (int entry : {46, 48}) {
    Prog s;
    s.ptr(89, 3000).block(3000, "X").call(43, 89, 0, 89).call(entry, 89, 0, 1);
    Result f = prog(s.lines(), {"-v1"});
    EXPECT_EQ(f.status, 1);
    EXPECT_THAT(f.out, HasSubstr("Terminated MT81\n"));
    EXPECT_THAT(f.out,
                HasSubstr(entry == 46 ? "Illegal: lseek error report on backread [000051 81 121]"
                                      : "Illegal: lseek error report on backstep [000051 81 121]"));
    EXPECT_EQ(f.err, "Tape: Illegal seek\n");
  }
}

// ---- Master Routine calls ----

TEST_F(Periph, CommentInLog) {
  Prog p;
  p.text(3000, "HELLO WO\n\nIGNORED");
  p.text(3100, std::string("ABCDEFGHIJ") + "0123456789" + "KLMNOPQRST" + "UVWXYZ1234" +
                   "5678901234" + "ABCDEFGHIJ" + "NOT SEEN");
  p.call(154, 3000).call(154, 3100);
  Result r = prog(p.lines());
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("  161 Comment in log: HELLO WO\n  161 LOG: HELLO WO\n"));
  EXPECT_THAT(r.out, HasSubstr("  163 Comment in log: ABCDEFGHIJ0123456789KLMNOPQRSTUVWXYZ1234"
                               "5678901234ABCDEFGHIJ\n"
                               "  163 LOG: ABCDEFGHIJ0123456789KLMNOPQRSTUVWXYZ12345678901234"
                               "ABCDEFGHIJ\n"));
  // With the log in a file the comment goes there and to the console.
  Result d = prog(p.lines(), {"-d"});
  EXPECT_THAT(d.out, StartsWith("  161 LOG: HELLO WO\n"));
  EXPECT_THAT(get("log.txt"), HasSubstr("  161 Comment in log: HELLO WO\n"));
}

TEST_F(Periph, NotImplementedEntries) {
  for (int e : {0, 2, 6, 44, 100, 116, 199}) {
    Prog p;
    p.call(e, 18);
    Result r = prog(p.lines());
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("161 Illegal: Not implemented: ENTER MASTER ROUTINE " +
                                 std::to_string(e) + "  after 2 instructions\n"));
    EXPECT_THAT(r.out, HasSubstr("[0000BA 186 272]"));
  }
}

TEST_F(Periph, MasterCallActions) {
  put("ptr.txt", "READER LINE\n");
  Prog p;
  p.types({9, 7});
  p.ptr(9, 3000).ptr(10, 3100).ptr(18, 3200).text(3102, "PRINTED#");
  p.call(3, 18, 11, 5, fname("AB"));  // names route 18 only
  p.call(3, 9, 11, 6, fname("LP"));   // names route 9 and opens its printer
  p.call(3, 9, 1, 10);                // prints from the area of 10
  p.call(3, 9, 5, 10);                // reads a reader line into 10's area
  p.call(3, 9, 21);                   // closes route 9's host file
  Result r = prog(p.lines(), {"-b"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out,
              HasSubstr("  161 master call route 18 action 0B, lsb = 5 after 2 instructions\n"
                        "Open file AB for program 00005 on route 18\n"
                        "!!!!!\n"
                        "  163 master call route 9 action 0B, lsb = 6 after 4 instructions\n"
                        "Open file LP for program 00006 on route 9\n"
                        "Open printer LP on route 9 (Q6 = 24)\n"
                        "!!!!!\n"
                        "  165 master call route 9 action 01, lsb = 10 after 6 instructions\n"
                        "Guessing that action 1 is print\n"
                        "!!!!!\n"
                        "  167 master call route 9 action 05, lsb = 10 after 8 instructions\n"
                        "!!!!!\n"
                        "  169 master call route 9 action 15, lsb = 0 after 10 instructions\n"
                        "Closing route 9\n"
                        "!!!!!\n"));
  EXPECT_EQ(M.routes[1].name, fname("AB"));
  EXPECT_EQ(M.routes[1].fd, -1);
  EXPECT_EQ(M.routes[0].name, fname("LP"));
  EXPECT_EQ(M.routes[0].fd, -1);
  EXPECT_EQ(get("LP9.txt"), "PRINTED\n");
  EXPECT_EQ(M.store[3100], 0x15455);  // "READE", lower half
  // Any other action.
  Prog o;
  o.call(3, 18, 7);
  Result n = prog(o.lines());
  EXPECT_THAT(n.out, HasSubstr("161 Illegal: Not implemented: just yet  after 2 instructions"));
  EXPECT_THAT(n.out, Not(HasSubstr("!!!!!")));
}

TEST_F(Periph, ReaderEntryOne) {
  put("ptr.txt", "ONE\nTWO\n");
  Prog p;
  p.ptr(9, 3000).ptr(10, 3100);
  // Read before any open opens the file; close; open starts it again.
  p.call(1, 9, 5, 10).call(1, 9, 25).call(1, 9, 15, 0, fname("PT")).call(1, 9, 5, 10);
  p.call(1, 9, 5, 10);
  Result r = prog(p.lines(), {"-b", "-v1"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("  161 FILE OPERATION from line 12607 route 9 action 00005 "
                               "B = 000000 0000A\n"
                               "Reading route 9 (pseudo = 10) into location 3000\n"
                               "Data address 3000 (pseudo 3100)\n"
                               "Data read was == ONE\n\n"
                               "Stored 57E00 66655 at 3100\n"
                               "Big print 66655 57E00 - 00000 00000 - 00000 00000 - 00000 "
                               "00000 - 00000 00000 - 00000 00000\n"
                               "  163 FILE OPERATION from line 12607 route 9 action 00019 "
                               "B = 000000 00000\n"));
  EXPECT_THAT(r.out, HasSubstr("Closing paper tape reader\n"));
  EXPECT_THAT(r.out, HasSubstr("Data read was == ONE\n\nStored"));
  EXPECT_THAT(r.out, HasSubstr("Data read was == TWO\n\nStored"));
  EXPECT_EQ(M.routes[0].name, fname("PT"));
  EXPECT_EQ(M.store[3100], 0x67E00);  // "TWO" then the end code
  // A line shorter than the one before it: only its own characters.
  put("ptr.txt", "A LONGER LINE\nAB\n");
  Prog q;
  q.ptr(9, 3000).ptr(10, 3100).call(1, 9, 5, 10).call(1, 9, 5, 10);
  EXPECT_THAT(prog(q.lines(), {"-b", "-v1"}).out, HasSubstr("Data read was == AB\n\nStored"));
  // The read uses A for packing, yet leaves A and B at 0.
  Prog z;
  z.ptr(9, 3000).ptr(10, 3100).call(1, 9, 5, 10, 77).code.push_back(ins(0, 0, 0, 0));
  Result h = prog(z.lines(false));
  EXPECT_THAT(h.out, HasSubstr(" A = 000000 00000 [0 0]\n B = 000000 00000 [0 0]\n"));
  EXPECT_EQ(M.store[64 + 9], 3100);  // the exchange took place
  // Opening twice, and an unknown action.
  for (int q6 : {15, 7}) {
    Prog b;
    b.call(1, 9, 15).call(1, 9, q6);
    Result f = prog(b.lines());
    char want[64];
    snprintf(want, sizeof want, "Illegal: Bad call to Master Routine [%06X %d %o]", q6, q6, q6);
    EXPECT_THAT(f.out, HasSubstr(want));
  }
  // No reader file.
  unlink("ptr.txt");
  Prog m;
  m.call(1, 9, 15);
  Result f = prog(m.lines());
  EXPECT_THAT(f.out, HasSubstr("Illegal: Cannot open paper tape reader file [000009 9 11]"));
  EXPECT_EQ(f.err, "ptr.txt: No such file or directory\n");
}

// ---- group 4 actions, reader and printer ----

TEST_F(Periph, ReaderLinesOfEveryShape) {
  std::string a998(998, 'A'), b1000 = std::string(998, 'B') + "CD";
  put("ptr.txt", "AB1\r\n\n" + a998 + "\n" + b1000 + "\n");
  Prog p;
  p.types({5});
  p.ptr(9, 9000);
  // Eight reads, each into its own area (pseudo-routes 20 to 27), the
  // first before any open; then an open, which goes on where it stands.
  for (int i = 0; i < 8; i++) {
    p.ptr(20 + i, 10000 + 500 * i);
    p.call(160, 9, 5, 20 + i);
  }
  p.call(160, 9, 15, 0, fname("PT")).call(160, 9, 25);
  Result r = prog(p.lines(), {"-b", "-v1"});
  EXPECT_EQ(r.status, 0) << r.out;
  auto at = [](int a) { return M.store[a]; };
  // CR LF: A, B, 1, the end code and a zero code in one long word.
  EXPECT_EQ(at(10000), 0x17E00);
  EXPECT_EQ(at(10001), 0x51524);
  EXPECT_THAT(r.out, HasSubstr("Data read was == AB1\r\n\nStored 17E00 51524 at 10000\n"));
  // An empty line: the end code alone.
  EXPECT_EQ(at(10500), 0);
  EXPECT_EQ(at(10501), 0x7E000);
  // 998 characters: 199 full long words, then A, A, A, end code, zero.
  EXPECT_EQ(at(11000 + 2 * 198), 0x15151);
  EXPECT_EQ(at(11000 + 2 * 199), 0x17E00);
  EXPECT_EQ(at(11000 + 2 * 199 + 1), 0x51515);
  EXPECT_EQ(at(11000 + 2 * 200), 0);  // nothing stored after it
  // Its line end comes as an empty line at the next read.
  EXPECT_EQ(at(11501), 0x7E000);
  // 1000 characters: the first 998, then the other two.
  EXPECT_EQ(at(12000 + 2 * 199), 0x27E00);
  EXPECT_EQ(at(12501), 0x53547);  // C, D, end code
  EXPECT_EQ(at(12500), 0xE0000);
  // After the end of the file, the end code alone, every time.
  for (int a : {13000, 13500}) {
    EXPECT_EQ(at(a), 0);
    EXPECT_EQ(at(a + 1), 0x7E000);
  }
  EXPECT_EQ(M.routes[0].name, fname("PT"));
  EXPECT_THAT(r.out, HasSubstr("Closing paper tape reader\n"));
  EXPECT_NE(M.reader, nullptr);  // a group 4 close only logs
  EXPECT_EQ(M.acts[5][5], 8);
  EXPECT_EQ(M.acts[0][0], 10);
}

// A program that opens printer route 18 and prints each text from its own
// print area (after the area's first long word).
Prog printing(const std::vector<std::string>& texts) {
  Prog p;
  p.types({5, 9});
  p.ptr(18, 2000).call(160, 18, 19, 0, fname("LP"));
  for (size_t i = 0; i < texts.size(); i++) {
    int t = 3000 + 100 * (int)i;
    p.ptr(20 + (int)i, t).text(t + 2, texts[i]);
    p.call(160, 18, i % 2 ? 9 : 1, 20 + (int)i);
  }
  return p;
}

TEST_F(Periph, PrinterLinesExactBytes) {
  std::string full;
  for (int i = 0; i < 32; i++) full += "ABCDE";
  Prog p = printing(
      {"HELLO#XYZ", "AB   #", full, "          #", "#HELLO", "COST p5#", std::string(170, 'Z')});
  p.call(160, 18, 21).call(160, 18, 4, 20);  // closing only logs
  mode_t old = umask(022);
  Result r = prog(p.lines(), {"-b", "-v1"});
  umask(old);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(get("LP18.txt"), "HELLO\nAB\n" + full +
                                 "\n \n\nCOST \xA3"
                                 "5\n" +
                                 std::string(160, 'Z') + "\nHELLO\n");
  struct stat st;
  ASSERT_EQ(stat("LP18.txt", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_THAT(r.out, HasSubstr("Open printer LP on route 18 (Q6 = 19)\n"));
  EXPECT_THAT(r.out, HasSubstr("  163 Output to printer route 18 action 1 after 4 instructions\n"
                               "Data address 2000 (pseudo 3000)\n"
                               "   Printed 10 5:[HELLO#XYZ ]\n"));
  EXPECT_THAT(r.out, HasSubstr("   Printed 160 160:[" + full + "]\n"));
  EXPECT_THAT(r.out, HasSubstr("   Printed 5 0:[#HELL]\n"));
  EXPECT_THAT(r.out, HasSubstr("Close printer LP on route 18 ==\n"));
  // The area's first long word is not printed, a newline code in it
  // included; action 29 closes the printer too.
  Prog c = printing({"AB#"});
  c.text(3000, "\n").call(160, 18, 29);
  EXPECT_THAT(prog(c.lines(), {"-v1"}).out, HasSubstr("Close printer LP on route 18 ==\n"));
  EXPECT_EQ(get("LP18.txt"), "AB\n");
  // At verbosity 9: where the end code was found.
  Result v = prog(printing({"AB#"}).lines(), {"-b", "-v9"});
  EXPECT_THAT(v.out, HasSubstr("Stopped at i = 1, j = 3  051527 E0000\n"
                               "   Stopped 8194 2\n"
                               "   Printed 5 2:[AB#  ]\n"));
  Result w = prog(printing({std::string(160, 'W')}).lines(), {"-b", "-v9"});
  EXPECT_THAT(w.out, HasSubstr("   Stopped 33 33\n"));
}

TEST_F(Periph, PrintWithoutOpenAddsToTheFile) {
  // Entry 3 names route 18 without opening its printer, and closes it
  // between the prints: no line is lost.
  Prog p;
  p.types({5, 9});
  p.ptr(20, 3000).text(3002, "ONE#").ptr(21, 3100).text(3102, "TWO#");
  p.call(3, 18, 11, 0, fname("LP")).call(3, 18, 1, 20).call(3, 18, 21).call(3, 18, 1, 21);
  EXPECT_EQ(prog(p.lines()).status, 0);
  EXPECT_EQ(get("LP18.txt"), "ONE\nTWO\n");
}

TEST_F(Periph, MultiLinePrinting) {
  Result r = prog(printing({"AB\nCD#"}).lines(), {"-b"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("i = 1,  051525 E5354\n"
                               "163 Illegal: Not implemented: Multi-line printing  after 4 "
                               "instructions\n"));
  // A newline after the end code in the same long word is not looked at.
  EXPECT_EQ(prog(printing({"AB#\n"}).lines(), {"-b"}).status, 0);
  EXPECT_EQ(get("LP18.txt"), "AB\n");
}

TEST_F(Periph, PrinterFileThatCannotBeOpened) {
  ASSERT_EQ(mkdir("LP18.txt", 0755), 0);
  Result r = prog(printing({}).lines());
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("Illegal: Cannot open printer file [000012 18 22]"));
  EXPECT_EQ(r.err, "LP18.txt: Is a directory\n");
}

TEST_F(Periph, ActionCountersInTheSummary) {
  // Route 27 is a tape of type 8: two inputs count under type 8, action 7.
  Prog w;
  w.ptr(27, 3000).block(3000, "ONE").call(43, 27, 0, 27).call(43, 27, 0, 27).call(45, 27);
  w.types({5, 9, 8});
  EXPECT_EQ(prog(w.lines()).status, 0);
  Prog p;
  p.types({5, 9, 8});
  p.ptr(27, 3000).call(160, 27, 7, 27).call(4, 27, 7, 27).call(160, 27, 64, 27);
  Result r = prog(p.lines(), {"-v1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("MT route 27 opened for reading"));
  EXPECT_THAT(r.out,
              HasSubstr("G4act type  8  Q6 =  64  route 27  loc   165\n"
                        "165 Illegal: Not implemented: unknown group 4 action 64 device type 7 (8) "
                        "on route 27\n  after 6 instructions\n"));
  EXPECT_THAT(r.out, EndsWith("\nI/O summary\n"
                              "G4act type  0  Q6 =   0 repeat     3\n"
                              "G4act type  8  Q6 =   7 repeat     2\n"));
  // A route the program file did not describe: the device types on the
  // console, then the action is refused.
  Prog u;
  u.call(160, 36, 8, 36);
  Result n = prog(u.lines());
  EXPECT_THAT(n.out, HasSubstr(" -1  -1  -1  -1  -1  -1  -1  -1  -1  -1\n"));
  EXPECT_THAT(n.out, HasSubstr("G4act type -1  Q6 =   8  route 36  loc   161\n"));
  EXPECT_THAT(n.out, HasSubstr("unknown group 4 action 8 device type -1 (-1) on route 36\n"));
  EXPECT_THAT(n.out, EndsWith("I/O summary\nG4act type  0  Q6 =   0 repeat     1\n"));
  // The device types listed in route order.
  Prog l;
  l.types({5, 9, 8, 7, 6, 4, 3, 2, 1}).call(160, 90, 8, 90);
  EXPECT_THAT(prog(l.lines()).out, HasSubstr(" 5  9  8  7  6  4  3  2  1  -1\n"));
  // A type beyond the counters' table is not counted; an action number
  // beyond 63 names no action of its device.
  Prog t;
  t.types({20, 4}).call(160, 9, 3, 9);
  Result tr = prog(t.lines());
  EXPECT_THAT(tr.out, HasSubstr("G4act type 20  Q6 =   3  route  9  loc   161\n"));
  EXPECT_THAT(tr.out, EndsWith("I/O summary\nG4act type  0  Q6 =   0 repeat     1\n"));
  Prog a;
  a.types({20, 4}).call(160, 18, 105, 18);
  EXPECT_THAT(prog(a.lines()).out, HasSubstr("unknown group 4 action 105 device type 4 (4)"));
}

TEST_F(Periph, GroupFourTapeActions) {
  Prog p;
  p.types({5, 9, 7});
  p.ptr(27, 3000).ptr(28, 3100).block(3100, "FIRST").block(3000, "SECOND");
  p.call(160, 27, 18, 0, fname("XY"));          // open for output
  p.call(160, 27, 8, 28).call(160, 27, 8, 28);  // two outputs
  p.call(160, 27, 34).call(160, 27, 7, 28);     // rewind, input
  p.call(160, 27, 39, 1).call(160, 27, 7, 28);  // step back, input again
  p.call(160, 27, 28).call(160, 27, 17);        // close, open for input
  Result r = prog(p.lines(), {"-v1"});
  EXPECT_EQ(r.status, 0) << r.out;
  // The file name stays the chapter's, F2; the open's differs.
  EXPECT_THAT(r.out, HasSubstr("  161 FILE XY opened mode 0 route 27 ==[18] after 2 instructions\n"
                               "   Filename mismatch 05642 different from 07778\n"));
  auto b = blocks(get("MT-F2.zelk"));
  ASSERT_EQ(b.size(), 3u);
  EXPECT_TRUE(is_closing(b[2]));
  EXPECT_THAT(r.out, HasSubstr("FILE rewind route 27 [mode = 0]"));
  EXPECT_THAT(r.out, HasSubstr("STEP BACK route 27 action 39, block count 1"));
  size_t first = r.out.find(" << FIRST    #");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(r.out.find(" << FIRST    #", first + 1), std::string::npos);
  EXPECT_THAT(r.out, HasSubstr("FILE close route 27 [mode = 1]"));
  EXPECT_THAT(r.out, HasSubstr("FILE    opened mode 1 route 27 ==[17]"));
  EXPECT_EQ(M.acts[7][8], 2);
  EXPECT_EQ(M.acts[7][7], 2);
  // Run on and run back on a tape of type 8.
  Prog m = marked_tape();
  m.types({5, 9, 8});
  m.call(160, 27, 37, 7, 6).call(160, 27, 36, 5, 6).call(160, 27, 7, 35);
  Result s = prog(m.lines(), {"-b", "-v1"});
  EXPECT_EQ(s.status, 0) << s.out;
  EXPECT_THAT(s.out, HasSubstr("FILE RUN ON route 27 action 37, skipped 3 blocks\n"));
  EXPECT_THAT(s.out, HasSubstr("FILE RUN BACK route 27 action 36, skipped 2 blocks\n"));
  EXPECT_THAT(s.out, EndsWith("5FIVE     #\nPROGRAMME UNLOADED: ADDRESS = 181 after 21 "
                              "instructions\n"));
}

// ---- alarms, unload, overlays ----

// An alarm at 161 whose reply n jumps to 200 + n, where the program
// unloads (at address 200 + n + 1).
Prog alarming(int alarms = 1) {
  Prog p;
  p.set(4000, {0x2B, 0, 0, 0, 0});
  for (int i = 0; i < alarms; i++) {
    int at = 160 + 11 * i;
    p.code.push_back(ins(0, 1, 1, 4000));
    p.code.push_back(ins(26, 0, 2, 1));
    for (int n = 1; n <= 9; n++) p.code.push_back(word(i + 1 < alarms ? at + 11 : 200 + n));
  }
  for (int n = 1; n <= 9; n++) p.set(200 + n, {ins_word(26, 0, 2, 2)});
  return p;
}

TEST_F(Periph, AlarmJumpsThroughTheReplyWord) {
  Result r = prog(alarming().lines(false), {}, "3\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.err, "ALARM *2B for operator\n");
  EXPECT_THAT(r.out, HasSubstr("ALARM *2B\nNumber read was 3, jump to 203\n"
                               "PROGRAMME UNLOADED: ADDRESS = 204 after 3 instructions\n"));
  // With the log in a file the operator is asked on standard output.
  Result d = prog(alarming().lines(false), {"-d"}, "9 and more\n");
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out,
            "ALARM *2B for operator\nPROGRAMME UNLOADED: ADDRESS = 210 after 3 "
            "instructions\n**********************************\n");
  EXPECT_EQ(d.err, "");
  EXPECT_THAT(get("log.txt"), HasSubstr("Number read was 9, jump to 209\n"));
  // A reply line longer than the input buffer: the next alarm reads the
  // next line.
  Result l = prog(alarming(2).lines(false), {}, "1" + std::string(500, 'x') + "\n4\n");
  EXPECT_EQ(l.status, 0);
  EXPECT_THAT(l.out, HasSubstr("Number read was 1, jump to 171\n"));
  EXPECT_THAT(l.out, HasSubstr("Number read was 4, jump to 204\n"));
}

TEST_F(Periph, AlarmRepliesOutOfRange) {
  for (std::string in : {"0\n", "10\n", "yes\n", "", "-1\n"}) {
    Result r = prog(alarming().lines(false), {}, in);
    EXPECT_EQ(r.status, 1) << in;
    EXPECT_THAT(r.out, HasSubstr("161 Illegal: Not implemented: Reply out of range  after 2 "
                                 "instructions\n"))
        << in;
  }
}

TEST_F(Periph, UnloadWithAndWithoutLogFile) {
  Prog p;
  p.types({5, 9});
  p.ptr(18, 3000).call(160, 18, 19, 0, fname("LP"));
  Result s = prog(p.lines(), {"-v1"});
  EXPECT_EQ(s.status, 0);
  EXPECT_THAT(s.out, EndsWith("PROGRAMME UNLOADED: ADDRESS = 163 after 3 instructions\n"));
  Result d = prog(p.lines(), {"-d", "-v1"});
  EXPECT_EQ(d.out,
            "PROGRAMME UNLOADED: ADDRESS = 163 after 3 instructions\n"
            "**********************************\n");
  EXPECT_THAT(get("log.txt"), EndsWith("PROGRAMME UNLOADED: ADDRESS = 163 after 3 instructions\n"
                                       "\nI/O summary\n"
                                       "G4act type  0  Q6 =   0 repeat     1\n"
                                       "G4act type  9  Q6 =  19 repeat     1\n"));
  EXPECT_EQ(M.log, nullptr);
  // Below verbosity 1 the summary is left out.
  prog(p.lines(), {"-d"});
  EXPECT_THAT(get("log.txt"), EndsWith("PROGRAMME UNLOADED: ADDRESS = 163 after 3 instructions\n"));
}

TEST_F(Periph, OverlaysReenteredAndUndefined) {
  char o0[32], o3[32];
  snprintf(o0, sizeof o0, "O%02d %5d %5d overlay 0", 0, 150, 156);
  snprintf(o3, sizeof o3, "O%02d %5d %5d overlay 3", 3, 400, 402);
  Prog p;
  p.text(3000, "NOTE\n\n");
  // Overlay 0 holds 5 at 154; overlay 3 saves 7, 8 at 400, later loaded
  // over with 9, 9.
  p.extra = {"L154 at", word(5), o0, "L400 at", word(7), word(8), o3, "L400 at", word(9), word(9)};
  p.call(154, 3000);   // its link word goes into 154
  p.call(101, 0);      // overlay 0 again
  p.call(5, 5, 0, 2);  // overlay 3 by the registers
  p.call(110, 0);      // overlay 9: never defined
  Result r = prog(p.lines(), {"-v1"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Overlay 0 from 150 to 155\nOverlay 3 from 400 to 401\n"));
  EXPECT_THAT(r.out, HasSubstr("\nEntering overlay 0, starts at 150 - 6 short words - after 4 "
                               "instructions\n"));
  EXPECT_THAT(r.out, HasSubstr("\nEntering overlay 3, starts at 400 - 2 short words - after 6 "
                               "instructions\n"));
  EXPECT_THAT(r.out, HasSubstr("\nEntering overlay 9, starts at 0 - 0 short words - after 8 "
                               "instructions\n"));
  EXPECT_EQ(M.store[154], 5);
  EXPECT_EQ(M.store[400], 7);
  EXPECT_EQ(M.store[401], 8);
  // Entry 5 with other registers.
  for (std::vector<int32_t> regs :
       {std::vector<int32_t>{1, 0, 2, 0}, {9, 0, 2, 0}, {5, 0, 3, 0}, {5, 1, 2, 0}, {5, 0, 2, 1}}) {
    Prog q;
    q.call(5, regs[0], regs[1], regs[2], regs[3]);
    Result f = prog(q.lines());
    EXPECT_THAT(f.out, HasSubstr("161 Illegal: Not implemented: This overlay  after 2 "
                                 "instructions\n"));
  }
}

TEST_F(Periph, PriorityControlOtherThanOneAndTwo) {
  Result r = prog({ins(26, 0, 2, 3)});
  EXPECT_THAT(r.out, HasSubstr("Not implemented: ENTER PRIORITY CONTROL 3  after 1"));
}

TEST_F(Periph, BundledCopyExample) {
  std::string ex = EXAMPLES_DIR "/";
  Result r = emu({"-v1", ex + "copy.txt", ex + "copy-ptr.txt"}, "2\n");
  EXPECT_EQ(r.status, 0) << r.out;
  std::string ptr = get(ex + "copy-ptr.txt");
  EXPECT_EQ(get("LP18.txt"), ptr);
  auto b = blocks(get("MT-CP.zelk"));
  auto ls = lines(ptr);
  ASSERT_EQ(b.size(), ls.size() + 1);
  for (size_t i = 0; i < ls.size(); i++) {
    std::string text;
    for (int k = 4; k < 30; k += 2) text += chars(b[i], k);
    EXPECT_EQ(text.substr(0, ls[i].size() + 1), ls[i] + "#");
  }
  EXPECT_TRUE(is_closing(b.back()));
  EXPECT_THAT(r.out, HasSubstr("  197 LOG: COPY FINISHED\n"));
  EXPECT_EQ(r.err, "ALARM *01 for operator\n");
}

}  // namespace
