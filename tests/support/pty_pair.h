#pragma once

#include "pty/pseudo_terminal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>

#include <termios.h>

// A pseudo-terminal pair for tests. The test plays the device's far end on the master side; the
// program opens the slave path as its serial device. The pair keeps one slave descriptor of its
// own open, so the slave's attributes can be read while the program has it open or after it has
// closed it (the kernel resets them when the last slave descriptor closes).
class PtyPair {
public:
    PtyPair();

    QString slavePath() const { return slavePath_; }
    int slaveFd() const { return pty_.deviceSide(); }
    int masterFd() const { return pty_.master(); }
    // The slave's attributes as the kernel holds them now.
    termios slaveAttributes() const;

    // Writes every byte to the master side (what the device sends), waiting while it is full.
    void writeMaster(const QByteArray& bytes);

    // Writes what the master side takes now, without waiting; the number of bytes taken. A test
    // that sends more than the pair buffers alternates this with running the event loop, so that
    // the program reads while the test writes.
    qsizetype tryWriteMaster(QByteArrayView bytes);

    // Waits until at least `atLeast` bytes came out of the master side or the time is up, and
    // returns what came: everything readable, so it may be more than `atLeast`.
    QByteArray readMaster(qsizetype atLeast = 1,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Closes the master side: to the program, the device hangs up.
    void closeMaster() { pty_.closeMaster(); }
    // Closes the test's own slave descriptor.
    void closeSlave() { pty_.closeDeviceSide(); }

private:
    PseudoTerminal pty_;
    QString slavePath_;
};
