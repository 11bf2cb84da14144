// Logging categories of the controller link: "nx.link.frames" (every
// request sent and every reply taken, in hexadecimal, and the text
// commands) and "nx.link.state" (connect, disconnect, watchdog, errors the
// link ignores on purpose).
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLinkFrames)
Q_DECLARE_LOGGING_CATEGORY(lcLinkState)
