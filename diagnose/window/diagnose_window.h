#pragma once

#include "diagnose/model/diagnosis.h"

#include <QFutureWatcher>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class QComboBox;
class QListWidget;

class DeviceRegistry;
class HidMonitor;

class QPushButton;

namespace diagnose {

class DiagnosisView;

// What the system has that could be a scanner, and what to do about each; kept current as
// devices come and go. The look at the devices (their nodes, /proc, sysfs) runs off the window's
// thread, once for a burst of plugging; the quiet port is looked at on its own every few seconds.
class DiagnoseWindow final : public QWidget {
    Q_OBJECT

public:
    // Plugging that comes in a burst is looked at once, this long after it began.
    static constexpr int SettleMs = 250;
    static constexpr int QuietLookMs = 3000;

    DiagnoseWindow(const devices::DeviceRegistry* registry, QWidget* parent = nullptr);
    ~DiagnoseWindow() override;

    // Looks again soon (the window does so by itself when devices come and go).
    void refresh();

    // Everything the list says, a paragraph a row, as Copy All copies it.
    const QString& findingsText() const { return findingsText_; }
    DiagnosisView& findings() const { return *findings_; }

    // Looks done since the window was made, for tests and the benchmark.
    int looks() const { return looks_; }
    // Whether a look is under way or asked for.
    bool looking() const { return lookUnderWay_ || settle_.isActive() || again_; }

    // Asks for the open port and how long it has been quiet; the window looks every few seconds
    // while it is shown.
    using PortWatch = std::function<std::optional<PortQuiet>()>;
    void setPortWatch(PortWatch watch);

    // Catches the keys of the scanner in keyboard mode read from an event node, or lets them go;
    // answers whether that was done. The window lets every caught scanner go when it closes.
    using KeyCatcher = std::function<bool(const QString& eventNode, bool catchKeys)>;
    void setKeyCatcher(KeyCatcher catcher);

    // Told the keyboards the person marked as scanners ("vendor:product") whenever that changes.
    using MarksListener = std::function<void(const QSet<QString>& marked)>;
    void setMarksListener(MarksListener listener) { marksListener_ = std::move(listener); }

    // Told the keyboard layout (XKB name) the person says their scanners type for.
    using LayoutListener = std::function<void(const QString& xkbName)>;
    void setLayoutListener(LayoutListener listener) { layoutListener_ = std::move(listener); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The udev rules Copy Rule puts on the clipboard, one a scanner the person may not read.
    QStringList rules_;
    QPushButton* copyRule_ = nullptr;
    KeyCatcher keyCatcher_;
    MarksListener marksListener_;
    LayoutListener layoutListener_;
    QComboBox* scannerLayout_ = nullptr;
    QListWidget* catchKeys_ = nullptr;
    QWidget* catchLabel_ = nullptr;
    QWidget* layoutLabel_ = nullptr;
    void showCatchable(const QList<devices::HidInput>& hid);
    void releaseCaughtKeys();
    void startLook();
    void lookDone();
    // Shows the last look with the quiet port as it is now.
    void showFindings(const Diagnosis& diagnosis);
    void showKeyboards(const QList<devices::HidInput>& hid);

    const devices::DeviceRegistry* registry_;
    QListWidget* keyboards_ = nullptr;
    std::optional<QStringList> shownKeyboards_; // none before the first look
    QSet<QString> markedScanners_;
    devices::HidMonitor* hidMonitor_ = nullptr;
    DiagnosisView* findings_ = nullptr;
    QString findingsText_;
    PortWatch portWatch_;
    QTimer look_;
    QTimer settle_;
    QFutureWatcher<Diagnosis> watcher_;
    bool again_ = false;        // asked for while a look was under way
    bool lookUnderWay_ = false; // from its start until its findings are shown
    std::optional<Diagnosis> last_;
    int looks_ = 0;
};

} // namespace diagnose
