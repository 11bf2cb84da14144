// The main dialog of gwflash: the module's address with its MAC address, the
// hex file, and the upgrade run through the outside programming tool.
#pragma once

#include <QDialog>
#include <QEvent>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <thread>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace gwflash {

// The MAC address of each position of the (sorted) address list.
extern std::array<std::string, 32> MacTable;
void InitMacTable();

// The tool's default place: beside gwflash itself.
std::string DefaultToolPath();

class CReflashDlg : public QDialog {
    Q_OBJECT
  public:
    enum ControlId {
        IDC_BROWSE = 1000,
        IDC_EXIT = 1001,
        IDC_IP_LABEL = 1003,
        IDC_PATH_LABEL = 1007,
        IDC_PATH = 1008,
        IDC_MAC = 1011,
        IDC_IP = 1012,
        IDC_PROGRESS = 1017,
    };

    // The event that carries a worker's step to the dialog.
    static constexpr QEvent::Type kStepEventType = static_cast<QEvent::Type>(QEvent::User + 1);

    explicit CReflashDlg(QWidget* parent = nullptr);
    ~CReflashDlg() override;

    QWidget* GetDlgItem(int id) const;

    void OnSelchangeIp();
    void OnBrowse();
    // Handles a step posted by the worker; 1 for a failed run, else 0.
    virtual int OnStep(int step);

    // A run is going: from Browse's start of the worker until its last step
    // (6 or 256) was handled.
    bool Running() const { return running_; }
    // Where the tool is started from, and the pause after each command; the
    // defaults are the program's, tests point them elsewhere.
    void SetToolPath(const std::string& path) { toolPath_ = path; }
    void SetPauseMs(uint32_t ms) { pauseMs_ = ms; }

    void reject() override;

  protected:
    void customEvent(QEvent* event) override;

  private:
    void OnInitDialog();
    void BuildControls();
    void SetIdle(bool idle);

    QLabel* ipLabel_;
    QComboBox* ipList_;
    QLabel* macLabel_;
    QLabel* pathLabel_;
    QLineEdit* path_;
    QPushButton* browse_;
    QProgressBar* progress_;
    QPushButton* exit_;
    // The list position chosen last; -1 while typed text that is no list
    // item stands in the box.
    int selected_ = -1;
    // The address pair and file of the current (or last) run.
    std::string ip_;
    std::string mac_;
    std::string filePath_;
    std::string toolPath_;
    uint32_t pauseMs_ = 200;
    bool running_ = false;
    std::thread worker_;
};

class CReflashApp {
  public:
    // Builds the MAC table and runs the main dialog modally; false, as the
    // program ends when the dialog closes.
    bool InitInstance();
};

}  // namespace gwflash
