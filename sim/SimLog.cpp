#include "sim/SimLog.h"

Q_LOGGING_CATEGORY(lcSim, "nx.sim", QtWarningMsg)
