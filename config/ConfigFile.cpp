#include "config/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <variant>
#include <vector>

#include "config/ConfigDefaults.h"
#include "config/ConfigLog.h"
#include "config/FileCommandsHost.h"
#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "config/RangeCodes.h"
#include "platform/IniFile.h"
#include "platform/diag.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

std::string McuIniPath;

void InitMcuIniPath(const std::string& programFolder) {
    std::string folder = programFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    McuIniPath = (folder == "/" ? std::string() : folder) + "/NX-4410_MCU.ini";
}

namespace {

FileCommandsHost* g_host = nullptr;

// Stands in for the main window until one is installed.
class NoWindow : public FileCommandsHost {
  public:
    int16_t SelectedNode() override { return 0; }
    void SelectFirstNode() override {}
    void ShowAnalogOutputFrame() override {}
    void SetControllerCaption(const std::string&) override {}
    void ClearSlotButton(int16_t) override {}
    void FillMappingAndSummaryLists(int16_t) override {}
    void ShowRackPictures(int16_t) override {}
    void SelectSlot(int16_t) override {}
    void SetModuleKindLabel(int16_t, const std::string&) override {}
    void SetModeCaption(const std::string&) override {}
};

FileCommandsHost& Host() {
    static NoWindow none;
    return g_host ? *g_host : none;
}

const char* const kFileFilter = "*.ini|*.ini";

std::string ConfigSection(int node) { return "Config" + std::to_string(node); }
std::string NamesSection(int node) { return "Node_" + std::to_string(node); }
std::string SlotSection(int node, int slot) {
    return "Node" + std::to_string(node) + "_Slot" + std::to_string(slot);
}
std::string Indexed(const char* key, int c) { return key + std::to_string(c); }

// Loops over slots and channels stop at the record's positions, whatever
// count a file gave.
int SlotLimit(int totalSlot) { return std::clamp(totalSlot, 0, kSlotPositions); }
int ChannelLimit(int count) { return std::clamp(count, 0, kChannelPositions); }

// ---- The keys of a slot section -----------------------------------------
// One table per module family names each key once: its spelling, the field
// it carries, how its value is written, where the save writes it and where
// the load reads it (once per slot, or once per channel with the channel
// number after the name), and the condition under which it is there at all.
// Save and load walk the same table.

// The field of a key: a per-slot or per-channel member of the record, or a
// member of a slot's pulse-input or pulse-output settings.
using Field = std::variant<PerSlot<int16_t> NodeConfig::*, PerSlot<int32_t> NodeConfig::*,
                           PerChannel<int16_t> NodeConfig::*, PerChannel<uint8_t> NodeConfig::*,
                           uint8_t PIConfig::*, int32_t PIConfig::*, double PIConfig::*,
                           ChannelRow<int16_t> POConfig::*, ChannelRow<int32_t> POConfig::*>;

enum class Value : uint8_t {
    Number,       // decimal (a Double in its general form); read back whole
    Mode,         // a mode byte in decimal; read back from its leading number
    Code,         // "RangeCode_<c>" in two hexadecimal digits, "Comment_<c>" beside it
    DigitalCode,  // as Code, but saved as the digital-module code whatever the field holds
};
enum class Place : uint8_t { Slot, Channel };
enum class Gate : uint8_t { Always, McuVersion201, DOChannels };

struct SlotKey {
    const char* name;
    bool indexed;  // the channel number follows the name ("RangeCode_" -> "RangeCode_3")
    Field field;
    Value value;
    Place save;  // where the save writes the key
    Place load;  // where the load reads it
    Gate gate;
};

// A key of the slot, or a key of each channel.
SlotKey SlotOnce(const char* name, Field f, Value v = Value::Number, Gate g = Gate::Always) {
    return {name, false, f, v, Place::Slot, Place::Slot, g};
}
SlotKey EachChannel(const char* stem, Field f, Value v = Value::Number) {
    return {stem, true, f, v, Place::Channel, Place::Channel, Gate::Always};
}

constexpr int kDigitalModuleCode = 64;
constexpr int kFilterModeFromMcuVersion = 201;

struct FamilyKeys {
    std::vector<SlotKey> keys;
    PerSlot<int16_t> NodeConfig::*channels = nullptr;  // the channel count of Channel keys
};

// The keys of every present slot, after "Module".
const FamilyKeys& CommonKeys() {
    static const FamilyKeys keys{{
        SlotOnce("Version", &NodeConfig::Version),
        SlotOnce("DOChannel", &NodeConfig::DOChannel),
        SlotOnce("DIChannel", &NodeConfig::DIChannel),
        SlotOnce("AOChannel", &NodeConfig::AOChannel),
        SlotOnce("AIChannel", &NodeConfig::AIChannel),
        SlotOnce("POChannel", &NodeConfig::POChannel),
        SlotOnce("PIChannel", &NodeConfig::PIChannel),
        SlotOnce("RedundancyToSlot", &NodeConfig::RedundancyToSlot),
        SlotOnce("BreakLineFunc", &NodeConfig::BreakLineFunc),
    }};
    return keys;
}

// The five keys of each analog input channel.
std::vector<SlotKey> WithAnalogChannels(std::vector<SlotKey> keys) {
    for (const SlotKey& k : {EachChannel("RangeCode_", &NodeConfig::RangeCode, Value::Code),
                             EachChannel("UserDefLRange_", &NodeConfig::UserDefLRange),
                             EachChannel("UserDefHRange_", &NodeConfig::UserDefHRange),
                             EachChannel("LowAlarmVal_", &NodeConfig::LowAlarmVal),
                             EachChannel("HighAlarmVal_", &NodeConfig::HighAlarmVal)})
        keys.push_back(k);
    return keys;
}

// The family keys of a model; nullptr for a model without a family.
const FamilyKeys* KeysOf(ModuleFamily family) {
    static const FamilyKeys digital{{
        // Channel 0 carries the digital-module code and the module's modes.
        SlotKey{"RangeCode_", true, &NodeConfig::RangeCode, Value::DigitalCode, Place::Slot,
                Place::Slot, Gate::Always},
        SlotOnce("DO_PowerONValue_Low", &NodeConfig::DO_PowerONValue_Low, Value::Number,
                 Gate::DOChannels),
        SlotOnce("DO_PowerONValue_High", &NodeConfig::DO_PowerONValue_High, Value::Number,
                 Gate::DOChannels),
        SlotOnce("DO_SafeValue_Low", &NodeConfig::DO_SafeValue_Low, Value::Number,
                 Gate::DOChannels),
        SlotOnce("DO_SafeValue_High", &NodeConfig::DO_SafeValue_High, Value::Number,
                 Gate::DOChannels),
        SlotOnce("DO_PowerOnVAlueMode", &NodeConfig::PowerOnValueMode, Value::Mode,
                 Gate::DOChannels),
        SlotOnce("DO_SafeValueMode", &NodeConfig::SafeValueMode, Value::Mode, Gate::DOChannels),
    }};
    static const FamilyKeys analogOutput{
        {
            // Saved once before the channels, read with every channel.
            SlotKey{"CHBreakLineMode", false, &NodeConfig::CHBreakLineMode, Value::Number,
                    Place::Slot, Place::Channel, Gate::Always},
            EachChannel("RangeCode_", &NodeConfig::RangeCode, Value::Code),
            EachChannel("PowerOnValue_", &NodeConfig::PowerOnValue),
            EachChannel("SafeValue_", &NodeConfig::SafeValue),
            EachChannel("UserDefLRange_", &NodeConfig::UserDefLRange),
            EachChannel("UserDefHRange_", &NodeConfig::UserDefHRange),
            EachChannel("LowAlarmVal_", &NodeConfig::LowAlarmVal),
            EachChannel("HighAlarmVal_", &NodeConfig::HighAlarmVal),
            EachChannel("AO_PowerOnVAlueMode_", &NodeConfig::PowerOnValueMode, Value::Mode),
            EachChannel("AO_SafeValueMode_", &NodeConfig::SafeValueMode, Value::Mode),
            // Saved with every channel (so it stays after the first channel's
            // keys), read once before the channels.
            SlotKey{"AlarmMode", false, &NodeConfig::AlarmMode, Value::Number, Place::Channel,
                    Place::Slot, Gate::Always},
        },
        &NodeConfig::AOChannel};
    static const FamilyKeys analogInput{
        WithAnalogChannels({
            SlotOnce("AlarmMode", &NodeConfig::AlarmMode),
            SlotOnce("AIDigitalFilterMode", &NodeConfig::AIDigitalFilterMode, Value::Number,
                     Gate::McuVersion201),
        }),
        &NodeConfig::AIChannel};
    static const FamilyKeys rtd{WithAnalogChannels({
                                    SlotOnce("AlarmMode", &NodeConfig::AlarmMode),
                                    SlotOnce("CHBreakLineMode", &NodeConfig::CHBreakLineMode),
                                }),
                                &NodeConfig::AIChannel};
    static const FamilyKeys thermocouple{
        WithAnalogChannels({
            SlotOnce("AlarmMode", &NodeConfig::AlarmMode),
            SlotOnce("CHBreakLineMode", &NodeConfig::CHBreakLineMode),
            SlotOnce("CJCSetting", &NodeConfig::CJCSetting),
            SlotOnce("CJCValue", &NodeConfig::CJCValue),
        }),
        &NodeConfig::AIChannel};
    static const FamilyKeys pulseInput{
        {
            SlotOnce("Pi_LPFMode", &PIConfig::LPFMode),
            SlotOnce("Pi_FreqMode", &PIConfig::FreqMode),
            SlotOnce("Pi_EdgeTrig", &PIConfig::EdgeTrig),
            SlotOnce("PI_Impendance", &PIConfig::Impendance),
            SlotOnce("PI_FilterInterval", &PIConfig::FilterInterval),
            EachChannel("RangeCode_", &NodeConfig::RangeCode, Value::Code),
        },
        &NodeConfig::PIChannel};
    static const FamilyKeys pulseOutput{
        {
            EachChannel("RangeCode_", &NodeConfig::RangeCode, Value::Code),
            EachChannel("RefTime_", &POConfig::RefTime),
            EachChannel("OffsetTime_", &POConfig::OffsetTime),
            EachChannel("CyclicSteps_", &POConfig::CyclicSteps),
            EachChannel("DutySteps_", &POConfig::DutySteps),
            EachChannel("PWMCounter_", &POConfig::PWMCount),
            EachChannel("PO_SafeValueMode_", &NodeConfig::SafeValueMode, Value::Mode),
        },
        &NodeConfig::POChannel};

    switch (family) {
        case ModuleFamily::DIFamily:
        case ModuleFamily::DOFamily:
            return &digital;
        case ModuleFamily::AOFamily:
            return &analogOutput;
        case ModuleFamily::AIFamily:
            return &analogInput;
        case ModuleFamily::RTDFamily:
            return &rtd;
        case ModuleFamily::TCFamily:
        case ModuleFamily::ScaledAIFamily:
            return &thermocouple;
        case ModuleFamily::PIFamily:
            return &pulseInput;
        case ModuleFamily::POFamily:
            return &pulseOutput;
        case ModuleFamily::None:
            break;
    }
    return nullptr;
}

std::string KeyName(const SlotKey& k, int c) {
    return k.indexed ? k.name + std::to_string(c) : std::string(k.name);
}

template <class M>
struct MemberOf;
template <class T, class C>
struct MemberOf<T C::*> {
    using Class = C;
};

// Calls use(field) with the field that `f` names for slot s and channel c
// (channel 0 for a per-channel field of a per-slot key). `r` may be const.
template <class Rec, class Use>
void WithField(Rec& r, const Field& f, int s, int c, Use&& use) {
    std::visit(
        [&](auto member) {
            using Class = typename MemberOf<decltype(member)>::Class;
            if constexpr (std::is_same_v<Class, PIConfig>) {
                use(r.PI(s).*member);
            } else if constexpr (std::is_same_v<Class, POConfig>) {
                use((r.PO(s).*member)(c));
            } else if constexpr (requires { (r.*member)(s, c); }) {
                use((r.*member)(s, c));
            } else {
                use((r.*member)(s));
            }
        },
        f);
}

bool GateOpen(Gate g, const NodeConfig& r, int s) {
    switch (g) {
        case Gate::McuVersion201:
            return r.McuVersion >= kFilterModeFromMcuVersion;
        case Gate::DOChannels:
            return r.DOChannel(s) > 0;
        case Gate::Always:
            break;
    }
    return true;
}

// Calls visit(key, c) in file order for the keys that `place` (the save's or
// the load's) puts in each place: the slot's keys first, then channel by
// channel the channel keys. The gates and the channel count are looked at
// as the walk reaches them, so that a load sees the counts it just read.
template <class Visit>
void WalkKeys(const FamilyKeys& family, const NodeConfig& r, int s, Place SlotKey::*place,
              Visit&& visit) {
    for (const SlotKey& k : family.keys)
        if (k.*place == Place::Slot && GateOpen(k.gate, r, s)) visit(k, 0);
    if (!family.channels) return;
    const int n = ChannelLimit((r.*family.channels)(s));
    for (int c = 0; c < n; ++c)
        for (const SlotKey& k : family.keys)
            if (k.*place == Place::Channel && GateOpen(k.gate, r, s)) visit(k, c);
}

// ---- Saving --------------------------------------------------------------

std::string Dec(long long v) { return std::to_string(v); }

// The largest range code the file's two hexadecimal digits hold.
constexpr unsigned long kLargestFileRangeCode = 0xFF;

// The low 8 bits of a range code as two upper-case hexadecimal digits.
std::string RangeCodeText(int16_t code) {
    static const char digits[] = "0123456789ABCDEF";
    const unsigned low = static_cast<unsigned>(code) & 0xFFu;
    return std::string{digits[low >> 4], digits[low & 0xFu]};
}

class SlotWriter {
  public:
    SlotWriter(rt::IniFile& ini, std::string section) : ini_(ini), section_(std::move(section)) {}
    void Put(const std::string& key, const std::string& value) {
        ini_.WriteKey(section_, key, value);
    }
    void Num(const std::string& key, long long v) { Put(key, Dec(v)); }
    void Code(const std::string& key, int c, int16_t code) {
        Put(key, RangeCodeText(code));
        Put(Indexed("Comment_", c), RangeNameOf(code));
    }

