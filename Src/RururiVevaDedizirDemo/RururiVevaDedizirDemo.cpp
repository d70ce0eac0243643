// The program's entry: start-up in a fixed order, then the event loop.
#include <QApplication>

#include "RururiVevaDedizirFrm.h"
#include "SingleInstanceLock.h"
#include "UAboutWin.h"
#include "UMarkVideoWindow.h"
#include "UOptionsWin.h"
#include "UPublic.h"
#include "USavedRecordingsWin.h"

int main(int argc, char* argv[]) {
    InitAppTitle();
    InitVersionFormatSettings();
    // Before the application object, so that a second copy ends without touching the display.
    // A lock that cannot be made at all lets the program run.
    if (AcquireInstanceLock(AppTitle.toStdString()) == TInstanceLockResult::HeldByAnother) {
        return 0;
    }
    InitAppDataFolder();
    LoadOptions();

    // The program reads no command line: Qt sees only the program's name.
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 ? argv[0] : const_cast<char*>("kestrovane-video-capture"), nullptr};
    QApplication app(qtArgc, qtArgv);

    frmRururiVevaDedizir = new TfrmRururiVevaDedizir;
    MarkVideoWindow = new TMarkVideoWindow;
    OptionsWin = new TOptionsWin;
    AboutWin = new TAboutWin;
    SavedRecordingsWin = new TSavedRecordingsWin;
    frmRururiVevaDedizir->show();
    return app.exec();
}
