#include "http/front_connection.h"

#include "http/exceptions.h"

namespace qv {

namespace {

// Bytes dropped at most while lingering.
constexpr size_t kLingerBytes = 1 << 20;

}  // namespace

FrontConnection::FrontConnection(std::unique_ptr<qv::Transport> transport, std::string peer_ip,
                                 int peer_port, const Binding* binding, const RequestLimits& limits)
    : transport_(std::move(transport)),
      context_(*transport_, std::move(peer_ip), peer_port, binding),
      limits_(limits) {
  context_.Parser().SetLimits(limits);
}

FrontConnection::Next FrontConnection::Receive(Clock::time_point now) {
  BufferedIo& io = context_.Connection().IOHandler();
  RequestParser& parser = context_.Parser();
  // Parsed as it comes, so that the buffer holds little more than a line of
  // the head: body bytes go straight into the body.
  const size_t limit = limits_.max_head + BufferedIo::kRecvBufferSize;
  while (!peer_closed_) {
    size_t room = 0;
    const ptrdiff_t n = io.ReceiveAvailable(limit, &room);
    if (n < 0) {
      if (io.Starved()) parser.OutOfMemory();
      break;
    }
    if (n == 0) {
      peer_closed_ = true;
      break;
    }
    if (!RequestUnderway()) request_began_ = now;
    last_input_ = now;
    // Less than there was room for: nothing more is waiting now.
    if (static_cast<size_t>(n) < room) break;
    io.Consume(parser.Parse(io.Unread(), false));
    // The rest waits for the next request.
    if (parser.State() != RequestParser::Status::Incomplete) break;
  }
  return Frame(now);
}

FrontConnection::Next FrontConnection::Frame(Clock::time_point now) {
  BufferedIo& io = context_.Connection().IOHandler();
  if (io.Buffered() > 0 && !RequestUnderway()) request_began_ = last_input_ = now;
  RequestParser& parser = context_.Parser();
  io.Consume(parser.Parse(io.Unread(), peer_closed_));
  const RequestParser::Status status = parser.State();
  if (status == RequestParser::Status::Malformed) return Ending();
  Next next = Next::Wait;
  if (InviteBody(next)) return next;
  if (status == RequestParser::Status::Complete) return Next::Serve;
  if (peer_closed_) return Next::Close;
  // Nothing of a request is here: an idle connection holds no buffer.
  if (io.Buffered() == 0) io.ReleaseIfEmpty();
  return Next::Wait;
}

bool FrontConnection::InviteBody(Next& next) {
  const RequestParser& parser = context_.Parser();
  if (!parser.HeadDone() || parser.Refusal() != 0 || context_.ContinueSent()) return false;
  const ParsedRequest& request = parser.Request();
  const auto expectation = ExpectationOf(request.version, request.headers);
  if (!expectation || !MetByDefault(*expectation)) return false;
  // The client waits for this before it sends the body; the worker comes
  // once the body is here.
  try {
    context_.SendContinue(request.version);
  } catch (const std::exception&) {
    next = Next::Close;
    return true;
  }
  if (!transport_->OutputPending()) return false;
  keep_ = true;
  next = Next::Flush;
  return true;
}

FrontConnection::Next FrontConnection::Serve(
    const ServeFunction& serve, const std::function<void(ConnectionContext&, const std::exception&)>& on_exception) {
  bool keep = false;
  bool broken = false;
  try {
    keep = serve(context_);
  } catch (const SocketError&) {
    broken = true;
  } catch (const ReadTimedOut&) {
    broken = true;
  } catch (const HttpError&) {
    // Malformed input or a peer gone: the connection just ends.
  } catch (const std::exception& e) {
    // Any other failure ends the connection as well, and is told.
    if (on_exception) on_exception(context_, e);
  }
  ++answered_;
  context_.RequestDone();
  request_began_ = Clock::time_point();
  if (broken) return Next::Close;
  keep_ = keep;
  if (transport_->OutputPending()) return Next::Flush;
  if (!keep) return Ending();
  return Frame(Clock::now());
}

FrontConnection::Next FrontConnection::Flush() {
  try {
    if (!transport_->FlushAvailable()) return Next::Flush;
  } catch (const HttpError&) {
    return Next::Close;
  }
  if (!keep_) return Ending();
  return Frame(Clock::now());
}

FrontConnection::Next FrontConnection::Ending() {
  if (peer_closed_) return Next::Close;
  BufferedIo& io = context_.Connection().IOHandler();
  try {
    if (io.InputPending()) return Next::Linger;
  } catch (const HttpError&) {
    // A connection that fails here has nothing left to read.
  }
  return Next::Close;
}

void FrontConnection::StartLinger() {
  dropped_ = 0;
  transport_->ShutdownSend();
}

bool FrontConnection::Drain() {
  char sink[4096];
  try {
    for (;;) {
      const ptrdiff_t n = transport_->TryReceive(sink, sizeof sink);
      if (n < 0) return false;
      if (n == 0) return true;
      dropped_ += static_cast<size_t>(n);
      if (dropped_ >= kLingerBytes) return true;
    }
  } catch (const HttpError&) {
    return true;  // the peer is gone: nothing more to drop
  }
}

}  // namespace qv
