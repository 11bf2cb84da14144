#include "link/PendingRequest.h"

#include <QObject>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <charconv>
#include <deque>
#include <map>
#include <memory>

#include "link/LinkLog.h"
#include "link/RegisterMap.h"
#include "link/ReplyDispatcher.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "platform/diag.h"
#include "platform/dialogs.h"
#include "platform/ticks.h"

namespace {
int g_modbusWaits = 0;
}

std::string KeyConfigRead(uint16_t start) { return std::to_string(start); }

std::string KeyHartReply(int slot) { return std::to_string(10 + slot); }

std::optional<long> KeyNumber(std::string_view key) {
    if (key.empty() || key.size() > 10) return std::nullopt;
    const size_t digits = key[0] == '-' ? 1 : 0;
    if (digits == key.size()) return std::nullopt;
    // No leading zeros ("0" itself excepted), so every value has one text.
    if (key[digits] == '0' && key.size() > digits + 1) return std::nullopt;
    long v = 0;
    const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), v);
    if (ec != std::errc() || end != key.data() + key.size()) return std::nullopt;
    if (v == 0 && digits == 1) return std::nullopt;  // "-0"
    return v;
}

ReplyOutcome ClassifyKey(std::string_view key) {
    const auto n = KeyNumber(key);
    if (!n) return ReplyOutcome::Failed;
    if (*n == 0) return ReplyOutcome::Done;
    if (*n > 0) return ReplyOutcome::TimedOut;
    if (*n == -1) return ReplyOutcome::Refused;
    return ReplyOutcome::Failed;
}

const char* OutcomeText(ReplyOutcome outcome) {
    switch (outcome) {
        case ReplyOutcome::TimedOut:
            return kTextResponseTimeout;
        case ReplyOutcome::Refused:
            return kTextReceiveError;
        default:
            return "";
    }
}

ReplyOutcome WaitForReply(rt::WinsockControl& ws, uint32_t timeoutMs) {
    ++g_modbusWaits;
    const auto leave = qScopeGuard([] { --g_modbusWaits; });
    rt::WaitUntil([&ws] { return ws.Tag() == KeyDone; }, timeoutMs);
    return ClassifyKey(ws.Tag());
}

int ModbusWaitsInProgress() { return g_modbusWaits; }

void LogSentFrame(const ModbusFrame& frame, uint64_t id) {
    if (lcLinkFrames().isDebugEnabled())
        qCDebug(lcLinkFrames, "send #%llu %s", static_cast<unsigned long long>(id),
                rt::HexBytes(frame.data(), frame.size()).c_str());
}

