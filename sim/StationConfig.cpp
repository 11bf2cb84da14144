#include "sim/StationConfig.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

namespace nxsim {

const std::vector<ModuleModel>& ModuleModels() {
    static const std::vector<ModuleModel> models = {
        {"KB-560", 0x0001, ModuleKind::DI, 32, 0, false},
        {"KB-570", 0x0010, ModuleKind::DO, 32, 0, false},
        {"KB-510", 0x0020, ModuleKind::RTD, 12, 132, false},
        {"KB-540", 0x0031, ModuleKind::TC, 16, 15, false},
        {"KB-522", 0x0049, ModuleKind::AI, 16, 7, true},
        {"KB-521", 0x004A, ModuleKind::AI, 8, 7, true},
        {"KB-532", 0x0051, ModuleKind::Other, 0, 0, false},
        {"KB-531", 0x0052, ModuleKind::Other, 0, 0, false},
        {"KB-524", 0x0061, ModuleKind::ScaledAI, 16, 8, false},
        {"KB-523", 0x0062, ModuleKind::ScaledAI, 8, 9, false},
        {"KB-553", 0x0071, ModuleKind::AO, 16, 51, true},
        {"KB-552", 0x0072, ModuleKind::AO, 8, 52, true},
        {"KB-551", 0x0091, ModuleKind::AO, 8, 50, true},
        {"KB-580", 0x00A0, ModuleKind::PI, 8, 83, false},
        {"KB-590", 0x00F1, ModuleKind::PO, 16, 97, false},
        {"GW-7010", 0x1001, ModuleKind::Other, 0, 0, false},
        {"KP-220", 0x6001, ModuleKind::Other, 0, 0, false},
    };
    return models;
}

const ModuleModel* ModelById(uint16_t id) {
    for (const auto& m : ModuleModels())
        if (m.id == id) return &m;
    return nullptr;
}

const ModuleModel* ModelByName(const QString& name) {
    for (const auto& m : ModuleModels())
        if (name == QLatin1String(m.name)) return &m;
    return nullptr;
}

const std::vector<SlotBlock>& SlotBlocks() {
    static const std::vector<SlotBlock> blocks = {
        {"do-power-on", BlkDoPowerOn, 2},
        {"do-safe", BlkDoSafe, 2},
        {"do-fault-mode", BlkDoFaultMode, 1},
        {"ao-power-on", BlkAoPowerOn, kMaxChannels},
        {"ao-safe", BlkAoSafe, kMaxChannels},
        {"ao-fault-mode", BlkAoFaultMode, kMaxChannels},
        {"range-code", BlkRangeCode, kMaxChannels},
        {"scale-low", BlkScaleLow, kMaxChannels},
        {"scale-high", BlkScaleHigh, kMaxChannels},
        {"alarm-low", BlkAlarmLow, kMaxChannels},
        {"alarm-high", BlkAlarmHigh, kMaxChannels},
        {"alarm-enable", BlkAlarmEnable, 1},
        {"ai-filter", BlkAiFilterMode, 2},
        {"po-reference-time", BlkPoReferenceTime, kMaxChannels},
        {"po-offset-time", BlkPoOffsetTime, kMaxChannels},
        {"po-cyclic-steps", BlkPoCyclicSteps, kMaxChannels},
        {"po-duty-steps", BlkPoDutySteps, kMaxChannels},
        {"po-fault-mode", BlkPoFaultMode, kMaxChannels},
        {"po-pwm-counter", BlkPoPwmCounter, kMaxChannels},
        {"pi-config", BlkPiConfig, 6},
        {"cjc", BlkCjc, 2},
        {"break-line", BlkBreakLine, 2},
    };
    return blocks;
}

const SlotBlock* SlotBlockByBase(uint16_t base) {
    for (const auto& b : SlotBlocks())
        if (b.base == base) return &b;
    return nullptr;
}

const SlotBlock* SlotBlockByKey(const QString& key) {
    for (const auto& b : SlotBlocks())
        if (key == QLatin1String(b.key)) return &b;
    return nullptr;
}

uint16_t SlotConfig::reg(uint16_t base, int index) const {
    auto it = blocks.find(base);
    if (it == blocks.end() || index < 0 || index >= static_cast<int>(it->second.size())) return 0;
    return it->second[static_cast<size_t>(index)];
}

void SlotConfig::setReg(uint16_t base, int index, uint16_t value) {
    const SlotBlock* b = SlotBlockByBase(base);
    if (!b || index < 0 || index >= b->size) return;
    auto& regs = blocks[base];
    if (regs.size() < static_cast<size_t>(b->size)) regs.resize(static_cast<size_t>(b->size), 0);
    regs[static_cast<size_t>(index)] = value;
}

StationConfig StationConfig::Empty() { return StationConfig(); }

StationConfig StationConfig::Default() {
    StationConfig st;
    st.setModule(0, 0x0001);  // KB-560 DI 32
    st.setModule(1, 0x0010);  // KB-570 DO 32
    st.setModule(2, 0x004A);  // KB-521 AI 8
    st.setModule(3, 0x0031);  // KB-540 thermocouple 16
    st.setModule(4, 0x0072);  // KB-552 AO 8
    st.setModule(5, 0x00A0);  // KB-580 PI 8
    st.setModule(6, 0x00F1);  // KB-590 PO 16
    st.setModule(7, 0x0062);  // KB-523 scaled AI 8
    return st;
}

void StationConfig::setModule(int index, uint16_t moduleId) {
    if (index < 0 || index >= kSlotCount) return;
    SlotConfig s;
    if (moduleId == 0) {
        slot[static_cast<size_t>(index)] = s;
        return;
    }
    s.moduleId = moduleId;
    s.predefinedId = moduleId;
    s.nmtState = NmtOperation;
    s.version = 10;
    for (const auto& b : SlotBlocks()) s.blocks[b.base].assign(static_cast<size_t>(b.size), 0);
    const ModuleModel* m = ModelById(moduleId);
    if (m && m->channels > 0) {
        for (int c = 0; c < kMaxChannels; ++c) {
            s.setReg(BlkRangeCode, c, m->defaultRange);
            s.setReg(BlkScaleHigh, c, 10000);
            s.setReg(BlkAlarmHigh, c, 10000);
        }
        s.setReg(BlkAiFilterMode, 1, 50);                            // mains frequency
        if (m->kind == ModuleKind::TC) s.setReg(BlkCjc, 0, 1);       // cold-junction on
        if (m->kind == ModuleKind::PI) s.setReg(BlkPiConfig, 3, 1);  // filter interval 1
        if (m->kind == ModuleKind::PO)
            for (int c = 0; c < kMaxChannels; ++c) s.setReg(BlkPoReferenceTime, c, 1000);
    }
    slot[static_cast<size_t>(index)] = s;
}

// ---- Station files ---------------------------------------------------------

namespace {

struct NamedState {
    const char* name;
    uint16_t value;
};
const NamedState kStates[] = {{"EMPTY", NmtEmpty},
                              {"HALT", NmtHalt},
                              {"BOOTUP_OK", NmtBootupOk},
                              {"FW_UPDATE", NmtFwUpdate},
                              {"PREOPERATION", NmtPreOperation},
                              {"OPERATION", NmtOperation},
                              {"STOP", NmtStop}};

// A whole number: decimal (optionally negative) or 0x hexadecimal.
bool ParseNumber(const QString& text, long long* out) {
    QString t = text.trimmed();
    bool ok = false;
    long long v = 0;
    if (t.startsWith("0x", Qt::CaseInsensitive))
        v = t.mid(2).toLongLong(&ok, 16);
    else
        v = t.toLongLong(&ok, 10);
    if (ok) *out = v;
    return ok && !t.isEmpty();
}

class Parser {
  public:
    explicit Parser(StationConfig* st) : st_(st) {}

