#include "settings_dialog/window/config_scrn.h"

#include "base/outside_text.h"

#include "devices/device_registry.h"
#include "port/device_map.h"
#include "port/port_control.h"
#include "settings_dialog/model/settings_text.h"
#include "ui/device_advice.h"
#include "ui/failure_text.h"
#include "ui/prompts.h"
#include "ui/twips.h"
#include "ui/window_places.h"
#include "ui/window_texts.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolTip>

#include <algorithm>
#include <optional>
#include <span>

namespace settings_dialog {

namespace {

using Handler = void (ConfigScrn::*)();
using Group = ConfigScrn::Group;

struct OptionDef {
    const char* name;
    const char* caption;
    int left;
    int top;
    int width;
    int height;
    const char* value; // what the load step compares the port's value with
    Handler handler;
};

struct FrameDef {
    const char* name;
    const char* caption;
    int left;
    int top;
    int width;
    int height;
    Group group;
    std::span<const OptionDef> options; // empty for the port choices, which are built by number
};

// The names of Baud3 and Baud6 do not follow their rates; the value column is what counts.
constexpr OptionDef BaudOptions[] = {
    {"Baud3", "19200", 120, 240, 915, 255, "19200", &ConfigScrn::Baud3_Click},
    {"Baud6", "600", 1080, 240, 615, 255, "600", &ConfigScrn::Baud6_Click},
    {"Baud384", "38400", 2040, 240, 915, 255, "38400", &ConfigScrn::Baud384_Click},
    {"Baud1152", "115200", 2880, 240, 915, 255, "115200", &ConfigScrn::Baud1152_Click},
    {"Baud24", "2400", 120, 600, 735, 255, "2400", &ConfigScrn::Baud24_Click},
    {"Baud48", "4800", 1080, 600, 735, 255, "4800", &ConfigScrn::Baud48_Click},
    {"Baud96", "9600", 2040, 600, 735, 255, "9600", &ConfigScrn::Baud96_Click},
    {"Baud576", "57600", 2880, 600, 915, 255, "57600", &ConfigScrn::Baud576_Click},
};

constexpr OptionDef DataBitOptions[] = {
    {"Data7", "7", 180, 240, 375, 255, "7", &ConfigScrn::Data7_Click},
    {"Data8", "8", 720, 240, 435, 255, "8", &ConfigScrn::Data8_Click},
};

constexpr OptionDef StopBitOptions[] = {
    {"Stop1", "1", 240, 240, 435, 255, "1", &ConfigScrn::Stop1_Click},
    {"Stop2", "2", 1320, 240, 495, 255, "2", &ConfigScrn::Stop2_Click},
};

// The value is what EchoEnabled becomes.
constexpr OptionDef EchoOptions[] = {
    {"EchoOn", "On", 180, 300, 555, 195, "-1", &ConfigScrn::EchoOn_Click},
    {"EchoOff", "Off", 780, 240, 615, 315, "0", &ConfigScrn::EchoOff_Click},
};

constexpr OptionDef ParityOptions[] = {
    {"NoParity", "None", 180, 300, 855, 255, "N", &ConfigScrn::NoParity_Click},
    {"OddParity", "Odd", 180, 600, 735, 255, "O", &ConfigScrn::OddParity_Click},
    {"EvenParity", "Even", 180, 900, 855, 255, "E", &ConfigScrn::EvenParity_Click},
};

constexpr OptionDef FlowOptions[] = {
    {"NoFlow", "None", 180, 300, 855, 255, "0", &ConfigScrn::NoFlow_Click},
    {"XonFlow", "Xon/Xoff", 180, 600, 1095, 255, "1", &ConfigScrn::XonFlow_Click},
    {"RTSFlow", "RTS", 180, 900, 735, 255, "2", &ConfigScrn::RTSFlow_Click},
    {"BothFlow", "Xon/RTS", 180, 1200, 1155, 255, "3", &ConfigScrn::BothFlow_Click},
};

// In tab order: the frames are created, and so take focus, in this order.
const FrameDef Frames[] = {
    {"Frame1", "&Baud Rate", 120, 120, 3915, 975, Group::Baud, BaudOptions},
    {"Frame2", "&Data Bits", 240, 1380, 1275, 615, Group::DataBits, DataBitOptions},
    {"Frame3", "&Stop Bits", 1740, 1380, 2055, 615, Group::StopBits, StopBitOptions},
    {"Frame7", "&Echo", 4200, 1380, 1455, 615, Group::Echo, EchoOptions},
    {"Frame4", "&Parity", 240, 2160, 1275, 1575, Group::Parity, ParityOptions},
    {"Frame6", "&Com Port", 1800, 2160, 2055, 3495, Group::Port, {}},
    {"Frame5", "&Flow Control", 4200, 2160, 1455, 1575, Group::Flow, FlowOptions},
};

constexpr int ClientWidthTwips = 5880;
constexpr int ClientHeightTwips = 5730;
constexpr qint16 LastPort = 18;

// Rows of the two port columns: Com1..Com9 on the left, Com10..Com18 on the right.
QRect comPortTwips(int index) {
    const int row = (index - 1) % 9;
    const int left = index <= 9 ? 120 : 1080;
    return ui::twipsRect(left, 240 + 360 * row, 852, 252);
}

// The option where the keyboard enters a group: the one that is on, or the first when none is.
QAbstractButton* entryOption(const QButtonGroup* group) {
    if (group == nullptr)
        return nullptr;
    if (QAbstractButton* on = group->checkedButton())
        return on;
    const QList<QAbstractButton*> options = group->buttons();
    return options.isEmpty() ? nullptr : options.first();
}

// Makes the group's entry option its only stop for Tab and Backtab, so that Tab moves from
// group to group and lands on the option that is on.
void keepTabStopOnEntry(const QButtonGroup* group) {
    const QAbstractButton* entry = entryOption(group);
    if (entry == nullptr)
        return;
    for (QAbstractButton* option : group->buttons()) {
        const int policy = option->focusPolicy();
        option->setFocusPolicy(
            Qt::FocusPolicy(option == entry ? policy | Qt::TabFocus : policy & ~Qt::TabFocus));
    }
}

// An option button of a group, as a keyboard user expects it: the arrow keys turn the next
// option of the group on, and Tab enters the group at the option that is on.
class OptionButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void focusInEvent(QFocusEvent* event) override {
        // Qt gives the group's Tab stop to whichever option takes the focus; put it back.
        QRadioButton::focusInEvent(event);
        keepTabStopOnEntry(group());
    }

