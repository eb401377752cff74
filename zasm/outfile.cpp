// Whole-file writes through a temporary file, and whole-file reads.
#include "outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zasm {

namespace {

// All of data to fd; false with errno set when a write fails.
bool put_all(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t r = ::write(fd, data.data() + done, data.size() - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = ENOSPC;
      return false;
    }
    done += (size_t)r;
  }
  return true;
}

std::string write_error() { return std::string("write error: ") + std::strerror(errno); }

}  // namespace

std::string write_file(const std::string& name, const std::string& data) {
  if (name == "-") {
    if (std::fwrite(data.data(), 1, data.size(), stdout) != data.size() || std::fflush(stdout) != 0)
      return write_error();
    return "";
  }
  struct stat sb;
  bool exists = ::stat(name.c_str(), &sb) == 0;
  if (exists && !S_ISREG(sb.st_mode)) {
    int fd = ::open(name.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) return name + ": " + std::strerror(errno);
    bool ok = put_all(fd, data);
    int e = errno;
    if (::close(fd) != 0 && ok) return write_error();
    errno = e;
    return ok ? "" : write_error();
  }
  // A link is followed: its target is replaced, the link stays.
  std::string target = name;
  if (exists) {
    char* rp = ::realpath(name.c_str(), nullptr);
    if (rp) target = rp;
    std::free(rp);
  }
  std::string tmp = target + ".XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return name + ": " + std::strerror(errno);
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, exists ? sb.st_mode & 07777 : 0666 & ~mask);
  bool ok = put_all(fd, data);
  int e = errno;
  if (::close(fd) != 0 && ok) ok = false, e = errno;
  if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
    e = errno;
    ::unlink(tmp.c_str());
    errno = e;
    return name + ": " + std::strerror(errno);
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    errno = e;
    return write_error();
  }
  return "";
}

std::string read_file(const std::string& name, std::string& text) {
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return std::strerror(errno);
  char buf[65536];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  int e = std::ferror(f) ? errno : 0;
  std::fclose(f);
  return e ? std::strerror(e) : "";
}

}  // namespace zasm
