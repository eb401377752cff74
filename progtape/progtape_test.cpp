// The program tape analyser on tapes made by the tape builder, and the road
// from a tape description through progtape to a running program.
#include "progtape.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "builder.h"
#include "tape.h"

using tb::ins;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Out {
  int status = -1;
  std::string out, err, map;
  bool has_map = false;
};

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

// The lines of text that begin with prefix.
std::vector<std::string> starting(const std::string& text, const std::string& prefix) {
  std::vector<std::string> v;
  for (const std::string& l : lines(text))
    if (l.compare(0, prefix.size(), prefix) == 0) v.push_back(l);
  return v;
}

std::string slurp(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Three initial chapters, two files and one transit area: n = 14. Chapter 1
// holds chapter 0.
tb::Program basic() {
  tb::Program p;
  p.id = 0x4321;
  p.fp = 3;
  p.mr = 1;
  p.priority = 2;
  p.w38 = 0x38;
  p.w40 = 0x40;
  p.total = 3;
  p.initial = 3;
  p.entry_chapter = 1;
  p.entry_address = 150;
  p.files = {{"AB", 7, 1, 100, 50}, {"CD", 9, 2, 20, 10}};
  p.areas = {{1, 200, 40}};
  tb::Chapter c1;
  c1.number = 1;
  c1.extra = 141;
  c1.words = {{tb::addr_param(1), ins(12, 0, 1, 100)},
              {tb::base_param(2), ins(0, 0, 0, 5)},
              {tb::route_param(p, 1), 0},
              {tb::pointer_param(p, 0), 0}};
  tb::Chapter c2;
  c2.number = 2;
  c2.words = {{0, 0}, {tb::UNLOAD, ins(26, 0, 2, 0)}};
  tb::Chapter c3;
  c3.number = 3;
  c3.words = {{0, 0}, {tb::mod_param(p, 1), ins(1, 0, 0, 7)}};
  p.chapters = {c1, c2, c3};
  return p;
}

// A chapter of n words: a zero word, then 1/0/0 1, 1/0/0 2, ...
tb::Chapter chap(int number, int n) {
  tb::Chapter c;
  c.number = number;
  c.words.push_back({0, 0});
  for (int i = 1; i < n; i++) c.words.push_back({0, ins(1, 0, 0, i)});
  return c;
}

// Five chapters, three initial, loaded in order.
tb::Program overlays(int total) {
  tb::Program p;
  p.total = total;
  p.initial = 3;
  p.files = {{"AB", 7, 1, 0, 10}};
  p.areas = {{1, 20, 10}};
  for (int c = 1; c <= total; c++) p.chapters.push_back(chap(c, 3 + c));
  return p;
}

class ProgTape : public ::testing::Test {
 protected:
  void SetUp() override {
    char t[] = "/tmp/progtape-XXXXXX";
    ASSERT_NE(mkdtemp(t), nullptr);
    dir = t;
    tape = dir + "/tape.zelk";
    mapf = dir + "/map.txt";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  // Runs the analyser with switches sw on the tape of these blocks; args
  // replaces the tape and map arguments when given.
  Out run(const std::vector<tb::Block>& blocks, std::vector<std::string> sw = {},
          const std::vector<std::string>* args = nullptr) {
    EXPECT_TRUE(tb::write(tape.c_str(), blocks));
    std::vector<std::string> a = {"progtape"};
    a.insert(a.end(), sw.begin(), sw.end());
    if (args)
      a.insert(a.end(), args->begin(), args->end());
    else
      a.insert(a.end(), {tape, mapf});
    std::vector<char*> argv;
    for (std::string& s : a) argv.push_back(s.data());
    char *ob = nullptr, *eb = nullptr;
    size_t ol = 0, el = 0;
    FILE* o = open_memstream(&ob, &ol);
    FILE* e = open_memstream(&eb, &el);
    Out r;
    r.status = progtape::run((int)argv.size(), argv.data(), o, e);
    std::fclose(o);
    std::fclose(e);
    r.out.assign(ob, ol);
    r.err.assign(eb, el);
    std::free(ob);
    std::free(eb);
    r.has_map = std::filesystem::exists(mapf);
    if (r.has_map) r.map = slurp(mapf);
    return r;
  }
  Out run(const tb::Program& p, std::vector<std::string> sw = {}) { return run(tb::blocks(p), sw); }

  std::string dir, tape, mapf;
};

// ------------------------------------------------------------ the survey

TEST_F(ProgTape, SurveyAndProgressLines) {
  Out r = run(basic());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "File: " + tape +
                       "\n"
                       "    1 ALLOC block found\n"
                       "   Total chaps = 3 (init 3)  files(R) = 2  Transit Areas = 1\n"
                       "   Enter at address 150 in chapter 1\n"
                       "    2 PASS3 marker for program 04321 found\n"
                       "   40 File details block (2 routes)\n"
                       "   File AB type 7 -- chap 1 annex at 100 length 50\n"
                       "   File CD type 9 -- chap 2 annex at 20 length 10\n"
                       "\n"
                       "Loading\n"
                       "   41 CHAPTer 1 start at 8192 (progid = 04321)\n"
                       "Extra chapter 1 located at 8332 (param = 0)\n"
                       "   43 CHAPTer 2 start at 16384 (progid = 04321)\n"
                       "   45 CHAPTer 3 start at 24576 (progid = 04321)\n");
}

TEST_F(ProgTape, VerboseSurveyLines) {
  tb::Program p = basic();
  p.total = 4;  // one overlay chapter
  p.chapters.push_back(chap(4, 2));
  p.index = 0x45;  // index number: low six bits
  Out r = run(p, {"-v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("   Sort out overlays\n"));
  EXPECT_THAT(r.out, HasSubstr("    2 Found INDEX block 5 - block size 16\n"
                               "Prog 04321 -- also 04321 - block size 16\n"
                               "    2 PASS3 marker for program 04321 found\n"));
  EXPECT_THAT(r.out, HasSubstr("   TA start 8392 chap 1 length 40\n"));
  EXPECT_THAT(r.out, HasSubstr("  3 chapters\n   2 routes\n   1 transit areas\nLoading\n"));
  // -v3 and -v -v are verbose too; -v0 is not.
  EXPECT_THAT(run(p, {"-v3"}).out, HasSubstr("Sort out overlays"));
  EXPECT_THAT(run(p, {"-v", "-v"}).out, HasSubstr("Sort out overlays"));
  EXPECT_THAT(run(p, {"-v", "-v0"}).out, Not(HasSubstr("Sort out overlays")));
}

TEST_F(ProgTape, ChapterStartBlocksSeenByTheSurvey) {
  // A CHAPT block among the blocks before the file details is reported by
  // the survey, and the loading pass never sees it.
  tb::Program p = basic();
  std::vector<tb::Block> b = tb::blocks(p);
  b[10] = tb::chapt_block(7, 0x777);
  Out r = run(b);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("    9 CHAPTer 7 start block (progid = 00777)\n"));
  EXPECT_THAT(r.map, Not(HasSubstr("chapter 7")));
}

TEST_F(ProgTape, BaseOptions) {
  Out r = run(basic(), {"-b100", "-b5000"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.map, HasSubstr("L100 loading chapter 1 "));
  EXPECT_THAT(r.map, HasSubstr("L5000 loading chapter 2 "));
  EXPECT_THAT(r.map, HasSubstr("L24576 loading chapter 3 "));
  EXPECT_THAT(r.map, HasSubstr("   Param 1 =   100  || Param 11 =  8 \n"
                               "   Param 2 =   100  || Param 12 = 10-\n"
                               "   Param 3 =  5000  || Param 13 = 12-\n"
                               "   Param 4 =  5000  || Param 14 = 14-\n"
                               "   Param 5 = 24576 \n"
                               "   Param 6 =     0 \n"));
  EXPECT_THAT(r.map, HasSubstr("E250 entering at address 150 in chapter 1\n"));

  // At most 14, each a store address.
  std::filesystem::remove(mapf);
  std::vector<std::string> sw;
  for (int i = 1; i <= 15; i++) sw.push_back("-b" + std::to_string(100 * i));
  r = run(basic(), sw);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "More than 14 -b options: -b1500\n");
  EXPECT_FALSE(r.has_map);
  sw.pop_back();
  EXPECT_EQ(run(basic(), sw).status, 0);

  r = run(basic(), {"-b40000"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Base address 40000 out of range 0-32767\n");
  EXPECT_EQ(run(basic(), {"-bx"}).status, 1);
}

TEST_F(ProgTape, FileAndTransitAreaReallocatedToTheLastInitialChapter) {
  tb::Program p = overlays(5);
  p.files = {{"AB", 7, 4, 100, 50}, {"CD", 7, 5, 30, 5}};
  p.areas = {{5, 200, 40}, {4, 60, 8}};
  p.chapters[0].extra = 141;
  Out r = run(p);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("   File AB type 7 -- chap 4 annex at 100 length 50\n"
                               "    Annex 0 is in chapter 4 - reallocated to 3\n"
                               "   File CD type 7 -- chap 5 annex at 30 length 5\n"
                               "Transit area 0 is in chapter 5 - reallocated to 3\n"));
  // Route and pseudo-route pointers: 24576 + 200, 24576 + 100, then the
  // second pair in chapter 4 and 5's shared area (16384), unreallocated.
  EXPECT_THAT(r.map, HasSubstr("L72 loading route and pseudo-route pointers for program ID 01234\n"
                               "0/0/3 200 [72] 0060C8\n"
                               "0/0/3 100 [73] 006064\n"));
  EXPECT_THAT(r.map, HasSubstr("0/0/2 60 [81] 00403C\n0/0/2 30 [82] 00401E\n"));
  // Chapter 0 takes the reallocated addresses too.
  EXPECT_THAT(r.map, HasSubstr("[8258] 006064  C + 66\n"));
  EXPECT_THAT(r.map, HasSubstr("[8259] 006096  C + 67\n"));
  EXPECT_THAT(r.map, HasSubstr("[8262] 0060C8  C + 70\n"));
  EXPECT_THAT(r.map, HasSubstr("[8263] 0060F0  C + 71\n"));
  EXPECT_THAT(r.map, HasSubstr("[8260] 00401E  C + 68\n"));
}

TEST_F(ProgTape, SixFilesAndTheContinuationBlock) {
  tb::Program p = basic();
  p.files.clear();
  const char* names[] = {"AB", "CD", "EF", "GH", "IJ", "KL"};
  for (int a = 0; a < 6; a++) p.files.push_back({names[a], 7, 2, 10 * a, 5});
  p.areas = {{1, 200, 40}, {3, 0, 20}};
  std::vector<tb::Block> b = tb::blocks(p);
  ASSERT_EQ(tb::details_blocks(p).size(), 2u);
  Out r = run(b);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("   40 File details block (6 routes)\n"
                               "   File AB type 7 -- chap 2 annex at 0 length 5\n"
                               "   File CD type 7 -- chap 2 annex at 10 length 5\n"
                               "   File EF type 7 -- chap 2 annex at 20 length 5\n"
                               "   File GH type 7 -- chap 2 annex at 30 length 5\n"
                               "   File IJ type 7 -- chap 2 annex at 40 length 5\n"
                               "   File KL type 7 -- chap 2 annex at 50 length 5\n\nLoading\n"));
  // Files on routes 9-54, transit areas on pseudo-routes 8 and 17.
  EXPECT_THAT(r.map, HasSubstr("program ID 04321\n0/0/1 200 [72] 0020C8\n0/0/2 0 [73] 004000\n"));
  EXPECT_THAT(r.map, HasSubstr("0/0/0 0 [80]\n0/0/3 0 [81] 006000\n0/0/2 10 [82] 00400A\n"));
  EXPECT_THAT(r.map, HasSubstr("0/0/0 0 [116]\n0/0/0 0 [117] 000000\n0/0/2 50 [118] 004032\n"
                               "L8192 loading chapter 1"));
  EXPECT_THAT(r.map, HasSubstr("[8237] 006263  C + 45\n"));  // KL
  // n = 6 + 6 + 4 + 4 = 20: parameter 20 is listed.
  EXPECT_THAT(r.map, HasSubstr("   Param 0 =     0  || Param 10 = 36  || Param 20 = 14-\n"));
}

TEST_F(ProgTape, IndexBlockAnywhereBeforeTheFileDetails) {
  // The two blocks read with the INDEX block are not counted, so the file
  // details block lies two blocks further into the image.
  tb::Program p = basic();
  p.marker = false;
  std::vector<tb::Block> b = tb::blocks(p);  // ALLOC, 38 fillers, details...
  std::vector<tb::Block> m = tb::marker_blocks(basic());
  b.erase(b.begin() + 12);  // one filler fewer: the INDEX block counts
  b.insert(b.begin() + 11, m.begin(), m.end());
  Out r = run(b);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("   12 PASS3 marker for program 04321 found\n"
                               "   40 File details block (2 routes)\n"));
  EXPECT_THAT(r.map,
              HasSubstr("L72 loading route and pseudo-route pointers for program ID 04321\n"));
}

TEST_F(ProgTape, NoPass3Marker) {
  tb::Program p = basic();
  p.pass3 = false;
  Out r = run(p, {"-v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("This is not the PASS3 marker 071222\n"));
  EXPECT_THAT(r.out, HasSubstr("\nLoading\nNo PASS3 marker found\n"));
  EXPECT_THAT(r.map,
              HasSubstr("L72 loading route and pseudo-route pointers for program ID 00000\n"));
  EXPECT_THAT(r.map, Not(HasSubstr("PASS3")));
  p.marker = false;
  r = run(p);
  EXPECT_THAT(r.out, HasSubstr("\nLoading\nNo PASS3 marker found\n"));
  EXPECT_THAT(r.out, HasSubstr("   40 File details block"));
}

TEST_F(ProgTape, FileNameCharacters) {
  EXPECT_EQ(progtape::name_char(0x6F), '?');
  EXPECT_EQ(progtape::name_char(0x41), '1');
  EXPECT_EQ(progtape::name_char(0x01), '1');
  EXPECT_EQ(progtape::name_char(0x30), '0');
  EXPECT_EQ(progtape::name_char(0x70), '?');
  EXPECT_EQ(progtape::name_char(0x31), 'R');
  EXPECT_EQ(progtape::name_char(0x71), '/');
  EXPECT_EQ(progtape::name_char(0x11), 'A');
  EXPECT_EQ(progtape::name_char(0xE9), 'R');  // code AND 0x7F
  EXPECT_EQ(progtape::name_char(0x72), 'S');
  EXPECT_EQ(progtape::name_char(0x39), 'Z');
}

// ------------------------------------------------------ map: head lines

TEST_F(ProgTape, ParameterLinesAndRoutePointers) {
  Out r = run(basic());
  ASSERT_EQ(r.status, 0);
  std::vector<std::string> m = lines(r.map);
  ASSERT_GT(m.size(), 25u);
  std::vector<std::string> head(m.begin(), m.begin() + 25);
  EXPECT_THAT(head,
              ::testing::ElementsAre(
                  "    PASS3 marker for program 04321", "", "   Param 0 =     0  || Param 10 = 72-",
                  "   Param 1 =  8192  || Param 11 =  8 ", "   Param 2 =     0  || Param 12 = 10-",
                  "   Param 3 = 16384  || Param 13 = 12-", "   Param 4 =     0  || Param 14 = 14-",
                  "   Param 5 = 24576 ", "   Param 6 =     0 ", "   Param 7 =     9 ",
                  "   Param 8 =    18 ", "   Param 9 =     8 ", "",
                  "L72 loading route and pseudo-route pointers for program ID 04321",
                  "0/0/1 200 [72] 0020C8", "0/0/1 100 [73] 002064", "0/0/0 0 [74]", "0/0/0 0 [75]",
                  "0/0/0 0 [76]", "0/0/0 0 [77]", "0/0/0 0 [78]", "0/0/0 0 [79]", "0/0/0 0 [80]",
                  "0/0/0 0 [81] 000000", "0/0/2 20 [82] 004014"));
  EXPECT_EQ(m[25], "L8192 loading chapter 1 for program ID 04321");
}

// The chapter 0 words of a map, by offset, checked against their location
// and their hexadecimal form.
std::map<int, int32_t> chapter0(const std::string& map, int base) {
  std::map<int, int32_t> w;
  int count = 0;
  for (const std::string& l : lines(map)) {
    int a, c, b, m, loc, i;
    unsigned hex;
    if (std::sscanf(l.c_str(), "%d/%d/%d %d [%d] %X  C + %d", &a, &c, &b, &m, &loc, &hex, &i) != 7)
      continue;
    EXPECT_EQ(i, count) << l;
    EXPECT_EQ(loc, base + i) << l;
    EXPECT_EQ((unsigned)((a * 8 + c * 4 + b) * 8192 + m), hex) << l;
    if (hex) w[i] = (int32_t)hex;
    count++;
  }
  EXPECT_EQ(count, 140);
  return w;
}

TEST_F(ProgTape, ExtraChapterHoldsChapter0) {
  Out r = run(basic());
  ASSERT_EQ(r.status, 0);
  EXPECT_THAT(r.map, HasSubstr("L8192 loading chapter 1 for program ID 04321\n"
                               "X8192 chapter 0 located at 141\n"
                               "0/0/0 3 [8192] 000003  C + 0\n"));
  EXPECT_THAT(r.map, HasSubstr("7/1/0 9 [8226] 078009  C + 34\n"));
  EXPECT_THAT(r.map, HasSubstr("0/0/0 0 [8331] 000000  C + 139\n"
                               "L8332 extra chapter 1 located at 141\n"
                               "0/0/0 141 [8332] 00008D p=0\n"
                               "12/0/1 100 [8333] 0C2064 p=2\n"
                               "0/0/2 5 [8334] 004005 p=3\n"
                               "0/0/0 18 [8335] 000012 p=8\n"
                               "16/0/0 72 [8336] 100048 p=10\n"
                               "L16384 loading chapter 2"));
  std::map<int, int32_t> want = {
      {0, 3},          {1, 1},         {2, 2},          {3, 3},       {4, 3},
      {5, 2},          {6, 1},         {8, 8342},       {9, 1},       {10, 7},
      {12, 0x38},      {13, 0x40},     {14, 15},        {15, 1},      {16, 6},
      {18, 6},         {20, 8192},     {21, 16384},     {22, 24576},  {23, 24580},
      {34, 0x78009},   {35, 0x5152},   {36, 0x98012},   {37, 0x5354}, {38, 0x8008},
      {66, 8292},      {67, 8342},     {68, 16404},     {69, 16414},  {70, 8392},
      {71, 8432},      {99, 8192},     {101, 16384},    {103, 24576}, {105, 9},
      {106, 18},       {107, 8},       {108, 0x100048}, {109, 8},     {110, 0x10000A},
      {111, 0x10000C}, {112, 0x10000E}};
  EXPECT_EQ(chapter0(r.map, 8192), want);

  // A device type of 15 is written as 5; a second name character with
  // digit 0 keeps its zone clear.
  tb::Program p = basic();
  p.files[0] = {"A0", 15, 1, 100, 50};
  std::map<int, int32_t> w = chapter0(run(p).map, 8192);
  EXPECT_EQ(w[34], 0x58009);
  EXPECT_EQ(w[35], 0x5130);
}

// ------------------------------------------------------------ relocation

TEST_F(ProgTape, RelocationActionsAndTheirMessages) {
  tb::Program p = basic();
  p.chapters[1].words = {{0, 0},
                         {tb::GROUP4, ins(23, 0, 2, 0)},
                         {tb::GROUP4, ins(23, 0, 1, 0)},
                         {tb::ALARM, ins(26, 0, 2, 0)},
                         {tb::ALARM, ins(23, 0, 2, 0)},
                         {tb::UNLOAD, ins(26, 0, 2, 0)},
                         {tb::UNLOAD, ins(26, 0, 2, 7)},
                         {tb::OVERLAY, ins(23, 0, 2, 0)},
                         {tb::OVERLAY, ins(12, 1, 3, 4567)},
                         {tb::COMMENT, ins(23, 0, 2, 0)},
                         {tb::COMMENT, ins(26, 0, 2, 0)},
                         {14, ins(1, 0, 0, 1)},
                         {15, ins(1, 0, 0, 2)},
                         {300, ins(1, 0, 0, 3)}};
  Out r = run(p);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.map, HasSubstr("0/0/0 0 [16384] 000000 p=0\n"
                               "23/0/2 4 [16385] 174004 p=256\n"
                               "23/0/1 4 [16386] 172004 p=256\n"
                               "26/0/2 1 [16387] 1A4001 p=512\n"
                               "23/0/2 1 [16388] 174001 p=512\n"
                               "26/0/2 2 [16389] 1A4002 p=768\n"
                               "26/0/2 9 [16390] 1A4009 p=768\n"
                               "23/0/2 5 [16391] 174005 p=1024\n"
                               "12/1/3 4572 [16392] 0CF1DC p=1024\n"
                               "23/0/2 154 [16393] 17409A p=1280\n"
                               "26/0/2 154 [16394] 1A409A p=1280\n"
                               "17/0/0 15 [16395] 11000F p=14\n"
                               "1/0/0 2 [16396] 010002 p=15\n"
                               "1/0/0 3 [16397] 010003 p=300\n"));
  EXPECT_THAT(r.out, HasSubstr("   43 CHAPTer 2 start at 16384 (progid = 04321)\n"
                               "Unexpected action for group 4: 172000 23/0/1 0\n"
                               "Unexpected action for alarm: 174000 23/0/2 0\n"
                               "Unexpected action for unload: 1A4007 26/0/2 7\n"
                               "Unexpected action for overlay: CF1D7 12/1/3 4567\n"
                               "Unexpected action for overlay: 1A4000 26/0/2 0\n"
                               "   46 CHAPTer 3"));
  EXPECT_THAT(r.out, Not(HasSubstr("Unknown")));
  r = run(p, {"-v"});
  EXPECT_THAT(r.out, HasSubstr("Unexpected action for overlay: 1A4000 26/0/2 0\n"
                               "Unknown parameter 15 (F)\n"
                               "Unknown parameter 300 (12C)\n"));
}

TEST_F(ProgTape, ShortWordLines) {
  Out r = run(basic(), {"-q"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.map, HasSubstr("L8332 extra chapter 1 located at 141\n"
                               "0/0/0 141\n12/0/1 100\n0/0/2 5\n0/0/0 18\n16/0/0 72\n"));
  // Chapter 0 and the pointers keep their long form.
  EXPECT_THAT(r.map, HasSubstr("[8192] 000003  C + 0\n"));
  EXPECT_THAT(r.map, HasSubstr("0/0/1 200 [72] 0020C8\n"));
}

TEST_F(ProgTape, ContentOutsideAChapterIsSkipped) {
  // A content block before the first CHAPT block and one after a chapter's
  // end marker write nothing; a chapter ending at entry 1 ends at its base.
  tb::Program p = basic();
  p.chapters[2].words.clear();
  std::vector<tb::Block> b = tb::blocks(p);
  tb::Block stray = tb::content_block({{0, 0}, {0, ins(9, 0, 0, 9)}});
  b.insert(b.begin() + 43, stray);  // before the first CHAPT block
  b.insert(b.begin() + 46, stray);  // after chapter 1's content block
  Out r = run(b);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.map, Not(HasSubstr("9/0/0 9")));
  EXPECT_THAT(r.map, HasSubstr("L24576 loading chapter 3 for program ID 04321\nE8342 "));
}

// ---------------------------------------------------------- overlay lines

TEST_F(ProgTape, OverlayChaptersAndTheirLines) {
  Out r = run(overlays(5));
  EXPECT_EQ(r.status, 0);
  // Chapters 4 and 5 share chapter 2's area; chapter 3 keeps its own.
  EXPECT_THAT(
      starting(r.map, "L"),
      ::testing::ElementsAre("L72 loading route and pseudo-route pointers for program ID 01234",
                             "L8192 loading chapter 1 for program ID 01234",
                             "L16384 loading chapter 2 for program ID 01234",
                             "L24576 loading chapter 3 for program ID 01234",
                             "L16384 loading chapter 4 for program ID 01234",
                             "L16384 loading chapter 5 for program ID 01234"));
  // Chapter 2 ends at 16384 + 5, chapter 4 at 16384 + 7, chapter 5 at + 8.
  EXPECT_THAT(starting(r.map, "O"),
              ::testing::ElementsAre("O00 16384 16389   Overlaying chapter 2 by 4",
                                     "O01 16384 16391   Overlaying chapter 4 by 5",
                                     "O02 16384 16392   Overlaying final chapter 5"));
  EXPECT_THAT(r.out, HasSubstr("Overlaying chapter 2 by 4\n"));
  EXPECT_THAT(r.out, HasSubstr("Overlaying chapter 4 by 5\n"));
  EXPECT_THAT(r.out, HasSubstr("Overlaying last chapter 5\n"));
  // Each overlay line stands before the chapter's first word.
  EXPECT_THAT(r.map, HasSubstr("L16384 loading chapter 5 for program ID 01234\n"
                               "O01 16384 16391   Overlaying chapter 4 by 5\n"
                               "0/0/0 0 [16384] 000000 p=0\n"));
  std::vector<std::string> m = lines(r.map);
  EXPECT_EQ(m[m.size() - 2], "O02 16384 16392   Overlaying final chapter 5");
  EXPECT_EQ(m.back(), "E8192 entering at address 0 in chapter 1");

  r = run(overlays(4));
  EXPECT_THAT(starting(r.map, "O"),
              ::testing::ElementsAre("O00 16384 16389   Overlaying chapter 2 by 4",
                                     "O01 16384 16391   Overlaying final chapter 4"));
}

TEST_F(ProgTape, OverlayOfAChapterWithoutEndMarker) {
  // Chapter 4 never ends: its extent is where its words reached when
  // chapter 5 began.
  tb::Program p = overlays(5);
  p.chapters[3] = chap(4, 14);
  p.chapters[3].end = false;  // 14 words: two blocks, the second padded to 24
  Out r = run(p);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(starting(r.map, "O"),
              ::testing::ElementsAre("O00 16384 16389   Overlaying chapter 2 by 4",
                                     "O01 16384 16408   Overlaying chapter 4 by 5",
                                     "O02 16384 16392   Overlaying final chapter 5"));
  // And the last chapter without end marker, at the end of the tape.
  p = overlays(4);
  p.chapters[3].end = false;
  r = run(p);
  EXPECT_THAT(starting(r.map, "O"),
              ::testing::ElementsAre("O00 16384 16389   Overlaying chapter 2 by 4",
                                     "O01 16384 16396   Overlaying final chapter 4"));
}

TEST_F(ProgTape, NoFinalOverlayLineWithoutChapters) {
  tb::Program p = overlays(4);
  p.chapters.clear();
  Out r = run(p);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.map, Not(HasSubstr("\nO")));
  EXPECT_THAT(r.out, Not(HasSubstr("Overlaying")));
  EXPECT_EQ(lines(r.map).back(), "E8192 entering at address 0 in chapter 1");
}

TEST_F(ProgTape, EntryLine) {
  tb::Program p = overlays(4);
  p.entry_chapter = 2;
  p.entry_address = 10;
  Out r = run(p);
  EXPECT_EQ(lines(r.map).back(), "E16394 entering at address 10 in chapter 2");
  p.entry_chapter = 0;  // chapter 0 lies at 0
  r = run(p, {"-v"});
  EXPECT_EQ(lines(r.map).back(), "E10 entering at address 10 in chapter 0");
  EXPECT_THAT(r.out, Not(HasSubstr("Unknown parameter")));
}

// ------------------------------------------------- blocks of the load pass

TEST_F(ProgTape, NonStandardChaptBlock) {
  std::vector<tb::Block> b = tb::blocks(basic());
  b[45] = tb::chapt_block(2, 0x4321, 50);
  Out r = run(b);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("Extra chapter 1 located at 8332 (param = 0)\n"
                               "Non-standard CHAPT block 43 size 50\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("CHAPTer 3")));
  // The map is kept as far as it was written.
  EXPECT_THAT(r.map, HasSubstr("16/0/0 72 [8336] 100048 p=10\n"));
  EXPECT_THAT(r.map, Not(HasSubstr("\nE")));
}

TEST_F(ProgTape, AllocAndIndexBlocksInTheLoadingPass) {
  tb::Program p = basic();
  std::vector<tb::Block> b = tb::blocks(p);
  tb::Program q = p;
  q.initial = 2;
  q.files.resize(1);
  q.fp = 9;
  b.insert(b.begin() + 45, tb::alloc_block(q));  // before chapter 2
  std::vector<tb::Block> m = tb::marker_blocks(p);
  b.insert(b.begin() + 46, m.begin(), m.end());
  Out r = run(b, {"-v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("   43 ALLOC block found in error\n"
                               "   FP = 9  MR = 1  priority = 2  chaps = 3 (init 2)  files(R) = 1  "
                               "TAs = 1\n"
                               "   44 Found INDEX block 1 - block size 16\n"
                               "Prog 04321 -- also 04321 - block size 16\n"
                               "Prog 04321 -- pass 71223 - block size 16\n"
                               "This is the PASS3 marker\n"
                               "   45 CHAPTer 2 start at 16384 (progid = 04321)\n"));
  // Chapter 3 is now above the initial chapters: an overlay of chapter 1.
  EXPECT_THAT(r.map, HasSubstr("O00  8192  8337   Overlaying chapter 1 by 3\n"));
  EXPECT_THAT(r.map, HasSubstr("O01 24576 24578   Overlaying final chapter 3\n"));
}

TEST_F(ProgTape, OversizeBlockIsCutAtTheBuffer) {
  // A content block of 100 words: its first 64 are taken, the rest skipped,
  // so that the next block is read from its own header.
  tb::Program p = basic();
  std::vector<tb::Block> b = tb::blocks(p);
  tb::Block big = tb::content_block({{0, 0}, {0, ins(2, 0, 0, 2)}, {tb::END, 0}});
  big.resize(100, 0);
  // Words past the buffer that would read as a CHAPT block if the block
  // were not skipped whole.
  tb::Block fake = tb::chapt_block(9, 1);
  big[64] = 54;
  std::copy(fake.begin(), fake.begin() + 35, big.begin() + 65);
  b[46] = big;  // chapter 2's content block
  Out r = run(b);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.map, HasSubstr("0/0/0 0 [16384] 000000 p=0\n2/0/0 2 [16385] 020002 p=0\n"
                               "L24576 loading chapter 3"));
  EXPECT_THAT(r.map, Not(HasSubstr("chapter 9")));
}

TEST_F(ProgTape, SizeZeroBlockEndsTheSurvey) {
  std::vector<tb::Block> b = tb::blocks(basic());
  b[20] = tb::Block();
  Out r = run(b);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, Not(HasSubstr("File details")));
  EXPECT_THAT(r.out, HasSubstr("\nLoading\n"));
  // The loading pass goes on after the empty block: the chapters load, but
  // no route pointers or file entries were found.
  EXPECT_THAT(r.map,
              HasSubstr("0/0/0 0 [72] 000000\n0/0/0 0 [73] 000000\nL8192 loading chapter 1"));
  EXPECT_THAT(r.map, HasSubstr("[8226] 000000  C + 34\n"));
  EXPECT_EQ(lines(r.map).back(), "E8342 entering at address 150 in chapter 1");
}

