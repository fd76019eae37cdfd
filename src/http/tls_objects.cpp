#include "http/tls_objects.h"

#include <openssl/ssl.h>

namespace qv {

void TlsFree::operator()(SSL* ssl) const noexcept { SSL_free(ssl); }

void TlsFree::operator()(BIO* bio) const noexcept { BIO_free(bio); }

std::shared_ptr<SSL_CTX> NewServerTlsSettings() {
  SSL_CTX* settings = SSL_CTX_new(TLS_server_method());
  if (!settings) return nullptr;
  return std::shared_ptr<SSL_CTX>(settings, [](SSL_CTX* shared) { SSL_CTX_free(shared); });
}

}  // namespace qv
