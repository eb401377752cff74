// Listing moderniser: turns a printed program listing into one HTML page with
// anchors, cross-reference links, operation descriptions and page image links.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Operation name tables.
const char* opdesc(int r);                // description of operation number r
const char* opname(int r, int m, int l);  // name for an instruction line: r, figures m and l
bool ismachine(int r);                    // r is a machine instruction (function code r - 100)

const int maxmap = 1999;  // image map entries held
const int piece = 997;    // listing characters taken per read

// Image map: keys matched against columns 10-14 of the listing, in order.
struct Imagemap {
  bool held = false;                // a map file was read
  std::vector<std::string> keys;    // 5-character keys
  std::vector<std::string> labels;  // image labels, up to 8 characters
};

// Options of one conversion.
struct Setup {
  int mode = 0;          // annotation mode
  bool https = false;    // -s: default image base uses https
  bool ownbase = false;  // -i given
  std::string base;      // -i: scheme, host and path, no trailing "/"
  Imagemap map;
};

extern const char* const defbase;  // host and path of the default image base

// Reads map lines from f into map (replacing it); false on a read error.
bool readmap(FILE* f, Imagemap& map);
// Image base for links: scheme://host/path without the trailing "/".
std::string imagebase(const Setup& s);
// Reads one piece of a line (at most 997 characters, ending after a newline).
bool readpiece(FILE* f, std::string& s);
// Converts the listing on in to the HTML page on out. False when in could not
// be read or out could not be written.
bool convert(FILE* in, FILE* out, const Setup& s);
// The whole program: options, files, conversion. Page and the "Mapping" line
// go to out unless an output file is named; reports go to err. Exit status.
int modernise(int argc, char** argv, FILE* out, FILE* err);
