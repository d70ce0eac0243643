// The frame window around the captured rectangle: its place and shape, its colours before and
// after capturing starts, following a captured window, and its release from another thread.
#include "FrameForm.h"
#include "UiTestSupport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QWindow>

#include <thread>

class FrameFormTest : public QObject {
    Q_OBJECT

    static TFrameWindowInfo screenInfo() {
        TFrameWindowInfo info;
        info.x_off = 10;
        info.y_off = 20;
        info.width = 320;
        info.height = 240;
        return info;
    }

private Q_SLOTS:
    void ringJustOutsideTheRectangle() {
        auto state = std::make_shared<TFrameWindowState>();
        QPointer<TFrameForm> form = new TFrameForm(screenInfo(), state);
        QVERIFY(QTest::qWaitForWindowExposed(form.data()));
        QCOMPARE(form->geometry(), QRect(8, 18, 324, 244));
        QVERIFY(form->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(form->windowFlags() & Qt::Tool);

        // In screen coordinates the hole is exactly the captured rectangle.
        const QRegion onScreen = form->mask().translated(form->pos());
        const QRegion ring = QRegion(8, 18, 324, 244).subtracted(QRegion(10, 20, 320, 240));
        QCOMPARE(onScreen, ring);
        QVERIFY(onScreen.intersected(QRect(10, 20, 320, 240)).isEmpty());
        form->release();
        QTRY_VERIFY(form.isNull());
    }

    void redUntilStartedThenBlueFirst() {
        FrameColorIndex = 1; // as at program start
        auto state = std::make_shared<TFrameWindowState>();
        QPointer<TFrameForm> form = new TFrameForm(screenInfo(), state);
        QCOMPARE(form->Color(), QColor(255, 0, 0));
        // Several flash periods pass without capturing: it stays red.
        QTest::qWait(TFrameForm::TickMs * TFrameForm::TicksPerFlash * 2 + 100);
        QCOMPARE(form->Color(), QColor(255, 0, 0));

        state->started = 1;
        QTRY_COMPARE_WITH_TIMEOUT(form->Color(), QColor(0, 0, 255), 2000);
        QElapsedTimer t;
        t.start();
        QTRY_COMPARE_WITH_TIMEOUT(form->Color(), QColor(255, 0, 0), 2000);
        // About half a second between colours; the timer's cadence, loosely.
        QVERIFY(t.elapsed() > 200);

        delete form;
    }

    void followsTheCapturedWindow() {
        QWidget target;
        target.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        target.setGeometry(300, 200, 400, 300);
        target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&target));

        TFrameWindowInfo info;
        info.window_handle = target.winId();
        info.client = 1;
        info.x_off = 5;
        info.y_off = 7;
        info.width = 100;
        info.height = 50;
        auto state = std::make_shared<TFrameWindowState>();
        QPointer<TFrameForm> form = new TFrameForm(info, state);
        QTRY_COMPARE(form->pos(), QPoint(300 + 5 - 2, 200 + 7 - 2));
        target.move(450, 260);
        QTRY_COMPARE_WITH_TIMEOUT(form->pos(), QPoint(450 + 5 - 2, 260 + 7 - 2), 1000);
        // Resizing the captured window leaves the frame's size alone.
        target.resize(200, 100);
        QTest::qWait(50);
        QCOMPARE(form->size(), QSize(104, 54));
        delete form;
    }

    void releasedFromAnotherThreadGoesOnTheGuiThread() {
        auto state = std::make_shared<TFrameWindowState>();
        IFrameWindow* created = FrameFormFactory()->create(screenInfo(), state);
        QPointer<TFrameForm> form = dynamic_cast<TFrameForm*>(created);
        QVERIFY(form);
        QVERIFY(form->isVisible());
        // The device's teardown: clear the flag, release, forget.
        std::thread teardown([&] {
            state->device_open = false;
            created->release();
        });
        teardown.join();
        QVERIFY(form); // not destroyed on the releasing thread
        QTRY_VERIFY(form.isNull());
    }
};

KVC_UI_TEST_MAIN(FrameFormTest)
#include "frameform_test.moc"
