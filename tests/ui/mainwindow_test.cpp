// The main window: the image-button pattern over all nine buttons, stay-on-top and its bracket
// around the modal dialogs, the popup menu, and when closing asks first.
#include "Shell.h"
#include "SkinImage.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QWindow>

class MainWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramWindows> w;

    TSkinImage* image(const char* name) { return w->main()->findChild<TSkinImage*>(name); }

private Q_SLOTS:
    void init() {
        w = std::make_unique<TProgramWindows>();
        w->showMain();
    }
    void cleanup() { w.reset(); }

    void skinnedSurface() {
        TfrmRururiVevaDedizir* m = w->main();
        QCOMPARE(m->size(), QSize(340, 200));
        QVERIFY(m->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(m->windowTitle(), QString("Kestrovane Video Capture"));
        QCOMPARE(m->BackgroundImage->geometry(), QRect(0, 0, 340, 200));
        QCOMPARE(m->BackgroundImage->picture(), QString("MainWin"));
        QCOMPARE(m->Infotext->geometry(), QRect(10, 35, 320, 21));
        QVERIFY(m->Infotext->isReadOnly());
        QVERIFY(m->Infotext->text().isEmpty());
        const QList<QWidget*> hidden = {m->ButtMarkWindow, m->ButtOptions, m->ButtAbout,
                                        m->ButtOpenFolder, m->CBoxTop};
        for (QWidget* h : hidden)
            QVERIFY(!h->isVisible());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(m->frameGeometry().center(), screen.center());
    }

    // Place, bitmaps and hint of each image, and what a press and a release of each button do.
    void imageButtons_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QString>("normal");
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<QString>("hint");
        const struct {
            const char *name, *normal, *pressed, *hint;
            QRect place;
        } rows[] = {
            {"TopImage", "TopButton_1", "TopButton_2", "Always on top", {275, 2, 14, 14}},
            {"HelpImage", "HelpButton_1", "HelpButton_2", "Help", {291, 2, 14, 14}},
            {"MinImage", "MinButton_1", "MinButton_2", "Minimize", {308, 2, 14, 14}},
            {"CloseImage", "CloseButton_1", "CloseButton_2", "Close", {324, 2, 14, 14}},
            {"MarkWindowImage", "MarkWindow_1", "MarkWindow_2", "", {25, 115, 140, 17}},
            {"ReadyRecordImage", "ReadyRecord_1", "ReadyRecord_2", "Record", {1, 158, 83, 41}},
            {"PlayImage", "Play_1", "Play_2", "Play", {86, 158, 83, 41}},
            {"OpenFolderImage",
             "OpenFolder_1",
             "OpenFolder_2",
             "Open Containing Folder",
             {171, 158, 83, 41}},
            {"OptionsImage", "Options_1", "Options_2", "Options", {257, 158, 83, 41}},
        };
        for (const auto& r : rows)
            QTest::newRow(r.name) << r.name << r.place << r.normal << r.pressed << r.hint;
    }

    void imageButtons() {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        QFETCH(QString, normal);
        QFETCH(QString, pressed);
        QFETCH(QString, hint);
        TSkinImage* img = image(name.toLatin1());
        QVERIFY(img);
        QVERIFY(img->isVisible());
        QCOMPARE(img->geometry(), place);
        QCOMPARE(img->picture(), normal);
        QCOMPARE(img->toolTip(), hint);

        // Count clicks instead of running the actions (modal dialogs, closing, ...).
        QVERIFY(disconnect(img, &TSkinImage::clicked, nullptr, nullptr));
        QSignalSpy clicks(img, &TSkinImage::clicked);
        const QPoint inside = img->rect().center();

        // Left button: pressed bitmap while down, one click, normal bitmap afterwards.
        QTest::mousePress(img, Qt::LeftButton, {}, inside);
        QCOMPARE(img->picture(), pressed);
        QTest::mouseRelease(img, Qt::LeftButton, {}, inside);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(img->picture(), normal);

        // Right button: pressed bitmap while held, no action.
        QTest::mousePress(img, Qt::RightButton, {}, inside);
        QCOMPARE(img->picture(), pressed);
        QTest::mouseRelease(img, Qt::RightButton, {}, inside);
        QCOMPARE(img->picture(), normal);
        QCOMPARE(clicks.count(), 1);

        // Released outside the image: no action, normal bitmap back.
        QTest::mousePress(img, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(img, Qt::LeftButton, {}, QPoint(place.width() + 30, -20));
        QCOMPARE(img->picture(), normal);
        QCOMPARE(clicks.count(), 1);

        // A double click is one click: its second press makes none.
        // Through the window, so that Qt itself turns the second press into a double click.
        QWindow* window = img->window()->windowHandle();
        QTest::mouseDClick(window, Qt::LeftButton, {}, img->mapTo(img->window(), inside));
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(img->picture(), normal);
    }

    void stayOnTopToggleAndBracket() {
        TfrmRururiVevaDedizir* m = w->main();
        TSkinImage* top = m->TopImage;
        QTest::mouseClick(top, Qt::LeftButton);
        QVERIFY(StayOnTop);
        QVERIFY(m->IsTopMost());
        QCOMPARE(top->picture(), QString("TopOKButton_1"));

        // While the options dialog is open the window is not top-most.
        bool checked = false;
        WhenModalOpens([&](QWidget* dialog) {
            checked = true;
            QCOMPARE(dialog, static_cast<QWidget*>(OptionsWin));
            QVERIFY(!m->IsTopMost());
            QCOMPARE(top->picture(), QString("TopButton_1"));
            QVERIFY(StayOnTop);
        });
        QTest::mouseClick(m->OptionsImage, Qt::LeftButton);
        QVERIFY(checked);
        QVERIFY(m->IsTopMost());
        QVERIFY(StayOnTop);
        QCOMPARE(top->picture(), QString("TopOKButton_2"));
        QCOMPARE(m->OptionsImage->picture(), QString("Options_1"));

        // The next press and release turns it off.
        QTest::mouseClick(top, Qt::LeftButton);
        QVERIFY(!StayOnTop);
        QVERIFY(!m->IsTopMost());
        QCOMPARE(top->picture(), QString("TopButton_1"));

        // Without stay-on-top the bracket leaves everything alone.
        WhenModalOpens([&](QWidget*) { QVERIFY(!m->IsTopMost()); });
        QTest::mouseClick(m->OptionsImage, Qt::LeftButton);
        QCOMPARE(top->picture(), QString("TopButton_1"));
    }

    void popupMenuAtTheMouse() {
        TfrmRururiVevaDedizir* m = w->main();
        QStringList items;
        QPoint at;
        WhenModalOpens([&](QWidget* popup) {
            at = popup->pos();
            for (QAction* a : static_cast<QMenu*>(popup)->actions())
                items << (a->isSeparator() ? QString("-") : a->text());
        });
        const QPoint click = m->HelpImage->rect().center();
        QCursor::setPos(m->HelpImage->mapToGlobal(click));
        QTest::mouseClick(m->HelpImage, Qt::LeftButton, {}, click);
        QCOMPARE(items, (QStringList{"Show recordings", "-", "Help", "Check for updates ...", "-",
                                     "About"}));
        // Qt may shift a menu to keep it on the screen, never far from the mouse.
        QVERIFY((at - QCursor::pos()).manhattanLength() <= 4);
        QCOMPARE(m->HelpImage->picture(), QString("HelpButton_1"));
    }

    void dialogsFromMenuAndPlayAreBracketed() {
        TfrmRururiVevaDedizir* m = w->main();
        StayOnTop = true;
        m->SetTopMost(true);
        QWidget* seen = nullptr;
        WhenModalOpens([&](QWidget* d) {
            seen = d;
            QVERIFY(!m->IsTopMost());
        });
        m->A1->trigger();
        QCOMPARE(seen, static_cast<QWidget*>(AboutWin));
        QVERIFY(m->IsTopMost());

        // Before the first recording of a run, Play shows the recordings.
        seen = nullptr;
        WhenModalOpens([&](QWidget* d) { seen = d; });
        QTest::mouseClick(m->PlayImage, Qt::LeftButton);
        QCOMPARE(seen, static_cast<QWidget*>(SavedRecordingsWin));
        QCOMPARE(m->TopImage->picture(), QString("TopOKButton_2"));
    }

    void closeAsksOnlyFromTheCloseImageWhileRecording_data() {
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("closed");
        QTest::newRow("ready") << false << false << false << true;
        QTest::newRow("recording, No") << true << false << true << false;
        QTest::newRow("recording, Yes") << true << true << true << true;
    }

    void closeAsksOnlyFromTheCloseImageWhileRecording() {
        QFETCH(bool, recording);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        QFETCH(bool, closed);
        TfrmRururiVevaDedizir* m = w->main();
        IsRecording = recording;
        bool wasAsked = false;
        m->ConfirmCloseWhileRecording = [&] {
            wasAsked = true;
            return answer;
        };
        QStringList steps;
        m->OnCloseQueryStep = [&](const char* s) { steps << s; };
        QTest::mouseClick(m->CloseImage, Qt::LeftButton);
        QCOMPARE(wasAsked, asked);
        QCOMPARE(!m->isVisible(), closed);
        QCOMPARE(!steps.isEmpty(), closed);
        IsRecording = false;
    }

    void closeByOtherMeansDoesNotAsk() {
        TfrmRururiVevaDedizir* m = w->main();
        IsRecording = true;
        bool wasAsked = false;
        m->ConfirmCloseWhileRecording = [&] {
            wasAsked = true;
            return false;
        };
        QVERIFY(m->close());
        QVERIFY(!wasAsked);
        QVERIFY(!m->isVisible());
        IsRecording = false;
    }

    void markImageTogglesTheMarkWindow() {
        TfrmRururiVevaDedizir* m = w->main();
        QTest::mouseClick(m->MarkWindowImage, Qt::LeftButton);
        QVERIFY(MarkWindowShown);
        QVERIFY(MarkVideoWindow->isVisible());
        QCOMPARE(m->MarkWindowImage->picture(), QString("MarkWindow_2"));
        QTest::mouseClick(m->MarkWindowImage, Qt::LeftButton);
        QVERIFY(!MarkWindowShown);
        QVERIFY(!MarkVideoWindow->isVisible());
        QCOMPARE(m->MarkWindowImage->picture(), QString("MarkWindow_1"));
    }

    void openFolderAndHelpGoToTheDesktop() {
        TfrmRururiVevaDedizir* m = w->main();
        QList<QUrl> opened;
        SetShellOpenHandler([&](const QUrl& u) {
            opened << u;
            return true;
        });
        QDir(AppDataFolder).removeRecursively();
        QTest::mouseClick(m->OpenFolderImage, Qt::LeftButton);
        m->S1->trigger();
        SetShellOpenHandler(nullptr);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0], QUrl::fromLocalFile(AppDataFolder));
        QVERIFY(QDir(AppDataFolder).exists());
        QVERIFY(opened[1].toString().endsWith("/support/supportList/47/Kestrovane-Video-Capture"));
        QCOMPARE(opened[1].toString().left(opened[1].toString().indexOf("/support/")),
                 MakerHomePage());
    }

    void dragOnTheBackgroundMovesTheWindow() {
        TfrmRururiVevaDedizir* m = w->main();
        const QPoint before = m->pos();
        const QPoint grab(150, 140); // free background between the panel and the strip
        QCOMPARE(m->childAt(grab), static_cast<QWidget*>(m->BackgroundImage));
        QTest::mousePress(m->BackgroundImage, Qt::LeftButton, {}, grab);
        QTest::mouseMove(m->BackgroundImage, grab + QPoint(40, 25));
        QTest::mouseRelease(m->BackgroundImage, Qt::LeftButton, {}, grab + QPoint(40, 25));
        QTRY_COMPARE(m->pos(), before + QPoint(40, 25));
        QCOMPARE(m->size(), QSize(340, 200));
    }
};

KVC_UI_TEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
