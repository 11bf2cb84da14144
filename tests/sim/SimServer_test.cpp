// The stand-in's servers against clients that misbehave on the socket level:
// pipelining without reading, resetting with replies still owed. Plain POSIX
// sockets, so that a test can reset a connection and send without blocking.
#include "sim/SimServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <atomic>
#include <thread>

#include "RawClient.h"
#include "sim/StationSim.h"

using namespace nxsim;
using nxsim_test::Frame;
using nxsim_test::RawClient;
using nxsim_test::Word;

namespace {

class PosixClient {
  public:
    explicit PosixClient(quint16 port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 2000);
    }
    ~PosixClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    // Sends what the socket takes now; returns how many bytes that was.
    qsizetype sendSome(const QByteArray& bytes) {
        const ssize_t n = ::send(fd_, bytes.constData(), static_cast<size_t>(bytes.size()),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        return n > 0 ? n : 0;
    }
    // Waits up to waitMs until the socket takes more bytes.
    void waitWritable(int waitMs) {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, waitMs);
    }
    // Reads what arrives within waitMs.
    QByteArray readSome(int waitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return {};
        QByteArray buf(1 << 16, '\0');
        const ssize_t n = ::recv(fd_, buf.data(), static_cast<size_t>(buf.size()), MSG_DONTWAIT);
        return n > 0 ? buf.left(n) : QByteArray();
    }
    // Closes with a reset: the replies not read are thrown away.
    void reset() {
        linger l{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

// count requests for the whole PO image (521-byte replies), transaction ids
// 0, 1, 2, ...
QByteArray Pipeline(int count) {
    QByteArray all;
    for (int i = 0; i < count; ++i) {
        QByteArray f = Frame(1, 3, 0x0100, 256);
        f[0] = static_cast<char>(i >> 8);
        f[1] = static_cast<char>(i & 0xFF);
        all += f;
    }
    return all;
}

quint64 LastSeq(const StationSim& sim) {
    const QVector<LogEntry> log = sim.log();
    return log.isEmpty() ? 0 : log.last().seq;
}

// Waits until the stand-in has logged nothing for 300 ms (at most 10 s);
// returns the last sequence number then.
quint64 SettledSeq(const StationSim& sim) {
    QElapsedTimer t;
    t.start();
    quint64 seen = LastSeq(sim);
    while (t.elapsed() < 10000 && sim.waitForLog(
                                      [&](const QVector<LogEntry>& log) {
                                          return !log.isEmpty() && log.last().seq > seen;
                                      },
                                      300))
        seen = LastSeq(sim);
    return seen;
}

class SimServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SimOptions opt;
        opt.liveInputs = false;
        opt.logLimit = 1000;  // the log is only asked for its sequence numbers
        ASSERT_TRUE(sim.start(opt));
    }
    StationSim sim;
};

}  // namespace

TEST_F(SimServerTest, ClientsThatResetWithRepliesOwedAreSurvived) {
    struct Case {
        const char* name;
        Channel channel;
        QByteArray requests;
    };
    const Case cases[] = {
        {"Modbus, large replies", Channel::Modbus, Pipeline(4000)},
        {"text commands", Channel::Text, QByteArray("19!getnetid").repeated(4000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const quint16 port = c.channel == Channel::Modbus ? sim.modbusPort() : sim.textPort();
        for (int round = 0; round < 4; ++round) {
            PosixClient hog(port);
            const quint64 before = LastSeq(sim);
            ASSERT_GT(hog.sendSome(c.requests), 0);
            // Reset while the stand-in is still answering.
            sim.waitForLog(
                [&](const QVector<LogEntry>& log) {
                    return !log.isEmpty() && log.last().seq > before + 50;
                },
                2000);
            hog.reset();
        }
        // Every client after that is served.
        RawClient fresh;
        ASSERT_TRUE(fresh.connectTo(sim.modbusPort()));
        EXPECT_EQ(Word(fresh.transact(Frame(1, 4, 0x8020, 2)), 9), 301);
    }
}

TEST_F(SimServerTest, PipeliningClientDoesNotStarveTheOthers) {
    // One client sends requests as fast as the socket takes them and never
    // reads; another's requests are answered within a link's reply time-out.
    std::atomic<bool> done{false};
    std::thread hog([&] {
        PosixClient c(sim.modbusPort());
        const QByteArray requests = Pipeline(1000);
        QElapsedTimer t;
        t.start();
        while (!done && t.elapsed() < 10000) {
            c.sendSome(requests);
            c.waitWritable(50);
        }
    });
    RawClient other;
    ASSERT_TRUE(other.connectTo(sim.modbusPort()));
    EXPECT_TRUE(sim.waitForLog(
        [](const QVector<LogEntry>& log) { return !log.isEmpty() && log.last().seq > 1000; },
        2000));
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Word(other.transact(Frame(1, 4, 0x8020, 2), 1000), 9), 301);
    }
    done = true;
    hog.join();
}

TEST_F(SimServerTest, ClientThatDoesNotReadIsHeldBackAndLosesNothing) {
    const int count = 40000;  // about 20 MB of replies, more than the kernel buffers hold
    const QByteArray requests = Pipeline(count);
    PosixClient hog(sim.modbusPort());
    qsizetype sent = 0;
    for (int i = 0; i < 100 && sent < requests.size(); ++i) {
        const qsizetype n = hog.sendSome(requests.mid(sent));
        if (n == 0) break;
        sent += n;
    }
    // While its replies are not read, the stand-in stops taking its requests
    // (each request logs two entries: received and sent).
    EXPECT_LT(SettledSeq(sim), 2u * count);

    // Once it reads, every reply comes, in order.
    QByteArray in;
    int replies = 0;
    bool inOrder = true;
    QElapsedTimer t;
    t.start();
    while (replies < count && t.elapsed() < 20000) {
        if (sent < requests.size()) sent += hog.sendSome(requests.mid(sent));
        in += hog.readSome(200);
        while (in.size() >= 6 && in.size() >= 6 + Word(in, 4)) {
            inOrder = inOrder && Word(in, 0) == (replies & 0xFFFF) && in.size() >= 521 &&
                      static_cast<quint8>(in[7]) == 3;
            in.remove(0, 6 + Word(in, 4));
            ++replies;
        }
    }
    EXPECT_EQ(replies, count);
    EXPECT_TRUE(inOrder);
}
