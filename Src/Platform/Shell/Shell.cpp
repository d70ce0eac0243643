#include "Shell.h"

#include <QDesktopServices>

namespace {

TShellOpenHandler& handler() {
    static TShellOpenHandler h;
    return h;
}

QString site() {
    QString s = QStringLiteral(KVC_WEB_SITE);
    while (s.endsWith('/'))
        s.chop(1);
    return s;
}

} // namespace

bool ShellOpen(const QUrl& url) {
    if (handler())
        return handler()(url);
    return QDesktopServices::openUrl(url);
}

bool ShellOpenPath(const QString& path) {
    return ShellOpen(QUrl::fromLocalFile(path));
}

void SetShellOpenHandler(TShellOpenHandler h) {
    handler() = std::move(h);
}

QString MakerHomePage() {
    return site();
}

QString MakerSupportPage() {
    return site() + "/support/supportList/47/Kestrovane-Video-Capture";
}

QString MakerDownloadPage() {
    return site() + "/download.htm";
}
