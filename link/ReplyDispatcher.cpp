#include "link/ReplyDispatcher.h"

#include <QObject>
#include <QTimer>
#include <array>

#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "link/LinkLog.h"
#include "link/LiveValues.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "platform/WinsockControl.h"
#include "platform/diag.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "platform/ticks.h"

namespace {

// Read access to one reply; every access past its end raises "Subscript out
// of range", every value that does not fit its field raises "Overflow".
class Reply {
  public:
    explicit Reply(std::span<const uint8_t> b) : b_(b) {}
    size_t Size() const { return b_.size(); }
    void Require(size_t n) const {
        if (b_.size() < n) rt::Raise(rt::ErrSubscriptOutOfRange);
    }
    uint8_t Byte(size_t i) const {
        Require(i + 1);
        return b_[i];
    }
    uint16_t Reg(int r) const {
        const size_t at = 9 + 2 * static_cast<size_t>(r);
        return static_cast<uint16_t>(Byte(at) << 8 | Byte(at + 1));
    }
    int16_t S16(int r) const { return static_cast<int16_t>(Reg(r)); }
    int32_t U16(int r) const { return Reg(r); }
    int32_t X16(int r) const { return Reg(r); }
    int16_t P15(int r) const {
        const uint16_t v = Reg(r);
        if (v > 32767) rt::Raise(rt::ErrOverflow);
        return static_cast<int16_t>(v);
    }
    uint8_t B8(int r) const {
        const uint16_t v = Reg(r);
        if (v > 255) rt::Raise(rt::ErrOverflow);
        return static_cast<uint8_t>(v);
    }
    uint8_t Hi(int r) const { return static_cast<uint8_t>(Reg(r) >> 8); }
    uint8_t Lo(int r) const { return static_cast<uint8_t>(Reg(r) & 0xFF); }
    int32_t S32(int r) const {
        return static_cast<int32_t>(static_cast<uint32_t>(Reg(r)) << 16 | Reg(r + 1));
    }
    std::string ID(int r) const {
        const int32_t id = Reg(r);
        return GetModelNameById(id);
    }

