#include "platform/net/tls_connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/url_error.h"
#include "platform/net/host.h"
#include "platform/net/socket_bio.h"
#include "platform/net/trust_anchors.h"

namespace platform::net {

namespace {

// One TLS record's worth of plain bytes: a write hands OpenSSL at most this much, so bytes it
// must be given again after the socket filled up stay small.
constexpr size_t kMaxWriteChunk = 16384;

// What one socket read may take when OpenSSL reads ahead: four records of the largest size.
constexpr size_t kReadBufferLength =
    4 * (SSL3_RT_MAX_PLAIN_LENGTH + SSL3_RT_MAX_ENCRYPTED_OVERHEAD);

constexpr auto kReadable = GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR);
constexpr auto kWritable = GIOCondition(G_IO_OUT | G_IO_HUP | G_IO_ERR);

Error streamError(int64_t code, const std::string& reason) {
  Error error = makeURLError(code);
  if (!reason.empty()) error.mutableUserInfo().set(Error::kFailureReasonKey, Value(reason));
  return error;
}

// The reason OpenSSL left on this thread's queue, or what the socket said.
std::string lastTLSProblem() {
  const unsigned long code = ERR_peek_last_error();
  if (code != 0) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
  }
  return errno != 0 ? std::string(strerror(errno)) : std::string("the connection was lost");
}

struct ClientContext {
  Mutex mutex;
  SSLContextPtr context VKR_GUARDED_BY(mutex);
};

// The settings every connection shares, with the trust store of the moment: made again only when
// the store changes, since making one takes longer than a short exchange.
SSLContextPtr clientContext() {
  static ClientContext* shared = new ClientContext();
  X509StorePtr store = sharedTrustStore();
  MutexLock lock(shared->mutex);
  if (!shared->context || SSL_CTX_get_cert_store(shared->context.get()) != store.get()) {
    SSLContextPtr context(SSL_CTX_new(TLS_client_method()));
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_store(context.get(), store.release());
    SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    // Whole socket reads rather than a record header and then its body, several records at a
    // time when they have arrived: fewer system calls.
    SSL_CTX_set_read_ahead(context.get(), 1);
    SSL_CTX_set_default_read_buffer_len(context.get(), kReadBufferLength);
    SSL_CTX_set_mode(context.get(),
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    shared->context = std::move(context);
  }
  SSL_CTX_up_ref(shared->context.get());
  return SSLContextPtr(shared->context.get());
}

}  // namespace

// The main-loop source that watches the socket.
struct TLSConnection::WatchSource {
  GSource base;
  TLSConnection* owner;

  static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    auto* watch = reinterpret_cast<WatchSource*>(source);
    watch->owner->onReady(g_source_query_unix_fd(source, watch->owner->fdTag_));
    return G_SOURCE_CONTINUE;
  }
};

TLSConnection::~TLSConnection() { endTransport(); }

void TLSConnection::attach(StreamSide side, SocketStream* stream) {
  at(side).stream = stream;
  if (stream == nullptr) close(side);
}

void TLSConnection::setDelegate(StreamSide side, std::weak_ptr<StreamDelegate> delegate) {
  at(side).delegate = std::move(delegate);
}

void TLSConnection::open(StreamSide side) {
  Side& opened = at(side);
  if (opened.status != StreamStatus::NotOpen) return;
  opened.status = StreamStatus::Opening;
  switch (phase_) {
    case Phase::Idle:
      startConnecting();
      break;
    case Phase::Established:
      opened.status = StreamStatus::Open;
      post(side, StreamEvent::OpenCompleted);
      updateWatch();
      break;
    case Phase::Finished:
      opened.status = StreamStatus::Error;
      post(side, StreamEvent::ErrorOccurred);
      break;
    case Phase::Connecting:
    case Phase::Handshaking:
      break;  // told when the handshake ends
  }
}

void TLSConnection::close(StreamSide side) {
  Side& closed = at(side);
  closed.status = StreamStatus::Closed;
  closed.delegate.reset();
  if (!anySideActive()) endTransport();
}

bool TLSConnection::anySideActive() const {
  return std::any_of(sides_.begin(), sides_.end(), [](const Side& side) {
    return side.status != StreamStatus::NotOpen && side.status != StreamStatus::Closed;
  });
}

