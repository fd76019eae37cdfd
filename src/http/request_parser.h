// The one parser of requests. It takes the bytes of a connection as they
// come and parses them once, into a ParsedRequest: the request line, the
// header lines and the body as the framing headers give it (a length or
// chunks; a request with neither has none). It takes exactly the bytes of one
// request, so what it leaves belongs to the next one. The front runs it
// without waiting; a worker finishes a request the front handed over early.
// The body's memory is charged to the server's RequestMemory as it grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "http/header_list.h"
#include "http/request_limits.h"
#include "http/request_memory.h"

namespace qv {

struct ParsedRequest {
  std::string request_line;  // the first line as sent, line end removed
  std::string method;        // text before its first blank, as sent
  std::string target;        // text between its first blank and its last one
  std::string version;       // text after its last blank
  HeaderList headers;     // the header lines as sent, line ends removed
  int64_t content_length = -1;  // the "Content-Length" the body goes by; -1: none
  bool chunked = false;      // the body came in chunks
  std::string body;          // the body, chunks decoded
};

class RequestParser {
 public:
  enum class Status {
    Incomplete,  // more input is needed
    Complete,    // the request is whole, or refused (see Refusal)
    Malformed,   // the connection ends without an answer (see Fault)
  };
  enum class Fault {
    None,
    NoBlank,   // the request line has no blank
    CutShort,  // the peer closed before the request was whole
  };

  explicit RequestParser(const RequestLimits& limits = {}) : limits_(limits) {}

  const RequestLimits& Limits() const { return limits_; }
  void SetLimits(const RequestLimits& limits) { limits_ = limits; }
  // Where bodies are charged from the next request on (null: nowhere).
  void SetMemory(std::shared_ptr<RequestMemory> memory);

  // Parses on from data, the input not taken yet (peer_closed: nothing more
  // will come). Returns how many bytes of it were taken: the caller drops them.
  size_t Parse(std::string_view data, bool peer_closed);

  Status State() const;
  Fault GetFault() const { return fault_; }
  bool HeadDone() const { return phase_ > Phase::Headers; }
  // The status to answer with instead of running the request, 0 when none;
  // the connection closes after that answer. A refused request keeps no body.
  int Refusal() const { return refusal_; }
  // The connection's input could not be buffered (RequestMemory is spent):
  // the request is refused with 503, as one whose body cannot be held.
  void OutOfMemory();
  // The head is done and the body is still coming.
  bool BodyToCome() const { return HeadDone() && phase_ != Phase::Done && phase_ != Phase::Broken; }

  ParsedRequest& Request() { return request_; }
  const ParsedRequest& Request() const { return request_; }
  // What the body holds of RequestMemory, for whoever takes the body away
  // (the head's part is given back with the next Reset).
  MemoryCharge TakeBodyCharge();
  // Forgets the request, to parse the next one.
  void Reset();

 private:
  enum class Phase { RequestLine, Headers, Length, ChunkSize, ChunkData, ChunkEnd, Trailers, Done, Broken };
  enum class Line { Whole, Wait, Bad, TooLong };

  // A line of the head (LF or CR LF); false when it has not come or is faulty.
  bool HeadLine(std::string_view data, bool peer_closed, std::string_view& line, size_t& used);
  void TakeHeadLine(std::string_view line);
  // The head is done: checks the request line and the framing, then the body.
  void HeadComplete();
  // Checks the framing headers; the status to refuse with, or 0.
  int Framing();
  // A line of the chunked framing, which must end in CR LF and hold at most
  // max bytes before it.
  Line ChunkLine(std::string_view data, bool peer_closed, size_t max, std::string_view& line, size_t& used);
  void TakeChunkSize(std::string_view line);
  // Room in the body for more bytes, charged; false when refused for it.
  bool BodyRoom(size_t more);
  // Frees the body and gives back its charge.
  void DropBody();
  void Refuse(int status);
  void Break(Fault fault) {
    fault_ = fault;
    phase_ = Phase::Broken;
  }

  RequestLimits limits_;
  std::shared_ptr<RequestMemory> memory_;
  Phase phase_ = Phase::RequestLine;
  // Before request_, which goes first.
  MemoryCharge head_charge_;
  MemoryCharge body_charge_;
  ParsedRequest request_;
  size_t searched_ = 0;        // bytes of the line at hand known to hold no LF
  size_t head_bytes_ = 0;      // bytes of head lines taken
  int header_lines_ = 0;       // header lines taken
  size_t framing_bytes_ = 0;   // bytes of chunk framing taken
  size_t trailer_bytes_ = 0;   // bytes of trailer lines taken
  int64_t left_ = 0;           // bytes of the body (or chunk) still to come
  int refusal_ = 0;
  Fault fault_ = Fault::None;
};

// "HTTP/" major "." minor in decimal digits; nullopt for anything else.
struct HttpVersion {
  int major = 0;
  int minor = 0;
};
std::optional<HttpVersion> ParseHttpVersion(std::string_view text);
// A version of 1.1 or later.
bool IsHttp11OrLater(std::string_view version);

// The "Expect" value the engine meets (requests of HTTP/1.1 and later), or nullopt.
std::optional<std::string> ExpectationOf(const std::string& version, const HeaderList& headers);
// Whether an expectation is met when no hook of the server decides.
bool MetByDefault(std::string_view expectation);

}  // namespace qv
