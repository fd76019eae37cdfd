#include "http/response_writer.h"

#include <string_view>

#include "http/io_handler.h"

namespace qv {

namespace {

constexpr size_t kStreamChunk = 65536;

// The header lines of the response, in their fixed order, into raw_headers.
void BuildRawHeaders(Response& r) {
  if (r.content_length == -1) {
    if (!r.content_text.empty())
      r.content_length = static_cast<int64_t>(r.content_text.size());
    else if (r.content_stream)
      r.content_length = r.content_stream->Size();
  }
  // Without a length only the close tells the client where the answer ends
  // (an answer to a method no handler takes, an empty one): it closes.
  if (r.content_length < 0) r.SetCloseConnection(true);
  HeaderList& lines = r.raw_headers;
  lines.Clear();
  auto text = [&lines](const char* name, const std::string& value) {
    if (!value.empty()) lines.SetValue(name, value);
  };
  auto date_header = [&lines](const char* name, DateTime value) {
    if (value != 0) lines.SetValue(name, FormatHttpDate(value));
  };
  text("Connection", r.connection);
  text("Content-Version", r.content_version);
  text("Content-Disposition", r.content_disposition);
  text("Content-Encoding", r.content_encoding);
  text("Content-Language", r.content_language);
  text("Content-Type", r.content_type);
  if (r.content_length >= 0) lines.SetValue("Content-Length", std::to_string(r.content_length));
  text("Cache-control", r.cache_control);
  date_header("Date", r.date);
  date_header("Expires", r.expires);
  text("Pragma", r.pragma);
  lines.AddStrings(r.custom_headers);
  if (r.content_range_end != 0 || r.content_range_instance_length != 0) {
    std::string range = "bytes ";
    if (r.content_range_start == 0 && r.content_range_end == 0)
      range += "*";
    else
      range += std::to_string(r.content_range_start) + "-" + std::to_string(r.content_range_end);
    range += "/" + (r.content_range_instance_length != 0 ? std::to_string(r.content_range_instance_length)
                                                         : std::string("*"));
    lines.SetValue("Content-Range", range);
  }
  text("Accept-Ranges", r.accept_ranges);
  text("Server", r.server);
  text("Location", r.location);
  date_header("Last-Modified", r.last_modified);
}

// The stream body after the head, in chunks; the body bytes written.
int64_t SendStream(BufferedIo& io, ContentStream& stream, std::string_view head) {
  const int file = stream.FileHandle();
  // The body is the length the head announced.
  if (file >= 0 && io.Transport().SendFile(head, file, 0, stream.Size())) return stream.Size();
  int64_t sent = 0;
  thread_local std::string chunk;
  chunk.resize(kStreamChunk);
  stream.SetPosition(0);
  // A stream of no known size is made as it is read (rows from a cursor):
  // each chunk waits until the client has taken the one before, so a slow
  // client slows the stream instead of having it held here in memory.
  const bool made_as_read = stream.Size() < 0;
  for (;;) {
    const size_t n = stream.Read(chunk.data(), chunk.size());
    if (n == 0) break;
    const std::string_view parts[2] = {head, std::string_view(chunk.data(), n)};
    io.Write(parts, 2);
    if (made_as_read) io.Transport().FlushHeld();
    sent += static_cast<int64_t>(n);
    head = {};
  }
  if (!head.empty()) io.Write(head);
  return sent;
}

}  // namespace

std::string ResponseHead(Response& response) {
  BuildRawHeaders(response);
  std::string out;
  out.reserve(256);
  out.append("HTTP/1.1 ").append(std::to_string(response.response_no)).append(" ").append(response.response_text);
  out.append("\r\n");
  for (const std::string& line : response.raw_headers) out.append(line).append("\r\n");
  for (const Cookie& cookie : response.cookies)
    out.append("Set-Cookie: ").append(cookie.CookieText()).append("\r\n");
  out.append("\r\n");
  return out;
}

int64_t WriteResponse(BufferedIo& io, Response& response, bool head_only) {
  const std::string head = ResponseHead(response);
  int64_t sent = 0;
  if (head_only) {
    io.Write(head);
  } else if (!response.content_text.empty()) {
    const std::string_view parts[2] = {head, response.content_text};
    io.Write(parts, 2);
    sent = static_cast<int64_t>(response.content_text.size());
  } else if (response.content_stream) {
    sent = SendStream(io, *response.content_stream, head);
  } else {
    io.Write(head);
  }
  response.content_stream.reset();
  return sent;
}

}  // namespace qv
