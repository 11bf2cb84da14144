// A small Modbus TCP responder for modflash's tests: listens on a free
// loopback port, reads each request whole, logs it and answers as a handler
// says (bytes in pieces with pauses between, no answer, or a closed
// connection). Like the station it answers one request after the other: a
// pause holds back the answers to the requests behind it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "modflash/FlashProtocol.h"

namespace modflash::test {

struct FakeAnswer {
    struct Piece {
        int delayMs = 0;  // pause before these bytes are written
        Frame bytes;
    };
    std::vector<Piece> pieces;  // nothing: no answer
    bool close = false;         // close the connection after the pieces
};

class FakeResponder {
  public:
    using Handler = std::function<FakeAnswer(const Frame& request)>;
    explicit FakeResponder(Handler handler);
    ~FakeResponder();

    uint16_t Port() const { return port_; }
    std::vector<Frame> Requests() const;
    int Connections() const { return connections_.load(); }
    // Every request that came has been answered, and nothing more has come.
    // Becoming so wakes the waits of other threads (rt::WaitUntil).
    bool Idle() const { return idle_.load(); }

    // A reply to a request carrying the given data bytes after the function
    // code (e.g. byte count and registers of a read).
    static Frame Reply(const Frame& request, const std::vector<uint8_t>& data);
    static Frame ExceptionReply(const Frame& request, uint8_t code);
    static FakeAnswer Now(Frame bytes);

  private:
    void Run();
    void Serve(int fd);

    Handler handler_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> idle_{true};
    mutable std::mutex mutex_;
    std::vector<Frame> requests_;
    std::thread thread_;
};

}  // namespace modflash::test
