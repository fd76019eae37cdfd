// Reads CSV text back with a standard reader: Python's csv module, strict,
// UTF-8. For tests that check what the server's CSV export writes.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace qv::test {

// The rows (lists of fields) Python's csv module reads from the text.
inline nlohmann::json ReadCsvWithPython(const std::string& csv) {
  static std::atomic<int> serial{0};
  const auto folder = std::filesystem::temp_directory_path();
  const std::string in = (folder / ("qv_csv_" + std::to_string(::getpid()) + "_" +
                                    std::to_string(serial++) + ".csv"))
                             .string();
  const std::string out = in + ".json";
  std::ofstream(in, std::ios::binary) << csv;
  const std::string command =
      "python3 -c 'import csv, json, sys\n"
      "with open(sys.argv[1], newline=\"\", encoding=\"utf-8\", errors=\"strict\") as f:\n"
      "    json.dump(list(csv.reader(f, strict=True)), open(sys.argv[2], \"w\"))' " +
      in + " " + out;
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::ifstream result(out);
  nlohmann::json rows = nlohmann::json::parse(result);
  std::filesystem::remove(in);
  std::filesystem::remove(out);
  return rows;
}

}  // namespace qv::test
