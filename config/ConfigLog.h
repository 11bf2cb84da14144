// Logging category of the configuration model and its file
// ("nx.config.file"): values a load refuses, errors it ignores on purpose.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcConfigFile)