TEST_F(ProgTape, EmptyImage) {
  Out r = run(std::vector<tb::Block>{});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "File: " + tape + "\n\nLoading\nNo PASS3 marker found\n");
  // Start values: two chapters of each kind, n = 14.
  EXPECT_THAT(r.map, HasSubstr("   Param 9 =    17 \n"));
  EXPECT_THAT(r.map, HasSubstr("L72 loading route and pseudo-route pointers for program ID 00000\n"
                               "0/0/0 0 [72] 000000\n0/0/0 0 [73] 000000\n"
                               "E0 entering at address 0 in chapter 0\n"));
}

// ------------------------------------------------------ refused input

TEST_F(ProgTape, CommandLineAndFiles) {
  std::vector<std::string> none;
  Out r = run(tb::blocks(basic()), {"-v"}, &none);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("usage: progtape"));
  EXPECT_EQ(r.out, "");

  std::vector<std::string> missing = {dir + "/nothing.zelk", mapf};
  r = run(tb::blocks(basic()), {}, &missing);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, dir + "/nothing.zelk: No such file or directory\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(r.has_map);

  std::vector<std::string> folder = {dir, mapf};
  r = run(tb::blocks(basic()), {}, &folder);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, dir + ": Is a directory\n");

  std::vector<std::string> nomap = {tape, dir + "/no/map.txt"};
  r = run(tb::blocks(basic()), {}, &nomap);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, dir + "/no/map.txt: No such file or directory\n");

  // A host read error is no end of the tape.
  progtape::State s;
  s.name = "folder";
  char* eb = nullptr;
  size_t el = 0;
  s.err = open_memstream(&eb, &el);
  FILE* null = std::fopen("/dev/null", "w");
  int fd = open(dir.c_str(), O_RDONLY);
  EXPECT_EQ(progtape::analyse(s, fd, null, null), 1);
  close(fd);
  std::fclose(null);
  std::fclose(s.err);
  EXPECT_EQ(std::string(eb, el), "folder: Is a directory\n");
  std::free(eb);

  // Without a map file the map goes to standard output with the messages.
  std::vector<std::string> only = {tape};
  r = run(tb::blocks(basic()), {}, &only);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("L8332 extra chapter 1 located at 141\n"
                               "Extra chapter 1 located at 8332 (param = 0)\n"));
  EXPECT_THAT(r.out, HasSubstr("\nE8342 entering at address 150 in chapter 1\n"));
  EXPECT_FALSE(r.has_map);
}

