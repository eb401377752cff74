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
  // The emulator as a process fed through a pipe, in the scratch folder,
  // its standard output in out.txt and its error stream in err.txt.
  struct Live {
    Console& s;
    pid_t pid;
    int fd;
    Live(Console& c, const std::string& args) : s(c) {
      int p[2];
      if (pipe(p) != 0) abort();
      pid = fork();
      if (pid == 0) {
        if (chdir(c.dir.c_str()) != 0 || !freopen("out.txt", "w", stdout) ||
            !freopen("err.txt", "w", stderr))
          _exit(99);
        dup2(p[0], 0);
        close(p[1]);
        execl("/bin/sh", "sh", "-c", ("exec " + bin + "/emulator " + args).c_str(), (char*)nullptr);
        _exit(98);
      }
      close(p[0]);
      fd = p[1];
    }
    bool type(const std::string& t) { return write(fd, t.data(), t.size()) == (ssize_t)t.size(); }
    // Waits (5 s at most) until the file holds the text.
    bool shows(const std::string& file, const std::string& text) {
      for (int i = 0; i < 250; i++) {
        if (s.get(file).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      return false;
    }
    // Sends the signal until the file shows the text (a signal that comes
    // before the emulator waits where it should may be taken elsewhere).
    bool signal_until(int sig, const std::string& file, const std::string& text) {
      if (!catches(pid, sig)) return false;
      for (int i = 0; i < 100; i++) {
        kill(pid, sig);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (s.get(file).find(text) != std::string::npos) return true;
      }
      return false;
    }
    // Closes the input and gives the exit status (-1 when killed).
    int finish() {
      if (fd >= 0) close(fd);
      fd = -1;
      int st = 0;
      pid_t r = 0;
      for (int i = 0; i < 250 && !(r = waitpid(pid, &st, WNOHANG)); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (!r) {
        kill(pid, SIGKILL);
        waitpid(pid, &st, 0);
      }
      return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    ~Live() {
      if (fd >= 0) finish();
    }
  };

  struct Run {
    int status;
    std::string out;  // standard output; the operator's error stream is in err.txt
  };
  // The emulator in the folder `sub` with these arguments and input.
  Run emu(const std::string& args, const std::string& input, const std::string& sub = ".") {
    sh("mkdir -p " + sub);
    put(sub + "/in.txt", input);
    // Commands come through a pipe, as a user scripting a session gives them.
    int st =
        sh("cd " + sub + " && cat in.txt | " + bin + "/emulator " + args + " >out.txt 2>err.txt");
    return {st, get(sub + "/out.txt")};
  }
};

TEST_F(Console, StopsShowTheInstructionDueNextAsTheTraceDoes) {
  Lines trace = lines_with(emu("-v6 " + copy, "2\n").out, trace_mark);
  Run r = emu("-i " + copy,
              "break 170\nbreak #100\nbreak\ncontinue\nregisters\nstep 3\nregisters\n"
              "delete 1\ncontinue\nregisters\nquit\n");
  EXPECT_THAT(r.out, HasSubstr("1: break at 170 (WIPE+2)\n2: break before instruction 100\n"));
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
  const Lines bad = {"frobnicate",
                     "deposit 300 zz",
                     "deposit 301 \"ABCDE\"",
                     "deposit a 5",
                     "deposit sc 0x100000000",
                     "deposit 300 5/0/0 300 9",
                     "step 0",
                     "break 40000",
                     "examine 32767 2",
                     "watch 300 0",
                     "trace 10",
                     "restore nosuch"};
  std::string look = "registers\nexamine 300 2\n", in = look;
  for (const std::string& b : bad) in += b + "\n";
  Run r = emu("-i " + count, in + look + "continue\nquit\n");
  // Registers, a label and words (7 lines), a line for each bad command,
  // the same 7.
  Lines l = lines_with(after(r.out, trace_mark));
  const size_t n = bad.size();
  EXPECT_EQ(part(l, 0, 7), part(l, 7 + n, 14 + n)) << r.out;
  EXPECT_THAT(r.out, HasSubstr("PROGRAMME UNLOADED: ADDRESS = 165 after 21 instructions\n"));
}

TEST_F(Console, WatchStopsAfterTheInstructionThatChangedAWord) {
  Run r = emu("-i " + count,
              "watch 10 2\nwatch 400\ncontinue\ncontinue\ncontinue\ndelete 1\ncontinue\nquit\n");
  const char* by = " by the instruction at ";
  EXPECT_THAT(r.out, HasSubstr("watch 1: 11 changed from 000000 to 000005" + std::string(by) +
                               "160 (START)\n  161 ---> 26/0/0   400 ||"));
  EXPECT_THAT(r.out, HasSubstr("watch 2: 400 (COUNT) changed from 000000 to 0000A2" +
                               std::string(by) + "161 (AGAIN)\n  401 ---> "));
  EXPECT_THAT(r.out, HasSubstr("watch 1: 10 changed from 000000 to 000001" + std::string(by) +
                               "162 (AGAIN+1)\n  163 ---> "));
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
  Live p(*this, "-i prog.txt");
  EXPECT_TRUE(p.type("continue\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // Again until the console answers.
  bool back = p.signal_until(SIGINT, "out.txt", "interrupted\n");
  bool typed = back && p.type("registers\nquit\n");
  int st = p.finish();
  ASSERT_TRUE(back);
  EXPECT_TRUE(typed);
  EXPECT_EQ(st, 130);
  // The instruction due next, the registers after many instructions, then
  // the one line that quit gives.
  EXPECT_THAT(get("out.txt"),
              testing::ContainsRegex("\ninterrupted\n  16[01] ---> [^\n]*\n"
                                     "(sc 160  n 160|sc 161  n 300)  count [0-9]{4,}  nim 0\n"
                                     "(.*\n){3}run left before the instruction at 16[01], after "));
  EXPECT_THAT(get("out.txt"), Not(HasSubstr("Illegal")));
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

// The snapshot text with its checksum line made again, as a writer would.
std::string seal(std::string s) {
  s = s.substr(0, s.rfind("sum "));
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  char sum[40];
  snprintf(sum, sizeof sum, "sum %016llx\n", (unsigned long long)h);
  return s + sum;
}

// s with its first `from` replaced by `to`.
std::string edit(std::string s, const std::string& from, const std::string& to) {
  size_t i = s.find(from);
  return i == std::string::npos ? "(no " + from + ")" : s.replace(i, from.size(), to);
}

TEST_F(Console, DamagedOrOutOfRangeSnapshotsAreRefusedAndChangeNothing) {
  emu("-i " + copy, "break #60\ncontinue\nsave snap\nquit\n");
  const std::string snap = get("snap"), tape = get("MT-CP.zelk"), lp = get("LP18.txt");
  ASSERT_GT(tape.size(), 100u);
  std::string byte = snap, version = snap, v1 = snap.substr(0, snap.find("\nfile ") + 1);
  byte[byte.find("reg count ") + 10] ^= 1;
  version.insert(version.find('\n'), "9");
  v1 = edit(edit(v1, "snapshot 2", "snapshot 1"), "reader 1 0 18 1", "reader 1 0 18");
  struct {
    std::string text, word;
  } cases[] = {
      {byte, "damaged"},
      {version, "version"},
      {seal(edit(snap, "reg mgb 8", "reg mgb 100000")), "line 13: register out of range"},
      {seal(edit(snap, "reg tag 14", "reg tag 999")), "tag takes 0 to 255"},
      {seal(edit(snap, "reg radix 0", "reg radix 1048576")), "radix"},
      {seal(edit(snap, " 1 1 18 LP18.txt", " 1 1 99 LP18.txt")), "outside its file"},
      {seal(edit(snap, "route 1 25447 9", "route 1 25447 9999999")), "route"},
      {seal(edit(snap, "file 18 LP18.txt", "file 18 ../LP18.txt")), "file name"},
      {seal(edit(snap, "acts 9 19 1", "acts 9 19 -1")), "counter"},
      {seal(v1), "version 1 carries no copy of LP18.txt"},
      {snap, "LP18.txt: Is a directory"},  // a file that cannot be brought back
  };
  for (const auto& c : cases) {
    put("bad", c.text);
    put("MT-CP.zelk", "written since");
    if (c.word.find("directory") != std::string::npos) sh("rm LP18.txt && mkdir LP18.txt");
    // The registers (4 lines), one line naming the problem, the same 4; and
    // the files as they were before the restore was asked.
    Lines l = lines_with(after(emu("-i " + copy, "r\nrestore bad\nr\nstep\n").out, trace_mark));
    EXPECT_THAT(part(l, 0, 1), ElementsAre(HasSubstr("sc 160  n 0  count 0")));
    EXPECT_EQ(part(l, 0, 4), part(l, 5, 9)) << c.word;
    EXPECT_THAT(part(l, 4, 5), ElementsAre(HasSubstr(c.word)));
    EXPECT_EQ(get("MT-CP.zelk"), "written since");
    if (c.word.find("directory") != std::string::npos) sh("rmdir LP18.txt");
    put("LP18.txt", lp);
  }
}

// A program that writes three blocks, steps back over two of them (which
// appends the closing block first) and writes one block over the second,
// leaving the rest of the image behind it, then prints and rewinds. The
// saves below are taken before the step back.
const std::string rewrite =
    "writes over a tape\n"
    "X1000 chapter 0\nL1034 files\n5/0/0 9\n0/0/3 1907\n9/0/0 18\n0/0/3 871\n7/0/0 27\n"
    "0/0/2 4967\nL82   pointers\n0/0/0 3002\n0/0/0 3002\nL91   pointers\n0/0/0 3000\n"
    "0/0/0 3000\nL3030 end word\n0/0/0 126\n"
    "L2100 open printer, output, step back 2, print, rewind\n"
    "0/0/0 18\n0/0/0 19\n0/0/0 19\n0/0/3 871\n0/0/0 0\n0/0/0 0\n"
    "0/0/0 27\n0/0/0 8\n0/0/0 28\n0/0/0 0\n0/0/0 0\n0/0/0 0\n"
    "0/0/0 27\n0/0/0 39\n0/0/0 2\n0/0/0 0\n0/0/0 0\n0/0/0 0\n"
    "0/0/0 18\n0/0/0 1\n0/0/0 19\n0/0/0 0\n0/0/0 0\n0/0/0 0\n"
    "0/0/0 27\n0/0/0 34\n0/0/0 28\n0/0/0 0\n0/0/0 0\n0/0/0 0\n"
    "L160  program\n0/1/1 2100\n23/0/2 160\n"  // 160: open the printer
    "0/1/1 2106\n23/0/2 160\n0/1/1 2106\n23/0/2 160\n0/1/1 2106\n23/0/2 160\n"  // 162: 3 blocks
    "0/1/1 2112\n23/0/2 160\n0/1/1 2106\n23/0/2 160\n"  // 168: step back 2, a block
    "0/1/1 2118\n23/0/2 160\n0/1/1 2124\n23/0/2 160\n26/0/2 2\nE160  entry\n";

TEST_F(Console, RestoreBringsBackEveryFileAsItWasAtTheSave) {
  put("prog.txt", rewrite);
  const std::string prog = dir + "/prog.txt", files[] = {"MT-CP.zelk", "LP18.txt"};
  Run whole = emu(prog, "", "whole");
  ASSERT_EQ(whole.status, 0) << whole.out;
  ASSERT_GT(get("whole/MT-CP.zelk").size(), 400u);
  // The same process: saved before the step back, run to the end (the
  // tape written over), restored, looked at, run to the end again.
  Run same = emu("-d -i " + prog,
                 "break 168\ncontinue\nsave snap\ndelete\ncontinue\nrestore snap\n"
                 "routes\ncontinue\nquit\n",
                 "same");
  EXPECT_EQ(same.status, 0);
  EXPECT_THAT(same.out, HasSubstr("restored snap\n  168 ---> "));
  EXPECT_THAT(same.out, HasSubstr("MT-CP.zelk at byte 396,"));  // three blocks
  for (const std::string& f : files) EXPECT_EQ(get("same/" + f), get("whole/" + f)) << f;
  // The log file, closed by the unload, goes on after the restore.
  const std::string log = get("same/log.txt"), end = "PROGRAMME UNLOADED";
  EXPECT_NE(log.find(end, log.find(end) + 1), std::string::npos) << log;
  // A new process, after the files were changed every way: longer, shorter,
  // removed. At the restore they are as at the save; at the end as the
  // whole run left them.
  sh("mkdir new && cp same/snap new/");
  emu("-i " + prog, "break 168\ncontinue\nsave at\nquit\n", "new");
  const std::string tape = get("new/MT-CP.zelk"), lp = get("new/LP18.txt");
  ASSERT_EQ(tape.size(), 396u);
  put("new/MT-CP.zelk", get("whole/MT-CP.zelk") + "tail");
  sh("rm new/LP18.txt");
  Run r = emu("-i " + prog, "restore snap\nquit\n", "new");
  EXPECT_EQ(get("new/MT-CP.zelk"), tape);
  EXPECT_EQ(get("new/LP18.txt"), lp);
  put("new/MT-CP.zelk", "x");
  r = emu("-i " + prog, "restore snap\ncontinue\n", "new");
  EXPECT_EQ(r.status, 0) << r.out;
  for (const std::string& f : files) EXPECT_EQ(get("new/" + f), get("whole/" + f)) << f;
  // The reader's file is the operator's: changed after the save, it stays
  // changed, and the restored run reads what it read then.
  Run plain = emu(copy, "2\n", "plain");
  sh("mkdir reader && cp " + ex + "copy-ptr.txt reader/ptr.txt");
  emu("-i " + ex + "copy.txt ptr.txt", "break #60\ncontinue\nsave snap\nquit\n", "reader");
  put("reader/ptr.txt", "SOMETHING ELSE\n");
  r = emu("-i " + ex + "copy.txt ptr.txt", "restore snap\ncontinue\n2\n", "reader");
  EXPECT_EQ(get("reader/LP18.txt"), get("plain/LP18.txt"));
  EXPECT_EQ(get("reader/ptr.txt"), "SOMETHING ELSE\n");
}

TEST_F(Console, ControlCAtTheReplyLeavesTheAlarmPending) {
  Run plain = emu(copy, "2\n", "plain");
  Live p(*this, "-i " + copy);
  p.type("continue\n");
  ASSERT_TRUE(p.shows("err.txt", "ALARM *01 for operator"));
  bool back = p.signal_until(SIGINT, "out.txt", "alarm left unanswered");
  p.type("registers\ncontinue\n2\n");
  int st = p.finish();
  ASSERT_TRUE(back) << get("out.txt");
  EXPECT_EQ(st, 0);
  // Back before the alarm instruction; asked again; the run ends as it
  // would have.
  EXPECT_THAT(get("out.txt"), HasSubstr("unanswered: step or continue asks again\n"
                                        "  186 ---> 26/0/2     1 ||"));
  EXPECT_THAT(get("out.txt"), HasSubstr("\nsc 186  n 1  count 256 "));
  EXPECT_THAT(get("out.txt"), HasSubstr("ALARM *01\n" + after(plain.out, "ALARM *01\n")));
  EXPECT_EQ(lines_with(get("err.txt"), "for operator").size(), 2u);
}

TEST_F(Console, SigtermEndsTheRunWithItsReport) {
  put("prog.txt", loop);
  for (std::string when : {"continue\n", ""}) {  // running, and at the prompt
    Live p(*this, "-i -d prog.txt");
    p.type(when);
    EXPECT_TRUE(catches(p.pid, SIGTERM));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(p.pid, SIGTERM);
    int st = p.finish();
    EXPECT_EQ(st, 143) << when;
    EXPECT_THAT(get("out.txt"), HasSubstr(" Illegal: Run interrupted after ")) << when;
    EXPECT_THAT(get("log.txt"), HasSubstr("Illegal: Run interrupted [")) << when;
    EXPECT_THAT(get("out.txt"), Not(HasSubstr("interrupted\n"))) << when;
  }
}

TEST_F(Console, ValuesAndLinesAreTakenAsTheyAreShown) {
  put("prog.txt", loop);
  Run r = emu("-i prog.txt",
              "deposit 300 -5\nx 300\nd 301 0x1FFFFF\nd 301 -1048576\nd 301 2097152\nx 301\n"
              "x 30" +
                  std::string(1, '\0') +
                  "0\nx 31\x01\n"
                  "d 302 \"\xC2\xA3~A#B\"\nx 302 -c\nd 304 \"AB!CD\"\nx 304 -c\n"
                  "x m1\nd m1 -3\nx m1\nd mgb 9\nx mgb\n"
                  "watch 10\nwatch 400\nwatch 401 1\nd 400 0\nbreak\nbreak #1\n"
                  "save \"a b\"\nrestore \"a b\"\n",
              ".");
  // Sign and magnitude; a value that does not fit is refused either way.
  EXPECT_THAT(r.out, HasSubstr("\n  300  100005 "));
  EXPECT_THAT(r.out, HasSubstr("\n  301  1FFFFF "));
  EXPECT_EQ(lines_with(r.out, "bad value: a number").size(), 2u);
  // Lines with control bytes are refused whole.
  EXPECT_EQ(lines_with(r.out, "refused: the line holds a control character").size(), 2u);
  EXPECT_THAT(lines_with(r.out, "   30  "), testing::IsEmpty());
  // Text both ways; a character the machine has not got is refused.
  EXPECT_THAT(r.out, HasSubstr("\n  302  [£~A#B]\n"));
  EXPECT_THAT(r.out, HasSubstr("no machine character for !\n"));
  EXPECT_THAT(r.out, HasSubstr("\n  304  [     ]\n"));
  // One table of names for examine and deposit.
  EXPECT_THAT(r.out, HasSubstr("m1 0  (modifier register 1"));
  EXPECT_THAT(r.out, HasSubstr("m1 -3  (modifier register 1"));
  EXPECT_THAT(r.out, HasSubstr("mgb is read-only\nmgb 8  ("));
  EXPECT_THAT(r.out, HasSubstr(": watch 10, 1 word\n"));
  EXPECT_THAT(r.out, HasSubstr("instruction 1 is not ahead: the run is before instruction 1\n"));
  EXPECT_THAT(r.out, HasSubstr("saved a b\nrestored a b\n"));
  EXPECT_NE(get("a b"), "");
  // One instruction setting off two watches: both are told.
  put("two.txt", "two\nL160  p\n2/1/0 400\n26/0/2 2\n");
  r = emu("-i two.txt", "d a 1 2\nwatch 400\nwatch 401\ncontinue\n");
  EXPECT_THAT(r.out, HasSubstr("watch 1: 400 changed from 000000 to 000002 by the instruction at "
                               "160\nwatch 2: 401 changed from 000000 to 000001 by"));
}

// A session as a user scripts one: a command file given with -x sets a
// breakpoint whose commands log the ledger's balance after each record
// (its radix word makes it pounds, shillings and pence); the operator's
// commands, shortened and in upper case, follow on standard input.
TEST_F(Console, ScriptedSessionOnTheLedger) {
  ASSERT_EQ(sh("cp " + ex + "ledger.map ."), 0);  // as zasm -t and progtape made it
  put("balance.txt",
      "# the balance after each record, without stopping\n"
      "break 1175; examine -n 1354; cont\n"
      "echo balance logged at 1175\n");
  put("end.txt", "ECHO the end\nx 1354-1355\n");
  Run r =
      emu("-i -x balance.txt ledger.map " + ex + "ledger-ptr.txt",
          "  # the operator's turn\nHELP br\nCONT\nEx -n 1354 -r 0x66E64\nbre\ndo end.txt\nq\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("\nbalance logged at 1175\nbreak ADDR | #N [; COMMAND ...]  (b)\n"
                               "Stop before the instruction at ADDR"));
  Lines bal = lines_with(r.out, " 1354  000001 ");
  ASSERT_EQ(bal.size(), 9u) << r.out;
  EXPECT_THAT(bal[0], EndsWith("  120.0.0"));
  EXPECT_THAT(bal[1], EndsWith(" 5712B  157.12.11"));
  EXPECT_EQ(bal[8], bal[7]);  // after the end, under the radix word given
  EXPECT_THAT(r.out, HasSubstr("PROGRAMME UNLOADED: ADDRESS = 1189 after 455 instructions\n"));
  EXPECT_THAT(r.out, HasSubstr("\n1: break at 1175; examine -n 1354; cont\nthe end\n"
                               " 1354  042186   4/0/1  390  ADD (N) TO (A)"));
  EXPECT_THAT(r.out, HasSubstr("\n 1355  000001   0/0/0    1  HALT"));
  // The README's way back: who last changed the balance, and before it.
  r = emu("-i ledger.map " + ex + "ledger-ptr.txt",
          "continue\nlast 1354 2\nbreak 1175\nreverse\nback 3\nhistory 3\n");
  EXPECT_THAT(r.out, HasSubstr("\n#411 at 1174 changed 1354 from 043065 to 042186\n"
                               " 1174 --->  2/1/0  1354 || 000001 42186 "));
  EXPECT_THAT(r.out, HasSubstr("\nbreakpoint 1 at 1175\n 1175 ---> "));
  EXPECT_THAT(r.out, HasSubstr("\n 1172 --->  3/1/0  1352 || "));
  EXPECT_THAT(r.out,
              testing::ContainsRegex("\n#406 +1169 ---> [^\n]*\n#407 +1170 ---> [^\n]*CONVERT"
                                     " \n#408 +1171 ---> [^\n]*ADD \\(N\\) TO \\(A\\)\n"));
}

// Going back from the end of a run whose log is in log.txt (closed by the
// unload) and running on again: the replies come from the record, the log
// goes on, and the files end as the run left them the first time.
TEST_F(Console, BackFromTheEndAndOnAgain) {
  Run whole = emu("-d " + copy, "2\n", "whole");
  Run r = emu("-i -d " + copy, "continue\n2\nback 40\nhistory 2\ncontinue\nrecord\n", "again");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("reply> 2 (as recorded)\n"));
  EXPECT_THAT(r.out, HasSubstr("\n#219    169 ---> 25/0/1     2 || "));
  EXPECT_THAT(r.out, HasSubstr("to the end of the run, after #260 (exit status 0); the machine "
                               "stands at the end\n2 checkpoints (every 16777216 instructions), 11 "
                               "file changes, 1 reply: "));
  EXPECT_EQ(lines_with(get("again/log.txt"), "PROGRAMME UNLOADED").size(), 2u);
  for (std::string f : {"/LP18.txt", "/MT-CP.zelk"}) EXPECT_EQ(get("again" + f), get("whole" + f));
}

// Control-C gives up a search back through a long record: the machine is
// where it was.
TEST_F(Console, InterruptGivesUpReverse) {
  put("prog.txt", loop);
  Live p(*this, "-i prog.txt");
  p.type("break #40000000\ncontinue\nwatch 300\nreverse\n");
  ASSERT_TRUE(p.shows("out.txt", "breakpoint 1 before instruction 40000000"));
  bool gave_up = p.signal_until(SIGINT, "out.txt", "interrupted: back where it was\n");
  p.type("examine count\n");
  p.finish();
  EXPECT_TRUE(gave_up) << get("out.txt");
  EXPECT_THAT(get("out.txt"), HasSubstr("back where it was\n  161 ---> 24/1/0   160 ||"));
  EXPECT_THAT(get("out.txt"), HasSubstr("\ncount 39999999 "));
}

// An assembled program's labels, read from its program file: commands take
// them (a range, LABEL-n, an instruction as zasm writes it), and stops,
// watches and examine show them. The deposit ends the column after its
// first number, which the printed total shows.
TEST_F(Console, LabelsOfAnAssembledProgram) {
  Run r = emu("-i " + ex + "sum.txt " + ex + "sum-ptr.txt",
              "break DONE\nwatch TOTAL 2\nbreak\nx TOTAL-TOTAL+1\nx -i NEXT+9 2\n"
              "deposit DONE-1 JMP DONE\nx -i DONE-1\nbreak NEXTT\ndeposit DONE JUNK 1\n"
              "continue\ncontinue\ncontinue\n");
  EXPECT_EQ(r.status, 0);
  for (const char* want :
       {"1: break at 176 (DONE)\n2: watch 228 (TOTAL), 2 words\n",
        "\nTOTAL:\n  228  000000   0/0/0    0  HALT    ",
        "\nNEXT+9:\n  173  0480E4   4/1/0  228  ADD (N) TO (A)               ADDL TOTAL\n"
        "  174  0280E4   2/1/0  228  TRANSFER (A) TO N            TRAL TOTAL\n",
        "\nNEXT+11:\n  175  1880B0  24/1/0  176  UNCONDITIONAL JUMP           JMP DONE\n",
        "\nundefined symbol NEXTT\nunknown mnemonic JUNK\n",
        "\nwatch 2: 228 (TOTAL) changed from 000000 to 000125 by the instruction at 174 "
        "(NEXT+10)\n",
        "\nbreakpoint 1 at 176 (DONE)\n"})
    EXPECT_THAT(r.out, HasSubstr(want));
  EXPECT_THAT(lines_with(r.out, "  229  "), ElementsAre(testing::StartsWith("  229  000000 ")));
  EXPECT_THAT(get("LP18.txt"), testing::MatchesRegex("TOTAL +125\n"));
  // A program file that is no regular file is read once, by the loader,
  // and gives no symbols: no wait for a second reading.
  put("in.txt", "x -i 175\nbreak DONE\nquit\n");
  EXPECT_EQ(sh("mkfifo fifo && (cat " + ex + "sum.txt > fifo &) && timeout 10 " + bin +
               "/emulator -i fifo <in.txt >out.txt"),
            130);
  EXPECT_THAT(get("out.txt"), HasSubstr("\n  175  1880A4  24/1/0  164  UNCONDITIONAL JUMP\n"));
  EXPECT_THAT(get("out.txt"), HasSubstr("\nbreak ADDR, or break #COUNT"));
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
  // Control-D leaves as quit does, the prompt's line ended first.
  keys("C-d");
  EXPECT_TRUE(shows("status 130")) << screen();
  EXPECT_THAT(lines_with(screen(), "run left"),
              ElementsAre(testing::StartsWith("run left before the instruction at 160")));
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
