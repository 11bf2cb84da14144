// Draws the main window into a PNG file:
//   nx4410_screenshot <out.png>           as it stands after start-up
//   nx4410_screenshot <out.png> --online  after Connect and Upload against
//                                         the station stand-in on 127.0.0.1
//   nx4410_screenshot <out.png> --do      online, with the digital output
//                                         page of slot 1 being edited
//   nx4410_screenshot <out.png> --ai      online, with the analog input
//                                         page of slot 2 being edited
//   nx4410_screenshot <out.png> --sensor  online, with the thermocouple page
//                                         of slot 3 after a range choice
//   nx4410_screenshot <out.png> --sensor-mode
//                                         the same page's mode sub-page
//   nx4410_screenshot <out.png> --controller
//                                         online, with the controller page
//   nx4410_screenshot <out.png> --ao      online, with the analog output
//                                         page of slot 4 on its values
//   nx4410_screenshot <out.png> --pi      online, with the pulse input page
//                                         of slot 5
//   nx4410_screenshot <out.png> --po      online, with the pulse output page
//                                         of slot 6 (named KA-371, as a
//                                         configuration file names it)
//   nx4410_screenshot <out.png> --monitor as --online, then with the monitor
//                                         on until the analog inputs' table
//                                         shows live values
//   nx4410_screenshot <out.png> --hart    online, the HART console after a
//                                         send to slot 2 and its Update
//   nx4410_screenshot <out.png> --advanced
//                                         online, the advanced-options window
// Runs on the offscreen platform; the pictures are read from the program
// folder as NX-4410 reads them, so the program lies beside NX-4410.
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/common/online_window.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "mainwindow/frmMain.h"
#include "platform/EventWait.h"
#include "sim/StationSim.h"

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s <out.png> [--online|--do|--ai|--sensor|--sensor-mode|--controller|"
                     "--ao|--pi|--po|--monitor|--hart|--advanced]\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argc > 2 ? argv[2] : "";
    const bool online = !mode.empty();
    const bool monitor = mode == "--monitor";
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    nxsim::StationSim sim;
    frmMain window;
    window.show();
    if (online) {
        if (!StartStationAndGoOnline(sim, nxsim::SimOptions(), window)) return 1;
        window.Timer2.SetEnabled(false);
    }
    if (mode == "--do") {
        // Slot 1 holds the stand-in's digital output module: fault mode
        // Preset with a few channels set, as a user edits it before Set.
        window.optSlot(1).PerformClick();
        window.doPage.OptDOSafeValueMode(1).PerformClick();
        for (int ch : {0, 1, 4, 9, 16, 31}) window.doPage.chkDOSafeVal(ch).PerformClick();
    } else if (mode == "--ai") {
        // Slot 2 holds a 4 to 20 mA input module: alarms of the first
        // channels typed in, two of them enabled.
        window.optSlot(2).PerformClick();
        window.aiPage.txtCAILowAlarm(0).SetText("6.5");
        window.aiPage.txtCAIHighAlarm(0).SetText("18.0");
        window.aiPage.txtCAILowAlarm(1).SetText("5.0");
        window.aiPage.cboCAIAlarmMode(0).SetListIndex(1);
        window.aiPage.cboCAIAlarmMode(1).SetListIndex(1);
    } else if (mode == "--sensor") {
        // Slot 3 holds a 16-channel thermocouple module: channel 1 changed
        // to J type.
        window.optSlot(3).PerformClick();
        window.sensorPage.cboCAISRangeCode(1).SetListIndex(0);
        window.sensorPage.cboCAISAlarmMode(1).SetListIndex(1);
    } else if (mode == "--sensor-mode") {
        window.optSlot(3).PerformClick();
        window.sensorPage.cmdSensorModeSetting.PerformClick();
    } else if (mode == "--ao") {
        window.optSlot(4).PerformClick();
        window.aoPage.cboCAOPowerOnMode(0).SetListIndex(1);
        window.aoPage.cboCAOFaultMode(1).SetListIndex(1);
        window.aoPage.cmdCAOAllConf.PerformClick();
    } else if (mode == "--pi") {
        window.optSlot(5).PerformClick();
        window.piPage.cboCPIChannelMode(4).SetListIndex(0);
        window.piPage.cboPITrigMode(1).SetListIndex(2);
    } else if (mode == "--po") {
        // The stand-in's KB-590 has no page; the KA-371 of a configuration
        // file has, and takes the same commands.
        ConfigReal[0].Module[6] = ConfigSetting[0].Module[6] = "KA-371";
        window.ShowRackPictures(0);
        window.optSlot(6).PerformClick();
        window.poPage.cboCPOChannelMode(0).SetListIndex(2);
        window.poPage.cboCPOChannelMode(1).SetListIndex(0);
    } else if (mode == "--controller") {
        window.optMCU(0).PerformClick();
        window.controllerPage.CobBreakLineFunc(1).SetListIndex(1);
    } else if (monitor) {
        window.Toolbar.Buttons("Monitor").PerformClick();
        window.sstExport.SetTab(2);
        // Until every table and both summaries show values.
        rt::WaitUntil(
            [&] {
                for (ui::ListView* lv :
                     {&window.lvwDIMapping, &window.lvwDOMapping, &window.lvwAIMapping,
                      &window.lvwAOMapping, &window.lvwPIMapping, &window.lvwPOMapping})
                    if (lv->ListItemCount() == 0 ||
                        lv->ListItems(lv->ListItemCount()).SubItem(4).empty())
                        return false;
                return !window.lvwIOMSummary.ListItems(1).SubItem(3).empty() &&
                       !window.lvwMCUSummary.ListItems(1).SubItem(3).empty();
            },
            10000);
        // Then one more cycle, which shows the replies of the first.
        ui::ListItem first = window.lvwAIMapping.ListItems(1);
        const std::string before = first.SubItem(4);
        rt::WaitUntil([&] { return first.SubItem(4) != before; }, 10000);
    }
    QWidget* shown = &window;
    if (mode == "--hart") {
        window.mnuHart_Click();
        frmHart& hart = *window.HartWindow();
        hart.ChkParityByte.SetValue(1);
        hart.CboSend_Slot.SetListIndex(2);
        hart.CboRec_Slot.SetListIndex(2);
        hart.cmdSend.PerformClick();
        // The stand-in answers a HART request after 50 ms.
        rt::WaitUntil([] { return false; }, 200);
        hart.cmdUpdate.PerformClick();
        shown = &hart;
    } else if (mode == "--advanced") {
        window.mnuAdvancedOptions_Click();
        shown = window.AdvancedOptionsWindow();
    }
    // The status line takes its last text with the window's next paint,
    // which comes within a paint interval.
    rt::WaitUntil([] { return false; }, 50);
    const QPixmap shot = shown->grab();
    if (!shot.save(argv[1], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
