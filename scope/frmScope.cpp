#include "scope/frmScope.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <chrono>
#include <cmath>
#include <random>

#include "platform/EventWait.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "platform/ui/listview.h"
#include "scope/CommonDialog.h"
#include "scope/StripChart.h"
#include "scope/frmEditScopeRange.h"
#include "scope/frmScopeChannelInfo.h"

ScopeChannelSelection SelectedScopeChannel;

namespace scope {

namespace {

struct KindRow {
    const char* text;  // cmbIO
    const char* code;  // grid and channel table
    bool digital;
};
constexpr KindRow kKindRows[] = {
    {"Digital Input", "DI", true},
    {"Digital Output", "DO", true},
    {"Analog Input", "AI", false},
    {"Analog Output", "AO", false},
};

constexpr int kValueColumn = 4;
constexpr int kRangeColumn = 5;
constexpr const char* kHeader[] = {"I/O", "Address", "Color", "Track", "Visible"};
constexpr int kColumns = 5;

// Kind number (0 to 3) of a kind text or code; -1 for any other text.
int KindOfText(const std::string& text) {
    for (int k = 0; k < 4; ++k)
        if (text == kKindRows[k].text) return k;
    return -1;
}
int KindOfCode(const std::string& code) {
    for (int k = 0; k < 4; ++k)
        if (code == kKindRows[k].code) return k;
    return -1;
}

// The whole number of a text's first three characters (the address in a
// mapping item text).
int16_t AddressOf(const std::string& text) { return rt::CInt(rt::Val(text.substr(0, 3))); }

QPixmap BoxPicture(bool checked) {
    QPixmap pm(13, 13);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(0, 0, 12, 12);
    if (checked) {
        p.setPen(QPen(Qt::black, 2));
        p.drawLine(3, 6, 5, 9);
        p.drawLine(5, 9, 10, 3);
    }
    return pm;
}

}  // namespace

std::string ScopeKey(int address) {
    const std::string dec = "000" + std::to_string(address);
    const std::string hex = "000" + rt::Hex(address);
    return dec.substr(dec.size() - 3) + " [" + hex.substr(hex.size() - 3) + "]";
}

std::optional<ui::ListItem> FindRow(const ui::ListView& list, const std::string& key) {
    const int n = list.ListItemCount();
    for (int i = 1; i <= n; ++i) {
        ui::ListItem item = list.ListItems(i);
        if (item.Text().rfind(key, 0) == 0) return item;
    }
    return std::nullopt;
}

// ---- Load, layout, unload -------------------------------------------------------------

frmScope::frmScope(ScopeHost& host, Strip* chart, QWidget* parent)
    : QWidget(parent, Qt::Window), Scope(chart ? *chart : *new StripChart(this)), host_(host) {
    if (!chart) ownChart_ = static_cast<StripChart*>(&Scope);
    setWindowTitle("Scope");
    labIO.Create(this, "Select I/O");
    labAddress.Create(this, "Address");
    labLineColor.Create(this, "Line Color");
    labTrack.Create(this, "Track");
    for (ui::Label* l : {&labIO, &labAddress, &labLineColor, &labTrack}) l->Move(0, 0, 1200, 255);
    cmbIO.Create(this);
    cmbAddress.Create(this);
    cmbTrack.Create(this);
    cmdColor.Create(this, "");
    for (ui::Control* c :
         std::initializer_list<ui::Control*>{&cmbIO, &cmbAddress, &cmbTrack, &cmdColor})
        c->Move(0, 0, 1200, 315);
    cmdAdd.Create(this, "Add");
    cmdClear.Create(this, "Clear");
    cmdPause.Create(this, "Pause");
    cmdAxis.Create(this, "Axis");
    gridChannelList.Create(this);
    gridChannelList.SetCols(kColumns);
    gridChannelList.SetRows(kScopeChannels + 1);
    picChecked = BoxPicture(true);
    picUnchecked = BoxPicture(false);

    cmbIO.Click = [this] { cmbIO_Click(); };
    cmbAddress.Click = [this] { cmbAddress_Click(); };
    cmdColor.Click = [this] { cmdColor_Click(); };
    cmdAdd.Click = [this] { cmdAdd_Click(); };
    cmdClear.Click = [this] { cmdClear_Click(); };
    cmdPause.Click = [this] { cmdPause_Click(); };
    cmdAxis.Click = [this] { cmdAxis_Click(); };
    gridChannelList.Click = [this] { gridChannelList_Click(); };
    gridChannelList.MouseUp = [this](int b, int s, int x, int y) {
        gridChannelList_MouseUp(b, s, x, y);
    };
    Timer1.SetInterval(1000);
    Timer1.SetEnabled(false);
    Timer1.Tick = [this] { Timer1_Timer(); };
    Scope.TrackScale = [this] { Scope_TrackScaleRefresh(); };

    resize(ui::ToPixels(15000), ui::ToPixels(9000));
    Form_Load();
}

frmScope::~frmScope() {
    Timer1.SetEnabled(false);
    Scope.TrackScale = nullptr;
}

void frmScope::Form_Load() {
    for (int k = 0; k < 4; ++k)
        if (host_.MappingList(k).ListItemCount() > 0) cmbIO.AddItem(kKindRows[k].text);
    if (cmbIO.ListCount() > 0) cmbIO.SetListIndex(0);
    WriteHeader();
    ScopeChannelCount = 0;
}

void frmScope::WriteHeader() {
    for (int c = 0; c < kColumns; ++c) {
        gridChannelList.SetTextMatrix(0, c, kHeader[c]);
        gridChannelList.SetRow(0);
        gridChannelList.SetCol(c);
        gridChannelList.SetCellAlignmentCentre();
    }
}

namespace {

// The widest of `texts` in `w`'s font, in pixels.
int WidestText(const QWidget* w, const std::vector<QString>& texts) {
    int widest = 0;
    for (const QString& t : texts) widest = std::max(widest, w->fontMetrics().horizontalAdvance(t));
    return widest;
}

// The width in twips at which a list shows each of its items whole, or
// `width` when that is more. The text stands a pixel in from either side of
// the list's text field.
int ListWidthForItems(const ui::ComboBox& list, int width) {
    const auto* c = static_cast<const QComboBox*>(list.widget());
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    opt.editable = c->isEditable();
    opt.frame = c->hasFrame();
    const QRect field =
        c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
    std::vector<QString> items;
    items.reserve(static_cast<size_t>(c->count()));
    for (int i = 0; i < c->count(); ++i) items.push_back(c->itemText(i));
    return std::max(width, ui::ToTwips(WidestText(c, items) + 2 + c->width() - field.width()));
}

// The smallest column unit (twips) at which every grid column shows its
// header, the I/O column a kind and the address column an address of
// `addresses` whole; a cell loses its margins and a grid line.
double GridUnitForTexts(const QWidget* grid, const double (&shares)[kColumns],
                        const ui::ComboBox& addresses) {
    const int margin =
        2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1) + 1;
    double u = 0;
    for (int c = 0; c < kColumns; ++c) {
        std::vector<QString> texts{QString::fromLatin1(kHeader[c])};
        if (c == 0)
            for (const KindRow& k : kKindRows) texts.push_back(QString::fromLatin1(k.code));
        if (c == 1)
            for (int i = 0; i < addresses.ListCount(); ++i)
                texts.push_back(ui::Q(addresses.List(i)));
        u = std::max(u, std::ceil(ui::ToTwips(WidestText(grid, texts) + margin) / shares[c]));
    }
    return u;
}

}  // namespace

