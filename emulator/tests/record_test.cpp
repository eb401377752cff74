// Going back in time at the console, in process: a session that goes back
// (or forward again) to an instruction count must leave the machine and
// every file exactly as a session that went straight there, over the
// bundled examples and generated programs that print, write and read back
// tapes, read the paper tape and raise alarms.
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <regex>

#include "harness.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;

// A program that opens the reader, the printer and a tape, writes a block,
// then makes
// passes over random steps: print the line last read, write it as a tape
// block, rewind, step back a block, rewind and read the first block (later
// blocks then write over those after it), read a line, add and store long
// words, reopen (empty) the printer, or raise an alarm whose replies jump
// to this step's successor or the one after.
std::string generate(std::mt19937& g) {
  auto pick = [&](int n) { return (int)(g() % (unsigned)n); };
  std::vector<std::vector<std::string>> steps(5 + pick(10));
  std::vector<bool> alarm(steps.size());
  for (size_t i = 0; i < steps.size(); i++) {
    int k = pick(100);
    auto mr = [&](int block) { steps[i] = {ins(0, 1, 1, block), ins(23, 0, 2, 160)}; };
    if (k < 18)
      mr(2118);  // print
    else if (k < 38)
      mr(2124);  // write a block
    else if (k < 50)
      mr(2112);  // read a line
    else if (k < 55)
      mr(2130);  // rewind
    else if (k < 62)
      mr(2142);       // step back
    else if (k < 69)  // rewind, read the first block
      steps[i] = {ins(0, 1, 1, 2130), ins(23, 0, 2, 160), ins(0, 1, 1, 2136), ins(23, 0, 2, 160)};
    else if (k < 71)
      mr(2106);  // reopen the printer
    else if (k < 79)
      alarm[i] = true;  // an alarm
    else                // add a constant, store the sum
      steps[i] = {ins(4, 1, 0, 2300 + 2 * pick(5)),
                  ins(2 + pick(2), 1, 0, pick(4) ? 2400 + 2 * pick(10) : 3006 + 2 * pick(3))};
  }
  int loop = 169, at = loop;
  std::vector<int> start;
  for (size_t i = 0; i < steps.size(); i++)
    start.push_back(at), at += alarm[i] ? 11 : (int)steps[i].size();
  start.push_back(at);
  start.push_back(at);
  std::string p =
      "generated\nX1000 chapter 0\nL1034 files\n5/0/0 9\n0/0/3 1907\n9/0/0 18\n0/0/3 871\n"
      "7/0/0 27\n0/0/2 4967\nL73 p\n0/0/0 3004\n0/0/0 3004\nL82 p\n0/0/0 3002\n0/0/0 3002\n"
      "L91 p\n0/0/0 3000\n0/0/0 3000\nL3030 e\n0/0/0 126\nL2100 register blocks\n";
  // Route, action, pseudo-route or count, file name.
  const int blocks[][4] = {{9, 15, 10, 0x6000 | 1907},
                           {18, 19, 19, 0x6000 | 871},
                           {9, 5, 10, 0},
                           {18, 1, 19, 0},
                           {27, 8, 28, 0},
                           {27, 34, 28, 0},
                           {27, 7, 28, 0},
                           {27, 39, 1, 0},
                           {1, 0, 0, 0},
                           {27, 18, 28, 0x4000 | 4967}};
  for (const auto& b : blocks)
    for (int v : {b[0], b[1], b[2], b[3], 0, 0}) p += word(v) + "\n";
  p += "L2160 passes\n0/0/0 0\n" + word(5 + pick(30)) + "\nL2300 constants\n";
  for (int i = 0; i < 10; i++) p += word(pick(8000)) + "\n";
  p += "L160 program\n0/1/1 2100\n23/0/2 160\n0/1/1 2106\n23/0/2 160\n0/1/1 2154\n23/0/2 160\n"
       "0/1/1 2124\n23/0/2 160\n26/1/2 2160\n";
  for (size_t i = 0; i < steps.size(); i++) {
    if (!alarm[i]) {
      for (const std::string& w : steps[i]) p += w + "\n";
      continue;
    }
    p += "0/1/1 2148\n26/0/2 1\n";
    for (int r = 0; r < 9; r++) p += word(start[i + 1 + pick(2)]) + "\n";
  }
  p += "25/0/2 1\n" + ins(24, 1, 0, loop) + "\n26/0/2 2\nE160\n";
  return p;
}

