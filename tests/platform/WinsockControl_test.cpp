#include "platform/WinsockControl.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include "platform/EventWait.h"
#include "platform/runtime.h"
#include "tests/support/Application.h"

namespace {

using testsupport::EnsureApplication;

using Bytes = std::vector<uint8_t>;

class WinsockControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureApplication();
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&ws, &rt::WinsockControl::DataArrival,
                         [this](qint64 total) { arrivals.push_back(total); });
        QObject::connect(&ws, &rt::WinsockControl::Error, [this](int number, const QString& text) {
            errors.push_back(number);
            errorTexts.push_back(text.toStdString());
        });
    }
    bool Pump(const std::function<bool()>& done) { return rt::WaitUntil(done, 5000); }
    void ConnectToServer() {
        ws.SetRemoteHost("127.0.0.1");
        ws.SetRemotePort(server.serverPort());
        ws.Connect();
        ASSERT_TRUE(
            Pump([&] { return ws.State() == rt::sckConnected && server.hasPendingConnections(); }));
        peer = server.nextPendingConnection();
        ASSERT_NE(peer, nullptr);
    }
    void PeerSend(const std::string& text) {
        peer->write(text.data(), static_cast<qint64>(text.size()));
        peer->flush();
    }
    QTcpServer server;
    QTcpSocket* peer = nullptr;
    rt::WinsockControl ws;
    std::vector<qint64> arrivals;
    std::vector<int> errors;
    std::vector<std::string> errorTexts;
};

TEST_F(WinsockControlTest, ConnectsAndReportsTheStandardStates) {
    EXPECT_EQ(ws.State(), rt::sckClosed);
    ws.SetRemoteHost("127.0.0.1");
    ws.SetRemotePort(server.serverPort());
    EXPECT_EQ(ws.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(ws.RemotePort(), server.serverPort());
    ws.Connect();
    EXPECT_EQ(ws.State(), rt::sckConnecting);
    ASSERT_TRUE(Pump([&] { return ws.State() == rt::sckConnected; }));
    ws.Close();
    EXPECT_EQ(ws.State(), rt::sckClosed);
    EXPECT_TRUE(errors.empty());
}

TEST_F(WinsockControlTest, RefusedConnectionRaisesTheErrorEvent) {
    const quint16 port = server.serverPort();
    server.close();  // nobody listens on that port any more
    ws.SetRemoteHost("127.0.0.1");
    ws.SetRemotePort(port);
    ws.Connect();
    ASSERT_TRUE(Pump([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0], rt::sckConnectRefused);
    EXPECT_FALSE(errorTexts[0].empty());
    EXPECT_EQ(ws.State(), rt::sckError);
    ws.Close();
    EXPECT_EQ(ws.State(), rt::sckClosed);
}

TEST_F(WinsockControlTest, SendingWhileNotConnectedRaises) {
    try {
        ws.SendData(Bytes{1, 2, 3});
        ADD_FAILURE() << "no error raised";
    } catch (const rt::RuntimeError& e) {
        EXPECT_EQ(e.Number(), rt::sckBadState);
    }
    EXPECT_THROW(ws.SendData(std::string_view("19!controller")), rt::RuntimeError);
}

TEST_F(WinsockControlTest, SendsBytesAndText) {
    ConnectToServer();
    ws.SendData(Bytes{0, 0, 0, 0, 0, 6, 1, 4, 0x80, 0x20, 0, 2});
    ws.SendData(std::string_view("19!getnetid"));
    QByteArray got;
    ASSERT_TRUE(Pump([&] {
        got += peer->readAll();
        return got.size() >= 23;
    }));
    EXPECT_EQ(got, QByteArray("\0\0\0\0\0\x06\x01\x04\x80\x20\0\x02", 12) + "19!getnetid");
}

TEST_F(WinsockControlTest, UnreadBytesStayQueuedInFrontOfLaterOnes) {
    ConnectToServer();
    PeerSend("ABCDEFGHIJ");
    ASSERT_TRUE(Pump([&] { return ws.BytesReceived() == 10; }));
    ASSERT_FALSE(arrivals.empty());
    EXPECT_EQ(arrivals.back(), 10);
    EXPECT_EQ(ws.PeekData(4), (Bytes{'A', 'B', 'C', 'D'}));
    EXPECT_EQ(ws.BytesReceived(), 10u);
    EXPECT_EQ(ws.GetData(4), (Bytes{'A', 'B', 'C', 'D'}));
    EXPECT_EQ(ws.BytesReceived(), 6u);
    // Nobody reads the rest: the next arrival counts it too.
    PeerSend("KL");
    ASSERT_TRUE(Pump([&] { return ws.BytesReceived() == 8; }));
    EXPECT_EQ(arrivals.back(), 8);
    EXPECT_EQ(ws.GetText(), "EFGHIJKL");
    EXPECT_EQ(ws.BytesReceived(), 0u);
    // Asking for more than is waiting gives what is there.
    PeerSend("MN");
    ASSERT_TRUE(Pump([&] { return ws.BytesReceived() == 2; }));
    EXPECT_EQ(ws.PeekData(100).size(), 2u);
    EXPECT_EQ(ws.GetData(100), (Bytes{'M', 'N'}));
    PeerSend("OP");
    ASSERT_TRUE(Pump([&] { return ws.BytesReceived() == 2; }));
    EXPECT_EQ(ws.GetData(), (Bytes{'O', 'P'}));
    PeerSend("QR");
    ASSERT_TRUE(Pump([&] { return ws.BytesReceived() == 2; }));
    ws.DiscardData();
    EXPECT_EQ(ws.BytesReceived(), 0u);
}

TEST_F(WinsockControlTest, PeerCloseLeavesTheConnectedStateButKeepsTheLastBytes) {
    ConnectToServer();
    PeerSend("bye");
    peer->disconnectFromHost();
    ASSERT_TRUE(Pump([&] { return ws.State() != rt::sckConnected; }));
    EXPECT_EQ(ws.State(), rt::sckClosing);
    ASSERT_TRUE(Pump([&] { return ws.BytesReceived() == 3; }));
    EXPECT_EQ(ws.GetText(), "bye");
    EXPECT_TRUE(errors.empty());
    EXPECT_THROW(ws.SendData(Bytes{1}), rt::RuntimeError);
}

TEST_F(WinsockControlTest, CloseDropsQueuedBytesAndKeepsTheTag) {
    ConnectToServer();
    ws.SetTag("33024");
    PeerSend("xyz");
    ASSERT_TRUE(Pump([&] { return ws.BytesReceived() == 3; }));
    ws.Close();
    EXPECT_EQ(ws.BytesReceived(), 0u);
    EXPECT_EQ(ws.Tag(), "33024");
    // A new connection starts with an empty queue; the tag still stands.
    ConnectToServer();
    EXPECT_EQ(ws.BytesReceived(), 0u);
    EXPECT_EQ(ws.Tag(), "33024");
}

}  // namespace
