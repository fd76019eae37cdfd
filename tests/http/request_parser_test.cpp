#include "http/request_parser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace qv {
namespace {

using Status = RequestParser::Status;
using Fault = RequestParser::Fault;

// Small limits, so that every one of them is easy to reach.
RequestLimits SmallLimits() {
  RequestLimits limits;
  limits.max_line = 64;
  limits.max_head = 256;
  limits.max_header_lines = 4;
  limits.max_body = 16;
  limits.max_method = 8;
  limits.max_chunk_line = 16;
  limits.max_chunk_framing = 32;
  limits.max_trailers = 16;
  return limits;
}

// What a parser made of one message.
struct Outcome {
  Status status = Status::Incomplete;
  int refusal = 0;
  Fault fault = Fault::None;
  std::string method, target, version, body;
  size_t headers = 0;
  size_t taken = 0;  // bytes of the input taken

  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << "status " << static_cast<int>(o.status) << " refusal " << o.refusal << " fault "
             << static_cast<int>(o.fault) << " [" << o.method << "|" << o.target << "|" << o.version << "|"
             << o.body << "] headers " << o.headers << " taken " << o.taken;
}

// Feeds input to a fresh parser in pieces that end at the given offsets (the
// last piece runs to the end), as a connection does: input not taken stays
// and the next piece is added to it. closes: the peer closes after the input.
Outcome Feed(RequestParser& parser, const std::string& input, const std::vector<size_t>& cuts, bool closes) {
  std::string unread;
  Outcome out;
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size() && parser.State() == Status::Incomplete; ++i) {
    const size_t to = i < cuts.size() ? cuts[i] : input.size();
    unread += input.substr(from, to - from);
    from = to;
    const size_t n = parser.Parse(unread, closes && to == input.size());
    unread.erase(0, n);
    out.taken += n;
  }
  out.status = parser.State();
  out.refusal = parser.Refusal();
  out.fault = parser.GetFault();
  const ParsedRequest& r = parser.Request();
  out.method = r.method;
  out.target = r.target;
  out.version = r.version;
  out.body = r.body;
  out.headers = r.headers.Count();
  return out;
}

Outcome Feed(const std::string& input, const std::vector<size_t>& cuts, bool closes) {
  RequestParser parser(SmallLimits());
  return Feed(parser, input, cuts, closes);
}


// One message: the bytes the parser takes, then the bytes it leaves (the
// next request, or what follows a refusal).
struct Case {
  const char* name;
  std::string taken;
  std::string left;
  bool closes;  // the peer closes after the last byte
  Outcome expected;  // its taken count is that of the first part
};

Outcome Whole(std::string method, std::string target, std::string body, size_t headers) {
  Outcome o;
  o.status = Status::Complete;
  o.method = std::move(method);
  o.target = std::move(target);
  o.version = "HTTP/1.1";
  o.body = std::move(body);
  o.headers = headers;
  return o;
}

Outcome Refused(int status, std::string method, std::string version, size_t headers, std::string body = "") {
  Outcome o;
  o.status = Status::Complete;
  o.refusal = status;
  o.method = std::move(method);
  o.target = "/";
  o.version = std::move(version);
  o.headers = headers;
  o.body = std::move(body);
  return o;
}

// Refused while its head came: nothing of it is known but what was taken
// (a request line "GET / HTTP/1.1" when request_line is set).
Outcome RefusedHead(int status, bool request_line, size_t headers = 0) {
  Outcome o = Refused(status, "GET", "HTTP/1.1", headers);
  if (!request_line) o.method = o.target = o.version = "";
  return o;
}

// Malformed; with a version the request line was taken.
Outcome Broken(Fault fault, std::string version = "", size_t headers = 0) {
  Outcome o;
  o.status = Status::Malformed;
  o.fault = fault;
  o.version = std::move(version);
  if (!o.version.empty()) {
    o.method = "GET";
    o.target = "/";
  }
  o.headers = headers;
  return o;
}

const std::string kNext = "GET /next HTTP/1.1\r\n\r\n";

