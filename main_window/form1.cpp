#include "main_window/form1.h"
#include "main_window/main_window_texts.h"

#include "devices/hid_devices.h"
#include "devices/hid_scan_reader.h"
#include "devices/key_scanner_reader.h"
#include "diagnose/window/diagnose_window.h"
#include "find_settings/window/find_settings_window.h"
#include "main_window/app_icon.h"
#include "main_window/line_control.h"
#include "main_window/shape.h"
#include "main_window/status_label.h"
#include "port/port_control.h"
#include "scan_log/window/recorder.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_window.h"
#include "sending/window/send_window.h"
#include "settings_dialog/window/config_scrn.h"
#include "test_codes/window/test_codes_window.h"
#include "ui/file_chooser.h"
#include "ui/prompts.h"
#include "ui/twips.h"
#include "ui/version.h"
#include "ui/window_places.h"
#include "ui/window_texts.h"
#include "views/rich_text_box.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace main_window {

namespace {

constexpr int ClientWidthTwips = 8520;
constexpr int ClientHeightTwips = 8580;
const QColor FormBackground(192, 192, 192);

// The faces the form asks for are the classic Windows ones; Liberation has metric-compatible
// faces for two of them, and its sans stands in for the bitmap MS Sans Serif.
void registerFontSubstitutes() {
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

QFont fontOf(const char* family, double points, bool bold = false) {
    QFont font(QString::fromLatin1(family));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont msSansSerif975() {
    return fontOf("MS Sans Serif", 9.75);
}

struct PinLabel {
    const char* caption;
    int left;
    int width;
    bool bold;
    QColor colour; // invalid: the window's default text colour
};

const PinLabel PinLabels[8] = {
    {"CD", 2040, 255, false, {}},
    {"RX", 2520, 255, true, QColor(0, 0, 128)},
    {"TX", 3000, 255, true, QColor(0, 128, 0)},
    {"DTR", 3480, 375, true, QColor(0, 0, 128)},
    {"DSR", 4200, 495, true, QColor(0, 128, 0)},
    {"RTS", 4680, 375, true, QColor(0, 128, 0)},
    {"CTS", 5160, 375, true, QColor(0, 0, 128)},
    {"RI", 5640, 375, false, {}},
};

// Left edge of lamps 1 to 9 (index 0 unused).
constexpr int LampLefts[10] = {0, 2040, 2520, 3000, 3480, 3840, 4200, 4680, 5160, 5640};
constexpr int White = 0xFFFFFF;
constexpr int Grey = 128 | (128 << 8) | (128 << 16);

} // namespace

Form1::Form1(std::unique_ptr<port::PortControl> port, std::unique_ptr<ui::Prompts> prompts,
             base::MonotonicClock clock, qint16& echoEnabled)
    : EchoEnabled(echoEnabled), port_(std::move(port)), prompts_(std::move(prompts)),
      clock_(std::move(clock)) {
    registerFontSubstitutes();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kestrova Linnet Test V") + ui::version::title());
    setWindowIcon(appIcon());
    buildForm();
    buildMenus();
    connectPortHandlers();
    buildToolsMenu();
    cmdOpen_->setFocus();
}

Form1::~Form1() = default;

// The client area: the form's background and font, under the menu bar.
QWidget* Form1::buildClientArea() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, FormBackground);
    client->setPalette(palette);
    client->setFont(fontOf("MS Sans Serif", 8.25));
    setCentralWidget(client);
    return client;
}

