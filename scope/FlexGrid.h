// The channel grid of the trend window: rows and columns of cells with a
// text, a back colour, a picture and an alignment, row 0 the fixed header
// row. The grid has a current cell (Row, Col) that the
// cell properties act on; a click makes the clicked cell current and raises
// Click, then MouseUp with the position inside the grid in twips.
#pragma once

#include <QPixmap>
#include <functional>
#include <string>

#include "platform/ui/controls.h"

class QTableWidget;

namespace scope {

class FlexGrid : public ui::Control {
  public:
    void Create(QWidget* parent);

    int Rows() const;
    void SetRows(int rows);
    int Cols() const;
    void SetCols(int cols);
    int Row() const { return row_; }
    void SetRow(int row);
    int Col() const { return col_; }
    void SetCol(int col);
    void SetColWidth(int col, int twips);

    std::string TextMatrix(int row, int col) const;
    void SetTextMatrix(int row, int col, const std::string& text);
    // ---- The current cell ----------------------------------------------------
    std::string Text() const { return TextMatrix(row_, col_); }
    // Windows RGB value; -1 when the cell has no colour of its own.
    int32_t CellBackColor() const;
    void SetCellBackColor(int32_t rgb);
    // The picture's handle (its cache key), 0 for none.
    qint64 CellPicture() const;
    void SetCellPicture(const QPixmap& picture);
    void SetCellAlignmentCentre();

    // Empties every cell: texts, colours and pictures.
    void Clear();

    std::function<void()> Click;
    // Button, shift state, X and Y in twips inside the grid.
    std::function<void(int button, int shift, int x, int y)> MouseUp;
    // Clicks a cell as the user would: current cell, Click, then MouseUp at
    // the cell's centre.
    void PerformClick(int row, int col);

  private:
    QTableWidget* table() const;
    void CheckCell(int row, int col) const;
    int row_ = 0;
    int col_ = 0;
};

}  // namespace scope
