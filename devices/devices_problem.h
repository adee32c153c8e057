#pragma once

#include <QString>

namespace devices {

// Something the device layer could not do, as a value: it goes on without it, and the program
// says it (once) where it says such things.
struct DevicesProblem {
    enum class Kind {
        TableNotRegular, // path: a link, FIFO or device stands where the table belongs
        TableTooLarge,   // path: more than a table can be
        TableDamaged,    // path, badLines: lines that could not be read are left out
        TableUnreadable, // path, reason
        TableUnwritable, // path, reason
        NoDevWatch,      // /dev cannot be watched: devices plugged in later are not seen
    };
    Kind kind = Kind::TableUnreadable;
    QString path;
    int badLines = 0;
    QString reason;
    bool operator==(const DevicesProblem&) const = default;
};

} // namespace devices
