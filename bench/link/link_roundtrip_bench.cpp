// Request/reply round trips on loopback, three clients side by side:
//   team       the program's road: WinsockControl, the reply framing, the
//              request gate and the event-pumping WaitForReply (for the
//              controller status read also the real reply dispatcher that
//              stores the reply)
//   bare       a blocking socket: send, then recv until the reply is whole
//   libmodbus  modbus_read_registers / modbus_read_input_registers (when the
//              benchmark was built with libmodbus)
// against two servers: a minimal one that answers every request at once
// (one thread per connection) and the station stand-in. A fourth client,
// "event loop", is the least an event-pumping wait costs (a plain socket
// with a read notifier), as a floor for the team road's own share; a fifth,
// "poll", waits in poll() without an event loop, the least any wait that
// watches more than its socket costs. Requests: function 3
// for 10 registers, and the controller status read (function 4, 42
// registers). Each run times every client in turn, the order rotated from
// run to run. Also measures the processor time of a wait that no reply ends.
//
// Usage: link_roundtrip_bench [round trips per client and run, default 4000]
//                             [runs, default 15]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef NX_HAVE_LIBMODBUS
#include <modbus/modbus.h>
#endif

#include "common/bench_stats.h"
#include "config/NodeConfig.h"
#include "link/ModbusFrame.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "link/ReplyDispatcher.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "platform/ticks.h"
#include "sim/StationSim.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "round-trip bench: %s\n", what);
    std::exit(1);
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

int ConnectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) Fail("connect");
    NoDelay(fd);
    return fd;
}

// Answers every read request (functions 3 and 4) at once with zeros,
// echoing its transaction id and unit id.
void Answer(int fd) {
    NoDelay(fd);
    uint8_t q[12];
    std::vector<uint8_t> r;
    while (ReadExactly(fd, q, sizeof q)) {
        const int count = q[10] << 8 | q[11];
        r.assign(9 + 2 * static_cast<size_t>(count), 0);
        r[0] = q[0];
        r[1] = q[1];
        r[4] = static_cast<uint8_t>((3 + 2 * count) >> 8);
        r[5] = static_cast<uint8_t>(3 + 2 * count);
        r[6] = q[6];
        r[7] = q[7];
        r[8] = static_cast<uint8_t>(2 * count);
        if (!WriteAll(fd, r.data(), r.size())) break;
    }
    ::close(fd);
}

class MinimalServer {
  public:
    MinimalServer() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            Fail("listen");
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] {
            for (;;) {
                const int c = ::accept(fd_, nullptr, nullptr);
                if (c < 0) return;
                std::thread(Answer, c).detach();
            }
        });
    }
    ~MinimalServer() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        acceptor_.join();
    }
    uint16_t port() const { return port_; }

  private:
    int fd_;
    uint16_t port_ = 0;
    std::thread acceptor_;
};

struct Request {
    const char* name;
    uint8_t function;
    uint16_t start;
    uint16_t count;
    bool dispatcher;  // the team road stores the reply through the real dispatcher
};

// One client of one kind, connected to one server for the whole benchmark.
struct Client {
    std::string name;
    std::function<bool()> once;
    std::function<void()> close;
    // Tested after every warm-up trip, outside the timing: false when the
    // trip left something behind that would cost the next one.
    std::function<bool()> settled = [] { return true; };
};

Client TeamClient(uint16_t port, const Request& rq, uint8_t unit) {
    auto ws = std::make_shared<rt::WinsockControl>();
    if (rq.dispatcher) {
        ConnectModbusReplyHandler(*ws);
    } else {
        // The reply framing and the request gate of the link, as the
        // program's handler has them, without storing: a whole reply that
        // the gate takes as the request's own completes its wait. A handler
        // that completed the wait without the gate would leave the request
        // outstanding, and the next send would wait for its give-up.
        QObject::connect(ws.get(), &rt::WinsockControl::DataArrival, ws.get(), [w = ws.get()] {
            nxlink::TakeModbusReplies(*w, [](std::span<const uint8_t>, std::string& key) {
                key = KeyDone;
                return DispatchResult{DispatchOutcome::Stored, 0, {}};
            });
        });
    }
    ws->SetRemoteHost("127.0.0.1");
    ws->SetRemotePort(port);
    ws->Connect();
    rt::WaitUntil([&] { return ws->State() == rt::sckConnected; }, 3000);
    if (ws->State() != rt::sckConnected) Fail("team connect");
    auto frame =
        std::make_shared<ModbusFrame>(BuildReadRequest(unit, rq.function, rq.start, rq.count));
    const std::string key = rq.dispatcher ? KeyMcuStatus : KeyMonitorImage;
    return {"team",
            [ws, frame, key] {
                return SendRequestAndWait(*ws, key, *frame, 500) == ReplyOutcome::Done;
            },
            [ws] { ws->Close(); },
            // A trip that leaves its request outstanding is not the road.
            [ws] { return !nxlink::ModbusGateBusy(*ws); }};
}