class Record : public EmuTest {
 protected:
  // The sessions make and drop many small files: in memory where the host
  // has a file system there.
  void SetUp() override {
    EmuTest::SetUp();
    char tmpl[] = "/dev/shm/recordXXXXXX";
    if (!fs::is_directory("/dev/shm") || !mkdtemp(tmpl)) return;
    fs::remove(dir);
    dir = tmpl;
    ASSERT_EQ(chdir(dir.c_str()), 0);
  }
  // A console session in folder `sub` of the working directory, obeying a
  // command file and taking the alarms' replies from standard input.
  std::string session(const std::string& sub, const std::string& cmds) {
    fs::create_directory(sub);
    EXPECT_EQ(chdir(sub.c_str()), 0);
    put("cmds", cmds + "quit\n");
    std::vector<std::string> a = {"-i", "-x", "cmds", limit, dir + "/prog.txt"};
    if (!ptr.empty()) a.push_back(dir + "/ptr.txt");
    std::string out = emu(a, replies).out;
    EXPECT_EQ(chdir(".."), 0);
    return out;
  }
  // The files of the run in a session's folder, by name.
  std::map<std::string, std::string> files(const std::string& sub) {
    std::map<std::string, std::string> m;
    for (const auto& e : fs::directory_iterator(sub)) {
      std::string n = e.path().filename();
      if (n.rfind("MT", 0) == 0 || n.rfind("LP", 0) == 0) m[n] = get(sub + "/" + n);
    }
    return m;
  }
  void same(const std::string& a, const std::string& b) {
    EXPECT_EQ(get(a + "/snap"), get(b + "/snap")) << a << " " << b;
    EXPECT_EQ(files(a), files(b)) << a << " " << b;
  }
  // The run's end: its count and status, from `record`.
  void end_of(long long& count, int& status) {
    std::smatch m;
    std::string out = session("end", "continue\nrecord\n");
    ASSERT_TRUE(std::regex_search(out, m, std::regex("after #(\\d+) \\(exit status (\\d+)\\)")))
        << out;
    count = std::stoll(m[1]);
    status = std::stoi(m[2]);
  }
  std::string at(long long k) { return "break #" + std::to_string(k + 1) + "\ncontinue\n"; }

