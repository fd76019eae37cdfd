#include "web/page_request_copy.h"

#include "http/session.h"

namespace qv {

TPageRequestCopy::TPageRequestCopy(const TIdHTTPRequestInfo& request)
    : params_(request.Params),
      document_(request.Document),
      session_(request.Session),
      command_(request.Command),
      contentType_(request.ContentType),
      connection_(request.Connection),
      from_(request.From),
      host_(request.Host),
      queryParams_(request.QueryParams),
      version_(request.Version) {}

std::string TPageRequestCopy::SessionValue(std::string_view name) const {
  if (!session_) return {};
  if (auto it = written_.find(name); it != written_.end()) return it->second;
  return session_->ContentValue(name);
}

void TPageRequestCopy::SetSessionValue(std::string_view name, std::string value) {
  if (!session_) return;
  written_.insert_or_assign(std::string(name), std::move(value));
}

void TPageRequestCopy::ApplyTo(TIdHTTPRequestInfo& request) const {
  request.Document = document_;
  if (!request.Session) return;
  for (const auto& [name, value] : written_) request.Session->SetContentValue(name, value);
}

}  // namespace qv
