#include "serial_comm/number_text.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void decimalTextOf_data();
    void decimalTextOf();

    void readsNumber_data();
    void readsNumber();
    void readNumberOverflows_data();
    void readNumberOverflows();

    void roundsToInt16_data();
    void roundsToInt16();
    void int16Overflows_data();
    void int16Overflows();

    void promptAnswerToInt16_data();
    void promptAnswerToInt16();

    void overflowErrorCarriesText();
};

void TestNumberText::decimalTextOf_data() {
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << qint64(0) << " 0";
    QTest::newRow("positive") << qint64(64) << " 64";
    QTest::newRow("minus one") << qint64(-1) << "-1";
    QTest::newRow("16-bit max") << qint64(32767) << " 32767";
    QTest::newRow("16-bit min") << qint64(-32768) << "-32768";
    QTest::newRow("event code") << qint64(1010) << " 1010";
    QTest::newRow("64-bit min") << std::numeric_limits<qint64>::min() << "-9223372036854775808";
    QTest::newRow("64-bit max") << std::numeric_limits<qint64>::max() << " 9223372036854775807";
}

void TestNumberText::decimalTextOf() {
    QFETCH(qint64, number);
    QFETCH(QString, expected);
    QCOMPARE(decimalText(number), expected);
}

void TestNumberText::readsNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("offered zero") << " 0" << 0.0;
    QTest::newRow("offered 64") << " 64" << 64.0;
    QTest::newRow("offered -1") << "-1" << -1.0;
    QTest::newRow("plus sign") << "+7" << 7.0;

    QTest::newRow("blanks around") << "  25  " << 25.0;
    QTest::newRow("blank between digits") << "1 2" << 12.0;
    QTest::newRow("tab and line feed inside") << "\t1\n2\t" << 12.0;
    QTest::newRow("blank after sign") << "- 3" << -3.0;
    QTest::newRow("blank inside exponent") << "1 e 2" << 100.0;
    QTest::newRow("carriage return is not a blank") << "1\r2" << 1.0;

    QTest::newRow("letters only") << "abc" << 0.0;
    QTest::newRow("trailing letters") << "12abc" << 12.0;
    QTest::newRow("letters first") << "x12" << 0.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("sign and point") << "-." << 0.0;
    QTest::newRow("two signs") << "+-5" << 0.0;

    QTest::newRow("decimal") << "2.5" << 2.5;
    QTest::newRow("second point ends") << "1.5.3" << 1.5;
    QTest::newRow("no leading digit") << ".5" << 0.5;
    QTest::newRow("negative no leading digit") << "-.25" << -0.25;
    QTest::newRow("no digit after point") << "5." << 5.0;
    QTest::newRow("no digit after point, exponent") << "5.e2" << 500.0;

    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("upper exponent") << "1.5E2" << 150.0;
    QTest::newRow("signed exponent") << "25e-1" << 2.5;
    QTest::newRow("plus exponent") << "2E+2" << 200.0;
    QTest::newRow("E without digits") << "12E" << 12.0;
    QTest::newRow("E with sign only") << "12e-" << 12.0;
    QTest::newRow("E then letter") << "3ex" << 3.0;
    QTest::newRow("exponent then point") << "1e2.5" << 100.0;
    QTest::newRow("too small is zero") << "1e-400" << 0.0;
    QTest::newRow("long zero fraction") << QString("0.") + QString(400, '0') + "1" << 0.0;
    QTest::newRow("zero with huge exponent") << "0e999999" << 0.0;
    QTest::newRow("largest double")
        << "1.7976931348623157e308" << std::numeric_limits<double>::max();

    QTest::newRow("hex") << "&H10" << 16.0;
    QTest::newRow("hex lower prefix and digits") << "&hff" << 255.0;
    QTest::newRow("hex 16-bit max") << "&H7FFF" << 32767.0;
    QTest::newRow("hex 16-bit minus one") << "&HFFFF" << -1.0;
    QTest::newRow("hex 16-bit min") << "&H8000" << -32768.0;
    QTest::newRow("hex leading zeros") << "&H0000FFFF" << -1.0;
    QTest::newRow("hex 17 bits") << "&H10000" << 65536.0;
    QTest::newRow("hex 32-bit max") << "&H7FFFFFFF" << 2147483647.0;
    QTest::newRow("hex 32-bit min") << "&H80000000" << -2147483648.0;
    QTest::newRow("hex 32-bit minus one") << "&HFFFFFFFF" << -1.0;
    QTest::newRow("hex stops at non-digit") << "&H1G" << 1.0;
    QTest::newRow("hex with blank") << "& H 1 0" << 16.0;
    QTest::newRow("hex without digits") << "&H" << 0.0;
    QTest::newRow("hex has no point") << "&H1.8" << 1.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("octal lower") << "&o777" << 511.0;
    QTest::newRow("octal 16-bit minus one") << "&O177777" << -1.0;
    QTest::newRow("octal 16-bit min") << "&O100000" << -32768.0;
    QTest::newRow("octal 17 bits") << "&O200000" << 65536.0;
    QTest::newRow("octal 32-bit minus one") << "&O37777777777" << -1.0;
    QTest::newRow("octal stops at 8") << "&O78" << 7.0;
    QTest::newRow("sign before prefix") << "-&H10" << 0.0;
    QTest::newRow("ampersand alone") << "&" << 0.0;
    QTest::newRow("other prefix") << "&B101" << 0.0;
}

