#include "messaging/connection/zcm_secure_socket.h"

#include "messaging/wire/wire_tags.h"
#include "platform/dispatch/main_thread_check.h"

using platform::net::SocketStream;
using platform::net::StreamEvent;
using platform::net::StreamStatus;

namespace {
// Bounds how many queued frames join one buffer; a single larger frame still goes whole.
constexpr size_t kJoinedFramesLimit = 65536;
}  // namespace

std::shared_ptr<ZCMSecureSocket> ZCMSecureSocket::make() {
  return std::shared_ptr<ZCMSecureSocket>(new ZCMSecureSocket());
}

ZCMSecureSocket::~ZCMSecureSocket() { disconnect(); }

void ZCMSecureSocket::connectToHost(const std::string& host, uint16_t port) {
  VKR_ASSERT_MAIN_THREAD();
  if (host.empty() || state_ != kStateIdle) return;
  state_ = kStateConnecting;
  std::optional<platform::net::SocketStreamPair> pair =
      platform::net::makeTLSStreamPair(host, port);
  // Without streams the socket stays connecting: the client's connect timer ends the attempt.
  if (!pair) return;
  inStream_ = std::move(pair->input);
  outStream_ = std::move(pair->output);
  isInStreamOpen_ = false;
  isOutStreamOpen_ = false;
  openStream(outStream_.get());
  openStream(inStream_.get());
}

void ZCMSecureSocket::openStream(SocketStream* stream) {
  if (stream == nullptr || stream->streamStatus() != StreamStatus::NotOpen) return;
  stream->setDelegate(weak_from_this());
  stream->open();
}

void ZCMSecureSocket::closeStream(SocketStream* stream) {
  if (stream == nullptr) return;
  stream->close();
  stream->setDelegate({});
}

void ZCMSecureSocket::sendData(std::string data, int8_t tag, std::optional<std::string> rmqId) {
  VKR_ASSERT_MAIN_THREAD();
  packetQueue_.push(ZCMPacket{tag, std::move(rmqId), std::move(data)});
  if (!isReading_ && !isWriting_ && outStream_ && outStream_->hasSpaceAvailable()) {
    performWrite();
  }
}

void ZCMSecureSocket::disconnect() {
  VKR_ASSERT_MAIN_THREAD();
  if (state_ == kStateDisconnecting || (!inStream_ && !outStream_)) return;
  state_ = kStateDisconnecting;
  // Held until the end: closing may drop the last reference the streams' owner had.
  const std::shared_ptr<SocketStream> input = std::move(inStream_);
  const std::shared_ptr<SocketStream> output = std::move(outStream_);
  closeStream(input.get());
  closeStream(output.get());
  state_ = kStateDisconnected;
  if (const std::shared_ptr<ZCMSecureSocketDelegate> delegate = delegate_.lock()) {
    delegate->didDisconnectWithSecureSocket(*this);
  }
}

void ZCMSecureSocket::streamHandleEvent(SocketStream& stream, StreamEvent event) {
  const std::shared_ptr<ZCMSecureSocket> keep = shared_from_this();
  switch (event) {
    case StreamEvent::OpenCompleted:
      if (&stream == inStream_.get()) isInStreamOpen_ = true;
      if (&stream == outStream_.get()) isOutStreamOpen_ = true;
      if (isInStreamOpen_ && isOutStreamOpen_ && state_ == kStateConnecting) {
        state_ = kStateConnected;
        if (const std::shared_ptr<ZCMSecureSocketDelegate> delegate = delegate_.lock()) {
          delegate->secureSocketDidConnect(*this);
        }
      }
      break;
    case StreamEvent::HasBytesAvailable: {
      if (state_ != kStateConnected) break;
      isReading_ = true;
      const bool read = performRead();
      isReading_ = false;
      if (!read) {
        disconnect();
      } else if (state_ == kStateConnected && !packetQueue_.isEmpty() &&
                 outStream_->hasSpaceAvailable()) {
        performWrite();
      }
      break;
    }
    case StreamEvent::HasSpaceAvailable:
      if (state_ == kStateConnected) performWrite();
      break;
    case StreamEvent::ErrorOccurred:
    case StreamEvent::EndEncountered:
      disconnect();
      break;
  }
}

