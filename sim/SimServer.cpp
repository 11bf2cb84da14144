#include "sim/SimServer.h"

#include <QRandomGenerator>
#include <QThread>

namespace nxsim {

SimServer::SimServer(StationEngine* engine) : engine_(engine) {}

SimServer::~SimServer() = default;

bool SimServer::listen(const QHostAddress& address, quint16 modbusPort, quint16 textPort) {
    modbus_ = new QTcpServer(this);
    text_ = new QTcpServer(this);
    if (!modbus_->listen(address, modbusPort)) {
        error_ = QString("cannot listen on %1 port %2 (Modbus TCP): %3")
                     .arg(address.toString())
                     .arg(modbusPort)
                     .arg(modbus_->errorString());
        return false;
    }
    if (!text_->listen(address, textPort)) {
        error_ = QString("cannot listen on %1 port %2 (text commands): %3")
                     .arg(address.toString())
                     .arg(textPort)
                     .arg(text_->errorString());
        modbus_->close();
        return false;
    }
    modbusPort_ = modbus_->serverPort();
    textPort_ = text_->serverPort();
    connect(modbus_, &QTcpServer::newConnection, this,
            [this] { accept(modbus_, Channel::Modbus); });
    connect(text_, &QTcpServer::newConnection, this, [this] { accept(text_, Channel::Text); });
    return true;
}

void SimServer::shutdown(QThread* handBackTo) {
    for (auto& [socket, c] : conns_) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        if (c.timer) c.timer->deleteLater();
    }
    conns_.clear();
    delete modbus_;
    delete text_;
    modbus_ = text_ = nullptr;
    moveToThread(handBackTo);
}

void SimServer::accept(QTcpServer* server, Channel channel) {
    while (QTcpSocket* s = server->nextPendingConnection()) {
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        Conn& c = conns_[s];
        c.channel = channel;
        c.number = nextConn_[channel == Channel::Modbus ? 0 : 1]++;
        c.socket = s;
        c.timer = new QTimer(this);
        c.timer->setSingleShot(true);
        connect(c.timer, &QTimer::timeout, this, [this, s] {
            auto it = conns_.find(s);
            if (it != conns_.end()) flush(it->second);
        });
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            auto it = conns_.find(s);
            if (it == conns_.end()) return;
            if (it->second.channel == Channel::Modbus)
                readModbus(it->second);
            else
                readText(it->second);
        });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { drop(s); });
    }
}

void SimServer::drop(QTcpSocket* socket) {
    auto it = conns_.find(socket);
    if (it == conns_.end()) return;
    if (it->second.timer) it->second.timer->deleteLater();
    conns_.erase(it);
    socket->deleteLater();
}

void SimServer::closeLater(QTcpSocket* socket) {
    // Closed from the event loop, so that no handler loses its connection
    // record while it still works on it.
    QMetaObject::invokeMethod(
        socket, [socket] { socket->disconnectFromHost(); }, Qt::QueuedConnection);
}

void SimServer::readModbus(Conn& c) {
    QTcpSocket* s = c.socket;
    c.in.append(s->readAll());
    while (!c.closing) {
        const int len = ModbusFrameLength(c.in);
        if (len == 0) return;
        if (len < 0) {
            // Not a Modbus TCP header: log what came and drop the connection,
            // as a station does with a stream it cannot frame.
            engine_->logFrame(Channel::Modbus, Direction::Received, c.number, c.in, nullptr);
            c.in.clear();
            c.closing = true;
            closeLater(s);
            return;
        }
        const QByteArray frame = c.in.left(len);
        c.in.remove(0, len);
        const ModbusRequest req = DecodeModbus(frame);
        engine_->logFrame(Channel::Modbus, Direction::Received, c.number, frame, &req);
        const std::optional<FaultRule> fault = engine_->takeFault(Channel::Modbus, &req, {});
        QByteArray reply;
        if (fault && fault->kind == FaultKind::Exception) {
            reply = ModbusException(req, static_cast<uint8_t>(fault->exceptionCode));
        } else if (fault && (fault->kind == FaultKind::NoReply ||
                             fault->kind == FaultKind::CloseConnection)) {
            // the request is lost: the station does not act on it
        } else {
            reply = engine_->handleModbus(req);
        }
        if (fault && fault->kind == FaultKind::WrongUnitId && reply.size() > 6)
            reply[6] = static_cast<char>(static_cast<quint8>(reply[6]) + 1);
        respond(c, reply, fault, Channel::Modbus);
    }
}

