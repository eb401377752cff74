// Tests of the listing moderniser: escapes, trimming, definitions, reference
// links, annotation modes, name tables, the index part, options and image maps.
#include "modernise.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const std::string head = "<HTML><BODY><PRE>\n";
const std::string tail = "</PRE></BODY></HTML>\n";

// Runs one conversion in memory.
std::string conv(const std::string& text, const Setup& s = Setup()) {
  FILE* in = text.empty() ? std::fopen("/dev/null", "r")
                          : fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  char* buf = nullptr;
  size_t len = 0;
  FILE* out = open_memstream(&buf, &len);
  EXPECT_TRUE(convert(in, out, s));
  std::fclose(in);
  std::fclose(out);
  std::string r(buf, len);
  std::free(buf);
  return r;
}

// The page body: the conversion without its opening and closing tags.
std::string body(const std::string& text, const Setup& s = Setup()) {
  std::string r = conv(text, s);
  EXPECT_EQ(r.substr(0, head.size()), head);
  EXPECT_GE(r.size(), head.size() + tail.size());
  EXPECT_EQ(r.substr(r.size() - tail.size()), tail);
  return r.substr(head.size(), r.size() - head.size() - tail.size());
}

Setup mode(int m) {
  Setup s;
  s.mode = m;
  return s;
}

// A listing line with the given texts placed at their columns.
std::string line(std::initializer_list<std::pair<int, const char*>> parts) {
  std::string s;
  for (auto& [c, t] : parts) {
    if (!*t) continue;
    if (s.size() < static_cast<size_t>(c)) s.resize(c, ' ');
    s.replace(c, std::strlen(t), t);
  }
  return s;
}

const std::string procr =
    line({{0, "00010"}, {10, "012"}, {13, "00     PROCR"}, {27, "123"}, {31, "MAIN LOOP"}});
const std::string cnst = line({{0, "00020"}, {10, "013"}, {13, "00     CONST"}, {27, "200"}});
const std::string table = line({{0, "00030"}, {10, "014"}, {13, "00     TABLE"}, {27, "300"}});

// An instruction line: location, operation, operand, reference, figures.
std::string instr(const char* op, const char* ref, const char* m = "0", const char* l = "0",
                  const char* note = "") {
  return line({{0, "00040"},
               {10, "01201"},
               {15, "M1"},
               {19, op},
               {23, "40"},
               {27, ref},
               {31, "X5"},
               {40, m},
               {43, l},
               {46, note}});
}

TEST(ModerniseNames, OperationDescriptions) {
  EXPECT_STREQ(opdesc(0), "SELECT");
  EXPECT_STREQ(opdesc(160), "blank");
  EXPECT_STREQ(opdesc(13), "Invalid");
  EXPECT_STREQ(opdesc(74), "JUMP IF AB == 0        // 27, 1, 0");
  EXPECT_STREQ(opdesc(66), "SET UP FOR SIGNIFICANT DIGIT FLOATING POINT ARITHMETIC");
  EXPECT_STREQ(opdesc(131), "Zelk CODE");
  EXPECT_STREQ(opdesc(161), "Invalid");
  EXPECT_STREQ(opdesc(-1), "Invalid");
  EXPECT_STREQ(opname(74, 1, 3), "JUMP IF AB == 0        // 27, 1, 0");
}

TEST(ModerniseNames, MachineInstructionsByFigures) {
  EXPECT_STREQ(opname(128, 0, 2), "unpack fixed field data");
  EXPECT_STREQ(opname(100, 0, 0), "Halt");
  EXPECT_STREQ(opname(100, 1, 3), "Invalid");
  EXPECT_STREQ(opname(119, 0, 1), "input one block/reset timer");
  EXPECT_STREQ(opname(124, 1, 0), "unconditional jump");
  EXPECT_STREQ(opname(131, 1, 3), "subtract double length");
  EXPECT_STREQ(opname(116, 1, 0), "compare");
  // Figures outside their ranges never reach another entry.
  EXPECT_STREQ(opname(100, 2, 0), "Invalid");
  EXPECT_STREQ(opname(100, 0, 4), "Invalid");
  EXPECT_STREQ(opname(101, -1, 0), "Invalid");
  EXPECT_STREQ(opname(131, 1, 4), "Invalid");
}

