// The operator's console (emulator -i) run as a process: commands piped in
// as plain lines, or typed at a terminal under tmux. Each case works in a
// scratch folder of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "scratch.h"

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using Lines = std::vector<std::string>;

namespace {

const std::string bin = BIN_DIR, ex = EXAMPLES_DIR "/", count = ex + "count.txt";
const std::string copy = ex + "copy.txt " + ex + "copy-ptr.txt";
const std::string loop = "loop\n4/0/0 300\n24/1/0 160\n";  // ADD, a jump back: no end
const std::string trace_mark = " ---> ";

// The lines of text that hold `mark`.
Lines lines_with(const std::string& text, const std::string& mark = "") {
  Lines v;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);)
    if (l.find(mark) != std::string::npos) v.push_back(l);
  return v;
}

// The output from the line after the first one holding `mark`, up to the
// console's notice that the run has ended.
std::string after(const std::string& out, const std::string& mark) {
  size_t i = out.find(mark);
  if (i == std::string::npos) return "(no " + mark + ")";
  std::string t = out.substr(out.find('\n', i) + 1);
  return t.substr(0, t.find("the run has ended"));
}

// Lines [from, to) of v.
Lines part(const Lines& v, size_t from, size_t to) {
  return Lines(v.begin() + (long)std::min(from, v.size()),
               v.begin() + (long)std::min(to, v.size()));
}

class Console : public Scratch {
 protected:
  struct Run {
    int status;
    std::string out;  // standard output; the operator's error stream is in err.txt
  };
  // The emulator in the folder `sub` with these arguments and input.
  Run emu(const std::string& args, const std::string& input, const std::string& sub = ".") {
    sh("mkdir -p " + sub);
    put(sub + "/in.txt", input);
    int st = sh("cd " + sub + " && " + bin + "/emulator " + args + " >out.txt 2>err.txt <in.txt");
    return {st, get(sub + "/out.txt")};
  }
};

