#pragma once

#include "diagnose/diagnosis.h"

#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class QListWidget;
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

    // Asks for the open port and how long it has been quiet; the window looks every few seconds
    // while it is shown.
    using PortWatch = std::function<std::optional<PortQuiet>()>;
    void setPortWatch(PortWatch watch);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Keyboards are told apart by their USB ids: the mark holds for the same model replugged.
    static QString idOf(const serial_comm::HidInput& input);
    void showKeyboards(const QList<serial_comm::HidInput>& hid);

    const serial_comm::DeviceRegistry* registry_;
    QListWidget* keyboards_ = nullptr;
    std::optional<QStringList> shownKeyboards_; // none before the first look
    QSet<QString> markedScanners_;
    serial_comm::HidMonitor* hidMonitor_ = nullptr;
    QPlainTextEdit* findings_ = nullptr;
    PortWatch portWatch_;
    QTimer look_;
};

} // namespace diagnose
