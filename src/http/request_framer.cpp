#include "http/request_framer.h"

#include <cstring>
#include <string>

#include "http/header_info.h"
#include "http/request_reader.h"
#include "http/text.h"

namespace qv {

namespace {

// The lines of a head: request line first, then header lines; CR before LF removed.
class HeadLines {
 public:
  explicit HeadLines(std::string_view head) : rest_(head) {}
  bool Next(std::string_view& line) {
    if (rest_.empty()) return false;
    const size_t lf = rest_.find('\n');
    line = rest_.substr(0, lf);
    rest_.remove_prefix(lf == std::string_view::npos ? rest_.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }

 private:
  std::string_view rest_;
};

bool NameIs(std::string_view line, std::string_view name) {
  const size_t colon = line.find(':');
  return colon != std::string_view::npos && http_text::EqualsNoCase(line.substr(0, colon), name);
}

}  // namespace

void TIdRequestFramer::Reset() {
  head_done_ = false;
  line_start_ = searched_ = head_end_ = needed_ = 0;
  header_lines_ = 0;
  until_close_ = false;
  continue_line_.clear();
}

TIdRequestFramer::State TIdRequestFramer::Scan(std::string_view data, bool peer_closed) {
  while (!head_done_) {
    const size_t available = data.size() - line_start_;
    const void* lf = data.size() > searched_
                         ? std::memchr(data.data() + searched_, '\n', data.size() - searched_)
                         : nullptr;
    if (!lf) {
      if (available > limits_.max_line || data.size() > limits_.max_head) return State::Malformed;
      searched_ = data.size();
      needed_ = data.size() + 1;
      // The reader gives up when the peer closes in the middle of the head.
      return peer_closed ? State::Malformed : State::NeedMore;
    }
    const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - data.data());
    if (end - line_start_ > limits_.max_line || end + 1 > limits_.max_head) return State::Malformed;
    std::string_view line = data.substr(line_start_, end - line_start_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line_start_ == 0) {
      // The request line: without a blank the reader stops at once.
      if (line.rfind(' ') == std::string_view::npos) return State::Malformed;
    } else if (line.empty()) {
      head_done_ = true;
      head_end_ = end + 1;
      return HeadComplete(data, peer_closed);
    } else if (++header_lines_ > limits_.max_header_lines) {
      return State::Malformed;
    }
    line_start_ = searched_ = end + 1;
  }
  if (until_close_) {
    // Read to the close, up to one byte over the limit (which the reader refuses).
    if (peer_closed || data.size() - head_end_ > static_cast<size_t>(limits_.max_body)) return State::Ready;
    needed_ = data.size() + 1;
    return State::NeedMore;
  }
  return data.size() >= needed_ ? State::Ready : State::NeedMore;
}

TIdRequestFramer::State TIdRequestFramer::HeadComplete(std::string_view data, bool peer_closed) {
  HeadLines lines(data.substr(0, head_end_));
  std::string_view line;
  lines.Next(line);
  const std::string_view request_line = line;
  const std::string_view version = request_line.substr(request_line.rfind(' ') + 1);
  const std::string_view command = request_line.substr(0, request_line.find(' '));

  // The first "Content-Length" and "Expect" lines with their folded
  // continuation lines: the values the header list gives.
  std::string length_text, expect_text;
  std::string* folding = nullptr;
  bool expect = false;
  while (lines.Next(line) && !line.empty()) {
    if (folding) {
      if (line[0] == ' ' || line[0] == '\t') {
        folding->append(1, ' ').append(http_text::Trim(line));
        continue;
      }
      folding = nullptr;
    }
    const bool first_length = length_text.empty() && NameIs(line, "Content-Length");
    const bool first_expect = !expect && NameIs(line, "Expect");
    if (first_length || first_expect) {
      folding = first_length ? &length_text : &expect_text;
      folding->assign(line.substr(line.find(':') + 1));
      if (folding->empty()) folding->push_back(' ');  // found, even when empty
      expect = expect || first_expect;
    }
  }
  const int64_t length = ParseContentLength(http_text::Trim(length_text));

  needed_ = head_end_;
  // What the reader answers from the head alone, and the header hooks, need
  // no body here.
  if (limits_.hand_over_at_head || length > limits_.max_body) return State::Ready;
  if (expect && IsHttp11OrLater(version)) {
    // The expectation the engine would grant, for a body to come: the client
    // is told to go on here, and the request waits for its body. Any other
    // goes to the worker at once (to be refused, or without a body).
    if (!limits_.continue_here || length <= 0 ||
        !http_text::EqualsNoCase(http_text::Trim(expect_text), "100-continue"))
      return State::Ready;
    continue_line_.assign(version).append(" 100 Continue\r\n\r\n");
  }
  if (length > 0) {
    needed_ = head_end_ + static_cast<size_t>(length);
    return data.size() >= needed_ ? State::Ready : State::NeedMore;
  }
  if (length < 0 && CommandTypeOf(command) == HttpCommandType::Post) {
    until_close_ = true;
    return Scan(data, peer_closed);
  }
  return State::Ready;
}

}  // namespace qv