TEST_F(ProgTape, ChapterNumbersOutOfRange) {
  std::vector<tb::Block> b = tb::blocks(basic());
  b[45] = tb::chapt_block(15, 0x4321);
  Out r = run(b);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("Chapter 15 out of range 0-14\n"));

  tb::Program p = basic();
  p.files[1].chapter = 0x1F;
  r = run(p);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("   File CD type 9 -- chap 31 annex at 20 length 10\n"
                               "Chapter 31 out of range 0-14\n"));
  EXPECT_THAT(r.map, Not(HasSubstr("L72")));

  p = basic();
  p.areas[0].chapter = 0x100001;  // flagged negative: far above 14
  EXPECT_THAT(run(p).out, HasSubstr("Transit area 0 is in chapter 1048577 - reallocated to 3\n"));
  p.areas.push_back({0x100001, 0, 0});
  EXPECT_THAT(run(p).out, HasSubstr("Chapter 1048577 out of range 0-14\n"));

  p = basic();
  p.entry_chapter = 20;
  r = run(p);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("   Enter at address 150 in chapter 20\nChapter 20 out of range"));
}

TEST_F(ProgTape, CountsBeyondTheLayout) {
  struct Case {
    int total, initial, files, areas;
    const char* msg;
  } cases[] = {
      {15, 3, 1, 1, "Total chapters 15 out of range 0-14\n"},
      {14, 14, 1, 1, "Initial chapters 14 out of range 1-13\n"},
      {3, 0, 1, 1, "Initial chapters 0 out of range 1-13\n"},
      {3, 3, 10, 1, "Files 10 out of range 0-9\n"},
      {3, 3, 1, 11, "Transit areas 11 out of range 0-10\n"},
      {3, 1, 8, 9, "Files and transit areas 17 beyond the limit of 16\n"},
      {13, 13, 6, 3, "Parameters 43 beyond the limit of 42\n"},
  };
  for (const Case& c : cases) {
    tb::Program p = overlays(3);
    p.total = c.total;
    p.initial = c.initial;
    p.files.assign(c.files, {"AB", 7, 1, 0, 1});
    p.areas.assign(c.areas, {1, 0, 1});
    Out r = run(p);
    EXPECT_EQ(r.status, 1) << c.msg;
    EXPECT_THAT(r.out, HasSubstr(c.msg));
    EXPECT_THAT(r.out, Not(HasSubstr("Loading")));
  }
  // The largest layout that fits: 13 initial chapters, 41 parameters.
  tb::Program p = overlays(3);
  p.total = p.initial = 13;
  p.chapters[0].extra = 141;
  p.files.assign(7, {"AB", 7, 1, 0, 1});
  p.areas.assign(2, {1, 0, 1});
  Out r = run(p);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.map, HasSubstr("   Param 9 = 40960  || Param 19 = 81920  || Param 29 = 27 \n"));
  EXPECT_THAT(r.map, HasSubstr("[8331] 10000E  C + 139\n"));  // parameter 41
}

