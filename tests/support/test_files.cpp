// Test files through the standard library and mkdtemp.
#include "test_files.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace qv::test {

std::string MakeTempFolder(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "_XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace qv::test
