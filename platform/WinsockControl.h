// The event-driven TCP client control the programs talk to the station with:
// remote host and port, Connect, Close, State, SendData, GetData and a text
// Tag, with the DataArrival and Error events delivered as Qt signals on the
// thread that owns the control (the window thread).
//
// Received bytes are kept in the control's own queue until they are read:
// GetData() takes everything received so far, GetData(n) exactly the first n
// bytes, PeekData(n) looks at them without taking them. Bytes that nobody
// reads stay queued and are delivered, in front of later bytes, by the next
// read. DataArrival(bytesTotal) is raised after new bytes were queued, with
// the number of bytes now waiting.
//
// A DataArrival handler must return quickly: it must not open a message box
// or start a wait itself (defer those to the event loop with a zero-time
// single-shot timer), so that replies keep flowing while a box is open.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime.h"

class QTcpSocket;

namespace rt {

// Connection states with the socket control's standard numbers.
enum SocketState : int {
    sckClosed = 0,
    sckOpen = 1,
    sckListening = 2,
    sckConnectionPending = 3,
    sckResolvingHost = 4,
    sckHostResolved = 5,
    sckConnecting = 6,
    sckConnected = 7,
    sckClosing = 8,  // the peer closed the connection
    sckError = 9,
};

// Run-time error numbers the control raises or reports.
enum SocketError : int {
    sckBadState = 40006,  // send on a connection that is not open
    sckConnectRefused = 10061,
    sckTimedout = 10060,
    sckHostNotFound = 11001,
    sckNetworkError = 10050,
    sckConnectionReset = 10054,
    sckOtherError = 10000,
};

// The run-time error of a send on a control that is not connected (40006).
RuntimeError NotConnectedError();

class WinsockControl : public QObject {
    Q_OBJECT
  public:
    explicit WinsockControl(QObject* parent = nullptr);
    ~WinsockControl() override;

    void SetRemoteHost(std::string host) { remoteHost_ = std::move(host); }
    const std::string& RemoteHost() const { return remoteHost_; }
    void SetRemotePort(uint16_t port) { remotePort_ = port; }
    uint16_t RemotePort() const { return remotePort_; }

    // Starts connecting to RemoteHost:RemotePort and returns at once; State()
    // reads 6 (or 4 while a name is resolved) until the connection stands
    // (7) or fails (9, with the Error event). A connection that is still
    // open, and every byte still queued, is dropped first.
    void Connect();
    // Drops the connection and every queued byte; State() reads 0. The Tag
    // keeps its value.
    void Close();
    int State() const;

    // Sends the bytes in one piece. Raises the run-time error 40006 when the
    // control is not connected, and the socket's own error when the send
    // fails (a connection reset meanwhile).
    void SendData(const std::vector<uint8_t>& bytes);
    void SendData(std::string_view text);

    // Number of received bytes waiting to be read.
    size_t BytesReceived() const { return static_cast<size_t>(received_.size()); }
    // Takes every waiting byte.
    std::vector<uint8_t> GetData();
    std::string GetText();
    // Takes exactly the first n waiting bytes (fewer when fewer are waiting).
    std::vector<uint8_t> GetData(size_t n);
    // The first n waiting bytes (fewer when fewer are waiting), left queued.
    std::vector<uint8_t> PeekData(size_t n) const;
    // The same into `out`; returns how many were copied.
    size_t PeekInto(uint8_t* out, size_t n) const;
    // Drops every waiting byte.
    void DiscardData() { received_.clear(); }
    // Queues what the connection holds now without waiting for its
    // DataArrival event (which then finds nothing new); true when bytes
    // were queued. The caller takes them. A connection read less than
    // kFreshRead ago is not read again.
    bool ReadPending();
    static constexpr std::chrono::microseconds kFreshRead{200};

    // The request key of whoever uses the connection. Setting it wakes any
    // event-pumping wait so that it tests its condition again.
    const std::string& Tag() const { return tag_; }
    void SetTag(std::string tag);

  signals:
    void DataArrival(qint64 bytesTotal);
    void Error(int number, const QString& description);

  private:
    bool ReadAvailable();  // reads what the connection holds; true when bytes came
    void OnReadyRead();
    void OnSocketError();

    QTcpSocket* socket_;
    QByteArray received_;
    std::vector<char> readBuffer_;  // what one read takes, before it is queued
    std::chrono::steady_clock::time_point lastRead_;
    std::string remoteHost_;
    uint16_t remotePort_ = 0;
    std::string tag_;
    bool failed_ = false;      // the last connection ended in an error
    bool peerClosed_ = false;  // the peer closed the connection
};

}  // namespace rt
