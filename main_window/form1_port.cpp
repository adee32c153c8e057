// The main window's work with the serial port: open and close, receive and display, typing, the
// lamps and line commands, and the property prompts.

#include "ui/echo.h"

#include "base/clock.h"
#include "base/com_ports.h"
#include "base/number_text.h"
#include "main_window/form1.h"
#include "main_window/main_window_texts.h"
#include "main_window/receive_rules.h"
#include "main_window/shape.h"
#include "main_window/status_label.h"
#include "port/port_control.h"
#include "test_codes/window/test_codes_window.h"
#include "ui/device_advice.h"
#include "ui/failure_text.h"
#include "ui/prompts.h"
#include "ui/window_texts.h"
#include "views/rich_text_box.h"
#include "views/view_rules.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

namespace main_window {

namespace {

constexpr int Red = 255;
constexpr int Green = 65280;

// The first character of the text, whole: a character outside the Basic Multilingual Plane takes
// two UTF-16 units, and its first unit alone is no character at all.
QString firstCharacter(const QString& text) {
    const bool pair =
        text.size() >= 2 && text.at(0).isHighSurrogate() && text.at(1).isLowSurrogate();
    return text.left(pair ? 2 : 1);
}

} // namespace

// --- Lamps and line commands ---

void Form1::SerialPinLamps() {
    // Each line is read at its own step: a failing read leaves the later lamps as they were.
    const bool cd = port_->CDHolding();
    showLamp(1, QStringLiteral("CD"), cd, cd ? Red : Green);
    const bool dsr = port_->DSRHolding();
    showLamp(6, QStringLiteral("DSR"), dsr, dsr ? Green : Red);
    const bool cts = port_->CTSHolding();
    showLamp(8, QStringLiteral("CTS"), cts, cts ? Green : Red);
}

void Form1::showLamp(int index, const QString& line, bool held, int colour) {
    lamps_[index]->setBackColor(colour);
    // The colours stay as they are; the words say when "not held" is only for want of lines.
    lamps_[index]->setStateText(lampStateText(line, held, port_->modemLinesReported()));
}

void Form1::showLineState(bool held, const QString& prefix) {
    PropertyText = held ? QStringLiteral("True") : QStringLiteral("False");
    prompts_->messageBox(prefix + PropertyText);
}

void Form1::MHCD_Click() {
    showLineState(port_->CDHolding(), QStringLiteral("CDHolding = "));
}

void Form1::MHCTS_Click() {
    showLineState(port_->CTSHolding(), QStringLiteral("CTSHolding = "));
}

void Form1::MHDSR_Click() {
    showLineState(port_->DSRHolding(), QStringLiteral("DSRHolding = "));
}

void Form1::MDTREnable_Click() {
    const bool enabled = port_->DTREnable();
    port_->setDTREnable(!enabled);
    mDtrEnable_->setChecked(port_->DTREnable());
}

// --- Open and close ---

void Form1::showPortState() {
    // Each control is brought into line on its own: one that cannot be read is left as it was.
    QString ignored;
    ui::trapStep(ignored, [this] { mOpen_->setChecked(port_->PortOpen()); });
    ui::trapStep(ignored, [this] {
        cmdOpen_->setText((port_->PortOpen() ? QStringLiteral("Close") : QStringLiteral("Open")) +
                          QStringLiteral(" ") + base::com_ports::name(port_->CommPort()));
    });
    ui::trapStep(ignored, [this] { cmdConfig_->setEnabled(!port_->PortOpen()); });
    // The device behind the port now, and the open button's word on it.
    ui::trapStep(ignored, [this] {
        openDevice_.reset();
        if (port_->PortOpen())
            openDevice_ = followedDevice(port_->CommPort());
    });
    ui::trapStep(ignored, [this] { showOpenButtonTip(); });
    // Test Codes asks to open the port only while it is closed.
    if (testCodesWindow_)
        ui::trapStep(ignored, [this] { testCodesWindow_->setPortOpen(port_->PortOpen()); });
}

void Form1::MOpen_Click() {
    // The user opens or closes a port: a port closed by a lost device no longer waits for it.
    awaited_.reset();
    QString failure;
    bool opening = false;
    const bool toggled = ui::trapStep(failure, [this, &opening] {
        opening = !port_->PortOpen();
        port_->setPortOpen(opening);
    });
    // A refused open gets what the device list knows: which devices are there, which group.
    if (!toggled && opening && registry_ != nullptr)
        ui::trapStep(failure, [this, &failure] {
            failure =
                ui::withSentence(failure, ui::openFailureAdvice(*registry_, port_->CommPort()));
        });
    ui::trapStep(failure, [this] { SerialPinLamps(); });
    if (!failure.isEmpty()) {
        prompts_->warn(failure);
        return;
    }
    showPortState();
    if (opening)
        quietSinceMs_ = clock_();
    QString ignored;
    ui::trapStep(ignored, [this] {
        const QString state = port_->PortOpen()
                                  ? QStringLiteral(" < Opened > and ready to scan barcode.")
                                  : QStringLiteral(" < Closed > !!");
        prompts_->messageBox(base::com_ports::name(port_->CommPort()) + QStringLiteral(" is ") +
                                 state,
                             ui::Prompts::Buttons::Ok, ui::Prompts::Icon::Information);
    });
}

void Form1::TogglePort() {
    MOpen_Click();
}

void Form1::cmdOPEN_Click() {
    TogglePort();
    term_->setFocus();
}

// --- Receive and display ---

void Form1::MSComm1_OnComm() {
    SerialPinLamps();
    const qint16 code = port_->CommEvent();
    if (code == port::CommEventCode::Receive) {
        HexText.clear();
        ReceivedText = port_->Input();
        HexText = views::hexRendering(ReceivedText);
        views::AppendToView(*termHex_, HexText);
        views::AppendToView(*term_, ReceivedText);
    } else {
        const EventTexts texts = eventTextsFor(code);
        if (!texts.eventMessage.isEmpty())
            EventMessage = texts.eventMessage;
        if (!texts.errorMessage.isEmpty())
            ErrorMessage = texts.errorMessage;
    }

    if (!EventMessage.isEmpty()) {
        label1_->showMessage(EventMessage);
        EventMessage.clear();
    } else if (!ErrorMessage.isEmpty()) {
        prompts_->beep();
        const auto answer = prompts_->messageBox(
            ErrorMessage, ui::Prompts::Buttons::OkCancel, ui::Prompts::Icon::None,
            QStringLiteral("Click Cancel to quit, OK to ignore."));
        ErrorMessage.clear();
        // The user may have closed the port from the main window while the prompt was open.
        if (answer == ui::Prompts::Answer::Cancel && port_->PortOpen()) {
            port_->setPortOpen(false);
            SerialPinLamps();
            // The button, menu check and settings button must not claim an open port.
            showPortState();
        }
    }
}

// --- Typing ---

void Form1::Term_KeyPress(int& code) {
    if (!port_->PortOpen())
        return;
    // A character without a one-byte code cannot go out on the line; it is neither sent nor
    // shown, like any key typed at an open port without echo.
    if (code < 0 || code > 0xFF) {
        code = 0;
        return;
    }
    port_->setOutput(QString(QChar(code)));
    if (EchoEnabled != ui::VbTrue)
        code = 0;
}

// --- Property prompts ---

void Form1::askNumberProperty(const QString& prompt, const QString& title,
                              qint16 (port::PortControl::*read)() const,
                              void (port::PortControl::*write)(qint16)) {
    QString failure;
    const bool asked = ui::trapStep(failure, [&] {
        const qint16 current = (port_.get()->*read)();
        PropertyText =
            prompts_->inputBox(prompt, title, base::decimalText(current)).value_or(QString());
    });
    // Without the current value nothing was asked, and an earlier answer is not this one.
    if (!asked) {
        prompts_->warn(failure);
        return;
    }
    if (PropertyText.isEmpty())
        return;
    // A number that does not fit is a failure of its own; nothing is written then.
    const base::Result<double, base::NumberOverflow> number = base::readNumber(PropertyText);
    const base::Result<qint16, base::NumberOverflow> value =
        number ? base::toInt16(*number)
               : base::Result<qint16, base::NumberOverflow>(base::Failed{number.error()});
    if (value)
        ui::trapStep(failure, [&] { (port_.get()->*write)(*value); });
    else
        failure = ui::overflowText(value.error());
    if (!failure.isEmpty())
        prompts_->warn(failure);
}

void Form1::MInputLen_Click() {
    askNumberProperty(QStringLiteral("Enter New InputLen:"), QStringLiteral("InputLen"),
                      &port::PortControl::InputLen, &port::PortControl::setInputLen);
}

void Form1::MRThreshold_Click() {
    askNumberProperty(QStringLiteral("Enter New RThreshold:"), QStringLiteral("RThreshold"),
                      &port::PortControl::RThreshold, &port::PortControl::setRThreshold);
}

void Form1::MSThreshold_Click() {
    askNumberProperty(QStringLiteral("Enter New SThreshold Value"), QStringLiteral("SThreshold"),
                      &port::PortControl::SThreshold, &port::PortControl::setSThreshold);
}

void Form1::MParRep_Click() {
    QString failure;
    bool cancelled = false;
    const bool asked = ui::trapStep(failure, [&] {
        const QString current = port_->ParityReplace();
        const auto answer = prompts_->inputBox(QStringLiteral("Enter Replace Character"),
                                               QStringLiteral("ParityReplace"), current);
        cancelled = !answer.has_value();
        PropertyText = answer.value_or(QString());
    });
    if (!asked) {
        prompts_->warn(failure);
        return;
    }
    // Cancel keeps the replacement character; only an empty answer given with OK clears it.
    if (cancelled)
        return;
    ui::trapStep(failure, [&] { port_->setParityReplace(firstCharacter(PropertyText)); });
    if (!failure.isEmpty())
        prompts_->warn(failure);
}

} // namespace main_window
