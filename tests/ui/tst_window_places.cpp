#include "data_columns.h"
#include "ui/window_places.h"

#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace ui;

using namespace Qt::Literals::StringLiterals;

class TestWindowPlaces : public QObject {
    Q_OBJECT

private slots:
    void besideTheMainWindow_data() {
        addColumns<QRect, QSize, QPoint>("main", "size", "position");
        // The screen's free area is 0,0 1000x800 in every row.
        QTest::newRow("room on the right")
            << QRect(0, 0, 400, 300) << QSize(300, 200) << QPoint(408, 0);
        QTest::newRow("room on the left only")
            << QRect(600, 50, 300, 300) << QSize(300, 200) << QPoint(292, 50);
        QTest::newRow("room on neither side")
            << QRect(300, 0, 400, 300) << QSize(500, 200) << QPoint(500, 0);
        QTest::newRow("kept above the bottom")
            << QRect(0, 700, 400, 100) << QSize(300, 200) << QPoint(408, 600);
        QTest::newRow("larger than the screen")
            << QRect(0, 0, 400, 300) << QSize(1200, 900) << QPoint(0, 0);
    }
    void besideTheMainWindow() {
        QFETCH(QRect, main);
        QFETCH(QSize, size);
        QFETCH(QPoint, position);
        QCOMPARE(ui::besidePosition(main, size, QRect(0, 0, 1000, 800)), position);
    }

    // Frames on a 1920x1080 screen beside a centred main window of 584x630 (its frame): a
    // window too wide for either side shrinks to the roomier side's room; one that cannot
    // shrink that far keeps to the screen's edge; a second window takes the free side; a third
    // cascades instead of hiding one.
    void framesBesideTheMainWindow_data() {
        addColumns<QSize, QSize, QList<QRect>, QRect>("wanted", "minimum", "others", "frame");
        const QRect right(1260, 225, 660, 500);
        QTest::newRow("fits on the right")
            << QSize(600, 500) << QSize(300, 200) << QList<QRect>{} << QRect(1260, 225, 600, 500);
        QTest::newRow("too wide: shrunk to the room")
            << QSize(1200, 500) << QSize(580, 200) << QList<QRect>{} << right;
        QTest::newRow("cannot shrink so far: at the screen's edge")
            << QSize(1200, 500) << QSize(900, 200) << QList<QRect>{} << QRect(1020, 225, 900, 500);
        QTest::newRow("the right taken: the left")
            << QSize(1200, 500) << QSize(580, 200) << QList<QRect>{right}
            << QRect(0, 225, 660, 500);
        QTest::newRow("a smaller one over the right one: the left")
            << QSize(640, 420) << QSize(300, 200) << QList<QRect>{QRect(1260, 225, 660, 420)}
            << QRect(20, 225, 640, 420);
        QTest::newRow("both taken: cascaded below the title")
            << QSize(600, 500) << QSize(300, 200)
            << QList<QRect>{QRect(1260, 225, 600, 500), QRect(0, 225, 660, 500)}
            << QRect(1292, 257, 600, 500);
        QTest::newRow("taller than the screen")
            << QSize(600, 2000) << QSize(300, 200) << QList<QRect>{} << QRect(1260, 0, 600, 1080);
    }
    void framesBesideTheMainWindow() {
        QFETCH(QSize, wanted);
        QFETCH(QSize, minimum);
        QFETCH(QList<QRect>, others);
        QFETCH(QRect, frame);
        const QRect area(0, 0, 1920, 1080);
        const QRect main(668, 225, 584, 630);
        const QRect placed = ui::besideFrame(main, wanted, minimum, area, others);
        QCOMPARE(placed, frame);
        QVERIFY(area.contains(placed));
        for (const QRect& other : others)
            QVERIFY(!placed.contains(other) && placed.topLeft() != other.topLeft());
    }

    // A saved frame that does not fit the screen is brought onto it, never restored as it is.
    void savedFramesFitted_data() {
        addColumns<QRect, QRect>("saved", "fitted");
        QTest::newRow("fits") << QRect(100, 100, 600, 400) << QRect(100, 100, 600, 400);
        QTest::newRow("blown up") << QRect(40, 30, 32767, 900) << QRect(0, 30, 1920, 900);
        QTest::newRow("off the right") << QRect(1800, 100, 600, 400) << QRect(1320, 100, 600, 400);
        QTest::newRow("above the top") << QRect(100, -300, 600, 400) << QRect(100, 0, 600, 400);
        QTest::newRow("shrunk below its least")
            << QRect(100, 100, 50, 40) << QRect(100, 100, 300, 200);
    }
    void savedFramesFitted() {
        QFETCH(QRect, saved);
        QFETCH(QRect, fitted);
        QCOMPARE(ui::fittedFrame(saved, QSize(300, 200), QRect(0, 0, 1920, 1080)), fitted);
    }

    // A window saved 32,767 pixels wide comes back on the screen (the offscreen one, 800x600).
    void blownUpSizeNotRestored() {
        QTemporaryDir folder;
        {
            ui::WindowPlaces places(folder.path());
            QWidget window;
            window.setObjectName(u"TestCodes"_s);
            places.place(&window, nullptr);
            window.setGeometry(50, 40, 32767, 500);
            window.show();
            window.hide();
        }
        ui::WindowPlaces places(folder.path());
        QWidget main;
        main.setGeometry(100, 100, 300, 200);
        main.show();
        QWidget window;
        window.setObjectName(u"TestCodes"_s);
        places.place(&window, &main);
        const QRect area = main.screen()->availableGeometry();
        QVERIFY2(area.contains(QRect(window.pos(), window.size())),
                 qPrintable(u"%1,%2 %3x%4"_s.arg(window.x())
                                .arg(window.y())
                                .arg(window.width())
                                .arg(window.height())));
    }

    // A window closed at a place opens there in the next run.
    void rememberedBetweenRuns() {
        QTemporaryDir folder;
        QRect closedAt;
        {
            ui::WindowPlaces places(folder.path());
            QWidget window;
            window.setObjectName(u"ScanLog"_s);
            places.place(&window, nullptr);
            window.setGeometry(120, 140, 320, 210);
            window.show();
            closedAt = window.frameGeometry();
            window.hide();
        }
        QVERIFY(QFile::exists(folder.filePath(u"windows.ini"_s)));
        ui::WindowPlaces places(folder.path());
        QWidget window;
        window.setObjectName(u"ScanLog"_s);
        QWidget other;
        other.setObjectName(u"TestCodes"_s);
        places.place(&window, nullptr);
        places.place(&other, nullptr);
        window.show();
        QCOMPARE(window.frameGeometry(), closedAt);
        QVERIFY(other.frameGeometry() != closedAt);
    }

    // A link in the file's place is neither read nor written through.
    void neverThroughALink() {
        QTemporaryDir folder;
        const QString target = folder.filePath(u"elsewhere"_s);
        {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[ScanLog]\ngeometry=@ByteArray(x)\n");
        }
        QVERIFY(QFile::link(target, folder.filePath(u"windows.ini"_s)));
        ui::WindowPlaces places(folder.path());
        QWidget window;
        window.setObjectName(u"ScanLog"_s);
        places.place(&window, nullptr);
        window.show();
        window.hide();
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("[ScanLog]\ngeometry=@ByteArray(x)\n"));
        QVERIFY(QFileInfo(folder.filePath(u"windows.ini"_s)).isSymLink());
    }
};

QTEST_MAIN(TestWindowPlaces)
#include "tst_window_places.moc"