std::shared_ptr<ZCMSecureSocketDelegate> ZCMSecureSocket::connectedDelegate() const {
  if (state_ != kStateConnected) return nullptr;
  return delegate_.lock();
}

bool ZCMSecureSocket::isDelegate(const std::shared_ptr<ZCMSecureSocketDelegate>& held) const {
  // The same owner as the one set: compared without touching the reference counts.
  return held && !delegate_.owner_before(held) && !held.owner_before(delegate_);
}

void ZCMSecureSocket::performWrite() {
  const std::shared_ptr<ZCMSecureSocket> keep = shared_from_this();
  if (isWriting_) return;
  isWriting_ = true;
  writeBuffers();
  isWriting_ = false;
}

void ZCMSecureSocket::writeBuffers() {
  while (outStream_ && outStream_->hasSpaceAvailable()) {
    if (outputBuffer_.empty()) {
      // The version byte leads the first buffer and is written like frame bytes, so a write
      // that takes nothing cannot lose it.
      if (!isVersionSent_) {
        isVersionSent_ = true;
        outputBuffer_.push_back(static_cast<char>(kZCMVersion));
      }
      while (!packetQueue_.isEmpty() &&
             (framesInBuffer_.empty() || outputBuffer_.size() < kJoinedFramesLimit)) {
        ZCMPacket packet = *packetQueue_.pop();
        outputBuffer_ += ZCMEncodeFrame(packet.tag, packet.data);
        framesInBuffer_.push_back({outputBuffer_.size(), packet.tag, std::move(packet.rmqId)});
      }
      if (outputBuffer_.empty()) return;
      outputBufferLength_ = 0;
    }
    const int64_t written = outStream_->write(
        reinterpret_cast<const uint8_t*>(outputBuffer_.data()) + outputBufferLength_,
        outputBuffer_.size() - outputBufferLength_);
    if (written <= 0) return;  // the frame stays pending; an error arrives as an event
    outputBufferLength_ += static_cast<size_t>(written);
    if (outputBufferLength_ == outputBuffer_.size()) {
      outputBuffer_.clear();
      outputBufferLength_ = 0;
    }
    // Each frame is reported once its last byte is written.
    while (!framesInBuffer_.empty() &&
           (outputBuffer_.empty() || framesInBuffer_.front().end <= outputBufferLength_)) {
      FrameInBuffer sent = std::move(framesInBuffer_.front());
      framesInBuffer_.pop_front();
      if (const std::shared_ptr<ZCMSecureSocketDelegate> delegate = delegate_.lock()) {
        delegate->secureSocket(*this, sent.tag, sent.rmqId);
      }
      if (state_ != kStateConnected) return;
    }
  }
}

bool ZCMSecureSocket::performRead() {
  const std::shared_ptr<ZCMSecureSocket> keep = shared_from_this();
  if (!isVersionReceived_) {
    uint8_t version = 0;
    const int64_t count = inStream_->read(&version, 1);
    // Bytes available may turn out to be TLS housekeeping, not data: wait for the byte.
    if (count == platform::net::SocketInputStream::kWouldBlock) return true;
    if (count < 1 || version != kZCMVersion) return false;
    isVersionReceived_ = true;
  }
  // Held through the read and looked up again only when it changes: a frame's handler may let
  // go of it, or set another one.
  std::shared_ptr<ZCMSecureSocketDelegate> delegate;
  while (inStream_ && inStream_->hasBytesAvailable()) {
    const std::span<char> space = input_.spaceForRead();
    if (space.empty()) return false;
    const int64_t count = inStream_->read(reinterpret_cast<uint8_t*>(space.data()), space.size());
    if (count <= 0) return true;
    input_.didRead(static_cast<size_t>(count));
    for (;;) {
      ZCMFrameExtraction next = input_.nextFrame();
      if (next.status == ZCMFrameExtraction::kIncomplete) break;
      if (next.status == ZCMFrameExtraction::kProtocolError) return false;
      if (!isDelegate(delegate)) delegate = connectedDelegate();
      if (!delegate) return true;
      delegate->secureSocket(*this, next.data, next.tag);
      if (state_ != kStateConnected) return true;
    }
  }
  return true;
}