namespace nxlink {

namespace {

// Whether tick count `t` has reached `deadline`.
bool Reached(uint32_t t, uint32_t deadline) { return static_cast<int32_t>(t - deadline) >= 0; }

// A send and what became of it, as its waiting sender sees it. The sender
// owns it; the link knows it only while the sender waits.
struct Ticket {
    uint64_t Id = 0;
    enum State { Queued, Sent, Dropped, Failed } What = Queued;
    uint64_t Request = 0;  // its id on the wire
    uint32_t SentAtMs = 0;
    bool Decided = false;  // its reply was accepted or refused
    ReplyOutcome Outcome = ReplyOutcome::TimedOut;
    std::unique_ptr<rt::RuntimeError> Error;  // Failed: the send's error
};

struct QueuedSend {
    uint64_t Ticket = 0;
    ModbusFrame Frame;
    std::string Key;
    RequestRole Role = RequestRole::Polled;
    uint32_t WaitMs = 0;
    uint32_t DeadlineMs = 0;  // dropped unsent when it has not gone by then
};

// Everything the link keeps of one Modbus connection.
struct ModbusLink {
    RequestGate Gate;
    std::deque<QueuedSend> Queue;
    std::vector<Ticket*> Waiters;  // the tickets of the senders that wait
    uint64_t NextTicket = 1;
    QTimer* Timer = nullptr;            // a child of the control: the next deadline of the queue
    std::optional<uint32_t> RetryAtMs;  // the gate lets the head go no earlier
    ReplyDispatch Dispatch = DispatchModbusReply;  // the one TakeModbusReplies was last given
    bool Pumping = false;
    bool Taking = false;
};

std::map<const QObject*, ModbusLink>& Links() {
    static std::map<const QObject*, ModbusLink> links;
    return links;
}

void Pump(rt::WinsockControl& ws);

ModbusLink& LinkOf(rt::WinsockControl& ws) {
    // Every send and every arrival looks its connection's link up: the last
    // one found is kept at hand.
    static const QObject* lastKey = nullptr;
    static ModbusLink* lastLink = nullptr;
    if (lastKey == &ws) return *lastLink;
    auto [it, made] = Links().try_emplace(&ws);
    if (made) {
        QObject::connect(&ws, &QObject::destroyed, [key = &ws] {
            Links().erase(key);
            if (lastKey == key) lastKey = nullptr;
        });
        it->second.Timer = new QTimer(&ws);
        it->second.Timer->setSingleShot(true);
        it->second.Timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(it->second.Timer, &QTimer::timeout, &ws, [&ws] { Pump(ws); });
    }
    lastKey = &ws;
    lastLink = &it->second;
    return it->second;
}

Ticket* Waiter(ModbusLink& link, uint64_t ticket) {
    for (Ticket* t : link.Waiters)
        if (t->Id == ticket) return t;
    return nullptr;
}

// A send leaves the queue: its waiting sender, if any, learns how.
void Finish(ModbusLink& link, uint64_t ticket, Ticket::State what,
            std::unique_ptr<rt::RuntimeError> error = nullptr) {
    Ticket* t = Waiter(link, ticket);
    if (t == nullptr) return;
    t->What = what;
    t->Error = std::move(error);
}

void StopWaiting(ModbusLink& link, const Ticket& t) { std::erase(link.Waiters, &t); }

// Takes a send that is still queued out of the queue.
void Withdraw(ModbusLink& link, uint64_t ticket) {
    std::erase_if(link.Queue, [ticket](const QueuedSend& q) { return q.Ticket == ticket; });
}

// Drops every send of the queue: the connection is not connected. A keyed
// send writes its key as if it went, and its waiting sender gets the error a
// send on the closed connection raises.
void DropQueue(rt::WinsockControl& ws, ModbusLink& link) {
    while (!link.Queue.empty()) {
        QueuedSend send = std::move(link.Queue.front());
        link.Queue.pop_front();
        if (!send.Key.empty()) ws.SetTag(send.Key);
        qCDebug(lcLinkState, "request not sent: the connection is not connected");
        Finish(link, send.Ticket, Ticket::Failed,
               std::make_unique<rt::RuntimeError>(rt::NotConnectedError()));
    }
}

// The timer wakes the queue at its head's deadline or when the request
// outstanding is given up, whichever comes first.
void ArmTimer(ModbusLink& link) {
    if (link.Queue.empty()) {
        link.Timer->stop();
        return;
    }
    uint32_t next = link.Queue.front().DeadlineMs;
    const auto sooner = [&next](uint32_t t) {
        if (!Reached(t, next)) next = t;
    };
    // A judged request's sender ends it, and pumps then.
    const SentRequest* live = link.Gate.Live();
    if (live && live->Role != RequestRole::Judged) sooner(live->SentAtMs + live->GiveUpMs);
    if (link.RetryAtMs) sooner(*link.RetryAtMs);
    const int32_t left = static_cast<int32_t>(next - rt::GetTickCount());
    link.Timer->start(std::max(0, left));
}

uint64_t PutOnWire(rt::WinsockControl& ws, ModbusLink& link, const ModbusFrame& frame,
                   RequestRole role, const std::string& key, uint32_t waitMs, uint64_t ticket,
                   uint32_t now) {
    if (!key.empty()) ws.SetTag(key);
    ws.SendData(frame);
    const uint64_t id = link.Gate.Note(frame, role, key, waitMs, now, ticket);
    LogSentFrame(frame, id);
    return id;
}

// Sends what the gate lets go, in the queue's order.
void Pump(rt::WinsockControl& ws) {
    ModbusLink& link = LinkOf(ws);
    if (link.Pumping) return;  // the loop up the stack goes on
    link.Pumping = true;
    const auto leave = qScopeGuard([&link] {
        link.Pumping = false;
        ArmTimer(link);
    });
    bool drained = false;
    while (!link.Queue.empty()) {
        if (ws.State() != rt::sckConnected) return DropQueue(ws, link);
        const uint32_t now = rt::GetTickCount();
        link.Gate.Settle(now);
        QueuedSend& head = link.Queue.front();
        if (Reached(now, head.DeadlineMs)) {
            qCDebug(lcLinkState, "request not sent: the link did not clear in time: %s",
                    rt::HexBytes(head.Frame.data(), head.Frame.size()).c_str());
            const uint64_t ticket = head.Ticket;
            link.Queue.pop_front();
            Finish(link, ticket, Ticket::Dropped);
            continue;
        }
        const Clearance clear = link.Gate.Clear(head.Frame[7], head.Frame[6], now);
        link.RetryAtMs = clear.RetryAtMs;
        if (clear.What == Clearance::Wait) return;
        if (!drained) {
            // A reply that is already on the connection cannot answer a
            // request not yet sent (a copy that came right behind a reply):
            // it is taken first.
            drained = true;
            if (ws.ReadPending()) {
                TakeModbusReplies(ws, link.Dispatch);
                continue;
            }
        }
        drained = false;
        if (clear.What == Clearance::SendMark) {
            try {
                PutOnWire(ws, link, clear.Mark, RequestRole::Mark, {}, 0, 0, now);
            } catch (const rt::RuntimeError& e) {
                // The connection broke under the mark: the head gets the error.
                const uint64_t ticket = head.Ticket;
                link.Queue.pop_front();
                Finish(link, ticket, Ticket::Failed, std::make_unique<rt::RuntimeError>(e));
            }
            continue;
        }
        QueuedSend send = std::move(head);
        link.Queue.pop_front();
        try {
            const uint64_t id =
                PutOnWire(ws, link, send.Frame, send.Role, send.Key, send.WaitMs, send.Ticket, now);
            if (Ticket* t = Waiter(link, send.Ticket)) {
                t->Request = id;
                t->SentAtMs = now;
            }
            Finish(link, send.Ticket, Ticket::Sent);
        } catch (const rt::RuntimeError& e) {
            Finish(link, send.Ticket, Ticket::Failed, std::make_unique<rt::RuntimeError>(e));
        }
    }
}

// Queues a send, with the ticket of its waiting sender (or none), and lets
// the queue go.
void Enqueue(rt::WinsockControl& ws, ModbusFrame frame, const std::string& key, RequestRole role,
             uint32_t waitMs, Ticket* waiter) {
    ModbusLink& link = LinkOf(ws);
    if (role == RequestRole::Write && frame.size() >= static_cast<size_t>(kReadFrameSize)) {
        // A newer value for an output whose write still waits takes its place.
        for (QueuedSend& q : link.Queue)
            if (q.Role == RequestRole::Write &&
                std::equal(frame.begin() + 7, frame.begin() + 10, q.Frame.begin() + 7)) {
                q.Frame = std::move(frame);
                return;
            }
    }
    const uint64_t ticket = link.NextTicket++;
    if (waiter) {
        waiter->Id = ticket;
        link.Waiters.push_back(waiter);
    }
    // The request in flight gets its time; then the send, and an order mark
    // it may need, get the link's give-up time (a click or a tick), or for a
    // sender that judges its outcome (a step of Upload or Download, a read
    // the user asked for) long enough for the link to find its place again
    // after a short silence of the station. Counted from now, not from when
    // it reaches the head: sends do not pile up behind each other.
    const uint32_t now = rt::GetTickCount();
    link.Gate.Settle(now);
    const std::optional<uint32_t> live = link.Gate.LiveDeadline();
    const uint32_t from = live && !Reached(now, *live) ? *live : now;
    const uint32_t patience = role == RequestRole::Judged
                                  ? std::max(link.Gate.GiveUpMs(), kJudgedGateWaitMs)
                                  : link.Gate.GiveUpMs();
    link.Queue.push_back(QueuedSend{ticket, std::move(frame), key, role, waitMs, from + patience});
    Pump(ws);
}

// A send of a sender that does not wait: a failure at once is raised; once
// it waits in the queue, nobody hears of it any more.
void EnqueueUnwaited(rt::WinsockControl& ws, ModbusFrame frame, const std::string& key,
                     RequestRole role) {
    Ticket ticket;
    Enqueue(ws, std::move(frame), key, role, 0, &ticket);
    StopWaiting(LinkOf(ws), ticket);
    if (ticket.Error) throw rt::RuntimeError(*ticket.Error);
}

}  // namespace

RequestGate& GateOf(rt::WinsockControl& ws) { return LinkOf(ws).Gate; }

bool ModbusGateBusy(rt::WinsockControl& ws) {
    ModbusLink& link = LinkOf(ws);
    if (ws.State() != rt::sckConnected) {
        if (!link.Queue.empty() || !link.Gate.Wire().empty()) ResetModbusGate(ws);
        return false;
    }
    link.Gate.Settle(rt::GetTickCount());
    return !link.Queue.empty() || link.Gate.Live() != nullptr;
}

void ResetModbusGate(rt::WinsockControl& ws) {
    ModbusLink& link = LinkOf(ws);
    link.Gate.Forget();
    DropQueue(ws, link);
    link.Timer->stop();
}

void TakeModbusReplies(rt::WinsockControl& ws, ReplyDispatch dispatch) {
    ModbusLink& link = LinkOf(ws);
    link.Dispatch = dispatch;
    if (link.Taking) return;  // the loop up the stack takes them
    link.Taking = true;
    {
        const auto leave = qScopeGuard([&link] { link.Taking = false; });
        TakeArrivalReplies(ws, [&](const std::vector<uint8_t>& reply) {
            const auto hex = [&reply] { return rt::HexBytes(reply.data(), reply.size()); };
            const TakenReply taken = link.Gate.Take(reply, rt::GetTickCount());
            const SentRequest& request = taken.Request;
            const auto id = static_cast<unsigned long long>(request.Id);
            for (const uint64_t never : taken.NeverAnswered)
                qCDebug(lcLinkState, "request #%llu never answered",
                        static_cast<unsigned long long>(never));
            const char* dropped = nullptr;
            switch (taken.Match) {
                case ReplyMatch::Dispatch:
                case ReplyMatch::Late:
                    break;
                case ReplyMatch::Write:
                    dropped = "answers a write";
                    break;
                case ReplyMatch::Mark:
                    dropped = "answers an order mark";
                    break;
                case ReplyMatch::GivenUp:
                    dropped = "answers a request given up";
                    break;
                case ReplyMatch::Unexpected:
                    dropped = "answers no request outstanding";
                    break;
            }
            if (dropped || request.Key.empty()) {
                qCDebug(lcLinkState, "reply dropped (%s #%llu): %s",
                        dropped ? dropped : "answers a request without a key", id, hex().c_str());
                return;
            }
            std::string key = request.Key;
            const DispatchResult result = dispatch(reply, key);
            const bool late = taken.Match == ReplyMatch::Late;
            qCDebug(lcLinkFrames, "reply to #%llu %s (key %s, now %s%s)", id, hex().c_str(),
                    request.Key.c_str(), key.c_str(), late ? ", stored late" : "");
            // The Tag still names this request unless a later sender wrote its
            // own; a late reply leaves it to the request outstanding.
            if (!late && ws.Tag() == request.Key && key != request.Key) ws.SetTag(key);
            Ticket* t = Waiter(link, request.Ticket);
            if (t != nullptr && (key == KeyDone || key == KeyErrorReply)) {
                t->Decided = true;
                t->Outcome = ClassifyKey(key);
            }
            if (result.Outcome == DispatchOutcome::Failed) {
                // Shown from the event loop, so that replies keep flowing (and
                // this handler returns) while the box is open.
                QTimer::singleShot(
                    0, [text = result.Description] { rt::MsgBox(text, rt::vbCritical, "Error"); });
            }
        });
    }
    if (!link.Queue.empty()) Pump(ws);
}

}  // namespace nxlink