  private:
    rt::IniFile& ini_;
    std::string section_;
};

void SaveKey(SlotWriter& w, const NodeConfig& r, const SlotKey& k, int s, int c) {
    const std::string name = KeyName(k, c);
    if (k.value == Value::DigitalCode) {
        w.Code(name, c, kDigitalModuleCode);
        return;
    }
    WithField(r, k.field, s, c, [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, double>) {
            w.Put(name, rt::CStr(v));
        } else if constexpr (std::is_same_v<T, int16_t>) {
            if (k.value == Value::Code) {
                w.Code(name, c, v);
            } else {
                w.Num(name, v);
            }
        } else {
            w.Num(name, v);
        }
    });
}

void WriteSlot(rt::IniFile& ini, const NodeConfig& r, int node, int s) {
    SlotWriter w(ini, SlotSection(node, s));
    const std::string& model = r.Module(s);
    w.Put("Module", rt::Trim(model));
    auto save = [&](const SlotKey& k, int c) { SaveKey(w, r, k, s, c); };
    WalkKeys(CommonKeys(), r, s, &SlotKey::save, save);
    if (const FamilyKeys* family = KeysOf(GetModuleFamily(model)))
        WalkKeys(*family, r, s, &SlotKey::save, save);
}

void BuildDocument(rt::IniFile& ini, const NodeConfig& r, int node) {
    const std::string config = ConfigSection(node);
    ini.WriteKey(config, "Controller", r.Controller);
    ini.WriteKey(config, "TotalSlot", Dec(r.TotalSlot));
    ini.WriteKey(config, "IP Address", r.IPAddress);
    ini.WriteKey(config, "MCU Version", Dec(r.McuVersion));
    ini.WriteKey(config, "MCULib Version", Dec(r.McuLibVersion));
    ini.WriteKey(config, "NetID", Dec(r.NetID));

    const std::string names = NamesSection(node);
    for (int i = 0; i < 2; ++i)
        if (!r.PowerName(i).empty()) ini.WriteKey(names, Indexed("Power", i), r.PowerName(i));
    for (int i = 0; i < 2; ++i)
        if (!r.McuName(i).empty()) ini.WriteKey(names, Indexed("MCU", i), r.McuName(i));

    if (r.ControllerPresent != kTrue) return;
    const int slotCount = SlotLimit(r.TotalSlot);
    for (int s = 0; s < slotCount; ++s)
        if (r.SlotPresent(s) == kTrue) WriteSlot(ini, r, node, s);
}

