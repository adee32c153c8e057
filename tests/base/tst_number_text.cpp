#include "base/number_text.h"
#include "data_columns.h"

#include <QTest>

#include <limits>

using namespace base;

namespace {

// What the call gives, as text: the number, or its overflow's kind and the number as written.
template <typename Call> QString outcome(Call call) {
    const auto result = call();
    if (result)
        return QString::number(*result, 'g', 17);
    static const char* const kinds[] = {"Radix", "Double", "Finite", "Int16"};
    const base::NumberOverflow& overflow = result.error();
    return QString::fromLatin1(kinds[int(overflow.kind)]) +
           (overflow.number.isEmpty() ? QString() : u' ' + overflow.number);
}

} // namespace

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void readsNumber_data() {
        addColumns<QString, QString>("text", "expected");
        const auto row = [](const char* text, const char* expected) {
            QTest::newRow(*text ? text : "empty")
                << QString::fromLatin1(text) << QString::fromLatin1(expected);
        };
        row("", "0");
        row(" 64", "64");
        row("-1", "-1");
        row("\t1 \n2", "12"); // blanks, tabs and line feeds are dropped anywhere
        row("1\r2", "1");     // a carriage return is not
        row("12abc", "12");
        row("abc", "0");
        row("+-5", "0");
        row("1.5.3", "1.5");
        row(".5", "0.5");
        row("5.e2", "500");
        row("25E-1", "2.5");
        row("12E", "12");
        row("1e2.5", "100");
        row("1e-400", "0");
        row("1.7976931348623157e308", "1.7976931348623157e+308");
        row("&hff", "255");
        row("& H 1 0", "16");
        row("&HFFFF", "-1");
        row("&H8000", "-32768");
        row("&H0000FFFF", "-1");
        row("&H10000", "65536");
        row("&HFFFFFFFF", "-1");
        row("&H1G", "1");
        row("&O78", "7");
        row("&O177777", "-1");
        row("&O37777777777", "-1");
        row("-&H10", "0");
        row("&B101", "0");
        row("1e400", "Double 1e400");
        row("-1e400abc", "Double -1e400");
        row("1e99999999999999999999", "Double 1e99999999999999999999");
        row("&H100000000", "Radix &H100000000");
        row("&O40000000000", "Radix &O40000000000");
    }
    void readsNumber() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(outcome([&] { return base::readNumber(text); }), expected);
    }

    void roundsToInt16_data() {
        addColumns<double, QString>("value", "expected");
        const auto row = [](double value, const char* expected) {
            QTest::addRow("%.17g", value) << value << QString::fromLatin1(expected);
        };
        row(1.5, "2");
        row(2.5, "2");
        row(-2.5, "-2");
        row(-3.5, "-4");
        row(0.5, "0");
        row(0.6, "1");
        row(2.4999999999999996, "2");
        row(32767.4, "32767");
        row(32766.5, "32766");
        row(-32768.5, "-32768");
        row(32768, "Int16 32768");
        row(32767.5, "Int16 32767.5");
        row(-32768.6, "Int16 -32768.6");
        row(1e20, "Int16 1e+20");
        row(std::numeric_limits<double>::infinity(), "Finite");
        row(std::numeric_limits<double>::quiet_NaN(), "Finite");
    }
    void roundsToInt16() {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(outcome([&] { return base::toInt16(value); }), expected);
    }
};

QTEST_MAIN(TestNumberText)
#include "tst_number_text.moc"
