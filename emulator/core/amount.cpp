// Amounts under a radix word: the grouping, the text and its reading back.
#include "amount.h"

#include <cctype>

void digit_radices(int r, int rad[10]) {
  for (int i = 0; i < 10; i++) rad[i] = 16 - ((r >> (4 * (i < 5 ? i : 4))) & 0xF);
}

int amount_groups(int r, int first[11]) {
  int rad[10];
  digit_radices(r, rad);
  bool uniform = true;
  for (int i = 1; i < 10; i++) uniform &= rad[i] == rad[0];
  int n = 0;
  first[n++] = 0;
  if (!uniform)
    for (int i = 0; i < 9; i++)
      if (rad[i] != 10) first[n++] = i + 1;
  first[n] = 10;
  return n;
}

namespace {

// Digit i of the long value (upper half digits 5-9).
int digit(int32_t up, int32_t lo, int i) {
  return i < 5 ? (lo >> (4 * i)) & 0xF : (up >> (4 * (i - 5))) & 0xF;
}

}  // namespace

bool amount_text(int32_t up, int32_t lo, int r, std::string& text) {
  int rad[10], first[11];
  digit_radices(r, rad);
  int n = amount_groups(r, first);
  bool ok = true;
  text = up & 0x100000 ? "-" : "";
  for (int g = n - 1; g >= 0; g--) {
    unsigned long long v = 0;
    for (int i = first[g + 1] - 1; i >= first[g]; i--) {
      int d = digit(up, lo, i);
      ok &= d < rad[i];
      v = v * (unsigned)rad[i] + (unsigned)d;
    }
    text += std::to_string(v);
    if (g) text += '.';
  }
  return ok;
}

std::string amount_value(const std::string& text, int r, int32_t& up, int32_t& lo) {
  int rad[10], first[11];
  digit_radices(r, rad);
  int n = amount_groups(r, first);
  size_t i = 0, end = text.size();
  while (i < end && isspace((unsigned char)text[i])) i++;
  while (end > i && isspace((unsigned char)text[end - 1])) end--;
  bool neg = i < end && text[i] == '-';
  if (neg) i++;
  // The groups as written, most significant first.
  unsigned long long v[11];
  int k = 0;
  for (;;) {
    if (i >= end || !isdigit((unsigned char)text[i])) return "a group of decimal digits expected";
    unsigned long long x = 0;
    for (; i < end && isdigit((unsigned char)text[i]); i++) {
      x = x * 10 + (unsigned)(text[i] - '0');
      if (x > 1ull << 41) return "a group too large";
    }
    if (k == 10) return "more than ten groups";
    v[k++] = x;
    if (i == end) break;
    if (text[i] != '.') return "groups are joined by \".\"";
    i++;
  }
  if (k != n)
    return std::to_string(k) + (k == 1 ? " group" : " groups") + " where the radix word gives " +
           std::to_string(n);
  uint32_t u = 0, l = 0;
  for (int g = 0; g < n; g++) {
    unsigned long long x = v[n - 1 - g];
    unsigned long long cap = 1;
    for (int p = first[g]; p < first[g + 1]; p++) {
      int d = (int)(x % (unsigned)rad[p]);
      x /= (unsigned)rad[p];
      cap *= (unsigned)rad[p];
      if (p < 5)
        l |= (uint32_t)d << (4 * p);
      else
        u |= (uint32_t)d << (4 * (p - 5));
    }
    if (x) return "group " + std::to_string(v[n - 1 - g]) + " is not below " + std::to_string(cap);
  }
  up = (int32_t)(u | (neg ? 0x100000u : 0));
  lo = (int32_t)l;
  return "";
}