[[noreturn]] void RaiseErrno(int err) { rt::Raise(rt::ErrorNumberFromErrno(err)); }

// Closes the descriptor and removes the temporary file unless released.
class TempFile {
  public:
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    int fd_ = -1;
    std::string path_;
};

}  // namespace

void ReplaceFile(const std::string& path, const std::string& text) {
    namespace fs = std::filesystem;
    if (path.empty()) rt::Raise(rt::ErrBadFileName);
    // A link keeps pointing at the saved file: the file it names is replaced.
    fs::path target(path);
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";

    TempFile tmp;
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    tmp.fd_ = ::mkstemp(pattern.data());
    if (tmp.fd_ < 0) {
        const int err = errno;
        rt::Raise(err == ENOENT ? rt::ErrPathNotFound : rt::ErrorNumberFromErrno(err));
    }
    tmp.path_ = pattern;

    // The new file gets the old file's permissions, or those of a newly
    // created file.
    struct stat st {};
    mode_t mode;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // A file marked read-only is not replaced behind its owner's back.
        if (::access(target.c_str(), W_OK) != 0) RaiseErrno(errno);
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(tmp.fd_, mode) != 0) RaiseErrno(errno);

    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(tmp.fd_, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseErrno(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(tmp.fd_) != 0) RaiseErrno(errno);
    const int fd = tmp.fd_;
    tmp.fd_ = -1;
    if (::close(fd) != 0) RaiseErrno(errno);
    if (::rename(tmp.path_.c_str(), target.c_str()) != 0) RaiseErrno(errno);
    tmp.path_.clear();

    // Make the rename itself durable; a folder that cannot be synced does
    // not undo a save that already took place.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

namespace {

// ---- Loading -------------------------------------------------------------

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the decimal number at the start of `s` ("12", "-3", "0.5",
// "1E3"), 0 when `s` starts with none. "." is the decimal point whatever
// the locale; an exponent counts only with at least one digit.
size_t DecimalLength(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    size_t end = i;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < s.size() && IsDigit(s[i])) ++i, ++expDigits;
        if (expDigits > 0) end = i;
    }
    return end;
}

// The decimal number at the start of `s` into `out`; false (and `out`
// untouched) when `s` starts with none. A number too large for a Double
// raises Overflow.
bool LeadingDecimal(std::string_view s, double& out) {
    const size_t n = DecimalLength(s);
    if (n == 0) return false;
    out = rt::Val(s.substr(0, n));
    return true;
}

// A whole text that is one decimal number, nothing before or after it.
bool ParseDecimal(std::string_view s, double& out) {
    const size_t n = DecimalLength(s);
    if (n == 0 || n != s.size()) return false;
    out = rt::Val(s);
    return true;
}

// Reads the keys of one section into fields. A key that is absent, empty,
// not a number of the field's kind or out of its range leaves the field as
// it was; every key stands on its own.
class KeyReader {
  public:
    KeyReader(const rt::IniFile& ini, std::string section)
        : ini_(ini), section_(std::move(section)) {}

    std::string Text(const std::string& key) const {
        return std::string(TrimBlanks(ini_.ReadKey(section_, key)));
    }
    void Int(const std::string& key, int16_t& field) const {
        Number(key, [&](double v) { field = rt::CInt(v); });
    }
    void Long(const std::string& key, int32_t& field) const {
        Number(key, [&](double v) { field = rt::CLng(v); });
    }
    void Byte(const std::string& key, uint8_t& field) const {
        Number(key, [&](double v) { field = rt::CByte(v); });
    }
    void Double(const std::string& key, double& field) const {
        Number(key, [&](double v) { field = v; });
    }
    // A mode byte takes the leading decimal number of the text, 0 when the
    // text starts with none; a number outside 0 to 255 leaves the field.
    void Mode(const std::string& key, uint8_t& field) const {
        try {
            double v = 0;
            LeadingDecimal(Text(key), v);
            field = rt::CByte(v);
        } catch (const rt::RuntimeError& e) {
            rt::LogIgnoredError(lcConfigFile(), e);  // out of 0 to 255: the field stays
        }
    }
    // A range code is written in two hexadecimal digits. A code the two
    // digits cannot hold (above FF) is refused like any other value out of
    // its field's range: the save would write only its low byte, so the
    // file would no longer say what was loaded.
    void Code(const std::string& key, int16_t& field) const {
        const std::string t = Text(key);
        if (t.empty() || t.size() > 8) return;
        unsigned long v = 0;
        for (char ch : t) {
            int d;
            if (ch >= '0' && ch <= '9')
                d = ch - '0';
            else if (ch >= 'A' && ch <= 'F')
                d = ch - 'A' + 10;
            else if (ch >= 'a' && ch <= 'f')
                d = ch - 'a' + 10;
            else
                return;
            v = v * 16 + static_cast<unsigned long>(d);
        }
        if (v > kLargestFileRangeCode) {
            qCDebug(lcConfigFile, "refused [%s] %s=%s: a range code above FF", section_.c_str(),
                    key.c_str(), t.c_str());
            return;
        }
        field = static_cast<int16_t>(v);
    }

  private:
    void Number(const std::string& key, const std::function<void(double)>& store) const {
        const std::string t = Text(key);
        if (t.empty()) return;
        try {
            double v = 0;
            if (ParseDecimal(t, v)) store(v);
        } catch (const rt::RuntimeError& e) {
            rt::LogIgnoredError(lcConfigFile(), e);  // out of the field's range: it stays
        }
    }

    const rt::IniFile& ini_;
    std::string section_;
};

void LoadKey(const KeyReader& reader, NodeConfig& r, const SlotKey& k, int s, int c) {
    const std::string name = KeyName(k, c);
    WithField(r, k.field, s, c, [&](auto& field) {
        using T = std::decay_t<decltype(field)>;
        if constexpr (std::is_same_v<T, int16_t>) {
            if (k.value == Value::Code || k.value == Value::DigitalCode) {
                reader.Code(name, field);
            } else {
                reader.Int(name, field);
            }
        } else if constexpr (std::is_same_v<T, int32_t>) {
            reader.Long(name, field);
        } else if constexpr (std::is_same_v<T, uint8_t>) {
            if (k.value == Value::Mode) {
                reader.Mode(name, field);
            } else {
                reader.Byte(name, field);
            }
        } else {
            reader.Double(name, field);
        }
    });
}

void ReadSlot(const rt::IniFile& ini, NodeConfig& r, int node, int s) {
    const KeyReader reader(ini, SlotSection(node, s));
    const std::string model = reader.Text("Module");
    if (model.empty()) {
        Host().ClearSlotButton(static_cast<int16_t>(s));
        r.SlotPresent(s) = kFalse;
        r.Module(s).clear();
        return;
    }
    r.SlotPresent(s) = kTrue;
    r.DownloadPending(s) = kTrue;
    r.Module(s) = model;
    r.PredefModule(s) = model;
    auto load = [&](const SlotKey& k, int c) { LoadKey(reader, r, k, s, c); };
    WalkKeys(CommonKeys(), r, s, &SlotKey::load, load);
    if (const FamilyKeys* family = KeysOf(GetModuleFamily(model)))
        WalkKeys(*family, r, s, &SlotKey::load, load);
}

void LoadDocument(int16_t node, const rt::IniFile& ini) {
    // A node without a record leaves nothing to fill; the window steps below
    // still run.
    NodeConfig* rec = nullptr;
    rt::IgnoringErrors(lcConfigFile(), [&] { rec = &ConfigReal[node]; });
    const KeyReader config(ini, ConfigSection(node));
    if (rec) {
        NodeConfig& r = *rec;
        const std::string controller = config.Text("Controller");
        if (!controller.empty()) {
            r.Controller = controller;
            r.ControllerPresent = kTrue;
        } else {
            r.ControllerPresent = kFalse;
        }
        config.Int("TotalSlot", r.TotalSlot);
        const std::string ip = config.Text("IP Address");
        if (!ip.empty()) r.IPAddress = ip;
        config.Int("MCU Version", r.McuVersion);
        config.Int("MCULib Version", r.McuLibVersion);
        config.Int("NetID", r.NetID);
    }

    Host().ShowAnalogOutputFrame();
    const std::string controller = config.Text("Controller");
    if (!controller.empty()) Host().SetControllerCaption(controller);
    if (!rec) return;
    NodeConfig& r = *rec;

    const KeyReader names(ini, NamesSection(node));
    for (int i = 0; i < 2; ++i) {
        const std::string name = names.Text(Indexed("Power", i));
        if (!name.empty()) r.PowerName(i) = name;
    }
    for (int i = 0; i < 2; ++i) {
        const std::string name = names.Text(Indexed("MCU", i));
        if (!name.empty()) {
            r.ControllerPresent = kTrue;
            r.McuName(i) = name;
        }
    }

    const int slotCount = SlotLimit(r.TotalSlot);
    for (int s = 0; s < slotCount; ++s) ReadSlot(ini, r, node, s);
    // Slot sections belong to a controller even when the file names none
    // (an empty controller-name answer saves "Controller=" and no "MCU<i>"):
    // without the mark the next save would drop every slot.
    for (int s = 0; s < slotCount; ++s)
        if (r.SlotPresent(s) == kTrue) r.ControllerPresent = kTrue;
}

// The AI filter settings as the last Upload read them. The file has no key
// for the mains frequency and the high filter byte, and holds the filter
// mode only for some models. A load keeps them for every slot that holds the
// same model afterwards, where the file does not give them, so that a
// Download after the load sends them back unchanged instead of the reset 0.
class UploadedFilterSettings {
  public:
    explicit UploadedFilterSettings(const NodeConfig& r) {
        for (int s = 0; s < kSlotPositions; ++s)
            slots_[s] = {r.Module(s), r.AIDigitalFilterMode(s), r.AIFilterModeHigh(s),
                         r.MainsFrequency(s)};
    }
    // Before the file is read into the reset record: a slot whose section
    // names the same model takes the kept values; what the file gives then
    // replaces them.
    void Prefill(NodeConfig& r, const rt::IniFile& ini, int node) {
        for (int s = 0; s < kSlotPositions; ++s) {
            const Kept& k = slots_[s];
            prefilled_[s] =
                !k.model.empty() && KeyReader(ini, SlotSection(node, s)).Text("Module") == k.model;
            if (prefilled_[s]) Put(r, s, k);
        }
    }
    // After the file was read: a prefilled slot that the load did not fill
    // (beyond the file's slot count) goes back to the reset 0.
    void ForgetUnloaded(NodeConfig& r) const {
        for (int s = 0; s < kSlotPositions; ++s)
            if (prefilled_[s] && r.Module(s) != slots_[s].model) Put(r, s, Kept{});
    }

  private:
    struct Kept {
        std::string model;
        int16_t filterMode = 0;
        int16_t filterModeHigh = 0;
        int16_t mainsFrequency = 0;
    };
    static void Put(NodeConfig& r, int s, const Kept& k) {
        r.AIDigitalFilterMode(s) = k.filterMode;
        r.AIFilterModeHigh(s) = k.filterModeHigh;
        r.MainsFrequency(s) = k.mainsFrequency;
    }
    std::array<Kept, kSlotPositions> slots_;
    std::array<bool, kSlotPositions> prefilled_{};
};

// Reads the file for a load command; false with the reason when the file
// does not exist or cannot be read.
bool ReadConfigDocument(const std::string& path, rt::IniFile& ini, std::string& reason) {
    namespace fs = std::filesystem;
    if (path.empty()) {
        reason = rt::ErrorDescription(rt::ErrBadFileName);
        return false;
    }
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) {
        reason = rt::ErrorDescription(rt::ErrFileNotFound);
        return false;
    }
    if (ec) {
        reason = rt::ErrorDescription(rt::ErrorNumberFromErrno(ec.value()));
        return false;
    }
    if (st.type() == fs::file_type::directory) {
        reason = rt::ErrorDescription(rt::ErrPathFileAccess);
        return false;
    }
    try {
        ini.SetFile(path);
    } catch (const rt::RuntimeError& e) {
        reason = e.Description();
        return false;
    }
    return true;
}

