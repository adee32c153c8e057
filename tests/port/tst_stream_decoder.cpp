#include "data_columns.h"
#include "port/stream_decoder.h"

#include <QTest>

using namespace port;

using namespace Qt::Literals::StringLiterals;

namespace {

// Data as hex, marks in brackets: "4142[break]43[error 58]". Runs of data cut into several Data
// pieces read the same as one.
QString render(const std::vector<StreamPiece>& pieces) {
    QString text;
    for (const StreamPiece& piece : pieces) {
        const QString hex = QString::fromLatin1(piece.bytes.toHex());
        if (piece.kind == StreamPiece::Kind::Data)
            text += hex;
        else
            text +=
                piece.kind == StreamPiece::Kind::Break ? u"[break]"_s : u"[error "_s + hex + u']';
    }
    return text;
}

// Decodes `stream` with one decoder, as the port does, cut at the given ascending offsets; the
// pieces of each chunk rendered one after the other.
QString decodeInChunks(const QByteArray& stream, QList<qsizetype> cuts) {
    StreamDecoder decoder;
    QString text;
    qsizetype from = 0;
    cuts.append(stream.size());
    for (const qsizetype to : cuts) {
        text += render(decoder.decode(QByteArrayView(stream).sliced(from, to - from)));
        from = to;
    }
    return text;
}

} // namespace

class TestStreamDecoder : public QObject {
    Q_OBJECT

private slots:
    void decodesAtEverySplit_data() {
        addColumns<QByteArray, QString>("stream", "pieces");
        const auto row = [](const char* name, QByteArray stream, const char* pieces) {
            QTest::newRow(name) << stream << QString::fromLatin1(pieces);
        };
        row("plain data with NULs", "A\0\r\n"_ba, "41000d0a");
        row("escaped 0xFF", "\xFF\xFF\xFF\xFF"_ba, "ffff");
        row("break between data", "AB\xFF\0\0CD"_ba, "4142[break]4344");
        row("two breaks", "\xFF\0\0\xFF\0\0"_ba, "[break][break]");
        row("error byte", "A\xFF\0XB"_ba, "41[error 58]42");
        row("error on 0xFF", "\xFF\0\xFF"_ba, "[error ff]");
        row("escaped 0xFF then NULs", "\xFF\xFF\0\0"_ba, "ff0000");
        row("break then NUL", "\xFF\0\0\0"_ba, "[break]00");
        // Not written by the driver with marking on; bytes from before it was switched on can be.
        row("lone 0xFF before data", "\xFF\x41\xFF\xFF"_ba, "ff41ff");
        row("unfinished escape", "A\xFF"_ba, "41");
        row("unfinished mark", "A\xFF\0"_ba, "41");
        row("every kind", "1\xFF\xFF\x32\xFF\0\0\x33\xFF\0\xFF\x34\xFF\0!5"_ba,
            "31ff32[break]33[error ff]34[error 21]35");
    }
    void decodesAtEverySplit() {
        QFETCH(QByteArray, stream);
        QFETCH(QString, pieces);
        // Whole, byte by byte, and cut into three chunks in every way, empty chunks included.
        QList<qsizetype> everyByte;
        for (qsizetype at = 1; at < stream.size(); ++at)
            everyByte.append(at);
        QCOMPARE(decodeInChunks(stream, everyByte), pieces);
        for (qsizetype first = 0; first <= stream.size(); ++first) {
            for (qsizetype second = first; second <= stream.size(); ++second) {
                const QString got = decodeInChunks(stream, {first, second});
                if (got != pieces)
                    QFAIL(qPrintable(u"cut at %1 and %2: %3"_s.arg(first).arg(second).arg(got)));
            }
        }
    }

    void resetForgetsAnUnfinishedMark() {
        StreamDecoder decoder;
        decoder.decode(QByteArrayView("\xFF\0", 2));
        decoder.reset();
        // Without the reset this would be a byte 0x41 with an error.
        QCOMPARE(render(decoder.decode("A")), u"41"_s);
    }
};

QTEST_MAIN(TestStreamDecoder)
#include "tst_stream_decoder.moc"
