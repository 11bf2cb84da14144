#include "config/ConfigLog.h"

Q_LOGGING_CATEGORY(lcConfigFile, "nx.config.file", QtWarningMsg)
