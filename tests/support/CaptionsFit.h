// A check that a window shows every text whole: each caption, title,
// button text, tab, column header, combo-box item and list cell is measured
// with its widget's own font and the style's margins and compared with the
// room the widget gives it; a caption whose text runs into a visible
// neighbour is reported too.
#pragma once

#include <QString>
#include <ostream>
#include <vector>

class QWidget;

namespace testsupport {

struct CaptionFault {
    QString what;    // "label", "header", "tab", "combo item", "overlap"...
    QString text;    // the text as set
    QString where;   // the widget's class, position and the frames around it
    int needed = 0;  // pixels the text takes, margins included
    int room = 0;    // pixels the widget gives it
};

// Every text of `root` and its shown descendants that is wider than its
// room, or that runs into a shown sibling. The pages of every tab that can
// be chosen are looked at; widgets hidden otherwise (covered pages) are not.
std::vector<CaptionFault> CaptionsThatDoNotFit(const QWidget* root);

void PrintTo(const CaptionFault& f, std::ostream* os);
std::ostream& operator<<(std::ostream& os, const CaptionFault& f);

}  // namespace testsupport
