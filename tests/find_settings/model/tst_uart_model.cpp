#include "checked_build.h"
#include "find_settings/model/candidate_score.h"
#include "find_settings/model/uart_model.h"
#include "uart_oracle.h"

#include <QTest>

using namespace find_settings;

namespace {

// Real scan contents with their terminator: EAN-13, Code 128, a GS1 element string, a 300-byte
// 2D payload.
const std::vector<std::string>& contents() {
    static const std::vector<std::string> all = [] {
        std::string payload = "https://id.linnet.example/01/04006381333931/10/LOT-7?";
        while (payload.size() < 300)
            payload += "cf=ABCDEFGHJKLMNPQRSTUVWXYZ234567&";
        payload.resize(300);
        return std::vector<std::string>{"4006381333931\r\n", "LINNET-TEST-0042\r\n",
                                        "0109521234543213"
                                        "10ABC123\x1D"
                                        "2112345\r\n",
                                        payload + "\r\n"};
    }();
    return all;
}

std::string bytesOf(const std::vector<ReceivedChar>& received) {
    std::string bytes;
    for (const ReceivedChar& c : received)
        bytes += static_cast<char>(c.value);
    return bytes;
}

// The share of the 48 senders whose setting the search finds, for each content, with `scans`
// copies of it (and the content known when `known`).
double shareFound(int scans, bool known) {
    int right = 0, total = 0;
    for (const std::string& content : contents()) {
        const std::vector<std::string> sent(std::size_t(scans), content);
        // Every sender; under the sanitizers every fourth.
        const std::size_t step = scaledForChecks<std::size_t>(1, 4);
        const std::span<const LineFormat> all = candidateFormats();
        for (std::size_t s = 0; s < all.size(); s += step) {
            const LineFormat& sender = all[s];
            std::vector<CandidateScore> scores;
            for (const LineFormat& candidate : candidateFormats())
                scores.push_back(scoreCandidate(candidate,
                                                uart_oracle::receive(sender, candidate, sent),
                                                known ? std::optional(content) : std::nullopt));
            ++total;
            right += pickCandidate(scores, known) == sender ? 1 : 0;
        }
    }
    return double(right) / total;
}

} // namespace

class TestUartModel : public QObject {
    Q_OBJECT

private slots:
    // A receiver at the sender's settings takes every character exactly, for every setting and
    // content.
    void sameSettingsTakeEverything() {
        for (const LineFormat& format : candidateFormats()) {
            for (const std::string& content : contents()) {
                const std::vector<std::string> sent{content, content};
                const auto received = receiveLine(format, format, sent);
                QCOMPARE(bytesOf(received), content + content);
                for (const ReceivedChar& c : received)
                    QVERIFY2(!c.framingError && !c.parityError && !c.lineBreak,
                             format.text().c_str());
            }
        }
    }

    // Known cases worked out by hand: 7E1 characters with an even number of ones look like 8N1
    // ones (the parity bit is 0, in bit 7's place); 'a' (three ones) read at 7E1 from an 8N1
    // sender has the wrong parity; a rate eight times too high sees no clean characters.
    void knownCases() {
        const LineFormat n81{9600, 8, Parity::None, 1};
        const LineFormat e71{9600, 7, Parity::Even, 1};
        const std::vector<std::string> a{"A"};
        QCOMPARE(receiveLine(e71, n81, a),
                 (std::vector<ReceivedChar>{{0x41, false, false, false}}));
        const std::vector<std::string> small{"a"};
        const auto read = receiveLine(n81, e71, small);
        QCOMPARE(read.size(), std::size_t(1));
        QCOMPARE(read[0].value, std::uint8_t(0x61));
        QVERIFY(read[0].parityError);
        const LineFormat fast{76800, 8, Parity::None, 1};
        const auto garbled = receiveLine(n81, fast, std::vector<std::string>{"4006381333931\r\n"});
        const CandidateScore score = scoreCandidate(fast, garbled);
        QVERIFY(!score.clean());
    }

