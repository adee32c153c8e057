#include "data_columns.h"
#include "fake_file_chooser.h"
#include "form_harness.h"
#include "scan_log/window/recorder.h"
#include "ui/echo.h"
#include "views/rich_text_box.h"

#include <QAction>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace ui;
using namespace views;
using namespace main_window;

using namespace Qt::Literals::StringLiterals;

namespace {

// A main window on the fake port whose file dialog answers with a path in a fresh folder.
struct RecordHarness : FormHarness {
    FakeFileChooser* files;
    QTemporaryDir dir;

    RecordHarness() {
        auto chooser = std::make_unique<FakeFileChooser>();
        files = chooser.get();
        form->setFileChooser(std::move(chooser));
        port->forceOpen(true);
    }
    QAction* record() const { return child<QAction>(u"MRecord"_s); }
    void type(char key) const {
        int code = static_cast<unsigned char>(key);
        form->Term_KeyPress(code);
    }
    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
};

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT

private slots:
    void proposesADatedNameInTheDocumentsFolder() {
        RecordHarness h;
        QCOMPARE(h.record()->text(), u"&Record to File..."_s);
        choose(h.record()); // the double cancels
        QVERIFY(!h.record()->isChecked());
        QVERIFY(!h.form->recorder().recording());
        QCOMPARE(h.files->proposed.size(), 1);
        const QFileInfo proposed(h.files->proposed[0]);
        QCOMPARE(proposed.absolutePath(),
                 QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                     .absolutePath());
        QVERIFY2(QRegularExpression(u"^linnet-\\d{8}-\\d{6}\\.log$"_s)
                     .match(proposed.fileName())
                     .hasMatch(),
                 qPrintable(proposed.fileName()));
    }

