// The main window: its controls as designed, and its load, resize and
// unload. Menus, toolbar and their commands are in frmMain_commands.cpp.
#include "mainwindow/frmMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QToolBar>

#include "config/ConfigFile.h"
#include "config/RangeCodes.h"
#include "link/Connection.h"
#include "link/TextChannel.h"
#include "mainwindow/AppVersion.h"
#include "mainwindow/WindowLog.h"
#include "platform/diag.h"
#include "platform/dialogs.h"
#include "platform/ui/paintpacer.h"

int16_t MonitorTimerInterval = 0;

namespace {

frmMain* g_instance = nullptr;

// Layout of the window, in twips.
constexpr int kQ300Width = 15600;
constexpr int kQ300Height = 10080;
constexpr int kPageLeft = 6000;
constexpr int kPageTop = 120;
constexpr int kPageWidth = 9480;
constexpr int kPageHeight = 5400;
constexpr int kRackButtonWidth = 420;
constexpr int kRackButtonHeight = 2700;
constexpr int kRackPitch = 450;
constexpr int kPanelTop = 5640;
constexpr int kPanelHeight = 3840;

}  // namespace

frmMain* frmMain::Instance() { return g_instance; }

std::string frmMain::ProgramFolder() { return ui::S(QCoreApplication::applicationDirPath()); }

std::string frmMain::StartCaption() {
    return " NX-4410 Utility  ver " + std::to_string(kAppVersionMajor) + "." +
           std::to_string(kAppVersionMinor) + "." + std::to_string(kAppVersionRevision) + " ";
}

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent), WskTCP502(nxlink::WskTCP502()), WskTCP10K(nxlink::WskTCP10K()) {
    g_instance = this;
    pictureFolder_ = ProgramFolder();
    endProgram_ = [] { QCoreApplication::exit(0); };
    setObjectName("frmMain");
    ui::SetFramedLook(this);

    // Status lines and log rows of a command's requests are painted at
    // screen pace, not once per request; the status line lays out only the
    // text that is about to be painted.
    auto* pacer = new ui::PaintPacer(this);

    BuildMenus();
    BuildToolbar();

    auto* central = new QWidget(this);
    setCentralWidget(central);
    fmeQ300.Create(central, "", false);
    fmeQ300.Move(45, 0, kQ300Width, kQ300Height);
    QWidget* area = fmeQ300.container();
    BuildConnectionBar(area);
    BuildRack(area);
    BuildPages(area);
    BuildTables(area);
    txtStatus.Create(area);
    txtStatus.Move(120, 9600, kQ300Width - 240, 345);
    txtStatus.SetLocked(true);
    txtStatus.SetDeferredDisplay(true);
    connect(pacer, &ui::PaintPacer::aboutToPaint, this, [this] {
        txtStatus.ShowDeferredText();
        lvwEventLog.ShowDeferredRows();
    });

    Timer1.SetEnabled(false);
    Timer1.SetInterval(0);
    Timer2.SetEnabled(false);
    Timer2.SetInterval(500);

    WireControls();
    SetFileCommandsHost(this);
    nxlink::SetLinkWindow(this);
    // The designed size is the size the window keeps, so the load centres
    // the window as it will be shown.
    FitToContent();
    Form_Load();
    Form_Resize();
}

frmMain::~frmMain() {
    if (TheFileCommandsHost() == this) SetFileCommandsHost(nullptr);
    if (&nxlink::TheLinkWindow() == this) nxlink::SetLinkWindow(nullptr);
    if (g_instance == this) g_instance = nullptr;
}

// ---- Controls as designed ---------------------------------------------------

void frmMain::BuildConnectionBar(QWidget* parent) {
    lblCtlIP.Create(parent, "IP");
    lblCtlIP.Move(120, 165, 300, 285);
    TxtCtlIP.Create(parent, "192.168.1.16");
    TxtCtlIP.Move(420, 120, 1680, 345);
    lblNode.Create(parent, "Node");
    lblNode.Move(2220, 165, 540, 285);
    ComboNODE.Create(parent, ui::ComboBox::Style::DropdownList);
    ComboNODE.Move(2760, 120, 660, 345);
    ComboNODE.AddItem("0");
    LblNetID.Create(parent, "Modbus ID");
    LblNetID.Move(3540, 165, 1080, 285);
    TxtNetID.Create(parent, "1");
    TxtNetID.Move(4620, 120, 540, 345);
    CmdSetNetID.Create(parent, "Set");
    CmdSetNetID.Move(5220, 105, 660, 375);
    LblNetID.SetVisible(false);
    TxtNetID.SetVisible(false);
    CmdSetNetID.SetVisible(false);
}

