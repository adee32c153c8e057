#include "port/stream_decoder.h"

#include <cstring>

namespace port {

std::vector<StreamPiece> StreamDecoder::decode(QByteArrayView chunk) {
    std::vector<StreamPiece> pieces;
    QByteArray data;
    const auto endData = [&] {
        if (data.isEmpty())
            return;
        pieces.push_back({StreamPiece::Kind::Data, std::move(data)});
        data = QByteArray();
    };

    const char* at = chunk.data();
    const char* const end = at + chunk.size();
    while (at < end) {
        switch (state_) {
        case State::Plain: {
            // Marks are rare: runs of data between them are copied whole.
            const void* escape = std::memchr(at, 0xFF, static_cast<size_t>(end - at));
            const char* runEnd = escape != nullptr ? static_cast<const char*>(escape) : end;
            data.append(at, runEnd - at);
            at = runEnd;
            if (at < end) {
                state_ = State::AfterEscape;
                ++at;
            }
            break;
        }
        case State::AfterEscape: {
            const auto next = static_cast<unsigned char>(*at);
            if (next == 0xFF) {
                data.append('\xFF');
                ++at;
                state_ = State::Plain;
            } else if (next == 0x00) {
                ++at;
                state_ = State::AfterEscapeZero;
            } else {
                // The driver never writes this, but bytes received before marking was switched
                // on can: the 0xFF was data, and the byte after it is read afresh.
                data.append('\xFF');
                state_ = State::Plain;
            }
            break;
        }
        case State::AfterEscapeZero: {
            const char marked = *at++;
            state_ = State::Plain;
            endData();
            if (marked == '\0')
                pieces.push_back({StreamPiece::Kind::Break, {}});
            else
                pieces.push_back({StreamPiece::Kind::ErrorByte, QByteArray(1, marked)});
            break;
        }
        }
    }
    endData();
    return pieces;
}

void stripEighthBits(QByteArray& bytes) {
    for (char& byte : bytes)
        byte = static_cast<char>(static_cast<unsigned char>(byte) & 0x7F);
}

} // namespace port
