#include "tape.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace tape;

// A scratch folder per test, removed afterwards.
struct TapeTest : ::testing::Test {
  std::string dir;
  std::vector<int32_t> store = std::vector<int32_t>(STORE, 0);
  Pos p;

  void SetUp() override {
    char tmpl[] = "/tmp/tapetestXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
  std::string path(const char* name) { return dir + "/" + name; }

  // Build a program block at t whose end-of-data word lies at offset g.
  void program(int t, int g, int fill) {
    for (int i = 4; i < g; i++) store[t + i] = fill + i;
    store[t + g] = 126;
    store[t + g + 1] = 0x7E000;
  }
  // Write one block from t through the three steps.
  Err write(int fd, int t) {
    Err e = number(p, store.data(), t);
    if (e != OK) return e;
    int g;
    e = find_end(store.data(), t, &g);
    if (e != OK) return e;
    return put(fd, p, store.data(), t, g);
  }
};

// All words of a file, little-endian.
std::vector<int32_t> words(const std::string& name) {
  std::vector<int32_t> w;
  int fd = open(name.c_str(), O_RDONLY);
  unsigned char b[4];
  while (read(fd, b, 4) == 4)
    w.push_back((int32_t)(b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24));
  close(fd);
  return w;
}

void put_words(const std::string& name, const std::vector<int32_t>& w) {
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (int32_t v : w) {
    unsigned char b[4] = {(unsigned char)v, (unsigned char)(v >> 8), (unsigned char)(v >> 16),
                          (unsigned char)((uint32_t)v >> 24)};
    ASSERT_EQ(write(fd, b, 4), 4);
  }
  close(fd);
}

// Runs f without the power to override file permissions, which root has,
// so that the permission bits apply to the test as to any other user; the
// power is taken back afterwards.
template <class F>
void unprivileged(F f) {
  __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct had[2], d[2];
  ASSERT_EQ(syscall(SYS_capget, &h, had), 0);
  d[0] = had[0];
  d[1] = had[1];
  d[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
  ASSERT_EQ(syscall(SYS_capset, &h, d), 0);
  f();
  ASSERT_EQ(syscall(SYS_capset, &h, had), 0);
}

TEST(Tape, NumbersAndKeys) {
  int32_t lo, up, dlo, dup;
  encode(8, &lo, &up);
  EXPECT_EQ(lo, 0x00048);
  EXPECT_EQ(up, 0);
  encode(26, &lo, &up);  // 0x00 0x00 0x00 0x41 0x4A
  EXPECT_EQ(lo, 0x0414A);
  EXPECT_EQ(up, 0);
  encode(0x12345, &lo, &up);  // 0x41 0x42 0x43 0x44 0x45: every character split right
  EXPECT_EQ(up, 0x41424);
  EXPECT_EQ(lo, 0x34445);
  for (int n : {0, 0x12345, 0xFFFFF, 0x10203}) {
    encode(n, &lo, &up);
    key(lo, up, &dlo, &dup);
    EXPECT_EQ(dlo, n);
    EXPECT_EQ(dup, 0);
  }
  // "00012" as characters 0x30 0x30 0x30 0x41 0x42 is +12; "-0012" is -12.
  key(0x04142, 0x30303, &dlo, &dup);
  EXPECT_EQ(dlo, 0x12);
  EXPECT_EQ(dup, 0);
  key(0x04142, 0x10303, &dlo, &dup);
  EXPECT_EQ(dlo, 0x12);
  EXPECT_EQ(dup, 0x100000);
  key(0x04142, 0x50303, &dlo, &dup);  // zone 5: low bits 01 too
  EXPECT_EQ(dup, 0x100000);
  key(0x04142, 0x20303, &dlo, &dup);
  EXPECT_EQ(dup, 0);
}

TEST(Tape, Zones) {
  // Two words past the top of the store, which zoning must never touch.
  std::vector<int32_t> s(STORE + 2, 0);
  // Pair of characters 0x01 0x10 0x20 0x30 0x02: only the digits 1 and 2 gain 0x40.
  s[100] = 0x03002;  // char2 low nibble 0, char3 0x30, char4 0x02
  s[101] = 0x01102;  // char0 0x01, char1 0x10, char2 high nibble 2
  zones(s.data(), 100, 2);
  EXPECT_EQ(s[101], 0x41102);
  EXPECT_EQ(s[100], 0x03042);
  // Digit of character 2 in the lower half sets bit 2 of the upper half;
  // character 3's digit sets bit 14; codes already zoned stay as they are.
  s[200] = 0x10100;
  s[201] = 0x40000;
  zones(s.data(), 200, 2);
  EXPECT_EQ(s[201], 0x40004);
  EXPECT_EQ(s[200], 0x14100);
  // Odd size: the word after the block is the upper half of the last pair.
  s[300] = 0x00001;
  s[301] = 0x01000;
  s[302] = 0x00001;
  s[303] = 0x01000;
  zones(s.data(), 300, 3);
  EXPECT_EQ(s[303], 0x41000);
  EXPECT_EQ(s[304], 0);
  // Character 1's digit sets bit 10; the pair after an even block is left.
  s[401] = 0x00020;
  s[402] = 0x00001;
  zones(s.data(), 400, 2);
  EXPECT_EQ(s[401], 0x00420);
  EXPECT_EQ(s[402], 0x00001);
  // At the top of the store the missing upper half is left alone.
  s[STORE - 1] = 0x10001;
  s[STORE] = 0x00021;
  zones(s.data(), STORE - 1, 1);
  EXPECT_EQ(s[STORE - 1], 0x10041);
  zones(s.data(), STORE - 2, 4);
  EXPECT_EQ(s[STORE], 0x00021);
  zones(s.data(), -3, 6);  // only the pair at 1, 2 is in the store
  EXPECT_EQ(s[0], 0);
}

TEST_F(TapeTest, WriteLayoutAndClosingBlock) {
  std::string f = path("MT18.zelk");
  mode_t old = umask(0);
  int fd = open_write(f.c_str());
  umask(old);
  ASSERT_GE(fd, 0);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  store[1000] = store[1001] = store[1002] = store[1003] = -1;  // overwritten
  program(1000, 8, 0x100);                                     // size 10
  ASSERT_EQ(write(fd, 1000), OK);
  EXPECT_EQ(p.count, 8);
  EXPECT_EQ(p.last, 10);
  program(2000, 18, 0x200);  // size 20
  ASSERT_EQ(write(fd, 2000), OK);
  ASSERT_EQ(close_block(fd, p, store.data()), OK);
  EXPECT_EQ(p.last, 8);
  close(fd);

  std::vector<int32_t> w = words(f);
  ASSERT_EQ(w.size(), 11u + 21u + 9u);
  EXPECT_EQ(w[0], 10);
  EXPECT_EQ(w[1], 0x48);  // block number 8
  EXPECT_EQ(w[2], 0);
  EXPECT_EQ(w[3], 0);
  EXPECT_EQ(w[4], 0);
  EXPECT_EQ(w[5], 0x104);
  EXPECT_EQ(w[9], 126);
  EXPECT_EQ(w[10], 0x7E000);
  EXPECT_EQ(w[11], (10 << 11) + 20);
  EXPECT_EQ(w[12], 0x49);  // block number 9
  EXPECT_EQ(w[31], 0x7E000);
  std::vector<int32_t> closing(w.begin() + 32, w.end());
  // Count 10: four blanks and code 0x4A; backslashes, FINIS, end-of-data.
  std::vector<int32_t> want = {(20 << 11) + 8, 0x4A,    0,       0xF6F6F, 0x6F6F6,
                               0x55972,        0x56596, 0x0007E, 0x7E000};
  EXPECT_EQ(closing, want);
  EXPECT_EQ(store[140], 0x4A);
  EXPECT_EQ(store[141], 0);
}

TEST_F(TapeTest, BlockSizeLimits) {
  int fd = open_write(path("a.zelk").c_str());
  int g;
  program(100, 4, 0);  // end word at offset 4: 6 words
  ASSERT_EQ(find_end(store.data(), 100, &g), OK);
  EXPECT_EQ(g, 4);
  store.assign(STORE, 0);
  program(100, 1999, 0x1000);  // the last offset searched: 2001 words
  ASSERT_EQ(write(fd, 100), OK);
  EXPECT_EQ(p.last, 2001);
  store[100 + 1999] = 0;  // no end word from 4 to 1999
  EXPECT_EQ(number(p, store.data(), 100), OK);
  EXPECT_EQ(find_end(store.data(), 100, &g), OVERSIZE);
  close(fd);
  std::vector<int32_t> w = words(path("a.zelk"));
  ASSERT_EQ(w.size(), 2002u);
  EXPECT_EQ(w[0], 2001);
}

TEST_F(TapeTest, ForwardsBackwardsAndStepBack) {
  std::string f = path("b.zelk");
  int fd = open_write(f.c_str());
  for (int b = 0; b < 3; b++) {
    program(500, 6 + 2 * b, 0x10 * b + 1);  // sizes 8, 10, 12; digits without zones
    ASSERT_EQ(write(fd, 500), OK);
  }
  ASSERT_EQ(close_block(fd, p, store.data()), OK);
  close(fd);

  fd = open_read(f.c_str());
  ASSERT_GE(fd, 0);
  Pos r;
  int size;
  std::vector<int32_t> s(STORE, -5);
  ASSERT_EQ(read(fd, r, s.data(), 7000, &size), OK);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(s[7000], 0x48);  // the header was overwritten by the data
  EXPECT_EQ(s[7004], 5);
  EXPECT_EQ(s[7008], -5);  // past the block: untouched
  zones(s.data(), 7000, size);
  EXPECT_EQ(s[7000], 0x48);
  EXPECT_EQ(s[7004], 0x45);  // digit 5 gains its zone bit
  EXPECT_EQ(s[7006], 126);   // 0x7E already zoned
  ASSERT_EQ(read(fd, r, s.data(), 7000, &size), OK);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(s[7000], 0x49);

  // Read backwards gives the block just read, then stepping back over it and
  // reading forwards gives it again.
  s.assign(STORE, 0);
  ASSERT_EQ(read_back(fd, r, s.data(), 300), OK);
  EXPECT_EQ(r.pending, 1);
  EXPECT_EQ(s[300], 0x49);
  EXPECT_EQ(s[308], 126);
  ASSERT_EQ(step_back(fd, r, s.data(), 140), OK);
  EXPECT_EQ(r.pending, 0);
  EXPECT_EQ(r.last, 8);
  EXPECT_EQ(s[140], (8 << 11) + 10);  // the scratch word holds the header
  ASSERT_EQ(read(fd, r, s.data(), 300, &size), OK);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(s[300], 0x49);

  // On to the closing block, then back to the start.
  ASSERT_EQ(read(fd, r, s.data(), 300, &size), OK);
  ASSERT_EQ(read(fd, r, s.data(), 300, &size), OK);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(s[300], 0x4B);
  EXPECT_TRUE(marker(s[302]));  // the closing words at offset 2 pass the test
  EXPECT_EQ(read(fd, r, s.data(), 300, &size), END);
  r.count = 11;
  for (int want : {8, 12, 10, 8}) {
    ASSERT_EQ(read_back(fd, r, s.data(), 300), OK);
    EXPECT_EQ(r.last, want);
    ASSERT_EQ(step_back(fd, r, s.data(), STORE - 1), OK);  // the last word as scratch
  }
  EXPECT_EQ(r.last, 0);
  EXPECT_EQ(r.count, 7);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
  EXPECT_EQ(read_back(fd, r, s.data(), 300), BACK_START);
  EXPECT_EQ(step_back(fd, r, s.data(), 300), STEP_START);
  ASSERT_EQ(read(fd, r, s.data(), 300, &size), OK);
  EXPECT_EQ(s[300], 0x48);
  // Writing a block clears a pending read-back.
  ASSERT_EQ(read_back(fd, r, s.data(), 300), OK);
  ASSERT_EQ(put(fd, r, s.data(), 300, 6), OK);
  EXPECT_EQ(r.pending, 0);
  close(fd);
}

TEST_F(TapeTest, OverwriteInTheMiddle) {
  std::string f = path("c.zelk");
  int fd = open_write(f.c_str());
  for (int b = 0; b < 3; b++) {
    program(500, 10, 0x100 * b);
    ASSERT_EQ(write(fd, 500), OK);
  }
  std::vector<int32_t> before = words(f);
  ASSERT_EQ(step_back(fd, p, store.data(), 500), OK);
  ASSERT_EQ(step_back(fd, p, store.data(), 500), OK);
  EXPECT_EQ(p.count, 8);
  program(600, 6, 0x900);  // a shorter block, number 9
  ASSERT_EQ(write(fd, 600), OK);
  close(fd);
  std::vector<int32_t> w = words(f);
  ASSERT_EQ(w.size(), before.size());  // not shortened
  EXPECT_EQ(w[13], (12 << 11) + 8);
  EXPECT_EQ(w[14], 0x49);
  EXPECT_EQ(w[20], 126);
  // Block 1 and everything past the new block are as they were.
  for (size_t i = 0; i < w.size(); i++) {
    if (i < 13 || i >= 22) {
      EXPECT_EQ(w[i], before[i]) << i;
    }
  }
}

TEST_F(TapeTest, EmptyImageAndOpenFailures) {
  std::string f = path("empty.zelk");
  int fd = open_write(f.c_str());
  ASSERT_GE(fd, 0);
  int size;
  EXPECT_EQ(read(fd, p, store.data(), 0, &size), END);
  close(fd);
  EXPECT_EQ(open_read(path("none.zelk").c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
  // Reading asks for write access too: an image the user may read but not
  // write is refused, and can still be looked at.
  chmod(f.c_str(), 0444);
  unprivileged([&] {
    errno = 0;
    EXPECT_EQ(open_read(f.c_str()), -1);
    EXPECT_EQ(errno, EACCES);
    int v = open_view(f.c_str());
    EXPECT_GE(v, 0);
    close(v);
  });
  chmod(f.c_str(), 0644);
  // Opening for writing truncates.
  put_words(f, {6, 1, 2, 3, 4, 126, 0});
  fd = open_write(f.c_str());
  EXPECT_EQ(lseek(fd, 0, SEEK_END), 0);
  close(fd);
}

TEST_F(TapeTest, StoreBounds) {
  std::string f = path("d.zelk");
  put_words(f, {6, 1, 2, 3, 4, 126, 0, 0});
  int fd = open_read(f.c_str());
  std::vector<int32_t> s(STORE, -1);
  int size;
  // Six words do not fit from 32763: nothing is read and the position stays.
  EXPECT_EQ(read(fd, p, s.data(), STORE - 5, &size), RANGE);
  EXPECT_EQ(s[STORE - 5], -1);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
  EXPECT_EQ(read(fd, p, s.data(), -1, &size), RANGE);
  EXPECT_EQ(read(fd, p, s.data(), STORE, &size), RANGE);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
  ASSERT_EQ(read(fd, p, s.data(), STORE - 6, &size), OK);
  EXPECT_EQ(s[STORE - 1], 0);
  // A size-0 block needs only its header word in the store.
  ASSERT_EQ(read(fd, p, s.data(), STORE - 1, &size), OK);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(read_back(fd, p, s.data(), 0), BACK_START);
  // At the end of the tape the header read comes first, wherever the
  // transit area lies.
  EXPECT_EQ(read(fd, p, s.data(), STORE, &size), END);
  close(fd);

  // Writing: the block, or the search for its end, must stay in the store.
  fd = open_write(path("e.zelk").c_str());
  s.assign(STORE, 0);
  s[STORE - 1] = 126;  // end word found, but the word after it is outside
  EXPECT_EQ(number(p, s.data(), STORE - 10), RANGE);
  EXPECT_EQ(p.count, 7);
  EXPECT_EQ(s[STORE - 10], 0);
  EXPECT_EQ(number(p, s.data(), STORE - 3), RANGE);
  EXPECT_EQ(number(p, s.data(), -4), RANGE);
  s[STORE - 1] = 0;  // no end word before the top of the store
  EXPECT_EQ(number(p, s.data(), STORE - 100), RANGE);
  EXPECT_EQ(put(fd, p, s.data(), STORE - 5, 4), RANGE);
  EXPECT_EQ(lseek(fd, 0, SEEK_END), 0);
  s[STORE - 2] = 126;  // at offset 3 from STORE - 5: not an end word
  EXPECT_EQ(number(p, s.data(), STORE - 5), RANGE);
  EXPECT_EQ(p.count, 7);
  EXPECT_EQ(number(p, s.data(), STORE - 10), OK);
  // Reading back or stepping back into a transit area too near the top.
  Pos q;
  q.last = 6;
  EXPECT_EQ(read_back(fd, q, s.data(), STORE - 5), RANGE);
  EXPECT_EQ(step_back(fd, q, s.data(), STORE), RANGE);
  close(fd);
}

TEST_F(TapeTest, DamagedImages) {
  std::string f = path("bad.zelk");
  // A header of 3 bytes counts as a header; a short block leaves the store.
  {
    int fd = open(f.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    unsigned char b[] = {5, 0, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55};
    ASSERT_EQ(::write(fd, b, sizeof b), (ssize_t)sizeof b);
    close(fd);
  }
  int fd = open_read(f.c_str());
  std::vector<int32_t> s(STORE, 0x0F0F0F0F);
  int size;
  ASSERT_EQ(read(fd, p, s.data(), 10, &size), OK);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(s[10], 0x44332211);
  EXPECT_EQ(s[11], 0x0F0F0F55);  // one byte of the second word
  EXPECT_EQ(s[12], 0x0F0F0F0F);
  EXPECT_EQ(read(fd, p, s.data(), 10, &size), END);
  close(fd);

  {
    int fd = open(f.c_str(), O_RDWR | O_TRUNC);
    unsigned char b[] = {3, 0};  // two bytes of a header
    ASSERT_EQ(::write(fd, b, 2), 2);
    close(fd);
  }
  fd = open_read(f.c_str());
  s[5] = 0x0F0F0F0F;
  ASSERT_EQ(read(fd, p, s.data(), 5, &size), OK);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(s[5], 0x0F0F0003);  // the two low bytes were read, nothing more
  EXPECT_EQ(s[6], 0x0F0F0F0F);
  close(fd);

  // A previous size that runs back past the start; a negative one.
  put_words(f, {(500 << 11) + 2, 1, 2, (int32_t)(0xFFFFF800u) + 2, 3, 4});
  fd = open_read(f.c_str());
  ASSERT_EQ(read(fd, p, s.data(), 0, &size), OK);
  ASSERT_EQ(step_back(fd, p, s.data(), 0), OK);
  EXPECT_EQ(p.last, 500);
  EXPECT_EQ(read_back(fd, p, s.data(), 0), SEEK_READ);
  EXPECT_EQ(step_back(fd, p, s.data(), 0), SEEK_STEP);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
  ASSERT_EQ(read(fd, p, s.data(), 0, &size), OK);
  ASSERT_EQ(read(fd, p, s.data(), 0, &size), OK);
  ASSERT_EQ(step_back(fd, p, s.data(), 0), OK);
  EXPECT_EQ(p.last, -1);
  EXPECT_EQ(read_back(fd, p, s.data(), 0), SEEK_READ);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(step_back(fd, p, s.data(), 0), SEEK_STEP);
  close(fd);
}

TEST_F(TapeTest, WriteFailure) {
  std::string f = path("ro.zelk");
  put_words(f, {});
  int fd = open(f.c_str(), O_RDONLY);
  program(0, 4, 0);
  errno = 0;
  EXPECT_EQ(write(fd, 0), WRITE);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(close_block(fd, p, store.data()), WRITE);
  close(fd);
}

TEST_F(TapeTest, ReadBufSkipsAndKeepsAtEnd) {
  std::string f = path("buf.zelk");
  std::vector<int32_t> w = {100};
  for (int i = 0; i < 100; i++) w.push_back(i);
  w.push_back((100 << 11) + 3);
  w.insert(w.end(), {7, 8, 9});
  put_words(f, w);
  int fd = open(f.c_str(), O_RDONLY);
  int32_t buf[64];
  int32_t h;
  EXPECT_EQ(read_buf(fd, buf, 64, &h), 100);
  EXPECT_EQ(h, 100);
  EXPECT_EQ(buf[63], 63);
  EXPECT_EQ(read_buf(fd, buf, 64, &h), 3);
  EXPECT_EQ(prev_of(h), 100);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(buf[3], 3);  // past the block: left from the one before
  EXPECT_EQ(read_buf(fd, buf, 64), -1);
  EXPECT_EQ(buf[0], 7);  // the end of the file leaves the buffer
  // One byte of a header counts as a header: it replaces the low byte.
  int a = open(f.c_str(), O_WRONLY | O_APPEND);
  ASSERT_EQ(::write(a, "\x02", 1), 1);
  close(a);
  EXPECT_EQ(read_buf(fd, buf, 64, &h), 2);
  EXPECT_EQ(h, 2);
  close(fd);
}

}  // namespace