// Returns the text of the failure it showed, empty when the file was read.
std::string LoadCommand(const std::string& path) {
    rt::IniFile ini;
    std::string reason;
    if (!ReadConfigDocument(path, ini, reason)) {
        std::string failure = "Load file error: " + reason + ": " + path;
        rt::MsgBox(failure, rt::vbOKOnly | rt::vbCritical);
        return failure;
    }
    // A failing step ends the command there, without a message.
    try {
        FileCommandsHost& host = Host();
        host.SelectFirstNode();
        const int16_t node = 0;
        UploadedFilterSettings uploaded(ConfigReal[node]);
        SetConfigRealToDefault(node);
        uploaded.Prefill(ConfigReal[node], ini, node);
        LoadDocument(node, ini);
        uploaded.ForgetUnloaded(ConfigReal[node]);
        SetConfig_RealToSetting(node);
        host.FillMappingAndSummaryLists(node);
        host.ShowRackPictures(node);
        for (int16_t s = 0; s < kStationSlots; ++s) {
            if (ConfigReal[node].SlotPresent(s) == kTrue) {
                host.SelectSlot(s);
                break;
            }
        }
        for (int16_t s = 0; s < kStationSlots; ++s)
            host.SetModuleKindLabel(s, ConfigReal[node].Module(s));
        host.SetModeCaption("(Offline Mode)");
    } catch (const std::exception& e) {
        rt::LogIgnoredError(lcConfigFile(), e);
    }
    return "";
}

