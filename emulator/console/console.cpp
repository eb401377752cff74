// The console: commands read at a prompt (with line editing at a terminal,
// plain lines otherwise), the machine driven through go() between them.
#include "console.h"

#include <editline/readline.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cycle.h"
#include "ops.h"

namespace {

// A breakpoint (before the instruction at an address, or before an
// instruction count) or a watched stretch, numbered together.
struct Point {
  int id;
  enum { AT, COUNT, WATCH } kind;
  long long v;  // address or count
  int len;      // watched words
};

std::vector<Point> points;
int next_id = 1;
bool tty = false;
bool ended = false;
int status = 0;
volatile sig_atomic_t prompt_intr = 0;  // Control-C at the prompt

void on_prompt_sigint(int) { prompt_intr = 1; }

// At the prompt Control-C only abandons the line being typed.
void prompt_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_prompt_sigint;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
}

void say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void say(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(M.out, fmt, ap);
  va_end(ap);
}

void say_ended() { say("the run has ended (exit status %d)\n", status); }

// One line from the operator: at a terminal through the line editor, with
// history; otherwise as it comes. False at the end of input.
bool read_line(const char* prompt, std::string& line) {
  fflush(M.out);
  if (M.log) fflush(M.log);
  if (tty) {
    char* s;
    for (;;) {
      prompt_intr = 0;
      s = readline(prompt);
      if (s || !prompt_intr) break;
      fputc('\n', M.out);  // Control-C: a fresh prompt
    }
    if (!s) return false;
    line = s;
    if (*s) add_history(s);
    free(s);
    return true;
  }
  line.clear();
  int c;
  while ((c = getc(M.in)) != EOF && c != '\n') line += (char)c;
  return c != EOF || !line.empty();
}

// The operator's reply to an alarm, asked at the console.
char* reply(char* buf, int size) {
  std::string line;
  if (!read_line("reply> ", line)) return nullptr;
  snprintf(buf, size, "%s\n", line.c_str());
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
  if (i >= t.size() || t.size() - i > 16) return false;
  char* e;
  unsigned long long u = strtoull(t.c_str() + i, &e, base);
  if (*e || u > 0xFFFFFFFFFFFFull) return false;
  v = t[0] == '-' ? -(long long)u : (long long)u;
  return true;
}

bool address(const std::string& t, long long& a) { return number(t, a) && a >= 0 && a < STORE; }

// The trace line of the instruction due next, as the trace would show it.
void show_next() {
  char buf[256];
  int n;
  if ((unsigned)M.sc < (unsigned)STORE) {
    int32_t w = M.store[M.sc];
    n = trace_line(buf, M.sc, w, form_n((unsigned)M.sc, w));
  } else {
    n = snprintf(buf, sizeof buf, "%5d ---> (outside the store)\n", M.sc);
  }
  fwrite(buf, 1, (size_t)n, M.out);
}

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

// Says why go() stopped; false when it only obeyed what it was asked to.
bool why(Stop s) {
  switch (s) {
    case BROKE:
      for (const Point& p : points)
        if (p.kind == Point::AT && p.v == M.sc) say("breakpoint %d at %d\n", p.id, M.sc);
      return true;
    case WATCHED:
      for (const Point& p : points)
        if (p.kind == Point::WATCH && hooks.hit.addr >= p.v && hooks.hit.addr < p.v + p.len) {
          say("watch %d: %d changed from %06X to %06X by the instruction at %d\n", p.id,
              hooks.hit.addr, (uint32_t)hooks.hit.from, (uint32_t)hooks.hit.to, hooks.last);
          break;
        }
      return true;
    case INTERRUPTED: say("interrupted\n"); return true;
    default: break;
  }
  const Point* cb = nullptr;
  for (const Point& p : points)
    if (p.kind == Point::COUNT && p.v - 1 == M.count) cb = &p;
  if (cb) say("breakpoint %d before instruction %lld\n", cb->id, cb->v);
  return cb != nullptr;
}

