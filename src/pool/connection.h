// The counted interface of a pooled connection module, through which the router
// reaches the pages and the pool manages modules, and the reference that holds one.
#pragma once

#include <cstdint>
#include <utility>

#include "db/connection.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"
#include "platform/datetime.h"

namespace qv {

// A component interface identifier, as taken by QueryInterface.
struct TGuid {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  uint8_t D4[8] = {};
};

// QueryInterface's answer for an identifier the object does not implement.
inline constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);

// The operations keep this order. Destruction happens only through _Release.
class IConnection {
 public:
  virtual int32_t QueryInterface(const TGuid& IID, void** Obj) = 0;
  // Adds one reference; returns the new count.
  virtual int32_t _AddRef() = 0;
  // Drops one reference: back to the pool at 1, destroyed at 0. Returns the new count.
  virtual int32_t _Release() = 0;
  virtual TIB_Connection& DatabaseConnection() = 0;
  // 1: free in the pool's slot; 2 or more: lent out.
  virtual int32_t ReferenceCount() = 0;
  // When a release last left the module with references; 0 before the first.
  virtual TDateTime LastReleaseTime() = 0;

  // The page operations, each taking the output stream and the request.
#define QV_PAGE_OPERATION(name, keyword, rank) \
  virtual void name(TStringStream& out, TPageRequest& request) = 0;
#include "pages/page_operations.inc"
#undef QV_PAGE_OPERATION

 protected:
  virtual ~IConnection() = default;
};

// A counted reference to an IConnection: taking one calls _AddRef, dropping or
// overwriting it calls _Release, so going out of scope gives a lent module back.
class TConnectionRef {
 public:
  TConnectionRef() = default;
  explicit TConnectionRef(IConnection* connection) : connection_(connection) {
    if (connection_) connection_->_AddRef();
  }
  TConnectionRef(const TConnectionRef& other) : TConnectionRef(other.connection_) {}
  TConnectionRef(TConnectionRef&& other) noexcept
      : connection_(std::exchange(other.connection_, nullptr)) {}
  // The new reference is taken before the old one is dropped.
  TConnectionRef& operator=(TConnectionRef other) noexcept {
    std::swap(connection_, other.connection_);
    return *this;
  }
  ~TConnectionRef() { Reset(); }

  // Drops the reference held, if any, and leaves this one empty.
  void Reset() {
    if (IConnection* held = std::exchange(connection_, nullptr)) held->_Release();
  }

  IConnection* Get() const { return connection_; }
  IConnection* operator->() const { return connection_; }
  IConnection& operator*() const { return *connection_; }
  explicit operator bool() const { return connection_ != nullptr; }

 private:
  IConnection* connection_ = nullptr;
};

}  // namespace qv