    bool parse(const QString& text, QString* error) {
        const QStringList lines = text.split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            line_ = i + 1;
            QString l = lines[i];
            int hash = l.indexOf('#');
            if (hash >= 0) l.truncate(hash);
            l = l.trimmed();
            if (l.isEmpty()) continue;
            if (!parseLine(l)) {
                if (error) *error = QString("line %1: %2").arg(line_).arg(message_);
                return false;
            }
        }
        return true;
    }

  private:
    bool fail(const QString& m) {
        message_ = m;
        return false;
    }

    bool number(const QString& key, const QString& v, long long lo, long long hi, long long* out) {
        if (!ParseNumber(v, out))
            return fail(QString("'%1' is not a number (key '%2')").arg(v, key));
        if (*out < lo || *out > hi)
            return fail(QString("%1 = %2 is outside %3..%4").arg(key, v).arg(lo).arg(hi));
        return true;
    }

    bool word(const QString& key, const QString& v, uint16_t* out) {
        long long n = 0;
        if (!number(key, v, -32768, 65535, &n)) return false;
        *out = static_cast<uint16_t>(n & 0xFFFF);
        return true;
    }

    bool dword(const QString& key, const QString& v, uint32_t* out) {
        long long n = 0;
        if (!number(key, v, -2147483648LL, 4294967295LL, &n)) return false;
        *out = static_cast<uint32_t>(n & 0xFFFFFFFFLL);
        return true;
    }