TEST_F(Console, StopsShowTheInstructionDueNextAsTheTraceDoes) {
  Lines trace = lines_with(emu("-v6 " + copy, "2\n").out, trace_mark);
  Run r = emu("-i " + copy,
              "break 170\nbreak #100\nbreak\ncontinue\nregisters\nstep 3\nregisters\n"
              "delete 1\ncontinue\nregisters\nquit\n");
  EXPECT_THAT(r.out, HasSubstr("1: break at 170\n2: break before instruction 100\n"));
  // At each stop `registers` gives SC and the count: the line shown last is
  // the trace's line for that instruction.
  std::string shown;
  std::vector<long long> at;
  for (const std::string& l : lines_with(r.out)) {
    long long sc, n, c;
    if (l.find(trace_mark) != std::string::npos) shown = l;
    if (sscanf(l.c_str(), "sc %lld n %lld count %lld", &sc, &n, &c) != 3) continue;
    ASSERT_LT(c, (long long)trace.size());
    EXPECT_EQ(shown, trace[c]);
    EXPECT_EQ(std::stoll(shown), sc);
    at.push_back(c);
  }
  // At 170 after 10 instructions; 3 steps, a line each; the count breakpoint.
  EXPECT_EQ(at, (std::vector<long long>{10, 13, 99}));
  EXPECT_THAT(r.out, HasSubstr("\n" + trace[11] + "\n" + trace[12] + "\n" + trace[13] + "\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("emu>")));
  EXPECT_EQ(r.status, 130);  // quit before the end
}

TEST_F(Console, DepositChangesWhatExamineAndTheRunShow) {
  Run r = emu("-i " + count,
              "deposit 300 0x1\ndeposit 301 2\ndeposit 161 24/1/0 162\ndeposit 302 \"ABCDE\"\n"
              "deposit m2 7\nexamine 300 3\nexamine 161\nregisters\ncontinue\nquit\n");
  EXPECT_THAT(r.out, HasSubstr("\n  300  000001   0/0/0    1 "));
  EXPECT_THAT(r.out, HasSubstr("\n  301  000002   0/0/0    2 "));
  EXPECT_THAT(lines_with(r.out, "  302  "), ElementsAre(EndsWith("[ABCDE]")));
  EXPECT_THAT(r.out, HasSubstr("\n  161  1880A2  24/1/0  162  UNCONDITIONAL JUMP"));
  EXPECT_THAT(r.out, HasSubstr("m2 7 (limit 0)"));
  // m1 from 1 to 2, the subroutine jumped over: 160, 161, 162 (skips), 164.
  EXPECT_THAT(r.out, HasSubstr("PROGRAMME UNLOADED: ADDRESS = 165 after 4 instructions\n"));
  EXPECT_EQ(r.status, 0);
}

// A blank is a machine character as any other: the quotes hold it.
TEST_F(Console, DepositTakesBlanksInsideTheQuotes) {
  Run r = emu("-i " + count, "deposit 302 \"AB DE\"\nexamine 302\n");
  EXPECT_THAT(lines_with(r.out, "  302  "), ElementsAre(EndsWith("[AB DE]"))) << r.out;
}

TEST_F(Console, BadCommandsAndValuesSayOneLineAndChangeNothing) {
  const Lines bad = {"frobnicate",  "deposit 300 zz",   "deposit 301 \"ABCDE\"",
                     "deposit a 5", "deposit sc 40000", "deposit 300 5/0/0 300 9",
                     "step 0",      "break 40000",      "examine 32767 2",
                     "watch 300 0", "trace 10",         "restore nosuch"};
  std::string look = "registers\nexamine 300 2\n", in = look;
  for (const std::string& b : bad) in += b + "\n";
  Run r = emu("-i " + count, in + look + "continue\nquit\n");
  // Registers and words (6 lines), a line for each bad command, the same 6.
  Lines l = lines_with(after(r.out, trace_mark));
  const size_t n = bad.size();
  EXPECT_EQ(part(l, 0, 6), part(l, 6 + n, 12 + n)) << r.out;
  EXPECT_THAT(r.out, HasSubstr("PROGRAMME UNLOADED: ADDRESS = 165 after 21 instructions\n"));
}

TEST_F(Console, WatchStopsAfterTheInstructionThatChangedAWord) {
  Run r = emu("-i " + count,
              "watch 10 2\nwatch 400\ncontinue\ncontinue\ncontinue\ndelete 1\ncontinue\nquit\n");
  const char* by = " by the instruction at ";
  EXPECT_THAT(r.out, HasSubstr("watch 1: 11 changed from 000000 to 000005" + std::string(by) +
                               "160\n  161 ---> 26/0/0   400 ||"));
  EXPECT_THAT(r.out, HasSubstr("watch 2: 400 changed from 000000 to 0000A2" + std::string(by) +
                               "161\n  401 ---> "));
  EXPECT_THAT(r.out, HasSubstr("watch 1: 10 changed from 000000 to 000001" + std::string(by) +
                               "162\n  163 ---> "));
  // Each later call writes the same link into 400: no stop.
  EXPECT_EQ(lines_with(r.out, " changed ").size(), 3u);
  EXPECT_THAT(r.out, HasSubstr("PROGRAMME UNLOADED: ADDRESS = 165 after 21 instructions\n"));
}

TEST_F(Console, AlarmTakesTheNextLineAsTheReply) {
  Run plain = emu(copy, "2\n", "plain");
  Run r = emu("-i " + copy, "continue\n2\nregisters\nquit\n", "console");
  EXPECT_EQ("\n" + after(r.out, trace_mark), after(plain.out, " loaded"));
  EXPECT_THAT(r.out, HasSubstr("\nsc 199  n 2  count 260  nim 0\n"));
  EXPECT_THAT(r.out + get("console/err.txt"), Not(HasSubstr("reply>")));
  EXPECT_EQ(r.status, 0);
}

TEST_F(Console, InterruptDuringContinueReturnsToThePrompt) {
  put("prog.txt", loop);
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0 || !freopen("out.txt", "w", stdout)) _exit(99);
    dup2(p[0], 0);
    close(p[1]);
    execl((bin + "/emulator").c_str(), "emulator", "-i", "prog.txt", (char*)nullptr);
    _exit(98);
  }
  close(p[0]);
  auto type = [&](const std::string& s) { return write(p[1], s.data(), s.size()) > 0; };
  EXPECT_TRUE(type("continue\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // Again until the console answers (a signal still at the prompt is lost).
  bool back = false;
  for (int i = 0; i < 100 && !back; i++) {
    kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    back = get("out.txt").find("interrupted\n") != std::string::npos;
  }
  if (!back) kill(pid, SIGKILL);
  bool typed = back && type("registers\nquit\n");
  close(p[1]);
  int st;
  waitpid(pid, &st, 0);
  ASSERT_TRUE(back);
  EXPECT_TRUE(typed);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 130);
  // The instruction due next, the registers after many instructions, then
  // the report of the interrupt that quit gives.
  EXPECT_THAT(get("out.txt"),
              testing::ContainsRegex("\ninterrupted\n  16[01] ---> [^\n]*\n"
                                     "sc 16[01]  n 160  count [0-9]{4,}  nim 0\n"
                                     "(.*\n){3}[0-9]+ Illegal: Run interrupted after"));
}

TEST_F(Console, SnapshotRestoredInANewProcessEndsAsTheUninterruptedRun) {
  // The unload after the alarm, and a fatal report (an execution limit).
  for (std::string sw : {"", "-a200 "}) {
    std::string reply = sw.empty() ? "2\n" : "", a = "whole" + sw.substr(0, 1), b = "snap" + a;
    Run whole = emu(sw + copy, reply, a);
    EXPECT_EQ(emu("-i " + sw + copy, "break #60\ncontinue\nsave snap\nquit\n", b).status, 130);
    Run r = emu("-i " + sw + copy, "restore snap\ncontinue\n" + reply + "quit\n", b);
    EXPECT_EQ(r.status, whole.status);
    // From the instruction due at the restore on, the end of the whole run.
    std::string tail = after(r.out, "restored snap");
    ASSERT_THAT(tail, testing::StartsWith("  169 ---> ")) << r.out;
    tail = tail.substr(tail.find('\n') + 1);
    EXPECT_THAT(whole.out, EndsWith(tail));
    Lines want = {"ALARM *01\n", "COPY FINISHED\n", "PROGRAMME UNLOADED: "};
    if (!sw.empty()) want = {"abandonned after 200 ", "\nSC = ", "\n A = ", "\n D = "};
    for (const std::string& w : want) EXPECT_THAT(tail, HasSubstr(w));
    for (std::string f : {"/LP18.txt", "/MT-CP.zelk"}) {
      EXPECT_NE(get(a + f), "") << f;
      EXPECT_EQ(get(a + f), get(b + f)) << sw << f;
    }
  }
}

TEST_F(Console, DamagedOrStaleSnapshotsAreRefused) {
  emu("-i " + copy, "break #60\ncontinue\nsave snap\nquit\n");
  const std::string snap = get("snap"), tape = get("MT-CP.zelk"), lp = get("LP18.txt");
  ASSERT_GT(tape.size(), 100u);
  std::string byte = snap, version = snap;
  byte[byte.find("reg count ") + 10] ^= 1;
  version.insert(version.find('\n'), "9");
  struct {
    std::string text, tape, word;
  } cases[] = {{byte, tape, "damaged"},
               {version, tape, "version"},
               {snap, "", "MT-CP.zelk"},  // removed
               {snap, tape.substr(0, 100), "MT-CP.zelk"}};
  for (const auto& c : cases) {
    put("bad", c.text);
    put("MT-CP.zelk", c.tape);
    if (c.tape.empty()) sh("rm MT-CP.zelk");
    // The registers (4 lines), one line naming the problem, the same 4.
    Lines l = lines_with(after(emu("-i " + copy, "r\nrestore bad\nr\n").out, trace_mark));
    EXPECT_THAT(part(l, 0, 1), ElementsAre(HasSubstr("sc 160  n 0  count 0")));
    EXPECT_EQ(part(l, 0, 4), part(l, 5, 9));
    EXPECT_THAT(part(l, 4, 5), ElementsAre(HasSubstr(c.word)));
    EXPECT_EQ(get("LP18.txt"), lp);
  }
  put("MT-CP.zelk", tape);
  EXPECT_THAT(emu("-i " + copy, "restore snap\n").out, HasSubstr("restored snap\n  169 ---> "));
}

// The console at a terminal under tmux, its server on a socket in the
// scratch folder and killed at the end. The pane shows the exit status
// after the emulator and stays.
class Terminal : public Console {
 protected:
  void SetUp() override {
    Console::SetUp();
    if (std::system("command -v tmux >/dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
  }
  void start(const std::string& prog) {
    put("prog.txt", prog);
    tmux = "tmux -S '" + dir + "/tmux' ";
    live = sh(tmux + "new-session -d -s con -x 200 -y 50 -c . '" + bin +
              "/emulator -i prog.txt; echo status $?; sleep 60'") == 0;
    ASSERT_TRUE(live);
  }
  void TearDown() override {
    if (live && sh(tmux + "kill-session -t con") != 0) ADD_FAILURE() << "tmux left running";
    Console::TearDown();
  }
  void keys(const std::string& k) { sh(tmux + "send-keys -t con " + k); }
  std::string screen() {
    sh(tmux + "capture-pane -p -t con > screen.txt");
    return get("screen.txt");
  }
  // Polls the screen until `n` of its lines hold `text`: 5 s at most, and
  // no longer once the emulator has ended.
  bool shows(const std::string& text, size_t n = 1) {
    for (int i = 0; i < 250; i++) {
      std::string s = screen();
      if (lines_with(s, text).size() >= n) return true;
      if (s.find("\nstatus ") != std::string::npos) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  std::string tmux;
  bool live = false;
};

TEST_F(Terminal, PromptLineEditingAndHistory) {
  ASSERT_NO_FATAL_FAILURE(start(loop));
  ASSERT_TRUE(shows("emu>")) << screen();
  keys("registers Enter");
  ASSERT_TRUE(shows("sc 160  n 0  count 0")) << screen();
  // A slip mended in the line: back over "sters", rub out the x, type i.
  keys("regxsters Left Left Left Left Left BSpace i Enter");
  ASSERT_TRUE(shows("sc 160  n 0  count 0", 2)) << screen();
  keys("Up Enter");
  ASSERT_TRUE(shows("sc 160  n 0  count 0", 3)) << screen();
  EXPECT_EQ(lines_with(screen(), "emu> registers").size(), 3u) << screen();
  keys("quit Enter");
  EXPECT_TRUE(shows("status 130")) << screen();
}

TEST_F(Terminal, CtrlCStopsContinueAndLeavesThePromptAlone) {
  ASSERT_NO_FATAL_FAILURE(start(loop));
  ASSERT_TRUE(shows("emu>")) << screen();
  keys("continue Enter");
  ASSERT_TRUE(shows("emu> continue")) << screen();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  keys("C-c");
  ASSERT_TRUE(shows("emu>", 2)) << screen();
  EXPECT_THAT(screen(), HasSubstr("interrupted\n  16"));
  // At the prompt Ctrl-C stops nothing: the console stays.
  keys("C-c");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  keys("registers Enter");
  EXPECT_TRUE(shows(" nim 0")) << screen();
  EXPECT_THAT(screen(), Not(HasSubstr("Run interrupted")));
  keys("quit Enter");
  EXPECT_TRUE(shows("status 130")) << screen();
}

}  // namespace
