#pragma once

#include "base/clock.h"

#include <optional>

namespace views {

// When a view brings its screen up to date with its text: at most once a frame.
//
// A change after a quiet spell of two frames shows at the next pass of the event loop; changes
// that follow each other closely wait for the rest of the frame (16 ms, 60 Hz), so that a stream
// costs one refresh per frame. Once changes have come in every frame for a while (ten frames) the
// frames are stretched to 33 ms. Once changes have kept coming for a second, with no gap of
// StreamGapMs between them, the screen is brought up to date every 100 ms: nobody reads a stream
// of text faster, and it then costs a fraction of the processor time; a frame of that pace that
// would end within a fifth of it is taken as ended, so that the screen follows the port's own
// pace (it hands a stream over every 50 ms, every other hand-over shown at once) rather than
// lagging it by a few milliseconds.
// Scans that come and go (a gap between them) are each shown at once. A frame that would end within
// a few milliseconds is taken as ended rather than waited for.
class FramePacer {
public:
    static constexpr int SustainedFrameMs = 100;
    static constexpr int SustainedAfterMs = 1000;
    // Changes further apart than this are not one stream (scans 60 ms apart come and go); once
    // the slower pace has begun, changes come SustainedFrameMs apart, and only a gap longer than
    // SustainedGapMs ends the stream.
    static constexpr int StreamGapMs = 50;
    static constexpr int SustainedGapMs = 150;

    explicit FramePacer(base::MonotonicClock clock = base::monotonicMs);

    // A change waits to be shown and no refresh is scheduled: in how many milliseconds the screen
    // should catch up (0: at once).
    int delayForChange();
    // The screen has caught up.
    void refreshed();

private:
    base::MonotonicClock clock_;
    std::optional<qint64> lastRefresh_;
    std::optional<qint64> lastChange_;
    qint64 streamStart_ = 0;
    int busyFrames_ = 0;
};

} // namespace views
