#include "pages/page_request.h"

#include "pages/page_text.h"

namespace qv {

std::string SimplePageRequest::Param(std::string_view name) const {
  for (const Item& item : params_) {
    if (SameTextAscii(item.name, name)) return item.value;
  }
  return {};
}

std::string SimplePageRequest::SessionValue(std::string_view name) const {
  if (!has_session) return {};
  for (const auto& [key, value] : session) {
    if (SameTextAscii(key, name)) return value;
  }
  return {};
}

void SimplePageRequest::SetSessionValue(std::string_view name, std::string value) {
  if (!has_session) return;
  for (auto& [key, v] : session) {
    if (SameTextAscii(key, name)) {
      v = std::move(value);
      return;
    }
  }
  session.emplace(std::string(name), std::move(value));
}

SimplePageRequest& SimplePageRequest::Add(std::string name, std::string value) {
  params_.push_back({std::move(name), std::move(value)});
  return *this;
}

}  // namespace qv
