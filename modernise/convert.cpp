// Listing conversion: first part (program lines up to END) with anchors at each
// definition, reference links and annotations; second part (the index) with
// anchors linking back to the definitions.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "modernise.h"

const char* const defbase = "scans.example.org/listings";

static const char* const usage =
    "usage: modernise [-a|-aN] [-s] [-mMAPFILE] [-iURLBASE] listing [output.html]\n"
    "  -a      annotation mode plus 1; -aN sets it to N (0, 1, 2, 8 or any other)\n"
    "  -mFILE  image map: link listing lines to scanned page images\n"
    "  -iURL   image base as scheme://host/path without the trailing \"/\"\n"
    "          (default http://scans.example.org/listings)\n"
    "  -s      the default image base uses https\n"
    "  the page goes to standard output when no output file is named\n";

// A character not above a blank: its byte as a signed 8-bit value is at most 32
// (blanks, newline, control characters and every byte from 0x80 up).
static inline bool low(char c) { return static_cast<signed char>(c) <= 32; }

static inline bool isdig(char c) { return c >= '0' && c <= '9'; }

// Decimal number from column col: leading white space, optional sign, digits.
// Beyond the line, or no digits, it is 0; large values stop at INT_MAX.
static int num(const std::string& s, size_t col) {
  size_t i = col, n = s.size();
  while (i < n && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) i++;
  bool neg = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  long long v = 0;
  for (; i < n && isdig(s[i]); i++) {
    v = v * 10 + (s[i] - '0');
    if (v > INT_MAX) v = INT_MAX;
  }
  return static_cast<int>(neg ? -v : v);
}

// Does text stand at column col?
static inline bool at(const std::string& s, size_t col, const char* t) {
  size_t n = std::strlen(t);
  return col + n <= s.size() && std::memcmp(s.data() + col, t, n) == 0;
}

// Character at col, or 0 beyond the line.
static inline char col(const std::string& s, size_t c) { return c < s.size() ? s[c] : 0; }

// Appends columns a up to (not including) b, clipped to the line.
static inline void add(std::string& o, const std::string& s, size_t a, size_t b) {
  if (b > s.size()) b = s.size();
  if (a < b) o.append(s, a, b - a);
}

static inline void addnum(std::string& o, int v) {
  char b[16];
  int n = std::snprintf(b, sizeof b, "%d", v);
  o.append(b, n);
}

static bool put(FILE* f, const std::string& o) {
  return std::fwrite(o.data(), 1, o.size(), f) == o.size();
}

// Page text is gathered and written in chunks of about this size.
static const size_t chunk = 1 << 16;

// Writes and empties the gathered text; after a failed write nothing more is
// written.
static void flush(FILE* f, std::string& o, bool& ok) {
  if (ok) ok = put(f, o);
  o.clear();
}

bool readpiece(FILE* f, std::string& s) {
  // The buffer is filled with 1s first so that the piece's end can be found
  // even when it holds NUL bytes: the newline, or else the last NUL, which
  // is the one that ends the text read.
  char b[piece + 1];
  std::memset(b, 1, sizeof b);
  if (!std::fgets(b, sizeof b, f)) {
    s.clear();
    return false;
  }
  const char* nl = static_cast<const char*>(std::memchr(b, '\n', piece));
  size_t n;
  if (nl) {
    n = nl - b + 1;
  } else {
    n = piece;
    while (n > 0 && b[n] != 0) n--;
  }
  s.assign(b, n);
  return true;
}

bool readmap(FILE* f, Imagemap& map) {
  map = Imagemap();
  std::string s, label;
  bool pending = false;
  while (readpiece(f, s)) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    if (at(s, 0, "0f")) {
      label.clear();
      add(label, s, 43, 51);
      pending = true;
    } else if (col(s, 1) == 'q') {
      continue;
    } else if (isdig(col(s, 0)) && pending) {
      std::string key;
      if (s[0] == '0') {
        key = "     ";
      } else if (col(s, 4) == ',') {
        key = "*";
        add(key, s, 0, 4);
      } else {
        add(key, s, 0, 5);
      }
      if (map.keys.size() < static_cast<size_t>(maxmap)) {
        map.keys.push_back(key);
        map.labels.push_back(label);
      }
      pending = false;
    }
  }
  if (std::ferror(f)) {
    map = Imagemap();
    return false;
  }
  map.held = true;
  return true;
}

std::string imagebase(const Setup& s) {
  if (s.ownbase) return s.base;
  return std::string(s.https ? "https://" : "http://") + defbase;
}

