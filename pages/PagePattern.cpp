#include "pages/PagePattern.h"

#include <algorithm>
#include <exception>

#include "config/ConfigDefaults.h"
#include "link/Connection.h"
#include "pages/PagesLog.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

int16_t SelSlot = 0;

namespace pages {

namespace {

std::string SlotLine(const std::string& word, int16_t slot, const std::string& end) {
    return nxlink::TimeOfDayText() + word + rt::Trim(std::to_string(slot)) + end;
}

}  // namespace

const std::vector<PageKindRow>& ModulePageKinds() {
    static const std::vector<PageKindRow> kinds{
        {PageKind::AnalogOutput,
         {"KA-354", "KA-355", "KA-351", "KA-353", "KA-352", "KB-551", "KB-552", "KB-553"},
         &NodeConfig::AOChannel},
        {PageKind::AnalogInput,
         {"KA-324", "KA-321", "KA-322", "KA-323", "KB-521", "KB-522"},
         &NodeConfig::AIChannel},
        {PageKind::SensorInput,
         {"KA-310", "KA-330", "KA-340", "KB-540", "KB-510", "KB-523", "KB-524"},
         &NodeConfig::AIChannel},
        {PageKind::DigitalOutput, {"KA-370", "KB-570"}, &NodeConfig::DOChannel},
        {PageKind::PulseInput, {"KA-380", "KB-580"}, &NodeConfig::PIChannel},
        {PageKind::PulseOutput, {"KA-371"}, &NodeConfig::POChannel},
    };
    return kinds;
}

PageKind DispatchPage(const std::string& model) {
    for (const PageKindRow& row : ModulePageKinds())
        for (const std::string& m : row.models)
            if (model == m) return row.kind;
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
    for (const PageKindRow& row : ModulePageKinds())
        if (row.kind == kind) count = (real.*row.channels)(slot);
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
