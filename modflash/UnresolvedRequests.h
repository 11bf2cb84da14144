// The requests of one connection whose transaction ended without their
// reply, in the order they were sent. The station answers a connection's
// requests in order, so a reply that comes late belongs to the earliest of
// them whose shape it fits, and the ones before that will never be answered.
// Every request carries the same header, so the shape and the order are all
// that tell one reply from another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "modflash/FlashProtocol.h"

namespace modflash {

class UnresolvedRequests {
  public:
    // Notes a request whose reply did not come within its transaction.
    void Note(const Frame& request);
    // Whether a reply to the request could be taken for an unresolved
    // request's: one of them has its function code (exception replies of one
    // function look alike whatever was asked).
    bool Conflicts(const Frame& request) const;
    // The function of the order mark to send before a conflicting request:
    // one no unresolved request has, so that the mark's reply is known for
    // its own. When every mark function is unresolved, the one whose earliest
    // unresolved request is the latest: its reply then resolves the most.
    uint8_t MarkFunction() const;
    // Offers a whole reply frame: when it fits an unresolved request, the
    // earliest it fits takes it, every request before that one is resolved
    // as never answered, and the result is true.
    bool Take(const uint8_t* reply, size_t len);
    // The reply of a request sent after all of them came: none of them will
    // be answered any more.
    void ResolveAll() { entries_.clear(); }

  private:
    // Requests sent one after the other with the same frame share an entry,
    // so that a station that stays silent does not make the list grow.
    struct Entry {
        Frame request;
        int count;
    };
    std::vector<Entry> entries_;
};

}  // namespace modflash