void TLSConnection::startConnecting() {
  phase_ = Phase::Connecting;
  cancellable_.reset(g_cancellable_new());
  GObjectPtr<GSocketClient> client(g_socket_client_new());
  g_socket_client_set_enable_proxy(client.get(), FALSE);
  GObjectPtr<GSocketConnectable> address(g_network_address_new(host_.c_str(), port_));
  // The answer may come after this connection is gone: it holds a weak reference only.
  auto* self = new std::weak_ptr<TLSConnection>(weak_from_this());
  g_socket_client_connect_async(client.get(), address.get(), cancellable_.get(),
                                &TLSConnection::onConnected, self);
}

void TLSConnection::onConnected(GObject* client, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<std::weak_ptr<TLSConnection>> weak(
      static_cast<std::weak_ptr<TLSConnection>*>(data));
  GError* failure = nullptr;
  GObjectPtr<GSocketConnection> tcp(
      g_socket_client_connect_finish(G_SOCKET_CLIENT(client), result, &failure));
  const std::string problem = failure ? failure->message : "";
  const bool unknownHost = failure && failure->domain == G_RESOLVER_ERROR;
  g_clear_error(&failure);
  const std::shared_ptr<TLSConnection> self = weak->lock();
  if (!self || self->phase_ != Phase::Connecting) return;
  if (!tcp) {
    self->fail(
        streamError(unknownHost ? kURLErrorCannotFindHost : kURLErrorCannotConnectToHost, problem),
        true);
    return;
  }
  self->startHandshake(std::move(tcp));
}

void TLSConnection::startHandshake(GObjectPtr<GSocketConnection> tcp) {
  tcp_ = std::move(tcp);
  fd_ = g_socket_get_fd(g_socket_connection_get_socket(tcp_.get()));
  // Frames are small and answered: waiting to fill a segment would only delay them.
  const int noDelay = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);

  ssl_.reset(SSL_new(clientContext().get()));
  BIO* bio = makeSocketBIO(fd_);
  SSL_set_bio(ssl_.get(), bio, bio);
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl_.get());
  if (isIPAddress(host_)) {
    X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_.get(), host_.c_str());
    X509_VERIFY_PARAM_set1_host(param, host_.c_str(), host_.size());
  }
  SSL_set_connect_state(ssl_.get());

  static GSourceFuncs funcs = {nullptr, nullptr, &WatchSource::dispatch, nullptr, nullptr, nullptr};
  GSource* source = g_source_new(&funcs, sizeof(WatchSource));
  reinterpret_cast<WatchSource*>(source)->owner = this;
  g_source_set_name(source, "TLS socket stream");
  g_source_attach(source, g_main_context_default());
  watch_ = reinterpret_cast<WatchSource*>(source);
  phase_ = Phase::Handshaking;
  continueHandshake();
}

void TLSConnection::continueHandshake() {
  ERR_clear_error();
  errno = 0;
  const int result = SSL_connect(ssl_.get());
  if (result == 1) {
    phase_ = Phase::Established;
    const std::shared_ptr<TLSConnection> keep = shared_from_this();
    for (StreamSide side : {StreamSide::Output, StreamSide::Input}) {
      if (at(side).status != StreamStatus::Opening) continue;
      at(side).status = StreamStatus::Open;
      deliver(side, StreamEvent::OpenCompleted);
      if (phase_ != Phase::Established) return;
    }
    updateWatch();
    return;
  }
  switch (SSL_get_error(ssl_.get(), result)) {
    case SSL_ERROR_WANT_READ:
      watchFor(kReadable);
      return;
    case SSL_ERROR_WANT_WRITE:
      watchFor(kWritable);
      return;
    default:
      break;
  }
  const long verified = SSL_get_verify_result(ssl_.get());
  if (verified != X509_V_OK) {
    fail(streamError(kURLErrorServerCertificateUntrusted, X509_verify_cert_error_string(verified)),
         true);
  } else {
    fail(streamError(kURLErrorSecureConnectionFailed, lastTLSProblem()), true);
  }
}

