// The pages' view of one HTTP request: parameters, document path, session
// values and header fields read from the engine's request record (session
// values also written to it).
#pragma once

#include <string>
#include <string_view>

#include "http/request_info.h"
#include "pages/page_request.h"

namespace qv {

// Without a session (sessions switched off) session values read as empty and
// writes to them are dropped.
class HttpPageRequest final : public PageRequest {
 public:
  explicit HttpPageRequest(Request& request) : request_(request) {}

  std::string Param(std::string_view name) const override { return request_.params.Values(name); }
  std::string Document() const override { return request_.document; }
  std::string SessionValue(std::string_view name) const override;
  void SetSessionValue(std::string_view name, std::string value) override;
  std::string VisitorKey() const override;

  std::string Command() const override { return request_.command; }
  std::string ContentType() const override { return request_.content_type; }
  std::string Connection() const override { return request_.connection; }
  std::string From() const override { return request_.from; }
  std::string Host() const override { return request_.host; }
  std::string QueryParams() const override { return request_.query_params; }
  std::string Version() const override { return request_.version; }

  bool HasSession() const { return request_.session != nullptr; }

 private:
  Request& request_;
};

}  // namespace qv