Client BareClient(uint16_t port, const Request& rq, uint8_t unit) {
    const int fd = ConnectTo(port);
    auto frame =
        std::make_shared<ModbusFrame>(BuildReadRequest(unit, rq.function, rq.start, rq.count));
    auto reply = std::make_shared<std::vector<uint8_t>>(9 + 2 * static_cast<size_t>(rq.count));
    return {"bare",
            [fd, frame, reply] {
                return WriteAll(fd, frame->data(), frame->size()) &&
                       ReadExactly(fd, reply->data(), reply->size());
            },
            [fd] { ::close(fd); }};
}

// The least an event-loop wait can cost: a plain socket, a read notifier and
// QCoreApplication::processEvents blocking until the whole reply has been
// read, no deadline timer, no framing. What the team road adds to this is
// its own; what this adds to the bare socket is the event loop's.
Client EventLoopClient(uint16_t port, const Request& rq, uint8_t unit) {
    const int fd = ConnectTo(port);
    auto frame =
        std::make_shared<ModbusFrame>(BuildReadRequest(unit, rq.function, rq.start, rq.count));
    const size_t want = 9 + 2 * static_cast<size_t>(rq.count);
    auto got = std::make_shared<size_t>(0);
    auto notifier = std::make_shared<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [fd, got] {
        uint8_t buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) *got += static_cast<size_t>(n);
    });
    return {"event loop",
            [fd, frame, got, want] {
                *got = 0;
                if (!WriteAll(fd, frame->data(), frame->size())) return false;
                while (*got < want)
                    QCoreApplication::processEvents(QEventLoop::AllEvents |
                                                    QEventLoop::WaitForMoreEvents);
                return *got == want;
            },
            [fd, notifier] {
                notifier->setEnabled(false);
                ::close(fd);
            }};
}

// The least any wait that watches more than the one socket costs: a plain
// socket, poll() until it is readable, then a non-blocking read; no event
// loop. Against the bare socket it shows the price of the one extra system
// call that every event loop pays.
Client PollClient(uint16_t port, const Request& rq, uint8_t unit) {
    const int fd = ConnectTo(port);
    auto frame =
        std::make_shared<ModbusFrame>(BuildReadRequest(unit, rq.function, rq.start, rq.count));
    const size_t want = 9 + 2 * static_cast<size_t>(rq.count);
    return {"poll",
            [fd, frame, want] {
                if (!WriteAll(fd, frame->data(), frame->size())) return false;
                uint8_t buffer[512];
                size_t got = 0;
                while (got < want) {
                    pollfd p{fd, POLLIN, 0};
                    if (::poll(&p, 1, 1000) != 1) return false;
                    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                    if (n <= 0) return false;
                    got += static_cast<size_t>(n);
                }
                return got == want;
            },
            [fd] { ::close(fd); }};
}

#ifdef NX_HAVE_LIBMODBUS
Client LibmodbusClient(uint16_t port, const Request& rq, uint8_t unit) {
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    if (ctx == nullptr || modbus_set_slave(ctx, unit) != 0 || modbus_connect(ctx) != 0)
        Fail("libmodbus connect");
    auto regs = std::make_shared<std::vector<uint16_t>>(rq.count);
    const Request r = rq;
    return {"libmodbus",
            [ctx, r, regs] {
                const int n =
                    r.function == FcReadHoldingRegisters
                        ? modbus_read_registers(ctx, r.start, r.count, regs->data())
                        : modbus_read_input_registers(ctx, r.start, r.count, regs->data());
                return n == r.count;
            },
            [ctx] {
                modbus_close(ctx);
                modbus_free(ctx);
            }};
}
#endif