  private:
    std::span<const uint8_t> b_;
};

constexpr size_t DataEnd(int registers) { return 9 + 2 * static_cast<size_t>(registers); }

// ---- Monitor images --------------------------------------------------------

template <class Arr>
void StoreBits(const Reply& r, Arr& target) {
    r.Require(DataEnd(16));  // 32 data bytes
    for (int i = 0; i < 32; ++i) {
        const uint8_t b = r.Byte(9 + static_cast<size_t>(i));
        for (int j = 0; j < 8; ++j) target(8 * i + j) = ((b >> j) & 1) != 0;
    }
}

template <class Arr>
void StoreRegisters(const Reply& r, Arr& target) {
    r.Require(DataEnd(kRegisterImageSize));
    for (int i = 0; i < kRegisterImageSize; ++i) target(i) = r.S16(i);
}

template <class Arr>
void StorePairs(const Reply& r, Arr& target) {
    r.Require(DataEnd(2 * kPairImageSize));
    for (int i = 0; i < kPairImageSize; ++i) target(i) = r.S32(2 * i);
}

// ---- Status blocks ---------------------------------------------------------

int Offset(uint16_t reg, const RegisterBlock& b) { return reg - b.Start; }

void StoreIomStatus(const Reply& r, NodeConfig& n) {
    r.Require(DataEnd(RegIomStatus.Quantity));
    const auto& b = RegIomStatus;
    for (int s = 0; s < kStationSlots; ++s) {
        if (n.SlotPresent(s) != kTrue) continue;
        n.NMTState(s) = r.S16(Offset(RegIomNmtState, b) + s);
        n.DuplexStatus(s) = r.S16(Offset(RegIomDuplexStatus, b) + s);
        n.UnderLowLimit(s) = r.S16(Offset(RegIomUnderLowLimit, b) + s);
        n.UnderLowLowLimit(s) = r.S16(Offset(RegIomUnderLowLowLimit, b) + s);
        n.ExceedHighLimit(s) = r.S16(Offset(RegIomExceedHighLimit, b) + s);
        n.ExceedHighHighLimit(s) = r.S16(Offset(RegIomExceedHighHighLimit, b) + s);
        n.ChBrokenStatus(s) = r.S32(Offset(RegIomChBroken, b) + 2 * s);
        n.LightEmcy(s) = r.S32(Offset(RegIomLightEmcy, b) + 2 * s);
        n.HeavyEmcy(s) = r.S32(Offset(RegIomHeavyEmcy, b) + 2 * s);
    }
}

void StoreMcuStatus(const Reply& r, NodeConfig& n) {
    r.Require(DataEnd(RegMcuStatus.Quantity));
    const auto& b = RegMcuStatus;
    n.McuStatus = r.S16(Offset(RegMcuRole, b));
    n.OtherMcuStatus = r.S16(Offset(RegOtherMcuStatus, b));
    n.CanStatus = r.S16(Offset(RegCanStatus, b));
    n.PwmStatus = r.S16(Offset(RegPwmStatus, b));
    n.LightFault = r.S32(Offset(RegLightFault, b));
    n.HeavyFault = r.S32(Offset(RegHeavyFault, b));
    n.DipSwitch = r.S16(Offset(RegDipSwitch, b));
    n.TcpTimeout = r.S16(Offset(RegTcpTimeout, b));
}

// HART reply area: registers 0-2, then the data bytes from reply byte 19 on,
// two per register with the first byte in the low half. The length must fit
// both the reply and the 513-byte field; nothing is stored otherwise.
void StoreHart(const Reply& r, int slot, NodeConfig& n) {
    const int16_t status = r.P15(0);
    const int16_t error = r.P15(1);
    const int16_t length = r.P15(2);
    if (length > kHartDataBytes) rt::Raise(rt::ErrSubscriptOutOfRange);
    // Data(2k) is reply byte 20 + 2k and Data(2k + 1) reply byte 19 + 2k.
    auto byteOf = [](int i) { return static_cast<size_t>(i % 2 == 0 ? 20 + i : 18 + i); };
    if (length > 0) {
        const int last = length - 1;
        r.Require(std::max(byteOf(last), last > 0 ? byteOf(last - 1) : size_t{0}) + 1);
    }
    HartReply& h = n.Hart(slot);
    h.ProcessStatus = status;
    h.ErrorCode = error;
    h.DataLength = length;
    for (int i = 0; i < length; ++i) h.Data(i) = r.Byte(byteOf(i));
}

// ---- Configuration blocks --------------------------------------------------

using StoreFn = void (*)(const Reply&, int slot, int channels, NodeConfig&);

template <class T, class Decode, class Assign>
void ChannelList(const Reply& r, int channels, Decode decode, Assign assign) {
    std::array<T, kMaxChannelListBytes / 2> v{};
    r.Require(DataEnd(channels));
    for (int c = 0; c < channels; ++c) v[static_cast<size_t>(c)] = decode(r, c);
    for (int c = 0; c < channels; ++c) assign(c, v[static_cast<size_t>(c)]);
}

template <int N>
void ModelNames(const Reply& r, rt::Array<std::string, N>& target, int count) {
    r.Require(DataEnd(count));
    std::array<std::string, 8> names;
    for (int i = 0; i < count; ++i) names[static_cast<size_t>(i)] = r.ID(i);
    for (int i = 0; i < count; ++i) target(i) = names[static_cast<size_t>(i)];
}

template <class T, class Decode>
void PerSlotValues(const Reply& r, PerSlot<T>& target, Decode decode) {
    r.Require(DataEnd(kStationSlots));
    std::array<T, kStationSlots> v{};
    for (int s = 0; s < kStationSlots; ++s) v[static_cast<size_t>(s)] = decode(r, s);
    for (int s = 0; s < kStationSlots; ++s) target(s) = v[static_cast<size_t>(s)];
}

auto S16 = [](const Reply& r, int i) { return r.S16(i); };
auto P15 = [](const Reply& r, int i) { return r.P15(i); };

struct ConfigRule {
    const RegisterBlock* Block;
    StoreFn Store;
};

const std::array<ConfigRule, 31> kConfigChain{{
    {&RegCfgMcuName, [](const Reply& r, int, int, NodeConfig& n) { ModelNames(r, n.McuName, 2); }},
    {&RegCfgPwmName,
     [](const Reply& r, int, int, NodeConfig& n) { ModelNames(r, n.PowerName, 2); }},
    {&RegCfgVersions,
     [](const Reply& r, int, int, NodeConfig& n) {
         const int16_t mcu = r.P15(0), lib = r.P15(1);
         n.McuVersion = mcu;
         n.McuLibVersion = lib;
     }},
    {&RegCfgRealModuleId,
     [](const Reply& r, int, int, NodeConfig& n) {
         ModelNames(r, n.Module, kStationSlots);
         for (int s = 0; s < kStationSlots; ++s)
             n.SlotPresent(s) = n.Module(s).empty() ? kFalse : kTrue;
     }},
    {&RegCfgPredefModuleId,
     [](const Reply& r, int, int, NodeConfig& n) {
         ModelNames(r, n.PredefModule, kStationSlots);
         for (int s = 0; s < kStationSlots; ++s) {
             const std::string& found = n.Module(s);
             const std::string& predef = n.PredefModule(s);
             n.DownloadPending(s) =
                 !found.empty() && !predef.empty() && found != predef ? kTrue : kFalse;
         }
     }},
    {&RegCfgNmtState,
     [](const Reply& r, int, int, NodeConfig& n) { PerSlotValues(r, n.NMTState, P15); }},
    {&RegCfgFwVersion,
     [](const Reply& r, int, int, NodeConfig& n) { PerSlotValues(r, n.Version, P15); }},
    {&RegCfgRedundancy,
     [](const Reply& r, int, int, NodeConfig& n) {
         r.Require(DataEnd(kStationSlots));
         for (int s = 0; s < kStationSlots; ++s) {
             n.RedundancyToSlot(s) = r.Hi(s);
             n.RedundancyInfo(s) = r.Lo(s);
         }
     }},
    {&RegCfgLineDropOff,
     [](const Reply& r, int, int, NodeConfig& n) { PerSlotValues(r, n.BreakLineFunc, P15); }},
    {&RegCfgDoPowerOn,
     [](const Reply& r, int s, int, NodeConfig& n) {
         r.Require(DataEnd(2));
         n.DO_PowerONValue_High(s) = r.U16(0);
         n.DO_PowerONValue_Low(s) = r.U16(1);
     }},
    {&RegCfgDoSafe,
     [](const Reply& r, int s, int, NodeConfig& n) {
         r.Require(DataEnd(2));
         n.DO_SafeValue_High(s) = r.U16(0);
         n.DO_SafeValue_Low(s) = r.U16(1);
     }},
    {&RegCfgDoFaultMode,
     [](const Reply& r, int s, int, NodeConfig& n) {
         r.Require(DataEnd(1));
         n.PowerOnValueMode(s, 0) = r.Hi(0);
         n.SafeValueMode(s, 0) = r.Lo(0);
     }},
    {&RegCfgAoPowerOn,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.PowerOnValue(s, c) = v; });
     }},
    {&RegCfgAoSafe,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.SafeValue(s, c) = v; });
     }},
    {&RegCfgAoFaultMode,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<uint16_t>(
             r, ch, [](const Reply& rr, int c) { return rr.Reg(c); },
             [&](int c, uint16_t v) {
                 n.PowerOnValueMode(s, c) = static_cast<uint8_t>(v >> 8);
                 n.SafeValueMode(s, c) = static_cast<uint8_t>(v & 0xFF);
             });
     }},
    {&RegCfgRangeCode,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.RangeCode(s, c) = v; });
     }},
    {&RegCfgScaleLow,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.UserDefLRange(s, c) = v; });
     }},
    {&RegCfgScaleHigh,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.UserDefHRange(s, c) = v; });
     }},
    {&RegCfgAlarmLow,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.LowAlarmVal(s, c) = v; });
     }},
    {&RegCfgAlarmHigh,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.HighAlarmVal(s, c) = v; });
     }},
    {&RegCfgAlarmEnable,
     [](const Reply& r, int s, int, NodeConfig& n) { n.AlarmMode(s) = r.U16(0); }},
    {&RegCfgAiFilterMode,
     [](const Reply& r, int s, int, NodeConfig& n) {
         const uint8_t high = r.Hi(0), low = r.Lo(0);
         const int16_t mains = r.P15(1);
         n.AIFilterModeHigh(s) = high;
         n.AIDigitalFilterMode(s) = low;
         n.MainsFrequency(s) = mains;
     }},
    {&RegCfgPoReferenceTime,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.PO(s).RefTime(c) = v; });
     }},
    {&RegCfgPoOffsetTime,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int32_t>(
             r, ch, [](const Reply& rr, int c) { return rr.X16(c); },
             [&](int c, int32_t v) { n.PO(s).OffsetTime(c) = v; });
     }},
    {&RegCfgPoCyclicSteps,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.PO(s).CyclicSteps(c) = v; });
     }},
    {&RegCfgPoDutySteps,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.PO(s).DutySteps(c) = v; });
     }},
    {&RegCfgPoFaultMode,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<uint8_t>(
             r, ch, [](const Reply& rr, int c) { return rr.B8(c); },
             [&](int c, uint8_t v) { n.SafeValueMode(s, c) = v; });
     }},
    {&RegCfgPoPwmCounter,
     [](const Reply& r, int s, int ch, NodeConfig& n) {
         ChannelList<int16_t>(r, ch, S16, [&](int c, int16_t v) { n.PO(s).PWMCount(c) = v; });
     }},
    {&RegCfgPiConfig,
     [](const Reply& r, int s, int, NodeConfig& n) {
         r.Require(DataEnd(6));
         PIConfig& pi = n.PI(s);
         pi.FreqMode = r.Hi(0);
         pi.LPFMode = r.Lo(0);
         pi.EdgeTrig = r.X16(1);
         pi.FilterInterval = r.S32(2);
         pi.Impendance = r.S32(4);
     }},
    {&RegCfgCjc,
     [](const Reply& r, int s, int, NodeConfig& n) {
         const int16_t setting = r.P15(0), value = r.S16(1);
         n.CJCSetting(s) = setting;
         n.CJCValue(s) = value;
     }},
    {&RegCfgBreakLine,
     [](const Reply& r, int s, int, NodeConfig& n) { n.CHBreakLineMode(s) = r.S32(0); }},
}};

