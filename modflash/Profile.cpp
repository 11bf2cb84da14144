#include "modflash/Profile.h"

#include <QSettings>
#include <QStandardPaths>

namespace modflash {

namespace {
QString& Key() {
    static QString key = QStringLiteral("Local AppWizard-Generated Applications");
    return key;
}
}  // namespace

void SetRegistryKey(const QString& key) { Key() = key; }

QString ProfileFilePath() {
    // Read on every call, so a changed configuration folder takes effect.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation);
    return base + QLatin1Char('/') + Key() + QStringLiteral("/modflash.ini");
}

int GetProfileInt(const QString& section, const QString& entry, int defaultValue) {
    QSettings s(ProfileFilePath(), QSettings::IniFormat);
    bool ok = false;
    const int v = s.value(section + QLatin1Char('/') + entry).toInt(&ok);
    return ok ? v : defaultValue;
}

void WriteProfileInt(const QString& section, const QString& entry, int value) {
    QSettings s(ProfileFilePath(), QSettings::IniFormat);
    s.setValue(section + QLatin1Char('/') + entry, value);
    s.sync();
}

}  // namespace modflash
