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

#include "config/ConfigDefaults.h"
#include "config/FileCommandsHost.h"
#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "config/RangeCodes.h"
#include "platform/IniFile.h"
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

// ---- Saving --------------------------------------------------------------

std::string Dec(long long v) { return std::to_string(v); }

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
    void Code(int c, int16_t code) {
        Put(Indexed("RangeCode_", c), RangeCodeText(code));
        Put(Indexed("Comment_", c), RangeNameOf(code));
    }

  private:
    rt::IniFile& ini_;
    std::string section_;
};

void WriteAnalogChannels(SlotWriter& w, const NodeConfig& r, int s) {
    for (int c = 0; c < ChannelLimit(r.AIChannel(s)); ++c) {
        w.Code(c, r.RangeCode(s, c));
        w.Num(Indexed("UserDefLRange_", c), r.UserDefLRange(s, c));
        w.Num(Indexed("UserDefHRange_", c), r.UserDefHRange(s, c));
        w.Num(Indexed("LowAlarmVal_", c), r.LowAlarmVal(s, c));
        w.Num(Indexed("HighAlarmVal_", c), r.HighAlarmVal(s, c));
    }
}

void WriteSlot(rt::IniFile& ini, const NodeConfig& r, int node, int s) {
    SlotWriter w(ini, SlotSection(node, s));
    const std::string& model = r.Module(s);
    w.Put("Module", rt::Trim(model));
    w.Num("Version", r.Version(s));
    w.Num("DOChannel", r.DOChannel(s));
    w.Num("DIChannel", r.DIChannel(s));
    w.Num("AOChannel", r.AOChannel(s));
    w.Num("AIChannel", r.AIChannel(s));
    w.Num("POChannel", r.POChannel(s));
    w.Num("PIChannel", r.PIChannel(s));
    w.Num("RedundancyToSlot", r.RedundancyToSlot(s));
    w.Num("BreakLineFunc", r.BreakLineFunc(s));

    switch (GetModuleFamily(model)) {
        case ModuleFamily::DIFamily:
        case ModuleFamily::DOFamily:
            // Digital modules always carry the digital-module code.
            w.Put("RangeCode_0", RangeCodeText(64));
            w.Put("Comment_0", RangeNameOf(64));
            if (r.DOChannel(s) > 0) {
                w.Num("DO_PowerONValue_Low", r.DO_PowerONValue_Low(s));
                w.Num("DO_PowerONValue_High", r.DO_PowerONValue_High(s));
                w.Num("DO_SafeValue_Low", r.DO_SafeValue_Low(s));
                w.Num("DO_SafeValue_High", r.DO_SafeValue_High(s));
                w.Num("DO_PowerOnVAlueMode", r.PowerOnValueMode(s, 0));
                w.Num("DO_SafeValueMode", r.SafeValueMode(s, 0));
            }
            break;
        case ModuleFamily::AOFamily:
            w.Num("CHBreakLineMode", r.CHBreakLineMode(s));
            for (int c = 0; c < ChannelLimit(r.AOChannel(s)); ++c) {
                w.Code(c, r.RangeCode(s, c));
                w.Num(Indexed("PowerOnValue_", c), r.PowerOnValue(s, c));
                w.Num(Indexed("SafeValue_", c), r.SafeValue(s, c));
                w.Num(Indexed("UserDefLRange_", c), r.UserDefLRange(s, c));
                w.Num(Indexed("UserDefHRange_", c), r.UserDefHRange(s, c));
                w.Num(Indexed("LowAlarmVal_", c), r.LowAlarmVal(s, c));
                w.Num(Indexed("HighAlarmVal_", c), r.HighAlarmVal(s, c));
                w.Num(Indexed("AO_PowerOnVAlueMode_", c), r.PowerOnValueMode(s, c));
                w.Num(Indexed("AO_SafeValueMode_", c), r.SafeValueMode(s, c));
                // Written with every channel; the key keeps its first place.
                w.Num("AlarmMode", r.AlarmMode(s));
            }
            break;
        case ModuleFamily::AIFamily:
            w.Num("AlarmMode", r.AlarmMode(s));
            if (r.McuVersion >= 201) w.Num("AIDigitalFilterMode", r.AIDigitalFilterMode(s));
            WriteAnalogChannels(w, r, s);
            break;
        case ModuleFamily::RTDFamily:
            w.Num("AlarmMode", r.AlarmMode(s));
            w.Num("CHBreakLineMode", r.CHBreakLineMode(s));
            WriteAnalogChannels(w, r, s);
            break;
        case ModuleFamily::TCFamily:
        case ModuleFamily::ScaledAIFamily:
            w.Num("AlarmMode", r.AlarmMode(s));
            w.Num("CHBreakLineMode", r.CHBreakLineMode(s));
            w.Num("CJCSetting", r.CJCSetting(s));
            w.Num("CJCValue", r.CJCValue(s));
            WriteAnalogChannels(w, r, s);
            break;
        case ModuleFamily::PIFamily:
            w.Num("Pi_LPFMode", r.PI(s).LPFMode);
            w.Num("Pi_FreqMode", r.PI(s).FreqMode);
            w.Num("Pi_EdgeTrig", r.PI(s).EdgeTrig);
            w.Put("PI_Impendance", rt::CStr(r.PI(s).Impendance));
            w.Put("PI_FilterInterval", rt::CStr(r.PI(s).FilterInterval));
            for (int c = 0; c < ChannelLimit(r.PIChannel(s)); ++c) w.Code(c, r.RangeCode(s, c));
            break;
        case ModuleFamily::POFamily:
            for (int c = 0; c < ChannelLimit(r.POChannel(s)); ++c) {
                w.Code(c, r.RangeCode(s, c));
                w.Num(Indexed("RefTime_", c), r.PO(s).RefTime(c));
                w.Num(Indexed("OffsetTime_", c), r.PO(s).OffsetTime(c));
                w.Num(Indexed("CyclicSteps_", c), r.PO(s).CyclicSteps(c));
                w.Num(Indexed("DutySteps_", c), r.PO(s).DutySteps(c));
                w.Num(Indexed("PWMCounter_", c), r.PO(s).PWMCount(c));
                w.Num(Indexed("PO_SafeValueMode_", c), r.SafeValueMode(s, c));
            }
            break;
        case ModuleFamily::None:
            break;
    }
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
    const int slots = SlotLimit(r.TotalSlot);
    for (int s = 0; s < slots; ++s)
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

// Replaces the file `path` by `text`: a temporary file in the same folder
// is written, flushed to the disk and renamed over the target, so the old
// file stays whole when any step fails.
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
        } catch (const rt::RuntimeError&) {
        }
    }
    // A range code is written in hexadecimal; up to 16 bits are taken.
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
        if (v > 0xFFFF) return;
        field = static_cast<int16_t>(static_cast<uint16_t>(v));
    }

  private:
    void Number(const std::string& key, const std::function<void(double)>& store) const {
        const std::string t = Text(key);
        if (t.empty()) return;
        try {
            double v = 0;
            if (ParseDecimal(t, v)) store(v);
        } catch (const rt::RuntimeError&) {
        }
    }

    const rt::IniFile& ini_;
    std::string section_;
};