const ConfigRule* FindRule(long key, int* slot) {
    const RegisterBlock* block = FindConfigBlock(key, slot);
    if (block == nullptr) return nullptr;
    for (const ConfigRule& rule : kConfigChain)
        if (rule.Block == block) return &rule;
    return nullptr;
}

DispatchResult Result(DispatchOutcome o) { return DispatchResult{o, 0, {}}; }

DispatchResult Dispatch(const Reply& r, long key, std::string& keyText) {
    NodeConfig& n = ConfigReal[0];
    const auto stored = [&] {
        keyText = KeyDone;
        return Result(DispatchOutcome::Stored);
    };
    const auto unmatched = [] { return Result(DispatchOutcome::Unmatched); };

    const uint8_t unit = r.Byte(6);
    if (n.NetID < 1 || n.NetID > 247 || unit != n.NetID) {
        keyText = KeyErrorReply;
        return Result(DispatchOutcome::Refused);
    }
    const uint8_t function = r.Byte(7);
    switch (function) {
        case FcReadCoils:
        case FcReadDiscreteInputs:
            if (key != 1 || r.Byte(8) != RegDiImage.ByteCount) return unmatched();
            if (function == FcReadCoils) {
                StoreBits(r, DOValue);
                nxlink::SetCoilImageReported(true);
            } else {
                StoreBits(r, DIValue);
            }
            return stored();
        case FcReadHoldingRegisters:
            if (key == 1 && r.Byte(8) == 0) {
                StoreRegisters(r, AOValue);
                return stored();
            }
            if (key == 2 && r.Byte(8) == 0) {
                StorePairs(r, POValue);
                return stored();
            }
            return unmatched();
        case FcReadInputRegisters:
            if (key == 1) {
                if (r.Byte(8) != 0) return unmatched();
                StoreRegisters(r, AIValue);
                return stored();
            }
            if (key == 2) {
                if (r.Byte(8) != 0) return unmatched();
                StorePairs(r, PIValue);
                return stored();
            }
            if (key == 3) {
                if (r.Byte(8) != RegIomStatus.ByteCount) return unmatched();
                StoreIomStatus(r, n);
                return stored();
            }
            if (key == 4) {
                if (r.Byte(8) != RegMcuStatus.ByteCount) return unmatched();
                StoreMcuStatus(r, n);
                return stored();
            }
            if (key >= 10 && key <= 17) {
                if (r.Byte(8) != 0 || r.Size() < static_cast<size_t>(kHartReplyMinBytes))
                    return unmatched();
                StoreHart(r, static_cast<int>(key - 10), n);
                return stored();
            }
            if (key >= 32768 && key < 36864) {
                int slot = 0;
                const ConfigRule* rule = FindRule(key, &slot);
                if (rule == nullptr) return unmatched();
                const int byteCount = r.Byte(8);
                int channels = 0;
                if (rule->Block->ByteCount == kByteCountUpTo32) {
                    if (byteCount > kMaxChannelListBytes) return unmatched();
                    channels = byteCount / 2;
                } else if (byteCount != rule->Block->ByteCount) {
                    return unmatched();
                }
                rule->Store(r, slot, channels, n);
                return stored();
            }
            return unmatched();
        case FcWriteMultipleRegisters: {
            if (key != RegIomCommand.Start && key != RegMcuCommand.Start) return unmatched();
            const long echoed = r.Byte(8) * 256L + r.Byte(9);
            if (echoed != key) return unmatched();
            return stored();
        }
        default:
            keyText = KeyErrorReply;
            return Result(DispatchOutcome::Refused);
    }
}

}  // namespace

