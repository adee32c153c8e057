#include "main_window/text_view.h"
#include "serial_comm/receive_rules.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr QChar BS(8);
constexpr QChar LF(10);
constexpr QChar CR(13);

// The append rule taken literally, one backspace at a time; the real one must agree with it.
void referenceAppend(TextView& view, QString& text) {
    int length = view.TextLength();
    while (length >= 16384) {
        view.setText(view.Text().mid(4096));
        length = view.TextLength();
    }
    view.setSelStart(length);
    for (qsizetype i = text.indexOf(BS); i >= 0; i = text.indexOf(BS)) {
        if (i == 0) {
            view.setSelStart(length - 1);
            view.setSelLength(1);
            text.remove(0, 1);
        } else {
            text.remove(i - 1, 2);
        }
    }
    text.remove(LF);
    for (qsizetype i = text.indexOf(CR); i >= 0; i = text.indexOf(CR, i + 1))
        text.insert(i + 1, LF);
    view.setSelText(text);
}

// Text whose every 4096-character window differs from its neighbours, so a cut at the wrong
// place shows.
QString pattern(int length) {
    QString text(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        text[i] = QChar(u'!' + i % 91);
    return text;
}

QString randomText(QRandomGenerator& random, QStringView alphabet, int maxLength) {
    QString text;
    const int length = random.bounded(maxLength + 1);
    for (int i = 0; i < length; ++i)
        text.append(alphabet[random.bounded(int(alphabet.size()))]);
    return text;
}

} // namespace

class TestReceiveRules : public QObject {
    Q_OBJECT

private slots:
    void hexOfBlock_data();
    void hexOfBlock();
    void hexOfEveryByteReadsBack();

    void eventTexts_data();
    void eventTexts();

    void append_data();
    void append();
    void appendKeepsBound_data();
    void appendKeepsBound();
    void largeBlocksKeepViewBounded();
    void manyBackspacesStayFast();
    void appendFiltersCallersText();
    void appendAgreesWithReference();
};

void TestReceiveRules::hexOfBlock_data() {
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("NUL") << QString(QChar(0)) << "0h ";
    QTest::newRow("one digit") << QString(QChar(0x0F)) << "Fh ";
    QTest::newRow("two digits") << QString(QChar(0x10)) << "10h ";
    QTest::newRow("carriage return") << QString(CR) << "Dh ";
    QTest::newRow("line feed") << QString(LF) << "Ah ";
    QTest::newRow("letter") << "A"
                            << "41h ";
    QTest::newRow("FF") << QString(QChar(0xFF)) << "FFh ";
    QTest::newRow("A B CR") << "AB\r"
                            << "41h 42h Dh ";
    QTest::newRow("A B CR LF") << "AB\r\n"
                               << "41h 42h Dh Ah ";
    QTest::newRow("backspace") << "x\by"
                               << "78h 8h 79h ";
    QTest::newRow("above FF") << QString(QChar(0x100)) << "100h ";
    QTest::newRow("highest code unit") << QString(QChar(0xFFFF)) << "FFFFh ";
}

void TestReceiveRules::hexOfBlock() {
    QFETCH(QString, block);
    QFETCH(QString, expected);
    QCOMPARE(hexRendering(block), expected);
}

void TestReceiveRules::hexOfEveryByteReadsBack() {
    QString block;
    for (int code = 0; code < 256; ++code)
        block.append(QChar(code));
    const QString hex = hexRendering(block);

    QVERIFY(!hex.contains(CR));
    QVERIFY(!hex.contains(LF));
    QVERIFY(hex.endsWith(QLatin1String("h ")));
    const QStringList codes = hex.split(u' ', Qt::SkipEmptyParts);
    QCOMPARE(codes.size(), 256);
    for (int code = 0; code < 256; ++code) {
        const QString& token = codes[code];
        QVERIFY2(token.endsWith(u'h'), qPrintable(token));
        QCOMPARE(token.chopped(1), QString::number(code, 16).toUpper());
    }
}

