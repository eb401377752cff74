// A test that runs the built programs as processes, in a scratch folder of
// its own: files put and got there, shell commands run there.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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