void frmScope::Form_Resize() {
    const int formWidth = ui::ToTwips(frameGeometry().width());
    const int formHeight = ui::ToTwips(frameGeometry().height());
    const int W = static_cast<int>(std::nearbyint(formWidth / 100.0));
    const int H = static_cast<int>(std::nearbyint(formHeight / 100.0));
    const int G = 2 * W;
    // A size below zero (a tiny window) is not applied; the rest goes on.
    const auto place = [](ui::Control& c, int left, int top, int width, int height) {
        if (width >= 0 && height >= 0) c.Move(left, top, width, height);
    };
    int left = G;
    const std::pair<ui::Label*, int> labels[] = {
        {&labIO, 10 * W}, {&labAddress, 8 * W}, {&labLineColor, 10 * W}, {&labTrack, 10 * W}};
    ui::Control* fields[] = {&cmbIO, &cmbAddress, &cmdColor, &cmbTrack};
    for (int i = 0; i < 4; ++i) {
        ui::Label& l = *labels[i].first;
        place(l, left, H, labels[i].second, l.Height());
        // The two lists are as wide as their items need where that is more.
        int width = l.Width();
        if (i < 2) width = ListWidthForItems(i == 0 ? cmbIO : cmbAddress, width);
        place(*fields[i], l.Left(), l.Top() + l.Height() + H, width, cmbIO.Height());
        left = l.Left() + l.Width() + G;
    }
    left = cmbTrack.Left() + cmbTrack.Width() + G;
    for (ui::CommandButton* b : {&cmdAdd, &cmdClear, &cmdPause, &cmdAxis}) {
        place(*b, left, cmbIO.Top() - H, 10 * W, cmbIO.Height() + H);
        left = b->Left() + b->Width() + G;
    }
    const int gridTop = cmbIO.Top() + cmbIO.Height() + H;
    // The grid widens when its columns would cut a header, a kind or an
    // address; the chart beside it narrows by as much.
    const double shares[] = {0.7, 1.2, 0.8, 0.8, 1.0};
    const double u = std::max(std::nearbyint((20 * W - 200) / 5.0),
                              GridUnitForTexts(gridChannelList.widget(), shares, cmbAddress));
    const int gridWidth = std::max(20 * W, static_cast<int>(5 * u) + 200);
    const int gridHeight = formHeight - labIO.Height() - cmbIO.Height() - 10 * H;
    place(gridChannelList, cmbIO.Left(), gridTop, gridWidth, gridHeight);
    for (int c = 0; c < kColumns; ++c)
        gridChannelList.SetColWidth(c, static_cast<int>(std::nearbyint(shares[c] * u)));
    const int chartWidth = formWidth - gridWidth - 4 * G;
    if (ownChart_ && chartWidth >= 0 && gridHeight >= 0)
        ownChart_->setGeometry(ui::ToPixels(cmbIO.Left() + gridWidth + G), ui::ToPixels(gridTop),
                               ui::ToPixels(chartWidth), ui::ToPixels(gridHeight));
}