// Shows a save failure; returns its text.
std::string SaveFailure(const rt::RuntimeError& e) {
    std::string failure = "Save file error: " + e.Description();
    rt::MsgBox(failure, rt::vbOKOnly);
    return failure;
}

// Returns the text of the failure it showed, empty when the file was written.
std::string SaveCommand(int16_t node) {
    try {
        SaveConfigFile(node, McuIniPath);
    } catch (const rt::RuntimeError& e) {
        return SaveFailure(e);
    }
    return "";
}

}  // namespace

void SetFileCommandsHost(FileCommandsHost* host) { g_host = host; }
FileCommandsHost* TheFileCommandsHost() { return g_host; }

void SaveConfigFile(const int16_t& node, const std::string& path) {
    const NodeConfig& r = ConfigReal[node];
    rt::IniFile ini;
    ini.Clear();
    BuildDocument(ini, r, node);
    ReplaceFile(path, ini.Text());
}

void LoadConfigFile(const int16_t& node, const std::string& path) {
    rt::IniFile ini;
    try {
        ini.SetFile(path);
    } catch (const rt::RuntimeError& e) {
        rt::LogIgnoredError(lcConfigFile(), e);
        ini.Clear();  // an unreadable file reads as a file without keys
    }
    LoadDocument(node, ini);
}

