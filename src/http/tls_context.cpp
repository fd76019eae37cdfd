#include "http/tls_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "http/tls_objects.h"

namespace qv {

namespace {

// The oldest OpenSSL error queued, as text, and the queue emptied.
std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

}  // namespace

TlsContext::TlsContext(std::string certificate_file, std::string key_file)
    : certificate_file_(std::move(certificate_file)),
      key_file_(std::move(key_file)),
      current_(Load(certificate_file_, key_file_)) {}

TlsContext::~TlsContext() = default;

std::shared_ptr<SSL_CTX> TlsContext::Load(const std::string& certificate_file,
                                           const std::string& key_file) {
  ERR_clear_error();
  std::shared_ptr<SSL_CTX> context = NewServerTlsSettings();
  if (!context) throw TlsSetupError("TLS: cannot create a context: " + OpenSslError());
  SSL_CTX* ctx = context.get();
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION);
  SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
  SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
  if (certificate_file.empty()) throw TlsSetupError("TLS: no certificate file given");
  if (SSL_CTX_use_certificate_chain_file(ctx, certificate_file.c_str()) != 1)
    throw TlsSetupError("TLS certificate " + certificate_file + ": " + OpenSslError());
  if (key_file.empty()) throw TlsSetupError("TLS: no key file given");
  if (SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1)
    throw TlsSetupError("TLS key " + key_file + ": " + OpenSslError());
  if (SSL_CTX_check_private_key(ctx) != 1)
    throw TlsSetupError("TLS key " + key_file + " does not match the certificate " +
                         certificate_file + ": " + OpenSslError());
  return context;
}

void TlsContext::Reload() {
  std::shared_ptr<SSL_CTX> fresh = Load(certificate_file_, key_file_);
  std::lock_guard<std::mutex> guard(lock_);
  current_ = std::move(fresh);
}

std::shared_ptr<SSL_CTX> TlsContext::Current() const {
  std::lock_guard<std::mutex> guard(lock_);
  return current_;
}

}  // namespace qv
