// The Mark video window: its rectangle goes into RecorderOptions and the info line on every move
// and resize while it is shown, and nowhere while it is hidden; Accept keeps it, Cancel puts
// back what was there when the window was shown.
#include "SkinImage.h"
#include "UiTestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

class MarkWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramWindows> w;

    static QRect optionsRect() {
        return {RecorderOptions.RecTop, RecorderOptions.RecLeft, RecorderOptions.RecWidth,
                RecorderOptions.RecHeight};
    }
    static QString info() { return frmRururiVevaDedizir->Infotext->text(); }
    void open() {
        QTest::mouseClick(w->main()->MarkWindowImage, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(MarkVideoWindow));
    }

private Q_SLOTS:
    void init() {
        w = std::make_unique<TProgramWindows>();
        w->showMain();
    }
    void cleanup() { w.reset(); }

    void opensCentredWithoutTouchingTheRectangle() {
        QCOMPARE(optionsRect(), QRect(10, 10, 320, 240));
        QCOMPARE(MarkVideoWindow->size(), QSize(460, 271));
        QCOMPARE(MarkVideoWindow->windowOpacity(), 150.0 / 255.0);
        open();
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((MarkVideoWindow->geometry().center() - work.center()).manhattanLength() <= 2);
        QCOMPARE(optionsRect(), QRect(10, 10, 320, 240));
        QCOMPARE(MarkVideoWindow->ButtAccept->geometry(), QRect(11, 11, 75, 25));
        QCOMPARE(MarkVideoWindow->Buttcancel->geometry(), QRect(11, 42, 75, 25));
    }

    void movesAndResizesMapToTheRectangle_data() {
        QTest::addColumn<QRect>("to"); // relative to the window's first place: dx, dy, dw, dh
        QTest::newRow("40 to the right") << QRect(40, 0, 0, 0);
        QTest::newRow("up and left, off the screen") << QRect(-900, -700, 0, 0);
        QTest::newRow("left edge out by 30") << QRect(-30, 0, 30, 0);
        QTest::newRow("odd size") << QRect(0, 0, -77, 33);
    }

    void movesAndResizesMapToTheRectangle() {
        QFETCH(QRect, to);
        open();
        const QRect g0 = MarkVideoWindow->geometry();
        const QRect g(g0.x() + to.x(), g0.y() + to.y(), g0.width() + to.width(),
                      g0.height() + to.height());
        MarkVideoWindow->setGeometry(g);
        QTRY_COMPARE(MarkVideoWindow->geometry(), g);
        // RecTop holds the X, RecLeft the Y.
        QCOMPARE(optionsRect(), g);
        QCOMPARE(info(),
                 QString("%1,%2,%3,%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()));
    }

    void draggingTheSurfaceAndTheEdge() {
        open();
        const QRect g0 = MarkVideoWindow->geometry();
        const QPoint mid = MarkVideoWindow->rect().center();
        QTest::mousePress(MarkVideoWindow, Qt::LeftButton, {}, mid);
        QTest::mouseMove(MarkVideoWindow, mid + QPoint(40, 0));
        QTest::mouseRelease(MarkVideoWindow, Qt::LeftButton, {}, mid + QPoint(40, 0));
        QTRY_COMPARE(RecorderOptions.RecTop, g0.x() + 40);
        QCOMPARE(RecorderOptions.RecLeft, g0.y());
        QCOMPARE(RecorderOptions.RecWidth, g0.width());

        // The left edge sizes the window: both X and width change.
        const QPoint edge(2, MarkVideoWindow->height() / 2);
        QTest::mousePress(MarkVideoWindow, Qt::LeftButton, {}, edge);
        QTest::mouseMove(MarkVideoWindow, edge - QPoint(25, 0));
        QTest::mouseRelease(MarkVideoWindow, Qt::LeftButton, {}, edge - QPoint(25, 0));
        QTRY_COMPARE(RecorderOptions.RecTop, g0.x() + 40 - 25);
        QCOMPARE(RecorderOptions.RecWidth, g0.width() + 25);
        QCOMPARE(RecorderOptions.RecLeft, g0.y());
    }

    void nothingChangesWhileHidden() {
        MarkVideoWindow->setGeometry(100, 100, 300, 200);
        MarkVideoWindow->move(5, 5);
        QCOMPARE(optionsRect(), QRect(10, 10, 320, 240));
        QVERIFY(info().isEmpty());
        open();
        MarkVideoWindow->move(200, 150);
        QTRY_COMPARE(RecorderOptions.RecTop, 200);
        QTest::mouseClick(MarkVideoWindow->ButtAccept, Qt::LeftButton);
        QVERIFY(!MarkVideoWindow->isVisible());
        MarkVideoWindow->move(400, 400);
        MarkVideoWindow->resize(100, 100);
        QCOMPARE(optionsRect(), QRect(200, 150, 300, 200));
    }

    void acceptKeepsCancelRestores() {
        open();
        MarkVideoWindow->setGeometry(300, 200, 640, 360);
        QTRY_COMPARE(optionsRect(), QRect(300, 200, 640, 360));
        QTest::mouseClick(MarkVideoWindow->ButtAccept, Qt::LeftButton);
        QVERIFY(!MarkWindowShown);
        QCOMPARE(w->main()->MarkWindowImage->picture(), QString("MarkWindow_1"));
        QCOMPARE(optionsRect(), QRect(300, 200, 640, 360));
        QCOMPARE(info(), QString("300,200,640,360"));

        // Shown again where it was; Cancel undoes only this marking.
        open();
        QCOMPARE(MarkVideoWindow->geometry(), QRect(300, 200, 640, 360));
        MarkVideoWindow->setGeometry(50, 60, 200, 100);
        QTRY_COMPARE(optionsRect(), QRect(50, 60, 200, 100));
        QTest::mouseClick(MarkVideoWindow->Buttcancel, Qt::LeftButton);
        QVERIFY(!MarkVideoWindow->isVisible());
        QVERIFY(!MarkWindowShown);
        QCOMPARE(optionsRect(), QRect(300, 200, 640, 360));
        QCOMPARE(info(), QString("300,200,640,360"));
        QCOMPARE(w->main()->MarkWindowImage->picture(), QString("MarkWindow_1"));
    }

    void cancelOfTheFirstMarkingRestoresTheLoadedRectangle() {
        open();
        MarkVideoWindow->move(321, 123);
        QTRY_COMPARE(RecorderOptions.RecTop, 321);
        QTest::mouseClick(MarkVideoWindow->Buttcancel, Qt::LeftButton);
        QCOMPARE(optionsRect(), QRect(10, 10, 320, 240));
        QVERIFY(info().isEmpty());
    }
};

KVC_UI_TEST_MAIN(MarkWindowTest)
#include "markwindow_test.moc"
