#pragma once

#include "pty_pair.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

// Clears LINNET_COM1 to LINNET_COM18, which a user may have set for the program (the README
// suggests it), so that a test sees only the variables it sets itself.
inline void clearPortVariables() {
    for (int port = 1; port <= 18; ++port)
        qunsetenv(QByteArray("LINNET_COM" + QByteArray::number(port)).constData());
}

// A new pseudo-terminal that the program finds as COM<port>, its lock files kept in a new folder
// of the test's own.
inline void startPtyAsPort(int port, std::unique_ptr<QTemporaryDir>& lockDir,
                           std::unique_ptr<PtyPair>& pty) {
    lockDir = std::make_unique<QTemporaryDir>();
    qputenv("LINNET_LOCK_DIR", QFile::encodeName(lockDir->path()));
    pty = std::make_unique<PtyPair>();
    qputenv(QByteArray("LINNET_COM" + QByteArray::number(port)).constData(),
            pty->slavePath().toLocal8Bit());
}
