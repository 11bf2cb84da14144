#include "StandInTool_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QFile>
#include <sstream>

#include "gwflash/IspCommand.h"

namespace gwtest {

StandInTool::StandInTool(const std::string& exitCodes, int sleepMs) {
    EXPECT_TRUE(dir.isValid());
    EXPECT_TRUE(
        QFile::link(QStringLiteral(GWFLASH_TOOL_STANDIN), QString::fromStdString(ToolPath())));
    setenv("GWFLASH_TOOL_LOG", (Folder() + "/tool.log").c_str(), 1);
    setenv("GWFLASH_TOOL_EXIT", exitCodes.c_str(), 1);
    setenv("GWFLASH_TOOL_SLEEP_MS", std::to_string(sleepMs).c_str(), 1);
}

StandInTool::~StandInTool() {
    unsetenv("GWFLASH_TOOL_LOG");
    unsetenv("GWFLASH_TOOL_EXIT");
    unsetenv("GWFLASH_TOOL_SLEEP_MS");
}

std::string StandInTool::Folder() const { return dir.path().toStdString(); }

std::string StandInTool::ToolPath() const { return Folder() + "/" + gwflash::kIspToolFileName; }

std::vector<ToolCall> StandInTool::Calls() const {
    std::vector<ToolCall> calls;
    QFile f(QString::fromStdString(Folder() + "/tool.log"));
    if (!f.open(QIODevice::ReadOnly)) return calls;
    std::istringstream in(f.readAll().toStdString());
    for (std::string line; std::getline(in, line);) {
        ToolCall call;
        std::istringstream times(line.substr(0, line.find('\t')));
        times >> call.startMs >> call.endMs;
        // Fields after the times, each after a tab, with \\, \t, \n undone.
        size_t at = line.find('\t');
        while (at != std::string::npos) {
            std::string arg;
            size_t i = at + 1;
            for (; i < line.size() && line[i] != '\t'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    const char c = line[++i];
                    arg += c == 't' ? '\t' : c == 'n' ? '\n' : c;
                } else {
                    arg += line[i];
                }
            }
            call.args.push_back(arg);
            at = i < line.size() ? i : std::string::npos;
        }
        calls.push_back(call);
    }
    return calls;
}

}  // namespace gwtest
