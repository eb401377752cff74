// The sterling ledger example, end to end: its program tape description goes
// through mktape and progtape, the emulator runs the map on a paper tape of
// records, and the printed ledger is checked line by line against ordinary
// integer arithmetic in pence.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

std::string slurp(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> v;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      v.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  v.push_back(cur);
  return v;
}

int sh(const std::string& cmd) {
  int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A numeric field: its decimal digits, negative when it holds a minus sign
// anywhere; an empty or missing field is 0.
long field(const std::string& s) {
  long v = 0;
  bool neg = false;
  for (char c : s) {
    if (c == '-')
      neg = true;
    else
      v = v * 10 + (c - '0');
  }
  return neg ? -v : v;
}

// The amount of a record NAME;POUNDS;SHILLINGS;PENCE in pence.
long pence(const std::string& record) {
  std::vector<std::string> f = split(record, ';');
  f.resize(4);
  return field(f[1]) * 240 + field(f[2]) * 12 + field(f[3]);
}

// An amount as the ledger shows it: pounds in five places (the digits above
// them are kept but not printed), shillings and pence.
long visible(long p) {
  long m = p < 0 ? -p : p;
  m = m / 240 % 100000 * 240 + m % 240;
  return p < 0 ? -m : m;
}

// The printed form: pounds in five places, shillings in two, pence as one
// digit of radix 12 ("t" for 10, "e" for 11), then "-" for a negative
// amount or a blank.
std::string money(long p) {
  long m = p < 0 ? -p : p;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%5ld %2ld %c%c", m / 240 % 100000, m % 240 / 12,
                "0123456789te"[m % 12], p < 0 ? '-' : ' ');
  return buf;
}

// The amount printed from column col (the pounds) back in pence; a value
// no amount can have when the columns do not read as one.
long printed(const std::string& line, size_t col) {
  const long bad = 1L << 40;
  std::string s = line + std::string(12, ' ');
  std::string pounds = s.substr(col, 5), shillings = s.substr(col + 6, 2);
  const char* digits = "0123456789te";
  const char* d = std::strchr(digits, s[col + 9]);
  if (pounds.find_first_not_of(' ') == std::string::npos || !d || s[col + 5] != ' ' ||
      s[col + 8] != ' ')
    return bad;
  long v = std::atol(pounds.c_str()) * 240 + std::atol(shillings.c_str()) * 12 + (d - digits);
  return s[col + 10] == '-' ? -v : v;
}

std::string rtrim(std::string s) {
  while (s.size() > 1 && s.back() == ' ') s.pop_back();
  return s;
}

