// Opening files, folders and web pages in the programs the desktop associates with them. Every
// such request of the program goes through ShellOpen, so that tests can put a recorder in place
// of the desktop.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// Hands the address to the desktop (QDesktopServices::openUrl, i.e. xdg-open with an argument
// vector, never a shell). Returns what the desktop reported; callers may ignore it.
bool ShellOpen(const QUrl& url);
// A local file or folder by its path.
bool ShellOpenPath(const QString& path);

// Replaces the desktop for the rest of the run (null restores it). For tests.
using TShellOpenHandler = std::function<bool(const QUrl&)>;
void SetShellOpenHandler(TShellOpenHandler handler);

// The maker's web pages, under the site the build was configured with.
QString MakerHomePage();     // the site itself
QString MakerSupportPage();  // site + "/support/supportList/47/Kestrovane-Video-Capture"
QString MakerDownloadPage(); // site + "/download.htm"
