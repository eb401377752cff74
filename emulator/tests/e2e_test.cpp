// The built programs run as processes: what ships must end as the tested
// library does. Each case works in a scratch folder of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "scratch.h"

using ::testing::EndsWith;
using ::testing::HasSubstr;

namespace {

const std::string bin = BIN_DIR;

class Shipped : public Scratch {
 protected:
  // The emulator on prog.txt with these switches: console and log.
  struct Run {
    int status;
    std::string out, log;
  };
  Run emu(const std::string& sw, const std::string& prog = "prog.txt",
          const std::string& input = "") {
    put("in.txt", input);
    Run r;
    r.status = sh(bin + "/emulator -d " + sw + " " + prog + " > out.txt 2>&1 < in.txt");
    r.out = get("out.txt");
    r.log = get("log.txt");
    return r;
  }
};

// The end of a run as the log shows it: the report line and the register
// dump, or the unload line.
std::string ending(const std::string& log) {
  std::string e;
  std::istringstream s(log);
  for (std::string l; std::getline(s, l);) {
    if (l.rfind("Illegal: ", 0) == 0 || l.rfind("SC = ", 0) == 0 || l.rfind(" A = ", 0) == 0 ||
        l.rfind(" B = ", 0) == 0 || l.rfind(" N = ", 0) == 0 || l.rfind(" D = ", 0) == 0 ||
        l.rfind("PROGRAMME UNLOADED", 0) == 0)
      e += l + "\n";
  }
  return e;
}

std::string ins(int dv, int addr) {
  char b[32];
  snprintf(b, sizeof b, "%d/%d/%d %d", dv >> 3, (dv >> 2) & 1, dv & 3, addr & 0x1FFF);
  return b;
}

TEST_F(Shipped, StartsWithEveryTagAtFour) {
  put("prog.txt", "tag of an unloaded word\n23/0/3 401\n0/0/0 0\n");
  Run r = emu("");
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.log, HasSubstr(" A = 000000 00004 [0 4]\n"));
}

TEST_F(Shipped, TopOfTheStoreEndsAlikeWithAndWithoutTrace) {
  put("prog.txt", "top of the store\nL32767 x\n4/0/0 100\nE32767 entry\n");
  Run fast = emu(""), traced = emu("-v9");
  EXPECT_THAT(fast.out, HasSubstr("32767 Illegal: Bad memory address after 2 instructions\n"));
  EXPECT_EQ(fast.out, traced.out);
  EXPECT_EQ(ending(fast.log), ending(traced.log));
}

TEST_F(Shipped, BundledExamplesEndAlikeWithAndWithoutTrace) {
  for (const char* ex : {"count.txt", "copy.txt"}) {
    std::string prog = EXAMPLES_DIR "/" + std::string(ex) + " " EXAMPLES_DIR "/copy-ptr.txt";
    for (long long limit : {-1LL, 7LL, 40LL, 123LL}) {
      std::string sw = limit > 0 ? "-a" + std::to_string(limit) : "";
      Run fast = emu(sw, prog, "2\n"), traced = emu("-v9 " + sw, prog, "2\n");
      EXPECT_EQ(fast.out, traced.out) << ex << " " << sw;
      EXPECT_EQ(ending(fast.log), ending(traced.log)) << ex << " " << sw;
      EXPECT_NE(ending(fast.log), "") << ex;
    }
  }
}

