// Raw device bytes in random read splits: decoding in any chunking gives what decoding the whole
// stream gives, and bytes free of marks come out unchanged.
#include "port/stream_decoder.h"

#include <cstdint>
#include <cstdlib>

using namespace port;

using port::StreamDecoder;
using port::StreamPiece;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

// Joins adjacent data pieces, since a run of data may come in several pieces when split.
std::vector<StreamPiece> joined(const std::vector<StreamPiece>& pieces) {
    std::vector<StreamPiece> result;
    for (const StreamPiece& piece : pieces) {
        if (piece.kind == StreamPiece::Kind::Data && piece.bytes.isEmpty())
            continue;
        if (piece.kind == StreamPiece::Kind::Data && !result.empty() &&
            result.back().kind == StreamPiece::Kind::Data)
            result.back().bytes += piece.bytes;
        else
            result.push_back(piece);
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte seeds the read sizes; the rest is the stream.
    unsigned seed = data[0];
    const QByteArrayView stream(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    StreamDecoder whole;
    const std::vector<StreamPiece> expected = joined(whole.decode(stream));

    StreamDecoder split;
    std::vector<StreamPiece> pieces;
    qsizetype at = 0;
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype length = std::min<qsizetype>(1 + (seed >> 16) % 7, stream.size() - at);
        for (StreamPiece& piece : split.decode(stream.sliced(at, length)))
            pieces.push_back(std::move(piece));
        at += length;
    }
    check(joined(pieces) == expected);

    // A stream without the escape byte is all data, unchanged.
    if (!stream.contains('\xff')) {
        check(expected.size() <= 1);
        check(expected.empty() ? stream.isEmpty() : expected[0].bytes == stream.toByteArray());
    }
    // Escaped bytes and marks never make the data longer than the stream.
    qsizetype decoded = 0;
    for (const StreamPiece& piece : expected)
        decoded += piece.bytes.size();
    check(decoded <= stream.size());
    return 0;
}
