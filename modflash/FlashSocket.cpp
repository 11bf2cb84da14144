#include "modflash/FlashSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/ticks.h"

namespace modflash {

namespace {

// Milliseconds left until a tick-count deadline (0 once it has passed).
int Remaining(uint32_t deadline) {
    const int32_t left = static_cast<int32_t>(deadline - rt::GetTickCount());
    return left > 0 ? left : 0;
}

}  // namespace

FlashSocket::~FlashSocket() { Close(); }

bool FlashSocket::Create() {
    if (fd_ >= 0) return false;
    inLen_ = 0;
    unresolved_ = UnresolvedRequests();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    peerClosed_ = false;
    if (fd_ < 0) return false;
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

bool FlashSocket::Connect(const std::string& address, uint16_t port, int timeoutMs) {
    if (fd_ < 0) return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) return false;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return true;
    if (errno != EINPROGRESS) return false;
    pollfd p{fd_, POLLOUT, 0};
    const uint32_t deadline = rt::GetTickCount() + static_cast<uint32_t>(timeoutMs);
    for (;;) {
        const int r = ::poll(&p, 1, Remaining(deadline));
        if (r > 0) break;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return false;
    return err == 0;
}

bool FlashSocket::Send(const uint8_t* data, size_t len, uint32_t deadline) {
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < len) {
        const ssize_t r = ::send(fd_, data + done, len - done, MSG_NOSIGNAL);
        if (r > 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, Remaining(deadline)) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

void FlashSocket::WaitReadable(uint32_t deadline) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        if (::poll(&p, 1, Remaining(deadline)) >= 0 || errno != EINTR) return;
    }
}

size_t FlashSocket::TakeFrame(uint8_t* buf, size_t cap) {
    while (inLen_ >= 6) {
        const size_t length = static_cast<size_t>(in_[4]) << 8 | in_[5];
        const size_t total = 6 + length;
        size_t drop = total;
        if (in_[2] != 0 || in_[3] != 0 || length < 3 || total > in_.size()) {
            drop = 1;  // not the start of a frame: the next byte may be
        } else if (inLen_ < total) {
            return 0;  // the rest is still to come
        }
        const bool give = drop == total && total <= cap;
        if (give) std::copy(in_.begin(), in_.begin() + static_cast<long>(total), buf);
        std::copy(in_.begin() + static_cast<long>(drop), in_.begin() + static_cast<long>(inLen_),
                  in_.begin());
        inLen_ -= drop;
        if (give) return total;
    }
    return 0;
}

size_t FlashSocket::ReceiveFrame(uint8_t* buf, size_t cap, uint32_t deadline) {
    if (fd_ < 0) return 0;
    bool pastDeadline = false;
    for (;;) {
        if (const size_t n = TakeFrame(buf, cap)) return n;
        if (peerClosed_) return 0;
        if (Remaining(deadline) == 0) {
            // One more read after the deadline: what came while this thread
            // got no time came within it.
            if (pastDeadline) return 0;
            pastDeadline = true;
        }
        // There is always room: what TakeFrame leaves is shorter than a frame.
        const ssize_t r = ::recv(fd_, in_.data() + inLen_, in_.size() - inLen_, 0);
        if (r > 0) {
            inLen_ += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            peerClosed_ = true;
            return 0;
        }
        if (pastDeadline) return 0;
        WaitReadable(deadline);
    }
}

void FlashSocket::ShutDown(ShutDownHow how) {
    if (fd_ < 0) return;
    ::shutdown(fd_, how == ShutDownHow::Receives ? SHUT_RD
                    : how == ShutDownHow::Sends  ? SHUT_WR
                                                 : SHUT_RDWR);
}

void FlashSocket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    peerClosed_ = false;
    inLen_ = 0;
    unresolved_ = UnresolvedRequests();
}

}  // namespace modflash