void frmScope::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmScope::Form_Unload() {
    if (info_) info_->Unload();
    if (range_) range_->Unload();
}

void frmScope::closeEvent(QCloseEvent* event) {
    BusyGuard busy(*this);
    event->accept();
    host_.UnloadScope();
}

frmEditScopeRange& frmScope::EditScopeRange() {
    if (!range_) range_ = std::make_unique<frmEditScopeRange>(*this);
    return *range_;
}

frmScopeChannelInfo& frmScope::ScopeChannelInfo() {
    if (!info_) info_ = std::make_unique<frmScopeChannelInfo>(*this);
    return *info_;
}

// ---- Choosing a channel -------------------------------------------------------------------

void frmScope::cmbIO_Click() {
    cmbAddress.Clear();
    cmbTrack.Clear();
    const int kind = KindOfText(cmbIO.Text());
    if (kind < 0) return;
    const ui::ListView& list = host_.MappingList(kind);
    const int n = list.ListItemCount();
    if (n == 0) return;
    for (int i = 1; i <= n; ++i) cmbAddress.AddItem(list.ListItems(i).Text());
    if (kKindRows[kind].digital) {
        for (const char* t : {"2", "3", "4"}) cmbTrack.AddItem(t);
        cmbTrack.SetListIndex(0);
    } else {
        cmbTrack.AddItem("1");
        cmbTrack.SetText("1");
    }
    cmbAddress.SetListIndex(0);
}

