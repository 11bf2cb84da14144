// A report-style list view: column headers, rows with an item text and
// sub-items, found by their item text. Rows and headers count from 1 as
// the platform's collections do; sub-item n is shown in column n + 1.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace ui {

// "Index out of bounds" of the list view's collections.
constexpr int ErrIndexOutOfBounds = 35600;

// A handle on one row; valid while the row is in its list.
class ListView;

class ListItem {
  public:
    // `list`: the list view whose deferred row this may be (see
    // ListView::SetDeferredRows); what needs the row in its list places it.
    explicit ListItem(QTreeWidgetItem* item, const ListView* list = nullptr)
        : item_(item), list_(list) {}
    std::string Text() const;
    void SetText(const std::string& text);
    // Sub-items 1 to the number of columns - 1; any other index raises
    // "Index out of bounds".
    std::string SubItem(int index) const;
    void SetSubItem(int index, const std::string& text);
    int Index() const;  // 1-based position in the list
    bool Selected() const;
    void SetSelected(bool on);
    bool operator==(const ListItem& o) const { return item_ == o.item_; }

  private:
    void CheckSubItem(int index) const;
    void Place() const;
    QTreeWidgetItem* item_;
    const ListView* list_;
};

class ListView : public Control {
  public:
    void Create(QWidget* parent);

    void AddColumnHeader(const std::string& text, int widthTwips, Align alignment = Align::Left);
    int ColumnHeaderCount() const;
    std::string ColumnHeaderText(int index) const;  // 1-based
    Align ColumnHeaderAlignment(int index) const;   // 1-based

    ListItem AddItem(const std::string& text);
    int ListItemCount() const;
    ListItem ListItems(int index) const;  // 1-based
    void ClearItems();
    // The first row whose item text equals text exactly.
    std::optional<ListItem> FindItem(const std::string& text) const;
    std::optional<ListItem> SelectedItem() const;

    std::function<void()> DblClick;

    // Deferred rows, for a log that a command extends once per request:
    // AddItem keeps the new row aside and asks for a repaint;
    // ShowDeferredRows(), run just before the window paints and when the
    // view is shown, adds the rows kept so far in one insertion. Everything
    // that reads or changes the rows places the kept ones first, so the
    // list looks the same through this class.
    void SetDeferredRows(bool deferred);
    void ShowDeferredRows() const;
    ~ListView() override;

  private:
    QTreeWidget* tree() const;
    std::vector<Align> alignments_;
    bool deferredRows_ = false;
    mutable std::vector<QTreeWidgetItem*> deferred_;  // owned until shown
    QPointer<QObject> showWatcher_;
};

}  // namespace ui
