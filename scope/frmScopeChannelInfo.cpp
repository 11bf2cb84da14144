#include "scope/frmScopeChannelInfo.h"

#include "link/SingleWrites.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "scope/frmScope.h"

namespace scope {

frmScopeChannelInfo::frmScopeChannelInfo(frmScope& scope)
    : QWidget(&scope, Qt::Window), scope_(scope) {
    setWindowTitle("Channel Information");
    labIO.Create(this, "");
    labIO.Move(120, 120, 3000, 300);
    txtValue.Create(this);
    txtValue.Move(120, 480, 3000, 300);
    const char* captions[] = {"Off", "On", "Inverse"};
    for (int i = 0; i <= 2; ++i) {
        ui::CommandButton& b = cmdSetDO.Load(i);
        b.Create(this, captions[i]);
        b.Move(120 + i * 1020, 900, 960, 375);
        b.Click = [this, i] { cmdSetDO_Click(static_cast<int16_t>(i)); };
    }
    cmdSetValue.Create(this, "Set");
    cmdSetValue.Move(120, 900, 960, 375);
    cmdSetValue.Click = [this] { cmdSetValue_Click(); };
    resize(ui::ToPixels(3300), ui::ToPixels(1450));
}

void frmScopeChannelInfo::cmdSetDO_Click(int16_t index) {
    frmScope::BusyGuard busy(scope_);
    uint8_t value = 0x00;
    switch (index) {
        case 0:
            value = 0x00;
            break;
        case 1:
            value = 0xFF;
            break;
        case 2:
            value = txtValue.Text() == "OFF" ? 0xFF : 0x00;
            break;
        default:
            return;
    }
    nxlink::ModbusSetDOValue(SelectedScopeChannel.Address, value);
}

void frmScopeChannelInfo::cmdSetValue_Click() {
    frmScope::BusyGuard busy(scope_);
    try {
        const float value = rt::TypedSingle(txtValue.Text());
        nxlink::ModbusSetAOValue(SelectedScopeChannel.Address, value,
                                 SelectedScopeChannel.RangeCode);
    } catch (const rt::RuntimeError& e) {
        rt::MsgBox(e.Description(), rt::vbOKOnly, "");
    }
}

void frmScopeChannelInfo::Unload() { hide(); }

}  // namespace scope
