// A program's symbols for the console.
#include "symbols.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "outfile.h"

namespace zsym {

Table from_text(const std::string& text) {
  Table t;
  t.syms = zasm::read_symbols(text);
  for (const auto& [name, y] : t.syms)
    if (y.label && y.val.v >= 0 && y.val.v < 32768) t.labels.push_back({(int)y.val.v, name});
  std::sort(t.labels.begin(), t.labels.end());
  return t;
}

std::string load(const std::string& file, Table& t) {
  // Only a regular file is read again: a pipe or a device read once by
  // the loader would give nothing, or wait for ever.
  struct stat st;
  if (stat(file.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  std::string text;
  std::string e = zasm::read_file(file, text);
  if (e.empty()) t = from_text(text);
  return e;
}

std::string address(const Table& t, const std::string& expr, int& addr) {
  long long v;
  std::string e = zasm::evaluate(expr, t.syms, v);
  if (!e.empty()) return e;
  if (v < 0 || v > 32767) return "address " + std::to_string(v) + " is outside the store";
  addr = (int)v;
  return "";
}

std::string name(const Table& t, int addr) {
  auto it =
      std::upper_bound(t.labels.begin(), t.labels.end(), std::pair<int, std::string>{addr, "\x7F"});
  if (it == t.labels.begin()) return "";
  --it;
  int off = addr - it->first;
  if (off > 255) return "";
  return off ? it->second + "+" + std::to_string(off) : it->second;
}

std::string word(const Table& t, const std::string& text, int addr, int32_t& w) {
  return zasm::encode(text, addr, t.syms, w);
}

}  // namespace zsym