  // One program, four sessions: straight to K1 and to K3; to K2 (or the
  // end), back or goto K1; and from there forward again to K3, past the
  // record's end when K3 is beyond K2, asking the operator the alarms after
  // it. The run's exit status into `status`.
  void back_and_forth(std::mt19937& g, const std::string& name, int& status) {
    long long end;
    ASSERT_NO_FATAL_FAILURE(end_of(end, status));
    if (end < 4) return;
    auto in = [&](long long lo, long long hi) {
      return lo + (long long)(g() % (unsigned)(hi - lo + 1));
    };
    long long k1 = in(1, end - 2), k2 = in(k1 + 1, end), k3 = in(k1 + 1, end - 1);
    // Checkpoints taken as the run goes, few or many, so that going back
    // and forward again undoes and makes again the changes to the files.
    std::string to_k2 = "record every " + std::to_string(1 + g() % 200) + "\n" +
                        (k2 == end ? "continue\n" : at(k2));
    std::string move = g() % 2 ? "goto #" + std::to_string(k1 + 1) + "\n"
                               : "back " + std::to_string(k2 - k1) + "\n";
    std::string on = k3 <= k2 && g() % 2 ? "goto #" + std::to_string(k3 + 1) + "\n" : at(k3);
    session("s1", at(k1) + "save snap\n");
    session("s3", at(k3) + "save snap\n");
    session("t1", to_k2 + move + "save snap\n");
    session("t3", to_k2 + move + "save back\ndelete\n" + on + "save snap\n");
    SCOPED_TRACE(name + ": " + std::to_string(k1) + " " + std::to_string(k2) + " " +
                 std::to_string(k3) + " of " + std::to_string(end));
    same("t1", "s1");
    same("t3", "s3");
    EXPECT_EQ(get("t3/back"), get("s1/snap"));
    EXPECT_NE(get("s1/snap"), "");
    for (const char* d : {"s1", "s3", "t1", "t3", "end"}) fs::remove_all(d);
  }
  // A generated program and paper tape.
  void program(std::mt19937& g) {
    std::string lines;
    for (int k = (int)(g() % 30); k > 0; k--) {
      for (int c = (int)(g() % 40); c > 0; c--)
        lines += "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 "[g() % 37];
      lines += "\n";
    }
    put("ptr.txt", ptr = lines + "\n");
    put("prog.txt", generate(g));
  }
  // The lines of out that match re, each as its submatches.
  static std::vector<std::smatch> matches(const std::string& out, const std::string& re) {
    std::vector<std::smatch> v;
    std::regex r(re);
    for (auto it = std::sregex_iterator(out.begin(), out.end(), r); it != std::sregex_iterator();
         ++it)
      v.push_back(*it);
    return v;
  }
  std::string ptr, replies, limit = "-a300000";
};

TEST_F(Record, BackThenForwardIsTheSameRunOverGeneratedPrograms) {
  std::mt19937 g(21);
  for (int i = 0; i < 200; i++) replies += std::to_string(1 + g() % 9) + "\n";
  int ended_badly = 0;
  for (int n = 0; n < 300; n++) {
    program(g);
    int status = 0;
    ASSERT_NO_FATAL_FAILURE(back_and_forth(g, "program " + std::to_string(n), status));
    ended_badly += status != 0;
    if (HasFailure()) break;
  }
  // Both ends are met: unloads and fatal reports.
  EXPECT_GT(ended_badly, 10);
  EXPECT_LT(ended_badly, 280);
}

TEST_F(Record, BackThenForwardIsTheSameRunOverTheExamples) {
  std::mt19937 g(1);
  replies = "2\n";
  int status;
  for (std::string ex : {"count", "copy"}) {
    put("prog.txt", get(std::string(EXAMPLES_DIR "/") + ex + ".txt"));
    ptr = ex == "copy" ? get(EXAMPLES_DIR "/copy-ptr.txt") : "";
    put("ptr.txt", ptr);
    for (int n = 0; n < 10; n++) back_and_forth(g, ex, status);
  }
  put("prog.txt", get(EXAMPLES_DIR "/ledger.map"));
  put("ptr.txt", ptr = get(EXAMPLES_DIR "/ledger-ptr.txt"));
  for (int n = 0; n < 10; n++) back_and_forth(g, "ledger", status);
}
}  // namespace