    bool moduleRef(const QString& key, const QString& v, uint16_t* out) {
        QString t = v.trimmed();
        if (t == "-" || t.compare("empty", Qt::CaseInsensitive) == 0) {
            *out = 0;
            return true;
        }
        if (const ModuleModel* m = ModelByName(t)) {
            *out = m->id;
            return true;
        }
        long long n = 0;
        if (ParseNumber(t, &n)) {
            if (n < 0 || n > 65535) return fail(QString("%1 = %2 is outside 0..65535").arg(key, t));
            *out = static_cast<uint16_t>(n);
            return true;
        }
        return fail(QString("unknown module '%1' (key '%2')").arg(t, key));
    }

    bool parseLine(const QString& l) {
        static const QRegularExpression section("^\\[\\s*slot\\s+(\\S+)\\s*\\]$",
                                                QRegularExpression::CaseInsensitiveOption);
        if (l.startsWith('[')) {
            auto m = section.match(l);
            if (!m.hasMatch())
                return fail(QString("unknown section '%1' (expected [slot N])").arg(l));
            long long n = 0;
            if (!ParseNumber(m.captured(1), &n) || n < 0 || n >= kSlotCount)
                return fail(
                    QString("slot '%1' is outside 0..%2").arg(m.captured(1)).arg(kSlotCount - 1));
            slot_ = static_cast<int>(n);
            slotKeys_ = 0;
            return true;
        }
        int eq = l.indexOf('=');
        if (eq <= 0) return fail(QString("expected 'key = value', found '%1'").arg(l));
        QString key = l.left(eq).trimmed().toLower();
        QString value = l.mid(eq + 1).trimmed();
        if (value.isEmpty()) return fail(QString("key '%1' has no value").arg(key));
        return slot_ < 0 ? controllerKey(key, value) : slotKey(key, value);
    }

    bool controllerKey(const QString& key, const QString& v) {
        long long n = 0;
        if (key == "base") {
            if (v.compare("default", Qt::CaseInsensitive) == 0) {
                *st_ = StationConfig::Default();
                return true;
            }
            if (v.compare("empty", Qt::CaseInsensitive) == 0) {
                *st_ = StationConfig::Empty();
                return true;
            }
            return fail(QString("base must be 'default' or 'empty', found '%1'").arg(v));
        }
        if (key == "controller") {
            st_->controllerName = v;
            return true;
        }
        if (key == "net-id") {
            if (!number(key, v, 1, 247, &n)) return false;
            st_->netId = static_cast<int>(n);
            return true;
        }
        if (key == "fw-version") {
            st_->fwVersionText = v;
            return true;
        }
        if (key == "mcu" || key == "power") {
            QStringList parts = v.split(',');
            if (parts.size() > 2) return fail(QString("'%1' takes at most two modules").arg(key));
            auto& ids = key == "mcu" ? st_->mcuIds : st_->powerIds;
            ids = {0, 0};
            for (int i = 0; i < parts.size(); ++i)
                if (!moduleRef(key, parts[i], &ids[static_cast<size_t>(i)])) return false;
            return true;
        }
        struct W {
            const char* key;
            uint16_t* field;
        };
        const W words[] = {{"mcu-version", &st_->mcuVersion}, {"lib-version", &st_->libVersion},
                           {"mcu-role", &st_->mcuRole},       {"other-mcu", &st_->otherMcu},
                           {"can-status", &st_->canStatus},   {"pwm-status", &st_->pwmStatus},
                           {"dip-switch", &st_->dipSwitch},   {"tcp-timeout", &st_->tcpTimeout}};
        for (const auto& w : words)
            if (key == QLatin1String(w.key)) return word(key, v, w.field);
        if (key == "light-fault") return dword(key, v, &st_->lightFault);
        if (key == "heavy-fault") return dword(key, v, &st_->heavyFault);
        if (SlotBlockByKey(key) || key == "module" || key == "state")
            return fail(QString("key '%1' belongs in a [slot N] section").arg(key));
        return fail(QString("unknown key '%1'").arg(key));
    }

