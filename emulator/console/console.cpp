// The console: commands read at a prompt (with line editing at a terminal,
// plain lines otherwise) or from command files, the machine driven through
// go() between them.
#include "console.h"

#include <editline/readline.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "amount.h"
#include "cycle.h"
#include "dis.h"
#include "ops.h"
#include "record.h"
#include "symbols.h"

namespace {

using Words = std::vector<std::string>;

// A breakpoint (before the instruction at an address, or before an
// instruction count) or a watched stretch, numbered together. A breakpoint
// may carry commands, obeyed each time it stops the run.
struct Point {
  int id;
  enum { AT, COUNT, WATCH } kind;
  long long v;  // address or count
  int len;      // watched words
  std::vector<std::string> actions;
};

std::vector<Point> points;
int next_id = 1;
bool tty = false;
bool ended = false;                     // the run has ended; the console stays
int status = 0;                         // the run's exit status once it has ended
bool leave = false;                     // the session ends: quit, or SIGTERM
int depth = 0;                          // command files being obeyed, one inside another
bool acting = false;                    // a breakpoint's commands are being obeyed
volatile sig_atomic_t prompt_intr = 0;  // Control-C while the console waits
volatile sig_atomic_t prompt_term = 0;  // SIGTERM while the console waits

void on_prompt_signal(int sig) {
  if (sig == SIGINT) {
    prompt_intr = 1;
    return;
  }
  if (prompt_term) {  // a second SIGTERM ends the process at once
    signal(sig, SIG_DFL);
    raise(sig);
  }
  prompt_term = 1;
}

// While the console waits, Control-C only abandons the line being typed
// and SIGTERM asks the session to end; a wait is cut short by either.
void prompt_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_prompt_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void say(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(M.out, fmt, ap);
  va_end(ap);
}

void say_ended() { say("the run has ended (exit status %d)\n", status); }

enum Got { LINE, END, INTR, TERM };

// One line from the operator: at a terminal through the line editor, with
// history; otherwise as it comes, a carriage return before the line end
// dropped.
Got read_line(const char* prompt, std::string& line) {
  fflush(M.out);
  if (M.log) fflush(M.log);
  prompt_intr = 0;
  line.clear();
  if (tty) {
    char* s = readline(prompt);
    if (prompt_term) return free(s), TERM;
    if (!s) return prompt_intr ? INTR : END;
    line = s;
    if (*s) add_history(s);
    free(s);
    return LINE;
  }
  for (;;) {
    int c = getc(M.in);
    if (c == EOF && (prompt_term || prompt_intr) && ferror(M.in)) {
      clearerr(M.in);
      return prompt_term ? TERM : INTR;
    }
    if (prompt_term) return TERM;
    if (c == EOF) return line.empty() ? END : LINE;
    if (c == '\n') break;
    line += (char)c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return LINE;
}

// The operator's reply to an alarm, asked at the console. Control-C leaves
// the alarm unanswered: the machine goes back to before the alarm
// instruction and the console to its prompt. SIGTERM ends the run.
char* reply(char* buf, int size) {
  // Over recorded history the operator has answered already.
  if (rec_reply(buf, size)) {
    if (!rec_quiet()) say("reply> %.*s (as recorded)\n", (int)strcspn(buf, "\n"), buf);
    return buf;
  }
  if (rec_quiet()) throw Unanswered{};
  prompt_signals();
  std::string line;
  Got g = read_line("reply> ", line);
  catch_signals(true);
  if (g == INTR) {
    if (tty) fputc('\n', M.out);
    throw Unanswered{};
  }
  if (g == TERM) intr = SIGTERM;
  if (g != LINE) return nullptr;
  snprintf(buf, size, "%s\n", line.c_str());
  rec_note_reply(buf);
  return buf;
}

// A number: decimal, or hexadecimal after 0x; an optional minus sign.
bool number(const std::string& t, long long& v) {
  if (t.empty()) return false;
  size_t i = t[0] == '-' ? 1 : 0;
  int base = 10;
  if (t.compare(i, 2, "0x") == 0 || t.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  }
  if (i >= t.size() || t.size() - i > 19 || !isxdigit((unsigned char)t[i])) return false;
  char* e;
  errno = 0;
  unsigned long long u = strtoull(t.c_str() + i, &e, base);
  if (*e || errno || u > (1ull << 62)) return false;
  v = t[0] == '-' ? -(long long)u : (long long)u;
  return true;
}

// The program's symbols, read from its program file's symbol lines: the
// names addresses are written and shown with.
zsym::Table syms;
std::string addr_err;  // why the last address written with a name was refused

// The text names a symbol: it holds a word that is not a number.
bool symbolic(const std::string& t) {
  for (size_t i = 0; i < t.size(); i++) {
    unsigned char c = (unsigned char)t[i];
    if (isdigit(c))
      while (i + 1 < t.size() && isalnum((unsigned char)t[i + 1])) i++;
    else if (isalpha(c) || c == '_')
      return true;
  }
  return false;
}

// An address: a number, or, when the program carries symbols, a label (or
// another name of the program) plus or minus numbers, as zasm reads it.
// Every command reads its addresses here.
bool address(const std::string& t, long long& a) {
  addr_err.clear();
  if (syms.syms.empty() || !symbolic(t)) return number(t, a) && a >= 0 && a < STORE;
  int v = 0;
  addr_err = t.find('*') != std::string::npos
                 ? "an address is a number, or a label plus or minus numbers"
                 : zsym::address(syms, t, v);
  a = v;
  return addr_err.empty();
}

// A command's refusal of its arguments: what was wrong with an address
// written with a name, else the command's form.
void refuse(const std::string& form) {
  say("%s", addr_err.empty() ? form.c_str() : (addr_err + "\n").c_str());
}

// An address as the console shows it: the number and, when the program's
// labels name it, the label or LABEL+n.
std::string where(long long a) {
  std::string s = std::to_string(a), n;
  if (a >= 0 && a < STORE) n = zsym::name(syms, (int)a);
  return n.empty() ? s : s + " (" + n + ")";
}

// An instruction's operand address as zasm writes it: its label or
// LABEL+n, else the number.
std::string operand(int a) {
  std::string n = zsym::name(syms, a);
  return n.empty() ? std::to_string(a) : n;
}

// A machine number for a word: up to 21 bits as they stand (0x1FFFFF), or
// a minus sign and a magnitude of up to 20 bits, stored as sign and
// magnitude (-5 is 0x100005).
bool machine_number(const std::string& t, int32_t& w) {
  long long v;
  if (!number(t, v)) return false;
  if (t[0] == '-') {
    if (-v > MASK20) return false;
    w = (int32_t)(SIGN | -v);
    return true;
  }
  if (v > MASK21) return false;
  w = (int32_t)v;
  return true;
}

// A text in double quotes as a whole word, quotes removed.
std::string unquote(const std::string& t) {
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return t.substr(1, t.size() - 2);
  return t;
}

// The trace line of the instruction due next, as the trace would show it.
std::string next_line() {
  char buf[256];
  int n;
  if ((unsigned)M.sc < (unsigned)STORE) {
    int32_t w = M.store[M.sc];
    n = trace_line(buf, M.sc, w, form_n((unsigned)M.sc, w));
  } else {
    n = snprintf(buf, sizeof buf, "%5d ---> (outside the store)\n", M.sc);
  }
  return std::string(buf, (size_t)n);
}

void show_next() { say("%s", next_line().c_str()); }

// Arms the cycle's hooks from the list of points.
void arm() {
  std::memset(hooks.brk, 0, sizeof hooks.brk);
  hooks.nbrk = 0;
  hooks.watches.clear();
  for (const Point& p : points) {
    if (p.kind == Point::AT && !hooks.brk[p.v]) {
      hooks.brk[p.v] = 1;
      hooks.nbrk++;
    } else if (p.kind == Point::WATCH) {
      hooks.watches.push_back(
          {(int)p.v, std::vector<int32_t>(M.store + p.v, M.store + p.v + p.len)});
    }
  }
  recheck();
}

// The count breakpoint met first from here (strictly ahead), or nullptr.
const Point* count_ahead() {
  const Point* cb = nullptr;
  for (const Point& p : points)
    if (p.kind == Point::COUNT && p.v - 1 > M.count && (!cb || p.v < cb->v)) cb = &p;
  return cb;
}

// Says why go() stopped and gives the commands of the breakpoints that
// stopped it; false when it only obeyed what it was asked to.
bool why(Stop s, std::vector<std::string>* actions = nullptr) {
  auto take = [&](const Point& p) {
    if (actions) actions->insert(actions->end(), p.actions.begin(), p.actions.end());
  };
  switch (s) {
    case BROKE:
      for (const Point& p : points)
        if (p.kind == Point::AT && p.v == M.sc)
          say("breakpoint %d at %s\n", p.id, where(M.sc).c_str()), take(p);
      return true;
    case WATCHED: {
      int k = 0;  // watches are armed in the order of the points
      for (const Point& p : points) {
        if (p.kind != Point::WATCH) continue;
        for (const auto& h : hooks.hits)
          if (h.which == k)
            say("watch %d: %s changed from %06X to %06X by the instruction at %s\n", p.id,
                where(h.addr).c_str(), (uint32_t)h.from, (uint32_t)h.to, where(hooks.last).c_str());
        k++;
      }
      return true;
    }
    case INTERRUPTED: say("interrupted\n"); return true;
    case UNANSWERED: say("alarm left unanswered: step or continue asks again\n"); return true;
    default: break;
  }
  bool any = false;
  for (const Point& p : points)
    if (p.kind == Point::COUNT && p.v - 1 == M.count) {
      say("breakpoint %d before instruction %lld\n", p.id, p.v);
      take(p);
      any = true;
    }
  return any;
}

// The words of a command line, split at blanks; a text in double quotes
// is one word, quotes and blanks included.
Words words(const std::string& line) {
  Words t;
  size_t i = 0, n = line.size();
  while (i < n) {
    if (isspace((unsigned char)line[i])) {
      i++;
      continue;
    }
    size_t j = i;
    if (line[i] == '"') {
      j = line.find('"', i + 1);
      j = j == std::string::npos ? n : j + 1;
    } else {
      while (j < n && !isspace((unsigned char)line[j])) j++;
    }
    t.push_back(line.substr(i, j - i));
    i = j;
  }
  return t;
}

bool command(const std::string& line);

// Ends the run after SIGTERM, as without a console: the report, status 143.
void terminated() {
  leave = true;
  if (ended) {
    status = 128 + SIGTERM;
    return;
  }
  try {
    intr = SIGTERM;
    M.count++;
    interrupted();
  } catch (const RunEnd& e) {
    ended = true;
    status = e.status;
  }
}

// Obeys n instructions one at a time (step, each == true), showing the
// trace line of the one due after each, or runs on (continue) to a stop.
// Breakpoints stop a step of more than one instruction too; the commands of
// a breakpoint that stops the run are obeyed, and a continue among them
// runs on. The end of the run is kept: the console stays, to look at the
// final state.
void drive(long long n, bool each) {
  for (;;) {
    if (ended) return say_ended();
    arm();
    intr = 0;
    catch_signals(true);
    std::vector<std::string> actions;
    Stop s = STEPPED;
    try {
      if (each) {
        for (long long k = 0; k < n; k++) {
          s = rec_go(1);
          show_next();
          if (s != STEPPED) {
            why(s, &actions);
            break;
          }
          if (k + 1 < n && (at_break() ? why(BROKE, &actions) : why(STEPPED, &actions))) break;
        }
      } else {
        const Point* cb = count_ahead();
        s = rec_go(cb ? cb->v - 1 - M.count : -1);
        why(s, &actions);
        show_next();
      }
      rec_stop(s);
    } catch (const RunEnd& e) {
      ended = true;
      status = e.status;
      rec_end(status);
      fflush(M.out);
      if (M.log) fflush(M.log);
      if (intr == SIGTERM) leave = true;
      if (!leave) say_ended();
    }
    prompt_signals();
    if (intr == SIGTERM && !ended) terminated();  // a stop met before the signal was seen
    if (ended || leave || acting || actions.empty()) return;
    // The breakpoint's commands, up to a continue.
    bool on = false;
    acting = true;
    for (const std::string& a : actions) {
      Words t = words(a);
      std::string w = t.empty() ? "" : t[0];
      for (char& ch : w) ch = (char)tolower((unsigned char)ch);
      if (w == "c" || (w.size() > 1 && std::string("continue").compare(0, w.size(), w) == 0)) {
        on = true;
        break;
      }
      if (!command(a) || leave || prompt_term) break;
    }
    acting = false;
    if (!on || leave || prompt_term) return;
    each = false;
  }
}

// ---- The commands ----

void c_step(const Words& t, const std::string&) {
  long long n = 1;
  if (t.size() > 2 || (t.size() == 2 && (!number(t[1], n) || n < 1)))
    return say("step [N], N at least 1\n");
  drive(n, true);
}

void c_continue(const Words&, const std::string&) { drive(-1, false); }

void list_points() {
  if (points.empty()) say("no breakpoints or watches\n");
  for (const Point& p : points) {
    if (p.kind == Point::AT) say("%d: break at %s", p.id, where(p.v).c_str());
    if (p.kind == Point::COUNT) say("%d: break before instruction %lld", p.id, p.v);
    if (p.kind == Point::WATCH)
      say("%d: watch %s, %d word%s", p.id, where(p.v).c_str(), p.len, p.len == 1 ? "" : "s");
    for (const std::string& a : p.actions) say("; %s", a.c_str());
    say("\n");
  }
}

// break ADDR | #N, then commands after semicolons.
void c_break(const Words&, const std::string& line) {
  std::vector<std::string> parts;
  size_t i = 0;
  for (;;) {
    size_t j = line.find(';', i);
    std::string s = line.substr(i, j == std::string::npos ? j : j - i);
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    parts.push_back(a == std::string::npos ? "" : s.substr(a, b - a + 1));
    if (j == std::string::npos) break;
    i = j + 1;
  }
  Words t = words(parts[0]);
  if (t.size() == 1 && parts.size() == 1) return list_points();
  long long a, n;
  Point p{next_id, Point::AT, 0, 0, {}};
  if (t.size() == 2 && t[1][0] == '#' && number(t[1].substr(1), n) && n > 0) {
    if (n <= M.count + 1)
      return say("instruction %lld is not ahead: the run is before instruction %lld\n", n,
                 M.count + 1);
    p.kind = Point::COUNT;
    p.v = n;
  } else if (t.size() == 2 && address(t[1], a)) {
    p.v = a;
  } else {
    return refuse("break ADDR, or break #COUNT, then commands after semicolons\n");
  }
  for (size_t k = 1; k < parts.size(); k++)
    if (!parts[k].empty()) p.actions.push_back(parts[k]);
  points.push_back(p);
  next_id++;
  say("breakpoint %d\n", p.id);
}

void c_delete(const Words& t, const std::string&) {
  long long n;
  if (t.size() == 1) return points.clear();
  if (t.size() != 2 || !number(t[1], n)) return say("delete [K]\n");
  auto it = std::find_if(points.begin(), points.end(), [&](const Point& p) { return p.id == n; });
  if (it == points.end()) return say("no breakpoint or watch %lld\n", n);
  points.erase(it);
}

void c_watch(const Words& t, const std::string&) {
  long long a, n = 1;
  if (t.size() < 2 || t.size() > 3 || !address(t[1], a) ||
      (t.size() == 3 && (!number(t[2], n) || n < 1 || a + n > STORE)))
    return refuse("watch ADDR [LEN], inside the store\n");
  points.push_back({next_id++, Point::WATCH, a, (int)n, {}});
  say("watch %d\n", points.back().id);
}

// The five characters of the long word (up, lo) as examine shows them: the
// newline code as "~", the pound sign in UTF-8.
std::string chars(int32_t up, int32_t lo) {
  const char* t = render(up, lo);
  std::string s;
  for (int k = 0; k < 5; k++)
    s += t[k] == '\n'         ? std::string("~")
         : t[k] == (char)0xA3 ? std::string("£")
                              : std::string(1, t[k]);
  return s;
}

// "ABCDE": five characters as an alpha long word {lower, upper}, read as
// examine shows them: "~" the newline code, "#" the end-of-data code, the
// pound sign in UTF-8 (or as its single byte). "" or what is wrong.
std::string alpha(const std::string& t, int32_t& lo, int32_t& up) {
  uint8_t c[5];
  int n = 0;
  for (size_t i = 1; i + 1 < t.size(); i++) {
    unsigned char h = (unsigned char)t[i];
    uint8_t code;
    if (h == 0xC2 && i + 2 < t.size() && (unsigned char)t[i + 1] == 0xA3) {
      code = 0x4F;
      i++;
    } else if (h == '~') {
      code = 0x5E;
    } else if (h == '#') {
      code = 0x7E;
    } else if (h == ' ' || h2m[h]) {
      code = h2m[h];
    } else {
      return std::string("no machine character for ") + (char)h;
    }
    if (n == 5) return "five characters go into a long word";
    c[n++] = code;
  }
  if (n != 5) return "five characters go into a long word";
  up = pack_up(c);
  lo = pack_lo(c);
  return "";
}

// A store word: a machine number, or an instruction A/C/B M (two words).
bool store_word(const Words& t, size_t i, int32_t& w) {
  if (t.size() == i + 1 && machine_number(t[i], w)) return true;
  int a, c, b;
  char end;
  long long m;
  if (t.size() == i + 2 && sscanf(t[i].c_str(), "%d/%d/%d%c", &a, &c, &b, &end) == 3 &&
      number(t[i + 1], m) && a >= 0 && a < 32 && c >= 0 && c < 2 && b >= 0 && b < 4 && m >= 0 &&
      m < 8192) {
    w = (int32_t)((a * 8 + c * 4 + b) * 8192 + m);
    return true;
  }
  return false;
}

void c_deposit(const Words& t, const std::string& line) {
  if (t.size() < 3) return say("deposit ADDR VALUE, or deposit REGISTER VALUE\n");
  const std::string& what = t[1];
  long long a;
  if (const RegInfo* r = reg_named(what)) {
    if (r->flags & RO) return say("%s is read-only\n", r->name);
    int32_t up, lo = 0;
    long long v = 0, v2 = 0;
    bool ok = r->kind == PAIR
                  ? t.size() == 4 && machine_number(t[2], up) && machine_number(t[3], lo)
                  : t.size() == 3 && (number(t[2], v) || address(t[2], v));
    if (r->kind == PAIR) v = up, v2 = lo;
    if (!ok) {
      if (r->kind == PAIR) return say("%s takes UPPER and LOWER, each a word\n", r->name);
      return say("bad value for %s\n", r->name);
    }
    std::string w = reg_set(*r, M, v, v2);
    if (!w.empty()) return say("%s\n", w.c_str());
    set_radix(M.radix);
    recheck();
    return;
  }
  if (!address(what, a)) return refuse("no register or address " + what + "\n");
  if (t.size() == 3 && t[2][0] == '"') {
    int32_t lo, up;
    std::string w = alpha(t[2], lo, up);
    if (!w.empty()) return say("%s\n", w.c_str());
    if (a % 2 || a + 1 >= STORE)
      return say("five characters go into a long word at an even address\n");
    M.store[a] = lo;
    M.store[a + 1] = up;
    return;
  }
  int32_t w;
  if (isalpha((unsigned char)t[2][0]) || t[2][0] == '_') {
    // An instruction as zasm writes it: the text after the address.
    size_t i = 0;
    for (int k = 0; k < 2; k++) i = line.find_first_of(" \t", line.find_first_not_of(" \t", i));
    std::string e = zsym::word(syms, line.substr(line.find_first_not_of(" \t", i)), (int)a, w);
    if (!e.empty()) return say("%s\n", e.c_str());
  } else if (!store_word(t, 2, w)) {
    return say(
        "bad value: a number (-1048575 to 2097151 or 0x1FFFFF; minus is sign and magnitude), "
        "A/C/B M, or \"ABCDE\"\n");
  }
  M.store[a] = w;
}

// A register as "name value", in the form its table entry gives.
void show_reg(const RegInfo& r) {
  long long v, v2;
  reg_get(r, M, v, v2);
  switch (r.kind) {
    case PAIR: say("%s %06X %05X", r.name, (uint32_t)v, (uint32_t)v2); break;
    case WORD: say("%s %0*X", r.name, r.digits, (uint32_t)v); break;
    default: say("%s %lld", r.name, v); break;
  }
}

// examine ADDR[-END] [COUNT] [-i | -c | -n [-r RADIX]], or examine REGISTER.
void c_examine(const Words& t, const std::string&) {
  char form = 0;
  long long rdx = M.radix;
  Words pos;
  for (size_t i = 1; i < t.size(); i++) {
    const std::string& s = t[i];
    if (s == "-i" || s == "-c" || s == "-n") {
      form = s[1];
    } else if (s == "-r") {
      if (i + 1 >= t.size() || !number(t[i + 1], rdx) || rdx < 0 || rdx > MASK20)
        return say("-r takes a radix word, 0 to 0xFFFFF\n");
      i++;
      form = 'n';
    } else {
      pos.push_back(s);
    }
  }
  if (pos.size() == 1 && !form) {
    if (const RegInfo* r = reg_named(pos[0])) {
      show_reg(*r);  // any register of the table, run control included
      return say("  (%s)\n", r->what);
    }
  }
  long long a, b, n = 1;
  const char* use = "examine ADDR [COUNT] or ADDR-END, inside the store; -i, -c, -n [-r RADIX]\n";
  if (pos.empty() || pos.size() > 2) return say("%s", use);
  // ADDR-END: the first dash with an address on each side, END not below
  // ADDR, makes a range; a dash before a plain number below ADDR is rather
  // LABEL-n, one address.
  int range = 0;
  for (size_t d = pos[0].find('-', 1); d != std::string::npos && !range;
       d = pos[0].find('-', d + 1))
    if (address(pos[0].substr(0, d), a) && address(pos[0].substr(d + 1), b))
      range = b >= a ? 1 : symbolic(pos[0].substr(d + 1)) ? -1 : 0;
  if (range) {
    if (pos.size() != 1 || range < 0) return say("%s", use);
    n = b - a + 1;
  } else if (!address(pos[0], a) ||
             (pos.size() == 2 && (!number(pos[1], n) || n < 1 || a + n > STORE))) {
    return refuse(use);
  }
  // Long words (-c, -n) from the even address at or below the first. A
  // label heads the line of its address, and the first line its LABEL+n.
  bool longs = form == 'c' || form == 'n';
  for (long long i = longs ? a & ~1LL : a, first = i; i < a + n; i += longs ? 2 : 1) {
    std::string label = zsym::name(syms, (int)i);
    if (!label.empty() && (i == first || label.find('+') == std::string::npos))
      say("%s:\n", label.c_str());
    int32_t w = M.store[i];
    int32_t up = i + 1 < STORE ? M.store[i + 1] : 0;
    if (form == 'n') {
      std::string s;
      bool ok = amount_text(up, w, (int)rdx, s);
      say("%5lld  %06X %05X  %s%s\n", i, (uint32_t)up, (uint32_t)w, s.c_str(),
          ok ? "" : "  (a digit out of its radix)");
      continue;
    }
    if (form == 'c') {
      say("%5lld  [%s]\n", i, chars(up, w).c_str());
      continue;
    }
    std::string name = name_of(w >> 13 & 0xFF);
    if ((w >> 13) < 0 || (w >> 13) > 255) name = "";
    while (!name.empty() && name.back() == ' ') name.pop_back();
    say("%5lld  %06X  %2d/%d/%d %4d  ", i, (uint32_t)w, w >> 16, (w >> 15) & 1, (w >> 13) & 3,
        w & 0x1FFF);
    if (form == 'i') {
      // With the program's symbols, also as zasm writes it.
      if (syms.syms.empty()) {
        say("%s\n", name.c_str());
      } else {
        say("%-28s %s\n", name.c_str(), zdis::statement(w, (int)i, true, operand).c_str());
      }
      continue;
    }
    say("%-28s", name.c_str());
    if (i % 2 == 0 && i + 1 < STORE) say(" [%s]", chars(up, w).c_str());
    say("\n");
  }
}

void c_registers(const Words&, const std::string&) {
  int col = 0;
  for (int i = 0; i < nregs; i++) {
    const RegInfo& r = regs[i];
    if (!(r.flags & SHOWN)) continue;
    if (col) say("  ");
    show_reg(r);
    if (++col == 4 || (r.kind == PAIR && r.p == &M.d)) {
      say("\n");
      col = 0;
    }
  }
  if (col) say("\n");
  for (int k = 1; k <= 3; k++)
    say("%sm%d %d (limit %d)", k > 1 ? "  " : "", k, M.store[M.mgb + 2 * k],
        M.store[M.mgb + 2 * k + 1]);
  say("  group at %d\n", M.mgb);
}

void c_trace(const Words& t, const std::string&) {
  long long n;
  if (t.size() != 2 || !number(t[1], n) || n < 0 || n > 9) return say("trace N, 0 to 9\n");
  M.verbosity = (int)n;
  recheck();
}

const char* device(int type) {
  switch (type) {
    case -1: return "none";
    case 5: return "reader";
    case 7:
    case 8: return "tape";
    case 9:
    case 14:
    case 19: return "printer";
    default: return "unknown";
  }
}

const char* mode_word(int mode) {
  switch (mode) {
    case -1: return "none";
    case 0: return "output";
    case 1: return "input";
    default: return "other";
  }
}

void c_routes(const Words&, const std::string&) {
  for (int k = 0; k < 10; k++) {
    const Route& e = M.routes[k];
    char nm[3] = {'-', '-', 0};
    if (e.name != -1) nm[0] = m2h[(e.name >> 8) & 0xFF], nm[1] = m2h[e.name & 0xFF];
    say("route %2d  %s  type %2d %-7s  mode %2d %-6s  ", 9 * (k + 1), nm, e.type, device(e.type),
        e.mode, mode_word(e.mode));
    if (e.fd < 0) {
      say("closed\n");
      continue;
    }
    long long pos = lseek(e.fd, 0, SEEK_CUR);
    say("%s at byte %lld", e.path.c_str(), pos);
    if (e.path.compare(0, 2, "MT") == 0)
      say(", block count %d, last block %d words%s", e.count, e.last,
          e.pending ? ", read back" : "");
    say("\n");
  }
  say("reader %s ", M.ptrname.c_str());
  if (M.reader)
    say("open at byte %ld%s\n", ftell(M.reader), M.reader_eof ? ", read to its end" : "");
  else
    say("closed%s\n", M.reader_used ? " (read before)" : "");
}

void c_save(const Words& t, const std::string&) {
  if (t.size() != 2) return say("save FILE\n");
  if (ended) return say_ended();
  std::string name = unquote(t[1]), w = save(name);
  if (!w.empty()) return say("%s\n", w.c_str());
  say("saved %s\n", name.c_str());
}

void c_restore(const Words& t, const std::string&) {
  if (t.size() != 2) return say("restore FILE\n");
  std::string name = unquote(t[1]), w = restore(name);
  if (!w.empty()) return say("%s\n", w.c_str());
  ended = false;
  status = 0;
  rec_start(rec_on());  // a new history from the snapshot's machine
  say("restored %s\n", name.c_str());
  show_next();
}

// Obeys the commands of a file.
void obey_file(const std::string& name) {
  if (depth >= 8) return say("%s: command files nested too deep\n", name.c_str());
  FILE* f = open_text(name.c_str());
  struct stat st;
  if (f && fstat(fileno(f), &st) == 0 && !S_ISREG(st.st_mode)) {
    fclose(f);  // a device or a pipe might never end
    return say("%s: not a regular file\n", name.c_str());
  }
  if (!f) return say("%s: %s\n", name.c_str(), strerror(errno));
  depth++;
  std::string line;
  for (int c = 0; c != EOF && !leave && !prompt_term;) {
    line.clear();
    while ((c = getc(f)) != EOF && c != '\n') line += (char)c;
    if (c == EOF && line.empty()) break;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!command(line)) leave = true;
  }
  depth--;
  fclose(f);
}

void c_do(const Words& t, const std::string&) {
  if (t.size() != 2) return say("do FILE\n");
  obey_file(unquote(t[1]));
}

void c_echo(const Words&, const std::string& line) {
  size_t i = line.find_first_not_of(" \t");
  i = line.find_first_of(" \t", i);
  i = i == std::string::npos ? line.size() : i + 1;
  say("%s\n", line.c_str() + i);
}

// ---- Going back in time: moves in the record of the run ----
//
// A position in the record is an instruction count: "#N" names the machine
// before instruction N.

bool recorded() {
  if (rec_on()) return true;
  say("the record is off (record on begins one here)\n");
  return false;
}

// The machine goes to position p of the record. Whether the run has ended
// follows from where it stands: at the end of a record that ends with it.
void go_to(long long p) {
  std::string w = rec_moveto(p);
  if (!w.empty()) say("%s\n", w.c_str());
  ended = rec_status() >= 0 && M.count == rec_head();
  status = ended ? rec_status() : 0;
}

// After a move: the instruction due next, or the end.
void show_moved() {
  show_next();
  if (ended) say_ended();
}

void c_back(const Words& t, const std::string&) {
  long long n = 1;
  if (t.size() > 2 || (t.size() == 2 && (!number(t[1], n) || n < 1)))
    return say("back [N], N at least 1\n");
  if (!recorded()) return;
  long long p = M.count - n;
  if (p < rec_oldest()) {
    p = rec_oldest();
    say("the record reaches back to before instruction #%lld\n", p + 1);
  }
  go_to(p);
  show_moved();
}

void c_goto(const Words& t, const std::string&) {
  long long n;
  if (t.size() != 2 || t[1][0] != '#' || !number(t[1].substr(1), n) || n < 1)
    return say("goto #N, N an instruction count\n");
  if (!recorded()) return;
  if (n - 1 < rec_oldest() || n - 1 > rec_head())
    return say("the record holds the machine from before instruction #%lld to before #%lld\n",
               rec_oldest() + 1, rec_head() + 1);
  go_to(n - 1);
  show_moved();
}

// Searches the record back from here with the hooks as armed; Control-C
// (or SIGTERM) gives the search up.
std::string search(Found& f, long long floor, bool last) {
  prompt_intr = 0;
  return rec_search(f, floor, last, [] { return prompt_intr || prompt_term; });
}

void c_reverse(const Words& t, const std::string&) {
  if (t.size() != 1) return say("reverse\n");
  if (!recorded()) return;
  long long cur = M.count;
  // The count breakpoints are positions: the latest before here.
  const Point* cb = nullptr;
  for (const Point& p : points)
    if (p.kind == Point::COUNT && p.v - 1 < cur && p.v - 1 >= rec_oldest() && (!cb || p.v > cb->v))
      cb = &p;
  arm();
  Found f;
  std::string w = search(f, cb ? cb->v - 1 : -1, false);
  if (!w.empty()) {
    go_to(cur);
    say("%s: back where it was\n", w.c_str());
    return show_moved();
  }
  if (f.at >= 0) {
    go_to(f.at);
    if (f.why == BROKE) {
      for (const Point& p : points)
        if (p.kind == Point::AT && p.v == f.addr)
          say("breakpoint %d at %s\n", p.id, where(f.addr).c_str());
    } else {
      int k = 0;  // watches are armed in the order of the points
      for (const Point& p : points) {
        if (p.kind != Point::WATCH) continue;
        for (const auto& h : f.hits)
          if (h.which == k)
            say("watch %d: %s is changed from %06X to %06X by the instruction due next (#%lld)\n",
                p.id, where(h.addr).c_str(), (uint32_t)h.from, (uint32_t)h.to, f.at + 1);
        k++;
      }
    }
  } else if (cb) {
    go_to(cb->v - 1);
    say("breakpoint %d before instruction %lld\n", cb->id, cb->v);
  } else {
    go_to(rec_oldest());
    say("no breakpoint or watch stops the run before here: at the oldest point recorded, "
        "before instruction #%lld\n",
        rec_oldest() + 1);
  }
  show_moved();
}

void c_last(const Words& t, const std::string&) {
  long long a, n = 1;
  if (t.size() < 2 || t.size() > 3 || !address(t[1], a) ||
      (t.size() == 3 && (!number(t[2], n) || n < 1 || a + n > STORE)))
    return say("last ADDR [LEN], inside the store\n");
  if (!recorded()) return;
  long long cur = M.count;
  // One watch on the words and nothing else, then the console's own again.
  hooks.nbrk = 0;
  hooks.watches = {{(int)a, std::vector<int32_t>(M.store + a, M.store + a + n)}};
  recheck();
  Found f;
  std::string w = search(f, -1, true);
  arm();
  std::string words = std::to_string(a) + (n > 1 ? "-" + std::to_string(a + n - 1) : "");
  if (w.empty() && f.at < 0)
    w = "nothing changed " + words + " since the record began, before instruction #" +
        std::to_string(rec_oldest() + 1);
  if (!w.empty()) {
    go_to(cur);
    return say("%s\n", w.c_str());
  }
  // The instruction, and the words before and after it.
  go_to(f.at);
  std::string line = next_line();
  int sc = M.sc;
  std::vector<int32_t> was(M.store + a, M.store + a + n);
  go_to(f.at + 1);
  std::vector<int32_t> now(M.store + a, M.store + a + n);
  go_to(cur);
  for (long long i = 0; i < n; i++)
    if (was[i] != now[i])
      say("#%lld at %s changed %s from %06X to %06X\n", f.at + 1, where(sc).c_str(),
          where(a + i).c_str(), (uint32_t)was[i], (uint32_t)now[i]);
  say("%s", line.c_str());
}

void c_history(const Words& t, const std::string&) {
  long long n = 20;
  if (t.size() > 2 || (t.size() == 2 && (!number(t[1], n) || n < 1)))
    return say("history [N], N at least 1\n");
  if (!recorded()) return;
  long long cur = M.count, from = std::max(rec_oldest(), cur - n);
  if (from > cur - n) say("(the record reaches back to before instruction #%lld)\n", from + 1);
  prompt_intr = 0;
  std::string w = rec_moveto(from);
  for (long long p = from; p < cur && w.empty(); p++) {
    // The execution limit abandons the run before the instruction it meets.
    if (M.limit != p + 1) say("#%lld  %s", p + 1, next_line().c_str());
    w = prompt_intr || prompt_term ? "interrupted" : rec_moveto(p + 1);
  }
  go_to(cur);
  if (!w.empty()) say("%s\n", w.c_str());
}

// A memory size: a number of megabytes, or a number with K, M or G.
bool size(const std::string& t, long long& bytes) {
  std::string d = t;
  long long unit = 1 << 20;
  char u = d.empty() ? 0 : (char)toupper((unsigned char)d.back());
  if (u == 'K' || u == 'M' || u == 'G') {
    unit = u == 'K' ? 1LL << 10 : u == 'M' ? 1LL << 20 : 1LL << 30;
    d.pop_back();
  }
  long long v;
  if (!number(d, v) || v < 1 || v > (1LL << 50) / unit) return false;
  bytes = v * unit;
  return true;
}

void c_record(const Words& t, const std::string&) {
  long long b;
  std::string w = t.size() >= 2 ? t[1] : "";
  for (char& ch : w) ch = (char)tolower((unsigned char)ch);
  if (t.size() == 2 && (w == "on" || w == "off")) {
    if ((w == "on") == rec_on()) return say("the record is %s already\n", w.c_str());
    rec_start(w == "on", ended ? status : -1);
  } else if (t.size() == 2 && size(t[1], b)) {
    rec_set_limit(b);
  } else if (t.size() == 3 && w == "every" && number(t[2], b) && b >= 1) {
    rec_set_every(b);
  } else if (t.size() != 1) {
    return say("record [on | off | LIMIT | every N], LIMIT in megabytes or with K, M or G\n");
  }
  if (!rec_on()) return say("the record is off\n");
  say("the record reaches from before instruction #%lld to ", rec_oldest() + 1);
  if (rec_status() >= 0)
    say("the end of the run, after #%lld (exit status %d);", rec_head(), rec_status());
  else
    say("before #%lld;", rec_head() + 1);
  if (ended)
    say(" the machine stands at the end\n");
  else
    say(" the machine stands before #%lld\n", M.count + 1);
  auto many = [](long long n, const char* one, const char* more) {
    return std::to_string(n) + " " + (n == 1 ? one : more);
  };
  say("%s (every %lld instructions), %s, %s: %.1f MB, of at most %.1f MB\n",
      many(rec_checks(), "checkpoint", "checkpoints").c_str(), rec_every(),
      many(rec_changes(), "file change", "file changes").c_str(),
      many(rec_replies(), "reply", "replies").c_str(), rec_bytes() / 1048576.0,
      rec_limit() / 1048576.0);
}

// deposit, keeping the record: a change to what the run does begins a new
// history here; one to how it is traced alone does not.
void c_deposit_recorded(const Words& t, const std::string& line) {
  static int32_t store[STORE];
  std::vector<long long> was(2 * (size_t)nregs);
  std::memcpy(store, M.store, sizeof store);
  for (int i = 0; i < nregs; i++) reg_get(regs[i], M, was[2 * i], was[2 * i + 1]);
  long long count = M.count;
  c_deposit(t, line);
  if (M.count != count) return rec_start(rec_on(), ended ? status : -1);
  bool changed = std::memcmp(store, M.store, sizeof store) != 0;
  for (int i = 0; i < nregs; i++) {
    long long v, v2;
    reg_get(regs[i], M, v, v2);
    if (!(regs[i].flags & TRACE) && (v != was[2 * i] || v2 != was[2 * i + 1])) changed = true;
  }
  if (changed) rec_edit();
}

void c_help(const Words& t, const std::string&);

void c_quit(const Words&, const std::string&) { leave = true; }

struct Cmd {
  const char* name;
  const char* alias;
  const char* brief;  // for the list
  const char* form;
  const char* text;
  void (*fn)(const Words&, const std::string&);
};

const Cmd cmds[] = {
    {"step", "s", "obey N instructions (1), showing each", "step [N]",
     "Obey N instructions (default 1), showing after each the trace line of the one due next.\n"
     "A breakpoint stops a step of more than one instruction.",
     c_step},
    {"continue", "c", "run to a breakpoint, watch, alarm or the end", "continue",
     "Run until a breakpoint, a watched change, an alarm left unanswered, the end of the\n"
     "run or Control-C.",
     c_continue},
    {"break", "b", "stop at an address or count, with commands", "break ADDR | #N [; COMMAND ...]",
     "Stop before the instruction at ADDR, or before instruction count N. Commands after\n"
     "semicolons are obeyed at each stop there; a continue among them runs on.\n"
     "break alone lists the breakpoints and watches.",
     c_break},
    {"delete", nullptr, "remove breakpoints and watches", "delete [K]",
     "Remove breakpoint or watch K, or all of them.", c_delete},
    {"watch", "w", "stop when words change", "watch ADDR [LEN]",
     "Stop after an instruction changes one of LEN words (default 1) from ADDR, naming the\n"
     "instruction and the old and new value.",
     c_watch},
    {"examine", "x", "show words, amounts or a register",
     "examine ADDR [COUNT] | ADDR-END [-i | -c | -n [-r RADIX]]",
     "Show words: hexadecimal, instruction and, at an even address, the long word's five\n"
     "characters. -i the instruction only, -c the characters only, -n each long word as\n"
     "the number it holds under the radix register (or the radix word RADIX), grouped\n"
     "where the radix changes (a sterling amount as pounds.shillings.pence). With the\n"
     "program's labels, each label heads the line of its address, and -i also writes\n"
     "the instruction as zasm does (SELL LINE). examine REGISTER shows a register or\n"
     "setting.",
     c_examine},
    {"deposit", "d", "change a word or a register", "deposit ADDR VALUE | deposit REGISTER VALUE",
     "Store a number (a minus sign gives sign and magnitude: -5 is 0x100005), an\n"
     "instruction A/C/B M or as zasm writes it (ADD TOTAL,M1), or five characters in\n"
     "double quotes (~ the newline code, # the end-of-data code) into the long word at\n"
     "an even address. deposit a|b|d UPPER LOWER sets a long register; examine names\n"
     "the others.",
     c_deposit_recorded},
    {"registers", "r", "show the registers", "registers",
     "Show the registers and the modifier registers.", c_registers},
    {"trace", nullptr, "set the trace detail", "trace N",
     "Set the trace detail from here on, 0 to 9, as -v.", c_trace},
    {"routes", nullptr, "show the routes and the paper tape reader", "routes",
     "Show the route table (device, mode, host file and position) and the paper tape reader.",
     c_routes},
    {"save", nullptr, "write a snapshot with the files", "save FILE",
     "Write a snapshot of the machine and of every file the run has opened.", c_save},
    {"restore", nullptr, "bring a snapshot back", "restore FILE",
     "Bring the machine and its files back as they were at the save; also after the end\n"
     "of the run.",
     c_restore},
    {"back", nullptr, "go back N instructions (1)", "back [N]",
     "Go back N instructions (default 1) in the record of the run, the machine and its\n"
     "files as they stood then, and show the instruction due next.",
     c_back},
    {"reverse", nullptr, "run back to the last breakpoint or watched change", "reverse",
     "Run backwards to the most recent point where a breakpoint or a watch would have\n"
     "stopped the run; for a watch, to before the instruction that made the change, so\n"
     "that step makes it again. Without one, to the oldest point recorded.",
     c_reverse},
    {"goto", nullptr, "go to the machine before instruction #N", "goto #N",
     "Go to the machine as it stood before instruction count N, backwards or forwards,\n"
     "anywhere in the record.",
     c_goto},
    {"last", nullptr, "which instruction last changed a word", "last ADDR [LEN]",
     "Name the most recent instruction that changed one of LEN words (default 1) from\n"
     "ADDR: its count, its address, the value before and after, and its trace line. The\n"
     "machine does not move.",
     c_last},
    {"history", nullptr, "the last N instructions obeyed (20)", "history [N]",
     "Show the trace lines of the last N instructions obeyed (default 20), each after its\n"
     "instruction count.",
     c_history},
    {"record", nullptr, "the record of the run: its reach and memory",
     "record [on | off | LIMIT | every N]",
     "The run is recorded from its first instruction, so that back, reverse, goto, last\n"
     "and history can go back in it. record shows how far back it reaches and the memory\n"
     "it holds; LIMIT (megabytes, or with K, M or G; 256M at first) bounds the memory,\n"
     "the oldest history dropped beyond it; every N takes a checkpoint every N\n"
     "instructions (16777216 at first; fewer: quicker back, more memory). Going forward\n"
     "after going back obeys the record (the same replies, not asked again) to its end;\n"
     "a deposit or a restore begins a new history there. record off drops it; record\n"
     "on begins one here.",
     c_record},
    {"do", nullptr, "obey the commands in a file", "do FILE",
     "Obey the commands in FILE (lines beginning with # are comments), then come back.", c_do},
    {"echo", nullptr, "print a line", "echo TEXT", "Print TEXT.", c_echo},
    {"help", "h", "this list, or one command told", "help [COMMAND]",
     "List the commands, or describe one.", c_help},
    {"quit", "q", "leave", "quit",
     "Leave. Before the end of the run this ends it as an interrupt (status 130); after\n"
     "it, with the run's exit status.",
     c_quit},
};

// The command a word names: its letter, its name or a unique beginning of
// it, in any case; nullptr after saying why not.
const Cmd* find_cmd(const std::string& word) {
  std::string w = word;
  for (char& ch : w) ch = (char)tolower((unsigned char)ch);
  for (const Cmd& c : cmds)
    if ((c.alias && w == c.alias) || w == c.name) return &c;
  std::vector<const Cmd*> hit;
  for (const Cmd& c : cmds)
    if (std::string(c.name).compare(0, w.size(), w) == 0) hit.push_back(&c);
  if (hit.size() == 1) return hit[0];
  if (hit.empty()) {
    say("unknown command %s (help lists them)\n", word.c_str());
  } else {
    say("%s is short for", word.c_str());
    for (const Cmd* c : hit) say(" %s", c->name);
    say("\n");
  }
  return nullptr;
}

void c_help(const Words& t, const std::string&) {
  if (t.size() == 2) {
    if (const Cmd* c = find_cmd(t[1]))
      say("%s%s%s%s\n%s\n", c->form, c->alias ? "  (" : "", c->alias ? c->alias : "",
          c->alias ? ")" : "", c->text);
    return;
  }
  for (const Cmd& c : cmds) {
    std::string f = c.name;
    if (c.alias) f += std::string(" (") + c.alias + ")";
    say("  %-15s %s\n", f.c_str(), c.brief);
  }
  say("Commands may be shortened; help COMMAND tells more; # begins a comment.\n"
      "With the labels zasm writes into a program file, an ADDR may be LABEL, LABEL+n\n"
      "or LABEL-n, and addresses are shown with their labels.\n");
}

// Obeys one command line; false to leave the console.
bool command(const std::string& line) {
  for (unsigned char ch : line)
    if ((ch < 0x20 && ch != '\t') || ch == 0x7F) {
      say("refused: the line holds a control character\n");
      return true;
    }
  Words t = words(line);
  if (t.empty() || t[0][0] == '#') return true;
  addr_err.clear();
  if (const Cmd* c = find_cmd(t[0])) c->fn(t, line);
  return !leave;
}

// The run is left before its end: one line at the console; with the log in
// log.txt the log still gets the whole report of the interrupt.
int left() {
  say("run left before the instruction at %s, after %lld instructions\n", where(M.sc).c_str(),
      M.count);
  if (M.log && M.log != M.out) {
    FILE* out = M.out;
    M.out = M.log;
    try {
      M.count++;
      fatal_status("Run interrupted", M.sc, 128 + SIGINT);
    } catch (const RunEnd&) {
    }
    M.out = out;
  }
  fflush(M.out);
  return 128 + SIGINT;
}

}  // namespace

