// What the emulator's own loader makes of a program file: the machine a
// program starts from. The round trip's measure, for the tests and the
// fuzz targets of zasm and zdis.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "loader.h"
#include "machine.h"

struct Loaded {
  int status = 0;  // 0, or the status the loader ended the run with
  std::vector<int32_t> store;
  std::vector<uint8_t> tags;
  int entry = 0, tag = 0;
  std::vector<std::vector<int32_t>> ovl;  // first address, length, the image
  std::vector<int> routes;                // each entry's name and type
  bool operator==(const Loaded&) const = default;
};

// Loads the text as a program file, through a scratch file.
inline Loaded load_text(const std::string& text) {
  static FILE* null = std::fopen("/dev/null", "w");
  char name[] = "/tmp/loadedXXXXXX";
  int fd = mkstemp(name);
  bool ok = fd >= 0 && write(fd, text.data(), text.size()) == (ssize_t)text.size();
  if (fd >= 0) close(fd);
  reset();
  M.log = nullptr;
  M.out = M.err = null;
  Loaded l;
  try {
    if (!ok) throw RunEnd{-1};
    load(name);
  } catch (const RunEnd& e) {
    l.status = e.status;
  }
  unlink(name);
  l.store.assign(M.store, M.store + STORE);
  l.tags.assign(M.tags, M.tags + STORE);
  l.entry = M.entry;
  l.tag = M.tag;
  for (const Overlay& o : M.ovl) {
    l.ovl.push_back({o.first, o.len});
    l.ovl.back().insert(l.ovl.back().end(), o.image.begin(), o.image.end());
  }
  for (const Route& r : M.routes) l.routes.insert(l.routes.end(), {r.name, r.type});
  return l;
}
