#include "base/outside_text.h"
#include "data_columns.h"

#include <QTest>
#include <QTextDocument>

using namespace base;

class TestOutsideText : public QObject {
    Q_OBJECT

private slots:
    void namesShowEveryCharacter_data() {
        addColumns<QString, QString>("name", "shown");
        QTest::newRow("plain") << QStringLiteral("ModemManager") << QStringLiteral("ModemManager");
        QTest::newRow("markup stays text")
            << QStringLiteral("<b><!--") << QStringLiteral("<b><!--");
        QTest::newRow("right-to-left override")
            << QStringLiteral("\u202Egpsd") << QStringLiteral("\\u202Egpsd");
        QTest::newRow("isolates and marks") << QStringLiteral("a\u2066b\u2069c\u200Fd\u061C")
                                            << QStringLiteral("a\\u2066b\\u2069c\\u200Fd\\u061C");
        QTest::newRow("line breaks, tab, escape")
            << QStringLiteral("a\nb\rc\td\x1B") << QStringLiteral("a\\nb\\rc\\td\\x1B");
        QTest::newRow("C1 control and DEL")
            << QStringLiteral("a\u0085b\x7F") << QStringLiteral("a\\x85b\\x7F");
        QTest::newRow("line separator")
            << QStringLiteral("a\u2028b") << QStringLiteral("a\\u2028b");
        QTest::newRow("backslash doubled")
            << QStringLiteral("a\\u202E") << QStringLiteral("a\\\\u202E");
        QTest::newRow("letters of other scripts stay")
            << QStringLiteral("Scanner \u00e9\u05d0\U0001F4E0")
            << QStringLiteral("Scanner \u00e9\u05d0\U0001F4E0");
        QTest::newRow("unpaired surrogate")
            << QString(QChar(0xD800)) + u'x' << QStringLiteral("\\uD800x");
    }
    void namesShowEveryCharacter() {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(base::outside_text::visible(name), shown);
        // and read back, for files that keep names visibly
        QCOMPARE(base::outside_text::fromVisible(shown), name);
    }

    // Every character read back, one plane beyond the first included; a backslash that escapes
    // nothing, or an escape cut short, stands for itself.
    void visibleReadsBack() {
        QString all;
        for (char32_t c = 0; c < 0x3000; ++c)
            all += QString::fromUcs4(&c, 1);
        for (const char32_t c : {U'\U000E0001', U'\U0001F4E0', U'\U0010FFFD'})
            all += QString::fromUcs4(&c, 1);
        QCOMPARE(base::outside_text::fromVisible(base::outside_text::visible(all)), all);
        QCOMPARE(base::outside_text::fromVisible(QStringLiteral("a\\qb\\x4")),
                 QStringLiteral("a\\qb\\x4"));
    }

    // Paths are bytes: valid UTF-8 shows its characters, any other byte its value.
    void pathsShowEveryByte_data() {
        addColumns<QByteArray, QString>("path", "shown");
        QTest::newRow("ASCII") << QByteArray("/dev/ttyACM0") << QStringLiteral("/dev/ttyACM0");
        QTest::newRow("UTF-8") << QByteArray("/dev/caf\xC3\xA9-\xF0\x9F\x93\xA0")
                               << QStringLiteral("/dev/caf\u00e9-\U0001F4E0");
        QTest::newRow("Latin-1 byte")
            << QByteArray("/dev/caf\xE9") << QStringLiteral("/dev/caf\\xE9");
        QTest::newRow("cut sequence at the end")
            << QByteArray("/dev/x\xE2\x82") << QStringLiteral("/dev/x\\xE2\\x82");
        QTest::newRow("overlong slash")
            << QByteArray("/dev/\xC0\xAFx") << QStringLiteral("/dev/\\xC0\\xAFx");
        QTest::newRow("encoded surrogate")
            << QByteArray("a\xED\xA0\x80") << QStringLiteral("a\\xED\\xA0\\x80");
        QTest::newRow("encoded U+FFFD") << QByteArray("a\xEF\xBF\xBD") << QStringLiteral("a\uFFFD");
        QTest::newRow("line break and byte FFh")
            << QByteArray("/tmp/a\nb\xFF") << QStringLiteral("/tmp/a\\nb\\xFF");
        QTest::newRow("encoded right-to-left override") << QByteArray("\xE2\x80\xAE"
                                                                      "x")
                                                        << QStringLiteral("\\u202Ex");
    }
    void pathsShowEveryByte() {
        QFETCH(QByteArray, path);
        QFETCH(QString, shown);
        QCOMPARE(base::outside_text::visible(path), shown);
    }

    // What a tooltip shows is the text itself: no tag is taken as markup, no picture is loaded.
    void toolTipsShowTheirText_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("image") << QStringLiteral("<b>x</b><img src=\"/dev/zero\"> 0123");
        QTest::newRow("control names") << QStringLiteral("PRICE<SUB>2<SUB> OK <EM> <dd>");
        QTest::newRow("entities and spaces") << QStringLiteral("a &amp;  b\nc");
    }
    void toolTipsShowTheirText() {
        QFETCH(QString, text);
        const QString tip = base::outside_text::toolTip(text);
        QVERIFY(Qt::mightBeRichText(tip));
        QTextDocument document;
        document.setHtml(tip);
        QCOMPARE(document.toPlainText(), text);
        QVERIFY(!tip.contains(QLatin1String("<img")));
    }
};

QTEST_MAIN(TestOutsideText)
#include "tst_outside_text.moc"