std::vector<Case> Cases() {
  const std::string get = "GET / HTTP/1.1\r\n";
  const std::string post = "POST / HTTP/1.1\r\n";
  const std::string chunked = post + "Transfer-Encoding: chunked\r\n\r\n";
  const std::string v57(57, 'v');  // header lines of 62 bytes
  Outcome no_version = Refused(400, "GET", "/", 0);  // "GET /": the version is "/", the target empty
  no_version.target.clear();
  const std::string trailers = chunked + "0\r\n";
  Outcome in_body = Broken(Fault::CutShort, "HTTP/1.1", 1);
  in_body.method = "POST";
  in_body.body = "ab";
  std::vector<Case> cases = {
      // Whole requests: exactly their bytes are taken, the next request stays.
      {"get", "GET /a?b=1 HTTP/1.1\r\nHost: h\r\n\r\n", kNext, false, Whole("GET", "/a?b=1", "", 1)},
      {"bare line feeds", "GET /lf HTTP/1.1\nHost: h\n\n", kNext, false, Whole("GET", "/lf", "", 1)},
      {"folded header", get + "Host: a\r\n  b\r\n\r\n", kNext, false, Whole("GET", "/", "", 2)},
      {"blank in target", "GET /a b HTTP/1.1\r\n\r\n", "", false, Whole("GET", "/a b", "", 0)},
      {"length", post + "Content-Length: 3\r\n\r\nabc", kNext, false, Whole("POST", "/", "abc", 1)},
      {"equal lengths", post + "Content-Length: 3\r\ncontent-length: 3\r\n\r\nabc", kNext, false,
       Whole("POST", "/", "abc", 2)},
      {"equal lengths in a list", post + "Content-Length: 3, 3\r\n\r\nabc", kNext, false, Whole("POST", "/", "abc", 1)},
      {"post without a length or chunks", post + "\r\n", "k=v&w=1", true, Whole("POST", "/", "", 0)},
      {"length of zero", post + "Content-Length: 0\r\n\r\n", kNext, false, Whole("POST", "/", "", 1)},
      {"length with leading zeros", post + "Content-Length: 003\r\n\r\nabc", kNext, false,
       Whole("POST", "/", "abc", 1)},
      {"chunks", chunked + "4\r\nWiki\r\n5;name=value\r\npedia\r\n0\r\n\r\n", kNext, false,
       Whole("POST", "/", "Wikipedia", 1)},
      {"chunks with trailers", chunked + "2\r\nab\r\n0\r\nX-T: 1\r\nY: 2\r\n\r\n", kNext, false,
       Whole("POST", "/", "ab", 1)},
      {"chunk size in capitals", chunked + "A\r\n0123456789\r\n0\r\n\r\n", "", false,
       Whole("POST", "/", "0123456789", 1)},

      // Framing that two readers could take differently: refused after the head.
      {"two lengths", post + "Content-Length: 3\r\nContent-Length: 30\r\n\r\n", "abc" + kNext, false,
       Refused(400, "POST", "HTTP/1.1", 2)},
      {"two lengths in a list", post + "Content-Length: 3, 30\r\n\r\n", "abc", false,
       Refused(400, "POST", "HTTP/1.1", 1)},
      {"length and chunks", post + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n", "3\r\nabc\r\n0\r\n\r\n",
       false, Refused(400, "POST", "HTTP/1.1", 2)},
      {"other coding", post + "Transfer-Encoding: gzip\r\n\r\n", "", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"coding after chunked", post + "Transfer-Encoding: chunked, gzip\r\n\r\n", "", false,
       Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunked twice", post + "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n", "", false,
       Refused(400, "POST", "HTTP/1.1", 2)},
      {"empty coding", post + "Transfer-Encoding:\r\n\r\n", "", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunks in HTTP/1.0", "POST / HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n", "", false,
       Refused(400, "POST", "HTTP/1.0", 1)},
      {"blank before colon", post + "Content-Length : 3\r\n\r\n", "abc", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"tab before colon", post + "Transfer-Encoding\t: chunked\r\n\r\n", "", false,
       Refused(400, "POST", "HTTP/1.1", 1)},
      {"two hosts", get + "Host: a\r\nhost: a\r\n\r\n", kNext, false, Refused(400, "GET", "HTTP/1.1", 2)},
      {"carriage return inside a line", get + "X: a\rContent-Length: 3\r\n\r\n", "", false,
       Refused(400, "GET", "HTTP/1.1", 1)},
      {"nul inside a line", get + std::string("X: a\0b\r\n\r\n", 10), "", false, Refused(400, "GET", "HTTP/1.1", 1)},
      {"length over the limit", post + "Content-Length: 17\r\n\r\n", "", false, Refused(413, "POST", "HTTP/1.1", 1)},
      {"length beyond 32 bits", post + "Content-Length: 99999999999\r\n\r\n", "", false,
       Refused(413, "POST", "HTTP/1.1", 1)},

      // Versions and methods.
      {"no version", "GET /\r\n\r\n", kNext, false, no_version},
      {"version in lower case", "GET / http/1.1\r\n\r\n", "", false, Refused(400, "GET", "http/1.1", 0)},
      {"version without minor", "GET / HTTP/1\r\n\r\n", "", false, Refused(400, "GET", "HTTP/1", 0)},
      {"version with a sign", "GET / HTTP/1.+1\r\n\r\n", "", false, Refused(400, "GET", "HTTP/1.+1", 0)},
      {"major 2", "PRI / HTTP/2.0\r\n\r\n", "SM\r\n\r\n", false, Refused(505, "PRI", "HTTP/2.0", 0)},
      {"major 0", "GET / HTTP/0.9\r\n\r\n", "", false, Refused(505, "GET", "HTTP/0.9", 0)},
      {"method over its limit", "ABCDEFGHI / HTTP/1.1\r\n\r\n", "", false, Refused(501, "ABCDEFGHI", "HTTP/1.1", 0)},
      {"method with a bracket", "G{T / HTTP/1.1\r\n\r\n", "", false, Refused(400, "G{T", "HTTP/1.1", 0)},
      {"empty method", " / HTTP/1.1\r\n\r\n", "", false, Refused(400, "", "HTTP/1.1", 0)},

      // Chunks that do not follow the grammar.
      {"chunk size not hex", chunked + "zz\r\n", "", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunk size with a sign", chunked + "+3\r\n", "abc\r\n0\r\n\r\n", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunk size then junk", chunked + "3 x\r\n", "abc\r\n0\r\n\r\n", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunk line ends in a bare LF", chunked, "3\nabc\r\n0\r\n\r\n", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunk data too long", chunked + "3\r\nabc", "d\r\n0\r\n\r\n", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunks over the body limit", chunked + "10\r\n0123456789abcdef\r\n1\r\n", "", false,
       Refused(413, "POST", "HTTP/1.1", 1)},
      {"chunk size beyond any limit", chunked + "ffffffffffffffff\r\n", "", false, Refused(413, "POST", "HTTP/1.1", 1)},

      // Chunk framing, held to limits of its own.
      {"chunk line at its limit", chunked + "1;" + std::string(14, 'e') + "\r\nx\r\n0\r\n\r\n", kNext, false,
       Whole("POST", "/", "x", 1)},
      {"chunk line over its limit", chunked, "1;" + std::string(15, 'e') + "\r\nx\r\n0\r\n\r\n", false,
       Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunk size over the line limit", chunked, std::string(17, '0') + "1\r\nx\r\n0\r\n\r\n", false,
       Refused(400, "POST", "HTTP/1.1", 1)},
      {"chunk framing over its limit", chunked + "1\r\na\r\n1\r\nb\r\n1\r\nc\r\n1\r\nd\r\n1\r\ne\r\n1\r\nf\r\n1\r\n",
       "g\r\n0\r\n\r\n", false, Refused(413, "POST", "HTTP/1.1", 1)},
      {"trailers at their limit", trailers + "X-T: 12\r\nY: \r\n\r\n", kNext, false, Whole("POST", "/", "", 1)},
      {"trailers over their limit", trailers + "A: 1\r\nB: 2\r\n", "C: 3\r\n\r\n", false,
       Refused(431, "POST", "HTTP/1.1", 1)},
      {"a trailer line over the room left", trailers + "A: 1\r\n", "B: " + std::string(12, 'b') + "\r\n\r\n", false,
       Refused(431, "POST", "HTTP/1.1", 1)},

      // Lengths that are not a number of bytes.
      {"empty length", post + "Content-Length:\r\n\r\n", "abc" + kNext, false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"length not a number", post + "Content-Length: 3x\r\n\r\n", "abc" + kNext, false,
       Refused(400, "POST", "HTTP/1.1", 1)},
      {"length not a number on a GET", get + "Content-Length: abc\r\n\r\n", kNext, false,
       Refused(400, "GET", "HTTP/1.1", 1)},
      {"negative length", post + "Content-Length: -4\r\n\r\n", "", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"length with a sign", post + "Content-Length: +3\r\n\r\n", "abc", false, Refused(400, "POST", "HTTP/1.1", 1)},
      {"length list with an empty member", post + "Content-Length: 3,\r\n\r\n", "abc", false,
       Refused(400, "POST", "HTTP/1.1", 1)},

      // Malformed: the connection ends without an answer.
      {"no blank", "GARBAGE\r\n", "\r\n", false, Broken(Fault::NoBlank)},
      {"empty request line", "\r\n", "\r\n", false, Broken(Fault::NoBlank)},
      {"closed in the head", get + "Host: h\r\n", "", true, Broken(Fault::CutShort, "HTTP/1.1", 1)},
      {"closed in the request line", "", "GET / HT", true, Broken(Fault::CutShort)},
      {"closed in the body", post + "Content-Length: 5\r\n\r\nab", "", true, in_body},
      {"closed in a chunk", chunked + "5\r\nab", "", true, in_body},

      // Heads over their limits: answered, without the rest of the request.
      {"request line over the limit", "", "GET /" + std::string(60, 'a') + " HTTP/1.1\r\n\r\n", false,
       RefusedHead(414, false)},
      {"no line end at all", "", std::string(65, 'a'), false, RefusedHead(414, false)},
      {"header line over the limit", get, "X: " + std::string(62, 'x') + "\r\n\r\n", false, RefusedHead(431, true)},
      {"five header lines", get + "A: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\nE: 5\r\n", "\r\n", false,
       RefusedHead(431, true, 4)},
      {"head over the limit", get + "A: " + v57 + "\r\nB: " + v57 + "\r\nC: " + v57 + "\r\n", "D: " + v57 + "\r\n\r\n",
       false, RefusedHead(431, true, 3)},
  };
  for (Case& c : cases) c.expected.taken = c.taken.size();
  return cases;
}

