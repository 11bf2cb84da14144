#include "platform/ui/listbox.h"

#include <QListWidget>

namespace ui {

namespace {
constexpr int kInvalidPropertyValue = 380;
}

void ListBox::Create(QWidget* parent) {
    auto* l = new QListWidget(parent);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setUniformItemSizes(true);
    Adopt(l);
}

QListWidget* ListBox::list() const { return static_cast<QListWidget*>(widget()); }

void ListBox::AddItem(const std::string& text) { list()->addItem(Q(text)); }
void ListBox::Clear() { list()->clear(); }
int ListBox::ListCount() const { return list()->count(); }

std::string ListBox::List(int index) const {
    if (index < 0 || index >= list()->count())
        throw rt::RuntimeError(kInvalidPropertyValue, "Invalid property value");
    return S(list()->item(index)->text());
}

int ListBox::ListIndex() const { return list()->currentRow(); }

void ListBox::SetListIndex(int index) {
    if (index < -1 || index >= list()->count())
        throw rt::RuntimeError(kInvalidPropertyValue, "Invalid property value");
    list()->setCurrentRow(index);
    if (index >= 0) list()->scrollToItem(list()->item(index));
}

}  // namespace ui