void frmMain::BuildRack(QWidget* parent) {
    fmeController.Create(parent, "");
    fmeController.Move(120, 600, 5760, 4920);
    fmeController_Q300.Create(fmeController.container(), "", false);
    fmeController_Q300.Move(60, 300, 5640, 4080);
    QWidget* plane = fmeController_Q300.container();

    auto place = [&](ui::OptionButton& b, int position) {
        b.Create(plane, &rackButtons, ui::OptionButton::Style::Graphical);
        b.Move(60 + position * kRackPitch, 240, kRackButtonWidth, kRackButtonHeight);
    };
    for (int i = 0; i <= 1; ++i) place(optMCU.Load(i), i);
    for (int i = 0; i <= 2; ++i) place(optPower.Load(i), 2 + i);
    // The rack has two power positions; the third element is kept hidden.
    optPower(2).SetVisible(false);
    for (int s = 0; s <= 8; ++s) place(optSlot.Load(s), 4 + std::min(s, 7));
    optSlot(8).SetVisible(false);
    for (int s = 0; s <= 7; ++s) {
        ui::Label& l = lblIOMName.Load(s);
        l.Create(plane);
        l.Move(60 + (4 + s) * kRackPitch, 3000, kRackButtonWidth, 1000);
        l.SetAlignment(ui::Align::Center);
        static_cast<QLabel*>(l.widget())->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l.SetVisible(false);
    }
    lbCurrentModule.Create(plane);
    // Below the kind labels, which take up to three lines.
    lbCurrentModule.Move(960, 3720, 2400, 300);
    lbCurrentModule.SetVisible(false);
    UseRackLook();
}

void frmMain::BuildPages(QWidget* parent) {
    // The pulse output page lies on the same spot, behind the others.
    fmePOIOMConf.Create(parent, "");
    fmePOIOMConf.Move(kPageLeft, kPageTop, kPageWidth, kPageHeight);
    for (ui::Frame* f : PageFrames()) {
        f->Create(parent, "");
        f->Move(kPageLeft, kPageTop, kPageWidth, kPageHeight);
    }
    frmCAOConf_Value.Create(fmeCAOConf.container(), "", false);
    frmCAOConf_Value.Move(120, 240, kPageWidth - 240, kPageHeight - 360);
    // The pages' controls are built when a page is first needed
    // (ModulePageOf, Controller): together they are hundreds of controls,
    // most of which a session never shows, and building them was most of
    // the window's start-up.
}

void frmMain::BuildOnce(ui::Frame& frame, bool& built, const std::function<void()>& create) {
    if (built) return;
    built = true;
    // Controls made inside a frame on screen would stay hidden; made while
    // the frame is hidden, they appear with it.
    QWidget* w = frame.widget();
    const bool shown = w->isVisible();
    if (shown) w->hide();
    create();
    if (shown) w->show();
}

pages::ControllerPage& frmMain::Controller() {
    BuildOnce(fmeIOMPoolConf, controllerPageBuilt_,
              [this] { controllerPage.Create(fmeIOMPoolConf); });
    return controllerPage;
}

std::vector<ui::Frame*> frmMain::PageFrames() {
    return {&fmeQ410,       &fmeCAIConf,   &fmeCAISConf,    &fmeCAOConf,
            &fmeDigitalOut, &fmePIIOMConf, &fmeIOMPoolConf, &fmeNoModule};
}