// Limits reached exactly are still within them.
TEST(RequestParserTest, LimitsReachedExactlyAreAccepted) {
  const std::string line = "GET /" + std::string(64 - 15, 'a') + " HTTP/1.1\r";  // 64 bytes before LF
  ASSERT_EQ(line.size(), 64u);
  EXPECT_EQ(Feed(line + "\n\r\n", {}, false).status, Status::Complete);
  EXPECT_EQ(Feed("ABCDEFGH / HTTP/1.1\r\n\r\n", {}, false).refusal, 0);
  const Outcome body = Feed("POST / HTTP/1.1\r\nContent-Length: 16\r\n\r\n" + std::string(16, 'b'), {}, false);
  EXPECT_EQ(body.refusal, 0);
  EXPECT_EQ(body.body.size(), 16u);
  const Outcome chunks =
      Feed("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n" + std::string(16, 'c') + "\r\n0\r\n\r\n", {},
           false);
  EXPECT_EQ(chunks.status, Status::Complete);
  EXPECT_EQ(chunks.refusal, 0);
  EXPECT_EQ(Feed("GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n\r\n", {}, false).status, Status::Complete);
}

TEST(RequestParserTest, MessagesTable) {
  for (const Case& c : Cases()) EXPECT_EQ(Feed(c.taken + c.left, {}, c.closes), c.expected) << c.name;
}