    void keyPressEvent(QKeyEvent* event) override {
        // Qt's arrows move the focus to the next option of the group, and turn that one on only
        // when the option they leave is on; from an option that is off they turn it on too.
        QRadioButton::keyPressEvent(event);
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (auto* next = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
                next && next != this && group() && next->group() == group() && !next->isChecked())
                next->click();
            break;
        default:
            break;
        }
    }
};

} // namespace

ConfigScrn::ConfigScrn(port::PortControl& port, ui::Prompts& prompts, qint16& echoEnabled,
                       QWidget* mainWindow)
    : QDialog(nullptr), EchoEnabled(echoEnabled), port_(port), prompts_(prompts),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("ConfigScrn"));
    setWindowTitle(QStringLiteral("Communication Settings"));
    setModal(false);
    QFont formFont(QStringLiteral("MS Sans Serif"));
    formFont.setPointSizeF(8.25);
    setFont(formFont);
    setFixedSize(ui::twipsToPixels(ClientWidthTwips), ui::twipsToPixels(ClientHeightTwips));
    buildForm();
}

ConfigScrn::~ConfigScrn() = default;

void ConfigScrn::buildForm() {
    auto makeButton = [this](const char* name, const char* caption, QRect rect) {
        auto* button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(rect);
        // Enter must press OK wherever the focus is, also on Cancel.
        button->setAutoDefault(false);
        return button;
    };
    okButton_ = makeButton("OKButton", "OK", ui::twipsRect(4260, 240, 1335, 375));
    okButton_->setDefault(true);
    cancelButton_ = makeButton("CancelButton", "Cancel", ui::twipsRect(4260, 720, 1335, 375));
    connect(okButton_, &QPushButton::clicked, this,
            [this] { ui::guarded(prompts_, [this] { OKButton_Click(); }); });
    connect(cancelButton_, &QPushButton::clicked, this,
            [this] { ui::guarded(prompts_, [this] { CancelButton_Click(); }); });

    QWidget* previous = cancelButton_;
    setTabOrder(okButton_, cancelButton_);
    auto follow = [&previous](QWidget* next) {
        setTabOrder(previous, next);
        previous = next;
    };

    for (const FrameDef& frameDef : Frames) {
        auto* frame = new QGroupBox(QString::fromLatin1(frameDef.caption), this);
        frame->setObjectName(QString::fromLatin1(frameDef.name));
        frame->setGeometry(
            ui::twipsRect(frameDef.left, frameDef.top, frameDef.width, frameDef.height));
        QButtonGroup* group = addGroup(frame);
        frame->installEventFilter(this);

        if (frameDef.group == Group::Port) {
            for (qint16 index = 1; index <= LastPort; ++index) {
                auto* button = new OptionButton(QStringLiteral("Com%1").arg(index), frame);
                button->setObjectName(QStringLiteral("ComPort_%1").arg(index));
                button->setGeometry(comPortTwips(index));
                group->addButton(button, index);
                onChecked(button, [this, index] { ComPort_Click(index); });
                comPort_[index] = button;
                follow(button);
            }
            continue;
        }
        for (const OptionDef& def : frameDef.options) {
            auto* button = new OptionButton(QString::fromLatin1(def.caption), frame);
            button->setObjectName(QString::fromLatin1(def.name));
            button->setGeometry(ui::twipsRect(def.left, def.top, def.width, def.height));
            group->addButton(button);
            const Handler handler = def.handler;
            onChecked(button, [this, handler] { (this->*handler)(); });
            options_.push_back({frameDef.group, QString::fromLatin1(def.value), button});
            follow(button);
        }
    }
    for (const QButtonGroup* group : groups_)
        keepTabStopOnEntry(group);
}

