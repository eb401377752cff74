#include "harness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

void EmuTest::SetUp() {
  char cwd[4096];
  home = getcwd(cwd, sizeof cwd) ? cwd : "/tmp";
  char tmpl[] = "/tmp/emutestXXXXXX";
  dir = mkdtemp(tmpl);
  ASSERT_EQ(chdir(dir.c_str()), 0);
}

void EmuTest::TearDown() {
  reset();
  if (chdir(home.c_str()) != 0) return;
  std::string cmd = "rm -rf '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) return;
}

void EmuTest::put(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

std::string EmuTest::get(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

static std::string slurp(FILE* f) {
  std::string s;
  fflush(f);
  rewind(f);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}

Result EmuTest::emu(const std::vector<std::string>& args, const std::string& input) {
  put(".stdin", input);
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  FILE* in = fopen(".stdin", "r");
  std::vector<std::string> store{"emulator"};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);
  Result r;
  r.status = emulate((int)store.size(), argv.data(), Io{out, err, in});
  if (M.log && M.log != out) fflush(M.log);
  M.out = stdout;
  M.err = stderr;
  M.in = stdin;
  if (M.log == out) M.log = stdout;
  r.out = slurp(out);
  r.err = slurp(err);
  fclose(in);
  return r;
}

Result EmuTest::prog(const std::vector<std::string>& ls, const std::vector<std::string>& sw,
                     const std::string& input) {
  std::string text = "test program\n";
  for (auto& l : ls) text += l + "\n";
  put("prog.txt", text);
  std::vector<std::string> args = sw;
  args.push_back("prog.txt");
  return emu(args, input);
}

std::string ins(int fc, int lb, int mf, int addr) {
  char buf[64];
  snprintf(buf, sizeof buf, "%d/%d/%d %d", fc, lb, mf, addr);
  return buf;
}

std::string word(int32_t w) { return ins(w >> 16, (w >> 15) & 1, (w >> 13) & 3, w & 0x1FFF); }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> v;
  std::stringstream s(text);
  std::string l;
  while (std::getline(s, l)) v.push_back(l);
  return v;
}
