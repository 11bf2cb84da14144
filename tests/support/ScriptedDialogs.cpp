#include "tests/support/ScriptedDialogs.h"

namespace rt {

int ScriptedDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
    Shown s{Shown::Message, prompt, title, style, {}};
    shown.push_back(s);
    if (msgAnswers_.empty()) {
        unexpected.push_back(s);
        return ClosedAnswer(style);
    }
    const int a = msgAnswers_.front();
    msgAnswers_.pop_front();
    return a;
}

std::optional<std::string> ScriptedDialogs::InputBox(const std::string& prompt,
                                                     const std::string& title,
                                                     const std::string& /*defaultText*/) {
    Shown s{Shown::Input, prompt, title, 0, {}};
    shown.push_back(s);
    if (inputAnswers_.empty()) {
        unexpected.push_back(s);
        return std::nullopt;
    }
    auto a = inputAnswers_.front();
    inputAnswers_.pop_front();
    return a;
}

FileDialogResult ScriptedDialogs::FileDialog(const FileDialogRequest& request) {
    Shown s{Shown::File, request.title, request.title, 0, request};
    shown.push_back(s);
    if (fileAnswers_.empty()) {
        unexpected.push_back(s);
        return {};
    }
    auto a = fileAnswers_.front();
    fileAnswers_.pop_front();
    return a;
}

}  // namespace rt