// Whatever pieces the bytes come in, the outcome is the same.
TEST(RequestParserTest, MessagesSplitAtEveryOffset) {
  for (const Case& c : Cases()) {
    const std::string input = c.taken + c.left;
    for (size_t cut = 0; cut <= input.size(); ++cut)
      ASSERT_EQ(Feed(input, {cut}, c.closes), c.expected) << c.name << " split at " << cut;
    std::vector<size_t> bytes;
    for (size_t cut = 1; cut < input.size(); ++cut) bytes.push_back(cut);
    ASSERT_EQ(Feed(input, bytes, c.closes), c.expected) << c.name << " byte by byte";
  }
}

// A parser reset takes the next request from where the last one ended.
TEST(RequestParserTest, ResetParsesTheNextRequest) {
  RequestParser parser(SmallLimits());
  std::string input = "POST /a HTTP/1.1\r\nContent-Length: 2\r\n\r\nxy" + kNext;
  input.erase(0, parser.Parse(input, false));
  EXPECT_EQ(parser.Request().body, "xy");
  parser.Reset();
  input.erase(0, parser.Parse(input, false));
  EXPECT_EQ(parser.State(), Status::Complete);
  EXPECT_EQ(parser.Request().target, "/next");
  EXPECT_TRUE(input.empty());
}