// Generated programs of the operations the fast path obeys in line and the
// ones around them (tags, literals, transfers, modifiers), some placed at the
// top of the store, under execution limits of many counts.
TEST_F(Shipped, GeneratedProgramsEndAlikeWithAndWithoutTrace) {
  std::mt19937 rng(14);
  auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
  const int ops[] = {32,  33,  36,  37,  40,  44,  48,  52,  16,  24,  13,  14, 15, 196, 216,
                     217, 218, 219, 201, 202, 203, 213, 214, 187, 188, 189, 2,  3,  8,   193};
  const int nops = sizeof ops / sizeof ops[0];
  std::map<std::string, int> ends;  // how the runs end: the report's text
  for (int k = 0; k < 200; k++) {
    int len = 8 + pick(24);
    int base = pick(4) == 0 ? 32768 - len : 160 + pick(3000);
    std::string text = "generated\n";
    // Data: modifier registers and their limits, and a small area.
    text += "L10 m\n" + ins(0, pick(8)) + "\n" + ins(0, 8 + pick(40)) + "\n" + ins(0, pick(8)) +
            "\n" + ins(0, 20 + pick(40)) + "\n";
    text += "L" + std::to_string(base) + " code\n";
    for (int i = 0; i < len; i++) {
      int dv = ops[pick(nops)];
      int addr;
      if (dv == 196 || (dv >= 216 && dv <= 219))
        addr = base + pick(len);
      else if (dv >= 201 && dv <= 203)
        addr = 1 + pick(3);
      else if (dv == 213 || dv == 214)
        addr = 10;
      else
        addr = 4000 + pick(64);
      text += ins(dv, addr) + "\n";
    }
    text += "E" + std::to_string(base) + " go\n";
    put("prog.txt", text);
    std::string sw = "-a" + std::to_string(1 + pick(pick(2) ? 60 : 3000));
    Run fast = emu(sw), traced = emu("-v9 " + sw);
    ASSERT_EQ(fast.status, traced.status) << text << sw;
    ASSERT_EQ(fast.out, traced.out) << text << sw;
    ASSERT_EQ(ending(fast.log), ending(traced.log)) << text << sw;
    std::string e = ending(fast.log);
    ends[e.substr(0, std::min(e.find(" ["), e.find('\n')))]++;
  }
  // The seeded programs end in these ways; a fault the two paths share
  // changes the tally.
  EXPECT_EQ(ends, (std::map<std::string, int>{
                      {"Illegal: Bad memory address", 44},
                      {"Illegal: Not implemented: HALT ", 58},
                      {"Illegal: Not implemented: TABLE LOOK UP - negative or large A ", 5},
                      {"Illegal: execution abandonned", 93},
                  }));
}

// Starts the emulator in the scratch folder with the log in log.txt or on
// standard output; returns its pid.
pid_t spawn(const std::string& dir, bool logfile, int in_fd = -1) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(99);
    FILE* o = freopen("out.txt", "w", stdout);
    (void)o;
    if (in_fd >= 0) dup2(in_fd, 0);
    std::string e = bin + "/emulator";
    if (logfile)
      execl(e.c_str(), "emulator", "-d", "prog.txt", (char*)nullptr);
    else
      execl(e.c_str(), "emulator", "prog.txt", (char*)nullptr);
    _exit(98);
  }
  return pid;
}

int wait_status(pid_t pid) {
  int st;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st);
}

TEST_F(Shipped, InterruptEndsTheRunWithTheReport) {
  // A loop without end: ADD, then a jump back.
  put("prog.txt", "loop\n4/0/0 300\n24/1/0 160\n");
  for (bool logfile : {false, true}) {
    for (int sig : {SIGINT, SIGTERM}) {
      pid_t pid = spawn(dir, logfile);
      EXPECT_TRUE(catches(pid, sig));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      kill(pid, sig);
      EXPECT_EQ(wait_status(pid), 128 + sig);
      std::string out = get("out.txt"), log = logfile ? get("log.txt") : out;
      EXPECT_THAT(out, HasSubstr(" Illegal: Run interrupted after "));
      EXPECT_THAT(log, HasSubstr("Illegal: Run interrupted ["));
      EXPECT_THAT(log, HasSubstr("SC = 16"));
      EXPECT_THAT(log, EndsWith("\nI/O summary\n"));
    }
  }
}