TEST(ModerniseEscape, ShortLinesAndInsertedText) {
  EXPECT_EQ(body("a<b\n"), "a&lt;b\n");
  EXPECT_EQ(body("  g < g  \n"), "  <S>&gt;</S> &lt; <S>&gt;</S>\n");
  // Plain lines come out trimmed and escaped, one for one.
  std::string in = "HEADER   PAGE 1   \n\n     ABCDEFGHIJK  g<<\n      9    x\n";
  EXPECT_EQ(body(in), "HEADER   PAGE 1\n\n     ABCDEFGHIJK  <S>&gt;</S>&lt;&lt;\n      9    x\n");
}

TEST(ModerniseEscape, TrimsBlanksControlsAndHighBytes) {
  EXPECT_EQ(body("ABCDEFGHIJKL \t\r\x01\x80\xff\n"), "ABCDEFGHIJKL\n");
  EXPECT_EQ(body("AB\xe9"
                 "CD   \n"),
            "AB\xe9"
            "CD\n");  // inside a line the byte stays
  EXPECT_EQ(body("no newline at end"), "no newline at end\n");
  EXPECT_EQ(body(""), "");
}

TEST(ModerniseEscape, LongLinesArriveInPiecesAndGrowWithoutLimit) {
  std::string g(997, 'g');
  std::string out = body(g + "gg\n");
  std::string e;
  for (int i = 0; i < 997; i++) e += "<S>&gt;</S>";
  EXPECT_EQ(out, e + "\n<S>&gt;</S><S>&gt;</S>\n");
  // A line of exactly 997 characters leaves its newline as an empty piece.
  EXPECT_EQ(body(std::string(997, 'x') + "\n"), std::string(997, 'x') + "\n\n");
}

TEST(ModerniseMode2, LinesAreExactly115Wide) {
  std::string shortl = body("SHORT\n", mode(2));
  EXPECT_EQ(shortl, "SHORT" + std::string(110, ' ') + "\n");
  std::string longl(200, 'x');
  EXPECT_EQ(body(longl + "\n", mode(2)), std::string(115, 'x') + "\n");
  // The line is widened before escaping, so escapes make it longer still.
  EXPECT_EQ(body("g\n", mode(2)).size(), 115 - 1 + 11 + 1u);
}

TEST(ModerniseDefinitions, AnchorsAndLinksToIndex) {
  EXPECT_EQ(body(procr + "\n"),
            "00010     01200    <A NAME=r123><FONT COLOR=#FF0000>PROCR</FONT></A>   "
            "<A HREF=#c123>123</A> MAIN LOOP\n");
  EXPECT_EQ(body(cnst + "\n"),
            "00020     01300    <A NAME=r200><FONT COLOR=#FF0000>CONST</FONT></A>   "
            "<A HREF=#c200>200</A>\n");
  EXPECT_EQ(body(table + "\n"),
            "00030     01400    <A NAME=r300><FONT COLOR=#FF0000>TABLE</FONT></A>   "
            "<A HREF=#c300>300</A>\n");
}

TEST(ModerniseDefinitions, ProcedureStateGatesInstructions) {
  std::string i = instr("1", "");
  std::string a = " <A HREF=a.htm#a1>1</A> ";  // mode 3 annotation marker
  std::string out = body(i + "\n" + procr + "\n" + i + "\n" + cnst + "\n" + i + "\n" + table +
                             "\n" + i + "\n" + procr + "\n" + i + "\n",
                         mode(3));
  std::istringstream ss(out);
  std::vector<std::string> ls;
  for (std::string l; std::getline(ss, l);) ls.push_back(l);
  ASSERT_EQ(ls.size(), 9u);
  EXPECT_EQ(ls[0], i);                          // state 0
  EXPECT_NE(ls[2].find(a), std::string::npos);  // after PROCR
  EXPECT_EQ(ls[4], i);                          // after CONST
  EXPECT_EQ(ls[6], i);                          // after TABLE
  EXPECT_NE(ls[8].find(a), std::string::npos);  // PROCR again
  // Column 10 not a digit, or column 18 not blank: copied.
  std::string nodig = line({{10, "A1201"}, {19, "1"}, {27, "123"}});
  std::string col18 = line({{10, "01201"}, {18, "X1"}, {27, "123"}});
  EXPECT_EQ(body(procr + "\n" + nodig + "\n" + col18 + "\n"),
            body(procr + "\n") + nodig + "\n" + col18 + "\n");
}

