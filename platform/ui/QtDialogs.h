// The window programs' dialogs: real Qt message boxes, input boxes and file
// dialogs behind the one dialog interface. A program installs it at start
// (rt::SetDialogs); tests keep rt::ScriptedDialogs instead.
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace ui {

// "Desc (*.ini)|*.ini|All Files (*.*)|*.*" -> "Desc (*.ini);;All Files (*)".
// Several patterns of one entry ("*.txt;*.log") are kept; "*.*" means any
// file. A missing last pattern leaves that entry out.
std::string QtFileFilter(const std::string& filter);

// The buttons and icon a message box style asks for.
struct MsgBoxLook {
    int buttons = 0;  // QMessageBox::StandardButtons
    int icon = 0;     // QMessageBox::Icon
};
MsgBoxLook LookOfStyle(int style);

class QtDialogs : public rt::Dialogs {
  public:
    // programTitle: the title of a box that has none of its own.
    explicit QtDialogs(std::string programTitle) : programTitle_(std::move(programTitle)) {}
    int MsgBox(const std::string& prompt, int style, const std::string& title) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    rt::FileDialogResult FileDialog(const rt::FileDialogRequest& request) override;
    void Beep() override;

  private:
    std::string TitleOr(const std::string& title) const {
        return title.empty() ? programTitle_ : title;
    }
    std::string programTitle_;
};

}  // namespace ui
