// What the dialog programs (modflash, gwflash) share: the placement of a
// dialog's controls in dialog units and the program's own version for the
// dialog's caption.
#pragma once

#include <QRect>
#include <QString>

namespace ui {

// A rectangle given in dialog units, in pixels at the dialog's standard font
// (a dialog unit is 3/2 pixels across and 13/8 pixels down).
QRect Dlu(int x, int y, int w, int h);

// The program's file version ("1.0.0.0"), as the program set it for the
// application; "" when it set none.
QString ReadOwnFileVersion();

}  // namespace ui
