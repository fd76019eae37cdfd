// Files of the tests: a fresh folder of a test's own, a file read back whole,
// and text cut into its lines.
#pragma once

#include <string>
#include <vector>

namespace qv::test {

// Makes a new folder /tmp/<prefix>_XXXXXX; empty when it could not be made.
std::string MakeTempFolder(const std::string& prefix);

// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The lines of text without their line breaks.
std::vector<std::string> Lines(const std::string& text);

}  // namespace qv::test