void TestReceiveRules::eventTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("eventMessage");
    QTest::addColumn<QString>("errorMessage");

    QTest::newRow("1 send") << 1 << QString() << QString();
    QTest::newRow("2 receive") << 2 << QString() << QString();
    QTest::newRow("3") << 3 << "Change in CTS Detected" << QString();
    QTest::newRow("4") << 4 << "Change in DSR Detected" << QString();
    QTest::newRow("5") << 5 << "Change in CD Detected" << QString();
    QTest::newRow("6") << 6 << "The Phone is Ringing" << QString();
    QTest::newRow("7") << 7 << "End of File Detected" << QString();
    QTest::newRow("1001") << 1001 << "Break Received" << QString();
    QTest::newRow("1002") << 1002 << QString() << "CTS Timeout";
    QTest::newRow("1003") << 1003 << QString() << "DSR Timeout";
    QTest::newRow("1004") << 1004 << "Framing Error" << QString();
    QTest::newRow("1005") << 1005 << QString() << "Overrun Error";
    QTest::newRow("1006") << 1006 << QString() << "Carrier Detect Timeout";
    QTest::newRow("1007") << 1007 << QString() << "Receive Buffer Overflow";
    QTest::newRow("1008") << 1008 << "Parity Error" << QString();
    QTest::newRow("1009") << 1009 << QString() << "Transmit Buffer Full";
    QTest::newRow("1010") << 1010 << QString() << "Unknown error or event 1010";
    QTest::newRow("1000") << 1000 << QString() << "Unknown error or event 1000";
    QTest::newRow("0") << 0 << QString() << "Unknown error or event 0";
    QTest::newRow("8") << 8 << QString() << "Unknown error or event 8";
    QTest::newRow("negative") << -5 << QString() << "Unknown error or event-5";
    QTest::newRow("16-bit min") << -32768 << QString() << "Unknown error or event-32768";
    QTest::newRow("16-bit max") << 32767 << QString() << "Unknown error or event 32767";
}

void TestReceiveRules::eventTexts() {
    QFETCH(int, code);
    QFETCH(QString, eventMessage);
    QFETCH(QString, errorMessage);
    const EventTexts texts = eventTextsFor(qint16(code));
    QCOMPARE(texts.eventMessage, eventMessage);
    QCOMPARE(texts.errorMessage, errorMessage);
}

void TestReceiveRules::append_data() {
    QTest::addColumn<QString>("view");
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<QString>("expected");

    QTest::newRow("CR LF is one line break") << "" << QStringList{"AB\r\n"} << "AB\r\n";
    QTest::newRow("LF alone is dropped") << "" << QStringList{"AB\n", "CD"} << "ABCD";
    QTest::newRow("CR alone is a line break") << "" << QStringList{"A\rB"} << "A\r\nB";
    QTest::newRow("two CRs") << "" << QStringList{"\r\r"} << "\r\n\r\n";
    QTest::newRow("LF CR") << "" << QStringList{"A\n\rB"} << "A\r\nB";
    QTest::newRow("CR LF split over blocks") << "" << QStringList{"A\r", "\nB"} << "A\r\nB";
    QTest::newRow("appends after existing text") << "old" << QStringList{"new"} << "oldnew";

    QTest::newRow("x BS y") << "" << QStringList{"x\by"} << "y";
    QTest::newRow("two pairs") << "P" << QStringList{"ab\b\bc"} << "Pc";
    QTest::newRow("leading BS erases view's last") << "PQ" << QStringList{"\bZ"} << "PZ";
    QTest::newRow("two leading BS erase one") << "PQ" << QStringList{"\b\bZ"} << "PZ";
    QTest::newRow("BS alone erases view's last") << "PQ" << QStringList{"\b"} << "P";
    QTest::newRow("BS leading after a pair") << "PQ" << QStringList{"a\b\bZ"} << "PZ";
    QTest::newRow("more BS than text") << "PQ" << QStringList{"ab\b\b\b\bZ"} << "PZ";
    QTest::newRow("one erase per block") << "PQR" << QStringList{"\b", "\b"} << "P";
    QTest::newRow("leading BS on empty view") << "" << QStringList{"\bZ"} << "Z";
    QTest::newRow("BS erases a line feed") << "" << QStringList{"A\n\bB"} << "AB";
    QTest::newRow("BS erases a CR") << "" << QStringList{"A\r\bB"} << "AB";
    QTest::newRow("BS leaves CR of CR LF") << "" << QStringList{"A\r\n\bB"} << "A\r\nB";
    QTest::newRow("leading BS on view ending in line break") << "A\r\n"
                                                             << QStringList{"\bB"} << "A\rB";

    QTest::newRow("empty block") << "PQ" << QStringList{""} << "PQ";
}

