#include "pages/PagePattern.h"

#include <algorithm>
#include <array>
#include <exception>

#include "config/ConfigDefaults.h"
#include "link/Connection.h"
#include "pages/PagesLog.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

int16_t SelSlot = 0;

namespace pages {

namespace {

struct DispatchRow {
    const char* model;
    PageKind page;
};

// Compared in this order; the first row that holds the model decides.
constexpr std::array<DispatchRow, 26> kDispatch{{
    {"KA-354", PageKind::AnalogOutput},  {"KA-355", PageKind::AnalogOutput},
    {"KA-351", PageKind::AnalogOutput},  {"KA-353", PageKind::AnalogOutput},
    {"KA-352", PageKind::AnalogOutput},  {"KB-551", PageKind::AnalogOutput},
    {"KB-552", PageKind::AnalogOutput},  {"KB-553", PageKind::AnalogOutput},
    {"KA-324", PageKind::AnalogInput},   {"KA-321", PageKind::AnalogInput},
    {"KA-322", PageKind::AnalogInput},   {"KA-323", PageKind::AnalogInput},
    {"KB-521", PageKind::AnalogInput},   {"KB-522", PageKind::AnalogInput},
    {"KA-310", PageKind::SensorInput},   {"KA-330", PageKind::SensorInput},
    {"KA-340", PageKind::SensorInput},   {"KB-540", PageKind::SensorInput},
    {"KB-510", PageKind::SensorInput},   {"KB-523", PageKind::SensorInput},
    {"KB-524", PageKind::SensorInput},   {"KA-370", PageKind::DigitalOutput},
    {"KB-570", PageKind::DigitalOutput}, {"KA-380", PageKind::PulseInput},
    {"KB-580", PageKind::PulseInput},    {"KA-371", PageKind::PulseOutput},
}};

std::string SlotLine(const std::string& word, int16_t slot, const std::string& end) {
    return nxlink::TimeOfDayText() + word + rt::Trim(std::to_string(slot)) + end;
}

}  // namespace

PageKind DispatchPage(const std::string& model) {
    for (const DispatchRow& row : kDispatch)
        if (model == row.model) return row.page;
    return PageKind::NoModule;
}

std::string SensorPageCaption(const std::string& model) {
    if (model == "KA-330" || model == "KA-340" || model == "KB-540") return "Configuration (TC)";
    if (model == "KB-523" || model == "KB-524") return "Configuration (AI)";
    return "Configuration (RTD)";
}

bool StateShowsPage(int16_t nmtState) { return nmtState == 16 || nmtState == 32 || nmtState == 64; }

int16_t PageCount(PageKind kind, const NodeConfig& real, int slot, int controls) {
    int16_t count = 0;
    switch (kind) {
        case PageKind::AnalogInput:
        case PageKind::SensorInput:
            count = real.AIChannel(slot);
            break;
        case PageKind::AnalogOutput:
            count = real.AOChannel(slot);
            break;
        case PageKind::DigitalOutput:
            count = real.DOChannel(slot);
            break;
        case PageKind::PulseInput:
            count = real.PIChannel(slot);
            break;
        case PageKind::PulseOutput:
            count = real.POChannel(slot);
            break;
        case PageKind::NoModule:
            break;
    }
    return static_cast<int16_t>(std::clamp<int>(count, 0, controls));
}

bool DuplexReadOnly(const NodeConfig& setting, int slot) {
    if (slot == 0) return false;
    if (slot % 2 == 0) return false;
    return setting.RedundancyToSlot(slot - 1) == 1 || setting.RedundancyToSlot(slot) == 1;
}

bool AskToolOperation(const std::string& question) {
    return rt::MsgBox(question, rt::vbYesNo, "Tool Operation") == rt::vbYes;
}

void CopyToPartner(int16_t node, int16_t source, int16_t destination) {
    const bool pending = ConfigSetting[node].DownloadPending(destination) == kTrue;
    CopySlotSetting(node, source, destination);
    if (pending) ConfigSetting[node].DownloadPending(destination) = kTrue;
}

void RunSet(PageHost& host, const PageWords& words, const std::function<void(SlotStore&)>& store) {
    const int16_t slot = SelSlot;
    try {
        const int16_t node = host.SelectedNode();
        if (!AskToolOperation(words.setQuestion)) return;
        NodeConfig staging = ConfigSetting[node];
        SlotStore s(staging, ConfigReal[node], slot);
        store(s);
        if (s.Changed()) staging.DownloadPending(slot) = kTrue;
        ConfigSetting[node] = std::move(staging);
        host.ReportStatus(SlotLine(words.setWord, slot, " configuration ok!"));
        const NodeConfig& n = ConfigSetting[node];
        if (slot % 2 == 0 && slot < 8 && n.Module(slot + 1) == n.Module(slot) &&
            !n.Module(slot).empty() && n.RedundancyToSlot(slot) == 1)
            CopyToPartner(node, slot, static_cast<int16_t>(slot + 1));
    } catch (const std::exception& e) {
        LogPageError("Set", e);
        host.ReportStatus(words.errorLine ? nxlink::TimeOfDayText() + words.errorLine(slot)
                                          : SlotLine(words.setWord, slot, words.setError));
    }
}

void RunDefault(PageHost& host, const PageWords& words, const std::function<bool()>& reset) {
    try {
        (void)ConfigReal[host.SelectedNode()];
        if (!AskToolOperation(words.defaultQuestion)) return;
        if (reset()) host.SetStatusText(nxlink::TimeOfDayText() + " Set IOM default value OK!!");
    } catch (const std::exception& e) {
        LogPageError("Default", e);
        host.SetStatusText(nxlink::TimeOfDayText() + " Set IOM default value error!!");
    }
}

void ShowChoice(ui::ComboBox& list, int code) {
    list.SetListIndex(code >= 0 && code < list.ListCount() ? code : -1);
}

}  // namespace pages
