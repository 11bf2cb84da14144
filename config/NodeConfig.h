// The station record: everything the program knows about one station, kept
// twice (ConfigReal as read from the station or a file, ConfigSetting as
// edited and downloaded). Fields are in their declared order and width;
// every array index is checked (rt::Array raises "Subscript out of range"
// before anything is touched).
#pragma once

#include <cstdint>
#include <string>

#include "platform/checked_array.h"

constexpr int kSlotPositions = 9;      // slots 0 to 8 (the station uses 0 to 7)
constexpr int kStationSlots = 8;       // slots the station, Download and the file use
constexpr int kChannelPositions = 17;  // channels 0 to 16 (loops use 0 to 15)
constexpr int kChannelLoop = 16;       // channels 0 to 15
constexpr int kNamePositions = 3;      // controller / power module positions 0 to 2
constexpr int kHartDataBytes = 513;    // HartReply.Data positions 0 to 512

// Flag fields hold -1 for true and 0 for false.
constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;

template <typename T>
using PerSlot = rt::Array<T, kSlotPositions>;
template <typename T>
using PerChannel = rt::Array2<T, kSlotPositions, kChannelPositions>;
template <typename T>
using ChannelRow = rt::Array<T, kChannelPositions>;

struct PIConfig {
    uint8_t LPFMode = 0;        // low-pass filter on, bit n = channel n
    uint8_t FreqMode = 0;       // frequency mode as the station reports it
    int32_t EdgeTrig = 0;       // trigger edge, two bits per channel
    double FilterInterval = 0;  // low-pass filter interval, 1 to 32767
    double Impendance = 0;      // input impedance, two bits per channel
    bool operator==(const PIConfig&) const = default;
};

struct POConfig {
    ChannelRow<int16_t> CyclicSteps;
    ChannelRow<int16_t> DutySteps;
    ChannelRow<int32_t> OffsetTime;  // at most 65535
    ChannelRow<int16_t> RefTime;     // at most 30000
    ChannelRow<int16_t> PWMCount;
    bool operator==(const POConfig&) const = default;
};

struct HartReply {
    int16_t ProcessStatus = 0;  // 0 IDLE, 1 PROCESSING, 2 FINISH, other ERROR
    int16_t ErrorCode = 0;
    int16_t DataLength = 0;
    rt::Array<uint8_t, kHartDataBytes> Data;
    bool operator==(const HartReply&) const = default;
};

struct NodeConfig {
    int16_t ControllerPresent = 0;                     // 1
    int16_t Spare1 = 0;                                // 2
    int16_t Spare2 = 0;                                // 3
    std::string Controller;                            // 4
    std::string IPAddress;                             // 5
    int16_t NetID = 0;                                 // 6
    int16_t McuFwVersion = 0;                          // 7
    std::string SpareVersion1;                         // 8
    int32_t Spare3 = 0;                                // 9
    std::string SpareVersion2;                         // 10
    int32_t Spare4 = 0;                                // 11
    int16_t McuVersion = 0;                            // 12  controller firmware version x 100
    int16_t McuLibVersion = 0;                         // 13
    PerSlot<int16_t> Version;                          // 14  module firmware version x 10
    rt::Array<std::string, kNamePositions> McuName;    // 15
    rt::Array<std::string, kNamePositions> PowerName;  // 16
    PerSlot<std::string> PredefModule;                 // 17
    PerSlot<std::string> Module;                       // 18  "" = empty slot
    int16_t TotalSlot = 0;                             // 19
    PerSlot<int16_t> SlotPresent;                      // 20
    PerSlot<int16_t> DownloadPending;                  // 21
    PerSlot<int16_t> DIChannel;                        // 22
    PerSlot<int16_t> DOChannel;                        // 23
    PerSlot<int16_t> AIChannel;                        // 24
    PerSlot<int16_t> AOChannel;                        // 25
    PerSlot<int16_t> PIChannel;                        // 26
    PerSlot<int16_t> POChannel;                        // 27
    PerChannel<int16_t> UserDefLRange;                 // 28
    PerChannel<int16_t> UserDefHRange;                 // 29
    PerSlot<int32_t> DO_PowerONValue_Low;              // 30
    PerSlot<int32_t> DO_PowerONValue_High;             // 31
    PerSlot<int32_t> DO_SafeValue_Low;                 // 32
    PerSlot<int32_t> DO_SafeValue_High;                // 33
    PerChannel<int16_t> PowerOnValue;                  // 34
    PerChannel<int16_t> SafeValue;                     // 35
    PerChannel<uint8_t> PowerOnValueMode;              // 36
    PerChannel<uint8_t> SafeValueMode;                 // 37
    PerChannel<int16_t> RangeCode;                     // 38
    PerSlot<int32_t> AlarmMode;                        // 39
    PerSlot<int32_t> CHBreakLineMode;                  // 40
    PerSlot<int32_t> Spare7;                           // 41
    PerChannel<int16_t> LowAlarmVal;                   // 42
    PerChannel<int16_t> HighAlarmVal;                  // 43
    PerSlot<int16_t> BreakLineFunc;                    // 44
    PerSlot<int16_t> RedundancyToSlot;                 // 45  0 SINGLE, 1 DUPLEX
    PerSlot<int16_t> RedundancyInfo;                   // 46
    PerSlot<int16_t> DuplexStatus;                     // 47
    PerSlot<int32_t> Spare8;                           // 48
    PerSlot<int16_t> CJCSetting;                       // 49
    PerSlot<int16_t> CJCValue;                         // 50
    PerSlot<PIConfig> PI;                              // 51
    PerSlot<POConfig> PO;                              // 52
    PerSlot<int16_t> NMTState;                         // 53
    int16_t TcpTimeout = 0;                            // 54
    PerSlot<int32_t> LightEmcy;                        // 55
    PerSlot<int32_t> HeavyEmcy;                        // 56
    PerSlot<int16_t> UnderLowLimit;                    // 57
    PerSlot<int16_t> UnderLowLowLimit;                 // 58
    PerSlot<int16_t> ExceedHighLimit;                  // 59
    PerSlot<int16_t> ExceedHighHighLimit;              // 60
    PerSlot<int32_t> ChBrokenStatus;                   // 61
    PerSlot<int16_t> AIDigitalFilterMode;              // 62
    PerSlot<int16_t> AIFilterModeHigh;                 // 63
    PerSlot<int16_t> MainsFrequency;                   // 64
    int16_t McuStatus = 0;                             // 65  32 master, 33 slave
    int16_t OtherMcuStatus = 0;                        // 66
    int16_t CanStatus = 0;                             // 67
    int16_t PwmStatus = 0;                             // 68
    int32_t LightFault = 0;                            // 69
    int32_t HeavyFault = 0;                            // 70
    int16_t DipSwitch = 0;                             // 71
    PerSlot<HartReply> Hart;                           // 72  slots 0 to 7 filled

    bool operator==(const NodeConfig&) const = default;
};

// The two program-wide copies, one element each (node index 0). Any other
// node index raises "Subscript out of range" before anything is touched.
using NodeArray = rt::Array<NodeConfig, 1>;
extern NodeArray ConfigReal;
extern NodeArray ConfigSetting;
