#include "SkinResources.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>

namespace {

// Lower-case base name -> resource path, for the bitmaps and, separately, the icon sizes.
struct SkinIndex {
    QHash<QString, QString> bitmaps;
    QHash<QString, QStringList> icons;
};

const SkinIndex& index() {
    static const SkinIndex idx = [] {
        SkinIndex i;
        QDirIterator it(":/skin", {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString base = QFileInfo(path).completeBaseName();
            if (path.startsWith(":/skin/icons/")) {
                // "AppIcon_48" belongs to the icon "appicon"
                const qsizetype cut = base.lastIndexOf('_');
                i.icons[base.left(cut).toLower()].append(path);
            } else {
                i.bitmaps.insert(base.toLower(), path);
            }
        }
        return i;
    }();
    return idx;
}

} // namespace

QString SkinResourcePath(const QString& name) {
    return index().bitmaps.value(name.toLower());
}

QPixmap LoadSkinBitmap(const QString& name) {
    const QString path = SkinResourcePath(name);
    return path.isEmpty() ? QPixmap() : QPixmap(path);
}

QIcon LoadSkinIcon(const QString& name) {
    QIcon icon;
    for (const QString& path : index().icons.value(name.toLower()))
        icon.addFile(path);
    return icon;
}