int console() {
  tty = isatty(fileno(M.in)) && isatty(fileno(M.out));
  // The console's own handlers take the signals at the prompt too: the line
  // editor's would pass them on to the whole process group.
  rl_catch_signals = 0;
  points.clear();
  next_id = 1;
  ended = leave = acting = false;
  status = depth = 0;
  prompt_intr = 0;
  prompt_term = 0;
  hooks.reply = reply;
  syms = zsym::Table{};
  zsym::load(hooks.prog, syms);  // a file without symbol lines gives none
  prompt_signals();
  begin();
  rec_set_limit(REC_LIMIT);
  rec_set_every(REC_EVERY);
  rec_start(true);
  show_next();
  if (!hooks.script.empty()) obey_file(hooks.script);
  std::string line;
  while (!leave && !prompt_term) {
    if (out_flush()) break;  // a reply that could not be written ends the session
    Got g = read_line("emu> ", line);
    if (g == INTR) {
      if (tty) fputc('\n', M.out);  // Control-C: a fresh prompt
      continue;
    }
    if (g == END && tty) fputc('\n', M.out);  // Control-D: the line ends first
    if (g != LINE) break;
    command(line);
  }
  if (prompt_term) terminated();
  rec_start(false);
  if (ended) return status;
  // A reply that could not be written ends the run as a failed write does.
  if (out_status()) {
    try {
      M.count++;
      out_check();
    } catch (const RunEnd& e) {
      return e.status;
    }
  }
  return left();
}