    bool slotKey(const QString& key, const QString& v) {
        SlotConfig& s = st_->slot[static_cast<size_t>(slot_)];
        if (key == "module") {
            if (slotKeys_ > 0)
                return fail("'module' must be the first key of its [slot N] section");
            uint16_t id = 0;
            if (!moduleRef(key, v, &id)) return false;
            st_->setModule(slot_, id);
            ++slotKeys_;
            return true;
        }
        ++slotKeys_;
        if (key == "predefined") return moduleRef(key, v, &s.predefinedId);
        if (key == "state") {
            for (const auto& ns : kStates)
                if (v.compare(QLatin1String(ns.name), Qt::CaseInsensitive) == 0) {
                    s.nmtState = ns.value;
                    return true;
                }
            return word(key, v, &s.nmtState);
        }
        if (key == "redundancy") {
            if (v.compare("single", Qt::CaseInsensitive) == 0) {
                s.redundancy = 0;
                return true;
            }
            if (v.compare("duplex", Qt::CaseInsensitive) == 0) {
                s.redundancy = 0x0100;
                return true;
            }
            return word(key, v, &s.redundancy);
        }
        struct W {
            const char* key;
            uint16_t* field;
        };
        const W words[] = {{"version", &s.version},
                           {"line-detect", &s.lineDetect},
                           {"duplex-status", &s.duplexStatus},
                           {"under-low", &s.underLow},
                           {"under-low-low", &s.underLowLow},
                           {"exceed-high", &s.exceedHigh},
                           {"exceed-high-high", &s.exceedHighHigh}};
        for (const auto& w : words)
            if (key == QLatin1String(w.key)) return word(key, v, w.field);
        if (key == "ch-broken") return dword(key, v, &s.chBroken);
        if (key == "light-emcy") return dword(key, v, &s.lightEmcy);
        if (key == "heavy-emcy") return dword(key, v, &s.heavyEmcy);
        if (const SlotBlock* b = SlotBlockByKey(key)) {
            QStringList parts = v.split(',');
            if (parts.size() > b->size)
                return fail(QString("'%1' takes at most %2 values, found %3")
                                .arg(key)
                                .arg(b->size)
                                .arg(parts.size()));
            for (int i = 0; i < parts.size(); ++i) {
                uint16_t w = 0;
                if (!word(key, parts[i], &w)) return false;
                s.setReg(b->base, i, w);
            }
            return true;
        }
        return fail(QString("unknown key '%1' in [slot %2]").arg(key).arg(slot_));
    }

    StationConfig* st_;
    int line_ = 0;
    int slot_ = -1;
    int slotKeys_ = 0;
    QString message_;
};

}  // namespace

bool ParseStationText(const QString& text, StationConfig* out, QString* error) {
    StationConfig st = StationConfig::Empty();
    Parser p(&st);
    if (!p.parse(text, error)) return false;
    *out = st;
    return true;
}

bool LoadStationFile(const QString& path, StationConfig* out, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error) *error = QString("cannot read station file '%1': %2").arg(path, f.errorString());
        return false;
    }
    const QByteArray data = f.read(qint64{4} * 1024 * 1024);
    QString perr;
    if (!ParseStationText(QString::fromUtf8(data), out, &perr)) {
        if (error) *error = QString("%1: %2").arg(path, perr);
        return false;
    }
    return true;
}