void TLSConnection::onReady(GIOCondition condition) {
  const std::shared_ptr<TLSConnection> keep = shared_from_this();
  if (phase_ == Phase::Handshaking) {
    continueHandshake();
    return;
  }
  if (phase_ != Phase::Established) return;
  const bool writable = condition & kWritable;
  const bool readable = condition & kReadable;
  if (!pendingWrite_.empty() && (pendingWriteWantsRead_ ? readable : writable)) {
    flushPendingWrite();
    if (phase_ != Phase::Established) return;
  }
  readWantsWrite_ = readWantsWrite_ && !writable;
  Side& output = at(StreamSide::Output);
  if (writable && output.status == StreamStatus::Open && !output.told && pendingWrite_.empty()) {
    output.told = true;
    deliver(StreamSide::Output, StreamEvent::HasSpaceAvailable);
    if (phase_ != Phase::Established) return;
  }
  Side& input = at(StreamSide::Input);
  if ((readable || SSL_has_pending(ssl_.get())) && input.status == StreamStatus::Open &&
      !input.told) {
    input.told = true;
    deliver(StreamSide::Input, StreamEvent::HasBytesAvailable);
    if (phase_ != Phase::Established) return;
  }
  updateWatch();
}

void TLSConnection::flushPendingWrite() {
  ERR_clear_error();
  errno = 0;
  const int written =
      SSL_write(ssl_.get(), pendingWrite_.data(), static_cast<int>(pendingWrite_.size()));
  if (written > 0) {
    pendingWrite_.erase(pendingWrite_.begin(), pendingWrite_.begin() + written);
    return;
  }
  const int reason = SSL_get_error(ssl_.get(), written);
  if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
    pendingWriteWantsRead_ = reason == SSL_ERROR_WANT_READ;
    return;
  }
  fail(streamError(kURLErrorNetworkConnectionLost, lastTLSProblem()), true);
}

int64_t TLSConnection::read(uint8_t* buffer, size_t capacity) {
  Side& input = at(StreamSide::Input);
  input.told = false;
  if (input.status == StreamStatus::AtEnd) return 0;
  if (input.status != StreamStatus::Open || phase_ != Phase::Established) return -1;
  ERR_clear_error();
  errno = 0;
  const int count =
      SSL_read(ssl_.get(), buffer, static_cast<int>(std::min<size_t>(capacity, INT_MAX)));
  if (count > 0) {
    updateWatch();
    return count;
  }
  switch (SSL_get_error(ssl_.get(), count)) {
    case SSL_ERROR_WANT_WRITE:
      readWantsWrite_ = true;
      [[fallthrough]];
    case SSL_ERROR_WANT_READ:
      updateWatch();
      return SocketInputStream::kWouldBlock;
    case SSL_ERROR_ZERO_RETURN:
      input.status = StreamStatus::AtEnd;
      post(StreamSide::Input, StreamEvent::EndEncountered);
      updateWatch();
      return 0;
    default:
      fail(streamError(kURLErrorNetworkConnectionLost, lastTLSProblem()), false);
      return -1;
  }
}

bool TLSConnection::hasBytesAvailable() const {
  if (at(StreamSide::Input).status != StreamStatus::Open || phase_ != Phase::Established) {
    return false;
  }
  return SSL_has_pending(ssl_.get()) || pollFor(POLLIN);
}

int64_t TLSConnection::write(const uint8_t* bytes, size_t length) {
  Side& output = at(StreamSide::Output);
  output.told = false;
  if (output.status != StreamStatus::Open || phase_ != Phase::Established) return -1;
  if (!pendingWrite_.empty() || length == 0) {
    updateWatch();
    return 0;
  }
  const size_t chunk = std::min(length, kMaxWriteChunk);
  ERR_clear_error();
  errno = 0;
  const int written = SSL_write(ssl_.get(), bytes, static_cast<int>(chunk));
  if (written > 0) {
    updateWatch();
    return written;
  }
  const int reason = SSL_get_error(ssl_.get(), written);
  if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
    // OpenSSL holds part of these bytes already and wants the same ones again: they are taken.
    pendingWrite_.assign(bytes, bytes + chunk);
    pendingWriteWantsRead_ = reason == SSL_ERROR_WANT_READ;
    updateWatch();
    return static_cast<int64_t>(chunk);
  }
  fail(streamError(kURLErrorNetworkConnectionLost, lastTLSProblem()), false);
  return -1;
}

bool TLSConnection::hasSpaceAvailable() const {
  if (at(StreamSide::Output).status != StreamStatus::Open || phase_ != Phase::Established) {
    return false;
  }
  // Only a write can tell whether the socket takes more; one that cannot is kept as pending.
  return pendingWrite_.empty();
}

bool TLSConnection::pollFor(short events) const {
  pollfd entry{fd_, events, 0};
  return ::poll(&entry, 1, 0) > 0 && entry.revents != 0;
}