std::string mnuFileSave_Click() {
    int16_t node = 0;
    try {
        node = Host().SelectedNode();
    } catch (const rt::RuntimeError& e) {
        return SaveFailure(e);
    }
    return SaveCommand(node);
}

void mnuFileSaveAs_Click() {
    int16_t node = 0;
    try {
        node = Host().SelectedNode();
    } catch (const rt::RuntimeError& e) {
        SaveFailure(e);
        return;
    }
    rt::FileDialogRequest request;
    request.save = true;
    request.fileName = McuIniPath;
    request.filter = kFileFilter;
    const rt::FileDialogResult chosen = rt::TheDialogs().FileDialog(request);
    if (!chosen.accepted || chosen.fileTitle.empty()) return;
    McuIniPath = chosen.fileName;
    SaveCommand(node);
}

std::string mnuFileLoad_Click() { return LoadCommand(McuIniPath); }

void mnuFileLoadFrom_Click() {
    rt::FileDialogRequest request;
    request.save = false;
    request.fileName = McuIniPath;
    request.filter = kFileFilter;
    const rt::FileDialogResult chosen = rt::TheDialogs().FileDialog(request);
    if (!chosen.accepted || chosen.fileTitle.empty() || chosen.fileName.empty()) return;
    LoadCommand(chosen.fileName);
}
