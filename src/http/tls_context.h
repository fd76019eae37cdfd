// The server's TLS settings in force: certificate chain and private key from
// PEM files, TLS 1.2 and 1.3 only. Loading again (on a reload) replaces them
// for connections accepted afterwards; connections already open keep theirs.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/exception.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace qv {

// A certificate or key that cannot be used; the message names the file.
class TlsSetupError : public Exception {
 public:
  explicit TlsSetupError(const std::string& message) : Exception(message, FailureKind::BadSetting) {}
};

class TlsContext {
 public:
  // Loads both files now; raises TlsSetupError.
  TlsContext(std::string certificate_file, std::string key_file);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  const std::string& CertificateFile() const { return certificate_file_; }
  const std::string& KeyFile() const { return key_file_; }

  // Reads the files again; on failure raises and keeps the ones in force.
  void Reload();
  // The settings for a new connection (shared with it).
  std::shared_ptr<SSL_CTX> Current() const;

 private:
  static std::shared_ptr<SSL_CTX> Load(const std::string& certificate_file,
                                       const std::string& key_file);

  const std::string certificate_file_;
  const std::string key_file_;
  mutable std::mutex lock_;
  std::shared_ptr<SSL_CTX> current_;
};

}  // namespace qv