    // Both kinds hold exactly what arrived (and, in a transcript, what was sent), across a close
    // and open of the port, until the item is chosen again.
    void recordsWhatArrivedAndWasSent_data() {
        // expected: raw bytes, or the transcript without times
        addColumns<QString, QString, QByteArray>("name", "filter", "expected");
        QTest::newRow("transcript") << "t.log"
                                    << ""
                                    << QByteArray("RX ]E04006381333931<CR><LF>\n"
                                                  "TX a\nTX <CR>\n"
                                                  "RX <NUL><e9><ff>x\n"
                                                  "RX after reopen<HT>\n");
        QTest::newRow("raw") << "r.bin"
                             << ""
                             << QByteArray("]E04006381333931\r\n\0\xe9\xffxafter reopen\t", 35);
        QTest::newRow("raw by filter, no suffix")
            << "raw"
            << "Raw received bytes (*.bin)"
            << QByteArray("]E04006381333931\r\n\0\xe9\xffxafter reopen\t", 35);
    }
    void recordsWhatArrivedAndWasSent() {
        QFETCH(QString, name);
        QFETCH(QString, filter);
        QFETCH(QByteArray, expected);
        RecordHarness h;
        h.files->answer = h.dir.filePath(name);
        h.files->filter = filter;
        h.port->receive(u"before\r"_s); // not recorded yet
        choose(h.record());
        QVERIFY(h.record()->isChecked());
        h.port->receive(u"]E04006381333931\r\n"_s);
        h.type('a');
        h.type('\r');
        h.port->receive(QString::fromLatin1(QByteArray("\0\xe9\xffx", 4)));
        choose(h.child<QAction>(u"MOpen"_s));
        QVERIFY(!h.port->PortOpen());
        choose(h.child<QAction>(u"MOpen"_s));
        h.port->receive(u"after reopen\t"_s);
        choose(h.record());
        QVERIFY(!h.record()->isChecked());
        h.port->receive(u"too late\r"_s);

        QByteArray got = RecordHarness::contents(h.files->answer);
        if (name.endsWith(u".log")) {
            // Every line starts with the local time, ISO 8601 to the millisecond.
            static const QRegularExpression time(
                u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d) "_s,
                QRegularExpression::MultilineOption);
            QCOMPARE(QString::fromLatin1(got).count(time), 5);
            got = QString::fromLatin1(got).remove(time).toLatin1();
        }
        QCOMPARE(got, expected);
        QVERIFY(h.prompts->messages().isEmpty() ||
                !h.prompts->messages().last().text.contains(u"Recording"));
    }

    void endsWithTheProgram() {
        RecordHarness h;
        const QString path = h.dir.filePath(u"end.bin"_s);
        h.files->answer = path;
        choose(h.record());
        h.port->receive(u"kept\r"_s);
        // The window owns the file chooser: its answer is not read after this.
        h.form.reset();
        QCOMPARE(RecordHarness::contents(path), QByteArray("kept\r"));
    }

    void fileThatCannotBeMadeIsSaid() {
        RecordHarness h;
        h.files->answer = h.dir.filePath(u"no/such/folder/x.log"_s);
        choose(h.record());
        QVERIFY(!h.record()->isChecked());
        QCOMPARE(h.prompts->messages().size(), 1);
        QVERIFY(h.prompts->messages()[0].text.startsWith(u"Cannot record to "));
        QCOMPARE(h.prompts->messages()[0].icon, ui::Prompts::Icon::Exclamation);
    }

    // Only a regular file is recorded into: a FIFO would hold open() (and later the writes) on
    // the user-interface thread, a device would take the data somewhere else. Neither is touched.
    void onlyRegularFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO without a reader") << u"fifo"_s;
        QTest::newRow("device") << u"/dev/null"_s;
        QTest::newRow("folder") << u"folder"_s;
    }
    void onlyRegularFiles() {
        QFETCH(QString, kind);
        RecordHarness h;
        QString path = kind;
        if (kind == u"fifo") {
            path = h.dir.filePath(u"fifo"_s);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"folder") {
            path = h.dir.path();
        }
        h.files->answer = path;
        choose(h.record());
        QVERIFY(!h.record()->isChecked());
        QCOMPARE(h.prompts->messages().size(), 1);
        const QString text = h.prompts->messages()[0].text;
        QVERIFY2(text.startsWith(u"Cannot record to "_s + path) &&
                     text.contains(u"not a regular file"),
                 qPrintable(text));
    }

    // Recording stops with one warning when a write fails or the file is gone, whether that is
    // seen when much is waiting or when recording is stopped; the port and the views go on.
    void failureStopsRecordingOnce_data() {
        addColumns<QString, bool, QString>("fault", "flood", "reason");
        // A file size limit makes writes past it fail (EFBIG), as a full disk does.
        QTest::newRow("write fails, much waiting") << u"limit"_s << true << u"too large"_s;
        QTest::newRow("write fails, on stop") << u"limit"_s << false << u"too large"_s;
        QTest::newRow("file deleted") << u"deleted"_s << false << u"deleted"_s;
    }
    void failureStopsRecordingOnce() {
        QFETCH(QString, fault);
        QFETCH(bool, flood);
        QFETCH(QString, reason);
        RecordHarness h;
        const QString path = h.dir.filePath(u"r.bin"_s);
        h.files->answer = path;
        choose(h.record());
        QVERIFY(h.record()->isChecked());
        h.port->receive(u"AB\r"_s);
        rlimit before{};
        ::getrlimit(RLIMIT_FSIZE, &before);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &before); });
        if (fault == u"limit") {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit small = before;
            small.rlim_cur = 1;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        } else {
            QVERIFY(QFile::remove(path));
        }
        if (flood) {
            // Straight to the recorder: the views would take their time over that much.
            h.form->recorder().received(QByteArray(scan_log::Recorder::SoonBytes, 'x'), 0);
            QTRY_VERIFY(!h.record()->isChecked());
        } else {
            choose(h.record());
        }
        QTRY_COMPARE(h.prompts->messages().size(), 1);
        const auto message = h.prompts->messages()[0];
        QVERIFY2(message.text.startsWith(u"Recording to "_s + path + u" has stopped: "_s) &&
                     message.text.contains(reason),
                 qPrintable(message.text));
        QCOMPARE(message.icon, ui::Prompts::Icon::Exclamation);
        QVERIFY(!h.form->recorder().recording());

        h.port->receive(u"more\r"_s);
        QTRY_VERIFY(h.form->Term().Text().contains(u"more"));
        QCOMPARE(h.prompts->messages().size(), 1);
        QVERIFY(h.port->PortOpen());
    }

    // What waits is written whole, in as many writes as it takes.
    void writesAllThatWaits() {
        scan_log::Recorder recorder;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"big.bin"_s);
        QVERIFY(recorder.start(path, scan_log::Recorder::Kind::Raw));
        QByteArray data;
        for (int i = 0; data.size() < 3 * scan_log::Recorder::ChunkBytes + 17; ++i)
            data += QByteArray::number(i) + ' ';
        recorder.received(data, 0);
        recorder.stop();
        QCOMPARE(RecordHarness::contents(path), data);
    }
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
