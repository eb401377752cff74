// The assembler's two passes and its outputs.
#include "asm.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "amount.h"
#include "builder.h"
#include "isa.h"
#include "progfile.h"

namespace zasm {

namespace {

constexpr int STORE = 32768;
constexpr int EXTRA = 141;    // a chapter holding chapter 0: its word at 140 is 141
constexpr int TEXT_MAX = 60;  // characters of source that a word line carries
constexpr int SYM_MAX = 31;   // characters of a symbol

// Directives: up to TITLE the program file's own, from ID on the program
// tape's, the others both.
enum Dir {
  D_TAG,
  D_CHAP0,
  D_OVERLAY,
  D_TITLE,
  D_ORG,
  D_ENTRY,
  D_EQU,
  D_SHORT,
  D_LONG,
  D_AMOUNT,
  D_RADIX,
  D_NAME,
  D_TEXT,
  D_RES,
  D_EVEN,
  D_ID,
  D_FP,
  D_MR,
  D_PRIORITY,
  D_CHAPTERS,
  D_CHAPTER,
  D_FILE,
  D_AREA,
  D_SIZE,
  D_COUNT
};
const char* const dirs[D_COUNT] = {
    "TAG",  "CHAP0",  "OVERLAY",  "TITLE",    "ORG",     "ENTRY", "EQU",  "SHORT",
    "LONG", "AMOUNT", "RADIX",    "NAME",     "TEXT",    "RES",   "EVEN", "ID",
    "FP",   "MR",     "PRIORITY", "CHAPTERS", "CHAPTER", "FILE",  "AREA", "SIZE",
};

std::string upper(std::string s) {
  for (char& c : s) c = (char)std::toupper((unsigned char)c);
  return s;
}

int dir_of(const std::string& op) {
  for (int d = 0; d < D_COUNT; d++)
    if (strcasecmp(op.c_str(), dirs[d]) == 0) return d;
  return -1;
}

bool ident_start(char c) { return std::isalpha((unsigned char)c) || c == '_'; }
bool ident_char(char c) { return std::isalnum((unsigned char)c) || c == '_'; }

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Splits operands at the commas outside quotes.
std::vector<std::string> split(const std::string& args) {
  std::vector<std::string> v;
  if (trim(args).empty()) return v;
  std::string cur;
  bool q = false;
  for (char c : args) {
    if (c == '"') q = !q;
    if (c == ',' && !q) {
      v.push_back(trim(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  v.push_back(trim(cur));
  return v;
}

bool is_register(const std::string& s) {
  return s.size() == 2 && (s[0] == 'M' || s[0] == 'm') && s[1] >= '0' && s[1] <= '3';
}

// A quoted operand's text, or false.
bool quoted(const std::string& s, std::string& in) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
  in = s.substr(1, s.size() - 2);
  return in.find('"') == std::string::npos;
}

// One statement of the source.
struct Stmt {
  int line = 0;
  std::string label, op, args;
  int dir = -1;  // a directive, or -1 for an instruction
  int dv = -1;   // an instruction's first decode value
  long long loc = 0;
  int chap = -1;           // tape: the index of the statement's chapter
  int idx = 0;             // FILE, AREA: the file's or the area's number
  int32_t value = 0;       // RADIX: the radix word
  bool bad = false;        // refused by the first pass
  std::vector<int> codes;  // TEXT: the character codes
};

// A row of the listing: one word, or a line without words.
struct Row {
  int line;
  bool word;  // else a line without words
  int chap;   // tape: the chapter's number
  long long loc;
  int32_t q;
  std::string rel;  // tape: the relocation
};

// What the tape's relocation parameter of a word is called, for the listing.
std::string param_name(const Val& v, bool field, int p) {
  switch (p) {
    case tb::GROUP4: return "group4";
    case tb::OVERLAY: return "overlay";
    case tb::COMMENT: return "comment";
    case tb::ALARM: return "alarm";
    case tb::UNLOAD: return "unload";
    default: break;
  }
  switch (v.rel) {
    case CHAP: return std::string(field ? "addr:" : "base:") + std::to_string(v.idx);
    case ROUTE: return "route:" + std::to_string(v.idx);
    case PSEUDO: return "pseudo:" + std::to_string(v.idx);
    default: return "";
  }
}

struct Asm {
  bool tape = false;
  std::vector<Error> errors;
  Symbols syms;
  std::vector<Stmt> st;
  bool listing = false;
  std::vector<std::string> src;  // the source lines, for the listing

  long long loc = 160;    // the location; with a tape, the position in the chapter
  long long start = 160;  // the location of the statement being worked on
  int cur = -1;           // tape: the current chapter's index
  tb::Program prog;
  std::vector<long long> ends;   // tape: per chapter the highest position reached
  std::vector<long long> sizes;  // tape: per chapter its SIZE, or -1
  int entry_line = 0, chap0_line = 0, title_line = 0;
  long long chap0 = -1;
  std::string title;

  // The second pass's output.
  std::string file;          // the program file's lines after the title
  long long next = 160;      // the loader's load address
  std::vector<int32_t> img;  // the store as the program file loads it
  std::vector<Row> rows;
  std::map<std::string, int32_t> radices;  // the labels of RADIX words, and the words

  int at = 0;          // the line being worked on
  bool record = true;  // note the symbols a line uses
  // What instruction() made: the word, its relocation parameter and the
  // operand's value.
  int32_t last = 0;
  int last_p = 0;
  Val rel_of_last;

  int dropped = 0;  // errors beyond MAX_ERRORS

  // Errors found so far, shown or not.
  int count() const { return (int)errors.size() + dropped; }

  void error(int line, const std::string& m) {
    if ((int)errors.size() < MAX_ERRORS)
      errors.push_back({line, m});
    else
      dropped++;
  }
  bool fail(const std::string& m) {
    error(at, m);
    return false;
  }

  // ---------------------------------------------------------------- values

  // One term: a number (decimal or 0x hexadecimal), a symbol or "*".
  bool primary(const std::string& s, size_t& i, Val& p, std::string& err, bool* undef) {
    if (i < s.size() && std::isdigit((unsigned char)s[i])) {
      size_t j = i;
      while (j < s.size() && std::isalnum((unsigned char)s[j])) j++;
      std::string t = s.substr(i, j - i);
      bool hx = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
      p = Val{};
      for (size_t k = hx ? 2 : 0; k < t.size(); k++) {
        int c = std::toupper((unsigned char)t[k]);
        int d = std::isdigit(c) ? c - '0' : hx && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) {
          err = "bad number " + t;
          return false;
        }
        p.v = p.v * (hx ? 16 : 10) + d;
        if (p.v > (1LL << 44)) {
          err = "number " + t + " is too large";
          return false;
        }
      }
      i = j;
      return true;
    }
    if (i < s.size() && ident_start(s[i])) {
      size_t j = i;
      while (j < s.size() && ident_char(s[j])) j++;
      std::string id = s.substr(i, j - i);
      auto it = syms.find(id);
      if (it == syms.end()) {
        if (undef) *undef = true;
        err = "undefined symbol " + id;
        return false;
      }
      std::vector<int>& u = it->second.uses;
      if (record && (u.empty() || u.back() != at)) u.push_back(at);
      p = it->second.val;
      i = j;
      return true;
    }
    if (i < s.size() && s[i] == '*') {
      p = here();
      i++;
      return true;
    }
    err = "a number or a label expected in \"" + s + "\"";
    return false;
  }

  // The value of an expression: terms joined by + and -, a sign before the
  // first; a term is a product of primaries joined by "*". undef is set
  // when it fails for an undefined symbol.
  bool eval(const std::string& text, Val& out, std::string& err, bool* undef = nullptr) {
    const std::string s = trim(text);
    if (s.empty()) {
      err = "an operand is missing";
      return false;
    }
    size_t i = 0;
    auto blanks = [&] {
      while (i < s.size() && std::isspace((unsigned char)s[i])) i++;
    };
    int sign = 1;
    if (s[0] == '-' || s[0] == '+') {
      sign = s[0] == '-' ? -1 : 1;
      i++;
      blanks();
    }
    Val acc;
    for (bool first = true;; first = false) {
      Val p;
      if (!primary(s, i, p, err, undef)) return false;
      // "*" after a term multiplies.
      for (blanks(); i < s.size() && s[i] == '*'; blanks()) {
        i++;
        blanks();
        Val q;
        if (!primary(s, i, q, err, undef)) return false;
        long long m;
        if (p.rel != ABS || q.rel != ABS) {
          err = "a relocated value cannot be multiplied";
          return false;
        }
        if (__builtin_mul_overflow(p.v, q.v, &m) || m > (1LL << 44)) {
          err = "a product too large in \"" + s + "\"";
          return false;
        }
        p.v = m;
      }
      if (first) {
        if (sign < 0 && p.rel != ABS) {
          err = "a relocated value cannot be negated";
          return false;
        }
        acc = p;
        acc.v *= sign;
      } else if (sign > 0) {
        if (acc.rel != ABS && p.rel != ABS) {
          err = "two relocated values cannot be added";
          return false;
        }
        if (acc.rel == ABS) acc.rel = p.rel, acc.idx = p.idx;
        acc.v += p.v;
      } else {
        if (p.rel != ABS) {
          if (acc.rel != p.rel || acc.idx != p.idx) {
            err = "a relocated value can be taken only from one of the same kind";
            return false;
          }
          acc.rel = ABS;
        }
        acc.v -= p.v;
      }
      blanks();
      if (i == s.size()) break;
      if (s[i] != '+' && s[i] != '-') {
        err = "unexpected \"" + s.substr(i, 1) + "\" in \"" + s + "\"";
        return false;
      }
      sign = s[i] == '-' ? -1 : 1;
      i++;
      blanks();
    }
    out = acc;
    return true;
  }

  // The value x as a plain number from lo to hi.
  bool plain(const Val& x, long long lo, long long hi, long long& v, const char* what) {
    if (x.rel != ABS) return fail(std::string(what) + " must be a plain number");
    if (x.v < lo || x.v > hi)
      return fail(std::string(what) + " " + std::to_string(x.v) + " does not fit (" +
                  std::to_string(lo) + " to " + std::to_string(hi) + ")");
    v = x.v;
    return true;
  }

  // A value that must be a plain number from lo to hi.
  bool number(const std::string& text, long long lo, long long hi, long long& v, const char* what) {
    Val x;
    std::string err;
    if (!eval(text, x, err)) return fail(err);
    return plain(x, lo, hi, v, what);
  }

  // A signed number in sign and magnitude, the magnitude up to max; "-0"
  // is minus zero.
  bool signed_mag(const std::string& text, long long max, bool& neg, long long& mag, Val& x,
                  const char* what) {
    std::string err;
    if (!eval(text, x, err)) return fail(err);
    neg = x.v < 0 || (x.v == 0 && trim(text)[0] == '-');
    mag = x.v < 0 ? -x.v : x.v;
    if (mag > max)
      return fail(std::string(what) + " " + std::to_string(x.v) +
                  " does not fit (magnitude up to " + std::to_string(max) + ")");
    return true;
  }

  // A short word: 0 to 0x1FFFFF as its 21 bits, or a negative number (or
  // -0) in sign and magnitude.
  bool short_value(const std::string& text, bool& neg, long long& mag, Val& x) {
    std::string err;
    if (!eval(text, x, err)) return fail(err);
    neg = x.v < 0 || (x.v == 0 && trim(text)[0] == '-');
    mag = x.v < 0 ? -x.v : x.v;
    if (neg ? mag > 0xFFFFF : mag > 0x1FFFFF)
      return fail("short word " + std::to_string(x.v) +
                  " does not fit (0 to 0x1FFFFF, or down to -0xFFFFF)");
    if (x.rel != ABS && (neg || mag > 0xFFFFF)) return fail("a relocated value out of range");
    return true;
  }

  // "*": the location of the statement's first word.
  Val here() const {
    Val v;
    v.v = start;
    if (tape && cur >= 0) {
      v.rel = CHAP;
      v.idx = prog.chapters[cur].number;
    }
    return v;
  }

  // The relocation parameter of a value; field: in an instruction's address
  // field (a chapter's address within its quarter), else a whole word (the
  // chapter's base). An overlay chapter lies at the base of the chapter
  // before the last initial one.
  int param(const Val& v, bool field) {
    switch (v.rel) {
      case CHAP: {
        int c = v.idx, init = tb::initial_of(prog);
        if (c > init) c = init - 1;
        return field ? tb::addr_param(c) : tb::base_param(c);
      }
      case ROUTE: return tb::route_param(prog, v.idx);
      case PSEUDO: return tb::pseudo_param(prog, v.idx);
      default: return 0;
    }
  }

  // --------------------------------------------------------- instructions

  // The word of instruction dv's group with operands args at location loc,
  // and its relocation parameter.
  bool instruction(int dv, const std::string& op, const std::string& args) {
    const isa::Form form = isa::ops[dv].form;
    std::vector<std::string> a = split(args);
    int reg = -1;
    if (a.size() >= 2 && is_register(a.back())) {
      reg = a.back()[1] - '0';
      a.pop_back();
    }
    if (a.size() > 1) return fail("too many operands for " + op);
    if (reg >= 0 && !isa::has_reg(form)) return fail(op + " takes no modifier register");
    if (reg < 0 && (form == isa::REG || form == isa::STEP))
      return fail(op + " needs its modifier register: ,M0 to ,M3 after the operand");
    std::string opd = a.empty() ? "0" : a[0];
    if (opd.empty()) return fail("an operand is missing");
    Val x;
    std::string err;
    long long field = 0;
    int p = 0;
    switch (form) {
      case isa::ADDR:
      case isa::MOD:
      case isa::REG:
      case isa::NUM: {
        if (!eval(opd, x, err)) return fail(err);
        if (x.rel != ABS) {
          if (x.v < 0 || x.v > 8191)
            return fail("operand offset " + std::to_string(x.v) +
                        " does not fit the address field");
          field = x.v;
          p = param(x, true);
        } else if (form == isa::NUM || tape) {
          if (x.v < 0 || x.v > 8191)
            return fail("operand " + std::to_string(x.v) + " does not fit " + op +
                        "'s address field (0 to 8191)");
          field = x.v;
        } else {
          long long q = loc & 0x6000;
          if (x.v < q || x.v > q + 8191)
            return fail("address " + std::to_string(x.v) +
                        " is outside the quarter of the store this instruction is in (" +
                        std::to_string(q) + " to " + std::to_string(q + 8191) + ")");
          field = x.v - q;
        }
        break;
      }
      case isa::SHIFT: {
        long long v;
        if (!number(opd, -4096, 8191, v, "shift count")) return false;
        field = v & 0x1FFF;
        break;
      }
      case isa::STEP:
      case isa::STEPN: {
        bool neg;
        long long mag;
        if (!signed_mag(opd, 4095, neg, mag, x, "step")) return false;
        if (x.rel != ABS) return fail("a step must be a plain number");
        field = (neg ? 0x1000 : 0) | mag;
        break;
      }
      case isa::NONE: return fail("no instruction " + op);
    }
    int d = dv + (reg > 0 ? reg : 0);
    last = (int32_t)(d << 13 | field);
    last_p = p;
    // On a program tape the Master Routine entries and the priority
    // actions are given by progtape.
    if (tape && x.rel == ABS) {
      if (d == 186 && (field == 4 || field == 5 || field == 154)) {
        last_p = field == 4 ? tb::GROUP4 : field == 5 ? tb::OVERLAY : tb::COMMENT;
        last -= (int32_t)field;
      } else if (d == 210 && (field == 1 || field == 2)) {
        last_p = field == 1 ? tb::ALARM : tb::UNLOAD;
        last -= (int32_t)field;
      }
    }
    rel_of_last = x;
    return true;
  }

  // --------------------------------------------------------------- parsing

  static bool known(const std::string& w) { return dir_of(w) >= 0 || isa::find(w) >= 0; }

  // A mnemonic or directive as the next word after position i.
  static bool next_known(const std::string& t, size_t i) {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) i++;
    size_t j = i;
    while (j < t.size() && ident_char(t[j])) j++;
    return j > i && (j == t.size() || t[j] == ' ' || t[j] == '\t') && known(t.substr(i, j - i));
  }

  // Splits a line into its statement; false when there is none.
  bool parse(const std::string& raw, int line, Stmt& s) {
    at = line;
    // The comment: ";" outside quotes.
    std::string t;
    bool q = false;
    for (char c : raw) {
      if (c == '"') q = !q;
      if (c == ';' && !q) break;
      t += c;
    }
    if (q) return fail("a text without its closing quote");
    for (char c : t)
      if ((unsigned char)c < 32 && c != '\t') return fail("a control character in the line");
    size_t i = 0;
    auto word = [&]() {
      size_t j = i;
      while (j < t.size() && ident_char(t[j])) j++;
      std::string w = t.substr(i, j - i);
      i = j;
      return w;
    };
    auto blanks = [&] {
      while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) i++;
    };
    s.line = line;
    blanks();
    bool col1 = i == 0;
    if (i == t.size()) return false;
    if (!ident_start(t[i])) return fail("a label or a mnemonic must begin with a letter");
    std::string w = word();
    if (i < t.size() && t[i] == ':') {
      s.label = w;
      i++;
    } else if (col1 && (!known(w) || next_known(t, i))) {
      // In column 1 a word is a label, unless it is a mnemonic or a
      // directive and no mnemonic or directive follows it.
      s.label = w;
    } else {
      s.op = w;
    }
    if (!s.label.empty()) {
      if (s.label.size() > SYM_MAX)
        return fail("label " + s.label + " is longer than 31 characters");
      if (is_register(s.label)) return fail(s.label + " names a modifier register");
      blanks();
      if (i < t.size()) {
        if (!ident_start(t[i])) return fail("a mnemonic must begin with a letter");
        s.op = word();
      }
    }
    if (i < t.size() && t[i] != ' ' && t[i] != '\t')
      return fail("unexpected \"" + t.substr(i, 1) + "\" after " + (s.op.empty() ? s.label : s.op));
    s.args = trim(t.substr(i));
    if (s.op.empty()) return true;
    s.dir = dir_of(s.op);
    if (s.dir < 0) {
      s.dv = isa::find(s.op);
      if (s.dv < 0) return fail("unknown mnemonic " + s.op);
    }
    s.op = upper(s.op);
    return true;
  }

  // ------------------------------------------------------------ first pass

  // Words a statement places, and whether they are long words.
  long long size_of(Stmt& s, bool& longw) {
    longw = false;
    if (s.dir < 0) return 1;
    std::vector<std::string> a = split(s.args);
    switch (s.dir) {
      case D_SHORT: return std::max<size_t>(a.size(), 1);
      case D_LONG: longw = true; return 2 * std::max<size_t>(a.size(), 1);
      case D_AMOUNT: longw = true; return 2;
      case D_RADIX:
      case D_NAME: return 1;
      case D_TEXT: {
        longw = true;
        std::string in;
        if (a.size() != 1 || !quoted(a[0], in)) {
          fail("TEXT takes one quoted text");
          return 0;
        }
        if (in.empty()) {
          fail("an empty text");
          return 0;
        }
        for (size_t k = 0; k < in.size();) {
          size_t n = 0;
          int c = isa::text_code(in.data() + k, in.size() - k, n);
          if (c < 0) {
            size_t m = 1;
            while (k + m < in.size() && ((unsigned char)in[k + m] & 0xC0) == 0x80) m++;
            fail("text: \"" + in.substr(k, m) + "\" is not in the machine's character code");
            s.codes.clear();
            return 0;
          }
          s.codes.push_back(c);
          k += n;
        }
        return 2 * (long long)((s.codes.size() + 4) / 5);
      }
      default: return 0;
    }
  }

  void define(const Stmt& s, const Val& v, bool label) {
    auto it = syms.find(s.label);
    if (it != syms.end()) {
      error(s.line, "label " + s.label + " defined twice (first on line " +
                        std::to_string(it->second.line) + ")");
      return;
    }
    Sym& y = syms[s.label];
    y.val = v;
    y.label = label;
    y.line = s.line;
  }

  // Location directives evaluate in the first pass: what they name must be
  // defined above them.
  bool located(const Stmt& s, long long lo, long long hi, long long& v, const char* what) {
    Val x;
    std::string err;
    bool undef = false;
    if (!eval(s.args, x, err, &undef))
      return fail(undef ? err + " (" + what + " needs it defined above)" : err);
    if (tape && x.rel == CHAP && cur >= 0 && x.idx == prog.chapters[cur].number) x.rel = ABS;
    return plain(x, lo, hi, v, what);
  }

  std::vector<size_t> pending;  // EQU statements waiting for a symbol

  void pass1(Stmt& s) {
    at = s.line;
    record = false;
    if (s.dir >= 0 && !tape && s.dir >= D_ID)
      return (void)fail(s.op + " belongs to a program tape (zasm -t)");
    if (s.dir >= 0 && tape && s.dir <= D_TITLE)
      return (void)fail(s.op + " belongs to a program file; a program tape has none");
    if (s.dir == D_CHAPTER) chapter(s);
    if (s.dir == D_CHAPTERS) {
      std::vector<std::string> a = split(s.args);
      long long t, i;
      if (a.size() != 2) return (void)fail("CHAPTERS takes the total and the initial chapters");
      if (!number(a[0], 1, 14, t, "total") || !number(a[1], 1, std::min(t, 13LL), i, "initial"))
        return;
      prog.total = (int)t;
      prog.initial = (int)i;
    }
    s.loc = start = loc;
    s.chap = cur;
    bool places = !s.op.empty() && (s.dir < 0 || (s.dir >= D_SHORT && s.dir <= D_TEXT));
    if (!s.label.empty()) {
      if (s.dir == D_EQU) {
        Val v;
        std::string err;
        bool undef = false;
        if (eval(s.args, v, err, &undef))
          define(s, v, false);
        else if (undef)
          pending.push_back(&s - st.data());
        else
          error(s.line, err);
      } else if (s.dir == D_FILE || s.dir == D_AREA) {
        Val v;
        v.rel = s.dir == D_FILE ? ROUTE : PSEUDO;
        v.idx = (int)(s.dir == D_FILE ? prog.files.size() : prog.areas.size());
        define(s, v, false);
      } else if (tape && cur < 0) {
        error(s.line, "a label before the first CHAPTER");
      } else {
        define(s, here(), true);
      }
    } else if (s.dir == D_EQU) {
      error(s.line, "EQU needs a label");
    }
    if (s.dir == D_RADIX && !radix(s)) return;
    if (s.dir == D_FILE) s.idx = (int)prog.files.size(), prog.files.push_back({});
    if (s.dir == D_AREA) s.idx = (int)prog.areas.size(), prog.areas.push_back({});
    if (places && tape && cur < 0) return (void)fail("words before the first CHAPTER");
    const long long hi = STORE - 1;
    long long v;
    switch (s.dir) {
      case D_ORG:
        if (!located(s, 0, hi, v, "ORG")) return;
        if (tape && cur < 0) return (void)fail("ORG before the first CHAPTER");
        if (tape && v < loc)
          return (void)fail("ORG " + std::to_string(v) + " goes back: the chapter stands at " +
                            std::to_string(loc));
        loc = v;
        break;
      case D_RES:
        if (!located(s, 0, STORE, v, "RES")) return;
        if (tape && cur < 0) return (void)fail("RES before the first CHAPTER");
        loc += v;
        break;
      case D_EVEN:
        if (!s.args.empty()) return (void)fail("EVEN takes no operand");
        loc += loc & 1;
        break;
      default:
        if (places) {
          bool longw;
          int before = count();
          long long n = size_of(s, longw);
          if (count() > before) return;
          if (longw && (loc & 1))
            fail(s.op + " at odd address " + std::to_string(loc) +
                 ": a long word needs an even address (EVEN puts it on one)");
          if (loc + n > STORE) return (void)fail("the program runs past the end of the store");
          loc += n;
        }
        break;
    }
    if (loc > STORE) fail("the location runs past the end of the store");
    if (tape && cur >= 0) ends[cur] = std::max(ends[cur], loc);
  }

  // A RADIX statement's word: one radix for all five digits, or five, the
  // most significant digit first. Its label names it for AMOUNT.
  bool radix(Stmt& s) {
    std::vector<std::string> a = split(s.args);
    if (a.size() != 1 && a.size() != 5)
      return fail("RADIX takes one radix for every digit, or five (digit 4 first)");
    for (size_t k = 0; k < 5; k++) {
      long long r;
      if (!number(a[a.size() == 1 ? 0 : k], 1, 16, r, "radix")) return false;
      s.value = s.value << 4 | (int32_t)(16 - r);
    }
    if (!s.label.empty()) radices[s.label] = s.value;
    return true;
  }

  void chapter(const Stmt& s) {
    std::vector<std::string> a = split(s.args);
    long long n;
    if (a.empty() || a.size() > 2 || (a.size() == 2 && upper(a[1]) != "EXTRA"))
      return (void)fail(
          "CHAPTER takes a chapter number and, for the chapter that holds chapter 0, EXTRA");
    if (!number(a[0], 1, 14, n, "chapter")) return;
    for (const tb::Chapter& c : prog.chapters)
      if (c.number == n) return (void)fail("chapter " + std::to_string(n) + " given twice");
    bool extra = a.size() == 2;
    for (const tb::Chapter& c : prog.chapters)
      if (extra && c.extra) return (void)fail("only one chapter holds chapter 0");
    tb::Chapter c;
    c.number = (int)n;
    c.extra = extra ? EXTRA : 0;
    prog.chapters.push_back(c);
    ends.push_back(extra ? EXTRA : 0);
    sizes.push_back(-1);
    cur = (int)prog.chapters.size() - 1;
    loc = extra ? EXTRA : 0;
  }

  // ----------------------------------------------------------- second pass

  std::string text_of(const Stmt& s) {
    std::string t = s.label;
    if (!s.op.empty()) t += std::string(t.empty() ? "" : " ") + s.op;
    if (!s.args.empty()) t += " " + s.args;
    if (t.size() > TEXT_MAX) t = t.substr(0, TEXT_MAX - 3) + "...";
    return t;
  }

  // Places the word q (parameter p) at the location, and moves on.
  void put(const Stmt& s, int32_t q, int p, const std::string& rel, bool first) {
    if (tape) {
      tb::Chapter& c = prog.chapters[cur];
      size_t k = (size_t)(loc - c.extra);
      if (c.words.size() <= k) c.words.resize(k + 1);
      c.words[k] = {p, q};
      if (loc == 0 && q != 0)
        error(s.line,
              "the first word of a chapter must be 0 (progtape takes a chapter whose "
              "first word is not 0 for the one that holds chapter 0)");
    } else {
      if (loc != next) file += "L" + pad(loc) + "\n";
      char b[32];
      std::snprintf(b, sizeof b, "%-14s [%lld]", notation(q).c_str(), loc);
      file += b;
      if (first) file += " " + text_of(s);
      file += "\n";
      if (!img.empty()) img[loc] = q;
      next = loc + 1;
    }
    rows.push_back({s.line, true, tape ? prog.chapters[cur].number : 0, loc, q, rel});
    loc++;
  }

  static std::string pad(long long v) {
    char b[24];
    std::snprintf(b, sizeof b, "%05lld", v);
    return b;
  }

  void put_val(const Stmt& s, bool neg, long long mag, const Val& x, bool first) {
    int p = tape ? param(x, false) : 0;
    put(s, (int32_t)((neg ? 0x100000 : 0) | mag), p, tape ? param_name(x, false, p) : "", first);
  }

  void pass2(Stmt& s) {
    at = s.line;
    record = true;
    loc = start = s.loc;
    cur = s.chap;
    size_t before = rows.size();
    std::vector<std::string> a = split(s.args);
    auto args = [&](size_t lo, size_t hi) {
      if (a.size() >= lo && a.size() <= hi) return true;
      std::string n = std::to_string(lo) + (lo == hi ? "" : " to " + std::to_string(hi));
      return fail(s.op + " takes " + n + (hi == 1 ? " operand" : " operands"));
    };
    if (s.op.empty()) {
      // A label alone: it names the next word.
    } else if (s.dir < 0) {
      if (instruction(s.dv, s.op, s.args))
        put(s, last, last_p, tape ? param_name(rel_of_last, true, last_p) : "", true);
    } else {
      switch (s.dir) {
        case D_SHORT:
          if (a.empty()) fail("SHORT needs a value");
          for (size_t k = 0; k < a.size(); k++) {
            bool neg;
            long long mag;
            Val x;
            if (!short_value(a[k], neg, mag, x)) break;
            put_val(s, neg, mag, x, k == 0);
          }
          break;
        case D_LONG:
          if (a.empty()) fail("LONG needs a value");
          for (size_t k = 0; k < a.size(); k++) {
            bool neg;
            long long mag;
            Val x;
            if (!signed_mag(a[k], (1LL << 40) - 1, neg, mag, x, "long word")) break;
            if (x.rel != ABS) {
              fail("a long word cannot be relocated");
              break;
            }
            put(s, (int32_t)(mag & 0xFFFFF), 0, "", k == 0);
            put(s, (int32_t)((neg ? 0x100000 : 0) | (mag >> 20)), 0, "", false);
          }
          break;
        case D_AMOUNT: {
          long long r;
          if (!args(2, 2)) break;
          auto rx = radices.find(a[0]);
          if (rx != radices.end() && syms.count(a[0])) {
            r = rx->second;
            syms[a[0]].uses.push_back(at);
          } else if (!number(a[0], 0, 0xFFFFF, r, "radix word")) {
            break;
          }
          int32_t up, lo;
          std::string e = amount_value(a[1], (int)r, up, lo);
          if (!e.empty()) {
            fail("amount " + a[1] + ": " + e);
            break;
          }
          put(s, lo, 0, "", true);
          put(s, up, 0, "", false);
          break;
        }
        case D_RADIX: put(s, s.value, 0, "", true); break;
        case D_NAME: {
          std::string in;
          int c[2];
          size_t k = 0, n = 0;
          if (!args(1, 1) || !quoted(a[0], in)) {
            fail("NAME takes two characters in quotes");
            break;
          }
          int m = 0;
          for (; m < 2 && k < in.size(); m++, k += n)
            if ((c[m] = isa::text_code(in.data() + k, in.size() - k, n)) < 0) break;
          if (m != 2 || k != in.size()) {
            fail("NAME takes two characters of the machine's code in quotes");
            break;
          }
          put(s, c[0] << 8 | c[1], 0, "", true);
          break;
        }
        case D_TEXT:
          for (size_t k = 0; k < s.codes.size(); k += 5) {
            uint8_t c[5] = {};
            for (size_t j = 0; j < 5 && k + j < s.codes.size(); j++) c[j] = (uint8_t)s.codes[k + j];
            put(s, (int32_t)(((c[2] & 0xF) << 16 | c[3] << 8 | c[4]) & 0xFFFFF), 0, "", k == 0);
            put(s, (int32_t)(c[0] << 12 | c[1] << 4 | c[2] >> 4), 0, "", false);
          }
          break;
        case D_ENTRY: entry(s, a); break;
        case D_TAG: {
          long long v;
          if (args(1, 1) && number(a[0], 0, 255, v, "tag"))
            file += "T" + pad(v) + " " + text_of(s) + "\n";
          break;
        }
        case D_CHAP0:
          if (chap0_line) {
            fail("CHAP0 given twice (first on line " + std::to_string(chap0_line) + ")");
          } else if (args(1, 1) && number(a[0], 0, STORE - 1, chap0, "chapter 0 address")) {
            chap0_line = s.line;
            file += "X" + pad(chap0) + " " + text_of(s) + "\n";
          }
          break;
        case D_OVERLAY: {
          long long n, f, e;
          if (!args(3, 3) || !number(a[0], 0, 14, n, "overlay") ||
              !number(a[1], 0, STORE, f, "first address") ||
              !number(a[2], f, STORE, e, "end address"))
            break;
          char b[64];
          std::snprintf(b, sizeof b, "O%02lld %5lld %5lld ", n, f, e);
          file += b + text_of(s) + "\n";
          break;
        }
        case D_TITLE: {
          std::string in;
          if (title_line) {
            fail("TITLE given twice (first on line " + std::to_string(title_line) + ")");
          } else if (!args(1, 1) || !quoted(a[0], in) || in.size() > 200 ||
                     pf::is_listing(in.c_str())) {
            fail("TITLE takes a text in quotes, at most 200 characters, not beginning with \"<\"");
          } else {
            title = in;
            title_line = s.line;
          }
          break;
        }
        case D_ID:
        case D_FP:
        case D_MR:
        case D_PRIORITY: {
          long long v;
          if (!args(1, 1) || !number(a[0], 0, 0xFFFFF, v, s.op.c_str())) break;
          (s.dir == D_ID   ? prog.id
           : s.dir == D_FP ? prog.fp
           : s.dir == D_MR ? prog.mr
                           : prog.priority) = (int)v;
          break;
        }
        case D_FILE: file_dir(s, a); break;
        case D_AREA: area_dir(s, a); break;
        case D_SIZE: {
          long long v;
          if (cur < 0) {
            fail("SIZE before the first CHAPTER");
          } else if (args(1, 1) && number(a[0], ends[cur], 0xFFFFF, v, "size")) {
            sizes[cur] = v;
          }
          break;
        }
        default:
          if (s.dir == D_ORG || s.dir == D_RES || s.dir == D_EVEN || s.dir == D_CHAPTER ||
              s.dir == D_CHAPTERS || s.dir == D_EQU)
            break;
      }
    }
    if (rows.size() == before) rows.push_back({s.line, false, 0, 0, 0, ""});
  }

  void entry(const Stmt& s, const std::vector<std::string>& a) {
    if (entry_line)
      return (void)fail("ENTRY given twice (first on line " + std::to_string(entry_line) + ")");
    if (a.size() != 1) return (void)fail("ENTRY takes one address");
    entry_line = s.line;
    if (!tape) {
      long long v;
      if (number(a[0], 0, STORE - 1, v, "entry address"))
        file += "E" + pad(v) + " " + text_of(s) + "\n";
      return;
    }
    Val x;
    std::string err;
    if (!eval(a[0], x, err)) return (void)fail(err);
    if (x.rel != CHAP || x.idx > tb::initial_of(prog))
      return (void)fail("the entry must be an address in an initial chapter");
    prog.entry_chapter = x.idx;
    prog.entry_address = (int)x.v;
  }

  // A chapter address: its chapter and offset.
  bool in_chapter(const std::string& t, int& chap, int& addr, const char* what) {
    Val x;
    std::string err;
    if (!eval(t, x, err)) return fail(err);
    if (x.rel != CHAP || x.v < 0 || x.v > 0xFFFFF)
      return fail(std::string(what) + " must be an address in a chapter");
    chap = x.idx;
    addr = (int)x.v;
    return true;
  }

  void file_dir(const Stmt& s, const std::vector<std::string>& a) {
    tb::File& f = prog.files[(size_t)s.idx];
    std::string in;
    long long type, len = 0;
    if (a.size() != 2 && a.size() != 4)
      return (void)fail(
          "FILE takes a name, a device type and, for an annex, its address and length");
    auto letter = [](char c) {
      return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/';
    };
    if (!quoted(a[0], in) || in.size() != 2 || !letter(in[0]) || !letter(in[1]))
      return (void)fail("a file name is two letters or digits in quotes");
    if (!number(a[1], 0, 99, type, "device type")) return;
    f.name = in;
    f.type = (int)type;
    if (a.size() == 4) {
      if (!in_chapter(a[2], f.chapter, f.annex, "an annex") ||
          !number(a[3], 0, 0xFFFFF, len, "annex length"))
        return;
      f.length = (int)len;
    }
  }

  void area_dir(const Stmt& s, const std::vector<std::string>& a) {
    tb::Area& r = prog.areas[(size_t)s.idx];
    long long len;
    if (a.size() != 2) return (void)fail("AREA takes an address and a length");
    if (!in_chapter(a[0], r.chapter, r.address, "a transit area") ||
        !number(a[1], 0, 0xFFFFF, len, "length"))
      return;
    r.length = (int)len;
  }

  // ------------------------------------------------------------- the whole

  void run(const std::string& text) {
    if (!tape) img.assign(STORE, 0);
    std::istringstream in(text);
    int line = 0;
    st.reserve((size_t)std::count(text.begin(), text.end(), '\n') + 1);
    for (std::string raw; std::getline(in, raw);) {
      if (!raw.empty() && raw.back() == '\r') raw.pop_back();
      if (listing) src.push_back(raw);
      line++;
      Stmt s;
      if (parse(raw, line, s) && (!s.op.empty() || !s.label.empty())) st.push_back(std::move(s));
    }
    for (Stmt& s : st) {
      int n = count();
      pass1(s);
      s.bad = count() > n;
    }
    // EQUs that name symbols defined below them, until none resolves.
    for (bool more = true; more && !pending.empty();) {
      more = false;
      for (size_t k = 0; k < pending.size(); k++) {
        Stmt& s = st[pending[k]];
        Val v;
        std::string err;
        at = s.line;
        if (eval(s.args, v, err)) {
          define(s, v, false);
          pending.erase(pending.begin() + (long)k--);
          more = true;
        }
      }
    }
    for (size_t k : pending) {
      at = st[k].line;
      Val v;
      std::string err;
      if (!eval(st[k].args, v, err)) error(at, err);
    }
    if (tape) checks();
    for (Stmt& s : st)
      if (!s.bad) pass2(s);
    if (tape && prog.chapters.empty()) error(0, "a program tape needs a CHAPTER");
    if (tape && !entry_line) error(0, "a program tape needs its ENTRY");
    if (!tape && chap0_line && pf::files_of(img.data(), chap0) < 0)
      error(chap0_line, "chapter 0's file list at " + std::to_string(chap0) +
                            " runs past the end of the store");
  }

  // The tape's counts against the chapter 0 layout.
  void checks() {
    int init = tb::initial_of(prog), total = tb::total_of(prog);
    for (size_t k = 0; k < st.size(); k++) {
      const Stmt& s = st[k];
      if (s.dir != D_CHAPTER || s.chap < 0) continue;
      int n = prog.chapters[s.chap].number;
      if (n > total)
        error(s.line, "chapter " + std::to_string(n) + " beyond the CHAPTERS total of " +
                          std::to_string(total));
      else if (n > init && init < 2)
        error(s.line,
              "an overlay chapter needs two initial chapters: it takes the base of the "
              "one before the last");
    }
    int files = (int)prog.files.size(), areas = (int)prog.areas.size();
    if (files > 10) error(0, "more than 10 files: routes go up to 90");
    if (files + areas > 16) error(0, "more than 16 files and transit areas for chapter 0");
    if (2 * init + files + 2 * areas + 4 > 41)
      error(0, "too many chapters, files and transit areas for chapter 0's parameters");
  }

  // ---------------------------------------------------------------- output

  std::string list() {
    std::string out;
    char b[128];
    size_t r = 0;
    for (size_t l = 1; l <= src.size(); l++) {
      bool first = true;
      // The line's words, the first beside the line.
      do {
        const Row* w = r < rows.size() && rows[r].line == (int)l ? &rows[r++] : nullptr;
        std::string addr, hex;
        if (w && w->word) {
          addr = (tape ? std::to_string(w->chap) + ":" : "") + std::to_string(w->loc);
          std::snprintf(b, sizeof b, "%06X", (unsigned)w->q);
          hex = b;
        }
        std::snprintf(b, sizeof b, "%5s %7s  %-14s %6s %-9s ",
                      first ? std::to_string(l).c_str() : "", addr.c_str(),
                      hex.empty() ? "" : notation(w->q).c_str(), hex.c_str(),
                      w ? w->rel.c_str() : "");
        out += trim_right(b + (first ? src[l - 1] : "")) + "\n";
        first = false;
      } while (r < rows.size() && rows[r].line == (int)l);
    }
    out += "\nSymbols\n";
    for (const auto& [name, y] : syms) {
      std::string v;
      switch (y.val.rel) {
        case ABS: v = std::to_string(y.val.v); break;
        case CHAP: v = std::to_string(y.val.idx) + ":" + std::to_string(y.val.v); break;
        case ROUTE: v = "route:" + std::to_string(y.val.idx); break;
        case PSEUDO: v = "pseudo:" + std::to_string(y.val.idx); break;
      }
      std::snprintf(b, sizeof b, "%-16s %8s  line %d;", name.c_str(), v.c_str(), y.line);
      std::string t = b;
      t += y.uses.empty() ? " not used" : " used";
      for (int u : y.uses) t += " " + std::to_string(u);
      out += t + "\n";
    }
    return out;
  }

  static std::string trim_right(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }

  std::string image() {
    for (size_t k = 0; k < prog.chapters.size(); k++) {
      int n = prog.chapters[k].number;
      long long size = sizes[k] >= 0 ? sizes[k] : ends[k];
      if ((int)prog.sizes.size() < n) prog.sizes.resize((size_t)n, -1);
      prog.sizes[(size_t)n - 1] = (int)size;
    }
    return tb::image(tb::blocks(prog));
  }
};

}  // namespace

std::string notation(int32_t w) {
  char b[32];
  std::snprintf(b, sizeof b, "%d/%d/%d %d", w >> 16, (w >> 15) & 1, (w >> 13) & 3, w & 0x1FFF);
  return b;
}

Output assemble(const std::string& text, const std::string& name, bool tape, bool listing) {
  auto a = std::make_unique<Asm>();
  a->tape = tape;
  a->listing = listing;
  a->loc = tape ? 0 : 160;
  a->run(text);
  Output o;
  std::stable_sort(a->errors.begin(), a->errors.end(),
                   [](const Error& x, const Error& y) { return x.line < y.line; });
  o.errors = a->errors;
  o.dropped = a->dropped;
  if (!o.errors.empty()) return o;
  for (auto& [n, y] : a->syms) {
    std::sort(y.uses.begin(), y.uses.end());
    y.uses.erase(std::unique(y.uses.begin(), y.uses.end()), y.uses.end());
  }
  if (listing) o.listing = a->list();
  if (tape) {
    o.file = a->image();
  } else {
    // The title is never loaded: the source's name, kept on its line and
    // from reading as a listing's mark.
    std::string t = a->title_line ? a->title : name;
    for (char& c : t)
      if ((unsigned char)c < 32) c = '?';
    if (pf::is_listing(t.c_str())) t = " " + t;
    o.file = t + "\n assembled by zasm\n" + a->file + symbol_lines(a->syms);
  }
  o.syms = std::move(a->syms);
  return o;
}

std::string symbol_lines(const Symbols& syms) {
  std::string out;
  for (const auto& [name, y] : syms) {
    if (y.val.rel != ABS) continue;
    out += std::string(y.label ? " label " : " equ ") + name + " " + std::to_string(y.val.v) + "\n";
  }
  return out;
}

Symbols read_symbols(const std::string& text) {
  Symbols syms;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    bool label = l.rfind(" label ", 0) == 0;
    if (!label && l.rfind(" equ ", 0) != 0) continue;
    std::istringstream ls(l);
    std::string kind, name, rest;
    long long v;
    if (!(ls >> kind >> name >> v) || (ls >> rest)) continue;
    if (name.empty() || name.size() > SYM_MAX || !ident_start(name[0]) ||
        !std::all_of(name.begin(), name.end(), ident_char))
      continue;
    Sym& y = syms[name];
    y.val.v = v;
    y.label = label;
  }
  return syms;
}

