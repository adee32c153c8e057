#include "scan_log/model/visible_bytes.h"
#include "sending/model/saved_commands.h"
#include "sending/model/send_entry.h"

#include <QTest>

using namespace sending;
using namespace Qt::Literals::StringLiterals;
using Kind = EntryError::Kind;

Q_DECLARE_METATYPE(sending::SendAs)
Q_DECLARE_METATYPE(sending::EntryError::Kind)

class TstSendEntry : public QObject {
    Q_OBJECT

private slots:
    void entriesGiveTheirBytes_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<SendAs>("as");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("trigger by names") << u"<SYN>T<CR>"_s << SendAs::Text << "\x16T\r"_ba;
        QTest::newRow("the same by escapes") << u"\\x16T\\r"_s << SendAs::Text << "\x16T\r"_ba;
        QTest::newRow("the same in hex") << u"16 54 0d"_s << SendAs::Hex << "\x16T\r"_ba;
        QTest::newRow("hex without blanks, upper case")
            << u"16540D"_s << SendAs::Hex << "\x16T\r"_ba;
        QTest::newRow("escapes") << u"a\\tb\\nc\\\\"_s << SendAs::Text << "a\tb\nc\\"_ba;
        QTest::newRow("a literal <") << u"<<GS>"_s << SendAs::Text << "<GS>"_ba;
        QTest::newRow("a byte by its code") << u"<e9>"_s << SendAs::Text << "\xe9"_ba;
        QTest::newRow("Latin-1 as one byte") << u"é"_s << SendAs::Text << "\xe9"_ba;
        QTest::newRow("NUL") << u"<NUL>\\x00"_s << SendAs::Text << QByteArray(2, '\0');
        QTest::newRow("form feed is not FFh") << u"<FF><ff>"_s << SendAs::Text << "\x0c\xff"_ba;
        QTest::newRow("a > alone is a character") << u"a>b"_s << SendAs::Text << "a>b"_ba;
        QTest::newRow("a backslash that escapes nothing")
            << u"C:\\q\\"_s << SendAs::Text << "C:\\q\\"_ba;
    }
    void entriesGiveTheirBytes() {
        QFETCH(QString, entry);
        QFETCH(SendAs, as);
        QFETCH(QByteArray, bytes);
        const auto parsed = parseEntry(entry, as);
        QVERIFY2(parsed.ok(), qPrintable(parsed.ok() ? QString() : parsed.error().found));
        QCOMPARE(parsed.value(), bytes);
    }

    void malformedEntriesSayWhereAndWhat_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<SendAs>("as");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("found");
        QTest::newRow("bad \\x") << u"ab\\xZ1"_s << SendAs::Text << Kind::BadHexEscape << 2
                                 << u"\\xZ1"_s;
        QTest::newRow("\\x at the end")
            << u"\\x4"_s << SendAs::Text << Kind::BadHexEscape << 0 << u"\\x4"_s;
        QTest::newRow("unknown name")
            << u"x<FOO>"_s << SendAs::Text << Kind::UnknownName << 1 << u"<FOO>"_s;
        QTest::newRow("upper-case byte")
            << u"<E9>"_s << SendAs::Text << Kind::UnknownName << 0 << u"<E9>"_s;
        QTest::newRow("unclosed name")
            << u"<CR"_s << SendAs::Text << Kind::UnclosedName << 0 << u"<"_s;
        QTest::newRow("lone <") << u"a < b"_s << SendAs::Text << Kind::UnclosedName << 2 << u"<"_s;
        QTest::newRow("beyond a byte")
            << u"ok€"_s << SendAs::Text << Kind::BeyondOneByte << 2 << u"€"_s;
        QTest::newRow("beyond the plane")
            << u"😀"_s << SendAs::Text << Kind::BeyondOneByte << 0 << u"😀"_s;
        QTest::newRow("empty text") << QString() << SendAs::Text << Kind::Empty << 0 << QString();
        QTest::newRow("blank hex") << u"  "_s << SendAs::Hex << Kind::Empty << 0 << QString();
        QTest::newRow("lone digit")
            << u"16 5"_s << SendAs::Hex << Kind::LoneHexDigit << 3 << u"5"_s;
        QTest::newRow("odd run") << u"165"_s << SendAs::Hex << Kind::LoneHexDigit << 2 << u"5"_s;
        QTest::newRow("not a digit")
            << u"16 g4"_s << SendAs::Hex << Kind::NotHexDigit << 3 << u"g"_s;
        QTest::newRow("second not a digit")
            << u"1x"_s << SendAs::Hex << Kind::NotHexDigit << 1 << u"x"_s;
    }
    void malformedEntriesSayWhereAndWhat() {
        QFETCH(QString, entry);
        QFETCH(SendAs, as);
        QFETCH(Kind, kind);
        QFETCH(int, position);
        QFETCH(QString, found);
        const auto parsed = parseEntry(entry, as);
        QVERIFY(!parsed.ok());
        QCOMPARE(parsed.error().kind, kind);
        QCOMPARE(parsed.error().position, position);
        QCOMPARE(parsed.error().found, found);
    }

    // What the Scan Log and the transcript show of any bytes can be sent back as they were (the
    // backslash apart: it starts the escapes).
    void everyVisibleFormSendsItsBytes() {
        std::string all;
        for (int byte = 0; byte < 256; ++byte)
            if (byte != '\\')
                all.push_back(static_cast<char>(byte));
        const QString form = QString::fromStdString(scan_log::visibleForm(all));
        const auto parsed = parseEntry(form, SendAs::Text);
        QVERIFY(parsed.ok());
        QCOMPARE(parsed.value(), QByteArray(all.data(), qsizetype(all.size())));
    }

    void commandsFileReadsBackWhatWasWritten() {
        const QList<SavedCommand> commands{{u"Trigger"_s, SendAs::Text, u"<SYN>T<CR>"_s},
                                           {u"Beep [long]"_s, SendAs::Hex, u"1b 07"_s},
                                           {u"Ünïcode"_s, SendAs::Text, u"é\\x00"_s}};
        const ParsedCommands parsed = parseCommands(formatCommands(commands));
        QCOMPARE(parsed.commands, commands);
        QCOMPARE(parsed.badLines, 0);
    }

    void commandsFileSkipsWhatItCannotRead() {
        const QByteArray text = "junk before\n[One]\nas=hex\nentry=06\n[No entry]\nas=text\n"
                                "[One]\nentry=again\r\nbogus=1\n"_ba;
        const ParsedCommands parsed = parseCommands(text);
        // The later "One" replaces the earlier in its place; the section without entry is bad.
        QCOMPARE(parsed.commands, (QList<SavedCommand>{{u"One"_s, SendAs::Text, u"again"_s}}));
        QCOMPARE(parsed.badLines, 3);
    }
};

QTEST_APPLESS_MAIN(TstSendEntry)
#include "tst_send_entry.moc"
