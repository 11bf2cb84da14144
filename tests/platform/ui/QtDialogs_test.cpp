#include "platform/ui/QtDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

namespace {

TEST(QtFileFilter, ConvertsBarSeparatedPairs) {
    EXPECT_EQ(ui::QtFileFilter("Config Files (*.ini)|*.ini|All Files (*.*)|*.*"),
              "Config Files (*.ini);;All Files (*)");
    EXPECT_EQ(ui::QtFileFilter("Text|*.txt"), "Text (*.txt)");
    EXPECT_EQ(ui::QtFileFilter("Logs|*.txt;*.log"), "Logs (*.txt *.log)");
    EXPECT_EQ(ui::QtFileFilter(""), "");
    // A description without its pattern is left out.
    EXPECT_EQ(ui::QtFileFilter("Firmware (*.fw)|*.fw|Broken"), "Firmware (*.fw)");
    EXPECT_EQ(ui::QtFileFilter("|*.hex"), "*.hex (*.hex)");
}

TEST(LookOfStyle, ButtonsAndIconFromTheStyle) {
    auto look = ui::LookOfStyle(rt::vbYesNo);
    EXPECT_EQ(look.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(look.icon, QMessageBox::NoIcon);
    look = ui::LookOfStyle(rt::vbOKOnly | rt::vbCritical);
    EXPECT_EQ(look.buttons, QMessageBox::Ok);
    EXPECT_EQ(look.icon, QMessageBox::Critical);
    look = ui::LookOfStyle(rt::vbYesNoCancel | rt::vbQuestion);
    EXPECT_EQ(look.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(look.icon, QMessageBox::Question);
    EXPECT_EQ(ui::LookOfStyle(rt::vbExclamation).icon, QMessageBox::Warning);
    EXPECT_EQ(ui::LookOfStyle(rt::vbOKCancel | rt::vbInformation).icon, QMessageBox::Information);
}

// The open dialog as the user sees it: a name typed without an extension
// finds the file with the request's default extension; without one it finds
// only a file of exactly that name.
TEST(QtDialogsFileDialog, ANameTypedWithoutExtensionGetsTheDefaultOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"module.fw", "plain"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const struct {
        const char* typed;
        const char* defaultExt;
        const char* found;  // "" : refused
    } cases[] = {
        {"module", "fw", "module.fw"},
        {"module.fw", "fw", "module.fw"},
        {"plain", "", "plain"},
        {"module", "", ""},
    };
    for (const auto& c : cases) {
        // Types the name and presses Open; a refusal (a "not found" box, the
        // dialog still open) is answered by closing both.
        bool typed = false;
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            QWidget* top = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(top)) {
                box->reject();
            } else if (auto* dialog = qobject_cast<QFileDialog*>(top)) {
                if (typed) {
                    dialog->reject();
                    return;
                }
                typed = true;
                if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    edit->setText(QString::fromLatin1(c.typed));
                // Queued, so that a box it opens finds this timer free.
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            }
        });
        user.start(10);
        ui::QtDialogs dialogs("test");
        rt::FileDialogRequest request;
        request.initialDir = dir.path().toStdString();
        request.fileName = "*.fw";
        request.filter = "Norvane Firmware(*.fw)|*.fw|";
        request.defaultExt = c.defaultExt;
        const rt::FileDialogResult result = dialogs.FileDialog(request);
        user.stop();
        EXPECT_TRUE(typed) << c.typed;
        EXPECT_EQ(result.accepted, *c.found != '\0') << c.typed;
        if (*c.found) {
            EXPECT_EQ(result.fileName, dir.filePath(QString::fromLatin1(c.found)).toStdString())
                << c.typed;
        }
    }
}

}  // namespace
