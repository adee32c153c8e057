#pragma once

#include <QObject>

#include <array>
#include <vector>

namespace main_window {
class Form1;
}
namespace views {
class RichTextBox;
}
class QWidget;

namespace bench {

class PtyDevice;

// Follows received bytes from the port to the screen of a main window: how many passed through
// Input (what left the port's input buffer during each Receive notification), when both views
// had refreshed with them, and, when frames are watched, when both views had painted them.
//
// A byte counts as shown once each view has painted a frame after refreshing with it. The frame
// is taken as done in the first pass of the event loop after the paint (after the window's
// backing store was flushed), which can only make a latency look longer than it was.
class DisplayTracker : public QObject {
    Q_OBJECT

public:
    // Watching frames costs a little processor time on every frame; leave it off where that time
    // is what is measured.
    DisplayTracker(main_window::Form1& form, bool watchFrames);
    ~DisplayTracker() override;

    // Latencies are taken for the device's scheduled items: from the start of an item's write to
    // the frame that shows its last byte.
    void followItems(const PtyDevice& device) { device_ = &device; }

    qint64 counted() const { return counted_; }
    // Received bytes the port dropped since construction because its input buffer was full (they
    // never reach Input).
    qint64 dropped() const { return droppedByPort() - droppedBefore_; }
    // Bytes both views have on screen (refreshed with, when frames are not watched), and when
    // that last grew.
    qint64 shown() const { return shown_; }
    qint64 shownAtNs() const { return shownAtNs_; }
    // Bytes both views have refreshed with, and when the later of the two refreshes came.
    qint64 refreshed() const;
    qint64 refreshedAtNs() const;
    // Takes what both views refreshed with as shown, at the time of the refresh: for a view that
    // refreshed and then never painted.
    void acceptRefreshedAsShown();

    // Most characters waiting in the port's input buffer when a Receive notification came.
    int maxWaiting() const { return maxWaiting_; }
    int receiveNotifications() const { return receives_; }
    // Refreshes of the text view and of the hexadecimal view.
    int refreshes(int view) const { return refreshes_[view]; }
    int otherNotifications() const { return others_; }
    // Whether the views stayed within their bound (16,383 characters plus the block just added)
    // after every block, and their longest length.
    bool bounded() const { return bounded_; }
    int maxTermLength() const { return maxLength_[0]; }
    int maxHexLength() const { return maxLength_[1]; }

    const std::vector<double>& latenciesMs() const { return latenciesMs_; }

signals:
    // Something was counted, refreshed or shown.
    void progress();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onComm();
    void onRefreshed(int view);
    void frameDone();
    void showUpTo(qint64 bytes, qint64 atNs);
    qint64 droppedByPort() const;

    main_window::Form1& form_;
    std::array<views::RichTextBox*, 2> views_{};
    std::array<QWidget*, 2> viewports_{};
    const PtyDevice* device_ = nullptr;
    bool watchFrames_;

    qint64 counted_ = 0;
    qint64 droppedBefore_ = 0;
    // Characters waiting when the port began its latest notification.
    int waitingBefore_ = 0;
    std::array<qint64, 2> refreshedUpTo_{};
    std::array<qint64, 2> refreshedAtNs_{};
    std::array<int, 2> refreshes_{};
    std::array<qint64, 2> paintPending_{-1, -1};
    std::array<qint64, 2> paintedUpTo_{};
    bool frameDoneScheduled_ = false;
    qint64 shown_ = 0;
    qint64 shownAtNs_ = 0;
    size_t nextItem_ = 0;
    std::vector<double> latenciesMs_;

    int maxWaiting_ = 0;
    int receives_ = 0;
    int others_ = 0;
    bool bounded_ = true;
    std::array<int, 2> maxLength_{};
};

} // namespace bench
