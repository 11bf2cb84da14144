#include "sim/StationEngine.h"

#include <QDeadlineTimer>
#include <cmath>
#include <cstring>

namespace nxsim {

namespace {

constexpr int kRegIomCommand = 0x8000;
constexpr int kRegMcuCommand = 0x9000;
constexpr int kRegDataMailbox = 0x0200;
constexpr int kReplyAreaBase = 0x1400;
constexpr int kMaxRequestLength = 255;
// Registers of the largest write the station takes in one request (the
// Length byte full: 7 + 2 x 124 = 255).
constexpr int kMaxWriteRegisters = 124;
// Controller firmware (version x 100) from which the AI filter block and its
// command, and the PO PWM counter block, exist.
constexpr int kFirstAiFilterVersion = 301;
constexpr int kFirstPwmCounterVersion = 201;

quint16 Word(const QByteArray& b, int i) {
    return static_cast<quint16>((static_cast<quint8>(b[i]) << 8) | static_cast<quint8>(b[i + 1]));
}

ModuleKind KindOf(const SlotConfig& s) {
    const ModuleModel* m = ModelById(s.moduleId);
    return m ? m->kind : ModuleKind::Other;
}

int ChannelsOf(const SlotConfig& s) {
    const ModuleModel* m = ModelById(s.moduleId);
    return m ? m->channels : 0;
}

bool IsAnalog(ModuleKind k) {
    return k == ModuleKind::AI || k == ModuleKind::TC || k == ModuleKind::ScaledAI ||
           k == ModuleKind::RTD || k == ModuleKind::AO;
}

bool IsAnalogInput(ModuleKind k) { return IsAnalog(k) && k != ModuleKind::AO; }

}  // namespace

// ---- Framing -----------------------------------------------------------

int ModbusFrameLength(const QByteArray& buf) {
    if (buf.size() < 7) return 0;
    const int protocol = Word(buf, 2);
    const int length = Word(buf, 4);
    // The station takes a Length up to 255 (its high byte is always 0): the
    // largest HART mailbox write carries 124 registers, one more than plain
    // Modbus allows, and exactly fills the Length byte.
    if (protocol != 0 || length < 2 || length > kMaxRequestLength) return -1;
    return buf.size() < 6 + length ? 0 : 6 + length;
}

ModbusRequest DecodeModbus(const QByteArray& f) {
    ModbusRequest r;
    r.frame = f;
    if (f.size() >= 2) r.transaction = Word(f, 0);
    if (f.size() >= 7) r.unitId = static_cast<quint8>(f[6]);
    if (f.size() >= 8) r.function = static_cast<quint8>(f[7]);
    if (f.size() >= 10) r.address = Word(f, 8);
    switch (r.function) {
        case 1:
        case 2:
        case 3:
        case 4:
            if (f.size() >= 12) r.quantity = Word(f, 10);
            break;
        case 5:
        case 6:
            if (f.size() >= 12) r.values.append(Word(f, 10));
            break;
        case 16:
            if (f.size() >= 12) r.quantity = Word(f, 10);
            for (int i = 13; i + 1 < f.size() && r.values.size() < r.quantity; i += 2)
                r.values.append(Word(f, i));
            break;
        default:
            break;
    }
    return r;
}

QByteArray ModbusReply(const ModbusRequest& req, const QByteArray& pdu, int unitId) {
    QByteArray out(7 + pdu.size(), Qt::Uninitialized);
    char* p = out.data();
    const quint16 length = static_cast<quint16>(pdu.size() + 1);
    p[0] = static_cast<char>((req.transaction >> 8) & 0xFF);
    p[1] = static_cast<char>(req.transaction & 0xFF);
    p[2] = p[3] = 0;
    p[4] = static_cast<char>(length >> 8);
    p[5] = static_cast<char>(length & 0xFF);
    p[6] = static_cast<char>(unitId >= 0 ? unitId : req.unitId);
    std::copy(pdu.cbegin(), pdu.cend(), p + 7);
    return out;
}

QByteArray ModbusException(const ModbusRequest& req, uint8_t code) {
    QByteArray pdu;
    pdu.append(static_cast<char>((req.function & 0x7F) | 0x80));
    pdu.append(static_cast<char>(code));
    return ModbusReply(req, pdu);
}

QVector<QByteArray> SplitTextCommands(QByteArray& buf) {
    static const QByteArray known[] = {"19!controller", "19!getnetid", "19!getfwver"};
    static const QByteArray setNetId = "19!setnetid";
    QVector<QByteArray> out;
    while (true) {
        int skip = 0;
        while (skip < buf.size() && (buf[skip] == '\r' || buf[skip] == '\n' || buf[skip] == ' '))
            ++skip;
        buf.remove(0, skip);
        if (buf.isEmpty()) break;
        bool waiting = false;
        bool taken = false;
        for (const QByteArray& k : known) {
            if (buf.startsWith(k)) {
                out.append(k);
                buf.remove(0, k.size());
                taken = true;
                break;
            }
            if (k.startsWith(buf)) waiting = true;
        }
        if (taken) continue;
        if (setNetId.startsWith(buf) || (QByteArray(setNetId + " ").startsWith(buf)))
            waiting = true;
        if (waiting) break;
        // A set-Net-ID command or unknown text runs to the next command or the end.
        int next = buf.indexOf("19!", 1);
        int len = next < 0 ? static_cast<int>(buf.size()) : next;
        out.append(buf.left(len));
        buf.remove(0, len);
    }
    return out;
}

void Scramble(quint8* p, int len, const std::array<quint8, 64>& table) {
    for (int m = 1; m < len; ++m) p[m] ^= table[static_cast<size_t>((p[0] + m) % 64)];
}

// ---- Engine --------------------------------------------------------------

StationEngine::StationEngine(const SimOptions& options)
    : options_(options), st_(options.station), live_(options.liveInputs) {
    clock_.start();
    scramble_ = StationSim::DefaultScrambleTable();
}

void StationEngine::configure(const SimOptions& options) {
    QMutexLocker lock(&mutex_);
    options_ = options;
    st_ = options.station;
    live_ = options.liveInputs;
    pending_.clear();
}

void StationEngine::schedule(qint64 delayMs, std::function<void()> apply) {
    if (delayMs <= 0) {
        apply();
        return;
    }
    const qint64 at = clock_.elapsed() + delayMs;
    auto it = pending_.begin();
    while (it != pending_.end() && it->at <= at) ++it;
    pending_.insert(it, Pending{at, std::move(apply)});
}

void StationEngine::advance() {
    const qint64 now = clock_.elapsed();
    while (!pending_.empty() && pending_.front().at <= now) {
        auto fn = std::move(pending_.front().apply);
        pending_.pop_front();
        fn();
    }
}

void StationEngine::refreshInputs(InputImage image, int first, int last) {
    // Only the inputs a read returns are brought to the current time; reads
    // of anything else (status, configuration) cost nothing here.
    if (!live_) return;
    const int perSlot = image == InputImage::DI ? 32 : 16;
    const qint64 t = clock_.elapsed();
    for (int s = std::max(0, first / perSlot); s < kSlotCount && s * perSlot < last; ++s) {
        const SlotConfig& sc = st_.slot[static_cast<size_t>(s)];
        if (!sc.present()) continue;
        const ModuleKind k = KindOf(sc);
        if (image == InputImage::DI   ? k != ModuleKind::DI
            : image == InputImage::AI ? !IsAnalogInput(k)
                                      : k != ModuleKind::PI)
            continue;
        const int base = s * perSlot;
        const int from = std::max(first, base);
        const int to = std::min(last, base + std::min(perSlot, ChannelsOf(sc)));
        for (int i = from; i < to; ++i) {
            const int c = i - base;
            const size_t at = static_cast<size_t>(i);
            if (image == InputImage::DI) {
                di_[at] = ((t / (200LL * (c % 4 + 1))) + c) % 2 != 0;
            } else if (image == InputImage::AI) {
                const double phase = 2.0 * M_PI * static_cast<double>(t) / (4000.0 + 500.0 * c) + c;
                ai_[at] = static_cast<qint16>(5000 + std::lround(3000.0 * std::sin(phase)));
            } else {
                pi_[at] = static_cast<qint32>((t / 100) * (c + 1)) - piBase_[at];
            }
        }
    }
}

void StationEngine::refreshAllInputs() {
    refreshInputs(InputImage::DI, 0, static_cast<int>(di_.size()));
    refreshInputs(InputImage::AI, 0, static_cast<int>(ai_.size()));
    refreshInputs(InputImage::PI, 0, static_cast<int>(pi_.size()));
}

QByteArray StationEngine::handleModbus(const ModbusRequest& req) {
    QMutexLocker lock(&mutex_);
    advance();
    if (req.function < 0) return {};
    if (!options_.anyUnitId && req.unitId != st_.netId)
        return ModbusException(req, ExGatewayTargetFailed);
    switch (req.function) {
        case 1:
        case 2:
            return readBits(req, req.function == 1);
        case 3:
        case 4:
            return readRegisters(req, req.function == 4);
        case 5:
            return writeCoil(req);
        case 6:
            return writeRegister(req);
        case 16:
            return writeMultiple(req);
        default:
            return ModbusException(req, ExIllegalFunction);
    }
}

QByteArray StationEngine::readBits(const ModbusRequest& req, bool coils) {
    if (req.frame.size() != 12) return ModbusException(req, ExIllegalValue);
    if (req.quantity < 1 || req.quantity > 2000) return ModbusException(req, ExIllegalValue);
    if (req.address + req.quantity > 256) return ModbusException(req, ExIllegalAddress);
    if (!coils) refreshInputs(InputImage::DI, req.address, req.address + req.quantity);
    const int bytes = (req.quantity + 7) / 8;
    QByteArray pdu(2 + bytes, '\0');
    pdu[0] = static_cast<char>(req.function);
    pdu[1] = static_cast<char>(bytes & 0xFF);
    for (int n = 0; n < req.quantity; ++n) {
        const size_t a = static_cast<size_t>(req.address) + static_cast<size_t>(n);
        if (coils ? coils_[a] : di_[a])
            pdu[2 + n / 8] = static_cast<char>(pdu[2 + n / 8] | (1 << (n % 8)));
    }
    return ModbusReply(req, pdu);
}

bool StationEngine::inputRegisterAt(int a, quint16* out) {
    auto hi = [](quint32 v) { return static_cast<quint16>(v >> 16); };
    auto lo = [](quint32 v) { return static_cast<quint16>(v & 0xFFFF); };
    if (a >= 0 && a < 0x80) {
        *out = static_cast<quint16>(ai_[static_cast<size_t>(a)]);
        return true;
    }
    if (a >= 0x80 && a < 0x180) {
        const quint32 v = static_cast<quint32>(pi_[static_cast<size_t>((a - 0x80) / 2)]);
        *out = (a - 0x80) % 2 == 0 ? hi(v) : lo(v);
        return true;
    }
    if (a >= 0x200 && a < 0x22A) {
        switch (a - 0x200) {
            case 0:
                *out = st_.mcuRole;
                break;
            case 1:
                *out = st_.otherMcu;
                break;
            case 2:
                *out = st_.canStatus;
                break;
            case 3:
                *out = st_.pwmStatus;
                break;
            case 4:
                *out = hi(st_.lightFault);
                break;
            case 5:
                *out = lo(st_.lightFault);
                break;
            case 6:
                *out = hi(st_.heavyFault);
                break;
            case 7:
                *out = lo(st_.heavyFault);
                break;
            case 8:
                *out = st_.dipSwitch;
                break;
            case 0x29:
                *out = st_.tcpTimeout;
                break;
            default:
                *out = 0;
                break;
        }
        return true;
    }
    if (a >= 0x240 && a < 0x2B8) {
        const int r = a - 0x240;
        *out = 0;
        auto slot = [&](int base) -> const SlotConfig& {
            return st_.slot[static_cast<size_t>((r - base) % 8)];
        };
        auto slot2 = [&](int base) -> const SlotConfig& {
            return st_.slot[static_cast<size_t>(((r - base) / 2) % 8)];
        };
        if (r < 0x08)
            *out = slot(0x00).moduleId;
        else if (r < 0x10)
            *out = slot(0x08).predefinedId;
        else if (r < 0x18)
            *out = slot(0x10).nmtState;
        else if (r < 0x20)
            *out = slot(0x18).duplexStatus;
        else if (r < 0x28)
            *out = 0;
        else if (r < 0x30)
            *out = slot(0x28).underLow;
        else if (r < 0x38)
            *out = slot(0x30).underLowLow;
        else if (r < 0x40)
            *out = slot(0x38).exceedHigh;
        else if (r < 0x48)
            *out = slot(0x40).exceedHighHigh;
        else if (r < 0x58)
            *out = (r - 0x48) % 2 == 0 ? hi(slot2(0x48).chBroken) : lo(slot2(0x48).chBroken);
        else if (r < 0x68)
            *out = (r - 0x58) % 2 == 0 ? hi(slot2(0x58).lightEmcy) : lo(slot2(0x58).lightEmcy);
        else
            *out = (r - 0x68) % 2 == 0 ? hi(slot2(0x68).heavyEmcy) : lo(slot2(0x68).heavyEmcy);
        return true;
    }
    if (a >= kReplyAreaBase && a < kReplyAreaBase + 0x100 * kSlotCount) {
        const int r = a - kReplyAreaBase;
        *out = replyArea_[static_cast<size_t>(r >> 8)][static_cast<size_t>(r & 0xFF)];
        return true;
    }
    return false;
}

bool StationEngine::holdingRegisterAt(int a, quint16* out) const {
    if (a >= 0 && a < 0x80) {
        *out = static_cast<quint16>(ao_[static_cast<size_t>(a)]);
        return true;
    }
    if (a >= 0x100 && a < 0x200) {
        const quint32 v = static_cast<quint32>(po_[static_cast<size_t>((a - 0x100) / 2)]);
        *out =
            (a - 0x100) % 2 == 0 ? static_cast<quint16>(v >> 16) : static_cast<quint16>(v & 0xFFFF);
        return true;
    }
    return false;
}

bool StationEngine::configBlock(int start, int qty, QVector<quint16>* out, uint8_t* ex) const {
    *ex = ExIllegalAddress;
    // Controller-level blocks: addressed register by register.
    struct Level {
        int base;
        int size;
    };
    const Level levels[] = {{0x8000, 2}, {0x8010, 2}, {0x8020, 2}, {0x8100, 8}, {0x8110, 8},
                            {0x8120, 8}, {0x8130, 8}, {0x8140, 8}, {0x8150, 8}};
    for (const Level& l : levels) {
        if (start < l.base || start >= l.base + l.size) continue;
        if (start + qty > l.base + l.size) return false;
        for (int a = start; a < start + qty; ++a) {
            const int r = a - l.base;
            quint16 v = 0;
            const SlotConfig& s = st_.slot[static_cast<size_t>(r % kSlotCount)];
            switch (l.base) {
                case 0x8000:
                    v = st_.mcuIds[static_cast<size_t>(r)];
                    break;
                case 0x8010:
                    v = st_.powerIds[static_cast<size_t>(r)];
                    break;
                case 0x8020:
                    v = r == 0 ? st_.mcuVersion : st_.libVersion;
                    break;
                case 0x8100:
                    v = s.moduleId;
                    break;
                case 0x8110:
                    v = s.predefinedId;
                    break;
                case 0x8120:
                    v = s.nmtState;
                    break;
                case 0x8130:
                    v = s.version;
                    break;
                case 0x8140:
                    v = s.redundancy;
                    break;
                case 0x8150:
                    v = s.lineDetect;
                    break;
            }
            out->append(v);
        }
        return true;
    }
    // Per-slot blocks: the block of slot s starts at base + s. A controller
    // firmware older than a block does not know its registers.
    for (const SlotBlock& b : SlotBlocks()) {
        if (start < b.base || start >= b.base + kSlotCount) continue;
        if ((b.base == BlkAiFilterMode && st_.mcuVersion < kFirstAiFilterVersion) ||
            (b.base == BlkPoPwmCounter && st_.mcuVersion < kFirstPwmCounterVersion))
            return false;
        const SlotConfig& s = st_.slot[static_cast<size_t>(start - b.base)];
        if (qty > b.size || !s.present()) return false;
        for (int i = 0; i < qty; ++i) out->append(s.reg(b.base, i));
        return true;
    }
    return false;
}

QByteArray StationEngine::readRegisters(const ModbusRequest& req, bool input) {
    if (req.frame.size() != 12) return ModbusException(req, ExIllegalValue);
    if (req.quantity < 1 || req.quantity > 256) return ModbusException(req, ExIllegalValue);
    std::array<quint16, 256> regs;
    int count = 0;
    if (input && req.address >= 0x8000) {
        uint8_t ex = 0;
        QVector<quint16> block;
        if (!configBlock(req.address, req.quantity, &block, &ex)) return ModbusException(req, ex);
        for (quint16 v : block)
            if (count < static_cast<int>(regs.size())) regs[static_cast<size_t>(count++)] = v;
    } else {
        if (input) {
            // AI registers 0x00..0x7F, then the PI pairs from 0x80 on.
            const int end = req.address + req.quantity;
            refreshInputs(InputImage::AI, req.address, std::min(end, 0x80));
            refreshInputs(InputImage::PI, (std::max(req.address, 0x80) - 0x80) / 2,
                          (std::min(end, 0x180) - 0x80 + 1) / 2);
        }
        for (int a = req.address; a < req.address + req.quantity; ++a) {
            quint16 v = 0;
            if (!(input ? inputRegisterAt(a, &v) : holdingRegisterAt(a, &v)))
                return ModbusException(req, ExIllegalAddress);
            regs[static_cast<size_t>(count++)] = v;
        }
    }
    // Filled in place: a read is answered with one allocation for the PDU.
    QByteArray pdu(2 + 2 * count, Qt::Uninitialized);
    char* p = pdu.data();
    p[0] = static_cast<char>(req.function);
    p[1] = static_cast<char>((2 * count) & 0xFF);  // 0 for 128 and 256 registers
    for (int i = 0; i < count; ++i) {
        p[2 + 2 * i] = static_cast<char>(regs[static_cast<size_t>(i)] >> 8);
        p[3 + 2 * i] = static_cast<char>(regs[static_cast<size_t>(i)] & 0xFF);
    }
    return ModbusReply(req, pdu);
}

QByteArray StationEngine::writeCoil(const ModbusRequest& req) {
    if (req.frame.size() != 12) return ModbusException(req, ExIllegalValue);
    const quint16 v = req.values.value(0);
    if (v != 0xFF00 && v != 0x0000) return ModbusException(req, ExIllegalValue);
    if (req.address < 0 || req.address >= 256) return ModbusException(req, ExIllegalAddress);
    coils_[static_cast<size_t>(req.address)] = v == 0xFF00;
    return ModbusReply(req, req.frame.mid(7, 5));
}

QByteArray StationEngine::writeRegister(const ModbusRequest& req) {
    if (req.frame.size() != 12) return ModbusException(req, ExIllegalValue);
    const quint16 v = req.values.value(0);
    const int a = req.address;
    if (a >= 0 && a < 0x80) {
        ao_[static_cast<size_t>(a)] = static_cast<qint16>(v);
    } else if (a >= 0x100 && a < 0x200) {
        quint32& p = reinterpret_cast<quint32&>(po_[static_cast<size_t>((a - 0x100) / 2)]);
        p = (a - 0x100) % 2 == 0 ? (p & 0xFFFF) | (static_cast<quint32>(v) << 16)
                                 : (p & 0xFFFF0000u) | v;
    } else {
        return ModbusException(req, ExIllegalAddress);
    }
    return ModbusReply(req, req.frame.mid(7, 5));
}

QByteArray StationEngine::writeMultiple(const ModbusRequest& req) {
    const int q = req.quantity;
    if (req.frame.size() < 13 || q < 1 || q > kMaxWriteRegisters ||
        static_cast<quint8>(req.frame[12]) != 2 * q || req.frame.size() != 13 + 2 * q)
        return ModbusException(req, ExIllegalValue);
    const int a = req.address;
    uint8_t ex = 0;
    if (a == kRegIomCommand) {
        ex = moduleCommand(req.values);
    } else if (a == kRegMcuCommand) {
        ex = mcuCommand(req.values);
    } else if (a == kRegDataMailbox) {
        ex = mailbox(req.values);
    } else if (a >= 0 && a + q <= 0x80) {
        for (int i = 0; i < q; ++i)
            ao_[a + static_cast<size_t>(i)] = static_cast<qint16>(req.values[i]);
    } else if (a >= 0x100 && a + q <= 0x200) {
        for (int i = 0; i < q; ++i) {
            const int r = a + i;
            quint32& p = reinterpret_cast<quint32&>(po_[static_cast<size_t>((r - 0x100) / 2)]);
            const quint16 v = req.values[i];
            p = (r - 0x100) % 2 == 0 ? (p & 0xFFFF) | (static_cast<quint32>(v) << 16)
                                     : (p & 0xFFFF0000u) | v;
        }
    } else {
        ex = ExIllegalAddress;
    }
    if (ex) return ModbusException(req, ex);
    return ModbusReply(req, req.frame.mid(7, 5));
}

uint8_t StationEngine::moduleCommand(const QVector<quint16>& regs) {
    if (regs.size() < 3) return ExIllegalValue;
    const int code = regs[0];
    const int slot = regs[1];
    if (slot >= kSlotCount) return ExIllegalAddress;
    SlotConfig& s = st_.slot[static_cast<size_t>(slot)];
    if (!s.present()) return ExIllegalAddress;
    const ModuleKind kind = KindOf(s);
    const QVector<quint16> d = regs.mid(2);
    const bool preOp = s.nmtState == NmtPreOperation;
    const bool needPreOp = options_.requirePreOp && !preOp;

    // Per-channel list: [0, N, then `per` words per channel]. A module takes
    // no more channels than it has.
    const int channels = std::min(kMaxChannels, ChannelsOf(s));
    auto list = [&](int per, const std::function<void(int, const quint16*)>& store) -> uint8_t {
        if (needPreOp) return ExDeviceFailure;
        if (d.size() < 2 || d[0] != 0 || d[1] > channels || d.size() != 2 + d[1] * per)
            return ExIllegalValue;
        for (int c = 0; c < d[1]; ++c)
            store(c, d.constData() + 2 + static_cast<ptrdiff_t>(c) * per);
        return 0;
    };
    auto fixed = [&](int words) -> uint8_t {
        if (needPreOp) return ExDeviceFailure;
        return d.size() == words ? 0 : ExIllegalValue;
    };
    auto wrongKind = [&](std::initializer_list<ModuleKind> ok) {
        for (ModuleKind k : ok)
            if (k == kind) return false;
        return true;
    };
    const auto analog = {ModuleKind::AI, ModuleKind::TC, ModuleKind::ScaledAI, ModuleKind::RTD,
                         ModuleKind::AO};
    uint8_t ex = 0;
    switch (code) {
        case 0x00: {  // redundancy switch: the target becomes master
            if (d.size() != 1 || d[0] != 5) return ExIllegalValue;
            SlotConfig& p = st_.slot[static_cast<size_t>(slot ^ 1)];
            if (s.nmtState != NmtOperation || p.nmtState != NmtOperation ||
                (s.redundancy >> 8) != 1 || (p.redundancy >> 8) != 1)
                return ExDeviceFailure;
            s.duplexStatus = 5;
            p.duplexStatus = 2;
            return 0;
        }
        case 0x01: {  // NMT
            if (d.size() != 1) return ExIllegalValue;
            if (d[0] != 1 && d[0] != 2) return ExIllegalValue;
            const uint16_t st = s.nmtState;
            if (st != NmtBootupOk && st != NmtPreOperation && st != NmtOperation && st != NmtStop)
                return ExDeviceFailure;
            s.nmtState = d[0] == 1 ? NmtPreOperation : NmtOperation;
            return 0;
        }
        case 0x10:
            if ((ex = fixed(1))) return ex;
            if (d[0] > 1) return ExIllegalValue;
            s.redundancy = static_cast<uint16_t>((d[0] << 8) | (s.redundancy & 0xFF));
            s.duplexStatus = d[0] ? (slot % 2 == 0 ? 1 : 2) : 0;
            return 0;
        case 0x11:
            if ((ex = fixed(1))) return ex;
            if (d[0] > 1) return ExIllegalValue;
            s.lineDetect = d[0];
            return 0;
        case 0x20:
            if (wrongKind({ModuleKind::DO})) return ExIllegalValue;
            if ((ex = fixed(4))) return ex;
            s.setReg(BlkDoPowerOn, 0, d[0]);
            s.setReg(BlkDoPowerOn, 1, d[1]);
            s.setReg(BlkDoSafe, 0, d[2]);
            s.setReg(BlkDoSafe, 1, d[3]);
            return 0;
        case 0x21:
            if (wrongKind({ModuleKind::DO})) return ExIllegalValue;
            if ((ex = fixed(1))) return ex;
            s.setReg(BlkDoFaultMode, 0, d[0]);
            return 0;
        case 0x30:
        case 0x31:
        case 0x32: {
            if (wrongKind({ModuleKind::AO})) return ExIllegalValue;
            const uint16_t base = code == 0x30   ? BlkAoPowerOn
                                  : code == 0x31 ? BlkAoSafe
                                                 : BlkAoFaultMode;
            return list(1, [&](int c, const quint16* w) { s.setReg(base, c, w[0]); });
        }
        case 0x40:
            if (wrongKind({ModuleKind::AI, ModuleKind::TC, ModuleKind::ScaledAI, ModuleKind::RTD,
                           ModuleKind::AO, ModuleKind::PI, ModuleKind::PO}))
                return ExIllegalValue;
            return list(1, [&](int c, const quint16* w) { s.setReg(BlkRangeCode, c, w[0]); });
        case 0x41:
            if (wrongKind({ModuleKind::AI, ModuleKind::TC, ModuleKind::ScaledAI, ModuleKind::RTD}))
                return ExIllegalValue;
            return list(2, [&](int c, const quint16* w) {
                s.setReg(BlkScaleLow, c, w[0]);
                s.setReg(BlkScaleHigh, c, w[1]);
            });
        case 0x42:
            if (wrongKind(analog)) return ExIllegalValue;
            return list(2, [&](int c, const quint16* w) {
                s.setReg(BlkAlarmLow, c, w[0]);
                s.setReg(BlkAlarmHigh, c, w[1]);
            });
        case 0x43:
            if (wrongKind(analog)) return ExIllegalValue;
            if ((ex = fixed(1))) return ex;
            s.setReg(BlkAlarmEnable, 0, d[0]);
            return 0;
        case 0x50:
            if (wrongKind({ModuleKind::TC})) return ExIllegalValue;
            if ((ex = fixed(2))) return ex;
            s.setReg(BlkCjc, 0, d[0]);
            s.setReg(BlkCjc, 1, d[1]);
            return 0;
        case 0x51:
            if (wrongKind({ModuleKind::TC, ModuleKind::ScaledAI, ModuleKind::RTD, ModuleKind::AO}))
                return ExIllegalValue;
            if ((ex = fixed(2))) return ex;
            s.setReg(BlkBreakLine, 0, d[0]);
            s.setReg(BlkBreakLine, 1, d[1]);
            return 0;
        case 0x52:
            // Unknown to a controller firmware before the AI filter block.
            if (st_.mcuVersion < kFirstAiFilterVersion) return ExIllegalValue;
            if (wrongKind({ModuleKind::TC})) return ExIllegalValue;
            if ((ex = fixed(3))) return ex;
            s.setReg(BlkAiFilterMode, 0,
                     static_cast<uint16_t>(((d[1] & 0xFF) << 8) | (d[0] & 0xFF)));
            s.setReg(BlkAiFilterMode, 1, d[2]);
            return 0;
        case 0x60: {  // counter clear, allowed in OPERATION
            if (wrongKind({ModuleKind::PI})) return ExIllegalValue;
            if (d.size() != 1) return ExIllegalValue;
            refreshInputs(InputImage::PI, slot * 16, slot * 16 + 16);
            for (int c = 0; c < ChannelsOf(s) && c < 16; ++c) {
                if (!(d[0] & (1 << c))) continue;
                const size_t i = static_cast<size_t>(slot) * 16 + static_cast<size_t>(c);
                if (i >= pi_.size()) continue;
                piBase_[i] += pi_[i];
                pi_[i] = 0;
            }
            return 0;
        }
        case 0x61:
            if (wrongKind({ModuleKind::PI})) return ExIllegalValue;
            if ((ex = fixed(2))) return ex;
            s.setReg(BlkPiConfig, 2, d[0]);
            s.setReg(BlkPiConfig, 3, d[1]);
            return 0;
        case 0x62:
            if (wrongKind({ModuleKind::PI})) return ExIllegalValue;
            if ((ex = fixed(3))) return ex;
            s.setReg(BlkPiConfig, 0,
                     static_cast<uint16_t>((s.reg(BlkPiConfig, 0) & 0xFF00) | (d[0] & 0xFF)));
            s.setReg(BlkPiConfig, 1, d[2]);
            return 0;
        case 0x63:
            if (wrongKind({ModuleKind::PI})) return ExIllegalValue;
            if ((ex = fixed(2))) return ex;
            s.setReg(BlkPiConfig, 4, d[0]);
            s.setReg(BlkPiConfig, 5, d[1]);
            return 0;
        case 0x70:
            if (wrongKind({ModuleKind::PO})) return ExIllegalValue;
            return list(1, [&](int c, const quint16* w) { s.setReg(BlkPoReferenceTime, c, w[0]); });
        case 0x71:
            if (wrongKind({ModuleKind::PO})) return ExIllegalValue;
            return list(2, [&](int c, const quint16* w) {
                s.setReg(BlkPoOffsetTime, c, w[0]);
                s.setReg(BlkPoPwmCounter, c, w[1]);
            });
        case 0x72:
            if (wrongKind({ModuleKind::PO})) return ExIllegalValue;
            return list(2, [&](int c, const quint16* w) {
                s.setReg(BlkPoCyclicSteps, c, w[0]);
                s.setReg(BlkPoDutySteps, c, w[1]);
            });
        case 0x73:
            if (wrongKind({ModuleKind::PO})) return ExIllegalValue;
            return list(1, [&](int c, const quint16* w) { s.setReg(BlkPoFaultMode, c, w[0]); });
        case 0x80: {  // firmware update control
            if (d.size() != 1) return ExIllegalValue;
            const SlotBehaviour& b = behaviour_[static_cast<size_t>(slot)];
            FirmwareUpload& fw = firmware_[static_cast<size_t>(slot)];
            if (d[0] == 3) {  // enter the bootloader
                if (s.nmtState == NmtFwUpdate) return 0;
                if (options_.requirePreOp && !preOp) return ExDeviceFailure;
                if (!b.enterBootloader) return 0;
                schedule(b.bootloaderDelayMs, [this, slot] {
                    st_.slot[static_cast<size_t>(slot)].nmtState = NmtFwUpdate;
                });
                return 0;
            }
            if (d[0] == 1) {  // finish
                if (s.nmtState != NmtFwUpdate || !fw.initialised ||
                    static_cast<quint32>(fw.image.size()) != fw.expectedSize)
                    return ExDeviceFailure;
                fw.finished = true;
                return 0;
            }
            if (d[0] == 2) {  // reset the module
                ++fw.resets;
                s.nmtState = NmtBootupOk;
                if (b.returnToOperation)
                    schedule(b.resetDelayMs, [this, slot] {
                        SlotConfig& sc = st_.slot[static_cast<size_t>(slot)];
                        if (sc.nmtState == NmtBootupOk) sc.nmtState = NmtOperation;
                    });
                return 0;
            }
            return ExIllegalValue;
        }
        case 0x81: {  // init download: [0, size high, size low]
            if (d.size() != 3 || d[0] != 0) return ExIllegalValue;
            if (s.nmtState != NmtFwUpdate) return ExDeviceFailure;
            FirmwareUpload fw;
            fw.initialised = true;
            fw.expectedSize = (static_cast<quint32>(d[1]) << 16) | d[2];
            fw.resets = firmware_[static_cast<size_t>(slot)].resets;
            firmware_[static_cast<size_t>(slot)] = fw;
            replyArea_[static_cast<size_t>(slot)][0] = 0;
            replyArea_[static_cast<size_t>(slot)][1] = 0;
            return 0;
        }
        default:
            return ExIllegalValue;
    }
}

uint8_t StationEngine::mcuCommand(const QVector<quint16>& regs) {
    if (regs.size() != 3 || regs[0] != 0x0010 || regs[1] != 0) return ExIllegalValue;
    if (regs[2] < 5 || regs[2] > 3600) return ExIllegalValue;
    st_.tcpTimeout = regs[2];
    return 0;
}

uint8_t StationEngine::mailbox(const QVector<quint16>& regs) {
    if (regs.size() < 3) return ExIllegalValue;
    if (regs[0] == 0x4000) return hartRequest(regs);
    if (regs[0] == 0x8000) return firmwareChunk(regs[1], regs);
    return ExIllegalValue;
}

uint8_t StationEngine::firmwareChunk(int slot, const QVector<quint16>& regs) {
    if (slot >= kSlotCount) return ExIllegalAddress;
    SlotConfig& s = st_.slot[static_cast<size_t>(slot)];
    if (!s.present()) return ExIllegalAddress;
    const int n = regs[2];
    if (n < 1 || n > 128 || regs.size() != 3 + (n + 1) / 2) return ExIllegalValue;
    FirmwareUpload& fw = firmware_[static_cast<size_t>(slot)];
    if (s.nmtState != NmtFwUpdate || !fw.initialised) return ExDeviceFailure;
    QByteArray chunk(n, '\0');
    for (int i = 0; i < n; ++i) {
        const quint16 w = regs[3 + i / 2];
        chunk[i] = static_cast<char>(i % 2 == 0 ? (w & 0xFF) : (w >> 8));
    }
    fw.rawChunks.append(chunk);
    auto& area = replyArea_[static_cast<size_t>(slot)];
    if (static_cast<quint32>(fw.image.size() + n) > fw.expectedSize) {
        area[0] = 3;  // error: more data than announced
        area[1] = 1;
        return 0;
    }
    quint8* p = reinterpret_cast<quint8*>(chunk.data());
    if (n >= 2) Scramble(p, n, scramble_);
    // Undo the block-wide pass: blocks of 256 bytes from the image start, each
    // scrambled on its first byte.
    for (int i = 0; i < n; ++i) {
        const int pos = static_cast<int>(fw.image.size());
        const int m = pos % 256;
        quint8 v = p[i];
        if (m != 0) {
            const quint8 base = static_cast<quint8>(fw.image[pos - m]);
            v ^= scramble_[static_cast<size_t>((base + m) % 64)];
        }
        fw.image.append(static_cast<char>(v));
    }
    const int index = fw.chunks++;
    const SlotBehaviour& b = behaviour_[static_cast<size_t>(slot)];
    area[0] = 1;  // processing
    area[1] = 0;
    if (b.stallFromChunk < 0 || index < b.stallFromChunk)
        schedule(b.chunkAcceptMs, [this, slot] { replyArea_[static_cast<size_t>(slot)][0] = 2; });
    return 0;
}

uint8_t StationEngine::hartRequest(const QVector<quint16>& regs) {
    if (regs.size() < 5) return ExIllegalValue;
    const int slot = regs[1] >> 8;
    const int channel = regs[1] & 0xFF;
    const int n = regs[2];
    if (regs.size() != 5 + (n + 1) / 2) return ExIllegalValue;
    if (slot >= kSlotCount) return ExIllegalAddress;
    QByteArray data(n, '\0');
    for (int i = 0; i < n; ++i) {
        const quint16 w = regs[5 + i / 2];
        data[i] = static_cast<char>(i % 2 == 0 ? (w & 0xFF) : (w >> 8));
    }
    hartRequests_.append(HartRequest{slot, channel, data});
    auto& area = replyArea_[static_cast<size_t>(slot)];
    area.fill(0);
    area[0] = 1;  // processing
    quint16 error = 0;
    const QByteArray response = hartResponse(slot, channel, data, &error);
    schedule(behaviour_[static_cast<size_t>(slot)].hartReplyMs, [this, slot, error, response] {
        auto& a = replyArea_[static_cast<size_t>(slot)];
        a.fill(0);
        if (error) {
            a[0] = 3;
            a[1] = error;
            return;
        }
        const int len = std::min<int>(static_cast<int>(response.size()), 2 * (256 - 5));
        a[0] = 2;
        a[2] = static_cast<quint16>(len);
        for (int i = 0; i < len; ++i) {
            const quint16 b = static_cast<quint8>(response[i]);
            quint16& w = a[5 + static_cast<size_t>(i / 2)];
            w = i % 2 == 0 ? static_cast<quint16>((w & 0xFF00) | b)
                           : static_cast<quint16>((w & 0x00FF) | (b << 8));
        }
    });
    return 0;
}

QByteArray StationEngine::hartResponse(int slot, int channel, const QByteArray& req,
                                       quint16* error) const {
    const SlotConfig& s = st_.slot[static_cast<size_t>(slot)];
    const ModuleModel* m = ModelById(s.moduleId);
    if (!m || !m->hart) {
        *error = 100;  // module error
        return {};
    }
    if (channel >= m->channels) {
        *error = 101;  // module status error
        return {};
    }
    if (!hartResponse_[static_cast<size_t>(slot)].isEmpty())
        return hartResponse_[static_cast<size_t>(slot)];
    const int n = static_cast<int>(req.size());
    int i = 0;
    while (i < n && static_cast<quint8>(req[i]) == 0xFF) ++i;
    if (i >= n || (static_cast<quint8>(req[i]) & 0x7F) != 0x02) {
        *error = 15;  // delimiter
        return {};
    }
    const quint8 delim = static_cast<quint8>(req[i]);
    const int addrLen = (delim & 0x80) ? 5 : 1;
    const int cmdAt = i + 1 + addrLen;
    if (cmdAt + 1 >= n) {
        *error = 15;
        return {};
    }
    const int bc = static_cast<quint8>(req[cmdAt + 1]);
    const int ckAt = cmdAt + 2 + bc;
    if (ckAt >= n) {
        *error = 15;
        return {};
    }
    quint8 x = 0;
    for (int k = i; k < ckAt; ++k) x ^= static_cast<quint8>(req[k]);
    if (x != static_cast<quint8>(req[ckAt])) {
        *error = 17;  // checksum
        return {};
    }
    const quint8 cmd = static_cast<quint8>(req[cmdAt]);
    QByteArray payload("\x00\x00", 2);  // response code, device status
    if (cmd == 0) {
        const char ident[] = {'\xFE', '\x26', '\x0A', 5,
                              5,      1,      1,      1,
                              0,      0,      0,      static_cast<char>(1 + slot * 16 + channel)};
        payload.append(ident, sizeof(ident));
    } else if (cmd == 1) {
        float pv = 4.0f + static_cast<float>(channel);
        quint32 bits = 0;
        std::memcpy(&bits, &pv, 4);
        payload.append('\x39');  // mA
        for (int k = 3; k >= 0; --k) payload.append(static_cast<char>((bits >> (8 * k)) & 0xFF));
    }
    QByteArray resp;
    resp.append(static_cast<char>(delim | 0x04));
    resp.append(req.mid(i + 1, addrLen));
    resp.append(static_cast<char>(cmd));
    resp.append(static_cast<char>(payload.size()));
    resp.append(payload);
    quint8 ck = 0;
    for (char c : resp) ck ^= static_cast<quint8>(c);
    resp.append(static_cast<char>(ck));
    return resp;
}

QByteArray StationEngine::handleText(const QByteArray& command) {
    QMutexLocker lock(&mutex_);
    advance();
    if (command == "19!controller") return st_.controllerName.toLatin1();
    if (command == "19!getnetid") return QByteArray::number(st_.netId);
    if (command == "19!getfwver") return st_.fwVersionText.toLatin1();
    if (command.startsWith("19!setnetid ")) {
        const QByteArray arg = command.mid(12).trimmed();
        bool ok = !arg.isEmpty();
        for (char c : arg) ok = ok && c >= '0' && c <= '9';
        const int v = ok && arg.size() <= 4 ? arg.toInt() : 0;
        if (v < 1 || v > 247) return "-1";
        st_.netId = v;
        return QByteArray::number(v);
    }
    return "-1";
}

// ---- Faults ----------------------------------------------------------------

std::optional<FaultRule> StationEngine::takeFault(Channel channel, const ModbusRequest* req,
                                                  const QByteArray& text) {
    QMutexLocker lock(&mutex_);
    for (FaultSlot& f : faults_) {
        const FaultRule& r = f.rule;
        if (r.channel != channel) continue;
        if (channel == Channel::Text) {
            if (!r.textPrefix.isEmpty() && !text.startsWith(r.textPrefix.toLatin1())) continue;
        } else {
            if (!req) continue;
            if (r.function >= 0 && r.function != req->function) continue;
            if (r.addressFirst >= 0) {
                const int last = r.addressLast >= 0 ? r.addressLast : r.addressFirst;
                if (req->address < r.addressFirst || req->address > last) continue;
            }
            if (r.command >= 0 || r.slot >= 0) {
                const bool mailboxWrite =
                    req->function == 16 &&
                    (req->address == kRegIomCommand || req->address == kRegMcuCommand ||
                     req->address == kRegDataMailbox) &&
                    req->values.size() >= 2;
                if (!mailboxWrite) continue;
                if (r.command >= 0 && req->values[0] != r.command) continue;
                if (r.slot >= 0) {
                    const bool hart = req->address == kRegDataMailbox && req->values[0] == 0x4000;
                    const int slot = hart ? req->values[1] >> 8 : req->values[1];
                    if (slot != r.slot) continue;
                }
            }
        }
        ++f.seen;
        if (f.seen <= r.skip) continue;
        // Due for the 1st request after the skipped ones, then one in `every`.
        if (r.every > 1 && (f.seen - r.skip - 1) % r.every != 0) continue;
        if (r.count >= 0 && f.hits >= r.count) continue;
        ++f.hits;
        return r;
    }
    return std::nullopt;
}

int StationEngine::addFault(const FaultRule& rule) {
    QMutexLocker lock(&mutex_);
    faults_.push_back(FaultSlot{nextFaultId_, rule});
    return nextFaultId_++;
}

void StationEngine::removeFault(int id) {
    QMutexLocker lock(&mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it)
        if (it->id == id) {
            faults_.erase(it);
            return;
        }
}

void StationEngine::clearFaults() {
    QMutexLocker lock(&mutex_);
    faults_.clear();
}

int StationEngine::faultHits(int id) {
    QMutexLocker lock(&mutex_);
    for (const FaultSlot& f : faults_)
        if (f.id == id) return f.hits;
    return 0;
}

// ---- Log -------------------------------------------------------------------

quint64 StationEngine::logFrame(Channel channel, Direction dir, int connection,
                                const QByteArray& bytes, const ModbusRequest* req, bool swallowed,
                                quint64 copyOf) {
    quint64 seq = 0;
    {
        QMutexLocker lock(&mutex_);
        LogEntry e;
        e.seq = seq = nextSeq_++;
        e.channel = channel;
        e.direction = dir;
        e.connection = connection;
        e.msecs = clock_.elapsed();
        e.bytes = bytes;
        e.swallowed = swallowed;
        e.copy = copyOf != 0;
        e.copyOf = copyOf;
        if (req) {
            e.unitId = req->unitId;
            e.function = req->function;
            e.address = req->address;
            e.quantity = req->quantity;
            e.values = req->values;
        }
        log_.push_back(std::move(e));
        while (static_cast<int>(log_.size()) > std::max(1, options_.logLimit)) log_.pop_front();
        logChanged_.wakeAll();
    }
    if (onLogged) onLogged(seq);
    return seq;
}

QVector<LogEntry> StationEngine::log() {
    QMutexLocker lock(&mutex_);
    return QVector<LogEntry>(log_.begin(), log_.end());
}

QVector<LogEntry> StationEngine::logSince(quint64 seq) {
    QMutexLocker lock(&mutex_);
    auto it = log_.end();
    while (it != log_.begin() && std::prev(it)->seq > seq) --it;
    return QVector<LogEntry>(it, log_.end());
}

void StationEngine::clearLog() {
    QMutexLocker lock(&mutex_);
    log_.clear();
}

bool StationEngine::waitForLog(const std::function<bool(const QVector<LogEntry>&)>& predicate,
                               int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex_);
    while (true) {
        if (predicate(QVector<LogEntry>(log_.begin(), log_.end()))) return true;
        if (deadline.hasExpired()) return false;
        logChanged_.wait(&mutex_, deadline);
    }
}

