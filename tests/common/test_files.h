// What the tests of every subsystem need around files: a private temporary folder, whole files
// written and read as bytes, a file made immutable (the one "cannot change" that holds for
// root), standard output silenced, and the raised error of a call.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/ov_error.h"

namespace orvanel::testing {

// A temporary folder for one test below $TMPDIR (else /tmp), removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/orvanel-test-XXXXXX";
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    // rm copes with trees deeper than the path limit; std::filesystem does not.
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The whole file `path` is `bytes` afterwards.
inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The whole file `path` ("" when it cannot be read).
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Something (a file, a folder, a link even when dangling) is at `path`.
inline bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// chattr +i on `path` for the life of the object; ok() is false where that is impossible
// (not root, or a file system without the flag).
class Immutable {
 public:
  explicit Immutable(std::string path) : path_(std::move(path)) {
    ok_ = geteuid() == 0 && std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
  }
  ~Immutable() {
    if (ok_) std::system(("chattr -i '" + path_ + "'").c_str());
  }
  Immutable(const Immutable&) = delete;
  Immutable& operator=(const Immutable&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

// The error `call` raises; a test failure (and error 0) when it raises none.
template <class Call>
support::Error RaisedBy(Call call) {
  try {
    call();
  } catch (const support::Error& error) {
    return error;
  }
  ADD_FAILURE() << "no error raised";
  return support::Error(0, "");
}

// The number of the error `call` raises; 0 when it raises none (not a failure by itself).
template <class Call>
int32_t ErrorNumberOf(Call call) {
  try {
    call();
  } catch (const support::Error& error) {
    return error.number();
  }
  return 0;
}

// Sends standard output to /dev/null while it lives (the console of in-process tests).
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_;
};

}  // namespace orvanel::testing
