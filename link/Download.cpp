#include "link/Download.h"

#include <exception>
#include <string>

#include "config/ConfigDefaults.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/LinkWindow.h"
#include "link/ModuleCommands.h"
#include "link/PendingRequest.h"
#include "platform/WinsockControl.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

namespace nxlink {

namespace {

std::string SlotErrorLine(int slot) {
    return "Write IOM " + std::to_string(slot) + " configuration Error!!!";
}

// Sends the slot's series one command at a time and stops at the first that
// is not accepted. Returns whether every command was accepted.
bool DownloadSlot(rt::WinsockControl& ws, uint8_t unitId, int16_t node, int slot) {
    LinkWindow& w = TheLinkWindow();
    // The whole series is built before the first command goes out, so a
    // setting that cannot be sent never leaves the module pre-operational.
    const std::vector<ModuleCommand> series = SlotSeries(node, slot);
    for (const ModuleCommand& command : series) {
        if (command.Withheld) {
            w.ReportStatus("Write IOM " + std::to_string(slot) + command.Text);
            continue;
        }
        const ReplyOutcome outcome = SendRequestAndWait(
            ws, KeyIomCommand, BuildModuleCommandFrame(unitId, command), CommandReplyTimeoutMs);
        if (outcome != ReplyOutcome::Done) {
            if (outcome == ReplyOutcome::TimedOut || outcome == ReplyOutcome::Refused) {
                w.ReportStatus(SlotErrorLine(slot));
                rt::MsgBox(std::string(OutcomeText(outcome)) + " on slot " + std::to_string(slot),
                           rt::vbCritical, "Message");
            }
            return false;
        }
        w.ReportStatus("Write IOM " + std::to_string(slot) + command.Text);
    }
    return true;
}

}  // namespace

void DownloadConfiguration(int16_t& node) {
    if (TransferInProgress()) return;
    TransferGuard owned;
    LinkWindow& w = TheLinkWindow();
    rt::WinsockControl& ws = WskTCP502();

    int slot = 0;
    auto runTimeError = [&](const std::string& description) {
        w.ReportStatus(SlotErrorLine(slot));
        rt::MsgBox("Critical Error: " + description, rt::vbCritical, "Message");
    };
    try {
        if (ws.State() != rt::sckConnected) {
            w.ReportStatus(kFailConnect);
            rt::MsgBox(kFailConnect, rt::vbOKOnly, "Error");
        } else {
            const uint8_t unitId = UnitIdFromNetId(ConfigReal[0].NetID);
            for (slot = 0; slot < kStationSlots; ++slot) {
                if (ConfigSetting[node].DownloadPending(slot) != kTrue) continue;
                if (!DownloadSlot(ws, unitId, node, slot)) continue;
                w.ReportStatus("Write IOM " + std::to_string(slot) + " configuration OK!");
                // The copy carries the flag (still set) into ConfigReal.
                SetConfig_SettingToReal_OneSlot(node, static_cast<int16_t>(slot));
                ConfigSetting[node].DownloadPending(slot) = kFalse;
            }
            w.ReportStatus("Download data to NX-4410 finished.");
        }
    } catch (const rt::RuntimeError& e) {
        runTimeError(e.Description());
    } catch (const std::exception& e) {
        runTimeError(e.what());
    }
}

}  // namespace nxlink
