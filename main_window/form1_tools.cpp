// The Tools menu: the Scan Log, the Test Codes, Diagnose, Find Settings, recording to a file,
// sending a break, and the RTS line.

#include "base/clock.h"
#include "devices/com_table_file.h"
#include "devices/key_scanner_reader.h"
#include "diagnose/window/diagnose_window.h"
#include "find_settings/window/find_settings_window.h"
#include "main_window/form1.h"
#include "main_window/main_window_texts.h"
#include "main_window/menu_item_accessible.h"
#include "port/port_control.h"
#include "scan_log/window/recorder.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_texts.h"
#include "scan_log/window/scan_log_window.h"
#include "sending/window/send_window.h"
#include "settings_dialog/window/config_scrn.h"
#include "test_codes/window/test_codes_window.h"
#include "ui/echo.h"
#include "ui/failure_text.h"
#include "ui/file_chooser.h"
#include "ui/prompts.h"
#include "ui/window_places.h"
#include "views/rich_text_box.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>

namespace main_window {

void Form1::buildToolsMenu() {
    files_ = std::make_unique<ui::QtFileChooser>();
    places_ = std::make_unique<ui::WindowPlaces>(devices::ComTableFile::defaultFolder());
    // The log and the recorder take every byte from start-up on, whatever the window shows.
    scanLog_ = std::make_unique<scan_log::ScanCollector>(clock_);
    recorder_ = std::make_unique<scan_log::Recorder>(clock_);
    scanLog_->setBytesWaiting([this] { return port_->WaitingInDevice() > 0; });
    connect(port_.get(), &port::PortControl::bytesArrived, scanLog_.get(),
            [this](const QByteArray& bytes, qint64 msecs) {
                quietSinceMs_ = msecs;
                scanLog_->setPortNumber(port_->CommPort());
                scanLog_->receive(bytes, msecs);
            });
    connect(port_.get(), &port::PortControl::lineErrorArrived, scanLog_.get(),
            [this](qint16) { scanLog_->lineError(); });
    connect(port_.get(), &port::PortControl::bytesArrived, recorder_.get(),
            &scan_log::Recorder::received);
    connect(port_.get(), &port::PortControl::bytesSent, recorder_.get(), &scan_log::Recorder::sent);

    mTools_ = menuBar()->addMenu(QStringLiteral("&Tools"));
    mTools_->setObjectName(QStringLiteral("MTools"));
    mTools_->menuAction()->setObjectName(QStringLiteral("MTools"));
    mTools_->setToolTipsVisible(true);
    auto addItem = [this](const char* name, const char* caption) {
        QAction* action = mTools_->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    installMenuItemAccessibility();
    mScanLog_ = addItem("MScanLog", "Scan &Log...");
    mScanLog_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    mScanLog_->setToolTip(toolsItemTip(ToolTip::ScanLog));
    mTestCodes_ = addItem("MTestCodes", "Test &Codes...");
    mTestCodes_->setToolTip(toolsItemTip(ToolTip::TestCodes));
    mDiagnose_ = addItem("MDiagnose", "&Diagnose...");
    mDiagnose_->setToolTip(toolsItemTip(ToolTip::Diagnose));
    mFindSettings_ = addItem("MFindSettings", "&Find Settings...");
    mFindSettings_->setToolTip(toolsItemTip(ToolTip::FindSettings));
    mSend_ = addItem("MSend", "&Send...");
    mSend_->setToolTip(toolsItemTip(ToolTip::Send));
    mRecord_ = addItem("MRecord", "&Record to File...");
    mRecord_->setCheckable(true);
    mRecord_->setToolTip(toolsItemTip(ToolTip::Record));
    mBreak_ = addItem("MBreak", "Send &Break");
    mBreak_->setToolTip(toolsItemTip(ToolTip::Break));
    mRtsEnable_ = addItem("MRTSEnable", "R&TS");
    mRtsEnable_->setCheckable(true);
    showRtsState();

    onCommand(mScanLog_, &Form1::MScanLog_Click);
    onCommand(mTestCodes_, &Form1::MTestCodes_Click);
    onCommand(mDiagnose_, &Form1::MDiagnose_Click);
    onCommand(mFindSettings_, &Form1::MFindSettings_Click);
    onCommand(mSend_, &Form1::MSend_Click);
    onCommand(mRecord_, &Form1::MRecord_Click);
    onCommand(mBreak_, &Form1::MBreak_Click);
    onCommand(mRtsEnable_, &Form1::MRTSEnable_Click);
    connect(mTools_, &QMenu::aboutToShow, this, [this] { guarded([this] { showRtsState(); }); });

    connect(recorder_.get(), &scan_log::Recorder::recordingChanged, mRecord_, &QAction::setChecked);
    // Reported from the event loop: the failure may be found inside the port's own work.
    connect(
        recorder_.get(), &scan_log::Recorder::failed, this,
        [this](const scan_log::RecordFailure& failure) {
            guarded([this, &failure] { prompts_->warn(scan_log::recordStoppedText(failure)); });
        },
        Qt::QueuedConnection);
}

void Form1::setFileChooser(std::unique_ptr<ui::FileChooser> files) {
    // The windows keep a reference to the chooser: a window made already is made again.
    scanLogWindow_.reset();
    if (scanLog_)
        scanLog_->setScanListener({});
    testCodesWindow_.reset();
    if (scanLog_)
        scanLog_->setReplyHook({});
    sendWindow_.reset();
    files_ = std::move(files);
}

QList<QWidget*> Form1::toolWindows() const {
    QList<QWidget*> windows;
    for (QWidget* window : std::initializer_list<QWidget*>{
             scanLogWindow_.get(), testCodesWindow_.get(), diagnoseWindow_.get(),
             findSettingsWindow_.get(), sendWindow_.get()})
        if (window != nullptr)
            windows << window;
    return windows;
}

void Form1::showRtsState() {
    const qint32 flow = port_->Handshaking();
    const bool byHand = flow != 2 && flow != 3;
    mRtsEnable_->setEnabled(byHand);
    mRtsEnable_->setToolTip(rtsTip(byHand));
    mRtsEnable_->setChecked(port_->RTSEnable());
}

void Form1::MScanLog_Click() {
    if (!scanLogWindow_) {
        scanLogWindow_ =
            std::make_unique<scan_log::ScanLogWindow>(*scanLog_, *files_, *prompts_, this);
        places_->place(scanLogWindow_.get(), this, toolWindows());
    }
    scanLogWindow_->show();
    scanLogWindow_->raise();
    scanLogWindow_->activateWindow();
}

void Form1::MTestCodes_Click() {
    if (!testCodesWindow_) {
        testCodesWindow_ = std::make_unique<test_codes::TestCodesWindow>(*files_, *prompts_, this);
        places_->place(testCodesWindow_.get(), this, toolWindows());
        // From now on every scan the log takes is judged too.
        scanLog_->setScanListener([window =
                                       testCodesWindow_.get()](const scan_log::ScanView& scan,
                                                               const scan_log::ScanTimes& times) {
            const std::size_t end = scan.bytes.size() - scan_log::terminatorLength(scan.terminator);
            window->takeScan({std::string(scan.bytes.substr(0, end)), scan.terminator, times.gapMs,
                              times.durationMs, times.keyboard});
        });
    }
    testCodesWindow_->setPortOpen(port_->PortOpen());
    testCodesWindow_->show();
    testCodesWindow_->raise();
    testCodesWindow_->activateWindow();
}

void Form1::MDiagnose_Click() {
    if (!diagnoseWindow_) {
        diagnoseWindow_ = std::make_unique<diagnose::DiagnoseWindow>(registry_, this);
        places_->place(diagnoseWindow_.get(), this, toolWindows());
        diagnoseWindow_->setPortWatch([this]() -> std::optional<diagnose::PortQuiet> {
            std::optional<diagnose::PortQuiet> quiet;
            QString ignored;
            ui::trapStep(ignored, [this, &quiet] {
                if (!port_->PortOpen())
                    return;
                const qint64 now = clock_();
                quiet = diagnose::PortQuiet{port_->CommPort(), now - quietSinceMs_.value_or(now)};
            });
            return quiet;
        });
        diagnoseWindow_->setMarksListener([this](const QSet<QString>& marked) {
            markedKeyboards_ = marked;
            if (hidMonitor_)
                guarded([this] { followHidScanners(); });
        });
        diagnoseWindow_->setLayoutListener([this](const QString& xkbName) {
            keyLayout_ = xkbName;
            for (auto& [node, reader] : keyReaders_)
                reader->setLayout(xkbName.toStdString());
        });
        diagnoseWindow_->setKeyCatcher([this](const QString& node, bool catchKeys) {
            const auto reader = keyReaders_.find(node);
            return reader != keyReaders_.end() && reader->second->setCaught(catchKeys);
        });
    } else
        diagnoseWindow_->refresh();
    diagnoseWindow_->show();
    diagnoseWindow_->raise();
    diagnoseWindow_->activateWindow();
}

void Form1::MFindSettings_Click() {
    if (!findSettingsWindow_) {
        findSettingsWindow_ =
            std::make_unique<find_settings::FindSettingsWindow>(*port_, clock_, this);
        places_->place(findSettingsWindow_.get(), this, toolWindows());
        findSettingsWindow_->setPortOpener([this] {
            MOpen_Click();
            return port_->PortOpen();
        });
        findSettingsWindow_->setApplier([this](const QString& settings) {
            ensureSettingsDialog();
            return config_->applyLineSettings(settings);
        });
        findSettingsWindow_->setLineCheck([this] { return noSerialLineReason(); });
    }
    findSettingsWindow_->show();
    findSettingsWindow_->raise();
    findSettingsWindow_->activateWindow();
}

void Form1::MSend_Click() {
    if (!sendWindow_) {
        sendWindow_ = std::make_unique<sending::SendWindow>(
            *port_, *files_, *prompts_,
            QDir(devices::ComTableFile::defaultFolder()).filePath(QStringLiteral("commands.ini")),
            this);
        places_->place(sendWindow_.get(), this, toolWindows());
        // What is sent shows in the text view as typed keys do, with local echo on.
        sendWindow_->setEcho([this](const QString& text) {
            if (EchoEnabled == ui::VbTrue)
                term_->setSelText(text);
        });
        // A scan from the port that ends gets its reply at once (not one typed or read from a
        // scanner that is no serial port).
        scanLog_->setReplyHook([window = sendWindow_.get()](const scan_log::ScanTimes& times) {
            return !times.keyboard && times.device.isEmpty() && window->scanEnded();
        });
    }
    sendWindow_->show();
    sendWindow_->raise();
    sendWindow_->activateWindow();
}

void Form1::MRecord_Click() {
    if (recorder_->recording()) {
        recorder_->stop();
        mRecord_->setChecked(recorder_->recording());
        return;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString proposed =
        QDir(folder).filePath(scan_log::Recorder::defaultFileName(QDateTime::currentDateTime()));
    const QString transcript = transcriptFilter();
    const QString raw = rawFilter();
    QString filter = transcript;
    const QString path = files_->saveFileName(this, recordDialogTitle(), proposed,
                                              transcript + QStringLiteral(";;") + raw, &filter);
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool asRaw =
        suffix == QStringLiteral("bin") || (suffix != QStringLiteral("log") && filter == raw);
    if (const auto started = recorder_->start(path, asRaw ? scan_log::Recorder::Kind::Raw
                                                          : scan_log::Recorder::Kind::Transcript);
        !started)
        prompts_->warn(scan_log::recordNotStartedText(started.error()));
    mRecord_->setChecked(recorder_->recording());
}

void Form1::MBreak_Click() {
    QString failure;
    ui::trapStep(failure, [this] { port_->sendBreak(); });
    if (!failure.isEmpty())
        prompts_->warn(failure);
}

void Form1::MRTSEnable_Click() {
    QString failure;
    ui::trapStep(failure, [this] { port_->setRTSEnable(!port_->RTSEnable()); });
    showRtsState();
    if (!failure.isEmpty())
        prompts_->warn(failure);
}

} // namespace main_window
