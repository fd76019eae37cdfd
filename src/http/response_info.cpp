#include "http/response_info.h"

#include "http/exceptions.h"
#include "http/io_handler.h"
#include "http/status_codes.h"

namespace qv {

namespace {
constexpr size_t kStreamChunk = 65536;
}  // namespace

Response::Response(BufferedIo* io) : io_(io) {
  SetResponseNo(200);
  SetCloseConnection(true);
}

Response::~Response() = default;

void Response::SetResponseNo(int code) {
  response_no = code;
  response_text = ReasonPhrase(code);
  if (code == 404) SetCloseConnection(true);
}

void Response::SetCloseConnection(bool close) {
  close_connection_ = close;
  connection = close ? "close" : "keep-alive";
}

void Response::BuildRawHeaders() {
  if (content_length == -1) {
    if (!content_text.empty())
      content_length = static_cast<int64_t>(content_text.size());
    else if (content_stream)
      content_length = content_stream->Size();
  }
  // Without a length only the close tells the client where the answer ends
  // (an answer to a method no handler takes, an empty one): it closes.
  if (content_length < 0) SetCloseConnection(true);
  raw_headers.Clear();
  auto text = [this](const char* name, const std::string& value) {
    if (!value.empty()) raw_headers.SetValue(name, value);
  };
  auto date_header = [this](const char* name, DateTime value) {
    if (value != 0) raw_headers.SetValue(name, FormatHttpDate(value));
  };
  text("Connection", connection);
  text("Content-Version", content_version);
  text("Content-Disposition", content_disposition);
  text("Content-Encoding", content_encoding);
  text("Content-Language", content_language);
  text("Content-Type", content_type);
  if (content_length >= 0) raw_headers.SetValue("Content-Length", std::to_string(content_length));
  text("Cache-control", cache_control);
  date_header("Date", date);
  date_header("Expires", expires);
  text("Pragma", pragma);
  raw_headers.AddStrings(custom_headers);
  if (content_range_end != 0 || content_range_instance_length != 0) {
    std::string range = "bytes ";
    if (content_range_start == 0 && content_range_end == 0)
      range += "*";
    else
      range += std::to_string(content_range_start) + "-" + std::to_string(content_range_end);
    range += "/" + (content_range_instance_length != 0 ? std::to_string(content_range_instance_length)
                                                    : std::string("*"));
    raw_headers.SetValue("Content-Range", range);
  }
  text("Accept-Ranges", accept_ranges);
  text("Server", server);
  text("Location", location);
  date_header("Last-Modified", last_modified);
}

std::string Response::HeaderText() {
  BuildRawHeaders();
  std::string out;
  out.reserve(256);
  out.append("HTTP/1.1 ").append(std::to_string(response_no)).append(" ").append(response_text);
  out.append("\r\n");
  for (const std::string& line : raw_headers) out.append(line).append("\r\n");
  for (const Cookie& cookie : cookies)
    out.append("Set-Cookie: ").append(cookie.CookieText()).append("\r\n");
  out.append("\r\n");
  return out;
}

void Response::WriteHeader() {
  if (header_written_) throw HeaderAlreadyWritten();
  header_written_ = true;
  std::string header = HeaderText();
  if (io_) io_->Write(header);
}

void Response::WriteContent() {
  if (!header_written_) {
    header_written_ = true;
    pending_header_ = HeaderText();
  }
  std::string header = std::move(pending_header_);
  pending_header_.clear();
  SendBody(header);
  content_text.clear();
  content_stream.reset();
}

void Response::Finish() {
  if (!header_written_) {
    header_written_ = true;
    pending_header_ = HeaderText();
  }
  if (!content_text.empty() || content_stream) {
    WriteContent();
  } else if (!pending_header_.empty()) {
    std::string header = std::move(pending_header_);
    pending_header_.clear();
    if (io_) io_->Write(header);
  }
  content_stream.reset();
}

void Response::SendBody(std::string_view header) {
  if (!io_) return;
  if (head_only_) {
    if (!header.empty()) io_->Write(header);
    return;
  }
  if (!content_text.empty()) {
    const std::string_view parts[2] = {header, content_text};
    io_->Write(parts, 2);
    body_bytes_sent_ += static_cast<int64_t>(content_text.size());
    return;
  }
  if (content_stream) {
    const int file = content_stream->FileHandle();
    // The body is the length the header announced.
    if (file >= 0 && io_->Transport().SendFile(header, file, 0, content_stream->Size())) {
      body_bytes_sent_ += content_stream->Size();
      return;
    }
    thread_local std::string chunk;
    chunk.resize(kStreamChunk);
    content_stream->SetPosition(0);
    for (;;) {
      const size_t n = content_stream->Read(chunk.data(), chunk.size());
      if (n == 0) break;
      const std::string_view parts[2] = {header, std::string_view(chunk.data(), n)};
      io_->Write(parts, 2);
      body_bytes_sent_ += static_cast<int64_t>(n);
      header = {};
    }
    if (!header.empty()) io_->Write(header);
    return;
  }
  const std::string page = "<HTML><BODY><B>" + std::to_string(response_no) + " " + response_text +
                           "</B></BODY></HTML>\r\n";
  const std::string_view parts[2] = {header, page};
  io_->Write(parts, 2);
  body_bytes_sent_ += static_cast<int64_t>(page.size());
}

}  // namespace qv
