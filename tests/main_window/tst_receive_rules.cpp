#include "main_window/receive_rules.h"

#include <QTest>

#include <utility>

class TestReceiveRules : public QObject {
    Q_OBJECT

private slots:
    void eventTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("eventMessage");
        QTest::addColumn<QString>("errorMessage");
        const auto row = [](int code, const char* event, const char* error) {
            QTest::addRow("%d", code)
                << code << QString::fromLatin1(event) << QString::fromLatin1(error);
        };
        // Send and receive are the caller's own business.
        row(1, "", "");
        row(2, "", "");
        const std::pair<int, const char*> events[] = {
            {3, "Change in CTS Detected"}, {4, "Change in DSR Detected"},
            {5, "Change in CD Detected"},  {6, "The Phone is Ringing"},
            {7, "End of File Detected"},   {1001, "Break Received"},
            {1004, "Framing Error"},       {1008, "Parity Error"}};
        for (const auto& [code, text] : events)
            row(code, text, "");
        row(1002, "", "CTS Timeout");
        row(1003, "", "DSR Timeout");
        row(1005, "", "Overrun Error");
        row(1006, "", "Carrier Detect Timeout");
        row(1007, "", "Receive Buffer Overflow");
        row(1009, "", "Transmit Buffer Full");
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
