#include "platform/ui/listview.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeWidget>

namespace ui {

[[noreturn]] static void OutOfBounds() {
    throw rt::RuntimeError(ErrIndexOutOfBounds, "Index out of bounds");
}

// ---- ListItem -----------------------------------------------------------

QTreeWidgetItem* ListItem::Item() const {
    if (item_ == nullptr && list_ != nullptr) {
        list_->PlaceDeferredRows();
        item_ = list_->tree()->topLevelItem(row_);
        if (item_ == nullptr) OutOfBounds();  // the list was cleared since
    }
    return item_;
}

std::string ListItem::Text() const { return S(Item()->text(0)); }
void ListItem::SetText(const std::string& text) { Item()->setText(0, Q(text)); }

void ListItem::CheckSubItem(int index) const {
    const QTreeWidget* tree = Item()->treeWidget();
    if (!tree || index < 1 || index >= tree->columnCount()) OutOfBounds();
}

std::string ListItem::SubItem(int index) const {
    CheckSubItem(index);
    return S(Item()->text(index));
}

void ListItem::SetSubItem(int index, const std::string& text) {
    CheckSubItem(index);
    Item()->setText(index, Q(text));
}

int ListItem::Index() const {
    const QTreeWidget* tree = Item()->treeWidget();
    return tree ? tree->indexOfTopLevelItem(Item()) + 1 : 0;
}

bool ListItem::Selected() const { return Item()->isSelected(); }

void ListItem::SetSelected(bool on) {
    if (on && Item()->treeWidget()) Item()->treeWidget()->setCurrentItem(Item());
    Item()->setSelected(on);
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

QTreeWidgetItem* ListView::NewRow(const QString& text) const {
    // Filled before it joins the tree: the view then hears of one new row,
    // not of a change per column. Left, the view's own alignment, is not
    // stored in every row.
    auto* item = new QTreeWidgetItem();
    for (int c = 0; c < static_cast<int>(alignments_.size()); ++c)
        if (alignments_[c] != Align::Left) item->setTextAlignment(c, QtAlign(alignments_[c]));
    item->setText(0, text);
    return item;
}

ListItem ListView::AddItem(const std::string& text) {
    if (deferredRows_) {
        const int row = tree()->topLevelItemCount() + static_cast<int>(deferred_.size());
        if (deferred_.empty()) tree()->viewport()->update();
        deferred_.push_back(Q(text));
        return ListItem(this, row);
    }
    PlaceDeferredRows();
    QTreeWidgetItem* item = NewRow(Q(text));
    tree()->addTopLevelItem(item);
    return ListItem(item);
}

namespace {

// Places a list view's deferred rows before the view is shown.
class ShowWatcher : public QObject {
  public:
    ShowWatcher(const ListView* list, QObject* parent) : QObject(parent), list_(list) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) list_->ShowDeferredRows();
        return false;
    }

  private:
    const ListView* list_;
};

}  // namespace

ListView::~ListView() { delete showWatcher_.data(); }

void ListView::SetDeferredRows(bool deferred) {
    deferredRows_ = deferred;
    if (!deferred) {
        PlaceDeferredRows();
    } else if (showWatcher_.isNull()) {
        showWatcher_ = new ShowWatcher(this, tree());
        tree()->installEventFilter(showWatcher_.data());
    }
}

void ListView::ShowDeferredRows() const {
    if (widget() != nullptr && widget()->isVisible()) PlaceDeferredRows();
}

void ListView::PlaceDeferredRows() const {
    if (deferred_.empty() || widget() == nullptr) return;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(deferred_.size()));
    for (const QString& text : deferred_) rows.append(NewRow(text));
    deferred_.clear();
    tree()->addTopLevelItems(rows);
}

int ListView::ListItemCount() const {
    PlaceDeferredRows();
    return tree()->topLevelItemCount();
}

ListItem ListView::ListItems(int index) const {
    PlaceDeferredRows();
    if (index < 1 || index > tree()->topLevelItemCount()) OutOfBounds();
    return ListItem(tree()->topLevelItem(index - 1));
}

void ListView::ClearItems() {
    deferred_.clear();
    tree()->clear();
}

std::optional<ListItem> ListView::FindItem(const std::string& text) const {
    PlaceDeferredRows();
    const QString wanted = Q(text);
    const int n = tree()->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        QTreeWidgetItem* item = tree()->topLevelItem(i);
        if (item->text(0) == wanted) return ListItem(item);
    }
    return std::nullopt;
}

std::optional<ListItem> ListView::SelectedItem() const {
    PlaceDeferredRows();
    const auto selected = tree()->selectedItems();
    if (selected.isEmpty()) return std::nullopt;
    return ListItem(selected.first());
}

}  // namespace ui
