#include "display_tracker.h"

#include "probes.h"
#include "pty_device.h"

#include "main_window/form1.h"
#include "port/port_control.h"
#include "port/termios_port.h"
#include "views/rich_text_box.h"

#include <QEvent>
#include <QTimer>

#include <algorithm>

using namespace main_window;
using namespace port;
using namespace views;

namespace bench {

namespace {

// A view holds at most this many characters before the block just added.
constexpr int ViewBound = 16383;

} // namespace

DisplayTracker::DisplayTracker(Form1& form, bool watchFrames)
    : form_(form), watchFrames_(watchFrames) {
    views_ = {&form.Term(), &form.TermHex()};
    droppedBefore_ = droppedByPort();
    // Connected after the window's own handler, so this runs once the block is in both views.
    connect(&form.MSComm1(), &port::PortControl::OnComm, this, &DisplayTracker::onComm);
    // The port delivers each notification from a queued call of its own; seen here before it runs.
    form.MSComm1().installEventFilter(this);
    for (int view = 0; view < 2; ++view) {
        connect(views_[view], &views::RichTextBox::displayRefreshed, this,
                [this, view] { onRefreshed(view); });
        viewports_[view] = views_[view]->viewport();
        if (watchFrames_)
            viewports_[view]->installEventFilter(this);
    }
}

DisplayTracker::~DisplayTracker() {
    form_.MSComm1().removeEventFilter(this);
    for (QWidget* viewport : viewports_)
        viewport->removeEventFilter(this);
}

qint64 DisplayTracker::droppedByPort() const {
    const auto* port = qobject_cast<const port::TermiosPort*>(&form_.MSComm1());
    return port != nullptr && port->PortOpen() ? qint64(port->droppedInputBytes()) : 0;
}

qint64 DisplayTracker::refreshed() const {
    return std::min(refreshedUpTo_[0], refreshedUpTo_[1]);
}

qint64 DisplayTracker::refreshedAtNs() const {
    return std::max(refreshedAtNs_[0], refreshedAtNs_[1]);
}

void DisplayTracker::acceptRefreshedAsShown() {
    showUpTo(refreshed(), refreshedAtNs());
}

void DisplayTracker::onComm() {
    port::PortControl& port = form_.MSComm1();
    if (port.CommEvent() != port::CommEventCode::Receive) {
        ++others_;
        return;
    }
    ++receives_;
    // Nothing else takes characters out of the port, and none arrive while a handler runs.
    if (port.PortOpen()) {
        counted_ += waitingBefore_ - port.InBufferCount();
        maxWaiting_ = std::max(maxWaiting_, waitingBefore_);
    }
    const std::array<qsizetype, 2> blocks{form_.ReceivedText.size(), form_.HexText.size()};
    for (int view = 0; view < 2; ++view) {
        const int length = views_[view]->TextLength();
        maxLength_[view] = std::max(maxLength_[view], length);
        if (length > ViewBound + blocks[view])
            bounded_ = false;
    }
    emit progress();
}

void DisplayTracker::onRefreshed(int view) {
    ++refreshes_[view];
    refreshedUpTo_[view] = counted_;
    refreshedAtNs_[view] = nowNs();
    if (!watchFrames_)
        showUpTo(refreshed(), refreshedAtNs_[view]);
    emit progress();
}

bool DisplayTracker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MetaCall && watched == &form_.MSComm1()) {
        const port::PortControl& port = form_.MSComm1();
        waitingBefore_ = port.PortOpen() ? port.InBufferCount() : 0;
        return false;
    }
    if (event->type() == QEvent::Paint) {
        for (int view = 0; view < 2; ++view) {
            if (watched == viewports_[view])
                paintPending_[view] = refreshedUpTo_[view];
        }
        if (!frameDoneScheduled_) {
            frameDoneScheduled_ = true;
            QTimer::singleShot(0, this, &DisplayTracker::frameDone);
        }
    }
    return false;
}

void DisplayTracker::frameDone() {
    frameDoneScheduled_ = false;
    const qint64 now = nowNs();
    for (int view = 0; view < 2; ++view) {
        if (paintPending_[view] >= 0)
            paintedUpTo_[view] = std::max(paintedUpTo_[view], paintPending_[view]);
        paintPending_[view] = -1;
    }
    showUpTo(std::min(paintedUpTo_[0], paintedUpTo_[1]), now);
    emit progress();
}

void DisplayTracker::showUpTo(qint64 bytes, qint64 atNs) {
    if (bytes <= shown_)
        return;
    shown_ = bytes;
    shownAtNs_ = atNs;
    if (device_ == nullptr)
        return;
    const size_t started = device_->itemsStarted();
    while (nextItem_ < started && device_->itemEnd(nextItem_) <= shown_) {
        latenciesMs_.push_back(double(atNs - device_->itemWriteNs(nextItem_)) / 1e6);
        ++nextItem_;
    }
}

} // namespace bench
