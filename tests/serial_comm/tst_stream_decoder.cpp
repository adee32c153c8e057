#include "serial_comm/stream_decoder.h"

#include <QRandomGenerator>
#include <QTest>

using namespace serial_comm;

namespace {

// Pieces as text, with runs of data joined, so that chunkings that cut a run into several Data
// pieces compare equal: "data[41 42] break error[58]".
QString render(const std::vector<StreamPiece>& pieces) {
    QStringList parts;
    QByteArray run;
    const auto endRun = [&] {
        if (!run.isEmpty())
            parts << QStringLiteral("data[%1]").arg(QString::fromLatin1(run.toHex(' ')));
        run.clear();
    };
    for (const StreamPiece& piece : pieces) {
        switch (piece.kind) {
        case StreamPiece::Kind::Data:
            run += piece.bytes;
            break;
        case StreamPiece::Kind::Break:
            endRun();
            parts << QStringLiteral("break");
            break;
        case StreamPiece::Kind::ErrorByte:
            endRun();
            parts << QStringLiteral("error[%1]").arg(QString::fromLatin1(piece.bytes.toHex()));
            break;
        }
    }
    endRun();
    return parts.join(u' ');
}

// Decodes `stream` cut at the given offsets (ascending), with one decoder as the port does.
std::vector<StreamPiece> decodeInChunks(const QByteArray& stream, const QList<qsizetype>& cuts) {
    StreamDecoder decoder;
    std::vector<StreamPiece> all;
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends.append(stream.size());
    for (const qsizetype to : ends) {
        for (StreamPiece& piece : decoder.decode(QByteArrayView(stream).sliced(from, to - from)))
            all.push_back(std::move(piece));
        from = to;
    }
    return all;
}

} // namespace

class TestStreamDecoder : public QObject {
    Q_OBJECT

private slots:
    void decodesMarks_data();
    void decodesMarks();
    void decodesTheSameAtEverySplit_data() { decodesMarks_data(); }
    void decodesTheSameAtEverySplit();
    void resetForgetsAnUnfinishedMark();
    void roundTripsRandomStreamsInRandomChunks();
};

void TestStreamDecoder::decodesMarks_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("pieces");
    const auto row = [](const char* name, QByteArray stream, const char* pieces) {
        QTest::newRow(name) << stream << QString::fromLatin1(pieces);
    };
    using namespace Qt::Literals::StringLiterals;

    row("nothing", ""_ba, "");
    row("plain data", "AB\r\n"_ba, "data[41 42 0d 0a]");
    row("NUL bytes are data", "\0\0"_ba, "data[00 00]");
    row("escaped 0xFF", "\xFF\xFF"_ba, "data[ff]");
    row("two escaped 0xFF", "\xFF\xFF\xFF\xFF"_ba, "data[ff ff]");
    row("break between data", "AB\xFF\0\0CD"_ba, "data[41 42] break data[43 44]");
    row("break first", "\xFF\0\0X"_ba, "break data[58]");
    row("break last", "X\xFF\0\0"_ba, "data[58] break");
    row("two breaks", "\xFF\0\0\xFF\0\0"_ba, "break break");
    row("error byte", "A\xFF\0XB"_ba, "data[41] error[58] data[42]");
    row("error on a 0xFF byte", "\xFF\0\xFF"_ba, "error[ff]");
    row("error on an 0x01 byte", "\xFF\0\x01"_ba, "error[01]");
    row("escaped 0xFF then NULs", "\xFF\xFF\0\0"_ba, "data[ff 00 00]");
    row("break then NUL data", "\xFF\0\0\0"_ba, "break data[00]");
    row("escaped 0xFF before a break", "\xFF\xFF\xFF\0\0"_ba, "data[ff] break");
    // Not written by the driver with marking on; bytes from before it was switched on can be.
    row("lone 0xFF before data", "\xFF\x41"_ba, "data[ff 41]");
    row("lone 0xFF before an escape", "\xFF\x41\xFF\xFF"_ba, "data[ff 41 ff]");
    row("unfinished escape", "A\xFF"_ba, "data[41]");
    row("unfinished mark", "A\xFF\0"_ba, "data[41]");
    row("every kind",
        "1\xFF\xFF"
        "2\xFF\0\0"
        "3\xFF\0\xFF"
        "4\xFF\0!5"_ba,
        "data[31 ff 32] break data[33] error[ff] data[34] error[21] data[35]");
}

