// Files of the service tests: a fresh folder of a test's own, a file read back
// whole, and the logo copied where a server's HtDocs setting points.
#pragma once

#include <stdlib.h>

#include <filesystem>
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

// Makes folder/htdocs holding the logo the server serves from there.
inline void MakeHtDocs(const std::string& folder) {
  std::filesystem::create_directories(folder + "/htdocs");
  std::filesystem::copy_file(std::string(QV_SOURCE_DIR) + "/assets/qv_logo_jpg.jpg",
                             folder + "/htdocs/qv_logo_jpg.jpg");
}

}  // namespace qv::test
