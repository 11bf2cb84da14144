#include "sim/SimServer.h"

#include <sys/socket.h>

#include <QRandomGenerator>
#include <QThread>
#include <algorithm>

#include "sim/SimLog.h"

namespace nxsim {

namespace {

// A read reply (functions 1 to 4) with its data cut to byteCount bytes, the
// byte count and the MBAP length saying so; other replies unchanged.
QByteArray ShortReadReply(QByteArray reply, int byteCount) {
    if (reply.size() < 9) return reply;
    const int function = static_cast<quint8>(reply[7]);
    if (function < 1 || function > 4) return reply;
    const int keep = std::clamp(byteCount, 0, static_cast<int>(reply.size()) - 9);
    reply.truncate(9 + keep);
    reply[8] = static_cast<char>(keep & 0xFF);
    const int length = 3 + keep;
    reply[4] = static_cast<char>(length >> 8);
    reply[5] = static_cast<char>(length & 0xFF);
    return reply;
}

// Whether the fault loses the request: the station neither acts on it nor
// replies.
bool Swallows(const std::optional<FaultRule>& fault) {
    return fault &&
           (fault->kind == FaultKind::NoReply || fault->kind == FaultKind::CloseConnection);
}

}  // namespace

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
        if (!c.gone) socket->abort();
        socket->deleteLater();
        // Gone here, on the server's thread: a timer still running when the
        // server moves back to its owner's thread would be handed over there,
        // with a call that thread may never get to before the program ends.
        delete c.timer;
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
        // What a client sends beyond this waits in TCP, not in memory here.
        s->setReadBufferSize(kReadBufferBytes);
        qCDebug(lcSim, "%s client from port %u", channel == Channel::Modbus ? "Modbus" : "text",
                s->peerPort());
        Conn& c = conns_[s];
        c.channel = channel;
        c.number = nextConn_[channel == Channel::Modbus ? 0 : 1]++;
        c.socket = s;
        c.timer = new QTimer(this);
        c.timer->setSingleShot(true);
        // A coarse timer may end 5 % late, which a pause of several hundred
        // milliseconds between a reply's pieces would show.
        c.timer->setTimerType(Qt::PreciseTimer);
        connect(c.timer, &QTimer::timeout, this, [this, s] {
            auto it = conns_.find(s);
            if (it != conns_.end() && !it->second.gone) flush(it->second);
        });
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            auto it = conns_.find(s);
            if (it != conns_.end()) serve(it->second);
        });
        connect(s, &QTcpSocket::bytesWritten, this, [this, s] {
            auto it = conns_.find(s);
            if (it != conns_.end() && it->second.held && !backedUp(it->second))
                resumeLater(it->second);
        });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { drop(s); });
    }
}

void SimServer::drop(QTcpSocket* socket) {
    // The disconnection can be reported from inside a write, with a handler
    // of this connection further up the stack: the record is only marked
    // here and removed once the event loop is back at the top.
    auto it = conns_.find(socket);
    if (it == conns_.end() || it->second.gone) return;
    Conn& c = it->second;
    qCDebug(lcSim, "client %d dropped", c.number);
    c.gone = true;
    c.out.clear();
    c.copies.clear();
    c.commands.clear();
    c.in.clear();
    if (c.timer) c.timer->stop();
    socket->disconnect(this);
    QMetaObject::invokeMethod(
        this,
        [this, socket] {
            auto at = conns_.find(socket);
            if (at == conns_.end()) return;
            if (at->second.timer) at->second.timer->deleteLater();
            conns_.erase(at);
            socket->deleteLater();
        },
        Qt::QueuedConnection);
}

void SimServer::closeLater(QTcpSocket* socket) {
    // Closed from the event loop, so that no handler loses its connection
    // record while it still works on it.
    QMetaObject::invokeMethod(
        socket, [socket] { socket->disconnectFromHost(); }, Qt::QueuedConnection);
}

bool SimServer::backedUp(const Conn& c) const {
    return c.socket->bytesToWrite() >= kOutputBytes ||
           c.out.size() + c.copies.size() >= static_cast<size_t>(kQueuedReplies);
}

