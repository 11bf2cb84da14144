#include "modflash/ModflashLog.h"

Q_LOGGING_CATEGORY(lcModflash, "nx.modflash", QtWarningMsg)
