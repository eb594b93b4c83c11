#include "stand-ins/isapihost/http/transport.h"

#include <cerrno>
#include <sys/socket.h>
#include <sys/types.h>

namespace isapihost {
namespace {

IoResult fromErrno(IoStatus wouldBlock) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return {wouldBlock, 0};
    }
    return {IoStatus::Failed, 0};
}

}  // namespace

void Transport::shutdownWrite() {
    ::shutdown(fd_, SHUT_WR);
}

IoResult PlainTransport::tryRead(void* buffer, size_t size) {
    for (;;) {
        ssize_t n = recv(fd_, buffer, size, MSG_DONTWAIT);
        if (n > 0) {
            return {IoStatus::Done, static_cast<size_t>(n)};
        }
        if (n == 0) {
            return {IoStatus::Closed, 0};
        }
        if (errno != EINTR) {
            return fromErrno(IoStatus::WantRead);
        }
    }
}

IoResult PlainTransport::tryWrite(const void* data, size_t size) {
    for (;;) {
        // MSG_NOSIGNAL: a client that went away must not kill the server with SIGPIPE.
        ssize_t n = send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            return {IoStatus::Done, static_cast<size_t>(n)};
        }
        if (errno != EINTR) {
            return fromErrno(IoStatus::WantWrite);
        }
    }
}

}  // namespace isapihost
