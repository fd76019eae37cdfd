#include "http/request_parser.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "http/header_info.h"
#include "platform/ascii_text.h"

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

// The first block of a body that grows.
constexpr size_t kFirstBodyBlock = 16384;

bool IsDecimal(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
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
      members.emplace_back(ascii::Trim(rest.substr(0, comma)));
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

bool MetByDefault(std::string_view expectation) { return ascii::EqualsNoCase(expectation, "100-continue"); }

RequestParser::Status RequestParser::State() const {
  if (phase_ == Phase::Done) return Status::Complete;
  if (phase_ == Phase::Broken) return Status::Malformed;
  return Status::Incomplete;
}

void RequestParser::SetMemory(std::shared_ptr<RequestMemory> memory) {
  memory_ = std::move(memory);
  DropBody();
  head_charge_ = MemoryCharge(memory_);
  body_charge_ = MemoryCharge(memory_);
}

void RequestParser::DropBody() {
  // Assigning an empty string would keep the memory (a short string is copied
  // into the buffer there is); swapped out, it goes with the temporary.
  std::string().swap(request_.body);
  body_charge_.Release();
}

void RequestParser::Reset() {
  phase_ = Phase::RequestLine;
  {
    // What the request held goes now, not when a later one needs more room.
    ParsedRequest done = std::move(request_);
  }
  request_ = ParsedRequest();
  head_charge_ = MemoryCharge(memory_);
  body_charge_ = MemoryCharge(memory_);
  searched_ = head_bytes_ = framing_bytes_ = trailer_bytes_ = 0;
  header_lines_ = 0;
  left_ = 0;
  refusal_ = 0;
  fault_ = Fault::None;
}

MemoryCharge RequestParser::TakeBodyCharge() {
  MemoryCharge charge = std::move(body_charge_);
  body_charge_ = MemoryCharge(memory_);
  return charge;
}

void RequestParser::Refuse(int status) {
  refusal_ = status;
  phase_ = Phase::Done;
  // The answer says no to the body: what came of it goes at once.
  DropBody();
}

void RequestParser::OutOfMemory() {
  if (phase_ == Phase::Done || phase_ == Phase::Broken) return;
  if (memory_) memory_->CountRefusal();
  Refuse(503);
}

bool RequestParser::BodyRoom(size_t more) {
  std::string& body = request_.body;
  const size_t needed = body.size() + more;
  if (needed <= body.capacity()) return true;
  // Up to what the body can be (its announced length, or the body limit):
  // first a block that holds a form, then straight to a mapping of its own
  // (RequestMemory::kOwnMapping) and doubling from there, so that a large
  // body leaves few small holes behind.
  const size_t most = request_.chunked ? static_cast<size_t>(limits_.max_body)
                                       : static_cast<size_t>(request_.content_length);
  const size_t step = body.capacity() < kFirstBodyBlock ? kFirstBodyBlock
                                                        : std::max(body.capacity() * 2, RequestMemory::kOwnMapping);
  const size_t target = std::max(needed, std::min(most, step));
  if (!body_charge_.Resize(target)) {
    OutOfMemory();
    return false;
  }
  // A new string of that capacity (reserve on the old one may take twice the old).
  std::string grown;
  grown.reserve(target);
  grown.append(body);
  body.swap(grown);
  body_charge_.Force(body.capacity());
  return true;
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
        if (!BodyRoom(n)) return taken;
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
      case Phase::ChunkSize:
      case Phase::Trailers: {
        const bool size_line = phase_ == Phase::ChunkSize;
        const size_t max = size_line ? limits_.max_chunk_line : limits_.max_trailers - trailer_bytes_;
        const Line got = ChunkLine(rest, peer_closed, max, line, used);
        if (got == Line::Wait) return taken;
        if (got == Line::Bad || (got == Line::TooLong && size_line)) {
          Refuse(400);
          return taken;
        }
        // Trailers are read and dropped, held to a limit of their own.
        if (got == Line::TooLong || (!size_line && (trailer_bytes_ += used) > limits_.max_trailers)) {
          Refuse(431);
          return taken;
        }
        taken += used;
        if (size_line) {
          if ((framing_bytes_ += used) > limits_.max_chunk_framing) {
            Refuse(413);
            return taken;
          }
          TakeChunkSize(line);
        } else if (line.empty()) {
          phase_ = Phase::Done;
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
        if ((framing_bytes_ += 2) > limits_.max_chunk_framing) {
          Refuse(413);
          return taken;
        }
        phase_ = Phase::ChunkSize;
        break;
      case Phase::Done:
      case Phase::Broken:
        return taken;
    }
  }
}

bool RequestParser::HeadLine(std::string_view data, bool peer_closed, std::string_view& line, size_t& used) {
  // A request line too long is a target too long; anything else too long is
  // the header fields.
  const int too_long = phase_ == Phase::RequestLine ? 414 : 431;
  const void* lf = data.size() > searched_ ? std::memchr(data.data() + searched_, '\n', data.size() - searched_)
                                           : nullptr;
  if (!lf) {
    if (data.size() > limits_.max_line || head_bytes_ + data.size() > limits_.max_head)
      Refuse(too_long);
    else if (peer_closed)
      Break(Fault::CutShort);
    else
      searched_ = data.size();
    return false;
  }
  const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - data.data());
  if (end > limits_.max_line || head_bytes_ + end + 1 > limits_.max_head) {
    Refuse(too_long);
    return false;
  }
  // A head beyond its first few kilobytes counts against RequestMemory.
  const size_t head = head_bytes_ + end + 1;
  if (head > RequestMemory::kUncounted && !head_charge_.Resize(head - RequestMemory::kUncounted)) {
    OutOfMemory();
    return false;
  }
  line = data.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  used = end + 1;
  head_bytes_ = head;
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
  if (++header_lines_ > limits_.max_header_lines) return Refuse(431);
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

  // Without a length or chunks there is no body, whatever the method; the
  // body's memory is taken as its bytes come.
  if (request_.chunked) {
    phase_ = Phase::ChunkSize;
  } else if (request_.content_length > 0) {
    left_ = request_.content_length;
    phase_ = Phase::Length;
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
    if (codings.size() != 1 || !ascii::EqualsNoCase(codings[0], "chunked")) return 400;
    request_.chunked = true;
    return 0;
  }
  if (has_length) {
    // Digits, and the same digits in every value: anything else would leave
    // the body's end to a guess (the bytes after the head read as the next request).
    for (const std::string& length : lengths)
      if (length != lengths[0] || !IsDecimal(length)) return 400;
    request_.content_length = ParseContentLength(lengths[0]);
    if (request_.content_length > limits_.max_body) return 413;
  }
  return 0;
}

RequestParser::Line RequestParser::ChunkLine(std::string_view data, bool peer_closed, size_t max,
                                             std::string_view& line, size_t& used) {
  // The CR LF may follow the max bytes.
  const size_t window = std::min(data.size(), max + 2);
  const void* lf = window > searched_ ? std::memchr(data.data() + searched_, '\n', window - searched_) : nullptr;
  if (!lf) {
    if (data.size() >= max + 2) return Line::TooLong;
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
