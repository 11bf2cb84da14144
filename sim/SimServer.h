// The two TCP servers of the stand-in (Modbus TCP and text commands). Lives on
// the stand-in's thread: frames the received bytes, logs them, applies the
// fault rules and sends the engine's replies through a per-connection queue,
// so that a delayed reply holds back the replies behind it as a real station's
// would. A Repeat's copy waits beside that queue and goes out at its own time.
//
// Any client is survived and no client starves the others: a connection is
// served a few requests per event-loop turn, a connection whose replies pile
// up unread is not served (nor read) until they drain, so its own sends stall
// in TCP, and a connection's record outlives its socket's disconnection until
// the event loop is back at the top.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <map>

#include "sim/StationEngine.h"

namespace nxsim {

class SimServer : public QObject {
    Q_OBJECT
  public:
    explicit SimServer(StationEngine* engine);
    ~SimServer() override;

    // Run on the server's thread.
    Q_INVOKABLE bool listen(const QHostAddress& address, quint16 modbusPort, quint16 textPort);
    Q_INVOKABLE void shutdown(QThread* handBackTo);

    QString error() const { return error_; }
    quint16 modbusPort() const { return modbusPort_; }
    quint16 textPort() const { return textPort_; }

  private:
    // Requests served per connection and event-loop turn.
    static constexpr int kRequestsPerTurn = 16;
    // Received bytes buffered per connection before TCP holds the client back.
    static constexpr qint64 kReadBufferBytes = qint64{64} * 1024;
    static constexpr qint64 kReadChunkBytes = 4096;
    // Unsent reply bytes, and replies waiting for their time, that hold a
    // connection's requests back until they drain.
    static constexpr qint64 kOutputBytes = qint64{64} * 1024;
    static constexpr int kQueuedReplies = 256;

    struct Outgoing {
        QByteArray data;
        qint64 due = 0;
        qint64 gapMs = 0;  // at least this long after the entry before it went out
        bool closeAfter = false;
        qint64 repeatMs = -1;  // >= 0: a copy goes out this long after the entry went out
    };
    // A Repeat's copy, waiting for its time outside the reply order.
    struct Copy {
        QByteArray data;
        quint64 copyOf = 0;  // the log seq of the reply it repeats
    };
    struct Conn {
        Channel channel = Channel::Modbus;
        int number = 0;
        QTcpSocket* socket = nullptr;
        QByteArray in;
        std::deque<QByteArray> commands;  // text commands received, not yet served
        std::deque<Outgoing> out;
        std::multimap<qint64, Copy> copies;  // by the time each is due, then in order made
        qint64 lastSentMs = 0;               // when the last entry taken from `out` went out
        QTimer* timer = nullptr;
        bool closing = false;
        bool gone = false;      // disconnected; the record is removed from the event loop
        bool held = false;      // not served while its replies wait to be sent
        bool resuming = false;  // a serve() is queued
    };

    void accept(QTcpServer* server, Channel channel);
    void serve(Conn& c);
    bool serveModbus(Conn& c);
    bool serveText(Conn& c);
    bool backedUp(const Conn& c) const;
    void resumeLater(Conn& c);
    void respond(Conn& c, const QByteArray& reply, const std::optional<FaultRule>& fault,
                 Channel channel);
    void enqueue(Conn& c, const QByteArray& data, qint64 delayMs, bool closeAfter, qint64 gapMs = 0,
                 qint64 repeatMs = -1);
    void flush(Conn& c);
    void send(Conn& c, const QByteArray& data);
    void drop(QTcpSocket* socket);
    static void closeLater(QTcpSocket* socket);

    StationEngine* engine_;
    QTcpServer* modbus_ = nullptr;
    QTcpServer* text_ = nullptr;
    std::map<QTcpSocket*, Conn> conns_;
    int nextConn_[2] = {1, 1};
    QString error_;
    quint16 modbusPort_ = 0;
    quint16 textPort_ = 0;
};

}  // namespace nxsim
