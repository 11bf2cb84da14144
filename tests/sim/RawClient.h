// A plain blocking client for the stand-in's two ports: builds Modbus TCP
// frames byte by byte and reads replies as they come off the wire.
#pragma once

#include <QByteArray>
#include <QTcpSocket>
#include <QVector>
#include <array>
#include <cstdint>

namespace nxsim_test {

QByteArray Frame(int unit, int function, int address, int quantity);
QByteArray WriteFrame(int unit, int address, const QVector<quint16>& regs);
quint16 Word(const QByteArray& b, int i);
// What a firmware tool sends for an image: blocks of 256 bytes scrambled
// whole, then each chunk of up to 128 bytes scrambled on its own, padded to
// an even length and swapped in pairs, as mailbox registers [0x8000, s, N, ...].
QVector<QVector<quint16>> ChunkWrites(const QByteArray& image, int slot,
                                      const std::array<quint8, 64>& table);

// Lets the event loop run until ms milliseconds have passed (time for the
// stand-in's timed changes).
void WaitMs(int ms);

class RawClient {
  public:
    bool connectTo(quint16 port);
    void send(const QByteArray& bytes);
    // Reads until `expected` bytes arrived or timeoutMs passed (whatever came).
    QByteArray read(int expected, int timeoutMs = 2000);
    // Reads whatever arrives within timeoutMs of silence after the first byte.
    QByteArray readSome(int timeoutMs = 2000);
    // One request, the complete reply by its MBAP length (empty on time-out).
    QByteArray transact(const QByteArray& request, int timeoutMs = 2000);
    QByteArray text(const QByteArray& command, int timeoutMs = 2000);
    bool waitClosed(int timeoutMs = 2000);
    QTcpSocket& socket() { return socket_; }

  private:
    QTcpSocket socket_;
};

}  // namespace nxsim_test