void frmMain::BuildTables(QWidget* parent) {
    using ui::Align;
    fmeIOMMapping.Create(parent, "");
    fmeIOMMapping.Move(120, kPanelTop, kQ300Width - 240, kPanelHeight);
    sstExport.Create(fmeIOMMapping.container());
    sstExport.Move(90, 120, kQ300Width - 420, kPanelHeight - 210);

    static const char* const kTabs[] = {"DI Mapping", "DO Mapping", "AI Mapping", "AO Mapping",
                                        "PI Mapping", "PO Mapping", "Summary"};
    static const char* const kHeadings[] = {"Digital Input  (1xxxx)",
                                            "Digital Output  (0xxxx)",
                                            "Analog Intput  (3xxxx)",
                                            "Analog Output  (4xxxx)",
                                            "Analog Intput  (3xxxx)",
                                            "Analog Output  (4xxxx)",
                                            "IOM Summary",
                                            "MCU Summary"};
    for (const char* t : kTabs) sstExport.AddTab(t);

    const int listWidth = kQ300Width - 720;
    ui::ListView* const mapping[] = {&lvwDIMapping, &lvwDOMapping, &lvwAIMapping,
                                     &lvwAOMapping, &lvwPIMapping, &lvwPOMapping};
    for (int t = 0; t < 6; ++t) {
        QWidget* page = sstExport.Page(t);
        ui::Label& heading = lablvw.Load(t);
        heading.Create(page, kHeadings[t]);
        heading.Move(120, 60, 6000, 300);
        ui::ListView& lv = *mapping[t];
        lv.Create(page);
        lv.Move(120, 390, listWidth, 2700);
        lv.AddColumnHeader("Address", 1764, Align::Left);
        lv.AddColumnHeader("Module", 4410, Align::Center);
        lv.AddColumnHeader("Slot", 1411, Align::Center);
        lv.AddColumnHeader("Channel", 1411, Align::Center);
        lv.AddColumnHeader("Value", 2822, Align::Right);
        lv.AddColumnHeader("Comment", 5292, Align::Left);
    }

    QWidget* summary = sstExport.Page(6);
    lablvw.Load(6).Create(summary, kHeadings[6]);
    lablvw(6).Move(120, 30, 3000, 270);
    lvwIOMSummary.Create(summary);
    lvwIOMSummary.Move(120, 300, listWidth, 1560);
    static const std::pair<const char*, int> kIom[] = {{"Slot", 1058},
                                                       {"Module Name", 2646},
                                                       {"FW version", 1764},
                                                       {"NMT status", 2646},
                                                       {"Single/Duplex mode", 3175},
                                                       {"Single/Duplex status", 3175},
                                                       {"Light EMCY", 2540},
                                                       {"Heavy EMCY", 2540},
                                                       {"Under lowlimit", 2540},
                                                       {"Under lowlowlimit", 2822},
                                                       {"Exceed highlimit", 2540},
                                                       {"Exceed highighlimit", 2822},
                                                       {"CH Broken Status", 2822}};
    for (size_t i = 0; i < std::size(kIom); ++i)
        lvwIOMSummary.AddColumnHeader(kIom[i].first, kIom[i].second,
                                      i == 0 ? Align::Left : Align::Center);
    lablvw.Load(7).Create(summary, kHeadings[7]);
    lablvw(7).Move(120, 1890, 3000, 270);
    lvwMCUSummary.Create(summary);
    lvwMCUSummary.Move(120, 2160, listWidth, 930);
    static const std::pair<const char*, int> kMcu[] = {
        {"Module Name", 2646}, {"FW version", 1764},        {"FWLib version", 2117},
        {"MCU status", 2646},  {"AnotherMCU status", 3528}, {"CAN status", 1764},
        {"PWM status", 2117},  {"DipSw val", 1764},         {"LightFault", 2293},
        {"HeavyFault", 2293}};
    for (size_t i = 0; i < std::size(kMcu); ++i)
        lvwMCUSummary.AddColumnHeader(kMcu[i].first, kMcu[i].second,
                                      i == 0 ? Align::Left : Align::Center);
    CmdSaveSummary.Create(summary, "Save Summary");
    CmdSaveSummary.Move(listWidth - 1500, 0, 1620, 330);
    // Only the summary tab shows the button; the strip starts on tab 0.
    CmdSaveSummary.SetVisible(false);

    fmeEventLog.Create(parent, "");
    fmeEventLog.Move(120, kPanelTop, kQ300Width - 240, kPanelHeight);
    lvwEventLog.Create(fmeEventLog.container());
    lvwEventLog.Move(120, 240, kQ300Width - 2160, kPanelHeight - 360);
    lvwEventLog.AddColumnHeader("Event Log", kQ300Width - 2400, Align::Left);
    lvwEventLog.SetDeferredRows(true);
    cmdEventLogSave.Create(fmeEventLog.container(), "SaveLog");
    cmdEventLogSave.Move(kQ300Width - 1920, 240, 1440, 420);
    cmdEventLogClear.Create(fmeEventLog.container(), "ClearLog");
    cmdEventLogClear.Move(kQ300Width - 1920, 780, 1440, 420);
    // The mapping panel is the one in front at start.
    fmeIOMMapping.ZOrder(0);
}

