// Description of a simulated NX-4410 station: controller identity, versions,
// controller status words, and the module in each of the eight I/O slots with
// every setting the station keeps for it. The station stand-in serves this
// record over Modbus TCP and the text channel; it is also what a station file
// (see StationFileFormat()) describes.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace nxsim {

constexpr int kSlotCount = 8;
constexpr int kMaxChannels = 16;

// Network-management states of an I/O module.
enum NmtState : uint16_t {
    NmtEmpty = 1,
    NmtHalt = 2,
    NmtBootupOk = 4,
    NmtFwUpdate = 8,  // bootloader
    NmtPreOperation = 16,
    NmtOperation = 32,
    NmtStop = 64,
};

enum class ModuleKind { None, DI, DO, AI, TC, ScaledAI, RTD, AO, PI, PO, Other };

// One module model the station knows by its ID code.
struct ModuleModel {
    const char* name;
    uint16_t id;
    ModuleKind kind;
    int channels;           // channel count of its kind (0 for none)
    uint16_t defaultRange;  // range code the module starts with
    bool hart;              // takes HART frames
};

// The models of the station's catalog (controller and power module included).
const std::vector<ModuleModel>& ModuleModels();
const ModuleModel* ModelById(uint16_t id);
const ModuleModel* ModelByName(const QString& name);

// A per-slot configuration block of the register map: read with function 4 at
// base + slot, written through the module command mailbox.
struct SlotBlock {
    const char* key;  // key in a station file, e.g. "range-code"
    uint16_t base;    // e.g. 0x8400
    int size;         // registers the block holds per slot (16 for per-channel blocks)
};
const std::vector<SlotBlock>& SlotBlocks();
const SlotBlock* SlotBlockByBase(uint16_t base);
const SlotBlock* SlotBlockByKey(const QString& key);

// Register bases of the per-slot blocks.
enum BlockBase : uint16_t {
    BlkDoPowerOn = 0x8200,
    BlkDoSafe = 0x8210,
    BlkDoFaultMode = 0x8220,
    BlkAoPowerOn = 0x8300,
    BlkAoSafe = 0x8310,
    BlkAoFaultMode = 0x8320,
    BlkRangeCode = 0x8400,
    BlkScaleLow = 0x8410,
    BlkScaleHigh = 0x8420,
    BlkAlarmLow = 0x8430,
    BlkAlarmHigh = 0x8440,
    BlkAlarmEnable = 0x8450,
    BlkAiFilterMode = 0x8460,
    BlkPoReferenceTime = 0x8500,
    BlkPoOffsetTime = 0x8510,
    BlkPoCyclicSteps = 0x8520,
    BlkPoDutySteps = 0x8530,
    BlkPoFaultMode = 0x8540,
    BlkPoPwmCounter = 0x8550,
    BlkPiConfig = 0x8600,
    BlkCjc = 0x8700,
    BlkBreakLine = 0x8710,
};

struct SlotConfig {
    uint16_t moduleId = 0;      // module found in the slot; 0 = empty
    uint16_t predefinedId = 0;  // module the controller is configured for
    uint16_t nmtState = NmtEmpty;
    uint16_t version = 0;       // module firmware version x 10
    uint16_t redundancy = 0;    // high byte: 0 single / 1 duplex; low byte: info
    uint16_t lineDetect = 0;    // terminal line drop-off detection 0/1
    uint16_t duplexStatus = 0;  // 0 initial, 1 or 5 master, 2 slave
    // Status words of the module status block.
    uint16_t underLow = 0, underLowLow = 0, exceedHigh = 0, exceedHighHigh = 0;
    uint32_t chBroken = 0, lightEmcy = 0, heavyEmcy = 0;
    // Registers of every per-slot block (key: block base), SlotBlock::size each.
    std::map<uint16_t, std::vector<uint16_t>> blocks;

    uint16_t reg(uint16_t base, int index) const;
    void setReg(uint16_t base, int index, uint16_t value);
    bool present() const { return moduleId != 0; }
};

struct StationConfig {
    QString controllerName = "NX-4410";  // reply to "19!controller"
    int netId = 1;                       // Modbus unit id, 1..247
    QString fwVersionText = "301";       // reply to "19!getfwver"
    uint16_t mcuVersion = 301;           // controller firmware version x 100
    uint16_t libVersion = 105;           // library version x 100
    std::array<uint16_t, 2> mcuIds{0x1001, 0};
    std::array<uint16_t, 2> powerIds{0x6001, 0};
    uint16_t mcuRole = 0x20;  // 0x20 master, 0x21 slave
    uint16_t otherMcu = 0;    // 0 none, 1 time-out, 2 undefined, 16 live
    uint16_t canStatus = 0, pwmStatus = 0, dipSwitch = 0;
    uint32_t lightFault = 0, heavyFault = 0;
    uint16_t tcpTimeout = 60;                 // seconds
    std::array<SlotConfig, kSlotCount> slot;  // slots 0..7

    // A station without I/O modules.
    static StationConfig Empty();
    // DI, DO, AI, thermocouple, AO, PI, PO and scaled AI modules in slots 0..7,
    // all in OPERATION.
    static StationConfig Default();

    // Puts a module into a slot with the station's defaults for it (range
    // codes, scale 0..10000, mains 50 Hz, ...), in OPERATION; id 0 empties it.
    void setModule(int slot, uint16_t moduleId);
};

// Reads a station description (text of a station file). On failure returns
// false and sets *error to "line N: <what is wrong>"; *out is then unchanged.
bool ParseStationText(const QString& text, StationConfig* out, QString* error);
// Reads a station file; a file that cannot be read is reported in *error.
bool LoadStationFile(const QString& path, StationConfig* out, QString* error);
// Writes the description back as station file text.
QString StationText(const StationConfig& station);
// Help text that describes the station file format.
QString StationFileFormat();

}  // namespace nxsim