void Form1::buildForm() {
    QWidget* const client = buildClientArea();

    auto makeButton = [client](const char* name, const char* caption, QRect rect) {
        auto* button = new QPushButton(QString::fromLatin1(caption), client);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(rect);
        return button;
    };
    cmdConfig_ = makeButton("cmdConfig", "Port Setting...", ui::twipsRect(1080, 120, 1695, 495));
    cmdConfig_->setFont(msSansSerif975());
    cmdOpen_ = makeButton("cmdOPEN", "Open COM1", ui::twipsRect(3840, 120, 1695, 495));
    cmdOpen_->setFont(msSansSerif975());
    cmdClear_ = makeButton("cmdClear", "CLEAR", ui::twipsRect(7080, 120, 1335, 495));

    auto makeView = [client](const char* name) {
        auto* view = new views::RichTextBox(client);
        view->setObjectName(QString::fromLatin1(name));
        return view;
    };
    term_ = makeView("Term");
    term_->setGeometry(ui::twipsRect(840, 1920, 2175, 1575));
    term_->setAccessibleName(receivedTextName());
    termHex_ = makeView("TermHex");
    termHex_->setAccessibleName(receivedHexName());
    termHex_->setGeometry(ui::twipsRect(840, 4680, 2175, 1575));

    buildStatusLine(client);
    buildLinesAndLamps(client);

    setTabOrder(cmdOpen_, term_);
    setTabOrder(term_, cmdConfig_);
    setTabOrder(cmdConfig_, termHex_);
    setTabOrder(termHex_, cmdClear_);

    connect(cmdClear_, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdClear_Click(); }); });
    connect(cmdConfig_, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdConfig_Click(); }); });

    resize(ui::twipsToPixels(ClientWidthTwips), ui::twipsToPixels(ClientHeightTwips));
}

// The "Status" caption and the status line beside it.
void Form1::buildStatusLine(QWidget* client) {
    auto makeLabel = [](auto* label, const char* name, QRect rect) {
        label->setObjectName(QString::fromLatin1(name));
        label->setGeometry(rect);
        label->setAutoFillBackground(true);
        QPalette labelPalette = label->palette();
        labelPalette.setColor(QPalette::Window, FormBackground);
        label->setPalette(labelPalette);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    };
    label2_ = makeLabel(new QLabel(QStringLiteral("Status"), client), "Label2",
                        ui::twipsRect(120, 8280, 615, 195));
    label2_->setFont(msSansSerif975());
    // No accessible name of its own: screen readers get the message with it.
    label1_ = makeLabel(new StatusLabel(client), "Label1", ui::twipsRect(720, 8220, 7695, 270));
}

// The three lines that part the window, and the modem-line labels with their lamps below them.
void Form1::buildLinesAndLamps(QWidget* client) {
    lines_[0] = new LineControl(8520, 7560, 8520, 600, client);
    lines_[1] = new LineControl(0, 4080, 8520, 4080, client);
    lines_[2] = new LineControl(0, 7560, 8520, 7560, client);
    for (int i = 0; i < 3; ++i)
        lines_[i]->setObjectName(QStringLiteral("Line%1").arg(i + 1));

    for (int i = 0; i < 8; ++i) {
        const PinLabel& pin = PinLabels[i];
        auto* label = new QLabel(QString::fromLatin1(pin.caption), client);
        label->setObjectName(QStringLiteral("lblMSCommPins_%1").arg(i));
        label->setGeometry(ui::twipsRect(pin.left, 7680, pin.width, 255));
        label->setFont(fontOf("Arial", 9.75, pin.bold));
        if (pin.colour.isValid()) {
            QPalette labelPalette = label->palette();
            labelPalette.setColor(QPalette::WindowText, pin.colour);
            label->setPalette(labelPalette);
        }
        pinLabels_[i] = label;
    }

    for (int index = 1; index <= 9; ++index) {
        auto* lamp = new Shape(client);
        lamp->setObjectName(QStringLiteral("shapeMSCommPins_%1").arg(index));
        lamp->setGeometry(ui::twipsRect(LampLefts[index], 7920, 255, 255));
        lamps_[index] = lamp;
    }
    // The three lamps the program drives say "unknown" until their first refresh; the others
    // keep their look for the whole run and say that they show nothing.
    const char* const lampNames[10] = {"", "CD", "RX", "TX", "DTR", "", "DSR", "RTS", "CTS", "RI"};
    for (int index : {1, 6, 8})
        lamps_[index]->setStateText(lampUnknownText(QLatin1String(lampNames[index])));
    for (int index : {2, 3, 4, 7, 9})
        lamps_[index]->setStateText(lampNotMonitoredText(QLatin1String(lampNames[index])));
    lamps_[2]->setBackColor(White);
    lamps_[7]->setBackColor(White);
    lamps_[5]->setBackStyle(0);
    lamps_[5]->setBorderStyle(0);
    lamps_[5]->setBorderColor(Grey);
}

