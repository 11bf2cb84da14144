// The connection modflash talks to the station on: a thin wrapper of a
// POSIX TCP socket whose connect, send and receive wait until a given time at
// most (the dialog's thread blocks in them, so every wait is bounded), with
// the bytes of a reply not yet whole and the requests whose replies are still
// owed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "modflash/FlashProtocol.h"
#include "modflash/UnresolvedRequests.h"

namespace modflash {

class FlashSocket {
  public:
    enum class ShutDownHow { Receives, Sends, Both };

    FlashSocket() = default;
    ~FlashSocket();
    FlashSocket(const FlashSocket&) = delete;
    FlashSocket& operator=(const FlashSocket&) = delete;

    // Creates a TCP stream socket; false when the system refuses one.
    bool Create();
    // Connects to a dotted-quad address; false (socket kept, still created)
    // when the address is not valid, refused or not answered in time.
    bool Connect(const std::string& address, uint16_t port, int timeoutMs);
    // Sends the whole buffer before the deadline (a tick count); false when
    // the connection is gone or does not take it in time.
    bool Send(const uint8_t* data, size_t len, uint32_t deadline);
    // Gives the next whole Modbus TCP frame that has come, as its header's
    // length field gives it, waiting for it until the deadline (a tick
    // count) at most; its bytes may have come over several reads and
    // transactions. Bytes that cannot begin a frame (protocol ID not 0, a
    // length below 3 or above a frame's) are dropped one at a time; a frame
    // longer than cap is dropped whole. Returns the frame's size, or 0 when
    // none was whole by the deadline or the peer has closed.
    size_t ReceiveFrame(uint8_t* buf, size_t cap, uint32_t deadline);
    // The requests of this connection whose replies may still come.
    UnresolvedRequests& Unresolved() { return unresolved_; }
    void ShutDown(ShutDownHow how);
    // Closes the socket and forgets the connection's bytes and requests.
    void Close();

  private:
    // Waits until something can be read (data or the peer's close) or the
    // deadline has passed.
    void WaitReadable(uint32_t deadline);
    // Takes the first whole frame out of what has been read, dropping what
    // cannot begin one; 0 when no frame is whole yet.
    size_t TakeFrame(uint8_t* buf, size_t cap);

    int fd_ = -1;
    bool peerClosed_ = false;
    // What has been read and not yet given out (whole frames and the start
    // of the next one); never more is read than fits.
    std::array<uint8_t, kMaxFrameSize> in_{};
    size_t inLen_ = 0;
    UnresolvedRequests unresolved_;
};

}  // namespace modflash
