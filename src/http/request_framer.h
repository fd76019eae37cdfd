// Finds where one request ends in the bytes received so far, without parsing
// it: the front uses it to decide when a request has wholly arrived (or is
// malformed) before a worker thread runs it. It applies the same line rules as
// the request reader, so a request it passes is one the reader can read from
// memory alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

struct TIdFramerLimits {
  size_t max_line = 16384;        // bytes before a line's LF
  size_t max_head = 65536;        // request line and header lines, LFs included
  int max_header_lines = 1024;    // non-empty header lines
  int64_t max_body = 1 << 20;     // a larger body is refused as soon as the head is in
  bool hand_over_at_head = false; // the head alone goes to the worker (header hooks set)
  // "Expect: 100-continue" is answered here, so the body arrives before a
  // worker runs the request (no hook of its own decides on expectations).
  bool continue_here = true;
};

class TIdRequestFramer {
 public:
  enum class State {
    NeedMore,   // the request has not wholly arrived
    Ready,      // the request (or as much as the reader needs of it) is there
    Malformed,  // the reader would give up on it: close without an answer
  };

  explicit TIdRequestFramer(const TIdFramerLimits& limits) : limits_(limits) {}

  // Looks at data, the unread input from the start of the request (the same
  // bytes as before plus what came since); peer_closed: no more will come.
  State Scan(std::string_view data, bool peer_closed);
  // Forgets the request, to look at the next one.
  void Reset();
  // Bytes of the request known so far to be needed (head, then body).
  size_t Needed() const { return needed_; }
  // The interim answer the client waits for before it sends the body, when
  // this request wants one (empty otherwise); the request's engine sends no
  // other.
  const std::string& ContinueLine() const { return continue_line_; }

 private:
  // Looks at the head just completed (lines in data up to head_end_).
  State HeadComplete(std::string_view data, bool peer_closed);

  TIdFramerLimits limits_;
  bool head_done_ = false;
  size_t line_start_ = 0;   // offset of the line being looked at
  size_t searched_ = 0;     // offset up to which no LF is found in that line
  int header_lines_ = 0;
  size_t head_end_ = 0;     // offset just after the empty line
  bool until_close_ = false;  // the body runs to the peer's close
  size_t needed_ = 0;
  std::string continue_line_;
};

}  // namespace qv
