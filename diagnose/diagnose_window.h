#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace serial_comm {
class DeviceRegistry;
class HidMonitor;
} // namespace serial_comm

namespace diagnose {

// What the system has that could be a scanner, and what to do about each; kept current as
// devices come and go.
class DiagnoseWindow final : public QWidget {
    Q_OBJECT

public:
    DiagnoseWindow(const serial_comm::DeviceRegistry* registry, QWidget* parent = nullptr);
    ~DiagnoseWindow() override;

    // Looks again (the window does so by itself when devices come and go).
    void refresh();

private:
    const serial_comm::DeviceRegistry* registry_;
    serial_comm::HidMonitor* hidMonitor_ = nullptr;
    QPlainTextEdit* findings_ = nullptr;
};

} // namespace diagnose
