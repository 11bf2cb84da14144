#include "pages/RangeComboAdapter.h"

namespace pages {

void RangeComboAdapter::Clear() { combo_.Clear(); }

void RangeComboAdapter::AddItem(const std::string& text) { combo_.AddItem(text); }

void RangeComboAdapter::SetListIndex(int index) { combo_.SetListIndex(index); }

void RangeComboAdapter::SetText(const std::string& text) {
    for (int i = 0; i < combo_.ListCount(); ++i) {
        if (combo_.List(i) == text) {
            combo_.SetListIndex(i);
            return;
        }
    }
    combo_.SetListIndex(-1);
}

}  // namespace pages