// ---- State access ------------------------------------------------------------

StationConfig StationEngine::station() {
    QMutexLocker lock(&mutex_);
    advance();
    return st_;
}

void StationEngine::setStation(const StationConfig& st) {
    QMutexLocker lock(&mutex_);
    st_ = st;
}

void StationEngine::updateStation(const std::function<void(StationConfig&)>& change) {
    QMutexLocker lock(&mutex_);
    advance();
    change(st_);
}

int StationEngine::netId() {
    QMutexLocker lock(&mutex_);
    return st_.netId;
}

bool StationEngine::discreteInput(int i) {
    QMutexLocker lock(&mutex_);
    refreshInputs(InputImage::DI, i, i + 1);
    return i >= 0 && i < 256 && di_[static_cast<size_t>(i)];
}

bool StationEngine::coil(int i) {
    QMutexLocker lock(&mutex_);
    return i >= 0 && i < 256 && coils_[static_cast<size_t>(i)];
}

qint16 StationEngine::inputRegister(int i) {
    QMutexLocker lock(&mutex_);
    refreshInputs(InputImage::AI, i, i + 1);
    return i >= 0 && i < 128 ? ai_[static_cast<size_t>(i)] : 0;
}

qint16 StationEngine::holdingRegister(int i) {
    QMutexLocker lock(&mutex_);
    return i >= 0 && i < 128 ? ao_[static_cast<size_t>(i)] : 0;
}

