// Upload with one configuration read answered late: the real main window,
// offscreen, against the station stand-in. A clean Upload first, saved to an
// INI file with the toolbar's Save (its question answered Yes); then, for
// each case, a fresh stand-in, window and configuration record, Connect, one
// read of the chosen address answered late, Upload, a wait until that reply
// is in, and a second INI file. Prints for each case the message boxes,
// the failed status lines and the slots whose reads did not all succeed,
// and every INI key whose value differs from the clean Upload's.
//
//   nx4410_upload_late [<address>:<delay ms>]...
//
// The address is that of a function-4 read of the Upload (hex with 0x, or
// decimal); without cases: 0x8403:1200 and 0x8403:3000, the range-code read
// of slot 3 answered 1.2 s and 3 s late.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bench/common/online_window.h"
#include "config/ConfigFile.h"
#include "mainwindow/frmMain.h"
#include "platform/EventWait.h"
#include "sim/StationSim.h"
#include "tests/support/ConfigRecords.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

struct LateRead {
    int address = 0x8403;
    int delayMs = 1200;
};

bool ParseCase(const std::string& text, LateRead* c) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    char* end = nullptr;
    const std::string address = text.substr(0, colon);
    const long a = std::strtol(address.c_str(), &end, 0);
    if (address.empty() || *end != '\0' || a < 0 || a > 0xFFFF) return false;
    const std::string delay = text.substr(colon + 1);
    const long d = std::strtol(delay.c_str(), &end, 10);
    if (delay.empty() || *end != '\0' || d < 0 || d > 600000) return false;
    c->address = static_cast<int>(a);
    c->delayMs = static_cast<int>(d);
    return true;
}

// An INI file as section -> key -> value, in the order the file has them.
using Ini = std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

Ini ReadIni(const std::string& path) {
    Ini ini;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            ini.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (ini.empty()) ini.push_back({"", {}});
        ini.back().second.push_back({line.substr(0, eq), line.substr(eq + 1)});
    }
    return ini;
}

std::map<std::pair<std::string, std::string>, std::string> Flatten(const Ini& ini) {
    std::map<std::pair<std::string, std::string>, std::string> out;
    for (const auto& [section, keys] : ini)
        for (const auto& [key, value] : keys) out.emplace(std::make_pair(section, key), value);
    return out;
}

// What one Upload left: its message boxes, the status lines it wrote, and
// the INI file saved after it.
struct UploadRun {
    bool online = false;
    std::vector<std::string> boxes;
    std::vector<std::string> statusLines;
    std::string iniPath;
    int faultHits = 0;
};

// A fresh stand-in, window and configuration record; Connect, the late read
// (if any), Upload, a wait until the late reply is in, the toolbar's Save.
UploadRun RunUpload(rt::ScriptedDialogs& dialogs, const std::string& iniPath,
                    const LateRead* late) {
    UploadRun run;
    run.iniPath = iniPath;
    ResetConfigRecordsForStartup();
    nxsim::StationSim sim;
    nxsim::SimOptions options;
    options.liveInputs = false;
    frmMain window;
    window.show();
    McuIniPath = iniPath;
    if (!StartStationAndConnect(sim, options, window)) return run;
    int rule = 0;
    if (late) {
        nxsim::FaultRule r;
        r.function = 4;
        r.addressFirst = late->address;
        r.kind = nxsim::FaultKind::Delay;
        r.delayMs = late->delayMs;
        rule = sim.addFault(r);
    }
    const rt::ScriptedDialogs::Mark mark = dialogs.Here();
    const int rowsBefore = window.lvwEventLog.ListItemCount();
    window.Toolbar.Buttons("Upload").PerformClick();
    // The late reply comes in (and does whatever it does) before the save.
    rt::WaitUntil([] { return false; }, static_cast<uint32_t>((late ? late->delayMs : 0) + 1000));
    run.online = window.Caption().find("(Online Mode)") != std::string::npos;
    for (size_t i = mark.shown; i < dialogs.shown.size(); ++i)
        run.boxes.push_back(dialogs.shown[i].prompt);
    for (int i = rowsBefore + 1; i <= window.lvwEventLog.ListItemCount(); ++i)
        run.statusLines.push_back(window.lvwEventLog.ListItems(i).Text());
    if (late) run.faultHits = sim.faultHits(rule);
    dialogs.AnswerMsgBox(rt::vbYes);  // "Would you want to save IOM parameters into file?"
    window.Toolbar.Buttons("Save").PerformClick();
    window.Timer1.SetEnabled(false);
    window.Timer2.SetEnabled(false);
    window.Toolbar.Buttons("Disconnect").PerformClick();
    return run;
}