// Escapes "<" and the listing's "g" (printed for ">") for the page.
static void escape(const std::string& s, std::string& e) {
  e.clear();
  const char* p = s.data();
  const char* end = p + s.size();
  const char* run = p;
  for (; p < end; p++) {
    if (*p != '<' && *p != 'g') continue;
    e.append(run, p - run);
    e += *p == '<' ? "&lt;" : "<S>&gt;</S>";
    run = p + 1;
  }
  e.append(run, end - run);
}

// Appends an operation name for the page: "<" and "&" as entities, and in an
// attribute value (attr) the double quote too. The listing's own escape does
// not apply: "g" in a name is a letter.
static void addname(std::string& o, const char* name, bool attr = false) {
  for (const char* p = name; *p; p++) {
    if (*p == '<')
      o += "&lt;";
    else if (*p == '&')
      o += "&amp;";
    else if (attr && *p == '"')
      o += "&quot;";
    else
      o += *p;
  }
}

// The reference link "<A HREF=#rN>N</A>" and the text from column 30.
static void reflink(std::string& o, const std::string& e, int ref) {
  o += "<A HREF=#r";
  addnum(o, ref);
  o += '>';
  addnum(o, ref);
  o += "</A>";
  add(o, e, 30, e.size());
}

// An instruction line of a procedure: reference link and annotation by mode.
static void instruction(std::string& o, std::string& e, int ref, int mode) {
  int op = col(e, 19) == ' ' ? 0 : num(e, 19);
  const char* name = opname(op, num(e, 40), num(e, 43));
  if (mode == 8 && ismachine(op)) {
    std::string n;
    addname(n, name);
    if (e.size() >= 46 + 28) {
      // Columns 46-72 give way to the name padded with blanks to their width
      // (the names fit it); what follows column 72 stays.
      if (n.size() < 27) n.resize(27, ' ');
      e.replace(46, 27, n);
    } else {
      e.resize(46, ' ');
      e += n;
    }
  }
  // The operation field runs from column 19 to the first character not above
  // a blank at or after column 20; that character gives way to one blank.
  size_t p = 20;
  while (p < e.size() && !low(e[p])) p++;
  bool isref = ref >= 100 && ref <= 998;
  size_t lim = isref ? 27 : e.size();  // a referring line is cut after column 26
  size_t fend = p < lim ? p : lim;
  size_t rest = p + 1 < lim ? p + 1 : lim;
  int low3 = mode & 7;
  if (low3 == 0 || mode == 2) {
    add(o, e, 0, lim);
    if (isref) reflink(o, e, ref);
    if (mode == 2) addname(o, name);
  } else {
    add(o, e, 0, 18);
    if (mode == 1) {
      o += " <SPAN TITLE=\"";
      addname(o, name, true);
      o += "\">";
      add(o, e, 19, fend);
      o += "</SPAN> ";
    } else {
      o += " <A HREF=a.htm#a";
      addnum(o, op);
      o += '>';
      add(o, e, 19, fend);
      o += "</A> ";
    }
    add(o, e, rest, lim);
    if (isref) reflink(o, e, ref);
  }
  o += '\n';
}

// A definition line: anchor rN in red, linked to the index entry cN.
static void definition(std::string& o, const std::string& e, int ref, const char* kind) {
  add(o, e, 0, 19);
  o += "<A NAME=r";
  addnum(o, ref);
  o += "><FONT COLOR=#FF0000>";
  o += kind;
  o += "</FONT></A>   <A HREF=#c";
  addnum(o, ref);
  o += '>';
  addnum(o, ref);
  o += "</A>";
  add(o, e, 30, e.size());
  o += '\n';
}

// An index line: anchor cN linked back to the definition rN.
static void indexline(std::string& o, const std::string& s) {
  int n = num(s, 11);
  const char* head = nullptr;
  if (at(s, 0, " PROCEDURE") && n < 1000)
    head = "> PROCEDURE</A>  <A HREF=#r";
  else if (at(s, 0, "  SECTION ") && n < 1000)
    head = ">  SECTION</A>   <A HREF=#r";
  if (!head) {
    o += s;
    return;
  }
  o += "<A NAME=c";
  addnum(o, n);
  o += head;
  addnum(o, n);
  o += '>';
  addnum(o, n);
  o += "</A>";
  add(o, s, 15, s.size());
  // A line too short to reach column 15 still keeps its newline.
  if (s.size() <= 15 && s.back() == '\n') o += '\n';
}

