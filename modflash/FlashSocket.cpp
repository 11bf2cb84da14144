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

bool FlashSocket::Send(const uint8_t* data, size_t len) {
    if (fd_ < 0) return false;
    size_t done = 0;
    const uint32_t deadline = rt::GetTickCount() + 1000;
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

bool FlashSocket::ReadExact(uint8_t* buf, size_t len, uint32_t deadline, size_t& got) {
    got = 0;
    while (got < len) {
        const ssize_t r = ::recv(fd_, buf + got, len - got, 0);
        if (r > 0) {
            got += static_cast<size_t>(r);
            continue;
        }
        if (r == 0) {
            peerClosed_ = true;
            return false;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            peerClosed_ = true;
            return false;
        }
        // Nothing there yet: block until data arrives or the deadline.
        pollfd p{fd_, POLLIN, 0};
        const int left = Remaining(deadline);
        if (left == 0) return false;
        const int pr = ::poll(&p, 1, left);
        if (pr == 0) return false;
        if (pr < 0 && errno != EINTR) return false;
    }
    return true;
}

bool FlashSocket::WaitReadable(uint32_t deadline) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const int pr = ::poll(&p, 1, Remaining(deadline));
        if (pr > 0) return true;
        if (pr == 0 || errno != EINTR) return false;
    }
}

size_t FlashSocket::Receive(uint8_t* buf, size_t cap, uint32_t timeoutMs) {
    if (fd_ < 0 || peerClosed_ || cap < 7) return 0;
    // A reply counts when it begins within the time-out; one that began in
    // time is not refused because its last bytes came just after it.
    if (!WaitReadable(rt::GetTickCount() + timeoutMs)) {
        NoteOwed(0);
        return 0;
    }
    const uint32_t deadline = rt::GetTickCount() + timeoutMs;
    // The header's length field tells how much of the frame is still to come.
    uint8_t header[7];
    size_t got = 0;
    if (!ReadExact(header, sizeof header, deadline, got)) {
        // Cut off inside its header: how much is still to come is unknown,
        // so the reply is owed whole (what follows is dropped as unreadable).
        if (got > 0) NoteOwed(0);
        return 0;
    }
    const size_t length = static_cast<size_t>(header[4]) << 8 | header[5];
    const size_t total = 6 + length;
    if (length < 2 || total > cap) {
        // Not a frame this buffer takes: dropped, and with it the rest of it
        // that is still on its way.
        const size_t dropped = DiscardPending();
        if (length >= 2 && total - 7 > dropped) NoteOwed(total - 7 - dropped);
        return 0;
    }
    std::copy(header, header + 7, buf);
    if (!ReadExact(buf + 7, total - 7, deadline, got)) {
        NoteOwed(total - 7 - got);
        return 0;
    }
    return total;
}

void FlashSocket::NoteOwed(size_t tail) {
    if (peerClosed_) return;
    if (tail > 0)
        tail_ = tail;
    else
        ++owed_;
    graceDeadline_ = rt::GetTickCount() + kLateReplyGraceMs;
}

void FlashSocket::DropLateReplies() {
    if (fd_ >= 0 && !peerClosed_) {
        uint8_t sink[512];
        // First the rest of a reply cut off by its time-out, then the replies
        // that did not begin in time, each read whole by its header.
        while (tail_ > 0) {
            size_t got = 0;
            const bool whole = ReadExact(sink, std::min(tail_, sizeof sink), graceDeadline_, got);
            tail_ -= got;
            if (!whole) break;
        }
        const int owed = tail_ == 0 ? owed_ : 0;
        owed_ = 0;
        for (int i = 0; i < owed; ++i)
            if (Receive(sink, sizeof sink, static_cast<uint32_t>(Remaining(graceDeadline_))) == 0)
                break;
    }
    owed_ = 0;
    tail_ = 0;
    DiscardPending();
}

size_t FlashSocket::DiscardPending() {
    size_t dropped = 0;
    if (fd_ < 0 || peerClosed_) return dropped;
    uint8_t sink[512];
    for (;;) {
        const ssize_t r = ::recv(fd_, sink, sizeof sink, 0);
        if (r > 0) {
            dropped += static_cast<size_t>(r);
            continue;
        }
        if (r == 0) peerClosed_ = true;
        if (r < 0 && errno == EINTR) continue;
        return dropped;
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
    owed_ = 0;
    tail_ = 0;
}

}  // namespace modflash
