// Helpers of the link tests: a loopback peer that plays the station's side of
// one connection, and builders of station replies.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinsockControl.h"

using Bytes = std::vector<uint8_t>;

// A server on 127.0.0.1 (free port) with one accepted connection.
class LoopbackPeer {
  public:
    LoopbackPeer();
    // Connects `ws` to the peer and waits until both ends stand.
    void Accept(rt::WinsockControl& ws);
    // Sends bytes from the station's side.
    void Send(const Bytes& bytes);
    // Everything the peer has received so far (after letting events run).
    Bytes Received();
    // Waits until the peer has received at least n bytes (up to 2 s).
    bool WaitReceived(size_t n);
    void CloseConnection();
    uint16_t Port() const { return server_.serverPort(); }

  private:
    QTcpServer server_;
    QTcpSocket* peer_ = nullptr;
    Bytes received_;
};

// A reply: MBAP header (transaction 0, protocol 0, length of the rest), the
// unit id, the function code, then `body` (byte count and data, or anything).
Bytes MakeReply(uint8_t unit, uint8_t function, const Bytes& body);
// A read reply with the given byte-count byte and register values.
Bytes RegistersReply(uint8_t unit, uint8_t function, uint8_t byteCount,
                     const std::vector<uint16_t>& regs);
// A read reply whose byte count is 2 x registers (mod 256).
Bytes RegistersReply(uint8_t unit, uint8_t function, const std::vector<uint16_t>& regs);

// Lets events run until `done` or 2 s have passed.
bool PumpUntil(const std::function<bool()>& done);