bool convert(FILE* in, FILE* out, const Setup& s) {
  const Imagemap& map = s.map;
  const std::string base = imagebase(s);
  size_t cursor = 0;  // next image map entry; keys.size() is the end marker
  int state = 0;      // 1 after PROCR, 3 after CONST, 2 after TABLE
  std::string ln, e;
  std::string o = "<HTML><BODY><PRE>\n";  // page text not yet written
  bool ok = true;
  bool end = false;
  while (!end && readpiece(in, ln)) {
    if (at(ln, 16, "    END")) {
      o += ln;
      end = true;
    } else {
      int ref = num(ln, 27);
      while (!ln.empty() && low(ln.back())) ln.pop_back();
      if (s.mode == 2) ln.resize(115, ' ');
      if (map.held && cursor < map.keys.size() && map.keys[cursor].size() == 5 &&
          at(ln, 10, map.keys[cursor].c_str())) {
        o += "  Source image: <A HREF=";
        o += base;
        o += '/';
        o += map.labels[cursor];
        o += ".JPG>";
        o += map.labels[cursor];
        o += ".JPG</A>\n";
        cursor++;
      }
      escape(ln, e);
      if (e.size() < 10) {
        o += e;
        o += '\n';
      } else if (at(e, 13, "00     PROCR")) {
        state = 1;
        definition(o, e, ref, "PROCR");
      } else if (at(e, 13, "00     CONST")) {
        state = 3;
        definition(o, e, ref, "CONST");
      } else if (at(e, 13, "00     TABLE")) {
        state = 2;
        definition(o, e, ref, "TABLE");
      } else if (!isdig(col(e, 10)) || state != 1 || col(e, 18) != ' ') {
        o += e;
        o += '\n';
      } else {
        instruction(o, e, ref, s.mode);
      }
    }
    if (o.size() >= chunk) flush(out, o, ok);
  }
  while (readpiece(in, ln)) {
    indexline(o, ln);
    if (o.size() >= chunk) flush(out, o, ok);
  }
  o += "</PRE></BODY></HTML>\n";
  flush(out, o, ok);
  if (ok) ok = std::fflush(out) == 0;
  return ok && !std::ferror(in) && !std::ferror(out);
}

static void syserr(FILE* err, const char* name, int code) {
  std::fprintf(err, "%s: %s\n", name, std::strerror(code));
}

// -mFILE: reads the image map and says how many entries it holds.
static void loadmap(const char* name, Setup& s, FILE* out, FILE* err) {
  s.map = Imagemap();
  FILE* f = std::fopen(name, "r");
  if (!f) {
    syserr(err, name, errno);
    return;
  }
  if (!readmap(f, s.map)) {
    syserr(err, name, errno);
  } else {
    std::fprintf(out, "Mapping %d items\n", static_cast<int>(s.map.keys.size()));
  }
  std::fclose(f);
}

// Reads the whole listing into text, so that a listing that cannot be read
// fails before the output file is opened and emptied. A directory is refused
// with EISDIR. False with errno set.
static bool slurp(const char* name, std::string& text) {
  FILE* f = std::fopen(name, "r");
  if (!f) return false;
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    errno = EISDIR;
    return false;
  }
  char b[1 << 15];
  size_t n;
  while ((n = std::fread(b, 1, sizeof b, f)) > 0) text.append(b, n);
  bool bad = std::ferror(f);
  int code = errno;
  std::fclose(f);
  errno = bad ? (code ? code : EIO) : 0;
  return !bad;
}

int modernise(int argc, char** argv, FILE* out, FILE* err) {
  Setup s;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; i++) {
    const char* a = argv[i];
    switch (a[1]) {
      case 'a':
        if (a[2] == 0)
          s.mode++;
        else
          s.mode = num(a + 2, 0);
        break;
      case 's': s.https = true; break;
      case 'm': loadmap(a + 2, s, out, err); break;
      case 'i':
        s.ownbase = true;
        s.base = a + 2;
        while (!s.base.empty() && s.base.back() == '/') s.base.pop_back();
        break;
      default: break;  // other option letters are ignored
    }
  }
  if (i >= argc) {
    std::fputs(usage, err);
    return 2;
  }
  const char* lname = argv[i];
  std::string text;
  FILE* in = nullptr;
  if (!slurp(lname, text) || !(in = fmemopen(text.data(), text.size(), "r"))) {
    syserr(err, lname, errno);
    return 1;
  }
  const char* oname = i + 1 < argc ? argv[i + 1] : nullptr;
  FILE* o = out;
  if (oname) {
    o = std::fopen(oname, "w");
    if (!o) {
      syserr(err, oname, errno);
      std::fclose(in);
      return 1;
    }
  }
  errno = 0;
  bool ok = convert(in, o, s);
  int code = errno;
  int status = 0;
  if (!ok) {
    // Name the side that failed: the listing when it could not be read.
    syserr(err, std::ferror(in) ? lname : (oname ? oname : "standard output"), code ? code : EIO);
    status = 1;
  }
  std::fclose(in);
  if (oname && std::fclose(o) != 0 && status == 0) {
    syserr(err, oname, errno);
    status = 1;
  }
  return status;
}
