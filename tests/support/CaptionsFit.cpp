#include "tests/support/CaptionsFit.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <optional>

namespace testsupport {

namespace {

// The text as drawn: "&&" shows one ampersand, a single "&" marks a mnemonic.
QString Shown(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

// The widest line of `text`.
int TextWidth(const QFontMetrics& fm, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(u'\n'))
        widest = std::max(widest, fm.horizontalAdvance(Shown(line)));
    return widest;
}

// Class, place in the window and the titles of the frames around `w`.
QString Where(const QWidget* w) {
    QString s = QString::fromLatin1(w->metaObject()->className());
    if (!w->objectName().isEmpty()) s += u' ' + w->objectName();
    const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
    s += QStringLiteral(" at %1,%2").arg(at.x()).arg(at.y());
    for (const QWidget* p = w->parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (const auto* g = qobject_cast<const QGroupBox*>(p); g && !g->title().isEmpty())
            s += QStringLiteral(" in \"%1\"").arg(g->title());
        if (p->isWindow()) {
            s += QStringLiteral(" of \"%1\"").arg(p->windowTitle());
            break;
        }
    }
    return s;
}

class Walk {
  public:
    std::vector<CaptionFault> faults;

    void Check(const QWidget* w) {
        if (const auto* l = qobject_cast<const QLabel*>(w)) Label(l);
        if (const auto* b = qobject_cast<const QAbstractButton*>(w)) Button(b);
        if (const auto* g = qobject_cast<const QGroupBox*>(w)) GroupTitle(g);
        if (const auto* t = qobject_cast<const QTabBar*>(w)) Tabs(t);
        if (const auto* c = qobject_cast<const QComboBox*>(w)) ComboItems(c);
        if (const auto* h = qobject_cast<const QHeaderView*>(w)) Headers(h);
        if (const auto* v = qobject_cast<const QAbstractItemView*>(w)) Items(v);
    }

    // A caption that runs into a visible sibling: its drawn text meets the
    // sibling's drawn text with less than a blank between them, or overlaps
    // a sibling without text that does not hold it wholly.
    void Overlaps(const QWidget* w, const QList<const QWidget*>& siblings) {
        const std::optional<QRect> mine = TextRect(w);
        if (!mine) return;
        const int blank = w->fontMetrics().horizontalAdvance(u' ');
        for (const QWidget* s : siblings) {
            // A frame drawn behind the caption and around it is its ground.
            if (s == w || s->geometry().contains(*mine)) continue;
            const std::optional<QRect> theirs = TextRect(s);
            const QRect other =
                theirs ? theirs->adjusted(-blank + 1, 0, blank - 1, 0) : s->geometry();
            const QRect meet = mine->intersected(other);
            if (meet.isEmpty()) continue;
            const QString into = theirs ? QStringLiteral("runs into \"%1\"").arg(Caption(s))
                                        : QStringLiteral("runs into %1").arg(Where(s));
            Add(QStringLiteral("overlap (%1)").arg(into), Caption(w), w, mine->width(),
                mine->width() - meet.width());
        }
    }

  private:
    void Add(const QString& what, const QString& text, const QWidget* w, int needed, int room) {
        faults.push_back({what, text, Where(w), needed, room});
    }

