#pragma once

#include <QLabel>

namespace main_window {

// The status line's message. Screen readers know it as "Status: " followed by the message (just
// "Status" while there is none), and they hear of every new message: a label without a fixed
// accessible name announces a change of its text itself.
class StatusLabel : public QLabel {
    Q_OBJECT

public:
    explicit StatusLabel(QWidget* parent = nullptr);

    // Shows `message` and tells screen readers of it, also when it is the message shown already
    // ("Change in CTS Detected" twice is two changes of the line).
    void showMessage(const QString& message);
};

} // namespace main_window
