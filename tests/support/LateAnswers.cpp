#include "tests/support/LateAnswers.h"

#include <algorithm>

namespace testsupport {

namespace {

using nxsim::Direction;
using nxsim::LogEntry;

// How long the stand-in is given to answer a failed try.
constexpr int kAnswerWaitMs = 1000;

// True when the entries of `channel` after `mark` hold a request and end
// with a reply logged after `after`.
bool EndsWithReply(const QVector<LogEntry>& log, nxsim::Channel channel, quint64 mark,
                   quint64 after) {
    bool asked = false;
    const LogEntry* last = nullptr;
    for (const LogEntry& e : log) {
        if (e.channel != channel || e.seq <= mark) continue;
        asked = asked || e.direction == Direction::Received;
        last = &e;
    }
    return asked && last->direction == Direction::Sent && last->seq > after;
}

quint64 LastSeq(const nxsim::StationSim& sim, quint64 least) {
    const QVector<LogEntry> log = sim.log();
    return log.isEmpty() ? least : std::max(least, log.back().seq);
}

}  // namespace

bool AnsweredLate(const nxsim::StationSim& sim, nxsim::Channel channel, quint64 mark, quint64 end) {
    const auto repliedAfterEnd = [&](const QVector<LogEntry>& log) {
        return EndsWithReply(log, channel, mark, end);
    };
    return sim.waitForLog(repliedAfterEnd, kAnswerWaitMs) ||
           EndsWithReply(sim.log(), channel, mark, mark);
}

bool RetryWhenAnsweredLate(const nxsim::StationSim& sim, nxsim::Channel channel,
                           rt::ScriptedDialogs& dialogs, const std::function<bool()>& attempt,
                           int tries) {
    for (int t = 1;; ++t) {
        const rt::ScriptedDialogs::Mark box = dialogs.Here();
        const quint64 mark = LastSeq(sim, 0);
        if (attempt()) return true;
        const bool oneUnscriptedBox = dialogs.shown.size() == box.shown + 1 &&
                                      dialogs.unexpected.size() == box.unexpected + 1;
        if (t >= tries || !oneUnscriptedBox ||
            !AnsweredLate(sim, channel, mark, LastSeq(sim, mark)))
            return false;
        dialogs.ForgetSince(box);
    }
}

}  // namespace testsupport
