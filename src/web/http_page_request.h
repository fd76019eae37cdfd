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
class THttpPageRequest final : public TPageRequest {
 public:
  explicit THttpPageRequest(TIdHTTPRequestInfo& request) : request_(request) {}

  std::string Param(std::string_view name) const override { return request_.Params.Values(name); }
  std::string Document() const override { return request_.Document; }
  std::string SessionValue(std::string_view name) const override;
  void SetSessionValue(std::string_view name, std::string value) override;

  std::string Command() const override { return request_.Command; }
  std::string ContentType() const override { return request_.ContentType; }
  std::string Connection() const override { return request_.Connection; }
  std::string From() const override { return request_.From; }
  std::string Host() const override { return request_.Host; }
  std::string QueryParams() const override { return request_.QueryParams; }
  std::string Version() const override { return request_.Version; }

  bool HasSession() const { return request_.Session != nullptr; }

 private:
  TIdHTTPRequestInfo& request_;
};

}  // namespace qv
