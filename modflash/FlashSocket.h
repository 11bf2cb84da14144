// The stream socket modflash talks to the station with: a thin wrapper of a
// POSIX TCP socket whose connect and receive wait for at most a given time
// (the dialog's thread blocks in them, so every wait is bounded).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace modflash {

class FlashSocket {
  public:
    enum ShutDownHow { Receives = 0, Sends = 1, Both = 2 };

    FlashSocket() = default;
    ~FlashSocket();
    FlashSocket(const FlashSocket&) = delete;
    FlashSocket& operator=(const FlashSocket&) = delete;

    // Creates a TCP stream socket; false when the system refuses one.
    bool Create();
    // Connects to a dotted-quad address; false (socket kept, still created)
    // when the address is not valid, refused or not answered in time.
    bool Connect(const std::string& address, uint16_t port, int timeoutMs);
    // Sends the whole buffer; false when the connection is gone.
    bool Send(const uint8_t* data, size_t len);
    // Receives one Modbus TCP frame whole, as its header's length field
    // gives it, into buf (at most cap bytes). The frame must begin within
    // timeoutMs; once its first bytes are there, the rest gets as long again
    // to follow. Returns the frame's size, or 0 when nothing arrived in time,
    // the frame was not completed, the peer closed or the frame would not fit
    // (the partial bytes stay for DiscardPending).
    size_t Receive(uint8_t* buf, size_t cap, uint32_t timeoutMs);
    // Drops whatever has arrived and not been read (a late reply).
    void DiscardPending();
    void ShutDown(ShutDownHow how);
    void Close();

    bool IsCreated() const { return fd_ >= 0; }
    bool PeerClosed() const { return peerClosed_; }

  private:
    // Waits until something can be read (data or the peer's close) or the
    // deadline (a tick count) has passed.
    bool WaitReadable(uint32_t deadline);
    // Reads exactly len bytes before the deadline (a tick count).
    bool ReadExact(uint8_t* buf, size_t len, uint32_t deadline);

    int fd_ = -1;
    bool peerClosed_ = false;
};

}  // namespace modflash