// Obeys n instructions one at a time (step, each == true), showing the
// trace line of the one due after each, or runs on (continue) to a stop.
// Breakpoints stop a step of more than one instruction too. The end of the
// run is kept: the console stays, to look at the final state.
void drive(long long n, bool each) {
  if (ended) return say_ended();
  arm();
  intr = 0;
  catch_signals(true);
  try {
    if (each) {
      for (long long k = 0; k < n; k++) {
        Stop s = go(1);
        show_next();
        if (s != STEPPED) {
          why(s);
          break;
        }
        if (k + 1 < n) {
          if (at_break() ? why(BROKE) : why(STEPPED)) break;
        }
      }
    } else {
      const Point* cb = count_ahead();
      why(go(cb ? cb->v - 1 - M.count : -1));
      show_next();
    }
  } catch (const RunEnd& e) {
    ended = true;
    status = e.status;
    fflush(M.out);
    if (M.log) fflush(M.log);
    say_ended();
  }
  prompt_signals();
}

void list_points() {
  if (points.empty()) say("no breakpoints or watches\n");
  for (const Point& p : points) {
    if (p.kind == Point::AT) say("%d: break at %lld\n", p.id, p.v);
    if (p.kind == Point::COUNT) say("%d: break before instruction %lld\n", p.id, p.v);
    if (p.kind == Point::WATCH) say("%d: watch %lld, %d words\n", p.id, p.v, p.len);
  }
}

// The word at a: hexadecimal, as an instruction with its name, and at an
// even address the five characters of the long word (a, a+1).
void examine(long long a, long long count) {
  for (long long i = a; i < a + count; i++) {
    int32_t w = M.store[i];
    int dv = w >> 13;
    std::string name = name_of(dv);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    say("%5lld  %06X  %2d/%d/%d %4d  %-28s", i, (uint32_t)w, w >> 16, (w >> 15) & 1, (w >> 13) & 3,
        w & 0x1FFF, name.c_str());
    if (i % 2 == 0 && i + 1 < STORE) {
      const char* t = render(M.store[i + 1], w);
      std::string s;
      for (int k = 0; k < 5; k++)
        s += t[k] == '\n'         ? std::string("~")
             : t[k] == (char)0xA3 ? std::string("£")
                                  : std::string(1, t[k]);
      say(" [%s]", s.c_str());
    }
    say("\n");
  }
}

// "ABCDE": five host characters as an alpha long word {lower, upper}.
bool alpha(const std::string& t, int32_t& lo, int32_t& up) {
  if (t.size() != 7 || t.front() != '"' || t.back() != '"') return false;
  uint8_t c[5];
  for (int i = 0; i < 5; i++) c[i] = h2m[(uint8_t)t[1 + i]];
  up = pack_up(c);
  lo = pack_lo(c);
  return true;
}

