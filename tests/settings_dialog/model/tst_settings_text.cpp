#include "data_columns.h"
#include "settings_dialog/model/settings_text.h"

#include <QTest>

using namespace settings_dialog;

class TestSettingsText : public QObject {
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
};

using OptionalNumber = std::optional<double>;
Q_DECLARE_METATYPE(OptionalNumber)

void TestSettingsText::fields_data() {
    addColumns<QString, OptionalNumber, QString, OptionalNumber, OptionalNumber>(
        "text", "baud", "parity", "dataBits", "stopBits");
    const OptionalNumber none;
    QTest::newRow("lower-case parity")
        << "9600,n,8,1" << OptionalNumber(9600) << "N" << OptionalNumber(8) << OptionalNumber(1);
    QTest::newRow("stop bits 1.5 read as 1") << "115200,E,7,1.5" << OptionalNumber(115200) << "E"
                                             << OptionalNumber(7) << OptionalNumber(1);
    QTest::newRow("blanks in the baud field") << " 19 200,O,8,2" << OptionalNumber(19200) << "O"
                                              << OptionalNumber(8) << OptionalNumber(2);
    QTest::newRow("fields at fixed places only")
        << "9600,None,8,1" << OptionalNumber(9600) << "N" << OptionalNumber(0) << OptionalNumber(0);
    QTest::newRow("no comma") << "9600" << none << "" << none << none;
    QTest::newRow("cut short") << "2400," << OptionalNumber(2400) << "" << OptionalNumber(0)
                               << OptionalNumber(0);
    QTest::newRow("baud too large to read")
        << "1e400,N,8,1" << none << "N" << OptionalNumber(8) << OptionalNumber(1);
    // Upper-casing the whole field would turn one letter into two.
    QTest::newRow("sharp s stays one letter")
        << QStringLiteral("9600,\u00df,8,1") << OptionalNumber(9600) << QStringLiteral("\u00df")
        << OptionalNumber(8) << OptionalNumber(1);
}

void TestSettingsText::fields() {
    QFETCH(QString, text);
    QFETCH(OptionalNumber, baud);
    QFETCH(QString, parity);
    QFETCH(OptionalNumber, dataBits);
    QFETCH(OptionalNumber, stopBits);
    const settings_dialog::SettingsFields fields = settings_dialog::readSettingsFields(text);
    QCOMPARE(fields.baud, baud);
    QCOMPARE(fields.parity, parity);
    QCOMPARE(fields.dataBits, dataBits);
    QCOMPARE(fields.stopBits, stopBits);
}

QTEST_MAIN(TestSettingsText)
#include "tst_settings_text.moc"
