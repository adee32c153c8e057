#pragma once

#include "base/unique_fd.h"

#include <QString>

namespace devices {

// Opens a device node of a scanner to read it from the window's thread: never waiting, never
// becoming the controlling terminal. An invalid descriptor and the errno when it cannot (EACCES:
// the person may not read it).
base::UniqueFd openNodeToRead(const QString& node, int& error);

// Makes `fd` read without waiting, whatever it was opened with (a descriptor handed in).
void readWithoutWaiting(int fd);

} // namespace devices