void TestNumberText::readsNumber() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(readNumber(text), expected);
}

void TestNumberText::readNumberOverflows_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("huge exponent") << "1e400"
                                   << "Overflow: 1e400 is too large to hold as a number";
    QTest::newRow("negative huge") << "-1e400abc"
                                   << "Overflow: -1e400 is too large to hold as a number";
    QTest::newRow("many digits") << QString("1") + QString(400, '0')
                                 << QString("Overflow: 1") + QString(400, '0') +
                                        " is too large to hold as a number";
    QTest::newRow("exponent beyond any integer")
        << "1e99999999999999999999"
        << "Overflow: 1e99999999999999999999 is too large to hold as a number";
    QTest::newRow("hex 33 bits") << "&H100000000"
                                 << "Overflow: &H100000000 needs more than 32 bits";
    QTest::newRow("octal 33 bits") << "&O40000000000"
                                   << "Overflow: &O40000000000 needs more than 32 bits";
}

void TestNumberText::readNumberOverflows() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    try {
        readNumber(text);
        QFAIL("no overflow");
    } catch (const OverflowError& error) {
        QCOMPARE(error.description(), message);
    }
}

void TestNumberText::roundsToInt16_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("3.5") << 3.5 << 4;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("-3.5") << -3.5 << -4;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("0.4") << 0.4 << 0;
    QTest::newRow("0.6") << 0.6 << 1;
    QTest::newRow("-0.6") << -0.6 << -1;
    QTest::newRow("just below a half") << 2.4999999999999996 << 2;
    QTest::newRow("max") << 32767.0 << 32767;
    QTest::newRow("min") << -32768.0 << -32768;
    QTest::newRow("rounds down to max") << 32767.4 << 32767;
    QTest::newRow("half below max goes even") << 32766.5 << 32766;
    QTest::newRow("half below min goes even") << -32768.5 << -32768;
}

void TestNumberText::roundsToInt16() {
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(int(toInt16(value)), expected);
}

void TestNumberText::int16Overflows_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("message");

    QTest::newRow("40000") << 40000.0 << "Overflow: 40000 is outside -32768 to 32767";
    QTest::newRow("one above") << 32768.0 << "Overflow: 32768 is outside -32768 to 32767";
    QTest::newRow("one below") << -32769.0 << "Overflow: -32769 is outside -32768 to 32767";
    QTest::newRow("half above max rounds up")
        << 32767.5 << "Overflow: 32767.5 is outside -32768 to 32767";
    QTest::newRow("just under a half below min")
        << -32768.6 << "Overflow: -32768.6 is outside -32768 to 32767";
    QTest::newRow("huge") << 1e20 << "Overflow: 1e+20 is outside -32768 to 32767";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity()
                              << "Overflow: the number is too large to hold";
    QTest::newRow("minus infinity")
        << -std::numeric_limits<double>::infinity() << "Overflow: the number is too large to hold";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN()
                         << "Overflow: the number is too large to hold";
}

void TestNumberText::int16Overflows() {
    QFETCH(double, value);
    QFETCH(QString, message);
    try {
        toInt16(value);
        QFAIL("no overflow");
    } catch (const OverflowError& error) {
        QCOMPARE(error.description(), message);
    }
}

// The whole path a number prompt's answer takes.
void TestNumberText::promptAnswerToInt16_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("expected");

    QTest::newRow("offered zero unchanged") << " 0" << 0;
    QTest::newRow("25 with blanks") << "  25 " << 25;
    QTest::newRow("2.5") << "2.5" << 2;
    QTest::newRow("3.5") << "3.5" << 4;
    QTest::newRow("letters only") << "abc" << 0;
    QTest::newRow("hex minus one") << "&HFFFF" << -1;
    QTest::newRow("exponent") << "3.2767e4" << 32767;
}

void TestNumberText::promptAnswerToInt16() {
    QFETCH(QString, answer);
    QFETCH(int, expected);
    QCOMPARE(int(toInt16(readNumber(answer))), expected);
}

void TestNumberText::overflowErrorCarriesText() {
    const OverflowError error(QStringLiteral("Overflow: ü"));
    QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Overflow: ü"));
    const std::overflow_error& base = error;
    QCOMPARE(QString::fromUtf8(base.what()), error.description());
}

QTEST_MAIN(TestNumberText)
#include "tst_number_text.moc"