void Form1::buildMenus() {
    auto addItem = [](QMenu* menu, const char* name, const char* caption) {
        QAction* action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    mPort_ = menuBar()->addMenu(QStringLiteral("&Scanner_Comm_Port"));
    mPort_->setObjectName(QStringLiteral("MPort"));
    mPort_->menuAction()->setObjectName(QStringLiteral("MPort"));
    mOpen_ = addItem(mPort_, "MOpen", "&Open COM Port");
    mOpen_->setCheckable(true);
    mSettings_ = addItem(mPort_, "MSettings", "&Port Settings...");

    mProp_ = menuBar()->addMenu(QStringLiteral("&Properties"));
    mProp_->setObjectName(QStringLiteral("MProp"));
    mProp_->menuAction()->setObjectName(QStringLiteral("MProp"));
    mInputLen_ = addItem(mProp_, "MInputLen", "&InputLen...");
    mRThreshold_ = addItem(mProp_, "MRThreshold", "&RThreshold...");
    mSThreshold_ = addItem(mProp_, "MSThreshold", "&SThreshold...");
    mParRep_ = addItem(mProp_, "MParRep", "P&arityReplace...");
    mDtrEnable_ = addItem(mProp_, "MDTREnable", "&DTREnable");
    mDtrEnable_->setCheckable(true);
    // The check mark shows the line from the start: the port starts with DTR enabled.
    mDtrEnable_->setChecked(port_->DTREnable());
    QAction* bar = mProp_->addSeparator();
    bar->setObjectName(QStringLiteral("Bar3"));
    mHcd_ = addItem(mProp_, "MHCD", "&CDHolding...");
    mHcts_ = addItem(mProp_, "MHCTS", "CTSH&olding...");
    mHdsr_ = addItem(mProp_, "MHDSR", "DSRHo&lding...");
    // The items' names are the port's own jargon: each says in plain words what it is for, in a
    // tooltip and (through the menu items' accessibility) as its description.
    mProp_->setToolTipsVisible(true);
    for (QAction* item : mProp_->actions())
        if (const QString hint = ui::propertyHint(item->objectName()); !hint.isEmpty())
            item->setToolTip(hint);

    connect(mSettings_, &QAction::triggered, this, [this] { runCommand(&Form1::MSettings_Click); });
}

void Form1::onCommand(QAction* item, void (Form1::*handler)()) {
    connect(item, &QAction::triggered, this, [this, item, handler] {
        // A check item toggles its own mark when chosen; the handler sets the mark from what
        // actually happened.
        if (item->isCheckable())
            item->setChecked(!item->isChecked());
        runCommand(handler);
    });
}

void Form1::runCommand(void (Form1::*handler)()) {
    // A menu command runs once the call that chose it has returned. A screen reader's Press
    // triggers the item inside its own request and would otherwise wait, and time out, while the
    // command's prompt is open.
    QMetaObject::invokeMethod(
        this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); },
        Qt::QueuedConnection);
}

void Form1::connectPortHandlers() {
    onCommand(mOpen_, &Form1::MOpen_Click);
    onCommand(mDtrEnable_, &Form1::MDTREnable_Click);
    onCommand(mHcd_, &Form1::MHCD_Click);
    onCommand(mHcts_, &Form1::MHCTS_Click);
    onCommand(mHdsr_, &Form1::MHDSR_Click);
    onCommand(mInputLen_, &Form1::MInputLen_Click);
    onCommand(mRThreshold_, &Form1::MRThreshold_Click);
    onCommand(mSThreshold_, &Form1::MSThreshold_Click);
    onCommand(mParRep_, &Form1::MParRep_Click);

    connect(cmdOpen_, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdOPEN_Click(); }); });
    connect(port_.get(), &port::PortControl::OnComm, this,
            [this] { guarded([this] { MSComm1_OnComm(); }); });
    connect(port_.get(), &port::PortControl::deviceLost, this, [this](const QString& message) {
        guarded([this, &message] { onDeviceLost(message); });
    });
    connect(
        term_, &views::RichTextBox::keyPress, this,
        [this](int& code) {
            guarded([this, &code] {
                try {
                    Term_KeyPress(code);
                } catch (const port::PortFailure& failure) {
                    // A key that could not be sent is not shown either.
                    code = 0;
                    // A full transmit buffer is reported once for the whole episode by the
                    // port's own notification; a box for every key typed meanwhile would bury
                    // the user in prompts.
                    if (failure.error().operation == port::PortOperation::Output &&
                        failure.error().kind == port::FailureKind::Busy)
                        return;
                    throw;
                } catch (...) {
                    code = 0;
                    throw;
                }
            });
        },
        Qt::DirectConnection);
}