void SimServer::readText(Conn& c) {
    c.in.append(c.socket->readAll());
    const QVector<QByteArray> commands = SplitTextCommands(c.in);
    for (const QByteArray& cmd : commands) {
        if (c.closing) return;
        engine_->logFrame(Channel::Text, Direction::Received, c.number, cmd, nullptr);
        const std::optional<FaultRule> fault = engine_->takeFault(Channel::Text, nullptr, cmd);
        QByteArray reply;
        if (fault && fault->kind == FaultKind::TextRefuse)
            reply = "-1";
        else if (!(fault && (fault->kind == FaultKind::NoReply ||
                             fault->kind == FaultKind::CloseConnection)))
            reply = engine_->handleText(cmd);
        respond(c, reply, fault, Channel::Text);
    }
}

void SimServer::respond(Conn& c, const QByteArray& reply, const std::optional<FaultRule>& fault,
                        Channel channel) {
    Q_UNUSED(channel);
    if (!fault) {
        if (!reply.isEmpty()) enqueue(c, reply, 0, false);
        return;
    }
    switch (fault->kind) {
        case FaultKind::NoReply:
            return;
        case FaultKind::CloseConnection:
            enqueue(c, {}, fault->delayMs, true);
            return;
        case FaultKind::Delay:
            enqueue(c, reply, fault->delayMs, false);
            return;
        case FaultKind::Split: {
            const int pieces =
                std::max(2, std::min<int>(fault->pieces, static_cast<int>(reply.size())));
            const int size = static_cast<int>(reply.size());
            int at = 0;
            for (int i = 0; i < pieces; ++i) {
                const int end = (i + 1 == pieces) ? size : size * (i + 1) / pieces;
                enqueue(c, reply.mid(at, end - at), i == 0 ? 0 : fault->delayMs, false);
                at = end;
            }
            return;
        }
        case FaultKind::DoubleReply:
            enqueue(c, reply + reply, 0, false);
            return;
        case FaultKind::TrailingJunk:
            enqueue(c, reply + (fault->garbage.isEmpty() ? QByteArray("\xDE\xAD") : fault->garbage),
                    fault->delayMs, false);
            return;
        case FaultKind::Garbage: {
            QByteArray g = fault->garbage;
            if (g.isEmpty()) {
                g.resize(12);
                for (auto& b : g) b = static_cast<char>(QRandomGenerator::global()->bounded(256));
            }
            enqueue(c, g, fault->delayMs, false);
            return;
        }
        case FaultKind::ClosePartial:
            enqueue(c, reply.left(std::max<qsizetype>(1, reply.size() / 2)), fault->delayMs, true);
            return;
        case FaultKind::Exception:
        case FaultKind::WrongUnitId:
        case FaultKind::TextRefuse:
            enqueue(c, reply, fault->delayMs, false);
            return;
    }
}

void SimServer::enqueue(Conn& c, const QByteArray& data, qint64 delayMs, bool closeAfter) {
    // Each reply goes out after the ones queued before it.
    const qint64 now = engine_->nowMs();
    qint64 due = now + delayMs;
    if (!c.out.empty()) due = std::max(due, c.out.back().due + delayMs);
    c.out.push_back(Outgoing{data, due, closeAfter});
    if (closeAfter) c.closing = true;
    flush(c);
}

void SimServer::flush(Conn& c) {
    const qint64 now = engine_->nowMs();
    while (!c.out.empty() && c.out.front().due <= now) {
        Outgoing o = std::move(c.out.front());
        c.out.pop_front();
        if (!o.data.isEmpty()) {
            engine_->logFrame(c.channel, Direction::Sent, c.number, o.data, nullptr);
            c.socket->write(o.data);
            c.socket->flush();
        }
        if (o.closeAfter) {
            c.out.clear();
            closeLater(c.socket);
            return;
        }
    }
    if (!c.out.empty())
        c.timer->start(static_cast<int>(std::max<qint64>(0, c.out.front().due - now)));
}

}  // namespace nxsim