void TLSConnection::watchFor(GIOCondition condition) {
  if (watch_ == nullptr || condition == watched_) return;
  GSource* source = &watch_->base;
  // Hang-ups and errors are reported whatever is asked: a socket with nothing to wait for leaves
  // the poll, or a closed peer would wake the loop again and again.
  if (condition == 0) {
    g_source_remove_unix_fd(source, fdTag_);
    fdTag_ = nullptr;
  } else if (fdTag_ == nullptr) {
    fdTag_ = g_source_add_unix_fd(source, fd_, condition);
  } else {
    g_source_modify_unix_fd(source, fdTag_, condition);
  }
  watched_ = condition;
}

void TLSConnection::updateWatch() {
  if (phase_ != Phase::Established) return;
  const Side& input = at(StreamSide::Input);
  const Side& output = at(StreamSide::Output);
  unsigned condition = 0;
  if (input.status == StreamStatus::Open && !input.told) condition |= G_IO_IN;
  if (output.status == StreamStatus::Open && !output.told) condition |= G_IO_OUT;
  if (!pendingWrite_.empty()) condition |= pendingWriteWantsRead_ ? G_IO_IN : G_IO_OUT;
  if (readWantsWrite_) condition |= G_IO_OUT;
  watchFor(GIOCondition(condition));
  // Bytes OpenSSL already decrypted make the socket no more readable.
  if (input.status == StreamStatus::Open && !input.told && SSL_has_pending(ssl_.get())) {
    postRecheck();
  }
}

void TLSConnection::deliver(StreamSide side, StreamEvent event) {
  const Side& target = at(side);
  SocketStream* stream = target.stream;
  const std::shared_ptr<StreamDelegate> delegate = target.delegate.lock();
  if (stream != nullptr && delegate) delegate->streamHandleEvent(*stream, event);
}

void TLSConnection::post(StreamSide side, StreamEvent event) {
  posted_.emplace_back(side, event);
  if (postScheduled_) return;
  postScheduled_ = true;
  mainQueue()->async([weak = weak_from_this()] {
    if (const std::shared_ptr<TLSConnection> self = weak.lock()) self->onPosted();
  });
}

void TLSConnection::postRecheck() {
  recheck_ = true;
  if (postScheduled_) return;
  postScheduled_ = true;
  mainQueue()->async([weak = weak_from_this()] {
    if (const std::shared_ptr<TLSConnection> self = weak.lock()) self->onPosted();
  });
}

void TLSConnection::onPosted() {
  const std::shared_ptr<TLSConnection> keep = shared_from_this();
  postScheduled_ = false;
  std::deque<std::pair<StreamSide, StreamEvent>> events;
  events.swap(posted_);
  for (const auto& [side, event] : events) {
    const StreamStatus status = at(side).status;
    if (status == StreamStatus::Closed || status == StreamStatus::NotOpen) continue;
    deliver(side, event);
  }
  if (std::exchange(recheck_, false)) onReady(GIOCondition(0));
}

void TLSConnection::fail(Error error, bool now) {
  const std::shared_ptr<TLSConnection> keep = shared_from_this();
  error_ = std::move(error);
  endTransport();
  std::vector<StreamSide> told;
  for (StreamSide side : {StreamSide::Output, StreamSide::Input}) {
    const StreamStatus status = at(side).status;
    if (status == StreamStatus::Opening || status == StreamStatus::Open) {
      at(side).status = StreamStatus::Error;
      told.push_back(side);
    }
  }
  for (StreamSide side : told) {
    if (!now) {
      post(side, StreamEvent::ErrorOccurred);
    } else if (at(side).status == StreamStatus::Error) {
      deliver(side, StreamEvent::ErrorOccurred);
    }
  }
}

void TLSConnection::endTransport() {
  if (phase_ == Phase::Finished) return;
  if (cancellable_) g_cancellable_cancel(cancellable_.get());
  if (ssl_ && phase_ == Phase::Established && error_ == std::nullopt) {
    // A courtesy to the peer; it is not waited for.
    SSL_shutdown(ssl_.get());
  }
  if (watch_ != nullptr) {
    g_source_destroy(&watch_->base);
    g_source_unref(&watch_->base);
    watch_ = nullptr;
    fdTag_ = nullptr;
  }
  ssl_.reset();
  tcp_.reset();
  fd_ = -1;
  phase_ = Phase::Finished;
}

}  // namespace platform::net
