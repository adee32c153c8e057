#include "data_columns.h"
#include "ui/window_places.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

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
        QCOMPARE(besidePosition(main, size, QRect(0, 0, 1000, 800)), position);
    }

    // A window closed at a place opens there in the next run.
    void rememberedBetweenRuns() {
        QTemporaryDir folder;
        QRect closedAt;
        {
            WindowPlaces places(folder.path());
            QWidget window;
            window.setObjectName(u"ScanLog"_s);
            places.place(&window, nullptr);
            window.setGeometry(120, 140, 320, 210);
            window.show();
            closedAt = window.geometry();
            window.hide();
        }
        QVERIFY(QFile::exists(folder.filePath(u"windows.ini"_s)));
        WindowPlaces places(folder.path());
        QWidget window;
        window.setObjectName(u"ScanLog"_s);
        QWidget other;
        other.setObjectName(u"TestCodes"_s);
        places.place(&window, nullptr);
        places.place(&other, nullptr);
        QCOMPARE(window.geometry(), closedAt);
        QVERIFY(other.geometry() != closedAt);
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
        WindowPlaces places(folder.path());
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
