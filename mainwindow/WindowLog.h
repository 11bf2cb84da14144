// Logging category of the main window ("nx.window"): errors its handlers
// ignore on purpose, and the window's own diagnostics.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)
