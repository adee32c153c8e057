#include "devices/device_facts.h"

#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace devices {

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

} // namespace devices