// A store word: a number, or an instruction A/C/B M (two tokens).
bool store_word(const std::vector<std::string>& t, size_t i, int32_t& w) {
  long long v;
  if (t.size() == i + 1 && number(t[i], v) && v >= INT32_MIN && v <= 0xFFFFFFFFLL) {
    w = (int32_t)(uint32_t)(v & 0xFFFFFFFF);
    return true;
  }
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

void deposit(const std::vector<std::string>& t) {
  if (t.size() < 3) return say("deposit ADDR VALUE, or deposit REGISTER VALUE\n");
  long long a, v, v2;
  const std::string& what = t[1];
  if (what.size() == 2 && what[0] == 'm' && what[1] >= '1' && what[1] <= '3') {
    if (t.size() != 3 || !number(t[2], v) || v < INT32_MIN || v > INT32_MAX)
      return say("bad value for %s\n", what.c_str());
    M.store[M.mgb + 2 * (what[1] - '0')] = (int32_t)v;
    return;
  }
  if (const RegInfo* r = reg_named(what); r && r->user) {
    switch (r->kind) {
      case PAIR:
        if (t.size() != 4 || !number(t[2], v) || !number(t[3], v2) || v < 0 || v > MASK21 ||
            v2 < 0 || v2 > MASK20)
          return say("%s takes UPPER (21 bits) and LOWER (20 bits)\n", r->name);
        ((Reg*)r->p)->up = (int32_t)v;
        ((Reg*)r->p)->lo = (int32_t)v2;
        break;
      case COUNT:
        if (t.size() != 3 || !number(t[2], v) || v < 0) return say("bad value for %s\n", r->name);
        *(long long*)r->p = v;
        break;
      default: {
        long long hi = r->bits >= 32 ? INT32_MAX : (1LL << r->bits) - 1;
        long long lo = r->bits >= 32 ? INT32_MIN : 0;
        if (what == "sc") hi = STORE - 1;
        if (t.size() != 3 || !number(t[2], v) || v < lo || v > hi)
          return say("bad value for %s (%lld to %lld)\n", r->name, lo, hi);
        *(int*)r->p = (int)v;
      }
    }
    set_radix(M.radix);
    recheck();
    return;
  }
  if (!address(what, a)) return say("no register or address %s\n", what.c_str());
  int32_t lo, up;
  if (t.size() == 3 && alpha(t[2], lo, up)) {
    if (a % 2 || a + 1 >= STORE)
      return say("five characters go into a long word at an even address\n");
    M.store[a] = lo;
    M.store[a + 1] = up;
    return;
  }
  int32_t w;
  if (!store_word(t, 2, w)) return say("bad value: a number, A/C/B M, or \"ABCDE\"\n");
  M.store[a] = w;
}

// A register as "name value", in the form its table entry gives.
void show_reg(const RegInfo& r) {
  switch (r.kind) {
    case PAIR: {
      const Reg* v = (const Reg*)r.p;
      say("%s %06X %05X", r.name, v->up, v->lo);
      break;
    }
    case COUNT: say("%s %lld", r.name, *(const long long*)r.p); break;
    case WORD: say("%s %0*X", r.name, (r.bits + 3) / 4, *(const int*)r.p); break;
    case FLAG: say("%s %d", r.name, *(const bool*)r.p ? 1 : 0); break;
    default: say("%s %d", r.name, *(const int*)r.p); break;
  }
}

void registers() {
  int col = 0;
  for (int i = 0; i < nregs; i++) {
    const RegInfo& r = regs[i];
    if (!r.user) continue;
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

void routes() {
  for (int k = 0; k < 10; k++) {
    const Route& e = M.routes[k];
    char nm[3] = {'-', '-', 0};
    if (e.name != -1) nm[0] = m2h[(e.name >> 8) & 0xFF], nm[1] = m2h[e.name & 0xFF];
    say("route %2d  %s  type %2d  mode %2d  ", 9 * (k + 1), nm, e.type, e.mode);
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
  say("reader %s %s\n", M.ptrname.c_str(), M.reader ? "open" : "closed");
}

const char HELP[] =
    "step [N] (s)        obey N instructions (1), showing the trace line of each\n"
    "continue (c)        run to a breakpoint, a watch, the end or Ctrl-C\n"
    "break ADDR | #N (b) stop before the instruction at ADDR, or before count N;\n"
    "                    break alone lists breakpoints and watches\n"
    "delete [K]          remove breakpoint or watch K, or all\n"
    "watch ADDR [LEN] (w) stop after an instruction changes one of LEN words\n"
    "examine ADDR [N] (x) N words: hexadecimal, instruction, characters;\n"
    "                    examine REGISTER shows any register or setting\n"
    "deposit ADDR VALUE (d) a number (0x.. hexadecimal), A/C/B M, or \"ABCDE\"\n"
    "deposit sc|radix|m1|m2|m3|tag|ind|nim|n|count VALUE, deposit a|b|d UPPER LOWER\n"
    "registers (r)       the registers\n"
    "trace N             trace level from here on\n"
    "routes              the route table and the reader\n"
    "save FILE           snapshot of the machine; restore FILE reads one back\n"
    "help (h), quit (q)\n";

// The words of a command line, split at blanks; a text in double quotes
// is one word, quotes and blanks included.
std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> t;
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

// Obeys one command; false to leave the console.
bool command(const std::string& line) {
  std::vector<std::string> t = words(line);
  if (t.empty()) return true;
  const std::string& c = t[0];
  long long a, n;
  if (c == "step" || c == "s") {
    n = 1;
    if (t.size() > 2 || (t.size() == 2 && (!number(t[1], n) || n < 1)))
      return say("step [N], N at least 1\n"), true;
    drive(n, true);
  } else if (c == "continue" || c == "c") {
    drive(-1, false);
  } else if (c == "break" || c == "b") {
    if (t.size() == 1) return list_points(), true;
    if (t.size() == 2 && t[1][0] == '#' && number(t[1].substr(1), n) && n > 0)
      points.push_back({next_id++, Point::COUNT, n, 0});
    else if (t.size() == 2 && address(t[1], a))
      points.push_back({next_id++, Point::AT, a, 0});
    else
      return say("break ADDR, or break #COUNT\n"), true;
    say("breakpoint %d\n", points.back().id);
  } else if (c == "delete") {
    if (t.size() == 1) {
      points.clear();
    } else if (t.size() == 2 && number(t[1], n)) {
      auto it =
          std::find_if(points.begin(), points.end(), [&](const Point& p) { return p.id == n; });
      if (it == points.end()) return say("no breakpoint or watch %lld\n", n), true;
      points.erase(it);
    } else {
      say("delete [K]\n");
    }
  } else if (c == "watch" || c == "w") {
    n = 1;
    if (t.size() < 2 || t.size() > 3 || !address(t[1], a) ||
        (t.size() == 3 && (!number(t[2], n) || n < 1 || a + n > STORE)))
      return say("watch ADDR [LEN], inside the store\n"), true;
    points.push_back({next_id++, Point::WATCH, a, (int)n});
    say("watch %d\n", points.back().id);
  } else if (c == "examine" || c == "x") {
    n = 1;
    if (const RegInfo* r = t.size() == 2 ? reg_named(t[1]) : nullptr) {
      show_reg(*r);  // any register of the table, run control included
      return say("  (%s)\n", r->what), true;
    }
    if (t.size() < 2 || t.size() > 3 || !address(t[1], a) ||
        (t.size() == 3 && (!number(t[2], n) || n < 1 || a + n > STORE)))
      return say("examine ADDR [COUNT], inside the store\n"), true;
    examine(a, n);
  } else if (c == "deposit" || c == "d") {
    deposit(t);
  } else if (c == "registers" || c == "r") {
    registers();
  } else if (c == "trace") {
    if (t.size() != 2 || !number(t[1], n) || n < 0 || n > 9) return say("trace N, 0 to 9\n"), true;
    M.verbosity = (int)n;
    recheck();
  } else if (c == "routes") {
    routes();
  } else if (c == "save" || c == "restore") {
    if (t.size() != 2) return say("%s FILE\n", c.c_str()), true;
    if (ended) return say_ended(), true;
    std::string why = c == "save" ? save(t[1]) : restore(t[1]);
    if (!why.empty()) return say("%s\n", why.c_str()), true;
    say("%s %s\n", c == "save" ? "saved" : "restored", t[1].c_str());
    if (c == "restore") show_next();
  } else if (c == "help" || c == "h") {
    say("%s", HELP);
  } else if (c == "quit" || c == "q") {
    return false;
  } else {
    say("unknown command %s (help lists them)\n", c.c_str());
  }
  return true;
}

}  // namespace

int console() {
  tty = isatty(fileno(M.in)) && isatty(fileno(M.out));
  points.clear();
  next_id = 1;
  ended = false;
  status = 0;
  hooks.reply = reply;
  prompt_signals();
  begin();
  show_next();
  std::string line;
  // A reply that could not be written ends the session.
  while (!out_flush() && read_line("emu> ", line) && command(line)) {
  }
  if (ended) return status;
  // Leaving before the end ends the run as an interrupt does, or as a
  // failed write does when one ended the session.
  try {
    intr = SIGINT;
    M.count++;
    out_check();
    interrupted();
  } catch (const RunEnd& e) {
    return e.status;
  }
}
