#pragma once

#include <QByteArray>

// Clears LINNET_COM1 to LINNET_COM18, which a user may have set for the program (the README
// suggests it), so that a test sees only the variables it sets itself.
inline void clearPortVariables() {
    for (int port = 1; port <= 18; ++port)
        qunsetenv(QByteArray("LINNET_COM" + QByteArray::number(port)).constData());
}