// Microseconds per round trip of `trips` round trips.
double TimeTrips(Client& c, int trips) {
    const double t0 = bench::NowMs();
    for (int i = 0; i < trips; ++i)
        if (!c.once()) Fail(("a round trip of " + c.name + " failed").c_str());
    return (bench::NowMs() - t0) * 1000.0 / trips;
}

void Compare(const std::string& server, uint16_t port, const Request& rq, uint8_t unit, int trips,
             int runs) {
    std::vector<Client> clients = {TeamClient(port, rq, unit), BareClient(port, rq, unit),
                                   EventLoopClient(port, rq, unit), PollClient(port, rq, unit)};
#ifdef NX_HAVE_LIBMODBUS
    clients.push_back(LibmodbusClient(port, rq, unit));
#endif
    // For profiling one client: LINK_ROUNDTRIP_ONLY=team, bare, event loop, poll or libmodbus.
    if (const char* only = std::getenv("LINK_ROUNDTRIP_ONLY")) {
        for (Client& c : clients)
            if (c.name != only) c.once = [] { return true; };
    }
    for (Client& c : clients)
        for (int i = 0; i < 500; ++i) {
            if (!c.once()) Fail(("warm-up of " + c.name + " failed").c_str());
            if (!c.settled())
                Fail(("a warm-up trip of " + c.name + " left its request outstanding").c_str());
        }
    std::vector<std::vector<double>> us(clients.size());
    for (int run = 0; run < runs; ++run)
        for (size_t k = 0; k < clients.size(); ++k) {
            const size_t i = (k + static_cast<size_t>(run)) % clients.size();
            us[i].push_back(TimeTrips(clients[i], trips));
        }
    for (Client& c : clients) c.close();
    const std::string name = std::string("round trip ") + rq.name + ", " + server;
    const std::string note = std::to_string(trips) + " trips x " + std::to_string(runs) + " runs";
    bench::PrintRow(name, "us", "team", us[0], "bare socket", us[1], note);
    bench::PrintRow(name, "us", "event loop", us[2], "bare socket", us[1], note);
    bench::PrintRow(name, "us", "poll", us[3], "bare socket", us[1], note);
    if (clients.size() > 4) {
        bench::PrintRow(name, "us", "team", us[0], "libmodbus", us[4], note);
    } else {
        std::printf("ROW|%s|us|team|-|-|-|libmodbus|-|-|-|-|-|-|not built with libmodbus\n",
                    name.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int trips = argc > 1 ? std::max(10, std::atoi(argv[1])) : 4000;
    const int runs = argc > 2 ? std::max(3, std::atoi(argv[2])) : 15;

    nxsim::StationSim sim;
    QString error;
    if (!sim.start(nxsim::SimOptions(), &error)) Fail("stand-in did not start");
    const uint8_t unit = static_cast<uint8_t>(sim.netId());
    ConfigReal[0].NetID = static_cast<int16_t>(unit);
    MinimalServer minimal;

    const Request requests[] = {
        {"fc 3 x 10", FcReadHoldingRegisters, 0, 10, false},
        {"status fc 4 x 42", FcReadInputRegisters, RegMcuStatus.Start, RegMcuStatus.Quantity, true},
    };
    std::printf("machine: %s\n", bench::CpuModel().c_str());
    for (const Request& rq : requests) {
        Compare("minimal server", minimal.port(), rq, unit, trips, runs);
        Compare("stand-in", sim.modbusPort(), rq, unit, trips / 2, runs);
    }

    // A wait that no reply ends: a request key that nothing completes, 1 s.
    rt::WinsockControl idle;
    idle.SetTag(KeyMcuStatus);
    const double cpu0 = bench::ThreadCpuMs(), t0 = bench::NowMs();
    const ReplyOutcome o = WaitForReply(idle, 1000);
    std::printf("idle wait: %.0f ms wall, %.3f ms processor (%s)\n", bench::NowMs() - t0,
                bench::ThreadCpuMs() - cpu0,
                o == ReplyOutcome::TimedOut ? "timed out as expected" : "UNEXPECTED");
    sim.stop();
    return 0;
}