void SimServer::resumeLater(Conn& c) {
    c.held = false;
    if (c.resuming) return;
    c.resuming = true;
    QTcpSocket* s = c.socket;
    QMetaObject::invokeMethod(
        this,
        [this, s] {
            auto it = conns_.find(s);
            if (it == conns_.end()) return;
            it->second.resuming = false;
            serve(it->second);
        },
        Qt::QueuedConnection);
}

void SimServer::serve(Conn& c) {
    for (int n = 0; n < kRequestsPerTurn; ++n) {
        if (c.gone || c.closing) return;
        if (backedUp(c)) {
            c.held = true;  // bytesWritten or the reply timer resumes it
            return;
        }
        if (!(c.channel == Channel::Modbus ? serveModbus(c) : serveText(c))) return;
    }
    // More may be waiting: served again after the other connections' turn.
    if (!c.gone && !c.closing) resumeLater(c);
}

bool SimServer::serveModbus(Conn& c) {
    QTcpSocket* s = c.socket;
    int len = ModbusFrameLength(c.in);
    while (len == 0 && s->bytesAvailable() > 0) {
        c.in.append(s->read(kReadChunkBytes));
        len = ModbusFrameLength(c.in);
    }
    if (len == 0) return false;
    if (len < 0) {
        // Not a Modbus TCP header: log what came and drop the connection,
        // as a station does with a stream it cannot frame.
        engine_->logFrame(Channel::Modbus, Direction::Received, c.number, c.in, nullptr);
        c.in.clear();
        c.closing = true;
        closeLater(s);
        return false;
    }
    const QByteArray frame = c.in.left(len);
    c.in.remove(0, len);
    const ModbusRequest req = DecodeModbus(frame);
    // The fault is taken first, so that the log says at once whether the
    // request was swallowed.
    const std::optional<FaultRule> fault = engine_->takeFault(Channel::Modbus, &req, {});
    engine_->logFrame(Channel::Modbus, Direction::Received, c.number, frame, &req, Swallows(fault));
    if (fault)
        qCDebug(lcSim, "fault %d on a function %d request", static_cast<int>(fault->kind),
                req.function);
    QByteArray reply;
    if (fault && fault->kind == FaultKind::Exception) {
        reply = ModbusException(req, static_cast<uint8_t>(fault->exceptionCode));
    } else if (Swallows(fault)) {
        // the request is lost: the station does not act on it
    } else {
        reply = engine_->handleModbus(req);
    }
    if (fault && fault->kind == FaultKind::WrongUnitId && reply.size() > 6)
        reply[6] = static_cast<char>(static_cast<quint8>(reply[6]) + 1);
    if (fault && fault->kind == FaultKind::ShortReply)
        reply = ShortReadReply(reply, fault->byteCount);
    respond(c, reply, fault, Channel::Modbus);
    return true;
}

bool SimServer::serveText(Conn& c) {
    while (c.commands.empty()) {
        if (c.socket->bytesAvailable() == 0) return false;
        c.in.append(c.socket->read(kReadChunkBytes));
        for (QByteArray& cmd : SplitTextCommands(c.in)) c.commands.push_back(std::move(cmd));
    }
    const QByteArray cmd = std::move(c.commands.front());
    c.commands.pop_front();
    const std::optional<FaultRule> fault = engine_->takeFault(Channel::Text, nullptr, cmd);
    engine_->logFrame(Channel::Text, Direction::Received, c.number, cmd, nullptr, Swallows(fault));
    QByteArray reply;
    if (fault && fault->kind == FaultKind::TextRefuse)
        reply = "-1";
    else if (!Swallows(fault))
        reply = engine_->handleText(cmd);
    respond(c, reply, fault, Channel::Text);
    return true;
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
        case FaultKind::ServiceTime:
            // Work starts at the request's arrival or when the reply before
            // it went out, whichever is later.
            enqueue(c, reply, fault->delayMs, false, fault->delayMs);
            return;
        case FaultKind::Split: {
            const int pieces =
                std::max(2, std::min<int>(fault->pieces, static_cast<int>(reply.size())));
            const int size = static_cast<int>(reply.size());
            int at = 0;
            for (int i = 0; i < pieces; ++i) {
                const int end = (i + 1 == pieces) ? size : size * (i + 1) / pieces;
                const int pause = i == 0 ? 0 : fault->delayMs;
                enqueue(c, reply.mid(at, end - at), pause, false, pause);
                at = end;
            }
            return;
        }
        case FaultKind::Repeat:
            if (!reply.isEmpty()) enqueue(c, reply, 0, false, 0, std::max(0, fault->delayMs));
            return;
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
        case FaultKind::ShortReply:
        case FaultKind::TextRefuse:
            enqueue(c, reply, fault->delayMs, false);
            return;
    }
}

