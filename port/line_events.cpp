#include "port/line_events.h"

#include "port/port_control.h"

#include <sys/ioctl.h>

namespace port {

namespace {

bool moved(const LineSnapshot& before, const LineSnapshot& now, quint32 LineCounters::*counter) {
    return before.counters && now.counters &&
           (*now.counters).*counter != (*before.counters).*counter;
}

bool flipped(const LineSnapshot& before, const LineSnapshot& now, int bit) {
    return before.lines && now.lines && ((*before.lines ^ *now.lines) & bit) != 0;
}

// Unsigned subtraction gives the growth across a wrap-around too.
quint32 growth(const LineSnapshot& before, const LineSnapshot& now,
               quint32 LineCounters::*counter) {
    if (!before.counters || !now.counters)
        return 0;
    return (*now.counters).*counter - (*before.counters).*counter;
}

bool take(quint32& count) {
    if (count == 0)
        return false;
    --count;
    return true;
}

qint16 classifyErrorByte(UnmatchedErrors& unmatched, bool parityOn) {
    const bool parity = unmatched.parity > 0;
    const bool framing = unmatched.frame > 0;
    if (parity && !framing) {
        take(unmatched.parity);
        return CommEventCode::RxParity;
    }
    if (framing && !parity) {
        take(unmatched.frame);
        return CommEventCode::Framing;
    }
    // Both counted, or neither: the line's own setting decides.
    if (parityOn) {
        take(unmatched.parity);
        return CommEventCode::RxParity;
    }
    take(unmatched.frame);
    return CommEventCode::Framing;
}

} // namespace

std::vector<qint16> lineEvents(const LineSnapshot& before, const LineSnapshot& now) {
    std::vector<qint16> events;
    if (moved(before, now, &LineCounters::cts) || flipped(before, now, TIOCM_CTS))
        events.push_back(CommEventCode::CtsChanged);
    if (moved(before, now, &LineCounters::dsr) || flipped(before, now, TIOCM_DSR))
        events.push_back(CommEventCode::DsrChanged);
    if (moved(before, now, &LineCounters::dcd) || flipped(before, now, TIOCM_CD))
        events.push_back(CommEventCode::CdChanged);

    const bool ringingNow = now.lines && (*now.lines & TIOCM_RI) != 0;
    const bool fell = before.lines && (*before.lines & TIOCM_RI) != 0 && now.lines && !ringingNow;
    const quint32 rings = growth(before, now, &LineCounters::rng);
    // Two edges hold a whole ring even if a new one has started since.
    if (fell || rings >= 2 || (rings == 1 && !ringingNow))
        events.push_back(CommEventCode::Ring);

    if (growth(before, now, &LineCounters::overrun) > 0 ||
        growth(before, now, &LineCounters::bufOverrun) > 0)
        events.push_back(CommEventCode::Overrun);
    return events;
}

void UnmatchedErrors::add(const LineCounters& before, const LineCounters& now) {
    frame += now.frame - before.frame;
    parity += now.parity - before.parity;
    brk += now.brk - before.brk;
}

qint16 classifyMark(StreamPiece::Kind kind, UnmatchedErrors& unmatched, bool parityOn) {
    if (kind == StreamPiece::Kind::Break) {
        if (take(unmatched.brk) || (unmatched.frame == 0 && unmatched.parity == 0))
            return CommEventCode::Break;
    }
    return classifyErrorByte(unmatched, parityOn);
}

} // namespace port