// The slot of a status line "Read IOM <s>..." or "Read IOM<s>...", -1 for
// the others.
int SlotOfLine(const std::string& line) {
    if (line.rfind("Read IOM", 0) != 0) return -1;
    size_t at = 8;
    if (at < line.size() && line[at] == ' ') ++at;
    if (at >= line.size() || line[at] < '0' || line[at] > '7') return -1;
    return line[at] - '0';
}

std::map<int, int> OkLinesPerSlot(const UploadRun& run) {
    std::map<int, int> n;
    for (const std::string& l : run.statusLines) {
        const int slot = SlotOfLine(l);
        if (slot >= 0 && l.find("OK!") != std::string::npos) ++n[slot];
    }
    return n;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::vector<LateRead> cases;
    for (int i = 1; i < argc; ++i) {
        LateRead c;
        if (!ParseCase(argv[i], &c)) {
            std::fprintf(stderr, "usage: %s [<address>:<delay ms>]...  (e.g. 0x8403:1200)\n",
                         argv[0]);
            return 2;
        }
        cases.push_back(c);
    }
    if (cases.empty()) cases = {LateRead{0x8403, 1200}, LateRead{0x8403, 3000}};
    QApplication app(argc, argv);
    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const std::string folder = dir.path().toStdString();

    const UploadRun clean = RunUpload(dialogs, folder + "/clean.ini", nullptr);
    if (!clean.online) {
        std::fprintf(stderr, "the clean Upload did not bring the window online\n");
        return 1;
    }
    const auto cleanKeys = Flatten(ReadIni(clean.iniPath));
    const std::map<int, int> cleanOk = OkLinesPerSlot(clean);
    std::printf("clean Upload: %zu message boxes, %zu status lines, %zu INI keys\n",
                clean.boxes.size(), clean.statusLines.size(), cleanKeys.size());

    int differing = 0;
    for (size_t n = 0; n < cases.size(); ++n) {
        const LateRead& c = cases[n];
        const UploadRun run = RunUpload(dialogs, folder + "/late" + std::to_string(n) + ".ini", &c);
        std::printf("\nread 0x%04X (function 4) answered %d ms late%s%s\n", c.address, c.delayMs,
                    run.faultHits == 0 ? " (the Upload never sent it)" : "",
                    run.online ? "" : "; the window did not go online");
        std::printf("message boxes: %zu\n", run.boxes.size());
        for (const std::string& b : run.boxes) std::printf("  box: %s\n", b.c_str());
        for (const std::string& l : run.statusLines)
            if (l.find("Error") != std::string::npos) std::printf("  failed: %s\n", l.c_str());
        const std::map<int, int> ok = OkLinesPerSlot(run);
        for (const auto& [slot, count] : cleanOk) {
            const auto it = ok.find(slot);
            const int got = it == ok.end() ? 0 : it->second;
            if (got != count) std::printf("  slot %d: %d of its %d reads OK\n", slot, got, count);
        }
        // Key by key; a section only one of the files has is one line.
        const Ini lateIni = ReadIni(run.iniPath);
        const auto keys = Flatten(lateIni);
        std::map<std::string, std::pair<size_t, size_t>> sectionKeys;  // clean, late
        for (const auto& [section, list] : ReadIni(clean.iniPath))
            sectionKeys[section].first += list.size();
        for (const auto& [section, list] : lateIni) sectionKeys[section].second += list.size();
        std::set<std::pair<std::string, std::string>> all;
        for (const auto& [k, v] : cleanKeys) all.insert(k);
        for (const auto& [k, v] : keys) all.insert(k);
        int differ = 0;
        std::string sectionShown;
        for (const auto& k : all) {
            const auto a = cleanKeys.find(k);
            const auto b = keys.find(k);
            const std::string was = a == cleanKeys.end() ? "(missing)" : a->second;
            const std::string now = b == keys.end() ? "(missing)" : b->second;
            if (was == now) continue;
            if (differ++ == 0) std::printf("INI keys that differ (section/key: clean -> late):\n");
            const auto [inClean, inLate] = sectionKeys[k.first];
            if (inClean == 0 || inLate == 0) {
                if (sectionShown != k.first)
                    std::printf("  [%s]: only in the %s INI (%zu keys)\n", k.first.c_str(),
                                inClean ? "clean" : "late", inClean + inLate);
                sectionShown = k.first;
                continue;
            }
            std::printf("  [%s] %s: %s -> %s\n", k.first.c_str(), k.second.c_str(), was.c_str(),
                        now.c_str());
        }
        std::printf("INI keys that differ: %d\n", differ);
        differing += differ;
    }
    return differing == 0 ? 0 : 3;
}
