#pragma once

// The state of the device a TermiosPort has open, shared by the files that make up the port:
// opening and closing and the properties (termios_port.cpp), the line and its modem lines
// (termios_port_lines.cpp), and receiving and sending (termios_port_transfer.cpp).

#include "port/exit_restore.h"
#include "port/line_reader.h"
#include "port/termios_port.h"

#include <QSocketNotifier>

#include <cerrno>

#include <sys/ioctl.h>

namespace port {

// One wake-up of the read notifier takes at most this much from the reading thread's queue, so a
// device that sends faster than the window takes it cannot starve the event loop, and the block a
// Receive handler renders (four hex characters a byte) stays small enough to keep the window
// answering within a frame; the notifier fires again for the rest.
inline constexpr qsizetype kMaxReadPerWake = 64 << 10;

// A device that sends small pieces close together (a 115,200-baud stream of short lines: 720 a
// second) would wake the window for each. Once a take of less than kPaceBelowBytes follows the
// last within kReadPaceMs, the notifier rests and the port takes what the reading thread queued
// every kReadPaceMs instead, until a take finds nothing. A piece after a quiet spell is still taken
// at once. The reading thread reads and stamps every piece as it arrives whatever the pace, so the
// pace sets only how often a stream costs the window a wake-up and how long a byte of it may wait
// to be seen. Larger takes (a flood) are never paced.
inline constexpr int kReadPaceMs = 40;
inline constexpr qsizetype kPaceBelowBytes = 4096;
// Once the reading thread reads a long stream at its slower pace (LineReader::sustained), the port
// takes each piece it hands over at once, without a pace of its own: two paces would add up to a
// byte's wait.

// Modem-line ioctls on a device without lines (a pseudo-terminal, some USB adapters) answer
// ENOTTY or EINVAL; that means "cannot tell", not failure.
inline bool noModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

// A break left on would hold the line at space after the port closed.
struct BreakGuard {
    int fd = -1;
    BreakGuard() = default;
    BreakGuard(const BreakGuard&) = delete;
    BreakGuard& operator=(const BreakGuard&) = delete;
    ~BreakGuard() {
        if (fd >= 0)
            ::ioctl(fd, TIOCCBRK);
    }
};

struct TermiosPort::OpenDevice {
    // Removed after the descriptor is closed.
    std::unique_ptr<DeviceLockFile> lock;
    QByteArray file;
    QString path; // the file, for messages
    base::UniqueFd fd;
    termios original{}; // restored on close
    termios applied{};  // as read back after the last change taken; put back when one is refused
    // Restores `original` if the process exits with the device open; after `fd`, so that it is
    // given up before the descriptor closes.
    ExitRestore onExit;
    QSocketNotifier* reader = nullptr;
    QSocketNotifier* writer = nullptr;
    // A pseudo-terminal forces 8 data bits without parity: not a refusal of the settings.
    bool pseudoTerminal = false;
    // Cleared for good when the driver answers that it has no such thing.
    bool hasCounters = true;
    bool hasLines = true;
    // A write found the device gone; the loss is reported from the event loop.
    bool lossPending = false;
    // Clears a break still on when the device closes; after `fd`, so it runs before the close.
    BreakGuard breakGuard;
    // Reads the device in a thread of its own; last, so that the thread is joined before
    // anything else of the device goes (the port stops it first in any case).
    std::unique_ptr<LineReader> lineReader;
};

} // namespace port
