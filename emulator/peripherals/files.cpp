// Host files of the run: opening, writing and closing, in one place.
#include "files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tape.h"

int file_open(const std::string& name, int flags) {
  // The tape primitives write the images they are given through here too.
  tape::writer = file_write;
  int fd = open(name.c_str(), flags, 0640);
  if (fd >= 0 && std::find(M.files.begin(), M.files.end(), name) == M.files.end())
    M.files.push_back(name);
  return fd;
}

bool file_write(int fd, const void* b, long n) { return tape::write_all(fd, b, n); }

void file_close(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

bool file_reader() {
  M.reader = open_text(M.ptrname.c_str());
  if (!M.reader) return false;
  M.reader_used = true;
  M.reader_eof = false;
  return true;
}

void file_reader_close() {
  if (M.reader) fclose(M.reader);
  M.reader = nullptr;
}

bool machine_file_name(const std::string& s) {
  auto digits = [&](size_t from, size_t to) {
    if (to <= from || to - from > 2) return false;
    for (size_t i = from; i < to; i++)
      if (s[i] < '0' || s[i] > '9') return false;
    return true;
  };
  auto ends = [&](const char* e) {
    size_t n = strlen(e);
    return s.size() > n && s.compare(s.size() - n, n, e) == 0;
  };
  if (s.compare(0, 2, "LP") == 0 && ends(".txt")) return digits(2, s.size() - 4);
  if (s.compare(0, 2, "MT") != 0 || !ends(".zelk")) return false;
  if (s.size() == 10 && s[2] == '-')
    return s[3] != '/' && s[4] != '/' && s[3] && s[4] && s[3] != '\n' && s[4] != '\n';
  return digits(2, s.size() - 5);
}