TEST_F(Shipped, InterruptWhileTheOperatorIsAsked) {
  put("prog.txt", "alarm\n26/0/2 1\n");
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  pid_t pid = spawn(dir, true, p[0]);
  EXPECT_TRUE(catches(pid, SIGINT));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  kill(pid, SIGINT);
  EXPECT_EQ(wait_status(pid), 130);
  close(p[0]);
  close(p[1]);
  EXPECT_THAT(get("out.txt"), HasSubstr("160 Illegal: Run interrupted after 1 instructions\n"));
}

const std::string loop = "loop\n4/0/0 300\n24/1/0 160\n";  // ADD, a jump back: no end

// Output that cannot be written (here to /dev/full, a disk that is always
// full) fails the run with status 1 and one line naming the stream, however
// the run would have ended; the rest goes where it still can.
TEST_F(Shipped, OutputThatCannotBeWrittenFailsTheRun) {
  put("unload.txt", "unload\n26/0/2 2\n");
  put("halt.txt", "halt\n0/0/0 0\n");
  put("loop.txt", loop);
  const std::string full = ": write error: No space left on device\n", emu = bin + "/emulator ";
  struct Case {
    std::string args, out;  // what standard output holds when the log is log.txt
  };
  for (const Case& c :
       {Case{"unload.txt", "PROGRAMME UNLOADED: ADDRESS = 161 after 1 instructions\n" +
                               std::string(34, '*') + "\n"},
        Case{"halt.txt", "160 Illegal: Not implemented: HALT  after 1 instructions\n"},
        Case{"-v9 loop.txt", " Illegal: Output not written after "}}) {
    sh("rm -f log.txt");
    EXPECT_EQ(sh("timeout 60 " + emu + c.args + " >/dev/full 2>err.txt"), 1) << c.args;
    EXPECT_EQ(get("err.txt"), "standard output" + full) << c.args;
    sh("ln -s /dev/full log.txt");
    EXPECT_EQ(sh("timeout 60 " + emu + "-d " + c.args + " >out.txt 2>err.txt"), 1) << c.args;
    EXPECT_EQ(get("err.txt"), "log.txt" + full) << c.args;
    EXPECT_THAT(get("out.txt"), HasSubstr(c.out)) << c.args;
  }
  // The console's replies lost: the session ends rather than run on.
  put("in.txt", "examine 0 10\ncontinue\n");
  EXPECT_EQ(sh("timeout 60 " + emu + "-i loop.txt <in.txt >/dev/full 2>err.txt"), 1);
  EXPECT_EQ(get("err.txt"), "standard output" + full);
}

// A reader that goes away ends the run quietly, by SIGPIPE as programs in a
// pipeline end; a log in log.txt still gets the whole report, here after the
// operator's question found the pipe closed.
TEST_F(Shipped, ClosedPipeEndsTheRunQuietly) {
  put("loop.txt", loop);
  put("alarm.txt", "alarm\n26/0/2 1\n");
  sh("(timeout 60 " + bin +
     "/emulator -v9 loop.txt 2>err.txt; echo $? >st.txt) | head -1 >first.txt");
  EXPECT_EQ(get("st.txt"), "141\n");
  EXPECT_EQ(get("err.txt"), "");
  EXPECT_EQ(get("first.txt"), "Switches are:  -v9\n");

  int p[2];
  ASSERT_EQ(pipe(p), 0);
  close(p[0]);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0 || !freopen("err.txt", "w", stderr)) _exit(99);
    dup2(p[1], 1);
    std::string e = bin + "/emulator";
    execl(e.c_str(), "emulator", "-d", "alarm.txt", (char*)nullptr);
    _exit(98);
  }
  close(p[1]);
  EXPECT_EQ(wait_status(pid), 1000 + SIGPIPE);
  EXPECT_EQ(get("err.txt"), "");
  EXPECT_THAT(get("log.txt"), HasSubstr("\nALARM *00\nIllegal: Output not written ["));
  EXPECT_THAT(get("log.txt"), EndsWith("\nI/O summary\n"));
}

}  // namespace
