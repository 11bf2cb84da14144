// The main dialog of modflash: connection to the station, the slot and its
// module, and the firmware upgrade started by Browse.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <string>

#include "modflash/FlashSocket.h"
#include "modflash/ModbusTransact.h"
#include "modflash/ProgressDiag.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QGroupBox;
class QTimer;

namespace modflash {

// The times of the upgrade sequence and the connection. The defaults are the
// program's; tests may shorten them.
struct ModflashTiming {
    uint32_t keepAlivePeriodMs = 10000;
    uint32_t initDownloadPauseMs = 200;
    uint32_t chunkPauseMs = 50;
    uint32_t statusPollMs = 50;
    uint32_t chunkStatusTimeoutMs = 2500;
    uint32_t waitPreOpMs = 100;
    uint32_t waitBootloaderMs = 5000;
    uint32_t waitFinishMs = 4000;
    uint32_t waitResetMs = 7000;
    uint32_t waitOperationMs = 7000;
    uint32_t waitCapMs = kWaitDialogCapMs;
    int connectTimeoutMs = 5000;
    // The clock the wait boxes run on (none: the real ticks).
    WaitClock* waitClock = nullptr;
};

// The station's Modbus TCP port.
constexpr uint16_t kStationPort = 502;

class CReflashDlg : public QDialog {
    Q_OBJECT
  public:
    enum ControlId {
        IDC_BROWSE = 1000,
        IDC_EXIT = 1001,
        IDC_CONNECT = 1002,
        IDC_IP_LABEL = 1003,
        IDC_DISCONNECT = 1004,
        IDC_FW_GROUP = 1006,
        IDC_PATH_LABEL = 1007,
        IDC_PATH = 1008,
        IDC_SLOT_LABEL = 1009,
        IDC_SLOT = 1010,
        IDC_MODULE_NAME = 1011,
        IDC_IP = 1012,
    };
    static constexpr int kKeepAliveTimerId = 4097;

    explicit CReflashDlg(QWidget* parent = nullptr);
    ~CReflashDlg() override;

    QWidget* GetDlgItem(int id) const;

    void OnConnect();
    void OnDisconnect();
    void OnSelchangeSlot();
    void OnExit();
    void OnBrowse();
    void OnTimer(int id);

    // Where Connect dials: the station's port unless a test points it at a
    // stand-in on another local port.
    void SetStationPort(uint16_t port) { port_ = port; }
    ModflashTiming& Timing() { return timing_; }

    void reject() override;

  protected:
    // One timed wait of the sequence (the wait box).
    virtual void ShowWait(const QString& message, uint32_t durationMs);

  private:
    enum class CommandResult { Ok, Timeout, Exception };

    void OnInitDialog();
    void BuildControls();
    void SetConnectedState(bool connected);
    void ShowModuleName(uint16_t slot);
    CommandResult SendCommand(const Frame& request);
    // The sequence after the file was opened; returns the text to report
    // (empty when the transfer already reported its failure).
    std::string UpgradeFirmware(std::FILE* file, uint16_t slot);
    // Sends the image under the progress window; false when it failed, the
    // failure reported before the window goes and the buttons come back.
    bool SendImage(std::FILE* file, uint16_t slot, uint32_t imageSize);

    FlashSocket socket_;
    uint16_t port_ = kStationPort;
    ModflashTiming timing_;
    QTimer* keepAlive_;
    QLineEdit* ip_;
    QPushButton* connect_;
    QPushButton* disconnect_;
    QGroupBox* group_;
    QLabel* slotLabel_;
    QComboBox* slotList_;
    QLabel* moduleName_;
    QLabel* pathLabel_;
    QLineEdit* path_;
    QPushButton* browse_;
    QPushButton* exit_;
    // An upgrade is talking to the module / its image is being sent.
    bool upgrading_ = false;
    bool transferring_ = false;
};

class CReflashApp {
  public:
    // Builds the tables, sets the profile key and runs the main dialog
    // modally; false, as the program ends when the dialog closes.
    bool InitInstance();
};

}  // namespace modflash
