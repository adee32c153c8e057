#pragma once

#include "port/stream_decoder.h"

#include <QtGlobal>

#include <optional>
#include <vector>

namespace port {

// The driver's transition and error counters (TIOCGICOUNT) that the layer uses. They only ever
// grow, and wrap around at 2^32.
struct LineCounters {
    quint32 cts = 0;
    quint32 dsr = 0;
    quint32 rng = 0;
    quint32 dcd = 0;
    quint32 frame = 0;
    quint32 parity = 0;
    quint32 brk = 0;
    quint32 overrun = 0;    // the UART's receiver lost characters
    quint32 bufOverrun = 0; // the kernel had no room for received characters

    bool operator==(const LineCounters&) const = default;
};

// What one look at the device found. Either part may be missing: a device without counters or
// without modem lines, or an answer that failed this time.
struct LineSnapshot {
    std::optional<LineCounters> counters;
    std::optional<int> lines; // TIOCM_* bits from TIOCMGET
};

// The notifications owed for the change from `before` to `now`, in the order CTS, DSR, CD, ring,
// overrun. A line counts as changed when its counter moved (which also catches a pulse shorter
// than the time between the two looks) or its state differs (some drivers answer TIOCGICOUNT but
// never count). Ring is due when a ring has ended: on the falling edge of RI, or when the ring
// counter moved and RI is off now (drivers count either the trailing edge only or both edges).
std::vector<qint16> lineEvents(const LineSnapshot& before, const LineSnapshot& now);

// The frame, parity and break counts the driver reported that no mark in the stream has been
// matched with yet.
struct UnmatchedErrors {
    quint32 frame = 0;
    quint32 parity = 0;
    quint32 brk = 0;

    // Adds what the counters grew by from `before` to `now`.
    void add(const LineCounters& before, const LineCounters& now);
};

// The notification for a mark found in the stream (a Break or ErrorByte piece): Break, Framing or
// RxParity. The counters tell what the mark was, and the count used is taken out of `unmatched`;
// without a count to go by, a byte with an error is a parity error when parity is on and a
// framing error otherwise. The driver marks a NUL byte with an error exactly like a break, so a
// Break mark is taken as an error byte when the counters show an error and no break.
qint16 classifyMark(StreamPiece::Kind kind, UnmatchedErrors& unmatched, bool parityOn);

} // namespace port
