// A plain list box: lines of text, added at the end, one line selected.
// Lines count from 0.
#pragma once

#include <string>

#include "platform/ui/controls.h"

class QListWidget;

namespace ui {

class ListBox : public Control {
  public:
    void Create(QWidget* parent);
    void AddItem(const std::string& text);
    void Clear();
    int ListCount() const;
    // Line `index` (0-based); any other index raises "Invalid property value".
    std::string List(int index) const;
    // The selected line, -1 for none; selecting a line scrolls it into view.
    int ListIndex() const;
    void SetListIndex(int index);

  private:
    QListWidget* list() const;
};

}  // namespace ui