void TestStreamDecoder::decodesMarks() {
    QFETCH(QByteArray, stream);
    QFETCH(QString, pieces);
    StreamDecoder decoder;
    QCOMPARE(render(decoder.decode(stream)), pieces);
}

void TestStreamDecoder::decodesTheSameAtEverySplit() {
    QFETCH(QByteArray, stream);
    QFETCH(QString, pieces);
    // Every cut into two and into three chunks, empty chunks included.
    for (qsizetype first = 0; first <= stream.size(); ++first) {
        QCOMPARE(render(decodeInChunks(stream, {first})), pieces);
        for (qsizetype second = first; second <= stream.size(); ++second) {
            const QString got = render(decodeInChunks(stream, {first, second}));
            if (got != pieces)
                QFAIL(qPrintable(
                    QStringLiteral("cut at %1 and %2: %3").arg(first).arg(second).arg(got)));
        }
    }
    // Byte by byte.
    QList<qsizetype> everyByte;
    for (qsizetype at = 1; at < stream.size(); ++at)
        everyByte.append(at);
    QCOMPARE(render(decodeInChunks(stream, everyByte)), pieces);
}

void TestStreamDecoder::resetForgetsAnUnfinishedMark() {
    StreamDecoder decoder;
    decoder.decode(QByteArrayView("\xFF\0", 2));
    decoder.reset();
    // Without the reset this would be a byte 0x41 with an error.
    QCOMPARE(render(decoder.decode("A")), QStringLiteral("data[41]"));
}

void TestStreamDecoder::roundTripsRandomStreamsInRandomChunks() {
    // Streams built as the driver writes them from known events, rich in 0xFF and NUL bytes,
    // decoded in chunks of random sizes: small ones cut marks everywhere, large ones test runs.
    QRandomGenerator random(20240611);
    for (int round = 0; round < 300; ++round) {
        QByteArray stream;
        std::vector<StreamPiece> expected;
        const int events = int(random.bounded(1, 60));
        for (int i = 0; i < events; ++i) {
            const int what = int(random.bounded(10));
            if (what < 7) {
                const char byte = what < 2 ? '\xFF' : what < 3 ? '\0' : char(random.bounded(256));
                stream += byte;
                if (byte == '\xFF')
                    stream += '\xFF';
                expected.push_back({StreamPiece::Kind::Data, QByteArray(1, byte)});
            } else if (what < 8) {
                stream += QByteArrayView("\xFF\0\0", 3);
                expected.push_back({StreamPiece::Kind::Break, {}});
            } else {
                const char bad = char(random.bounded(1, 256));
                stream += QByteArrayView("\xFF\0", 2);
                stream += bad;
                expected.push_back({StreamPiece::Kind::ErrorByte, QByteArray(1, bad)});
            }
        }
        QList<qsizetype> cuts;
        const qsizetype largest = round % 2 == 0 ? 4 : 64;
        for (qsizetype at = random.bounded(largest + 1); at < stream.size();
             at += random.bounded(largest + 1))
            cuts.append(at);
        const QString got = render(decodeInChunks(stream, cuts));
        if (got != render(expected))
            QFAIL(qPrintable(QStringLiteral("stream %1 cut at %2:\n got %3\nwant %4")
                                 .arg(QString::fromLatin1(stream.toHex(' ')))
                                 .arg(QString::number(cuts.size()))
                                 .arg(got, render(expected))));
    }
}

QTEST_MAIN(TestStreamDecoder)
#include "tst_stream_decoder.moc"
