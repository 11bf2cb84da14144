// A report-style list view: column headers, rows with an item text and
// sub-items, found by their item text. Rows and headers count from 1, as
// the window code numbers them; sub-item n is shown in column n + 1.
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
    explicit ListItem(QTreeWidgetItem* item) : item_(item) {}
    // Row `row` (0-based) of `list`, which `list` may still keep aside (see
    // ListView::SetDeferredRows); what needs the row places it.
    ListItem(const ListView* list, int row) : list_(list), row_(row) {}
    std::string Text() const;
    void SetText(const std::string& text);
    // Sub-items 1 to the number of columns - 1; any other index raises
    // "Index out of bounds".
    std::string SubItem(int index) const;
    void SetSubItem(int index, const std::string& text);
    int Index() const;  // 1-based position in the list
    bool Selected() const;
    void SetSelected(bool on);
    bool operator==(const ListItem& o) const { return Item() == o.Item(); }

  private:
    QTreeWidgetItem* Item() const;
    void CheckSubItem(int index) const;
    mutable QTreeWidgetItem* item_ = nullptr;
    const ListView* list_ = nullptr;
    int row_ = -1;
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
    // ShowDeferredRows(), run just before the window paints, adds the rows
    // kept so far in one insertion if the view is in sight; a view out of
    // sight takes them when it is shown. Everything that reads or changes
    // the rows places the kept ones first, so the list looks the same
    // through this class.
    void SetDeferredRows(bool deferred);
    void ShowDeferredRows() const;
    ~ListView() override;

  private:
    friend class ListItem;
    QTreeWidget* tree() const;
    QTreeWidgetItem* NewRow(const QString& text) const;
    void PlaceDeferredRows() const;
    std::vector<Align> alignments_;
    bool deferredRows_ = false;
    // The texts of the rows kept aside: their rows are built when placed.
    mutable std::vector<QString> deferred_;
    QPointer<QObject> showWatcher_;
};

}  // namespace ui
