#include "modflash/UnresolvedRequests.h"

#include <algorithm>

namespace modflash {

void UnresolvedRequests::Note(const Frame& request) {
    if (!entries_.empty() && entries_.back().request == request) {
        ++entries_.back().count;
        return;
    }
    entries_.push_back({request, 1});
}

bool UnresolvedRequests::Conflicts(const Frame& request) const {
    if (request.size() < 8) return false;
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry& e) { return e.request[7] == request[7]; });
}

uint8_t UnresolvedRequests::MarkFunction() const {
    uint8_t chosen = kOrderMarkFunctions[0];
    size_t chosenAt = 0;
    for (const uint8_t function : kOrderMarkFunctions) {
        const auto first = std::find_if(entries_.begin(), entries_.end(),
                                        [&](const Entry& e) { return e.request[7] == function; });
        if (first == entries_.end()) return function;
        const auto at = static_cast<size_t>(first - entries_.begin());
        if (at >= chosenAt) {
            chosen = function;
            chosenAt = at;
        }
    }
    return chosen;
}

bool UnresolvedRequests::Take(const uint8_t* reply, size_t len) {
    const auto fit = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return ReplyFits(e.request, reply, len); });
    if (fit == entries_.end()) return false;
    // Of several equal requests in a row the first is answered; the others
    // stay unresolved.
    const auto end = fit->count > 1 ? fit : fit + 1;
    if (fit->count > 1) --fit->count;
    entries_.erase(entries_.begin(), end);
    return true;
}

}  // namespace modflash
