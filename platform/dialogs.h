// One interface for every message box, input box and file dialog. The window
// programs install the Qt implementation before their first window; tests
// install scripted dialogs of their own.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace rt {

// Message box styles and answers; a style is a button set and an icon
// joined with | (vbYesNo | vbQuestion).
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
};
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

struct FileDialogRequest {
    bool save = false;  // save dialog (true) or open dialog (false)
    std::string title;
    std::string fileName;  // initial file name
    std::string filter;    // "Config Files (*.ini)|*.ini|All Files (*.*)|*.*"
    std::string initialDir;
    std::string defaultExt;  // added to a typed name without one: "fw"
};

struct FileDialogResult {
    bool accepted = false;  // false: the user cancelled
    std::string fileName;   // full path
    std::string fileTitle;  // name without the folder
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual int MsgBox(const std::string& prompt, int style, const std::string& title) = 0;
    // nullopt when the user cancelled.
    virtual std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) = 0;
    virtual FileDialogResult FileDialog(const FileDialogRequest& request) = 0;
    virtual void Beep() {}
};

// The installed implementation. Until one is installed, every dialog is
// logged as a warning and answered as if the user had closed it (OK for a
// message without choices, No or Cancel otherwise, nothing typed, no file),
// so that no code path can block on a dialog nobody can see.
Dialogs& TheDialogs();
void SetDialogs(Dialogs* dialogs);  // nullptr restores the default

// The answer of a closed dialog: OK, No or Cancel by the buttons of `style`.
int ClosedAnswer(int style);

// A message box through the installed dialogs; logged to "nx.dialogs".
int MsgBox(const std::string& prompt, int style = vbOKOnly, const std::string& title = "");

}  // namespace rt