// last names the instruction of the -v9 trace's last store line that
// changed the words; reverse with a watch stops before the change at which
// a forward run with the watch stopped last, and the time before that.
TEST_F(Record, LastAndReverseAgreeWithForwardRuns) {
  std::mt19937 g(7);
  for (int i = 0; i < 200; i++) replies += std::to_string(1 + g() % 9) + "\n";
  int compared = 0;
  for (int n = 0; n < 40; n++) {
    program(g);
    std::string trace = emu({"-v9", "-a300000", "prog.txt", "ptr.txt"}, replies).out;
    // Each trace line is one instruction; a store line changes a long word.
    std::map<int, std::pair<long long, int>> changed;  // address: count, SC
    std::map<int, std::string> now;
    long long count = 0;
    int sc = 0;
    std::istringstream in(trace);
    for (std::string l; std::getline(in, l);) {
      std::smatch m;
      if (l.find(" ---> ") != std::string::npos) count++, sc = std::stoi(l);
      if (std::regex_search(l, m, std::regex("^  Stored (\\w+ \\w+) at address (\\d+)"))) {
        int a = std::stoi(m[2]);
        std::string v = m[1];
        if (now[a] != v && !(now[a].empty() && v == "000000 00000")) changed[a] = {count, sc};
        now[a] = v;
      }
    }
    std::string cmds = "continue\nhistory 30\n";
    for (int a = 2400; a < 2420; a += 2) cmds += "last " + std::to_string(a) + " 2\n";
    std::string out = session("last", cmds);
    // history: the trace's last lines, each after its count.
    std::vector<std::string> lines, shown;
    std::istringstream tr(trace);
    for (std::string l; std::getline(tr, l);)
      if (l.find(" ---> ") != std::string::npos) lines.push_back(l);
    for (const auto& m : matches(out, "\\n#(\\d+)  ([^\\n]*)")) shown.push_back(m[2]);
    size_t k = std::min<size_t>(30, lines.size());
    EXPECT_EQ(shown, std::vector<std::string>(lines.end() - (long)k, lines.end()));
    for (int a = 2400; a < 2420; a += 2) {
      auto said = matches(out, "#(\\d+) at (\\d+) changed (" + std::to_string(a) + "|" +
                                   std::to_string(a + 1) + ") from");
      if (!changed.count(a)) {
        EXPECT_THAT(out, HasSubstr("nothing changed " + std::to_string(a) + "-")) << a;
        continue;
      }
      ASSERT_FALSE(said.empty()) << a << out;
      EXPECT_EQ(std::stoll(said[0][1]), changed[a].first) << a;
      EXPECT_EQ(std::stoi(said[0][2]), changed[a].second) << a;
      compared++;
    }
    // A watch on a word that changed: the forward run's stops, then reverse
    // twice from the end.
    if (changed.empty()) continue;
    std::string w = "watch " + std::to_string(changed.begin()->first) + " 2\n";
    std::string fwd = w, counts;
    for (int i = 0; i < 2000; i++) fwd += "continue\nexamine count\n";
    std::vector<long long> stops;
    std::string f = session("fwd", fwd);
    ASSERT_THAT(f, HasSubstr("the run has ended"));
    for (const auto& m : matches(f, "watch 1: [^\\n]*\\n[^\\n]*\\ncount (\\d+) "))
      stops.push_back(std::stoll(m[1]));
    std::string r =
        session("rev", "record every " + std::to_string(50 + g() % 2000) + "\ncontinue\n" + w +
                           "reverse\nexamine count\nreverse\nexamine count\n");
    auto got = matches(r, "\\ncount (\\d+) ");
    ASSERT_EQ(got.size(), 2u) << r;
    for (size_t i = 0; i < 2; i++) {
      long long want = stops.size() > i ? stops[stops.size() - 1 - i] - 1 : 0;
      EXPECT_EQ(std::stoll(got[i][1]), want) << i << r;
    }
    for (const char* d : {"last", "fwd", "rev"}) fs::remove_all(d);
  }
  EXPECT_GT(compared, 50);
}