void SendModbusRequest(rt::WinsockControl& ws, ModbusFrame frame) {
    nxlink::EnqueueUnwaited(ws, std::move(frame), {}, nxlink::RequestRole::Write);
}

void SendKeyedRequest(rt::WinsockControl& ws, const std::string& key, ModbusFrame frame) {
    nxlink::EnqueueUnwaited(ws, std::move(frame), key, nxlink::RequestRole::Polled);
}

ReplyOutcome SendRequestAndWait(rt::WinsockControl& ws, const std::string& key, ModbusFrame frame,
                                uint32_t timeoutMs, nxlink::RequestRole role) {
    using nxlink::Ticket;
    Ticket t;
    nxlink::Enqueue(ws, std::move(frame), key, role, timeoutMs, &t);
    ++g_modbusWaits;
    // The link lives as long as the control.
    QPointer<rt::WinsockControl> alive(&ws);
    nxlink::ModbusLink& link = nxlink::LinkOf(ws);
    const auto leave = qScopeGuard([&] {
        --g_modbusWaits;
        if (!alive) return;
        nxlink::StopWaiting(link, t);
        if (t.What == Ticket::Queued) nxlink::Withdraw(link, t.Id);
    });
    // At the gate: the queue sends it, or drops it at its deadline.
    if (t.What == Ticket::Queued)
        rt::WaitUntil([&] { return !alive || t.What != Ticket::Queued; }, 4 * nxlink::kMaxGiveUpMs);
    if (!alive || t.What == Ticket::Dropped) return ReplyOutcome::TimedOut;
    if (t.What == Ticket::Failed) throw rt::RuntimeError(*t.Error);
    if (t.What == Ticket::Queued) return ReplyOutcome::TimedOut;
    // On the wire: its own reply, or the end of its time.
    const uint32_t elapsed = rt::GetTickCount() - t.SentAtMs;
    rt::WaitUntil([&] { return !alive || t.Decided; },
                  elapsed < timeoutMs ? timeoutMs - elapsed : 0);
    if (!alive) return ReplyOutcome::TimedOut;
    const ReplyOutcome outcome = t.Decided ? t.Outcome : ReplyOutcome::TimedOut;
    if (role == nxlink::RequestRole::Judged) {
        link.Gate.EndWait(t.Request);
        if (!link.Queue.empty()) nxlink::Pump(ws);
    }
    return outcome;
}
