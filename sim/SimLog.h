// Logging category of the station stand-in ("nx.sim"): connections taken
// and dropped, faults injected.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSim)