// A deposit after going back makes a new history: the run follows the
// changed machine, the alarm is asked again. A deposit made before going
// back is made again when the run passes its count going forward.
TEST_F(Record, DepositsAndTheirHistories) {
  put("prog.txt", get(EXAMPLES_DIR "/copy.txt"));
  put("ptr.txt", ptr = get(EXAMPLES_DIR "/copy-ptr.txt"));
  replies = "2\n5\n";
  std::string first =
      matches(session("c", "break 176\ncontinue\nexamine count\n"), "\\ncount (\\d+) ")[0][1];
  const std::string change = "deposit 3008 \"ZZZZZ\"\n";
  std::string again =
      session("again", "record every 9\ncontinue\ngoto #" + std::to_string(std::stoll(first) + 1) +
                           "\n" + change + "continue\n");
  replies = "5\n";
  session("straight", "break 176\ncontinue\n" + change + "delete\ncontinue\n");
  EXPECT_EQ(files("again"), files("straight"));
  EXPECT_THAT(get("again/LP18.txt"), HasSubstr("ZZZZZ"));
  EXPECT_THAT(again, testing::Not(HasSubstr("as recorded")));
  EXPECT_EQ(matches(again, "COPY FINISHED").size(), 2u);  // after reply 2, not after 5

  std::string made =
      session("made", "record every 7\nbreak #50\ncontinue\n" + change +
                          "delete\nbreak #120\ncontinue\n"
                          "save a\ndelete\ngoto #20\nbreak #120\ncontinue\nsave snap\n");
  EXPECT_EQ(get("made/a"), get("made/snap"));
  EXPECT_THAT(get("made/LP18.txt"), HasSubstr("ZZZZZ"));
}

// A tape written over in its middle (rewound, a block read, one written
// over the next) and then closed: going back from the end to between the
// read and the write over brings back the block written over.
TEST_F(Record, GoingBackBringsBackWhatAWriteOverReplaced) {
  put("prog.txt",
      "over\nX1000 c\nL1034 f\n5/0/0 9\n0/0/3 1907\n9/0/0 18\n0/0/3 871\n7/0/0 27\n"
      "0/0/2 4967\nL91 p\n0/0/0 3000\n0/0/0 3000\nL3030 e\n0/0/0 126\nL2124 r\n0/0/0 27\n"
      "0/0/0 8\n0/0/0 28\n0/0/0 0\n0/0/0 0\n0/0/0 0\n0/0/0 27\n0/0/0 34\n0/0/0 28\n0/0/0 0\n"
      "0/0/0 0\n0/0/0 0\n0/0/0 27\n0/0/0 7\n0/0/0 28\n0/0/0 0\n0/0/0 0\n0/0/0 0\nL160 p\n" +
          std::string("0/1/1 2124\n23/0/2 160\n") +
          "0/1/1 2124\n23/0/2 160\n0/1/1 2124\n23/0/2 160\n"
          "0/1/1 2130\n23/0/2 160\n0/1/1 2136\n23/0/2 160\n0/1/1 2124\n23/0/2 160\n"
          "0/1/1 2130\n23/0/2 160\n26/0/2 2\n");
  session("s", at(10) + "save snap\n");
  session("t", "record every 3\ncontinue\ngoto #11\nsave snap\n");
  same("t", "s");
  session("u", "record every 11\ncontinue\nback 5\nsave snap\n");
  same("u", "s");
  EXPECT_EQ(get("s/MT-CP.zelk").size(), 3u * 132 + 36);
}

// Beyond its memory bound the record drops its oldest history, keeping
// what it needs to go back from where the machine stands.
TEST_F(Record, TheBoundDropsTheOldestHistory) {
  put("prog.txt", get(SOURCE_DIR "/bench/add_loop.txt"));
  limit = "-a0";
  std::string out = session("b",
                            "record 1K\nbreak #1000000\ncontinue\nbreak #2000000\ncontinue\n"
                            "record\ngoto #1000000\nback 1\nexamine count\n");
  EXPECT_THAT(out, HasSubstr("the record reaches from before instruction #2000000 to before "
                             "#2000000; the machine stands before #2000000\n1 checkpoint ("));
  EXPECT_THAT(out, HasSubstr("the record holds the machine from before instruction #2000000 to"));
  EXPECT_THAT(out, HasSubstr("reaches back to before instruction #2000000\n"));
  EXPECT_THAT(out, HasSubstr("\ncount 1999999 "));
}
