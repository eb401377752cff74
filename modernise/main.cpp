// modernise [options] listing [output]: a listing as one HTML page.
#include <cstdio>

#include "about.h"
#include "modernise.h"

static const char help[] =
    "usage: modernise [-a|-aN] [-s] [-mMAPFILE] [-iURLBASE] listing [output.html]\n"
    "Turns a printed program listing into one cross-referenced HTML page, on\n"
    "standard output when no output file is named.\n"
    "\n"
    "Options come before the listing:\n"
    "  -a     annotation mode plus 1; -aN sets it to N: 0 none (default),\n"
    "         1 operation names as tooltips, 2 names appended, 8 machine\n"
    "         instruction names at column 46, others link to a.htm#aN\n"
    "  -mFILE image map: link listing lines to scanned page images\n"
    "  -iURL  image base as scheme://host/path without the trailing \"/\"\n"
    "         (default http://scans.example.org/listings)\n"
    "  -s     the default image base uses https\n"
    "  --help, --version\n"
    "Other options are ignored.\n"
    "\n"
    "Exit status: 0; 1 when a file cannot be opened, read or written; 2 when\n"
    "no listing is named. See modernise(1).\n";

int main(int argc, char** argv) {
  int rc = about(argc, argv, "modernise", help);
  return rc >= 0 ? rc : modernise(argc, argv, stdout, stderr);
}
