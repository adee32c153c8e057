#include "port/port_control.h"

#include "port/port_messages.h"

#include <QMetaObject>
#include <QScopeGuard>

#include <algorithm>

namespace port {

PortFailure::PortFailure(const port::PortError& error)
    : PortFailure(error, port::failureText(error)) {}

PortFailure::PortFailure(const port::PortError& error, const QString& description)
    : std::runtime_error(description.toStdString()), error_(error), description_(description) {}

PortControl::PortControl(QObject* parent) : QObject(parent) {}

PortControl::~PortControl() = default;

void PortControl::raiseEvent(qint16 code, std::optional<qint64> arrivedMs) {
    if (code == CommEventCode::Break || code == CommEventCode::Framing ||
        code == CommEventCode::RxParity)
        emit lineErrorArrived(code, arrivedMs.value_or(monotonicMs()));
    if (code == CommEventCode::Receive && receiveWaiting())
        return;
    pending_.push_back(code);
    scheduleDelivery();
}

void PortControl::dropEvents() {
    pending_.clear();
}

bool PortControl::receiveWaiting() const {
    return std::find(pending_.begin(), pending_.end(), CommEventCode::Receive) != pending_.end();
}

void PortControl::scheduleDelivery() {
    if (scheduled_)
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            deliverNext();
        },
        Qt::QueuedConnection);
}

void PortControl::deliverNext() {
    // A notification that arrives while a handler waits in a modal dialog waits until the handler
    // has returned; the handler's end schedules it again.
    if (delivering_ || pending_.empty())
        return;
    const qint16 code = pending_.front();
    pending_.pop_front();

    int waitingBefore = -1;
    if (code == CommEventCode::Receive && PortOpen())
        waitingBefore = InBufferCount();

    currentEvent_ = code;
    delivering_ = true;
    {
        // The receivers trap their own failures (the windows run every handler under their one
        // trap, which shows it); the port swallows none. Should one pass through all the same,
        // the port is still ready for the next notification.
        const auto delivered = qScopeGuard([this] { delivering_ = false; });
        emit OnComm();
    }

    // Characters left behind by a handler that took some (InputLen limits a read) raise Receive
    // again. Requiring progress keeps a handler that reads nothing from looping forever.
    if (code == CommEventCode::Receive && waitingBefore >= 0 && PortOpen() && RThreshold() > 0) {
        const int waitingAfter = InBufferCount();
        if (waitingAfter >= RThreshold() && waitingAfter < waitingBefore && !receiveWaiting())
            pending_.push_back(CommEventCode::Receive);
    }
    if (!pending_.empty())
        scheduleDelivery();
}

} // namespace port
