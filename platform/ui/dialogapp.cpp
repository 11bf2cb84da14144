#include "platform/ui/dialogapp.h"

#include <QCoreApplication>

namespace ui {

QRect Dlu(int x, int y, int w, int h) {
    return QRect(x * 3 / 2, y * 13 / 8, w * 3 / 2, h * 13 / 8);
}

QString ReadOwnFileVersion() { return QCoreApplication::applicationVersion(); }

}  // namespace ui
