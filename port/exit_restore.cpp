#include "port/exit_restore.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace port {

namespace {

struct Entry {
    int fd = -1; // -1: the slot is free
    pid_t owner = 0;
    termios saved{};
    std::array<char, ExitRestore::MaxLockPath> lockPath{};
};

// The only global state of the port layer, and deliberately so: the exit hook runs after main's
// objects are out of reach (std::exit from inside the event loop), so what it needs must be
// reachable without them. It is plain data of a fixed size, so that the hook allocates nothing,
// takes no lock and calls nothing that could fail half-way at exit. Several slots because tests
// open more than one port in a process; the program itself opens one.
std::array<Entry, 8> table;
bool hookInstalled = false;

void restoreAtExit() {
    ExitRestore::restoreAll();
}

} // namespace

ExitRestore::ExitRestore(int fd, const termios& saved) noexcept {
    if (fd < 0)
        return;
    if (!hookInstalled)
        hookInstalled = std::atexit(restoreAtExit) == 0;
    for (int i = 0; i < static_cast<int>(table.size()); ++i) {
        if (table[i].fd >= 0)
            continue;
        table[i].owner = ::getpid();
        table[i].saved = saved;
        table[i].lockPath.fill('\0');
        table[i].fd = fd;
        slot_ = i;
        return;
    }
}

ExitRestore& ExitRestore::operator=(ExitRestore&& other) noexcept {
    if (this != &other) {
        release();
        slot_ = other.slot_;
        other.slot_ = -1;
    }
    return *this;
}

bool ExitRestore::setLockFile(const char* path) noexcept {
    if (slot_ < 0 || path == nullptr)
        return false;
    const std::size_t length = std::strlen(path);
    if (length >= table[slot_].lockPath.size())
        return false;
    std::memcpy(table[slot_].lockPath.data(), path, length + 1);
    return true;
}

void ExitRestore::release() noexcept {
    if (slot_ < 0)
        return;
    table[slot_] = Entry{};
    slot_ = -1;
}

void ExitRestore::restoreAll() noexcept {
    const pid_t self = ::getpid();
    for (Entry& entry : table) {
        // A child forked from the program inherits the table but owns neither device nor lock.
        if (entry.fd < 0 || entry.owner != self)
            continue;
        // Output the driver still holds would make the close at exit wait; it is dropped, as on
        // an ordinary close.
        ::tcflush(entry.fd, TCOFLUSH);
        ::tcsetattr(entry.fd, TCSANOW, &entry.saved);
        if (entry.lockPath[0] != '\0')
            ::unlink(entry.lockPath.data());
        entry = Entry{};
    }
}

} // namespace port
