// The trend window "Scope": the user picks DI, DO, AI and AO channels from
// the main window's mapping tables, gives each a colour and a track, and the
// sampling timer plots the values those tables show on the strip chart.
// Up to 51 channels; grid row i + 1 and chart channel i hold channel slot i.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/controls.h"
#include "scope/FlexGrid.h"
#include "scope/ScopeHost.h"
#include "scope/Strip.h"

namespace ui {
class ListItem;
class ListView;
}  // namespace ui

// The channel last picked in the grid: 0 DI, 1 DO, 2 AI, 3 AO; its Modbus
// address and range code. Outlives the windows.
struct ScopeChannelSelection {
    int16_t Kind = 0;
    int16_t Address = 0;
    int16_t RangeCode = 0;
};
extern ScopeChannelSelection SelectedScopeChannel;

namespace scope {

class frmEditScopeRange;
class frmScopeChannelInfo;
class StripChart;

inline constexpr int kScopeChannels = 51;

struct ScopeChannel {
    std::string Kind;  // "DI", "DO", "AI", "AO"
    int16_t Address = 0;
};

// The mapping item text of an address: "012 [00C]".
std::string ScopeKey(int address);
// The first row of `list` whose item text begins with `key`.
std::optional<ui::ListItem> FindRow(const ui::ListView& list, const std::string& key);

class frmScope : public QWidget {
  public:
    // Builds the window and runs Form_Load. Without `chart` the window
    // plots on its own StripChart.
    explicit frmScope(ScopeHost& host, Strip* chart = nullptr, QWidget* parent = nullptr);
    ~frmScope() override;

    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void cmbIO_Click();
    void cmbAddress_Click();
    void cmdColor_Click();
    void cmdAdd_Click();
    void cmdClear_Click();
    void cmdPause_Click();
    void cmdAxis_Click();
    void gridChannelList_Click();
    void gridChannelList_MouseUp(int button, int shift, int x, int y);
    // The sampling tick and the answer to the chart's track-scale event.
    void Timer1_Timer();
    void Scope_TrackScaleRefresh();

    // The back colour of the colour button (the colour of the next channel).
    int32_t ColorButtonColor() const { return colorButtonColor_; }
    void SetColorButtonColor(int32_t rgb);

    // Handlers that may open a dialog or let events run count themselves
    // here; the main window deletes an unloaded window only when it is 0.
    int Busy() const { return busy_; }
    struct BusyGuard {
        explicit BusyGuard(frmScope& w) : w_(w) { ++w_.busy_; }
        ~BusyGuard() { --w_.busy_; }
        frmScope& w_;
    };

    ScopeHost& Host() { return host_; }
    Strip& Scope;

    ui::Label labIO, labAddress, labLineColor, labTrack;
    ui::ComboBox cmbIO, cmbAddress, cmbTrack;
    ui::CommandButton cmdColor, cmdAdd, cmdClear, cmdPause, cmdAxis;
    FlexGrid gridChannelList;
    QPixmap picChecked, picUnchecked;
    ui::Timer Timer1;

    int16_t ScopeChannelCount = 0;
    std::array<ScopeChannel, kScopeChannels> ScopeChannels{};

    // The two small windows, created on first use.
    frmEditScopeRange& EditScopeRange();
    frmScopeChannelInfo& ScopeChannelInfo();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void WriteHeader();
    // The selection step of a click on a channel's I/O or Address cell.
    void SelectChannel();

    ScopeHost& host_;
    StripChart* ownChart_ = nullptr;
    int32_t colorButtonColor_ = 0;
    int busy_ = 0;
    std::unique_ptr<frmEditScopeRange> range_;
    std::unique_ptr<frmScopeChannelInfo> info_;
};

}  // namespace scope