DispatchResult DispatchModbusReply(std::span<const uint8_t> reply, std::string& key) {
    const std::optional<long> number = KeyNumber(key);
    if (!number || *number <= 0) return Result(DispatchOutcome::Ignored);
    // Every rule reads and checks its whole reply before it stores anything,
    // so a failure leaves the record and the key as they were.
    try {
        return Dispatch(Reply(reply), *number, key);
    } catch (const rt::RuntimeError& e) {
        return DispatchResult{DispatchOutcome::Failed, e.Number(), e.Description()};
    }
}

std::optional<bool> CanBeginReply(std::span<const uint8_t> head) {
    const std::optional<MbapHeader> h = ParseMbapHeader(head);
    if (!h || h->ProtocolId != 0 || h->Length < kMinMbapLength || h->Length > kMaxMbapLength ||
        h->UnitId < 1 || h->UnitId > 247)
        return false;
    if (head.size() < 8) return std::nullopt;
    const uint8_t function = head[7];
    switch (function & 0x7F) {
        case FcReadCoils:
        case FcReadDiscreteInputs:
        case FcReadHoldingRegisters:
        case FcReadInputRegisters:
        case FcWriteSingleCoil:
        case FcWriteSingleRegister:
        case FcWriteMultipleRegisters:
            break;
        default:
            return false;
    }
    if (function & 0x80) return h->Length == 3;
    if (function == FcWriteSingleCoil || function == FcWriteSingleRegister ||
        function == FcWriteMultipleRegisters)
        return h->Length == 6;
    if (h->Length < 3) return false;
    if (head.size() < 9) return std::nullopt;
    const size_t data = h->Length - 3u;
    const uint8_t byteCount = head[8];
    return (data & 0xFF) == byteCount || (byteCount == 0 && data > 255);
}

void WskTCP502_DataArrival(rt::WinsockControl& ws, int32_t /*bytesTotal*/) {
    nxlink::TakeModbusReplies(ws, DispatchModbusReply);
}

QMetaObject::Connection ConnectModbusReplyHandler(rt::WinsockControl& ws) {
    return QObject::connect(&ws, &rt::WinsockControl::DataArrival, &ws, [&ws](qint64 total) {
        WskTCP502_DataArrival(ws, static_cast<int32_t>(total));
    });
}
