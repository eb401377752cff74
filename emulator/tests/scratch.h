// A test that runs the built programs as processes, in a scratch folder of
// its own: files put and got there, shell commands run there.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

// Waits (ten seconds at most) until process pid handles signal sig itself,
// so that a signal sent then reaches the run and not the default action of
// a process still starting; false if it never does.
inline bool catches(pid_t pid, int sig) {
  for (int i = 0; i < 1000; i++) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
      if (line.rfind("SigCgt:", 0) == 0 &&
          (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1) & 1))
        return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class Scratch : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/scratchXXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { sh("cd / && rm -rf '" + dir + "'"); }
  void put(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
  }
  std::string get(const std::string& name) {
    std::ifstream f(dir + "/" + name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // Runs a shell command in the scratch folder; its exit status.
  int sh(const std::string& cmd) {
    int st = std::system(("cd '" + dir + "' && " + cmd).c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  std::string dir;
};
