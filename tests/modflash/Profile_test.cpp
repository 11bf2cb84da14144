#include "modflash/Profile.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace modflash;

TEST(Profile, LivesUnderTheConfigurationFolderAndKeepsIntegers) {
    // The test program points the configuration folder at a temporary one.
    const QString path = ProfileFilePath();
    EXPECT_TRUE(path.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + QLatin1Char('/')));
    EXPECT_TRUE(
        path.endsWith(QStringLiteral("/Local AppWizard-Generated Applications/modflash.ini")));
    QFile::remove(path);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Settings"), QStringLiteral("X"), -1), -1);
    WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("X"), 123);
    WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("Y"), -7);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Settings"), QStringLiteral("X"), -1), 123);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Settings"), QStringLiteral("Y"), 0), -7);
    EXPECT_EQ(GetProfileInt(QStringLiteral("Other"), QStringLiteral("X"), 5), 5);
    // The file is an INI file with a [Settings] section.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("[Settings]"));
    EXPECT_TRUE(text.contains("X=123"));
    f.close();
    QFile::remove(path);
}
