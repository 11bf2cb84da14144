#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "RawClient.h"
#include "sim/StationEngine.h"

namespace nxsim_test {

QByteArray Frame(int unit, int function, int address, int quantity) {
    QByteArray f;
    const int bytes[] = {
        0x12,          0x34,           0, 0, 0, 6, unit, function, address >> 8, address & 0xFF,
        quantity >> 8, quantity & 0xFF};
    for (int b : bytes) f.append(static_cast<char>(b));
    return f;
}

QByteArray WriteFrame(int unit, int address, const QVector<quint16>& regs) {
    const int q = static_cast<int>(regs.size());
    const int length = 7 + 2 * q;
    QByteArray f;
    const int head[] = {0,
                        0,
                        0,
                        0,
                        length >> 8,
                        length & 0xFF,
                        unit,
                        0x10,
                        address >> 8,
                        address & 0xFF,
                        q >> 8,
                        q & 0xFF,
                        2 * q};
    for (int b : head) f.append(static_cast<char>(b));
    for (quint16 r : regs) {
        f.append(static_cast<char>(r >> 8));
        f.append(static_cast<char>(r & 0xFF));
    }
    return f;
}

quint16 Word(const QByteArray& b, int i) {
    return static_cast<quint16>((static_cast<quint8>(b[i]) << 8) | static_cast<quint8>(b[i + 1]));
}

QVector<QVector<quint16>> ChunkWrites(const QByteArray& image, int slot,
                                      const std::array<quint8, 64>& table) {
    QVector<QVector<quint16>> writes;
    for (int b = 0; b < image.size(); b += 256) {
        QByteArray block = image.mid(b, 256);
        auto* p = reinterpret_cast<quint8*>(block.data());
        nxsim::Scramble(p, static_cast<int>(block.size()), table);
        for (int o = 0; o < block.size(); o += 128) {
            const int len = std::min<int>(128, static_cast<int>(block.size()) - o);
            if (len >= 2) nxsim::Scramble(p + o, len, table);
            QByteArray chunk = block.mid(o, len);
            if (len % 2) chunk.append('\0');
            QVector<quint16> regs = {0x8000, static_cast<quint16>(slot), static_cast<quint16>(len)};
            for (int k = 0; k < chunk.size(); k += 2)
                regs.append(static_cast<quint16>((static_cast<quint8>(chunk[k + 1]) << 8) |
                                                 static_cast<quint8>(chunk[k])));
            writes.append(regs);
        }
    }
    return writes;
}

void WaitMs(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool RawClient::connectTo(quint16 port) {
    socket_.connectToHost(QHostAddress::LocalHost, port);
    return socket_.waitForConnected(2000);
}

void RawClient::send(const QByteArray& bytes) {
    socket_.write(bytes);
    socket_.waitForBytesWritten(2000);
}

QByteArray RawClient::read(int expected, int timeoutMs) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < expected) {
        if (socket_.bytesAvailable() == 0) {
            const qint64 left = timeoutMs - t.elapsed();
            if (left <= 0 || !socket_.waitForReadyRead(static_cast<int>(left))) break;
        }
        got.append(socket_.read(expected - got.size()));
    }
    return got;
}

QByteArray RawClient::readSome(int timeoutMs) {
    if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(timeoutMs)) return {};
    return socket_.readAll();
}

QByteArray RawClient::transact(const QByteArray& request, int timeoutMs) {
    send(request);
    QByteArray head = read(6, timeoutMs);
    if (head.size() < 6) return head;
    return head + read(Word(head, 4), timeoutMs);
}

QByteArray RawClient::text(const QByteArray& command, int timeoutMs) {
    send(command);
    return readSome(timeoutMs);
}

bool RawClient::waitClosed(int timeoutMs) {
    if (socket_.state() == QAbstractSocket::UnconnectedState) return true;
    socket_.waitForDisconnected(timeoutMs);
    return socket_.state() == QAbstractSocket::UnconnectedState;
}

}  // namespace nxsim_test