TEST(ModerniseReferences, RangeAndShortLines) {
  std::string p = body(procr + "\n");
  auto one = [&](const std::string& l) { return body(procr + "\n" + l + "\n").substr(p.size()); };
  std::string cut = instr("1", "").substr(0, 27);
  EXPECT_EQ(one(instr("1", "99")), instr("1", "99") + "\n");
  EXPECT_EQ(one(instr("1", "999")), instr("1", "999") + "\n");
  EXPECT_EQ(one(instr("1", "100")),
            cut + "<A HREF=#r100>100</A> X5" + instr("1", "").substr(33) + "\n");
  EXPECT_EQ(one(instr("1", "998")),
            cut + "<A HREF=#r998>998</A> X5" + instr("1", "").substr(33) + "\n");
  // A short line after a referring one has no reference of its own.
  std::string s = line({{10, "01202"}, {19, "5"}, {23, "41"}});
  std::string out = body(procr + "\n" + instr("1", "456") + "\n" + s + "\n");
  EXPECT_EQ(out.substr(out.size() - s.size() - 1), s + "\n");
  // The reference is read before escaping; the other columns after it.
  std::string g = line({{10, "1<201"}, {16, "1"}, {27, "321"}});
  EXPECT_NE(body(procr + "\n" + g + "\n").find("<A HREF=#r321>321</A>"), std::string::npos);
}

TEST(ModerniseAnnotation, ModesWithReference) {
  std::string l = instr("76", "456");
  std::string p = body(procr + "\n");
  auto one = [&](int m) { return body(procr + "\n" + l + "\n", mode(m)).substr(p.size()); };
  std::string link = "<A HREF=#r456>456</A> X5       0  0\n";
  EXPECT_EQ(one(0), l.substr(0, 27) + link);
  EXPECT_EQ(one(16), l.substr(0, 27) + link);
  EXPECT_EQ(one(1), "00040     01201M1  <SPAN TITLE=\"JUMP unconditional\">76</SPAN>  40  " + link);
  EXPECT_EQ(one(3), "00040     01201M1  <A HREF=a.htm#a76>76</A>  40  " + link);
  EXPECT_EQ(one(10), one(3));
  EXPECT_EQ(body(procr + "\n" + l + "\n", mode(2)).substr(p.size() + 115 - procr.size()),
            l.substr(0, 27) + "<A HREF=#r456>456</A> X5       0  0" + std::string(115 - 44, ' ') +
                "JUMP unconditional\n");
}

TEST(ModerniseAnnotation, ModesWithoutReference) {
  std::string l = instr("76", "");
  std::string p = body(procr + "\n");
  auto one = [&](int m) { return body(procr + "\n" + l + "\n", mode(m)).substr(p.size()); };
  EXPECT_EQ(one(0), l + "\n");
  EXPECT_EQ(one(1),
            "00040     01201M1  <SPAN TITLE=\"JUMP unconditional\">76</SPAN>  40      X5"
            "       0  0\n");
  EXPECT_EQ(one(5), "00040     01201M1  <A HREF=a.htm#a76>76</A>  40      X5       0  0\n");
  std::string two = body(procr + "\n" + l + "\n", mode(2));
  EXPECT_EQ(two.substr(two.size() - 115 - 19),
            l + std::string(115 - l.size(), ' ') + "JUMP unconditional\n");
  // A blank column 19 reads as operation 0, whatever follows.
  std::string blank = line({{10, "01201"}, {20, "76"}, {23, "40"}});
  EXPECT_NE(body(procr + "\n" + blank + "\n", mode(1)).find("TITLE=\"SELECT\""), std::string::npos);
  // Operations outside the table are named "Invalid".
  EXPECT_NE(body(procr + "\n" + instr("500", "") + "\n", mode(1)).find("TITLE=\"Invalid\""),
            std::string::npos);
}

TEST(ModerniseAnnotation, OperationFieldEndsAtFirstLowCharacter) {
  // The field ends at the tab at column 22; a field that runs into the
  // reference columns is cut with the line.
  std::string tab = line({{10, "01201"}, {19, "128\t9"}, {27, "456"}, {40, "0"}, {43, "2"}});
  std::string p = body(procr + "\n");
  EXPECT_EQ(body(procr + "\n" + tab + "\n", mode(1)).substr(p.size()),
            "          01201    <SPAN TITLE=\"unpack fixed field data\">128</SPAN> 9   "
            "<A HREF=#r456>456</A>          0  2\n");
  std::string run = line({{10, "01201"}, {19, "12345678456"}, {40, "0"}, {43, "2"}});
  EXPECT_EQ(body(procr + "\n" + run + "\n", mode(3)).substr(p.size()),
            "          01201    <A HREF=a.htm#a2147483647>12345678</A> <A HREF=#r456>456</A>"
            "          0  2\n");
}

