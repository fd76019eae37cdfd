#include "http/tls_transport.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>

#include "http/exceptions.h"

namespace qv {

namespace {

std::string TlsFailure(const char* what) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  std::string text = std::string("TLS ") + what + " failed";
  if (code != 0) {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    text += ": ";
    text += reason;
  }
  return text;
}

}  // namespace

TlsTransport::TlsTransport(std::unique_ptr<Transport> inner, std::shared_ptr<SSL_CTX> context)
    : inner_(std::move(inner)), context_(std::move(context)), ssl_(SSL_new(context_.get())) {
  UniqueBio in(BIO_new(BIO_s_mem()));
  UniqueBio out(BIO_new(BIO_s_mem()));
  if (!ssl_ || !in || !out) throw SocketError(0, TlsFailure("set-up"));
  BIO_set_mem_eof_return(in.get(), -1);  // an empty input buffer means "more to come"
  in_ = in.get();
  out_ = out.get();
  SSL_set_bio(ssl_.get(), in.release(), out.release());
  SSL_set_accept_state(ssl_.get());
}

TlsTransport::~TlsTransport() {
  try {
    Close(false);
  } catch (...) {
  }
}

bool TlsTransport::HandshakeDone() const { return SSL_is_init_finished(ssl_.get()) == 1; }

void TlsTransport::FlushCipher() {
  char* data = nullptr;
  const long pending = BIO_get_mem_data(out_, &data);
  if (pending <= 0) return;
  const std::string_view part(data, static_cast<size_t>(pending));
  inner_->Send(&part, 1);
  (void)BIO_reset(out_);
}

bool TlsTransport::FeedCipher() {
  char chunk[16384];
  const size_t n = inner_->Receive(chunk, sizeof chunk);
  if (n == 0) return false;
  BIO_write(in_, chunk, static_cast<int>(n));
  return true;
}

long TlsTransport::ReadPlain(char* buffer, size_t count) {
  const int n = SSL_read(ssl_.get(), buffer, static_cast<int>(std::min<size_t>(count, INT_MAX)));
  if (n > 0) {
    FlushCipher();  // a TLS 1.3 session ticket may go out with the first read
    return n;
  }
  const int error = SSL_get_error(ssl_.get(), n);
  FlushCipher();  // handshake messages
  switch (error) {
    case SSL_ERROR_WANT_READ:
      return -1;
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    default:
      // A client that does not speak TLS, or not a version we accept: the
      // connection just ends.
      throw SocketError(0, TlsFailure("handshake or read"));
  }
}

size_t TlsTransport::Receive(char* buffer, size_t count) {
  if (closed_) return 0;
  for (;;) {
    const long n = ReadPlain(buffer, count);
    if (n >= 0) return static_cast<size_t>(n);
    if (!FeedCipher()) return 0;
  }
}

bool TlsTransport::TakeArrived() {
  char chunk[16384];
  for (size_t taken = 0; taken < kHandshakeStepBytes;) {
    const ptrdiff_t got = inner_->TryReceive(chunk, sizeof chunk);
    if (got == 0) return false;
    if (got < 0) break;
    BIO_write(in_, chunk, static_cast<int>(got));
    taken += static_cast<size_t>(got);
  }
  return true;
}

ptrdiff_t TlsTransport::TryReceive(char* buffer, size_t count) {
  if (closed_) return 0;
  try {
    // Before any key exchange, everything that has arrived: a client that
    // has already gone (abandoned handshakes are a cheap attack) costs no
    // processor time.
    if (!HandshakeDone() && !TakeArrived()) return 0;
    for (;;) {
      const long n = ReadPlain(buffer, count);
      if (n >= 0) return n;
      char chunk[16384];
      const ptrdiff_t got = inner_->TryReceive(chunk, sizeof chunk);
      if (got <= 0) return got;  // nothing yet (-1), or the peer closed (0)
      BIO_write(in_, chunk, static_cast<int>(got));
    }
  } catch (const HttpError&) {
    // The front reads without raising: a failed handshake (a client that does
    // not speak TLS, or only an old version) reads as the peer gone.
    return 0;
  }
}

void TlsTransport::Send(const std::string_view* parts, size_t count) {
  if (closed_) throw SocketError(0, "TLS connection closed");
  for (size_t i = 0; i < count; ++i) {
    std::string_view rest = parts[i];
    while (!rest.empty()) {
      // A memory buffer takes everything: SSL_write never waits here.
      const int chunk = static_cast<int>(std::min<size_t>(rest.size(), 1 << 20));
      const int n = SSL_write(ssl_.get(), rest.data(), chunk);
      if (n <= 0) throw SocketError(0, TlsFailure("write"));
      rest.remove_prefix(static_cast<size_t>(n));
    }
  }
  FlushCipher();
}

bool TlsTransport::InputPending() {
  return SSL_pending(ssl_.get()) > 0 || BIO_ctrl_pending(in_) > 0 || inner_->InputPending();
}

void TlsTransport::Close(bool lingering) {
  if (closed_) return;
  closed_ = true;
  if (HandshakeDone()) {
    SSL_shutdown(ssl_.get());  // close_notify, best effort
    try {
      FlushCipher();
    } catch (const HttpError&) {
      // The peer has gone: it needs no close_notify.
    }
  }
  inner_->Close(lingering);
}

void TlsTransport::Abort() { inner_->Abort(); }

}  // namespace qv
