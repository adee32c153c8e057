#pragma once

#include <termios.h>

namespace port {

// Puts open devices back as they were found when the process exits without closing them: Qt calls
// exit() when it loses its display connection, and no destructor of the window or the port runs
// then. Each open port holds one ExitRestore for as long as it has the device open; at exit, every
// one still held gets its saved attributes back and its lock file, if it has one, is removed.
//
// Used on the user-interface thread only. Moving hands the registration over.
class ExitRestore {
public:
    // Paths longer than this are not stored (and their lock file is then left at exit).
    static constexpr int MaxLockPath = 256;

    ExitRestore() = default;
    // Registers the device; when every slot is taken, this one is simply not restored at exit.
    ExitRestore(int fd, const termios& saved) noexcept;
    ExitRestore(const ExitRestore&) = delete;
    ExitRestore& operator=(const ExitRestore&) = delete;
    ExitRestore(ExitRestore&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
    ExitRestore& operator=(ExitRestore&& other) noexcept;
    ~ExitRestore() { release(); }

    // A lock file taken for the device, removed at exit; false (nothing stored) when the path
    // does not fit.
    bool setLockFile(const char* path) noexcept;
    // Forgets the device: from here on its owner restores it (or it is gone).
    void release() noexcept;

    // What the exit hook does, for every device still registered; uses only calls that are safe
    // in a signal handler too.
    static void restoreAll() noexcept;

private:
    int slot_ = -1;
};

} // namespace port
