#include "web/http_page_request.h"

#include "sessions/session.h"

namespace qv {

std::string HttpPageRequest::SessionValue(std::string_view name) const {
  if (!request_.session) return {};
  return request_.session->ContentValue(name);
}

void HttpPageRequest::SetSessionValue(std::string_view name, std::string value) {
  if (!request_.session) return;
  request_.session->SetContentValue(name, value);
}

std::string HttpPageRequest::VisitorKey() const {
  if (!request_.session) return {};
  return request_.session->SessionID();
}

}  // namespace qv