qint32 StationEngine::pulseInput(int i) {
    QMutexLocker lock(&mutex_);
    refreshInputs(InputImage::PI, i, i + 1);
    return i >= 0 && i < 128 ? pi_[static_cast<size_t>(i)] : 0;
}

qint32 StationEngine::pulseOutput(int i) {
    QMutexLocker lock(&mutex_);
    return i >= 0 && i < 128 ? po_[static_cast<size_t>(i)] : 0;
}

void StationEngine::setDiscreteInput(int i, bool on) {
    QMutexLocker lock(&mutex_);
    if (i >= 0 && i < 256) di_[static_cast<size_t>(i)] = on;
}

void StationEngine::setCoil(int i, bool on) {
    QMutexLocker lock(&mutex_);
    if (i >= 0 && i < 256) coils_[static_cast<size_t>(i)] = on;
}

void StationEngine::setInputRegister(int i, qint16 v) {
    QMutexLocker lock(&mutex_);
    if (i >= 0 && i < 128) ai_[static_cast<size_t>(i)] = v;
}

void StationEngine::setPulseInput(int i, qint32 v) {
    QMutexLocker lock(&mutex_);
    if (i >= 0 && i < 128) pi_[static_cast<size_t>(i)] = v;
}

void StationEngine::setLiveInputs(bool on) {
    QMutexLocker lock(&mutex_);
    if (on == live_) return;
    if (!on) refreshAllInputs();  // keep the values of this moment
    live_ = on;
}

