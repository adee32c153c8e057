// What a scanner typing for US English sends, as computers set to other layouts read it
// (xkeyboard-config's keymaps through libxkbcommon); the expected texts are read off the
// layouts' key charts.
#include "data_columns.h"
#include "test_codes/model/keyboard_layouts.h"

#include <QTest>

using namespace test_codes;

class TestKeyboardLayouts : public QObject {
    Q_OBJECT

private slots:
    void typed_data() {
        addColumns<QString, QString, QString>("layout", "sent", "arrives");
        const auto row = [](const char* name, const char* layout, const char* sent,
                            const char* arrives) {
            QTest::newRow(name) << QString::fromLatin1(layout) << QString::fromUtf8(sent)
                                << QString::fromUtf8(arrives);
        };
        row("German: y and z, - and /", "de", "Linnet-128/$xyz", "Linnetß128-$xzy");
        row("German: letters and digits stay", "de", "HA112", "HA112");
        row("French: A and Q, digits as symbols", "fr", "HA112", "HQ&&é");
        row("Czech: the digit row", "cz", "8594156270087", "áříč+řžěýééáý");
        row("UK: quote, at and hash", "gb", "\"@#", "@\"£");
        row("not on a US keyboard", "de", "é", "<none>");
        row("no such layout", "xx-none", "ABC", "<none>");
    }
    void typed() {
        QFETCH(QString, layout);
        QFETCH(QString, sent);
        QFETCH(QString, arrives);
        const auto typed = typedOnLayout(layout.toStdString(), sent.toStdString());
        QCOMPARE(typed ? QString::fromStdString(*typed) : QStringLiteral("<none>"), arrives);
    }
};

QTEST_APPLESS_MAIN(TestKeyboardLayouts)
#include "tst_keyboard_layouts.moc"
