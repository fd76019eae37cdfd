// Owners of the TLS library's objects: the state of one connection, its
// memory buffers, and the settings that connections share. Each kind is
// freed here and nowhere else.
#pragma once

#include <memory>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct bio_st BIO;

namespace qv {

struct TlsFree {
  void operator()(SSL* ssl) const noexcept;
  void operator()(BIO* bio) const noexcept;
};

// One connection's TLS state; it owns the buffers given to it.
using UniqueSsl = std::unique_ptr<SSL, TlsFree>;
// A buffer of bytes not yet handed to a connection.
using UniqueBio = std::unique_ptr<BIO, TlsFree>;

// New settings for the server side of connections, shared by every
// connection made with them and freed with the last; null when the library
// cannot make them.
std::shared_ptr<SSL_CTX> NewServerTlsSettings();

}  // namespace qv