    static QString Caption(const QWidget* w) {
        if (const auto* l = qobject_cast<const QLabel*>(w)) return l->text();
        if (const auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
        return {};
    }

    // A label's room: its contents less the margin and the indent.
    static QRect LabelRoom(const QLabel* l) {
        int indent = l->indent();
        if (indent < 0)
            indent = l->frameWidth() > 0 ? l->fontMetrics().horizontalAdvance(u'x') / 2 : 0;
        QRect r = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
        if (l->alignment() & Qt::AlignRight) r.setRight(r.right() - indent);
        if (l->alignment() & Qt::AlignLeft) r.setLeft(r.left() + indent);
        return r;
    }

    static bool PlainLabel(const QLabel* l) {
        return !l->text().isEmpty() && l->pixmap().isNull() && !l->wordWrap();
    }

    // Where a label's or check box's text is drawn, in its parent's
    // coordinates and within the widget; nothing for other widgets.
    static std::optional<QRect> TextRect(const QWidget* w) {
        QRect room;
        int width = 0;
        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
        const QFontMetrics fm = w->fontMetrics();
        if (const auto* l = qobject_cast<const QLabel*>(w)) {
            if (!PlainLabel(l)) return std::nullopt;
            room = LabelRoom(l);
            width = TextWidth(fm, l->text());
            align = l->alignment();
        } else if (const auto* b = qobject_cast<const QAbstractButton*>(w);
                   b &&
                   (qobject_cast<const QCheckBox*>(b) || qobject_cast<const QRadioButton*>(b))) {
            if (b->text().isEmpty()) return std::nullopt;
            room = ButtonRoom(b);
            width = TextWidth(fm, b->text());
        } else {
            return std::nullopt;
        }
        const int lines = static_cast<int>(Caption(w).count(u'\n')) + 1;
        const int height = fm.height() * lines;
        int left = room.left();
        if (align & Qt::AlignRight) left = room.right() + 1 - width;
        if (align & Qt::AlignHCenter) left = room.left() + (room.width() - width) / 2;
        int top = room.top() + (room.height() - height) / 2;
        if (align & Qt::AlignTop) top = room.top();
        if (align & Qt::AlignBottom) top = room.bottom() + 1 - height;
        const QRect drawn = QRect(left, top, width, height).intersected(w->rect());
        if (drawn.isEmpty()) return std::nullopt;
        return drawn.translated(w->pos());
    }

    // The part of a button that its text may take: the style's contents
    // rectangle less the icon.
    static QRect ButtonRoom(const QAbstractButton* b) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.icon = b->icon();
        opt.iconSize = b->iconSize();
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(b)) contents = QStyle::SE_CheckBoxContents;
        if (qobject_cast<const QRadioButton*>(b)) contents = QStyle::SE_RadioButtonContents;
        if (const auto* p = qobject_cast<const QPushButton*>(b); p && p->autoDefault())
            opt.features |= QStyleOptionButton::AutoDefaultButton;
        QRect r = b->style()->subElementRect(contents, &opt, b);
        if (!b->icon().isNull()) r.setLeft(r.left() + b->iconSize().width() + 4);
        return r;
    }

    void Label(const QLabel* l) {
        if (!PlainLabel(l)) return;
        const int needed = TextWidth(l->fontMetrics(), l->text());
        const int room = LabelRoom(l).width();
        if (needed > room) Add(QStringLiteral("label"), l->text(), l, needed, room);
    }

    void Button(const QAbstractButton* b) {
        if (b->text().isEmpty()) return;
        if (const auto* t = qobject_cast<const QToolButton*>(b)) {
            // Tool buttons size themselves to their text; the bar may not.
            if (t->toolButtonStyle() == Qt::ToolButtonIconOnly) return;
            if (t->sizeHint().width() > t->width())
                Add(QStringLiteral("tool button"), b->text(), b, t->sizeHint().width(), t->width());
            return;
        }
        const int needed = TextWidth(b->fontMetrics(), b->text());
        const int room = ButtonRoom(b).width();
        if (needed > room) Add(QStringLiteral("button"), b->text(), b, needed, room);
    }

    void GroupTitle(const QGroupBox* g) {
        if (g->title().isEmpty()) return;
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.lineWidth = 1;
        opt.midLineWidth = 0;
        opt.textAlignment = g->alignment();
        opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        opt.features = g->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
        const QRect label =
            g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        const int needed = TextWidth(g->fontMetrics(), g->title());
        const int room = std::min(label.width(), g->width() - label.left());
        if (needed > room) Add(QStringLiteral("frame title"), g->title(), g, needed, room);
    }

    void Tabs(const QTabBar* t) {
        const int space = t->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, t);
        for (int i = 0; i < t->count(); ++i) {
            if (!t->isTabVisible(i)) continue;
            const QRect r = t->tabRect(i);
            const int needed = TextWidth(t->fontMetrics(), t->tabText(i)) + space;
            const int room = std::min(r.width(), t->width() - r.left());
            if (needed > room) Add(QStringLiteral("tab"), t->tabText(i), t, needed, room);
        }
    }