void Form1::showEvent(QShowEvent* event) {
    // The menu bar's height is known only once the window is polished for showing; the client
    // area below it starts at its design size.
    if (!shownBefore_) {
        shownBefore_ = true;
        resize(ui::twipsToPixels(ClientWidthTwips),
               ui::twipsToPixels(ClientHeightTwips) + menuBar()->sizeHint().height());
    }
    QMainWindow::showEvent(event);
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    guarded([this] { Form_Resize(); });
}

void Form1::Form_Resize() {
    const LineControl& line1 = *lines_[0];
    const LineControl& line2 = *lines_[1];
    const LineControl& line3 = *lines_[2];
    // The views hang from the lines: each reaches from just below one line to just past the next.
    term_->setGeometry(ui::twipsRect(0, line1.Y2() + 15, line1.X1(), line2.Y2() - line1.Y2() + 10));
    termHex_->setGeometry(
        ui::twipsRect(0, line2.Y2() + 15, line1.X1(), line3.Y2() - line2.Y2() + 10));
    // Received lines wrap only when they are wider than ten times the window.
    term_->setRightMargin(10 * frameGeometry().width());
    termHex_->setRightMargin(10 * frameGeometry().width());
}

void Form1::closeEvent(QCloseEvent* event) {
    // A second close request while the first one waits for output would start a second wait.
    if (closing_) {
        event->ignore();
        return;
    }
    closing_ = true;
    bool cancel = false;
    guarded([this, &cancel] { Form_Unload(cancel); });
    closing_ = false;
    if (cancel)
        event->ignore();
    else
        event->accept();
}

void Form1::Form_Unload(bool& cancel) {
    if (!port_->PortOpen())
        return;
    const auto seconds = [this] { return static_cast<double>(clock_()) / 1000.0; };
    auto deadlineFromNow = [&seconds] { return std::round(seconds() + 10.0); };
    double deadline = deadlineFromNow();

    // The wait lets every other event run between two polls; the timer wakes the loop so that
    // the output count is polled without spinning a core.
    QTimer wakeUp;
    wakeUp.start(CloseWaitPollMs);
    for (;;) {
        // Something handled during the wait (the error prompt's Cancel, say) closed the port.
        if (!port_->PortOpen())
            return;
        if (port_->OutBufferCount() == 0)
            break;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!port_->PortOpen())
            return;
        if (seconds() > deadline) {
            const auto answer = prompts_->messageBox(QStringLiteral("Data cannot be sent"),
                                                     ui::Prompts::Buttons::AbortRetryIgnore,
                                                     ui::Prompts::Icon::Question);
            if (answer == ui::Prompts::Answer::Abort) {
                cancel = true;
                return;
            }
            if (answer == ui::Prompts::Answer::Ignore)
                break;
            deadline = deadlineFromNow();
        }
    }
    port_->setPortOpen(false);
}

void Form1::cmdClear_Click() {
    term_->setText(QString());
    termHex_->setText(QString());
}

void Form1::cmdConfig_Click() {
    showSettingsDialog();
}

void Form1::MSettings_Click() {
    showSettingsDialog();
}

void Form1::showSettingsDialog() {
    ensureSettingsDialog();
    config_->showDialog();
}

void Form1::ensureSettingsDialog() {
    if (!config_) {
        config_ =
            std::make_unique<settings_dialog::ConfigScrn>(*port_, *prompts_, EchoEnabled, this);
        config_->setDeviceRegistry(registry_);
        // Whatever OK got through, the open button, menu check mark and settings button follow
        // the port as it is now.
        connect(config_.get(), &settings_dialog::ConfigScrn::settingsApplied, this,
                &Form1::showPortState);
        // OK may have changed the flow control, which decides whether RTS can be set by hand.
        connect(config_.get(), &QDialog::finished, this, [this] { showRtsState(); });
    }
}

} // namespace main_window