class Ledger : public ::testing::Test {
 protected:
  void SetUp() override {
    char t[] = "/tmp/ledger-XXXXXX";
    ASSERT_NE(mkdtemp(t), nullptr);
    dir = t;
    bin = BIN_DIR;
    ASSERT_TRUE(std::filesystem::exists(bin + "/emulator")) << "emulator not built";
    // The ledger's program tape as zasm made it from examples/ledger.asm.
    std::string tape = EXAMPLES_DIR "/ledger.zelk";
    ASSERT_EQ(sh(cd() + bin + "/progtape -b1000 " + tape + " ledger.map > survey.txt"), 0);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string cd() { return "cd " + dir + " && "; }

  // Runs the ledger on these paper tape lines; returns the printed lines.
  std::vector<std::string> run(const std::string& ptr) {
    {
      std::ofstream o(dir + "/records.txt");
      o << ptr;
    }
    int st = sh(cd() + bin + "/emulator ledger.map records.txt > run.txt 2>&1");
    out = slurp(dir + "/run.txt");
    EXPECT_EQ(st, 0) << out;
    EXPECT_THAT(out, HasSubstr("PROGRAMME UNLOADED: ADDRESS = 1189 after "));
    std::vector<std::string> v = split(slurp(dir + "/LP18.txt"), '\n');
    EXPECT_EQ(v.back(), "");  // every line ends with its line end
    v.pop_back();
    return v;
  }

  // Checks the printed ledger for the records up to the first empty line.
  void check(const std::string& ptr) {
    std::vector<std::string> recs = split(ptr, '\n');
    size_t n = 0;
    while (n < recs.size() && !recs[n].empty()) n++;
    std::vector<std::string> lp = run(ptr);
    ASSERT_EQ(lp.size(), n + 4) << out;
    EXPECT_EQ(lp[0], "STERLING LEDGER            AMOUNT        BALANCE");
    EXPECT_EQ(lp[1], "                           \xA3  S D         \xA3  S D");
    long balance = 0;
    for (size_t i = 0; i < n; i++) {
      const std::string& line = lp[i + 2];
      long p = pence(recs[i]);
      balance += p;
      // The amounts are long words of ten digits, seven of them pounds.
      ASSERT_LT(std::labs(balance), 10000000L * 240) << "records beyond the ledger's room";
      std::string name = split(recs[i], ';')[0].substr(0, 20);
      name.resize(20, ' ');
      EXPECT_EQ(printed(line, 23), visible(p)) << recs[i] << "\n" << line;
      EXPECT_EQ(printed(line, 38), visible(balance)) << recs[i] << "\n" << line;
      EXPECT_EQ(line, rtrim(name + "   " + money(p) + "    " + money(balance))) << recs[i];
    }
    EXPECT_EQ(lp[n + 2], std::string(38, ' ') + "-----------");
    EXPECT_EQ(printed(lp[n + 3], 38), visible(balance));
    EXPECT_EQ(lp[n + 3], rtrim("TOTAL" + std::string(33, ' ') + money(balance)));
  }

  std::string dir, bin, out;
};

TEST_F(Ledger, BundledRecords) {
  std::string ptr = slurp(EXAMPLES_DIR "/ledger-ptr.txt");
  ASSERT_FALSE(ptr.empty());
  check(ptr);
  // The bundled ledger shows pence 10 and 11, a debit and its sign.
  std::string lp = slurp(dir + "/LP18.txt");
  EXPECT_THAT(lp, HasSubstr(" t-"));
  EXPECT_THAT(lp, HasSubstr(" e "));
}

// Random records: credits and debits, a minus sign before or after the
// digits, shillings and pence past 19 and 11 that carry over (now and then
// up to five digits, and pounds up to six), empty fields, records that stop
// early, and names up to 20 characters.
std::string random_records(unsigned seed, int count, bool debits) {
  std::mt19937 rng(seed);
  auto pick = [&rng](int n) { return (int)(rng() % (unsigned)n); };
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,/&-";
  std::string s;
  for (int r = 0; r < count; r++) {
    std::string name;
    int len = 1 + pick(20);
    for (int i = 0; i < len; i++) name += alphabet[pick((int)alphabet.size())];
    s += name;
    int fields = pick(8) == 0 ? pick(3) : 3;
    const int top[3] = {1000, 30, 20}, big[3] = {1000000, 100000, 100000};
    for (int f = 0; f < fields; f++) {
      s += ';';
      if (pick(10) == 0) continue;  // empty field
      std::string digits = std::to_string(pick(pick(8) ? top[f] : big[f]));
      bool neg = debits || pick(3) == 0;
      if (!neg)
        s += digits;
      else if (pick(4) == 0)
        s += digits + "-";
      else
        s += "-" + digits;
    }
    s += '\n';
  }
  return s;
}

TEST_F(Ledger, RandomRecords) {
  check(random_records(1966, 60, false));
  check(random_records(240, 25, true));  // only debits: the total is negative
}

// Every digit of every field has its weight: pounds up to seven digits,
// shillings and pence up to five.
TEST_F(Ledger, EveryDigitWeighed) {
  check(
      "POUNDS;9876543\nBACK;-9876500;0;0\nSHILLINGS;0;98765\nPENCE;;;98765\n"
      "DEBIT;-12;-34567;-54321\nCREDIT;1;23456;12345\n");
}

// The first empty line ends the ledger; the records after it are not read.
TEST_F(Ledger, EmptyLineEndsTheLedger) {
  check("RENT;-12;-10;-6\nWAGES;3\n\nNEVER;1;1;1\n");
  EXPECT_THAT(slurp(dir + "/LP18.txt"), ::testing::Not(HasSubstr("NEVER")));
}

}  // namespace
