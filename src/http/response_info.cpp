#include "http/response_info.h"

#include "http/exceptions.h"
#include "http/io_handler.h"
#include "http/status_codes.h"

namespace qv {

namespace {
constexpr size_t kStreamChunk = 65536;
}  // namespace

TIdHTTPResponseInfo::TIdHTTPResponseInfo(TIdIOHandler* io) : io_(io) {
  SetResponseNo(200);
  SetCloseConnection(true);
}

TIdHTTPResponseInfo::~TIdHTTPResponseInfo() = default;

void TIdHTTPResponseInfo::SetResponseNo(int code) {
  ResponseNo = code;
  ResponseText = ReasonPhrase(code);
  if (code == 404) SetCloseConnection(true);
}

void TIdHTTPResponseInfo::SetCloseConnection(bool close) {
  close_connection_ = close;
  Connection = close ? "close" : "keep-alive";
}

void TIdHTTPResponseInfo::BuildRawHeaders() {
  if (ContentLength == -1) {
    if (!ContentText.empty())
      ContentLength = static_cast<int64_t>(ContentText.size());
    else if (ContentStream)
      ContentLength = ContentStream->Size();
  }
  // Without a length only the close tells the client where the answer ends
  // (an answer to a method no handler takes, an empty one): it closes.
  if (ContentLength < 0) SetCloseConnection(true);
  RawHeaders.Clear();
  auto text = [this](const char* name, const std::string& value) {
    if (!value.empty()) RawHeaders.SetValue(name, value);
  };
  auto date = [this](const char* name, TDateTime value) {
    if (value != 0) RawHeaders.SetValue(name, FormatHttpDate(value));
  };
  text("Connection", Connection);
  text("Content-Version", ContentVersion);
  text("Content-Disposition", ContentDisposition);
  text("Content-Encoding", ContentEncoding);
  text("Content-Language", ContentLanguage);
  text("Content-Type", ContentType);
  if (ContentLength >= 0) RawHeaders.SetValue("Content-Length", std::to_string(ContentLength));
  text("Cache-control", CacheControl);
  date("Date", Date);
  date("Expires", Expires);
  text("Pragma", Pragma);
  RawHeaders.AddStrings(CustomHeaders);
  if (ContentRangeEnd != 0 || ContentRangeInstanceLength != 0) {
    std::string range = "bytes ";
    if (ContentRangeStart == 0 && ContentRangeEnd == 0)
      range += "*";
    else
      range += std::to_string(ContentRangeStart) + "-" + std::to_string(ContentRangeEnd);
    range += "/" + (ContentRangeInstanceLength != 0 ? std::to_string(ContentRangeInstanceLength)
                                                    : std::string("*"));
    RawHeaders.SetValue("Content-Range", range);
  }
  text("Accept-Ranges", AcceptRanges);
  text("Server", Server);
  text("Location", Location);
  date("Last-Modified", LastModified);
}

std::string TIdHTTPResponseInfo::HeaderText() {
  BuildRawHeaders();
  std::string out;
  out.reserve(256);
  out.append("HTTP/1.1 ").append(std::to_string(ResponseNo)).append(" ").append(ResponseText);
  out.append("\r\n");
  for (const std::string& line : RawHeaders) out.append(line).append("\r\n");
  for (const TIdCookieRFC2109& cookie : Cookies)
    out.append("Set-Cookie: ").append(cookie.CookieText()).append("\r\n");
  out.append("\r\n");
  return out;
}

void TIdHTTPResponseInfo::WriteHeader() {
  if (header_written_) throw EIdHTTPHeaderAlreadyWritten();
  header_written_ = true;
  std::string header = HeaderText();
  if (io_) io_->Write(header);
}

void TIdHTTPResponseInfo::WriteContent() {
  if (!header_written_) {
    header_written_ = true;
    pending_header_ = HeaderText();
  }
  std::string header = std::move(pending_header_);
  pending_header_.clear();
  SendBody(header);
  ContentText.clear();
  ContentStream.reset();
}

void TIdHTTPResponseInfo::Finish() {
  if (!header_written_) {
    header_written_ = true;
    pending_header_ = HeaderText();
  }
  if (!ContentText.empty() || ContentStream) {
    WriteContent();
  } else if (!pending_header_.empty()) {
    std::string header = std::move(pending_header_);
    pending_header_.clear();
    if (io_) io_->Write(header);
  }
  ContentStream.reset();
}

void TIdHTTPResponseInfo::SendBody(std::string_view header) {
  if (!io_) return;
  if (head_only_) {
    if (!header.empty()) io_->Write(header);
    return;
  }
  if (!ContentText.empty()) {
    const std::string_view parts[2] = {header, ContentText};
    io_->Write(parts, 2);
    body_bytes_sent_ += static_cast<int64_t>(ContentText.size());
    return;
  }
  if (ContentStream) {
    const int file = ContentStream->FileHandle();
    // The body is the length the header announced.
    if (file >= 0 && io_->Transport().SendFile(header, file, 0, ContentStream->Size())) {
      body_bytes_sent_ += ContentStream->Size();
      return;
    }
    thread_local std::string chunk;
    chunk.resize(kStreamChunk);
    ContentStream->SetPosition(0);
    for (;;) {
      const size_t n = ContentStream->Read(chunk.data(), chunk.size());
      if (n == 0) break;
      const std::string_view parts[2] = {header, std::string_view(chunk.data(), n)};
      io_->Write(parts, 2);
      body_bytes_sent_ += static_cast<int64_t>(n);
      header = {};
    }
    if (!header.empty()) io_->Write(header);
    return;
  }
  const std::string page = "<HTML><BODY><B>" + std::to_string(ResponseNo) + " " + ResponseText +
                           "</B></BODY></HTML>\r\n";
  const std::string_view parts[2] = {header, page};
  io_->Write(parts, 2);
  body_bytes_sent_ += static_cast<int64_t>(page.size());
}

}  // namespace qv
