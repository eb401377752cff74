// Group 4 peripheral actions: the dispatcher with its action counters, the
// paper tape reader and the line printer; tape actions go to the route
// operations.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files.h"
#include "periph.h"

namespace {

constexpr int LINE = 998;   // characters of the reader file per read
constexpr int PRINT = 160;  // characters of a print line

// Opens the printer file of route r: created or emptied by an open action,
// or (more) kept and added to when a print finds the file not open, so that
// no line is lost.
void printer_file(Route& e, int r, bool more) {
  char name[32];
  host_name(name, sizeof name, "LP", r);
  file_close(e.fd);  // a second open starts the file again
  e.fd = file_open(name, O_WRONLY | O_CREAT | (more ? O_APPEND : O_TRUNC));
  e.path = name;
  e.oflags = O_WRONLY | (more ? O_APPEND : 0);
  if (e.fd < 0) {
    fprintf(M.err, "%s: %s\n", name, strerror(errno));
    fatal("Cannot open printer file", r);
  }
}

void printer_open(Route& e, int r, int q6) {
  e.name = M.b.up;
  lg("Open printer %c%c on route %d (Q6 = %d)\n", name1(M.b.up), name2(M.b.up), r, q6);
  printer_file(e, r, false);
}

void printer_close(Route& e, int r) {
  M.b.up = e.name;
  lg("Close printer %c%c on route %d ==\n", name1(e.name), name2(e.name), r);
}

// Prints one line: up to 32 long words of the print area after its first
// long word, ended by the end-of-data code.
void print(Route& e, int r, int q6) {
  if (M.verbosity >= 1) {
    lg("%5d Output to printer route %d action %d after %lld instructions\n", M.sc - 1, r, q6,
       M.count);
    lg("Data address %d (pseudo %d)\n", at(64LL + r), at(64LL + M.b.lo));
  }
  long long t = at(64LL + M.b.lo);
  char line[PRINT + 2];
  int end = -1;  // position of the end code
  int i = 1;
  for (; i <= 32 && end < 0; i++) {
    int32_t lo = at(t + 2 * i), up = at(t + 2 * i + 1);
    memcpy(line + 5 * (i - 1), render(up, lo), 5);
    for (int j = 0; j < 5; j++) {
      char c = line[5 * (i - 1) + j];
      if (c == '#') {
        end = 5 * (i - 1) + j;
        if (M.verbosity >= 9) lg("Stopped at i = %d, j = %d  %06X %05X\n", i, 5 - j, up, lo);
        break;
      }
      if (c == '\n') {
        lg("i = %d,  %06X %05X\n", i, up, lo);
        ni("Multi-line printing");
      }
    }
  }
  int cut = 5 * (i - 1);  // after the last long word read
  if (M.verbosity >= 9) {
    int counter = end < 0 ? 33 : i + 8192;
    lg("   Stopped %d %d\n", counter, counter & 0x1FFF);
  }
  int len = end < 0 ? cut : end;
  line[cut] = 0;
  if (M.verbosity >= 1) lg("   Printed %d %d:[%s]\n", cut, len, line);
  while (len > 1 && line[len - 1] == ' ') len--;
  line[len] = '\n';
  if (e.fd < 0) printer_file(e, r, true);
  if (!file_write(e.fd, line, len + 1)) {
    char name[32];
    host_name(name, sizeof name, "LP", r);
    fprintf(M.err, "%s: %s\n", name, strerror(errno));
    fatal("Printer write error", r);
  }
}

}  // namespace

bool ptr_open(int r) {
  if (M.reader) return false;
  if (!file_reader()) {
    fprintf(M.err, "%s: %s\n", M.ptrname.c_str(), strerror(errno));
    fatal("Cannot open paper tape reader file", r);
  }
  return true;
}

void ptr_read(int r) {
  route(r);
  ptr_open(r);
  // The next line with its line end, at most 998 characters; after the end
  // of the file an empty line, so the program gets the end-of-data code.
  char buf[LINE + 1];
  int n = 0;
  while (n < LINE) {
    int c = getc(M.reader);
    if (c == EOF) break;
    buf[n++] = (char)c;
    if (c == '\n') break;
  }
  if (n == 0) M.reader_eof = true;
  buf[n] = 0;
  int32_t rp = at(64LL + r);
  if (M.verbosity >= 1) {
    lg("Reading route %d (pseudo = %d) into location %d\n", r, M.b.lo, rp);
    lg("Data address %d (pseudo %d)\n", rp, at(64LL + M.b.lo));
    lg("Data read was == %s\n", buf);
  }
  while (n > 0 && (unsigned char)buf[n - 1] < 0x20) n--;
  uint8_t codes[LINE + 5];
  for (int i = 0; i < n; i++) codes[i] = h2m[(unsigned char)buf[i]];
  codes[n] = 0x7E;
  for (int i = 1; i < 5; i++) codes[n + i] = 0;
  exchange();
  long long t0 = at(64LL + M.b.lo);
  // Five codes to a long word, up to the one that holds the end code.
  for (int g = 0; g <= n / 5; g++) {
    const uint8_t* c = codes + 5 * g;
    M.a.up = pack_up(c);
    M.a.lo = pack_lo(c);
    at(t0 + 2 * g) = M.a.lo;
    at(t0 + 2 * g + 1) = M.a.up;
  }
  if (M.verbosity >= 1) {
    lg("Stored %05X %05X at %lld\n", peek(t0), peek(t0 + 1), t0);
    lg("Big print");
    for (int i = 0; i < 12; i += 2)
      lg("%s %05X %05X", i ? " -" : "", peek(t0 + i + 1), peek(t0 + i));
    lg("\n");
  }
}

void g4() {
  int r = M.a.lo, q6 = M.a.up;
  Route& e = route(r);
  int type = e.type;
  if (type < 0) {
    const Route* t = M.routes;
    fprintf(M.out, " %d  %d  %d  %d  %d  %d  %d  %d  %d  %d\n", t[0].type, t[1].type, t[2].type,
            t[3].type, t[4].type, t[5].type, t[6].type, t[7].type, t[8].type, t[9].type);
  }
  if (type >= 0 && type < 20 && q6 >= 0 && q6 < 64)
    M.acts[type][q6]++;
  else
    lg("G4act type %2d  Q6 = %3d  route %2d  loc %5d\n", type, q6, r, M.sc - 1);
  M.acts[0][0]++;
  int dev = type == 8 ? 7 : (type == 14 || type == 19) ? 9 : type;
  int code = dev >= 0 && dev < 20 && q6 >= 0 && q6 < 64 ? dev * 100 + q6 : -1;
  switch (code) {
    case 515:
      ptr_open(r);
      e.name = M.b.up;
      M.b.up = 5;
      return;
    case 505: ptr_read(r); return;
    case 525: lg("Closing paper tape reader\n"); return;
    case 717:
    case 718: open_route(false); return;
    case 707: tape_input(); return;
    case 708: tape_output(); return;
    case 735:
    case 736: run_back(); return;
    case 727:
    case 728: close_route("close"); return;
    case 733:
    case 734: close_route("rewind"); return;
    case 739:
    case 740: step_back(); return;
    case 737: run_on(); return;
    case 919:
    case 911:
    case 924: printer_open(e, r, q6); return;
    case 921:
    case 929:
    case 934: printer_close(e, r); return;
    case 901:
    case 909:
    case 904: print(e, r, q6); return;
  }
  char text[128];
  snprintf(text, sizeof text, "unknown group 4 action %d device type %d (%d) on route %d\n", q6,
           dev, type, r);
  ni(text);
}