TEST(ModerniseAnnotation, Mode8WritesMachineNames) {
  std::string p = body(procr + "\n");
  auto one = [&](const std::string& l) {
    return body(procr + "\n" + l + "\n", mode(8)).substr(p.size());
  };
  // Long line: columns 46-72 blanked and the name written over them.
  std::string note(40, 'N');
  std::string l = instr("128", "", "0", "2", note.c_str());
  EXPECT_EQ(one(l), l.substr(0, 46) + "unpack fixed field data    " + note.substr(27) + "\n");
  // Short line: the rest from column 46 becomes the name.
  std::string s = instr("128", "", "1", "3", "SHORT NOTE");
  EXPECT_EQ(one(s), s.substr(0, 46) + "condense\n");
  // A line ending before column 46 is widened to reach it.
  std::string n = line({{10, "01201"}, {19, "119"}, {40, "1"}});
  EXPECT_EQ(one(n), n + std::string(46 - n.size(), ' ') + "step back\n");
  // With a reference the name shows in the text after it.
  std::string r = instr("100", "456", "0", "0", "X");
  EXPECT_EQ(one(r), r.substr(0, 27) + "<A HREF=#r456>456</A> X5       0  0  Halt\n");
  // Operations other than machine instructions are left alone.
  std::string o = instr("76", "", "0", "0", "NOTE");
  EXPECT_EQ(one(o), o + "\n");
}

TEST(ModerniseAnnotation, NamesAreEscapedForThePage) {
  std::string p = procr + "\n";
  auto one = [&](const char* op, int m) {
    return body(p + instr(op, "", "0", "3") + "\n", mode(m));
  };
  EXPECT_NE(one("127", 8).find(" 0  3  jump A &lt; Z\n"), std::string::npos);
  EXPECT_NE(one("73", 1).find("TITLE=\"JUMP IF A &lt; 0\">"), std::string::npos);
  EXPECT_NE(one("73", 2).find(" JUMP IF A &lt; 0\n"), std::string::npos);
}

TEST(ModerniseIndex, ProcedureAndSectionLines) {
  std::string end = line({{10, "01999"}, {20, "END"}}) + "\n";
  std::string idx =
      " PROCEDURE 123  MAIN LOOP  g<  \n"
      "  SECTION  200  CONSTANTS\n"
      " PROCEDURE 999\n"
      " PROCEDURE 1000 TOO BIG\n"
      "  SECTION  1000\n"
      "OTHER g<\n"
      " PROCEDURE";
  std::string out = body(end + idx);
  EXPECT_EQ(out, end +
                     "<A NAME=c123> PROCEDURE</A>  <A HREF=#r123>123</A> MAIN LOOP  g<  \n"
                     "<A NAME=c200>  SECTION</A>   <A HREF=#r200>200</A> CONSTANTS\n"
                     "<A NAME=c999> PROCEDURE</A>  <A HREF=#r999>999</A>\n"
                     " PROCEDURE 1000 TOO BIG\n"
                     "  SECTION  1000\n"
                     "OTHER g<\n"
                     "<A NAME=c0> PROCEDURE</A>  <A HREF=#r0>0</A>");
  // The END line is written as read, blanks and all, and ends the first part.
  std::string e2 = line({{6, "g"}, {9, "<"}, {20, "END"}}) + "   \n";
  EXPECT_EQ(body(e2 + procr + "\n"), e2 + procr + "\n");
}

TEST(ModerniseIndex, NoEndLineWritesOnlyClosingTags) {
  EXPECT_EQ(conv(" PROCEDURE 123  X\n"), head + " PROCEDURE 123  X\n" + tail);
}