    // What a receiver takes, worked out bit by bit by hand (not by the model): each frame is
    // written start (S), data bits least significant first, parity (P), stop (T), one bit each
    // at the sender's rate; the receiver samples each of its bits in its middle.
    void workedExamples_data() {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("receiver");
        QTest::addColumn<QByteArray>("sent");
        // value:f(raming) p(arity) b(reak), one a character.
        QTest::addColumn<QStringList>("taken");
        // 'A' = 41h = 1000001 (two ones): S0 1000001 P0 T1. At 8N1 the parity bit is data bit 7.
        QTest::newRow("7E1 A read at 8N1") << "9600 7E1"
                                           << "9600 8N1" << QByteArray("A") << QStringList{"41"};
        // 'C' = 43h = 1100001 (three ones): S0 1100001 P1 T1; 8N1 reads 11000011 = C3h.
        QTest::newRow("7E1 C read at 8N1") << "9600 7E1"
                                           << "9600 8N1" << QByteArray("C") << QStringList{"c3"};
        // 8N1 'C': S0 11000010 T1. 7E1 takes 1100001 = 43h, then 0 as the parity bit where even
        // parity over three ones wants 1; the stop bit is the sender's.
        QTest::newRow("8N1 C read at 7E1") << "9600 8N1"
                                           << "9600 7E1" << QByteArray("C") << QStringList{"43:p"};
        // The same at odd parity wants 0: no error.
        QTest::newRow("8N1 C read at 7O1") << "9600 8N1"
                                           << "9600 7O1" << QByteArray("C") << QStringList{"43"};
        // 7O1 NUL: S0 0000000 P1 T1; 8N1 reads 00000001 = 80h.
        QTest::newRow("7O1 NUL read at 8N1")
            << "9600 7O1"
            << "9600 8N1" << QByteArray(1, '\0') << QStringList{"80"};
        // 8N1 NUL: S0 00000000 T1, then the idle line. 8E1 takes 0, samples the stop bit (1)
        // as its parity bit where even parity over no ones wants 0, and the idle line as stop.
        QTest::newRow("8N1 NUL read at 8E1")
            << "9600 8N1"
            << "9600 8E1" << QByteArray(1, '\0') << QStringList{"00:p"};
        QTest::newRow("8N1 NUL read at 8O1")
            << "9600 8N1"
            << "9600 8O1" << QByteArray(1, '\0') << QStringList{"00"};
        // 8N1 01h: S0 10000000 T1. 7N2 takes 1000000 = 01h and finds data bit 7 (0) where its
        // stop bit belongs: a framing error, not a break (a data bit was high).
        QTest::newRow("8N1 01h read at 7N2")
            << "9600 8N1"
            << "9600 7N2" << QByteArray(1, '\1') << QStringList{"01:f"};
        // 8N1 NUL read at 7N2: start, seven data bits and the stop bit all low: a break.
        QTest::newRow("8N1 NUL read at 7N2")
            << "9600 8N1"
            << "9600 7N2" << QByteArray(1, '\0') << QStringList{"00:fb"};
        // 4800 8N1 NUL holds the line low for nine of its bits: eighteen bits at 9600, longer
        // than a whole frame of any 9600 receiver, parity bit included. A break at every parity:
        // at odd parity the low parity bit is no parity error of its own.
        for (const char* format : {"8N1", "7E1", "7O1", "8E1", "8O1"})
            QTest::newRow(qPrintable(QStringLiteral("4800 NUL read at 9600 %1").arg(format)))
                << "4800 8N1" << QStringLiteral("9600 %1").arg(format) << QByteArray(1, '\0')
                << QStringList{"00:fb"};
    }
    void workedExamples() {
        QFETCH(QString, sender);
        QFETCH(QString, receiver);
        QFETCH(QByteArray, sent);
        QFETCH(QStringList, taken);
        const auto format = [](const QString& text) {
            const QStringList parts = text.split(u' ');
            LineFormat f;
            f.baud = parts[0].toInt();
            f.dataBits = parts[1][0].digitValue();
            f.parity = parts[1][1] == u'E'   ? Parity::Even
                       : parts[1][1] == u'O' ? Parity::Odd
                                             : Parity::None;
            f.stopBits = parts[1][2].digitValue();
            return f;
        };
        const auto written = [](const std::vector<ReceivedChar>& received) {
            QStringList got;
            for (const ReceivedChar& c : received) {
                QString flags = QString(c.framingError ? "f" : "") + (c.parityError ? "p" : "") +
                                (c.lineBreak ? "b" : "");
                got << QStringLiteral("%1").arg(c.value, 2, 16, QLatin1Char('0')) +
                           (flags.isEmpty() ? QString() : u':' + flags);
            }
            return got;
        };
        const std::vector<std::string> scans{sent.toStdString()};
        // The program's model and the test's own account of the line both agree with the hand.
        QCOMPARE(written(receiveLine(format(sender), format(receiver), scans)), taken);
        QCOMPARE(written(uart_oracle::receive(format(sender), format(receiver), scans)), taken);
    }

    // At one rate, whatever the two formats, the model takes what the line carries: the same
    // characters, errors and breaks as the test's own bit-by-bit account, for every rate and
    // every pair of the six formats, on real scans.
    void modelTakesWhatTheLineCarries() {
        for (const LineFormat& sender : candidateFormats()) {
            for (const LineFormat& receiver : candidateFormats()) {
                if (receiver.baud != sender.baud)
                    continue;
                const auto model = receiveLine(sender, receiver, contents());
                const auto line = uart_oracle::receive(sender, receiver, contents());
                QVERIFY2(model == line, (sender.text() + " read at " + receiver.text()).c_str());
            }
        }
    }

    // Every pair of the 48 settings, the line as the test's own account has it: how often the
    // search finds the sender's setting.
    void findsTheSender() {
        const double one = shareFound(1, false);
        const double three = shareFound(3, false);
        const double known = shareFound(1, true);
        qInfo("found right: one scan %.1f %%, three scans %.1f %%, known test code %.1f %%",
              one * 100, three * 100, known * 100);
        QVERIFY(one >= 0.95);
        QVERIFY(three >= one);
        QCOMPARE(known, 1.0);
    }
};

QTEST_APPLESS_MAIN(TestUartModel)
#include "tst_uart_model.moc"
