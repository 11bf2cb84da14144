#include "platform/ui/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <vector>

#include "platform/ui/controls.h"

namespace ui {

static std::vector<std::string> SplitBar(const std::string& s) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto bar = s.find('|', start);
        parts.push_back(
            s.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return parts;
}

std::string QtFileFilter(const std::string& filter) {
    if (filter.empty()) return "";
    const auto parts = SplitBar(filter);
    std::string out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string desc = rt::Trim(parts[i]);
        // Qt reads the patterns from the last parentheses of the entry, so
        // a description that shows its own patterns loses them here.
        const auto open = desc.rfind('(');
        if (!desc.empty() && desc.back() == ')' && open != std::string::npos)
            desc = rt::Trim(desc.substr(0, open));
        std::string patterns;
        std::string list = parts[i + 1] + ';';
        std::string::size_type pos;
        while ((pos = list.find(';')) != std::string::npos) {
            std::string one = rt::Trim(list.substr(0, pos));
            list.erase(0, pos + 1);
            if (one.empty()) continue;
            if (one == "*.*") one.resize(1);  // "*": any file
            if (!patterns.empty()) patterns += ' ';
            patterns += one;
        }
        if (patterns.empty()) continue;
        if (!out.empty()) out += ";;";
        out += (desc.empty() ? patterns : desc) + " (" + patterns + ")";
    }
    return out;
}

MsgBoxLook LookOfStyle(int style) {
    MsgBoxLook look;
    switch (style & 7) {
        case rt::vbOKCancel:
            look.buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case rt::vbYesNoCancel:
            look.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
        case rt::vbYesNo:
            look.buttons = QMessageBox::Yes | QMessageBox::No;
            break;
        default:
            look.buttons = QMessageBox::Ok;
            break;
    }
    switch (style & 0x70) {
        case rt::vbCritical:
            look.icon = QMessageBox::Critical;
            break;
        case rt::vbQuestion:
            look.icon = QMessageBox::Question;
            break;
        case rt::vbExclamation:
            look.icon = QMessageBox::Warning;
            break;
        case rt::vbInformation:
            look.icon = QMessageBox::Information;
            break;
        default:
            look.icon = QMessageBox::NoIcon;
            break;
    }
    return look;
}

int QtDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
    const MsgBoxLook look = LookOfStyle(style);
    QMessageBox box(static_cast<QMessageBox::Icon>(look.icon), Q(TitleOr(title)),
                    Q(ShownText(prompt)), static_cast<QMessageBox::StandardButtons>(look.buttons),
                    QApplication::activeWindow());
    const int answer = box.exec();
    switch (answer) {
        case QMessageBox::Yes:
            return rt::vbYes;
        case QMessageBox::No:
            return rt::vbNo;
        case QMessageBox::Ok:
            return rt::vbOK;
        default:
            // The close box answers Cancel where there is one, else the
            // box's only or last button.
            if ((style & 7) == rt::vbYesNo) return rt::vbNo;
            if ((style & 7) == rt::vbOKOnly) return rt::vbOK;
            return rt::vbCancel;
    }
}

std::optional<std::string> QtDialogs::InputBox(const std::string& prompt, const std::string& title,
                                               const std::string& defaultText) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(QApplication::activeWindow(), Q(TitleOr(title)), Q(ShownText(prompt)),
                              QLineEdit::Normal, Q(defaultText), &ok);
    if (!ok) return std::nullopt;
    return S(text);
}

rt::FileDialogResult QtDialogs::FileDialog(const rt::FileDialogRequest& request) {
    QString start = Q(request.initialDir);
    if (!request.fileName.empty()) {
        const QFileInfo name(Q(request.fileName));
        start = name.isAbsolute() || start.isEmpty() ? Q(request.fileName)
                                                     : start + "/" + Q(request.fileName);
    }
    QFileDialog dialog(QApplication::activeWindow(), Q(request.title), start,
                       Q(QtFileFilter(request.filter)));
    if (request.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    // A name typed without an extension gets this one (an open dialog then
    // finds "name.fw" for "name").
    if (!request.defaultExt.empty()) dialog.setDefaultSuffix(Q(request.defaultExt));
    const QString chosen =
        dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    rt::FileDialogResult result;
    if (chosen.isEmpty()) return result;
    result.accepted = true;
    result.fileName = S(chosen);
    result.fileTitle = S(QFileInfo(chosen).fileName());
    return result;
}

void QtDialogs::Beep() { QApplication::beep(); }

}  // namespace ui
