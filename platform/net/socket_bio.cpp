#include "platform/net/socket_bio.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace platform::net {

namespace {

int fdOf(BIO* bio) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))); }

bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

int socketWrite(BIO* bio, const char* bytes, int length) {
  BIO_clear_retry_flags(bio);
  const ssize_t count = ::send(fdOf(bio), bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
  if (count < 0 && wouldBlock()) BIO_set_retry_write(bio);
  return static_cast<int>(count);
}

int socketRead(BIO* bio, char* buffer, int capacity) {
  BIO_clear_retry_flags(bio);
  const ssize_t count = ::recv(fdOf(bio), buffer, static_cast<size_t>(capacity), 0);
  if (count < 0 && wouldBlock()) BIO_set_retry_read(bio);
  return static_cast<int>(count);
}

long socketControl(BIO*, int command, long, void*) {
  // Writes go straight to the socket: there is nothing to flush.
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* socketMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* made =
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket without SIGPIPE");
    BIO_meth_set_write(made, &socketWrite);
    BIO_meth_set_read(made, &socketRead);
    BIO_meth_set_ctrl(made, &socketControl);
    return made;
  }();
  return method;
}

}  // namespace

BIO* makeSocketBIO(int fd) {
  BIO* bio = BIO_new(socketMethod());
  if (bio == nullptr) return nullptr;
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
  BIO_set_init(bio, 1);
  return bio;
}

}  // namespace platform::net
