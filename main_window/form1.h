#pragma once

#include "base/clock.h"
#include "ui/failure_text.h"

#include <QMainWindow>
#include <QSet>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace devices {
class DeviceRegistry;
class HidMonitor;
class HidScanReader;
class KeyScannerReader;
} // namespace devices
namespace diagnose {
class DiagnoseWindow;
}
namespace sending {
class SendWindow;
}
namespace find_settings {
class FindSettingsWindow;
}
namespace port {
class PortControl;
}
namespace scan_log {
class Recorder;
class ScanCollector;
class ScanLogWindow;
} // namespace scan_log
namespace settings_dialog {
class ConfigScrn;
}
namespace test_codes {
class TestCodesWindow;
}
namespace ui {
class FileChooser;
class Prompts;
class WindowPlaces;
} // namespace ui
namespace views {
class RichTextBox;
}

namespace main_window {

class LineControl;
class Shape;
class StatusLabel;

// The main window: two data views, the buttons, the modem-line lamps, the status line and the
// menus, and the one serial port it owns for the whole run.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    // The window owns the port and the prompts it is given (tests hand in doubles); the clock
    // times the close wait and everything the windows it opens measure. echoEnabled is the
    // program's local-echo switch; it must outlive the window.
    Form1(std::unique_ptr<port::PortControl> port, std::unique_ptr<ui::Prompts> prompts,
          base::MonotonicClock clock, qint16& echoEnabled);
    ~Form1() override;

    port::PortControl& MSComm1() const { return *port_; }
    ui::Prompts& prompts() const { return *prompts_; }

    views::RichTextBox& Term() const { return *term_; }
    views::RichTextBox& TermHex() const { return *termHex_; }
    QPushButton& cmdOPEN() const { return *cmdOpen_; }
    QPushButton& cmdConfig() const { return *cmdConfig_; }
    QAction& MOpen() const { return *mOpen_; }
    Shape& shapeMSCommPins(int index) const { return *lamps_.at(index); }

    // The settings dialog, once it has been shown (null before).
    settings_dialog::ConfigScrn* configScrn() const { return config_.get(); }

    // The serial devices present and their numbers, for naming them in tooltips and messages and
    // for opening the port again when its device comes back. Optional; it must outlive the window
    // and be given before the settings dialog is first shown.
    void setDeviceRegistry(devices::DeviceRegistry* registry);
    // Reads every point-of-sale scanner and every scanner in keyboard mode the person may open,
    // from now on and as they are plugged in, into the Scan Log.
    void readHidScanners();
    // The point-of-sale scanners read now, by hidraw node.
    const std::map<QString, std::unique_ptr<devices::HidScanReader>>& hidScannerReaders() const {
        return hidReaders_;
    }
    // The scanners in keyboard mode read now, by event node.
    const std::map<QString, std::unique_ptr<devices::KeyScannerReader>>& keyScannerReaders() const {
        return keyReaders_;
    }

    // Tools: the Scan Log fed from the port since start-up, its window once shown (null before),
    // the recorder, and the file dialog they ask (tests hand in a double).
    scan_log::ScanCollector& scanLog() const { return *scanLog_; }
    scan_log::ScanLogWindow* scanLogWindow() const { return scanLogWindow_.get(); }
    test_codes::TestCodesWindow* testCodesWindow() const { return testCodesWindow_.get(); }
    diagnose::DiagnoseWindow* diagnoseWindow() const { return diagnoseWindow_.get(); }
    sending::SendWindow* sendWindow() const { return sendWindow_.get(); }
    scan_log::Recorder& recorder() const { return *recorder_; }
    // The Tools windows made so far, shown or not.
    QList<QWidget*> toolWindows() const;
    void setFileChooser(std::unique_ptr<ui::FileChooser> files);

    // Brings the open button's caption, the open command's check mark and the settings button
    // into line with the port's actual state.
    void showPortState();

    // Handlers of the window and its buttons.
    void Form_Resize();
    void Form_Unload(bool& cancel);
    void cmdClear_Click();
    void cmdConfig_Click();
    void MSettings_Click();

    // Port handlers: open and close, receive and display, typing, lamps, line commands and
    // property prompts.
    void SerialPinLamps();
    void MOpen_Click();
    void TogglePort();
    void cmdOPEN_Click();
    void MSComm1_OnComm();
    void Term_KeyPress(int& code);
    void MHCD_Click();
    void MHCTS_Click();
    void MHDSR_Click();
    void MDTREnable_Click();
    void MInputLen_Click();
    void MRThreshold_Click();
    void MSThreshold_Click();
    void MParRep_Click();

    // Tools menu.
    void MScanLog_Click();
    void MTestCodes_Click();
    void MDiagnose_Click();
    void MFindSettings_Click();
    void MSend_Click();
    void MRecord_Click();
    void MBreak_Click();
    void MRTSEnable_Click();

    // Line event waiting for the status line, and error waiting for the error prompt.
    QString EventMessage;
    QString ErrorMessage;
    // The latest received block, as hexadecimal codes and as text.
    QString HexText;
    QString ReceivedText;
    // The last answer of a property prompt or the last line state queried.
    QString PropertyText;
    // Local echo of typed characters, switched by the settings dialog.
    qint16& EchoEnabled;

