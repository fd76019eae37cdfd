#include "http/request_parser.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "http/header_info.h"
#include "http/text.h"

namespace qv {

namespace {

// A character of a method name (a token).
bool IsTokenChar(char c) {
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A CR or NUL inside a line: some readers end the line there, others do not.
bool HasBareCrOrNul(std::string_view line) {
  return line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The values of every header line with that name, split at commas and
// trimmed; present is set when there is such a line at all.
std::vector<std::string> ListValues(const HeaderList& headers, std::string_view name, bool& present) {
  std::vector<std::string> members;
  present = false;
  for (int i = headers.IndexOfName(name); i >= 0; i = headers.IndexOfName(name, static_cast<size_t>(i) + 1)) {
    present = true;
    const std::string value = headers.ValueAt(static_cast<size_t>(i));
    std::string_view rest = value;
    for (;;) {
      const size_t comma = rest.find(',');
      members.emplace_back(http_text::Trim(rest.substr(0, comma)));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return members;
}

// How many "Host" header lines there are.
int HostLines(const HeaderList& headers) {
  int count = 0;
  for (int i = headers.IndexOfName("Host"); i >= 0; i = headers.IndexOfName("Host", static_cast<size_t>(i) + 1))
    ++count;
  return count;
}

}  // namespace

std::optional<HttpVersion> ParseHttpVersion(std::string_view text) {
  if (text.substr(0, 5) != "HTTP/") return std::nullopt;
  text.remove_prefix(5);
  const size_t dot = text.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits) -> std::optional<int> {
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    return value;
  };
  const auto major = number(text.substr(0, dot));
  const auto minor = number(text.substr(dot + 1));
  if (!major || !minor) return std::nullopt;
  return HttpVersion{*major, *minor};
}

bool IsHttp11OrLater(std::string_view version) {
  const auto v = ParseHttpVersion(version);
  return v && v->major > 0 && !(v->major == 1 && v->minor == 0);
}

std::optional<std::string> ExpectationOf(const std::string& version, const HeaderList& headers) {
  if (!IsHttp11OrLater(version) || headers.IndexOfName("Expect") < 0) return std::nullopt;
  return headers.Values("Expect");
}

bool MetByDefault(std::string_view expectation) { return http_text::EqualsNoCase(expectation, "100-continue"); }

RequestParser::Status RequestParser::State() const {
  if (phase_ == Phase::Done) return Status::Complete;
  if (phase_ == Phase::Broken) return Status::Malformed;
  return Status::Incomplete;
}

void RequestParser::Reset() {
  phase_ = Phase::RequestLine;
  request_ = ParsedRequest();
  searched_ = head_bytes_ = 0;
  header_lines_ = 0;
  left_ = 0;
  refusal_ = 0;
  fault_ = Fault::None;
}

size_t RequestParser::Parse(std::string_view data, bool peer_closed) {
  size_t taken = 0;
  for (;;) {
    const std::string_view rest = data.substr(taken);
    std::string_view line;
    size_t used = 0;
    switch (phase_) {
      case Phase::RequestLine:
      case Phase::Headers:
        if (!HeadLine(rest, peer_closed, line, used)) return taken;
        taken += used;
        TakeHeadLine(line);
        break;
      case Phase::Length:
      case Phase::ChunkData: {
        const size_t n = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(rest.size())));
        request_.body.append(rest.data(), n);
        taken += n;
        left_ -= static_cast<int64_t>(n);
        if (left_ == 0) {
          phase_ = phase_ == Phase::Length ? Phase::Done : Phase::ChunkEnd;
        } else {
          if (peer_closed) Break(Fault::CutShort);
          return taken;
        }
        break;
      }
      case Phase::UntilClose: {
        const size_t room = static_cast<size_t>(limits_.max_body) - request_.body.size();
        const size_t n = std::min(rest.size(), room);
        request_.body.append(rest.data(), n);
        taken += n;
        if (rest.size() > room)
          Refuse(413);
        else if (peer_closed)
          phase_ = Phase::Done;
        return taken;
      }
      case Phase::ChunkSize:
      case Phase::Trailers: {
        const Line got = ChunkLine(rest, peer_closed, line, used);
        if (got == Line::Wait) return taken;
        if (got == Line::Bad) {
          Refuse(400);
          return taken;
        }
        taken += used;
        if (phase_ == Phase::ChunkSize) {
          TakeChunkSize(line);
        } else if (line.empty()) {
          phase_ = Phase::Done;
        } else if (++header_lines_ > limits_.max_header_lines ||
                   (head_bytes_ += used) > limits_.max_head) {
          // Trailers are read and dropped, held to the limits of a head.
          Refuse(400);
        }
        break;
      }
      case Phase::ChunkEnd:
        if (rest.size() < 2) {
          if (peer_closed) Break(Fault::CutShort);
          return taken;
        }
        if (rest.substr(0, 2) != "\r\n") {
          Refuse(400);
          return taken;
        }
        taken += 2;
        phase_ = Phase::ChunkSize;
        break;
      case Phase::Done:
      case Phase::Broken:
        return taken;
    }
  }
}

bool RequestParser::HeadLine(std::string_view data, bool peer_closed, std::string_view& line, size_t& used) {
  const void* lf = data.size() > searched_ ? std::memchr(data.data() + searched_, '\n', data.size() - searched_)
                                           : nullptr;
  if (!lf) {
    if (data.size() > limits_.max_line || head_bytes_ + data.size() > limits_.max_head)
      Break(Fault::LineTooLong);
    else if (peer_closed)
      Break(Fault::CutShort);
    else
      searched_ = data.size();
    return false;
  }
  const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - data.data());
  if (end > limits_.max_line || head_bytes_ + end + 1 > limits_.max_head) {
    Break(Fault::LineTooLong);
    return false;
  }
  line = data.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  used = end + 1;
  head_bytes_ += used;
  searched_ = 0;
  return true;
}

void RequestParser::TakeHeadLine(std::string_view line) {
  if (phase_ == Phase::RequestLine) {
    const size_t last_blank = line.rfind(' ');
    if (last_blank == std::string_view::npos) return Break(Fault::NoBlank);
    request_.request_line = std::string(line);
    request_.version = std::string(line.substr(last_blank + 1));
    const std::string_view rest = line.substr(0, last_blank);
    const size_t first_blank = rest.find(' ');
    request_.method = std::string(rest.substr(0, first_blank));
    if (first_blank != std::string_view::npos) request_.target = std::string(rest.substr(first_blank + 1));
    phase_ = Phase::Headers;
    return;
  }
  if (line.empty()) return HeadComplete();
  if (++header_lines_ > limits_.max_header_lines) return Break(Fault::TooManyLines);
  request_.headers.Add(std::string(line));
}

void RequestParser::HeadComplete() {
  const auto version = ParseHttpVersion(request_.version);
  // No version at all (a bare "GET /") or not one of the form "HTTP/x.y".
  if (!version) return Refuse(400);
  if (version->major != 1) return Refuse(505);
  const std::string& method = request_.method;
  if (method.size() > limits_.max_method) return Refuse(501);
  if (method.empty() || !std::all_of(method.begin(), method.end(), IsTokenChar)) return Refuse(400);
  if (const int status = Framing()) return Refuse(status);

  header_lines_ = 0;  // trailers count afresh
  if (request_.chunked) {
    phase_ = Phase::ChunkSize;
  } else if (request_.content_length > 0) {
    left_ = request_.content_length;
    request_.body.reserve(static_cast<size_t>(left_));
    phase_ = Phase::Length;
  } else if (request_.content_length < 0 && http_text::EqualsNoCase(method, "POST")) {
    phase_ = Phase::UntilClose;
  } else {
    phase_ = Phase::Done;
  }
}

int RequestParser::Framing() {
  if (HasBareCrOrNul(request_.request_line)) return 400;
  for (const std::string& line : request_.headers) {
    if (HasBareCrOrNul(line)) return 400;
    // Blanks between a name and its colon make a name that one reader
    // matches and another does not.
    const size_t colon = line.find(':');
    if (!line.empty() && !IsBlank(line[0]) && colon != std::string::npos && colon > 0 &&
        IsBlank(line[colon - 1]))
      return 400;
  }
  // Two hosts: a proxy may route by one and the server answer for the other.
  if (HostLines(request_.headers) > 1) return 400;
  bool has_coding = false, has_length = false;
  const std::vector<std::string> codings = ListValues(request_.headers, "Transfer-Encoding", has_coding);
  const std::vector<std::string> lengths = ListValues(request_.headers, "Content-Length", has_length);
  if (has_coding) {
    // Only chunks are decoded, and a length beside them says something else.
    const auto version = ParseHttpVersion(request_.version);
    if (has_length || version->minor == 0) return 400;
    if (codings.size() != 1 || !http_text::EqualsNoCase(codings[0], "chunked")) return 400;
    request_.chunked = true;
    return 0;
  }
  if (has_length) {
    for (const std::string& length : lengths)
      if (length != lengths[0]) return 400;
    request_.content_length = ParseContentLength(lengths[0]);
    if (request_.content_length > limits_.max_body) return 413;
  }
  return 0;
}

RequestParser::Line RequestParser::ChunkLine(std::string_view data, bool peer_closed, std::string_view& line,
                                             size_t& used) {
  const size_t window = std::min(data.size(), limits_.max_line + 1);
  const void* lf = window > searched_ ? std::memchr(data.data() + searched_, '\n', window - searched_) : nullptr;
  if (!lf) {
    if (data.size() > limits_.max_line) return Line::Bad;
    searched_ = data.size();
    if (peer_closed) Break(Fault::CutShort);
    return Line::Wait;
  }
  const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - data.data());
  if (end == 0 || data[end - 1] != '\r') return Line::Bad;
  line = data.substr(0, end - 1);
  used = end + 1;
  searched_ = 0;
  return Line::Whole;
}

void RequestParser::TakeChunkSize(std::string_view line) {
  size_t i = 0;
  int64_t size = 0;
  const int64_t room = limits_.max_body - static_cast<int64_t>(request_.body.size());
  for (; i < line.size() && HexValue(line[i]) >= 0; ++i) {
    size = size * 16 + HexValue(line[i]);
    if (size > room) return Refuse(413);
  }
  if (i == 0) return Refuse(400);
  // Extensions after ";" are allowed and ignored.
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i < line.size() && line[i] != ';') return Refuse(400);
  if (size == 0) {
    phase_ = Phase::Trailers;
    return;
  }
  left_ = size;
  phase_ = Phase::ChunkData;
}

}  // namespace qv
