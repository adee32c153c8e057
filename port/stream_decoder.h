#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace port {

// One piece of a received byte stream, in stream order.
struct StreamPiece {
    enum class Kind {
        Data,      // bytes as the device sent them
        Break,     // a break condition (also how the driver marks a NUL byte with an error)
        ErrorByte, // one byte received with a parity or framing error; `bytes` holds it
    };
    Kind kind = Kind::Data;
    QByteArray bytes;

    bool operator==(const StreamPiece&) const = default;
};

// Splits what the terminal driver delivers with PARMRK (and ISTRIP off) into data and marks:
//   0xFF 0xFF    a data byte 0xFF
//   0xFF 0x00 0  a break
//   0xFF 0x00 X  byte X received with a parity or framing error
// A mark may be cut anywhere by the read that returns it, so the decoder keeps the unfinished
// part until the next chunk; decoding a stream in any chunking gives the same pieces (except
// that a run of data may come in several Data pieces).
class StreamDecoder {
public:
    // The pieces of `chunk`, with any mark left unfinished by an earlier chunk completed first.
    // Adjacent data bytes of one chunk come as one Data piece.
    std::vector<StreamPiece> decode(QByteArrayView chunk);

    // Forgets an unfinished mark (the port was closed or flushed).
    void reset() { state_ = State::Plain; }

private:
    enum class State { Plain, AfterEscape, AfterEscapeZero };
    State state_ = State::Plain;
};

// Clears the eighth bit of every byte: what a receiver at 7 data bits hands on.
void stripEighthBits(QByteArray& bytes);

} // namespace port
