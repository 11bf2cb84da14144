#include "tests/support/LogCapture.h"

#include <QLoggingCategory>
#include <QString>

namespace {

std::vector<std::string>& Captured() {
    static std::vector<std::string> lines;
    return lines;
}

void Collect(QtMsgType, const QMessageLogContext&, const QString& text) {
    Captured().push_back(text.toStdString());
}

}  // namespace

LogCapture::LogCapture(const char* rules) {
    Captured().clear();
    previous_ = qInstallMessageHandler(Collect);
    QLoggingCategory::setFilterRules(QString::fromUtf8(rules));
}

LogCapture::~LogCapture() {
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous_);
}

const std::vector<std::string>& LogCapture::Lines() const { return Captured(); }
