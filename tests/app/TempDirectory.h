#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace kestrune::testing {

// A fresh directory under /tmp, removed with everything in it.
class TempDirectory {
 public:
  TempDirectory() {
    std::string pattern = "/tmp/kestrune-app-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = pattern;
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  // Writes a file, creating its directories.
  std::string write(const std::string& relative, const std::string& contents) const {
    const std::string file = *this / relative;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream out(file, std::ios::binary);
    out << contents;
    if (!out.flush()) {
      throw std::runtime_error("cannot write " + file);
    }
    return file;
  }

 private:
  std::string path_;
};

}  // namespace kestrune::testing
