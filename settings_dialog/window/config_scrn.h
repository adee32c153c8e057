#pragma once

#include "ui/echo.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <vector>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;
namespace devices {
class DeviceRegistry;
}
namespace port {
class PortControl;
}
namespace ui {
class Prompts;
}

namespace settings_dialog {

// The "Communication Settings" dialog. It is a window of its own beside the main window and
// never blocks it. Each showing reads the port's number, line settings and flow control into its
// options; clicks record a pending choice, which only OK applies to the port.
class ConfigScrn : public QDialog {
    Q_OBJECT

public:
    // The dialog works on the given port, reports through the given prompts and switches the
    // given local-echo switch; all three must outlive it. It places itself beside mainWindow.
    ConfigScrn(port::PortControl& port, ui::Prompts& prompts, qint16& echoEnabled,
               QWidget* mainWindow = nullptr);
    ~ConfigScrn() override;

    // The serial devices present and their numbers: each port choice's tooltip and accessible
    // description then name the number's device and follow plugging while the dialog is open.
    // Optional; it must outlive the dialog.
    void setDeviceRegistry(devices::DeviceRegistry* registry);

    // Shows the dialog without blocking, loading it from the port when it is not open yet; one
    // that is open already only comes to the front and keeps the user's unapplied clicks.
    void showDialog();

    // Local echo of typed characters, for the whole program.
    qint16& EchoEnabled;

    // The pending choice. It belongs to this object, not to the window, so it survives closing
    // and showing again; a load overwrites only the fields whose option it finds.
    qint16 NewPort = 0;
    QString NewBaud;
    QString NewParity;
    QString NewDataBits;
    QString NewStopBits;
    qint16 NewHandshaking = 0;

    // Reads the port into the options, through the same handlers a user's click runs.
    void Form_Load();

    // Applies line settings found elsewhere (the Find Settings window) as OK applies a choice:
    // the port's number and flow control stay, the options show the settings, and OK's path puts
    // them into the port. False when the port refused them (the prompts have said why).
    bool applyLineSettings(const QString& settings);

    // Option handlers: each records one value and nothing else; the echo pair switches local
    // echo for the whole program at once.
    void ComPort_Click(qint16 index) { NewPort = index; }
    void Baud6_Click() { NewBaud = QStringLiteral("600"); }
    void Baud24_Click() { NewBaud = QStringLiteral("2400"); }
    void Baud48_Click() { NewBaud = QStringLiteral("4800"); }
    void Baud96_Click() { NewBaud = QStringLiteral("9600"); }
    void Baud3_Click() { NewBaud = QStringLiteral("19200"); }
    void Baud384_Click() { NewBaud = QStringLiteral("38400"); }
    void Baud576_Click() { NewBaud = QStringLiteral("57600"); }
    void Baud1152_Click() { NewBaud = QStringLiteral("115200"); }
    void NoParity_Click() { NewParity = QStringLiteral("N"); }
    void EvenParity_Click() { NewParity = QStringLiteral("E"); }
    void OddParity_Click() { NewParity = QStringLiteral("O"); }
    void Data7_Click() { NewDataBits = QStringLiteral("7"); }
    void Data8_Click() { NewDataBits = QStringLiteral("8"); }
    void Stop1_Click() { NewStopBits = QStringLiteral("1"); }
    void Stop2_Click() { NewStopBits = QStringLiteral("2"); }
    void NoFlow_Click() { NewHandshaking = 0; }
    void XonFlow_Click() { NewHandshaking = 1; }
    void RTSFlow_Click() { NewHandshaking = 2; }
    void BothFlow_Click() { NewHandshaking = 3; }
    void EchoOn_Click() { EchoEnabled = ui::VbTrue; }
    void EchoOff_Click() { EchoEnabled = ui::VbFalse; }

    void OKButton_Click();
    void CancelButton_Click();

    // Escape and the window's close button end the dialog the way Cancel does.
    void reject() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The groups of options; each frame is one.
    enum class Group { Baud, DataBits, StopBits, Echo, Parity, Port, Flow };

signals:
    // OK has applied the pending choice, or as much of it as the port took; the port's state may
    // have changed.
    void settingsApplied();

private:
    struct Option {
        Group group;
        QString value; // what the option stands for, as the load step compares it
        QRadioButton* button;
    };

    void buildForm();
    // Runs the handler whenever the option is turned on, however that happens.
    void onChecked(QRadioButton* button, std::function<void()> handler);
    QButtonGroup* addGroup(QGroupBox* frame);
    void placeBesideMainWindow();
    void clearOptions();
    void turnOn(Group group, const std::function<bool(const QString&)>& matches);
    void turnOnLineSettings(const QString& settings);
    void refreshPortTooltips();
    // Port number, settings text and flow control, in that order, as far as the first refused
    // step; true when everything was applied.
    bool applyPendingChoice();

    port::PortControl& port_;
    ui::Prompts& prompts_;
    devices::DeviceRegistry* registry_ = nullptr;
    QWidget* mainWindow_;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    // Index 0 stays empty: the port choices are numbered 1 to 18, like the ports.
    std::array<QRadioButton*, 19> comPort_{};
    std::vector<Option> options_;
    std::vector<QButtonGroup*> groups_;
};

} // namespace settings_dialog
