// The module catalog: every model with its module ID, family and channel
// counts. Model names are compared exactly and case-sensitively; "" means no
// module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class ModuleFamily {
    None,
    DIFamily,
    DOFamily,
    AIFamily,
    TCFamily,
    ScaledAIFamily,
    RTDFamily,
    AOFamily,
    PIFamily,
    POFamily,
};

struct ChannelCounts {
    int16_t DI = 0, DO = 0, AI = 0, AO = 0, PI = 0, PO = 0;
};

struct CatalogEntry {
    const char* Model;
    int32_t Id;  // 0 for the models that have no ID (the KA models)
    ModuleFamily Family;
    ChannelCounts Counts;
};

// The whole table, in catalog order (controller and power module included).
const CatalogEntry* CatalogBegin();
const CatalogEntry* CatalogEnd();
// The catalog row of a model, or nullptr for a name the catalog lacks.
const CatalogEntry* FindCatalogEntry(std::string_view model);

ModuleFamily GetModuleFamily(std::string_view model);
bool IsInFamily(std::string_view model, ModuleFamily family);
bool IsSensorGroup(std::string_view model);        // TC + ScaledAI + RTD
bool IsAnalogGroup(std::string_view model);        // AI + SensorGroup + AO (21 models)
bool IsRangeSelectableAO(std::string_view model);  // KA-353, KB-552, KB-553

// Model name of a module ID reported by the station; "" for 0 and unknown IDs.
std::string GetModelNameById(const int32_t& id);

// Sets the six channel counts of slots 0 to 7 of ConfigReal from their model
// (only where SlotPresent is exactly -1); slot 8 is left alone.
void SetChannelCountsByModel(int16_t& node);
