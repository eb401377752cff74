#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "dump.h"
#include "tape.h"

namespace {

struct DumpTest : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/dumptestXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
  std::string path(const char* name) { return dir + "/" + name; }

  std::string bytes(const std::string& name, const std::vector<unsigned char>& b) {
    std::string f = path(name.c_str());
    FILE* fp = std::fopen(f.c_str(), "wb");
    if (!b.empty()) std::fwrite(b.data(), 1, b.size(), fp);
    std::fclose(fp);
    return f;
  }
  std::string image(const std::string& name, const std::vector<int32_t>& w) {
    std::vector<unsigned char> b;
    for (int32_t v : w) {
      for (int k = 0; k < 4; k++) b.push_back((uint32_t)v >> (8 * k));
    }
    return bytes(name, b);
  }
};

// The dump of the file f, headed with the name given; its reports go to
// *err. The status is 1 with a report, 0 without.
std::string dumped(const std::string& f, const char* name, std::string* err = nullptr) {
  int fd = open(f.c_str(), O_RDONLY);
  char *text = nullptr, *etext = nullptr;
  size_t len = 0, elen = 0;
  FILE* out = open_memstream(&text, &len);
  FILE* e = open_memstream(&etext, &elen);
  int rc = dump::dump(fd, name, out, e);
  std::fclose(out);
  std::fclose(e);
  close(fd);
  EXPECT_EQ(rc, elen > 0 ? 1 : 0) << etext;
  std::string s(text, len);
  if (err) *err = std::string(etext, elen);
  std::free(text);
  std::free(etext);
  return s;
}

// Pair of words holding the five character codes c.
void pair(const int c[5], int32_t* lo, int32_t* up) {
  uint64_t v = 0;
  for (int k = 0; k < 5; k++) v = v << 8 | c[k];
  *lo = v & 0xFFFFF;
  *up = v >> 20;
}

TEST_F(DumpTest, EmptyImage) {
  std::string f = image("e.zelk", {});
  EXPECT_EQ(dumped(f, "e.zelk"), "File: e.zelk\n");
}

TEST_F(DumpTest, WrittenBlockAndClosingBlock) {
  std::string f = path("MT18.zelk");
  int fd = tape::open_write(f.c_str());
  std::vector<int32_t> store(tape::STORE, 0);
  tape::Pos p;
  store[504] = 126;
  int g;
  ASSERT_EQ(tape::number(p, store.data(), 500), tape::OK);
  ASSERT_EQ(tape::find_end(store.data(), 500, &g), tape::OK);
  ASSERT_EQ(tape::put(fd, p, store.data(), 500, g), tape::OK);
  ASSERT_EQ(tape::close_block(fd, p, store.data()), tape::OK);
  close(fd);
  EXPECT_EQ(
      dumped(f, "MT18.zelk"),
      "File: MT18.zelk\n"
      "\nBlock 1,  size = 6 (prev = 0)\n"
      "   0 000000 00048     8 000000 00000       000000 0007E     #\n"
      "\nBlock 2,  size = 8 (prev = 6)\n"
      "   0 000000 00049     9 06F6F6 F6F6F \\\\\\\\\\ 056596 55972 FINIS 07E000 0007E #   #\n");
}

TEST_F(DumpTest, OddAndEmptyBlocksAndLines) {
  // Odd first block: the word past it is 0. Then a block of 12 words (two
  // lines), a block of size 0, and an odd block whose last pair takes its
  // upper word from the longer block before.
  std::vector<int32_t> w = {1, 0x41};
  w.push_back((1 << 11) + 12);
  for (int i = 0; i < 12; i++) w.push_back(0x100 + i);
  w.push_back(12 << 11);
  w.insert(w.end(), {3, 0x51, 0x52, 0x53});
  std::string f = image("odd.zelk", w);
  EXPECT_EQ(dumped(f, "odd.zelk"),
            "File: odd.zelk\n"
            "\nBlock 1,  size = 1 (prev = 0)\n"
            "   0 000000 00041     1\n"
            "\nBlock 2,  size = 12 (prev = 1)\n"
            "   0 000101 00100  --1  000103 00102  -012 000105 00104  -!14"
            " 000107 00106  -!16 000109 00108  -!18\n"
            "  10 00010B 0010A  -!1t\n"
            "\nBlock 3,  size = 0 (prev = 12)\n"
            "\nBlock 4,  size = 3 (prev = 0)\n"
            "   0 000052 00051  5& A 000103 00053  -0 C\n");
}

