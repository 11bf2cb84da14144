// The stream socket modflash talks to the station with: a thin wrapper of a
// POSIX TCP socket whose connect and receive wait for at most a given time
// (the dialog's thread blocks in them, so every wait is bounded).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace modflash {

// How long after its time-out a reply is still waited for (and dropped)
// before the next request goes out.
constexpr uint32_t kLateReplyGraceMs = 1000;

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
    // Sends the whole buffer; false when the connection is gone.
    bool Send(const uint8_t* data, size_t len);
    // Receives one Modbus TCP frame whole, as its header's length field
    // gives it, into buf (at most cap bytes). The frame must begin within
    // timeoutMs; once its first bytes are there, the rest gets as long again
    // to follow. Returns the frame's size, or 0 when nothing arrived in time,
    // the frame was not completed, the peer closed or the frame would not fit.
    // A frame that did not begin in time, or was cut off, is still owed by
    // the peer: DropLateReplies waits for it before the next request.
    size_t Receive(uint8_t* buf, size_t cap, uint32_t timeoutMs);
    // Called before a request is sent, so that no earlier reply is taken for
    // its answer: gives the replies still owed until kLateReplyGraceMs after
    // their time-out to arrive, then drops them with anything else that has
    // arrived and not been read.
    void DropLateReplies();
    // Drops whatever has arrived and not been read; gives the byte count.
    size_t DiscardPending();
    void ShutDown(ShutDownHow how);
    void Close();

  private:
    // Waits until something can be read (data or the peer's close) or the
    // deadline (a tick count) has passed.
    bool WaitReadable(uint32_t deadline);
    // Reads exactly len bytes before the deadline (a tick count); got tells
    // how many arrived.
    bool ReadExact(uint8_t* buf, size_t len, uint32_t deadline, size_t& got);
    // Notes a reply the peer still owes (whole, or its last `tail` bytes).
    void NoteOwed(size_t tail);

    int fd_ = -1;
    bool peerClosed_ = false;
    // Replies that did not begin in time, the bytes still to come of one
    // that was cut off, and until when they are waited for.
    int owed_ = 0;
    size_t tail_ = 0;
    uint32_t graceDeadline_ = 0;
};

}  // namespace modflash
