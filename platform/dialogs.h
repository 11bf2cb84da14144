// One interface for every message box, input box and file dialog. The window
// programs install the Qt implementation; tests install ScriptedDialogs,
// which answers from a script and records every dialog it was asked for.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace rt {

// Message box styles and answers, with the platform's values.
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
    bool save = false;         // save dialog (true) or open dialog (false)
    std::string title;
    std::string fileName;      // initial file name
    std::string filter;        // "Config Files (*.ini)|*.ini|All Files (*.*)|*.*"
    std::string initialDir;
    std::string defaultExt;    // added to a typed name without one: "fw"
};

struct FileDialogResult {
    bool accepted = false;     // false: the user cancelled
    std::string fileName;      // full path
    std::string fileTitle;     // name without the folder
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

// The installed implementation (a ScriptedDialogs that refuses every dialog
// until a program or test installs its own).
Dialogs& TheDialogs();
void SetDialogs(Dialogs* dialogs);  // nullptr restores the default

inline int MsgBox(const std::string& prompt, int style = vbOKOnly, const std::string& title = "") {
    return TheDialogs().MsgBox(prompt, style, title);
}

// Dialogs for tests: each dialog takes the next scripted answer; a dialog
// with no answer left is recorded as unexpected and answered with Cancel /
// No / a cancelled file dialog, so nothing ever blocks.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        enum Kind { Message, Input, File } kind;
        std::string prompt;  // message text, input prompt, or dialog title
        std::string title;
        int style = 0;
        FileDialogRequest file;
    };

    void AnswerMsgBox(int answer) { msgAnswers_.push_back(answer); }
    void AnswerInput(std::optional<std::string> text) { inputAnswers_.push_back(std::move(text)); }
    void AnswerFile(FileDialogResult result) { fileAnswers_.push_back(std::move(result)); }

    int MsgBox(const std::string& prompt, int style, const std::string& title) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    FileDialogResult FileDialog(const FileDialogRequest& request) override;
    void Beep() override { ++beeps; }

    std::vector<Shown> shown;       // every dialog, in order
    std::vector<Shown> unexpected;  // dialogs that found no scripted answer
    int beeps = 0;
    // True when every scripted answer was used.
    bool AllAnswersUsed() const {
        return msgAnswers_.empty() && inputAnswers_.empty() && fileAnswers_.empty();
    }

private:
    std::deque<int> msgAnswers_;
    std::deque<std::optional<std::string>> inputAnswers_;
    std::deque<FileDialogResult> fileAnswers_;
};

}  // namespace rt
