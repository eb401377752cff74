// Sequence control: jumps, subroutines, Master Routine and priority control
// entries, modification of the next instruction, modifiers and indicators.
#include <csignal>
#include <random>
#include <thread>

#include "harness.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::string kUnload = "26/0/2 2";  // ENTER PRIORITY CONTROL 2

TEST_F(EmuTest, SubroutineEntryAndReturn) {
  // ENTER SUBROUTINE 300 from address 100; 301 returns through 300.
  Result r = prog({"L100 at", "26/0/0 300", kUnload, "L301 at", "26/0/1 300", "E100 go"}, {"-v4"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(M.store[300], 101);
  EXPECT_THAT(r.out, HasSubstr("  100 ENTER SUBROUTINE to   300 (300)\n"
                               "  301 LEAVE SUBROUTINE to   101 (101) after 2 instructions\n"
                               "PROGRAMME UNLOADED: ADDRESS = 102 after 3 instructions\n"));
  // Below the thresholds the messages are not written.
  Result q = prog({"L100 at", "26/0/0 300", kUnload, "L301 at", "26/0/1 300", "E100 go"}, {"-v1"});
  EXPECT_THAT(q.out, Not(HasSubstr("SUBROUTINE")));
  Result s = prog({"L100 at", "26/0/0 300", kUnload, "L301 at", "26/0/1 300", "E100 go"}, {"-v2"});
  EXPECT_THAT(s.out, Not(HasSubstr("ENTER SUBROUTINE")));
  EXPECT_THAT(s.out, HasSubstr("LEAVE SUBROUTINE to"));
}

TEST_F(EmuTest, LeaveSubroutineToBigAddress) {
  // Links with bits above bit 14: 0x8000 (bit 15), and a word with bit 20.
  Result r = prog({"L300 at", word(0x8000), "L160 at", "26/0/1 300"});
  EXPECT_THAT(r.out, HasSubstr("Illegal: LEAVE SUBROUTINE to big address [008000 32768 100000]"));
  Result s = prog({"L300 at", word(0x100005), "L160 at", "26/0/1 300"});
  EXPECT_THAT(s.out, HasSubstr("Illegal: LEAVE SUBROUTINE to big address [100005"));
}

TEST_F(EmuTest, MasterRoutineEntryAndReturn) {
  // ENTER MASTER ROUTINE 250 from 1000 with tag 4; the routine at 251
  // returns through 250 with LEAVE MASTER ROUTINE.
  Result r =
      prog({"L1000 at", "23/0/2 250", "0/0/0 0", "L251 at", "26/0/3 250", "E1000 go"}, {"-v2"});
  EXPECT_THAT(r.out, HasSubstr("1001 Illegal: Not implemented: HALT"));
  EXPECT_EQ(M.store[250], 0x40000 + 1001);
  EXPECT_EQ(M.tag, 4);
  EXPECT_EQ(M.ind & 0x1000, 0x1000);
  EXPECT_THAT(r.out, HasSubstr(" 1000 ENTER MASTER to   250 (250)\n"
                               "  251 LEAVE MASTER to  1001 (1001)\n"));
  // The tag is 14 inside the Master Routine: a second entry records it.
  prog({"L1000 at", "23/0/2 250", "L251 at", "23/0/2 260", "E1000 go"});
  EXPECT_EQ(M.store[260], 14 * 0x10000 + 252);
}

TEST_F(EmuTest, EntriesWithoutService) {
  Result r = prog({"23/0/2 100"});
  EXPECT_THAT(r.out, HasSubstr("Illegal: Not implemented: ENTER MASTER ROUTINE 100  [0000BA 186"));
  Result p = prog({"26/0/2 7"});
  EXPECT_THAT(p.out, HasSubstr("Illegal: Not implemented: ENTER PRIORITY CONTROL 7  [0000D2 210"));
  // The priority entry stored its link and B before the report.
  EXPECT_EQ(M.store[7], 0x40000 + 162);
  EXPECT_EQ(M.b.lo, 160);
  for (auto [w, text] :
       std::vector<std::pair<std::string, std::string>>{{"24/1/1 0", "SET MODIFICATION GROUP"},
                                                        {"25/0/0 1", "Stepping mod reg 0"},
                                                        {"25/1/2 0", "INTERROGATE INDICATORS"},
                                                        {"25/1/3 0", "CONDITIONAL HALT"},
                                                        {"26/1/0 0", "TEST ROUTE"}}) {
    Result n = prog({w});
    EXPECT_THAT(n.out, HasSubstr("Not implemented: " + text + "  after 1")) << w;
  }
}

TEST_F(EmuTest, UnloadWithLogFile) {
  Result r = prog({kUnload}, {"-d", "-v1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "PROGRAMME UNLOADED: ADDRESS = 161 after 1 instructions\n"
            "**********************************\n");
  EXPECT_THAT(get("log.txt"),
              HasSubstr("PROGRAMME UNLOADED: ADDRESS = 161 after 1 instructions\n\nI/O summary\n"));
}

TEST_F(EmuTest, JumpsByCondition) {
  // A = 0: JUMP A = Z taken, JUMP A != not taken; each jump's target is an
  // unload, the fall-through a HALT.
  struct Case {
    int dv;
    bool taken;
  } zero[] = {{216, true}, {217, false}, {218, true}, {219, false},
              {220, true}, {221, false}, {222, true}, {223, false}};
  for (auto c : zero) {
    Result r = prog({word(c.dv << 13 | 300), "0/0/0 0", "L300 at", kUnload}, {"-v4"});
    EXPECT_EQ(r.status, c.taken ? 0 : 1) << c.dv;
    EXPECT_EQ(r.out.find("  160 CONDITIONAL JUMP to   300 (300)\n") != std::string::npos, c.taken)
        << c.dv;
  }
  Result u = prog({"24/1/0 8191"}, {"-v3"});
  EXPECT_THAT(u.out, Not(HasSubstr("SEQUENCE CHANGE")));
  Result v = prog({"24/1/0 8191"}, {"-v4"});
  EXPECT_THAT(v.out, HasSubstr("  160 SEQUENCE CHANGE to  8191 (8191)\n"));
}

TEST_F(EmuTest, StepOnAndTest) {
  // Modifier 1 = 10, limit 12, step 2: reaches the limit and skips.
  Result r = prog(
      {"L300 at", "0/0/0 10", "0/0/0 12", "L160 at", "26/1/1 300", "25/0/1 2", "0/0/0 0", kUnload},
      {"-v9"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(M.store[10], 12);
  EXPECT_THAT(r.out, HasSubstr("Modifier 1 changed from 00000A to 00000C, limit = 00000C\n"));
  // Address field 0x1FFF steps by -4095; no skip. In line and the full way
  // (traced), where the messages wait for verbosity 9.
  for (const char* v : {"-v0", "-v8"}) {
    Result n =
        prog({"L300 at", "0/0/0 10", "0/0/0 12", "L160 at", "26/1/2 300", "25/0/2 8191", "0/0/0 0"},
             {v});
    EXPECT_EQ(n.status, 1);
    EXPECT_EQ(M.store[12], 10 - 4095) << v;
    EXPECT_THAT(n.out, Not(HasSubstr("Modifier"))) << v;
  }
  // From 0x7FFE by 2 with limit 0: 0x8000 matches 0 modulo 32768.
  Result w = prog({"L300 at", word(0x7FFE), "0/0/0 0", "L160 at", "26/1/3 300", "25/0/3 2",
                   "0/0/0 0", kUnload});
  EXPECT_EQ(w.status, 0);
  EXPECT_EQ(M.store[14], 0x8000);
}

TEST_F(EmuTest, StepOnAndTestNamedByNextWord) {
  // 184 takes the register from the word after it: 12 is modifier 2.
  Result r = prog({"L300 at", "0/0/0 3", "0/0/0 4", "L160 at", "26/1/2 300", "23/0/0 1", "0/0/0 12",
                   "0/0/0 0", kUnload});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(M.store[12], 4);
  Result odd = prog({"23/0/0 1", "0/0/0 13"});
  EXPECT_THAT(odd.out, HasSubstr("Not implemented: STEP ON AND TEST on odd address "));
}

TEST_F(EmuTest, StepWrapsWithoutOverflow) {
  // A modifier at the largest word stepped on wraps as a 32-bit word.
  reset();
  build_tables();
  M.store[10] = 0x7FFFFFFF;
  M.store[11] = 5;
  M.n = 1;
  M.sc = 161;
  op_step(201);
  EXPECT_EQ(M.store[10], (int32_t)0x80000000);
}

TEST_F(EmuTest, ModifyAddressOfNext) {
  // 192: the word at 300 holds 0x100000 + 500, location 500 holds 7.
  Result r = prog({"L300 at", word(0x100000 + 500), "L500 at", "0/0/0 7", "L160 at", "24/0/0 300",
                   "26/1/1 10", kUnload},
                  {"-v9"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("  Modification got to 1001F4 500\n"
                               "  Modification ended at 000007 7\n"));
  EXPECT_THAT(r.out, HasSubstr("  161 ---> 26/1/1    17 ||"));
  Result e = prog({"L300 at", word(0x100000 + 500), "L500 at", "0/0/0 7", "L160 at", "24/0/0 300",
                   "26/1/1 10", kUnload},
                  {"-v8"});
  EXPECT_THAT(e.out, Not(HasSubstr("Modification")));
  // 198 follows the chain from N's lower 20 bits: a pending modification
  // of 0x100000 does not take it off the store.
  Result big = prog({"L300 at", "0/0/0 7", "L400 at", word(0x100000), "L160 at", "24/0/1 400",
                     "24/1/2 300", "26/1/1 10", kUnload},
                    {"-v6"});
  EXPECT_THAT(big.out, HasSubstr("  162 ---> 26/1/1    17 ||"));
  // 195 in the second quarter subtracts the quarter bits of SC.
  // N is 8300 and the word read is at 8300 - 8192 = 108.
  Result q = prog(
      {"L108 at", "0/0/0 40", "L8200 at", "24/0/3 108", "26/1/1 10", kUnload, "E8200 go"}, {"-v6"});
  EXPECT_THAT(q.out, HasSubstr(" 8201 ---> 26/1/1  8242 ||"));
}

TEST_F(EmuTest, ModificationChainFaults) {
  // A chain that leaves the store, and one that loops on itself.
  Result out = prog({"L300 at", word(0x100000 + 0x9000), "L160 at", "24/0/0 300"});
  EXPECT_THAT(out.out, HasSubstr("Illegal: Bad memory address [009000 36864"));
  Result loop = prog({"L300 at", word(0x100000 + 300), "L160 at", "24/0/0 300"});
  EXPECT_THAT(loop.out, HasSubstr("Illegal: Modification chain loops [00012C 300"));
}

TEST_F(EmuTest, Indicators) {
  prog({"25/1/0 8191", "0/0/0 0"});
  EXPECT_EQ(M.ind, 0x1FFF);
  // CLEAR INDICATORS with address field 0 keeps bits 0-14, clears above.
  reset();
  build_tables();
  M.ind = 0x7FFFF;
  M.n = 0;
  op_clearind(205);
  EXPECT_EQ(M.ind, 0x7FFF);
  M.n = 5;
  op_clearind(205);
  EXPECT_EQ(M.ind, 0x7FFA);
}

}  // namespace

namespace {

// The part of a run's output from the fatal report's console line on.
std::string tail_from_report(const std::string& out) {
  size_t at = out.find(" Illegal: ");
  if (at == std::string::npos) return out;
  size_t start = out.rfind('\n', at);
  std::string t = out.substr(start == std::string::npos ? 0 : start + 1);
  // Drop trace lines written after the console line (none are expected).
  return t;
}

// Removes trace and message lines, keeping the report.
std::string report_only(const std::string& out) {
  std::string r;
  for (const std::string& l : lines(tail_from_report(out))) r += l + "\n";
  return r;
}

// A loop in decimal radix: ADD with and without modifier, long ADD, a
// subroutine, STEP ON AND TEST on two registers, conditional and
// unconditional jumps, and a MODIFY ADDRESS OF NEXT.
const std::vector<std::string> kLoop = {
    "L300 at",    "0/0/0 0",    "0/0/0 7",   "0/0/0 2",    "0/0/0 9",   "6/0/3 1638",
    "0/0/0 3",    "0/0/0 5",    "0/0/0 0",   "0/0/0 1",    "L160 at",   "0/0/3 304",
    "26/1/2 302", "26/1/1 300", "4/0/0 305", "4/0/1 305",  "4/1/0 306", "26/0/0 400",
    "24/0/1 308", "4/0/0 300",  "25/0/1 1",  "24/1/0 163", "25/0/2 1",  "27/0/1 162",
    "26/0/2 2",   "L400 at",    "0/0/0 0",   "4/0/0 305",  "26/0/1 400"};

TEST_F(EmuTest, FastPathStopsExactlyAtTheLimit) {
  // The execution limit ends the run at the same instruction with the same
  // registers whether the cycle runs fast (no trace) or traced.
  for (int limit : {2, 3, 17, 18, 40, 101, 250}) {
    std::string a = "-a" + std::to_string(limit);
    Result fast = prog(kLoop, {a});
    Result slow = prog(kLoop, {a, "-v6"});
    EXPECT_THAT(fast.out, HasSubstr("Illegal: execution abandonned after " + std::to_string(limit) +
                                    " instructions"));
    EXPECT_EQ(report_only(fast.out), report_only(slow.out)) << limit;
  }
  Result whole = prog(kLoop);
  EXPECT_EQ(whole.status, 0);
}

TEST_F(EmuTest, FastPathStopsAtEveryCountLikeTheFullCycle) {
  // Nested loops on all three modifiers with the operations obeyed in line
  // (ADD short, modified and long, STEP ON AND TEST skipping and not, the
  // jumps taken and not): stopped by the limit at every count, the report
  // (the instruction obeyed last, N, the registers) is the same with and
  // without the trace; below verbosity 6 no trace line is written.
  const std::vector<std::string> p = {
      "L300 at",    "0/0/0 0",    "0/0/0 3",    "0/0/0 0",    "0/0/0 2",
      "0/0/0 0",    "0/0/0 2",    "0/0/0 1",    "0/0/0 4",    "0/0/0 5",
      "0/0/0 6",    "L160 at",    "26/1/3 304", "26/1/2 302", "26/1/1 300",
      "4/0/1 306",  "25/0/1 1",   "24/1/0 163", "4/1/0 308",  "25/0/2 1",
      "24/1/0 162", "27/0/0 171", "25/0/3 1",   "27/0/1 161", "26/0/2 2"};
  Result whole = prog(p, {"-v5", "-m300"});  // the watch: every step the full way
  EXPECT_EQ(whole.status, 0);
  EXPECT_EQ(whole.out.find(" ---> "), std::string::npos);
  EXPECT_EQ(whole.out.find("C/SMO"), std::string::npos);
  size_t at = whole.out.find("PROGRAMME UNLOADED: ADDRESS = 173 after ");
  ASSERT_NE(at, std::string::npos);
  int end = atoi(whole.out.c_str() + at + 40);
  // 160-162; per round of the outer loop two rounds of the middle loop
  // (the inner loop's 8, then 166, 167 and the jump, or 162 first and no
  // jump at the skip), then 169, 170 and 171 (172 at the last); 161 and 162
  // start the second round.
  EXPECT_EQ(end, 3 + 11 + 11 + 3 + 2 + 11 + 11 + 3);
  for (int limit = 1; limit <= end; limit++) {
    std::string a = "-a" + std::to_string(limit);
    Result fast = prog(p, {a});
    Result slow = prog(p, {a, "-v6"});
    ASSERT_EQ(report_only(fast.out), report_only(slow.out)) << limit;
  }
  // STEP ON AND TEST on modifier 1 at the last word of a quarter and at the
  // first of the next, the second skipping (limit 2) or not (limit 9).
  for (const char* lim : {"0/0/0 2", "0/0/0 9"}) {
    for (int limit = 1; limit <= 4; limit++) {
      std::vector<std::string> q = {"L10 at",   "0/0/0 0",  lim,       "L8191 at",
                                    "25/0/1 1", "25/0/1 1", "E8191 go"};
      std::string a = "-a" + std::to_string(limit);
      ASSERT_EQ(report_only(prog(q, {a}).out), report_only(prog(q, {a, "-v6"}).out))
          << lim << " " << limit;
    }
  }
  // JUMP IF A ZERO and JUMP IF A NONZERO at the last word of a quarter and
  // at the first of the next, each taken or not.
  for (const char* lit : {"1/1/3 0", "1/1/3 5"}) {
    for (bool swap : {false, true}) {
      for (int limit = 1; limit <= 4; limit++) {
        const char *z = "27/0/0 100", *nz = "27/0/1 100";
        std::vector<std::string> q = {"L8190 at",    lit,       swap ? nz : z,
                                      swap ? z : nz, "L100 at", "0/0/0 0",
                                      "L8292 at",    "0/0/0 0", "E8190 go"};
        std::string a = "-a" + std::to_string(limit);
        ASSERT_EQ(report_only(prog(q, {a}).out), report_only(prog(q, {a, "-v6"}).out))
            << lit << " " << swap << " " << limit;
      }
    }
  }
}

TEST_F(EmuTest, GeneratedProgramsStopAlikeWithAndWithoutTrace) {
  // Random programs of the operations obeyed in line and a few others, at
  // the top of the store or across the start of a quarter (where the
  // address of the instruction obeyed last decides N), stopped by random
  // limits.
  std::mt19937 rng(5);
  auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
  const int ops[] = {32, 33, 34, 35, 36, 37, 196, 216, 217, 201, 202, 203, 24, 213};
  for (int k = 0; k < 300; k++) {
    int len = 3 + pick(10);
    int base = pick(3) == 0 ? 160 + pick(8000)
               : pick(2)    ? STORE - len
                            : 8192 * (1 + pick(3)) - pick(len);
    // Modifiers 1-3 and their limits; the operands, negative ones too.
    std::vector<std::string> p = {"L10 at"};
    for (int i = 0; i < 6; i++) p.push_back(word(pick(i % 2 ? 6 : 4)));
    p.push_back("L4000 at");
    for (int i = 0; i < 70; i++) p.push_back(word(pick(0x200000)));
    p.push_back("L" + std::to_string(base) + " at");
    for (int i = 0; i < len; i++) {
      int dv = ops[pick(14)];
      int addr = dv == 196 || dv == 216 || dv == 217 ? (base + pick(len)) & 0x1FFF
                 : dv >= 201 && dv <= 203            ? 1 + pick(3)
                                                     : 4000 + pick(64);
      p.push_back(word(dv << 13 | addr));
    }
    p.push_back("E" + std::to_string(base) + " go");
    std::string a = "-a" + std::to_string(1 + pick(40));
    Result fast = prog(p, {a}), slow = prog(p, {a, "-v6"});
    std::string text;
    for (auto& l : p) text += l + "\n";
    ASSERT_EQ(report_only(fast.out), report_only(slow.out)) << text << a;
  }
}

TEST_F(EmuTest, InterruptEndsTheRunBetweenInstructions) {
  // A loop without end, a limit far off: an interrupt that arrives while it
  // runs ends it with the report and the status of SIGINT.
  std::thread t([] {
    while (*(volatile long long*)&M.count < 1000) std::this_thread::yield();
    intr = SIGINT;
  });
  Result r = prog({"4/0/0 300", "24/1/0 160"}, {"-a2000000000"});
  t.join();
  EXPECT_EQ(r.status, 130);
  EXPECT_THAT(r.out, HasSubstr(" Illegal: Run interrupted after "));
}

TEST_F(EmuTest, FastPathRunsOffTheTopLikeTheFullCycle) {
  // SC runs past 32767 after an ADD, after a skip from 32766 and after a
  // skip from 32767: the report is the same with and without the trace.
  std::vector<std::vector<std::string>> progs = {
      {"L32765 at", "4/0/0 300", "4/0/0 301", "4/0/0 302", "E32765 go"},
      {"L300 at", "0/0/0 3", "0/0/0 4", "L32764 at", "26/1/1 300", "4/0/0 7", "25/0/1 1", "4/0/0 6",
       "E32764 go"},
      {"L300 at", "0/0/0 3", "0/0/0 4", "L32765 at", "26/1/1 300", "4/0/0 7", "25/0/1 1",
       "E32765 go"},
      {"L32766 at", "24/1/0 8191", "27/0/1 5", "E32766 go"}};
  for (auto& p : progs) {
    Result fast = prog(p, {"-a1000"});
    Result slow = prog(p, {"-a1000", "-v6"});
    EXPECT_THAT(fast.out, HasSubstr("Illegal: Bad memory address"));
    EXPECT_EQ(report_only(fast.out), report_only(slow.out)) << p[1];
  }
}

TEST_F(EmuTest, TraceStartAndWatchMidLoop) {
  // -t40 starts the trace at the 40th instruction exactly: 160-162, three
  // rounds of the ten-instruction inner loop from 163, then 163, 164, 165,
  // 166, 401, 402 and the MODIFY ADDRESS OF NEXT at 167. Its line is the
  // 40th of a run traced from the start.
  Result t = prog(kLoop, {"-t40", "-v6"});
  Result full = prog(kLoop, {"-v9"});
  size_t h = t.out.find("  SC                N");
  ASSERT_NE(h, std::string::npos);
  std::string after = t.out.substr(t.out.find('\n', h) + 1);
  std::string first = after.substr(0, after.find('\n'));
  EXPECT_EQ(first.substr(0, 26), "  167 ---> 24/0/1   308 ||");
  std::vector<std::string> traced;
  for (const std::string& l : lines(full.out))
    if (l.find(" ---> ") == 5) traced.push_back(l);
  ASSERT_GE(traced.size(), 40u);
  EXPECT_EQ(first, traced[39]);
  // A watch on modifier 1 reports each change: from -1 to 0 at the start,
  // seven steps in each of the seven rounds of the outer loop, and six
  // resets from 7 to 0.
  Result w = prog(kLoop, {"-m10"});
  EXPECT_EQ(w.status, 0);
  size_t changes = 0;
  for (size_t at = 0; (at = w.out.find("Location 10 changed", at)) != std::string::npos; at++)
    changes++;
  EXPECT_EQ(changes, 1 + 7 * 7 + 6u);
}

}  // namespace
