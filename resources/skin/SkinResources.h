// The program's bitmaps and icons, compiled in as Qt resources under ":/skin". Names are looked
// up without regard to case, so "mainwin" and "MainWin" find the same bitmap.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The resource path of a skin bitmap ("MainWin" -> ":/skin/MainWin.png"), or an empty string
// when there is no bitmap of that name.
QString SkinResourcePath(const QString& name);

// The bitmap of that name; a null pixmap when there is none.
QPixmap LoadSkinBitmap(const QString& name);

// The icon of that name in every size the skin holds ("AppIcon": 16 to 256 pixels).
QIcon LoadSkinIcon(const QString& name);
