#include "link/SingleWrites.h"

#include <optional>
#include <string>

#include "config/Conversions.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/ModbusFrame.h"
#include "link/PendingRequest.h"
#include "platform/WinsockControl.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

namespace nxlink {

namespace {

constexpr int16_t kFirstOutputRange = 48;
constexpr int16_t kLastOutputRange = 53;

// The unit id of the write, or nullopt (after telling the user) when the
// Net ID in force cannot be one.
std::optional<uint8_t> WriteUnitId() {
    const int16_t netId = ConfigReal[0].NetID;
    if (netId >= 1 && netId <= 247) return static_cast<uint8_t>(netId);
    rt::MsgBox("The Modbus Net ID " + std::to_string(netId) +
                   " is not a unit id (1 to 247); the output was not written.",
               rt::vbOKOnly, "Error");
    return std::nullopt;
}

}  // namespace

void ModbusSetAOValue(const int16_t& Address, const float& Value, const int16_t& RangeCode) {
    rt::WinsockControl& ws = WskTCP502();
    if (ws.State() != rt::sckConnected) return;
    try {
        if (RangeCode < kFirstOutputRange || RangeCode > kLastOutputRange) {
            // Sending count 0 in place of the typed value would drive the
            // output somewhere the user never asked for.
            rt::MsgBox("The range of this channel (range code " + std::to_string(RangeCode) +
                           ") cannot be written; the output was not written.",
                       rt::vbOKOnly, "Error");
            return;
        }
        const std::optional<uint8_t> unitId = WriteUnitId();
        if (!unitId) return;
        const int16_t count = ConverValue2BitDec(Value, RangeCode);
        SendModbusRequest(ws, BuildWriteSingleRegister(*unitId, static_cast<uint16_t>(Address),
                                                       static_cast<uint16_t>(count)));
    } catch (const rt::RuntimeError& e) {
        rt::MsgBox(e.Description(), rt::vbOKOnly, kApplicationTitle);
    }
}

void ModbusSetDOValue(const int16_t& Address, const uint8_t& Value) {
    rt::WinsockControl& ws = WskTCP502();
    if (ws.State() != rt::sckConnected) return;
    try {
        const std::optional<uint8_t> unitId = WriteUnitId();
        if (!unitId) return;
        SendModbusRequest(ws, BuildWriteSingleCoil(*unitId, static_cast<uint16_t>(Address), Value));
    } catch (const rt::RuntimeError& e) {
        rt::MsgBox(e.Description(), rt::vbOKOnly, "Error");
    }
}

}  // namespace nxlink
