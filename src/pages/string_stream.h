// The in-memory 8-bit text a page appends to; one per request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

class PageStream {
 public:
  void WriteString(std::string_view text) { data_.append(text); }
  // A whole number in plain decimal, "-" before a negative one.
  void WriteInteger(int64_t value) { data_.append(std::to_string(value)); }
  const std::string& DataString() const { return data_; }
  // The text itself, for a writer that appends to it.
  std::string& Data() { return data_; }
  std::string TakeDataString() { return std::move(data_); }
  size_t Size() const { return data_.size(); }
  // Cuts the stream to length zero.
  void Clear() { data_.clear(); }

 private:
  std::string data_;
};

}  // namespace qv