// --------------------------------------------------------- the builder

// The full road below reads a description with most directives; here the
// parameter names that it does not use, and refused descriptions.
TEST(TapeBuilder, Description) {
  const char* text =
      "chapters 2 1\n"
      "file LG 7 1 320 20\n"
      "area 1 240 30\n"
      "chapter 1 extra 141 p=3  # comment\n"
      "word 0x1A p=pointer:0\n"
      "word 5 p=mod2\n"
      "text \"AB # C\"\n"
      "chapter 2\n"
      "open\n";
  tb::Program p;
  std::string err;
  ASSERT_TRUE(tb::parse(text, p, err)) << err;
  ASSERT_EQ(p.chapters.size(), 2u);
  const tb::Chapter& c = p.chapters[0];
  EXPECT_EQ(c.param, 3);
  ASSERT_EQ(c.words.size(), 6u);
  EXPECT_EQ(c.words[0].p, 5);  // pointer of area 0: 2 x 1 + 1 + 2
  EXPECT_EQ(c.words[0].q, 0x1A);
  EXPECT_EQ(c.words[1].p, 8);  // n = 2 + 1 + 2 + 4 = 9: modifier 2 is 8
  int32_t lo, up;
  tb::alpha("AB # ", &lo, &up);
  EXPECT_EQ(c.words[2].q, lo);
  EXPECT_EQ(c.words[3].q, up);
  EXPECT_FALSE(p.chapters[1].end);

  const char* bad[] = {"chapter 1\n7/2/0 5\n",          "word 1\n",
                       "chapter 1\nword 1 p=route:x\n", "file ABC 7 1 0 0\n",
                       "chapter 1\nat 5\nat 3\n",       "text \"AB\n"};
  for (const char* t : bad) {
    tb::Program q;
    EXPECT_FALSE(tb::parse(t, q, err)) << t;
    EXPECT_THAT(err, HasSubstr("line ")) << t;
  }
}

