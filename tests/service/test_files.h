// Files of the service tests: a fresh folder of a test's own and a file read
// back whole.
#pragma once

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

namespace qv::test {

// Makes a new folder /tmp/<prefix>_XXXXXX; empty when it could not be made.
inline std::string MakeTempFolder(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "_XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace qv::test
