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

std::chrono::nanoseconds steadyNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

} // namespace

FramePacer::FramePacer(Clock clock) : clock_(clock ? std::move(clock) : Clock(steadyNow)) {}

int FramePacer::delayForChange() {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    const long long since =
        lastRefresh_ ? duration_cast<milliseconds>(clock_() - *lastRefresh_).count() : QuietMs;
    if (since >= QuietMs) {
        busyFrames_ = 0;
        return 0;
    }
    ++busyFrames_;
    const int frame = busyFrames_ > StreamAfterFrames ? StreamFrameMs : FrameMs;
    const long long delay = frame - since;
    return delay <= SlackMs ? 0 : static_cast<int>(delay);
}

void FramePacer::refreshed() {
    lastRefresh_ = clock_();
}

} // namespace views
