// Fixtures that wait for the station stand-in: on a loaded machine its
// thread may get no time within the program's short waits (Connect's
// questions, the controller status read), and a try fails though nothing is
// wrong. Such a try is made again, but only when the stand-in's request log
// shows that it did answer, late; a try it never answered fails the test.
#pragma once

#include <QtGlobal>
#include <functional>

#include "sim/StationSim.h"
#include "tests/support/ScriptedDialogs.h"

namespace testsupport {

// Whether the stand-in answered the last request that a try put to it on
// `channel`: the try's entries are those logged after `mark`, and `end` is
// the last entry logged when the try was over. A reply logged after `end`
// counts at once; the stand-in is given a short time for one. A reply
// logged before `end` may answer an earlier request of the try while the
// stand-in has not yet read the last one: it counts only when no newer
// request showed up meanwhile.
bool AnsweredLate(const nxsim::StationSim& sim, nxsim::Channel channel, quint64 mark, quint64 end);

// Makes `attempt` (true: it succeeded) until it succeeds or `tries` tries
// were made; returns whether it succeeded. A try that failed is made again
// only when it showed one message box, unscripted, and the stand-in
// answered it late (AnsweredLate); that box is forgotten then.
bool RetryWhenAnsweredLate(const nxsim::StationSim& sim, nxsim::Channel channel,
                           rt::ScriptedDialogs& dialogs, const std::function<bool()>& attempt,
                           int tries = 10);

}  // namespace testsupport