void frmMain::WireControls() {
    for (int i = 0; i <= 1; ++i) optMCU(i).Click = [this, i] { optMCU_Click(i); };
    for (int i = 0; i <= 2; ++i) optPower(i).Click = [this, i] { optPower_Click(i); };
    for (int s = 0; s <= 8; ++s) optSlot(s).Click = [this, s] { optSlot_Click(s); };
    CmdSetNetID.Click = [this] { CmdSetNetID_Click(); };
    TxtCtlIP.KeyPress = [](int& key) { key = nxlink::TxtCtlIP_KeyPress(key); };
    TxtNetID.KeyPress = [](int& key) { key = nxlink::TxtNetID_KeyPress(key); };
    TxtNetID.LostFocus = [this] { TxtNetID.SetText(nxlink::TxtNetID_LostFocus(TxtNetID.Text())); };
    sstExport.Click = [this](int previous) { sstExport_Click(previous); };
    CmdSaveSummary.Click = [this] { CmdSaveSummary_Click(); };
    cmdEventLogSave.Click = [this] { cmdEventLogSave_Click(); };
    cmdEventLogClear.Click = [this] { cmdEventLogClear_Click(); };
    lvwAOMapping.DblClick = [this] { lvwAOMapping_DblClick(); };
    lvwDOMapping.DblClick = [this] { lvwDOMapping_DblClick(); };
    lvwPIMapping.DblClick = [this] { lvwPIMapping_DblClick(); };
    lvwPOMapping.DblClick = [this] { lvwPOMapping_DblClick(); };
    lvwIOMSummary.DblClick = [this] { lvwIOMSummary_DblClick(); };
    Timer1.Tick = [this] { Timer1_Timer(); };
    Timer2.Tick = [this] { Timer2_Timer(); };
}

// ---- Caption and status --------------------------------------------------------

std::string frmMain::Caption() const { return ui::S(windowTitle()); }
void frmMain::SetCaption(const std::string& caption) { setWindowTitle(ui::Q(caption)); }

void frmMain::ReportStatus(const std::string& text) {
    txtStatus.SetText(text);
    lvwEventLog.AddItem(text);  // the text as the status line shows it
}

// ---- Load, resize, unload ----------------------------------------------------

void frmMain::Form_Load() {
    rt::IgnoringErrors(lcWindow(), [&] { ui::CentreOnScreen(this); });
    rt::IgnoringErrors(lcWindow(), [&] { ComboNODE.SetListIndex(0); });
    rt::IgnoringErrors(lcWindow(), [&] { SetCaption(StartCaption()); });
    rt::IgnoringErrors(lcWindow(), [&] {
        for (int i = 0; i <= 1; ++i) {
            optPower(i).SetValue(false);
            optMCU(i).SetValue(false);
        }
    });
    rt::IgnoringErrors(lcWindow(), [&] { InitRangeNames(); });
    rt::IgnoringErrors(lcWindow(), [&] { InitMcuIniPath(ProgramFolder()); });
    rt::IgnoringErrors(lcWindow(), [&] {
        fmeQ300.ZOrder(0);
        fmeController.ZOrder(0);
        fmeController_Q300.ZOrder(0);
        fmeNoModule.ZOrder(0);
    });
    MonitorTimerInterval = 100;
}

void frmMain::Form_Resize() {
    if (resizing_) return;
    resizing_ = true;
    if (!isMinimized()) {
        fmeQ300.SetVisible(true);
        fmeQ300.ZOrder(0);
        fmeController.ZOrder(0);
        // Maximised or full screen is a size of its own too.
        if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
            setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
        FitToContent();
    }
    for (ui::Frame* f : PageFrames()) {
        f->SetTop(kPageTop);
        f->SetLeft(kPageLeft);
    }
    resizing_ = false;
}

// The window always takes the size of its content: the outer frame, the
// toolbar and the menu bar with a small margin.
void frmMain::FitToContent() {
    const int toolbar = ui::ToTwips(Toolbar.widget()->sizeHint().height());
    const int height = fmeQ300.Height() + toolbar + 700;
    const int width = fmeQ300.Width() + 100;
    setFixedSize(ui::ToPixels(width), ui::ToPixels(height));
    resize(ui::ToPixels(width), ui::ToPixels(height));
}

void frmMain::Form_Unload(int16_t& cancel) {
    if (rt::MsgBox("Exit Utility Tool?", rt::vbYesNo, "Message") != rt::vbYes) {
        cancel = 1;
        return;
    }
    WskTCP502.Close();
    WskTCP10K.Close();
    unloaded_ = true;
    EndProgram();
}

void frmMain::EndProgram() {
    if (endProgram_) endProgram_();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (unloaded_) {
        event->accept();
        return;
    }
    int16_t cancel = 0;
    Form_Unload(cancel);
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) Form_Resize();
}