TEST_F(DumpTest, RenderingTable) {
  char m[256];
  dump::table(m);
  // Both forms of a code give the same character.
  for (int c : {0x01, 0x11, 0x21, 0x31, 0x32, 0x0A, 0x2E, 0x2F, 0x0F, 0x3D}) {
    EXPECT_EQ(m[c], m[c + 0x40]) << std::hex << c;
  }
  EXPECT_EQ(std::string(m + 0x41, 9), "123456789");
  EXPECT_EQ(std::string(m + 0x61, 9), "JKLMNOPQR");
  EXPECT_EQ(std::string(m + 0x71, 9), "/STUVWXYZ");
  EXPECT_EQ(std::string(m + 0x0A, 6), "te+:.p");
  EXPECT_EQ(std::string(m + 0x2B, 5), "%><h\\");
  EXPECT_EQ(m[0x00], ' ');
  EXPECT_EQ(m[0x10], '-');
  EXPECT_EQ(m[0x20], '&');
  EXPECT_EQ(m[0x30], '0');
  EXPECT_EQ(m[0x5E], ' ');
  EXPECT_EQ(m[0x1E], '\n');
  EXPECT_EQ(m[0x7E], '#');
  EXPECT_EQ(m[0x3E], '!');
  for (int c : {0x2A, 0x6A, 0x40, 0x50, 0x60, 0x70, 0x1F, 0x3F, 0x5F, 0x7F, 0x80, 0xC1, 0xFF}) {
    EXPECT_EQ(m[c], '!') << std::hex << c;
  }

  // Through a dump: the codes that render differently from the emulator.
  const int a[5] = {0x0F, 0x4F, 0x2A, 0x6A, 0x3E}, b[5] = {0x5E, 0x1E, 0x7E, 0x00, 0x40};
  std::vector<int32_t> w(5);
  w[0] = 4;
  pair(a, &w[1], &w[2]);
  pair(b, &w[3], &w[4]);
  std::string f = image("r.zelk", w);
  EXPECT_EQ(dumped(f, "r.zelk"),
            "File: r.zelk\n\nBlock 1,  size = 4 (prev = 0)\n"
            "   0 00F4F2 A6A3E pp!!! 05E1E7 E0040  \n# !\n");
}

TEST(Render, HighBits) {
  char m[256], s[6] = {0};
  dump::table(m);
  // Bits of the upper word above 19 are ignored.
  dump::render(m, 0x7FF51515, 0x15151, s);
  EXPECT_STREQ(s, "AAAAA");
  dump::render(m, (int32_t)0x80051515, 0x15151, s);
  EXPECT_STREQ(s, "AAAAA");
  // Those of the lower word above bit 19 are shifted into the second character.
  dump::render(m, 0x51515, (int32_t)0x80015151, s);
  EXPECT_STREQ(s, "A!AAA");
}

// The dump as plain printf would give it, from the whole file in memory,
// with the characters taken from a table written out here.
std::string reference(const std::vector<int32_t>& w, size_t nbytes) {
  // Host characters of the codes 0x00-0x7F, sixteen to a row; the rest "!".
  const std::string chars =
      " 123456789te+:.p-ABCDEFGHI=*'?\n!&JKLMNOPQR!%><h\\0/STUVWXYZ(),;!!"
      "!123456789te+:.p!ABCDEFGHI=*'? !!JKLMNOPQR!%><h\\!/STUVWXYZ(),;#!";
  std::string out = "File: ref\n";
  std::vector<int32_t> buf(2048, 0);
  size_t pos = 0;  // in bytes
  char line[64];
  for (long blocks = 1; pos < nbytes; blocks++) {
    int32_t h = w[pos / 4];
    pos += 4;
    int size = h & 0x7FF;
    snprintf(line, sizeof line, "\nBlock %ld,  size = %d (prev = %d)", blocks, size, h >> 11);
    out += line;
    for (int i = 0; i < size && pos < nbytes; i++, pos += 4) buf[i] = w[pos / 4];
    for (int i = 0; i < size; i += 2) {
      if (i % 10 == 0) {
        snprintf(line, sizeof line, "\n%4d", i);
        out += line;
      }
      // The five bytes of the upper word's 20 bits over the lower word,
      // whose bits above 19 fall into the characters above.
      uint64_t v = (uint64_t)(buf[i + 1] & 0xFFFFF) << 20 | (uint32_t)buf[i];
      char s[6] = {0};
      for (int k = 0; k < 5; k++) {
        unsigned c = v >> (32 - 8 * k) & 0xFF;
        s[k] = c < 0x80 ? chars[c] : '!';
      }
      snprintf(line, sizeof line, " %06X %05X %s", buf[i + 1], buf[i], s);
      out += line;
    }
    out += "\n";
  }
  return out;
}

