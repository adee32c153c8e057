#include "data_columns.h"
#include "main_window/receive_rules.h"

#include <QTest>

using namespace main_window;

class TestReceiveRules : public QObject {
    Q_OBJECT

private slots:
    void eventTexts_data() {
        addColumns<int, QString, QString>("code", "eventMessage", "errorMessage");
        const auto row = [](int code, const char* event, const char* error) {
            QTest::addRow("%d", code)
                << code << QString::fromLatin1(event) << QString::fromLatin1(error);
        };
        // Send and receive are the caller's own business; line errors that only inform go to
        // the status line, the others to the prompt.
        row(1, "", "");
        row(2, "", "");
        row(1004, "Framing Error", "");
        row(1005, "", "Overrun Error");
        // Any other code, written with a blank before it or its minus sign in the blank's place.
        row(0, "", "Unknown error or event 0");
        row(8, "", "Unknown error or event 8");
        row(1010, "", "Unknown error or event 1010");
        row(-5, "", "Unknown error or event-5");
    }
    void eventTexts() {
        QFETCH(int, code);
        QFETCH(QString, eventMessage);
        QFETCH(QString, errorMessage);
        const EventTexts texts = eventTextsFor(qint16(code));
        QCOMPARE(texts.eventMessage, eventMessage);
        QCOMPARE(texts.errorMessage, errorMessage);
    }
};

QTEST_MAIN(TestReceiveRules)
#include "tst_receive_rules.moc"
