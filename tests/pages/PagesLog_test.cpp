// The errors that end a page's Set or Default: the page's error line as
// before, and a warning on "nx.pages" that names what failed and why.
#include "pages/PagesLog.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "config/NodeConfig.h"
#include "pages/AnalogOutPage.h"
#include "pages/ControllerPage.h"
#include "pages/PagePattern.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

// A host whose node combo gives `nodes` one after the other, the last
// one from then on.
class Host : public pages::PageHost {
  public:
    explicit Host(std::vector<int16_t> nodes) : nodes_(std::move(nodes)) {}
    int16_t SelectedNode() override {
        const int16_t node = nodes_[std::min(calls_++, nodes_.size() - 1)];
        return node;
    }
    void ReportStatus(const std::string& text) override { status = text; }
    void SetStatusText(const std::string& text) override { status = text; }
    std::string SlotModel(int) override { return "KA-353"; }
    std::string status;

  private:
    std::vector<int16_t> nodes_;
    size_t calls_ = 0;
};

std::vector<std::string> warnings;
void Collect(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && std::string(context.category) == "nx.pages")
        warnings.push_back(message.toStdString());
}

TEST(PagesLog, AnErrorEndingSetOrDefaultIsLoggedAndReportedAsBefore) {
    const pages::PageWords words{"Would you want to modify IOM parameters?", " Set DO IOM ",
                                 " configuration error!", "Q?"};
    const struct {
        std::vector<int16_t> nodes;
        std::function<void(Host&)> run;
        const char *line, *warning;
    } cases[] = {
        {{0},
         [&words](Host& h) {
             pages::RunSet(h, words, [](pages::SlotStore&) { rt::Raise(rt::ErrOverflow); });
         },
         " Set DO IOM 2 configuration error!",
         "Set failed: Overflow"},
        {{0},
         [&words](Host& h) {
             pages::RunDefault(h, words, []() -> bool { rt::Raise(rt::ErrOverflow); });
         },
         " Set IOM default value error!!",
         "Default failed: Overflow"},
        {{1},
         [](Host& h) { pages::ControllerPage(h).Command4_Click(); },
         " Set common IOM configuration error!",
         "Controller page Set failed: Subscript out of range"},
        {{0, 1},
         [](Host& h) { pages::AnalogOutPage(h).cmdCAODefault_Click(); },
         " Set CAOXX IOM default value error!!",
         "AO page Default failed: Subscript out of range"},
    };
    rt::ScriptedDialogs dialogs;
    rt::SetDialogs(&dialogs);
    SelSlot = 2;
    for (const auto& c : cases) {
        Host host(c.nodes);
        dialogs.AnswerMsgBox(rt::vbYes);
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(Collect);
        c.run(host);
        qInstallMessageHandler(previous);
        EXPECT_EQ(host.status.substr(8), c.line);
        EXPECT_EQ(warnings, std::vector<std::string>{c.warning}) << c.line;
    }
    EXPECT_TRUE(dialogs.unexpected.empty());
    rt::SetDialogs(nullptr);
    SelSlot = 0;
}

}  // namespace
