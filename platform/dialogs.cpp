#include "platform/dialogs.h"

#include "platform/diag.h"

namespace rt {

namespace {

// Stands in until a program installs its dialogs: warns and answers as if
// the dialog had been closed.
class NoDialogs : public Dialogs {
  public:
    int MsgBox(const std::string& prompt, int style, const std::string& title) override {
        qCWarning(lcDialogs, "message box without a dialog service: %s: %s", title.c_str(),
                  prompt.c_str());
        return ClosedAnswer(style);
    }
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& /*defaultText*/) override {
        qCWarning(lcDialogs, "input box without a dialog service: %s: %s", title.c_str(),
                  prompt.c_str());
        return std::nullopt;
    }
    FileDialogResult FileDialog(const FileDialogRequest& request) override {
        qCWarning(lcDialogs, "file dialog without a dialog service: %s", request.title.c_str());
        return {};
    }
};

Dialogs* g_dialogs = nullptr;

}  // namespace

Dialogs& TheDialogs() {
    static NoDialogs none;
    return g_dialogs ? *g_dialogs : none;
}
void SetDialogs(Dialogs* dialogs) { g_dialogs = dialogs; }

int ClosedAnswer(int style) {
    const int buttons = style & 7;
    return buttons == vbYesNo || buttons == vbYesNoCancel ? vbNo
           : buttons == vbOKOnly                          ? vbOK
                                                          : vbCancel;
}

int MsgBox(const std::string& prompt, int style, const std::string& title) {
    const int answer = TheDialogs().MsgBox(prompt, style, title);
    qCDebug(lcDialogs, "message box \"%s\" (%s, style %d): answer %d", prompt.c_str(),
            title.c_str(), style, answer);
    return answer;
}

}  // namespace rt
