#include "pages/PagesLog.h"

Q_LOGGING_CATEGORY(lcPages, "nx.pages", QtWarningMsg)

namespace pages {

void LogPageError(const char* what, const std::exception& error) {
    qCWarning(lcPages).noquote() << what << "failed:" << error.what();
}

}  // namespace pages
