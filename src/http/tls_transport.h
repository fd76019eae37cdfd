// TLS over another transport: the handshake, decryption and encryption run
// in memory, and only ciphertext passes through the transport beneath, so
// the same waits, time-outs and hold-back rules apply as for plain
// connections. A handshake that has not finished reads as "nothing yet";
// one whose peer has already gone reads as closed, without the key exchange.
#pragma once

#include <memory>
#include <string>

#include "http/tls_objects.h"
#include "http/transport.h"


namespace qv {

class TlsTransport final : public Transport {
 public:
  TlsTransport(std::unique_ptr<Transport> inner, std::shared_ptr<SSL_CTX> context);
  ~TlsTransport() override;
  TlsTransport(const TlsTransport&) = delete;
  TlsTransport& operator=(const TlsTransport&) = delete;

  size_t Receive(char* buffer, size_t count) override;
  ptrdiff_t TryReceive(char* buffer, size_t count) override;
  void Send(const std::string_view* parts, size_t count) override;
  bool InputPending() override;
  void Close(bool lingering) override;
  void Abort() override;
  // Ciphertext held back by the transport beneath.
  bool OutputPending() override { return inner_->OutputPending(); }
  bool FlushAvailable() override { return inner_->FlushAvailable(); }
  void FlushHeld() override { inner_->FlushHeld(); }
  void ShutdownSend() override { inner_->ShutdownSend(); }

  bool HandshakeDone() const;

 private:
  // One step of reading plaintext: > 0 bytes read; 0 the peer closed; -1
  // more ciphertext is needed.
  long ReadPlain(char* buffer, size_t count);
  // Hands what OpenSSL has written to the transport beneath.
  void FlushCipher();
  // Takes ciphertext the transport beneath gives; false when it closed.
  bool FeedCipher();
  // Takes the ciphertext that has arrived, without waiting, up to
  // kHandshakeStepBytes; false when the peer has closed.
  bool TakeArrived();

  // Most ciphertext taken in at once while the handshake runs.
  static constexpr size_t kHandshakeStepBytes = 65536;

  std::unique_ptr<Transport> inner_;
  std::shared_ptr<SSL_CTX> context_;  // kept alive while the connection uses it
  UniqueSsl ssl_;
  BIO* in_ = nullptr;   // ciphertext received, owned by ssl_
  BIO* out_ = nullptr;  // ciphertext to send, owned by ssl_
  bool closed_ = false;
};

}  // namespace qv
