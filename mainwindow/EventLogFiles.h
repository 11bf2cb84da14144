// The event log and summary text files: what the main window's event log
// and its controller and module summaries give as text lines (8-bit text,
// CR LF line ends, every field in double quotes), and the save that asks for
// a file name and writes them.
#pragma once

#include <functional>
#include <string>

namespace ui {
class ListView;
}

namespace eventlog {

// One line per row, in list order: the row number from 1 with at least four
// digits and the row text without its outer blanks, each quoted, joined by a
// comma ("0001","Connecting ..."). A quote inside a text stays as it is.
std::string EventLogText(const ui::ListView& log);

// For each controller row with a second column: one line per column,
// "<header> = <cell>". Then for each module row with a second column: a
// heading "=== <header 1> = <row text> ===" and one line per further column.
// Every line is quoted; rows whose second column is empty are left out.
std::string SummaryText(const ui::ListView& mcu, const ui::ListView& iom);

// Shows the save dialog preset to `fileName` with the filter "*.txt|*.txt";
// unless the user cancels, replaces the chosen file with what `text` gives
// (built after the dialog closed, so rows added meanwhile are saved). The
// old file survives a failed save whole; the failure is shown as
// "Save file error: " and its description. Returns whether a file was
// written.
bool SaveTextFile(const std::string& fileName, const std::function<std::string()>& text);

}  // namespace eventlog
