#include "platform/WinsockControl.h"

#include <sys/socket.h>

#include <QTcpSocket>
#include <algorithm>

#include "platform/EventWait.h"
#include "platform/runtime.h"

namespace rt {

namespace {

int ErrorNumberOf(QAbstractSocket::SocketError e) {
    switch (e) {
        case QAbstractSocket::ConnectionRefusedError:
            return sckConnectRefused;
        case QAbstractSocket::HostNotFoundError:
            return sckHostNotFound;
        case QAbstractSocket::SocketTimeoutError:
            return sckTimedout;
        case QAbstractSocket::NetworkError:
            return sckNetworkError;
        case QAbstractSocket::RemoteHostClosedError:
            return sckConnectionReset;
        default:
            return sckOtherError;
    }
}

}  // namespace

WinsockControl::WinsockControl(QObject* parent) : QObject(parent), socket_(new QTcpSocket(this)) {
    connect(socket_, &QTcpSocket::readyRead, this, &WinsockControl::OnReadyRead);
    connect(socket_, &QAbstractSocket::errorOccurred, this, &WinsockControl::OnSocketError);
    connect(socket_, &QAbstractSocket::connected, this, [this] {
        // Requests are small and each waits for its reply: sent at once.
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        WakeWaits();
    });
    connect(socket_, &QAbstractSocket::disconnected, this, [this] {
        // Bytes that came in just before the close are still delivered.
        if (socket_->bytesAvailable() > 0) OnReadyRead();
        peerClosed_ = true;
        WakeWaits();
    });
}

WinsockControl::~WinsockControl() = default;

void WinsockControl::Connect() {
    socket_->abort();
    received_.clear();
    failed_ = false;
    peerClosed_ = false;
    // Unbuffered: SendData goes straight to the socket, without a write
    // buffer and its notifier round.
    socket_->connectToHost(QString::fromStdString(remoteHost_), remotePort_,
                           QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void WinsockControl::Close() {
    socket_->abort();
    received_.clear();
    failed_ = false;
    peerClosed_ = false;
}

int WinsockControl::State() const {
    switch (socket_->state()) {
        case QAbstractSocket::HostLookupState:
            return sckResolvingHost;
        case QAbstractSocket::ConnectingState:
            return sckConnecting;
        case QAbstractSocket::ConnectedState:
            return sckConnected;
        case QAbstractSocket::ClosingState:
            return sckClosing;
        case QAbstractSocket::BoundState:
            return sckOpen;
        case QAbstractSocket::ListeningState:
            return sckListening;
        case QAbstractSocket::UnconnectedState:
            break;
    }
    if (peerClosed_) return sckClosing;
    if (failed_) return sckError;
    return sckClosed;
}

RuntimeError NotConnectedError() {
    return RuntimeError(sckBadState,
                        "Wrong protocol or connection state for the requested transaction or "
                        "request");
}

void WinsockControl::SendData(const std::vector<uint8_t>& bytes) {
    if (State() != sckConnected) throw NotConnectedError();
    const qint64 sent = socket_->write(reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<qint64>(bytes.size()));
    if (sent < 0)
        throw RuntimeError(ErrorNumberOf(socket_->error()), socket_->errorString().toStdString());
    socket_->flush();
}

void WinsockControl::SendData(std::string_view text) {
    SendData(std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> WinsockControl::GetData() { return GetData(BytesReceived()); }

std::string WinsockControl::GetText() {
    std::string text(received_.constData(), static_cast<size_t>(received_.size()));
    received_.clear();
    return text;
}

std::vector<uint8_t> WinsockControl::GetData(size_t n) {
    std::vector<uint8_t> out = PeekData(n);
    received_.remove(0, static_cast<qsizetype>(out.size()));
    return out;
}

size_t WinsockControl::PeekInto(uint8_t* out, size_t n) const {
    const size_t take = std::min(n, BytesReceived());
    std::copy_n(received_.constData(), take, reinterpret_cast<char*>(out));
    return take;
}

std::vector<uint8_t> WinsockControl::PeekData(size_t n) const {
    std::vector<uint8_t> out(std::min(n, BytesReceived()));
    PeekInto(out.data(), out.size());
    return out;
}

void WinsockControl::SetTag(std::string tag) {
    tag_ = std::move(tag);
    WakeWaits();
}

bool WinsockControl::ReadAvailable() {
    // One read in the usual case: a short read means the socket is drained;
    // a full one reads on. The socket is unbuffered, so each read goes to
    // the connection itself. The bytes land in a buffer kept for the
    // control's life and only what came is queued, so a reply costs no
    // allocation of the whole chunk.
    constexpr qint64 kChunk = qint64{64} * 1024;
    if (readBuffer_.empty()) readBuffer_.resize(kChunk);
    lastRead_ = std::chrono::steady_clock::now();
    const qsizetype before = received_.size();
    for (;;) {
        const qint64 got = socket_->read(readBuffer_.data(), kChunk);
        if (got > 0) received_.append(readBuffer_.data(), static_cast<qsizetype>(got));
        if (got < 0) {
            // The read found the connection closed or broken; the socket
            // reports that only through its error.
            OnSocketError();
            break;
        }
        if (got < kChunk) break;
    }
    return received_.size() != before;
}

bool WinsockControl::ReadPending() {
    if (socket_->state() != QAbstractSocket::ConnectedState) return false;
    // A read moments ago is as good as one now: what could have come since
    // is not worth a call to the system (this is the path of every request).
    if (std::chrono::steady_clock::now() - lastRead_ < kFreshRead) return false;
    // A look at the connection first: most of the time nothing is there, and
    // the look costs one call where a read through the socket costs more.
    const auto fd = static_cast<int>(socket_->socketDescriptor());
    char byte = 0;
    if (fd >= 0 && ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) return false;
    return ReadAvailable();
}

void WinsockControl::OnReadyRead() {
    if (!ReadAvailable()) return;
    emit DataArrival(static_cast<qint64>(received_.size()));
    WakeWaits();
}

void WinsockControl::OnSocketError() {
    const auto e = socket_->error();
    if (e == QAbstractSocket::RemoteHostClosedError) {
        // The peer closed the connection: the state tells it, no error event.
        peerClosed_ = true;
        WakeWaits();
        return;
    }
    if (failed_) return;  // reported already
    failed_ = true;
    WakeWaits();
    emit Error(ErrorNumberOf(e), socket_->errorString());
}

}  // namespace rt
