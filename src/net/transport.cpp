#include "net/transport.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace zorvi {
namespace {

TransferResult FromCall(ssize_t n, int err, short waitFor) {
    if (n > 0) return {n, 0, 0};
    if (n == 0) return {};
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) return {0, EAGAIN, waitFor};
    return {0, err, 0};
}

}  // namespace

TransferResult PlainTransport::Receive(int fd, char* data, std::size_t size) {
    const ssize_t n = ::recv(fd, data, size, 0);
    return FromCall(n, errno, POLLIN);
}

TransferResult PlainTransport::Send(int fd, const char* data, std::size_t size) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    // A send that moved nothing without an error is a failure of its own.
    if (n == 0) return {0, EIO, 0};
    return FromCall(n, errno, POLLOUT);
}

}  // namespace zorvi
