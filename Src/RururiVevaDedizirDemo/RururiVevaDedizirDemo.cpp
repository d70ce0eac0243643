// The program's entry: start-up in a fixed order, then the event loop.
#include <QApplication>

#include "RururiVevaDedizirFrm.h"
#include "UAboutWin.h"
#include "UMarkVideoWindow.h"
#include "UOptionsWin.h"
#include "USavedRecordingsWin.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    frmRururiVevaDedizir = new TfrmRururiVevaDedizir;
    MarkVideoWindow = new TMarkVideoWindow;
    OptionsWin = new TOptionsWin;
    AboutWin = new TAboutWin;
    SavedRecordingsWin = new TSavedRecordingsWin;
    frmRururiVevaDedizir->show();
    return app.exec();
}
