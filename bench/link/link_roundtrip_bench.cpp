// Request/reply round trips on loopback: through WinsockControl, the reply
// dispatcher and WaitForReply (the program's road), next to the same round
// trips on a bare blocking socket, against one minimal responder thread that
// answers every 12-byte request with a controller status reply. Also
// measures the processor time that a wait uses while no reply comes.
//
// Usage: link_roundtrip_bench [round trips per run, default 20000] [wait|bare]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "config/NodeConfig.h"
#include "link/ModbusFrame.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "link/ReplyDispatcher.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> StatusReply() {
    std::vector<uint8_t> r(9 + 84, 0);
    r[5] = 3 + 84;
    r[6] = 1;
    r[7] = FcReadInputRegisters;
    r[8] = 84;
    r[10] = 0x20;
    return r;
}

bool ReadExactly(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t got = ::recv(fd, p, n, 0);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put <= 0) return false;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

void NoDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Answers every request of every connection, one connection after another.
void Responder(int listenFd) {
    const std::vector<uint8_t> reply = StatusReply();
    for (;;) {
        const int fd = ::accept(listenFd, nullptr, nullptr);
        if (fd < 0) return;
        NoDelay(fd);
        uint8_t request[12];
        while (ReadExactly(fd, request, sizeof request))
            if (!WriteAll(fd, reply.data(), reply.size())) break;
        ::close(fd);
    }
}

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double WaitRoadMicros(uint16_t port, int count) {
    rt::WinsockControl ws;
    ConnectModbusReplyHandler(ws);
    ws.SetRemoteHost("127.0.0.1");
    ws.SetRemotePort(port);
    ws.Connect();
    rt::WaitUntil([&] { return ws.State() == rt::sckConnected; }, 3000);
    if (ws.State() != rt::sckConnected) {
        std::fprintf(stderr, "cannot connect\n");
        std::exit(1);
    }
    const ModbusFrame frame =
        BuildReadRequest(1, FcReadInputRegisters, RegMcuStatus.Start, RegMcuStatus.Quantity);
    for (int i = 0; i < 500; ++i) SendRequestAndWait(ws, KeyMcuStatus, frame, 500);
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i) {
        if (SendRequestAndWait(ws, KeyMcuStatus, frame, 500) != ReplyOutcome::Done) {
            std::fprintf(stderr, "round trip %d did not complete\n", i);
            std::exit(1);
        }
    }
    const auto t1 = Clock::now();
    ws.Close();
    return std::chrono::duration<double, std::micro>(t1 - t0).count() / count;
}

double BareMicros(uint16_t port, int count) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    NoDelay(fd);
    const ModbusFrame frame =
        BuildReadRequest(1, FcReadInputRegisters, RegMcuStatus.Start, RegMcuStatus.Quantity);
    std::vector<uint8_t> reply(93);
    auto once = [&] {
        if (!WriteAll(fd, frame.data(), frame.size()) ||
            !ReadExactly(fd, reply.data(), reply.size()))
            std::exit(1);
    };
    for (int i = 0; i < 500; ++i) once();
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i) once();
    const auto t1 = Clock::now();
    ::close(fd);
    return std::chrono::duration<double, std::micro>(t1 - t0).count() / count;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    ConfigReal[0].NetID = 1;

    const int listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd, 4) != 0 ||
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        std::perror("listen");
        return 1;
    }
    const uint16_t port = ntohs(a.sin_port);
    std::thread responder(Responder, listenFd);

    // Alternate the two roads so that both see the same machine load. A
    // second argument "wait" or "bare" runs one road only (for profiling).
    const std::string only = argc > 2 ? argv[2] : "";
    constexpr int kRuns = 9;
    std::vector<double> wait, bare;
    for (int run = 0; run < kRuns; ++run) {
        wait.push_back(only == "bare" ? 0 : WaitRoadMicros(port, count));
        bare.push_back(only == "wait" ? 1 : BareMicros(port, count));
    }
    const double w = Median(wait), b = Median(bare);
    const double wMin = *std::min_element(wait.begin(), wait.end());
    const double bMin = *std::min_element(bare.begin(), bare.end());
    std::printf("round trips per run        %d (%d runs, alternating)\n", count, kRuns);
    std::printf("                           median      best\n");
    std::printf("bare blocking socket       %7.2f us  %7.2f us per round trip\n", b, bMin);
    std::printf("WinsockControl + wait      %7.2f us  %7.2f us per round trip\n", w, wMin);
    std::printf("ratio wait / bare          %7.3f     %7.3f\n\n", w / b, wMin / bMin);

    // An idle wait: a request key that no reply completes, 1 s.
    rt::WinsockControl idle;
    idle.SetTag(KeyMcuStatus);
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    const ReplyOutcome o = WaitForReply(idle, 1000);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("idle wait                  %.3f s wall, %.3f ms process CPU (%s)\n", wall,
                cpu * 1000, o == ReplyOutcome::TimedOut ? "timed out as expected" : "UNEXPECTED");

    ::shutdown(listenFd, SHUT_RDWR);
    ::close(listenFd);
    responder.join();
    return 0;
}
