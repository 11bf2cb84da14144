#include "scope/FlexGrid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTableWidget>

#include "scope/StripChart.h"

namespace scope {

namespace {

constexpr int kColorRole = Qt::UserRole + 1;
constexpr int kPictureRole = Qt::UserRole + 2;
// "Subscript out of range" of a cell outside the grid.
constexpr int kErrBadCell = 381;

// Passes the mouse release inside the cells on as MouseUp.
class ReleaseFilter : public QObject {
  public:
    ReleaseFilter(QObject* parent, FlexGrid& grid) : QObject(parent), grid_(grid) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease && grid_.MouseUp) {
            auto* m = static_cast<QMouseEvent*>(e);
            const int button = m->button() == Qt::RightButton    ? 2
                               : m->button() == Qt::MiddleButton ? 4
                                                                 : 1;
            const int shift = (m->modifiers() & Qt::ShiftModifier ? 1 : 0) |
                              (m->modifiers() & Qt::ControlModifier ? 2 : 0) |
                              (m->modifiers() & Qt::AltModifier ? 4 : 0);
            const QPoint p = m->position().toPoint();
            grid_.MouseUp(button, shift, ui::ToTwips(p.x()), ui::ToTwips(p.y()));
        }
        return false;
    }

  private:
    FlexGrid& grid_;
};

}  // namespace

void FlexGrid::Create(QWidget* parent) {
    auto* t = new QTableWidget(parent);
    t->horizontalHeader()->hide();
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->setFocusPolicy(Qt::NoFocus);
    t->verticalHeader()->setDefaultSectionSize(18);
    Adopt(t);
    Track(QObject::connect(t, &QTableWidget::cellClicked, t, [this](int r, int c) {
        row_ = r;
        col_ = c;
        if (Click) Click();
    }));
    t->viewport()->installEventFilter(new ReleaseFilter(t, *this));
}

QTableWidget* FlexGrid::table() const { return static_cast<QTableWidget*>(widget()); }

int FlexGrid::Rows() const { return table()->rowCount(); }
int FlexGrid::Cols() const { return table()->columnCount(); }

void FlexGrid::SetRows(int rows) {
    table()->setRowCount(rows);
    // The header row's grey, once it exists (a table takes no item outside
    // its cells).
    for (int c = 0; rows > 0 && c < Cols(); ++c) {
        QTableWidgetItem* header = table()->item(0, c);
        if (!header) table()->setItem(0, c, header = new QTableWidgetItem);
        header->setBackground(QColor(212, 208, 200));
    }
}
void FlexGrid::SetCols(int cols) {
    table()->setColumnCount(cols);
    SetRows(Rows());
}

void FlexGrid::CheckCell(int row, int col) const {
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols())
        throw rt::RuntimeError(kErrBadCell, "Subscript out of range");
}

void FlexGrid::SetRow(int row) {
    CheckCell(row, 0);
    row_ = row;
}
void FlexGrid::SetCol(int col) {
    CheckCell(0, col);
    col_ = col;
}

void FlexGrid::SetColWidth(int col, int twips) {
    table()->setColumnWidth(col, std::max(0, ui::ToPixels(twips)));
}

std::string FlexGrid::TextMatrix(int row, int col) const {
    CheckCell(row, col);
    const QTableWidgetItem* item = table()->item(row, col);
    return item ? ui::S(item->text()) : "";
}

void FlexGrid::SetTextMatrix(int row, int col, const std::string& text) {
    CheckCell(row, col);
    QTableWidgetItem* item = table()->item(row, col);
    if (!item) table()->setItem(row, col, item = new QTableWidgetItem);
    item->setText(ui::Q(text));
}

int32_t FlexGrid::CellBackColor() const {
    const QTableWidgetItem* item = table()->item(row_, col_);
    return item && item->data(kColorRole).isValid() ? item->data(kColorRole).toInt() : -1;
}

void FlexGrid::SetCellBackColor(int32_t rgb) {
    SetTextMatrix(row_, col_, TextMatrix(row_, col_));
    QTableWidgetItem* item = table()->item(row_, col_);
    item->setData(kColorRole, rgb);
    item->setBackground(StripChart::ColorFromRgb(rgb));
}

qint64 FlexGrid::CellPicture() const {
    const QTableWidgetItem* item = table()->item(row_, col_);
    return item ? item->data(kPictureRole).toLongLong() : 0;
}

void FlexGrid::SetCellPicture(const QPixmap& picture) {
    SetTextMatrix(row_, col_, TextMatrix(row_, col_));
    QTableWidgetItem* item = table()->item(row_, col_);
    item->setData(kPictureRole, picture.isNull() ? 0 : picture.cacheKey());
    item->setData(Qt::DecorationRole, picture);
}

void FlexGrid::SetCellAlignmentCentre() {
    SetTextMatrix(row_, col_, TextMatrix(row_, col_));
    table()->item(row_, col_)->setTextAlignment(Qt::AlignCenter);
}

void FlexGrid::Clear() {
    const int rows = Rows();
    table()->clearContents();
    SetRows(rows);
}

void FlexGrid::PerformClick(int row, int col) {
    CheckCell(row, col);
    row_ = row;
    col_ = col;
    if (Click) Click();
    if (MouseUp) {
        const QRect r = table()->visualRect(table()->model()->index(row, col));
        MouseUp(1, 0, ui::ToTwips(r.center().x()), ui::ToTwips(r.center().y()));
    }
}

}  // namespace scope
