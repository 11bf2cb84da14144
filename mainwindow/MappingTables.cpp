#include "mainwindow/MappingTables.h"

#include <algorithm>
#include <cctype>

#include "config/RangeCodes.h"
#include "platform/runtime.h"

namespace mapping {

namespace {

// The last n characters of text zero-padded on the left to at least n.
std::string LastDigits(const std::string& text, size_t n) {
    const std::string padded = std::string(n, '0') + text;
    return padded.substr(padded.size() - n);
}

int16_t CountOf(const NodeConfig& node, Kind kind, int slot) {
    switch (kind) {
        case Kind::DI:
            return node.DIChannel[slot];
        case Kind::DO:
            return node.DOChannel[slot];
        case Kind::AI:
            return node.AIChannel[slot];
        case Kind::AO:
            return node.AOChannel[slot];
        case Kind::PI:
            return node.PIChannel[slot];
        case Kind::PO:
            return node.POChannel[slot];
    }
    return 0;
}

bool IsDigital(Kind kind) { return kind == Kind::DI || kind == Kind::DO; }

}  // namespace

int AddressWindow(Kind kind) { return IsDigital(kind) ? 32 : 16; }

int ChannelAddress(Kind kind, int slot, int channel) {
    switch (kind) {
        case Kind::DI:
        case Kind::DO:
            return slot * 32 + channel;
        case Kind::AI:
        case Kind::AO:
            return slot * 16 + channel;
        case Kind::PI:
            return 0x80 + slot * 32 + 2 * channel;
        case Kind::PO:
            return 0x100 + slot * 32 + 2 * channel;
    }
    return 0;
}

std::string AddressText(int address) {
    return LastDigits(std::to_string(address), 3) + " [" + LastDigits(rt::Hex(address), 3) + "]";
}

std::string RangeText(int16_t rangeCode) {
    return "[" + LastDigits(rt::HexInt(rangeCode), 2) + "] " + RangeNameOf(rangeCode);
}

int16_t AddressOfRow(std::string_view addressText) {
    return rt::CInt(rt::Val(addressText.substr(0, 3)));
}

int16_t RangeCodeOfRow(std::string_view comment) {
    const std::string digits(comment.substr(std::min<size_t>(1, comment.size()), 2));
    return rt::CInt(rt::Val("&H" + digits));
}

std::vector<Row> MappingRows(const NodeConfig& node) {
    std::vector<Row> rows;
    for (int s = 0; s < kStationSlots; ++s) {
        if (node.SlotPresent[s] != kTrue) continue;
        for (Kind kind : kKinds) {
            const int count = std::clamp<int>(CountOf(node, kind, s), 0, AddressWindow(kind));
            for (int c = 0; c < count; ++c) {
                Row r;
                r.kind = kind;
                r.address = ChannelAddress(kind, s, c);
                r.text = AddressText(r.address);
                r.module = node.Module[s];
                r.slot = s;
                r.channel = c;
                r.comment = IsDigital(kind) ? kDigitalRangeText : RangeText(node.RangeCode(s, c));
                rows.push_back(std::move(r));
            }
        }
    }
    return rows;
}

std::string McuVersionText(int16_t version) { return "v" + rt::Format(version / 100.0, "0.00"); }
std::string ModuleVersionText(int16_t version) { return "v" + rt::Format(version / 10.0, "0.0"); }
std::string SlotText(int slot) { return LastDigits(std::to_string(slot), 2); }

std::string ModuleKindText(std::string_view model) {
    struct Entry {
        const char* kind;
        std::initializer_list<const char*> models;
    };
    static const Entry kTable[] = {
        {"DI", {"KB-560"}},
        {"DO", {"KB-570"}},
        {"AI", {"KB-522", "KB-521", "KB-524", "KB-523"}},
        {"TC", {"KB-540"}},
        {"RTD", {"KB-510"}},
        {"AO", {"KB-551", "KB-553", "KB-552"}},
        {"AIO", {"KD-611", "KD-612"}},
        {"PI", {"KB-580"}},
        {"PO", {"KB-590"}},
    };
    for (const Entry& e : kTable)
        for (const char* m : e.models)
            if (model == m) return e.kind;
    return "";
}

std::string StackedLetters(std::string_view text) {
    std::string out;
    for (char ch : text) {
        if (!out.empty()) out += "\r\n";
        out += ch;
    }
    return out;
}

}  // namespace mapping
