#include "link/TextChannel.h"

#include <QTimer>
#include <cctype>
#include <charconv>
#include <limits>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/LinkLog.h"
#include "link/LinkWindow.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

namespace nxlink {

namespace {

int g_textWaits = 0;

struct CountTextWait {
    CountTextWait() { ++g_textWaits; }
    ~CountTextWait() { --g_textWaits; }
    CountTextWait(const CountTextWait&) = delete;
    CountTextWait& operator=(const CountTextWait&) = delete;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The conversion error is shown from the event loop, so that the data
// handler returns at once and replies keep flowing while the box is open.
void ShowConversionError(const std::string& description) {
    QTimer::singleShot(0, [description] { rt::MsgBox(description, rt::vbCritical, "Error"); });
}

// Length of the number at the start of `text`: digits with at most one
// decimal point; *digits tells whether it holds a digit at all.
size_t LeadingNumberLength(std::string_view text, bool* digits) {
    size_t i = 0;
    bool point = false;
    *digits = false;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            *digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    return i;
}

}  // namespace

int16_t TextReplyToInteger(std::string_view reply) {
    size_t first = 0;
    size_t last = reply.size();
    while (first < last && IsBlank(reply[first])) ++first;
    while (last > first && IsBlank(reply[last - 1])) --last;
    const std::string_view t = reply.substr(first, last - first);

    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    bool digits = false;
    const size_t n = LeadingNumberLength(t.substr(i), &digits);
    if (!digits || i + n != t.size()) rt::Raise(rt::ErrTypeMismatch);
    return rt::CInt(rt::Val(t));
}

void SendTextRequest(rt::WinsockControl& ws, const std::string& key, std::string_view command) {
    // The channel has no framing: bytes left from an earlier reply would be
    // read as the start of this answer.
    ws.DiscardData();
    ws.SetTag(key);
    qCDebug(lcLinkFrames, "text send \"%.*s\" (key %s)", static_cast<int>(command.size()),
            command.data(), key.c_str());
    ws.SendData(command);
}

bool WaitForTextAnswer(rt::WinsockControl& ws, uint32_t timeoutMs) {
    CountTextWait counted;
    return rt::WaitUntil([&ws] { return ws.Tag() == KeyTextIdle; }, timeoutMs);
}

bool WaitWhileTextKey(rt::WinsockControl& ws, const std::string& key, uint32_t timeoutMs) {
    CountTextWait counted;
    return rt::WaitUntil([&ws, &key] { return ws.Tag() != key; }, timeoutMs);
}

int TextWaitsInProgress() { return g_textWaits; }

void WskTCP10K_DataArrival(rt::WinsockControl& ws) {
    const std::string key = ws.Tag();
    NodeConfig& n = ConfigReal[0];

    if (key == KeyController) {
        const std::string reply = ws.GetText();
        if (reply == "-1") return;  // refused: the request ends by its time limit
        n.Controller = reply;
        n.ControllerPresent = kTrue;
        ws.SetTag(KeyTextIdle);
        return;
    }
    if (key != KeyGetNetID && key != KeyGetFWVer && key != KeySetNetID) {
        // No request is outstanding: the bytes stay queued.
        return;
    }

    const std::string reply = ws.GetText();
    if (key != KeySetNetID && reply == "-1") return;
    int16_t value = 0;
    try {
        value = TextReplyToInteger(reply);
    } catch (const rt::RuntimeError& e) {
        ShowConversionError(e.Description());
        return;
    }
    if (key == KeyGetNetID) {
        n.NetID = value;
    } else if (key == KeyGetFWVer) {
        n.McuFwVersion = value;
    } else {
        if (value < 1 || value > 247) return;
        n.NetID = value;
    }
    ws.SetTag(KeyTextIdle);
}

double NetIdTextValue(std::string_view text) {
    bool digits = false;
    const size_t n = LeadingNumberLength(text, &digits);
    if (!digits) return 0;
    // Read without raising: a digit run beyond a Double (the box takes any
    // number of digits) is infinitely large, so the range check puts "1";
    // one below the smallest Double is 0.
    const std::string_view number = text.substr(0, n);
    double value = 0;
    const std::errc ec = std::from_chars(number.data(), number.data() + number.size(), value,
                                         std::chars_format::fixed)
                             .ec;
    if (ec == std::errc::result_out_of_range) {
        const std::string_view whole = number.substr(0, number.find('.'));
        const bool large = whole.find_first_not_of('0') != std::string_view::npos;
        value = large ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return value;
}

std::string NetIdTextForCommand(std::string_view text) { return rt::CStr(NetIdTextValue(text)); }

void CmdSetNetID_Click() {
    rt::WinsockControl& ws = WskTCP10K();
    // One text request at a time: a click during another request's wait
    // (the watchdog's name probe, an earlier Set) does nothing.
    if (ws.State() != rt::sckConnected || TextWaitsInProgress() > 0) return;

    LinkWindow& w = TheLinkWindow();
    bool ok = false;
    try {
        SendTextRequest(ws, KeySetNetID,
                        std::string(CmdTextSetNetIdPrefix) + NetIdTextForCommand(w.TxtNetIDText()));
        ok = WaitForTextAnswer(ws, TextReplyTimeoutMs);
    } catch (const rt::RuntimeError&) {
        ok = false;  // the connection dropped between the test and the send
    }
    w.ReportStatus(TimeOfDayText() +
                   (ok ? " Set Modbus Net ID OK!!" : " Set Modbus Net ID error!!"));
    w.SetTxtNetIDText(std::to_string(ConfigReal[0].NetID));
}

bool ConnectionBarKeyPasses(int keyAscii) {
    return keyAscii == 8 || keyAscii == 13 || keyAscii == 46 || (keyAscii >= 48 && keyAscii <= 57);
}

namespace {
int FilterKey(int keyAscii) {
    if (ConnectionBarKeyPasses(keyAscii)) return keyAscii;
    rt::TheDialogs().Beep();
    return 0;
}
}  // namespace

int TxtCtlIP_KeyPress(int keyAscii) { return FilterKey(keyAscii); }
int TxtNetID_KeyPress(int keyAscii) { return FilterKey(keyAscii); }

std::string TxtNetID_LostFocus(std::string_view text) {
    if (text.empty()) return "1";
    const double v = NetIdTextValue(text);
    if (v < 1 || v > 247) return "1";
    return std::string(text);
}

}  // namespace nxlink
