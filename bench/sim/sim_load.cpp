// sim_load: how many requests per second the station stand-in answers.
// Clients are plain blocking POSIX sockets on their own threads, so that the
// figures measure the stand-in, not a client's event loop.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "sim/StationEngine.h"
#include "sim/StationSim.h"

namespace {

int Connect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadExactly(int fd, unsigned char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::recv(fd, buf + got, n - got, 0);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

// One Modbus request and its whole reply (by the MBAP length).
bool Transact(int fd, const unsigned char* req, size_t len, unsigned char* buf) {
    if (::send(fd, req, len, 0) != static_cast<ssize_t>(len)) return false;
    if (!ReadExactly(fd, buf, 6)) return false;
    const size_t rest = (static_cast<size_t>(buf[4]) << 8) | buf[5];
    return ReadExactly(fd, buf + 6, rest);
}

struct Result {
    long requests = 0;
    long failures = 0;
};

Result ModbusClient(uint16_t port, int function, int address, int quantity, int count) {
    Result r;
    int fd = Connect(port);
    if (fd < 0) {
        r.failures = count;
        return r;
    }
    const unsigned char req[12] = {0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   6,
                                   1,
                                   static_cast<unsigned char>(function),
                                   static_cast<unsigned char>(address >> 8),
                                   static_cast<unsigned char>(address & 0xFF),
                                   static_cast<unsigned char>(quantity >> 8),
                                   static_cast<unsigned char>(quantity & 0xFF)};
    std::vector<unsigned char> buf(70000);
    for (int i = 0; i < count; ++i) {
        if (Transact(fd, req, sizeof req, buf.data()) && (buf[7] & 0x80) == 0)
            ++r.requests;
        else
            ++r.failures;
    }
    ::close(fd);
    return r;
}

Result TextClient(uint16_t port, int count) {
    Result r;
    int fd = Connect(port);
    if (fd < 0) {
        r.failures = count;
        return r;
    }
    const char cmd[] = "19!getnetid";
    unsigned char buf[64];
    for (int i = 0; i < count; ++i) {
        ::send(fd, cmd, sizeof cmd - 1, 0);
        // The reply has no terminator; the Net ID of the stand-in is "1".
        if (ReadExactly(fd, buf, 1) && buf[0] == '1')
            ++r.requests;
        else
            ++r.failures;
    }
    ::close(fd);
    return r;
}

template <typename Fn>
void Run(const char* name, int clients, Fn fn) {
    std::vector<Result> results(static_cast<size_t>(clients));
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] { results[static_cast<size_t>(c)] = fn(); });
    for (auto& t : threads) t.join();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    long ok = 0, failed = 0;
    for (const Result& r : results) {
        ok += r.requests;
        failed += r.failures;
    }
    std::printf("%-48s %2d client(s) %7ld requests %6.2f s %9.0f req/s %.1f us/req%s\n", name,
                clients, ok, s, ok / s, 1e6 * s / std::max(1L, ok),
                failed ? (" FAILURES: " + std::to_string(failed)).c_str() : "");
}

// The engine's own cost of one request, without sockets or the log.
void Engine(const char* name, int function, int address, int quantity, int count) {
    nxsim::StationEngine engine{nxsim::SimOptions()};
    const QByteArray frame = QByteArray::fromHex("000000000006 01") +
                             QByteArray(1, static_cast<char>(function)) +
                             QByteArray(1, static_cast<char>(address >> 8)) +
                             QByteArray(1, static_cast<char>(address & 0xFF)) +
                             QByteArray(1, static_cast<char>(quantity >> 8)) +
                             QByteArray(1, static_cast<char>(quantity & 0xFF));
    const nxsim::ModbusRequest req = nxsim::DecodeModbus(frame);
    long failed = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        if (static_cast<quint8>(engine.handleModbus(req).at(7)) & 0x80) ++failed;
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%-48s engine only %7d requests %6.2f s %9.0f req/s %.2f us/req%s\n", name, count,
                s, count / s, 1e6 * s / count,
                failed ? (" FAILURES: " + std::to_string(failed)).c_str() : "");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    nxsim::StationSim sim;
    nxsim::SimOptions opt;
    opt.logLimit = 100000;
    QString error;
    if (!sim.start(opt, &error)) {
        std::fprintf(stderr, "sim_load: %s\n", qPrintable(error));
        return 1;
    }
    const uint16_t mp = sim.modbusPort(), tp = sim.textPort();
    Engine("controller status FC4 0x0200 x42", 4, 0x0200, 42, 10 * n);
    Engine("module status FC4 0x0240 x120", 4, 0x0240, 120, 10 * n);
    Engine("AI image FC4 0x0000 x128", 4, 0x0000, 128, 10 * n);
    Engine("holding FC3 0x0000 x10", 3, 0x0000, 10, 10 * n);
    Run("controller status FC4 0x0200 x42 (sequential)", 1,
        [&] { return ModbusClient(mp, 4, 0x0200, 42, n); });
    Run("module status FC4 0x0240 x120 (sequential)", 1,
        [&] { return ModbusClient(mp, 4, 0x0240, 120, n); });
    Run("holding FC3 0x0000 x10 (sequential)", 1,
        [&] { return ModbusClient(mp, 3, 0x0000, 10, n); });
    Run("config read FC4 0x8020 x2 (sequential)", 1,
        [&] { return ModbusClient(mp, 4, 0x8020, 2, n); });
    Run("AI image FC4 0x0000 x128 (sequential)", 1,
        [&] { return ModbusClient(mp, 4, 0x0000, 128, n); });
    Run("PO image FC3 0x0100 x256 (sequential)", 1,
        [&] { return ModbusClient(mp, 3, 0x0100, 256, n); });
    Run("text 19!getnetid (sequential)", 1, [&] { return TextClient(tp, n); });
    Run("config read FC4 0x8020 x2, clients at once", 8,
        [&] { return ModbusClient(mp, 4, 0x8020, 2, n / 4); });
    Run("AI image FC4 0x0000 x128, clients at once", 8,
        [&] { return ModbusClient(mp, 4, 0x0000, 128, n / 4); });
    sim.stop();
    return 0;
}
