#include "modflash/ReflashDlg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <initializer_list>

#include "modflash/FlashProtocol.h"
#include "modflash/ModflashLog.h"
#include "modflash/Profile.h"
#include "modflash/ProgressWnd.h"
#include "platform/dialogs.h"
#include "platform/ticks.h"
#include "platform/ui/dialogapp.h"

namespace {

// The program's file version, shown in the caption, is the application's
// from the moment the application exists.
void SetOwnFileVersion() {
    QCoreApplication::setApplicationVersion(QStringLiteral(MODFLASH_FILE_VERSION));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(SetOwnFileVersion)

namespace modflash {

using ui::Dlu;

namespace {

// Closes the firmware file on every way out of the sequence.
struct FileCloser {
    std::FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
};

}  // namespace

CReflashDlg::CReflashDlg(QWidget* parent) : QDialog(parent), keepAlive_(new QTimer(this)) {
    if (ModelNameTable[0].empty()) InitModelNameTable();
    BuildControls();
    connect(keepAlive_, &QTimer::timeout, this, [this] { OnTimer(kKeepAliveTimerId); });
    OnInitDialog();
}

CReflashDlg::~CReflashDlg() = default;

void CReflashDlg::BuildControls() {
    setFixedSize(Dlu(0, 0, 233, 105).size());
    auto* ipLabel = new QLabel(QStringLiteral("IP"), this);
    ipLabel->setObjectName(QString::number(IDC_IP_LABEL));
    ipLabel->setGeometry(Dlu(7, 9, 14, 8));
    ip_ = new QLineEdit(this);
    ip_->setObjectName(QString::number(IDC_IP));
    ip_->setGeometry(Dlu(24, 7, 90, 13));
    const QString octet = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])");
    ip_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^%1(\\.%1){0,3}$").arg(octet)), ip_));
    connect_ = new QPushButton(QStringLiteral("Connect"), this);
    connect_->setObjectName(QString::number(IDC_CONNECT));
    connect_->setGeometry(Dlu(124, 6, 50, 14));
    connect_->setDefault(true);
    disconnect_ = new QPushButton(QStringLiteral("Disconnect"), this);
    disconnect_->setObjectName(QString::number(IDC_DISCONNECT));
    disconnect_->setGeometry(Dlu(176, 6, 50, 14));
    group_ = new QGroupBox(QStringLiteral("Firmware Download"), this);
    group_->setObjectName(QString::number(IDC_FW_GROUP));
    group_->setGeometry(Dlu(7, 26, 219, 54));
    // The group's labels and fields are the dialog's own controls lying on
    // the group, each enabled and disabled by itself.
    slotLabel_ = new QLabel(QStringLiteral("Update Slot"), this);
    slotLabel_->setObjectName(QString::number(IDC_SLOT_LABEL));
    slotLabel_->setGeometry(Dlu(12, 40, 58, 8));
    slotList_ = new QComboBox(this);
    slotList_->setObjectName(QString::number(IDC_SLOT));
    slotList_->setGeometry(Dlu(74, 38, 36, 13));
    for (int i = 0; i <= 7; ++i) slotList_->addItem(QString::number(i));
    moduleName_ = new QLabel(this);
    moduleName_->setObjectName(QString::number(IDC_MODULE_NAME));
    moduleName_->setGeometry(Dlu(116, 40, 104, 8));
    pathLabel_ = new QLabel(QStringLiteral("Firmware Path"), this);
    pathLabel_->setObjectName(QString::number(IDC_PATH_LABEL));
    pathLabel_->setGeometry(Dlu(12, 60, 58, 8));
    path_ = new QLineEdit(this);
    path_->setObjectName(QString::number(IDC_PATH));
    path_->setGeometry(Dlu(74, 58, 102, 13));
    browse_ = new QPushButton(QStringLiteral("Browse"), this);
    browse_->setObjectName(QString::number(IDC_BROWSE));
    browse_->setGeometry(Dlu(180, 57, 42, 14));
    exit_ = new QPushButton(QStringLiteral("Exit"), this);
    exit_->setObjectName(QString::number(IDC_EXIT));
    exit_->setGeometry(Dlu(176, 84, 50, 14));
    for (QWidget* w : std::initializer_list<QWidget*>{slotLabel_, slotList_, moduleName_,
                                                      pathLabel_, path_, browse_})
        w->raise();

    connect(connect_, &QPushButton::clicked, this, [this] { OnConnect(); });
    connect(disconnect_, &QPushButton::clicked, this, [this] { OnDisconnect(); });
    connect(browse_, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(exit_, &QPushButton::clicked, this, [this] { OnExit(); });
    connect(slotList_, &QComboBox::activated, this, [this] { OnSelchangeSlot(); });

    // At start only Connect, Exit, the address and the labels "IP" and module
    // name are enabled.
    SetConnectedState(false);
}

void CReflashDlg::OnInitDialog() {
    slotList_->setCurrentIndex(0);
    ip_->setText(QStringLiteral("192.168.255.1"));
    setWindowTitle(QStringLiteral("NX-4410 modflash v") + ui::ReadOwnFileVersion());
}

QWidget* CReflashDlg::GetDlgItem(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CReflashDlg::SetConnectedState(bool connected) {
    for (QWidget* w : std::initializer_list<QWidget*>{group_, browse_, path_, pathLabel_,
                                                      slotLabel_, slotList_, disconnect_})
        w->setEnabled(connected);
    connect_->setEnabled(!connected);
}

void CReflashDlg::ShowModuleName(uint16_t slot) {
    moduleName_->setText(QString::fromStdString(ModuleNameText(ReadModuleId(socket_, slot))));
}

void CReflashDlg::OnConnect() {
    if (!socket_.Create()) {
        rt::MsgBox("Failed to Create Socket", rt::vbOKOnly, "");
        return;
    }
    if (!socket_.Connect(ip_->text().toStdString(), port_, timing_.connectTimeoutMs)) {
        // The socket is released, so that Connect can be pressed again.
        socket_.Close();
        rt::MsgBox("Failed to Connect", rt::vbOKOnly, "");
        return;
    }
    ShowModuleName(0);
    SetConnectedState(true);
    keepAlive_->start(static_cast<int>(timing_.keepAlivePeriodMs));
}

void CReflashDlg::OnDisconnect() {
    keepAlive_->stop();
    socket_.ShutDown(FlashSocket::ShutDownHow::Both);
    socket_.Close();
    moduleName_->clear();
    SetConnectedState(false);
}

void CReflashDlg::OnSelchangeSlot() {
    ShowModuleName(static_cast<uint16_t>(std::max(0, slotList_->currentIndex())));
}

void CReflashDlg::OnExit() {
    socket_.ShutDown(FlashSocket::ShutDownHow::Sends);
    socket_.Close();
    reject();
}

void CReflashDlg::reject() {
    // Escape and the close box end the dialog as Cancel does, but not while
    // the image is sent: like the disabled Exit button, they do nothing then.
    if (transferring_) return;
    QDialog::reject();
}

void CReflashDlg::OnTimer(int id) {
    // Inside an upgrade the sequence's own requests keep the connection busy;
    // a keep-alive there answered late would hold up the sequence's next
    // request, as the station answers in order.
    if (id != kKeepAliveTimerId || upgrading_) return;
    // Keeps the station's connection busy; the outcome does not matter.
    ReplyBuffer reply{};
    uint8_t n = 0;
    ModbusTransact(socket_, BuildReadInputRegister(kRegKeepAlive), reply, n, kKeepAliveTimeoutMs);
}

void CReflashDlg::ShowWait(const QString& message, uint32_t durationMs) {
    ShowWaitDialog(this, message, durationMs, timing_.waitCapMs, timing_.waitClock);
}

CReflashDlg::CommandResult CReflashDlg::SendCommand(const Frame& request) {
    ReplyBuffer reply{};
    uint8_t n = 0;
    if (!ModbusTransact(socket_, request, reply, n, TransactTimeoutMs))
        return CommandResult::Timeout;
    return PassesExceptionCheck(request, reply.data(), n) ? CommandResult::Ok
                                                          : CommandResult::Exception;
}

void CReflashDlg::OnBrowse() {
    const uint16_t slot = static_cast<uint16_t>(std::max(0, slotList_->currentIndex()));
    rt::FileDialogRequest request;
    request.save = false;
    request.fileName = "*.fw";
    request.defaultExt = "fw";
    request.filter = "Norvane Firmware(*.fw)|*.fw|";
    const rt::FileDialogResult chosen = rt::TheDialogs().FileDialog(request);
    if (!chosen.accepted) {
        rt::MsgBox("Please select file.", rt::vbOKOnly, "Error");
        return;
    }
    path_->setText(QString::fromStdString(chosen.fileName));
    const std::string path = path_->text().toStdString();
    if (path.empty()) {
        rt::MsgBox("The path of the file is not correct.", rt::vbOKOnly, "Error");
        return;
    }
    // Opened without waiting, so that a named pipe or a device cannot hold
    // the window; only a regular file is read (it reads the same either way).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // Built whole, so that a long path is never cut short.
        rt::MsgBox(
            "Can't open file " + path + ", error = " + std::to_string(static_cast<unsigned>(errno)),
            rt::vbOKOnly, "");
        return;
    }
    struct stat st {};
    FileCloser file{::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::fdopen(fd, "rb") : nullptr};
    if (!file.f) {
        ::close(fd);
        rt::MsgBox("Failed to read firmware file.", rt::vbOKOnly, "");
        return;
    }
    upgrading_ = true;
    const std::string outcome = UpgradeFirmware(file.f, slot);
    upgrading_ = false;
    if (!outcome.empty()) rt::MsgBox(outcome, rt::vbOKOnly, "");
}

std::string CReflashDlg::UpgradeFirmware(std::FILE* file, uint16_t slot) {
    // The header, and the image after it: a file without a whole header or
    // without an image is refused.
    uint8_t header[kFirmwareHeaderSize];
    if (std::fseek(file, 0, SEEK_END) != 0) return "Failed to read firmware file.";
    const long fileLength = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0 ||
        std::fread(header, 1, sizeof header, file) != sizeof header ||
        fileLength <= static_cast<long>(kFirmwareHeaderSize) || fileLength > 0xFFFFFFFFL)
        return "Failed to read firmware file.";
    const uint32_t imageSize = static_cast<uint32_t>(fileLength - kFirmwareHeaderSize);

    // ID 0 is an empty slot or a failed read: it matches no file.
    const uint16_t moduleId = ReadModuleId(socket_, slot);
    if (moduleId == 0 || FirmwareModuleId(header) != moduleId)
        return "Firmware file and actual module are not match.";

    if (ReadModuleMode(socket_, slot) != kModeBootloader) {
        switch (SendCommand(BuildCommandWrite(CmdNmt, slot, NmtToPreOp))) {
            case CommandResult::Timeout:
                return "Failed to change to pre-op mode. (Timeout)";
            case CommandResult::Exception:
                return "Failed to change to pre-op mode. (Exception)";
            case CommandResult::Ok:
                break;
        }
        ShowWait(QStringLiteral("Waiting for switching to bootloader."), timing_.waitPreOpMs);
        switch (SendCommand(BuildCommandWrite(CmdFwUpdate, slot, FwEnterBootloader))) {
            case CommandResult::Timeout:
                return "Failed to switch to bootloader mode. (Timeout)";
            case CommandResult::Exception:
                return "Failed to switch to bootloader mode. (Exception)";
            case CommandResult::Ok:
                break;
        }
        ShowWait(QStringLiteral("Waiting for switching to bootloader."), timing_.waitBootloaderMs);
    }
    if (ReadModuleMode(socket_, slot) != kModeBootloader)
        return "Failed to switch to bootloader mode. (Module is not in bootloader mode)";

    switch (SendCommand(BuildInitDownload(slot, imageSize))) {
        case CommandResult::Timeout:
            return "Failed to initial download. (Timeout)";
        case CommandResult::Exception:
            return "Failed to initial download. (Exception)";
        case CommandResult::Ok:
            break;
    }
    rt::Sleep(timing_.initDownloadPauseMs);

    if (!SendImage(file, slot, imageSize)) return std::string();

    switch (SendCommand(BuildCommandWrite(CmdFwUpdate, slot, FwFinish))) {
        case CommandResult::Timeout:
            return "Failed to finish firmware update. (Timeout)";
        case CommandResult::Exception:
            return "Failed to finish firmware update. (Exception)";
        case CommandResult::Ok:
            break;
    }
    ShowWait(QStringLiteral("Waiting for finish firmware update."), timing_.waitFinishMs);
    switch (SendCommand(BuildCommandWrite(CmdFwUpdate, slot, FwResetModule))) {
        case CommandResult::Timeout:
            return "Failed to reset module (Timeout)";
        case CommandResult::Exception:
            return "Failed to reset module. (Exception)";
        case CommandResult::Ok:
            break;
    }
    ShowWait(QStringLiteral("Waiting for reseting module."), timing_.waitResetMs);
    ShowWait(QStringLiteral("Waiting for the module to enter the operation mode."),
             timing_.waitOperationMs);
    if (ReadModuleMode(socket_, slot) == kModeOperation) return "Upgrade firmware success.";
    return "Failed to upgrade firmware. (Module is not in operation mode)";
}

bool CReflashDlg::SendImage(std::FILE* file, uint16_t slot, uint32_t imageSize) {
    CProgressWnd progress;
    progress.SetTitle(QStringLiteral("Progress"));
    progress.CreateProgressWindow(this);
    disconnect_->setEnabled(false);
    browse_->setEnabled(false);
    exit_->setEnabled(false);
    transferring_ = true;
    // Whatever the outcome, the buttons come back and the window goes.
    struct Restore {
        CReflashDlg* dlg;
        CProgressWnd& progress;
        ~Restore() {
            dlg->transferring_ = false;
            dlg->disconnect_->setEnabled(true);
            dlg->browse_->setEnabled(true);
            dlg->exit_->setEnabled(true);
            progress.DestroyWindow();
        }
    } restore{this, progress};
    // A failure is shown while the window is still up and the buttons are
    // still off; the module stays in its bootloader.
    auto fail = [](const char* text) {
        qCDebug(lcModflash, "upgrade failed: %s", text);
        rt::MsgBox(text, rt::vbOKOnly, "");
        return false;
    };
    progress.SetRange(0, static_cast<int>((imageSize + kChunkSize - 1) / kChunkSize));
    progress.SetStep(1);
    progress.SetMessage("Start upgrading firmware...\n\n(Do not remove module or power!)");

    // The image is read block by block, never beyond the size announced to
    // the module, so a file changed meanwhile cannot send more than that.
    uint8_t block[kBlockSize];
    uint32_t sent = 0;
    auto readBlock = [&] {
        return std::fread(block, 1, std::min<size_t>(sizeof block, imageSize - sent), file);
    };
    size_t n = readBlock();
    while (n > 0) {
        Scramble(block, n);
        for (size_t o = 0; o < n; o += kChunkSize) {
            const size_t len = std::min(kChunkSize, n - o);
            if (len >= 2) Scramble(block + o, len);
            const Frame frame = BuildChunkFrame(slot, block + o, len);
            ReplyBuffer reply{};
            uint8_t received = 0;
            if (!ModbusTransact(socket_, frame, reply, received, TransactTimeoutMs))
                return fail("Failed to upgrade firmware. (Timeout)");
            // A chunk the module refused is not skipped: the image would be
            // finished with a gap.
            if (!PassesExceptionCheck(frame, reply.data(), received))
                return fail("Failed to upgrade firmware. (Exception)");

            rt::Sleep(timing_.chunkPauseMs);
            const uint32_t start = rt::GetTickCount();
            uint16_t words[2] = {0, 0};
            if (!ReadUpgradeStatus(socket_, slot, words))
                return fail("Failed to read upgrade status.");
            while (words[0] != kUpgradeStatusAccepted) {
                if (rt::GetTickCount() - start >= timing_.chunkStatusTimeoutMs)
                    return fail("Failed to upgrade firmware. (Reading status timeout)");
                // A failed read keeps the previous status.
                ReadUpgradeStatus(socket_, slot, words);
                rt::Sleep(timing_.statusPollMs);
            }
            progress.StepIt();
            progress.PumpMessages();
        }
        sent += static_cast<uint32_t>(n);
        n = readBlock();
    }
    // A file that could not be read to its end must not be finished as if
    // the module had the whole image.
    if (sent != imageSize || std::ferror(file)) return fail("Failed to read firmware file.");
    // After the last block the window goes first, then the buttons come back.
    progress.DestroyWindow();
    return true;
}

bool CReflashApp::InitInstance() {
    InitModelNameTable();
    SetRegistryKey(QStringLiteral("Local AppWizard-Generated Applications"));
    CReflashDlg dlg;
    dlg.exec();
    return false;
}

}  // namespace modflash
