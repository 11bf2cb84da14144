// Starts the station stand-in on loopback and brings a main window online
// against it, as a user does: the IP box, Connect, Upload. Each says why on
// standard error and returns false when it could not.
#pragma once

#include <QString>
#include <cstdio>
#include <string>

#include "link/Connection.h"
#include "mainwindow/frmMain.h"
#include "platform/WinsockControl.h"
#include "sim/StationSim.h"

// Starts the stand-in and presses Connect with 127.0.0.1 in the IP box.
inline bool StartStationAndConnect(nxsim::StationSim& sim, const nxsim::SimOptions& options,
                                   frmMain& window) {
    QString error;
    if (!sim.start(options, &error)) {
        std::fprintf(stderr, "station stand-in: %s\n", qPrintable(error));
        return false;
    }
    nxlink::SetLinkPorts(sim.modbusPort(), sim.textPort());
    window.TxtCtlIP.SetText("127.0.0.1");
    window.Toolbar.Buttons("Connect").PerformClick();
    if (window.WskTCP502.State() != rt::sckConnected) {
        std::fprintf(stderr, "Connect did not connect\n");
        return false;
    }
    return true;
}

// The same, then Upload.
inline bool StartStationAndGoOnline(nxsim::StationSim& sim, const nxsim::SimOptions& options,
                                    frmMain& window) {
    if (!StartStationAndConnect(sim, options, window)) return false;
    window.Toolbar.Buttons("Upload").PerformClick();
    if (window.Caption().find("(Online Mode)") == std::string::npos) {
        std::fprintf(stderr, "Connect and Upload did not bring the window online\n");
        return false;
    }
    return true;
}