// ----------------------------------------------------- the full road

int sh(const std::string& cmd) {
  int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A program that opens its log tape, writes one block on it, closes it and
// unloads. Route 18 (file 1, device type 7) and pseudo-route 17 (transit
// area 1) come from the tape; so do the parameters that make the register
// blocks' addresses, the route numbers and the Master Routine and unload
// entries.
const char* LEDGER =
    "id 0x4711\n"
    "chapters 1 1\n"
    "entry 1 141\n"
    "file PR 9 1 300 20          # route 9: printer\n"
    "file LG 7 1 320 20          # route 18: the log tape\n"
    "area 1 200 30               # pseudo-route 8\n"
    "area 1 240 30               # pseudo-route 17\n"
    "chapter 1 extra 141\n"
    "0/1/1 150 p=addr:1          # REPLACE REGISTERS: open route 18 for output\n"
    "23/0/2 0 p=group4           # group 4 action\n"
    "0/1/1 156 p=addr:1          # output one block\n"
    "23/0/2 0 p=group4\n"
    "0/1/1 162 p=addr:1          # close\n"
    "23/0/2 0 p=group4\n"
    "26/0/2 0 p=unload\n"
    "at 150                      # register blocks: A lower, A upper, B lower, B upper, radix\n"
    "word 0 p=route:1\n"
    "word 18\n"
    "word 0 p=pseudo:1\n"
    "word 0x6357                 # the file name LG\n"
    "word 0\n"
    "at 156\n"
    "word 0 p=route:1\n"
    "word 8\n"
    "word 0 p=pseudo:1\n"
    "word 0\n"
    "word 0\n"
    "at 162\n"
    "word 0 p=route:1\n"
    "word 28\n"
    "word 0 p=pseudo:1\n"
    "word 0\n"
    "word 0\n"
    "at 244                      # transit area 1, from offset 4\n"
    "text \"LEDGER BALANCED \"\n"
    "word 126                    # end of data\n"
    "word 0\n";

TEST_F(ProgTape, FullRoadFromDescriptionToUnload) {
  std::string bin = BIN_DIR;
  ASSERT_TRUE(std::filesystem::exists(bin + "/emulator")) << "emulator not built";
  {
    std::ofstream d(dir + "/ledger.txt");
    d << LEDGER;
  }
  std::string cd = "cd " + dir + " && ";
  ASSERT_EQ(sh(cd + bin + "/mktape ledger.txt ledger.zelk"), 0);
  ASSERT_EQ(sh(cd + bin + "/progtape -b1000 ledger.zelk ledger.map > survey.txt"), 0);
  std::string map = slurp(dir + "/ledger.map");
  EXPECT_THAT(map, HasSubstr("X1000 chapter 0 located at 141\n"));
  EXPECT_THAT(map, HasSubstr("E1141 entering at address 141 in chapter 1\n"));

  int st = sh(cd + bin + "/emulator -v1 ledger.map > run.txt 2>&1");
  std::string run = slurp(dir + "/run.txt");
  EXPECT_EQ(st, 0) << run;
  EXPECT_THAT(run, HasSubstr("   File 1 is LG type 7 on route 18\n"));
  EXPECT_THAT(run, HasSubstr("PROGRAMME UNLOADED: ADDRESS = 1148 after 7 instructions\n"));
  EXPECT_THAT(run, Not(HasSubstr("Warning")));
  EXPECT_THAT(run, Not(HasSubstr("mismatch")));

  // The block on the log tape: number 8, two zero words, the text and the
  // end of data; then the closing block.
  int fd = open((dir + "/MT-LG.zelk").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0) << run;
  int32_t buf[64] = {};
  ASSERT_EQ(tape::read_buf(fd, buf, 64), 14);
  int32_t lo, up;
  tape::encode(8, &lo, &up);
  EXPECT_EQ(buf[0], lo);
  EXPECT_EQ(buf[1], up);
  EXPECT_EQ(buf[2], 0);
  EXPECT_EQ(buf[3], 0);
  const char* text[] = {"LEDGE", "R BAL", "ANCED"};
  for (int i = 0; i < 3; i++) {
    tb::alpha(text[i], &lo, &up);
    EXPECT_EQ(buf[4 + 2 * i], lo) << i;
    EXPECT_EQ(buf[5 + 2 * i], up) << i;
  }
  EXPECT_EQ(buf[12], 126);
  ASSERT_EQ(tape::read_buf(fd, buf, 64), 8);
  EXPECT_EQ(buf[4], 0x55972);  // FINIS
  EXPECT_EQ(tape::read_buf(fd, buf, 64), -1);
  close(fd);
}

}  // namespace
