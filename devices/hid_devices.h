#pragma once

#include "devices/hid_descriptor.h"
#include "devices/udev_scan.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QSocketNotifier;

namespace devices {

// What a HID device that types or scans is.
enum class HidKind {
    Keyboard,           // an ordinary keyboard, as far as anything tells
    KeyboardScanner,    // a scanner in keyboard mode: a keyboard whose names say scanner
    PointOfSaleScanner, // HID point-of-sale mode (usage page 8Ch): needs its own driver
};

// A HID device that could be a scanner, as sysfs and udev show it to any user.
struct HidInput {
    QString sysPath; // of the hid device
    QString vendorId, productId;
    QString manufacturer, product;
    HidKind kind = HidKind::Keyboard;
    QByteArray descriptor;      // the report descriptor's bytes
    QString rawNode;            // its hidraw node ("/dev/hidraw2"), empty when it has none
    bool rawReadable = false;   // the person may open rawNode to read
    QString eventNode;          // its keyboard's input event node ("/dev/input/event5"), or empty
    bool eventReadable = false; // the person may open eventNode to read

    bool isScanner() const { return kind != HidKind::Keyboard; }
    // "Handheld Scanner (USB 1209:0002)".
    QString description() const;
    // The name a scan read from it carries in the Scan Log: "Counter Scanner (HID, 1209:0003)",
    // "Handheld Scanner (keys, 1209:0002)".
    QString sourceName() const;
};

// The kind from what is known of one HID device: its report descriptor, whether udev calls its
// input device a keyboard or its USB interface is a boot keyboard, and its names. None for
// devices that neither type nor scan (mice, sensors).
std::optional<HidKind> classifyHid(const HidDescriptorFacts& descriptor, bool typesKeys,
                                   const QString& manufacturer, const QString& product);

// Every USB HID device that types or scans now, in sysfs order.
QList<HidInput> listHidInputs();

// Says when HID devices come and go (udev events on the user-interface thread); nothing when no
// udev monitor can be made.
class HidMonitor final : public QObject {
    Q_OBJECT

public:
    explicit HidMonitor(QObject* parent = nullptr);
    ~HidMonitor() override;

signals:
    void changed();

private:
    UdevPtr udev_;
    UdevMonitorPtr monitor_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace devices