// Runs the program in a scratch folder with files written there.
struct ModerniseProg : ::testing::Test {
  std::filesystem::path dir, old;
  void SetUp() override {
    old = std::filesystem::current_path();
    dir = std::filesystem::temp_directory_path() /
          ("modernise_test_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
  }
  void TearDown() override {
    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
  }
  void write(const char* name, const std::string& text) { std::ofstream(name) << text; }
  std::string read(const char* name) {
    std::ifstream f(name);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  int run(std::vector<std::string> args, std::string& out, std::string& err) {
    std::vector<char*> av;
    args.insert(args.begin(), "modernise");
    for (auto& a : args) av.push_back(a.data());
    av.push_back(nullptr);
    char *ob = nullptr, *eb = nullptr;
    size_t ol = 0, el = 0;
    FILE* o = open_memstream(&ob, &ol);
    FILE* e = open_memstream(&eb, &el);
    int rc = modernise(static_cast<int>(av.size()) - 1, av.data(), o, e);
    std::fclose(o);
    std::fclose(e);
    out.assign(ob, ol);
    err.assign(eb, el);
    std::free(ob);
    std::free(eb);
    return rc;
  }
};

// Map lines: a page label, a skipped line, and keys of each form.
const std::string map = line({{0, "0f"}, {43, "PAGE0001"}}) + "\n" +           // label
                        "1q345 skipped\n" +                                    // column 1 "q"
                        "01200 first\n" +                                      // "0": five blanks
                        line({{0, "0f"}, {43, "PAGE0002"}}) + "\n" + "0f\n" +  // label now empty
                        "1234,\n" +                                            // "*1234"
                        "77777 no label pending\n" + line({{0, "0f"}, {43, "PAGE0004"}}) + "\n" +
                        "01202\n";

TEST_F(ModerniseProg, ImageLinksFollowTheMapInOrder) {
  write("map.txt", map);
  std::string l1 = line({{10, "     "}, {15, "HEADING"}});
  std::string l2 = line({{10, "*1234"}, {16, "Z"}});
  std::string l3 = line({{10, "     "}, {15, "AGAIN"}});
  write("l.txt", l2 + "\n" + l1 + "\n" + l2 + "\n" + l3 + "\n");
  std::string out, err;
  ASSERT_EQ(run({"-s", "-mmap.txt", "l.txt"}, out, err), 0) << err;
  EXPECT_EQ(err, "");
  // The "Mapping" line comes first, ahead of the page.
  EXPECT_EQ(out, "Mapping 3 items\n" + head + l2 + "\n" +
                     "  Source image: <A HREF=https://scans.example.org/listings/PAGE0001.JPG>"
                     "PAGE0001.JPG</A>\n" +
                     l1 + "\n" +
                     "  Source image: <A HREF=https://scans.example.org/listings/.JPG>.JPG</A>\n" +
                     l2 + "\n" +
                     "  Source image: <A HREF=https://scans.example.org/listings/PAGE0004.JPG>"
                     "PAGE0004.JPG</A>\n" +
                     l3 + "\n" + tail);
}

TEST_F(ModerniseProg, ImageBaseOptions) {
  write("map.txt", line({{0, "0f"}, {43, "IMG00001"}}) + "\n12345\n");
  write("l.txt", line({{10, "12345"}, {16, "Z"}}) + "\n");
  std::string out, err;
  ASSERT_EQ(run({"-mmap.txt", "l.txt"}, out, err), 0);
  EXPECT_NE(out.find("<A HREF=http://scans.example.org/listings/IMG00001.JPG>IMG00001.JPG</A>"),
            std::string::npos);
  ASSERT_EQ(run({"-s", "-ifile:///tmp/scans//", "-mmap.txt", "l.txt"}, out, err), 0);
  EXPECT_NE(out.find("<A HREF=file:///tmp/scans/IMG00001.JPG>"), std::string::npos);
}

TEST_F(ModerniseProg, CursorWaitsForItsKey) {
  write("map.txt", line({{0, "0f"}, {43, "IMG00001"}}) + "\n99999\n" +
                       line({{0, "0f"}, {43, "IMG00002"}}) + "\n12345\n");
  write("l.txt", line({{10, "12345"}, {16, "Z"}}) + "\n" + line({{10, "zzzzz"}, {16, "Z"}}) + "\n");
  std::string out, err;
  ASSERT_EQ(run({"-mmap.txt", "l.txt"}, out, err), 0);
  EXPECT_EQ(out.find("Source image"), std::string::npos);
  // An empty map ends at once; not even a "zzzzz" line passes its end.
  write("empty.txt", "");
  ASSERT_EQ(run({"-mempty.txt", "l.txt"}, out, err), 0);
  EXPECT_EQ(out.substr(0, 16), "Mapping 0 items\n");
  EXPECT_EQ(out.find("Source image"), std::string::npos);
}

TEST_F(ModerniseProg, MapKeepsAtMost1999Entries) {
  std::string m, l;
  for (int i = 0; i < 2100; i++) {
    m += line({{0, "0f"}, {43, "P"}}) + std::to_string(i) + "\n" + std::to_string(10000 + i) + "\n";
    l += line({{10, std::to_string(10000 + i).c_str()}, {16, "Z"}}) + "\n";
  }
  write("map.txt", m);
  write("l.txt", l);
  std::string out, err;
  ASSERT_EQ(run({"-mmap.txt", "l.txt", "o.htm"}, out, err), 0);
  EXPECT_EQ(out, "Mapping 1999 items\n");
  std::string page = read("o.htm");
  EXPECT_NE(page.find("/P1998.JPG>"), std::string::npos);
  EXPECT_EQ(page.find("/P1999.JPG>"), std::string::npos);
}

TEST_F(ModerniseProg, MapFailuresAndReplacement) {
  write("map.txt", line({{0, "0f"}, {43, "IMG00001"}}) + "\n12345\n");
  write("l.txt", line({{10, "12345"}, {16, "Z"}}) + "\n");
  std::string out, err;
  // A missing map is reported and the page is made without image links.
  ASSERT_EQ(run({"-mnomap.txt", "l.txt"}, out, err), 0);
  EXPECT_EQ(err, "nomap.txt: No such file or directory\n");
  EXPECT_EQ(out, head + line({{10, "12345"}, {16, "Z"}}) + "\n" + tail);
  // A second -m replaces the first list.
  write("map2.txt", "");
  ASSERT_EQ(run({"-mmap.txt", "-mmap2.txt", "l.txt"}, out, err), 0);
  EXPECT_EQ(out.find("Source image"), std::string::npos);
  EXPECT_EQ(out.substr(0, 32), "Mapping 1 items\nMapping 0 items\n");
}

TEST_F(ModerniseProg, CommandLine) {
  write("l.txt", procr + "\n" + instr("76", "") + "\n");
  std::string out, err;
  // Options after the listing name are file names: "-a" is the output file.
  ASSERT_EQ(run({"l.txt", "-a"}, out, err), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(read("-a"), conv(procr + "\n" + instr("76", "") + "\n"));
  // -a counts; -aN sets; unknown letters are ignored.
  ASSERT_EQ(run({"-a", "-x", "-a", "l.txt"}, out, err), 0);
  EXPECT_EQ(out, conv(procr + "\n" + instr("76", "") + "\n", mode(2)));
  ASSERT_EQ(run({"-a", "-a1", "l.txt"}, out, err), 0);
  EXPECT_EQ(out, conv(procr + "\n" + instr("76", "") + "\n", mode(1)));
  // Failures.
  EXPECT_EQ(run({"-a"}, out, err), 2);
  EXPECT_EQ(err.substr(0, 17), "usage: modernise ");
  EXPECT_EQ(run({"none.txt"}, out, err), 1);
  EXPECT_EQ(err, "none.txt: No such file or directory\n");
  EXPECT_EQ(run({"l.txt", "nodir/o.htm"}, out, err), 1);
  EXPECT_EQ(err, "nodir/o.htm: No such file or directory\n");
  EXPECT_EQ(run({"."}, out, err), 1);  // a folder opens but cannot be read
  EXPECT_EQ(err, ".: Is a directory\n");
  write("o.htm", "old page\n");  // an output file named is left as it was
  EXPECT_EQ(run({".", "o.htm"}, out, err), 1);
  EXPECT_EQ(err + read("o.htm"), ".: Is a directory\nold page\n");
}

TEST_F(ModerniseProg, ConvertsTheBundledSample) {
  std::string out, err;
  std::string ex = std::string(SOURCE_DIR) + "/examples/";
  ASSERT_EQ(
      run({"-a1", "-m" + ex + "sample-imagemap.txt", ex + "sample-listing.txt", "s.htm"}, out, err),
      0)
      << err;
  std::string page = read("s.htm");
  // Every link to a definition or index entry has its anchor.
  for (const char* kind : {"r", "c"}) {
    std::string href = std::string("HREF=#") + kind;
    size_t n = 0;
    for (size_t p = page.find(href); p != std::string::npos; p = page.find(href, p + 1), n++) {
      size_t e = page.find('>', p);
      std::string num = page.substr(p + href.size(), e - p - href.size());
      EXPECT_NE(page.find(std::string("NAME=") + kind + num + ">"), std::string::npos)
          << kind << num;
    }
    EXPECT_GT(n, 3u);
  }
  EXPECT_NE(page.find("Source image"), std::string::npos);
}

}  // namespace
