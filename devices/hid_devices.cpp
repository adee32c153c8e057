#include "devices/hid_devices.h"

#include <QFile>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <libudev.h>
#include <unistd.h>

namespace devices {

namespace {

// A HID report descriptor is at most 4 KiB (HID_MAX_DESCRIPTOR_SIZE).
constexpr qint64 MaxDescriptorBytes = 4096;

QByteArray descriptorBytesOf(udev_device* hid) {
    QFile file(QString::fromUtf8(udev_device_get_syspath(hid)) +
               QStringLiteral("/report_descriptor"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(MaxDescriptorBytes);
}

std::span<const std::uint8_t> spanOf(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

// The device node of the hid device's keyboard event node ("/dev/input/event5"), or empty.
QString eventNodeOf(udev* context, udev_device* hid) {
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> children(
        udev_enumerate_new(context), &udev_enumerate_unref);
    if (!children)
        return {};
    udev_enumerate_add_match_parent(children.get(), hid);
    udev_enumerate_add_match_subsystem(children.get(), "input");
    udev_enumerate_scan_devices(children.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(children.get())) {
        const UdevDevicePtr input(
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        const char* node = input ? udev_device_get_devnode(input.get()) : nullptr;
        if (node != nullptr && QByteArray(node).startsWith("/dev/input/event"))
            return QString::fromUtf8(node);
    }
    return {};
}

// The device node of the hid device's hidraw child ("/dev/hidraw2"), or empty.
QString rawNodeOf(udev* context, udev_device* hid) {
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> children(
        udev_enumerate_new(context), &udev_enumerate_unref);
    if (!children)
        return {};
    udev_enumerate_add_match_parent(children.get(), hid);
    udev_enumerate_add_match_subsystem(children.get(), "hidraw");
    udev_enumerate_scan_devices(children.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(children.get())) {
        const UdevDevicePtr raw(
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        if (raw && udev_device_get_devnode(raw.get()) != nullptr)
            return QString::fromUtf8(udev_device_get_devnode(raw.get()));
    }
    return {};
}

// Whether udev calls one of the device's input devices a keyboard.
bool inputIsKeyboard(udev* context, udev_device* hid) {
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> children(
        udev_enumerate_new(context), &udev_enumerate_unref);
    if (!children)
        return false;
    udev_enumerate_add_match_parent(children.get(), hid);
    udev_enumerate_add_match_subsystem(children.get(), "input");
    udev_enumerate_add_match_property(children.get(), "ID_INPUT_KEYBOARD", "1");
    udev_enumerate_scan_devices(children.get());
    return udev_enumerate_get_list_entry(children.get()) != nullptr;
}

std::optional<HidInput> hidInputFrom(udev* context, udev_device* hid) {
    udev_device* usbDevice =
        udev_device_get_parent_with_subsystem_devtype(hid, "usb", "usb_device");
    if (usbDevice == nullptr)
        return std::nullopt;
    udev_device* interface =
        udev_device_get_parent_with_subsystem_devtype(hid, "usb", "usb_interface");
    HidInput input;
    input.sysPath = QString::fromUtf8(udev_device_get_syspath(hid));
    input.vendorId = sysAttribute(usbDevice, "idVendor");
    input.productId = sysAttribute(usbDevice, "idProduct");
    input.manufacturer = sysAttribute(usbDevice, "manufacturer");
    input.product = sysAttribute(usbDevice, "product");
    // Interface class 03h (HID), protocol 01h: a boot keyboard.
    const bool bootKeyboard = sysAttribute(interface, "bInterfaceClass") == QLatin1String("03") &&
                              sysAttribute(interface, "bInterfaceProtocol") == QLatin1String("01");
    const QByteArray descriptor = descriptorBytesOf(hid);
    const std::optional<HidKind> kind = classifyHid(readHidDescriptor(spanOf(descriptor)),
                                                    bootKeyboard || inputIsKeyboard(context, hid),
                                                    input.manufacturer, input.product);
    if (!kind)
        return std::nullopt;
    input.kind = *kind;
    input.descriptor = descriptor;
    input.rawNode = rawNodeOf(context, hid);
    input.rawReadable = !input.rawNode.isEmpty() &&
                        ::access(QFile::encodeName(input.rawNode).constData(), R_OK) == 0;
    input.eventNode = eventNodeOf(context, hid);
    input.eventReadable = !input.eventNode.isEmpty() &&
                          ::access(QFile::encodeName(input.eventNode).constData(), R_OK) == 0;
    return input;
}

} // namespace

QString HidInput::description() const {
    QString name = product.isEmpty() ? manufacturer : product;
    if (name.isEmpty())
        name = QStringLiteral("A USB device");
    return QStringLiteral("%1 (USB %2:%3)").arg(name, vendorId, productId);
}

QString HidInput::sourceName() const {
    QString name = product.isEmpty() ? manufacturer : product;
    if (name.isEmpty())
        name = QStringLiteral("USB scanner");
    return QStringLiteral("%1 (%2, %3:%4)")
        .arg(name,
             kind == HidKind::PointOfSaleScanner ? QStringLiteral("HID") : QStringLiteral("keys"),
             vendorId, productId);
}

std::optional<HidKind> classifyHid(const HidDescriptorFacts& descriptor, bool typesKeys,
                                   const QString& manufacturer, const QString& product) {
    if (descriptor.isBarcodeScanner())
        return HidKind::PointOfSaleScanner;
    if (!descriptor.isKeyboard() && !typesKeys)
        return std::nullopt;
    static const QRegularExpression scannerWords(
        QStringLiteral("scan|barcode|bar code|imager|reader"),
        QRegularExpression::CaseInsensitiveOption);
    if (scannerWords.match(manufacturer + u' ' + product).hasMatch())
        return HidKind::KeyboardScanner;
    return HidKind::Keyboard;
}

QList<HidInput> listHidInputs() {
    QList<HidInput> found;
    const UdevPtr context(udev_new());
    if (!context)
        return found;
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> all(
        udev_enumerate_new(context.get()), &udev_enumerate_unref);
    if (!all)
        return found;
    udev_enumerate_add_match_subsystem(all.get(), "hid");
    udev_enumerate_scan_devices(all.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(all.get())) {
        const UdevDevicePtr hid(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!hid)
            continue;
        if (std::optional<HidInput> input = hidInputFrom(context.get(), hid.get()))
            found << *input;
    }
    return found;
}

HidMonitor::HidMonitor(QObject* parent) : QObject(parent), udev_(udev_new()) {
    if (!udev_)
        return;
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor_ ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "hid", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0) {
        monitor_.reset();
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_.get()),
                                                  QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        // Every waiting event is taken, so the notifier does not fire again for them.
        bool any = false;
        while (const UdevDevicePtr device{udev_monitor_receive_device(monitor_.get())})
            any = true;
        if (any)
            emit changed();
    });
}

HidMonitor::~HidMonitor() = default;

} // namespace devices