void ReadAnalogChannels(const KeyReader& k, NodeConfig& r, int s) {
    for (int c = 0; c < ChannelLimit(r.AIChannel(s)); ++c) {
        k.Code(Indexed("RangeCode_", c), r.RangeCode(s, c));
        k.Int(Indexed("UserDefLRange_", c), r.UserDefLRange(s, c));
        k.Int(Indexed("UserDefHRange_", c), r.UserDefHRange(s, c));
        k.Int(Indexed("LowAlarmVal_", c), r.LowAlarmVal(s, c));
        k.Int(Indexed("HighAlarmVal_", c), r.HighAlarmVal(s, c));
    }
}

void ReadSlot(const rt::IniFile& ini, NodeConfig& r, int node, int s) {
    const KeyReader k(ini, SlotSection(node, s));
    const std::string model = k.Text("Module");
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
    k.Int("Version", r.Version(s));
    k.Int("DOChannel", r.DOChannel(s));
    k.Int("DIChannel", r.DIChannel(s));
    k.Int("AOChannel", r.AOChannel(s));
    k.Int("AIChannel", r.AIChannel(s));
    k.Int("POChannel", r.POChannel(s));
    k.Int("PIChannel", r.PIChannel(s));
    k.Int("RedundancyToSlot", r.RedundancyToSlot(s));
    k.Int("BreakLineFunc", r.BreakLineFunc(s));

    switch (GetModuleFamily(model)) {
        case ModuleFamily::DIFamily:
        case ModuleFamily::DOFamily:
            k.Code("RangeCode_0", r.RangeCode(s, 0));
            if (r.DOChannel(s) > 0) {
                k.Long("DO_PowerONValue_Low", r.DO_PowerONValue_Low(s));
                k.Long("DO_PowerONValue_High", r.DO_PowerONValue_High(s));
                k.Long("DO_SafeValue_Low", r.DO_SafeValue_Low(s));
                k.Long("DO_SafeValue_High", r.DO_SafeValue_High(s));
                k.Mode("DO_PowerOnVAlueMode", r.PowerOnValueMode(s, 0));
                k.Mode("DO_SafeValueMode", r.SafeValueMode(s, 0));
            }
            break;
        case ModuleFamily::AOFamily:
            k.Long("AlarmMode", r.AlarmMode(s));
            for (int c = 0; c < ChannelLimit(r.AOChannel(s)); ++c) {
                k.Code(Indexed("RangeCode_", c), r.RangeCode(s, c));
                k.Int(Indexed("PowerOnValue_", c), r.PowerOnValue(s, c));
                k.Int(Indexed("SafeValue_", c), r.SafeValue(s, c));
                k.Int(Indexed("UserDefLRange_", c), r.UserDefLRange(s, c));
                k.Int(Indexed("UserDefHRange_", c), r.UserDefHRange(s, c));
                k.Int(Indexed("LowAlarmVal_", c), r.LowAlarmVal(s, c));
                k.Int(Indexed("HighAlarmVal_", c), r.HighAlarmVal(s, c));
                k.Mode(Indexed("AO_PowerOnVAlueMode_", c), r.PowerOnValueMode(s, c));
                k.Mode(Indexed("AO_SafeValueMode_", c), r.SafeValueMode(s, c));
                k.Long("CHBreakLineMode", r.CHBreakLineMode(s));
            }
            break;
        case ModuleFamily::AIFamily:
            k.Long("AlarmMode", r.AlarmMode(s));
            if (r.McuVersion >= 201) k.Int("AIDigitalFilterMode", r.AIDigitalFilterMode(s));
            ReadAnalogChannels(k, r, s);
            break;
        case ModuleFamily::TCFamily:
        case ModuleFamily::ScaledAIFamily:
            k.Long("AlarmMode", r.AlarmMode(s));
            k.Long("CHBreakLineMode", r.CHBreakLineMode(s));
            k.Int("CJCSetting", r.CJCSetting(s));
            k.Int("CJCValue", r.CJCValue(s));
            ReadAnalogChannels(k, r, s);
            break;
        case ModuleFamily::RTDFamily:
            k.Long("AlarmMode", r.AlarmMode(s));
            k.Long("CHBreakLineMode", r.CHBreakLineMode(s));
            ReadAnalogChannels(k, r, s);
            break;
        case ModuleFamily::PIFamily:
            k.Byte("Pi_LPFMode", r.PI(s).LPFMode);
            k.Byte("Pi_FreqMode", r.PI(s).FreqMode);
            k.Long("Pi_EdgeTrig", r.PI(s).EdgeTrig);
            k.Double("PI_Impendance", r.PI(s).Impendance);
            k.Double("PI_FilterInterval", r.PI(s).FilterInterval);
            for (int c = 0; c < ChannelLimit(r.PIChannel(s)); ++c)
                k.Code(Indexed("RangeCode_", c), r.RangeCode(s, c));
            break;
        case ModuleFamily::POFamily:
            for (int c = 0; c < ChannelLimit(r.POChannel(s)); ++c) {
                k.Code(Indexed("RangeCode_", c), r.RangeCode(s, c));
                k.Int(Indexed("RefTime_", c), r.PO(s).RefTime(c));
                k.Long(Indexed("OffsetTime_", c), r.PO(s).OffsetTime(c));
                k.Int(Indexed("CyclicSteps_", c), r.PO(s).CyclicSteps(c));
                k.Int(Indexed("DutySteps_", c), r.PO(s).DutySteps(c));
                k.Int(Indexed("PWMCounter_", c), r.PO(s).PWMCount(c));
                k.Mode(Indexed("PO_SafeValueMode_", c), r.SafeValueMode(s, c));
            }
            break;
        case ModuleFamily::None:
            break;
    }
}

void LoadDocument(int16_t node, const rt::IniFile& ini) {
    NodeConfig* rec = nullptr;
    try {
        rec = &ConfigReal[node];
    } catch (const rt::RuntimeError&) {
        // No record to fill; the window steps below still run.
    }
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

    const int slots = SlotLimit(r.TotalSlot);
    for (int s = 0; s < slots; ++s) ReadSlot(ini, r, node, s);
    // Slot sections belong to a controller even when the file names none
    // (an empty controller-name answer saves "Controller=" and no "MCU<i>"):
    // without the mark the next save would drop every slot.
    for (int s = 0; s < slots; ++s)
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
        const std::string failure = "Load file error: " + reason + ": " + path;
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
    } catch (const std::exception&) {
    }
    return "";
}

// Shows a save failure; returns its text.
std::string SaveFailure(const rt::RuntimeError& e) {
    const std::string failure = "Save file error: " + e.Description();
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
    } catch (const rt::RuntimeError&) {
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
