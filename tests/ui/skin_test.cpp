// The skin compiled into the program: every bitmap the windows ask for exists at its size,
// each pressed look differs from its normal one, and names are found without regard to case.
#include "SkinResources.h"

#include <QGuiApplication>
#include <QImage>
#include <QTest>

class SkinTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bitmapsAtTheirSizes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::newRow("MainWin") << "MainWin" << QSize(340, 200);
        QTest::newRow("AppLogo") << "AppLogo" << QSize(64, 64);
        const struct {
            const char* name;
            QSize size;
        } pairs[] = {
            {"TopButton", {14, 14}},   {"TopOKButton", {14, 14}}, {"HelpButton", {14, 14}},
            {"MinButton", {14, 14}},   {"CloseButton", {14, 14}}, {"MarkWindow", {140, 17}},
            {"ReadyRecord", {83, 41}}, {"Recording", {83, 41}},   {"Play", {83, 41}},
            {"OpenFolder", {83, 41}},  {"Options", {83, 41}}};
        for (const auto& p : pairs) {
            for (const char* suffix : {"_1", "_2"}) {
                const QString n = QString(p.name) + suffix;
                QTest::newRow(qPrintable(n)) << n << p.size;
            }
        }
    }

    void bitmapsAtTheirSizes() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const QImage img(SkinResourcePath(name));
        QVERIFY2(!img.isNull(), qPrintable(name));
        QCOMPARE(img.size(), size);
        QVERIFY(!img.hasAlphaChannel()); // drawn over the window, fully opaque
        if (name.endsWith("_2")) {
            const QImage normal(SkinResourcePath(name.chopped(2) + "_1"));
            QVERIFY2(normal != img, "the pressed look must differ from the normal one");
        }
    }

    void statesDifferWhereTheWindowSwapsThem() {
        const auto img = [](const char* n) { return QImage(SkinResourcePath(n)); };
        QVERIFY(img("TopButton_1") != img("TopOKButton_1"));
        QVERIFY(img("ReadyRecord_1") != img("Recording_1"));
    }

    void lookupIgnoresCase() {
        QCOMPARE(SkinResourcePath("mainwin"), SkinResourcePath("MainWin"));
        QCOMPARE(SkinResourcePath("READYRECORD_2"), SkinResourcePath("ReadyRecord_2"));
        QVERIFY(!SkinResourcePath("mainwin").isEmpty());
        QVERIFY(SkinResourcePath("NoSuchButton_1").isEmpty());
        QVERIFY(LoadSkinBitmap("NoSuchButton_1").isNull());
    }

    void appIconInDesktopSizes() {
        const QIcon icon = LoadSkinIcon("appicon");
        QVERIFY(!icon.isNull());
        QList<int> sizes;
        for (const QSize& s : icon.availableSizes())
            sizes << s.width();
        std::sort(sizes.begin(), sizes.end());
        QCOMPARE(sizes, (QList<int>{16, 22, 24, 32, 48, 64, 128, 256}));
    }
};

int main(int argc, char** argv) {
    // Needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    SkinTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "skin_test.moc"
