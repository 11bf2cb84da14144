// Dialogs for tests: each dialog takes the next scripted answer and every
// dialog is recorded. A dialog with no answer left is recorded as unexpected
// and answered as a closed dialog (OK, No or Cancel, nothing typed, no
// file), so a test never blocks on a dialog.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace rt {

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
    // How many dialogs were recorded so far; ForgetSince(mark) forgets every
    // dialog recorded after it (a try that a test makes again).
    struct Mark {
        size_t shown = 0, unexpected = 0;
    };
    Mark Here() const { return {shown.size(), unexpected.size()}; }
    void ForgetSince(Mark m) {
        shown.erase(shown.begin() + static_cast<long>(m.shown), shown.end());
        unexpected.erase(unexpected.begin() + static_cast<long>(m.unexpected), unexpected.end());
    }
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
