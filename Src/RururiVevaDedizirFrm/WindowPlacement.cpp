#include "WindowPlacement.h"

#include "RururiVevaDedizirFrm.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void PlaceDialogOnFirstShow(QWidget* dialog, bool* placed) {
    if (*placed)
        return;
    *placed = true;
    QRect over;
    if (frmRururiVevaDedizir && frmRururiVevaDedizir->isVisible())
        over = frmRururiVevaDedizir->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    if (over.isEmpty())
        return;
    QRect r = dialog->frameGeometry();
    r.moveCenter(over.center());
    // move() marks the position as the program's own, so later shows keep it.
    dialog->move(r.topLeft());
}

QFont KvcFont(bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    f.setBold(bold);
    return f;
}
