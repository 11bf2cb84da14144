#include "scope/frmEditScopeRange.h"

#include <cmath>

#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "scope/frmScope.h"

namespace scope {

namespace {

// The longest interval the sampling timer takes, in ms.
constexpr double kMaxInterval = 65535;

std::string NumberText(double v) { return ui::S(QString::number(v, 'g', 15)); }

}  // namespace

frmEditScopeRange::frmEditScopeRange(frmScope& scope) : QWidget(&scope, Qt::Window), scope_(scope) {
    setWindowTitle("Change Scope Range");
    const std::pair<ui::Label*, const char*> labels[] = {{&lblYMax, "Y-Max"},
                                                         {&lblYMin, "Y-Min"},
                                                         {&lblTimerInterval, "Timer Interval(ms)"},
                                                         {&lblXspan, "X-Range(minute)"},
                                                         {&lblXAxis, "Buffer Size"}};
    ui::TextBox* fields[] = {&txtYMax, &txtYMin, &txtTimerInterval, &txtXspan, &txtXAxis};
    for (int i = 0; i < 5; ++i) {
        labels[i].first->Create(this, labels[i].second);
        labels[i].first->Move(120, 120 + i * 420, 1800, 300);
        fields[i]->Create(this);
        fields[i]->Move(2000, 120 + i * 420, 1500, 300);
    }
    cmdGo.Create(this, "Set");
    cmdGo.Move(480, 2320, 1200, 375);
    cmdExit.Create(this, "Exit");
    cmdExit.Move(2000, 2320, 1200, 375);
    cmdGo.Click = [this] { cmdGo_Click(); };
    cmdExit.Click = [this] { cmdExit_Click(); };
    resize(ui::ToPixels(3700), ui::ToPixels(2900));
}

void frmEditScopeRange::Form_Load() {
    Strip& chart = scope_.Scope;
    txtXAxis.SetText(std::to_string(static_cast<long long>(std::nearbyint(chart.BufferSize()))));
    // The fields belong to the analog track, whatever track was chosen last.
    chart.SetTrack(0);
    txtYMax.SetText(NumberText(chart.TrackYMax()));
    txtYMin.SetText(NumberText(chart.TrackYMin()));
    txtTimerInterval.SetText(std::to_string(scope_.Timer1.Interval()));
    txtXspan.SetText(NumberText(chart.TimeSpan() * 24 * 60));
    loaded_ = true;
}

void frmEditScopeRange::cmdGo_Click() {
    // A number too large to read ends Set with its message; what came
    // before it stays set.
    try {
        ApplyFields();
    } catch (const rt::RuntimeError& e) {
        rt::MsgBox(e.Description(), rt::vbOKOnly, "");
    }
}

void frmEditScopeRange::ApplyFields() {
    Strip& chart = scope_.Scope;
    chart.SetBufferSize(rt::Val(txtXAxis.Text()));
    if (!txtYMax.Text().empty()) {
        const double v = rt::Val(txtYMax.Text());
        chart.SetTrack(0);
        chart.SetTrackYMax(v);
        chart.SetTrackRangeMax(v);
    }
    if (!txtYMin.Text().empty()) {
        const double v = rt::Val(txtYMin.Text());
        chart.SetTrack(0);
        chart.SetTrackYMin(v);
        chart.SetTrackRangeMin(v);
    }
    if (!txtTimerInterval.Text().empty()) {
        const double v = rt::Val(txtTimerInterval.Text());
        // Below 500 ms, or more than the timer can hold: ignored, and the
        // time span below is still applied.
        const double n = std::nearbyint(v);
        if (v >= 500 && n <= kMaxInterval) {
            const int ms = static_cast<int>(n);
            scope_.Timer1.SetInterval(ms);
            scope_.Host().SetMonitorTimerInterval(ms / 5);
        }
    }
    if (!txtXspan.Text().empty()) chart.SetTimeSpan(rt::Val(txtXspan.Text()) / 60 / 24);
}

void frmEditScopeRange::cmdExit_Click() { Unload(); }

void frmEditScopeRange::ShowWindow() {
    if (!loaded_) Form_Load();
    show();
    raise();
}

void frmEditScopeRange::Unload() {
    hide();
    loaded_ = false;
}

}  // namespace scope
