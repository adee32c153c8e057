#pragma once

#include "base/clock.h"
#include "find_settings/model/settings_search.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

namespace port {
class PortControl;
}
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace find_settings {

class TriedSettingsModel;

// Finds the line settings of a scanner on the open port while the person scans: it changes the
// port's Settings alone (the descriptor stays open, so DTR and RTS stay as they are), one
// candidate after another, and reports the setting that fits with its evidence, or plainly that
// none did and what each received. The settings from before come back when the search ends;
// Apply then puts the found ones in place.
class FindSettingsWindow final : public QWidget {
    Q_OBJECT

public:
    // Times the search on `clock`.
    FindSettingsWindow(port::PortControl& port, base::MonotonicClock clock,
                       QWidget* parent = nullptr);
    ~FindSettingsWindow() override;

    // Opens the port as the main window does; false when it stayed closed (the opener has said
    // why).
    void setPortOpener(std::function<bool()> open) { openPort_ = std::move(open); }
    // Puts line settings into the port and the settings dialog as the dialog's OK does; false
    // when the port refused them (the applier has said why).
    void setApplier(std::function<bool(const QString&)> apply) { apply_ = std::move(apply); }
    // Why the port has no serial line whose settings matter (a USB CDC device), or empty.
    void setLineCheck(std::function<QString()> check) { lineCheck_ = std::move(check); }

    bool searching() const { return search_.has_value() && !search_->outcome(); }
    // The setting found by the last search, until another starts.
    std::optional<LineFormat> found() const { return found_; }

    // Ends scans, moves to the next setting and reports; the window's timer calls it.
    void tick();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void start();
    void cancel();
    void applyFound();
    // Ends the search with `text`, the port back at its settings from before.
    void stop(const QString& text);
    bool setPortTo(const QString& settings, QString& failure);
    void showProgress();
    // The table of settings tried, as the search has them now.
    void showTried(bool searching);
    void copyTried();

    port::PortControl& port_;
    base::MonotonicClock clock_;
    std::function<bool()> openPort_;
    std::function<bool(const QString&)> apply_;
    std::function<QString()> lineCheck_;
    QTimer timer_;
    std::optional<SettingsSearch> search_;
    std::optional<LineFormat> found_;
    QString before_;
    qint16 searchedPort_ = 0;
    QComboBox* scanChoice_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* report_ = nullptr;
    QTableView* tried_ = nullptr;
    TriedSettingsModel* triedModel_ = nullptr;
    // What the table shows, so that it changes only when the search has news.
    int shownScans_ = -1;
    int shownNumber_ = -1;
};

} // namespace find_settings
