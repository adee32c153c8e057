#include "main_window/view/frame_pacer.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int FrameMs = 16;
constexpr int StreamFrameMs = 33;
constexpr int StreamAfterFrames = 10;
constexpr int QuietMs = 2 * FrameMs;

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
    return static_cast<int>(std::max<long long>(0, frame - since));
}

void FramePacer::refreshed() {
    lastRefresh_ = clock_();
}
