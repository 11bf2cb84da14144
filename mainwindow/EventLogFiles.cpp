#include "mainwindow/EventLogFiles.h"

#include "config/ConfigFile.h"
#include "mainwindow/frmMain.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"
#include "platform/ui/listview.h"

namespace eventlog {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Row numbers pad to four digits and are never cut ("0001", "12345").
std::string RowNumber(int n) {
    std::string digits = std::to_string(n);
    if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
    return digits;
}

// Cell j (1-based) of a row: the row text for column 1, a sub-item after it.
std::string Cell(const ui::ListItem& row, int column) {
    return column == 1 ? row.Text() : row.SubItem(column - 1);
}

std::string ColumnLine(const ui::ListView& list, const ui::ListItem& row, int column) {
    return rt::Trim(rt::Trim(list.ColumnHeaderText(column)) + " = " + rt::Trim(Cell(row, column)));
}

// A row is summarised only when its second column holds something.
bool HasSecondColumn(const ui::ListView& list, const ui::ListItem& row) {
    return list.ColumnHeaderCount() >= 2 && !row.SubItem(1).empty();
}

}  // namespace

std::string EventLogText(const ui::ListView& log) {
    std::string out;
    const int rows = log.ListItemCount();
    for (int i = 1; i <= rows; ++i)
        out += Quoted(RowNumber(i)) + "," + Quoted(rt::Trim(log.ListItems(i).Text())) + kCrLf;
    return out;
}

std::string SummaryText(const ui::ListView& mcu, const ui::ListView& iom) {
    std::string out;
    auto line = [&out](const std::string& text) { out += Quoted(text) + kCrLf; };
    for (int i = 1; i <= mcu.ListItemCount(); ++i) {
        const ui::ListItem row = mcu.ListItems(i);
        if (!HasSecondColumn(mcu, row)) continue;
        for (int j = 1; j <= mcu.ColumnHeaderCount(); ++j) line(ColumnLine(mcu, row, j));
    }
    for (int i = 1; i <= iom.ListItemCount(); ++i) {
        const ui::ListItem row = iom.ListItems(i);
        if (!HasSecondColumn(iom, row)) continue;
        line("=== " + ColumnLine(iom, row, 1) + " ===");
        for (int j = 2; j <= iom.ColumnHeaderCount(); ++j) line(ColumnLine(iom, row, j));
    }
    return out;
}

bool SaveTextFile(const std::string& fileName, const std::function<std::string()>& text) {
    rt::FileDialogRequest request;
    request.save = true;
    request.fileName = fileName;
    request.filter = "*.txt|*.txt";
    const rt::FileDialogResult chosen = rt::TheDialogs().FileDialog(request);
    if (!chosen.accepted || chosen.fileTitle.empty()) return false;
    try {
        ReplaceFile(chosen.fileName, text());
    } catch (const rt::RuntimeError& e) {
        rt::MsgBox("Save file error: " + e.Description(), rt::vbOKOnly, "");
        return false;
    }
    return true;
}

}  // namespace eventlog

// ---- The main window's buttons ---------------------------------------------------

void frmMain::cmdEventLogClear_Click() { lvwEventLog.ClearItems(); }

void frmMain::cmdEventLogSave_Click() {
    eventlog::SaveTextFile("EventLog.txt", [this] { return eventlog::EventLogText(lvwEventLog); });
}

void frmMain::CmdSaveSummary_Click() {
    eventlog::SaveTextFile("Summary.txt",
                           [this] { return eventlog::SummaryText(lvwMCUSummary, lvwIOMSummary); });
}
