#include "views/frame_pacer.h"

#include <algorithm>
#include <utility>

namespace views {

namespace {

constexpr int FrameMs = 16;
constexpr int StreamFrameMs = 33;
constexpr int StreamAfterFrames = 10;
constexpr int QuietMs = 2 * FrameMs;
// A frame that would end this soon is taken as ended: a timer of a few milliseconds would cost a
// wake-up of its own and gain nothing.
constexpr int SlackMs = 4;

} // namespace

FramePacer::FramePacer(base::MonotonicClock clock) : clock_(std::move(clock)) {}

int FramePacer::delayForChange() {
    const qint64 now = clock_();
    const bool sustained = lastChange_ && *lastChange_ - streamStart_ >= SustainedAfterMs;
    if (!lastChange_ || now - *lastChange_ > (sustained ? SustainedGapMs : StreamGapMs))
        streamStart_ = now;
    lastChange_ = now;
    const qint64 since = lastRefresh_ ? now - *lastRefresh_ : QuietMs;
    if (now - streamStart_ >= SustainedAfterMs) {
        const qint64 delay = SustainedFrameMs - since;
        return delay <= SustainedFrameMs / 5 ? 0 : static_cast<int>(delay);
    }
    if (since >= QuietMs) {
        busyFrames_ = 0;
        return 0;
    }
    ++busyFrames_;
    const int frame = busyFrames_ > StreamAfterFrames ? StreamFrameMs : FrameMs;
    const qint64 delay = frame - since;
    return delay <= SlackMs ? 0 : static_cast<int>(delay);
}

void FramePacer::refreshed() {
    lastRefresh_ = clock_();
}

} // namespace views