std::string encode(const std::string& stmt, int loc, const Symbols& syms, int32_t& word) {
  if (loc < 0 || loc >= STORE) return "address " + std::to_string(loc) + " is outside the store";
  auto a = std::make_unique<Asm>();
  a->syms = syms;
  a->record = false;
  a->loc = loc;
  Stmt s;
  if (!a->parse(" " + stmt, 1, s) || s.op.empty())
    return a->errors.empty() ? "an instruction expected" : a->errors[0].msg;
  if (s.dir >= 0 && s.dir != D_SHORT && s.dir != D_RADIX && s.dir != D_NAME)
    return s.op + " does not make one word";
  if (s.dir == D_SHORT && split(s.args).size() != 1) return "SHORT of one value only";
  a->st.push_back(s);
  a->st[0].loc = loc;
  a->pass2(a->st[0]);
  if (!a->errors.empty()) return a->errors[0].msg;
  if (a->rows.empty() || !a->rows[0].word) return "an instruction expected";
  word = a->rows[0].q;
  return "";
}

std::string evaluate(const std::string& expr, const Symbols& syms, long long& v) {
  auto a = std::make_unique<Asm>();
  a->syms = syms;
  a->record = false;
  Val x;
  std::string err;
  if (!a->eval(expr, x, err)) return err;
  v = x.v;
  return "";
}

}  // namespace zasm