// Bodies, and heads beyond their first 4 KiB, are charged to the memory all
// connections share: what does not fit is refused with 503, and what a
// request held goes back (memory and charge) when it is done with.
TEST(RequestParserTest, RequestsShareOneBoundedMemory) {
  const auto memory = std::make_shared<RequestMemory>(35000);
  RequestParser first, second;
  first.SetMemory(memory);
  second.SetMemory(memory);
  const auto post = [](size_t length, size_t sent) {
    return "POST / HTTP/1.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" + std::string(sent, 'b');
  };
  const std::string held = post(30000, 20000);
  EXPECT_EQ(first.Parse(held, false), held.size());
  EXPECT_EQ(first.State(), Status::Incomplete);
  EXPECT_GE(memory->Held(), 20000u);
  EXPECT_LE(memory->Held(), 30000u);

  // A body that does not fit beside it: refused, and nothing of it kept.
  const std::string late = post(20000, 20000);
  second.Parse(late, false);
  EXPECT_EQ(second.State(), Status::Complete);
  EXPECT_EQ(second.Refusal(), 503);
  EXPECT_LT(second.Request().body.capacity(), 100u);
  EXPECT_EQ(memory->Refusals(), 1u);
  second.Reset();

  // The first completes; its charge goes with its body and comes back with it.
  first.Parse(std::string(10000, 'b'), false);
  ASSERT_EQ(first.State(), Status::Complete);
  {
    const MemoryCharge charge = first.TakeBodyCharge();
    const std::string body = std::move(first.Request().body);
    EXPECT_EQ(body.size(), 30000u);
    EXPECT_EQ(charge.Bytes(), body.capacity());
    EXPECT_EQ(memory->Held(), charge.Bytes());
  }
  EXPECT_EQ(memory->Held(), 0u);

  // Now the late one fits; a reset frees its body at once.
  second.Parse(late, false);
  EXPECT_EQ(second.Refusal(), 0);
  EXPECT_EQ(second.Request().body.size(), 20000u);
  second.Reset();
  EXPECT_LT(second.Request().body.capacity(), 100u);
  EXPECT_EQ(memory->Held(), 0u);

  // A head over 4 KiB counts too: with no room left, 503 before the head is whole.
  memory->SetLimit(1000);
  const std::string head = "GET / HTTP/1.1\r\nX: " + std::string(6000, 'h') + "\r\n\r\n";
  EXPECT_EQ(Feed(second, head, {}, false).refusal, 503);
  second.Reset();
  EXPECT_EQ(memory->Held(), 0u);
  memory->SetLimit(10000);
  const Outcome fits = Feed(second, head, {}, false);
  EXPECT_EQ(fits.refusal, 0);
  EXPECT_EQ(fits.headers, 1u);
}

TEST(RequestParserTest, VersionsAndExpectations) {
  struct VersionCase {
    const char* text;
    bool valid;
    bool http11;
  } const versions[] = {{"HTTP/1.1", true, true},  {"HTTP/1.0", true, false},  {"HTTP/2.0", true, true},
                        {"HTTP/1.10", true, true}, {"HTTP/1", false, false},   {"http/1.1", false, false},
                        {"HTTP/1.-1", false, false}, {"HTTP/.1", false, false}, {"/", false, false}};
  for (const auto& v : versions) {
    EXPECT_EQ(ParseHttpVersion(v.text).has_value(), v.valid) << v.text;
    EXPECT_EQ(IsHttp11OrLater(v.text), v.http11) << v.text;
  }
  HeaderList headers;
  EXPECT_FALSE(ExpectationOf("HTTP/1.1", headers).has_value());
  headers.Add("Expect: 100-Continue");
  EXPECT_EQ(ExpectationOf("HTTP/1.1", headers), "100-Continue");
  EXPECT_FALSE(ExpectationOf("HTTP/1.0", headers).has_value());
  EXPECT_TRUE(MetByDefault("100-CONTINUE"));
  EXPECT_FALSE(MetByDefault("100-continue, x"));
}

}  // namespace
}  // namespace qv
