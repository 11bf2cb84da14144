#include "scope/frmScopeChannelInfo.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <string>

#include "link/SingleWrites.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "scope/frmScope.h"

namespace scope {

namespace {

// The value typed for an analog output: the text's leading number as a
// single-precision value. A text that does not begin with a number (blanks
// and a sign aside) is a type mismatch, a number beyond a single an
// overflow: the output is not written.
float TypedValue(std::string text) {
    std::erase_if(text, [](char c) { return c == ' ' || c == '\t'; });
    size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    const auto digitAt = [&text](size_t at, int base) {
        if (at >= text.size()) return false;
        const auto c = static_cast<unsigned char>(text[at]);
        return base == 16 ? std::isxdigit(c) != 0 : c >= '0' && c < '0' + base;
    };
    bool number = digitAt(i, 10) || (i < text.size() && text[i] == '.' && digitAt(i + 1, 10));
    if (i == 0 && text.size() > 1 && text[0] == '&') {
        const char radix = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
        number = (radix == 'H' && digitAt(2, 16)) || (radix == 'O' && digitAt(2, 8));
    }
    if (!number) rt::Raise(rt::ErrTypeMismatch);
    const double v = rt::Val(text);
    if (std::fabs(v) > std::numeric_limits<float>::max()) rt::Raise(rt::ErrOverflow);
    return static_cast<float>(v);
}

}  // namespace

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
        const float value = TypedValue(txtValue.Text());
        nxlink::ModbusSetAOValue(SelectedScopeChannel.Address, value,
                                 SelectedScopeChannel.RangeCode);
    } catch (const rt::RuntimeError& e) {
        rt::MsgBox(e.Description(), rt::vbOKOnly, "");
    }
}

void frmScopeChannelInfo::Unload() { hide(); }

}  // namespace scope
