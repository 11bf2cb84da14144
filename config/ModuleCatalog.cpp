#include "config/ModuleCatalog.h"

#include <iterator>

#include "config/NodeConfig.h"

namespace {

using F = ModuleFamily;

constexpr ChannelCounts DI(int16_t n) { return ChannelCounts{n, 0, 0, 0, 0, 0}; }
constexpr ChannelCounts DO(int16_t n) { return ChannelCounts{0, n, 0, 0, 0, 0}; }
constexpr ChannelCounts AI(int16_t n) { return ChannelCounts{0, 0, n, 0, 0, 0}; }
constexpr ChannelCounts AO(int16_t n) { return ChannelCounts{0, 0, 0, n, 0, 0}; }
constexpr ChannelCounts PI(int16_t n) { return ChannelCounts{0, 0, 0, 0, n, 0}; }
constexpr ChannelCounts PO(int16_t n) { return ChannelCounts{0, 0, 0, 0, 0, n}; }
constexpr ChannelCounts kNoChannels{};

// One row per model. The KA models have no ID: they only come from a
// configuration file. The controller and the power module have IDs but no
// family and no channels; so have the two KB-53x models.
constexpr CatalogEntry kCatalog[] = {
    {"KA-310", 0, F::RTDFamily, AI(8)},       {"KB-510", 32, F::RTDFamily, AI(12)},
    {"KA-321", 0, F::AIFamily, AI(8)},        {"KA-322", 0, F::AIFamily, AI(16)},
    {"KA-323", 0, F::AIFamily, AI(8)},        {"KA-324", 0, F::AIFamily, AI(8)},
    {"KB-521", 74, F::AIFamily, AI(8)},       {"KB-522", 73, F::AIFamily, AI(16)},
    {"KB-523", 98, F::ScaledAIFamily, AI(8)}, {"KB-524", 97, F::ScaledAIFamily, AI(16)},
    {"KA-330", 0, F::TCFamily, AI(8)},        {"KA-340", 0, F::TCFamily, AI(8)},
    {"KB-540", 49, F::TCFamily, AI(16)},      {"KA-351", 0, F::AOFamily, AO(8)},
    {"KA-352", 0, F::AOFamily, AO(8)},        {"KA-353", 0, F::AOFamily, AO(8)},
    {"KA-354", 0, F::AOFamily, AO(8)},        {"KA-355", 0, F::AOFamily, AO(8)},
    {"KB-551", 145, F::AOFamily, AO(8)},      {"KB-552", 114, F::AOFamily, AO(8)},
    {"KB-553", 113, F::AOFamily, AO(16)},     {"KA-360", 0, F::DIFamily, DI(32)},
    {"KB-560", 1, F::DIFamily, DI(32)},       {"KA-370", 0, F::DOFamily, DO(32)},
    {"KB-570", 16, F::DOFamily, DO(32)},      {"KA-380", 0, F::PIFamily, PI(8)},
    {"KB-580", 160, F::PIFamily, PI(8)},      {"KA-371", 0, F::POFamily, PO(16)},
    {"KB-590", 241, F::POFamily, PO(16)},     {"KB-531", 82, F::None, kNoChannels},
    {"KB-532", 81, F::None, kNoChannels},     {"GW-7010", 4097, F::None, kNoChannels},
    {"KP-220", 24577, F::None, kNoChannels},
};

}  // namespace

const CatalogEntry* CatalogBegin() { return std::begin(kCatalog); }
const CatalogEntry* CatalogEnd() { return std::end(kCatalog); }

const CatalogEntry* FindCatalogEntry(std::string_view model) {
    if (model.empty()) return nullptr;
    for (const CatalogEntry& e : kCatalog) {
        if (model == e.Model) return &e;
    }
    return nullptr;
}

ModuleFamily GetModuleFamily(std::string_view model) {
    const CatalogEntry* e = FindCatalogEntry(model);
    return e ? e->Family : ModuleFamily::None;
}

bool IsInFamily(std::string_view model, ModuleFamily family) {
    // "No family" is not a family a model can be tested for.
    return family != ModuleFamily::None && GetModuleFamily(model) == family;
}

bool IsSensorGroup(std::string_view model) {
    const ModuleFamily f = GetModuleFamily(model);
    return f == F::TCFamily || f == F::ScaledAIFamily || f == F::RTDFamily;
}

bool IsAnalogGroup(std::string_view model) {
    const ModuleFamily f = GetModuleFamily(model);
    return f == F::AIFamily || f == F::AOFamily || IsSensorGroup(model);
}

bool IsRangeSelectableAO(std::string_view model) {
    return model == "KA-353" || model == "KB-552" || model == "KB-553";
}

std::string GetModelNameById(const int32_t& id) {
    // 0 marks an empty position; the KA rows carry 0 and must not match it.
    if (id == 0) return std::string();
    for (const CatalogEntry& e : kCatalog) {
        if (e.Id == id) return e.Model;
    }
    return std::string();
}

void SetChannelCountsByModel(int16_t& node) {
    NodeConfig& cfg = ConfigReal[node];  // any node but 0 raises before a write
    for (int s = 0; s < kStationSlots; ++s) {
        cfg.DIChannel[s] = 0;
        cfg.DOChannel[s] = 0;
        cfg.AIChannel[s] = 0;
        cfg.AOChannel[s] = 0;
        cfg.PIChannel[s] = 0;
        cfg.POChannel[s] = 0;
    }
    for (int s = 0; s < kStationSlots; ++s) {
        if (cfg.SlotPresent[s] != kTrue) continue;
        const CatalogEntry* e = FindCatalogEntry(cfg.Module[s]);
        if (!e) continue;
        cfg.DIChannel[s] = e->Counts.DI;
        cfg.DOChannel[s] = e->Counts.DO;
        cfg.AIChannel[s] = e->Counts.AI;
        cfg.AOChannel[s] = e->Counts.AO;
        cfg.PIChannel[s] = e->Counts.PI;
        cfg.POChannel[s] = e->Counts.PO;
    }
}
