#include "hart/frmHart.h"

#include <QFontDatabase>
#include <QPointer>
#include <algorithm>

#include "config/NodeConfig.h"
#include "hart/HartFrame.h"
#include "link/Connection.h"
#include "link/ModbusFrame.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "platform/dialogs.h"

namespace {

constexpr const char* kNotConnected = "Not currently connected";
constexpr const char* kBadFrame =
    "HART data must be 1 to 238 hexadecimal bytes (00 to FF) separated by blanks, the parity "
    "byte included.";
// The send keeps this key, which the next monitor request replaces.
constexpr const char* kKeyHartRequest = KeyMonitorImage;
// The send log is emptied when it passes this many lines.
constexpr int kSendLogLimit = 2000;
constexpr int kSlots = 8;

bool Connected() { return nxlink::WskTCP502().State() == rt::sckConnected; }

void ShowFailure(const rt::RuntimeError& e) { rt::MsgBox(e.Description(), rt::vbOKOnly, ""); }

}  // namespace

frmHart::frmHart(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("HART command");
    setFixedSize(ui::ToPixels(9000), ui::ToPixels(6000));

    fmeSend.Create(this, "Send Data");
    fmeSend.Move(120, 120, 8760, 3300);
    QWidget* send = fmeSend.container();
    txtString.Create(send, "FF FF FF FF FF 02 80 00 00 82");
    txtString.Move(240, 360, 8280, 345);
    ChkParityByte.Create(send, "With Parity Check");
    ChkParityByte.Move(240, 840, 2400, 300);
    lblSendSlot.Create(send, "Slot");
    lblSendSlot.Move(2760, 870, 540, 300);
    CboSend_Slot.Create(send);
    CboSend_Slot.Move(3300, 840, 900, 315);
    lblSendChannel.Create(send, "Channel");
    lblSendChannel.Move(4380, 870, 840, 300);
    CboSend_Channel.Create(send);
    CboSend_Channel.Move(5220, 840, 900, 315);
    cmdSend.Create(send, "Send");
    cmdSend.Move(240, 1320, 1200, 375);
    cmdClear.Create(send, "Clear");
    cmdClear.Move(1560, 1320, 1200, 375);
    LstSend.Create(send);
    LstSend.Move(240, 1800, 8280, 1380);
    // The log's lines line up byte under byte.
    LstSend.widget()->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    fmeReceive.Create(this, "Receive Data");
    fmeReceive.Move(120, 3540, 8760, 2340);
    QWidget* receive = fmeReceive.container();
    lblRecSlot.Create(receive, "Slot");
    lblRecSlot.Move(240, 390, 540, 300);
    CboRec_Slot.Create(receive);
    CboRec_Slot.Move(780, 360, 900, 315);
    cmdUpdate.Create(receive, "Update");
    cmdUpdate.Move(1860, 330, 1200, 375);
    LstReceive.Create(receive);
    LstReceive.Move(240, 840, 8280, 1380);

    for (ui::ComboBox* c : {&CboSend_Slot, &CboSend_Channel, &CboRec_Slot})
        for (int i = 0; i < kSlots; ++i) c->AddItem(std::to_string(i));
    cmdSend.Click = [this] { cmdSend_Click(); };
    cmdClear.Click = [this] { cmdClear_Click(); };
    cmdUpdate.Click = [this] { cmdUpdate_Click(); };

    Form_Load();
}

void frmHart::Form_Load() {
    CboSend_Slot.SetListIndex(0);
    CboSend_Channel.SetListIndex(0);
    CboRec_Slot.SetListIndex(0);
}

void frmHart::cmdClear_Click() { LstSend.Clear(); }

// ---- Send ----------------------------------------------------------------------

void frmHart::cmdSend_Click() {
    QPointer<frmHart> self(this);
    cmdSend.SetEnabled(false);
    Send();
    if (self) cmdSend.SetEnabled(true);
}

void frmHart::Send() {
    if (!Connected()) {
        rt::MsgBox(kNotConnected, rt::vbOKOnly, "");
        return;
    }
    // An empty text is refused like a malformed one: a frame without HART
    // bytes is no request.
    std::optional<std::vector<uint8_t>> bytes = hart::ParseHartBytes(txtString.Text());
    if (bytes && ChkParityByte.Value() == 1) bytes->push_back(hart::HartCheckByte(*bytes));
    if (!bytes || bytes->size() > hart::kMaxHartBytes) {
        rt::MsgBox(kBadFrame, rt::vbOKOnly, "");
        return;
    }
    ModbusFrame frame;
    try {
        frame = hart::BuildMailboxHartRequest(UnitIdFromNetId(ConfigReal[0].NetID),
                                              std::max(0, CboSend_Slot.ListIndex()),
                                              std::max(0, CboSend_Channel.ListIndex()), *bytes);
    } catch (const rt::RuntimeError& e) {
        ShowFailure(e);
        return;
    }

    std::vector<std::string> lines = hart::SendLogLines(frame, bytes->size());
    for (size_t i = 0; i + 1 < lines.size(); ++i) LstSend.AddItem(lines[i]);
    if (LstSend.ListCount() > kSendLogLimit) cmdClear_Click();
    LstSend.AddItem(lines.back());
    LstSend.SetListIndex(LstSend.ListCount() - 1);

    // No reply is awaited: the echo of the mailbox write is not examined.
    try {
        SendKeyedRequest(nxlink::WskTCP502(), kKeyHartRequest, frame);
    } catch (const rt::RuntimeError& e) {
        ShowFailure(e);
        return;
    }
    rt::DoEvents();
}

// ---- Update --------------------------------------------------------------------

void frmHart::cmdUpdate_Click() {
    QPointer<frmHart> self(this);
    cmdUpdate.SetEnabled(false);
    nxlink::LinkWindow& main = nxlink::TheLinkWindow();
    const bool monitorWasOn = main.Timer1Enabled();
    if (monitorWasOn) main.SetTimer1Enabled(false);
    Update();
    // A Disconnect or a switch-off during the wait leaves the monitor off.
    if (monitorWasOn && Connected() && main.TimerEnableChecked()) main.SetTimer1Enabled(true);
    if (self) cmdUpdate.SetEnabled(true);
}

void frmHart::Update() {
    if (!Connected()) {
        rt::MsgBox(kNotConnected, rt::vbOKOnly, "");
        return;
    }
    QPointer<frmHart> self(this);
    const int slot = std::clamp(CboRec_Slot.ListIndex(), 0, kSlots - 1);
    ReplyOutcome outcome = ReplyOutcome::Failed;
    try {
        const ModbusFrame request =
            BuildReadRequest(UnitIdFromNetId(ConfigReal[0].NetID), RegSlotReplyArea.Function,
                             SlotBlockStart(RegSlotReplyArea, slot), RegSlotReplyArea.Quantity);
        outcome = SendRequestAndWait(nxlink::WskTCP502(), KeyHartReply(slot), request,
                                     CommandReplyTimeoutMs);
    } catch (const rt::RuntimeError& e) {
        ShowFailure(e);
        return;
    }
    // No reply in time (or a refused one): the previous lines stay.
    if (!self || outcome != ReplyOutcome::Done) return;
    const std::vector<std::string> lines = hart::ReplyLines(ConfigReal[0].Hart(slot));
    LstReceive.Clear();
    for (const std::string& line : lines) LstReceive.AddItem(line);
    if (lines.size() > 2) LstReceive.SetListIndex(LstReceive.ListCount() - 1);
}