void StationEngine::setScrambleTable(const std::array<quint8, 64>& table) {
    QMutexLocker lock(&mutex_);
    scramble_ = table;
}

void StationEngine::setSlotBehaviour(int slot, const SlotBehaviour& b) {
    QMutexLocker lock(&mutex_);
    if (slot >= 0 && slot < kSlotCount) behaviour_[static_cast<size_t>(slot)] = b;
}

SlotBehaviour StationEngine::slotBehaviour(int slot) {
    QMutexLocker lock(&mutex_);
    return slot >= 0 && slot < kSlotCount ? behaviour_[static_cast<size_t>(slot)] : SlotBehaviour();
}

FirmwareUpload StationEngine::firmware(int slot) {
    QMutexLocker lock(&mutex_);
    advance();
    return slot >= 0 && slot < kSlotCount ? firmware_[static_cast<size_t>(slot)] : FirmwareUpload();
}

QVector<HartRequest> StationEngine::hartRequests() {
    QMutexLocker lock(&mutex_);
    return hartRequests_;
}

void StationEngine::setHartResponse(int slot, const QByteArray& response) {
    QMutexLocker lock(&mutex_);
    if (slot >= 0 && slot < kSlotCount) hartResponse_[static_cast<size_t>(slot)] = response;
}

}  // namespace nxsim