    // Any item may be chosen and then stands in the closed combo, so every
    // item must fit the combo's text room (the drop-down grows to its
    // widest item by itself).
    void ComboItems(const QComboBox* c) {
        QStyleOptionComboBox opt;
        opt.initFrom(c);
        opt.editable = c->isEditable();
        opt.frame = c->hasFrame();
        opt.subControls = QStyle::SC_All;
        int room = c->style()
                       ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c)
                       .width() -
                   2;
        if (c->lineEdit() != nullptr) {
            const QMargins m = c->lineEdit()->textMargins();
            room = c->lineEdit()->width() - 4 - m.left() - m.right();
        }
        const QFontMetrics fm = c->fontMetrics();
        for (int i = 0; i < c->count(); ++i) {
            const int needed = fm.horizontalAdvance(c->itemText(i));
            if (needed > room) Add(QStringLiteral("combo item"), c->itemText(i), c, needed, room);
        }
    }

    void Headers(const QHeaderView* h) {
        if (h->orientation() != Qt::Horizontal || h->model() == nullptr) return;
        const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
        const QFontMetrics fm = h->fontMetrics();
        for (int i = 0; i < h->count(); ++i) {
            if (h->isSectionHidden(i) || h->sectionSize(i) == 0) continue;
            const QString text = h->model()->headerData(i, Qt::Horizontal).toString();
            const int needed = TextWidth(fm, text) + 2 * margin;
            if (!text.isEmpty() && needed > h->sectionSize(i))
                Add(QStringLiteral("column header"), text, h, needed, h->sectionSize(i));
        }
    }

    // Cells of tables and report lists against their column; a plain list
    // only when it cannot scroll sideways to show the rest.
    void Items(const QAbstractItemView* v) {
        const QAbstractItemModel* m = v->model();
        if (m == nullptr) return;
        const auto* list = qobject_cast<const QListView*>(v);
        if (list && v->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff) return;
        const auto* tree = qobject_cast<const QTreeView*>(v);
        const auto* table = qobject_cast<const QTableView*>(v);
        if (!list && !tree && !table) return;
        const int margin = v->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, v) + 1;
        for (int col = 0; col < m->columnCount(); ++col) {
            int room = v->viewport()->width();
            if (tree) {
                if (tree->isColumnHidden(col)) continue;
                room = tree->columnWidth(col);
                if (col == 0 && tree->rootIsDecorated()) room -= tree->indentation();
            }
            if (table) {
                if (table->isColumnHidden(col)) continue;
                room = table->columnWidth(col) - (table->showGrid() ? 1 : 0);
            }
            for (int row = 0; row < m->rowCount(); ++row) {
                const QModelIndex idx = m->index(row, col);
                const QString text = idx.data(Qt::DisplayRole).toString();
                if (text.isEmpty()) continue;
                const QVariant font = idx.data(Qt::FontRole);
                const QFontMetrics fm(font.isValid() ? font.value<QFont>() : v->font());
                const int needed = TextWidth(fm, text) + 2 * margin;
                if (needed > room) Add(QStringLiteral("item"), text, v, needed, room);
            }
        }
    }
};

// Whether a child is seen where its parent is: not hidden by its own
// setting, or a tab page that shows once its tab is chosen.
bool Shown(const QWidget* c) {
    if (c->isWindow()) return false;
    if (!c->testAttribute(Qt::WA_WState_Hidden) ||
        !c->testAttribute(Qt::WA_WState_ExplicitShowHide))
        return true;
    const auto* stack = qobject_cast<const QStackedWidget*>(c->parentWidget());
    const auto* tabs = stack ? qobject_cast<const QTabWidget*>(stack->parentWidget()) : nullptr;
    const int tab = tabs ? tabs->indexOf(c) : -1;
    return tab >= 0 && tabs->isTabVisible(tab) && tabs->isTabEnabled(tab);
}

void Visit(Walk& walk, const QWidget* w) {
    walk.Check(w);
    QList<const QWidget*> shown;
    for (const QObject* o : w->children()) {
        const auto* c = qobject_cast<const QWidget*>(o);
        if (c != nullptr && Shown(c)) shown.push_back(c);
    }
    for (const QWidget* c : shown) walk.Overlaps(c, shown);
    for (const QWidget* c : shown) Visit(walk, c);
}

}  // namespace

std::vector<CaptionFault> CaptionsThatDoNotFit(const QWidget* root) {
    Walk walk;
    Visit(walk, root);
    return walk.faults;
}

void PrintTo(const CaptionFault& f, std::ostream* os) { *os << f; }

std::ostream& operator<<(std::ostream& os, const CaptionFault& f) {
    return os << f.what.toStdString() << " \"" << f.text.toStdString() << "\" needs " << f.needed
              << " px, has " << f.room << " px: " << f.where.toStdString();
}

}  // namespace testsupport
