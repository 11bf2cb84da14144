// Logging category of modflash ("nx.modflash"): the steps of an upgrade and
// the failures it reports.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcModflash)
