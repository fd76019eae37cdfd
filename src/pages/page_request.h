// What a page reads from one HTTP request (its parameters, document path,
// session values and a few header fields) and the session values the log-on
// check writes.
// The router adapts the engine's request record to it; tests fill a simple one.
#pragma once

#include <map>
#include <vector>
#include <string>
#include <string_view>

namespace qv {

class PageRequest {
 public:
  virtual ~PageRequest() = default;

  // The first parameter of that name, letter case ignored; empty when absent.
  virtual std::string Param(std::string_view name) const = 0;
  // The decoded document path, case as sent.
  virtual std::string Document() const = 0;
  // A value of the visitor's session; empty when absent or without a session.
  virtual std::string SessionValue(std::string_view name) const = 0;
  virtual void SetSessionValue(std::string_view name, std::string value) = 0;
  // What tells this visitor from others while the session lasts (the
  // session's id); empty without a session.
  virtual std::string VisitorKey() const = 0;

  // Fields the request-information page shows.
  virtual std::string Command() const = 0;
  virtual std::string ContentType() const = 0;
  virtual std::string Connection() const = 0;
  virtual std::string From() const = 0;
  virtual std::string Host() const = 0;
  virtual std::string QueryParams() const = 0;
  virtual std::string Version() const = 0;
};

// A plain request for tests and tools: parameters in order, one session.
class SimplePageRequest : public PageRequest {
 public:
  std::string Param(std::string_view name) const override;
  std::string Document() const override { return document; }
  std::string SessionValue(std::string_view name) const override;
  void SetSessionValue(std::string_view name, std::string value) override;
  std::string VisitorKey() const override { return has_session ? visitor : std::string(); }
  std::string Command() const override { return command; }
  std::string ContentType() const override { return content_type; }
  std::string Connection() const override { return connection; }
  std::string From() const override { return from; }
  std::string Host() const override { return host; }
  std::string QueryParams() const override { return query_params; }
  std::string Version() const override { return version; }

  // Adds a parameter at the end (a repeated name keeps the first value found).
  SimplePageRequest& Add(std::string name, std::string value);

  std::string document = "/";
  std::string command = "GET";
  std::string content_type, connection, from, host, query_params, version = "HTTP/1.1";
  bool has_session = true;
  std::string visitor;  // the session's id; empty: none
  std::map<std::string, std::string> session;  // names as given

 private:
  struct Item {
    std::string name, value;
  };
  std::vector<Item> params_;
};

}  // namespace qv
