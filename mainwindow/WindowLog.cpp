#include "mainwindow/WindowLog.h"

Q_LOGGING_CATEGORY(lcWindow, "nx.window", QtWarningMsg)