void frmScope::cmbAddress_Click() {
    std::mt19937 generator(
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const double r = std::uniform_real_distribution<double>(0.0, 1.0)(generator);
    SetColorButtonColor(static_cast<int32_t>(std::nearbyint(r * 16777215)));
}

void frmScope::SetColorButtonColor(int32_t rgb) {
    colorButtonColor_ = rgb;
    cmdColor.widget()->setStyleSheet(
        QStringLiteral("background-color: %1").arg(StripChart::ColorFromRgb(rgb).name()));
}

void frmScope::cmdColor_Click() {
    BusyGuard busy(*this);
    if (const std::optional<int32_t> c = ChooseColor(colorButtonColor_)) SetColorButtonColor(*c);
}

// ---- Add, clear, pause, axis ------------------------------------------------------------------

void frmScope::cmdAdd_Click() {
    BusyGuard busy(*this);
    if (ScopeChannelCount >= kScopeChannels) {
        rt::MsgBox("full", rt::vbOKOnly, "");
        return;
    }
    if (cmbAddress.Text().empty() || cmbTrack.Text().empty()) return;
    if (!host_.MonitorChecked()) host_.SwitchMonitorOn();
    if (!Timer1.Enabled()) Timer1.SetEnabled(true);

    const int n = ScopeChannelCount;
    const int row = n + 1;
    FlexGrid& g = gridChannelList;
    const int kind = KindOfText(cmbIO.Text());
    const std::string code = kind >= 0 ? kKindRows[kind].code : "";
    g.SetTextMatrix(row, 0, code);
    ScopeChannels[n].Kind = code;
    g.SetRow(row);
    g.SetCol(0);
    g.SetCellAlignmentCentre();
    if (kind < 0) return;
    g.SetTextMatrix(row, 1, cmbAddress.Text());
    ScopeChannels[n].Address = AddressOf(cmbAddress.Text());
    g.SetCol(1);
    g.SetCellAlignmentCentre();
    g.SetCol(2);
    g.SetCellBackColor(colorButtonColor_);

    const double track = rt::Val(cmbTrack.Text());
    Scope.SetChannel(static_cast<int16_t>(n));
    Scope.SetChannelTrack(track - 1);
    if (track > 1) {
        Scope.SetChannelDigital(1);
        Scope.SetChannelStyle(2);
    } else {
        Scope.SetChannelDigital(0);
    }
    Scope.SetChannelColor(colorButtonColor_);
    Scope.SetChannelVisible(true);

    g.SetTextMatrix(row, 3, cmbTrack.Text());
    g.SetCol(3);
    g.SetCellAlignmentCentre();
    g.SetCol(4);
    g.SetCellPicture(picChecked);
    g.SetCellAlignmentCentre();
    ScopeChannelCount = static_cast<int16_t>(n + 1);

    if (cmbAddress.ListIndex() + 1 < cmbAddress.ListCount()) {
        cmbAddress.SetListIndex(cmbAddress.ListIndex() + 1);
        const int next = cmbTrack.ListIndex() + 1;
        cmbTrack.SetListIndex(next < cmbTrack.ListCount() ? next : 0);
    } else if (cmbIO.ListIndex() + 1 < cmbIO.ListCount()) {
        cmbIO.SetListIndex(cmbIO.ListIndex() + 1);
    }
}

void frmScope::cmdClear_Click() {
    Timer1.SetEnabled(false);
    gridChannelList.Clear();
    WriteHeader();
    for (int ch = 0; ch < kScopeChannels; ++ch) {
        Scope.SetChannel(static_cast<int16_t>(ch));
        Scope.SetChannelColor(255);
    }
    Scope.Clear();
    ScopeChannelCount = 0;
}

void frmScope::cmdPause_Click() {
    if (Scope.Paused()) {
        Scope.SetPaused(false);
        cmdPause.SetCaption("Pause");
    } else {
        Scope.SetPaused(true);
        cmdPause.SetCaption("Continue");
    }
}

void frmScope::cmdAxis_Click() { EditScopeRange().ShowWindow(); }

// ---- Grid ---------------------------------------------------------------------------------------

void frmScope::gridChannelList_Click() {
    BusyGuard busy(*this);
    FlexGrid& g = gridChannelList;
    const int r = g.Row();
    const int c = g.Col();
    // The header row and the rows below the last channel are no channel.
    if (r < 1 || r > ScopeChannelCount || c < 0 || c > 4) return;
    switch (c) {
        case 2: {
            const std::optional<int32_t> color = ChooseColor(g.CellBackColor());
            if (!color) return;
            Scope.SetChannel(static_cast<int16_t>(r - 1));
            Scope.SetChannelColor(*color);
            g.SetCellBackColor(*color);
            return;
        }
        case 4: {
            const bool wasChecked = g.CellPicture() == picChecked.cacheKey();
            g.SetCellPicture(wasChecked ? picUnchecked : picChecked);
            Scope.SetChannel(static_cast<int16_t>(r - 1));
            Scope.SetChannelVisible(!wasChecked);
            return;
        }
        case 0:
        case 1:
            SelectChannel();
            return;
        default:
            return;
    }
}

void frmScope::SelectChannel() {
    FlexGrid& g = gridChannelList;
    if (g.Text().empty()) return;
    g.SetCol(1);
    SelectedScopeChannel.Address = AddressOf(g.Text());
    g.SetCol(0);
    const int kind = KindOfCode(g.Text());
    frmScopeChannelInfo& info = ScopeChannelInfo();
    if (kind >= 0) {
        SelectedScopeChannel.Kind = static_cast<int16_t>(kind);
        const bool digital = kKindRows[kind].digital;
        const bool output = kind == 1 || kind == 3;
        for (int i = 0; i <= 2; ++i) {
            info.cmdSetDO(i).SetVisible(digital);
            info.cmdSetDO(i).SetEnabled(digital && output);
        }
        info.cmdSetValue.SetVisible(!digital);
        info.cmdSetValue.SetEnabled(!digital && output);
        info.labIO.SetCaption(std::string(kKindRows[kind].code) +
                              " Address:" + std::to_string(SelectedScopeChannel.Address));
        // Without its row (the tables were rebuilt) the selection ends here.
        const std::optional<ui::ListItem> row =
            FindRow(host_.MappingList(kind), ScopeKey(SelectedScopeChannel.Address));
        if (!row) return;
        info.txtValue.SetText(row->SubItem(kValueColumn));
        const std::string range = row->SubItem(kRangeColumn).substr(0, 3);
        SelectedScopeChannel.RangeCode =
            rt::CInt(rt::Val("&H" + (range.size() > 1 ? range.substr(1) : std::string())));
    }
    info.show();
    info.raise();
}

void frmScope::gridChannelList_MouseUp(int, int, int x, int y) {
    ScopeChannelInfo().move(ui::ToPixels(x + 1300), ui::ToPixels(y + 800));
}

// ---- Sampling
// -------------------------------------------------------------------------------------

void frmScope::Timer1_Timer() {
    BusyGuard busy(*this);
    for (int i = 0; i < ScopeChannelCount; ++i) {
        const ScopeChannel& ch = ScopeChannels[i];
        const int kind = KindOfCode(ch.Kind);
        if (kind < 0) continue;
        // A channel whose row has gone (the tables were rebuilt for another
        // station) gets no point; the others still do.
        const std::optional<ui::ListItem> row =
            FindRow(host_.MappingList(kind), ScopeKey(ch.Address));
        if (!row) continue;
        const std::string text = row->SubItem(kValueColumn);
        const double value = kKindRows[kind].digital ? (text == "ON" ? 1.0 : 0.0)
                                                     : static_cast<float>(rt::Val(text));
        Scope.AddSample(static_cast<int16_t>(i), NowAsDate(), value);
        Scope.SetCurrentTime(NowAsDate());
    }
    if (info_ && info_->isVisible() && SelectedScopeChannel.Kind >= 0 &&
        SelectedScopeChannel.Kind <= 2) {
        const std::optional<ui::ListItem> row = FindRow(
            host_.MappingList(SelectedScopeChannel.Kind), ScopeKey(SelectedScopeChannel.Address));
        if (row) info_->txtValue.SetText(row->SubItem(kValueColumn));
    }
    rt::DoEvents();
}

void frmScope::Scope_TrackScaleRefresh() {
    for (int16_t t = 1; t <= 4; ++t) {
        Scope.SetTrack(t);
        Scope.SetFirstTrackSetting(t);
        Scope.SetSecondTrackSetting(Scope.TrackReading() - 0.1);
    }
}

}  // namespace scope