void TestReceiveRules::append() {
    QFETCH(QString, view);
    QFETCH(QStringList, blocks);
    QFETCH(QString, expected);

    PlainTextView target;
    target.setText(view);
    for (QString block : blocks)
        AppendToView(target, block);

    QCOMPARE(target.Text(), expected);
    QCOMPARE(target.SelStart(), target.TextLength());
    QCOMPARE(target.SelLength(), 0);
}

void TestReceiveRules::appendKeepsBound_data() {
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("expected");

    const QString at16383 = pattern(16383);
    const QString at16384 = pattern(16384);
    const QString at20479 = pattern(20479);
    const QString at20480 = pattern(20480);
    const QString at100000 = pattern(100000);

    QTest::newRow("16383 not cut") << at16383 << "X" << at16383 + "X";
    QTest::newRow("16384 cut once") << at16384 << "X" << at16384.mid(4096) + "X";
    QTest::newRow("empty block still cuts") << at16384 << "" << at16384.mid(4096);
    QTest::newRow("leading BS after cut") << at16384 << "\bX" << at16384.mid(4096).chopped(1) + "X";
    QTest::newRow("20479 one cut suffices") << at20479 << "X" << at20479.mid(4096) + "X";
    QTest::newRow("20480 needs two cuts") << at20480 << "X" << at20480.mid(8192) + "X";
    QTest::newRow("100000 needs 21 cuts") << at100000 << "X" << at100000.mid(21 * 4096) + "X";
}

void TestReceiveRules::appendKeepsBound() {
    QFETCH(QString, view);
    QFETCH(QString, block);
    QFETCH(QString, expected);

    PlainTextView target;
    target.setText(view);
    AppendToView(target, block);

    QCOMPARE(target.Text(), expected);
    QCOMPARE(target.SelStart(), target.TextLength());
    QCOMPARE(target.SelLength(), 0);
}

void TestReceiveRules::largeBlocksKeepViewBounded() {
    PlainTextView target;
    target.setText(pattern(16383));
    for (int round = 0; round < 5; ++round) {
        QString block = pattern(100'000 + round);
        const QString sent = block;
        AppendToView(target, block);
        QVERIFY(target.Text().endsWith(sent));
        QVERIFY2(target.TextLength() - sent.size() < 16384, qPrintable(QString::number(round)));
    }
}

void TestReceiveRules::manyBackspacesStayFast() {
    constexpr int count = 1'000'000;
    PlainTextView target;
    target.setText(QStringLiteral("PQ"));
    QString block = QString(count, u'x') + QString(count + 1, BS) + u'y';

    QElapsedTimer timer;
    timer.start();
    AppendToView(target, block);
    // Taking the pairs out one by one would move about 10^12 characters here.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(target.Text(), QStringLiteral("Py"));
}

void TestReceiveRules::appendFiltersCallersText() {
    PlainTextView target;
    QString text = QStringLiteral("\bab\b\n\r");
    AppendToView(target, text);
    QCOMPARE(text, QStringLiteral("a\r\n"));
}

void TestReceiveRules::appendAgreesWithReference() {
    QRandomGenerator random(20240611);
    const QString viewAlphabet = QStringLiteral("ab\r\n");
    const QString blockAlphabet = QStringLiteral("ab\b\b\b\r\n");

    for (int round = 0; round < 20'000; ++round) {
        QString start = randomText(random, viewAlphabet, 6);
        if (round % 10 == 0)
            start.prepend(pattern(16380 + random.bounded(8)));
        QString block = randomText(random, blockAlphabet, 12);
        QString referenceBlock = block;

        PlainTextView actual;
        actual.setText(start);
        PlainTextView reference;
        reference.setText(start);
        AppendToView(actual, block);
        referenceAppend(reference, referenceBlock);

        const QByteArray context = QStringLiteral("view ends %1, block %2")
                                       .arg(hexRendering(start.right(6)), hexRendering(block))
                                       .toLatin1();
        QVERIFY2(actual.Text() == reference.Text(), context.constData());
        QVERIFY2(actual.SelStart() == reference.SelStart(), context.constData());
        QVERIFY2(block == referenceBlock, context.constData());
    }
}

QTEST_MAIN(TestReceiveRules)
#include "tst_receive_rules.moc"