TEST_F(DumpTest, MatchesPrintfOnRandomImages) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; round++) {
    std::vector<int32_t> w;
    int prev = 0;
    for (int b = 0; b < 30; b++) {
      int size = rng() % 5 == 0 ? rng() % 2048 : rng() % 40;
      w.push_back((prev << 11) + size);
      for (int i = 0; i < size; i++) {
        uint32_t v = rng();
        w.push_back(rng() % 3 ? v & 0xFFFFF : v);  // mostly short words
      }
      prev = size;
    }
    size_t n = (w.size() - rng() % 1000) * 4;  // a last block cut short
    std::vector<unsigned char> b;
    for (size_t i = 0; i < n; i++) b.push_back((uint32_t)w[i / 4] >> (8 * (i % 4)));
    std::string f = bytes("rnd.zelk", b);
    std::string err;  // the last block is mostly cut short
    ASSERT_EQ(dumped(f, "ref", &err), reference(w, n)) << "round " << round;
  }
}

TEST_F(DumpTest, DamagedImages) {
  // Block 2 cut in its second word, then in its header: printed from the
  // buffer as before, as a whole block holding those words would be.
  std::vector<int32_t> one = {4, 0x11, 0x70012, 0x13, 0x14};
  std::vector<unsigned char> b(20);
  for (int i = 0; i < 20; i++) b[i] = (uint32_t)one[i / 4] >> (8 * (i % 4));
  b.insert(b.end(), {0x04, 0x20, 0, 0, 0x21, 0, 0, 0, 0x21, 0x43});
  std::vector<int32_t> held = one;
  held.insert(held.end(), {(4 << 11) + 4, 0x21, 0x74321, 0x13, 0x14});
  std::string err;
  EXPECT_EQ(dumped(bytes("c.zelk", b), "t", &err), dumped(image("w.zelk", held), "t"));
  EXPECT_EQ(err, "tapedump: t: block 2 cut short: 1 of 4 words read\n");
  b.resize(22);
  b[20] = 0x03;  // over the word 0x11: size 3, and the first word shown
  held.resize(5);
  held.insert(held.end(), {(4 << 11) + 3, (4 << 11) + 3, 0x70012, 0x13});
  EXPECT_EQ(dumped(bytes("c.zelk", b), "t", &err), dumped(image("w.zelk", held), "t"));
  EXPECT_EQ(err, "tapedump: t: block 2 cut short: 2 of 4 header bytes read\n");
  EXPECT_EQ(dumped(dir, "d", &err), "File: d\n");  // a host read error
  EXPECT_EQ(err, "tapedump: d: block 1: read error: Is a directory\n");
}

// Runs the built program; returns its exit status, output in out and err.
int run(const std::string& args, std::string* out, std::string* err, const std::string& dir) {
  std::string o = dir + "/out.txt", e = dir + "/err.txt";
  std::string cmd = std::string(BIN_DIR) + "/tapedump " + args + " >" + o + " 2>" + e;
  int st = std::system(cmd.c_str());
  auto slurp = [](const std::string& f) {
    std::string s;
    FILE* fp = std::fopen(f.c_str(), "rb");
    char b[4096];
    size_t n;
    while (fp && (n = std::fread(b, 1, sizeof b, fp)) > 0) s.append(b, n);
    if (fp) std::fclose(fp);
    return s;
  };
  *out = slurp(o);
  *err = slurp(e);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST_F(DumpTest, Program) {
  std::string out, err;
  EXPECT_EQ(run("", &out, &err, dir), 2);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "usage: tapedump IMAGE\n");

  std::string missing = path("none.zelk");
  EXPECT_EQ(run(missing, &out, &err, dir), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, missing + ": No such file or directory\n");

  std::string f = image("p.zelk", {2, 0x48, 0, 0});
  EXPECT_EQ(run(f + " extra", &out, &err, dir), 0);
  std::string want = "File: " + f + "\n";
  want += "\nBlock 1,  size = 2 (prev = 0)\n   0 000000 00048     8\n";
  want += "\nBlock 2,  size = 0 (prev = 0)\n";
  EXPECT_EQ(out, want);
  EXPECT_EQ(err, "");
  f = image("c.zelk", {2, 0x48, 0, 3, 1});
  EXPECT_EQ(run(f, &out, &err, dir), 1);
  EXPECT_EQ(err, "tapedump: " + f + ": block 2 cut short: 1 of 3 words read\n");
}

}  // namespace