QString StationText(const StationConfig& st) {
    QString t;
    QTextStream o(&t);
    auto hex = [](uint32_t v, int w) {
        return QString("0x%1").arg(v, w, 16, QChar('0')).toUpper().replace("0X", "0x");
    };
    auto mod = [&](uint16_t id) {
        const ModuleModel* m = ModelById(id);
        return id == 0 ? QString("-") : m ? QString(m->name) : hex(id, 4);
    };
    o << "controller = " << st.controllerName << "\n";
    o << "net-id = " << st.netId << "\n";
    o << "fw-version = " << st.fwVersionText << "\n";
    o << "mcu-version = " << st.mcuVersion << "\n";
    o << "lib-version = " << st.libVersion << "\n";
    o << "mcu = " << mod(st.mcuIds[0]) << ", " << mod(st.mcuIds[1]) << "\n";
    o << "power = " << mod(st.powerIds[0]) << ", " << mod(st.powerIds[1]) << "\n";
    o << "mcu-role = " << hex(st.mcuRole, 2) << "\n";
    o << "other-mcu = " << st.otherMcu << "\n";
    o << "can-status = " << hex(st.canStatus, 2) << "\n";
    o << "pwm-status = " << hex(st.pwmStatus, 2) << "\n";
    o << "dip-switch = " << hex(st.dipSwitch, 2) << "\n";
    o << "light-fault = " << hex(st.lightFault, 8) << "\n";
    o << "heavy-fault = " << hex(st.heavyFault, 8) << "\n";
    o << "tcp-timeout = " << st.tcpTimeout << "\n";
    for (int i = 0; i < kSlotCount; ++i) {
        const SlotConfig& s = st.slot[static_cast<size_t>(i)];
        if (!s.present()) continue;
        o << "\n[slot " << i << "]\n";
        o << "module = " << mod(s.moduleId) << "\n";
        o << "predefined = " << mod(s.predefinedId) << "\n";
        QString state = QString::number(s.nmtState);
        for (const auto& ns : kStates)
            if (ns.value == s.nmtState) state = ns.name;
        o << "state = " << state << "\n";
        o << "version = " << s.version << "\n";
        o << "redundancy = " << hex(s.redundancy, 4) << "\n";
        o << "line-detect = " << s.lineDetect << "\n";
        o << "duplex-status = " << s.duplexStatus << "\n";
        o << "under-low = " << hex(s.underLow, 4) << "\n";
        o << "under-low-low = " << hex(s.underLowLow, 4) << "\n";
        o << "exceed-high = " << hex(s.exceedHigh, 4) << "\n";
        o << "exceed-high-high = " << hex(s.exceedHighHigh, 4) << "\n";
        o << "ch-broken = " << hex(s.chBroken, 8) << "\n";
        o << "light-emcy = " << hex(s.lightEmcy, 8) << "\n";
        o << "heavy-emcy = " << hex(s.heavyEmcy, 8) << "\n";
        for (const auto& b : SlotBlocks()) {
            QStringList vals;
            for (int c = 0; c < b.size; ++c) vals << QString::number(s.reg(b.base, c));
            o << b.key << " = " << vals.join(", ") << "\n";
        }
    }
    return t;
}

QString StationFileFormat() {
    QString t;
    t += "Station file: lines 'key = value'; '#' starts a comment. Numbers are decimal\n"
         "(negative allowed) or 0x hexadecimal; 16-bit values take -32768..65535.\n"
         "Controller keys (before any section):\n"
         "  base = default|empty     start from the default station or an empty one\n"
         "                           (without it the file starts from an empty station)\n"
         "  controller = NAME        reply to 19!controller\n"
         "  net-id = 1..247          Modbus unit id\n"
         "  fw-version = TEXT        reply to 19!getfwver\n"
         "  mcu-version, lib-version versions x 100\n"
         "  mcu = A, B   power = A, B  module names or ids of the two positions ('-' none)\n"
         "  mcu-role, other-mcu, can-status, pwm-status, dip-switch, tcp-timeout (16-bit)\n"
         "  light-fault, heavy-fault (32-bit)\n"
         "Slot sections: [slot N] with N = 0..7, then\n"
         "  module = NAME|ID|empty   first key of the section; sets the module's defaults\n"
         "                           (OPERATION, its range codes, scale 0..10000)\n"
         "  predefined = NAME|ID     module the controller is configured for\n"
         "  state = OPERATION|PREOPERATION|BOOTUP_OK|FW_UPDATE|STOP|HALT|EMPTY|number\n"
         "  version (x10), redundancy = single|duplex|word, line-detect, duplex-status,\n"
         "  under-low, under-low-low, exceed-high, exceed-high-high (16-bit),\n"
         "  ch-broken, light-emcy, heavy-emcy (32-bit)\n"
         "  block registers, comma-separated from register 0 (channel 0):\n   ";
    int col = 3;
    for (const auto& b : SlotBlocks()) {
        QString item = QString(" %1(%2)").arg(b.key).arg(b.size);
        if (col + item.size() > 78) {
            t += "\n   ";
            col = 3;
        }
        t += item;
        col += static_cast<int>(item.size());
    }
    t += "\n";
    return t;
}

}  // namespace nxsim
