#include "loopback_support.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <stdexcept>

#include "platform/EventWait.h"

bool PumpUntil(const std::function<bool()>& done) { return rt::WaitUntil(done, 2000); }

LoopbackPeer::LoopbackPeer() {
    if (!server_.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("loopback peer cannot listen");
}

void LoopbackPeer::Accept(rt::WinsockControl& ws) {
    ws.SetRemoteHost("127.0.0.1");
    ws.SetRemotePort(server_.serverPort());
    ws.Connect();
    PumpUntil([&] { return ws.State() == rt::sckConnected && server_.hasPendingConnections(); });
    peer_ = server_.nextPendingConnection();
    if (peer_ == nullptr || ws.State() != rt::sckConnected)
        throw std::runtime_error("loopback peer did not connect");
    QObject::connect(peer_, &QTcpSocket::readyRead, [this] {
        const QByteArray b = peer_->readAll();
        received_.insert(received_.end(), b.begin(), b.end());
    });
}

void LoopbackPeer::Send(const Bytes& bytes) {
    peer_->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    peer_->flush();
}

Bytes LoopbackPeer::Received() {
    rt::DoEvents();
    return received_;
}

bool LoopbackPeer::WaitReceived(size_t n) {
    return PumpUntil([&] { return received_.size() >= n; });
}

void LoopbackPeer::CloseConnection() {
    if (peer_ != nullptr) {
        peer_->flush();
        peer_->disconnectFromHost();
    }
}

Bytes MakeReply(uint8_t unit, uint8_t function, const Bytes& body) {
    const size_t length = 2 + body.size();
    Bytes r(8 + body.size(), 0);
    r[4] = static_cast<uint8_t>(length >> 8);
    r[5] = static_cast<uint8_t>(length & 0xFF);
    r[6] = unit;
    r[7] = function;
    std::copy(body.begin(), body.end(), r.begin() + 8);
    return r;
}

Bytes RegistersReply(uint8_t unit, uint8_t function, uint8_t byteCount,
                     const std::vector<uint16_t>& regs) {
    Bytes body{byteCount};
    for (uint16_t v : regs) {
        body.push_back(static_cast<uint8_t>(v >> 8));
        body.push_back(static_cast<uint8_t>(v & 0xFF));
    }
    return MakeReply(unit, function, body);
}

Bytes RegistersReply(uint8_t unit, uint8_t function, const std::vector<uint16_t>& regs) {
    return RegistersReply(unit, function, static_cast<uint8_t>(2 * regs.size()), regs);
}
