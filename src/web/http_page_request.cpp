#include "web/http_page_request.h"

#include "http/session.h"

namespace qv {

std::string THttpPageRequest::SessionValue(std::string_view name) const {
  if (!request_.Session) return {};
  return request_.Session->ContentValue(name);
}

void THttpPageRequest::SetSessionValue(std::string_view name, std::string value) {
  if (!request_.Session) return;
  request_.Session->SetContentValue(name, value);
}

}  // namespace qv
