// Logging category of the module pages ("nx.pages"): the errors that end a
// page's Set or Default, which the user sees only as the page's error line.
#pragma once

#include <QLoggingCategory>
#include <exception>

Q_DECLARE_LOGGING_CATEGORY(lcPages)

namespace pages {

// Writes "<what> failed: <error text>" as a warning on "nx.pages".
void LogPageError(const char* what, const std::exception& error);

}  // namespace pages
