#include "FakeResponder_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/EventWait.h"

namespace modflash::test {

FakeResponder::FakeResponder(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = 0;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(listenFd_, 4);
    socklen_t len = sizeof sa;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    if (::pipe(wakePipe_) != 0) wakePipe_[0] = wakePipe_[1] = -1;
    thread_ = std::thread([this] { Run(); });
}

FakeResponder::~FakeResponder() {
    const char c = 'x';
    if (::write(wakePipe_[1], &c, 1) != 1) {
    }
    thread_.join();
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

std::vector<Frame> FakeResponder::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

Frame FakeResponder::Reply(const Frame& request, const std::vector<uint8_t>& data) {
    Frame f;
    f.reserve(8 + data.size());
    for (size_t i = 0; i < 8; ++i) f.push_back(request[i]);
    for (uint8_t b : data) f.push_back(b);
    const size_t length = f.size() - 6;
    f[4] = static_cast<uint8_t>(length >> 8);
    f[5] = static_cast<uint8_t>(length & 0xFF);
    return f;
}

Frame FakeResponder::ExceptionReply(const Frame& request, uint8_t code) {
    Frame f = Reply(request, {code});
    f[7] = static_cast<uint8_t>(f[7] | 0x80);
    return f;
}

FakeAnswer FakeResponder::Now(Frame bytes) {
    FakeAnswer a;
    a.pieces.push_back({0, std::move(bytes)});
    return a;
}

void FakeResponder::Run() {
    for (;;) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) continue;
        if (p[1].revents) return;
        if (p[0].revents & POLLIN) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++connections_;
            Serve(fd);
            ::close(fd);
            idle_ = true;
        }
    }
}

// Serves one connection until the client closes it, the handler closes it
// or the responder is stopped.
void FakeResponder::Serve(int fd) {
    std::vector<uint8_t> buf;
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(p, 2, 0) == 0) {
            idle_ = true;
            rt::WakeWaits();
            if (::poll(p, 2, -1) < 0) continue;
        }
        idle_ = false;
        if (p[1].revents) return;
        uint8_t chunk[512];
        const ssize_t r = ::recv(fd, chunk, sizeof chunk, 0);
        if (r <= 0) return;
        buf.insert(buf.end(), chunk, chunk + r);
        while (buf.size() >= 7) {
            const size_t total = 6 + (static_cast<size_t>(buf[4]) << 8 | buf[5]);
            if (buf.size() < total) break;
            const Frame request(buf.begin(), buf.begin() + static_cast<long>(total));
            buf.erase(buf.begin(), buf.begin() + static_cast<long>(total));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
            }
            const FakeAnswer answer = handler_(request);
            for (const auto& piece : answer.pieces) {
                if (piece.delayMs > 0) {
                    pollfd w{wakePipe_[0], POLLIN, 0};
                    if (::poll(&w, 1, piece.delayMs) > 0) return;
                }
                if (::send(fd, piece.bytes.data(), piece.bytes.size(), MSG_NOSIGNAL) < 0) return;
            }
            if (answer.close) return;
        }
    }
}

}  // namespace modflash::test
