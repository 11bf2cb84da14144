#include "gwflash/ReflashDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "gwflash/IspCommand.h"
#include "platform/dialogs.h"
#include "platform/ui/dialogapp.h"

namespace {

// The program's file version, shown in the caption, is the application's
// from the moment the application exists.
void SetOwnFileVersion() {
    QCoreApplication::setApplicationVersion(QStringLiteral(GWFLASH_FILE_VERSION));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(SetOwnFileVersion)

namespace gwflash {

using ui::Dlu;

std::array<std::string, 32> MacTable;

namespace {

// A step of the worker, posted to the dialog's thread.
class StepEvent : public QEvent {
  public:
    explicit StepEvent(int step) : QEvent(CReflashDlg::kStepEventType), step(step) {}
    const int step;
};

}  // namespace

void InitMacTable() {
    // Position p of the sorted list holds 192.168.0.(144 + p) for p < 16 and
    // 192.168.0.p above; the MAC address's last pair spells that last octet.
    for (int p = 0; p < 32; ++p) {
        char text[24];
        std::snprintf(text, sizeof text, "02-4b-7a-00-00-%02x", p < 16 ? 0x90 + p : p);
        MacTable[static_cast<size_t>(p)] = text;
    }
}

std::string DefaultToolPath() {
    return (QCoreApplication::applicationDirPath() + QLatin1Char('/') +
            QString::fromLatin1(kIspToolFileName))
        .toStdString();
}

CReflashDlg::CReflashDlg(QWidget* parent) : QDialog(parent), toolPath_(DefaultToolPath()) {
    if (MacTable[0].empty()) InitMacTable();
    BuildControls();
    OnInitDialog();
}

CReflashDlg::~CReflashDlg() {
    if (worker_.joinable()) worker_.join();
}

void CReflashDlg::BuildControls() {
    setWindowTitle(QStringLiteral("gwflash"));
    setFixedSize(Dlu(0, 0, 237, 89).size());
    auto* group = new QGroupBox(this);
    group->setGeometry(Dlu(7, 26, 223, 40));
    ipLabel_ = new QLabel(QStringLiteral("IP"), this);
    ipLabel_->setObjectName(QString::number(IDC_IP_LABEL));
    ipLabel_->setGeometry(Dlu(9, 9, 12, 8));
    ipList_ = new QComboBox(this);
    ipList_->setObjectName(QString::number(IDC_IP));
    ipList_->setGeometry(Dlu(24, 7, 80, 13));
    ipList_->setEditable(true);
    ipList_->setInsertPolicy(QComboBox::NoInsert);
    // The dialog's initial data; the list keeps its items sorted as text.
    QStringList addresses;
    for (int i = 16; i <= 31; ++i) addresses << QStringLiteral("192.168.0.%1").arg(i);
    for (int i = 144; i <= 159; ++i) addresses << QStringLiteral("192.168.0.%1").arg(i);
    addresses.sort();
    ipList_->addItems(addresses);
    macLabel_ = new QLabel(this);
    macLabel_->setObjectName(QString::number(IDC_MAC));
    macLabel_->setGeometry(Dlu(112, 9, 100, 8));
    pathLabel_ = new QLabel(QStringLiteral("Firmware Path"), this);
    pathLabel_->setObjectName(QString::number(IDC_PATH_LABEL));
    pathLabel_->setGeometry(Dlu(12, 38, 58, 8));
    path_ = new QLineEdit(this);
    path_->setObjectName(QString::number(IDC_PATH));
    path_->setGeometry(Dlu(74, 36, 102, 13));
    browse_ = new QPushButton(QStringLiteral("Browse"), this);
    browse_->setObjectName(QString::number(IDC_BROWSE));
    browse_->setGeometry(Dlu(180, 35, 44, 14));
    browse_->setDefault(true);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QString::number(IDC_PROGRESS));
    progress_->setGeometry(Dlu(14, 53, 210, 8));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    exit_ = new QPushButton(QStringLiteral("Exit"), this);
    exit_->setObjectName(QString::number(IDC_EXIT));
    exit_->setGeometry(Dlu(180, 71, 50, 14));

    connect(browse_, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(exit_, &QPushButton::clicked, this, [this] { reject(); });
    connect(ipList_, &QComboBox::activated, this, [this](int index) {
        selected_ = index;
        OnSelchangeIp();
    });
    // Typing leaves no list position chosen, so the next run keeps the last
    // run's address pair (none before the first run), and the label shows
    // that pair's MAC. Enter on an item's exact text chooses that item (as a
    // click would).
    connect(ipList_->lineEdit(), &QLineEdit::textEdited, this, [this] {
        selected_ = -1;
        macLabel_->setText(QString::fromStdString(mac_));
    });
}

void CReflashDlg::OnInitDialog() {
    selected_ = 16;
    ipList_->setCurrentIndex(selected_);
    macLabel_->setText(QString::fromStdString(MacTable[16]));
    setWindowTitle(windowTitle() + QStringLiteral("  v") + ui::ReadOwnFileVersion());
}

QWidget* CReflashDlg::GetDlgItem(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CReflashDlg::OnSelchangeIp() {
    if (selected_ < 0 || selected_ >= static_cast<int>(MacTable.size())) return;
    macLabel_->setText(QString::fromStdString(MacTable[static_cast<size_t>(selected_)]));
}

void CReflashDlg::OnBrowse() {
    // One run at a time.
    if (running_) return;
    rt::FileDialogRequest request;
    request.save = false;
    request.fileName = "*.hex";
    request.defaultExt = "hex";
    request.filter = "Hex File(*.hex)|*.hex|";
    const rt::FileDialogResult chosen = rt::TheDialogs().FileDialog(request);
    if (!chosen.accepted) {
        rt::MsgBox("Please select file.", rt::vbOKOnly, "Error");
        return;
    }
    filePath_.clear();
    path_->setText(QString::fromStdString(chosen.fileName));
    filePath_ = path_->text().toStdString();
    if (filePath_.empty()) {
        rt::MsgBox("The path of the file is not correct.", rt::vbOKOnly, "Error");
        return;
    }
    // The address and its MAC address are taken together: without a chosen
    // list position both stay those of the previous run, so a typed address
    // never pairs with another address's MAC.
    if (selected_ >= 0 && selected_ < ipList_->count()) {
        mac_ = macLabel_->text().toStdString();
        ip_ = ipList_->itemText(selected_).toStdString();
    }
    progress_->setRange(1, 100);
    if (worker_.joinable()) worker_.join();
    running_ = true;
    IspJob job{ip_, mac_, filePath_, toolPath_, pauseMs_};
    worker_ = std::thread([this, job] {
        IspUpgradeThread(
            job, [this](int step) { QCoreApplication::postEvent(this, new StepEvent(step)); });
    });
}

void CReflashDlg::customEvent(QEvent* event) {
    if (event->type() == kStepEventType) {
        OnStep(static_cast<StepEvent*>(event)->step);
        return;
    }
    QDialog::customEvent(event);
}

void CReflashDlg::SetIdle(bool idle) {
    for (QWidget* w : std::initializer_list<QWidget*>{ipList_, path_, exit_, browse_})
        w->setEnabled(idle);
}

int CReflashDlg::OnStep(int step) {
    if (step == kStepFailed) {
        rt::MsgBox("Upload error.", rt::vbOKOnly, "Error");
        SetIdle(true);
        // The bar's lowest position (a value below its minimum would be
        // ignored and leave the bar where it was).
        progress_->setValue(progress_->minimum());
        running_ = false;
        return 1;
    }
    SetIdle(step == kStepStarted || step == kStepDone);
    progress_->setValue((step + 1) * 100 / 7);
    if (step == kStepDone) running_ = false;
    return 0;
}

void CReflashDlg::reject() {
    // Esc, the close box and Exit end the dialog, but not during a run: the
    // tool would be left flashing the module on its own.
    if (running_) return;
    QDialog::reject();
}

bool CReflashApp::InitInstance() {
    InitMacTable();
    CReflashDlg dlg;
    dlg.exec();
    return false;
}

}  // namespace gwflash
