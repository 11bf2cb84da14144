#include "platform/ui/listview.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace ui {

[[noreturn]] static void OutOfBounds() {
    throw rt::RuntimeError(ErrIndexOutOfBounds, "Index out of bounds");
}

// ---- ListItem -----------------------------------------------------------

std::string ListItem::Text() const { return S(item_->text(0)); }
void ListItem::SetText(const std::string& text) { item_->setText(0, Q(text)); }

void ListItem::CheckSubItem(int index) const {
    const QTreeWidget* tree = item_->treeWidget();
    if (!tree || index < 1 || index >= tree->columnCount()) OutOfBounds();
}

std::string ListItem::SubItem(int index) const {
    CheckSubItem(index);
    return S(item_->text(index));
}

void ListItem::SetSubItem(int index, const std::string& text) {
    CheckSubItem(index);
    item_->setText(index, Q(text));
}

int ListItem::Index() const {
    const QTreeWidget* tree = item_->treeWidget();
    return tree ? tree->indexOfTopLevelItem(item_) + 1 : 0;
}

bool ListItem::Selected() const { return item_->isSelected(); }

void ListItem::SetSelected(bool on) {
    if (on && item_->treeWidget()) item_->treeWidget()->setCurrentItem(item_);
    item_->setSelected(on);
}

// ---- ListView -----------------------------------------------------------

void ListView::Create(QWidget* parent) {
    auto* t = new QTreeWidget(parent);
    t->setRootIsDecorated(false);
    t->setUniformRowHeights(true);
    t->setAllColumnsShowFocus(true);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setColumnCount(0);
    t->header()->setStretchLastSection(false);
    t->header()->setSectionsMovable(false);
    Adopt(t);
    Track(QObject::connect(t, &QTreeWidget::itemDoubleClicked, t, [this] {
        if (DblClick) DblClick();
    }));
}

QTreeWidget* ListView::tree() const { return static_cast<QTreeWidget*>(widget()); }

void ListView::AddColumnHeader(const std::string& text, int widthTwips, Align alignment) {
    const int column = tree()->columnCount();
    tree()->setColumnCount(column + 1);
    auto* header = tree()->headerItem();
    header->setText(column, Q(text));
    header->setTextAlignment(column, QtAlign(alignment));
    tree()->setColumnWidth(column, ToPixels(widthTwips));
    alignments_.push_back(alignment);
}

int ListView::ColumnHeaderCount() const { return tree()->columnCount(); }

std::string ListView::ColumnHeaderText(int index) const {
    if (index < 1 || index > tree()->columnCount()) OutOfBounds();
    return S(tree()->headerItem()->text(index - 1));
}

Align ListView::ColumnHeaderAlignment(int index) const {
    if (index < 1 || index > static_cast<int>(alignments_.size())) OutOfBounds();
    return alignments_[index - 1];
}

ListItem ListView::AddItem(const std::string& text) {
    auto* item = new QTreeWidgetItem(tree());
    for (int c = 0; c < static_cast<int>(alignments_.size()); ++c)
        item->setTextAlignment(c, QtAlign(alignments_[c]));
    item->setText(0, Q(text));
    return ListItem(item);
}

int ListView::ListItemCount() const { return tree()->topLevelItemCount(); }

ListItem ListView::ListItems(int index) const {
    if (index < 1 || index > tree()->topLevelItemCount()) OutOfBounds();
    return ListItem(tree()->topLevelItem(index - 1));
}

void ListView::ClearItems() { tree()->clear(); }

std::optional<ListItem> ListView::FindItem(const std::string& text) const {
    const QString wanted = Q(text);
    const int n = tree()->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        QTreeWidgetItem* item = tree()->topLevelItem(i);
        if (item->text(0) == wanted) return ListItem(item);
    }
    return std::nullopt;
}

std::optional<ListItem> ListView::SelectedItem() const {
    const auto selected = tree()->selectedItems();
    if (selected.isEmpty()) return std::nullopt;
    return ListItem(selected.first());
}

}  // namespace ui
