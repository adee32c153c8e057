#pragma once

#include <QObject>

class QWidget;

namespace app {

// For start-up measurements: LINNET_REPORT_FIRST_PAINT prints "first-paint <ms since the process
// started>" on stderr once the window has painted its first frame, and then quits when
// LINNET_QUIT_AFTER_MS is set too.
class FirstPaintReporter : public QObject {
public:
    explicit FirstPaintReporter(QWidget& window) : window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
};

} // namespace app
