#include "find_settings/model/candidate_score.h"
#include "find_settings/model/uart_model.h"

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
        for (const LineFormat& sender : candidateFormats()) {
            std::vector<CandidateScore> scores;
            for (const LineFormat& candidate : candidateFormats())
                scores.push_back(scoreCandidate(candidate, receiveLine(sender, candidate, sent),
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

    // Every pair of the 48 settings: how often the search finds the sender's setting.
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