    // Milliseconds between two polls of the output count in the close wait: short enough that the
    // window reacts at once when the output has drained, long enough not to burn a core.
    static constexpr int CloseWaitPollMs = 20;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildForm();
    void buildLinesAndLamps(QWidget* client);
    QWidget* buildClientArea();
    void buildStatusLine(QWidget* client);
    void buildMenus();
    void buildToolsMenu();
    void followHidScanners();
    // The RTS item: checked while RTS is enabled, disabled while RTS/CTS flow control drives it.
    void showRtsState();
    // Runs a menu command's handler from the event loop, after the item's trigger has returned.
    void runCommand(void (Form1::*handler)());
    // Runs the handler through runCommand whenever the item is chosen.
    void onCommand(QAction* item, void (Form1::*handler)());
    void showSettingsDialog();
    // Makes the settings dialog, wired to the window, when there is none yet.
    void ensureSettingsDialog();
    // Why the chosen port has no serial line whose settings matter (a USB CDC device), or empty.
    QString noSerialLineReason() const;
    // Runs a handler of this window under guarded() with the window's prompts.
    template <typename Handler> void guarded(Handler&& handler) {
        ui::guarded(*prompts_, std::forward<Handler>(handler));
    }
    void connectPortHandlers();
    void showLineState(bool held, const QString& prefix);
    void showLamp(int index, const QString& line, bool held, int colour);
    // The device behind a numbered port, as the registry follows it.
    struct FollowedDevice {
        int number = 0;
        QString identity;
        QString node;
    };
    std::optional<FollowedDevice> followedDevice(int number) const;
    // The open button's tooltip: the device of the current port.
    void showOpenButtonTip();
    // The port's device went away while it was open; the port is closed.
    void onDeviceLost(QString message);
    void onDeviceAdded(int number);
    void onDeviceRemoved(int number);
    void askNumberProperty(const QString& prompt, const QString& title,
                           qint16 (port::PortControl::*read)() const,
                           void (port::PortControl::*write)(qint16));

    std::unique_ptr<port::PortControl> port_;
    std::unique_ptr<ui::Prompts> prompts_;
    base::MonotonicClock clock_;
    // The dialog is a window of its own (it outlives this window's closing) and lives until the
    // program ends.
    std::unique_ptr<settings_dialog::ConfigScrn> config_;
    std::unique_ptr<ui::FileChooser> files_;
    std::unique_ptr<scan_log::ScanCollector> scanLog_;
    std::unique_ptr<scan_log::ScanLogWindow> scanLogWindow_;
    std::unique_ptr<test_codes::TestCodesWindow> testCodesWindow_;
    std::unique_ptr<diagnose::DiagnoseWindow> diagnoseWindow_;
    std::unique_ptr<find_settings::FindSettingsWindow> findSettingsWindow_;
    std::unique_ptr<sending::SendWindow> sendWindow_;
    // Where the windows above open, and their places kept between runs.
    std::unique_ptr<ui::WindowPlaces> places_;
    // Since when the open port has received nothing (its opening, or its last bytes).
    std::optional<qint64> quietSinceMs_;
    std::unique_ptr<scan_log::Recorder> recorder_;

    QPushButton* cmdConfig_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdClear_ = nullptr;
    views::RichTextBox* term_ = nullptr;
    views::RichTextBox* termHex_ = nullptr;
    StatusLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    std::array<LineControl*, 3> lines_{};
    std::array<QLabel*, 8> pinLabels_{};
    // Index 0 stays empty: the lamps are numbered 1 to 9.
    std::array<Shape*, 10> lamps_{};

    QMenu* mPort_ = nullptr;
    QMenu* mProp_ = nullptr;
    QAction* mOpen_ = nullptr;
    QAction* mSettings_ = nullptr;
    QAction* mInputLen_ = nullptr;
    QAction* mRThreshold_ = nullptr;
    QAction* mSThreshold_ = nullptr;
    QAction* mParRep_ = nullptr;
    QAction* mDtrEnable_ = nullptr;
    QAction* mHcd_ = nullptr;
    QAction* mHcts_ = nullptr;
    QAction* mHdsr_ = nullptr;
    QMenu* mTools_ = nullptr;
    QAction* mScanLog_ = nullptr;
    QAction* mTestCodes_ = nullptr;
    QAction* mDiagnose_ = nullptr;
    QAction* mFindSettings_ = nullptr;
    QAction* mSend_ = nullptr;
    QAction* mRecord_ = nullptr;
    QAction* mBreak_ = nullptr;
    QAction* mRtsEnable_ = nullptr;

    devices::DeviceRegistry* registry_ = nullptr;
    // The point-of-sale scanners read directly, by their hidraw node.
    std::unique_ptr<devices::HidMonitor> hidMonitor_;
    std::map<QString, std::unique_ptr<devices::HidScanReader>> hidReaders_;
    // The scanners in keyboard mode read directly, by their input event node.
    std::map<QString, std::unique_ptr<devices::KeyScannerReader>> keyReaders_;
    // Keyboards the person marked as scanners in Diagnose ("vendor:product"): read as well.
    QSet<QString> markedKeyboards_;
    // The layout (XKB name) they type for, as the person says in Diagnose.
    QString keyLayout_ = QStringLiteral("us");
    // The device the open port has open, when the registry follows it.
    std::optional<FollowedDevice> openDevice_;
    // The device whose loss closed the port; it opens again when that device is back, unless
    // the user has opened or closed a port since.
    std::optional<FollowedDevice> awaited_;

    bool closing_ = false;
    bool shownBefore_ = false;
};

} // namespace main_window