void SimServer::enqueue(Conn& c, const QByteArray& data, qint64 delayMs, bool closeAfter,
                        qint64 gapMs, qint64 repeatMs) {
    // Each reply goes out after the ones queued before it, at least delayMs
    // after the planned time of the one before it and gapMs after that one
    // actually went out.
    const qint64 now = engine_->nowMs();
    qint64 due = now + delayMs;
    if (!c.out.empty()) due = std::max(due, c.out.back().due + delayMs);
    c.out.push_back(Outgoing{data, due, gapMs, closeAfter, repeatMs});
    if (closeAfter) c.closing = true;
    flush(c);
}

void SimServer::send(Conn& c, const QByteArray& data) {
    // Straight to TCP when nothing waits in the socket's own buffer: the
    // socket's write() would switch its write notifier on and off around
    // the reply, which wakes the event loop twice more per reply. What TCP
    // does not take at once, and every failure, goes the socket's way.
    qsizetype sent = 0;
    if (c.socket->bytesToWrite() == 0) {
        const ssize_t n = ::send(static_cast<int>(c.socket->socketDescriptor()), data.constData(),
                                 static_cast<size_t>(data.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) sent = static_cast<qsizetype>(n);
    }
    if (sent == data.size()) return;
    // A write can find the connection reset and report the disconnection at
    // once (drop() marks the record gone).
    c.socket->write(data.constData() + sent, data.size() - sent);
    if (!c.gone) c.socket->flush();
}

void SimServer::flush(Conn& c) {
    const qint64 now = engine_->nowMs();
    const auto sendAt = [&c](const Outgoing& o) { return std::max(o.due, c.lastSentMs + o.gapMs); };
    while (!c.gone) {
        const bool replyDue = !c.out.empty() && sendAt(c.out.front()) <= now;
        const bool copyDue = !c.copies.empty() && c.copies.begin()->first <= now;
        if (!replyDue && !copyDue) break;
        // Whatever is due first goes first; a copy before a reply due at the
        // same time, as it was planned earlier. A copy does not count as a
        // reply sent for the service time of the replies behind it.
        if (copyDue && (!replyDue || c.copies.begin()->first <= sendAt(c.out.front()))) {
            const Copy copy = std::move(c.copies.begin()->second);
            c.copies.erase(c.copies.begin());
            engine_->logFrame(c.channel, Direction::Sent, c.number, copy.data, nullptr, false,
                              copy.copyOf);
            send(c, copy.data);
            continue;
        }
        Outgoing o = std::move(c.out.front());
        c.out.pop_front();
        c.lastSentMs = now;
        if (!o.data.isEmpty()) {
            const quint64 seq =
                engine_->logFrame(c.channel, Direction::Sent, c.number, o.data, nullptr);
            send(c, o.data);
            if (o.repeatMs >= 0) c.copies.emplace(now + o.repeatMs, Copy{o.data, seq});
        }
        if (o.closeAfter) {
            c.out.clear();
            c.copies.clear();
            if (!c.gone) closeLater(c.socket);
            return;
        }
    }
    if (c.gone) return;
    qint64 next = -1;
    if (!c.out.empty()) next = sendAt(c.out.front());
    if (!c.copies.empty())
        next = next < 0 ? c.copies.begin()->first : std::min(next, c.copies.begin()->first);
    if (next >= 0) c.timer->start(static_cast<int>(std::max<qint64>(0, next - now)));
    if (c.held && !backedUp(c)) resumeLater(c);
}

}  // namespace nxsim
