#include "link/LinkLog.h"

Q_LOGGING_CATEGORY(lcLinkFrames, "nx.link.frames", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLinkState, "nx.link.state", QtWarningMsg)