bool ConfigScrn::eventFilter(QObject* watched, QEvent* event) {
    // A frame's access key enters its group at the option that is on, as Tab does; the frame
    // itself would go back to the option that had the focus last.
    if (event->type() == QEvent::Shortcut) {
        if (auto* frame = qobject_cast<QGroupBox*>(watched)) {
            if (QAbstractButton* entry = entryOption(frame->findChild<QButtonGroup*>())) {
                entry->setFocus(Qt::ShortcutFocusReason);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ConfigScrn::onChecked(QRadioButton* button, std::function<void()> handler) {
    // Every way of turning an option on (a click, a key, a screen reader's Toggle, the load step)
    // checks it, and only the turning on runs the handler: a click on an option that is on
    // already changes nothing.
    connect(button, &QRadioButton::toggled, this,
            [this, button, handler = std::move(handler)](bool on) {
                if (!on)
                    return;
                keepTabStopOnEntry(button->group());
                ui::guarded(prompts_, handler);
            });
}

QButtonGroup* ConfigScrn::addGroup(QGroupBox* frame) {
    auto* group = new QButtonGroup(frame);
    group->setObjectName(frame->objectName() + QStringLiteral("Group"));
    group->setExclusive(true);
    groups_.push_back(group);
    return group;
}

void ConfigScrn::showDialog() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    Form_Load();
    placeBesideMainWindow();
    show();
}

void ConfigScrn::placeBesideMainWindow() {
    if (!mainWindow_)
        return;
    const QScreen* screen = mainWindow_->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
    move(ui::besidePosition(mainWindow_->frameGeometry(), frameGeometry().size(), area));
}

void ConfigScrn::clearOptions() {
    // An exclusive group refuses to turn its last option off.
    for (QButtonGroup* group : groups_) {
        group->setExclusive(false);
        for (QAbstractButton* button : group->buttons())
            button->setChecked(false);
        group->setExclusive(true);
    }
}

void ConfigScrn::turnOn(Group group, const std::function<bool(const QString&)>& matches) {
    for (const Option& option : options_) {
        if (option.group == group && matches(option.value)) {
            // Turning it on runs the option's own handler, which records the value, as for the
            // user's click.
            option.button->click();
            return;
        }
    }
}

void ConfigScrn::setDeviceRegistry(devices::DeviceRegistry* registry) {
    if (registry_ != nullptr)
        disconnect(registry_, nullptr, this, nullptr);
    registry_ = registry;
    if (registry != nullptr)
        connect(registry, &devices::DeviceRegistry::devicesChanged, this,
                &ConfigScrn::refreshPortTooltips);
    refreshPortTooltips();
}

void ConfigScrn::refreshPortTooltips() {
    const port::PortControl& port = port_;
    const auto tipFor = [&](qint16 index) {
        if (registry_ != nullptr)
            return ui::portTooltipText(registry_->portInfo(index));
        const QString path = port.devicePathFor(index);
        return port::deviceExists(path)
                   ? QStringLiteral("COM%1 opens %2, which is present now.")
                         .arg(QString::number(index), path)
                   : QStringLiteral("COM%1 opens %2, which is not present now. Set LINNET_COM%1 "
                                    "to the scanner's device to use another one.")
                         .arg(QString::number(index), path);
    };
    for (qint16 index = 1; index <= LastPort; ++index) {
        QRadioButton* button = comPort_[index];
        const QString tip = tipFor(index);
        if (tip == button->accessibleDescription())
            continue;
        button->setToolTip(base::outside_text::toolTip(tip));
        button->setAccessibleDescription(tip);
        // A tooltip on show keeps its text; the one under the pointer is shown afresh.
        if (QToolTip::isVisible() && button->underMouse())
            QToolTip::showText(QCursor::pos(), button->toolTip(), button);
    }
}

void ConfigScrn::Form_Load() {
    port::PortControl& port = port_;
    clearOptions();
    // Devices come and go (a USB scanner plugged in): say what is there at each showing.
    refreshPortTooltips();

    // A number outside 1..18 has no choice: none is on and NewPort keeps its value.
    const qint16 portNumber = port.CommPort();
    if (portNumber >= 1 && portNumber <= LastPort)
        comPort_[portNumber]->click();

    turnOnLineSettings(port.Settings());

    const qint32 handshaking = port.Handshaking();
    turnOn(Group::Flow, [&](const QString& mode) { return handshaking == mode.toInt(); });

    // Every showing switches local echo on, whatever it was.
    EchoEnabled = ui::VbTrue;
    turnOn(Group::Echo, [](const QString& echo) { return echo.toShort() == ui::VbTrue; });
}

void ConfigScrn::turnOnLineSettings(const QString& settings) {
    // The fields after the first comma are read at fixed places, one character each. A text
    // without a comma has no fields to read: those four groups stay empty.
    const SettingsFields fields = readSettingsFields(settings);
    turnOn(Group::Baud, [&](const QString& rate) { return fields.baud == rate.toDouble(); });
    turnOn(Group::Parity, [&](const QString& letter) { return fields.parity == letter; });
    turnOn(Group::DataBits,
           [&](const QString& bits) { return fields.dataBits == bits.toDouble(); });
    turnOn(Group::StopBits,
           [&](const QString& bits) { return fields.stopBits == bits.toDouble(); });
}

bool ConfigScrn::applyLineSettings(const QString& settings) {
    // The port's number and flow control as they are; the four line fields from `settings`,
    // through the options as a click sets them.
    NewPort = port_.CommPort();
    NewHandshaking = static_cast<qint16>(port_.Handshaking());
    turnOnLineSettings(settings);
    const bool applied = applyPendingChoice();
    emit settingsApplied();
    if (applied)
        accept();
    return applied;
}

void ConfigScrn::OKButton_Click() {
    const bool applied = applyPendingChoice();
    // Whether OK got through or stopped half-way, the main window's open button, menu check
    // mark and settings button follow the port as it is now, not as OK meant it to be.
    emit settingsApplied();
    if (applied)
        accept();
}

bool ConfigScrn::applyPendingChoice() {
    port::PortControl& port = port_;
    QString failure;

    const qint16 oldPort = port.CommPort();
    if (NewPort != oldPort) {
        // The number of an open port cannot change: close, renumber, and open on the new one.
        bool wasOpen = false;
        ui::trapStep(failure, [&] {
            if (port.PortOpen()) {
                port.setPortOpen(false);
                wasOpen = true;
            }
        });
        ui::trapStep(failure, [&] { port.setCommPort(NewPort); });
        if (failure.isEmpty() && wasOpen &&
            !ui::trapStep(failure, [&] { port.setPortOpen(true); }) && registry_ != nullptr)
            failure = ui::withSentence(failure, ui::openFailureAdvice(*registry_, NewPort));
        if (!failure.isEmpty()) {
            prompts_.warn(failure);
            // The user has been told what went wrong; a refusal of the way back adds nothing.
            QString ignored;
            ui::trapStep(ignored, [&] { port.setCommPort(oldPort); });
            return false;
        }
    }

    ui::trapStep(failure, [&] {
        port.setSettings(NewBaud + QLatin1Char(',') + NewParity + QLatin1Char(',') + NewDataBits +
                         QLatin1Char(',') + NewStopBits);
    });
    if (!failure.isEmpty()) {
        prompts_.warn(failure);
        return false;
    }

    ui::trapStep(failure, [&] { port.setHandshaking(qint32{NewHandshaking}); });
    if (!failure.isEmpty()) {
        prompts_.warn(failure);
        return false;
    }
    return true;
}

void ConfigScrn::CancelButton_Click() {
    QDialog::reject();
}

void ConfigScrn::reject() {
    // Escape and the close button take the same road as a click on Cancel.
    cancelButton_->click();
}

} // namespace settings_dialog
