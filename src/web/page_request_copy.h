// A copy of what a page reads from an HTTP request, for a page call that may
// outlive the request thread: session values and the document path it writes
// are kept here and handed back only when the call ends in time.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "http/name_value_list.h"
#include "http/request_info.h"
#include "pages/page_request.h"

namespace qv {

class TIdHTTPSession;

class TPageRequestCopy final : public TPageRequest {
 public:
  explicit TPageRequestCopy(const TIdHTTPRequestInfo& request);

  std::string Param(std::string_view name) const override { return params_.Values(name); }
  std::string Document() const override { return document_; }
  void SetDocument(std::string document) override { document_ = std::move(document); }
  std::string SessionValue(std::string_view name) const override;
  void SetSessionValue(std::string_view name, std::string value) override;

  std::string Command() const override { return command_; }
  std::string ContentType() const override { return contentType_; }
  std::string Connection() const override { return connection_; }
  std::string From() const override { return from_; }
  std::string Host() const override { return host_; }
  std::string QueryParams() const override { return queryParams_; }
  std::string Version() const override { return version_; }

  // Writes the document path and the session values set by the call back to
  // the request and its session.
  void ApplyTo(TIdHTTPRequestInfo& request) const;

 private:
  TNameValueList params_;
  std::string document_;
  std::shared_ptr<TIdHTTPSession> session_;
  std::map<std::string, std::string, std::less<>> written_;  // session values set
  std::string command_, contentType_, connection_, from_, host_, queryParams_, version_;
};

}  // namespace qv
