#include "devices/device_texts.h"

#include "base/com_ports.h"
#include "base/outside_text.h"

#include <QSet>

#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace serial_comm {

QString portTooltipText(const PortInfo& port) {
    const QString name = com_ports::name(port.number);
    const bool onBoard = port.device && port.device->kind == SerialKind::OnBoard;
    const QString state = !port.present ? QStringLiteral("not connected")
                          : onBoard     ? QStringLiteral("present")
                                        : QStringLiteral("connected");
    if (!port.overridePath.isEmpty())
        return QStringLiteral("%1: %2 (set by LINNET_COM%3), %4")
            .arg(name, outside_text::visible(port.overridePath), QString::number(port.number),
                 state);
    if (port.device)
        return QStringLiteral("%1: %2, %3").arg(name, port.device->displayName(), state);
    if (!port.rememberedIdentity.isEmpty())
        return QStringLiteral("%1: kept for a device seen before (%2), not connected")
            .arg(name, outside_text::visible(port.rememberedIdentity));
    return QStringLiteral("%1: no serial device has this number").arg(name);
}

QString noSerialDeviceText() {
    return QStringLiteral("No serial device is connected now. Check the cable and that the "
                          "scanner is switched on. A scanner in keyboard (HID) mode is no serial "
                          "device: switch it to its serial (USB COM) mode first, usually by "
                          "scanning a set-up code from its manual.");
}

QString connectedNowText(const QList<OverriddenPort>& overrides,
                         const QList<NumberedDevice>& present) {
    QStringList connected;
    QStringList onBoard;
    QList<int> choices; // numbers that open something connected
    QSet<int> overridden;
    for (const OverriddenPort& port : overrides) {
        overridden.insert(port.number);
        if (!port.present)
            continue;
        connected << QStringLiteral("%1 = %2 (set by %3)")
                         .arg(com_ports::name(port.number), outside_text::visible(port.path),
                              com_ports::variableName(port.number));
        choices << port.number;
    }
    for (const NumberedDevice& entry : present) {
        const bool reachable = entry.number > 0 && !overridden.contains(entry.number);
        const QString label =
            reachable          ? com_ports::name(entry.number)
            : entry.number > 0 ? QStringLiteral("none while LINNET_COM%1 is set").arg(entry.number)
                               : QStringLiteral("no number");
        const QString item =
            QStringLiteral("%1 = %2 (%3)")
                .arg(label, entry.device.shortName(), outside_text::visible(entry.device.node));
        if (entry.device.kind == SerialKind::OnBoard) {
            onBoard << item;
        } else {
            connected << item;
            if (reachable)
                choices << entry.number;
        }
    }
    QString text =
        connected.isEmpty()
            ? noSerialDeviceText()
            : QStringLiteral("Connected now: %1.").arg(connected.join(QStringLiteral(", ")));
    if (!onBoard.isEmpty())
        text += QStringLiteral(" On-board serial ports present (nothing is known to be attached): "
                               "%1.")
                    .arg(onBoard.join(QStringLiteral(", ")));
    if (choices.size() == 1)
        text += QStringLiteral(" Choose Com%1 in Port Setting.").arg(choices.first());
    else if (choices.size() > 1)
        text += QStringLiteral(" Choose the scanner's number in Port Setting.");
    return text;
}

std::optional<GroupAccess> groupAccessOf(const QString& node) {
    struct stat info {};
    if (::stat(QFile::encodeName(node).constData(), &info) != 0)
        return std::nullopt;
    const gid_t gid = info.st_gid;

    GroupAccess access;
    if (const group* entry = ::getgrgid(gid); entry != nullptr && entry->gr_name != nullptr)
        access.group = QString::fromLocal8Bit(entry->gr_name);
    else
        access.group = QString::number(gid);

    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? count : 0);
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        access.inSession = std::find(groups.begin(), groups.end(), gid) != groups.end();
    access.inSession = access.inSession || ::getegid() == gid;

    // The account's groups as the group database has them now, which may include groups added
    // after this session began.
    if (const passwd* user = ::getpwuid(::getuid()); user != nullptr) {
        int size = 32;
        std::vector<gid_t> accountGroups(size);
        if (::getgrouplist(user->pw_name, user->pw_gid, accountGroups.data(), &size) < 0) {
            accountGroups.resize(size);
            ::getgrouplist(user->pw_name, user->pw_gid, accountGroups.data(), &size);
        }
        accountGroups.resize(size);
        access.inAccount =
            std::find(accountGroups.begin(), accountGroups.end(), gid) != accountGroups.end();
    }
    access.inAccount = access.inAccount || access.inSession;
    return access;
}

QString permissionHintText(const QString& node, const GroupAccess& access) {
    if (access.inSession)
        return QStringLiteral("%1 belongs to the group \"%2\", which your user is in, yet it may "
                              "not be opened: check its permissions (ls -l %1).")
            .arg(node, access.group);
    if (access.inAccount)
        return QStringLiteral("%1 belongs to the group \"%2\". Your user was added to it after "
                              "this session began: log out and in again.")
            .arg(node, access.group);
    return QStringLiteral("%1 belongs to the group \"%2\", which your user is not in: add it "
                          "first (sudo usermod -aG %2 $USER), then log out and in again.")
        .arg(node, access.group);
}

QString permissionHint(const QString& node) {
    const std::optional<GroupAccess> access = groupAccessOf(node);
    return access ? permissionHintText(node, *access) : QString();
}

} // namespace serial_comm
